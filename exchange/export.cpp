// 导出模块: exporting grids and queries to CSV or Excel workbook files.
#include "export.h"

#include <cmath>
#include <map>

#include <xlsxwriter.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QTemporaryFile>

#include "platform/gbk.h"
#include "platform/prompter.h"
#include "platform/recordset.h"
#include "storage/db_operate.h"
#include "storage/dialogs.h"
#include "storage/indicator.h"

namespace {

const QString kNoData = QStringLiteral("表格中没有数据！");
const QString kAskOverwrite = QStringLiteral("该文件已存在，是否覆盖？");
const QString kCannotReplace = QStringLiteral("该文件无法覆盖，请确认该文件没被其他软件打开！");
const QString kSaveError = QStringLiteral("文件保存出错！");
const QString kCsvProgress = QStringLiteral("正在导出数据至CSV格式文件……");
const QString kExcelProgress = QStringLiteral("正在将数据导出到EXCEL文件 …");

// The caption row's fill, RGB.
constexpr lxw_color_t kCaptionFill = 0xFFC080;
// Twips of grid width per character of workbook column width.
constexpr double kTwipsPerWidthUnit = 123;
// The CSV text is encoded and written in pieces of about this many characters.
constexpr qsizetype kCsvChunkChars = 1 << 16;

// The records of a query-mode export, read at once; closed with the export.
struct ExportQuery {
    DbConnection conn;
    RecordSet rs;
    ~ExportQuery() { CloseRs(conn, rs); }
};

// Opens the query when there is one; records is then the set. False (after "文件保存出错！") when the
// query does not run, which the database layer logs.
bool OpenExportQuery(ExportQuery &query, const QString &sql, RecordSet *&records)
{
    records = nullptr;
    if (sql.isEmpty())
        return true;
    if (!OpenRs(query.conn, query.rs, sql)) {
        MsgBox(kSaveError);
        return false;
    }
    records = &query.rs;
    return true;
}

// The lines or worksheet rows: the grid's rows after row 0, or the caption row and one per record.
int ExportLineCount(const FlexGrid &grid, const RecordSet *records)
{
    return records ? records->RecordCount() + 1 : grid.Rows() - 1;
}

// The current record's field named in row 0 of the grid column, as text; nothing when row 0 names no
// field or the query has none of that name.
std::optional<QString> RecordFieldText(const RecordSet &records, const FlexGrid &grid, int col)
{
    const QString name = grid.TextMatrix(0, col);
    if (name.isEmpty() || records.FieldIndex(name) < 0)
        return std::nullopt;
    return records.Field(name).ToText();
}

// Opens the replacement of the target: written beside it and moved over it by CommitReplacement. An
// existing target that is not writable, or whose folder is not, is refused before anything is
// written. Shows the message and returns false when the file cannot be written.
bool OpenReplacement(QSaveFile &file)
{
    const QFileInfo target(file.fileName());
    if (target.exists() && (!target.isWritable() || !QFileInfo(target.absolutePath()).isWritable())) {
        MsgBox(kCannotReplace);
        return false;
    }
    if (!file.open(QIODevice::WriteOnly)) {
        MsgBox(target.exists() ? kCannotReplace : kSaveError);
        return false;
    }
    return true;
}

// Moves the written replacement over the target, or with written false drops it. Shows the message
// and returns false unless the target now holds the new content.
bool CommitReplacement(QSaveFile &file, bool written)
{
    if (!written) {
        file.cancelWriting();  // what was written goes with the file object
        MsgBox(kSaveError);
        return false;
    }
    if (!file.commit()) {
        MsgBox(QFileInfo::exists(file.fileName()) ? kCannotReplace : kSaveError);
        return false;
    }
    return true;
}

// True for a text that a spreadsheet would run as a formula: one beginning with "=", "+", "-", "@", a
// TAB or a CR, except a number as the grid shows it (a negative amount) and its zero text "-".
bool ReadsAsFormula(const QString &text)
{
    // The first character first: most cells cannot be a formula, and reading a number costs more.
    if (text.isEmpty())
        return false;
    const QChar first = text[0];
    if (first != u'=' && first != u'+' && first != u'-' && first != u'@' && first != u'\t' && first != u'\r')
        return false;
    return text != QStringLiteral("-") && !ReadPlainNumber(text);
}

// A CSV cell: a leading apostrophe on a text that would run as a formula, so that a spreadsheet shows
// it as text; quotes doubled, then the TAB of query values appended; quoted when it holds a comma, a
// quote or a line break (a lone LF too: memos typed in the program break lines that way).
QString CsvCell(QString text, bool tab)
{
    if (ReadsAsFormula(text))
        text.prepend(u'\'');
    text.replace(u'"', QStringLiteral("\"\""));
    if (tab)
        text += u'\t';
    for (const QChar ch : text) {
        if (ch == u',' || ch == u'"' || ch == u'\r' || ch == u'\n')
            return u'"' + text + u'"';
    }
    return text;
}

// The text a grid cell is exported with: a caption without the arrow that marks the sorted column.
QString ExportedCellText(const FlexGrid &grid, int row, int col)
{
    QString text = grid.TextMatrix(row, col);
    if (row < grid.FixedRows() && (text.endsWith(u'↑') || text.endsWith(u'↓')))
        text.chop(1);
    return text;
}

// The exported cells of grid row `row`, joined by ",".
QString GridCsvLine(const FlexGrid &grid, int row)
{
    QString line;
    bool first = true;
    for (int c = 0; c < grid.Cols(); ++c) {
        if (grid.ColWidth(c) < 1)
            continue;
        if (!first)
            line += u',';
        first = false;
        line += CsvCell(ExportedCellText(grid, row, c), false);
    }
    return line;
}

// The current record as a line: its running number, then the fields of the exported columns from
// the first scrollable one on.
QString RecordCsvLine(const FlexGrid &grid, const RecordSet &records, int number)
{
    QString line = QString::number(number);
    for (int c = grid.FixedCols(); c < grid.Cols(); ++c) {
        if (grid.ColWidth(c) < 1)
            continue;
        line += u',';
        if (const std::optional<QString> value = RecordFieldText(records, grid, c))
            line += CsvCell(*value, true);
    }
    return line;
}

// Writes the cells of one worksheet, with formats made once per kind of cell: caption or not, text
// or a number shown with or without groups and with so many decimals.
class SheetWriter {
public:
    SheetWriter(lxw_workbook *book, lxw_worksheet *sheet) : m_book(book), m_sheet(sheet) {}

    // Writes the text at (row, col), both from 0; false when the sheet refuses it.
    bool Write(lxw_row_t row, lxw_col_t col, const QString &text, bool caption)
    {
        if (text.isEmpty())
            return worksheet_write_blank(m_sheet, row, col, Format(caption, nullptr)) == LXW_NO_ERROR;
        if (const std::optional<PlainNumber> number = ReadPlainNumber(text))
            return worksheet_write_number(m_sheet, row, col, number->value, Format(caption, &*number)) == LXW_NO_ERROR;
        return worksheet_write_string(m_sheet, row, col, text.toUtf8().constData(), Format(caption, nullptr)) ==
               LXW_NO_ERROR;
    }

private:
    lxw_format *Format(bool caption, const PlainNumber *number)
    {
        const int kind = number ? (number->grouped ? 100 : 0) + number->decimals : -1;
        lxw_format *&format = m_formats[{caption, kind}];
        if (format)
            return format;
        format = workbook_add_format(m_book);
        format_set_border(format, LXW_BORDER_THIN);
        if (caption) {
            format_set_bold(format);
            format_set_pattern(format, LXW_PATTERN_SOLID);
            format_set_bg_color(format, kCaptionFill);
        }
        if (number) {
            QByteArray code = number->grouped ? "#,##0" : "0";
            if (number->decimals > 0)
                code += '.' + QByteArray(number->decimals, '0');
            format_set_num_format(format, code.constData());
        }
        return format;
    }

    lxw_workbook *m_book;
    lxw_worksheet *m_sheet;
    std::map<std::pair<bool, int>, lxw_format *> m_formats;
};

// Writes the workbook at path, stepping the progress window; false when any step failed.
bool WriteWorkbook(const FlexGrid &grid, const QString &path, const QString &title, RecordSet *records, int lines)
{
    lxw_workbook *book = workbook_new(QFile::encodeName(path).constData());
    if (!book)
        return false;
    StepIndicator();
    const QByteArray sheetName = title.toUtf8();
    lxw_worksheet *sheet = workbook_add_worksheet(book, sheetName.isEmpty() ? nullptr : sheetName.constData());
    StepIndicator();
    bool ok = sheet != nullptr;
    SheetWriter writer(book, sheet);
    lxw_row_t r = 0;
    IndicatorSteps steps;
    for (int i = 1; ok && i <= lines; ++i) {
        if (records && i > 1) {
            // Each record row starts again from column A.
            lxw_col_t k = 0;
            for (int c = 0; ok && c < grid.Cols(); ++c) {
                if (grid.ColWidth(c) < 1)
                    continue;
                const std::optional<QString> value = RecordFieldText(*records, grid, c);
                const QString text = value ? *value : k == 0 ? QString::number(i - 1) : QString();
                ok = writer.Write(r, k++, text, false);
            }
            ++r;
            records->MoveNext();
        } else if (grid.RowHeight(i) >= 1) {
            const bool caption = i < grid.FixedRows();
            const bool widths = i == grid.FixedRows() - 1;
            lxw_col_t k = 0;
            for (int c = 0; ok && c < grid.Cols(); ++c) {
                const int width = grid.ColWidth(c);
                if (width < 1)
                    continue;
                if (widths)
                    worksheet_set_column(sheet, k, k, std::floor(width / kTwipsPerWidthUnit), nullptr);
                ok = writer.Write(r, k++, ExportedCellText(grid, i, c), caption);
            }
            ++r;
        }
        steps.Step();
    }
    steps.Flush();
    // Closing frees the workbook whatever happened; only its result tells whether the file is whole.
    const lxw_error closed = workbook_close(book);
    return ok && closed == LXW_NO_ERROR;
}

bool IsAsciiDigit(QChar ch)
{
    return ch >= u'0' && ch <= u'9';
}

// A name ending in ".xls" gets ".xlsx" (the workbook is written as such), a name without extension
// the one of the filter it was chosen under.
QString SettleExportExtension(const QString &path, int filterIndex)
{
    const QString name = QFileInfo(path).fileName();
    if (name.endsWith(QStringLiteral(".xls"), Qt::CaseInsensitive))
        return path + (name.back().isUpper() ? u'X' : u'x');
    if (!name.isEmpty() && !name.contains(u'.'))
        return path + (filterIndex == 2 ? QStringLiteral(".xlsx") : QStringLiteral(".csv"));
    return path;
}

}  // namespace

bool ExportGrid(const FlexGrid &grid, const QString &title, const QString &sql)
{
    if (grid.Rows() == 1 && grid.TextMatrix(0, 0).isEmpty())
        return false;
    if (grid.Rows() == 0 || grid.Cols() == 0) {
        MsgBox(kNoData);
        return false;
    }
    QString filter = kExportFilter;
    QString path = GetFileNameDlg(filter, true);
    if (path.isEmpty())
        return true;
    path = SettleExportExtension(path, SharedDialog().filterIndex);
    if (QFileInfo::exists(path) && MsgBox(kAskOverwrite, Msg::YesNo + Msg::Question + Msg::DefaultButton2) != Msg::Yes)
        return false;
    if (path.right(3).compare(QStringLiteral("csv"), Qt::CaseInsensitive) == 0)
        return ExportGridToCsv(grid, path, sql);
    return ExportGridToExcel(grid, path, title, sql);
}

bool ExportGridToCsv(const FlexGrid &grid, const QString &path, const QString &sql)
{
    ExportQuery query;
    RecordSet *records = nullptr;
    if (!OpenExportQuery(query, sql, records))
        return false;
    QSaveFile file(path);
    if (!OpenReplacement(file))
        return false;
    const int lines = ExportLineCount(grid, records);
    ShowIndicator(kCsvProgress, lines);
    QString text;
    bool ok = true;
    IndicatorSteps steps;
    for (int i = 1; ok && i <= lines; ++i) {
        if (records && i > 1) {
            text += RecordCsvLine(grid, *records, i - 1) + QStringLiteral("\r\n");
            records->MoveNext();
        } else if (grid.RowHeight(i) >= 1) {
            text += GridCsvLine(grid, i) + QStringLiteral("\r\n");
        }
        if (text.size() >= kCsvChunkChars) {
            const QByteArray bytes = EncodeGbk(text);
            ok = file.write(bytes) == bytes.size();
            text.clear();
        }
        steps.Step();
    }
    steps.Flush();
    if (ok) {
        const QByteArray bytes = EncodeGbk(text);
        ok = file.write(bytes) == bytes.size();
    }
    HideIndicator();
    return CommitReplacement(file, ok);
}

bool ExportGridToExcel(const FlexGrid &grid, const QString &path, const QString &title, const QString &sql)
{
    ExportQuery query;
    RecordSet *records = nullptr;
    if (!OpenExportQuery(query, sql, records))
        return false;
    QSaveFile file(path);
    if (!OpenReplacement(file))
        return false;
    // The workbook is made in a scratch file, then copied into the replacement of the target.
    QTemporaryFile scratch(QDir::tempPath() + QStringLiteral("/kelvaro-export-XXXXXX.xlsx"));
    bool ok = scratch.open();
    scratch.close();
    const int lines = ExportLineCount(grid, records);
    ShowIndicator(kExcelProgress, lines);
    ok = ok && WriteWorkbook(grid, scratch.fileName(), title, records, lines);
    HideIndicator();
    if (ok) {
        QFile made(scratch.fileName());
        ok = made.open(QIODevice::ReadOnly);
        const QByteArray bytes = ok ? made.readAll() : QByteArray();
        ok = ok && made.error() == QFileDevice::NoError && file.write(bytes) == bytes.size();
    }
    return CommitReplacement(file, ok);
}

std::optional<PlainNumber> ReadPlainNumber(const QString &text)
{
    const qsizetype len = text.size();
    qsizetype i = 0;
    const bool negative = len > 0 && text[0] == u'-';
    if (negative)
        ++i;
    const qsizetype wholeStart = i;
    PlainNumber number;
    int digits = 0;
    int groupDigits = 0;  // digits since the last comma, or since the start
    for (; i < len && (IsAsciiDigit(text[i]) || text[i] == u','); ++i) {
        if (text[i] != u',') {
            ++digits;
            ++groupDigits;
            continue;
        }
        // The first group holds one to three digits, every later one exactly three.
        if (groupDigits == 0 || groupDigits > 3 || (number.grouped && groupDigits != 3))
            return std::nullopt;
        number.grouped = true;
        groupDigits = 0;
    }
    if (digits == 0 || (number.grouped && groupDigits != 3))
        return std::nullopt;
    if (text[wholeStart] == u'0' && digits > 1)
        return std::nullopt;
    if (i < len && text[i] == u'.') {
        for (++i; i < len && IsAsciiDigit(text[i]); ++i)
            ++number.decimals;
        if (number.decimals == 0)
            return std::nullopt;
    }
    // Beyond 15 digits a double no longer keeps them all.
    if (i != len || digits + number.decimals > 15)
        return std::nullopt;
    QString plain = text;
    number.value = plain.remove(u',').toDouble();
    // "-0.00" would show without its sign.
    if (negative && number.value == 0)
        return std::nullopt;
    return number;
}

QString ColumnNumberToLetters(int n)
{
    QString letters;
    while (n > 0) {
        --n;
        letters.prepend(QChar(u'A' + n % 26));
        n /= 26;
    }
    return letters;
}

int ColumnLettersToNumber(const QString &text)
{
    const QString t = text.trimmed().toUpper();
    if (t.isEmpty() || t.size() > 2)
        return 0;
    int n = t.back().unicode() - 64;
    if (t.size() == 2)
        n += 26 * (t.front().unicode() - 64);
    return n < 1 ? 1 : n;
}
