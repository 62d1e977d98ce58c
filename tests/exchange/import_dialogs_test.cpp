// The import's dialogs: the choice of the file and of the worksheet, the worksheet list and its ticks,
// the mapping grid and row range kept in the parameter store, the previews of CSV files and
// worksheets, workbooks made to blow up, and OK importing a CSV file or a worksheet and refreshing
// the main window.
#include <gtest/gtest.h>

#include <functional>
#include <new>
#include <optional>
#include <tuple>

#include <QCoreApplication>
#include <QFile>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>

#include <sys/stat.h>
#include <xlsxwriter.h>
#include <zlib.h>

#include "exchange/csv_import.h"
#include "exchange/forms/input_map_form.h"
#include "exchange/forms/sheets_form.h"
#include "exchange/import_data.h"
#include "exchange/import_map.h"
#include "fixtures/biff_writer.h"
#include "fixtures/bounded_run.h"
#include "fixtures/db_fixture.h"
#include "fixtures/fake_services.h"
#include "fixtures/mouse_clicks.h"
#include "mainwindow/forms/mf.h"
#include "market/calendar.h"
#include "market/quotes.h"
#include "platform/busy_guard.h"
#include "platform/clock.h"
#include "platform/gbk.h"
#include "records/records_hooks.h"
#include "storage/grid_ops.h"
#include "storage/indicator.h"
#include "storage/params.h"
#include "storage/sys_params.h"

namespace {

const QString kMapAtoH = QStringLiteral("A〗★〖B〗★〖C〗★〖D〗★〖E〗★〖F〗★〖G〗★〖H");

// A worksheet cell to write: a text, a number, or a date (yyyy-mm-dd) given as its text.
struct XCell {
    enum Kind { Text, Number, Date } kind = Text;
    QString text;
    double number = 0;
};
XCell Num(double v)
{
    return {XCell::Number, QString(), v};
}
XCell Day(const char *ymd)
{
    return {XCell::Date, QString::fromUtf8(ymd), 0};
}

// Little-endian bytes of a number, as zip headers hold them.
QByteArray Le(uint32_t v, int bytes)
{
    QByteArray out;
    for (int i = 0; i < bytes; ++i)
        out += static_cast<char>(v >> (8 * i));
    return out;
}

// Raw deflate of text ending on a byte boundary and referring back to nothing before it, so that
// copies of it one after another inflate to copies of the text; the last piece ends the stream.
QByteArray DeflatePiece(const QByteArray &text, bool last)
{
    z_stream z{};
    deflateInit2(&z, 1, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY);
    QByteArray out(static_cast<qsizetype>(deflateBound(&z, static_cast<uLong>(text.size())) + 64), 0);
    z.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(text.constData()));
    z.avail_in = static_cast<uInt>(text.size());
    z.next_out = reinterpret_cast<Bytef *>(out.data());
    z.avail_out = static_cast<uInt>(out.size());
    deflate(&z, last ? Z_FINISH : Z_FULL_FLUSH);
    out.truncate(out.size() - z.avail_out);
    deflateEnd(&z);
    return out;
}

// An .xlsx of one worksheet "S" whose text is head, unit `repeat` times, then tail, and the shared
// strings part `shared` when it is not empty. The sheet is written as pieces of deflate, so a sheet
// of gigabytes takes a moment and a few megabytes.
QByteArray SheetWorkbook(const QByteArray &head, const QByteArray &unit, int repeat, const QByteArray &tail,
                         const QByteArray &shared = {})
{
    struct Entry {
        QByteArray name, data;
        uint32_t crc, size;
        bool deflated;
    };
    const auto stored = [](const char *name, const QByteArray &text) {
        const auto crc = static_cast<uint32_t>(crc32(0, reinterpret_cast<const Bytef *>(text.constData()), text.size()));
        return Entry{name, text, crc, static_cast<uint32_t>(text.size()), false};
    };
    const auto crcOf = [](const QByteArray &t) { return crc32(0, reinterpret_cast<const Bytef *>(t.constData()), t.size()); };
    uLong crc = crcOf(head);
    QByteArray sheet = DeflatePiece(head, false);
    const QByteArray piece = DeflatePiece(unit, false);
    for (int i = 0; i < repeat; ++i) {
        sheet += piece;
        crc = crc32_combine(crc, crcOf(unit), unit.size());
    }
    sheet += DeflatePiece(tail, true);
    crc = crc32_combine(crc, crcOf(tail), tail.size());
    const QByteArray strings =
        shared.isEmpty() ? QByteArray() : R"(<Relationship Id="t" Type="x/sharedStrings" Target="strings.xml"/>)";
    std::vector<Entry> entries = {
        stored("xl/workbook.xml", R"(<workbook xmlns:r="r"><sheets><sheet name="S" sheetId="1" r:id="s"/></sheets></workbook>)"),
        stored("xl/_rels/workbook.xml.rels",
               R"(<Relationships><Relationship Id="s" Type="x/worksheet" Target="worksheets/s.xml"/>)" + strings +
                   "</Relationships>"),
        {"xl/worksheets/s.xml", sheet, static_cast<uint32_t>(crc),
         static_cast<uint32_t>(head.size() + qint64(unit.size()) * repeat + tail.size()), true},
    };
    if (!shared.isEmpty())
        entries.push_back({"xl/strings.xml", DeflatePiece(shared, true), static_cast<uint32_t>(crcOf(shared)),
                           static_cast<uint32_t>(shared.size()), true});
    QByteArray zip, directory;
    for (const Entry &e : entries) {
        const QByteArray common = Le(20, 2) + Le(0, 2) + Le(e.deflated ? 8 : 0, 2) + Le(0, 2) + Le(0x21, 2) +
                                  Le(e.crc, 4) + Le(e.data.size(), 4) + Le(e.size, 4) + Le(e.name.size(), 2) + Le(0, 2);
        directory += Le(0x02014b50, 4) + Le(20, 2) + common + Le(0, 2) + Le(0, 2) + Le(0, 2) + Le(0, 4) +
                     Le(zip.size(), 4) + e.name;
        zip += Le(0x04034b50, 4) + common + e.name + e.data;
    }
    const auto count = static_cast<uint32_t>(entries.size());
    return zip + directory + Le(0x06054b50, 4) + Le(0, 4) + Le(count, 2) + Le(count, 2) + Le(directory.size(), 4) +
           Le(zip.size(), 4) + Le(0, 2);
}

// Shows what the procedures gave the progress window; after closeAfter steps of the "pages" unit it
// acts as the user closing the window.
class ClosingIndicator : public IndicatorView {
public:
    void ShowWindow(bool) override {}
    void HideWindow() override {}
    void SetBar(int, int, int) override {}
    void SetMessage(const QString &) override {}
    void SetTimeText(const QString &) override
    {
        if (++steps == closeAfter)
            SetIndicatorShown(false);
    }
    int steps = 0;
    int closeAfter = 0;
};

// An allocation failing inside an import's step: the progress window's step throws std::bad_alloc.
class FailingIndicator : public ClosingIndicator {
public:
    void SetTimeText(const QString &) override { throw std::bad_alloc(); }
};

// Runs the action on the worksheet list once it is shown (its load lets events through before).
void OnSheetsShown(const std::function<void(SheetsForm *)> &action)
{
    QTimer::singleShot(5, [action] {
        SheetsForm *f = LoadedSheets();
        if (f && f->isVisible())
            action(f);
        else
            OnSheetsShown(action);
    });
}

class ImportDialogsTest : public DbFixture {
protected:
    void SetUp() override
    {
        DbFixture::SetUp();
        SetSysParams(200000, 0.0003, 1, 10, 0.075);
        ResetCalendar();
        ResetQuoteCache();
        services.Install();
        SetClock([] { return QDateTime(QDate(2024, 3, 9), QTime(10, 0)); });
        CancelImport();
        RecordsHooks &h = RecordsWindowHooks();
        h.loadStockTree = [this] { refreshes << "tree"; };
        h.refreshCurrentNode = [this] { refreshes << "node"; };
        // An import names no buy date: the window takes the whole book's.
        h.setDtpRange = [this](std::optional<double> bought) { refreshes << (bought ? "dates of one buy" : "dates"); };
    }
    void TearDown() override
    {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        RecordsWindowHooks() = RecordsHooks();
        ImportWindowHooks() = ImportHooks();
        SetIndicatorView(nullptr);
        SetIndicatorShown(false);
        CancelImport();
        ResetCalendar();
        ResetQuoteCache();
        DbFixture::TearDown();
    }

    QString Write(const QString &name, const QByteArray &bytes)
    {
        QFile f(PathOf(name));
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
        return f.fileName();
    }

    // A workbook of worksheets (name, rows of cells) and, with chart set, a chart sheet after the first.
    QString Xlsx(const QString &name, const std::vector<std::pair<QString, std::vector<std::vector<XCell>>>> &sheets,
                 bool chart = false)
    {
        const QString path = PathOf(name);
        lxw_workbook *wb = workbook_new(QFile::encodeName(path).constData());
        lxw_format *day = workbook_add_format(wb);
        format_set_num_format(day, "yyyy-mm-dd");
        for (size_t i = 0; i < sheets.size(); ++i) {
            lxw_worksheet *ws = workbook_add_worksheet(wb, sheets[i].first.toUtf8().constData());
            const auto &rows = sheets[i].second;
            for (size_t r = 0; r < rows.size(); ++r)
                for (size_t c = 0; c < rows[r].size(); ++c) {
                    const XCell &x = rows[r][c];
                    if (x.kind == XCell::Number) {
                        worksheet_write_number(ws, r, c, x.number, nullptr);
                    } else if (x.kind == XCell::Date) {
                        const QDate d = QDate::fromString(x.text, Qt::ISODate);
                        lxw_datetime dt = {d.year(), d.month(), d.day(), 0, 0, 0};
                        worksheet_write_datetime(ws, r, c, &dt, day);
                    } else if (!x.text.isEmpty()) {
                        worksheet_write_string(ws, r, c, x.text.toUtf8().constData(), nullptr);
                    }
                }
            if (chart && i == 0) {
                lxw_chart *ch = workbook_add_chart(wb, LXW_CHART_COLUMN);
                chart_add_series(ch, nullptr, "=Sheet9!$A$1:$A$2");
                chartsheet_set_chart(workbook_add_chartsheet(wb, "图表"), ch);
            }
        }
        EXPECT_EQ(workbook_close(wb), LXW_NO_ERROR);
        return path;
    }

    // A CSV file: a header, then the rows (GBK, CR LF).
    QString Csv(const QString &name, const QStringList &rows)
    {
        QByteArray text = EncodeGbk(QStringLiteral("代码,买入日期,卖出日期,买入数量,买入价格,卖出数量,卖出价格,备注")) + "\r\n";
        for (const QString &row : rows)
            text += EncodeGbk(row) + "\r\n";
        return Write(name, text);
    }

    // The grid's data rows, the cells from column 0 up to the last one holding a text joined by "|".
    static QStringList Rows(const FlexGrid &grid)
    {
        QStringList rows;
        for (int r = grid.FixedRows(); r < grid.Rows(); ++r) {
            QStringList cells;
            for (int c = 0; c < grid.Cols(); ++c)
                cells << grid.TextMatrix(r, c);
            while (!cells.isEmpty() && cells.back().isEmpty())
                cells.removeLast();
            rows << cells.join(u'|');
        }
        return rows;
    }

    int Records()
    {
        return GetFieldValue(QStringLiteral("account"), QStringLiteral("TRUE"), QStringLiteral("COUNT(*)"),
                             MakeLong(-1))
            .ToText()
            .toInt();
    }

    FakeServices services;
    QStringList refreshes;
};

TEST_F(ImportDialogsTest, WorksheetListTicksAndNames)
{
    // Worksheets in workbook order, the chart sheet left out, the first ticked; the progress window
    // closed afterwards, also when the file is no workbook.
    FlexGrid grid;
    const QString xlsx = Xlsx(QStringLiteral("b.xlsx"), {{"交易", {{Num(1)}}}, {"备用", {}}, {"Sheet9", {}}}, true);
    ASSERT_TRUE(LoadSheetList(grid, xlsx));
    EXPECT_EQ(Rows(grid), QStringList({"1|√|交易", "2||备用", "3||Sheet9"}));
    EXPECT_EQ(grid.TextMatrix(0, 2), "工作表名称");
    EXPECT_FALSE(IndicatorShown());
    const QString xls = Write(QStringLiteral("b.xls"), BiffWorkbook({{QStringLiteral("甲"), 0, {BiffNumber(0, 0, 1)}},
                                                                     {QStringLiteral("乙"), 0, {}}}));
    ASSERT_TRUE(LoadSheetList(grid, xls));
    EXPECT_EQ(Rows(grid), QStringList({"1|√|甲", "2||乙"}));
    EXPECT_FALSE(LoadSheetList(grid, Write(QStringLiteral("t.xls"), "600000,2024-03-01\r\n")));
    EXPECT_EQ(prompter.Messages(), QStringList({"无法打开XLS文件！"}));
    EXPECT_EQ(grid.Rows(), 1);
    EXPECT_FALSE(IndicatorShown());

    // Presses on rows 1..3 in turn: with oneOnly a tick moves and a second press clears it;
    // without, the names of the ticked rows are joined in row order.
    struct Case {
        bool oneOnly;
        std::vector<int> presses;
        QString ticked;
    };
    const Case cases[] = {
        {true, {}, "A"},           {true, {2}, "B"},       {true, {2, 2}, ""},   {true, {1}, ""},
        {true, {3, 0, 4}, "C"},    {false, {3}, "A‖C"},    {false, {2, 1}, "B"}, {false, {3, 2}, "A‖B‖C"},
    };
    for (const Case &c : cases) {
        SetupSheetsGrid(grid);
        grid.SetRows(4);
        for (int r = 1; r <= 3; ++r)
            grid.SetTextMatrix(r, 2, QString(QChar(u'A' + r - 1)));
        grid.SetTextMatrix(1, 1, kCheckMark);
        for (int row : c.presses)
            TickSheetRow(grid, row, c.oneOnly);
        EXPECT_EQ(TickedSheetNames(grid), c.ticked) << c.oneOnly << " " << c.presses.size();
    }
    // The row under a press: none on the caption or below the last row; scrolled rows count from
    // TopRow.
    const int h = grid.RowHeight(0);
    const int d = grid.RowHeight(1);
    EXPECT_EQ(SheetRowAt(grid, h - 1), -1);
    EXPECT_EQ(SheetRowAt(grid, h), 1);
    EXPECT_EQ(SheetRowAt(grid, h + 2 * d + d - 1), 3);
    EXPECT_EQ(SheetRowAt(grid, h + 3 * d), -1);
    grid.SetTopRow(2);
    EXPECT_EQ(SheetRowAt(grid, h), 2);
}

TEST_F(ImportDialogsTest, ChoosingAFileKeepsItsPathAndOpensTheRightWindows)
{
    struct Case {
        std::optional<QString> answer;
        QString ticked;  // what the worksheet list leaves in ImportSheets
        int lists;       // worksheet lists shown
        int maps;        // mapping dialogs shown
    };
    const Case cases[] = {
        {QStringLiteral("/home/u/Trades.CSV"), "", 0, 1},  // the case of the path is kept
        {QStringLiteral("/home/u/账本.xlsx"), "交易", 1, 1},
        {QStringLiteral("/home/u/账本.XLS"), "", 1, 0},      // no worksheet ticked: nothing more
        {QStringLiteral("/home/u/notes.txt"), "", 1, 0},
        {std::nullopt, "", 0, 0},
    };
    for (const Case &c : cases) {
        int lists = 0, maps = 0, mode = 0;
        ImportWindowHooks().showSheets = [&](int m) {
            ++lists;
            mode = m;
            ImportSheets() = c.ticked;
        };
        ImportWindowHooks().showInputMap = [&] { ++maps; };
        ImportSheets() = QStringLiteral("stale");
        prompter.fileAnswers.push_back(c.answer);
        ImportData();
        EXPECT_EQ(ImportFilePath(), c.answer.value_or(QString()));
        EXPECT_EQ(ImportSheets(), c.ticked);
        EXPECT_EQ(lists, c.lists) << c.answer.value_or("-").toStdString();
        EXPECT_EQ(maps, c.maps) << c.answer.value_or("-").toStdString();
        EXPECT_EQ(mode, c.lists ? 1 : 0);
    }
    // The main window's command 6 starts the import itself.
    int maps = 0;
    ImportWindowHooks().showInputMap = [&] { ++maps; };
    prompter.fileAnswers.push_back(QStringLiteral("/home/u/t.csv"));
    MF()->Com_Click(6);
    delete LoadedMF();
    MainWindowHooks() = MFHooks{};
    EXPECT_EQ(maps, 1);
}

TEST_F(ImportDialogsTest, WorksheetListWindowWaitsForTheChoice)
{
    InstallImportWindows();
    ImportWindowHooks().showInputMap = [] {};
    const QString path = Xlsx(QStringLiteral("w.xlsx"), {{"交易", {}}, {"备用", {}}});
    // While the choice waits, the user ticks the second worksheet (which clears the first in
    // one-worksheet mode) and presses 确定.
    OnSheetsShown([](SheetsForm *f) {
        EXPECT_TRUE(f->isModal());
        EXPECT_EQ(f->Tag, "1");
        const FlexGrid &g = f->SHL->Grid();
        f->SHL_MouseDown(1, 0, 100, g.RowHeight(0) + g.RowHeight(1) + 1);
        f->IMG_Click(0);
    });
    prompter.fileAnswers.push_back(path);
    SelectImportFile(1);
    EXPECT_EQ(ImportSheets(), "备用");
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(LoadedSheets(), nullptr);

    // 取消 leaves nothing ticked; a file that is no workbook shows no list at all.
    OnSheetsShown([](SheetsForm *f) { f->IMG_Click(1); });
    prompter.fileAnswers.push_back(path);
    SelectImportFile(1);
    EXPECT_EQ(ImportSheets(), "");
    prompter.fileAnswers.push_back(Write(QStringLiteral("x.xlsx"), "PK\x03\x04 cut"));
    SelectImportFile(1);
    EXPECT_EQ(ImportSheets(), "");
    EXPECT_EQ(prompter.Messages(), QStringList({"无法打开XLS文件！"}));
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(LoadedSheets(), nullptr);
}

TEST_F(ImportDialogsTest, MappingAndRowRangeKeptInTheParameterStore)
{
    struct Case {
        QString stored;
        QStringList column;  // column 2 of the eight mapping rows
    };
    const Case cases[] = {
        {"", {"", "", "", "", "", "", "", ""}},
        {"A〗★〖B〗★〖\"x\"", {"A", "B", "\"x\"", "", "", "", "", ""}},
        {"1〗★〖2〗★〖3〗★〖4〗★〖5〗★〖6〗★〖7〗★〖8〗★〖9〗★〖10", {"1", "2", "3", "4", "5", "6", "7", "8"}},
    };
    for (const Case &c : cases) {
        SaveParam(QStringLiteral("导入列号"), c.stored);
        FlexGrid grid;
        InitMapGrid(grid);
        ASSERT_EQ(grid.Rows(), 10);
        QStringList column;
        for (int r = 2; r < 10; ++r)
            column << grid.TextMatrix(r, 2);
        EXPECT_EQ(column, c.column) << c.stored.toStdString();
        EXPECT_EQ(grid.TextMatrix(1, 2), "对应列号");
        EXPECT_EQ(grid.TextMatrix(9, 1), "备注");
        EXPECT_EQ(grid.TextMatrix(9, 0), "8");
    }
    FlexGrid grid;
    InitMapGrid(grid);
    grid.SetTextMatrix(9, 2, QStringLiteral("\"备注\""));
    SaveMapSettings(grid, QStringLiteral("2"), QStringLiteral("100"));
    EXPECT_EQ(GetParam(QStringLiteral("导入列号")), "1〗★〖2〗★〖3〗★〖4〗★〖5〗★〖6〗★〖7〗★〖\"备注\"");
    EXPECT_EQ(StoredRowRange(), std::make_pair(QString("2"), QString("100")));
    const std::pair<QString, std::pair<QString, QString>> ranges[] = {
        {"", {"", ""}}, {"〗★〖", {"", ""}}, {"7", {"", "7"}}, {"a〗★〖b〗★〖c", {"a", "b〗★〖c"}}};
    for (const auto &[stored, range] : ranges) {
        SaveParam(QStringLiteral("导入起止号"), stored);
        EXPECT_EQ(StoredRowRange(), range) << stored.toStdString();
    }
}

TEST_F(ImportDialogsTest, RowRangeAndMappingAreCheckedBeforeTheImport)
{
    ImportFilePath() = Csv(QStringLiteral("r.csv"), {"600000,2024-03-04,2024-03-04,100,10,0,0,",
                                                    "600000,2024-03-05,2024-03-05,200,10,0,0,",
                                                    "600000,2024-03-06,2024-03-06,300,10,0,0,"});
    const QString startBelow1 = QStringLiteral("数据导入的开始行号须为1或更大的数，请重新设置！");
    const QString digits = QStringLiteral("”有误：列号请用字母填写（A、B、C……，即右侧表格上方的列名），"
                                          "固定内容请用双引号括起，请重新设置！");
    struct Case {
        QString first, last;
        bool closes;
        int records;
        QStringList messages;
        QString map = kMapAtoH;
    };
    const Case cases[] = {
        {"3", "2", true, 2, {"数据导入完成！"}},
        {"2", "30001", true, 3, {"数据导入完成！"}},
        {"1", "30001", false, 0, {"一次性导入数据不得超过3万条记录，请重新设置！"}},
        {"1e12", "-1e12", false, 0, {"一次性导入数据不得超过3万条记录，请重新设置！"}},
        {"30001.4", "1.6", true, 3, {"数据导入完成！"}},  // 2 to 30001 once rounded and ordered
        {"1.5", "1.4", true, 0, {"第1行股票代码有误,请检查数据是否正确!", "导入第1行时出现错误！共导入0行数据。"}},
        // The leading number takes thousands separators in groups of three, and whatever follows it:
        // 2 to 1000, 2 to 30002 (too many), 2 to 30000, 2 to 3.
        {"2", "1,000", true, 3, {"数据导入完成！"}},
        {"2", "30,001.5", false, 0, {"一次性导入数据不得超过3万条记录，请重新设置！"}},
        {"2", "30,000.5", true, 3, {"数据导入完成！"}},
        {"2行", "3,00", true, 2, {"数据导入完成！"}},
        {"", "", false, 0, {startBelow1}},  // first use: both boxes empty
        {"0", "3", false, 0, {startBelow1}},
        {"4", "", false, 0, {"数据导入的截止行号须为1或更大的数，请重新设置！"}},  // 0..4 once ordered
        // Column numbers where letters are wanted: refused, whatever the blanks; quoted digits are a text.
        {"2", "4", false, 0, {"“买入日期”的对应列号“2" + digits}, "A〗★〖 2 〗★〖C〗★〖D〗★〖E〗★〖F〗★〖G〗★〖H"},
        {"2", "4", false, 0, {"“备注”的对应列号“８" + digits}, "A〗★〖B〗★〖C〗★〖D〗★〖E〗★〖F〗★〖G〗★〖８"},
        {"2", "4", true, 3, {"数据导入完成！"}, "A〗★〖B〗★〖C〗★〖D〗★〖E〗★〖F〗★〖G〗★〖\"8\""},
        // Nor anything else the import would read as a column: a cell name, a dash for "not used".
        {"2", "4", false, 0, {"“买入日期”的对应列号“A1" + digits}, "A〗★〖A1〗★〖C〗★〖D〗★〖E〗★〖F〗★〖G〗★〖H"},
        {"2", "4", false, 0, {"“卖出数量”的对应列号“-" + digits}, "A〗★〖B〗★〖C〗★〖D〗★〖E〗★〖-〗★〖G〗★〖H"},
        {"2", "4", false, 0, {"“备注”的对应列号“对账单" + digits}, "A〗★〖B〗★〖C〗★〖D〗★〖E〗★〖F〗★〖G〗★〖对账单"},
        // Cleaned as the import cleans them: small letters, curly quotes, a comma at the end, blanks.
        {"2", "4", true, 3, {"数据导入完成！"}, " a 〗★〖b,〗★〖C〗★〖D〗★〖E〗★〖F〗★〖G〗★〖“导入”"},
    };
    for (const Case &c : cases) {
        Exec(QStringLiteral("DELETE FROM account"));
        SaveParam(QStringLiteral("导入列号"), c.map);
        prompter.shown.clear();
        FlexGrid grid;
        InitMapGrid(grid);
        EXPECT_EQ(ImportMappedRows(grid, c.first, c.last), c.closes) << c.first.toStdString();
        EXPECT_EQ(Records(), c.records) << c.first.toStdString();
        EXPECT_EQ(prompter.Messages(), c.messages) << c.first.toStdString();
        // Saved before the range is checked.
        EXPECT_EQ(StoredRowRange(), std::make_pair(c.first, c.last));
        EXPECT_EQ(GetParam(QStringLiteral("导入列号")), c.map);
    }
}

TEST_F(ImportDialogsTest, CsvPreviewNumbersRowsAsTheImportDoes)
{
    // A quoted field over two lines is one row; the rows after it keep the import's numbers; the line
    // end at the end of the file starts no row; fields beyond the 59 lettered columns are not shown.
    QStringList wide;
    for (int i = 1; i <= 61; ++i)
        wide << QString::number(i);
    ImportFilePath() = Write(QStringLiteral("p.CSV"), "a,\"x\r\ny\",b\r\n\r\n\"c\"\"\",d\n" + wide.join(u',').toUtf8() + "\r\n");
    FlexGrid grid;
    LoadPreview(grid);
    ASSERT_EQ(grid.Cols(), 60);
    EXPECT_EQ(grid.TextMatrix(0, 1), "A");
    EXPECT_EQ(grid.TextMatrix(0, 26), "Z");
    EXPECT_EQ(grid.TextMatrix(0, 27), "AA");
    EXPECT_EQ(grid.TextMatrix(0, 59), "BG");
    const QStringList rows = Rows(grid);
    ASSERT_EQ(rows.size(), 4);
    EXPECT_EQ(rows[0], "1|a|x\r\ny|b");
    EXPECT_EQ(rows[1], "2");
    EXPECT_EQ(rows[2], "3|c\"|d");
    EXPECT_EQ(rows[3], "4|" + wide.mid(0, 59).join(u'|'));
    CsvRecords read;
    ASSERT_TRUE(ReadCsvFile(ImportFilePath(), read));
    EXPECT_EQ(read.records.mid(0, 4), QStringList({"a" + kCsvFieldSeparator + "x\r\ny" + kCsvFieldSeparator + "b", "",
                                                   "c\"" + kCsvFieldSeparator + "d", wide.join(kCsvFieldSeparator)}));

    // 250 records show the first 201.
    QByteArray many;
    for (int i = 1; i <= 250; ++i)
        many += QByteArray::number(i) + ",x\r\n";
    ImportFilePath() = Write(QStringLiteral("m.csv"), many);
    LoadPreview(grid);
    ASSERT_EQ(grid.Rows(), 202);
    EXPECT_EQ(Rows(grid).back(), "201|201|x");
    EXPECT_TRUE(prompter.Messages().isEmpty());
}

// A one-line file of 100 MB previewed in a child bounded to 300 MB: its field is shown up to its
// 1,024th character. A pipe named .csv is refused at once, saying so.
TEST_F(ImportDialogsTest, CsvPreviewOfAHugeLineOrAPipeStaysWithinBounds)
{
    const QString path = PathOf(QStringLiteral("huge.csv"));
    {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        const QByteArray megabyte(1 << 20, 'x');
        for (int i = 0; i < 100; ++i)
            ASSERT_EQ(f.write(megabyte), megabyte.size());
    }
    const QString pipe = PathOf(QStringLiteral("pipe.csv"));
    ASSERT_EQ(mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);
    const std::pair<QString, QString> cases[] = {
        {path, QStringLiteral("2 1024 x")},
        {pipe, QStringLiteral("1 1 A 不是普通文件，无法读取：") + pipe},  // the column letters' row alone
    };
    for (const auto &[file, output] : cases) {
        ImportFilePath() = file;
        const BoundedRun run = RunBounded(
            [this] {
                FlexGrid grid;
                LoadPreview(grid);
                const QString cell = grid.TextMatrix(grid.Rows() - 1, 1);
                const bool fitted = grid.ColWidth(1) < 100 * 1024 * 15;
                return QStringList({QString::number(grid.Rows()), QString::number(cell.size()),
                                    cell.isEmpty() || !fitted ? QString() : cell.left(1),
                                    prompter.Messages().join(u'|')})
                    .join(u' ')
                    .trimmed()
                    .toStdString();
            },
            60, 300ll << 20);
        EXPECT_TRUE(run.finished) << file.toStdString() << " time " << run.overTime << " memory " << run.overMemory;
        EXPECT_EQ(QString::fromStdString(run.output), output);
    }
}

// A blank row between data rows stops the import with its row message and the count, in a CSV file
// and in a worksheet alike, and blank rows after the data are its end; a file whose fields are
// separated by ";" stops at its first row. The workbooks and the ";" file were saved by a spreadsheet
// program (LibreOffice 7.4 Calc) from one sheet: a header, two trades, a blank row and a trade.
TEST_F(ImportDialogsTest, ABlankRowBetweenDataRowsStopsTheImportWithTheRowMessage)
{
    SaveParam(QStringLiteral("导入列号"), kMapAtoH);
    const QString data = QStringLiteral(TEST_DATA_DIR "/");
    const QString trade = QStringLiteral("600000,2024-03-04,2024-03-04,1000,10.5,0,0,表");
    const std::vector<XCell> row = {
        XCell{XCell::Text, "600000"}, Day("2024-03-04"), Day("2024-03-04"), Num(100), Num(10), Num(0), Num(0)};
    const QStringList blankRow3 = {"第3行是空行，其后还有数据,请检查数据是否正确!",
                                   "导入第3行时出现错误！共导入1行数据。"};
    const QStringList blankRow4 = {"第4行是空行，其后还有数据,请检查数据是否正确!",
                                   "导入第4行时出现错误！共导入2行数据。"};
    struct Case {
        QString path, sheets;
        QStringList messages;
        int records;
    };
    const Case cases[] = {
        {Csv(QStringLiteral("blank.csv"), {trade, QString(), trade}), QString(), blankRow3, 1},
        {Xlsx(QStringLiteral("blank.xlsx"), {{"交易", {{XCell{XCell::Text, "代码"}}, row, {}, row}}}), "交易",
         blankRow3, 1},
        {Write(QStringLiteral("blank.xls"),
               BiffWorkbook({{"交易",
                              0,
                              {BiffText(0, 0, "代码"), BiffText(1, 0, "600000"), BiffText(1, 1, "2024-03-04"),
                               BiffText(1, 2, "2024-03-04"), BiffNumber(1, 3, 100), BiffNumber(1, 4, 9),
                               BiffNumber(1, 5, 0), BiffNumber(1, 6, 0), BiffText(3, 0, "600000")}}})),
         "交易", blankRow3, 1},
        {data + "trades_blank_row.xlsx", "trades", blankRow4, 2},
        {data + "trades_blank_row.xls", "trades", blankRow4, 2},
        {data + "trades_semicolons.csv",
         QString(),
         {"第2行只有1个字段，导入映射至少需要8个（字段之间以英文逗号“,”分隔）,请检查数据是否正确!",
          "导入第2行时出现错误！共导入0行数据。"},
         0},
        // Rows without a value after the data, one holding blanks only: the end of the data.
        {Xlsx(QStringLiteral("end.xlsx"),
              {{"交易", {{XCell{XCell::Text, "代码"}}, row, {}, {XCell{XCell::Text, " "}}}}}),
         "交易",
         {"数据导入完成！"},
         1},
    };
    for (const Case &c : cases) {
        Exec(QStringLiteral("DELETE FROM account"));
        prompter.shown.clear();
        ImportFilePath() = c.path;
        ImportSheets() = c.sheets;
        FlexGrid map;
        InitMapGrid(map);
        EXPECT_TRUE(ImportMappedRows(map, QStringLiteral("2"), QStringLiteral("100"))) << c.path.toStdString();
        EXPECT_EQ(prompter.Messages(), c.messages) << c.path.toStdString();
        EXPECT_EQ(Records(), c.records) << c.path.toStdString();
    }
}

TEST_F(ImportDialogsTest, WorksheetPreviewStopsAtAnEmptyRowAndSaysWhatFailed)
{
    const QString path = Xlsx(QStringLiteral("v.xlsx"),
                              {{"交易", {{XCell{XCell::Text, "代码"}, XCell{XCell::Text, "日期"}},
                                         {XCell{XCell::Text, "600000"}, Day("2024-03-04"), Num(10.5)},
                                         {XCell{}, XCell{}, Num(3)},
                                         {XCell{}, XCell{}, XCell{}, XCell{XCell::Text, "D only"}},
                                         {XCell{XCell::Text, "after"}}}}});
    ImportFilePath() = path;
    ImportSheets() = QStringLiteral("交易");
    FlexGrid grid;
    LoadPreview(grid);
    EXPECT_EQ(Rows(grid), QStringList({"1|代码|日期", "2|600000|2024-03-04|10.5", "3|||3"}));
    EXPECT_FALSE(IndicatorShown());

    // Closing the progress window stops the reading after the row being read.
    ClosingIndicator closing;
    closing.closeAfter = 1;
    SetIndicatorView(&closing);
    LoadPreview(grid);
    EXPECT_EQ(Rows(grid), QStringList({"1|代码|日期", "2|600000|2024-03-04|10.5"}));
    SetIndicatorView(nullptr);

    struct Case {
        QString path, sheet, message;
    };
    const Case cases[] = {
        {path, "交易 ", "输入表格名称有误，无法打开表格，请重新输入！"},
        {PathOf("gone.xls"), "交易", "无法打开Excel文件，请检查后重新输入文件名及路径！"},
        {Write("csv.xlsx", "a,b\r\n"), "交易", "文件类型不对，请选择Excel文档！"},
        {Write("locked.xls", BiffWorkbook({{"交易", 0, {BiffNumber(0, 0, 1)}}}, {true, true})), "交易",
         "文件类型不对，请选择Excel文档！"},
        {Write("sheet.ods", "x"), "交易", "您选择的文件格式不支持导入，请选择CSV或XLS文件！"},
    };
    for (const Case &c : cases) {
        prompter.shown.clear();
        ImportFilePath() = c.path;
        ImportSheets() = c.sheet;
        LoadPreview(grid);
        EXPECT_EQ(prompter.Messages(), QStringList({c.message})) << c.path.toStdString();
        EXPECT_EQ(grid.Rows(), 1);
        EXPECT_FALSE(IndicatorShown()) << c.path.toStdString();
        EXPECT_FALSE(CurrentIndicator().shown);
    }
    EXPECT_EQ(ImportFilePath(), "");  // the unsupported file is forgotten
    // So OK imports nothing and the dialog closes.
    FlexGrid map;
    InitMapGrid(map);
    EXPECT_TRUE(ImportMappedRows(map, QStringLiteral("1"), QStringLiteral("9")));
    EXPECT_EQ(prompter.Messages().size(), 1);
}

// An .xls whose workbook stream, declared near 4 GiB long, is a chain that loops on its first sector; with
// fatListedOver, a file of 8 MB whose FAT besides is one sector listed 16,384 times (through sectors of the DIFAT).
QByteArray LoopingChainWorkbook(bool fatListedOver)
{
    QByteArray file = BiffWorkbook({{QStringLiteral("S"), 0, {BiffNumber(0, 0, 1)}}});
    const auto put32 = [&file](qsizetype at, uint32_t v) {
        for (int i = 0; i < 4; ++i)
            file[at + i] = static_cast<char>(v >> (8 * i));
    };
    const auto sector = [](uint32_t s) { return (qsizetype(s) + 1) * 512; };
    if (fatListedOver) {
        constexpr uint32_t kSectors = 16384;
        constexpr uint32_t kDifatSectors = (kSectors - 109 + 126) / 127;
        const auto firstDifat = static_cast<uint32_t>(file.size() / 512 - 1);
        file.append(sector(kSectors) - file.size(), '\0');
        for (uint32_t d = 0; d < kDifatSectors; ++d)
            put32(sector(firstDifat + d) + 508, d + 1 < kDifatSectors ? firstDifat + d + 1 : 0xFFFFFFFE);
        put32(44, kSectors);
        put32(68, firstDifat);
        put32(72, kDifatSectors);
        for (int i = 0; i < 109; ++i)
            put32(76 + 4 * i, 0);
    }
    put32(sector(0) + 4 * 2, 2);              // the stream's first sector, 2, is followed by itself
    put32(sector(1) + 128 + 120, 0xFFFFFF00);  // the size of the directory's "Workbook"
    return file;
}

// Workbooks made to blow up, each previewed and read for an import in a child bounded to 300 MB and to 10 s of
// processor time, at least 20 times what each takes in the sanitizer build (the two shared strings, whose runaway
// would be memory, 30 s): sheets whose row 1 inflates to 1 GiB of blank cells or of blanks between its cells, cells
// at A1, XFD1 and A1048576, 20,000 rows of one cell in column XFD, a text of a million "&" (previewed as its first
// 1,024: the grid lays out a cell's whole text at every paint), rows whose tags hold 200,000 quoted values each, and
// 30,001 rows of 8 cells showing one shared string of a million characters. Then .xls files read for an import:
// 30,001 rows of 8 cells showing one shared string of 4,000 characters, a chain of sectors that loops (in a file
// whose FAT is one sector listed over and over, and in one with a plain FAT), 101 rows of 8 dates some 5 million
// years on (which the BIFF library, counting the days one at a time, takes 2 s each to work out), and 10,001 rows
// of dates of this century in two columns. Then a named pipe given as an .xlsx.
// The "&" and the quoted values are as long as a text or a tag may be, which caps a scan in square time on them
// (searching for the ";" of each "&" to the end of the text, or for a tag's end once per value) at some 15 and 30 s
// in the sanitizer build, too near the bound: each is read besides in a plain twin, the text made of "&amp;", the
// values spread over tags of 1,000, which takes as long in a linear scan, and takes at most 10 times the twin's
// processor time (under twice in a linear scan, some 180 and 80 times in a square one).
TEST_F(ImportDialogsTest, HostileWorkbooksAreRefusedOrReadWithinBounds)
{
    constexpr double kSeconds = 10, kSharedSeconds = 30, kTwinRatio = 10;
    const QByteArray open = "<worksheet><sheetData>";
    const QByteArray close = "</sheetData></worksheet>";
    QByteArray blanks;
    for (int i = 0; i < 65536; ++i)
        blanks += "<c s=\"1\"/>";
    const QByteArray spaces(1 << 20, ' ');
    const QByteArray wideRow = R"(<row><c r="XFD1" t="inlineStr"><is><t>x</t></is></c></row>)";
    const QByteArray sparse =
        R"(<row r="1"><c r="A1" t="inlineStr"><is><t>代码</t></is></c><c r="XFD1"><v>1</v></c></row>)"
        R"(<row r="1048576"><c r="A1048576"><v>2</v></c></row>)";
    const QString tooLarge = QStringLiteral("工作表太大，无法读取！");
    const QByteArray amps(1000, '&');
    const auto quotedRow = [](int values) {
        return "<row" + QByteArray(" a=\"\"").repeated(values) + "><c><v>1</v></c></row>";
    };
    const QString emptyTail = kCsvFieldSeparator.repeated(7);  // columns B to H of a record, empty
    QStringList quotedRows;
    for (int r = 1; r <= 10; ++r)
        quotedRows << QString::number(r) + QStringLiteral("|1");
    const QByteArray sharedRow = "<row>" + QByteArray(R"(<c t="s"><v>1</v></c>)").repeated(8) + "</row>";
    const QByteArray longShared = "<sst><si><t>代码</t></si><si><t>" + QByteArray(1000000, 'x') + "</t></si></sst>";
    struct Case {
        QByteArray head, unit;
        int repeat;
        QByteArray tail;
        QString output;  // the preview's rows, then the messages, then the number of records and the last one
        QByteArray shared = {};
        double seconds = kSeconds;
        QByteArray twin = {};  // the unit of the plain twin, when it has one
    };
    const Case cases[] = {
        {open + "<row r=\"1\">", blanks, 1 << 30 >> 19, "</row>" + close, tooLarge + "\n" + tooLarge + "\n0\n"},
        {open + "<row r=\"1\"><c><v>1</v></c>", spaces, 1 << 10, "</row>" + close, tooLarge + "\n" + tooLarge + "\n0\n"},
        {open + sparse, "", 0, close, "1|代码\n0\n"},
        {open, wideRow, 20000, close, "20000\nζζζζζζζζζζζζζζ"},
        {open + R"(<row r="1"><c><v>1</v></c></row><row r="2"><c t="inlineStr"><is><t>)", amps, 1000,
         "</t></is></c></row>" + close,
         "1|1\n2|" + QString(kPreviewCellChars, u'&') + "\n2\n" + QString(amps.repeated(1000)) + emptyTail, {},
         kSeconds, QByteArray("&amp;").repeated(200)},
        {open, quotedRow(200000), 10, close, quotedRows.join(u'\n') + "\n10\n1" + emptyTail, {}, kSeconds,
         quotedRow(1000).repeated(200)},
        {open, sharedRow, 30001, close, tooLarge + "\n" + tooLarge + "\n0\n", longShared, kSharedSeconds},
    };
    // The chosen workbook's preview (when asked for), then an import's read of rows 2 to 30001, A to H.
    const auto readBounded = [this](bool preview, double seconds) {
        return RunBounded(
            [this, preview] {
                FlexGrid grid;
                if (preview)
                    LoadPreview(grid);
                QStringList records;
                ReadSheetRecords(ImportFilePath(), ImportSheets(), 2, 30001, {1, 2, 3, 4, 5, 6, 7, 8}, records);
                QStringList out = (preview ? Rows(grid) : QStringList()) + prompter.Messages();
                out << QString::number(records.size()) << (records.isEmpty() ? QString() : records.back());
                return out.join(u'\n').toStdString();
            },
            seconds, 300ll << 20);
    };
    ImportSheets() = QStringLiteral("S");
    for (const Case &c : cases) {
        double twinSeconds = 0;
        if (!c.twin.isEmpty()) {
            ImportFilePath() = Write(QStringLiteral("twin.xlsx"), SheetWorkbook(c.head, c.twin, c.repeat, c.tail));
            const BoundedRun twin = readBounded(true, c.seconds);
            EXPECT_TRUE(twin.finished) << c.head.toStdString() << " twin";
            twinSeconds = twin.seconds;
        }
        ImportFilePath() =
            Write(QStringLiteral("hostile.xlsx"), SheetWorkbook(c.head, c.unit, c.repeat, c.tail, c.shared));
        const BoundedRun run = readBounded(true, c.seconds);
        EXPECT_TRUE(run.finished) << c.head.toStdString() << " time " << run.overTime << " memory " << run.overMemory
                                  << " after " << run.seconds << " s of processor time";
        EXPECT_EQ(QString::fromStdString(run.output), run.finished ? c.output : QString());
        if (!c.twin.isEmpty()) {
            EXPECT_LE(run.seconds, kTwinRatio * twinSeconds)
                << c.head.toStdString() << " " << run.seconds << " s, its twin " << twinSeconds << " s";
        }
    }

    BiffSheet shared{QStringLiteral("S"), 0, {}};
    const QString longText(4000, u'长');
    for (int r = 0; r <= 30000; ++r)
        for (int c = 0; c < 8; ++c)
            shared.cells.push_back(BiffText(r, c, longText));
    const QString damaged = QStringLiteral("文件类型不对，请选择Excel文档！");
    BiffSheet farDates{QStringLiteral("S"), 0, {}};
    for (int r = 0; r <= 100; ++r)
        for (int c = 0; c < 8; c += 2) {
            farDates.cells.push_back(BiffNumber(r, c, 2e9, {}, 14));
            farDates.cells.push_back(BiffNumber(r, c + 1, 2147483647.25, {}, 22));
        }
    BiffSheet dates{QStringLiteral("S"), 0, {BiffText(0, 0, QStringLiteral("代码"))}};
    for (int r = 1; r <= 10000; ++r)
        for (const BiffCell &c : {BiffText(r, 0, QStringLiteral("600000")), BiffNumber(r, 1, 45000 + r % 2000, {}, 14),
                                  BiffNumber(r, 2, 45000.5 + r % 2000, QStringLiteral("yyyy/m/d h:mm")),
                                  BiffNumber(r, 3, 1000)})
            dates.cells.push_back(c);
    const QString sep = kCsvFieldSeparator;
    const std::tuple<QByteArray, QString, double> xlsCases[] = {
        {BiffWorkbook({shared}), tooLarge + "\n0\n", kSharedSeconds},
        {LoopingChainWorkbook(true), damaged + "\n0\n", kSeconds},
        {LoopingChainWorkbook(false), damaged + "\n0\n", kSeconds},
        {BiffWorkbook({farDates}), "101\n" + QStringList(4, "5477601-07-28" + sep + "5881389-10-16 06:00:00").join(sep),
         kSeconds},
        {BiffWorkbook({dates}),
         "10001\n600000" + sep + "2023-03-15" + sep + "2023-03-15 12:00:00" + sep + "1000" + sep.repeated(4), kSeconds},
    };
    for (const auto &[bytes, output, seconds] : xlsCases) {
        ImportFilePath() = Write(QStringLiteral("hostile.xls"), bytes);
        const BoundedRun run = readBounded(false, seconds);
        EXPECT_TRUE(run.finished) << output.toStdString() << " time " << run.overTime << " memory " << run.overMemory
                                  << " after " << run.seconds << " s";
        EXPECT_EQ(QString::fromStdString(run.output), run.finished ? output : QString());
    }

    // A named pipe is no file: refused at once, never opened (which would wait for a writer for good).
    ImportFilePath() = PathOf(QStringLiteral("pipe.xlsx"));
    ASSERT_EQ(mkfifo(QFile::encodeName(ImportFilePath()).constData(), 0600), 0);
    const BoundedRun run = readBounded(true, kSeconds);
    const QString unreadable = QStringLiteral("无法打开Excel文件，请检查后重新输入文件名及路径！");
    EXPECT_TRUE(run.finished) << "time " << run.overTime;
    EXPECT_EQ(QString::fromStdString(run.output), run.finished ? unreadable + "\n" + unreadable + "\n0\n" : QString());
}

// Memory running out inside an import's step, after its rows were written, ends the click on 确定
// that started the import, not the program: the progress window hidden, "内存不足，操作未能完成！"
// shown and logged, the rows rolled back, the dialog left open; the next click imports them.
TEST_F(ImportDialogsTest, MemoryRunningOutInsideAnImportLeavesTheBookUnchanged)
{
    SaveParam(QStringLiteral("导入列号"), kMapAtoH);
    ImportFilePath() = Csv(QStringLiteral("oom.csv"), {"600000,2024-03-04,2024-03-04,1000,10.5,0,0,表",
                                                        "1,2024-03-05,2024-03-06,500,20,500,21,"});
    ImportSheets().clear();
    InputMapForm *f = InputMap();
    f->T[0]->setText(QStringLiteral("2"));
    f->T[1]->setText(QStringLiteral("3"));
    f->show();
    FailingIndicator failing;
    SetIndicatorView(&failing);
    // The click's handler, called as a queued event (a mouse event would leave behind what the widget
    // libraries, built without exceptions, had taken for it when the exception passed).
    QMetaObject::invokeMethod(f, [f] { f->Com_Click(0); }, Qt::QueuedConnection);
    QCoreApplication::processEvents();
    SetIndicatorView(nullptr);
    EXPECT_EQ(prompter.Messages(), QStringList({"内存不足，操作未能完成！"}));
    EXPECT_EQ(Records(), 0);
    EXPECT_FALSE(IndicatorShown());
    EXPECT_EQ(LogEntryCount(), 1);
    EXPECT_TRUE(LogText().contains(QStringLiteral("7:内存不足，操作未能完成！"))) << LogText().toStdString();
    EXPECT_TRUE(f->isVisible());
    LeftClick(f->Com[0]);
    EXPECT_EQ(Records(), 2);
    EXPECT_EQ(prompter.Messages().last(), "数据导入完成！");
}

TEST_F(ImportDialogsTest, OkImportsACsvFileOrAWorksheetAndRefreshes)
{
    SaveParam(QStringLiteral("导入列号"), kMapAtoH);
    for (const char *symbol : {"sh600000", "sz000001", "sz000002"})
        services.SetQuote(QLatin1String(symbol), FakeServices::QuoteFields("x", 10, 10, 10.5, 11, 9.5, "2024-03-08"));
    const std::vector<std::vector<XCell>> sheet = {
        {XCell{XCell::Text, "代码"}, XCell{XCell::Text, "买入日期"}},
        {XCell{XCell::Text, "600000"}, Day("2024-03-04"), Day("2024-03-04"), Num(1000), Num(10.5), Num(0), Num(0),
         XCell{XCell::Text, "表"}},
        {Num(1), XCell{XCell::Text, "2024-03-05"}, XCell{XCell::Text, "2024-03-06"}, Num(500), Num(20), Num(500),
         Num(21)},
    };
    // The lots imported by their codes, and those sold as "code num@sprice memo".
    struct Case {
        QString path, sheets;
        QStringList codes, sold;
    };
    const Case cases[] = {
        {Csv("ok.Csv", {"600000,2024-03-04,2024-03-04,1000,10.5,0,0,表", "1,2024-03-05,2024-03-06,500,20,500,21,"}),
         "", {"600000", "000001"}, {"000001 500@21 "}},
        {Xlsx("ok.xlsx", {{"空", {}}, {"交易", sheet}}), "交易", {"600000", "000001"}, {"000001 500@21 "}},
        {Write("ok.xls", BiffWorkbook({{"交易", 0,
                                        {BiffText(0, 0, "代码"), BiffText(1, 0, "000002"), BiffText(1, 1, "2024-03-04"),
                                         BiffText(1, 2, "2024-03-04"), BiffNumber(1, 3, 100), BiffNumber(1, 4, 9),
                                         BiffNumber(1, 5, 0), BiffNumber(1, 6, 0), BiffText(1, 7, "x")}}})),
         "交易", {"000002"}, {}},
        // The memo column H holds its caption only.
        {Xlsx("memo.xlsx", {{"交易", {{XCell{XCell::Text, "代码"}, XCell{}, XCell{}, XCell{}, XCell{}, XCell{}, XCell{},
                                       XCell{XCell::Text, "备注"}},
                                      {XCell{XCell::Text, "600000"}, Day("2024-03-04"), Day("2024-03-04"), Num(100),
                                       Num(10), Num(0), Num(0)}}}}),
         "交易", {"600000"}, {}},
        // Saved by LibreOffice as "MS Excel 97": the sell date, sold shares, sell price and memo are formulas.
        {QStringLiteral(TEST_DATA_DIR "/formulas.xls"), "交易", {"600000"}, {"600000 1000@11.55 已卖出"}},
    };
    for (const Case &c : cases) {
        Exec(QStringLiteral("DELETE FROM account"));
        prompter.shown.clear();
        refreshes.clear();
        ImportFilePath() = c.path;
        ImportSheets() = c.sheets;
        FlexGrid map;
        InitMapGrid(map);
        EXPECT_TRUE(ImportMappedRows(map, QStringLiteral("2"), QStringLiteral("100"))) << c.path.toStdString();
        EXPECT_EQ(prompter.Messages(), QStringList({"数据导入完成！"})) << c.path.toStdString();
        QStringList codes, sold;
        DbConnection conn;
        RecordSet rs;
        ASSERT_TRUE(OpenRs(conn, rs, QStringLiteral("SELECT code, num, sprice, memo FROM account ORDER BY id")));
        for (; !rs.AtEOF(); rs.MoveNext()) {
            const auto field = [&](const char *name) { return rs.Field(QString::fromLatin1(name)).ToText(); };
            codes << field("code");
            if (rs.Field(QStringLiteral("sprice")).ToDouble() > 0)
                sold << QStringLiteral("%1 %2@%3 %4").arg(field("code"), field("num"), field("sprice"), field("memo"));
        }
        CloseRs(conn, rs);
        EXPECT_EQ(codes, c.codes) << c.path.toStdString();
        EXPECT_EQ(sold, c.sold) << c.path.toStdString();
        EXPECT_EQ(refreshes, QStringList({"tree", "node", "dates"})) << c.path.toStdString();
        // The new stocks are quoted at once.
        for (const QString &code : c.codes)
            EXPECT_EQ(QuotePrice(QuoteIndexOf(code)), 10.5) << code.toStdString();
    }
    // Nothing imported (the rows end before the range): no refresh. A workbook gone since the
    // preview: the message, and the dialog stays open.
    refreshes.clear();
    prompter.shown.clear();
    FlexGrid map;
    InitMapGrid(map);
    ImportFilePath() = cases[0].path;
    EXPECT_TRUE(ImportMappedRows(map, QStringLiteral("50"), QStringLiteral("60")));
    EXPECT_TRUE(refreshes.isEmpty());
    ImportFilePath() = PathOf(QStringLiteral("gone.xlsx"));
    ImportSheets() = QStringLiteral("交易");
    EXPECT_FALSE(ImportMappedRows(map, QStringLiteral("2"), QStringLiteral("9")));
    EXPECT_EQ(prompter.Messages(),
              QStringList({"数据导入完成！", "无法打开Excel文件，请检查后重新输入文件名及路径！"}));
    // A workbook with no worksheet ticked imports nothing.
    ImportSheets().clear();
    EXPECT_TRUE(ImportMappedRows(map, QStringLiteral("2"), QStringLiteral("9")));
    EXPECT_EQ(prompter.Messages().size(), 2);
}

TEST_F(ImportDialogsTest, MappingDialogEditsCellsPreviewsAndCancels)
{
    SaveParam(QStringLiteral("导入列号"), QStringLiteral("A〗★〖B"));
    SaveParam(QStringLiteral("导入起止号"), QStringLiteral("2〗★〖100"));
    ImportFilePath() = Csv(QStringLiteral("d.csv"), {"600000,2024-03-04"});
    ImportSheets().clear();
    InputMapForm *f = InputMap();
    EXPECT_EQ(f->windowModality(), Qt::ApplicationModal);
    EXPECT_EQ(f->T[0]->text(), "2");
    EXPECT_EQ(f->T[1]->text(), "100");
    const FlexGrid &m1 = f->M1->Grid();
    EXPECT_EQ(m1.TextMatrix(3, 2), "B");
    EXPECT_GT(m1.ColWidth(2), m1.ColWidth(1));

    // The preview is read once the timer fires.
    EXPECT_EQ(f->M0->Grid().Rows(), 2);
    f->Timer1_Timer();
    EXPECT_EQ(Rows(f->M0->Grid()), QStringList({"1|代码|买入日期|卖出日期|买入数量|买入价格|卖出数量|卖出价格|备注",
                                                 "2|600000|2024-03-04"}));

    // The edit box over a cell of column 2 writes through to it; other columns take no box.
    f->show();
    f->M1_Click(4, 1);
    EXPECT_FALSE(f->TT->isVisible());
    f->M1_Click(4, 2);
    EXPECT_TRUE(f->TT->isVisible());
    f->TT->setText(QStringLiteral("C"));
    EXPECT_EQ(m1.TextMatrix(4, 2), "C");
    EXPECT_EQ(m1.TextMatrix(3, 2), "B");
    f->M1_Scroll();
    EXPECT_FALSE(f->TT->isVisible());

    // Return moves the edit box to the next designation and runs nothing; after the last one the
    // start-row box takes the focus, whose Return runs nothing either.
    auto pressReturn = [](QWidget *w) {
        QKeyEvent press(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
        QCoreApplication::sendEvent(w, &press);
    };
    f->activateWindow();
    f->M1_Click(8, 2);
    pressReturn(f->TT);
    f->TT->setText(QStringLiteral("\"备注\""));
    EXPECT_EQ(m1.TextMatrix(9, 2), "\"备注\"");
    EXPECT_EQ(m1.TextMatrix(8, 2), "");
    pressReturn(f->TT);
    EXPECT_FALSE(f->TT->isVisible());
    pressReturn(f->T[0]);
    pressReturn(f->T[1]);
    EXPECT_TRUE(prompter.Messages().isEmpty());
    EXPECT_TRUE(f->isVisible());
    EXPECT_EQ(Records(), 0);
    // The line under "导入说明：" points to the help page's section, which is there.
    EXPECT_TRUE(f->HelpNote->text().contains(QStringLiteral("“导入交易记录”")));
    QFile help(QStringLiteral(KELVARO_DATA_DIR "/HELP.html"));
    ASSERT_TRUE(help.open(QIODevice::ReadOnly));
    EXPECT_TRUE(QString::fromUtf8(help.readAll()).contains(QStringLiteral(">导入交易记录</h2>")));

    // While the program is busy (a refresh waiting on the quote service lets events through) both
    // buttons are ignored: nothing is imported, nothing said, the dialog stays.
    {
        const BusyGuard busy;
        LeftClick(f->Com[0]);
        LeftClick(f->Com[1]);
    }
    EXPECT_TRUE(f->isVisible());
    EXPECT_EQ(Records(), 0);
    EXPECT_TRUE(prompter.Messages().isEmpty());

    f->Com_Click(1);
    EXPECT_EQ(ImportFilePath(), "");
    EXPECT_EQ(ImportSheets(), "");
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(LoadedInputMap(), nullptr);
    EXPECT_EQ(GetParam(QStringLiteral("导入列号")), "A〗★〖B");  // Cancel saves nothing
}

}  // namespace
