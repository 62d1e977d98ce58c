// The windowed prompter: message boxes, input boxes, file and colour dialogs over Qt's dialogs. The
// texts of message and input boxes show CR LF and a lone CR as line breaks.
#pragma once

#include "platform/prompter.h"

class QtPrompter : public Prompter {
public:
    int ShowMessage(const QString &text, int style, const QString &title) override;
    std::optional<QString> AskText(const QString &prompt, const QString &title, const QString &initial) override;
    std::optional<QString> AskFileName(FileDialogRequest &request) override;
    std::optional<uint32_t> AskColor(uint32_t initial) override;
};

// Installs a QtPrompter for the rest of the run.
void InstallQtPrompter();
