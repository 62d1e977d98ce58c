// Workbook: the facade of the workbook reader. It tells the kind of a file by its first bytes and
// hands it to the reader of that kind: xlsx_reader.h for .xlsx/.xlsm (a zip archive of XML parts,
// streamed through xml_scan.h), xls_reader.h for .xls (a BIFF8 stream in a compound file); it keeps
// the cells of the selected sheet (sheet_cells.h) and answers for them.
#include "workbook.h"

#include <QFile>

#include "platform/regular_file.h"
#include "platform/sheet_cells.h"
#include "platform/xls_reader.h"
#include "platform/xlsx_reader.h"

using namespace workbook_internal;

struct Workbook::Impl : ReadFailure {
    std::unique_ptr<BookReader> book;
    SheetCells cells;

    void Release()
    {
        book.reset();
        cells.Clear();
    }
};

Workbook::Workbook() : d(std::make_unique<Impl>()) {}

Workbook::~Workbook()
{
    d->Release();
}

bool Workbook::Open(const QString &path)
{
    d->Release();
    d->failure = WorkbookFailure::None;
    d->code = 0;
    // Only a regular file is opened: opening a named pipe waits for a writer for good, and a pipe or
    // a device may never end.
    RegularFile regular;
    QFile f;
    if (regular.Open(path) != FileOpening::Opened || !regular.HandTo(f))
        return d->Fail(WorkbookFailure::Unreadable, 0);
    const QByteArray head = f.read(8);
    if (head.startsWith(QByteArray("PK\x03\x04", 4))) {
        f.close();
        d->book = OpenXlsxBook(path, *d);
    } else if (head == QByteArray("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8)) {
        d->book = OpenXlsBook(f, head, *d);
    } else {
        return d->Fail(WorkbookFailure::NotWorkbook, 0);
    }
    return d->book != nullptr;
}

void Workbook::Close()
{
    d->Release();
}

bool Workbook::IsOpen() const
{
    return d->book != nullptr;
}

QStringList Workbook::SheetNames() const
{
    return d->book ? d->book->names : QStringList();
}

bool Workbook::SelectSheet(const QString &name, const SheetWindow &window)
{
    d->cells.Clear();
    d->failure = WorkbookFailure::None;
    d->code = 0;
    const int sheet = d->book ? static_cast<int>(d->book->names.indexOf(name)) : -1;
    if (sheet < 0)
        return d->Fail(WorkbookFailure::SheetNotFound, 0);
    static_cast<ReadFailure &>(*d->book) = ReadFailure();
    if (!d->book->Select(sheet, window, d->cells)) {
        d->failure = d->book->failure;
        d->code = d->book->code;
        d->cells.Clear();
        return false;
    }
    d->cells.Finish();
    return true;
}

int Workbook::UsedRows() const
{
    return d->cells.usedRows;
}

int Workbook::UsedCols() const
{
    return d->cells.usedCols;
}

bool Workbook::RowHasValue(int row) const
{
    return d->cells.HasRow(row);
}

QString Workbook::CellText(int row, int col) const
{
    const QString *text = d->cells.Find(row, col);
    return text ? *text : QString();
}

WorkbookFailure Workbook::Failure() const
{
    return d->failure;
}

int Workbook::ErrorCode() const
{
    return d->code;
}
