// 导出模块: exporting grids and queries to CSV or Excel workbook files, and the Excel-style column
// letters they and the import share.
//
// What is exported of a grid: the rows from row 1 on whose height is at least 1 (row 0, the hidden
// row of field names, never), and of each the columns whose width is at least 1, from column 0 on,
// as the texts the grid shows, but a caption without the arrow "↑" or "↓" of a sorted column. A file is
// written beside its target under a temporary name and moved over the target only when complete, so a
// failed export leaves the old file as it was and no partial file behind.
#pragma once

#include <optional>

#include <QString>

#include "platform/flex_grid.h"

// The save dialog's filter: CSV files (index 1), workbooks (index 2).
inline const QString kExportFilter = QStringLiteral("CSV (逗号分隔)(*.csv)|*.csv|MS Excel文件  (*.xlsx)|*.xlsx");

// Asks for a file and writes the grid there under the title (the workbook's sheet name). A grid of
// one row whose cell (0, 0) is empty gives false at once, silently; a grid without rows or columns
// shows "表格中没有数据！" and gives false. The save dialog (GetFileNameDlg, kExportFilter, its index
// kept as "DefaultType") cancelled gives true. A chosen name ending in ".xls" becomes ".xlsx", and a
// name without extension takes the extension of the filter it was chosen under. An existing file
// asks "该文件已存在，是否覆盖？" (Yes/No); anything but Yes gives false. A name whose last three
// characters are "csv" (any case) is written by ExportGridToCsv, any other by ExportGridToExcel, whose
// result is returned. With sql not empty, the data rows come from that query (see the writers).
bool ExportGrid(const FlexGrid &grid, const QString &title, const QString &sql);

// Writes the grid as a CSV file in GBK: one line per exported row, ended by CR LF, its cells joined
// by ","; a cell beginning with "=", "+", "-", "@", TAB or CR gets a leading "'" so that a spreadsheet
// shows it as text instead of running it, unless it is a number as the grid shows it or the zero text
// "-"; then every double quote is doubled, and a cell that holds a comma, a double quote, CR or LF is
// wrapped in double quotes. With sql not empty, the caption row (row 1) comes from the
// grid and each record of the query on ACC.MDB gives a line: its running number (1, 2, ...), then
// for each exported column from FixedCols on the record's field named in the column's row 0 with a
// TAB appended (quotes doubled first, the TAB then counted in the quoting test), an empty cell where
// row 0 names no field or the query has no such field. The progress window shows
// "正在导出数据至CSV格式文件……" meanwhile. False when the file could not be written:
// "该文件无法覆盖，请确认该文件没被其他软件打开！" when an existing file or its folder is not writable
// or the file cannot be replaced, else "文件保存出错！" (also for a query that does not run); the old
// file is then unchanged.
bool ExportGridToCsv(const FlexGrid &grid, const QString &path, const QString &sql);

// Writes the grid as an Excel workbook (.xlsx content whatever the name) of one worksheet named after
// the title: the exported rows from row 1 down and the exported columns from column A on, without
// gaps. The rows before FixedRows (the caption row) are bold on the fill RGB FFC080; every cell of the
// used range has thin borders, empty cells included (they stay empty). Each column's width is
// Int(the grid column's width in twips / 123) characters, set from the last fixed row. A text that
// is wholly a plain decimal number (ReadPlainNumber) is written as that number in a format showing
// the same grouping and decimals, any other text (stock codes such as "000001", dates) as text.
// With sql not empty, the caption row comes from the grid and each record of the query on ACC.MDB
// gives a row: the running number in column A, then each exported column from column 0 on takes the
// record's field named in its row 0 (one named for the first exported column replaces the number).
// The progress window shows "正在将数据导出到EXCEL文件 …" meanwhile. False when it could not be
// written, with the messages of ExportGridToCsv; the old file is then unchanged.
bool ExportGridToExcel(const FlexGrid &grid, const QString &path, const QString &title, const QString &sql);

// A text that is wholly a plain decimal number: an optional "-", the whole part with or without ","
// between every three digits, an optional "." with decimals; no leading zero but "0" itself, "-0"
// and its variants excluded, at most 15 digits in all (so the number keeps every digit).
struct PlainNumber {
    double value = 0;
    bool grouped = false;  // the whole part was written with "," groups
    int decimals = 0;
};
std::optional<PlainNumber> ReadPlainNumber(const QString &text);

// Excel-style letters of a column number from 1: 1 "A", 26 "Z", 27 "AA", 702 "ZZ", 703 "AAA";
// "" below 1.
QString ColumnNumberToLetters(int n);

// The column number of Excel-style column letters, blanks around them and case ignored: "A" 1, "Z" 26,
// "AA" 27, "ZZ" 702. Only the length is checked, not that the characters are letters: a text of one
// or two characters gives (code of the last character − 64) + 26 × (code of the first − 64) for two,
// raised to at least 1 (so "3" gives 1); any other length gives 0 (unusable).
int ColumnLettersToNumber(const QString &text);
