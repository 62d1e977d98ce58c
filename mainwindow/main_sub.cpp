// Main_sub: start-up, the data part of a restart, the schema upgrade and the settings records.
#include "main_sub.h"

#include <memory>

#include <QFile>
#include <QLockFile>

#include "market/calendar.h"
#include "market/history.h"
#include "market/quotes.h"
#include "platform/clock.h"
#include "platform/daynum.h"
#include "platform/program_folder.h"
#include "platform/prompter.h"
#include "records/deelres.h"
#include "storage/common.h"
#include "storage/db_create.h"
#include "storage/db_operate.h"
#include "storage/params.h"
#include "storage/sys_params.h"

namespace {

std::unique_ptr<QLockFile> &InstanceLock()
{
    static std::unique_ptr<QLockFile> lock;
    return lock;
}

struct MainWindowStartupHooks {
    std::function<void()> load;
    std::function<void()> show;
};

MainWindowStartupHooks &WindowHooks()
{
    static MainWindowStartupHooks hooks;
    return hooks;
}

void RunIfSet(const std::function<void()> &step)
{
    if (step)
        step();
}

}  // namespace

QString InstanceLockPath()
{
    return ProgramFilePath(QStringLiteral("kelvaro.lock"));
}

bool AcquireInstanceLock()
{
    auto &lock = InstanceLock();
    if (lock && lock->isLocked())
        return true;
    lock = std::make_unique<QLockFile>(InstanceLockPath());
    // Only a lock whose process has died counts as stale, never one that is merely old.
    lock->setStaleLockTime(0);
    if (lock->tryLock(0))
        return true;
    lock.reset();
    return false;
}

void ReleaseInstanceLock()
{
    InstanceLock().reset();
}

void UpgradeDatabase()
{
    if (FieldExists(QStringLiteral("account"), QStringLiteral("sid")))
        return;
    DbConnection conn;
    if (!OpenConn(conn))
        return;
    // The column and its first fill belong together: when the fill fails the column is rolled back
    // too, so the next start sees the field missing and tries again.
    if (!conn.Begin()) {
        LogDbError(conn.lastError, QStringLiteral("BEGIN"));
        return;
    }
    const bool done =
        ExecSql(QStringLiteral("ALTER TABLE account ADD sid LONG"), &conn) &&
        ExecSql(QStringLiteral("UPDATE account SET sid=0"), &conn) &&
        ExecSql(QStringLiteral("UPDATE account INNER JOIN companyinfo ON account.code=companyinfo.code "
                               "SET account.sid=companyinfo.id WHERE account.sid=0 OR account.sid IS NULL"),
                &conn);
    if (!done) {
        conn.Rollback();
        return;
    }
    if (!conn.Commit()) {
        LogDbError(conn.lastError, QStringLiteral("COMMIT"));
        conn.Rollback();
    }
}

void LoadFormParams()
{
    DbConnection conn;
    RecordSet rs;
    if (OpenRs(conn, rs, QStringLiteral("SELECT * FROM 参数 WHERE var LIKE 'FPAR_%'"))) {
        RestoreFormParams(nullptr, QStringLiteral("SysSet"), SysSetParams(), &rs);
        RestoreFormParams(nullptr, QStringLiteral("MF"), MFParams(), &rs);
        RestoreFormParams(nullptr, QStringLiteral("KTradeDispSet"), KTradeDispSetParams(), &rs);
        RestoreFormParams(nullptr, QStringLiteral("MSFViewSet"), MSFViewSetParams(), &rs);
    }
    CloseRs(conn, rs);
}

double RecalcStartDate(double downloadedFrom)
{
    const Value newest = GetFieldValue(QStringLiteral("deelres"), QStringLiteral("TRUE ORDER BY dat DESC"),
                                       QStringLiteral("dat"), MakeEmpty());
    // Days valued before their prices arrived are valued again.
    if (newest.IsDate() || (newest.IsNumeric() && newest.num > 0))
        return downloadedFrom > 0 && downloadedFrom < newest.num ? downloadedFrom : newest.num;
    // A failed query gives an Empty value, not the default: both mean "start today".
    if (newest.IsString()) {
        if (const auto d = ParseDate(newest.str); d && *d > kEmptyDate)
            return *d;
    }
    return ClockTodayDayNumber();
}

StartupSteps DefaultStartupSteps()
{
    StartupSteps s;
    s.upgradeDatabase = UpgradeDatabase;
    s.getLastQuoteDate = [] { GetLastQuoteDate(); };
    s.downloadAllHistory = DownloadAllHistory;
    s.rebuildLastClosePrices = RebuildLastClosePrices;
    s.loadFormParams = LoadFormParams;
    s.loadSysParams = LoadSysParams;
    s.rebuildQuoteList = RebuildQuoteList;
    s.recalcDeelRes = [](double startDate) { RecalcDeelRes(startDate, true); };
    return s;
}

StartupSteps &CurrentStartupSteps()
{
    static StartupSteps steps = DefaultStartupSteps();
    return steps;
}

void SetMainWindowStartupHooks(std::function<void()> load, std::function<void()> show)
{
    WindowHooks().load = std::move(load);
    WindowHooks().show = std::move(show);
}

bool EnsureAccDb(const QString &dataFolder)
{
    const QString path = ProgramFilePath(kAccDb);
    if (QFile::exists(path))
        return true;
    return CreateAccDb(path, dataFolder);
}

int Main(const QString &dataFolder)
{
    if (!AcquireInstanceLock()) {
        MsgBox(kAlreadyRunningText, Msg::OkOnly);
        return 1;
    }
    if (!dataFolder.isEmpty())
        EnsureAccDb(dataFolder);
    const StartupSteps steps = CurrentStartupSteps();
    RunIfSet(steps.upgradeDatabase);
    // The downloads count on the latest trading date, so it is fetched first.
    RunIfSet(steps.getLastQuoteDate);
    const double downloadedFrom = steps.downloadAllHistory ? steps.downloadAllHistory() : 0;
    RunIfSet(steps.rebuildLastClosePrices);
    RunIfSet(steps.loadFormParams);
    // The window loads before the system settings reach its refresh timer.
    RunIfSet(WindowHooks().load);
    RunIfSet(steps.loadSysParams);
    RunIfSet(steps.rebuildQuoteList);
    if (steps.recalcDeelRes)
        steps.recalcDeelRes(RecalcStartDate(downloadedFrom));
    RunIfSet(WindowHooks().show);
    return 0;
}

void RestartData()
{
    const StartupSteps steps = CurrentStartupSteps();
    // A restored older backup may lack account.sid, which the record writers need.
    RunIfSet(steps.upgradeDatabase);
    const double downloadedFrom = steps.downloadAllHistory ? steps.downloadAllHistory() : 0;
    // As at a start, the settings come from the new file only: a setting it lacks takes its default
    // instead of staying as the old file had it.
    ResetFormParamSets();
    RunIfSet(steps.loadFormParams);
    RunIfSet(steps.loadSysParams);
    RunIfSet(steps.rebuildQuoteList);
    if (steps.recalcDeelRes)
        steps.recalcDeelRes(RecalcStartDate(downloadedFrom));
}
