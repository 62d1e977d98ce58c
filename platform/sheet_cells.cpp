// What the workbook reader keeps of a sheet.
#include "sheet_cells.h"

#include "platform/value.h"

namespace workbook_internal {

std::vector<char> WantedColumns(const SheetWindow &window, int lastCol)
{
    std::vector<char> wanted;
    if (window.columns.empty())
        return wanted;
    wanted.assign(static_cast<size_t>(lastCol) + 1, 0);
    for (int c : window.columns)
        if (c >= 1 && c <= lastCol)
            wanted[static_cast<size_t>(c)] = 1;
    return wanted;
}

bool IsWanted(const std::vector<char> &wanted, int col)
{
    return wanted.empty() || (col >= 1 && col < static_cast<int>(wanted.size()) && wanted[static_cast<size_t>(col)]);
}

QString NumberDisplay(double v)
{
    return NumberText(v, 15);
}

}  // namespace workbook_internal
