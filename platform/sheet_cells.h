// What the workbook reader keeps of a sheet, shared by its .xlsx and .xls readers and the Workbook
// facade: the kept cells of the selected sheet, the columns a window keeps, the display of a number,
// the failure a reader leaves when it gives up, and what the facade asks of an open workbook.
#pragma once

#include <algorithm>
#include <utility>
#include <vector>

#include <QString>
#include <QStringList>

#include "platform/workbook.h"

namespace workbook_internal {

// What is kept of a sheet: the rows of the window holding a value in any column, and the kept cells
// of them; of a row or cell given twice the later one holds. usedRows and usedCols are the last row
// and column holding a value, kept or not. Rows and cells are held flat in the order given, which is
// the sheet's order in any workbook a spreadsheet wrote. A sheet giving them out of order is put in
// order by a sort, done whenever what is held has doubled since the last (and a few thousand more),
// so that rows and cells given many times take no more than twice the room of what is kept. Finish
// ends the adding; HasRow and Find read after it.
struct SheetCells {
    int usedRows = 0;
    int usedCols = 0;

    void Clear();
    // A value in cell (row, col), kept when keep.
    void Add(int row, int col, QString &&text, bool keep);
    // Puts the rows and cells in order, the later of a row or cell given twice holding.
    void Finish();
    // True when the row holds a value in any column.
    bool HasRow(int row) const;
    // The text of a kept cell; nullptr for a cell not kept.
    const QString *Find(int row, int col) const;

private:
    struct Cell {
        int row = 0;
        int col = 0;
        QString text;
    };
    std::vector<int> m_rows;
    std::vector<Cell> m_cells;
    bool m_ordered = true;
    // How many rows and cells the last sort left.
    size_t m_sorted = 0;
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
