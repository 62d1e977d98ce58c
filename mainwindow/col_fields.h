// 字段处理: the columns the main trade grid can show, with their headings, and the user's choice of
// visible columns and their order, saved as the parameter "FN_" & table.
#pragma once

#include <vector>

#include <QString>

// The column chooser's table ("account"), and after GetColFields the index of the last visible
// column, as decimal text.
QString &ColSetTable();
// How many data columns after the row numbers the column chooser keeps fixed and does not offer (the
// main window sets 2 for the code and the name); 0 once the chooser closes.
int &ColSetMode();

// The columns of a table's grid: fields and headings, parallel, from index 0. Index 0 is the hidden
// record id "ID", index 1 the row numbers "序号" (no field); the others follow the list saved under
// "FN_" & table (comma separated, blanks cut; names that are unknown or repeated are skipped), the
// columns the list does not name after them in their default order; with cut set only the id, the row
// numbers and the listed columns remain. No saved list means every column in the default order. Only
// the table "account" (the part of the text before a "-") is known: any other returns false and
// changes nothing. On true ColSetTable() becomes the index of the last visible column ("17" without a
// saved list).
bool GetColFields(std::vector<QString> &fields, std::vector<QString> &headings, const QString &table, bool cut);
