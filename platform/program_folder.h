// The program folder: where ACC.MDB, RunErr.txt and the other files of the program live.
#pragma once

#include <QString>

// The folder of the executable when it is writable, else the application data folder. Tests set it.
QString ProgramFolder();
void SetProgramFolder(const QString &folder);
// The path of a file in the program folder. When a file whose name differs only in letter case
// exists there, its path is returned, so "ACC.MDB" and "acc.mdb" are one file.
QString ProgramFilePath(const QString &name);
// The same resolution for any folder.
QString ResolveFileName(const QString &folder, const QString &name);
