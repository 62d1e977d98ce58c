// 股票树 (window side): the stock tree widget.
#include "stock_tree_form.h"

#include <vector>

#include <QDateEdit>
#include <QPainter>
#include <QPixmap>
#include <QSignalBlocker>
#include <QStyle>
#include <QStyleFactory>
#include <QTreeWidget>

#include "mainwindow/forms/mf.h"
#include "mainwindow/stock_tree.h"
#include "platform/daynum.h"

namespace {

const QColor kRootColor(128, 0, 0);

// The picture of the root and the groups: a small chart of a rising price in a frame.
QIcon MakeGroupIcon()
{
    QPixmap pm(16, 16);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(90, 90, 90), 1));
    p.setBrush(QColor(255, 250, 235));
    p.drawRect(QRectF(1.5, 1.5, 13, 13));
    p.setPen(QPen(kRootColor, 1.6));
    const QPointF line[] = {{3, 12}, {6, 8}, {9, 10}, {13, 4}};
    p.drawPolyline(line, 4);
    return QIcon(pm);
}

}  // namespace

QHash<QString, QIcon> MakeTreeImageList()
{
    return {{QStringLiteral("R0"), MakeGroupIcon()}};
}

void SetTreeStyle(QTreeWidget *tree)
{
    tree->setColumnCount(1);
    tree->setHeaderHidden(true);
    tree->setRootIsDecorated(true);
    // The classic look draws dotted lines with plus/minus boxes at the branches.
    if (QStyle *lines = QStyleFactory::create(QStringLiteral("Windows"))) {
        lines->setParent(tree);
        tree->setStyle(lines);
    }
}

void LoadStockTree(QTreeWidget *tree)
{
    MFWindow *mf = MF();
    const auto restored = LoadStockTree(DayNumberOf(mf->DTP[0]->date()), DayNumberOf(mf->DTP[1]->date()));
    const std::vector<StockTreeNode> &nodes = StockTree();
    // The user's node stays current while the new tree still has it (found by its key, so a stock is
    // kept by its code), taking its place in this tree; else the saved node, else the root.
    std::optional<TreeNodeRef> kept;
    if (mf->CurrentNode)
        for (const StockTreeNode &n : nodes)
            if (n.node.key == mf->CurrentNode->key)
                kept = n.node;
    if (!kept)
        kept = restored;
    if (!kept && !nodes.empty())
        kept = nodes.front().node;
    mf->CurrentNode = kept;

    const QSignalBlocker quiet(tree);
    tree->setUpdatesEnabled(false);
    tree->clear();
    std::vector<QTreeWidgetItem *> items;
    items.reserve(nodes.size());
    QTreeWidgetItem *current = nullptr;
    for (const StockTreeNode &n : nodes) {
        auto *item = new QTreeWidgetItem(QStringList{n.node.text});
        item->setData(0, kNodeKeyRole, n.node.key);
        item->setData(0, kNodeIndexRole, n.node.index);
        if (!n.image.isEmpty())
            item->setIcon(0, mf->ImgList.value(n.image));
        if (n.bold) {
            QFont font = item->font(0);
            font.setBold(true);
            item->setFont(0, font);
            item->setForeground(0, kRootColor);
        }
        if (n.parent > 0 && n.parent <= static_cast<int>(items.size()))
            items[n.parent - 1]->addChild(item);
        else
            tree->addTopLevelItem(item);
        items.push_back(item);
        if (mf->CurrentNode && mf->CurrentNode->key == n.node.key)
            current = item;
    }
    for (size_t i = 0; i < nodes.size(); ++i)
        if (nodes[i].expanded)
            items[i]->setExpanded(true);
    if (current)
        tree->setCurrentItem(current);
    tree->setUpdatesEnabled(true);
}
