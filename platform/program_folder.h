// The program folder: where ACC.MDB, RunErr.txt and the other files of the program live.
#pragma once

#include <QString>

// How the program folder was chosen: the executable's folder, or the application data folder standing
// in for it (fallback).
struct ProgramFolderChoice {
    QString folder;
    bool fallback = false;
};

// The executable's folder when it can be written, and also when it cannot but already holds ACC.MDB
// (any letter case): a book the user has is never passed over for a new one elsewhere, and start-up
// then says what is wrong with it. Else the application data folder, created when missing, as a
// fallback.
ProgramFolderChoice ChooseProgramFolder(const QString &exeFolder, const QString &appDataFolder);

// The program folder, chosen once by ChooseProgramFolder unless set. Tests set it.
QString ProgramFolder();
// True when the program folder in use is the application data folder standing in for the executable's.
bool ProgramFolderIsFallback();
void SetProgramFolder(const QString &folder, bool fallback = false);
// The path of a file in the program folder. When a file whose name differs only in letter case
// exists there, its path is returned, so "ACC.MDB" and "acc.mdb" are one file.
QString ProgramFilePath(const QString &name);
// The same resolution for any folder.
QString ResolveFileName(const QString &folder, const QString &name);

// The file a symbolic link at path leads to (its full path), so that a file replaced by a rename is
// replaced where it lives and the link stays; path itself when it is no link or leads nowhere.
QString FileBehindLink(const QString &path);
