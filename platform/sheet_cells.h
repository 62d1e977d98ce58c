// What the workbook reader keeps of a sheet, shared by its .xlsx and .xls readers and the Workbook
// facade: the kept cells of the selected sheet, the columns a window keeps, the display of a number,
// the failure a reader leaves when it gives up, and what the facade asks of an open workbook.
#pragma once

#include <algorithm>
#include <map>
#include <utility>
#include <vector>

#include <QString>
#include <QStringList>

#include "platform/workbook.h"

namespace workbook_internal {

// What is kept of a sheet: the rows of the window holding a value in any column, each with its kept
// cells by column; of a row or cell given twice the later one holds. usedRows and usedCols are the
// last row and column holding a value, kept or not.
struct SheetCells {
    std::map<int, std::map<int, QString>> rows;
    int usedRows = 0;
    int usedCols = 0;

    void Clear()
    {
        rows.clear();
        usedRows = 0;
        usedCols = 0;
    }

    // A value in cell (row, col), kept when keep.
    void Add(int row, int col, QString &&text, bool keep)
    {
        auto &cells = rows[row];
        if (keep)
            cells.insert_or_assign(col, std::move(text));
        usedRows = std::max(usedRows, row);
        usedCols = std::max(usedCols, col);
    }
};

// The columns a window keeps (from 1 to lastCol), as a flag per column; empty when it keeps all.
std::vector<char> WantedColumns(const SheetWindow &window, int lastCol);

// True when the flags of WantedColumns keep column col.
bool IsWanted(const std::vector<char> &wanted, int col);

// The display text of a number: without decimals when whole, else to 15 significant digits.
QString NumberDisplay(double v);

// Why a reader gave up, and its library's number for it (0 when there is none). Fail sets both and
// returns false, so that a reader's step can end with `return Fail(...)`.
struct ReadFailure {
    WorkbookFailure failure = WorkbookFailure::None;
    int code = 0;

    bool Fail(WorkbookFailure f, int c)
    {
        failure = f;
        code = c;
        return false;
    }
};

// An open workbook of either kind as the facade reads it: the names of its worksheets in workbook
// order, and the reading of one of them. The reader owns its file's handles and lets them go when
// it is destroyed.
class BookReader : public ReadFailure {
public:
    virtual ~BookReader() = default;
    // Reads the cells of the window of the sheet-th worksheet of names into cells (empty when
    // called). False with the failure set when the sheet is damaged or too large.
    virtual bool Select(int sheet, const SheetWindow &window, SheetCells &cells) = 0;

    QStringList names;
};

}  // namespace workbook_internal
