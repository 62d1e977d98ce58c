// 股票树: the stock tree as data.
#include "stock_tree.h"

#include <QStringList>

#include "platform/daynum.h"
#include "platform/numeric.h"
#include "platform/recordset.h"
#include "storage/common.h"
#include "storage/db_operate.h"
#include "storage/params.h"

namespace {

const QString kImageR0 = QStringLiteral("R0");

int AddNode(std::vector<StockTreeNode> &tree, int parent, const QString &key, const QString &text,
            const QString &image)
{
    StockTreeNode n;
    n.node = TreeNodeRef{key, text, static_cast<int>(tree.size()) + 1};
    n.parent = parent;
    n.image = image;
    tree.push_back(n);
    return n.node.index;
}

// The node with that key, or nullptr.
StockTreeNode *FindNode(std::vector<StockTreeNode> &tree, const QString &key)
{
    for (StockTreeNode &n : tree)
        if (n.node.key == key)
            return &n;
    return nullptr;
}

// The code of a stock node: the six characters after "[" in its text, quoted for SQL.
QString QuotedCodeOf(const QString &text)
{
    return SqlQuote(text.mid(text.indexOf(u'[') + 1, 6));
}

}  // namespace

std::vector<StockTreeNode> &StockTree()
{
    static std::vector<StockTreeNode> tree;
    return tree;
}

TreeNodeRef InitTreeRoot(std::vector<StockTreeNode> &tree, const QString &text)
{
    tree.clear();
    AddNode(tree, 0, QString(), text, kImageR0);
    tree.back().expanded = true;
    tree.back().bold = true;
    return tree.back().node;
}

QString StockTreeSql(double d0, double d1)
{
    OrderPair(d1, d0);
    const QString inner = AddWhereCondition(
        QStringLiteral("SELECT Code,SName,Min(SPrice) AS sp,MAX(sDate) AS sDat FROM account"),
        QStringLiteral("((bdate>=#") + DateText(d0) + QStringLiteral("# AND bdate<=#") + DateText(d1) +
            QStringLiteral("#) OR sprice=0)"));
    return QStringLiteral("SELECT * FROM (") + inner + QStringLiteral(" GROUP BY Code,SName) ORDER BY sDat DESC");
}

std::optional<TreeNodeRef> LoadStockTree(double d0, double d1)
{
    const double saved = RoundHalfEven(LeadingNumber(GetParam(QStringLiteral("当前结点"), QStringLiteral("0"))), 0);
    std::vector<StockTreeNode> &tree = StockTree();
    const int root = InitTreeRoot(tree, QStringLiteral("我的股票")).index;
    const int held = AddNode(tree, root, QStringLiteral("C0"), QStringLiteral("当前持有"), kImageR0);
    const int former = AddNode(tree, root, QStringLiteral("C2"), QStringLiteral("曾经持有"), kImageR0);
    tree[held - 1].expanded = true;
    tree[former - 1].expanded = true;

    DbConnection conn;
    RecordSet rs;
    if (OpenRs(conn, rs, StockTreeSql(d0, d1))) {
        for (; !rs.AtEOF(); rs.MoveNext()) {
            const QString code = rs.Field(QStringLiteral("Code")).ToText();
            const bool open = rs.Field(QStringLiteral("sp")).ToDouble() <= 0;
            const QString key = QStringLiteral("S") + code;
            // Records of one code under two names come as two rows; the stock keeps one node.
            if (StockTreeNode *first = FindNode(tree, key)) {
                if (open)
                    first->parent = held;
                continue;
            }
            AddNode(tree, open ? held : former, key,
                    u'[' + code + u']' + rs.Field(QStringLiteral("SName")).ToText(), QString());
        }
    }
    CloseRs(conn, rs);

    const double count = static_cast<double>(tree.size());
    if (!(saved > 0 && saved <= count))
        return std::nullopt;
    return tree[static_cast<size_t>(saved) - 1].node;
}

QString GetNodeCodes(const std::optional<TreeNodeRef> &node)
{
    if (!node)
        return QString();
    if (node->key.startsWith(u'S'))
        return QuotedCodeOf(node->text);
    if (!node->key.startsWith(u'C'))
        return QString();
    std::vector<StockTreeNode> &tree = StockTree();
    const StockTreeNode *group = FindNode(tree, node->key);
    if (!group)
        return QString();
    QStringList codes;
    for (const StockTreeNode &n : tree)
        if (n.parent == group->node.index)
            codes << QuotedCodeOf(n.node.text);
    return codes.join(u',');
}
