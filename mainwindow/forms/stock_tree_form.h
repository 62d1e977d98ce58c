// 股票树 (window side): the main window's stock tree widget, rebuilt from the tree's data.
#pragma once

#include <QHash>
#include <QIcon>
#include <QString>

class QTreeWidget;

// The main window's image list: the pictures of tree nodes by key ("R0" for the root and the groups).
QHash<QString, QIcon> MakeTreeImageList();

// Gives the tree its look: lines with plus/minus buttons at the branches, one column, no header.
void SetTreeStyle(QTreeWidget *tree);

// Rebuilds the stock tree (the main window's TV) for the window of the main window's date pickers:
// the nodes of LoadStockTree with their pictures from the window's ImgList, the root bold and dark
// red, root and groups expanded. The window's CurrentNode stays when the new tree has its key (a
// stock is kept by its code), taking the Index and text the key has in the new tree; otherwise (none
// current, or its stock left the tree) it becomes the saved node, and without one the root. The
// current node is shown as the tree's current item. The tree is not repainted and sends no signals
// while it is rebuilt.
void LoadStockTree(QTreeWidget *tree);
