// The grid procedures on the grid model: layout, filling with its row cap, cell formats, fitting,
// header presses, sorting with its saved state, deleting, check marks and row moves.
#include <gtest/gtest.h>

#include <QFontMetrics>

#include "fixtures/db_fixture.h"
#include "platform/daynum.h"
#include "storage/grid_ops.h"
#include "storage/indicator.h"
#include "storage/params.h"

namespace {

// Every column 960 twips wide and every row 240 high (the model's defaults), row 0 of height 0 once
// laid out: so the caption row spans y 0..239, data row k (from 0) y 240 + 240k .., column c x 960c ..
constexpr double kCaptionY = 120;
double DataY(int k)
{
    return 240 + 240 * k + 120;
}
double ColX(int c)
{
    return 960 * c + 480;
}

// The comparison window's kind of layout: key, row numbers, then data columns.
void LayOut(FlexGrid &grid, const std::vector<QString> &fields, const std::vector<QString> &captions,
            const std::vector<std::vector<QString>> &rows)
{
    SetupGridColumns(grid, fields, captions);
    grid.SetRows(2 + static_cast<int>(rows.size()));
    for (size_t r = 0; r < rows.size(); ++r)
        for (size_t c = 0; c < rows[r].size(); ++c)
            grid.SetTextMatrix(2 + static_cast<int>(r), static_cast<int>(c), rows[r][c]);
}

std::vector<QString> Column(const FlexGrid &grid, int col)
{
    std::vector<QString> texts;
    for (int r = grid.FixedRows(); r < grid.Rows(); ++r)
        texts.push_back(grid.TextMatrix(r, col));
    return texts;
}

class GridFillTest : public DbFixture {
protected:
    void TearDown() override
    {
        SetStatusHook({});
        DbFixture::TearDown();
    }
};

TEST_F(GridFillTest, RowCapAtItsEdgeStatusMarksAndAppending)
{
    struct Case {
        int cols;
        int records;
        const char *result;
        const char *message;  // "" for none
        int marks;
    };
    const Case cases[] = {
        // 350000 / 3500 - 0.5 = 99.5 goes to the even 100: the cap is 98.
        {3500, 98, "98/98", "", 10},
        {3500, 99, "98/99", "数据库里共有99条记录，表格只能显示98条记录，因此无法全部显示，请修改筛选条件。", 10},
        {14, 5, "5/5", "", 5},
        {14, 0, "0/0", "", 0},
    };
    int marks = 0;
    QString last;
    SetStatusHook([&](const QString &t) {
        marks = std::max(marks, static_cast<int>(t.count(u'>')));
        last = t;
    });
    for (const Case &c : cases) {
        Exec("DELETE FROM account");
        for (int i = 0; i < c.records; ++i)
            Exec(QStringLiteral("INSERT INTO account (code,sname,bdate) VALUES ('%1','名%2',#2024-01-%3#)")
                     .arg(600000 + i)
                     .arg(i)
                     .arg(1 + i % 28));
        std::vector<QString> fields(c.cols), captions(c.cols);
        fields[0] = "id";
        captions[1] = "序号";
        fields[2] = "code";
        fields[3] = "bdate";
        fields[c.cols - 1] = "nosuchfield";
        FlexGrid grid;
        SetupGridColumns(grid, fields, captions);
        marks = 0;
        last = "unset";
        prompter.shown.clear();
        const QString sql = "SELECT * FROM account ORDER BY id";
        EXPECT_EQ(FillGridFromQuery(grid, sql, true, false), c.result) << c.records;
        EXPECT_EQ(prompter.Messages(), *c.message ? QStringList{c.message} : QStringList()) << c.records;
        const int shown = QString(c.result).section('/', 0, 0).toInt();
        ASSERT_EQ(grid.Rows(), 2 + shown);
        EXPECT_EQ(marks, c.marks) << c.records;
        EXPECT_EQ(last, "");
        EXPECT_EQ(grid.Tag(), sql);
        EXPECT_TRUE(grid.Redraw());
        if (shown > 0) {
            EXPECT_EQ(grid.TextMatrix(2 + shown - 1, 1), QString::number(shown));
            EXPECT_EQ(grid.TextMatrix(2, 2), "600000");
            EXPECT_EQ(grid.TextMatrix(2, 3), "2024-01-01");
            EXPECT_EQ(grid.TextMatrix(2, c.cols - 1), "") << "a field the query lacks";
        }
    }
    // Appending adds after the rows there, numbering on; a failing query shows "0/0" and is logged.
    FlexGrid grid;
    SetupGridColumns(grid, {"id", "", "code"}, {"", "序号", "代码"});
    FillGridFromQuery(grid, "SELECT * FROM account", true, false);
    EXPECT_EQ(FillGridFromQuery(grid, "SELECT * FROM account", true, true), "0/0");
    Exec("INSERT INTO account (code) VALUES ('000001')");
    FillGridFromQuery(grid, "SELECT * FROM account", true, false);
    EXPECT_EQ(FillGridFromQuery(grid, "SELECT * FROM account", true, true), "1/1");
    EXPECT_EQ(Column(grid, 1), (std::vector<QString>{"1", "2"}));
    EXPECT_EQ(FillGridFromQuery(grid, "SELECT * FROM nosuchtable", true, false), "0/0");
    EXPECT_EQ(grid.Rows(), 2);
    EXPECT_EQ(LogEntryCount(), 1);
}

TEST(GridOps, SetGridCellByKindAndFieldName)
{
    struct Case {
        const char *field;
        Value value;
        bool dateOnly;
        const char *text;  // the preset "old" stays when the cell is left alone
        uint32_t back;
    };
    const double may20 = DayNumberOf(2024, 5, 20) + 0.4375;  // 10:30
    const Case cases[] = {
        {"bdate", MakeDate(kEmptyDate), true, "", kDefaultCellColor},
        {"bdate", MakeDate(DayNumberOf(2100, 1, 1)), true, "", kDefaultCellColor},
        {"bdate", MakeDate(DayNumberOf(2099, 12, 31)), true, "2099-12-31", kDefaultCellColor},
        {"bdate", MakeDate(DayNumberOf(1900, 1, 2)), true, "1900-01-02", kDefaultCellColor},
        {"bdate", MakeDate(may20), false, "2024-05-20 10:30", kDefaultCellColor},
        {"D1", MakeDate(may20), false, "2024-05-20", kDefaultCellColor},
        {"D6", MakeDate(may20), false, "2024-05-20 10:30", kDefaultCellColor},
        {"num", MakeLong(0), true, "-", kDefaultCellColor},
        {"num", MakeLong(1234567), true, "1234567", kDefaultCellColor},
        {"C1", MakeLong(5), true, "05", kDefaultCellColor},
        {"Cx", MakeInteger(-3), true, "-03", kDefaultCellColor},
        {"Cor", MakeLong(0), true, "old", 65793},
        {"Cor", MakeDouble(255), true, "old", 255},
        {"Cor", MakeNull(), true, "old", kDefaultCellColor},
        {"Cor", MakeLong(-1), true, "old", kDefaultCellColor},
        {"bprice", MakeDouble(3.14159), true, "3.14", kDefaultCellColor},
        {"bprice", MakeDouble(0), true, "-", kDefaultCellColor},
        {"bprice", MakeDouble(2.345), true, "2.34", kDefaultCellColor},
        {"bprice", MakeDouble(1234.5), true, "1234.50", kDefaultCellColor},
        {"sname", MakeString("浦发银行"), true, "浦发银行", kDefaultCellColor},
        {"sname", MakeNull(), true, "old", kDefaultCellColor},
        {"flag", MakeBool(true), true, "√", kDefaultCellColor},
        {"flag", MakeBool(false), true, "", kDefaultCellColor},
        {"x", MakeSingle(1.5f), true, "1.5", kDefaultCellColor},
        {"x", MakeCurrency(0), true, "0", kDefaultCellColor},
        {"x", MakeEmpty(), true, "", kDefaultCellColor},
    };
    for (const Case &c : cases) {
        FlexGrid grid;
        SetupGridColumns(grid, {"", c.field}, {"序号", "列"});
        grid.SetRows(4);
        grid.SetTextMatrix(3, 1, "old");
        SetGridCell(grid, 3, 1, c.value, c.dateOnly);
        EXPECT_EQ(grid.TextMatrix(3, 1), c.text) << c.field << " " << c.value.ToText().toStdString();
        EXPECT_EQ(grid.CellBackColor(3, 1), c.back) << c.field;
        // Numbers align right from the first data row only.
        EXPECT_NE(grid.ColAlignment(1), 8);
        SetGridCell(grid, 2, 1, c.value, c.dateOnly);
        EXPECT_EQ(grid.ColAlignment(1) == 8, c.value.IsNumeric() && c.value.type != VType::Single &&
                                                   c.value.type != VType::Currency && QString(c.field) != "Cor")
            << c.field;
    }

    // FormatCellValue hands back the default format and has its own (1990) date threshold.
    struct FormatCase {
        Value value;
        const char *format;
        const char *text;
        const char *formatAfter;
    };
    const FormatCase formats[] = {
        {MakeLong(7), "", "7", "0"},
        {MakeDouble(7), "", "7.00", "0.00"},
        {MakeDate(DayNumberOf(2024, 5, 20)), "", "2024-05-20", "YYYY-MM-DD"},
        {MakeDate(DayNumberOf(1990, 1, 1)), "", "z", "YYYY-MM-DD"},
        {MakeDate(DayNumberOf(1990, 1, 2)), "", "1990-01-02", "YYYY-MM-DD"},
        {MakeLong(7), "000", "007", "000"},
        {MakeDouble(0), "0.0", "z", "0.0"},
        {MakeSingle(7), "", "", ""},
        {MakeString("7"), "", "", ""},
    };
    for (const FormatCase &f : formats) {
        QString format = f.format;
        EXPECT_EQ(FormatCellValue(f.value, format, "z"), f.text) << f.value.ToText().toStdString();
        EXPECT_EQ(format, f.formatAfter);
    }
}

TEST(GridOps, LayoutFindsTheRowNumberColumnAndFittingHidesKeys)
{
    struct Case {
        std::vector<QString> fields, captions;
        int fixedCols;
        int centred;  // the column aligned 3, -1 for none
    };
    const Case cases[] = {
        {{"code", "sname"}, {"序号", "名称"}, 1, 0},
        {{"id", "", "code"}, {"", "序号", "代码"}, 2, 1},
        {{"", "", "code"}, {"", "序号", "代码"}, 1, 0},
        {{"id", "code", "sname"}, {"", "代码", "名称"}, 2, -1},
    };
    for (const Case &c : cases) {
        FlexGrid grid;
        SetupGridColumns(grid, c.fields, c.captions);
        EXPECT_EQ(grid.FixedCols(), c.fixedCols) << c.fields[0].toStdString();
        EXPECT_EQ(grid.FixedRows(), 2);
        EXPECT_EQ(grid.Rows(), 2);
        EXPECT_EQ(grid.RowHeight(0), 0);
        for (int i = 0; i < grid.Cols(); ++i)
            EXPECT_EQ(grid.ColAlignment(i) == 3, i == c.centred);
        EXPECT_EQ(grid.TextMatrix(1, grid.Cols() - 1), c.captions.back());
    }
    FlexGrid grid;
    SetupGridColumns(grid, {"id", "code"}, {"", "代码"});
    SetupGridColumns(grid, {"a", "b", "c"}, {"", ""});
    EXPECT_EQ(grid.Cols(), 2) << "lists of different lengths change nothing";

    LayOut(grid, {"id", "", "code", "memo", "sname"}, {"", "序号", "代码", "备注", "一个很长很长的名称"},
           {{"12", "1", "600000", "", "浦发"}, {"15", "2", "000001", "", "平安银行股份"}});
    AutoFitGridColumns(grid, 2, false);
    const QFontMetrics fm(grid.Font());
    EXPECT_EQ(grid.ColWidth(0), 0) << "the key column";
    EXPECT_EQ(grid.ColWidth(2), fm.horizontalAdvance("600000") * 15 + 120);
    EXPECT_EQ(grid.ColWidth(3), 70) << "an empty column; its caption does not count";
    EXPECT_EQ(grid.ColWidth(4), fm.horizontalAdvance("一个很长很长的名称") * 15 + 120);
    AutoFitGridColumns(grid, 3, false);
    EXPECT_EQ(grid.ColWidth(4), fm.horizontalAdvance("一个很长很长的名称") * 15 + 120)
        << "the caption counts whenever the column has text";

    // Many texts, the widest neither the longest nor the first: each column takes its widest.
    std::vector<std::vector<QString>> rows;
    for (int k = 0; k < 40; ++k)
        rows.push_back({"1", QString::number(k + 1), k == 30 ? "WWWWW" : "iiiiiiii", k == 7 ? "153,090.00" : "9.50"});
    LayOut(grid, {"id", "", "a", "b"}, {"", "序号", "甲", "乙"}, rows);
    AutoFitGridColumns(grid, 2, false);
    EXPECT_EQ(grid.ColWidth(2), std::max(fm.horizontalAdvance("WWWWW"), fm.horizontalAdvance("iiiiiiii")) * 15 + 120);
    EXPECT_EQ(grid.ColWidth(3), fm.horizontalAdvance("153,090.00") * 15 + 120);

    // A text of 200,000 characters is fitted as its first 1,024: measuring it whole would lay out
    // the whole text.
    const QString prefix = QStringLiteral("W中").repeated(512);
    LayOut(grid, {"id", "", "a", "b"}, {"", "序号", "甲", "乙"},
           {{"1", "1", prefix + QString(200000 - 1024, u'W'), prefix + u'x'}});
    AutoFitGridColumns(grid, 2, false);
    EXPECT_EQ(grid.ColWidth(2), fm.horizontalAdvance(prefix) * 15 + 120);
    EXPECT_EQ(grid.ColWidth(3), grid.ColWidth(2));
}

// The comparison window's list: numbers aligned right (7), text left (1).
void SortLayout(FlexGrid &grid)
{
    LayOut(grid, {"id", "", "sname", "num", "code", "pper"}, {"", "序号", "名称", "数量", "代码", "收益率"},
           {{"1", "1", "b", "1,234.50", "600001", "5"},
            {"2", "2", "a", "999.00", "600002", "-2"},
            {"3", "3", "c", "15.00", "600003", "12"}});
    grid.SetColAlignment(2, 1);
    grid.SetColAlignment(3, 7);
    grid.SetColAlignment(5, 7);
}

TEST(GridOps, ClickSequencesSortWithArrowsAndTheSavedStateIsReapplied)
{
    FlexGrid grid;
    SortLayout(grid);
    struct Step {
        int col;
        std::vector<QString> values;  // of the clicked column
        const char *caption;
        const char *otherCaption;  // column 2 or 3, whichever was not clicked
        const char *tag;
    };
    const Step steps[] = {
        {3, {"15.00", "999.00", "1,234.50"}, "数量↑", "名称", "排序:3:3"},
        {3, {"1,234.50", "999.00", "15.00"}, "数量↓", "名称", "排序:3:4"},
        {2, {"c", "b", "a"}, "名称↑", "数量", "排序:2:8"},
        {2, {"a", "b", "c"}, "名称↓", "数量", "排序:2:7"},
    };
    for (const Step &s : steps) {
        int col = s.col, order = 0;
        SortGridByColumn(grid, col, order);
        EXPECT_EQ(Column(grid, s.col), s.values) << s.tag;
        EXPECT_EQ(grid.TextMatrix(1, s.col), s.caption);
        EXPECT_EQ(grid.TextMatrix(1, s.col == 2 ? 3 : 2), s.otherCaption);
        EXPECT_EQ(grid.Tag(), s.tag);
        EXPECT_EQ(Column(grid, 1), (std::vector<QString>{"1", "2", "3"}));
    }
    // The arrow widens a column too narrow for it; a width the user gave stays, as does a hidden column.
    const int arrowed = QFontMetrics(grid.Font()).horizontalAdvance("数量↑") * 15 + 120;
    struct Narrow {
        int col, width;
        bool byUser;
        int widthAfter;
    };
    const Narrow narrows[] = {{3, 200, false, arrowed}, {3, 200, true, 200}, {3, 0, false, 0}, {3, 3000, false, 3000}};
    for (const Narrow &n : narrows) {
        SortLayout(grid);
        grid.SetColWidth(n.col, n.width, n.byUser);
        int col = n.col, order = 0;
        SortGridByColumn(grid, col, order);
        EXPECT_EQ(grid.ColWidth(n.col), n.widthAfter) << n.width << n.byUser;
    }

    // A refill re-applies the saved state and leaves it in the Tag; a state naming a column that is
    // gone sorts nothing and leaves the Tag empty; a query in the Tag is no state and stays.
    struct Reapply {
        const char *tag;
        std::vector<QString> pper;
        const char *tagAfter;
        const char *caption;
    };
    const Reapply reapplies[] = {
        {"排序:5:4", {"12", "5", "-2"}, "排序:5:4", "收益率↓"},
        {"排序:40:4", {"5", "-2", "12"}, "", "收益率"},
        {"排序:0:3", {"5", "-2", "12"}, "", "收益率"},
        {"SELECT * FROM account", {"5", "-2", "12"}, "SELECT * FROM account", "收益率"},
    };
    for (const Reapply &r : reapplies) {
        SortLayout(grid);
        grid.SetTag(r.tag);
        int col = 0, order = -1;
        SortGridByColumn(grid, col, order);
        EXPECT_EQ(Column(grid, 5), r.pper) << r.tag;
        EXPECT_EQ(grid.Tag(), r.tagAfter) << r.tag;
        EXPECT_EQ(grid.TextMatrix(1, 5), r.caption) << r.tag;
    }
    // A click on a grid whose Tag holds its query sorts but keeps the query.
    int col = 5, order = 0;
    SortGridByColumn(grid, col, order);
    EXPECT_EQ(Column(grid, 5), (std::vector<QString>{"-2", "5", "12"}));
    EXPECT_EQ(grid.Tag(), "SELECT * FROM account");
}

TEST(GridOps, HeaderPressFitsSortsOrDoesNothing)
{
    struct Case {
        const char *what;
        double x, y;
        bool fitted;
        const char *tag;
    };
    const Case cases[] = {
        {"caption over the row numbers", ColX(1), kCaptionY, true, ""},
        {"caption over a column", ColX(3), kCaptionY, false, "排序:3:3"},
        {"caption right of the last column", ColX(7), kCaptionY, false, ""},
        {"a data row", ColX(3), DataY(1), false, ""},
    };
    for (const Case &c : cases) {
        FlexGrid grid;
        SortLayout(grid);
        GridHeaderClick(grid, c.x, c.y);
        EXPECT_EQ(grid.ColWidth(0) == 0, c.fitted) << c.what;
        EXPECT_EQ(grid.Tag(), c.tag) << c.what;
    }
    // Nothing without data rows, or when the first scrollable column has no field name.
    FlexGrid empty;
    SetupGridColumns(empty, {"id", "", "num"}, {"", "序号", "数量"});
    GridHeaderClick(empty, ColX(1), kCaptionY);
    EXPECT_EQ(empty.ColWidth(0), kDefaultColWidth);
    FlexGrid unnamed;
    LayOut(unnamed, {"", "", "num"}, {"序号", "", "数量"}, {{"1", "", "5"}});
    GridHeaderClick(unnamed, ColX(0), kCaptionY);
    EXPECT_EQ(unnamed.ColWidth(0), kDefaultColWidth);
}

TEST(GridOps, HitTestFromTopRowAndLeftCol)
{
    FlexGrid grid;
    LayOut(grid, {"id", "", "a", "b", "c", "d"}, {"", "序号", "", "", "", ""},
           std::vector<std::vector<QString>>(10, std::vector<QString>{"x"}));
    grid.SetTopRow(5);
    grid.SetLeftCol(4);
    struct Case {
        double x, y;
        int row, col;
    };
    const Case cases[] = {
        {0, 0, 1, 0},                // row 0 has no height: the caption row
        {959, 239, 1, 0},            // last twip of both
        {960, 240, 5, 1},            // the first scrolled data row is TopRow
        {ColX(2), DataY(1), 6, 4},   // past the fixed columns comes LeftCol
        {ColX(3), DataY(6), 11, 5},  // the last row and column
        {ColX(9), DataY(40), 11, 5}, // past both: the last ones
    };
    for (const Case &c : cases) {
        int row = -1, col = -1;
        GridHitTest(grid, c.x, c.y, row, col);
        EXPECT_EQ(row, c.row) << c.x << "," << c.y;
        EXPECT_EQ(col, c.col) << c.x << "," << c.y;
    }
}

class GridDeleteTest : public DbFixture {};

TEST_F(GridDeleteTest, RowsGoWithTheirColoursAndTheRecordsOnlyFromATable)
{
    struct Case {
        const char *tag;
        int answer;
        int r1, r2;  // grid rows; negative: the selection 4..6
        bool deleted;
        int recordsLeft;
    };
    const Case cases[] = {
        {"account", Msg::No, 4, 6, false, 10},
        {"account", Msg::Yes, 6, 4, true, 7},
        {"SELECT * FROM account", Msg::Yes, 4, 6, true, 10},
        {"account", Msg::Yes, -1, 0, true, 7},
        {"account", Msg::Yes, 1, 3, false, 10},  // the caption row is no data row
    };
    for (const Case &c : cases) {
        Exec("DELETE FROM account");
        std::vector<std::vector<QString>> rows;
        for (int k = 1; k <= 10; ++k) {
            Exec(QStringLiteral("INSERT INTO account (id,code) VALUES (%1,'%2')").arg(100 + k).arg(600000 + k));
            rows.push_back({QString::number(100 + k), QString::number(k), QString::number(600000 + k)});
        }
        FlexGrid grid;
        LayOut(grid, {"ID", "", "code"}, {"", "序号", "代码"}, rows);
        for (int k = 1; k <= 10; ++k)
            SetRowForeColor(grid, 1 + k, static_cast<uint32_t>(k));
        grid.SetTag(c.tag);
        grid.SetRow(4);
        grid.SetRowSel(6);
        prompter.shown.clear();
        prompter.messageAnswers = {c.answer};
        int r1 = c.r1, r2 = c.r2;
        EXPECT_EQ(DeleteGridRows(grid, r1, r2, true, true), c.deleted) << c.tag;
        EXPECT_EQ(CountRecords("account", QString()), c.recordsLeft) << c.tag;
        if (c.r1 == 1) {
            EXPECT_TRUE(prompter.shown.empty());
            continue;
        }
        ASSERT_EQ(prompter.Messages(), QStringList{"您确定要删除第3-5行数据？"});
        EXPECT_EQ(prompter.shown[0].style, Msg::YesNo + Msg::DefaultButton2) << "No the default: Enter keeps the rows";
        const int left = c.deleted ? 7 : 10;
        ASSERT_EQ(grid.Rows(), 2 + left);
        for (int i = 0; i < left; ++i) {
            const int was = c.deleted && i >= 2 ? i + 4 : i + 1;  // data rows 3..5 gone
            EXPECT_EQ(grid.TextMatrix(2 + i, 1), QString::number(i + 1)) << "numbering stays";
            EXPECT_EQ(grid.TextMatrix(2 + i, 2), QString::number(600000 + was));
            EXPECT_EQ(grid.CellForeColor(2 + i, 2), static_cast<uint32_t>(was)) << "colour moves with its row";
        }
    }
    FlexGrid empty;
    empty.SetRows(empty.FixedRows());
    int r1 = -1, r2 = -1;
    EXPECT_FALSE(DeleteGridRows(empty, r1, r2, false, false));
}

TEST_F(GridDeleteTest, ColumnChooserMarksMovesAndSavesItsList)
{
    // The chooser: field name (key), row numbers, the marks, the headings; the marks are column 2.
    auto chooser = [](FlexGrid &grid) {
        LayOut(grid, {"FName", "", "Sel", "FDes"}, {"FName", "序号", "选择", "列名称"},
               {{"num", "1", "√", "数量"},
                {"bdate", "2", "", "买入日期"},
                {"bprice", "3", "√", "买入价"},
                {"sdate", "4", "", "卖出日期"},
                {"days", "5", "", "天数"}});
    };
    struct Case {
        const char *what;
        int anchorRow, anchorCol;
        int shift;
        double x, y;
        bool multiple;
        bool result;
        std::vector<QString> marks;
    };
    const Case cases[] = {
        {"header with multiple choice", 2, 2, 0, ColX(2), kCaptionY, true, true, {"", "", "", "", ""}},
        {"header with single choice", 2, 2, 0, ColX(2), kCaptionY, false, false, {"√", "", "√", "", ""}},
        {"one cell", 2, 2, 0, ColX(2), DataY(1), true, false, {"√", "√", "√", "", ""}},
        // From the anchor in the headings column down to row 4: the marks flip, the headings stay.
        {"shift block", 2, 3, 1, ColX(2), DataY(3), true, false, {"", "", "", "", ""}},
        {"shift block upward", 6, 3, 1, ColX(2), DataY(3), true, false, {"√", "", "√", "√", "√"}},
        {"ctrl is no block", 2, 3, 2, ColX(2), DataY(3), true, false, {"√", "", "√", "√", ""}},
        {"single choice", 2, 2, 0, ColX(2), DataY(3), false, true, {"", "", "", "√", ""}},
        {"the headings column", 2, 2, 0, ColX(3), DataY(1), true, false, {"√", "", "√", "", ""}},
        {"below the last row", 2, 2, 0, ColX(2), DataY(5), true, false, {"√", "", "√", "", ""}},
    };
    const std::vector<QString> headings = {"数量", "买入日期", "买入价", "卖出日期", "天数"};
    for (const Case &c : cases) {
        FlexGrid grid;
        chooser(grid);
        grid.SetRow(c.anchorRow);
        grid.SetCol(c.anchorCol);
        EXPECT_EQ(ToggleGridCheck(grid, c.shift, c.x, c.y, c.multiple, grid.FixedCols()), c.result) << c.what;
        EXPECT_EQ(Column(grid, 2), c.marks) << c.what;
        EXPECT_EQ(Column(grid, 3), headings) << c.what;
    }

    // Moves keep the numbering and select the moved block; a block at the edge stays.
    struct Move {
        int r1, r2, step;
        std::vector<QString> names;
        int row, rowSel;
    };
    const Move moves[] = {
        {3, 4, 1, {"num", "sdate", "bdate", "bprice", "days"}, 4, 5},
        {4, 3, -1, {"bdate", "bprice", "num", "sdate", "days"}, 2, 3},
        {2, 3, -1, {"num", "bdate", "bprice", "sdate", "days"}, 0, 0},
        {5, 6, 1, {"num", "bdate", "bprice", "sdate", "days"}, 0, 0},
        {3, 3, 0, {"num", "bdate", "bprice", "sdate", "days"}, 0, 0},
    };
    for (const Move &m : moves) {
        FlexGrid grid;
        chooser(grid);
        grid.SetRow(0);
        MoveGridRows(grid, m.r1, m.r2, m.step, grid.FixedRows() - 1);
        EXPECT_EQ(Column(grid, 0), m.names) << m.r1 << m.step;
        EXPECT_EQ(Column(grid, 1), (std::vector<QString>{"1", "2", "3", "4", "5"}));
        EXPECT_EQ(grid.Row(), m.row);
        EXPECT_EQ(grid.RowSel(), m.rowSel);
        if (m.row != 0) {
            EXPECT_EQ(grid.Col(), 0);
            EXPECT_EQ(grid.ColSel(), 3);
        }
    }
    FlexGrid grid;
    chooser(grid);
    ToggleGridCheck(grid, 0, ColX(2), DataY(2), true, 2);  // bprice unmarked
    ToggleGridCheck(grid, 0, ColX(2), DataY(1), true, 2);  // bdate marked
    SaveCheckedColumnList(grid, "FN_account", "code,sname,");
    EXPECT_EQ(GetParam("FN_account"), "code,sname,num,bdate ");
}

TEST(GridOps, JoinFindAndColours)
{
    FlexGrid grid;
    LayOut(grid, {"ID", "", "code"}, {"", "序号", "代码"}, {{"12"}, {"15"}, {"20"}});
    EXPECT_EQ(FindGridColumn(grid, 0, "id"), 0);
    EXPECT_EQ(FindGridColumn(grid, 1, "代码"), 2);
    EXPECT_EQ(FindGridColumn(grid, 0, "pper"), -1);
    EXPECT_EQ(FindGridColumn(grid, 9, "id"), -1);
    EXPECT_EQ(JoinGridColumn(grid, 0, 2, 4), "12,15,20");
    EXPECT_EQ(JoinGridColumn(grid, 0, 4, 3), "15,20");
    EXPECT_EQ(JoinGridColumn(grid, 3, 2, 4), "");
    EXPECT_EQ(JoinGridColumn(grid, 0, -1, 4), "");
    EXPECT_EQ(JoinGridColumn(grid, 0, 2, 5), "");
    EXPECT_EQ(JoinGridColumn(grid, -1, 2, 2), "");

    SetRowForeColor(grid, 3, 0xFF);
    EXPECT_EQ(grid.CellForeColor(3, 1), kDefaultCellColor) << "fixed columns keep theirs";
    EXPECT_EQ(grid.CellForeColor(3, 2), 0xFFu);
    SetRangeForeColor(grid, 2, 0, 4, 1, 0x00FF00);
    EXPECT_EQ(grid.CellForeColor(4, 0), 0x00FF00u);
    EXPECT_EQ(grid.CellForeColor(4, 2), kDefaultCellColor);
    SetCellForeColor(grid, 9, 9, 1);  // outside: nothing, the current cell stays
    EXPECT_EQ(grid.Row(), 4);
    EXPECT_EQ(grid.Col(), 1);
}

}  // namespace
