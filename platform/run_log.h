// RunErr.txt, the program's log of database failures, and the GBK text append it is written with.
// Every layer logs through here, so an entry looks the same whoever writes it.
#pragma once

#include <functional>

#include <QString>

#include "db.h"

// Appends the text and CR LF to the file, in GBK; created when missing. A failed write is ignored.
void AppendText(const QString &path, const QString &text);

// Appends an entry to RunErr.txt in the program folder: two empty lines, the clock's time as
// "YYYY-MM-DD HH:MM:SS", "number:description" and, when sql is not empty, the SQL on its own line.
void LogDbError(const DbError &error, const QString &sql = QString());

// Called with the error of every entry LogDbError writes, after it is written (the database layer
// tells the user about damage and disk failures through it). Empty by default; an empty function
// removes it.
void SetDbErrorObserver(std::function<void(const DbError &error)> observer);
