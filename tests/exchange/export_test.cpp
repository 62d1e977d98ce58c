// Exporting grids: the CSV text byte for byte, the workbook read back from its XML, the save dialog's
// dispatch and overwriting, failures that must leave the old file as it was, and query mode on a book.
#include <gtest/gtest.h>

#include <unistd.h>

#include <map>

#include <pugixml.hpp>
#include <zip.h>

#include <QDir>
#include <QFile>

#include "exchange/export.h"
#include "fixtures/db_fixture.h"
#include "platform/gbk.h"
#include "storage/dialogs.h"
#include "storage/indicator.h"

namespace {

// One cell of a worksheet as read back: its kind ("s" text, "n" number, "" blank), its text or
// number, and its format's bold font, solid fill colour, four thin edges and number format.
struct SheetCell {
    QString kind;
    QString text;
    bool bold = false;
    QString fill;
    bool thin = false;
    QString numFmt;
};

// The first worksheet of a workbook: its name, its cells by reference ("B2") and the column widths
// by column number from 1.
struct SheetData {
    QString name;
    std::map<QString, SheetCell> cells;
    std::map<int, double> widths;
};

QByteArray ZipEntry(zip_t *zip, const char *name)
{
    zip_stat_t st;
    zip_file_t *f = zip_stat(zip, name, 0, &st) == 0 ? zip_fopen(zip, name, 0) : nullptr;
    if (!f)
        return QByteArray();
    QByteArray bytes(static_cast<qsizetype>(st.size), '\0');
    const zip_int64_t got = zip_fread(f, bytes.data(), st.size);
    zip_fclose(f);
    return got == static_cast<zip_int64_t>(st.size) ? bytes : QByteArray();
}

pugi::xml_document ParseEntry(zip_t *zip, const char *name)
{
    pugi::xml_document doc;
    const QByteArray bytes = ZipEntry(zip, name);
    EXPECT_TRUE(doc.load_buffer(bytes.constData(), bytes.size())) << name;
    return doc;
}

QString Text(const pugi::char_t *s)
{
    return QString::fromUtf8(s);
}

// Reads the workbook's first sheet, the shared texts and the formats its cells use.
SheetData ReadSheet(const QString &path)
{
    SheetData out;
    int err = 0;
    zip_t *zip = zip_open(QFile::encodeName(path).constData(), ZIP_RDONLY, &err);
    if (!zip) {
        ADD_FAILURE() << "not a workbook: " << path.toStdString();
        return out;
    }
    const pugi::xml_document book = ParseEntry(zip, "xl/workbook.xml");
    out.name = Text(book.child("workbook").child("sheets").child("sheet").attribute("name").value());
    QStringList shared;
    const pugi::xml_document sst = ParseEntry(zip, "xl/sharedStrings.xml");
    for (pugi::xml_node si : sst.child("sst").children("si"))
        shared << Text(si.child("t").text().get());
    const pugi::xml_document styles = ParseEntry(zip, "xl/styles.xml");
    const pugi::xml_node ss = styles.child("styleSheet");
    std::vector<pugi::xml_node> fonts, fills, borders, xfs;
    for (pugi::xml_node n : ss.child("fonts").children("font"))
        fonts.push_back(n);
    for (pugi::xml_node n : ss.child("fills").children("fill"))
        fills.push_back(n);
    for (pugi::xml_node n : ss.child("borders").children("border"))
        borders.push_back(n);
    for (pugi::xml_node n : ss.child("cellXfs").children("xf"))
        xfs.push_back(n);
    std::map<int, QString> numFmts;
    for (pugi::xml_node n : ss.child("numFmts").children("numFmt"))
        numFmts[n.attribute("numFmtId").as_int()] = Text(n.attribute("formatCode").value());
    const pugi::xml_document sheet = ParseEntry(zip, "xl/worksheets/sheet1.xml");
    const pugi::xml_node ws = sheet.child("worksheet");
    for (pugi::xml_node col : ws.child("cols").children("col"))
        for (int c = col.attribute("min").as_int(); c <= col.attribute("max").as_int(); ++c)
            out.widths[c] = col.attribute("width").as_double();
    for (pugi::xml_node row : ws.child("sheetData").children("row")) {
        for (pugi::xml_node c : row.children("c")) {
            SheetCell cell;
            const QString t = Text(c.attribute("t").value());
            const QString v = Text(c.child("v").text().get());
            cell.kind = t == "s" ? "s" : c.child("v") ? "n" : "";
            cell.text = t == "s" ? shared.value(v.toInt()) : v;
            const pugi::xml_node xf = xfs.at(c.attribute("s").as_uint());
            cell.bold = bool(fonts.at(xf.attribute("fontId").as_uint()).child("b"));
            const pugi::xml_node pattern = fills.at(xf.attribute("fillId").as_uint()).child("patternFill");
            if (Text(pattern.attribute("patternType").value()) == "solid")
                cell.fill = Text(pattern.child("fgColor").attribute("rgb").value());
            const pugi::xml_node border = borders.at(xf.attribute("borderId").as_uint());
            cell.thin = true;
            for (const char *edge : {"left", "right", "top", "bottom"})
                cell.thin = cell.thin && Text(border.child(edge).attribute("style").value()) == "thin";
            cell.numFmt = numFmts[xf.attribute("numFmtId").as_int()];
            out.cells[Text(c.attribute("r").value())] = cell;
        }
    }
    zip_close(zip);
    return out;
}

// The file's bytes; "<none>" when it is missing.
QByteArray Bytes(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<none>");
}

void WriteBytes(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

// The trade grid's layout in small: row 0 the hidden field names, row 1 the captions; a hidden key
// column, the numbering and four data columns; row 3 hidden; sorted by 买入金额, whose caption shows
// the arrow.
FlexGrid TradeGrid()
{
    const std::vector<QStringList> rows = {
        {"id", "", "code", "sname", "memo", "bcash"},
        {"", "序号", "代码", "名称", "备注", "买入金额↓"},
        {"7", "1", "000123", "He said \"x\"", "=HYPERLINK(\"u\",\"a,b\")", "1,234.50"},
        {"8", "2", "600000", "hidden row", "", "-"},
        {"9", "3", "000001", "平安银行", "line1\nline2", "-12.5"},
        {"10", "4", "2024-03-04", "", "-cr\ronly", "0"},
    };
    FlexGrid grid;
    grid.SetCols(6);
    grid.SetRows(static_cast<int>(rows.size()));
    grid.SetFixedRows(2);
    grid.SetFixedCols(2);
    for (int r = 0; r < grid.Rows(); ++r)
        for (int c = 0; c < grid.Cols(); ++c)
            grid.SetTextMatrix(r, c, rows[r][c]);
    grid.SetRowHeight(0, 0);
    grid.SetRowHeight(3, 0);
    const int widths[] = {0, 500, 900, 1300, 2000, 1240};
    for (int c = 0; c < grid.Cols(); ++c)
        grid.SetColWidth(c, widths[c]);
    return grid;
}

const QString kTradeCsv = QStringLiteral(
    "序号,代码,名称,备注,买入金额\r\n"
    "1,000123,\"He said \"\"x\"\"\",\"'=HYPERLINK(\"\"u\"\",\"\"a,b\"\")\",\"1,234.50\"\r\n"
    "3,000001,平安银行,\"line1\nline2\",-12.5\r\n"
    "4,2024-03-04,,\"'-cr\ronly\",0\r\n");

class ExportTest : public DbFixture {
protected:
    void SetUp() override
    {
        DbFixture::SetUp();
        SetDialogParamStore([this](const QString &, const QString &) { return QString::number(filterIndex); },
                            [](const QString &, const QString &) {});
    }
    void TearDown() override
    {
        SetDialogParamStore(nullptr, nullptr);
        DbFixture::TearDown();
    }
    // The names in the program folder, hidden ones too, but the database and its log.
    QStringList FolderFiles() const
    {
        QStringList names = QDir(Folder()).entryList(QDir::Files | QDir::Dirs | QDir::Hidden | QDir::NoDotAndDotDot);
        names.removeAll(kAccDb);
        names.removeAll("RunErr.txt");
        return names;
    }
    int filterIndex = 1;
};

TEST_F(ExportTest, CsvHoldsTheShownCellsQuotedWhereNeededInGbk)
{
    const QString path = PathOf("trades.csv");
    ASSERT_TRUE(ExportGridToCsv(TradeGrid(), path, QString()));
    const QByteArray bytes = Bytes(path);
    EXPECT_EQ(bytes, EncodeGbk(kTradeCsv));
    EXPECT_TRUE(bytes.startsWith("\xD0\xF2\xBA\xC5,"));  // 序号 in GBK
    const IndicatorState shown = CurrentIndicator();
    EXPECT_EQ(shown.message, "正在导出数据至CSV格式文件……");
    EXPECT_EQ(shown.max, 5);
    EXPECT_FALSE(shown.shown);
    EXPECT_TRUE(prompter.Messages().isEmpty());

    // No line limit: past 32767 lines every row is still written.
    FlexGrid tall;
    tall.SetFixedCols(0);
    tall.SetCols(1);
    tall.SetRows(40001);
    tall.SetTextMatrix(40000, 0, "last");
    ASSERT_TRUE(ExportGridToCsv(tall, path, QString()));
    const QByteArray tallBytes = Bytes(path);
    EXPECT_EQ(tallBytes.count("\r\n"), 40000);
    EXPECT_TRUE(tallBytes.endsWith("\r\n\r\nlast\r\n"));
}

TEST_F(ExportTest, WorkbookClosesUpHiddenColumnsAndKeepsTextsThatLookLikeNumbers)
{
    const QString path = PathOf("trades.xlsx");
    ASSERT_TRUE(ExportGridToExcel(TradeGrid(), path, "Kelvaro股票交易数据", QString()));
    EXPECT_EQ(CurrentIndicator().message, "正在将数据导出到EXCEL文件 …");
    const SheetData sheet = ReadSheet(path);
    EXPECT_EQ(sheet.name, "Kelvaro股票交易数据");
    struct Case {
        const char *ref;
        QString kind, text, numFmt;
    };
    const Case cases[] = {
        {"A1", "s", "序号", ""},           {"E1", "s", "买入金额", ""},
        {"A2", "n", "1", "0"},             {"B2", "s", "000123", ""},  // leading zeros stay text
        {"C2", "s", "He said \"x\"", ""},  {"E2", "n", "1234.5", "#,##0.00"},
        {"A3", "n", "3", "0"},             {"C3", "s", "平安银行", ""},  // row 4 of the grid: row 3 is hidden
        {"D3", "s", "line1\nline2", ""},   {"E3", "n", "-12.5", "0.0"},
        {"B4", "s", "2024-03-04", ""},     {"C4", "", "", ""},          // an empty cell stays empty
        {"E4", "n", "0", "0"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.ref);
        ASSERT_TRUE(sheet.cells.count(c.ref));
        const SheetCell &cell = sheet.cells.at(c.ref);
        EXPECT_EQ(cell.kind, c.kind);
        EXPECT_EQ(cell.text, c.text);
        EXPECT_EQ(cell.numFmt, c.numFmt);
    }
    // Every cell of the used range A1:E4 is there with four thin edges; the caption row alone is bold
    // on the fill; nothing lies outside.
    EXPECT_EQ(sheet.cells.size(), 20u);
    for (const auto &[ref, cell] : sheet.cells) {
        SCOPED_TRACE(ref.toStdString());
        EXPECT_TRUE(cell.thin);
        EXPECT_TRUE(ref.size() == 2 && ref[0] >= u'A' && ref[0] <= u'E' && ref[1] >= u'1' && ref[1] <= u'4');
        EXPECT_EQ(cell.bold, ref[1] == u'1');
        EXPECT_EQ(cell.fill, ref[1] == u'1' ? "FFFFC080" : "");
    }
    // Int(twips / 123) characters, from the visible columns only: 500, 900, 1300, 2000, 1240 twips.
    const int widths[] = {4, 7, 10, 16, 10};
    for (int k = 1; k <= 5; ++k)
        EXPECT_EQ(int(sheet.widths.at(k)), widths[k - 1]) << k;
}

TEST(ExportNumbers, PlainDecimalNumbersAndTheirLook)
{
    struct Case {
        QString text;
        bool number;
        double value;
        bool grouped;
        int decimals;
    };
    const Case cases[] = {
        {"0", true, 0, false, 0},
        {"0.05", true, 0.05, false, 2},
        {"-12.5", true, -12.5, false, 1},
        {"1,234.50", true, 1234.5, true, 2},
        {"12,345,678", true, 12345678, true, 0},
        {"999", true, 999, false, 0},
        {"123456789012345", true, 123456789012345.0, false, 0},
        {"1234567890123456", false, 0, false, 0},  // 16 digits: a double would lose one
        {"000001", false, 0, false, 0},
        {"01.5", false, 0, false, 0},
        {"0,123", false, 0, false, 0},
        {"1,23", false, 0, false, 0},
        {"1234,567", false, 0, false, 0},
        {"1,,234", false, 0, false, 0},
        {",123", false, 0, false, 0},
        {"1,234,56", false, 0, false, 0},
        {"-0", false, 0, false, 0},  // the sign would be lost
        {"-0.00", false, 0, false, 0},
        {"-", false, 0, false, 0},
        {"", false, 0, false, 0},
        {".5", false, 0, false, 0},
        {"5.", false, 0, false, 0},
        {"1.2.3", false, 0, false, 0},
        {" 12", false, 0, false, 0},
        {"+12", false, 0, false, 0},
        {"1e5", false, 0, false, 0},
        {"2024-03-04", false, 0, false, 0},
        {"12%", false, 0, false, 0},
        {"１２", false, 0, false, 0},  // full-width digits
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.text.toStdString());
        const std::optional<PlainNumber> n = ReadPlainNumber(c.text);
        ASSERT_EQ(n.has_value(), c.number);
        if (n) {
            EXPECT_EQ(n->value, c.value);
            EXPECT_EQ(n->grouped, c.grouped);
            EXPECT_EQ(n->decimals, c.decimals);
        }
    }
    const std::pair<int, const char *> letters[] = {{1, "A"},    {26, "Z"},   {27, "AA"},   {52, "AZ"},
                                                     {53, "BA"}, {59, "BG"},  {702, "ZZ"},  {703, "AAA"},
                                                     {0, ""},    {-3, ""},    {16384, "XFD"}};
    for (const auto &[n, text] : letters)
        EXPECT_EQ(ColumnNumberToLetters(n), text) << n;
}

TEST_F(ExportTest, DialogAnswersDecideFormatNameAndOverwriting)
{
    struct Case {
        const char *what;
        int filter;                   // the dialog's filter index
        std::optional<QString> name;  // the dialog's answer; nothing for Cancel
        const char *existing;         // a file there before, with the content "old"
        int overwrite;                // the answer to the overwrite question
        bool result;
        const char *written;  // the file that must hold the export ("" for none)
        bool workbook;
        bool asked;
    };
    const Case cases[] = {
        {"capital CSV", 1, "D.CSV", "", 0, true, "D.CSV", false, false},
        {"xls becomes xlsx", 1, "x.xls", "", 0, true, "x.xlsx", true, false},
        {"XLS becomes XLSX", 1, "x.XLS", "", 0, true, "x.XLSX", true, false},
        {"no extension, CSV filter", 1, "plain", "", 0, true, "plain.csv", false, false},
        {"no extension, workbook filter", 2, "plain", "", 0, true, "plain.xlsx", true, false},
        {"any other extension", 1, "data.txt", "", 0, true, "data.txt", true, false},
        {"cancel", 1, std::nullopt, "", 0, true, "", false, false},
        {"existing, No", 1, "old.csv", "old.csv", Msg::No, false, "", false, true},
        {"existing, Cancel", 1, "old.csv", "old.csv", Msg::Cancel, false, "", false, true},
        {"existing, Yes", 1, "old.csv", "old.csv", Msg::Yes, true, "old.csv", false, true},
        {"existing after xls became xlsx", 1, "y.xls", "y.xlsx", Msg::No, false, "", false, true},
    };
    const FlexGrid grid = TradeGrid();
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        for (const QString &name : FolderFiles())
            QFile::remove(PathOf(name));
        if (*c.existing)
            WriteBytes(PathOf(c.existing), "old");
        filterIndex = c.filter;
        prompter.shown.clear();
        prompter.fileAnswers = {c.name ? std::optional<QString>(PathOf(*c.name)) : std::nullopt};
        prompter.messageAnswers = {c.overwrite};
        EXPECT_EQ(ExportGrid(grid, "表", QString()), c.result);
        ASSERT_FALSE(prompter.shown.empty());
        EXPECT_EQ(prompter.shown[0].text, ConvertFileFilter("CSV (逗号分隔)(*.csv)|*.csv|MS Excel文件  (*.xlsx)|*.xlsx"));
        EXPECT_EQ(prompter.shown[0].style, 1) << "a save dialog";
        EXPECT_EQ(prompter.Messages(), c.asked ? QStringList{"该文件已存在，是否覆盖？"} : QStringList());
        if (c.asked) {
            EXPECT_EQ(prompter.shown.back().style, Msg::YesNo + Msg::Question + Msg::DefaultButton2) << "No default";
        }
        QStringList expectFiles;
        if (*c.existing)
            expectFiles << c.existing;
        if (*c.written && !expectFiles.contains(c.written))
            expectFiles << c.written;
        EXPECT_EQ(FolderFiles(), expectFiles);
        if (*c.existing && std::string(c.existing) != c.written) {
            EXPECT_EQ(Bytes(PathOf(c.existing)), "old");
        }
        if (*c.written && !c.workbook) {
            EXPECT_EQ(Bytes(PathOf(c.written)), EncodeGbk(kTradeCsv));
        }
        if (*c.written && c.workbook) {
            EXPECT_EQ(ReadSheet(PathOf(c.written)).name, "表");
        }
    }

    // Grids with nothing to export never reach the dialog.
    prompter.shown.clear();
    FlexGrid oneRow;
    oneRow.SetFixedRows(0);
    oneRow.SetRows(1);
    EXPECT_FALSE(ExportGrid(oneRow, "表", QString()));
    EXPECT_TRUE(prompter.shown.empty());
    FlexGrid noRows;
    noRows.SetFixedRows(0);
    noRows.SetRows(0);
    EXPECT_FALSE(ExportGrid(noRows, "表", QString()));
    FlexGrid noCols;
    noCols.SetFixedCols(0);
    noCols.SetCols(0);
    EXPECT_FALSE(ExportGrid(noCols, "表", QString()));
    EXPECT_EQ(prompter.Messages(), (QStringList{"表格中没有数据！", "表格中没有数据！"}));
}

// Whatever fails, the old file stays as it was and no partial or temporary file is left.
TEST_F(ExportTest, FailuresLeaveTheOldFileAndNoPartialOne)
{
    enum Writer { Csv, Excel };
    struct Case {
        const char *what;
        Writer writer;
        QString target;  // relative to the program folder
        QString title;
        QString sql;
        const char *message;
    };
    const Case cases[] = {
        {"a folder where the file should be", Csv, "dir.csv", "t", "", "该文件无法覆盖，请确认该文件没被其他软件打开！"},
        {"a folder where the workbook should be", Excel, "dir.csv", "t", "", "该文件无法覆盖，请确认该文件没被其他软件打开！"},
        {"a path under a regular file", Csv, "old.csv/new.csv", "t", "", "文件保存出错！"},
        {"a workbook under a regular file", Excel, "old.csv/new.xlsx", "t", "", "文件保存出错！"},
        {"a sheet name the workbook refuses", Excel, "old.csv", "a[1]", "", "文件保存出错！"},
        {"a query that does not run", Csv, "old.csv", "t", "SELECT nofield FROM notable", "文件保存出错！"},
        {"a workbook query that does not run", Excel, "old.csv", "t", "SELECT nofield FROM notable",
         "文件保存出错！"},
    };
    const FlexGrid grid = TradeGrid();
    ASSERT_TRUE(QDir(Folder()).mkdir("dir.csv"));
    WriteBytes(PathOf("old.csv"), "old");
    const QStringList before = FolderFiles();
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        prompter.shown.clear();
        const QString path = PathOf(c.target);
        EXPECT_FALSE(c.writer == Csv ? ExportGridToCsv(grid, path, c.sql) : ExportGridToExcel(grid, path, c.title, c.sql));
        EXPECT_EQ(prompter.Messages(), QStringList{c.message});
        EXPECT_EQ(FolderFiles(), before);
        EXPECT_EQ(Bytes(PathOf("old.csv")), "old");
        EXPECT_FALSE(IndicatorShown());
    }
}

TEST_F(ExportTest, AReadOnlyFileOrFolderIsNotReplaced)
{
    if (geteuid() == 0)
        GTEST_SKIP() << "root writes through any permission";
    const QString sub = PathOf("locked");
    ASSERT_TRUE(QDir().mkdir(sub));
    const QString inLocked = sub + "/old.csv";
    const QString readOnly = PathOf("readonly.csv");
    WriteBytes(inLocked, "old");
    WriteBytes(readOnly, "old");
    QFile::setPermissions(readOnly, QFile::ReadOwner);
    QFile::setPermissions(sub, QFile::ReadOwner | QFile::ExeOwner);
    for (const QString &path : {inLocked, readOnly}) {
        prompter.shown.clear();
        prompter.fileAnswers = {path};
        prompter.messageAnswers = {Msg::Yes};
        EXPECT_FALSE(ExportGrid(TradeGrid(), "t", QString()));
        EXPECT_EQ(prompter.Messages(),
                  (QStringList{"该文件已存在，是否覆盖？", "该文件无法覆盖，请确认该文件没被其他软件打开！"}));
        EXPECT_EQ(Bytes(path), "old");
    }
    EXPECT_EQ(QDir(sub).entryList(QDir::Files | QDir::Hidden), QStringList{"old.csv"});
    QFile::setPermissions(sub, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

TEST_F(ExportTest, QueryModeWritesEachRecordUnderTheGridsCaptions)
{
    Exec("INSERT INTO account (code,sname,num,bprice,bdate,memo) "
         "VALUES ('600000','浦发银行',1000,10.5,#2024-03-04#,'@a,b')");
    Exec("INSERT INTO account (code,sname,num,bprice,bdate,memo) "
         "VALUES ('000001','He \"x\"',200,1234.5,#2024-03-05#,'-')");
    FlexGrid grid;
    grid.SetCols(6);
    grid.SetRows(3);
    grid.SetFixedRows(2);
    const QStringList fields = {"", "code", "sname", "num", "nosuch", "memo"};
    const QStringList captions = {"序号", "代码", "名称", "数量", "空", "备注"};
    for (int c = 0; c < 6; ++c) {
        grid.SetTextMatrix(0, c, fields[c]);
        grid.SetTextMatrix(1, c, captions[c]);
        grid.SetTextMatrix(2, c, "grid row");
    }
    grid.SetColWidth(2, 0);  // 名称 hidden
    const QString sql = QStringLiteral("SELECT * FROM account ORDER BY id");

    const QString csv = PathOf("q.csv");
    ASSERT_TRUE(ExportGridToCsv(grid, csv, sql));
    EXPECT_EQ(Bytes(csv), EncodeGbk("序号,代码,数量,空,备注\r\n"
                                    "1,600000\t,1000\t,,\"'@a,b\t\"\r\n"
                                    "2,000001\t,200\t,,-\t\r\n"));

    // The workbook: the running number in column A, then every exported column from column 0 on;
    // each record row starts again at column A, and a field named for column 0 takes its place.
    const QString xlsx = PathOf("q.xlsx");
    ASSERT_TRUE(ExportGridToExcel(grid, xlsx, "t", sql));
    const std::map<QString, QString> expected = {
        {"A1", "序号"}, {"B1", "代码"},   {"C1", "数量"}, {"D1", "空"}, {"E1", "备注"},
        {"A2", "1"},    {"B2", "600000"}, {"C2", "1000"}, {"D2", ""},   {"E2", "@a,b"},
        {"A3", "2"},    {"B3", "000001"}, {"C3", "200"},  {"D3", ""},   {"E3", "-"},
    };
    SheetData sheet = ReadSheet(xlsx);
    ASSERT_EQ(sheet.cells.size(), expected.size());
    for (const auto &[ref, text] : expected)
        EXPECT_EQ(sheet.cells[ref].text, text) << ref.toStdString();
    EXPECT_EQ(sheet.cells["B2"].kind, "n");  // a code without leading zeros is a plain number
    EXPECT_EQ(sheet.cells["B3"].kind, "s");
    EXPECT_EQ(sheet.cells["C2"].kind, "n");
    EXPECT_EQ(sheet.cells["D2"].kind, "");

    grid.SetTextMatrix(0, 0, "bdate");
    ASSERT_TRUE(ExportGridToExcel(grid, xlsx, "t", sql));
    sheet = ReadSheet(xlsx);
    EXPECT_EQ(sheet.cells["A2"].text, "2024-03-04");
    EXPECT_EQ(sheet.cells["A3"].text, "2024-03-05");
}

}  // namespace
