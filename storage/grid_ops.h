// 表格操作: the procedures every grid of the program shares. A grid laid out by SetupGridColumns has
// row 0 hidden, holding each column's field name (the name of the query field that fills it, "" for
// none), row 1 as the caption row (FixedRows 2), data rows from 2 on, and a row-number column "序号"
// as its last fixed column; the fixed columns left of it carry keys the user does not see (width 0
// once fitted). The field names "Cor" (the value is the cell's back colour), "C" & one character
// (whole numbers with two digits) and "D1".."D5" (dates without time) change how a cell is written. The Tag
// holds the SQL a grid was filled from, or for the main grid its sort state "排序:" & col & ":" &
// order. Positions X, Y are in twips, measured as FlexGridView reports mouse presses.
#pragma once

#include <cstdint>
#include <vector>

#include <QString>

#include "platform/flex_grid.h"
#include "platform/value.h"
#include "storage/db_operate.h"

// The check mark of check-mark grids.
inline const QString kCheckMark = QStringLiteral("√");

// Lays the grid out for the field names and captions (one each per column): Cols from the lists,
// FixedRows 2 and no data rows; the first column whose caption is "序号" or whose field name is empty
// becomes the last fixed column (aligned centre, top), else FixedCols is 2; row 0 gets height 0.
// Lists of different lengths leave the grid untouched. The view is redrawn once, at the end.
void SetupGridColumns(FlexGrid &grid, const std::vector<QString> &fields, const std::vector<QString> &captions);

// Fills the grid from the query on the database file: the data rows are replaced (appended to with
// append set), one row per record, each column from the query field of its field name (SetGridCell),
// the "序号" column numbered. At most (350000 ÷ Cols − 0.5, halves to even) − 2 rows are read; past that
// the message "数据库里共有n条记录，表格只能显示m条记录，因此无法全部显示，请修改筛选条件。" is
// shown. The Tag takes the SQL; the status line shows "正在读取记录" and ten ">" marks (one per row
// under ten rows), then is cleared. Returns rows shown & "/" & records of the query ("0/0" when the
// query fails, which the database layer logs). A field the query lacks leaves its column empty.
QString FillGridFromQuery(FlexGrid &grid, const QString &sql, bool dateOnly, bool append,
                          const QString &file = kAccDb);

// Writes a value into a cell by the column's field name and the value's kind: "Cor" sets the cell's
// back colour (0 gives 65793, a value that is no colour 0..0xFFFFFF changes nothing); whole numbers
// as plain digits ("00" under a field name "C?") and doubles with 2 decimals, 0 as "-", and the first
// data row makes the column right-aligned (8); dates empty at or before 1900-01-01 or at or after
// 2100-01-01, else "YYYY-MM-DD" when dateOnly is set or the field name is "D1".."D5", else with the
// time; text as it is; Booleans "√" or ""; other kinds as their text. Null, or a cell outside the
// grid, leaves it.
void SetGridCell(FlexGrid &grid, int row, int col, const Value &value, bool dateOnly);

// The value in the format: whole numbers "0" (default) or "00", doubles "0.00" (default), dates
// "YYYY-MM-DD" (default); an empty format receives the default. zeroText for a number 0 and for a
// date at or before 1990-01-01 or at or after 2100-01-01; "" for any other kind.
QString FormatCellValue(const Value &value, QString &format, const QString &zeroText);

// Fits every column to its texts from firstRow on (from row 0 when there are no data rows), measured
// in the grid's font up to their 1,024th character (a longer text is fitted as its first 1,024
// characters): the widest text + 120 twips, the caption included; 70 twips for an empty
// column; the key columns left of the row-number column get 0. With keepUserWidths, a column whose
// border the user dragged keeps its width. With more than 200 rows and showProgress set, the
// progress window shows "正在做交易数据表格进行格式设置……" meanwhile.
void AutoFitGridColumns(FlexGrid &grid, int firstRow, bool showProgress, bool keepUserWidths = false);

// A press at (x, y): on the caption rows over the fixed columns every column is fitted (captions
// included); over a scrollable column that column is sorted as a click does (SortGridByColumn with
// order 0). Nothing on a data row, right of the last column, in a grid without data rows or in a grid
// whose first scrollable column has no field name.
void GridHeaderClick(FlexGrid &grid, double x, double y);

// The cell under (x, y): rows summed over the fixed rows, then from TopRow; columns over the fixed
// columns, then from LeftCol; a point past the last row (column) gives the last one.
void GridHitTest(const FlexGrid &grid, double x, double y, int &row, int &col);

// A press in a check-mark grid whose marks are in column checkCol. On its caption with multiple set,
// every data row takes the opposite of the first row's mark (true: the whole column changed). On a
// data row with multiple set: Shift alone (shift 1) marks the rows from Row to the pressed one with
// the opposite of the upper one's mark, else the pressed cell toggles (false). Without multiple the
// pressed row gets the only mark of the column (true). Only column checkCol ever changes; a press
// elsewhere, or in a grid without data rows, does nothing (false).
bool ToggleGridCheck(FlexGrid &grid, int shift, double x, double y, bool multiple, int checkCol);

// "√" for an empty text, "" for any other.
QString ToggleCheckMark(const QString &text);

// Moves the data rows r1..r2 (either order) one step down (+1) or up (-1) by swapping texts with the
// neighbouring row; column keepCol (the numbering) stays. The block is selected again (Row, RowSel,
// Col 0 to ColSel Cols - 1). Nothing when the block would leave the data rows or step is 0.
void MoveGridRows(FlexGrid &grid, int r1, int r2, int step, int keepCol);

// Saves under key: lead & the column-0 texts of the data rows marked in column FixedCols, in grid
// order, joined by "," & " " (a blank ends the value).
void SaveCheckedColumnList(const FlexGrid &grid, const QString &key, const QString &lead);

// Sorts by a column with an arrow in its caption. order 0 (a click): columns aligned 4 or more sort
// as numbers, ascending (3) unless the caption ends with "↑" (then 4); others as text, descending (8)
// unless it ends with "↑" (then 7). Any other order re-applies the state in the Tag ("排序:c:o",
// consumed) into col and order, or uses col and order as given without one. A column below 1 or past
// the last leaves the grid unsorted. The sorted column's caption gets "↓" for orders 4 and 7, "↑"
// otherwise (a shown column too narrow for it widens, unless the user gave its width), every other
// arrow is removed; an empty Tag or one holding "排序" takes the new state;
// the rows are renumbered.
void SortGridByColumn(FlexGrid &grid, int &col, int &order);

// Numbers the data rows 1, 2, 3 ... in the first of columns 0..FixedCols captioned "序号", else in
// column FixedCols - 1.
void RenumberGridRows(FlexGrid &grid);

// Deletes data rows r1..r2 (either order; a negative one takes the selection Row..RowSel) from the
// grid, after the question "您确定要删除第a-b行数据？" (Yes/No, No the default button) when confirm is
// set; the rows below move up with their colours and the row-number column keeps its numbering. When
// the grid has a column "id" and its Tag names a table of ACC.MDB, those records are deleted there
// too. More than 100 rows show "正在删除记录……" in the progress window; closeProgress closes it at the
// end. False when nothing was deleted (No, no data rows, rows outside the data rows).
bool DeleteGridRows(FlexGrid &grid, int &r1, int &r2, bool confirm, bool closeProgress);

// The texts of column col in rows r1..r2 (either order) joined by ","; "" when any index lies outside.
QString JoinGridColumn(const FlexGrid &grid, int col, int r1, int r2);

// The first column whose text in the row equals name without regard to case; -1 when none does.
int FindGridColumn(const FlexGrid &grid, int row, const QString &name);

// Text colours (0x00BBGGRR) of one cell (Row and Col move there), of the scrollable columns of a row,
// and of the cells r1..r2 × c1..c2. Cells outside the grid are skipped.
void SetCellForeColor(FlexGrid &grid, int row, int col, uint32_t color);
void SetRowForeColor(FlexGrid &grid, int row, uint32_t color);
void SetRangeForeColor(FlexGrid &grid, int r1, int c1, int r2, int c2, uint32_t color);
