// The trade grid (query, rows, live columns, colours, sort and selection over a refill), the trade
// colours and the two lines of the main window, with the quote cache and the clock fixed.
#include <gtest/gtest.h>

#include <QFontMetrics>
#include <QLabel>
#include <QTimeZone>

#include "fixtures/closed_port.h"
#include "fixtures/db_fixture.h"
#include "mainwindow/forms/trade_grid_form.h"
#include "mainwindow/stock_tree.h"
#include "mainwindow/trade_grid.h"
#include "market/market_clock.h"
#include "market/quotes.h"
#include "platform/clock.h"
#include "platform/daynum.h"
#include "platform/recordset.h"
#include "records/calc.h"
#include "storage/indicator.h"
#include "storage/params.h"
#include "storage/sys_params.h"

namespace {

// Columns of the default layout.
constexpr int kCode = 2, kName = 3, kNum = 4, kBdate = 5, kBprice = 6, kSdate = 8, kSprice = 9, kFper = 13,
              kLprice = 14, kRprice = 15, kRper = 16, kDays = 17;

const TreeNodeRef kRoot{QString(), QStringLiteral("我的股票"), 1};

class TradeGridTest : public DbFixture {
protected:
    void SetUp() override
    {
        DbFixture::SetUp();
        SetAt(QTime(10, 0));  // a Saturday: no trading day, so no recomputation and no quote request
        SetQuoteServiceBase(ClosedServiceBase());
        ResetFormParamSets();
        MSFViewSetParams().tt = {"100", "101", "102", "103", "104", "105", "106", "107", "108"};
        SetSysParams(200000, 0.0003, 1, 10, 0.075);
        ResetQuoteCache();
        Quotes().rows = {{"1A0001", 2995, 3001, 2980, 3000.5, 2990},
                         {"000001", 0, 0, 0, 12, 12.5},
                         {"000002", 0, 0, 0, 0, 8},
                         {"600000", 10.7, 10.9, 10.5, 10.8, 10.6}};
        StampQuotes();
    }
    void TearDown() override
    {
        ResetQuoteCache();
        ResetFormParamSets();
        SetQuoteServiceBase(QString());
        StockTree().clear();
        DbFixture::TearDown();
    }
    static void SetAt(QTime time)
    {
        SetClock([time] { return QDateTime(QDate(2024, 5, 18), time, QTimeZone(kMarketUtcOffsetSeconds)); });
    }
    // Stamped after today's start, so a refill asks for no quotes.
    static void StampQuotes() { Quotes().listDate = DayNumberOf(MarketNow()); }
    // A record; sdate "" and sprice 0 for an open one.
    void AddRecord(const char *code, const char *name, const char *bdate, double bprice, int num, double aprice,
                   const char *sdate = "", double sprice = 0)
    {
        Exec(QStringLiteral("INSERT INTO account (code,sname,bdate,bprice,num,tnum,aprice,bcash,sdate,sprice,scash) "
                            "VALUES (%1,'%2',#%3#,%4,%5,%5,%6,%7,#%8#,%9,%10)")
                 .arg(SqlQuote(QString::fromUtf8(code)), QString::fromUtf8(name), QString::fromUtf8(bdate))
                 .arg(bprice)
                 .arg(num)
                 .arg(aprice)
                 .arg(aprice * num)
                 .arg(QString::fromUtf8(*sdate ? sdate : "1900-1-1"))
                 .arg(sprice)
                 .arg(sprice * num));
    }
    // Every record: the root, both boxes ticked, the pickers at their whole range.
    static TradeGridControls AllRecords(const std::optional<TreeNodeRef> &node = kRoot)
    {
        TradeGridControls c;
        c.node = node;
        c.minDate = c.d0 = DayNumberOf(2020, 1, 1);
        c.maxDate = c.d1 = DayNumberOf(2024, 5, 18);
        return c;
    }
    static QStringList Column(const FlexGrid &grid, int col)
    {
        QStringList texts;
        for (int r = grid.FixedRows(); r < grid.Rows(); ++r)
            texts << grid.TextMatrix(r, col);
        return texts;
    }
    FlexGrid grid;
};

TEST_F(TradeGridTest, QueryFollowsTheBoxesAndTheWindow)
{
    const QString order = QStringLiteral(" ORDER BY code,bprice ASC");
    const QString window = QStringLiteral("((bdate>=#2024-01-01# AND bdate<=#2024-05-18#) OR sprice=0)");
    struct Case {
        int held, sold;
        double d0, d1;  // 0: the pickers' bound
        const char *codes;
        QString where;
    };
    const double jan1 = DayNumberOf(2024, 1, 1), may1 = DayNumberOf(2024, 5, 1);
    const Case cases[] = {
        {1, 1, 0, 0, "", QString()},
        {1, 0, 0, 0, "'600000'", " WHERE code IN('600000') AND sprice=0"},
        {0, 1, 0, 0, "", " WHERE sprice>0"},
        {0, 0, 0, 0, "'600000','000001'", " WHERE code IN('600000','000001') AND sprice=0"},
        {1, 1, DayNumberOf(2024, 5, 18), jan1, "", " WHERE " + window},  // pickers in either order
        {0, 1, DayNumberOf(2020, 1, 1), may1, "'000001'",
         " WHERE code IN('000001') AND sprice>0 AND ((bdate>=#2020-01-01# AND bdate<=#2024-05-01#) OR sprice=0)"},
    };
    for (const Case &c : cases) {
        TradeGridControls controls = AllRecords();
        controls.held = c.held;
        controls.sold = c.sold;
        if (c.d0 != 0) {
            controls.d0 = c.d0;
            controls.d1 = c.d1;
        }
        EXPECT_EQ(TradeGridSql(QString::fromUtf8(c.codes), controls), kAccountGridSelect + c.where + order)
            << c.held << c.sold << c.codes;
    }
}

// Live columns, colours and formats of each row: a record the cache does not hold gets no live cells
// and the default colour; an open record without a current price keeps the default colour and no
// floating gain; a sold record keeps its colour.
TEST_F(TradeGridTest, RowsCarryLiveColumnsAndColoursByGainOrLoss)
{
    AddRecord("600000", "浦发银行", "2024-01-10", 10.5, 1000, 10.51);
    AddRecord("600000", "浦发银行", "2024-02-01", 9.8, 500, 9.81, "2024-03-01", 11);
    AddRecord("000001", "平安银行", "2024-03-04", 12, 100, 12);
    AddRecord("300750", "宁德时代", "2024-03-05", 180, 100, 180.2);
    AddRecord("000002", "万科A", "2024-03-06", 8, 100, 8, "2024-04-01", 8);
    AddRecord("000002", "万科A", "2024-03-07", 7.5, 100, 7.51);
    ASSERT_TRUE(LoadTradeGrid(grid, AllRecords()));
    EXPECT_EQ(grid.ToolTipText(), "我的股票");
    EXPECT_EQ(grid.Cols(), 18);
    EXPECT_EQ(grid.FixedCols(), 2);

    constexpr uint32_t kNone = kDefaultCellColor;
    struct Row {
        const char *code, *bprice, *fper, *lprice, *rprice, *rper;
        uint32_t rowColor, quoteColor;
    };
    const Row rows[] = {
        {"000001", "12.00", "0.00", "12.50", "12.00", "停牌", 104, 107},
        {"000002", "7.50", "", "8.00", "", "停牌", kNone, kNone},
        {"000002", "8.00", "", "8.00", "", "停牌", 105, 105},  // no price: the row's colour
        {"300750", "180.00", "", "", "", "", kNone, kNone},
        {"600000", "9.80", "10.09", "10.60", "10.80", "1.89", 101, 106},
        {"600000", "10.50", "2.76", "10.60", "10.80", "1.89", 100, 106},
    };
    ASSERT_EQ(grid.Rows() - grid.FixedRows(), 6);
    for (int k = 0; k < 6; ++k) {
        const Row &e = rows[k];
        const int r = grid.FixedRows() + k;
        SCOPED_TRACE(QStringLiteral("%1 %2").arg(e.code, e.bprice).toStdString());
        EXPECT_EQ(grid.TextMatrix(r, 1), QString::number(k + 1));
        EXPECT_EQ(grid.TextMatrix(r, kCode), e.code);
        EXPECT_EQ(grid.TextMatrix(r, kBprice), e.bprice);
        EXPECT_EQ(grid.TextMatrix(r, kFper), e.fper);
        EXPECT_EQ(grid.TextMatrix(r, kLprice), e.lprice);
        EXPECT_EQ(grid.TextMatrix(r, kRprice), e.rprice);
        EXPECT_EQ(grid.TextMatrix(r, kRper), e.rper);
        for (int c : {kCode, kName, kNum, kFper, kDays})
            EXPECT_EQ(grid.CellForeColor(r, c), e.rowColor) << c;
        for (int c : {kLprice, kRprice, kRper})
            EXPECT_EQ(grid.CellForeColor(r, c), e.quoteColor) << c;
        EXPECT_EQ(grid.CellForeColor(r, 1), kNone);
    }
    // The open 600000 record: key column as plain digits, numbers grouped, the empty date and 0 empty.
    const int r = grid.Rows() - 1;
    EXPECT_EQ(grid.TextMatrix(r, 0), "1");
    EXPECT_EQ(grid.TextMatrix(r, kName), "浦发银行");
    EXPECT_EQ(grid.TextMatrix(r, kNum), "1,000");
    EXPECT_EQ(grid.TextMatrix(r, 7), "10,510.00");
    EXPECT_EQ(grid.TextMatrix(r, kBdate), "2024-01-10");
    EXPECT_EQ(grid.TextMatrix(r, kSdate), "");
    EXPECT_EQ(grid.TextMatrix(r, kSprice), "");
    EXPECT_EQ(grid.TextMatrix(r, kDays), "129");
    EXPECT_EQ(grid.TextMatrix(r - 1, 12), "12.13");  // the sold record's return
    const std::pair<int, int> alignments[] = {{kCode, 1}, {kNum, 7}, {kBdate, 4}, {kSdate, 4}, {kFper, 7}, {kRper, 7}};
    for (const auto &[c, code] : alignments)
        EXPECT_EQ(grid.ColAlignment(c), code) << c;
    EXPECT_GT(grid.ColWidth(kName), 0);  // fitted: the columns were new
    EXPECT_EQ(grid.ColWidth(0), 0);
    EXPECT_TRUE(grid.Redraw());
}

TEST_F(TradeGridTest, NodeBoxesAndBestOnlyChooseTheRows)
{
    AddRecord("600000", "浦发银行", "2024-01-10", 10.5, 100, 10.5);
    AddRecord("600000", "浦发银行", "2024-01-11", 9.8, 100, 9.8);
    AddRecord("600000", "浦发银行", "2021-01-11", 9.9, 100, 9.9, "2021-02-01", 11);
    AddRecord("000001", "平安银行", "2024-02-01", 12, 100, 12, "2024-03-01", 13);
    AddRecord("000001", "平安银行", "2024-02-02", 11, 100, 11, "2024-03-02", 13);
    AddRecord("60'001", "引号", "2024-02-03", 5, 100, 5);
    struct Case {
        const char *what;
        std::optional<TreeNodeRef> node;
        int held, sold, bestOnly;
        bool narrow;  // the window starts on 2024-01-01
        const char *bprices;
    };
    const TreeNodeRef pf{"S600000", "[600000]浦发银行", 4};
    const TreeNodeRef quote{"S60'001", "[60'001]引号", 5};
    const Case cases[] = {
        {"all", kRoot, 1, 1, 0, false, "11.00,12.00,5.00,9.80,9.90,10.50"},
        {"open only", kRoot, 1, 0, 0, false, "5.00,9.80,10.50"},
        {"both unticked: open only", kRoot, 0, 0, 0, false, "5.00,9.80,10.50"},
        {"sold only", kRoot, 0, 1, 0, false, "11.00,12.00,9.90"},
        {"narrow window keeps every open record", kRoot, 1, 1, 0, true, "11.00,12.00,5.00,9.80,10.50"},
        {"best only: the lowest buy price per code", kRoot, 1, 1, 1, false, "11.00,5.00,9.80"},
        {"one stock", pf, 1, 1, 0, false, "9.80,9.90,10.50"},
        {"a code holding a quote", quote, 1, 1, 0, false, "5.00"},
    };
    for (const Case &c : cases) {
        TradeGridControls controls = AllRecords(c.node);
        controls.held = c.held;
        controls.sold = c.sold;
        controls.bestOnly = c.bestOnly;
        if (c.narrow)
            controls.d0 = DayNumberOf(2024, 1, 1);
        ASSERT_TRUE(LoadTradeGrid(grid, controls)) << c.what;
        EXPECT_EQ(Column(grid, kBprice).join(u','), QString::fromUtf8(c.bprices)) << c.what;
    }

    // No node selected: the columns and no rows.
    grid.SetToolTipText(QString());
    EXPECT_FALSE(LoadTradeGrid(grid, AllRecords(std::nullopt)));
    EXPECT_EQ(grid.Cols(), 18);
    EXPECT_EQ(grid.Rows(), grid.FixedRows());
    EXPECT_EQ(grid.ToolTipText(), "");
    // A failed query leaves the columns and no rows.
    Exec(QStringLiteral("DROP TABLE account"));
    EXPECT_TRUE(LoadTradeGrid(grid, AllRecords()));
    EXPECT_EQ(grid.Rows(), grid.FixedRows());
    EXPECT_EQ(LogEntryCount(), 1);
}

// Every fill fits the columns to their widest text, the caption (with its sort arrow) included:
// values that come after an empty first fill are not cut; a width the user dragged stays.
TEST_F(TradeGridTest, ColumnsFitTheirTextsAtEveryFill)
{
    ASSERT_TRUE(LoadTradeGrid(grid, AllRecords()));
    ASSERT_EQ(grid.Rows(), grid.FixedRows());
    AddRecord("600519", "贵州茅台", "2024-01-10", 153.09, 1000, 153.09);
    grid.SetColWidth(kName, 300, true);
    grid.SetTag(QStringLiteral("排序:4:3"));
    ASSERT_TRUE(LoadTradeGrid(grid, AllRecords()));
    const QFontMetrics fm(grid.Font());
    const std::pair<int, std::vector<QString>> columns[] = {
        {7, {"153,090.00", "买入金额"}},
        {kNum, {"1,000", "数量↑"}},
        {kBprice, {"153.09", "买入价"}},
        {kDays, {"129", "天数"}},
    };
    for (const auto &[c, texts] : columns) {
        int widest = 0;
        for (const QString &t : texts)
            widest = std::max(widest, fm.horizontalAdvance(t));
        EXPECT_EQ(grid.ColWidth(c), widest * 15 + 120) << texts[0].toStdString();
    }
    EXPECT_EQ(grid.TextMatrix(1, kNum), "数量↑");
    EXPECT_EQ(grid.ColWidth(kName), 300) << "the user's width";
}

TEST_F(TradeGridTest, SuspendedFromNineTwentyFive)
{
    AddRecord("600000", "浦发银行", "2024-01-10", 10.5, 100, 10.5);
    struct Case {
        QTime at;
        double open, lastClose, price;
        const char *rper;
    };
    const Case cases[] = {
        {QTime(9, 25, 0), 0, 10.6, 10.8, "停牌"},
        {QTime(9, 24, 59), 0, 10.6, 10.8, "1.89"},
        {QTime(9, 24, 59), 0, 0, 10.8, "0.00"},
        {QTime(14, 0), 10.7, 10.6, 10.8, "1.89"},
        {QTime(14, 0), 10.7, 10.8, 10.8, "0.00"},
        {QTime(9, 24, 59), 0, 10.6, 0, ""},  // no price yet: no change
        {QTime(9, 25, 0), 0, 10.6, 0, "停牌"},
        {QTime(9, 25, 0), 0, 0, 0, ""},  // no quote at all (offline, a weekend): no suspension either
        {QTime(14, 0), 0, 0, 0, ""},
    };
    for (const Case &c : cases) {
        SetAt(c.at);
        StampQuotes();
        Quotes().rows[3].open = c.open;
        Quotes().rows[3].lastClose = c.lastClose;
        Quotes().rows[3].price = c.price;
        LoadTradeGrid(grid, AllRecords());
        EXPECT_EQ(grid.TextMatrix(grid.FixedRows(), kRper), c.rper) << c.at.toString().toStdString();
    }
    // 20:00 in New York (summer time) is 08:00 in China: the market has not opened.
    SetClock([] { return QDateTime(QDate(2024, 5, 17), QTime(20, 0), QTimeZone(-4 * 3600)); });
    StampQuotes();
    Quotes().rows[3].open = 0;
    Quotes().rows[3].lastClose = 10.6;
    Quotes().rows[3].price = 10.8;
    LoadTradeGrid(grid, AllRecords());
    EXPECT_EQ(grid.TextMatrix(grid.FixedRows(), kRper), "1.89");
}

TEST_F(TradeGridTest, TradeColourEntries)
{
    struct Case {
        double cost, sell, lastClose, price;
        uint32_t color;
    };
    const Case cases[] = {
        {10, 0, 0, 11, 100},  {10, 12, 0, 0, 101},   {10, 0, 0, 9, 102},      {10, 9, 0, 99, 103},
        {10, 0, 0, 10, 104},  {10, 10, 0, 11, 105},  {0, 0, 10, 10.5, 106},   {0, 0, 10, 9.9, 107},
        {0, 0, 10, 10, 108},  {10, 12, 10, 9, 107},  // a last close makes it a quote cell
    };
    for (const Case &c : cases)
        EXPECT_EQ(GetTradeColor(c.cost, c.sell, c.lastClose, c.price), c.color)
            << c.cost << " " << c.sell << " " << c.lastClose << " " << c.price;

    // Nothing stored (or an entry left empty): the designed colours; a stored text that is no colour: 0.
    struct Entry {
        std::vector<QString> table;
        uint32_t flat, up;  // entries 4 and 0
    };
    const Entry entries[] = {
        {{}, 14737632, 128},
        {{"1", "2", "3"}, 14737632, 1},
        {{"", "", "", "", "255.6"}, 256, 128},
        {{"", "", "", "", "abc"}, 0, 128},
        {{"", "", "", "", "-5"}, 0, 128},
        {{"", "", "", "", "16777216"}, 0, 128},
    };
    for (const Entry &e : entries) {
        MSFViewSetParams().tt = e.table;
        EXPECT_EQ(GetTradeColor(10, 0, 0, 10), e.flat) << e.table.size();
        EXPECT_EQ(GetTradeColor(10, 0, 0, 11), e.up) << e.table.size();
    }
    // The first fill on a book without stored colours: a rising open record in dark red, its quote
    // cells falling against the last close in the designed pale green.
    MSFViewSetParams().tt.clear();
    AddRecord("600000", "浦发银行", "2024-01-10", 10.5, 100, 10.5);
    Quotes().rows[3].price = 10.55;
    ASSERT_TRUE(LoadTradeGrid(grid, AllRecords()));
    EXPECT_EQ(grid.CellForeColor(grid.FixedRows(), kName), 128u);
    EXPECT_EQ(grid.CellForeColor(grid.FixedRows(), kRprice), 12648384u);
}

TEST_F(TradeGridTest, SavedSortAndSelectionSurviveARefill)
{
    AddRecord("600000", "浦发银行", "2024-01-10", 10.5, 100, 10.5);
    AddRecord("000001", "平安银行", "2024-03-04", 12, 100, 12);
    AddRecord("000002", "万科A", "2024-02-05", 8, 100, 8);
    SaveParam(QStringLiteral("MSFOrder_0"), QStringLiteral("排序:5:4"));
    for (int refill = 0; refill < 2; ++refill) {
        LoadTradeGrid(grid, AllRecords());
        EXPECT_EQ(Column(grid, kBdate), (QStringList{"2024-03-04", "2024-02-05", "2024-01-10"})) << refill;
        EXPECT_EQ(Column(grid, 1), (QStringList{"1", "2", "3"}));
        EXPECT_EQ(grid.TextMatrix(1, kBdate), "买入日期↓");
        EXPECT_EQ(grid.Tag(), "排序:5:4");
    }

    struct Case {
        int row, rowSel;  // before the refill
        int expRow, expRowSel;
    };
    const int last = grid.Cols() - 1;
    const Case cases[] = {
        {3, 4, 3, 4},
        {4, 2, 4, 2},
        {1, 1, 2, 2},  // on the caption row: the first data row
    };
    for (const Case &c : cases) {
        LoadTradeGrid(grid, AllRecords());
        grid.SetRow(c.row);
        grid.SetRowSel(c.rowSel);
        grid.SetCol(5);
        LoadTradeGrid(grid, AllRecords());
        EXPECT_EQ(grid.Row(), c.expRow) << c.row;
        EXPECT_EQ(grid.RowSel(), c.expRowSel) << c.row;
        EXPECT_EQ(grid.Col(), grid.FixedCols()) << c.row;
        EXPECT_EQ(grid.ColSel(), last) << c.row;
    }
}

TEST_F(TradeGridTest, TheTwoLinesWithAndWithoutDivisors)
{
    AssetFigures f{210000, 84000, 126000, 0, 0, 3000.5, 3000.5, 0};
    EXPECT_EQ(AssetStatusLine(f), QStringLiteral("总资产：210,000.00 【市值：84,000.00(40%) 现金：126,000.00(60%)】  "
                                                 "总盈亏：210,000.00[%] 当日盈亏：210,000.00[%]  上证指数：3000.5"));
    f = AssetFigures{1000, 0, 1000, 1000, 1000, 0, 0, 0};
    EXPECT_EQ(AssetStatusLine(f), QStringLiteral("总资产：1,000.00 【市值：(0%) 现金：1,000.00(100%)】  "
                                                 "总盈亏：0[0%] 当日盈亏：0[0%]  上证指数：0"));

    struct Case {
        std::vector<HoldingCost> holdings;
        const char *line;
    };
    const Case cases[] = {
        {{{"万科A", 12345}}, "万科A: 1.23万(100%)  "},
        {{{"甲", 1}, {"乙", 2}}, "甲: 0.00万(33.3%)  乙: 0.00万(66.7%)  "},
        {{{"零", 0}}, "零: 万(%)  "},
        {{}, ""},
    };
    for (const Case &c : cases)
        EXPECT_EQ(HoldingsSummaryLine(c.holdings), QString::fromUtf8(c.line)) << c.line;
}

// The lines of the window from the book: LBL(0), its tool tip and the status line read the same.
TEST_F(TradeGridTest, TheWindowsLinesFromTheBook)
{
    QLabel line(QStringLiteral("资产：")), summary, chart;
    const std::array<QLabel *, 3> labels{&line, &summary, &chart};
    ShowAssetStatus(labels);
    EXPECT_EQ(line.text(), "资产：");  // no asset row yet: the caption stays
    EXPECT_EQ(line.toolTip(), "资产：");
    EXPECT_EQ(StatusText(), "资产：");

    Exec(QStringLiteral("INSERT INTO DeelRes (dat,cash,scash,sm) VALUES (#2024-05-17#,126000,84000,210000)"));
    AddRecord("600000", "浦发", "2024-01-10", 10, 3000, 10);
    AddRecord("000001", "平安", "2024-01-11", 10, 1000, 10);
    AddRecord("000001", "平安", "2023-01-11", 10, 1000, 10, "2023-02-01", 11);
    ShowAssetStatus(labels);
    ShowHoldingsSummary(&summary);
    const QString expected = QStringLiteral(
        "总资产：210,000.00 【市值：84,000.00(40%) 现金：126,000.00(60%)】  总盈亏：10,000.00[5.00%] "
        "当日盈亏：10,000.00[5.00%]  上证指数：3000.5[0.35%]");
    EXPECT_EQ(line.text(), expected);
    EXPECT_EQ(line.toolTip(), expected);
    EXPECT_EQ(StatusText(), expected);
    EXPECT_EQ(summary.text(), "浦发: 3.00万(75%)  平安: 1.00万(25%)  ");

    // A second row is the day before; a capital of 0 fails nothing.
    Exec(QStringLiteral("INSERT INTO DeelRes (dat,cash,scash,sm) VALUES (#2024-05-16#,100000,100000,200000)"));
    SetSysParams(0, 0.0003, 1, 10, 0.075);
    ShowAssetStatus(labels);
    EXPECT_TRUE(line.text().contains(QStringLiteral("总盈亏：210,000.00[%] 当日盈亏：10,000.00[5.00%]")))
        << line.text().toStdString();
}

}  // namespace
