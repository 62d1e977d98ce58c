// The stock tree: its nodes for a date window, the saved node and the codes of a node.
#include <gtest/gtest.h>

#include <functional>

#include "fixtures/db_fixture.h"
#include "mainwindow/stock_tree.h"
#include "platform/daynum.h"
#include "storage/params.h"

namespace {

class StockTreeTest : public DbFixture {
protected:
    // code, name, buy date, sell date ("" open), sell price (0 open).
    void AddRecord(const char *code, const char *name, const char *bdate, const char *sdate, double sprice)
    {
        Exec(QStringLiteral("INSERT INTO account (code,sname,bdate,bprice,num,tnum,sdate,sprice) "
                            "VALUES ('%1','%2',#%3#,10,100,100,#%4#,%5)")
                 .arg(QString::fromUtf8(code), QString::fromUtf8(name), QString::fromUtf8(bdate),
                      QString::fromUtf8(*sdate ? sdate : "1900-1-1"))
                 .arg(sprice));
    }
    // The book of the window 2024-01-01 to 2024-05-20: 600000 held (and sold once before the window),
    // 000001 and 000002 bought and sold inside it, 600036 traded only before it.
    void AddWindowBook()
    {
        AddRecord("600000", "浦发银行", "2024-01-10", "", 0);
        AddRecord("600000", "浦发银行", "2023-06-01", "2023-07-01", 11);
        AddRecord("000001", "平安银行", "2024-02-01", "2024-03-05", 12);
        AddRecord("000002", "万科A", "2024-01-05", "2024-04-01", 9);
        AddRecord("600036", "招商银行", "2022-01-01", "2022-02-01", 30);
    }
    static std::optional<TreeNodeRef> LoadWindow()
    {
        // The pickers may stand in either order.
        return LoadStockTree(DayNumberOf(2024, 5, 20), DayNumberOf(2024, 1, 1));
    }
    struct Expected {
        const char *key;
        const char *text;
        int parent;
    };
    static void ExpectTree(const std::vector<Expected> &expected)
    {
        const std::vector<StockTreeNode> &tree = StockTree();
        ASSERT_EQ(tree.size(), expected.size());
        for (size_t i = 0; i < expected.size(); ++i) {
            EXPECT_EQ(tree[i].node.key, QString::fromUtf8(expected[i].key)) << i;
            EXPECT_EQ(tree[i].node.text, QString::fromUtf8(expected[i].text)) << i;
            EXPECT_EQ(tree[i].node.index, static_cast<int>(i) + 1);
            EXPECT_EQ(tree[i].parent, expected[i].parent) << expected[i].text;
        }
    }
};

TEST_F(StockTreeTest, StocksOfTheWindowUnderTheirGroupsNewestSaleFirst)
{
    AddWindowBook();
    EXPECT_FALSE(LoadWindow());
    ExpectTree({{"", "我的股票", 0},
                {"C0", "当前持有", 1},
                {"C2", "曾经持有", 1},
                {"S000002", "[000002]万科A", 3},
                {"S000001", "[000001]平安银行", 3},
                {"S600000", "[600000]浦发银行", 2}});
    const std::vector<StockTreeNode> &tree = StockTree();
    for (size_t i = 0; i < tree.size(); ++i) {
        EXPECT_EQ(tree[i].image, i < 3 ? "R0" : "") << i;
        EXPECT_EQ(tree[i].expanded, i < 3) << i;
        EXPECT_EQ(tree[i].bold, i == 0) << i;
    }

    struct Case {
        std::optional<TreeNodeRef> node;
        const char *codes;
    };
    const Case cases[] = {
        {tree[2].node, "'000002','000001'"},
        {tree[1].node, "'600000'"},
        {tree[5].node, "'600000'"},
        {tree[0].node, ""},
        {std::nullopt, ""},
        // A node kept from an earlier tree is looked up by its key.
        {TreeNodeRef{"C2", "曾经持有", 7}, "'000002','000001'"},
        // A code holding a quote stays one SQL text.
        {TreeNodeRef{"S60'001", "[60'001]测试", 9}, "'60''001'"},
    };
    for (const Case &c : cases)
        EXPECT_EQ(GetNodeCodes(c.node), QString::fromUtf8(c.codes)) << (c.node ? c.node->text.toStdString() : "none");
}

TEST_F(StockTreeTest, SavedNodeIsRestoredOnlyInsideTheTree)
{
    AddWindowBook();
    struct Case {
        const char *saved;
        const char *key;  // nullptr: none restored
    };
    const Case cases[] = {
        {"5", "S000001"}, {"1", ""},       {"2", "C0"},      {"5.4", "S000001"},
        {"0", nullptr},   {"-3", nullptr}, {"6", "S600000"},  // the last node too
        {"7", nullptr},   {"abc", nullptr}, {"", nullptr},  {"99999999999", nullptr},
    };
    for (const Case &c : cases) {
        SaveParam(QStringLiteral("当前结点"), QString::fromUtf8(c.saved));
        const auto node = LoadWindow();
        ASSERT_EQ(node.has_value(), c.key != nullptr) << c.saved;
        if (node) {
            EXPECT_EQ(node->key, QString::fromUtf8(c.key)) << c.saved;
        }
    }
}

TEST_F(StockTreeTest, EdgesOfTheWindowAndOfTheBook)
{
    struct Case {
        const char *what;
        std::function<void()> book;
        std::vector<Expected> tree;
    };
    const Case cases[] = {
        {"empty book", [] {},
         {{"", "我的股票", 0}, {"C0", "当前持有", 1}, {"C2", "曾经持有", 1}}},
        {"bought before the window and still held",
         [this] { AddRecord("600519", "贵州茅台", "2020-03-03", "", 0); },
         {{"", "我的股票", 0}, {"C0", "当前持有", 1}, {"C2", "曾经持有", 1}, {"S600519", "[600519]贵州茅台", 2}}},
        {"two names: one node, the first name, held when any row is open",
         [this] {
             AddRecord("600000", "浦发银行", "2024-02-01", "2024-03-01", 11);
             AddRecord("600000", "浦发", "2024-02-02", "", 0);
             AddRecord("000001", "平安银行", "2024-01-08", "2024-01-09", 11);
         },
         {{"", "我的股票", 0},
          {"C0", "当前持有", 1},
          {"C2", "曾经持有", 1},
          {"S600000", "[600000]浦发银行", 2},
          {"S000001", "[000001]平安银行", 3}}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        Exec(QStringLiteral("DELETE FROM account"));
        c.book();
        LoadWindow();
        ExpectTree(c.tree);
    }
    // A query that cannot run leaves the root and the empty groups.
    Exec(QStringLiteral("DROP TABLE account"));
    LoadWindow();
    ExpectTree({{"", "我的股票", 0}, {"C0", "当前持有", 1}, {"C2", "曾经持有", 1}});
    EXPECT_EQ(LogEntryCount(), 1);
}

}  // namespace
