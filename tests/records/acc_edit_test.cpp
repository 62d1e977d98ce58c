// The record editor: stock lookup while typing, the figures, loading a record, the checks with their
// messages, saving with the refreshes that follow, and the entry points of the main window.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDateEdit>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QTimer>
#include <QTimeZone>

#include "fixtures/closed_port.h"
#include "market/web.h"
#include "platform/busy_guard.h"
#include "platform/daynum.h"
#include "records/deelres.h"
#include "records/record_form_fixture.h"
#include "storage/forms/indicator_form.h"
#include "storage/indicator.h"
#include "storage/window_ops.h"

namespace {

// An entry typed into the editor; null texts are left as the form has them.
struct Entry {
    QString code;
    QDate bdate;
    QDate sdate;
    QString num;
    QString bprice;
    QString sprice;
};

class AccEditTest : public RecordFormTest {
protected:
    // Types the entry into the editor: code first (its lookup proposes), then the dates and numbers.
    static void Type(AccEditForm *f, const Entry &e)
    {
        if (!e.code.isNull())
            f->SetTTText(0, e.code);
        if (e.bdate.isValid())
            f->DTE[0]->setDate(e.bdate);
        if (e.sdate.isValid())
            f->DTE[1]->setDate(e.sdate);
        if (!e.num.isNull())
            f->SetTTText(2, e.num);
        if (!e.bprice.isNull())
            f->SetTTText(4, e.bprice);
        if (!e.sprice.isNull())
            f->SetTTText(5, e.sprice);
    }
    static QStringList Figures(AccEditForm *f)
    {
        return {f->LBL[0]->text(), f->LBL[1]->text(), f->LBL[2]->text(), f->TTText(3), f->LBL[3]->text()};
    }
    // Digits typed into a widget key by key, as the keyboard sends them.
    static void TypeDigits(QWidget *w, const QString &digits)
    {
        for (const QChar c : digits) {
            QKeyEvent press(QEvent::KeyPress, Qt::Key_0 + (c.unicode() - u'0'), Qt::NoModifier, QString(c));
            QCoreApplication::sendEvent(w, &press);
        }
    }
};

TEST_F(AccEditTest, CodeAndNameLookupProposePriceAndQuantity)
{
    struct Case {
        int box;
        const char *typed;
        QStringList expect;  // TT(0), TT(1), TT(4), TT(2)
    } cases[] = {
        {0, " 600000 ", {"600000", "浦发银行", "10", "1500"}},
        {0, "600000", {"600000", "浦发银行", "10", "1500"}},
        {0, "999999", {"999999", "", "", ""}},
        {0, "'", {"'", "", "", ""}},
        {0, "%'--", {"%'--", "", "", ""}},
        {1, "pfyh", {"600000", "浦发银行", "10", "1500"}},
        {1, "浦%银", {"600000", "浦发银行", "10", "1500"}},  // % stays a wildcard
        {1, "银行", {"", "银行", "", ""}},
        {1, "%", {"", "%", "", ""}},
        {1, "'", {"", "'", "", ""}},
        {1, "%'--", {"", "%'--", "", ""}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.typed);
        AccEditForm *f = AccEdit();
        f->SetTTText(c.box, QString::fromUtf8(c.typed));
        EXPECT_EQ(Texts(f, {0, 1, 4, 2}), c.expect);
        delete f;
    }
    // An unknown code typed after a known one leaves no name of the other stock behind.
    AccEditForm *f = AccEdit();
    f->SetTTText(0, "600000");
    f->SetTTText(0, "999999");
    EXPECT_EQ(f->TTText(1), "");
    delete f;
    // Clearing the name box searches with an empty text, which matches every stock: nothing changes.
    f = AccEdit();
    f->SetTTText(1, "pfyh");
    f->SetTTText(1, "");
    EXPECT_EQ(Texts(f, {0, 1, 4, 2}), QStringList({"600000", "", "10", "1500"}));
    // A click into an empty price box fills it with the current price; a box with text keeps it.
    auto click = [f](int box) {
        QMouseEvent press(QEvent::MouseButtonPress, QPointF(2, 2), QPointF(2, 2), Qt::LeftButton, Qt::LeftButton,
                          Qt::NoModifier);
        QCoreApplication::sendEvent(f->TT[box], &press);
    };
    f->SetTTText(4, "9");
    click(4);
    click(5);
    EXPECT_EQ(Texts(f, {4, 5}), QStringList({"9", "10"}));
    // The proposal is selected: what the user types replaces it.
    f->TT[5]->insert("6.10");
    EXPECT_EQ(f->TTText(5), "6.10");
    EXPECT_EQ(LogEntryCount(), 0) << LogText().toStdString();
}

TEST_F(AccEditTest, FiguresFollowQuantityAndPrices)
{
    struct Case {
        const char *num, *bprice, *sprice;
        QStringList expect;  // LBL(0), LBL(1), LBL(2), TT(3), LBL(3)
    } cases[] = {
        {"1000", "10.00", "", {"10.02", "20", "10,005.00", "", "-"}},
        {"1000", "10.00", "11.00", {"10.021", "21", "10,005.00", "9.77", "1,000.00"}},
        {"1000", "10.00", "10.00", {"10.02", "20", "10,005.00", "-0.20", ""}},
        {"1000.4", "10.00", "", {"10.02", "20", "10,009.00", "", "-"}},
        {"0", "10.00", "", {"-", "-", "-", "", "-"}},
        {"1000", "0", "", {"-", "-", "-", "", "-"}},
        {"1e12", "10.00", "", {"-", "-", "-", "", "-"}},    // beyond a whole number of 32 bits
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(std::string(c.num) + " " + c.bprice + " " + c.sprice);
        AccEditForm *f = AccEdit();
        Type(f, {QString(), {}, {}, c.num, c.bprice, c.sprice});
        EXPECT_EQ(Figures(f), c.expect);
        delete f;
    }
    // A new quantity changes every figure, the net return and the net profit too.
    AccEditForm *f = AccEdit();
    Type(f, {QString(), {}, {}, "1000", "10.00", "11.00"});
    f->SetTTText(2, "2000");
    EXPECT_EQ(Figures(f), QStringList({"10.017", "34.6", "20,006.00", "9.81", "2,000.00"}));
    delete f;
    // Without a cost price the net return cannot be worked out: the box keeps its text.
    f = AccEdit();
    Type(f, {QString(), {}, {}, "", "10", ""});
    f->SetTTText(3, "keep");
    f->SetTTText(5, "11");
    EXPECT_EQ(Figures(f), QStringList({"-", "-", "-", "keep", ""}));
}

TEST_F(AccEditTest, LoadShowsTheRecordWithoutProposals)
{
    const long sold = AddRecord("'600000','浦发银行',1000,1000,10,11,#2024-03-04#,#2024-03-07#,'first',148");
    const long open = AddRecord("'000001','平安旧名',500,500,10,0,#2024-03-05#,#1900-1-1#,'second',4");
    AccEditForm *f = AccEdit();
    services.ClearRequests();
    f->ID->setText(QString::number(sold));
    EXPECT_EQ(Texts(f, {0, 1, 2, 4, 5, 6}), QStringList({"600000", "浦发银行", "1000", "10", "11", "first"}));
    EXPECT_EQ(f->DTE[0]->date(), Day(3, 4));
    EXPECT_EQ(f->DTE[1]->date(), Day(3, 7));
    EXPECT_EQ(f->LBL[4]->text(), "3");
    EXPECT_EQ(Figures(f), QStringList({"10.021", "21", "10,005.00", "9.77", "1,000.00"}));
    EXPECT_FALSE(f->TT[0]->isEnabled());
    EXPECT_FALSE(f->TT[1]->isEnabled());
    EXPECT_EQ(f->TT[2]->toolTip(), "1000");
    EXPECT_TRUE(services.Requests().empty());  // no price proposed

    // A record loaded over another keeps its own name; an open one shows no sell price and the last
    // trading day as its sell date.
    f->ID->setText(QString::number(open));
    EXPECT_EQ(Texts(f, {0, 1, 2, 4, 5, 6}), QStringList({"000001", "平安旧名", "500", "10", "", "second"}));
    EXPECT_EQ(f->DTE[1]->date(), Day(3, 8));
    EXPECT_EQ(f->LBL[4]->text(), "3");
    EXPECT_EQ(Figures(f), QStringList({"10.03", "15", "5,005.00", "", "-"}));
    EXPECT_EQ(f->DTE[1]->minimumDate(), Day(3, 5));

    // Without a trading day to start from, a new entry leaves the dates as they are.
    Exec("DELETE FROM H_1A0001");
    f->NewAccEdit();
    EXPECT_EQ(f->DTE[0]->date(), Day(3, 5));
    EXPECT_EQ(Texts(f, {0, 2, 4, 6}), QStringList({"", "", "", "second"}));
    // Loaded from a new entry, the name comes from the stock list.
    f->ID->setText(QString::number(open));
    const QStringList loaded({"000001", "平安银行", "500", "10", "", "second"});
    EXPECT_EQ(Texts(f, {0, 1, 2, 4, 5, 6}), loaded);

    // An id without a record changes nothing.
    f->ID->setText("999");
    EXPECT_EQ(Texts(f, {0, 1, 2, 4, 5, 6}), loaded);
    EXPECT_TRUE(services.Requests().empty());
}

TEST_F(AccEditTest, PickersStopAtTodayAndTakeATypedYear)
{
    Hold600000();
    // A new entry: neither picker goes past today.
    AccEditForm *f = AccEdit();
    for (QDateEdit *picker : f->DTE) {
        picker->setDate(QDate(2035, 1, 2));
        EXPECT_EQ(picker->date(), Day(3, 9));
    }
    // A click into the year selects it: the year typed replaces it.
    QLineEdit *text = f->DTE[0]->findChild<QLineEdit *>();
    ASSERT_NE(text, nullptr);
    const QPointF inYear(3 + text->fontMetrics().horizontalAdvance(QStringLiteral("20")), text->height() / 2);
    for (const QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease}) {
        QMouseEvent click(type, inYear, inYear, Qt::LeftButton, type == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton,
                          Qt::NoModifier);
        QCoreApplication::sendEvent(text, &click);
    }
    TypeDigits(f->DTE[0], "2022");
    EXPECT_EQ(f->DTE[0]->date(), QDate(2022, 3, 9));
    // A year typed over a date whose month and day would pass today is taken, brought back to today,
    // and typing goes on with the month and the day.
    f->DTE[0]->setDate(QDate(2023, 12, 8));
    f->DTE[0]->setSelectedSection(QDateTimeEdit::YearSection);
    TypeDigits(f->DTE[0], "20240110");
    EXPECT_EQ(f->DTE[0]->date(), Day(1, 10));
    f->DTE[0]->setSelectedSection(QDateTimeEdit::YearSection);
    TypeDigits(f->DTE[0], "2030");  // no year after this one
    EXPECT_EQ(f->DTE[0]->date(), Day(1, 10));

    // A stored date after today is shown as it is and refused, not moved to today by the save.
    struct Case {
        const char *values;
        QDate bdate, sdate;
        QString message;
    } cases[] = {
        {"1000,1000,10,0,#2030-01-02#,#1900-1-1#", {2030, 1, 2}, {2030, 1, 2}, "错误：买入日期不是开盘日！"},
        {"1000,1000,10,11,#2024-03-04#,#2030-01-03#", Day(3, 4), {2030, 1, 3}, "错误：卖出日期不是开盘日！"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.values);
        const long id = AddRecord(QStringLiteral("'600000','浦发银行',") + c.values + QStringLiteral(",'',148"));
        f->ID->setText(QString::number(id));
        EXPECT_EQ(f->DTE[0]->date(), c.bdate);
        EXPECT_EQ(f->DTE[1]->date(), c.sdate);
        prompter.shown.clear();
        f->Com_Click(1);
        EXPECT_EQ(prompter.Messages(), QStringList(c.message));
        EXPECT_EQ(FieldOf(id, "bdate").num, DayNumberOf(c.bdate));
    }
}

TEST_F(AccEditTest, CheckInfoShowsTheFirstFailure)
{
    Hold600000();
    AddRecord("'600000','浦发银行',100,100,10,0,#2024-03-05#,#1900-1-1#,'',148");  // the earliest buy
    // Imported with a code the stock list lacks (no stock id, no history of its own).
    AddRecord("'600001','邯郸钢铁',100,100,5,0,#2024-03-07#,#1900-1-1#,'',0");
    const QString range = QStringLiteral("错误：买入价格超出实际交易范围【");
    const QString down = ClosedServiceBase() + QStringLiteral("/gupiao/");
    const auto unchecked = [](const QString &address, const QString &why) {
        return QStringLiteral("错误：数据服务（") + address + QStringLiteral("）") + why +
               QStringLiteral("，无法核对买入日期是否开盘日！\n数据服务的地址由环境变量 KELVARO_DATA_URL 设定。");
    };
    const QString noResponse = unchecked(down, QStringLiteral("没有响应"));
    // The data service as each case finds it: as the fixture leaves it (an error reply to every
    // history query), not answering at all, serving 600000's history from 2022 on, or left alone
    // since a failure ten seconds ago.
    enum Service { kAsSet, kDown, kFrom2022, kLeftAlone };
    const auto from2022 = std::make_shared<FakeHistory>(QDate(2022, 1, 4), Day(3, 8), std::vector<long>{148});
    ASSERT_TRUE(from2022->IsTradingDay(QDate(2022, 3, 1)) && !from2022->IsSuspended(148, QDate(2022, 3, 1)));
    ASSERT_TRUE(FakeHistory::IsHoliday(QDate(2022, 10, 4)));
    const QDateTime kNewYorkThursday(Day(3, 7), QTime(21, 0), QTimeZone(-5 * 3600));
    struct Case {
        Entry entry;
        QDate today;  // null: the Saturday
        QString message;
        Service service = kAsSet;
        QDateTime at = {};  // the clock, when set apart from today
    } cases[] = {
        {{"60000", Day(3, 6), Day(3, 8), "1000", "10.8", ""}, {}, "错误：股票代码错误！"},
        {{"999999", Day(3, 6), Day(3, 8), "1000", "10.8", ""}, {}, "错误：股票代码错误！"},
        {{"1A0001", Day(3, 6), Day(3, 8), "1000", "3000", ""}, {}, "错误：股票代码错误！"},
        {{"1a0001", Day(3, 6), Day(3, 8), "1000", "3000", ""}, {}, "错误：股票代码错误！"},
        {{"399001", Day(3, 6), Day(3, 8), "1000", "3000", ""}, {}, "错误：股票代码错误！"},
        {{"600000", Day(3, 2), Day(3, 8), "1000", "10.8", ""}, {}, "错误：买入日期不是开盘日！"},
        {{"600000", Day(3, 1), Day(3, 3), "1000", "10", "10"}, {}, "错误：卖出日期不是开盘日！"},
        {{"600000", Day(3, 1), Day(3, 3), "1000", "10", ""}, {}, ""},  // no sell price: date not tested
        {{"600000", Day(3, 6), Day(3, 8), "1000", "0", ""}, {}, "错误：买入价格错误！"},
        {{"600000", Day(3, 6), Day(3, 8), "1000", "", ""}, {}, "错误：买入价格错误！"},
        {{"600000", Day(3, 6), Day(3, 8), "0", "10.8", ""}, {}, "错误：交易数量错误！"},
        {{"600000", Day(3, 6), Day(3, 8), "0.4", "10.8", ""}, {}, "错误：交易数量错误！"},
        {{"600000", Day(3, 6), Day(3, 8), "3e9", "10.8", ""}, {}, "错误：交易数量错误！"},
        {{"600000", Day(3, 6), Day(3, 8), "1000", "12.00", ""}, {}, range + "10.5-11.2】！"},
        {{"600000", Day(3, 6), Day(3, 8), "1000", "10.4", ""}, {}, range + "10.5-11.2】！"},
        {{"600000", Day(3, 6), Day(3, 8), "1000", "11.2", ""}, {}, ""},
        {{"600000", Day(3, 5), Day(3, 8), "1000", "12.00", ""}, {}, ""},  // on the earliest buy
        {{"600000", Day(3, 4), Day(3, 8), "1000", "12.00", ""}, {}, ""},  // before it
        {{"600000", Day(3, 6), Day(3, 7), "1000", "11", "11.5"}, {}, "错误：卖出价格超出实际交易范围【10-11】！"},
        {{"600000", Day(3, 6), Day(3, 6), "1000", "11", "10.4"}, {}, "错误：卖出价格超出实际交易范围【10.5-11.2】！"},
        {{"600000", Day(3, 6), Day(3, 7), "1000", "11", "10"}, {}, ""},
        // Today's range comes from the quote (9.5-10.5); without a quote there is nothing to compare.
        {{"600000", Day(3, 11), Day(3, 11), "1000", "12", ""}, Day(3, 11), range + "9.5-10.5】！"},
        {{"600000", Day(3, 6), Day(3, 11), "1000", "11", "12"}, Day(3, 11),
         "错误：卖出价格超出实际交易范围【9.5-10.5】！"},
        {{"000001", Day(3, 11), Day(3, 11), "1000", "12", ""}, Day(3, 11), ""},
        // Each box is read whole as a number, as the save reads it.
        {{"600000", Day(3, 7), Day(3, 8), "1000", "10,5", ""}, {}, "错误：买入价格错误！"},
        {{"600000", Day(3, 7), Day(3, 8), "1000", "15a0.5", ""}, {}, "错误：买入价格错误！"},
        {{"600000", Day(3, 7), Day(3, 8), "1000", "7.1O", ""}, {}, "错误：买入价格错误！"},
        {{"600000", Day(3, 6), Day(3, 7), "1000", "11", "11,5"}, {}, "错误：卖出价格错误！"},
        {{"600000", Day(3, 6), Day(3, 7), "1000", "11", "￥99"}, {}, "错误：卖出价格错误！"},
        {{"600000", Day(3, 6), Day(3, 8), "1,000", " 10.8 ", "0"}, {}, ""},
        // No trade has these values, whatever the date.
        {{"600000", Day(3, 4), Day(3, 8), "1000", "1e308", ""}, {}, "错误：买入价格错误！"},
        {{"600000", Day(3, 4), Day(3, 8), "1000", "1000000", ""}, {}, "错误：买入价格错误！"},
        {{"600000", Day(3, 4), Day(3, 8), "1000", "999999.99", ""}, {}, ""},
        {{"600000", Day(3, 4), Day(3, 8), "1000", "10", "-1"}, {}, "错误：卖出价格错误！"},
        {{"600000", Day(3, 4), Day(3, 8), "1000.5", "10", ""}, {}, "错误：交易数量错误！"},
        // A code of the book missing from the stock list is checked on the market's calendar.
        {{"600001", Day(3, 6), Day(3, 8), "100", "5", ""}, {}, ""},
        {{"600001", Day(3, 2), Day(3, 8), "100", "5", ""}, {}, "错误：买入日期不是开盘日！"},
        {{"600002", Day(3, 6), Day(3, 8), "100", "5", ""}, {}, "错误：股票代码错误！"},
        // A year before the stored history is fetched first; without an answer the message says so.
        {{"600000", QDate(2022, 3, 1), Day(3, 8), "1000", "10", ""}, {}, "", kFrom2022},
        {{"600000", QDate(2022, 10, 4), Day(3, 8), "1000", "10", ""}, {}, "错误：买入日期不是开盘日！", kFrom2022},
        {{"600000", QDate(2022, 3, 1), Day(3, 8), "1000", "10", ""}, {}, noResponse, kDown},
        {{"600000", Day(3, 11), Day(3, 11), "1000", "10", ""}, Day(3, 12), noResponse, kDown},
        {{"600000", QDate(2022, 3, 1), Day(3, 8), "1000", "10", ""}, {},
         unchecked(services.DataBase(), QStringLiteral("返回了错误")), kAsSet},
        {{"600000", QDate(2022, 3, 1), Day(3, 8), "1000", "10", ""}, {},
         unchecked(services.DataBase(), QStringLiteral("最近没有正常应答，暂不询问（10:00:50 以后再询问）")), kLeftAlone},
        {{"600000", Day(3, 2), Day(3, 8), "1000", "10", ""}, {}, "错误：买入日期不是开盘日！", kDown},
        // A clock in New York on Thursday evening: in China it is Friday morning. Thursday's range
        // is in its price table, today's is the quote's, and today is the day the pickers start on.
        {{"600000", Day(3, 7), Day(3, 8), "1000", "10.9", ""}, {}, "", kAsSet, kNewYorkThursday},
        {{"600000", {}, {}, "1000", "10.9", ""}, {}, range + "9.5-10.5】！", kAsSet, kNewYorkThursday},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE((c.entry.code + " " + c.entry.bdate.toString() + " " + c.entry.num + " " + c.entry.bprice +
                      " " + c.entry.sprice)
                         .toStdString());
        SetToday(c.today.isValid() ? c.today : Day(3, 9), QTime(10, 0));
        if (c.at.isValid())
            SetClock([at = c.at] { return at; });
        ResetCalendar();
        if (c.today.isValid()) {
            Quotes().rows.push_back(QuoteRow{QStringLiteral("000001")});  // no download on the spot
            services.SetQuote(QStringLiteral("sh000001"), FakeServices::QuoteFields("上证指数", 1, 1, 1, 1, 1,
                                                                                    "2024-03-11"));
        }
        if (c.service == kDown)
            SetDataServiceBase(down);
        else if (c.service == kFrom2022)
            services.ServeHistory(from2022);
        const size_t asked = services.Requests().size();
        if (c.service == kLeftAlone) {
            DataService().downSince = ClockNow().addSecs(-10);
            DataService().failures = 1;
        }
        prompter.shown.clear();
        AccEditForm *f = AccEdit();
        Type(f, c.entry);
        EXPECT_EQ(f->CheckInfo(), c.message.isEmpty());
        EXPECT_EQ(prompter.Messages(), c.message.isEmpty() ? QStringList() : QStringList(c.message));
        if (c.service == kLeftAlone) {
            EXPECT_EQ(services.Requests().size(), asked);  // nothing was asked
        }
        delete f;
        Hold600000();
        services.ServeHistory(nullptr);
        SetDataServiceBase(services.DataBase());
        Exec("DELETE FROM H_600000 WHERE trdat<#2024-01-01#");
    }
}

// A save whose check waits on a data service that takes the request and never answers: past a
// second the progress window says what is awaited, while other clicks find the program busy, and
// closing the window gives the request up at once. The service is not taken as down for it.
TEST_F(AccEditTest, SaveWaitingOnASilentServiceShowsTheWaitAndClosingItGivesUp)
{
    Hold600000();
    services.AddFault(QStringLiteral("sp_2023_00"), FakeFault{FakeFault::None, 600000});
    InstallIndicatorWindow();
    QString caption;
    bool busy = false;
    int closed = 0;
    // The user closes the window as soon as it is up; this runs only while events are let through.
    QTimer user;
    user.setInterval(20);
    QObject::connect(&user, &QTimer::timeout, [&] {
        IndicatorForm *w = LoadedIndicator();
        if (!w || !w->isVisible())
            return;
        caption = w->LBL->text();
        busy = IsBusy();
        ++closed;
        w->close();
    });
    user.start();
    AccEditForm *f = AccEdit();
    Type(f, {"600000", QDate(2022, 3, 1), Day(3, 8), "1000", "10", ""});
    f->Com_Click(0);

    EXPECT_EQ(caption, QStringLiteral("正在连接历史数据服务，等待应答（最长30秒）……"));
    EXPECT_TRUE(busy);
    EXPECT_EQ(closed, 1);
    EXPECT_FALSE(IndicatorShown());
    EXPECT_EQ(DataService().last, HttpOutcome::GivenUp);
    EXPECT_FALSE(ServiceIsDown(DataService()));
    const QStringList unchecked(QStringLiteral("错误：数据服务（") + services.DataBase() +
                                QStringLiteral("）没有响应，无法核对买入日期是否开盘日！\n"
                                               "数据服务的地址由环境变量 KELVARO_DATA_URL 设定。"));
    EXPECT_EQ(prompter.Messages(), unchecked);
    EXPECT_EQ(CountRecords("account", "TRUE"), 0);

    // A stock new to the book: the download of its history is the first query, and the buy day's
    // check would ask again. Given up on the first, the check asks nothing more and says so.
    services.AddFault(QStringLiteral("sp_20"), FakeFault{FakeFault::None, 600000}, 10);
    prompter.shown.clear();
    closed = 0;
    const size_t asked = services.Requests().size();
    Type(f, {"000001", Day(3, 4), Day(3, 8), "100", "10", ""});
    f->Com_Click(0);
    user.stop();
    SetIndicatorView(nullptr);
    EXPECT_EQ(closed, 1);
    EXPECT_EQ(services.Requests().size(), asked + 2);  // the quote of the code typed, then one query
    EXPECT_EQ(prompter.Messages(), unchecked);
    EXPECT_EQ(CountRecords("account", "TRUE"), 0);
}

TEST_F(AccEditTest, NewStockHistoryIsDownloadedBeforeTheChecks)
{
    // 000001 (id 4) is not in the book: its price table comes from the data service.
    auto history = std::make_shared<FakeHistory>(QDate(2023, 1, 3), Day(3, 8), std::vector<long>{4});
    services.ServeHistory(history);
    const FakeHistory::Day last = history->Days(4).back();  // a day the stock traded
    AccEditForm *f = AccEdit();
    Type(f, {"000001", last.date, Day(3, 8), "1000", NumberText(last.close), ""});
    const size_t before = services.Requests().size();
    EXPECT_TRUE(f->CheckInfo()) << prompter.Messages().join(' ').toStdString();
    EXPECT_TRUE(TableExists("H_000001"));
    auto dataQueries = [this] {
        int n = 0;
        for (const FakeRequest &r : services.Requests())
            n += r.sql.isEmpty() ? 0 : 1;
        return n;
    };
    const int downloaded = dataQueries();
    EXPECT_GT(services.Requests().size(), before);
    EXPECT_TRUE(f->SaveAccRec());
    EXPECT_EQ(dataQueries(), downloaded);  // the save found the history there
    EXPECT_GE(QuoteIndexOf("000001"), 0);
    EXPECT_EQ(calls, QStringList({"tree", "lines", "dtp " + last.date.toString(Qt::ISODate)}));  // no current node
}

TEST_F(AccEditTest, SaveWritesTheRecordAndRefreshes)
{
    Hold600000();
    node = TreeNodeRef{QString(), QStringLiteral("股票"), 1};  // the root
    AccEditForm *f = AccEdit();
    Type(f, {"600000", Day(3, 5), Day(3, 8), "1000", "10.00", ""});
    f->Memo->setPlainText("memo");
    f->Com_Click(0);
    const long id = static_cast<long>(GetFieldValue("account", "TRUE ORDER BY id DESC", "id", MakeLong(0)).num);
    ASSERT_GT(id, 0) << prompter.Messages().join(' ').toStdString();
    EXPECT_EQ(FieldOf(id, "sdate").num, kEmptyDate);
    EXPECT_EQ(FieldOf(id, "tnum").num, 1000);
    EXPECT_EQ(FieldOf(id, "sid").num, 148);
    EXPECT_EQ(FieldOf(id, "bcash").num, 10005.00);
    EXPECT_DOUBLE_EQ(FieldOf(id, "aprice").num, 10.02);
    EXPECT_EQ(FieldOf(id, "memo").ToText(), "memo");
    EXPECT_EQ(CashOn(Day(3, 5)), 200000 - 10005.00);
    EXPECT_EQ(CashOn(Day(3, 6)), 200000 - 10005.00);
    EXPECT_EQ(calls, QStringList({"tree", "chart", "refresh", "dtp 2024-03-05"}));
    // "保存/继续添加": a new entry that keeps the memo.
    EXPECT_EQ(Texts(f, {0, 1, 2, 4, 5, 6}), QStringList({"", "", "", "", "", "memo"}));
    EXPECT_TRUE(f->IsNewRecordMode());
    EXPECT_TRUE(f->TT[0]->isEnabled());

    // An edit keeps tnum, rebuilds no tree and leaves another stock's grid alone, but not the figures
    // of the whole book; moving the buy date later rewrites the asset rows from the old date.
    Exec(QStringLiteral("UPDATE account SET tnum=2000 WHERE id=%1").arg(id));
    node = TreeNodeRef{QStringLiteral("S000001"), QStringLiteral("[000001]平安银行"), 3};
    calls.clear();
    f->ID->setText(QString::number(id));
    Type(f, {QString(), Day(3, 7), {}, "500", {}, {}});
    f->Com_Click(1);
    EXPECT_EQ(prompter.Messages(), QStringList());
    EXPECT_EQ(FieldOf(id, "num").num, 500);
    EXPECT_EQ(FieldOf(id, "tnum").num, 2000);
    EXPECT_EQ(FieldOf(id, "bdate").num, DayNumberOf(Day(3, 7)));
    EXPECT_EQ(CashOn(Day(3, 5)), 200000);
    EXPECT_EQ(CashOn(Day(3, 6)), 200000);
    EXPECT_EQ(CashOn(Day(3, 7)), 200000 - 5001.50);  // fees prorated from the kept trade size
    EXPECT_EQ(calls, QStringList({"lines", "dtp 2024-03-07"}));
    EXPECT_EQ(LoadedAccEdit(), nullptr);  // "保 存 / 退 出" closed it

    // The saved stock's node is refreshed; a sell price closes the record with the sell date, and as
    // the stock's last open record it moves the stock in the tree.
    node = TreeNodeRef{QStringLiteral("S600000"), QStringLiteral("[600000]浦发银行"), 2};
    calls.clear();
    AccEditShowRecord(id);
    Type(LoadedAccEdit(), {QString(), {}, Day(3, 8), {}, {}, "10.5"});
    LoadedAccEdit()->Com_Click(1);
    EXPECT_EQ(FieldOf(id, "sdate").num, DayNumberOf(Day(3, 8)));
    EXPECT_EQ(calls, QStringList({"tree", "chart", "refresh", "dtp 2024-03-07"}));
    // Opened again (no sell price) it moves the stock back; while another record of the stock is open,
    // selling or opening this one leaves the tree as it is.
    const auto treeMovesOnSellPrice = [&](const QString &sprice) {
        calls.clear();
        AccEditShowRecord(id);
        Type(LoadedAccEdit(), {QString(), {}, Day(3, 8), {}, {}, sprice});
        LoadedAccEdit()->Com_Click(1);
        EXPECT_EQ(prompter.Messages(), QStringList());
        return calls.contains(QStringLiteral("tree"));
    };
    EXPECT_TRUE(treeMovesOnSellPrice("0"));
    AddRecord("'600000','浦发银行',100,100,10,0,#2024-03-06#,#1900-1-1#,'',148");
    EXPECT_FALSE(treeMovesOnSellPrice("10.5"));
    EXPECT_FALSE(treeMovesOnSellPrice("0"));

    // "取  消" saves nothing.
    calls.clear();
    AccEditShowRecord(id);
    LoadedAccEdit()->SetTTText(2, "700");
    LoadedAccEdit()->Com_Click(2);
    EXPECT_EQ(FieldOf(id, "num").num, 500);
    EXPECT_EQ(calls, QStringList());

    // A record imported with a code the stock list lacks is saved with its own name and stock id.
    const long imported = AddRecord("'600001','邯郸钢铁',100,100,5,0,#2024-03-07#,#1900-1-1#,'',0");
    AccEdit()->SetTTText(0, "600001");  // a new record of it takes the book's name
    EXPECT_EQ(LoadedAccEdit()->TTText(1), "邯郸钢铁");
    AccEditShowRecord(imported);
    Type(LoadedAccEdit(), {QString(), {}, {}, "1,200", {}, {}});
    LoadedAccEdit()->Com_Click(1);
    EXPECT_EQ(prompter.Messages(), QStringList());
    EXPECT_EQ(FieldOf(imported, "num").num, 1200);
    EXPECT_EQ(FieldOf(imported, "sname").ToText(), "邯郸钢铁");
    EXPECT_EQ(FieldOf(imported, "sid").ToText(), "0");
    EXPECT_EQ(LogEntryCount(), 0) << LogText().toStdString();
}

TEST_F(AccEditTest, NoSaveWhileBusyOrWhenTheWriteFails)
{
    Hold600000();
    AccEditForm *f = AccEdit();
    const Entry entry{"600000", Day(3, 5), Day(3, 8), "1000", "10.00", ""};
    Type(f, entry);
    {
        BusyGuard busy;
        f->Com_Click(0);
        f->Com_Click(1);
    }
    EXPECT_EQ(CountRecords("account", QString()), 0);
    EXPECT_EQ(LoadedAccEdit(), f);

    // A refused write is reported and the entry stays for another try.
    Native("CREATE TRIGGER refuse BEFORE INSERT ON account BEGIN SELECT RAISE(ABORT, 'refused'); END");
    f->Com_Click(0);
    EXPECT_EQ(prompter.Messages(), QStringList("错误：保存记录失败！"));
    EXPECT_EQ(Texts(f, {0, 2, 4}), QStringList({"600000", "1000", "10.00"}));
    EXPECT_EQ(calls, QStringList());
    EXPECT_EQ(LogEntryCount(), 1);
    Native("DROP TRIGGER refuse");
    f->Com_Click(0);
    EXPECT_EQ(CountRecords("account", QString()), 1);
}

TEST_F(AccEditTest, MainWindowEntryPoints)
{
    const long id = AddRecord("'600000','浦发银行',1000,1000,10,0,#2024-03-05#,#1900-1-1#,'',148");
    const TreeNodeRef stock{QStringLiteral("S600000"), QStringLiteral("[600000]浦发银行"), 2};
    AccEditNodeClick(stock);  // not loaded: nothing, and nothing loaded
    EXPECT_EQ(LoadedAccEdit(), nullptr);

    // A stock node current when the editor loads fills the code at once.
    node = stock;
    AccEditForm *f = AccEdit();
    EXPECT_TRUE(IsFormOpen("编辑股票买卖信息"));
    EXPECT_EQ(Texts(f, {0, 1, 4, 2}), QStringList({"600000", "浦发银行", "10", "1000"}));
    AccEditNodeClick({QStringLiteral("C0"), QStringLiteral("[000001]x"), 3});  // a group node
    EXPECT_EQ(f->TTText(0), "600000");
    AccEditNodeClick({QStringLiteral("S000001"), QStringLiteral("[000001]平安银行"), 4});
    EXPECT_EQ(Texts(f, {0, 1}), QStringList({"000001", "平安银行"}));

    AccEditShowRecord(id);
    EXPECT_EQ(LoadedAccEdit(), f);
    EXPECT_TRUE(f->isVisible());
    EXPECT_EQ(Texts(f, {0, 2}), QStringList({"600000", "1000"}));
    AccEditNodeClick({QStringLiteral("S000001"), QStringLiteral("[000001]平安银行"), 4});  // edit mode
    EXPECT_EQ(f->TTText(0), "600000");
}

}  // namespace
