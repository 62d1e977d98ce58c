// The one way the program asks the user something: message boxes, input boxes, file and colour
// dialogs. The windowed program installs a Qt prompter; tests install a scripted one and read what
// was shown. Without either, a recording prompter answers every question with its default.
#pragma once

#include <cstdint>
#include <deque>
#include <optional>
#include <vector>

#include <QString>
#include <QStringList>

// The program's title, the caption of every message box.
inline const QString kAppTitle = QStringLiteral("Kelvaro股票记账软件");

// Message box styles and answers, with the original platform's numbers (buttons + icon + default).
namespace Msg {
inline constexpr int OkOnly = 0, OkCancel = 1, AbortRetryIgnore = 2, YesNoCancel = 3, YesNo = 4, RetryCancel = 5;
inline constexpr int Critical = 16, Question = 32, Exclamation = 48, Information = 64;
inline constexpr int DefaultButton2 = 256, DefaultButton3 = 512;
inline constexpr int Ok = 1, Cancel = 2, Abort = 3, Retry = 4, Ignore = 5, Yes = 6, No = 7;
}  // namespace Msg

// A file dialog request. `filter` is in Qt's form ("CSV文件 (*.csv);;所有文件 (*.*)"); `filterIndex`
// counts from 1 and comes back as the position of the filter the user chose. A save dialog adds the
// chosen filter's extension to a name typed without one; with confirmOverwrite it asks before an
// existing file is chosen (No as the default button), else it asks nothing and the caller does.
struct FileDialogRequest {
    bool save = false;
    QString title;
    QString filter;
    int filterIndex = 1;
    QString folder;
    QString fileName;
    bool confirmOverwrite = false;
};

class Prompter {
public:
    virtual ~Prompter() = default;
    // Shows a message box; returns the answer (Msg::Ok, Msg::Yes, ...).
    virtual int ShowMessage(const QString &text, int style, const QString &title) = 0;
    // Asks for a text; nothing when cancelled.
    virtual std::optional<QString> AskText(const QString &prompt, const QString &title, const QString &initial) = 0;
    // Asks for a file; the chosen path, or nothing when cancelled. Updates request.filterIndex.
    virtual std::optional<QString> AskFileName(FileDialogRequest &request) = 0;
    // Asks for a colour as 0x00BBGGRR; nothing when cancelled.
    virtual std::optional<uint32_t> AskColor(uint32_t initial) = 0;
};

// What a prompter was asked, in order (kind is "message", "text", "file" or "color").
struct PromptRecord {
    QString kind;
    QString text;
    QString title;
    int style = 0;
};

// Records every question and answers from a script, else with the default: the first button of a
// message box (Ok, Abort, Yes or Retry), the initial text, no file, no colour.
class ScriptedPrompter : public Prompter {
public:
    std::vector<PromptRecord> shown;
    std::deque<int> messageAnswers;
    std::deque<std::optional<QString>> textAnswers;
    std::deque<std::optional<QString>> fileAnswers;
    std::deque<std::optional<uint32_t>> colorAnswers;
    // The file dialog requests as they were made, in order.
    std::vector<FileDialogRequest> fileRequests;

    int ShowMessage(const QString &text, int style, const QString &title) override;
    std::optional<QString> AskText(const QString &prompt, const QString &title, const QString &initial) override;
    std::optional<QString> AskFileName(FileDialogRequest &request) override;
    std::optional<uint32_t> AskColor(uint32_t initial) override;
    // The texts of the message boxes shown so far.
    QStringList Messages() const;
};

// The installed prompter (a ScriptedPrompter with no script until one is installed).
Prompter &GetPrompter();
// Installs a prompter; the caller keeps ownership. nullptr restores the default.
void SetPrompter(Prompter *prompter);

// Shorthands over the installed prompter; the title defaults to the program's title.
int MsgBox(const QString &text, int style = Msg::OkOnly, const QString &title = QString());
std::optional<QString> InputBox(const QString &prompt, const QString &title = QString(),
                                const QString &initial = QString());
