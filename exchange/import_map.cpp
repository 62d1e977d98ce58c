// 导入数据映射: the mapping dialog's procedures.
#include "import_map.h"

#include <algorithm>
#include <cmath>
#include <iterator>

#include "exchange/csv_import.h"
#include "exchange/export.h"
#include "exchange/import_data.h"
#include "market/quotes.h"
#include "platform/daynum.h"
#include "platform/numeric.h"
#include "platform/prompter.h"
#include "platform/workbook.h"
#include "records/deelres.h"
#include "records/records_hooks.h"
#include "storage/grid_ops.h"
#include "storage/db_operate.h"
#include "storage/indicator.h"
#include "storage/params.h"

namespace {

const QString kMapKey = QStringLiteral("导入列号");
const QString kRowsKey = QStringLiteral("导入起止号");
// The rows of the mapping grid are this high, the caption row too (twips).
constexpr int kMapRowHeight = 270;
constexpr int kRowNumberWidth = 300;
// The last column that column letters can name ("ZZ").
constexpr int kLastLetteredColumn = 702;
// The most text a worksheet's preview or an import's read of it may hold, in bytes, counted as the
// grid and the records hold it: once for each cell showing a text, however often the workbook
// itself stores it (a long text the workbook shares between many cells would otherwise be held once
// per cell).
constexpr qint64 kMaxHeldText = qint64(64) << 20;
const QString kSheetTooLarge = QStringLiteral("工作表太大，无法读取！");

// The leading number of a row box's text: as LeadingNumber reads it, but taking thousands separators
// between groups of three digits as TypedNumber does ("1,000.5" is 1000.5, "1,00" is 1).
double RowBoxNumber(const QString &text)
{
    const auto digit = [&](qsizetype k) { return k < text.size() && text[k] >= u'0' && text[k] <= u'9'; };
    qsizetype i = 0;
    while (i < text.size() && (text[i] == u' ' || text[i] == u'\t'))
        ++i;
    const qsizetype start = i;
    if (i < text.size() && (text[i] == u'+' || text[i] == u'-'))
        ++i;
    const qsizetype firstDigit = i;
    while (digit(i))
        ++i;
    const bool shortFirstGroup = i > firstDigit && i - firstDigit <= 3;
    bool grouped = false;
    while (shortFirstGroup && i < text.size() && text[i] == u',' && digit(i + 1) && digit(i + 2) && digit(i + 3) &&
           !digit(i + 4)) {
        i += 4;
        grouped = true;
    }
    if (!grouped)
        return LeadingNumber(text);
    if (i < text.size() && text[i] == u'.') {
        ++i;
        while (digit(i))
            ++i;
    }
    return TypedNumber(text.mid(start, i - start)).value_or(0);
}

// The row number typed in a row box: its leading number, rounded with halves to even, kept within
// what a row number can be.
int RowNumberOf(const QString &text)
{
    const double n = RoundHalfEven(RowBoxNumber(text), 0);
    return static_cast<int>(std::clamp(std::isfinite(n) ? n : 0.0, -1e9, 1e9));
}

// The message for the first designation of the mapping grid that the import would misread, or ""
// when there is none. As the import cleans them (NormalizeMapEntries), a designation must be empty, a
// quoted literal, or one or two letters: the engine reads anything else as a column all the same, a
// number ("1", the dialog asking for "对应列号") or "-" as column A, "A1" or a text without quotes as a
// column far off or none.
QString DesignationMessage(const FlexGrid &grid)
{
    QStringList designations;
    for (int r = grid.FixedRows(); r < grid.Rows(); ++r)
        designations << grid.TextMatrix(r, 2);
    NormalizeMapEntries(designations);
    const auto isLetter = [](QChar ch) { return (ch >= u'A' && ch <= u'Z') || (ch >= u'a' && ch <= u'z'); };
    for (qsizetype i = 0; i < designations.size(); ++i) {
        const QString d = designations[i].trimmed();
        if (d.isEmpty() || d.contains(u'"') || (d.size() <= 2 && std::all_of(d.begin(), d.end(), isLetter)))
            continue;
        const int r = grid.FixedRows() + static_cast<int>(i);
        return QStringLiteral("“") + grid.TextMatrix(r, 1) + QStringLiteral("”的对应列号“") +
               grid.TextMatrix(r, 2).trimmed() +
               QStringLiteral("”有误：列号请用字母填写（A、B、C……，即右侧表格上方的列名），"
                              "固定内容请用双引号括起，请重新设置！");
    }
    return QString();
}

// Hides the progress window when it goes out of scope, whichever way the reading ends.
struct IndicatorCloser {
    ~IndicatorCloser() { HideIndicator(); }
};

// The worksheet rows 1..200 up to the first whose first three cells are empty, into the preview.
void ReadSheetPreview(FlexGrid &grid, const QString &path, const QString &sheet)
{
    IndicatorCloser closer;
    ShowIndicator(QStringLiteral("正在读取EXCEL数据……"), 80);
    // The user may close the progress window to stop the reading.
    const bool watching = IndicatorShown();
    Workbook workbook;
    SheetWindow window{1, kPreviewSheetRows, {}};
    for (int c = 1; c < kPreviewCols; ++c)
        window.columns.push_back(c);
    if (!workbook.Open(path) || !workbook.SelectSheet(sheet, window)) {
        MsgBox(WorkbookFailureMessage(workbook));
        return;
    }
    grid.SetRows(1 + kPreviewSheetRows);
    int last = 0;
    qint64 held = 0;
    for (int r = 1; r <= kPreviewSheetRows; ++r) {
        if (workbook.CellText(r, 1).isEmpty() && workbook.CellText(r, 2).isEmpty() &&
            workbook.CellText(r, 3).isEmpty())
            break;
        grid.SetTextMatrix(r, 0, QString::number(r));
        for (int c = 1; c < grid.Cols(); ++c) {
            const QString text = workbook.CellText(r, c);
            held += text.size() * qint64(sizeof(QChar));
            if (held > kMaxHeldText) {
                grid.SetRows(1);
                MsgBox(kSheetTooLarge);
                return;
            }
            grid.SetTextMatrix(r, c, text.left(kPreviewCellChars));
        }
        last = r;
        if (watching && !IndicatorShown())
            break;
        StepIndicator(1, QStringLiteral("pages"));
    }
    grid.SetRows(1 + last);
}

}  // namespace

void InitMapGrid(FlexGrid &grid)
{
    static const char *labels[] = {"股票代码", "买入日期", "卖出日期", "买入数量", "买入价格", "卖出数量", "卖出价格", "备注"};
    GridRedrawPause pause(grid);
    const std::vector<QString> captions = {QStringLiteral("序号"), QStringLiteral("内容"), QStringLiteral("对应列号")};
    SetupGridColumns(grid, captions, captions);
    const int first = grid.FixedRows();
    grid.SetRows(first + 8);
    for (int r = first - 1; r < grid.Rows(); ++r)
        grid.SetRowHeight(r, kMapRowHeight);
    for (int i = 0; i < 8; ++i) {
        grid.SetTextMatrix(first + i, 0, QString::number(i + 1));
        grid.SetTextMatrix(first + i, 1, QString::fromUtf8(labels[i]));
    }
    AutoFitGridColumns(grid, first - 1, false);
    GetMapStr(grid);
}

void GetMapStr(FlexGrid &grid)
{
    const QString stored = GetParam(kMapKey);
    if (stored.isEmpty())
        return;
    const QStringList parts = stored.split(kImportMapSeparator);
    for (int k = 0; k < parts.size() && grid.FixedRows() + k < grid.Rows(); ++k)
        grid.SetTextMatrix(grid.FixedRows() + k, 2, parts[k]);
}

void SaveMapSettings(const FlexGrid &grid, const QString &first, const QString &last)
{
    QStringList designations;
    for (int r = grid.FixedRows(); r < grid.Rows(); ++r)
        designations << grid.TextMatrix(r, 2);
    SaveParam(kMapKey, designations.join(kImportMapSeparator));
    SaveParam(kRowsKey, first + kImportMapSeparator + last);
}

std::pair<QString, QString> StoredRowRange()
{
    const QString stored = GetParam(kRowsKey);
    const qsizetype at = stored.indexOf(kImportMapSeparator);
    if (at < 0)
        return {QString(), stored};
    return {stored.left(at), stored.mid(at + kImportMapSeparator.size())};
}

QString WorkbookFailureMessage(const Workbook &workbook)
{
    switch (workbook.Failure()) {
    case WorkbookFailure::SheetNotFound:
        return QStringLiteral("输入表格名称有误，无法打开表格，请重新输入！");
    case WorkbookFailure::Unreadable:
        return QStringLiteral("无法打开Excel文件，请检查后重新输入文件名及路径！");
    case WorkbookFailure::NotWorkbook:
    case WorkbookFailure::Encrypted:
        return QStringLiteral("文件类型不对，请选择Excel文档！");
    case WorkbookFailure::TooLarge:
        return kSheetTooLarge;
    case WorkbookFailure::TextTooLong:
        return QStringLiteral("工作表中有文字太长的单元格，无法读取！请把过长的文字删减到四千字以内后重试。");
    default:
        return QStringLiteral("未知错误，错误号：") + QString::number(workbook.ErrorCode()) +
               QStringLiteral("　请检查输入值！");
    }
}

void LoadPreview(FlexGrid &grid)
{
    GridRedrawPause pause(grid);
    grid.SetFixedCols(0);
    grid.SetFixedRows(0);
    grid.SetCols(kPreviewCols);
    grid.SetRows(1);
    grid.SetFixedRows(1);
    grid.SetFixedCols(1);
    grid.SetColWidth(0, kRowNumberWidth);
    grid.SetTextMatrix(0, 0, QString());
    for (int c = 1; c < kPreviewCols; ++c)
        grid.SetTextMatrix(0, c, ColumnNumberToLetters(c));

    const QString path = ImportFilePath();
    if (IsCsvPath(path)) {
        ReadCsvPreview(grid, path);
    } else if (IsWorkbookPath(path)) {
        ReadSheetPreview(grid, path, ImportSheets());
    } else {
        MsgBox(QStringLiteral("您选择的文件格式不支持导入，请选择CSV或XLS文件！"));
        ImportFilePath().clear();
        return;
    }
    AutoFitGridColumns(grid, 0, false);
}

bool ReadSheetRecords(const QString &path, const QString &sheet, int firstRow, int lastRow,
                      const std::vector<int> &columns, QStringList &records)
{
    records.clear();
    // Two letters name no column past ZZ: a designation that gives a higher number names none.
    SheetWindow window{std::max(firstRow, 1), lastRow, {}};
    std::copy_if(columns.begin(), columns.end(), std::back_inserter(window.columns),
                 [](int c) { return c >= 1 && c <= kLastLetteredColumn; });
    if (window.columns.empty())
        window.columns.push_back(1);
    const int width = *std::max_element(window.columns.begin(), window.columns.end());
    Workbook workbook;
    if (!workbook.Open(path) || !workbook.SelectSheet(sheet, window)) {
        MsgBox(WorkbookFailureMessage(workbook));
        return false;
    }
    // A record reaches the last column read, empty cells included: a column the mapping names is
    // there even when it is empty in every row read (a memo column that only its caption fills).
    records.reserve(workbook.UsedRows());
    QStringList fields;
    qint64 held = 0;
    for (int r = 1; r <= workbook.UsedRows(); ++r) {
        if (r < window.firstRow || !workbook.RowHasValue(r)) {
            records << QString();
            continue;
        }
        fields.clear();
        held += (width - 1) * kCsvFieldSeparator.size() * qint64(sizeof(QChar));
        for (int c = 1; c <= width; ++c) {
            fields << workbook.CellText(r, c);
            held += fields.back().size() * qint64(sizeof(QChar));
        }
        if (held > kMaxHeldText) {
            records.clear();
            MsgBox(kSheetTooLarge);
            return false;
        }
        records << fields.join(kCsvFieldSeparator);
    }
    return true;
}

bool ImportMappedRows(const FlexGrid &grid, const QString &first, const QString &last)
{
    const QString path = ImportFilePath();
    const bool csv = IsCsvPath(path);
    if (!csv && (path.isEmpty() || ImportSheets().isEmpty()))
        return true;
    SaveMapSettings(grid, first, last);
    int start = RowNumberOf(first);
    int end = RowNumberOf(last);
    if (end < start)
        std::swap(start, end);
    if (end - start > kMaxImportRows - 1) {
        MsgBox(QStringLiteral("一次性导入数据不得超过3万条记录，请重新设置！"));
        return false;
    }
    // Rows are numbered from 1; an empty box (the first use) reads as 0.
    if (start < 1) {
        MsgBox(QStringLiteral("数据导入的") +
               (RowNumberOf(first) < 1 ? QStringLiteral("开始") : QStringLiteral("截止")) +
               QStringLiteral("行号须为1或更大的数，请重新设置！"));
        return false;
    }
    if (const QString message = DesignationMessage(grid); !message.isEmpty()) {
        MsgBox(message);
        return false;
    }
    double earliest = kEmptyDate;
    if (csv) {
        earliest = ImportCsvRows(path, start, end);
    } else {
        QStringList records;
        if (!ReadSheetRecords(path, ImportSheets(), start, end, MappedColumns(), records))
            return false;
        earliest = ImportRecordRows(records, start, end);
    }
    if (earliest > kEmptyDate) {
        // Stocks new to the book join the quote list, so that their prices show without a restart.
        const QStringList codes = GetGroupList(QStringLiteral("account"), QStringLiteral("code"), QString());
        if (std::any_of(codes.begin(), codes.end(), [](const QString &code) { return QuoteIndexOf(code) < 0; }))
            RebuildQuoteList();
        RecalcDeelRes(earliest, true);
        ReloadStockTree();
        RefreshCurrentNode();
        // The rows may have bought anything and sold older lots of the book: the window takes them all.
        ResetDtpRange(std::nullopt);
    }
    return true;
}

void CancelImport()
{
    ImportFilePath().clear();
    ImportSheets().clear();
}
