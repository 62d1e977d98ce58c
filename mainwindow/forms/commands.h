// The main window's commands: adding, editing, deleting, selling, splitting and merging trade
// records from the trade grid, the quick buy, the refresh, the date-window presets and the
// compaction, each by its command index.
#pragma once

#include <QString>

class MFWindow;

// Runs the command with that index on the main window's trade grid (MSF(0)). Every value a command
// works on (the current row's id, code, name and quantity, the ids of rows Row..RowSel) is read before
// its first prompt, so a grid refilled meanwhile changes nothing. The indexes the window handles
// itself (5, 6, 7, 11) and those of other windows (4, 21, 22) and any unknown index do nothing here.
// Holds no guard of its own: MFWindow::Com_Click wraps it in the busy guard with the grid disabled.
void RunCommand(MFWindow &mf, int index);

// The whole numbers of a comma-separated list joined by "," again; every item that is no whole
// number ("", "12a", "1.5") is dropped.
QString WholeIdList(const QString &joined);
