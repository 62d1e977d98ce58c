// AccEdit: the record editor.
#include "acc_edit.h"

#include <algorithm>
#include <cmath>
#include <functional>
#include <limits>
#include <optional>

#include <QCloseEvent>
#include <QDateEdit>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScopedValueRollback>
#include <QVBoxLayout>

#include "market/calendar.h"
#include "market/history.h"
#include "market/http.h"
#include "market/market_clock.h"
#include "market/quotes.h"
#include "market/web.h"
#include "platform/busy_guard.h"
#include "platform/daynum.h"
#include "platform/forms/date_box.h"
#include "platform/numeric.h"
#include "platform/prompter.h"
#include "platform/recordset.h"
#include "records/calc.h"
#include "records/deelres.h"
#include "records/entry_checks.h"
#include "records/split_merge.h"
#include "records/stock_lookup.h"
#include "storage/common.h"
#include "storage/db_operate.h"
#include "storage/forms/form_instance.h"
#include "storage/forms/form_ops.h"

namespace {

const QString kCaption = QStringLiteral("编辑股票买卖信息");
const QDate kFirstDate(1990, 1, 1);

// The leading number of a text rounded to a whole number of 32 bits; 0 beyond them.
long WholeOf(const QString &text)
{
    return ClngOf(LeadingNumber(text)).value_or(0);
}

QString PriceRangeText(const QString &side, const PriceRange &r)
{
    return QStringLiteral("错误：") + side + QStringLiteral("价格超出实际交易范围【") + NumberText(r.low) +
           u'-' + NumberText(r.high) + QStringLiteral("】！");
}

bool OutOfRange(double price, const PriceRange &r)
{
    // Without a price row or a quote for the day there is nothing to compare with.
    return r.IsKnown() && (price > r.high || price < r.low);
}

// The stock's open records before an edit is written, read on the save's connection: whether it has
// one (the tree lists it under "当前持有" then) and whether one other than record `id` is open (then it
// stays listed there whatever the edit). Nothing when the query fails.
struct OpenLots {
    bool any = false;
    bool other = false;
};
std::optional<OpenLots> OpenLotsBefore(DbConnection &conn, const QString &code, long id)
{
    RecordSet rs;
    // Two rows are enough to tell whether one other than this record is open.
    if (!rs.Open(conn, QStringLiteral("SELECT TOP 2 id FROM account WHERE code=") + SqlQuote(code) +
                           QStringLiteral(" AND sprice<=0")))
        return std::nullopt;
    OpenLots lots;
    for (; !rs.AtEOF(); rs.MoveNext()) {
        lots.any = true;
        lots.other = lots.other || rs.Field(QStringLiteral("id")).ToDouble() != id;
    }
    rs.Close();
    return lots;
}

}  // namespace

AccEditForm::AccEditForm() : QWidget(nullptr, Qt::Window)
{
    setObjectName(QStringLiteral("AccEdit"));
    setWindowTitle(kCaption);
    setAttribute(Qt::WA_DeleteOnClose);
    BuildControls();
    RegisterFormWidget(this, QStringLiteral("AccEdit"));
    Form_Load();
}

void AccEditForm::BuildControls()
{
    auto *grid = new QGridLayout;
    auto caption = [this](const char *text) {
        auto *label = new QLabel(QString::fromUtf8(text), this);
        Label1.push_back(label);
        return label;
    };
    const char *ttCaptions[] = {"股票代码：", "股票名称：", "交易数量：", "净收益率%：", "买入价格：", "卖出价格："};
    const char *ttTags[] = {"code", "sname", "num", "", "bprice", "sprice"};
    for (int i = 0; i < 6; ++i) {
        TT[i] = new QLineEdit(this);
        TT[i]->setProperty("Tag", QString::fromLatin1(ttTags[i]));
        connect(TT[i], &QLineEdit::textChanged, this, [this, i] { TT_Change(i); });
    }
    QFont bold = TT[5]->font();
    bold.setBold(true);
    TT[5]->setFont(bold);
    TT[4]->installEventFilter(this);
    TT[5]->installEventFilter(this);
    Memo = new QPlainTextEdit(this);
    Memo->setProperty("Tag", QStringLiteral("memo"));
    Memo->setTabChangesFocus(true);
    connect(Memo, &QPlainTextEdit::textChanged, this, [this] { TT_Change(6); });

    const char *dteCaptions[] = {"买入日期：", "卖出日期："};
    const char *dteTags[] = {"bdate", "sdate"};
    for (int i = 0; i < 2; ++i) {
        DTE[i] = new DateBox(this);
        DTE[i]->setProperty("Tag", QString::fromLatin1(dteTags[i]));
        connect(DTE[i], &QDateEdit::dateChanged, this, [this, i] { DTE_Change(i); });
    }

    ID = new QLineEdit(this);
    ID->setProperty("Tag", QStringLiteral("ID"));
    ID->hide();
    connect(ID, &QLineEdit::textChanged, this, &AccEditForm::ID_Change);

    const char *lblCaptions[] = {"成 本 价：", "交易成本：", "使用资金：", "净收益额：", "持有天数："};
    for (int i = 0; i < 5; ++i) {
        LBL[i] = new QLabel(i == 4 ? QStringLiteral("0") : QStringLiteral("-"), this);
        LBL[i]->setMinimumWidth(110);
    }

    // Two columns of caption and control; the memo and the buttons span the width.
    auto place = [&](int row, int column, QLabel *label, QWidget *control) {
        grid->addWidget(label, row, column * 2, Qt::AlignRight);
        grid->addWidget(control, row, column * 2 + 1);
    };
    std::array<QLabel *, 6> ttLabels{};
    for (int i = 0; i < 6; ++i)
        ttLabels[i] = caption(ttCaptions[i]);
    QLabel *memoLabel = caption("备注：");
    std::array<QLabel *, 2> dteLabels{caption(dteCaptions[0]), caption(dteCaptions[1])};
    std::array<QLabel *, 5> lblLabels{};
    for (int i = 0; i < 5; ++i)
        lblLabels[i] = caption(lblCaptions[i]);
    place(0, 0, ttLabels[0], TT[0]);
    place(0, 1, ttLabels[1], TT[1]);
    place(1, 0, dteLabels[0], DTE[0]);
    place(1, 1, dteLabels[1], DTE[1]);
    place(2, 0, ttLabels[2], TT[2]);
    place(2, 1, ttLabels[3], TT[3]);
    place(3, 0, ttLabels[4], TT[4]);
    place(3, 1, ttLabels[5], TT[5]);
    place(4, 0, lblLabels[0], LBL[0]);
    place(4, 1, lblLabels[1], LBL[1]);
    place(5, 0, lblLabels[2], LBL[2]);
    place(5, 1, lblLabels[3], LBL[3]);
    place(6, 0, lblLabels[4], LBL[4]);
    grid->addWidget(memoLabel, 7, 0, Qt::AlignRight | Qt::AlignTop);
    grid->addWidget(Memo, 7, 1, 1, 3);
    Memo->setFixedHeight(70);

    auto *buttons = new QHBoxLayout;
    const char *comCaptions[] = {"保存/继续添加", "保 存 / 退 出", "取  消"};
    for (int i = 0; i < 3; ++i) {
        Com[i] = new QPushButton(QString::fromUtf8(comCaptions[i]), this);
        connect(Com[i], &QPushButton::clicked, this, [this, i] { Com_Click(i); });
        buttons->addWidget(Com[i]);
    }
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addLayout(buttons);
}

QString AccEditForm::TTText(int i) const
{
    if (i >= 0 && i < 6)
        return TT[i]->text();
    return i == 6 ? Memo->toPlainText() : QString();
}

void AccEditForm::SetTTText(int i, const QString &text)
{
    // Writing only a changed text keeps a handling that writes its own box (the trim of the code)
    // from running again and again.
    if (TTText(i) == text)
        return;
    if (i >= 0 && i < 6)
        TT[i]->setText(text);
    else if (i == 6)
        Memo->setPlainText(text);
}

void AccEditForm::WriteQuiet(int i, const QString &text)
{
    const QScopedValueRollback quiet(m_quiet[i], true);
    SetTTText(i, text);
}

bool AccEditForm::IsNewRecordMode() const
{
    return WholeOf(ID->text()) == 0;
}

void AccEditForm::Form_Load()
{
    SetTopMost(this);
    NewAccEdit();
}

std::optional<double> AccEditForm::LastTradeDate() const
{
    // Today is the market's (China time), as for the calendar that decided it.
    if (IsTradeDay(kEmptyDate, QStringLiteral("1A0001")))
        return MarketTodayDayNumber();
    const Value newest = GetFieldValue(QStringLiteral("H_1A0001"), QStringLiteral("TRUE ORDER BY trdat DESC"),
                                       QStringLiteral("trdat"), MakeString(QString()));
    if (!newest.IsDate() && !newest.IsNumeric())
        return std::nullopt;
    return std::floor(newest.ToDouble());
}

void AccEditForm::NewAccEdit()
{
    const std::optional<double> day = LastTradeDate();
    // No trade is dated after today: the pickers stop there.
    const QDate today = MarketToday();
    DTE[0]->setDateRange(kFirstDate, today);
    DTE[1]->setMaximumDate(today);
    for (int i = 0; i <= 5; ++i) {
        if (i < 5)
            LBL[i]->setText(QString());
        if (i < 2 && day)
            DTE[i]->setDate(DateOfDayNumber(*day));
        SetTTText(i, QString());
    }
    ID->setText(QString());
    TT[0]->setEnabled(true);
    TT[1]->setEnabled(true);
    const std::optional<TreeNodeRef> node = CurrentNodeOf();
    if (node && node->key.startsWith(u'S'))
        SetTTText(0, node->key.mid(1));
}

void AccEditForm::ID_Change()
{
    LoadAccEdit(WholeOf(ID->text()));
}

void AccEditForm::LoadAccEdit(long id)
{
    if (id == 0)
        return;
    DbConnection conn;
    RecordSet rs;
    const bool found = OpenRs(conn, rs, QStringLiteral("SELECT * FROM account WHERE ID=") + QString::number(id)) &&
                       !rs.AtEOF();
    std::array<QString, 7> texts;
    double bdate = 0, sdate = 0, sprice = 0;
    if (found) {
        for (int i = 0; i <= 6; ++i) {
            const QString tag = (i < 6 ? TT[i]->property("Tag") : Memo->property("Tag")).toString();
            if (tag.isEmpty())
                continue;
            const Value v = rs.Field(tag);
            // A zero number and a NULL show as an empty box, so an open record has no sell price.
            texts[i] = v.IsNull() || (v.IsNumeric() && v.num == 0) ? QString() : v.ToText();
        }
        bdate = rs.Field(QStringLiteral("bdate")).ToDouble();
        sdate = rs.Field(QStringLiteral("sdate")).ToDouble();
        sprice = rs.Field(QStringLiteral("sprice")).ToDouble();
    }
    CloseRs(conn, rs);
    if (found) {
        for (int i = 0; i <= 6; ++i) {
            const QString tag = (i < 6 ? TT[i]->property("Tag") : Memo->property("Tag")).toString();
            if (!tag.isEmpty())
                SetTTText(i, texts[i]);
        }
        // A stored date after today is shown as it is, not moved to today behind the user's back; the
        // checks refuse to save it.
        const QDate today = MarketToday();
        const QDate bought = DateOfDayNumber(bdate);
        const QDate sold = sprice > 0 ? DateOfDayNumber(sdate) : today;
        DTE[0]->setDateRange(kFirstDate, std::max(today, bought));
        DTE[1]->setDateRange(bought, std::max({today, bought, sold}));
        DTE[0]->setDate(bought);
        if (sprice > 0)
            DTE[1]->setDate(sold);
        else if (const std::optional<double> day = LastTradeDate())
            DTE[1]->setDate(DateOfDayNumber(*day));
        DTE_Change(0);
        TT_Change(0);
        // A box whose text did not change ran no handling: the figures of a record loaded over one
        // with the same prices would be those of the first.
        ShowFigures();
        ShowReturn();
        TT[2]->setToolTip(TTText(2));
        TT[0]->setEnabled(false);
        TT[1]->setEnabled(false);
    }
    TT[5]->setFocus();
    TT[5]->selectAll();
}

void AccEditForm::ProposeBuy(const QString &code)
{
    SetTTText(4, NumberText(GetRealtimePrice(code)));
    // No proposal (no price) leaves the quantity as it was.
    const long n = SuggestBuyNum(code, LeadingNumber(TTText(4)));
    if (n > 0)
        SetTTText(2, QString::number(n));
}

void AccEditForm::TT_Change(int index)
{
    if (index < 0 || index > 6 || m_quiet[index])
        return;
    if (index < 6 ? !TT[index]->isEnabled() : !Memo->isEnabled())
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
        // An unknown code must not stand beside the name of the stock typed before it. A loaded
        // record keeps its own name.
        if (name.isEmpty() && IsNewRecordMode())
            WriteQuiet(1, QString());
        if (name.isEmpty())
            return;
        WriteQuiet(1, name);
        if (IsNewRecordMode())
            ProposeBuy(code);
        break;
    }
    case 1: {
        const std::optional<StockMatch> match = FindStockByText(TTText(1));
        if (!match)
            return;
        WriteQuiet(0, match->code);
        WriteQuiet(1, match->name);
        if (IsNewRecordMode())
            ProposeBuy(match->code);
        break;
    }
    case 2:
    case 4:
    case 5:
        ShowFigures();
        ShowReturn();
        break;
    default:  // the net return and the memo drive nothing
        break;
    }
}

void AccEditForm::ShowFigures()
{
    const double q = EntryNumber(TTText(2)).value_or(0);
    const double p = EntryNumber(TTText(4)).value_or(0);
    const double s = EntryNumber(TTText(5)).value_or(0);
    const std::optional<int32_t> n = ClngOf(q);
    if (q <= 0 || p <= 0 || !n || !std::isfinite(p * q)) {
        for (int i = 0; i < 3; ++i)
            LBL[i]->setText(QStringLiteral("-"));
        return;
    }
    // The sell side is estimated at the buy price while there is no sell price.
    const double fees = CalcTradeFee(*n, 2, p, s, *n);
    LBL[0]->setText(NumberText(RoundHalfEven((p * q + fees) / q, 3)));
    LBL[1]->setText(NumberText(RoundHalfEven(fees, 2)));
    LBL[2]->setText(FormatValue(MakeDouble(p * q + CalcTradeFee(*n, 0, p, s, *n))));
}

void AccEditForm::ShowReturn()
{
    const double q = EntryNumber(TTText(2)).value_or(0);
    const double p = EntryNumber(TTText(4)).value_or(0);
    const double s = EntryNumber(TTText(5)).value_or(0);
    if (s > 0) {
        // With no cost price ("-") the return cannot be worked out and the box keeps its text.
        const double c = LeadingNumber(LBL[0]->text());
        if (c != 0)
            SetTTText(3, FormatValue(MakeDouble((s / c - 1) * 100)));
        LBL[3]->setText(FormatValue(MakeDouble((s - p) * q)));
    } else {
        SetTTText(3, QString());
        LBL[3]->setText(QStringLiteral("-"));
    }
}

bool AccEditForm::TT_Click(int index)
{
    if ((index != 4 && index != 5) || !TTText(index).isEmpty())
        return false;
    SetTTText(index, NumberText(GetRealtimePrice(TTText(0))));
    // The proposal is selected, so that what the user types replaces it.
    TT[index]->setFocus(Qt::MouseFocusReason);
    TT[index]->selectAll();
    return true;
}

void AccEditForm::DTE_Change(int)
{
    LBL[4]->setText(QString::number(DTE[0]->date().daysTo(DTE[1]->date())));
    DTE[1]->setMinimumDate(DTE[0]->date());
}

bool AccEditForm::eventFilter(QObject *watched, QEvent *event)
{
    // A press that filled a box is not passed on: the box would put the cursor where it was
    // pressed and so undo the selection of the proposal.
    if (event->type() == QEvent::MouseButtonPress) {
        if (watched == TT[4])
            return TT_Click(4);
        if (watched == TT[5])
            return TT_Click(5);
    }
    return QWidget::eventFilter(watched, event);
}

PriceRange AccEditForm::GetMaxAndMinPrice(const QString &code, double day) const
{
    PriceRange range;
    // Today's range is the quote's while the market's day (China time) is today, whatever the date
    // of the machine's clock: a past day's range is in its price table.
    if (day <= kEmptyDate || std::floor(day) == MarketTodayDayNumber()) {
        const QStringList chunks = FetchQuoteText(code);
        if (chunks.size() < 2)
            return range;
        const QStringList fields = chunks[1].split(u',');
        if (fields.size() >= 31) {
            range.high = LeadingNumber(fields[4]);
            range.low = LeadingNumber(fields[5]);
        }
        return range;
    }
    const std::optional<QString> table = HistoryTableName(code);
    if (!table)
        return range;
    const QStringList values = GetRecordFields(*table, QStringLiteral("trdat=") + SqlDateLiteral(day),
                                               QStringLiteral("mxprice,mnprice"));
    if (values.size() >= 2) {
        range.high = LeadingNumber(values[0]);
        range.low = LeadingNumber(values[1]);
    }
    return range;
}

bool AccEditForm::CheckInfo()
{
    const QString code = TTText(0);
    const double bdate = DayNumberOf(DTE[0]->date());
    const double sdate = DayNumberOf(DTE[1]->date());
    // Each box is read once, as the save reads it; a text that is not wholly a number reads as NaN
    // and fails its box's check.
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double num = EntryNumber(TTText(2)).value_or(nan);
    const double bprice = EntryNumber(TTText(4)).value_or(nan);
    const double sprice = EntryNumber(TTText(5)).value_or(nan);
    auto fail = [](const QString &message) {
        MsgBox(message, Msg::OkOnly);
        return false;
    };
    m_downloaded.clear();
    if (const QString m = CheckTradeCode(code); !m.isEmpty())
        return fail(m);
    if (sdate < bdate)
        return fail(QStringLiteral("错误：卖出日期先于买入日期！"));
    const long sid = ClngOf(StockIdOf(code).ToDouble()).value_or(0);
    // A download the user gave up (closing the wait window) ends the asking for this check: the next
    // one would wait a second and show the window again.
    bool givenUp = false;
    const auto download = [&givenUp](const std::function<bool()> &query) {
        if (givenUp)
            return false;
        BusyGuard busy;
        DataService().last = HttpOutcome::None;
        const bool answered = query();
        givenUp = DataService().last == HttpOutcome::GivenUp;
        return answered;
    };
    // A stock new to the book has no price table yet: without it no past day would count as a
    // trading day, and the history of a new holding could not be entered.
    if (QuoteIndexOf(code) < 0 && download([&] { return DownloadStockHistory(sid, code); }))
        m_downloaded = code;
    // A past day is a trading day when the stock's history has a row for it; what the table lacks
    // for the day (an older year, the days since the last download) is fetched first. When that
    // fails, a day without a row may have been a trading day: the message says so. A code of the
    // book that the stock list lacks has no history to be had: the market's calendar, the index's
    // history, decides for it.
    const QString dayCode = sid > 0 ? code : QStringLiteral("1A0001");
    const long daySid = sid > 0 ? sid : ClngOf(StockIdOf(dayCode).ToDouble()).value_or(0);
    const auto tradeDayFailure = [&](double day, const QString &side) {
        const bool answered = download([&] { return DownloadHistoryForDay(daySid, dayCode, day); });
        if (IsTradeDay(day, dayCode))
            return QString();
        return answered ? TradeDayMessage(side) : TradeDayUncheckedMessage(side);
    };
    if (const QString m = tradeDayFailure(bdate, QStringLiteral("买入")); !m.isEmpty())
        return fail(m);
    if (const QString m = CheckSellPrice(sprice); !m.isEmpty())
        return fail(m);
    if (sprice > 0) {
        if (const QString m = tradeDayFailure(sdate, QStringLiteral("卖出")); !m.isEmpty())
            return fail(m);
    }
    if (const QString m = CheckBuyPrice(bprice); !m.isEmpty())
        return fail(m);
    if (const QString m = CheckTradeNum(num); !m.isEmpty())
        return fail(m);
    const PriceRange buyRange = GetMaxAndMinPrice(code, bdate);
    const double earliest = GetFieldValue(QStringLiteral("account"), QStringLiteral("TRUE ORDER BY bdate"),
                                          QStringLiteral("bdate"), MakeDate(MarketTodayDayNumber()))
                                .ToDouble();
    if (OutOfRange(bprice, buyRange) && bdate > earliest)
        return fail(PriceRangeText(QStringLiteral("买入"), buyRange));
    if (sprice > 0) {
        const PriceRange sellRange = sdate != bdate ? GetMaxAndMinPrice(code, sdate) : buyRange;
        if (OutOfRange(sprice, sellRange))
            return fail(PriceRangeText(QStringLiteral("卖出"), sellRange));
    }
    return true;
}

bool AccEditForm::SaveAccRec()
{
    const long id = WholeOf(ID->text());
    const double bdate = DayNumberOf(DTE[0]->date());
    const double sdate = DayNumberOf(DTE[1]->date());
    BusyGuard busy;
    const QScopedValueRollback saving(m_saving, true);

    const QString sql = QStringLiteral("SELECT * FROM account WHERE  ID=") + QString::number(id);
    DbConnection conn;
    RecordSet rs;
    if (!OpenRs(conn, rs, sql)) {
        MsgBox(SaveFailedMessage(), Msg::OkOnly);
        return false;
    }
    const bool isNew = rs.AtEOF();
    // A new record moves the stock in the tree anyway.
    const std::optional<OpenLots> before = isNew ? std::nullopt : OpenLotsBefore(conn, TTText(0), id);
    double firstDay = bdate;
    bool ok = true;
    if (isNew) {
        ok = rs.AddNew();
    } else {
        // Moving the buy date later must also rewrite the asset rows between the two dates.
        const Value stored = rs.Field(QStringLiteral("bdate"));
        if (stored.IsDate() || stored.IsNumeric())
            firstDay = std::min(firstDay, stored.ToDouble());
    }
    for (int i = 0; i <= 6 && ok; ++i) {
        const QString tag = (i < 6 ? TT[i]->property("Tag") : Memo->property("Tag")).toString();
        if (tag.isEmpty())
            continue;
        const bool numeric = tag == QLatin1String("num") || tag == QLatin1String("bprice") ||
                             tag == QLatin1String("sprice");
        ok = rs.Set(tag, numeric ? MakeDouble(EntryNumber(TTText(i)).value_or(0)) : MakeString(TTText(i)));
    }
    const QString code = TTText(0);
    const double sprice = EntryNumber(TTText(5)).value_or(0);
    // A code of the book that the stock list lacks has no id there: an edited record keeps its own.
    const Value listedId = StockIdOf(code);
    if (listedId.IsNumeric() || isNew)
        ok = ok && rs.Set(QStringLiteral("sid"), listedId.IsNumeric() ? listedId : MakeLong(0));
    ok = ok && rs.Set(QStringLiteral("bdate"), MakeDate(bdate)) &&
         rs.Set(QStringLiteral("sdate"), MakeDate(sprice > 0 ? sdate : kEmptyDate)) && rs.Update();
    if (!ok) {
        LogDbError(rs.lastError, sql);
        rs.CancelUpdate();
        CloseRs(conn, rs);
        MsgBox(SaveFailedMessage(), Msg::OkOnly);
        return false;
    }
    const QString savedCode = rs.Field(QStringLiteral("code")).ToText();
    const long sid = ClngOf(rs.Field(QStringLiteral("sid")).ToDouble()).value_or(0);
    const Value savedId = rs.Field(QStringLiteral("id"));
    const double savedBdate = rs.Field(QStringLiteral("bdate")).ToDouble();
    CloseRs(conn, rs);

    if (QuoteIndexOf(savedCode) < 0) {
        if (m_downloaded != savedCode)
            DownloadStockHistory(sid, savedCode);
        RebuildQuoteList();
    }
    m_downloaded.clear();
    RecalcTradeAmounts(savedId);
    RecalcDeelRes(std::min(firstDay, savedBdate), true);
    // A new record, or an edit that sold the stock's last open lot or opened one again, moves the stock
    // in the tree; other edits leave the tree as it is. The edited record is open when it has no sell
    // price.
    if (isNew || !before || (before->other || sprice <= 0) != before->any)
        ReloadStockTree();
    const std::optional<TreeNodeRef> node = CurrentNodeOf();
    if (node && (!node->key.startsWith(u'S') || node->text.mid(1, 6) == savedCode)) {
        ResetChart();
        RefreshCurrentNode();
    } else {
        // Another stock's grid and chart stay; the figures of the whole book changed all the same, and
        // the status line lost them to the recomputation's progress text.
        RefreshAssetLines();
    }
    // A record bought after the end of the main window's date window must be inside it.
    ResetDtpRange(savedBdate);
    return true;
}

void AccEditForm::Com_Click(int index)
{
    // A second click while a save lets events through must not store the entry twice.
    if (IsBusy() || m_saving)
        return;
    if (index == 2) {
        close();
        return;
    }
    bool saved = false;
    {
        const QScopedValueRollback working(m_saving, true);
        saved = CheckInfo() && SaveAccRec();
    }
    if (!saved)
        return;
    if (index == 0)
        NewAccEdit();
    else if (index == 1)
        close();
}

void AccEditForm::closeEvent(QCloseEvent *event)
{
    if (m_saving) {
        event->ignore();
        return;
    }
    FormInstance<AccEditForm>::Forget(this);
    event->accept();
}

AccEditForm *AccEdit()
{
    return FormInstance<AccEditForm>::Get();
}

AccEditForm *LoadedAccEdit()
{
    return FormInstance<AccEditForm>::Loaded();
}

void AccEditNodeClick(const TreeNodeRef &node)
{
    AccEditForm *form = LoadedAccEdit();
    if (!node.key.startsWith(u'S') || !form || !form->IsNewRecordMode() || !form->TT[0]->isEnabled())
        return;
    form->SetTTText(0, node.text.mid(1, 6));
}

void AccEditShowRecord(long id)
{
    AccEditForm *form = AccEdit();
    ShowModeless(form);
    form->ID->setText(QString::number(id));
}

void AccEditShowNew()
{
    AccEditForm *form = AccEdit();
    ShowModeless(form);
    // A loaded record would be overwritten by the next save: a new entry starts instead.
    if (!form->IsNewRecordMode())
        form->NewAccEdit();
}
