// 读取模块's CSV reader: the record parser and the reading of a CSV file's records, for the import and
// for the import dialog's preview. A file is read a piece at a time, in one pass, and only as far as
// the records asked for: a long line, a large file or a file that is no file costs neither memory
// nor time beyond the bounds below.
#pragma once

#include <climits>
#include <utility>
#include <vector>

#include <QString>
#include <QStringList>

#include "platform/flex_grid.h"

// The separator of the fields of a converted record ("ζζ").
inline const QString kCsvFieldSeparator = QStringLiteral("ζζ");

// The longest field a record may hold (characters); a longer one is a fault of its record.
inline constexpr qsizetype kMaxCsvFieldChars = qsizetype(1) << 20;
// The largest CSV file read (bytes).
inline constexpr qint64 kMaxCsvFileBytes = qint64(256) << 20;
// The fields of a record kept for the import: as many as two column letters name ("ZZ").
inline constexpr int kCsvImportFields = 702;
// The most characters of a cell the import dialog's preview shows, of a CSV file or a worksheet: a
// cell is only looked at there, and the grid lays out a cell's whole text whenever it paints it.
inline constexpr qsizetype kPreviewCellChars = 1024;

// One CSV record (one line, or lines joined with CR LF) as its fields joined by kCsvFieldSeparator;
// "" for an empty text and when a quoted section is still open. Quotes are removed and commas inside
// quoted sections kept; a doubled quote stands for one quote (so a field written as "" alone yields
// one quote); text outside quotes is kept exactly, blanks included; a field may be quoted in part.
// The characters "ζ" and "ξ" serve as markers: a "ζ" opens or closes a section as a quote does and
// is left out, a "ξ" becomes a comma. Time and memory grow with the length of the line.
QString CsvLineToFields(const QString &line);

// Why a CSV file could not be read.
enum class CsvFailure {
    None,
    Unreadable,  // missing, or it cannot be opened or read
    NotAFile,    // a folder, a pipe, a device: anything but a regular file
    TooLarge,    // more than kMaxCsvFileBytes
};

// What a read of a CSV file gives. Records are numbered from 1 in file order: a record whose quotes
// are still open takes in the following lines (joined with CR LF) until they close, at most 101 of
// them, and is empty if they never do; the records after it keep consecutive numbers.
struct CsvRecords {
    QStringList records;                       // the records read from number `first` on, converted
    int first = 1;                             // the number of records[0]
    int count = 0;                             // how many records were read, those before `first` included
    std::vector<int> unclosed;                 // the numbers of the records whose quotes never closed
    std::vector<std::pair<int, int>> tooLong;  // record and field (from 1) of each field longer than
                                               // kMaxCsvFieldChars, which holds only its first that many
    CsvFailure failure = CsvFailure::None;
    int errorNumber = 0;  // the file error's number
    QString errorText;    // the reason, in words, naming the file
};

// Reads the records numbered first..last of the CSV file at path into out, as the import takes them:
// each converted by CsvLineToFields, up to its kCsvImportFields-th field. The lines end at CR LF, LF
// or a lone CR, and the text read gets a line end appended, so a file ends with an empty record. The
// file is UTF-8 when the whole of it decodes cleanly as UTF-8 (a byte-order mark first left out),
// else GBK. The reading stops after record `last`, so count is the number of records of the file
// when it has fewer. A path not ending in ".csv" gives no records. False, with the records empty and
// the failure, its number and its reason filled in, when the file cannot be read, is no regular file
// (refused before anything waits on it) or holds more than kMaxCsvFileBytes (the reason names its
// size).
bool ReadCsvFile(const QString &path, CsvRecords &out, int first = 1, int last = INT_MAX);

// Fills the import dialog's preview with the CSV file at path: one row appended per record of the
// file, numbered from 1 in column 0 as the import numbers the rows, the record's fields in columns 1,
// 2, ... as far as the grid has columns, each up to its 1,024th character; an empty record gives an
// empty numbered row. The records are read as ReadCsvFile reads them, so the numbers agree with the
// import's, but a line end at the end of the file starts no further record, and the encoding is
// decided on the part of the file read. At most 201 records, and no more than 330000 cells; the file
// is read only as far as they reach. A path not ending in ".csv" and a file that cannot be read leave
// the grid as it was; a file that is no regular file or is too large shows why (ReadCsvFile's reason).
void ReadCsvPreview(FlexGrid &grid, const QString &path);
