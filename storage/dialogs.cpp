// 公共函数, the dialogs part.
#include "dialogs.h"

#include <algorithm>
#include <optional>

#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QEventLoop>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStringList>
#include <QTimer>

#include "platform/numeric.h"
#include "platform/prompter.h"
#include "storage/window_ops.h"

namespace {

const QString kDefaultTypeKey = QStringLiteral("DefaultType");

struct ParamStore {
    std::function<QString(const QString &, const QString &)> get;
    std::function<void(const QString &, const QString &)> save;
    QString memory;  // stands in for the stored value when no store is installed
};

ParamStore &Store()
{
    static ParamStore s;
    return s;
}

QString ReadDefaultType()
{
    const ParamStore &s = Store();
    if (s.get)
        return s.get(kDefaultTypeKey, QStringLiteral("1"));
    return s.memory.isEmpty() ? QStringLiteral("1") : s.memory;
}

void SaveDefaultType(int index)
{
    ParamStore &s = Store();
    const QString text = QString::number(index);
    if (s.save)
        s.save(kDefaultTypeKey, text);
    else
        s.memory = text;
}

std::function<bool(const QUrl &)> &ShellOpenHook()
{
    static std::function<bool(const QUrl &)> hook;
    return hook;
}

// How often a wait for a window looks at the loaded windows again; between looks it sleeps in the
// event loop.
constexpr int kWaitPollMs = 50;

// True when the file's name matches a pattern of the filter (program form "description|patterns|...").
bool FilterListsFile(const QString &filter, const QString &path)
{
    const QString name = QFileInfo(path).fileName();
    const QStringList parts = filter.split(u'|');
    for (qsizetype i = 1; i < parts.size(); i += 2)
        for (const QString &p : parts[i].split(u';', Qt::SkipEmptyParts))
            if (QRegularExpression(QRegularExpression::wildcardToRegularExpression(p.trimmed()),
                                   QRegularExpression::CaseInsensitiveOption)
                    .match(name)
                    .hasMatch())
                return true;
    return false;
}

}  // namespace

CommonDialog &SharedDialog()
{
    static CommonDialog d;
    return d;
}

QString ConvertFileFilter(const QString &filter)
{
    const QStringList parts = filter.split(u'|');
    if (filter.isEmpty())
        return QString();
    QStringList out;
    for (qsizetype i = 0; i < parts.size(); i += 2) {
        QStringList patterns;
        if (i + 1 < parts.size())
            for (const QString &p : parts[i + 1].split(u';', Qt::SkipEmptyParts))
                if (!p.trimmed().isEmpty())
                    patterns << p.trimmed();
        if (patterns.isEmpty())
            patterns << QStringLiteral("*");
        out << parts[i] + QStringLiteral(" (") + patterns.join(u' ') + u')';
    }
    return out.join(QStringLiteral(";;"));
}

void SetDialogParamStore(std::function<QString(const QString &, const QString &)> get,
                         std::function<void(const QString &, const QString &)> save)
{
    Store().get = std::move(get);
    Store().save = std::move(save);
}

QString GetFileNameDlg(QString &filter, bool save, const SaveDialogOptions &options)
{
    if (filter.isEmpty())
        filter = kCsvFilter;
    CommonDialog &dlg = SharedDialog();
    dlg.filterIndex = static_cast<int>(std::clamp(LeadingNumber(ReadDefaultType()), -1e6, 1e6));
    FileDialogRequest request;
    request.save = save;
    request.filter = ConvertFileFilter(filter);
    request.filterIndex = dlg.filterIndex;
    request.fileName = dlg.fileName;
    request.confirmOverwrite = save && options.confirmOverwrite;
    // A save never proposes to write over a file of another kind (a workbook under a backup's name).
    if (save && !dlg.fileName.isEmpty() && !FilterListsFile(filter, dlg.fileName)) {
        const QFileInfo kept(dlg.fileName);
        request.folder = kept.path();
        request.fileName = options.proposedName.isEmpty() || QFileInfo(options.proposedName).isAbsolute()
                               ? options.proposedName
                               : QDir(kept.path()).filePath(options.proposedName);
    } else if (save && dlg.fileName.isEmpty()) {
        request.fileName = options.proposedName;
    }
    const std::optional<QString> chosen = GetPrompter().AskFileName(request);
    dlg.filterIndex = request.filterIndex;
    if (chosen && !chosen->isEmpty())
        dlg.fileName = *chosen;
    SaveDefaultType(dlg.filterIndex);
    return chosen.value_or(QString());
}

uint32_t ChooseColor(uint32_t initial, CommonDialog *dialog)
{
    CommonDialog &dlg = dialog ? *dialog : SharedDialog();
    dlg.color = GetPrompter().AskColor(initial).value_or(initial) & 0xFFFFFF;
    return dlg.color;
}

QUrl ShellOpenUrl(const QString &pathOrAddress)
{
    static const QRegularExpression scheme(QStringLiteral("^[A-Za-z][A-Za-z0-9+.-]+:"));
    if (scheme.match(pathOrAddress).hasMatch())
        return QUrl(pathOrAddress);
    return QUrl::fromLocalFile(QFileInfo(pathOrAddress).absoluteFilePath());
}

bool ShellOpen(const QString &pathOrAddress)
{
    if (pathOrAddress.isEmpty())
        return false;
    const QUrl url = ShellOpenUrl(pathOrAddress);
    if (ShellOpenHook())
        return ShellOpenHook()(url);
    return QDesktopServices::openUrl(url);
}

void SetShellOpenHook(std::function<bool(const QUrl &)> open)
{
    ShellOpenHook() = std::move(open);
}

void WaitFormClosed(const QString &caption)
{
    if (!QCoreApplication::instance())
        return;
    while (IsFormOpen(caption, true)) {
        // A nested loop also runs the deletions that closed windows have posted.
        QEventLoop loop;
        QTimer::singleShot(kWaitPollMs, &loop, &QEventLoop::quit);
        loop.exec();
    }
}
