// RecordsHooks: how the writers of trade records (split and merge, the record editor, the quick-buy
// form, the import) reach the main window above them. The main window registers its procedures at
// start-up; until then every entry does nothing, so the writers run in tests without a window.
#pragma once

#include <functional>
#include <optional>

#include <QString>

// A node of the stock tree kept by value: its key ("", "C0", "C2" or "S" & code), its text and its
// creation index counted from 1. The tree is rebuilt often, so no pointer to an item is kept.
struct TreeNodeRef {
    QString key;
    QString text;
    int index = 0;
};

struct RecordsHooks {
    // The main window's current tree node (MF.CurrentNode); nothing when none is current or no
    // window is registered.
    std::function<std::optional<TreeNodeRef>()> currentNode;
    // The common refresh after records changed: MF.TV_NodeClick with MF.CurrentNode (grid, status
    // line, holdings summary and chart).
    std::function<void()> refreshCurrentNode;
    // Rebuilds the stock tree (a writer that may have added a stock to the book).
    std::function<void()> loadStockTree;
    // Resets the date window to the earliest buy date (MF.SetDtpRange) after records were stored:
    // given the latest buy date (a day number) among the records just stored, or nothing when any
    // record of the book may have changed (an import), a window that ends before it ends today.
    std::function<void(std::optional<double>)> setDtpRange;
    // Makes the chart draw anew on its next request: empties the chart picture's Tag and the chart
    // record's code, once the chart exists.
    std::function<void()> resetChart;
    // Refreshes the figures of the whole book (the asset status line, its copy on the status line and
    // the holdings summary) and leaves the grid and the chart as they are.
    std::function<void()> refreshAssetLines;
};

// The program-wide hooks; tests replace or reset them.
RecordsHooks &RecordsWindowHooks();

// Each runs its hook when one is registered, else does nothing (CurrentNodeOf gives nothing).
// ResetDtpRange takes the latest buy date of the records just stored (nothing: any of the book's).
std::optional<TreeNodeRef> CurrentNodeOf();
void RefreshCurrentNode();
void ReloadStockTree();
void ResetDtpRange(std::optional<double> storedBuy = std::nullopt);
void ResetChart();
void RefreshAssetLines();
