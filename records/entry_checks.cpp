// 记录检查: the checks on a typed entry and their messages.
#include "entry_checks.h"

#include <cmath>

#include "market/service_values.h"
#include "market/web.h"
#include "platform/numeric.h"
#include "platform/recordset.h"
#include "records/stock_lookup.h"
#include "storage/common.h"
#include "storage/db_operate.h"

namespace {

bool TradePrice(double price)
{
    return std::isfinite(price) && price > 0 && price < kPriceBound;
}

}  // namespace

std::optional<double> EntryNumber(const QString &text)
{
    if (text.trimmed().isEmpty())
        return 0.0;
    return TypedNumber(text);
}

QString SaveFailedMessage()
{
    return QStringLiteral("错误：保存记录失败！");
}

QString CheckTradeCode(const QString &code)
{
    if (IsTradableCode(code))
        return QString();
    const bool inBook = code.size() == 6 && !IsIndexCode(code.toUpper()) &&
                        CountGroups(QStringLiteral("account"), QStringLiteral("code"),
                                    QStringLiteral("code=") + SqlQuote(code)) > 0;
    return inBook ? QString() : QStringLiteral("错误：股票代码错误！");
}

QString CheckBuyPrice(double price)
{
    return TradePrice(price) ? QString() : QStringLiteral("错误：买入价格错误！");
}

QString CheckSellPrice(double price)
{
    return price == 0 || TradePrice(price) ? QString() : QStringLiteral("错误：卖出价格错误！");
}

QString CheckTradeNum(double num)
{
    const std::optional<int32_t> n = ClngOf(num);
    return n && *n >= 1 && *n == num ? QString() : QStringLiteral("错误：交易数量错误！");
}

QString TradeDayMessage(const QString &side)
{
    return QStringLiteral("错误：") + side + QStringLiteral("日期不是开盘日！");
}

QString TradeDayUncheckedMessage(const QString &side)
{
    const HttpService &service = DataService();
    QString why = QStringLiteral("没有响应");
    if (service.last == HttpOutcome::ErrorReply) {
        why = QStringLiteral("返回了错误");
    } else if (service.last == HttpOutcome::LeftAlone) {
        const QDateTime again = ServiceAskedAgainAt(service);
        why = QStringLiteral("最近没有正常应答，暂不询问") +
              (again.isValid() ? QStringLiteral("（%1 以后再询问）").arg(again.toString(QStringLiteral("HH:mm:ss")))
                               : QString());
    }
    return QStringLiteral("错误：数据服务（") + DataServiceBase() + QStringLiteral("）") + why +
           QStringLiteral("，无法核对") + side +
           QStringLiteral("日期是否开盘日！\n数据服务的地址由环境变量 KELVARO_DATA_URL 设定。");
}
