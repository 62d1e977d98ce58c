// Making a new database file ACC.MDB from the shipped text files: the schema and the stock list.
#pragma once

#include <QString>

// Creates the database file at path from dataDir/schema.sql and dataDir/companyinfo.tsv (UTF-8,
// header "id\tcode\tname\tpy"), in WAL mode. The file is built under a temporary name beside path and
// renamed into place, so a failure never leaves a half-made file. Never overwrites: false when path
// already exists, and false when a data file cannot be read or the build fails.
bool CreateAccDb(const QString &path, const QString &dataDir);
