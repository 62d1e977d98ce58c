// The replaceable prompter and its scripted default.
#include "prompter.h"

namespace {

ScriptedPrompter &DefaultPrompter()
{
    static ScriptedPrompter p;
    return p;
}

Prompter *&Installed()
{
    static Prompter *p = nullptr;
    return p;
}

int FirstButton(int style)
{
    switch (style & 7) {
    case Msg::AbortRetryIgnore:
        return Msg::Abort;
    case Msg::YesNoCancel:
    case Msg::YesNo:
        return Msg::Yes;
    case Msg::RetryCancel:
        return Msg::Retry;
    default:
        return Msg::Ok;
    }
}

}  // namespace

int ScriptedPrompter::ShowMessage(const QString &text, int style, const QString &title)
{
    shown.push_back({QStringLiteral("message"), text, title, style});
    if (messageAnswers.empty())
        return FirstButton(style);
    const int a = messageAnswers.front();
    messageAnswers.pop_front();
    return a;
}

namespace {

// The first scripted answer, removed from the queue.
std::optional<QString> TakeFront(std::deque<std::optional<QString>> &answers)
{
    std::optional<QString> a;
    if (answers.front())
        a.emplace(*answers.front());
    answers.pop_front();
    return a;
}

}  // namespace

std::optional<QString> ScriptedPrompter::AskText(const QString &prompt, const QString &title, const QString &initial)
{
    shown.push_back({QStringLiteral("text"), prompt, title, 0});
    if (textAnswers.empty())
        return initial;
    return TakeFront(textAnswers);
}

std::optional<QString> ScriptedPrompter::AskFileName(FileDialogRequest &request)
{
    shown.push_back({QStringLiteral("file"), request.filter, request.title, request.save ? 1 : 0});
    fileRequests.push_back(request);
    if (fileAnswers.empty())
        return std::nullopt;
    return TakeFront(fileAnswers);
}

std::optional<uint32_t> ScriptedPrompter::AskColor(uint32_t)
{
    shown.push_back({QStringLiteral("color"), QString(), QString(), 0});
    if (colorAnswers.empty())
        return std::nullopt;
    auto a = colorAnswers.front();
    colorAnswers.pop_front();
    return a;
}

QStringList ScriptedPrompter::Messages() const
{
    QStringList out;
    for (const auto &r : shown)
        if (r.kind == QStringLiteral("message"))
            out << r.text;
    return out;
}

Prompter &GetPrompter()
{
    Prompter *p = Installed();
    return p ? *p : DefaultPrompter();
}

void SetPrompter(Prompter *prompter)
{
    Installed() = prompter;
}

int MsgBox(const QString &text, int style, const QString &title)
{
    return GetPrompter().ShowMessage(text, style, title.isEmpty() ? kAppTitle : title);
}

std::optional<QString> InputBox(const QString &prompt, const QString &title, const QString &initial)
{
    return GetPrompter().AskText(prompt, title.isEmpty() ? kAppTitle : title, initial);
}
