// The fixture of the tests of the windows that enter trade records: default settings, today the
// Saturday 2024-03-09 at 10:00, a fake quote of 600000 at 10.00 (range 9.5-10.5), two weeks of index
// and 600000 prices (range 9.8-10.8 but for 6 and 7 March), and the main window's hooks recording
// their calls.
#pragma once

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QTimeZone>

#include "fixtures/db_fixture.h"
#include "fixtures/fake_services.h"
#include "market/calendar.h"
#include "market/history.h"
#include "market/market_clock.h"
#include "market/quotes.h"
#include "platform/clock.h"
#include "platform/daynum.h"
#include "records/calc.h"
#include "records/forms/acc_edit.h"
#include "records/forms/stock_buy.h"
#include "records/records_hooks.h"
#include "storage/sys_params.h"

inline QDate Day(int month, int day)
{
    return QDate(2024, month, day);
}

inline QString Lit(const QDate &d)
{
    return QStringLiteral("#") + d.toString(QStringLiteral("yyyy-MM-dd")) + QStringLiteral("#");
}

class RecordFormTest : public DbFixture {
protected:
    void SetUp() override
    {
        DbFixture::SetUp();
        SetSysParams(200000, 0.0003, 1, 10, 0.075);
        ResetCalendar();
        ResetQuoteCache();
        services.Install();
        SetToday(Day(3, 9), QTime(10, 0));  // a Saturday: the calendar asks no quote
        services.SetQuote(QStringLiteral("sh600000"),
                          FakeServices::QuoteFields(QStringLiteral("浦发银行"), 10, 10, 10, 10.5, 9.5, "2024-03-08"));
        RecordsHooks &hooks = RecordsWindowHooks();
        hooks.currentNode = [this] { return node; };
        hooks.refreshCurrentNode = [this] { calls << QStringLiteral("refresh"); };
        hooks.loadStockTree = [this] { calls << QStringLiteral("tree"); };
        // The date window is given the buy date just stored: "dtp 2024-03-05".
        hooks.setDtpRange = [this](std::optional<double> bought) {
            calls << (bought ? QStringLiteral("dtp ") + DateOfDayNumber(*bought).toString(Qt::ISODate)
                             : QStringLiteral("dtp"));
        };
        hooks.resetChart = [this] { calls << QStringLiteral("chart"); };
        hooks.refreshAssetLines = [this] { calls << QStringLiteral("lines"); };
        for (const QString &code : {QStringLiteral("1A0001"), QStringLiteral("600000")}) {
            ASSERT_TRUE(EnsureHistoryTable(code));
            for (QDate d = Day(2, 26); d <= Day(3, 8); d = d.addDays(1)) {
                if (d.dayOfWeek() > 5)
                    continue;
                const double high = d == Day(3, 6) ? 11.2 : d == Day(3, 7) ? 11 : 10.8;
                const double low = d == Day(3, 6) ? 10.5 : d == Day(3, 7) ? 10 : 9.8;
                Exec(QStringLiteral("INSERT INTO H_%1(trdat,clprice,mxprice,mnprice) VALUES(%2,10,%3,%4)")
                         .arg(code, Lit(d))
                         .arg(high)
                         .arg(low));
            }
        }
    }
    void TearDown() override
    {
        delete LoadedAccEdit();
        delete LoadedStockBuy();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        RecordsWindowHooks() = RecordsHooks{};
        ResetCalendar();
        ResetQuoteCache();
        DbFixture::TearDown();
    }
    // The clock at the market's time t of day d (China Standard Time), whatever the machine's zone.
    void SetToday(const QDate &d, const QTime &t)
    {
        const QDateTime now(d, t, QTimeZone(kMarketUtcOffsetSeconds));
        SetClock([now] { return now; });
    }
    // 600000 held in the book's quote list at 10.00, so that no history is downloaded for it.
    static void Hold600000()
    {
        Quotes().rows = {QuoteRow{QStringLiteral("1A0001")}, QuoteRow{QStringLiteral("600000"), 10, 10.5, 9.5, 10, 10}};
    }
    long AddRecord(const QString &values)
    {
        Exec(QStringLiteral("INSERT INTO account(code,sname,num,tnum,bprice,sprice,bdate,sdate,memo,sid) VALUES(") +
             values + u')');
        const long id = static_cast<long>(GetFieldValue("account", "TRUE ORDER BY id DESC", "id", MakeLong(0)).num);
        EXPECT_TRUE(RecalcTradeAmounts(MakeLong(id)));
        return id;
    }
    void Native(const QString &sql)
    {
        DbConnection conn;
        ASSERT_TRUE(OpenConn(conn));
        ASSERT_TRUE(conn.ExecuteNative(sql)) << conn.lastError.text.toStdString();
    }
    // The texts of the boxes TT(i) of a form, in the order given.
    template <class Form>
    static QStringList Texts(Form *f, std::initializer_list<int> boxes)
    {
        QStringList out;
        for (int i : boxes)
            out << f->TTText(i);
        return out;
    }
    Value FieldOf(long id, const char *field)
    {
        return GetFieldValue("account", QStringLiteral("id=%1").arg(id), field, MakeEmpty());
    }
    double CashOn(const QDate &d)
    {
        return GetFieldValue("DeelRes", QStringLiteral("dat=") + Lit(d), "cash", MakeDouble(-1)).ToDouble();
    }

    FakeServices services;
    std::optional<TreeNodeRef> node;
    QStringList calls;
};
