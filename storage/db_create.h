// Making a new database file ACC.MDB from the shipped text files: the schema and the stock list.
#pragma once

#include <QString>

// Creates the database file at path from dataDir/schema.sql and dataDir/companyinfo.tsv (UTF-8,
// header "id\tcode\tname\tpy"), in WAL mode. The file is built under a temporary name beside path and
// renamed into place, so a failure never leaves a half-made file. Never overwrites: false when path
// already exists, and false when a data file cannot be read or the build fails.
bool CreateAccDb(const QString &path, const QString &dataDir);

// True when dataDir holds the two files CreateAccDb makes a database from.
bool HasAccDbSources(const QString &dataDir);

// What start-up finds at the path of the book, looked at without changing it.
enum class AccDbState {
    Ok,              // an SQLite database holding the tables account and 参数, in a folder that can be written
    Missing,         // nothing at that name
    Empty,           // a file of zero bytes: it holds nothing to lose
    Folder,          // a folder at that name
    NotDatabase,     // no SQLite database, or one too damaged to read its schema
    NotOurs,         // an SQLite database without account or 参数
    ReadOnly,        // a file that cannot be written
    FolderReadOnly,  // the folder holding it cannot be written (SQLite keeps its log files beside it)
};
AccDbState InspectAccDb(const QString &path);
