// 公共函数, the dialogs part: the file dialog that every open and save of a file goes through, the
// colour dialog, opening a document or web address with its associated program, and waiting until a
// modeless window has been closed. The dialogs are asked through the installed prompter.
#pragma once

#include <cstdint>
#include <functional>

#include <QString>
#include <QUrl>

// The state a dialog keeps between uses: the last file name chosen, the filter index (from 1) and
// the last colour (0x00BBGGRR).
struct CommonDialog {
    QString fileName;
    int filterIndex = 1;
    uint32_t color = 0;
};

// The program's one shared dialog: every file dialog and, unless a form brings its own, every colour
// dialog uses it.
CommonDialog &SharedDialog();

// The filter used when a caller gives none.
inline const QString kCsvFilter = QStringLiteral("CSV (逗号分隔)(*.csv)|*.csv");

// A filter in the program's form "description|patterns|description|patterns..." (patterns joined by
// ";") as the dialog takes it: "description (patterns joined by blanks)" joined by ";;". A trailing
// description without patterns gets "*". Empty for an empty filter.
QString ConvertFileFilter(const QString &filter);

// Where the file dialog keeps its filter index across runs, under the parameter "DefaultType". The
// program installs the parameter store at start-up; until then (and in tests) a value kept in
// memory stands in. Empty functions restore that.
void SetDialogParamStore(std::function<QString(const QString &key, const QString &defaultValue)> get,
                         std::function<void(const QString &key, const QString &value)> save);

// What a save dialog proposes and asks besides: the name it proposes when the name last chosen is of
// a type the filter does not list (a bare name goes into that name's folder), and whether it asks
// before an existing file is chosen.
struct SaveDialogOptions {
    QString proposedName;
    bool confirmOverwrite = false;
};

// Asks for a file to open, or with save set a file to save (unless options ask for it, the dialog asks
// nothing about overwriting: callers do). An empty filter becomes kCsvFilter and is handed back. The
// dialog opens on the file name last chosen and on the filter index saved as "DefaultType" (default
// 1); a save dialog proposes the last name only when the filter lists its type, else the options'
// proposed name. After the dialog, also a cancelled one, the index it ended on is saved there.
// Returns the chosen path, or an empty text when cancelled.
QString GetFileNameDlg(QString &filter, bool save, const SaveDialogOptions &options = {});

// Asks for a colour starting from `initial` (0x00BBGGRR) in the given dialog, or the shared one. The
// chosen colour, or the initial colour when cancelled; the dialog keeps the result.
uint32_t ChooseColor(uint32_t initial, CommonDialog *dialog = nullptr);

// The address ShellOpen hands on: a text with a scheme of two or more letters ("http://...",
// "mailto:...") as it is, anything else as a local file (a relative path taken from the current
// folder).
QUrl ShellOpenUrl(const QString &pathOrAddress);

// Asks the desktop to open a document or address with its associated program. No command line is
// ever built from the text. False when nothing was opened: an empty text, or a desktop without a
// program to open it (a program that starts and then fails is not seen).
bool ShellOpen(const QString &pathOrAddress);
// Replaces what opens the address (tests record it instead and say whether it opened); an empty
// function restores the desktop.
void SetShellOpenHook(std::function<bool(const QUrl &)> open);

// Returns once no loaded window has exactly this caption, handling events while it waits (without
// using the processor in between), so the window it waits for stays usable. Returns at once when no
// such window is loaded or there is no application.
void WaitFormClosed(const QString &caption);
