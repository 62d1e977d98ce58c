// 记录检查: the checks on a typed entry and their messages.
#include "entry_checks.h"

#include "platform/numeric.h"
#include "records/stock_lookup.h"

QString SaveFailedMessage()
{
    return QStringLiteral("错误：保存记录失败！");
}

QString CheckTradeCode(const QString &code)
{
    return IsTradableCode(code) ? QString() : QStringLiteral("错误：股票代码错误！");
}

QString CheckBuyPrice(double price)
{
    return price > 0 ? QString() : QStringLiteral("错误：买入价格错误！");
}

QString CheckTradeNum(double num)
{
    const std::optional<int32_t> n = ClngOf(num);
    return n && *n >= 1 ? QString() : QStringLiteral("错误：交易数量错误！");
}
