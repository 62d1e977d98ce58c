// The asset-versus-index chart: percents, scale, keys and read-out of a made-up state, the recorded
// curves, the loading from the book with its gaps, and the window with its closed-trade list.
#include <gtest/gtest.h>

#include <memory>

#include <QCoreApplication>
#include <QFile>
#include <QKeyEvent>
#include <QLabel>

#include "charts/forms/invest_compare_form.h"
#include "charts/invest_compare.h"
#include "fixtures/closed_port.h"
#include "fixtures/db_fixture.h"
#include "fixtures/recording_canvas.h"
#include "market/history.h"
#include "market/quotes.h"
#include "platform/workbook.h"
#include "storage/sys_params.h"

namespace {

using Lines = std::vector<std::string>;

// Three days: assets 200000, 220000, 190000, index 100, 120, 105, position 80, 50, 0.
InvestCompareState ThreeDays()
{
    InvestCompareState s;
    s.DayList = {"", "2024-03-04", "2024-03-05", "2024-03-06"};
    s.AssetValue = {200000, 200000, 220000, 190000};
    s.IndexClose = {100, 100, 120, 105};
    s.PositionPct = {100, 80, 50, 0};
    s.AssetPct = s.IndexPct = s.RelativePct = std::vector<double>(4, 0.0);
    s.VisibleRange = {1, 3};
    return s;
}

class InvestCompareDbTest : public DbFixture {
protected:
    void SetUp() override
    {
        DbFixture::SetUp();
        m_quoteBase = QuoteServiceBase();
        SetQuoteServiceBase(ClosedServiceBase());
        SetSysParams(200000, 0.0003, 1, 10, 0.075);
        LiveIndex(0);
        ASSERT_TRUE(EnsureHistoryTable(kCompareIndexCode));
    }
    void TearDown() override
    {
        delete LoadedInvestCompare();
        ResetQuoteCache();
        SetQuoteServiceBase(m_quoteBase);
        LoadSysParams();
        DbFixture::TearDown();
    }
    static void LiveIndex(double price)
    {
        QuoteRow row{kCompareIndexCode};
        row.price = price;
        Quotes().rows = {row};
    }
    void Day(const char *dat, double cash, double sm) const
    {
        Exec(QStringLiteral("INSERT INTO DeelRes (dat,cash,scash,sm) VALUES (#%1#,%2,0,%3)").arg(dat).arg(cash).arg(sm));
    }
    void Index(const char *trdat, double clprice) const
    {
        Exec(QStringLiteral("INSERT INTO H_1A0001 (trdat,clprice) VALUES (#%1#,%2)").arg(trdat).arg(clprice));
    }
    void Trade(const char *code, double bcash, double scash, double sprice) const
    {
        Exec(QStringLiteral("INSERT INTO account (code,sname,bdate,bprice,num,sdate,sprice,bcash,scash) "
                            "VALUES ('%1','股票',#2024-03-04#,10,100,#2024-03-05#,%2,%3,%4)")
                 .arg(code)
                 .arg(sprice)
                 .arg(bcash)
                 .arg(scash));
    }

private:
    QString m_quoteBase;
};

}  // namespace

TEST(InvestCompare, PercentsScaleAndKeys)
{
    InvestCompareState s = ThreeDays();
    ASSERT_TRUE(ComputeComparePercents(s));
    EXPECT_EQ(s.AssetPct, (std::vector<double>{0, 0, 10, -5}));
    EXPECT_EQ(s.IndexPct, (std::vector<double>{0, 0, 20, 5}));
    EXPECT_EQ(s.RelativePct, (std::vector<double>{0, 0, -10, -10}));
    const auto [max, min] = CompareScale(s);
    EXPECT_NEAR(max, 22.665, 1e-9);
    EXPECT_NEAR(min, -9.5815, 1e-9);

    // After any key the first visible day is the base of both curves again.
    for (int key : {39, 40, 38, 37}) {
        auto &[first, last] = s.VisibleRange;
        ASSERT_TRUE(MoveVisibleRange(first, last, s.N(), key, 0));
        ASSERT_TRUE(ComputeComparePercents(s)) << key;
        EXPECT_EQ(s.AssetPct[static_cast<size_t>(first)], 0) << key;
        EXPECT_EQ(s.IndexPct[static_cast<size_t>(first)], 0) << key;
    }
    struct Case {
        int n, first, last, key, shift;
        bool handled;
        int wantFirst, wantLast;
    };
    const Case cases[] = {
        {200, 1, 100, 39, 0, true, 2, 101},    {200, 1, 100, 39, 1, true, 5, 104},
        {200, 1, 100, 37, 0, true, 1, 100},    {200, 1, 100, 38, 1, true, 1, 104},
        {200, 50, 50, 40, 0, true, 49, 51},    {200, 101, 200, 39, 1, true, 101, 200},
        {200, 150, 200, 37, 1, true, 148, 198}, {200, 1, 100, 38, 3, true, 1, 101},
        {200, 1, 100, 65, 0, false, 1, 100},   {0, 1, 0, 39, 0, false, 1, 0},
    };
    for (const Case &c : cases) {
        int first = c.first, last = c.last;
        EXPECT_EQ(MoveVisibleRange(first, last, c.n, c.key, c.shift), c.handled) << c.key << "," << c.shift;
        EXPECT_EQ(first, c.wantFirst) << c.first << "," << c.last << " key " << c.key << "," << c.shift;
        EXPECT_EQ(last, c.wantLast) << c.first << "," << c.last << " key " << c.key << "," << c.shift;
    }
}

TEST(InvestCompare, ReadoutOfTheDayUnderTheMouse)
{
    InvestCompareState s = ThreeDays();
    s.VisibleRange = {1, 2};
    s.IndexClose[1] = 3000;
    s.PositionPct[1] = 100;
    s.AssetPct[2] = 10;
    s.IndexPct[2] = 5;
    s.IndexClose[2] = 3051.234;
    s.PositionPct[2] = 80;
    struct Case {
        double x;
        std::optional<QString> text;
    };
    const Case cases[] = {
        {1600, QStringLiteral("2024-03-05:\n指数：3051.23[5.00%]\n资产：22.00万[10.00%] 相对指数：5.00% 仓位：80.00%")},
        // A change of 0 reads "0" for the index, "" for the others.
        {0, QStringLiteral("2024-03-04:\n指数：3000[0%]\n资产：20.00万[%] 相对指数：% 仓位：100.00%")},
        {-1, std::nullopt},
        {3000, std::nullopt},
    };
    for (const Case &c : cases)
        EXPECT_EQ(CompareReadout(s, c.x, 3000), c.text) << c.x;
    EXPECT_EQ(CompareReadout(s, 10, 0), std::nullopt);
}

TEST(InvestCompare, ThreeCurvesOnTheirScales)
{
    auto canvas = std::make_unique<RecordingCanvas>();
    RecordingCanvas *dc = canvas.get();
    Picture pic(std::move(canvas));
    pic.SetPixelSize(300, 100);
    InvestCompareState s = ThreeDays();
    DrawLine(s, pic);
    const Lines want = {
        "Clear 000000",
        // The index, white: 0, 20, 5 on 22.665..-9.5815.
        "Segment 300,50,0,50 pen 333333/2/1 brush hollow",
        "Segment 50,70,150,8 pen FFFFFF/0/1 brush hollow",
        "Segment 150,8,250,55 pen FFFFFF/0/1 brush hollow",
        // The position, green, in the lowest fifth on 100..-5.
        "Segment 300,90,0,90 pen 333333/2/1 brush hollow",
        "Segment 50,84,150,90 pen 00FF00/0/1 brush hollow",
        "Segment 150,90,250,99 pen 00FF00/0/1 brush hollow",
        // The assets, red: 0, 10, -5.
        "Segment 300,50,0,50 pen 333333/2/1 brush hollow",
        "Segment 50,70,150,39 pen 0000FF/0/1 brush hollow",
        "Segment 150,39,250,86 pen 0000FF/0/1 brush hollow",
    };
    EXPECT_EQ(dc->Lines({"Clear", "Segment"}), want);

    // Without an index close on the first visible day the picture is only cleared.
    dc->ops.clear();
    s.IndexClose[1] = 0;
    DrawLine(s, pic);
    EXPECT_EQ(dc->Lines({"Clear", "Segment"}), Lines{"Clear 000000"});
}

TEST_F(InvestCompareDbTest, LoadsEachDayWithTheIndexCloseOfItsDate)
{
    Picture pic(std::make_unique<RecordingCanvas>());
    pic.SetPixelSize(300, 100);
    InvestCompareState s;
    // An empty book: no days, nothing to compare.
    ReadDeelRes(s, pic);
    EXPECT_EQ(s.N(), 0);
    EXPECT_EQ(s.DayList, QStringList{""});
    EXPECT_FALSE(ComputeComparePercents(s));

    Day("2024-03-04", 100000, 200000);
    Day("2024-03-05", 50000, 220000);
    Day("2024-03-06", 0, 0);  // no assets: no position either
    Day("2024-03-08", 190000, 190000);
    // The history starts on the first day, lacks 03-05 and holds 03-07, a day the book has not.
    Index("2024-03-04", 3000);
    Index("2024-03-06", 3100);
    Index("2024-03-07", 3200);
    Index("2024-03-08", 3300);
    ReadDeelRes(s, pic);
    EXPECT_EQ(s.DayList, (QStringList{"", "2024-03-04", "2024-03-05", "2024-03-06", "2024-03-08"}));
    EXPECT_EQ(s.VisibleRange, (std::array<int, 2>{1, 4}));
    // No quote: the last day keeps its stored close.
    EXPECT_EQ(s.IndexClose, (std::vector<double>{0, 3000, 3000, 3100, 3300}));
    EXPECT_EQ(s.AssetValue, (std::vector<double>{200000, 200000, 220000, 0, 190000}));
    EXPECT_EQ(s.PositionPct, (std::vector<double>{100, 50, 77.27, 0, 0}));
    EXPECT_EQ(s.AssetPct, (std::vector<double>{0, 0, 10, -100, -5}));
    EXPECT_EQ(s.IndexPct, (std::vector<double>{0, 0, 0, 3.33, 10}));
    LiveIndex(3333.5);
    ReadDeelRes(s, pic);
    EXPECT_EQ(s.IndexClose, (std::vector<double>{0, 3000, 3000, 3100, 3333.5}));
    // A close before the first day becomes the base.
    Index("2024-03-01", 2900);
    ReadDeelRes(s, pic);
    EXPECT_EQ(s.IndexClose[0], 2900);
}

TEST_F(InvestCompareDbTest, WindowKeysCrosshairAndClosedTrades)
{
    Day("2024-03-04", 100000, 200000);
    Day("2024-03-05", 50000, 220000);
    Day("2024-03-06", 60000, 210000);
    Index("2024-03-04", 3000);
    Index("2024-03-05", 3100);
    Index("2024-03-06", 3050);
    Trade("600000", 1000, 1105, 11.05);   // +10.5 %
    Trade("000001", 1000, 967.5, 9.675);  // -3.25 %
    Trade("000002", 1000, 0, 0);          // still held
    ShowInvestCompare();
    InvestCompareForm *f = LoadedInvestCompare();
    ASSERT_NE(f, nullptr);
    f->resize(615, 400);
    QCoreApplication::processEvents();
    EXPECT_EQ(f->Pic->width(), f->centralWidget()->width());

    QKeyEvent down(QEvent::KeyPress, Qt::Key_Down, Qt::NoModifier);
    QCoreApplication::sendEvent(f->Pic, &down);
    EXPECT_EQ(f->State().VisibleRange, (std::array<int, 2>{2, 2}));
    EXPECT_EQ(f->State().AssetPct[2], 0);
    f->Pic_KeyDown(38, 0);
    EXPECT_EQ(f->State().VisibleRange, (std::array<int, 2>{1, 3}));

    const double third = f->Pic->picture().Width() / 3.0;
    f->Pic_MouseMove(0, 0, third * 1.5, 300);
    EXPECT_TRUE(f->L->text().startsWith("2024-03-05:\n指数：3100[3.33%]")) << f->L->text().toStdString();
    EXPECT_EQ(f->LL[0]->Y1(), 300);
    EXPECT_EQ(f->LL[1]->X2(), third * 1.5);
    f->Pic_MouseDown(1, 0, 0, 0);
    f->Pic_MouseMove(0, 0, third * 2.5, 600);
    EXPECT_TRUE(f->L->text().startsWith("2024-03-05:"));
    EXPECT_EQ(f->LL[0]->Y1(), 300);

    // Before the list is asked for there is nothing to export: no file is asked for.
    prompter.fileAnswers.push_back(PathOf("empty.csv"));
    f->mOutputMSF->trigger();
    EXPECT_EQ(prompter.Messages(), QStringList{"表格中没有数据！"});
    EXPECT_FALSE(QFile::exists(PathOf("empty.csv")));
    prompter.fileAnswers.clear();

    f->mAccList->trigger();
    ASSERT_TRUE(f->MSF->isVisible());
    const FlexGrid &g = f->MSF->Grid();
    ASSERT_EQ(g.Rows(), 5);
    EXPECT_EQ(g.FixedCols(), 2);
    EXPECT_EQ(g.TextMatrix(1, 13), "收益率%");
    EXPECT_EQ(g.TextMatrix(2, 2), "000001");
    EXPECT_EQ(g.TextMatrix(3, 2), "600000");
    EXPECT_EQ(g.TextMatrix(4, 10), "总计：");
    EXPECT_EQ(g.TextMatrix(4, 11), "7.25");

    prompter.fileAnswers.push_back(PathOf("list.xlsx"));
    f->mOutputMSF->trigger();
    Workbook book;
    ASSERT_TRUE(book.Open(PathOf("list.xlsx")));
    EXPECT_EQ(book.SheetNames(), QStringList{"Kelvaro股票市值表"});

    f->mAccList->trigger();
    EXPECT_FALSE(f->MSF->isVisible());

    // Closing unloads the window; the next use loads the book anew.
    f->close();
    EXPECT_EQ(LoadedInvestCompare(), nullptr);
    Day("2024-03-07", 60000, 230000);
    EXPECT_EQ(InvestCompare()->State().N(), 4);
}
