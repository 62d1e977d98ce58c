// The windowed prompter.
#include "qt_prompter.h"

#include <algorithm>

#include <QApplication>
#include <QColorDialog>
#include <QComboBox>
#include <QFileDialog>
#include <QFontMetrics>
#include <QGridLayout>
#include <QInputDialog>
#include <QMessageBox>
#include <QPushButton>
#include <QRegularExpression>
#include <QSpacerItem>

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

// A filter "description (patterns)" split at its last bracketed part.
QString DescriptionOfFilter(const QString &filter)
{
    const qsizetype open = filter.lastIndexOf(u'(');
    return filter.endsWith(u')') && open > 0 ? filter.left(open).trimmed() : filter;
}

// The extension of a filter's first pattern "*.ext" ("csv" of "CSV (*.csv)"); "" when the pattern
// is no plain extension ("*", "*.*", "*.x?s").
QString SuffixOfFilter(const QString &filter)
{
    const qsizetype open = filter.lastIndexOf(u'(');
    if (!filter.endsWith(u')') || open < 0)
        return QString();
    const QString first = filter.mid(open + 1, filter.size() - open - 2).split(u' ', Qt::SkipEmptyParts).value(0);
    static const QRegularExpression plain(QStringLiteral("^\\*\\.([^*?\\[\\]. ]+)$"));
    const QRegularExpressionMatch m = plain.match(first);
    return m.hasMatch() ? m.captured(1) : QString();
}

// The program's texts break lines with CR LF or a lone CR; Qt's labels break only at LF.
QString WithLineBreaks(const QString &text)
{
    QString t = text;
    t.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    t.replace(u'\r', u'\n');
    return t;
}

// The least width at which a box's caption shows whole in a window manager's title bar: the caption
// in the title bar's font (the application's is a fair measure of it, if narrower than a bold one)
// and room for the window's icon, its three buttons and the gaps and margins between them, about
// seven lines high in all.
int CaptionWidth(const QString &title)
{
    const QFontMetrics fm(QApplication::font());
    return fm.horizontalAdvance(title) + 7 * fm.height();
}

// Keeps a box at least as wide as its caption needs (a box sized to a short text cuts its caption to
// "Kel… 软件"): a spacer of that width across the foot of its layout, which both the message box,
// fixing its size from its layout when shown, and the input box, whose layout sets its least size,
// honour. The spacer takes no height.
void FitCaption(QDialog &box)
{
    auto *room = new QSpacerItem(CaptionWidth(box.windowTitle()), 0, QSizePolicy::Fixed, QSizePolicy::Fixed);
    if (auto *grid = qobject_cast<QGridLayout *>(box.layout()))
        grid->addItem(room, grid->rowCount(), 0, 1, grid->columnCount());
    else if (box.layout())
        box.layout()->addItem(room);
    else
        delete room;
}

// The position (from 0) of the filter shown in the dialog's type list; -1 when none is. Read by
// position: with the patterns hidden, the dialog's own name of the selected filter is only its
// description, which is no entry of the filter list.
int PickedFilter(const QFileDialog &dialog, const QStringList &filters)
{
    if (const auto *types = dialog.findChild<QComboBox *>(QStringLiteral("fileTypeCombo"));
        types && types->count() == filters.size())
        return types->currentIndex();
    // A dialog of the desktop has no type list of Qt's: its answer is compared with the filters and
    // with their descriptions.
    const QString picked = dialog.selectedNameFilter();
    for (qsizetype i = 0; i < filters.size(); ++i)
        if (filters[i] == picked || DescriptionOfFilter(filters[i]) == picked)
            return static_cast<int>(i);
    return -1;
}

}  // namespace

int QtPrompter::ShowMessage(const QString &text, int style, const QString &title)
{
    QMessageBox box(IconOf(style), title, WithLineBreaks(text), QMessageBox::NoButton, QApplication::activeWindow());
    // A window kept on top (the progress window of an import, whose row messages come while it is up;
    // the record editor) would hide the message: it is then kept on top too.
    const QWidgetList windows = QApplication::topLevelWidgets();
    const auto keptOnTop = [](const QWidget *w) {
        return w->isVisible() && w->windowFlags().testFlag(Qt::WindowStaysOnTopHint);
    };
    if (std::any_of(windows.begin(), windows.end(), keptOnTop))
        box.setWindowFlag(Qt::WindowStaysOnTopHint, true);
    const auto specs = ButtonsOf(style);
    for (const auto &s : specs)
        box.addButton(s.button);
    const size_t def = (style & Msg::DefaultButton3) ? 2 : (style & Msg::DefaultButton2) ? 1 : 0;
    if (def < specs.size())
        box.setDefaultButton(specs[def].button);
    FitCaption(box);
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
    QInputDialog box(QApplication::activeWindow());
    box.setWindowTitle(title);
    box.setLabelText(WithLineBreaks(prompt));
    box.setTextValue(initial);
    // The box builds its layout when first measured; the caption's room joins it.
    box.minimumSizeHint();
    FitCaption(box);
    if (box.exec() != QDialog::Accepted)
        return std::nullopt;
    return box.textValue();
}

std::optional<QString> QtPrompter::AskFileName(FileDialogRequest &request)
{
    // An instance rather than the static helpers, so that the filter shown last can be read also
    // after a cancel.
    QFileDialog dialog(QApplication::activeWindow(), request.title, request.folder, request.filter);
    if (!request.confirmOverwrite)
        dialog.setOption(QFileDialog::DontConfirmOverwrite);
    // The type list shows each filter's description as written, without its patterns repeated.
    dialog.setOption(QFileDialog::HideNameFilterDetails);
    dialog.setAcceptMode(request.save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog.setFileMode(request.save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    const QStringList filters = dialog.nameFilters();
    if (request.filterIndex >= 1 && request.filterIndex <= filters.size())
        dialog.selectNameFilter(filters[request.filterIndex - 1]);
    // A name typed without an extension gets the one of the type chosen when the dialog is accepted.
    auto followType = [&dialog, &filters, &request] {
        const int index = PickedFilter(dialog, filters);
        dialog.setDefaultSuffix(request.save && index >= 0 ? SuffixOfFilter(filters[index]) : QString());
    };
    followType();
    QObject::connect(&dialog, &QFileDialog::filterSelected, &dialog, followType);
    if (!request.fileName.isEmpty())
        dialog.selectFile(request.fileName);
    const bool accepted = dialog.exec() == QDialog::Accepted;
    if (const int index = PickedFilter(dialog, filters); index >= 0)
        request.filterIndex = index + 1;
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
