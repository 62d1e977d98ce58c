// 导入数据映射: the procedures of the import's second step, the mapping dialog InputMap: the mapping
// grid (in which column of the file each of the eight trade values stands), the row range, the
// preview of the chosen file, and the import itself on OK. The dialog's window only lays these out.
#pragma once

#include <utility>
#include <vector>

#include <QString>
#include <QStringList>

#include "platform/flex_grid.h"

class Workbook;

// The caption of the mapping dialog.
inline const QString kInputMapCaption = QStringLiteral("导入数据映射");
// The preview's columns: the row numbers, then "A" to "BG".
inline constexpr int kPreviewCols = 60;
// The preview of a worksheet reads its rows 1 to this one at most.
inline constexpr int kPreviewSheetRows = 200;
// The most rows one import may cover (end − start + 1).
inline constexpr int kMaxImportRows = 30000;

// Builds the mapping grid: captions "序号", "内容", "对应列号" in row 1 (row 0 hidden, both fixed),
// then the eight rows "股票代码", "买入日期", "卖出日期", "买入数量", "买入价格", "卖出数量", "卖出价格",
// "备注" numbered 1 to 8, rows 270 twips high, columns fitted; then GetMapStr.
void InitMapGrid(FlexGrid &grid);

// Writes the stored mapping ("导入列号", split at "〗★〖") into column 2 of the mapping rows, part k
// into the k-th row, as far as there are parts and rows; an empty or missing mapping changes nothing.
void GetMapStr(FlexGrid &grid);

// Saves column 2 of the mapping rows joined by "〗★〖" as "导入列号", and first & "〗★〖" & last as
// "导入起止号".
void SaveMapSettings(const FlexGrid &grid, const QString &first, const QString &last);

// The stored row range "导入起止号" as the texts of the two row boxes: the text before the first
// "〗★〖" (empty when there is none) and the text after it (the whole text when there is none); both
// empty before anything was stored.
std::pair<QString, QString> StoredRowRange();

// The message for a workbook that could not be opened or whose worksheet could not be read.
QString WorkbookFailureMessage(const Workbook &workbook);

// Fills the preview grid with the chosen file (ImportFilePath): 60 columns, the row numbers in column
// 0 and the column letters "A".."BG" above the others. A CSV file through ReadCsvPreview; a workbook
// (".xls", ".xlsx", ".xlsm") from its worksheet ImportSheets, row r of the sheet as preview row r,
// each cell up to its 1,024th character (kPreviewCellChars), rows 1 to 200 up to one whose first three
// cells are empty, with the progress window "正在读取EXCEL数据……" shown meanwhile (closing it stops the
// reading with the rows read so far); a sheet that cannot be read shows WorkbookFailureMessage, one
// whose cells shown hold more than 64 MB of text, whole (a long text counted once for each cell
// showing it), "工作表太大，无法读取！", the grid left without rows. Any other file shows
// "您选择的文件格式不支持导入，请选择CSV或XLS文件！" and clears ImportFilePath. The columns are fitted at the end; the
// progress window and the workbook are closed on every path.
void LoadPreview(FlexGrid &grid);

// The records of the worksheet `sheet` of the workbook at path for an import of rows firstRow..lastRow:
// one per sheet row from row 1 up to the last of those rows holding a value, "" for the rows before
// firstRow and for a row without any value. The cells of those rows and of the listed columns only
// are read (column A alone when none of them lies within A..ZZ); a record holds the texts of columns A
// up to the last listed one, empty cells and the columns not listed empty, joined by the import's
// field separator. False, with WorkbookFailureMessage shown, when it cannot be read, and with
// "工作表太大，无法读取！" and no records when they would hold more than 64 MB of text.
bool ReadSheetRecords(const QString &path, const QString &sheet, int firstRow, int lastRow,
                      const std::vector<int> &columns, QStringList &records);

// OK of the mapping dialog. Goes on for a CSV file, or for a workbook with a worksheet chosen, else
// returns true at once. Saves the mapping and the row texts (SaveMapSettings), then takes the rows
// from the leading numbers of first and last (thousands separators taken between groups of three
// digits: "1,000.5" is 1000.5), rounded with halves to even, swapped when last is the smaller. More than
// 30000 rows show "一次性导入数据不得超过3万条记录，请重新设置！" and return false (the dialog stays
// open; the settings are saved); so does a first row below 1 (an empty box included), with
// "数据导入的开始行号须为1或更大的数，请重新设置！" ("截止" when the end box held it), and a
// designation that, cleaned as the import cleans it, is neither empty, a quoted text nor one or two
// letters ("3", "A1", "-"), with a message naming its row that asks for column letters or a quoted
// text. Imports the rows (ImportCsvRows, or ImportRecordRows over the worksheet's records; a
// worksheet that cannot be read returns false), and when the import returns a date after 1900-01-01
// rebuilds the quote list when the book now holds a stock it lacks, recomputes the per-day assets
// from that date with progress, rebuilds the stock tree, refreshes the main window for its current
// node and resets its date range. True when the dialog may close.
bool ImportMappedRows(const FlexGrid &grid, const QString &first, const QString &last);

// Cancel of the mapping dialog: clears the chosen file and worksheets.
void CancelImport();
