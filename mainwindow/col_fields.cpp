// 字段处理: the trade grid's columns and the user's choice of them.
#include "col_fields.h"

#include <utility>

#include <QStringList>

#include "storage/arrays.h"
#include "storage/params.h"

namespace {

struct ColumnEntry {
    const char *field;
    const char *heading;
};

// The columns of "account": the stored fields, the fields the grid's query computes (sc, profit,
// pper, days) and the live fields filled from the quotes ("_" first).
constexpr ColumnEntry kAccountColumns[] = {
    {"ID", ""},         {"", "序号"},         {"code", "代码"},     {"sname", "股票名称"}, {"num", "数量"},
    {"bdate", "买入日期"}, {"bprice", "买入价"}, {"bcash", "买入金额"}, {"sdate", "卖出日期"}, {"sprice", "卖出价"},
    {"sc", "卖出金额"},   {"profit", "收益额"},  {"pper", "收益率%"},  {"_fper", "浮盈%"},    {"_lprice", "昨收价"},
    {"_rprice", "现价"},  {"_rper", "当天涨幅"}, {"days", "天数"},
};

// The first chosen column: entries 0 and 1 (id and row numbers) always lead.
constexpr int kFirstChoosable = 2;

}  // namespace

QString &ColSetTable()
{
    static QString table;
    return table;
}

int &ColSetMode()
{
    static int mode = 0;
    return mode;
}

bool GetColFields(std::vector<QString> &fields, std::vector<QString> &headings, const QString &table, bool cut)
{
    if (table.section(u'-', 0, 0) != QStringLiteral("account"))
        return false;
    fields.clear();
    headings.clear();
    for (const ColumnEntry &e : kAccountColumns) {
        fields.push_back(QString::fromUtf8(e.field));
        headings.push_back(QString::fromUtf8(e.heading));
    }
    const QString list = GetParam(QStringLiteral("FN_") + table, QString()).trimmed();
    if (list.isEmpty()) {
        ColSetTable() = QString::number(static_cast<int>(fields.size()) - 1);
        return true;
    }
    size_t k = kFirstChoosable;
    for (const QString &name : list.split(u',')) {
        if (name.isEmpty())
            continue;
        const long j = ArrayIndexOf(fields, name, static_cast<long>(k));
        if (j >= 0) {
            std::swap(fields[j], fields[k]);
            std::swap(headings[j], headings[k]);
            ++k;
        }
    }
    if (cut) {
        fields.resize(k);
        headings.resize(k);
    }
    ColSetTable() = QString::number(static_cast<int>(k) - 1);
    return true;
}
