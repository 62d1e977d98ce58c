// The CSV import: the record parser and the file reader, column letters, stock codes and the column
// mapping, and whole runs on a book checked record by record (first-in first-out closing with splits,
// the row checks and their messages, rows that fail half-way).
#include <gtest/gtest.h>

#include <ctime>

#include <sys/stat.h>

#include <QFile>

#include "exchange/csv_import.h"
#include "exchange/export.h"
#include "exchange/stock_code.h"
#include "fixtures/bounded_run.h"
#include "fixtures/db_fixture.h"
#include "platform/busy_guard.h"
#include "platform/clock.h"
#include "platform/daynum.h"
#include "platform/gbk.h"
#include "storage/indicator.h"
#include "storage/params.h"
#include "storage/sys_params.h"

namespace {

// The fields of a converted record, joined by "|" for reading.
QString Fields(const QString &converted)
{
    return converted.split(kCsvFieldSeparator).join(u'|');
}

TEST(CsvParser, RecordsBecomeFields)
{
    struct Case {
        QString line;
        QString fields;  // joined by "|"; "<none>" for the empty result
    };
    const Case cases[] = {
        {"a,b,c", "a|b|c"},
        {"a,,c,", "a||c|"},
        {" a , b ", " a | b "},                       // blanks outside quotes are kept
        {"\"1,234.50\",x", "1,234.50|x"},            // a quoted thousands comma stays in its field
        {"\"a \"\"q\"\" b\",c", "a \"q\" b|c"},      // doubled quotes inside a section
        {"x,\"\",y", "x|\"|y"},                       // "" alone is one quote
        {"\"\"\"a\"\"\",b", "\"a\"|b"},               // a section that starts and ends with a quote
        {"ab\"c,d\"e,f", "abc,de|f"},                 // a field quoted in part
        {"\"a\r\nb\",c", "a\r\nb|c"},                 // a line break inside a section
        {"\"a,b", "<none>"},                          // a section still open
        {"a\"b", "<none>"},
        {"", "<none>"},
        // The markers in the text: "ζ" bounds a section as a quote does and is left out, "ξ" is a comma.
        {"aζb,cζ,d", "ab,c|d"},
        {"ζ\"a,b", "a|b"},
        {"aξb,c", "a,b|c"},
        {"ζζ", "<none>"},
        {"ζ,", "<none>"},
    };
    for (const Case &c : cases) {
        const QString got = CsvLineToFields(c.line);
        EXPECT_EQ(got.isEmpty() ? QStringLiteral("<none>") : Fields(got), c.fields) << c.line.toStdString();
    }
}

// The processor time of this thread, in seconds: what the work took, whatever else the machine runs.
double ThreadSeconds()
{
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + t.tv_nsec / 1e9;
}

// A line of 125,000 quoted fields (500 KB) and one eight times as long, each split five times in turn
// in a bounded child: the longer line takes at most 24 times the processor time of the shorter, each
// at its best: three times the eight of a linear split (which the caches, and a machine busy with
// other work, stretch to 10 at times), well below the 64 of the square, which splitting that searched
// each section from the line's start took (its longer line alone runs past the child's bound).
TEST(CsvParser, ALongQuotedLineIsSplitInLinearTime)
{
    const BoundedRun run = RunBounded(
        [] {
            const auto line = [](int fields) { return QStringLiteral("\"a\",").repeated(fields); };
            const QString lines[] = {line(125000), line(1000000)};
            double best[] = {1e9, 1e9};
            for (int round = 0; round < 5; ++round) {
                for (int i = 0; i < 2; ++i) {
                    const double start = ThreadSeconds();
                    const QString fields = CsvLineToFields(lines[i]);
                    best[i] = std::min(best[i], ThreadSeconds() - start);
                    if (fields != QStringLiteral("aζζ").repeated(lines[i].size() / 4))
                        return std::string("wrong fields");
                }
            }
            return std::to_string(best[1] / best[0]);
        },
        60, 300ll << 20);
    ASSERT_TRUE(run.finished) << "time " << run.overTime << " memory " << run.overMemory;
    EXPECT_LE(std::stod(run.output), 24.0) << run.output;
}

class CsvFileTest : public DbFixture {
protected:
    QString Write(const QString &name, const QByteArray &bytes)
    {
        const QString path = PathOf(name);
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
        return path;
    }
    QStringList Read(const QString &path)
    {
        CsvRecords read;
        EXPECT_TRUE(ReadCsvFile(path, read));
        for (QString &r : read.records)
            r = Fields(r);
        return read.records;
    }
};

TEST_F(CsvFileTest, LinesEndAtCrLfLfOrCrAndQuotedBreaksJoinLines)
{
    // A quoted field over two lines is one record; the records after it are numbered on.
    const QStringList expected = {"h1|h2", "\"x\r\ny\"|2", "3|4", "", ""};
    for (const char *end : {"\r\n", "\n", "\r"}) {
        const QByteArray e(end);
        const QByteArray text = "h1,h2" + e + "\"\"\"x" + e + "y\"\"\",2" + e + "3,4" + e;
        EXPECT_EQ(Read(Write("a.csv", text)), expected) << QByteArray(end).toHex().toStdString();
    }
    // Encodings: UTF-8 with or without a byte-order mark, else GBK (a mark before GBK text too).
    EXPECT_EQ(Read(Write("u.CSV", "\xEF\xBB\xBF" + QStringLiteral("浦发,1").toUtf8())), QStringList({"浦发|1", ""}));
    EXPECT_EQ(Read(Write("u.csv", QStringLiteral("浦发,1").toUtf8())), QStringList({"浦发|1", ""}));
    EXPECT_EQ(Read(Write("g.csv", EncodeGbk(QStringLiteral("浦发银行,1")))), QStringList({"浦发银行|1", ""}));
    EXPECT_EQ(Read(Write("bg.csv", "\xEF\xBB\xBF" + EncodeGbk(QStringLiteral("浦发银行,1")))),
              QStringList({"浦发银行|1", ""}));
    // A quote never closed takes in 101 lines, then gives up; the lines after them go on.
    QByteArray open = "\"a\r\n";
    for (int i = 0; i < 101; ++i)
        open += "x\r\n";
    open += "b,c\r\n";
    EXPECT_EQ(Read(Write("o.csv", open)), QStringList({"", "b|c", "", ""}));
    EXPECT_EQ(Read(Write("e.csv", "")), QStringList({"", ""}));
    EXPECT_TRUE(Read(Write("n.txt", "a,b")).isEmpty());

    CsvRecords read;
    read.records = QStringList{"stale"};
    EXPECT_FALSE(ReadCsvFile(PathOf("missing.csv"), read));
    EXPECT_TRUE(read.records.isEmpty());
    EXPECT_NE(read.errorNumber, 0);
    EXPECT_TRUE(read.errorText.startsWith(QStringLiteral("无法读取文件："))) << read.errorText.toStdString();
    EXPECT_FALSE(ReadCsvFile(Write("file", "x") + "/under.csv", read));
}

TEST(CsvMapping, ColumnLettersCodesAndDesignations)
{
    const std::pair<QString, int> letters[] = {{"a", 1},  {" z ", 26}, {"AA", 27}, {"az", 52}, {"ZZ", 702},
                                               {"3", 1},  {"ABC", 0},  {"", 0},    {"  ", 0}};
    for (const auto &[text, n] : letters)
        EXPECT_EQ(ColumnLettersToNumber(text), n) << text.toStdString();

    const std::pair<QString, QString> codes[] = {
        {"600000", "600000"}, {"1234", "001234"}, {" 1 ", "000001"}, {"1a0001", "1A0001"}, {"SH600000", ""},
        {"1234567", ""},      {"1,234", ""},      {"1234.0", ""},    {"-12345", ""},       {"", ""},
        {"1e5", ""},
    };
    for (const auto &[text, code] : codes)
        EXPECT_EQ(NormalizeStockCode(text), code) << text.toStdString();

    // The code's designation is used as stored; the others are cleaned.
    QStringList d = {" “A” ", " “B” ", "，c，", ",\"0\",", "  ", "d,,", "”x“"};
    NormalizeMapEntries(d);
    EXPECT_EQ(d, QStringList({" “A” ", "\"B\"", "c", "\"0\"", "", "d,", "\"x\""}));

    const std::pair<QString, QString> prepared[] = {
        {"B", "2"}, {"\"0\"", "S0"}, {"x\"a\"b\"y", "Sa\"b"}, {"\"", "S"}, {"", "0"}, {"ABC", "0"}, {" “A” ", "0"},
    };
    for (const auto &[text, p] : prepared)
        EXPECT_EQ(PrepareDesignation(text), p) << text.toStdString();

    const QStringList fields = {"f1", "f2", "f3"};
    const std::pair<QString, QString> mapped[] = {
        {"1", "f1"}, {"3", "f3"}, {"4", ""}, {"0", ""}, {"-1", ""}, {"S", ""}, {"Sf9", "f9"}, {"2.5", "f2"},
    };
    for (const auto &[p, value] : mapped)
        EXPECT_EQ(GetMappedValue(fields, p), value) << p.toStdString();
}

// Notes with each message whether the program was busy and the progress window shown.
class StatePrompter : public ScriptedPrompter {
public:
    int ShowMessage(const QString &text, int style, const QString &title) override
    {
        states << QString(IsBusy() ? "busy" : "idle") + (CurrentIndicator().shown ? "+progress" : "");
        return ScriptedPrompter::ShowMessage(text, style, title);
    }
    QStringList states;
};

// Whole runs on a book. The mapping is A..H unless a test sets another; files carry 13 columns.
class CsvImportTest : public CsvFileTest {
protected:
    void SetUp() override
    {
        CsvFileTest::SetUp();
        SetPrompter(&states);
        SetSysParams(200000, 0.0003, 1, 10, 0.075);
        Map("A〗★〖B〗★〖C〗★〖D〗★〖E〗★〖F〗★〖G〗★〖H");
    }
    void TearDown() override
    {
        SetIndicatorShown(false);
        CsvFileTest::TearDown();
    }
    StatePrompter states;
    void Map(const QString &mapping) { ASSERT_TRUE(SaveParam(QStringLiteral("导入列号"), mapping)); }

    // A CSV file of a header and the rows, each but an empty one padded to 13 columns.
    QString File(const QStringList &rows, int columns = 13)
    {
        QByteArray text = "代码,买入日期,卖出日期,买入数量,买入价格,卖出数量,卖出价格,备注,i,j,k,l,m\r\n";
        for (const QString &row : rows) {
            QString line = row;
            for (int n = static_cast<int>(row.count(u',')) + 1; n < columns && !row.isEmpty(); ++n)
                line += u',';
            text += EncodeGbk(line) + "\r\n";
        }
        return Write("trades.csv", text);
    }

    struct Outcome {
        QString date;  // the returned date
        int end = 0;   // the end row afterwards
        QStringList messages;
    };
    Outcome Run(const QString &path, int start, int end)
    {
        states.shown.clear();
        states.states.clear();
        Outcome o;
        const double d = ImportCsvRows(path, start, end);
        o.date = DateText(d);
        o.end = end;
        o.messages = states.Messages();
        EXPECT_FALSE(IsBusy());
        EXPECT_FALSE(IndicatorShown());
        return o;
    }

    // Every record: id code sname bdate bprice num tnum sdate sprice bcash scash aprice memo sid.
    QStringList Book()
    {
        DbConnection conn;
        RecordSet rs;
        QStringList rows;
        EXPECT_TRUE(OpenRs(conn, rs, QStringLiteral("SELECT * FROM account ORDER BY id")));
        for (; !rs.AtEOF(); rs.MoveNext()) {
            const auto f = [&](const char *name) { return rs.Field(QLatin1String(name)); };
            const auto money = [&](const char *name, int decimals) {
                return QString::number(f(name).ToDouble(), 'f', decimals);
            };
            rows << QStringList({f("id").ToText(), f("code").ToText(), f("sname").ToText(), f("bdate").ToText(),
                                 f("bprice").ToText(), f("num").ToText(), f("tnum").ToText(), f("sdate").ToText(),
                                 f("sprice").ToText(), money("bcash", 2), money("scash", 2), money("aprice", 4),
                                 f("memo").ToText(), f("sid").ToText()})
                        .join(u' ');
        }
        CloseRs(conn, rs);
        return rows;
    }
};

TEST_F(CsvImportTest, RowsBuySellAndCloseOpenRecordsOldestFirst)
{
    const QString path = File({
        "600000,2024-01-02,2024-01-02,200,10.00,0,0,b1",    // open 200
        "600000,2024/1/3,2024/1/3,500,11,0,0,b2",           // open 500
        "600000,2024-03-04,2024-03-04,0,0,300,12.00,s1",    // closes 200, splits 500 into 100 sold + 400
        "1,2024-03-05,2024-03-06,1000,10.00,400,11.00,",    // 400 sold and 600 open of one trade
        "000001,2024-03-07,2024-03-07,1000,10,0,,b6",       // open 1000
        "600000,2024-03-08,2024-03-11,\"1,00\",10,100,10.5,",  // bought = sold: born closed
        "000001,2024-03-12,2024-03-12,100,10,800,12,m8",    // closes 600, splits 1000; its own 100 sold
    });
    const Outcome o = Run(path, 2, 100);
    EXPECT_EQ(o.messages, QStringList({"数据导入完成！"}));
    EXPECT_EQ(o.date, "2024-01-02");
    EXPECT_EQ(o.end, 8);  // the empty record after the last line ends the run
    EXPECT_EQ(Book(), QStringList({
                          "1 600000 浦发银行 2024-01-02 10 200 200 2024-03-04 12 2005.00 2392.60 10.0620 s1 148",
                          "2 600000 浦发银行 2024-01-03 11 100 500 2024-03-04 12 1101.00 1197.80 11.0320 s1 148",
                          "3 600000 浦发银行 2024-01-03 11 400 500 1900-01-01 0 4404.00 -8.40 11.0310 b2 148",
                          "4 000001 平安银行 2024-03-05 10 400 1000 2024-03-06 11 4002.00 4393.60 10.0210  4",
                          "5 000001 平安银行 2024-03-05 10 600 1000 2024-03-12 12 6003.00 7189.80 10.0220 m8 4",
                          "6 000001 平安银行 2024-03-07 10 100 1000 2024-03-12 12 1000.50 1198.30 10.0220 m8 4",
                          "7 600000 浦发银行 2024-03-08 10 100 100 2024-03-11 10.5 1005.00 1043.95 10.1105  148",
                          "8 000001 平安银行 2024-03-07 10 900 1000 1900-01-01 0 9004.50 -13.50 10.0200 b6 4",
                          "9 000001 平安银行 2024-03-12 10 100 100 2024-03-12 12 1005.00 1193.80 10.1120 m8 4",
                      }));
}

TEST_F(CsvImportTest, RowChecksStopTheRunAndKeepTheRowsBefore)
{
    struct Case {
        QStringList rows;
        int start, end;
        QStringList messages;
        int records;   // in the book afterwards
        QString date;  // returned
        int endAfter;
    };
    const QString ok = "600000,2024-03-01,2024-03-01,100,10,0,0,";
    const QString stop2 = "导入第2行时出现错误！共导入0行数据。";
    const QString stop3 = "导入第3行时出现错误！共导入1行数据。";
    // Today is 2024-03-12 in China, while the machine's clock reads 2024-03-11 in UTC.
    SetClock([] { return QDateTime(QDate(2024, 3, 11), QTime(20, 0), Qt::UTC); });
    const Case cases[] = {
        // The header is row 1.
        {{ok}, 1, 5, {"第1行股票代码有误,请检查数据是否正确!", "导入第1行时出现错误！共导入0行数据。"}, 0, "1900-01-01", 4},
        {{"SH600000,2024-03-01,2024-03-01,100,10,0,0"}, 2, 5, {"第2行股票代码有误,请检查数据是否正确!", stop2}, 0,
         "1900-01-01", 4},
        {{ok, "600000,2024-13-01,2024-03-01,100,10,0,0"}, 2, 5,
         {"第3行买入日期[2024-13-01]不是日期,请检查数据是否正确!", stop3}, 1, "2024-03-01", 5},
        {{ok, "600000,2024-03-01,,100,10,0,0"}, 2, 5, {"第3行卖出日期[]不是日期,请检查数据是否正确!", stop3}, 1,
         "2024-03-01", 5},
        {{"600000,2024-03-05,2024-03-04,100,10,100,11"}, 2, 5,
         {"第2行卖出日期[2024-03-04]早于买入日期[2024-03-05],请检查数据是否正确!", stop2}, 0, "1900-01-01", 4},
        {{"600000,2024-03-05,2024-03-04,100,10,0,0"}, 2, 5, {"数据导入完成！"}, 1, "2024-03-05", 2},  // no sale
        {{ok, "600000,2024-03-01,2024-03-01,-100,10,0,0"}, 2, 5,
         {"第3行买入数量[-100]有误,请检查数据是否正确!", stop3}, 1, "2024-03-01", 5},
        {{"600000,2024-03-01,2024-03-01,0,-1,0,0"}, 2, 5, {"第2行买入价格[-1]有误,请检查数据是否正确!", stop2}, 0,
         "1900-01-01", 4},
        {{"600000,2024-03-01,2024-03-01,0,0,3e9,1"}, 2, 5,
         {"第2行卖出数量[3000000000]有误,请检查数据是否正确!", stop2}, 0, "1900-01-01", 4},
        // The oversell counts only the open records bought up to the row's buy date.
        {{"600000,2024-03-10,2024-03-10,500,10,0,0", "600000,2024-03-05,2024-03-12,0,0,300,12"}, 2, 5,
         {"错误：导入数据中，卖出数量太大导致股票没有买进而直接卖出。", stop3}, 1, "2024-03-10", 5},
        // The empty date as the buy date still finds (no) open records.
        {{"600000,1900-01-01,2024-03-12,0,0,300,12"}, 2, 5,
         {"错误：导入数据中，卖出数量太大导致股票没有买进而直接卖出。", stop2}, 0, "1900-01-01", 4},
        // A quote never closed takes in the lines after it; its row is an error, not the end of the file.
        {{ok, "600000,\"2024-03-01,2024-03-01,100,10,0,0", ok}, 2, 5,
         {"第3行的引号没有配对,请检查数据是否正确!", stop3}, 1, "2024-03-01", 3},
        // A price beyond the range of a double is no price of 0; no stock reaches a price of a million.
        {{ok, "600000,2024-03-01,2024-03-01,100,1e309,0,0"}, 2, 5,
         {"第3行买入价格[1e309]有误,请检查数据是否正确!", stop3}, 1, "2024-03-01", 5},
        {{ok, "600000,2024-03-01,2024-03-01,100,1e300,0,0"}, 2, 5,
         {"第3行买入价格[1E+300]有误,请检查数据是否正确!", stop3}, 1, "2024-03-01", 5},
        {{"600000,2024-03-01,2024-03-04,100,10,100,\"1,000,000\""}, 2, 5,
         {"第2行卖出价格[1000000]有误,请检查数据是否正确!", stop2}, 0, "1900-01-01", 4},
        {{"600000,2024-03-01,2024-03-04,100,999999.99,100,999999.99"}, 2, 5, {"数据导入完成！"}, 1, "2024-03-01", 2},
        // The composite index is never a record.
        {{"1a0001,2024-03-01,2024-03-01,100,10,0,0"}, 2, 5, {"第2行股票代码有误,请检查数据是否正确!", stop2}, 0,
         "1900-01-01", 4},
        // Selling more than bought needs a sell price; selling what is bought without one is an open buy.
        {{ok, "600000,2024-03-04,2024-03-04,0,0,50,0"}, 2, 5, {"第3行卖出价格[0]有误,请检查数据是否正确!", stop3},
         1, "2024-03-01", 5},
        {{"600000,2024-03-01,2024-03-01,100,10,100,0"}, 2, 5, {"数据导入完成！"}, 1, "2024-03-01", 2},
        // No trade after today; a row without a sell price may carry a placeholder as its sell date.
        {{ok, "600000,2024-03-13,2024-03-13,100,10,0,0"}, 2, 5,
         {"第3行买入日期[2024-03-13]晚于今天,请检查数据是否正确!", stop3}, 1, "2024-03-01", 5},
        {{ok, "600000,2024-03-12,2024-03-13,100,10,100,11"}, 2, 5,
         {"第3行卖出日期[2024-03-13]晚于今天,请检查数据是否正确!", stop3}, 1, "2024-03-01", 5},
        {{"600000,2024-03-12,2099-12-31,100,10,0,0"}, 2, 5, {"数据导入完成！"}, 1, "2024-03-12", 2},
        // A quantity or price holding no number; one that begins with a number is read as that number.
        {{ok, "600000,2024-03-01,2024-03-01,100,#N/A,0,0"}, 2, 5,
         {"第3行买入价格[#N/A]有误,请检查数据是否正确!", stop3}, 1, "2024-03-01", 5},
        {{ok, "600000,2024-03-01,2024-03-04,100,10,100,待定"}, 2, 5,
         {"第3行卖出价格[待定]有误,请检查数据是否正确!", stop3}, 1, "2024-03-01", 5},
        {{ok, "600000,2024-03-01,2024-03-01,#DIV/0!,10,0,0"}, 2, 5,
         {"第3行买入数量[#DIV/0!]有误,请检查数据是否正确!", stop3}, 1, "2024-03-01", 5},
        {{"600000,2024-03-01,2024-03-01,100股,10.5元,0,"}, 2, 5, {"数据导入完成！"}, 1, "2024-03-01", 2},
        // An empty text cell that a spreadsheet program wrote quoted ("") is an empty cell: not sold.
        {{"600000,2024-03-01,2024-03-01,100,10,\"\",\"\""}, 2, 5, {"数据导入完成！"}, 1, "2024-03-01", 2},
        // A field of more than 1,048,576 characters.
        {{ok, ok + QString((1 << 20) + 1, u'x')}, 2, 5,
         {"第3行H列的内容超过1048576个字符,请检查数据是否正确!", stop3}, 1, "2024-03-01", 5},
        // Start row 0 (empty row boxes), a start past the file. A blank line with data after it is a
        // row error; blank lines (commas or blanks only) with none after them are the end of the data.
        {{ok}, 0, 0, {"数据导入完成！"}, 0, "1900-01-01", -1},
        {{ok}, 5, 9, {"数据导入完成！"}, 0, "1900-01-01", 4},
        {{ok, "", ok}, 2, 9, {"第3行是空行，其后还有数据,请检查数据是否正确!", stop3}, 1, "2024-03-01", 6},
        {{ok, ",,,", "", " "}, 2, 9, {"数据导入完成！"}, 1, "2024-03-01", 2},
        // Prices of 0 and dates up to 1990 import, but give no date to recompute from.
        {{"600000,1990-01-01,1990-01-01,100,10,0,0", "600000,2024-03-01,2024-03-01,100,0,0,0"}, 2, 3,
         {"数据导入完成！"}, 2, "2100-01-01", 3},
    };
    for (const Case &c : cases) {
        Exec("DELETE FROM account");
        Exec("DELETE FROM sqlite_sequence");
        const Outcome o = Run(File(c.rows), c.start, c.end);
        const std::string at = c.rows.join(u'/').toStdString();
        EXPECT_EQ(o.messages, c.messages) << at;
        // A row's own message comes while the progress window is up, the end message after it closed.
        QStringList expectedStates(c.messages.size(), "busy+progress");
        expectedStates.back() = "busy";
        EXPECT_EQ(states.states, expectedStates) << at;
        EXPECT_EQ(Book().size(), c.records) << at;
        EXPECT_EQ(o.date, c.date) << at;
        EXPECT_EQ(o.end, c.endAfter) << at;
    }
}

// The bytes of a file under tests/data: files saved by a spreadsheet program (LibreOffice 7.4 Calc,
// from one sheet of a header, two trades, a blank row and a trade).
QByteArray SpreadsheetFile(const char *name)
{
    QFile f(QStringLiteral(TEST_DATA_DIR "/") + QLatin1String(name));
    EXPECT_TRUE(f.open(QIODevice::ReadOnly)) << name;
    return f.readAll();
}

TEST_F(CsvImportTest, MappingsNarrowFilesAndLineEnds)
{
    struct Case {
        QString mapping;
        QByteArray text;
        QStringList messages;
        QStringList records;  // code num sprice memo of each record
    };
    const QByteArray rows = "600000,2024-03-01,2024-03-02,100,10,0,0,m\n600000,2024-03-01,2024-03-01,200,10,0,0,n\n";
    const Case cases[] = {
        // An LF file of eight columns imports like a CR LF file of thirteen.
        {"A〗★〖B〗★〖C〗★〖D〗★〖E〗★〖F〗★〖G〗★〖H", "h\n" + rows, {"数据导入完成！"},
         {"600000 100 0 m", "600000 200 0 n"}},
        // Literals, and full-width punctuation typed in the designations.
        {"A〗★〖B〗★〖B〗★〖“300”〗★〖，E，〗★〖\"0\"〗★〖G〗★〖 “x” ", "h\r\n" + rows, {"数据导入完成！"},
         {"600000 300 0 x", "600000 300 0 x"}},
        // A column beyond the file's eight raises the fields a record needs: the first row is short.
        {"A〗★〖B〗★〖C〗★〖D〗★〖E〗★〖F〗★〖G〗★〖I", "h\n" + rows,
         {"第2行只有8个字段，导入映射至少需要9个（字段之间以英文逗号“,”分隔）,请检查数据是否正确!",
          "导入第2行时出现错误！共导入0行数据。"}, {}},
        // A line without its memo field; a file whose fields a spreadsheet program separated by ";".
        {"A〗★〖B〗★〖C〗★〖D〗★〖E〗★〖F〗★〖G〗★〖H",
         "h\n600000,2024-03-01,2024-03-02,100,10,0,0,m\n600000,2024-03-01,2024-03-01,200,10,0,0\n",
         {"第3行只有7个字段，导入映射至少需要8个（字段之间以英文逗号“,”分隔）,请检查数据是否正确!",
          "导入第3行时出现错误！共导入1行数据。"}, {"600000 100 0 m"}},
        {"A〗★〖B〗★〖C〗★〖D〗★〖E〗★〖F〗★〖G〗★〖H", SpreadsheetFile("trades_semicolons.csv"),
         {"第2行只有1个字段，导入映射至少需要8个（字段之间以英文逗号“,”分隔）,请检查数据是否正确!",
          "导入第2行时出现错误！共导入0行数据。"}, {}},
        // Five designations: the rest are empty.
        {"A〗★〖B〗★〖C〗★〖D〗★〖E", "h\r" + rows, {"数据导入完成！"}, {"600000 100 0 ", "600000 200 0 "}},
        // The code's designation is used as typed, so curly quotes fail every row.
        {"“600000”〗★〖B〗★〖C〗★〖D〗★〖E〗★〖F〗★〖G〗★〖H", "h\n" + rows,
         {"第2行股票代码有误,请检查数据是否正确!", "导入第2行时出现错误！共导入0行数据。"}, {}},
        {"〗★〖B〗★〖C〗★〖D〗★〖E〗★〖F〗★〖G〗★〖H", "h\n" + rows,
         {"第2行股票代码有误,请检查数据是否正确!", "导入第2行时出现错误！共导入0行数据。"}, {}},
        // Fewer than five designations: nothing at all.
        {"A〗★〖B〗★〖C〗★〖D", "h\n" + rows, {}, {}},
        {"", "h\n" + rows, {}, {}},
    };
    for (const Case &c : cases) {
        Exec("DELETE FROM account");
        Exec("DELETE FROM sqlite_sequence");
        Map(c.mapping);
        const Outcome o = Run(Write("narrow.csv", c.text), 2, 3);
        EXPECT_EQ(o.messages, c.messages) << c.mapping.toStdString();
        QStringList got;
        for (const QString &r : Book()) {
            const QStringList f = r.split(u' ');
            got << QStringList({f[1], f[5], f[8], f[12]}).join(u' ');
        }
        EXPECT_EQ(got, c.records) << c.mapping.toStdString();
    }
}

TEST_F(CsvImportTest, FileFailuresTakeTheFailureMessage)
{
    int start = 2, end = 3;
    EXPECT_EQ(ImportCsvRows(Write("t.txt", "a"), start, end), kEmptyDate);
    EXPECT_EQ(states.Messages(), QStringList({"CSV文件导入错误！[0:]"}));
    for (const QString &path : {PathOf("missing.csv"), Write("f", "x") + "/under.csv"}) {
        const Outcome o = Run(path, 2, 3);
        ASSERT_EQ(o.messages.size(), 1);
        EXPECT_TRUE(o.messages[0].startsWith("CSV文件导入错误！[")) << o.messages[0].toStdString();
        EXPECT_TRUE(o.messages[0].contains("无法读取文件：")) << o.messages[0].toStdString();
        EXPECT_EQ(o.date, "1900-01-01");
    }
}

// A pipe named .csv is refused before anything waits on it, and a file of more than 256 MB (a sparse
// one of 257 MB) before it is read, each in a child bounded to 10 s and 300 MB; the import says why,
// naming the size.
TEST_F(CsvImportTest, FilesThatAreNoFilesOrTooLargeAreRefusedAtOnce)
{
    const QString pipe = PathOf("pipe.csv");
    ASSERT_EQ(mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);
    const QString large = PathOf("large.csv");
    {
        QFile f(large);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        ASSERT_TRUE(f.resize(257ll << 20));
    }
    const std::pair<QString, QString> cases[] = {
        {pipe, "不是普通文件，无法读取：" + pipe},
        {large, "文件大小为257.0 MB，超过256 MB，无法读取：" + large},
    };
    for (const auto &[path, reason] : cases) {
        const BoundedRun run = RunBounded(
            [&, path = path] {
                CsvRecords read;
                QStringList out{ReadCsvFile(path, read) ? "read" : read.errorText};
                out += Run(path, 2, 10).messages;
                return out.join(u'\n').toStdString();
            },
            10, 300ll << 20);
        EXPECT_TRUE(run.finished) << path.toStdString() << " time " << run.overTime << " memory " << run.overMemory;
        EXPECT_EQ(QString::fromStdString(run.output), reason + "\nCSV文件导入错误！[5:" + reason + "]");
    }
}

// A write failing inside a row (a trigger refuses one of its inserts, or the book cannot hold an
// amount) leaves nothing of the row, keeps the rows before it, still fills their stock ids, and says
// which row failed.
TEST_F(CsvImportTest, AFailedWriteRollsTheRowBack)
{
    struct Case {
        QString refused;  // the share count whose insert fails
        QStringList rows;
        QStringList book;  // id num sprice sid
        QString message;   // after the error number
        QString raised = "refused";
    };
    const Case cases[] = {
        // The second insert of a row buying 1000 and selling 400.
        {"600", {"600000,2024-03-01,2024-03-01,100,10,0,0", "000001,2024-03-05,2024-03-06,1000,10,400,11"},
         {"1 100 0 148"}, "第3行无法写入：refused]"},
        // The split's new piece, after the older record was already closed by the row.
        {"400", {"600000,2024-03-01,2024-03-01,200,10,0,0", "600000,2024-03-02,2024-03-02,500,11,0,0",
                 "600000,2024-03-04,2024-03-04,0,0,300,12"},
         {"1 200 0 148", "2 500 0 148"}, "第4行无法写入：refused]"},
        // The book cannot hold a value of the row's record.
        {"200", {"600000,2024-03-01,2024-03-01,100,10,0,0", "600000,2024-03-02,2024-03-02,200,10,0,0"},
         {"1 100 0 148"}, "第3行成本价超出范围]", "Overflow: 1e+309 does not fit field aprice"},
    };
    for (const Case &c : cases) {
        Exec("DELETE FROM account");
        Exec("DELETE FROM sqlite_sequence");
        Exec("DROP TRIGGER IF EXISTS refuse");
        {
            DbConnection conn;
            ASSERT_TRUE(conn.Open(PathOf("ACC.MDB")));
            ASSERT_TRUE(conn.ExecuteNative("CREATE TRIGGER refuse BEFORE INSERT ON account WHEN NEW.num=" + c.refused +
                                           " BEGIN SELECT RAISE(ABORT,'" + c.raised + "'); END"));
        }
        const Outcome o = Run(File(c.rows), 2, 10);
        ASSERT_EQ(o.messages.size(), 1);
        EXPECT_TRUE(o.messages[0].startsWith("CSV文件导入错误！[")) << o.messages[0].toStdString();
        EXPECT_TRUE(o.messages[0].endsWith(u':' + c.message)) << o.messages[0].toStdString();
        EXPECT_EQ(o.date, "2024-03-01");
        QStringList got;
        for (const QString &r : Book()) {
            const QStringList f = r.split(u' ');
            got << QStringList({f[0], f[5], f[8], f[13]}).join(u' ');
        }
        EXPECT_EQ(got, c.book) << c.refused.toStdString();
        EXPECT_GT(LogEntryCount(), 0);
    }
}

}  // namespace
