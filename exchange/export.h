// 导出模块: exporting grids and queries to CSV or Excel files, and the Excel-style column letters
// they and the import share.
#pragma once

#include <QString>

// The column number of Excel-style column letters, blanks around them and case ignored: "A" 1, "Z" 26,
// "AA" 27, "ZZ" 702. Only the length is checked, not that the characters are letters: a text of one
// or two characters gives (code of the last character − 64) + 26 × (code of the first − 64) for two,
// raised to at least 1 (so "3" gives 1); any other length gives 0 (unusable).
int ColumnLettersToNumber(const QString &text);
