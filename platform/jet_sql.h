// The Jet-dialect translator: turns the SQL texts the program writes (Jet's dialect) into SQLite's,
// and tells the record set what it needs to know about a query's shape.
#pragma once

#include <vector>

#include <QString>

// The result of translating one Jet-dialect statement.
struct JetTranslation {
    // The SQLite text; empty when the statement was refused.
    QString sql;
    // Why the statement was refused ("&", a second statement, a bad date literal); empty when it was not.
    QString error;
    // For "SELECT * FROM <table> [WHERE ...] [ORDER BY ...]": the table, and the text with the hidden
    // rowid as its first column ("SELECT _rowid_,* FROM ..."); both empty for any other shape.
    QString baseTable;
    QString sqlWithRowid;
    // For a SELECT whose list has no "*" and whose FROM names one table: that table, and the
    // MIN(column)/MAX(column) items of the list as (position in the list, column), so that MIN and
    // MAX over a DATE column can be handed back as dates.
    QString fromTable;
    std::vector<std::pair<int, QString>> minMaxColumns;

    bool ok() const { return error.isEmpty(); }
};

// Translates one statement; see TranslateJetSql (platform/recordset.h) for the rewrites.
JetTranslation TranslateJet(const QString &jetSql);
