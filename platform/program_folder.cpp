// The program folder.
#include "program_folder.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace {

QString &FolderSetting()
{
    static QString folder;
    return folder;
}

}  // namespace

QString ProgramFolder()
{
    QString &folder = FolderSetting();
    if (!folder.isEmpty())
        return folder;
    const QString exeDir = QCoreApplication::instance() ? QCoreApplication::applicationDirPath() : QDir::currentPath();
    if (QFileInfo(exeDir).isWritable()) {
        folder = exeDir;
    } else {
        folder = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
        QDir().mkpath(folder);
    }
    return folder;
}

void SetProgramFolder(const QString &folder)
{
    FolderSetting() = folder;
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
