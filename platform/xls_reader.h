// The .xls reader of the workbook reader: a BIFF8 (or BIFF5) workbook stream in a compound file. The
// compound file's sector chains and the workbook stream's sheet records are walked here first, so
// that libfreexl, which reads the cells, is asked only about a workbook stream found sound and within
// bounds, handed to it in a compound file of the reader's own (in the folder for temporary files,
// removed once libfreexl has read it). The values libfreexl leaves out (the last result of a formula, a
// truth value, an error) and the display of a number in a date or time format are read from the
// sheet's records here too. Every bound on what an .xls file may make the reader read or hold lives
// here.
#pragma once

#include <memory>

#include <QByteArray>
#include <QFile>

#include "platform/sheet_cells.h"

namespace workbook_internal {

// Opens the compound file open as file, its first 8 bytes (head) read already, as a BIFF workbook: the
// names of its worksheets (chart and macro sheets left out). The file is read whole and closed.
// Nothing, with failure set (libfreexl's negative error code as its code), when it cannot be read:
// TooLarge (a file or its declared cells past the bounds), NotWorkbook (damaged), Encrypted, or Other
// (also when the copy for libfreexl cannot be written).
std::unique_ptr<BookReader> OpenXlsBook(QFile &file, const QByteArray &head, ReadFailure &failure);

}  // namespace workbook_internal
