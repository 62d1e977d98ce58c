// Workbook: reads spreadsheet workbooks for the import, in place of a spreadsheet program: the names
// of the worksheets and the display texts of their cells. The kind is told by the file's content, not
// its name: a zip archive ("PK\3\4") is an Office Open XML workbook (.xlsx, .xlsm), a compound file
// (D0 CF 11 E0) a BIFF workbook (.xls).
#pragma once

#include <memory>

#include <QString>
#include <QStringList>

// Why a workbook or one of its sheets could not be read.
enum class WorkbookFailure {
    None,
    Unreadable,     // the file is missing or cannot be read
    NotWorkbook,    // neither kind of workbook, or a damaged one
    Encrypted,      // protected by a password
    SheetNotFound,  // no worksheet has the name asked for
    Other,          // anything else (out of memory, an unknown character set); see ErrorCode
};

class Workbook {
public:
    Workbook();
    ~Workbook();
    Workbook(const Workbook &) = delete;
    Workbook &operator=(const Workbook &) = delete;

    // Opens the workbook at path, closing the one open before. False when it cannot be read, with
    // Failure() and ErrorCode() saying why.
    bool Open(const QString &path);
    // Releases the file; done by the destructor too.
    void Close();
    bool IsOpen() const;

    // The names of the worksheets in workbook order; chart sheets and macro sheets are left out.
    QStringList SheetNames() const;

    // Reads the worksheet of that name (exact, case-sensitive), its rows 1..maxRows only when maxRows
    // is 1 or more, and makes it the sheet CellText reads. False with SheetNotFound, or with the
    // failure of a damaged sheet; the sheet read before is then forgotten.
    bool SelectSheet(const QString &name, int maxRows = 0);
    // The last row and column holding a value in the selected sheet, 0 when it has none.
    int UsedRows() const;
    int UsedCols() const;
    // The display text of cell (row, col) of the selected sheet, both from 1: a string as stored (the
    // runs of formatted text joined); a number without decimals when whole, else to 15 significant
    // digits; a number formatted as a date "YYYY-MM-DD", with " HH:MM:SS" when it holds a time of day,
    // a time alone "HH:MM:SS"; a truth value "TRUE" or "FALSE"; an error value as stored ("#N/A"); a
    // formula its value as last calculated. "" for an empty cell and outside the sheet.
    QString CellText(int row, int col) const;

    // The failure of the last Open or SelectSheet; None after a success.
    WorkbookFailure Failure() const;
    // The reader's own number for the failure: the zip library's error code for an Office Open XML
    // workbook, the BIFF library's (negative) code for a compound file, 0 when there is none.
    int ErrorCode() const;

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};
