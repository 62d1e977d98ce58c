// Main_sub: the program's start-up (single-instance check, schema upgrade, downloads, settings,
// quotes, per-day assets, then the main window), the data part of a restart after the database file
// was replaced or emptied, and the loading of the saved window settings.
#pragma once

#include <functional>
#include <optional>

#include <QString>

// The message shown when the program is started while another instance runs.
inline const QString kAlreadyRunningText = QStringLiteral("本软件已经在运行中，勿重复运行！");

// The lock file that marks a running instance: "kelvaro.lock" in the program folder.
QString InstanceLockPath();

enum class InstanceLock {
    Taken,                 // this process holds it now
    HeldElsewhere,         // another running process (or another lock object in this process) holds it
    HeldOnAnotherMachine,  // the lock file names another machine: a program there holds it, or ended there
    Unreadable,            // the lock file names nobody: empty or damaged, as a power cut may leave it
    CannotCreate,          // the lock file cannot be made (a folder that cannot be written)
};

// Takes the single-instance lock and holds it until ReleaseInstanceLock or the end of the process.
// A lock file left behind by a process of this machine that no longer runs is taken over. A lock file
// whose host name (in any letter case) or machine id differs from this machine's, where both are known,
// is another machine's (a home folder shared over the network): whether its process runs cannot be
// known here, so it is never taken over; question then receives the question to ask, naming the lock
// file and that machine. A lock file that names no owner (empty or damaged: Unreadable) is never taken
// over either; question then receives the question that says so. Nothing is written when the lock is
// not taken.
InstanceLock AcquireInstanceLock(QString *question = nullptr);
// Removes the lock file another machine left, or one that names nobody, and takes the lock; false
// when the file cannot be removed (a process holds it locked) or the lock cannot be taken then.
bool TakeOverInstanceLock();
void ReleaseInstanceLock();

// Brings an older ACC.MDB up to the current schema: when table account has no field sid, adds it
// (0 in every row) and sets it to companyinfo.id for every record whose code is listed there; codes
// that are not listed keep 0. Both statements run in one transaction, so a failure leaves the file as
// it was and the upgrade is tried again at the next start. Nothing when the field exists. Failures
// are logged to RunErr.txt by the database layer and otherwise ignored.
void UpgradeDatabase();

// Fills the four settings records (SysSetParams, MFParams, KTradeDispSetParams, MSFViewSetParams)
// from one query over the parameters "FPAR_%"; no window is touched. When the query fails the
// records keep what they held.
void LoadFormParams();

// The buy date (a day number) of the book's earliest record, or with latest of its newest; nothing
// for an empty book or when it cannot be read.
std::optional<double> BookBuyDay(bool latest = false);

// The first day (a day number) of the per-day asset recomputation at start-up and restart: the
// newest DeelRes.dat, or downloadedFrom (the earliest day the history download stored, 0 for none)
// when that is earlier. When the table is empty or cannot be read: the earliest buy date of the book
// (never after today), today for an empty book.
double RecalcStartDate(double downloadedFrom = 0);

// The steps of start-up and restart that reach other subsystems, in the order they run. They
// default to the real procedures; tests replace single steps to watch the order.
struct StartupSteps {
    std::function<void()> upgradeDatabase;
    std::function<void()> getLastQuoteDate;
    // Returns the earliest day it stored, 0 for none (DownloadAllHistory).
    std::function<double()> downloadAllHistory;
    std::function<void()> rebuildLastClosePrices;
    std::function<void()> loadFormParams;
    std::function<void()> loadSysParams;
    // The quote list and one real-time update.
    std::function<void()> rebuildQuoteList;
    // RecalcDeelRes from the day number, with the progress display.
    std::function<void(double startDate)> recalcDeelRes;
};
StartupSteps DefaultStartupSteps();
// The steps in use; assign DefaultStartupSteps() to restore them.
StartupSteps &CurrentStartupSteps();

// The main window's part of start-up, registered by the window module: `load` creates the main
// window (its load runs there, before the system settings reach its refresh timer), `show` shows it
// modeless at the end of start-up. Both default to nothing.
void SetMainWindowStartupHooks(std::function<void()> load, std::function<void()> show);

// The program's start-up, in this order:
// - the database's now() and date() are set to read the clock in China Standard Time, the market's
//   (SetDbClockOffset, kMarketUtcOffsetSeconds), so that the days a record is held are market days;
// - the book ACC.MDB in the program folder is looked at without changing it; when it is no book of
//   this program, a folder, a file that cannot be written, in a folder that cannot be written, or
//   missing or empty with no dataFolder holding what a new one is made from, a message names the
//   file and what is wrong, and nothing else runs;
// - the single-instance check: kAlreadyRunningText when another instance holds the lock, a message
//   naming the lock file when it cannot be made; nothing else runs then. A lock another machine left
//   brings a question (Yes, No; No the default) that names the lock file and that machine and warns
//   "如果程序仍在那台电脑上运行，同时使用会损坏账本": No ends the program; Yes removes the lock file and takes
//   the lock, and when that fails kAlreadyRunningText shows and the program ends. A lock file that
//   names nobody (empty or damaged) brings the same question, saying so instead of naming a machine;
// - a missing or zero-byte ACC.MDB beside whole copies of it (IsWholeBook; the copies KeptBookCopies
//   names with allCopies, the compaction's "backup" and "ACC.MDB.new" included): a question names the
//   newest of them (up to 5; of the copies that InspectBookFile finds Ok, the newest 20 looked at); No
//   ends the program with nothing changed;
// - the watch on database failures (WatchDbFailures) starts: from the first read on, damage to the
//   book is said before anything more is written;
// - with a book in place, what an interrupted restore or compaction left beside it, or beside the file
//   it leads to when it is a link (BookLeftovers, the compaction's folder included), is tidied when the
//   book passes IsWholeBook, and left when it does not: a whole copy holding an account row the book
//   lacks (HoldsRowsTheBookLacks) is kept aside as that folder's FreeKeepName, the rest is removed;
// - a missing or zero-byte ACC.MDB is made anew from dataFolder; when the program folder is the
//   application data folder standing in for the executable's, a message says where the new book is;
// - the idle connection (platform/db.h) is taken on the book for the rest of the program's life;
// - the schema upgrade; the latest trading date; the history downloads; the last-close table; the
//   settings records; the main window's load; the system settings; the quote list; the per-day assets
//   from RecalcStartDate(); the main window shown. A request that waits longer than a second shows
//   the progress window in busy mode until it ends (unless the window is up already), with a caption
//   naming the service and the time-out, as every request does (HttpPost, market/http.h).
// Every message but the questions has an OK button only. Returns 0 when the program goes on in the
// main window's events, 1 when it ends.
int Main(const QString &dataFolder = QString());

// The data part of a restart on a replaced or emptied database file: the failures told so far
// forgotten (ForgetDbFailuresTold), the idle connection taken again on the file now in place, the
// schema upgrade, the history downloads, the settings records, the system settings, the quote list and
// the per-day assets from RecalcStartDate(). No instance check, no latest trading date, no last-close
// rebuild.
void RestartData();
