// The trade grid's column list and the saved choice of visible columns.
#include <gtest/gtest.h>

#include "fixtures/db_fixture.h"
#include "mainwindow/col_fields.h"
#include "storage/params.h"

namespace {

class ColFieldsTest : public DbFixture {};

TEST_F(ColFieldsTest, SavedChoiceOrdersAndCutsTheColumns)
{
    const std::vector<QString> all = {"ID",    "",     "code",  "sname",   "num",     "bdate",
                                      "bprice", "bcash", "sdate", "sprice", "sc",     "profit",
                                      "pper",  "_fper", "_lprice", "_rprice", "_rper", "days"};
    struct Case {
        const char *table;
        const char *saved;  // nullptr: no row
        bool cut;
        bool known;
        std::vector<QString> fields;  // the first entries, or all of them with the cut
        const char *last;
    };
    const Case cases[] = {
        {"account", nullptr, true, true, all, "17"},
        {"account", nullptr, false, true, all, "17"},
        {"account", "   ", true, true, all, "17"},
        {"account", "bdate,code ", true, true, {"ID", "", "bdate", "code"}, "3"},
        // Without the cut the exchanges leave the others behind the chosen ones.
        {"account", "bdate,code ", false, true, {"ID", "", "bdate", "code", "num", "sname", "bprice"}, "3"},
        {"account", "code,code,sname ", true, true, {"ID", "", "code", "sname"}, "3"},
        {"account", "code,xyz,,ID ", true, true, {"ID", "", "code"}, "2"},
        {"account", "Code ", true, true, {"ID", ""}, "1"},
        {"account-2", "num ", true, true, {"ID", "", "num"}, "2"},
        {"companyinfo", "code ", true, false, {"keep"}, "before"},
        {"Account", nullptr, true, false, {"keep"}, "before"},
    };
    for (const Case &c : cases) {
        Exec("DELETE FROM 参数 WHERE Var LIKE 'FN_%'");
        if (c.saved)
            SaveParam(QStringLiteral("FN_") + c.table, c.saved);
        std::vector<QString> fields = {"keep"}, headings = {"keep"};
        ColSetTable() = "before";
        EXPECT_EQ(GetColFields(fields, headings, c.table, c.cut), c.known) << c.table << " " << c.saved;
        EXPECT_EQ(ColSetTable(), c.last) << c.saved;
        ASSERT_EQ(fields.size(), headings.size());
        if (c.cut || !c.known)
            EXPECT_EQ(fields, c.fields) << c.saved;
        else
            EXPECT_EQ(std::vector<QString>(fields.begin(), fields.begin() + c.fields.size()), c.fields) << c.saved;
    }
    std::vector<QString> fields, headings;
    SaveParam("FN_account", "bdate,code ");
    GetColFields(fields, headings, "account", true);
    EXPECT_EQ(headings, (std::vector<QString>{"", "序号", "买入日期", "代码"}));
    GetColFields(fields, headings, "account", false);
    EXPECT_EQ(fields.size(), 18u);
    EXPECT_EQ(headings[17], "天数");
}

}  // namespace
