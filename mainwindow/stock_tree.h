// 股票树: the stock tree as data. A root for the whole book, a group of the stocks held now ("C0") and
// a group of the stocks held before ("C2"), and under them one node per stock traded in the main
// window's date window or still held. The main window shows it; the trade grid reads the codes of the
// node the user selected.
#pragma once

#include <optional>
#include <vector>

#include <QString>

#include "records/records_hooks.h"

// A node of the stock tree: the node by value (key, text, Index), the Index of its parent (0 for the
// root), the key of its picture in the main window's image list ("" for none) and how it is shown.
struct StockTreeNode {
    TreeNodeRef node;
    int parent = 0;
    QString image;
    bool expanded = false;
    bool bold = false;
};

// The program's stock tree, its nodes in creation order: the node at position i has Index i + 1.
std::vector<StockTreeNode> &StockTree();

// Removes every node and adds the root: the given text, picture "R0", expanded and bold, Index 1.
// Returns the root.
TreeNodeRef InitTreeRoot(std::vector<StockTreeNode> &tree, const QString &text);

// The query of the tree's stocks for the date window d0..d1 (day numbers, either order): every stock
// with a record bought inside the window or still open, one row per code and name, the stock whose
// latest sale is newest first.
QString StockTreeSql(double d0, double d1);

// Rebuilds StockTree() from ACC.MDB for the date window d0..d1 (either order): the root "我的股票",
// "C0" "当前持有" and "C2" "曾经持有" under it, then one node "S" & code, text "[" & code & "]" &
// name, per stock in query order, under "C0" when one of its records is open (sp <= 0), else under
// "C2". A code met again in the query (its records carry another name) joins its first node, which
// keeps its place and name and moves under "C0" when that row has an open record. A failed query
// leaves the root and the two empty groups (the layer logs it). Returns the node whose Index is the
// leading number of the parameter "当前结点", the last node included; nothing for 0, a negative value
// or one above the node count.
std::optional<TreeNodeRef> LoadStockTree(double d0, double d1);

// The codes a node stands for, as an SQL list: a stock node ("S" key) its code, the six characters
// of its text after "[", quoted; a group ("C" key) the codes of its children in StockTree(), quoted
// and joined by "," in the tree's order ("" without children); nothing or any other node (the root)
// "", meaning every record.
QString GetNodeCodes(const std::optional<TreeNodeRef> &node);
