// Workbook: reads spreadsheet workbooks for the import, in place of a spreadsheet program: the names
// of the worksheets and the display texts of their cells. The kind is told by the file's content, not
// its name: a zip archive ("PK\3\4") is an Office Open XML workbook (.xlsx, .xlsm), a compound file
// (D0 CF 11 E0) a BIFF workbook (.xls).
// A file is hostile until read: an .xlsx part is inflated as a stream and given up past a cap (a
// worksheet's rows past the ones asked for are never inflated), only the cells asked for are kept,
// nothing is allocated for an empty cell, and a text the workbook shares between cells is held once
// however many cells show it, so that memory and time follow what is kept rather than what the file
// claims.
#pragma once

#include <memory>
#include <vector>

#include <QString>
#include <QStringList>

// Why a workbook or one of its sheets could not be read.
enum class WorkbookFailure {
    None,
    Unreadable,     // the file is missing or cannot be read, or is no regular file (a folder, a named pipe)
    NotWorkbook,    // neither kind of workbook, or a damaged one
    Encrypted,      // protected by a password
    SheetNotFound,  // no worksheet has the name asked for
    TooLarge,       // a part inflates past what the reader takes, or a sheet declares more cells than it holds
    TextTooLong,    // a text of an .xls longer than its reader takes (some 4,000 Chinese characters)
    Other,          // anything else (out of memory, an unknown character set); see ErrorCode
};

// The cells SelectSheet keeps: rows firstRow..lastRow, and of them the columns listed (from 1), or
// every column when the list is empty. The rows after lastRow are not read at all.
struct SheetWindow {
    int firstRow = 1;
    int lastRow = 1048576;
    std::vector<int> columns;
};

class Workbook {
public:
    Workbook();
    ~Workbook();
    Workbook(const Workbook &) = delete;
    Workbook &operator=(const Workbook &) = delete;

    // Opens the workbook at path, closing the one open before. False when it cannot be read, with
    // Failure() and ErrorCode() saying why; anything but a regular file (a folder, a named pipe) is
    // Unreadable at once, without being opened.
    bool Open(const QString &path);
    // Releases the file; done by the destructor too.
    void Close();
    bool IsOpen() const;

    // The names of the worksheets in workbook order; chart sheets and macro sheets are left out.
    QStringList SheetNames() const;

    // Reads the cells of the window of the worksheet of that name (exact, case-sensitive) and makes it
    // the sheet CellText reads. False with SheetNotFound, TooLarge, or the failure of a damaged sheet;
    // the sheet read before is then forgotten.
    bool SelectSheet(const QString &name, const SheetWindow &window = {});
    // The last row and column holding a value in the window's rows of the selected sheet (in any
    // column, kept or not), 0 when they hold none.
    int UsedRows() const;
    int UsedCols() const;
    // True when row `row` of the window holds a value in any column, kept or not.
    bool RowHasValue(int row) const;
    // The display text of cell (row, col) of the selected sheet, both from 1: a string as stored (the
    // runs of formatted text joined); a number without decimals when whole, else to 15 significant
    // digits; a number formatted as a date "YYYY-MM-DD", with " HH:MM:SS" when it holds a time of day,
    // a time alone "HH:MM:SS"; a truth value "TRUE" or "FALSE"; an error value as stored ("#N/A"); a
    // formula its value as last calculated. "" for an empty cell, outside the sheet, and for a cell
    // outside the window.
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
