// The windowed prompter.
#include "qt_prompter.h"

#include <algorithm>

#include <QApplication>
#include <QColorDialog>
#include <QFileDialog>
#include <QInputDialog>
#include <QMessageBox>
#include <QPushButton>

namespace {

struct ButtonSpec {
    QMessageBox::StandardButton button;
    int answer;
};

std::vector<ButtonSpec> ButtonsOf(int style)
{
    using B = QMessageBox;
    switch (style & 7) {
    case Msg::OkCancel:
        return {{B::Ok, Msg::Ok}, {B::Cancel, Msg::Cancel}};
    case Msg::AbortRetryIgnore:
        return {{B::Abort, Msg::Abort}, {B::Retry, Msg::Retry}, {B::Ignore, Msg::Ignore}};
    case Msg::YesNoCancel:
        return {{B::Yes, Msg::Yes}, {B::No, Msg::No}, {B::Cancel, Msg::Cancel}};
    case Msg::YesNo:
        return {{B::Yes, Msg::Yes}, {B::No, Msg::No}};
    case Msg::RetryCancel:
        return {{B::Retry, Msg::Retry}, {B::Cancel, Msg::Cancel}};
    default:
        return {{B::Ok, Msg::Ok}};
    }
}

QMessageBox::Icon IconOf(int style)
{
    switch (style & 0x70) {
    case Msg::Critical:
        return QMessageBox::Critical;
    case Msg::Question:
        return QMessageBox::Question;
    case Msg::Exclamation:
        return QMessageBox::Warning;
    case Msg::Information:
        return QMessageBox::Information;
    default:
        return QMessageBox::NoIcon;
    }
}

// The program's texts break lines with CR LF or a lone CR; Qt's labels break only at LF.
QString WithLineBreaks(const QString &text)
{
    QString t = text;
    t.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    t.replace(u'\r', u'\n');
    return t;
}

}  // namespace

int QtPrompter::ShowMessage(const QString &text, int style, const QString &title)
{
    QMessageBox box(IconOf(style), title, WithLineBreaks(text), QMessageBox::NoButton, QApplication::activeWindow());
    // A window kept on top (the progress window of an import, whose row messages come while it is up;
    // the record editor) would hide the message: it is then kept on top too.
    const QWidgetList windows = QApplication::topLevelWidgets();
    if (std::any_of(windows.begin(), windows.end(),
                    [](const QWidget *w) { return w->isVisible() && w->windowFlags().testFlag(Qt::WindowStaysOnTopHint); }))
        box.setWindowFlag(Qt::WindowStaysOnTopHint, true);
    const auto specs = ButtonsOf(style);
    for (const auto &s : specs)
        box.addButton(s.button);
    const size_t def = (style & Msg::DefaultButton3) ? 2 : (style & Msg::DefaultButton2) ? 1 : 0;
    if (def < specs.size())
        box.setDefaultButton(specs[def].button);
    const int clicked = box.exec();
    for (const auto &s : specs)
        if (clicked == s.button)
            return s.answer;
    // Closed with Escape or the close box: the cancel answer where there is one.
    for (const auto &s : specs)
        if (s.answer == Msg::Cancel || s.answer == Msg::No)
            return s.answer;
    return specs.front().answer;
}

std::optional<QString> QtPrompter::AskText(const QString &prompt, const QString &title, const QString &initial)
{
    bool ok = false;
    const QString text =
        QInputDialog::getText(QApplication::activeWindow(), title, WithLineBreaks(prompt), QLineEdit::Normal, initial, &ok);
    if (!ok)
        return std::nullopt;
    return text;
}

std::optional<QString> QtPrompter::AskFileName(FileDialogRequest &request)
{
    // An instance rather than the static helpers, so that the filter shown last can be read also
    // after a cancel.
    QFileDialog dialog(QApplication::activeWindow(), request.title, request.folder, request.filter);
    dialog.setOption(QFileDialog::DontConfirmOverwrite);
    // The type list shows each filter's description as written, without its patterns repeated.
    dialog.setOption(QFileDialog::HideNameFilterDetails);
    dialog.setAcceptMode(request.save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog.setFileMode(request.save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    const QStringList filters = dialog.nameFilters();
    if (request.filterIndex >= 1 && request.filterIndex <= filters.size())
        dialog.selectNameFilter(filters[request.filterIndex - 1]);
    if (!request.fileName.isEmpty())
        dialog.selectFile(request.fileName);
    const bool accepted = dialog.exec() == QDialog::Accepted;
    const int idx = filters.indexOf(dialog.selectedNameFilter());
    if (idx >= 0)
        request.filterIndex = idx + 1;
    const QStringList files = dialog.selectedFiles();
    if (!accepted || files.isEmpty() || files.front().isEmpty())
        return std::nullopt;
    return files.front();
}

std::optional<uint32_t> QtPrompter::AskColor(uint32_t initial)
{
    const QColor start(initial & 0xFF, (initial >> 8) & 0xFF, (initial >> 16) & 0xFF);
    const QColor c = QColorDialog::getColor(start, QApplication::activeWindow());
    if (!c.isValid())
        return std::nullopt;
    return static_cast<uint32_t>(c.red()) | (static_cast<uint32_t>(c.green()) << 8) |
           (static_cast<uint32_t>(c.blue()) << 16);
}

void InstallQtPrompter()
{
    static QtPrompter prompter;
    SetPrompter(&prompter);
}
