// RecordsHooks: the main window's procedures as the record writers reach them.
#include "records/records_hooks.h"

RecordsHooks &RecordsWindowHooks()
{
    static RecordsHooks hooks;
    return hooks;
}

std::optional<TreeNodeRef> CurrentNodeOf()
{
    const auto &f = RecordsWindowHooks().currentNode;
    return f ? f() : std::nullopt;
}

void RefreshCurrentNode()
{
    if (const auto &f = RecordsWindowHooks().refreshCurrentNode)
        f();
}

void ReloadStockTree()
{
    if (const auto &f = RecordsWindowHooks().loadStockTree)
        f();
}

void ResetDtpRange(std::optional<double> storedBuy)
{
    if (const auto &f = RecordsWindowHooks().setDtpRange)
        f(storedBuy);
}

void ResetChart()
{
    if (const auto &f = RecordsWindowHooks().resetChart)
        f();
}

void RefreshAssetLines()
{
    if (const auto &f = RecordsWindowHooks().refreshAssetLines)
        f();
}
