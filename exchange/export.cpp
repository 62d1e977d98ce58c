// 导出模块: exporting grids and queries to CSV or Excel files.
#include "export.h"

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
