// The .xlsx/.xlsm reader of the workbook reader: a zip archive of XML parts, read with libzip. The
// worksheets and the shared strings are streamed through the XML scanner (xml_scan.h), the small
// parts (the workbook, its relations, the styles) parsed whole with pugixml. Every bound on what an
// .xlsx file may make the reader inflate or hold lives here.
#pragma once

#include <memory>

#include <QString>

#include "platform/sheet_cells.h"

namespace workbook_internal {

// Opens the Office Open XML workbook at path: the names of its worksheets (chart, dialog and macro
// sheets left out), its shared strings, which cell styles show dates, and its date system. Nothing,
// with failure set (the zip library's error code as its code), when it cannot be read: Unreadable,
// NotWorkbook (no such archive, a part missing or no well-formed XML), Encrypted, TooLarge (a part
// inflating past its cap, a value past its length bound).
std::unique_ptr<BookReader> OpenXlsxBook(const QString &path, ReadFailure &failure);

}  // namespace workbook_internal
