// The workbook reader: sheet lists and cell texts of .xlsx files written by libxlsxwriter and by hand,
// of .xls files from the test's BIFF writer and one saved by a spreadsheet program, and the failures
// of files that are no readable workbook.
#include <gtest/gtest.h>

#include <utility>
#include <vector>

#include <QFile>
#include <QTemporaryDir>

#include <xlsxwriter.h>
#include <zip.h>

#include "fixtures/biff_writer.h"
#include "fixtures/bounded_run.h"
#include "platform/workbook.h"

namespace {

class WorkbookTest : public ::testing::Test {
protected:
    QString PathOf(const QString &name) const { return dir.filePath(name); }

    QString WriteBytes(const QString &name, const QByteArray &bytes) const
    {
        QFile f(PathOf(name));
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
        return f.fileName();
    }

    // A zip archive of the given parts, written with libzip.
    QString WriteZip(const QString &name, const std::vector<std::pair<QString, QByteArray>> &parts) const
    {
        const QString path = PathOf(name);
        int error = 0;
        zip_t *z = zip_open(QFile::encodeName(path).constData(), ZIP_CREATE | ZIP_TRUNCATE, &error);
        EXPECT_NE(z, nullptr);
        std::vector<QByteArray> keep;
        for (const auto &[part, content] : parts) {
            keep.push_back(content);
            zip_source_t *src = zip_source_buffer(z, keep.back().constData(), keep.back().size(), 0);
            zip_file_add(z, part.toUtf8().constData(), src, ZIP_FL_OVERWRITE);
        }
        EXPECT_EQ(zip_close(z), 0);
        return path;
    }

    // Every text of the selected sheet, row by row, the cells up to the last one holding a text
    // joined by "|".
    static QStringList Texts(const Workbook &wb)
    {
        QStringList rows;
        for (int r = 1; r <= wb.UsedRows(); ++r) {
            QStringList cells;
            for (int c = 1; c <= wb.UsedCols(); ++c)
                cells << wb.CellText(r, c);
            while (!cells.isEmpty() && cells.back().isEmpty())
                cells.removeLast();
            rows << cells.join(u'|');
        }
        return rows;
    }

    QTemporaryDir dir;
};

TEST_F(WorkbookTest, XlsxWrittenByLibxlsxwriterListsWorksheetsAndShowsTexts)
{
    const QString path = PathOf(QStringLiteral("交易.xlsx"));
    lxw_workbook *wb = workbook_new(QFile::encodeName(path).constData());
    lxw_worksheet *ws = workbook_add_worksheet(wb, "交易记录");
    lxw_chartsheet *cs = workbook_add_chartsheet(wb, "图表");
    lxw_worksheet *spare = workbook_add_worksheet(wb, "备用");
    lxw_format *day = workbook_add_format(wb);
    format_set_num_format(day, "yyyy-mm-dd");
    lxw_format *stamp = workbook_add_format(wb);
    format_set_num_format(stamp, "yyyy-mm-dd hh:mm:ss");
    lxw_format *builtin = workbook_add_format(wb);
    format_set_num_format_index(builtin, 14);
    lxw_format *money = workbook_add_format(wb);
    format_set_num_format(money, "#,##0.00\"元\"");
    lxw_format *bold = workbook_add_format(wb);
    format_set_bold(bold);

    worksheet_write_string(ws, 0, 0, "股票代码", nullptr);
    worksheet_write_string(ws, 0, 1, "1,234.50", nullptr);
    worksheet_write_string(ws, 1, 0, "600000", nullptr);
    worksheet_write_number(ws, 1, 1, 1000, nullptr);
    worksheet_write_number(ws, 1, 2, 2.5, nullptr);
    lxw_datetime d1 = {2024, 3, 1, 0, 0, 0};
    worksheet_write_datetime(ws, 1, 3, &d1, day);
    worksheet_write_boolean(ws, 1, 4, 1, nullptr);
    worksheet_write_formula_num(ws, 1, 5, "=B2*2", nullptr, 2000);
    worksheet_write_number(ws, 1, 6, 1.0 / 3, nullptr);
    lxw_datetime d2 = {2024, 3, 1, 9, 30, 15};
    worksheet_write_datetime(ws, 1, 7, &d2, stamp);
    worksheet_write_number(ws, 1, 8, 45352, builtin);
    lxw_rich_string_tuple a = {bold, const_cast<char *>("浦发")};
    lxw_rich_string_tuple b = {nullptr, const_cast<char *>("银行")};
    lxw_rich_string_tuple *rich[] = {&a, &b, nullptr};
    worksheet_write_rich_string(ws, 1, 9, rich, nullptr);
    worksheet_write_formula_str(ws, 1, 10, "=A2&\"x\"", nullptr, "600000x");
    worksheet_write_number(ws, 1, 11, 1234.5, money);
    worksheet_write_boolean(ws, 1, 12, 0, nullptr);
    worksheet_write_number(ws, 1, 13, -0.1, nullptr);
    worksheet_write_string(ws, 3, 0, "末行", nullptr);
    worksheet_write_blank(ws, 3, 20, bold);  // a formatted but empty cell widens nothing
    worksheet_write_string(spare, 0, 0, "b", nullptr);
    lxw_chart *chart = workbook_add_chart(wb, LXW_CHART_LINE);
    chart_add_series(chart, nullptr, "='交易记录'!$B$2:$C$2");
    chartsheet_set_chart(cs, chart);
    ASSERT_EQ(workbook_close(wb), LXW_NO_ERROR);

    Workbook reader;
    ASSERT_TRUE(reader.Open(path));
    EXPECT_EQ(reader.SheetNames(), QStringList({"交易记录", "备用"}));
    ASSERT_TRUE(reader.SelectSheet(QStringLiteral("交易记录")));
    EXPECT_EQ(reader.UsedRows(), 4);
    EXPECT_EQ(reader.UsedCols(), 14);
    EXPECT_EQ(Texts(reader),
              QStringList({"股票代码|1,234.50",
                           "600000|1000|2.5|2024-03-01|TRUE|2000|0.333333333333333|2024-03-01 09:30:15|2024-03-01|"
                           "浦发银行|600000x|1234.5|FALSE|-0.1",
                           "", "末行"}));
    EXPECT_EQ(reader.CellText(0, 1), QString());
    EXPECT_EQ(reader.CellText(2, 15), QString());
    EXPECT_EQ(reader.CellText(9, 1), QString());

    // The first rows only; then the other sheet; a chart sheet is no worksheet.
    ASSERT_TRUE(reader.SelectSheet(QStringLiteral("交易记录"), {1, 2, {}}));
    EXPECT_EQ(reader.UsedRows(), 2);
    ASSERT_TRUE(reader.SelectSheet(QStringLiteral("备用")));
    EXPECT_EQ(Texts(reader), QStringList({"b"}));
    EXPECT_FALSE(reader.SelectSheet(QStringLiteral("图表")));
    EXPECT_EQ(reader.Failure(), WorkbookFailure::SheetNotFound);
    EXPECT_EQ(reader.UsedRows(), 0);
    EXPECT_FALSE(reader.SelectSheet(QStringLiteral("交易记录 ")));

    // The same strings written inline (constant-memory mode).
    const QString inlinePath = PathOf(QStringLiteral("inline.xlsx"));
    lxw_workbook_options options = {};
    options.constant_memory = LXW_TRUE;
    lxw_workbook *wb2 = workbook_new_opt(QFile::encodeName(inlinePath).constData(), &options);
    lxw_worksheet *ws2 = workbook_add_worksheet(wb2, nullptr);
    worksheet_write_string(ws2, 0, 0, "内联 文本", nullptr);
    worksheet_write_number(ws2, 0, 1, 600036, nullptr);
    ASSERT_EQ(workbook_close(wb2), LXW_NO_ERROR);
    ASSERT_TRUE(reader.Open(inlinePath));
    EXPECT_EQ(reader.SheetNames(), QStringList({"Sheet1"}));
    ASSERT_TRUE(reader.SelectSheet(QStringLiteral("Sheet1")));
    EXPECT_EQ(Texts(reader), QStringList({"内联 文本|600036"}));
}

TEST_F(WorkbookTest, XlsxByHandPrefixesDateSystemsAndFormats)
{
    const QByteArray rels =
        R"(<?xml version="1.0"?><Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships">)"
        R"(<Relationship Id="rId1" Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/officeDocument" Target="/book/main.xml"/>)"
        R"(</Relationships>)";
    const auto workbook = [](bool date1904) {
        return QByteArray(R"(<?xml version="1.0"?><x:workbook xmlns:x="http://schemas.openxmlformats.org/spreadsheetml/2006/main" )"
                          R"(xmlns:rel="http://schemas.openxmlformats.org/officeDocument/2006/relationships">)") +
               (date1904 ? R"(<x:workbookPr date1904="1"/>)" : "") +
               R"(<x:sheets><x:sheet name="对话" sheetId="1" rel:id="r3"/><x:sheet name="数据" sheetId="2" rel:id="r1"/>)"
               R"(<x:sheet name="丢失" sheetId="3" rel:id="r9"/></x:sheets></x:workbook>)";
    };
    const QByteArray bookRels =
        R"(<Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships">)"
        R"(<Relationship Id="r1" Type="http://purl.oclc.org/ooxml/officeDocument/relationships/worksheet" Target="sheets/../sheets/s1.xml"/>)"
        R"(<Relationship Id="r2" Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/sharedStrings" Target="strings.xml"/>)"
        R"(<Relationship Id="r3" Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/dialogsheet" Target="sheets/d1.xml"/>)"
        R"(<Relationship Id="r4" Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/styles" Target="styles.xml"/>)"
        R"(</Relationships>)";
    const QByteArray strings =
        R"(<sst xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main"><si><t xml:space="preserve"> </t></si>)"
        R"(<si><r><t>万</t></r><r><rPr/><t>科A</t></r><rPh sb="0" eb="1"><t>wan</t></rPh></si><si><t>a_x000D_b</t></si></sst>)";
    const QByteArray styles =
        R"(<styleSheet xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main"><numFmts>)"
        R"(<numFmt numFmtId="164" formatCode="yyyy&quot;年&quot;m&quot;月&quot;d&quot;日&quot;"/>)"
        R"(<numFmt numFmtId="165" formatCode="0.00_);[Red]&quot;day&quot;\d"/>)"
        R"(<numFmt numFmtId="166" formatCode="[h]:mm:ss"/></numFmts><cellXfs>)"
        R"(<xf numFmtId="0"/><xf numFmtId="164"/><xf numFmtId="165"/><xf numFmtId="31"/><xf numFmtId="166"/><xf numFmtId="22"/>)"
        R"(</cellXfs></styleSheet>)";
    // Cells without references follow the one before; rows without numbers too.
    const QByteArray sheet =
        R"(<worksheet xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main"><sheetData>)"
        R"(<row><c t="s"><v>1</v></c><c t="s"><v>0</v></c><c t="s"><v>2</v></c><c t="s"><v>7</v></c></row>)"
        R"(<row><c r="B2" s="1"><v>45352</v></c><c s="2"><v>45352</v></c><c s="3"><v>45352.5</v></c>)"
        R"(<c s="4"><v>0.75</v></c><c s="5"><v>1</v></c><c s="5"><v>59</v></c><c s="5"><v>61</v></c><c s="1"><v>-1</v></c></row>)"
        R"(<row r="4"><c r="A4" t="d"><v>2024-03-01T00:00:00</v></c><c r="B4" t="d"><v>2024-03-01T09:30:00</v></c>)"
        R"(<c r="C4" t="e"><v>#N/A</v></c><c r="D4" t="str"><f>A1</f><v>公式</v></c><c r="E4"><f>1/0</f></c>)"
        R"(<c r="F4" t="inlineStr"><is><t>内联</t></is></c><c r="G4"><v>abc</v></c><c r="H4" s="99"><v>7</v></c></row>)"
        R"(</sheetData></worksheet>)";
    const std::vector<std::pair<QString, QByteArray>> parts = {
        {"_rels/.rels", rels},          {"book/_rels/main.xml.rels", bookRels}, {"book/strings.xml", strings},
        {"book/styles.xml", styles},    {"book/sheets/s1.xml", sheet},          {"book/sheets/d1.xml", "<dialogsheet/>"}};

    struct Case {
        bool date1904;
        QStringList rows;
    };
    const Case cases[] = {
        {false,
         {"万科A| |a\rb", "|2024-03-01|45352|2024-03-01 12:00:00|18:00:00|1900-01-01|1900-02-28|1900-03-01|-1",
          "", "2024-03-01|2024-03-01 09:30:00|#N/A|公式||内联|abc|7"}},
        {true,
         {"万科A| |a\rb", "|2028-03-02|45352|2028-03-02 12:00:00|18:00:00|1904-01-02|1904-02-29|1904-03-02|-1",
          "", "2024-03-01|2024-03-01 09:30:00|#N/A|公式||内联|abc|7"}},
    };
    for (const Case &c : cases) {
        std::vector<std::pair<QString, QByteArray>> files = parts;
        files.emplace_back("book/main.xml", workbook(c.date1904));
        Workbook reader;
        ASSERT_TRUE(reader.Open(WriteZip(QStringLiteral("hand.xlsm"), files))) << int(reader.Failure());
        EXPECT_EQ(reader.SheetNames(), QStringList({"数据"}));
        ASSERT_TRUE(reader.SelectSheet(QStringLiteral("数据")));
        EXPECT_EQ(Texts(reader), c.rows) << c.date1904;
        // The first rows only, the rows without numbers counted on.
        ASSERT_TRUE(reader.SelectSheet(QStringLiteral("数据"), {1, 2, {}}));
        EXPECT_EQ(Texts(reader), c.rows.mid(0, 2));
        ASSERT_TRUE(reader.SelectSheet(QStringLiteral("数据"), {1, 3, {}}));
        EXPECT_EQ(Texts(reader), c.rows.mid(0, 2));
    }

    // Rows and cells in any order, some given again: the later one holds. Enough of them that they
    // are put in order while the sheet is read, not only at its end.
    QByteArray shuffled = R"(<worksheet><sheetData><row r="3"><c r="C3"><v>1</v></c><c r="A3"><v>2</v></c></row>)";
    for (int i = 0; i <= 5000; ++i)
        shuffled += R"(<row r="2"><c r="B2"><v>)" + QByteArray::number(i) + R"(</v></c><c r="A2"><v>)" +
                    QByteArray::number(-i) + "</v></c></row>";
    shuffled += R"(<row r="1"><c r="B1" t="s"><v>1</v></c></row><row r="3"><c r="C3"><v>3</v></c></row>)"
                R"(</sheetData></worksheet>)";
    std::vector<std::pair<QString, QByteArray>> files = parts;
    files.emplace_back("book/main.xml", workbook(false));
    files.emplace_back("book/sheets/s1.xml", shuffled);
    Workbook reader;
    ASSERT_TRUE(reader.Open(WriteZip(QStringLiteral("shuffled.xlsx"), files)));
    ASSERT_TRUE(reader.SelectSheet(QStringLiteral("数据")));
    EXPECT_EQ(Texts(reader), QStringList({"|万科A", "-5000|5000", "2||3"}));
    // Rows holding values only in columns not kept still hold values.
    ASSERT_TRUE(reader.SelectSheet(QStringLiteral("数据"), {1, 3, {3}}));
    EXPECT_EQ(Texts(reader), QStringList({"", "", "||3"}));
    EXPECT_TRUE(reader.RowHasValue(1) && reader.RowHasValue(2));
    EXPECT_FALSE(reader.RowHasValue(4));

    // A row given 2,000 times, its cells out of order, is held about once: its 16,000 texts of 1 KB
    // would pass the memory bound.
    const QByteArray text(500, 'x');
    QByteArray row = R"(<row r="2">)";
    for (char col = 'H'; col >= 'A'; --col)
        row += QByteArray(R"(<c r=")") + col + R"(2" t="inlineStr"><is><t>)" + text + "</t></is></c>";
    row += "</row>";
    files.back().second = "<worksheet><sheetData>" + row.repeated(2000) + "</sheetData></worksheet>";
    const QString repeated = WriteZip(QStringLiteral("repeated.xlsx"), files);
    files.back().second.clear();
    const BoundedRun run = RunBounded(
        [&repeated] {
            Workbook big;
            if (!big.Open(repeated) || !big.SelectSheet(QStringLiteral("数据")))
                return std::string("unread");
            return Texts(big).join(u'/').toStdString();
        },
        60, 8 << 20);
    EXPECT_TRUE(run.finished) << "memory " << run.overMemory << " after " << run.seconds << " s";
    EXPECT_EQ(run.output, run.finished ? "/" + QByteArray(text + '|').repeated(8).chopped(1).toStdString() : "");
}

TEST_F(WorkbookTest, XlsFromBiffWriterListsWorksheetsAndShowsTexts)
{
    BiffSheet trades{QStringLiteral("交易"), 0,
                     {BiffText(0, 0, QStringLiteral("股票代码")), BiffText(0, 1, QStringLiteral("买入价格")),
                      BiffText(1, 0, QStringLiteral("600000")), BiffNumber(1, 1, 10.5), BiffNumber(1, 2, 1000),
                      BiffNumber(1, 3, 0.1 + 0.2), BiffText(3, 0, QStringLiteral("浦发银行"))}};
    BiffSheet chart{QStringLiteral("图"), 2, {BiffNumber(0, 0, 1), BiffNumber(1, 0, 2)}};
    BiffSheet other{QStringLiteral("Sheet2"), 0, {BiffText(0, 0, QStringLiteral("股票代码"))}};
    // The stream in the regular sectors, and in the mini stream as a small workbook keeps it.
    for (const bool mini : {false, true}) {
        BiffOptions options;
        options.miniStream = mini;
        const QString path = WriteBytes(QStringLiteral("t.XLS"), BiffWorkbook({trades, chart, other}, options));
        Workbook reader;
        ASSERT_TRUE(reader.Open(path)) << reader.ErrorCode();
        EXPECT_EQ(reader.SheetNames(), QStringList({"交易", "Sheet2"}));
        ASSERT_TRUE(reader.SelectSheet(QStringLiteral("交易")));
        EXPECT_EQ(Texts(reader), QStringList({"股票代码|买入价格", "600000|10.5|1000|0.3", "", "浦发银行"}));
        // A window: rows 2 to 9, columns B and D only.
        ASSERT_TRUE(reader.SelectSheet(QStringLiteral("交易"), {2, 9, {2, 4}}));
        EXPECT_EQ(Texts(reader), QStringList({"", "|10.5||0.3", "", ""}));
        EXPECT_TRUE(reader.RowHasValue(4));
        ASSERT_TRUE(reader.SelectSheet(QStringLiteral("Sheet2"), {1, 1, {}}));
        EXPECT_EQ(Texts(reader), QStringList({"股票代码"}));
        EXPECT_FALSE(reader.SelectSheet(QStringLiteral("图")));
        EXPECT_EQ(reader.Failure(), WorkbookFailure::SheetNotFound);
    }
    // Texts of 4,000 characters, the second one going on in the CONTINUE record after the string table's.
    const QString a(4000, u'甲'), b(4000, u'乙');
    Workbook reader;
    const BiffSheet sheet{QStringLiteral("S"), 0, {BiffText(0, 0, a), BiffText(1, 0, b)}};
    ASSERT_TRUE(reader.Open(WriteBytes(QStringLiteral("long.xls"), BiffWorkbook({sheet}))));
    ASSERT_TRUE(reader.SelectSheet(QStringLiteral("S")));
    EXPECT_EQ(Texts(reader), QStringList({a, b}));
}

TEST_F(WorkbookTest, XlsFormulaCellsShowTheirLastResults)
{
    // Row by row: a formula in column B whose last result is the value, and the value itself in column
    // A (but texts, which the shared strings give), both shown as `text`. The numbers in date formats
    // show as the BIFF library shows them: every fourth year a leap year, 1900 and 2100 too (so that
    // 9999-12-31 shows as 9999-11-01), a day before the first as the first, and one past the days an
    // int counts as the first.
    struct Case {
        BiffCell value;
        QString text;
        bool date1904 = false;
    };
    const Case cases[] = {
        {BiffNumber(0, 0, 11.55), "11.55"},
        {BiffNumber(0, 0, 1000), "1000"},
        {BiffNumber(0, 0, 0.1 + 0.2), "0.3"},
        {BiffNumber(0, 0, 45357, "yyyy\\-mm\\-dd"), "2024-03-06"},
        {BiffNumber(0, 0, 45357, {}, 14), "2024-03-06"},
        {BiffNumber(0, 0, 45357.5, {}, 22), "2024-03-06 12:00:00"},
        {BiffNumber(0, 0, 45357.75, "yyyy/m/d h:mm"), "2024-03-06 18:00:00"},
        {BiffNumber(0, 0, 0.75, {}, 20), "18:00:00"},
        {BiffNumber(0, 0, 1.25, "[h]:mm:ss"), "06:00:00"},
        {BiffNumber(0, 0, 60, "yyyy-mm-dd"), "1900-02-29"},
        {BiffNumber(0, 0, 0, "yyyy-mm-dd"), "1900-01-01"},
        {BiffNumber(0, 0, 73110, "yyyy-mm-dd"), "2100-02-29"},
        {BiffNumber(0, 0, 2958465, {}, 14), "9999-11-01"},
        {BiffNumber(0, 0, -0.25, {}, 22), "1900-01-01 18:00:00"},
        {BiffNumber(0, 0, 1e300, {}, 14), "1900-01-01"},
        {BiffNumber(0, 0, 45357, "0.00_);[Red]\"d\""), "45357"},
        {BiffNumber(0, 0, 1462, "yyyy-mm-dd"), "1908-01-02", true},
        {BiffNumber(0, 0, 0, "yyyy-mm-dd"), "1904-01-02", true},
        {BiffTruth(0, 0, true), "TRUE"},
        {BiffTruth(0, 0, false), "FALSE"},
        {BiffError(0, 0, 0x2A), "#N/A"},
        {BiffError(0, 0, 0x07), "#DIV/0!"},
        {BiffError(0, 0, 0x00), "#NULL!"},
        {BiffError(0, 0, 0x0F), "#VALUE!"},
        {BiffError(0, 0, 0x17), "#REF!"},
        {BiffError(0, 0, 0x1D), "#NAME?"},
        {BiffError(0, 0, 0x24), "#NUM!"},
        {BiffText(0, 0, QStringLiteral("已卖出")), "已卖出"},
        {BiffText(0, 0, QString()), ""},
        {BiffText(0, 0, QStringLiteral("sold ÷ 2")), "sold ÷ 2"},
        // A text going on in a CONTINUE record after its STRING record.
        {BiffText(0, 0, QString(5000, u'长')), QString(5000, u'长')},
    };
    for (const bool date1904 : {false, true}) {
        BiffSheet sheet{QStringLiteral("S"), 0, {}};
        QStringList rows;
        for (const Case &c : cases) {
            if (c.date1904 != date1904)
                continue;
            BiffCell value = c.value;
            value.row = static_cast<int>(rows.size());
            value.col = 1;
            sheet.cells.push_back(BiffFormula(value));
            value.col = 0;
            if (value.kind != BiffCell::Text)
                sheet.cells.push_back(value);
            rows << (value.kind != BiffCell::Text ? c.text + u'|' + c.text : c.text.isEmpty() ? "" : u'|' + c.text);
        }
        BiffOptions options;
        options.date1904 = date1904;
        Workbook reader;
        ASSERT_TRUE(reader.Open(WriteBytes(QStringLiteral("f.xls"), BiffWorkbook({sheet}, options))));
        ASSERT_TRUE(reader.SelectSheet(QStringLiteral("S")));
        EXPECT_EQ(Texts(reader), rows) << date1904;
    }
    // A BIFF5 workbook: the texts in bytes of its code page.
    BiffOptions biff5;
    biff5.biff5 = true;
    const BiffSheet old{QStringLiteral("交易"), 0,
                        {BiffText(0, 0, QStringLiteral("卖出")), BiffFormula(BiffText(0, 1, QStringLiteral("已卖出"))),
                         BiffNumber(1, 0, 45357, "yyyy-mm-dd"), BiffFormula(BiffNumber(1, 1, 45357, "yyyy-mm-dd"))}};
    Workbook reader;
    ASSERT_TRUE(reader.Open(WriteBytes(QStringLiteral("5.xls"), BiffWorkbook({old}, biff5))));
    ASSERT_TRUE(reader.SelectSheet(QStringLiteral("交易")));
    EXPECT_EQ(Texts(reader), QStringList({"卖出|已卖出", "2024-03-06|2024-03-06"}));
    // A window: the formulas of the columns left out count for the used range, an empty result does not.
    const BiffSheet sheet{QStringLiteral("S"), 0,
                          {BiffFormula(BiffNumber(0, 0, 1)), BiffFormula(BiffText(1, 2, QStringLiteral("x"))),
                           BiffFormula(BiffError(1, 3, 0x2A)), BiffFormula(BiffText(2, 0, QString())),
                           BiffFormula(BiffText(3, 0, QStringLiteral("y"))), BiffTruth(3, 1, true)}};
    ASSERT_TRUE(reader.Open(WriteBytes(QStringLiteral("w.xls"), BiffWorkbook({sheet}))));
    ASSERT_TRUE(reader.SelectSheet(QStringLiteral("S"), {2, 3, {1}}));
    EXPECT_EQ(Texts(reader), QStringList({"", ""}));
    EXPECT_EQ(reader.UsedCols(), 4);
    EXPECT_FALSE(reader.RowHasValue(3));
    ASSERT_TRUE(reader.SelectSheet(QStringLiteral("S"), {2, 9, {2}}));
    EXPECT_EQ(Texts(reader), QStringList({"", "", "", "|TRUE"}));
    // A workbook saved as "MS Excel 97" by LibreOffice Calc 7.4 from formulas.fods beside it.
    ASSERT_TRUE(reader.Open(QStringLiteral(TEST_DATA_DIR "/formulas.xls")));
    EXPECT_EQ(reader.SheetNames(), QStringList({"交易", "其他"}));
    ASSERT_TRUE(reader.SelectSheet(QStringLiteral("交易")));
    EXPECT_EQ(Texts(reader), QStringList({"代码|买入日期|卖出日期|数量|买入价|卖出数量|卖出价|备注",
                                          "600000|2024-03-04|2024-03-06|1000|10.5|1000|11.55|已卖出"}));
    ASSERT_TRUE(reader.SelectSheet(QStringLiteral("其他")));
    EXPECT_EQ(Texts(reader), QStringList({"TRUE|FALSE|#N/A|#DIV/0!||0.3"}));
}

TEST_F(WorkbookTest, FilesThatAreNoReadableWorkbookSayWhy)
{
    // A real workbook to cut short.
    const QString whole = PathOf(QStringLiteral("whole.xlsx"));
    lxw_workbook *wb = workbook_new(QFile::encodeName(whole).constData());
    worksheet_write_string(workbook_add_worksheet(wb, nullptr), 0, 0, "x", nullptr);
    ASSERT_EQ(workbook_close(wb), LXW_NO_ERROR);
    QFile f(whole);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QByteArray bytes = f.readAll();
    const BiffSheet sheet{QStringLiteral("S"), 0, {BiffText(0, 0, QStringLiteral("x")), BiffNumber(1, 1, 1)}};
    BiffOptions locked;
    locked.password = true;
    BiffOptions noDimensions;
    noDimensions.dimensions = false;
    BiffOptions smallNoDimensions = noDimensions;
    smallNoDimensions.miniStream = true;
    BiffOptions small;
    small.miniStream = true;
    // A string going on past the CONTINUE record after the one it starts in.
    const BiffSheet longText{QStringLiteral("S"), 0, {BiffText(0, 0, QString(12000, u'长'))}};
    // A directory whose root entry claims a name of 65535 bytes in its 64.
    QByteArray longName = BiffWorkbook({sheet});
    const qsizetype root = longName.indexOf(QByteArray("R\0o\0o\0t\0", 8));
    ASSERT_GE(root, 0);
    longName[root + 64] = longName[root + 65] = '\xFF';
    // A small workbook whose root entry claims a mini stream of 4 GiB, which the BIFF library would
    // set aside before it finds the stream shorter.
    QByteArray claims = BiffWorkbook({sheet}, small);
    const qsizetype claimsRoot = claims.indexOf(QByteArray("R\0o\0o\0t\0", 8));
    ASSERT_GE(claimsRoot, 0);
    claims.replace(claimsRoot + 120, 4, QByteArray("\xF0\xFF\xFF\xFF", 4));

    struct Case {
        QString path;
        WorkbookFailure failure;
    };
    const Case cases[] = {
        {PathOf(QStringLiteral("missing.xlsx")), WorkbookFailure::Unreadable},
        {WriteBytes(QStringLiteral("under"), "x") + QStringLiteral("/a.xls"), WorkbookFailure::Unreadable},
        {WriteBytes(QStringLiteral("text.xls"), "code,date\r\n600000,2024-03-01\r\n"), WorkbookFailure::NotWorkbook},
        {WriteBytes(QStringLiteral("empty.xlsx"), ""), WorkbookFailure::NotWorkbook},
        {WriteBytes(QStringLiteral("cut.xlsx"), bytes.left(bytes.size() / 2)), WorkbookFailure::NotWorkbook},
        {WriteZip(QStringLiteral("other.xlsx"), {{"hello.txt", "hello"}}), WorkbookFailure::NotWorkbook},
        {WriteZip(QStringLiteral("broken.xlsx"), {{"xl/workbook.xml", "<workbook><sheets>"}}), WorkbookFailure::NotWorkbook},
        {WriteBytes(QStringLiteral("cut.xls"), BiffWorkbook({sheet}).left(700)), WorkbookFailure::NotWorkbook},
        {WriteBytes(QStringLiteral("cut2.xls"), BiffWorkbook({sheet}, small).chopped(16)), WorkbookFailure::NotWorkbook},
        {WriteBytes(QStringLiteral("name.xls"), longName), WorkbookFailure::NotWorkbook},
        {WriteBytes(QStringLiteral("claims.xls"), claims), WorkbookFailure::NotWorkbook},
        {WriteBytes(QStringLiteral("nodim.xls"), BiffWorkbook({sheet, sheet}, noDimensions)), WorkbookFailure::NotWorkbook},
        {WriteBytes(QStringLiteral("nodim2.xls"), BiffWorkbook({sheet, sheet}, smallNoDimensions)),
         WorkbookFailure::NotWorkbook},
        // A sheet declaring 65,536 rows of 256 columns, for each of which the library would set room aside.
        {WriteBytes(QStringLiteral("wide.xls"), BiffWorkbook({{QStringLiteral("S"), 0, {BiffNumber(65535, 255, 1)}}})),
         WorkbookFailure::TooLarge},
        {WriteBytes(QStringLiteral("locked.xls"), BiffWorkbook({sheet}, locked)), WorkbookFailure::Encrypted},
        {WriteBytes(QStringLiteral("long.xls"), BiffWorkbook({longText})), WorkbookFailure::TextTooLong},
    };
    for (const Case &c : cases) {
        Workbook reader;
        EXPECT_FALSE(reader.Open(c.path)) << c.path.toStdString();
        EXPECT_EQ(reader.Failure(), c.failure) << c.path.toStdString();
        EXPECT_FALSE(reader.IsOpen());
        EXPECT_TRUE(reader.SheetNames().isEmpty());
    }
    // That claim is found in the walk of the chains, before the library is asked at all.
    Workbook reader;
    EXPECT_FALSE(reader.Open(PathOf(QStringLiteral("claims.xls"))));
    EXPECT_EQ(reader.ErrorCode(), 0);
    // A failed open forgets the workbook open before.
    ASSERT_TRUE(reader.Open(whole));
    EXPECT_FALSE(reader.Open(PathOf(QStringLiteral("missing.xls"))));
    EXPECT_FALSE(reader.SelectSheet(QStringLiteral("Sheet1")));
    ASSERT_TRUE(reader.Open(whole));
    EXPECT_EQ(reader.Failure(), WorkbookFailure::None);
    EXPECT_TRUE(reader.SelectSheet(QStringLiteral("Sheet1")));
}

}  // namespace
