// 导入数据: the first step of an import: the choice of the file and, for a workbook, of its worksheet.
// It keeps the import's state, the chosen file and worksheets, which the mapping dialog and the
// import read. The windows (the worksheet list Sheets, the mapping dialog InputMap) are shown through
// ImportWindowHooks, which the windowed program registers.
#pragma once

#include <functional>

#include <QString>

#include "platform/flex_grid.h"

// The caption of the worksheet list, by which the choice waits for it to close.
inline const QString kSheetsCaption = QStringLiteral("选择要导入数据所在的工作表");
// The separator of the ticked worksheet names.
inline const QString kSheetSeparator = QStringLiteral("‖");

// The chosen file's path, exactly as chosen (a file system may tell "Trades.CSV" from "trades.csv");
// empty when nothing was chosen or the choice was cancelled.
QString &ImportFilePath();
// The ticked worksheet names joined by "‖" in list order; empty for a CSV file, when nothing was
// ticked or the worksheet choice was cancelled.
QString &ImportSheets();

// True when the path ends in ".csv", without regard to case.
bool IsCsvPath(const QString &path);
// True when the path ends in ".xls", ".xlsx" or ".xlsm", without regard to case.
bool IsWorkbookPath(const QString &path);

// How the import shows its windows; each does nothing until the windowed program registers it.
struct ImportHooks {
    // Loads and shows the worksheet list of the chosen workbook, its Tag set to the mode: 1 allows
    // one ticked worksheet only. A workbook that cannot be read leaves no list open.
    std::function<void(int mode)> showSheets;
    // Shows the mapping dialog, which leaves the caller at once.
    std::function<void()> showInputMap;
};
ImportHooks &ImportWindowHooks();

// The import command: SelectImportFile(1), then the mapping dialog when a CSV file or a worksheet
// was chosen; otherwise nothing happens.
void ImportData();

// Clears ImportFilePath and ImportSheets, asks for the file (the file dialog with its CSV filter, so
// a workbook is reached by typing its name or a pattern) and keeps the path. A path not ending in
// ".csv" is taken for a workbook: its worksheet list is shown with the mode, and the call returns
// once the list has been closed (ImportSheets then holds the ticked names).
void SelectImportFile(int mode);

// The worksheet list's grid: three columns of 500, 600 and 4400 twips captioned "No.", "选择" and
// "工作表名称", the second centred, and no data rows.
void SetupSheetsGrid(FlexGrid &grid);

// Lists the worksheets of the workbook at path in the grid (SetupSheetsGrid, then one row per
// worksheet in workbook order: its number, no tick, its name) and ticks the first one. Shows the
// progress window meanwhile and closes it, and the workbook, on every path. A workbook that cannot
// be read shows "无法打开XLS文件！" and returns false.
bool LoadSheetList(FlexGrid &grid, const QString &path);

// A press on data row `row` of the list (nothing on any other row): its tick cell changes from empty
// to "√" or back; with oneOnly a new tick first clears the ticks of all rows.
void TickSheetRow(FlexGrid &grid, int row, bool oneOnly);

// The data row at height y in twips as the grid view reports a press, from the row heights and the
// first row shown; -1 outside the data rows (on the caption, below the last row).
int SheetRowAt(const FlexGrid &grid, double y);

// The names of the ticked rows in row order, joined by "‖".
QString TickedSheetNames(const FlexGrid &grid);
