// StockBuy: the quick-buy window.
#include "stock_buy.h"

#include <cmath>
#include <limits>

#include <QCloseEvent>
#include <QDateEdit>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScopedValueRollback>
#include <QSignalBlocker>
#include <QVBoxLayout>

#include "market/history.h"
#include "market/market_clock.h"
#include "market/quotes.h"
#include "platform/busy_guard.h"
#include "platform/clock.h"
#include "platform/daynum.h"
#include "platform/forms/date_box.h"
#include "platform/numeric.h"
#include "platform/prompter.h"
#include "records/calc.h"
#include "records/deelres.h"
#include "records/entry_checks.h"
#include "records/records_hooks.h"
#include "records/split_merge.h"
#include "records/stock_lookup.h"
#include "storage/common.h"
#include "storage/db_operate.h"
#include "storage/forms/form_instance.h"
#include "storage/forms/form_ops.h"

namespace {

const QString kCaption = QStringLiteral("买入股票");

// The number a box holds (EntryNumber); NaN, which every check refuses, for a text that is not wholly
// a number.
double BoxNumber(const QString &text)
{
    return EntryNumber(text).value_or(std::numeric_limits<double>::quiet_NaN());
}

}  // namespace

StockBuyForm::StockBuyForm() : QWidget(nullptr, Qt::Window)
{
    setObjectName(QStringLiteral("StockBuy"));
    setWindowTitle(kCaption);
    setAttribute(Qt::WA_DeleteOnClose);
    BuildControls();
    RegisterFormWidget(this, QStringLiteral("StockBuy"));
    Form_Load();
}

void StockBuyForm::BuildControls()
{
    auto *grid = new QGridLayout;
    int row = 0;
    auto place = [&](const char *caption, QWidget *control) {
        auto *label = new QLabel(QString::fromUtf8(caption), this);
        Label1.push_back(label);
        grid->addWidget(label, row, 0, Qt::AlignRight);
        grid->addWidget(control, row, 1);
        ++row;
    };
    const char *ttCaptions[] = {"股票代码：", "股票名称：", "交易数量：", "买入价格："};
    const char *ttTags[] = {"code", "sname", "num", "bprice"};
    for (int i = 0; i < 4; ++i) {
        TT[i] = new QLineEdit(this);
        TT[i]->setProperty("Tag", QString::fromLatin1(ttTags[i]));
        connect(TT[i], &QLineEdit::textChanged, this, [this, i] { TT_Change(i); });
        place(ttCaptions[i], TT[i]);
    }
    DTE = new DateBox(this);
    DTE->setProperty("Tag", QStringLiteral("bdate"));
    place("买入日期：", DTE);
    LBL[0] = new QLabel(QStringLiteral("-"), this);
    place("使用资金：", LBL[0]);

    auto *buttons = new QHBoxLayout;
    const char *comCaptions[] = {"确定", "取  消"};
    for (int i = 0; i < 2; ++i) {
        Com[i] = new QPushButton(QString::fromUtf8(comCaptions[i]), this);
        connect(Com[i], &QPushButton::clicked, this, [this, i] { Com_Click(i); });
        buttons->addWidget(Com[i]);
    }
    Com[0]->setDefault(true);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addLayout(buttons);
}

QString StockBuyForm::TTText(int i) const
{
    return i >= 0 && i < 4 ? TT[i]->text() : QString();
}

void StockBuyForm::SetTTText(int i, const QString &text)
{
    // Writing only a changed text keeps the trim of the code from running its handling again and
    // again.
    if (i >= 0 && i < 4 && TT[i]->text() != text)
        TT[i]->setText(text);
}

void StockBuyForm::WriteQuiet(int i, const QString &text)
{
    const QSignalBlocker quiet(TT[i]);
    SetTTText(i, text);
}

void StockBuyForm::Form_Load()
{
    // No buy is dated after today (China time): the picker stops there.
    const QDate today = MarketToday();
    DTE->setDateRange(QDate(1990, 1, 1), today);
    DTE->setDate(today);
}

void StockBuyForm::TT_Change(int index)
{
    if (index < 0 || index > 3 || !TT[index]->isEnabled())
        return;
    switch (index) {
    case 0: {
        const QString text = TTText(0);
        const QString code = text.trimmed();
        if (code != text) {
            SetTTText(0, code);  // runs this handling on the trimmed text
            return;
        }
        if (code.isEmpty())
            return;
        const QString name = LookupStockName(code);
        // An unknown code, or a code of the book whose records carry no name, must not be stored
        // under the name of the stock typed before it.
        WriteQuiet(1, name);
        if (name.isEmpty())
            return;
        ProposeBuy(code);
        break;
    }
    case 1: {
        const std::optional<StockMatch> match = FindStockByText(TTText(1));
        if (!match)
            return;
        WriteQuiet(0, match->code);
        WriteQuiet(1, match->name);
        ProposeBuy(match->code);
        break;
    }
    default:  // the quantity and the price
        ShowCapital();
        break;
    }
}

void StockBuyForm::ProposeBuy(const QString &code)
{
    SetTTText(3, NumberText(GetRealtimePrice(code)));
    // No proposal (no price) leaves the quantity as it was.
    const long n = SuggestBuyNum(code, LeadingNumber(TTText(3)));
    if (n > 0)
        SetTTText(2, QString::number(n));
    TT[2]->setFocus();
    TT[2]->selectAll();
}

void StockBuyForm::ShowCapital()
{
    const double q = BoxNumber(TTText(2));
    const double p = BoxNumber(TTText(3));
    if (!(q > 0) || !(p > 0) || !std::isfinite(p * q))
        LBL[0]->setText(QStringLiteral("-"));
    else
        LBL[0]->setText(FormatValue(MakeDouble(p * q)));
}

QString StockBuyForm::CheckEntry() const
{
    for (const QString &message : {CheckTradeCode(TTText(0).trimmed()), CheckBuyPrice(BoxNumber(TTText(3))),
                                   CheckTradeNum(BoxNumber(TTText(2)))}) {
        if (!message.isEmpty())
            return message;
    }
    return QString();
}

bool StockBuyForm::StoreBuy()
{
    const QString code = TTText(0).trimmed();
    const int32_t num = ClngOf(BoxNumber(TTText(2))).value_or(0);
    const double bdate = DayNumberOf(DTE->date());
    const int32_t sid = ClngOf(StockIdOf(code).ToDouble()).value_or(0);

    const QString sql = QStringLiteral("SELECT * FROM account WHERE FALSE");
    DbConnection conn;
    RecordSet rs;
    if (!OpenRs(conn, rs, sql))
        return false;
    const bool ok = rs.AddNew() && rs.Set(QStringLiteral("code"), MakeString(code)) &&
                    rs.Set(QStringLiteral("sname"), MakeString(TTText(1))) &&
                    rs.Set(QStringLiteral("num"), MakeLong(num)) &&
                    rs.Set(QStringLiteral("bprice"), MakeDouble(BoxNumber(TTText(3)))) &&
                    rs.Set(QStringLiteral("bdate"), MakeDate(bdate)) && rs.Set(QStringLiteral("tnum"), MakeLong(num)) &&
                    rs.Set(QStringLiteral("sid"), MakeLong(sid)) && rs.Update();
    if (!ok) {
        LogDbError(rs.lastError, sql);
        rs.CancelUpdate();
        CloseRs(conn, rs);
        return false;
    }
    RecalcTradeAmounts(rs.Field(QStringLiteral("id")), &rs);
    CloseRs(conn, rs);

    if (QuoteIndexOf(code) < 0) {
        DownloadStockHistory(sid, code);
        RebuildQuoteList();
    }
    RecalcDeelRes(bdate, true);
    ReloadStockTree();
    // A chart that shows this stock must draw its trades anew to show the buy.
    ResetChart();
    RefreshCurrentNode();
    // A buy dated before the main window's first day or after its last must be inside its date window.
    ResetDtpRange(bdate);
    return true;
}

void StockBuyForm::Com_Click(int index)
{
    // A second click while a buy is stored (the progress lets events through) must not store it twice.
    if (IsBusy() || m_saving)
        return;
    if (index == 0) {
        if (const QString message = CheckEntry(); !message.isEmpty()) {
            MsgBox(message, Msg::OkOnly);
            return;
        }
        hide();
        bool stored = false;
        {
            BusyGuard busy;
            const QScopedValueRollback saving(m_saving, true);
            stored = StoreBuy();
        }
        if (!stored) {
            show();
            MsgBox(SaveFailedMessage(), Msg::OkOnly);
            return;
        }
    }
    close();
}

void StockBuyForm::closeEvent(QCloseEvent *event)
{
    if (m_saving) {
        event->ignore();
        return;
    }
    FormInstance<StockBuyForm>::Forget(this);
    event->accept();
}

StockBuyForm *StockBuy()
{
    return FormInstance<StockBuyForm>::Get();
}

StockBuyForm *LoadedStockBuy()
{
    return FormInstance<StockBuyForm>::Loaded();
}

void StockBuyShow(const QString &code)
{
    StockBuyForm *form = StockBuy();
    ShowModeless(form);
    if (!code.isEmpty())
        form->SetTTText(0, code);
}
