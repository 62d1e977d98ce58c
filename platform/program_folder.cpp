// The program folder.
#include "program_folder.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace {

ProgramFolderChoice &FolderSetting()
{
    static ProgramFolderChoice choice;
    return choice;
}

}  // namespace

ProgramFolderChoice ChooseProgramFolder(const QString &exeFolder, const QString &appDataFolder)
{
    const QString book = ResolveFileName(exeFolder, QStringLiteral("ACC.MDB"));
    if (QFileInfo(exeFolder).isWritable() || QFileInfo::exists(book) || QFileInfo(book).isSymLink())
        return {exeFolder, false};
    QDir().mkpath(appDataFolder);
    return {appDataFolder, true};
}

QString ProgramFolder()
{
    ProgramFolderChoice &choice = FolderSetting();
    if (choice.folder.isEmpty()) {
        const QString exeDir =
            QCoreApplication::instance() ? QCoreApplication::applicationDirPath() : QDir::currentPath();
        choice = ChooseProgramFolder(exeDir, QStandardPaths::writableLocation(QStandardPaths::AppDataLocation));
    }
    return choice.folder;
}

bool ProgramFolderIsFallback()
{
    ProgramFolder();
    return FolderSetting().fallback;
}

void SetProgramFolder(const QString &folder, bool fallback)
{
    FolderSetting() = {folder, fallback};
}

QString ResolveFileName(const QString &folder, const QString &name)
{
    const QString direct = QDir(folder).filePath(name);
    if (QFileInfo::exists(direct) || name.contains(u'/'))
        return direct;
    const QStringList entries = QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::System);
    for (const QString &e : entries)
        if (e.compare(name, Qt::CaseInsensitive) == 0)
            return QDir(folder).filePath(e);
    return direct;
}

QString ProgramFilePath(const QString &name)
{
    return ResolveFileName(ProgramFolder(), name);
}

QString FileBehindLink(const QString &path)
{
    const QFileInfo info(path);
    const QString target = info.isSymLink() ? info.canonicalFilePath() : QString();
    return target.isEmpty() ? path : target;
}
