// The .xls reader of the workbook reader: the walk of the compound file's sector chains and of the
// workbook stream's sheets and shared strings, then the cells through libfreexl (handed the stream in a
// compound file of the reader's own, its cell formats hidden), and the values it leaves out and the
// date formats from the sheet's own records.
#include "xls_reader.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <iterator>
#include <limits>
#include <optional>
#include <utility>
#include <vector>

#include <freexl.h>

#include <QDir>
#include <QHash>
#include <QStringDecoder>
#include <QTemporaryFile>
#include <QtEndian>

namespace workbook_internal {

namespace {

// The biggest .xls file read, and the most cells its sheets may declare together: the BIFF library
// sets aside room for every declared cell when it opens the file.
constexpr qint64 kMaxBiffFileBytes = qint64(128) << 20;
constexpr qint64 kMaxBiffCells = qint64(8) << 20;

// ---- The compound file, read only as far as the sheets of its workbook stream: libfreexl lists chart
// sheets among the worksheets without telling them apart, sets aside room for every cell a sheet
// declares, and answers some damaged workbooks with success and no handle (losing memory it took).

uint32_t U32(const QByteArray &b, qsizetype at)
{
    if (at < 0 || at + 4 > b.size())
        return 0xFFFFFFFFu;
    const auto *p = reinterpret_cast<const unsigned char *>(b.constData() + at);
    return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

uint8_t U8(const QByteArray &b, qsizetype at)
{
    return at >= 0 && at < b.size() ? static_cast<uint8_t>(b[at]) : 0;
}

uint16_t U16(const QByteArray &b, qsizetype at)
{
    if (at < 0 || at + 2 > b.size())
        return 0xFFFF;
    const auto *p = reinterpret_cast<const unsigned char *>(b.constData() + at);
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}

// The workbook stream ("Workbook", or "Book" of BIFF5) of a compound file, from its regular sectors
// or, when it is below the cut-off size, from the mini stream; empty when it cannot be found, when an
// entry of the directory claims a name longer than the 64 bytes that hold it (libfreexl would read
// such a name past its end), and when the file is damaged in a way that would make the library run
// away: a chain of sectors (of the DIFAT, the directory, a stream, the mini FAT, the mini stream)
// that loops or leaves the file, a sector listed twice as a sector of the FAT, or a mini stream
// shorter than its root entry claims. Every chain is walked with a mark on each sector visited, so no
// walk takes more steps than the file has sectors and nothing read is bigger than the file.
QByteArray BiffStream(const QByteArray &file)
{
    constexpr uint32_t kLastSector = 0xFFFFFFFAu;
    constexpr uint32_t kEndOfChain = 0xFFFFFFFEu;
    constexpr uint32_t kFreeSector = 0xFFFFFFFFu;
    const uint16_t shift = U16(file, 30);
    if (shift != 9 && shift != 12)
        return {};
    const qsizetype sectorSize = qsizetype(1) << shift;
    const auto sectorAt = [&](uint32_t s) { return (static_cast<qsizetype>(s) + 1) * sectorSize; };
    // The sectors after the header: sector s is whole in the file when s < sectors.
    const auto sectors = static_cast<uint32_t>(std::max<qsizetype>(file.size() / sectorSize - 1, 0));
    // The FAT's sectors as the library takes them: those the header lists, then those of each sector
    // of the DIFAT chain (all but its last entry, which is the next sector of the chain) up to the
    // count the header gives or an end-of-chain entry; unused entries skipped.
    std::vector<char> listed(sectors, 0);
    std::vector<uint32_t> fatSectors;
    const auto list = [&](uint32_t s) {
        if (s >= sectors || listed[s])
            return false;
        listed[s] = 1;
        fatSectors.push_back(s);
        return true;
    };
    for (int i = 0; i < 109; ++i)
        if (const uint32_t s = U32(file, 76 + 4 * i); s != kFreeSector && !list(s))
            return {};
    uint32_t difat = U32(file, 68);
    for (uint32_t n = U32(file, 72); n > 0; --n) {
        if (difat >= sectors || listed[difat])
            return {};
        listed[difat] = 1;
        const qsizetype at = sectorAt(difat);
        bool ended = false;
        for (qsizetype k = 0; k + 1 < sectorSize / 4 && !ended; ++k) {
            const uint32_t s = U32(file, at + 4 * k);
            ended = s == kEndOfChain;
            if (!ended && s != kFreeSector && !list(s))
                return {};
        }
        if (ended)
            break;
        difat = U32(file, at + sectorSize - 4);
    }
    std::vector<uint32_t> fat;
    fat.reserve(fatSectors.size() * static_cast<size_t>(sectorSize / 4));
    for (uint32_t s : fatSectors)
        for (qsizetype k = 0; k < sectorSize / 4; ++k)
            fat.push_back(U32(file, sectorAt(s) + 4 * k));
    // The sectors of the chain from s, as far as limit; nothing when the chain loops, or leaves the
    // file or the FAT, before it ends or reaches the limit.
    const auto chain = [&](uint32_t s, qsizetype limit) -> std::optional<QByteArray> {
        QByteArray out;
        std::vector<char> visited(sectors, 0);
        for (; s <= kLastSector && out.size() < limit; s = fat[s]) {
            if (s >= sectors || s >= fat.size() || visited[s])
                return std::nullopt;
            visited[s] = 1;
            out.append(file.constData() + sectorAt(s), sectorSize);
        }
        return out;
    };
    const std::optional<QByteArray> directory = chain(U32(file, 48), qsizetype(1) << 24);
    if (!directory)
        return {};
    const QByteArray &dir = *directory;
    for (qsizetype e = 0; e + 128 <= dir.size(); e += 128)
        if (U16(dir, e + 64) > 64)
            return {};
    for (qsizetype e = 0; e + 128 <= dir.size(); e += 128) {
        const int nameBytes = U16(dir, e + 64);
        const QString name = QString::fromUtf16(reinterpret_cast<const char16_t *>(dir.constData() + e),
                                                std::max(0, nameBytes / 2 - 1));
        if (dir[e + 66] != 2 || (name != QStringLiteral("Workbook") && name != QStringLiteral("Book")))
            continue;
        const uint32_t size = U32(dir, e + 120);
        if (size >= U32(file, 56)) {
            const std::optional<QByteArray> stream = chain(U32(dir, e + 116), size);
            return stream ? stream->left(size) : QByteArray();
        }
        // The mini stream: 64-byte sectors inside the stream of the root entry, chained by the mini FAT.
        constexpr qsizetype kMini = 64;
        const std::optional<QByteArray> miniFat = chain(U32(file, 60), file.size());
        const std::optional<QByteArray> mini = chain(U32(dir, 116), U32(dir, 120));
        // The library sets aside the whole mini stream the root entry claims before it reads it.
        if (!miniFat || !mini || mini->size() < qsizetype(U32(dir, 120)))
            return {};
        QByteArray out;
        std::vector<char> visited(static_cast<size_t>(mini->size() / kMini), 0);
        for (uint32_t s = U32(dir, e + 116); s <= kLastSector && out.size() < size;
             s = U32(*miniFat, qsizetype(4) * s)) {
            if (s >= visited.size() || visited[s])
                return {};
            visited[s] = 1;
            out += mini->mid(qsizetype(s) * kMini, kMini);
        }
        return out.left(size);
    }
    return {};
}

// Writes to out a compound file of 4096-byte sectors whose one stream, "Workbook", is the stream: the
// header, the FAT's sectors, the directory, then the stream's sectors one after the other. False when
// it cannot be written. Given this file, libfreexl reads the very stream read here, from its regular
// sectors whatever its size (no mini stream is declared); given the workbook's own file, it would read
// the chains and the directory in ways of its own (a small workbook from the start of the mini stream,
// wherever the directory puts it).
bool WriteCompoundFile(QFileDevice &out, const QByteArray &stream)
{
    constexpr qsizetype kSector = 4096;
    constexpr uint32_t kFree = 0xFFFFFFFFu, kEndOfChain = 0xFFFFFFFEu, kFatSector = 0xFFFFFFFDu;
    const auto put = [](QByteArray &b, qsizetype at, auto v) { qToLittleEndian(v, b.data() + at); };
    // Each FAT sector lists 1,024 sectors, itself among them; the header lists up to 109 FAT sectors.
    const auto sectors = static_cast<uint32_t>((stream.size() + kSector - 1) / kSector);
    const uint32_t fatSectors = (sectors + 1 + 1022) / 1023;
    static_assert((kMaxBiffFileBytes / kSector + 1 + 1022) / 1023 <= 109);
    if (fatSectors > 109)
        return false;
    QByteArray head(kSector, '\0');
    head.replace(0, 8, QByteArray("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8));
    put(head, 24, quint16(0x003E));  // version 4, little-endian, sectors of 2^12 bytes, mini sectors of 2^6
    put(head, 26, quint16(4));
    put(head, 28, quint16(0xFFFE));
    put(head, 30, quint16(12));
    put(head, 32, quint16(6));
    put(head, 40, quint32(1));  // directory sectors
    put(head, 44, fatSectors);
    put(head, 48, fatSectors);  // the directory's sector
    put(head, 56, quint32(4096));
    put(head, 60, kEndOfChain);  // no mini FAT, no DIFAT
    put(head, 68, kEndOfChain);
    for (uint32_t i = 0; i < 109; ++i)
        put(head, 76 + 4 * i, i < fatSectors ? i : kFree);
    QByteArray fat(fatSectors * kSector, '\xFF');
    for (uint32_t i = 0; i < fatSectors; ++i)
        put(fat, 4 * i, kFatSector);
    put(fat, 4 * fatSectors, kEndOfChain);
    for (uint32_t i = 1; i <= sectors; ++i)
        put(fat, 4 * (fatSectors + i), i < sectors ? fatSectors + i + 1 : kEndOfChain);
    QByteArray dir(kSector, '\0');
    const auto entry = [&](int e, const QString &name, uint8_t type, uint32_t child, uint32_t start, uint32_t size) {
        const qsizetype at = 128 * e;
        for (qsizetype i = 0; i < name.size(); ++i)
            put(dir, at + 2 * i, quint16(name[i].unicode()));
        put(dir, at + 64, quint16(2 * name.size() + 2));
        dir[at + 66] = static_cast<char>(type);
        dir[at + 67] = 1;
        put(dir, at + 68, kFree);
        put(dir, at + 72, kFree);
        put(dir, at + 76, child);
        put(dir, at + 116, start);
        put(dir, at + 120, size);
    };
    entry(0, QStringLiteral("Root Entry"), 5, 1, kEndOfChain, 0);
    entry(1, QStringLiteral("Workbook"), 2, kFree, sectors ? fatSectors + 1 : kEndOfChain,
          static_cast<uint32_t>(stream.size()));
    const QByteArray pad(sectors * kSector - stream.size(), '\0');
    const QByteArray *parts[] = {&head, &fat, &dir, &stream, &pad};
    for (const QByteArray *part : parts)
        if (out.write(*part) != part->size())
            return false;
    return out.flush();
}

// Hides the cell formats (XF records) of the stream from libfreexl, their type made one that no reader
// knows. libfreexl shows a number in a date or time format as a date that it works out by counting the
// days from 1900 one at a time, for every such cell of every sheet when it opens the file: some 2.5
// seconds for 60,000 dates of this century, 2 seconds for a single one of the year 5,000,000. Knowing
// no cell format, it gives every number as a number, and the reader shows it in its format
// (BiffNumberText). Every record is visited as libfreexl reads them, one after the other from the
// stream's start on, the sheets' substreams included.
void HideCellFormats(QByteArray &stream)
{
    char *data = stream.data();
    for (qsizetype at = 0; at + 4 <= stream.size(); at += 4 + qFromLittleEndian<quint16>(data + at + 2))
        if (qFromLittleEndian<quint16>(data + at) == 0x00E0)
            qToLittleEndian(quint16(0xFFFF), data + at);
}

// Calls visit(type, at, length) for each record of the stream from `from` on, `at` being where the
// record's data starts, up to `end` or past the first EOF record, or until visit returns false. A
// record claiming more bytes than are left is visited with them.
template <typename Visit>
void ForEachRecord(const QByteArray &stream, qsizetype from, qsizetype end, Visit visit)
{
    end = std::min(end, stream.size());
    const char *data = stream.constData();
    for (qsizetype at = std::max<qsizetype>(from, 0); at + 4 <= end;) {
        const auto head = qFromLittleEndian<quint32>(data + at);
        const auto type = static_cast<uint16_t>(head);
        const auto length = static_cast<uint16_t>(head >> 16);
        if (!visit(type, at + 4, length) || type == 0x000A)
            return;
        at += 4 + length;
    }
}

// A sheet of the workbook stream, from its BOUNDSHEET record and its own substream.
struct BiffSheetInfo {
    int kind = 0;             // 0 a worksheet, 2 a chart sheet, 1 and 6 macro sheets
    uint32_t offset = 0;      // where its substream starts
    qsizetype end = 0;        // where the next substream starts, or the stream ends
    bool dimensions = false;  // its substream declares its size
    qint64 cells = 0;         // rows × columns declared
};

// The sheets of the workbook stream in BOUNDSHEET order.
std::vector<BiffSheetInfo> BiffSheets(const QByteArray &stream)
{
    std::vector<BiffSheetInfo> sheets;
    ForEachRecord(stream, 0, stream.size(), [&](uint16_t type, qsizetype at, uint16_t length) {
        if (type == 0x0085 && length >= 6 && at + 6 <= stream.size())
            sheets.push_back({static_cast<unsigned char>(stream[at + 5]), U32(stream, at)});
        return true;
    });
    // Each substream is read up to the next one, so that sheets pointing at one place cost no more.
    std::vector<uint32_t> starts;
    for (const BiffSheetInfo &s : sheets)
        starts.push_back(s.offset);
    std::sort(starts.begin(), starts.end());
    for (BiffSheetInfo &s : sheets) {
        const auto next = std::upper_bound(starts.begin(), starts.end(), s.offset);
        s.end = next == starts.end() ? stream.size() : std::min<qsizetype>(*next, stream.size());
        ForEachRecord(stream, s.offset, s.end, [&](uint16_t type, qsizetype at, uint16_t length) {
            if (type != 0x0200 || (length != 14 && length != 10))
                return true;
            // BIFF8 counts rows in 32 bits, BIFF5 in 16.
            const bool wide = length == 14;
            const qint64 rows = wide ? U32(stream, at + 4) : U16(stream, at + 2);
            const qint64 cols = U16(stream, at + (wide ? 10 : 6));
            s.dimensions = true;
            s.cells = rows * cols;
            return false;
        });
    }
    return sheets;
}

// What would keep libfreexl from reading the shared strings of the workbook stream within their
// records: None when nothing does. The library takes a string's characters from the record it starts
// in and from one CONTINUE record after it, and reads past that record's end for a string that goes
// on further (one of more than about 4,000 Chinese characters, or one starting late in a record):
// TextTooLong. A string whose head or formatting runs are cut by a record's end, or whose characters
// are cut in half, is misread by it: NotWorkbook.
WorkbookFailure SharedStringsFault(const QByteArray &stream)
{
    // The SST record and the CONTINUE records after it, as (start, end) in the stream.
    std::vector<std::pair<qsizetype, qsizetype>> records;
    for (qsizetype at = 0; at + 4 <= stream.size();) {
        const uint16_t type = U16(stream, at);
        const qsizetype end = std::min<qsizetype>(at + 4 + U16(stream, at + 2), stream.size());
        if (type == 0x00FC || (type == 0x003C && !records.empty())) {
            records.emplace_back(at + 4, end);
        } else if (!records.empty() || type == 0x000A) {
            break;
        }
        at = end;
    }
    if (records.empty())
        return WorkbookFailure::None;
    const uint32_t count = U32(stream, records[0].first + 4);
    if (records[0].second - records[0].first < 8)
        return WorkbookFailure::NotWorkbook;
    size_t k = 0;
    qsizetype at = records[0].first + 8;
    for (uint32_t i = 0; i < count; ++i) {
        if (at == records[k].second) {
            if (++k == records.size())
                return WorkbookFailure::None;  // the strings left are never read
            at = records[k].first;
        }
        const qsizetype end = records[k].second;
        if (at + 3 > end)
            return WorkbookFailure::NotWorkbook;
        const qint64 chars = U16(stream, at);
        const auto flags = static_cast<uint8_t>(stream[at + 2]);
        qint64 runs = 0, extra = 0;
        at += 3;
        if (flags & 0x08) {
            runs = at + 2 <= end ? 4 * qint64(U16(stream, at)) : -1;
            at += 2;
        }
        if (flags & 0x04) {
            extra = at + 4 <= end ? U32(stream, at) : -1;
            at += 4;
        }
        if (at > end || runs < 0 || extra < 0)
            return WorkbookFailure::NotWorkbook;
        const int width = flags & 0x01 ? 2 : 1;
        const qint64 here = std::min<qint64>(chars, (end - at) / width);
        at += here * width;
        if (here < chars) {
            if ((end - at) != 0)
                return WorkbookFailure::NotWorkbook;
            if (++k == records.size())
                return WorkbookFailure::None;
            at = records[k].first;
            if (at == records[k].second)
                return WorkbookFailure::NotWorkbook;
            const int rest = stream[at] & 0x01 ? 2 : 1;
            at += 1 + (chars - here) * rest;
            if (at > records[k].second)
                return WorkbookFailure::TextTooLong;
        }
        at += runs + extra;
        if (at > records[k].second)
            return WorkbookFailure::NotWorkbook;
    }
    return WorkbookFailure::None;
}

// ---- What libfreexl leaves out of a sheet: the last result of each formula (it gives a formula cell
// as empty), truth values and errors (it gives them as the numbers 1 and 0), and the cell formats,
// hidden from it. They are read here from the sheet's own records, and a number in a date or time
// format is shown as libfreexl would show it.

// How a cell's number format shows a number, as libfreexl tells it.
enum class NumberShape : uint8_t { Number, Date, DateTime, Time };

// What the globals of the workbook stream say about the display of the cells: the BIFF version, the
// date system, the code page of a BIFF5 text, and the shape of each cell format (XF) by its index.
struct BiffGlobals {
    bool biff5 = false;
    bool date1904 = false;
    uint16_t codePage = 1252;
    std::vector<NumberShape> xfShapes;
};

// The text of a BIFF5 string in the workbook's code page, read as Latin-1 when no decoder knows it.
QString CodePageText(const QByteArray &bytes, uint16_t codePage)
{
    QByteArray name = "CP" + QByteArray::number(codePage);
    if (codePage == 367)
        name = "US-ASCII";
    else if (codePage == 1200)
        name = "UTF-16LE";
    else if (codePage == 0x8000 || codePage == 10000)
        name = "macintosh";
    else if (codePage == 0x8001)
        name = "CP1252";
    QStringDecoder decoder(name.constData());
    return decoder.isValid() ? decoder.decode(bytes) : QString::fromLatin1(bytes);
}

// Appends to out up to `left` characters of a BIFF8 string from pos on, as far as end: one byte each,
// or UTF-16 when wide. Moves pos past them and counts them off left.
void AppendChars(QString &out, const QByteArray &stream, qsizetype &pos, qsizetype end, qint64 &left, bool wide)
{
    const int width = wide ? 2 : 1;
    const qint64 n = std::clamp<qint64>((end - pos) / width, 0, left);
    const auto *p = reinterpret_cast<const unsigned char *>(stream.constData() + pos);
    for (qint64 i = 0; i < n; ++i)
        out += wide ? QChar(static_cast<char16_t>(p[2 * i] | (p[2 * i + 1] << 8))) : QChar(p[i]);
    pos += n * width;
    left -= n;
}

// The text of the STRING record whose data starts at `at` (after a formula whose result is a text): in
// BIFF8 its characters, going on in the CONTINUE records after it, each of them starting with the
// flags byte again; in BIFF5 bytes in the workbook's code page. As much of it as the records hold.
QString StringRecordText(const QByteArray &stream, qsizetype at, const BiffGlobals &globals)
{
    qsizetype end = std::min<qsizetype>(at + U16(stream, at - 2), stream.size());
    qint64 left = U16(stream, at);
    if (globals.biff5)
        return CodePageText(stream.mid(at + 2, std::clamp<qint64>(end - at - 2, 0, left)), globals.codePage);
    QString text;
    for (qsizetype pos = at + 3; pos <= end;) {
        AppendChars(text, stream, pos, end, left, stream[pos - 1] & 0x01);
        if (left == 0 || U16(stream, end) != 0x003C || end + 5 > stream.size())
            break;
        pos = end + 5;
        end = std::min<qsizetype>(end + 4 + U16(stream, end + 2), stream.size());
    }
    return text;
}

// The shape of a number format by libfreexl's rule: the built-in formats 14-17 are dates, 18-21 and
// 45-47 times, 22 a date and time; a format of the workbook whose code holds y, m, d and h (either
// case, anywhere in the code) is a date and time, one holding y and m or m and d a date, one holding
// h and m or m and s a time.
NumberShape ShapeOfCode(const QString &code)
{
    int y = 0, m = 0, d = 0, h = 0, s = 0;
    for (const QChar ch : code) {
        switch (ch.unicode()) {
        case u'Y':
        case u'y':
            ++y;
            break;
        case u'M':
        case u'm':
            ++m;
            break;
        case u'D':
        case u'd':
            ++d;
            break;
        case u'H':
        case u'h':
            ++h;
            break;
        case u'S':
        case u's':
            ++s;
            break;
        default:
            break;
        }
    }
    if (y && m && d && h)
        return NumberShape::DateTime;
    if ((y && m) || (m && d))
        return NumberShape::Date;
    if ((h && m) || (m && s))
        return NumberShape::Time;
    return NumberShape::Number;
}

NumberShape ShapeOfBuiltInFormat(uint16_t format)
{
    if (format >= 14 && format <= 17)
        return NumberShape::Date;
    if ((format >= 18 && format <= 21) || (format >= 45 && format <= 47))
        return NumberShape::Time;
    return format == 22 ? NumberShape::DateTime : NumberShape::Number;
}

// The globals of the workbook stream. Like libfreexl, it keeps the first 8,192 cell formats and the
// first 2,048 number formats showing a date or a time, the first of these holding for its index.
BiffGlobals ReadBiffGlobals(const QByteArray &stream)
{
    constexpr size_t kMaxXf = 8192;
    constexpr size_t kMaxDateFormats = 2048;
    BiffGlobals g;
    std::vector<uint16_t> xfFormats;
    std::vector<std::pair<uint16_t, NumberShape>> dateFormats;
    ForEachRecord(stream, 0, stream.size(), [&](uint16_t type, qsizetype at, uint16_t length) {
        const qsizetype end = std::min<qsizetype>(at + length, stream.size());
        if (type == 0x0809 && at == 4) {
            g.biff5 = U16(stream, at) == 0x0500;
        } else if (type == 0x0022 && length >= 2) {
            g.date1904 = U16(stream, at) != 0;
        } else if (type == 0x0042 && length >= 2) {
            g.codePage = U16(stream, at);
        } else if (type == 0x00E0 && length >= 4) {
            if (xfFormats.size() < kMaxXf)
                xfFormats.push_back(U16(stream, at + 2));
        } else if (type == 0x041E && length >= 3 && dateFormats.size() < kMaxDateFormats) {
            QString code;
            if (g.biff5) {
                code = CodePageText(stream.mid(at + 3, std::clamp<qsizetype>(end - at - 3, 0, U8(stream, at + 2))),
                                    g.codePage);
            } else if (length >= 5) {
                const auto flags = U8(stream, at + 4);
                qsizetype pos = at + 5 + (flags & 0x08 ? 2 : 0) + (flags & 0x04 ? 4 : 0);
                qint64 left = U16(stream, at + 2);
                AppendChars(code, stream, pos, end, left, flags & 0x01);
            }
            if (const NumberShape shape = ShapeOfCode(code); shape != NumberShape::Number)
                dateFormats.emplace_back(U16(stream, at), shape);
        }
        return true;
    });
    for (const uint16_t format : xfFormats) {
        NumberShape shape = ShapeOfBuiltInFormat(format);
        if (shape == NumberShape::Number) {
            const auto own = std::find_if(dateFormats.begin(), dateFormats.end(),
                                          [&](const auto &f) { return f.first == format; });
            if (own != dateFormats.end())
                shape = own->second;
        }
        g.xfShapes.push_back(shape);
    }
    return g;
}

// Day `count` of the workbook's date system as libfreexl shows it, "YYYY-MM-DD": day 1 is 1900-01-01
// (1904-01-02 in the 1904 system), a day below 1 is shown as day 1, and every fourth year is a leap
// year (1900 too, as the 1900 system counts it; past 2099 the days drift from the calendar's).
QString BiffDayText(qint64 count, bool date1904)
{
    qint64 days = std::max<qint64>(count, 1) - 1 + (date1904 ? 1 : 0);
    qint64 year = (date1904 ? 1904 : 1900) + 4 * (days / 1461);
    days %= 1461;
    if (days >= 366) {
        days -= 366;
        year += 1 + days / 365;
        days %= 365;
    }
    static constexpr int kMonthDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    int month = 0;
    for (; month < 11; ++month) {
        const int monthDays = kMonthDays[month] + (month == 1 && year % 4 == 0 ? 1 : 0);
        if (days < monthDays)
            break;
        days -= monthDays;
    }
    return QString::asprintf("%04lld-%02d-%02lld", year, month + 1, days + 1);
}

// The time of day of a fraction of a day as libfreexl shows it, "HH:MM:SS", rounded to the second.
QString BiffTimeText(double fraction)
{
    const long long seconds = std::llround(86400 * fraction);
    return QString::asprintf("%02lld:%02lld:%02lld", seconds / 3600, seconds % 3600 / 60, seconds % 60);
}

// The display text of a number in a cell of that shape (see Workbook::CellText). libfreexl takes the
// day of a date as an int: beyond one, only the first day is shown.
QString BiffNumberText(double v, NumberShape shape, bool date1904)
{
    if (shape == NumberShape::Number)
        return NumberDisplay(v);
    const double day = std::floor(v);
    const bool inRange = day >= std::numeric_limits<int>::min() && day <= std::numeric_limits<int>::max();
    const qint64 count = inRange ? static_cast<qint64>(day) : 0;
    const double fraction = inRange ? v - day : 0;
    if (shape == NumberShape::Time)
        return BiffTimeText(fraction);
    const QString date = BiffDayText(count, date1904);
    return shape == NumberShape::Date ? date : date + u' ' + BiffTimeText(fraction);
}

// An error value's text as spreadsheets show it, by its BIFF code.
QString BiffErrorText(uint8_t code)
{
    switch (code) {
    case 0x00:
        return QStringLiteral("#NULL!");
    case 0x07:
        return QStringLiteral("#DIV/0!");
    case 0x0F:
        return QStringLiteral("#VALUE!");
    case 0x17:
        return QStringLiteral("#REF!");
    case 0x1D:
        return QStringLiteral("#NAME?");
    case 0x24:
        return QStringLiteral("#NUM!");
    case 0x2B:
        return QStringLiteral("#GETTING_DATA");
    default:
        // #N/A, and the codes no spreadsheet writes, which are no value either.
        return QStringLiteral("#N/A");
    }
}

// A cell whose display the sheet's own records decide: the last result of a formula (FORMULA) and a
// truth value or an error (BOOLERR), which libfreexl leaves out, and a number (NUMBER, RK, MULRK),
// whose value libfreexl gives without its cell format (see HideCellFormats).
struct BiffValue {
    // Formatted: a number as libfreexl gives it, shown in the cell format xf.
    enum Kind : uint8_t { Number, String, Truth, Error, Empty, Formatted };
    uint32_t row = 0;  // from 0
    uint16_t col = 0;  // from 0
    uint16_t xf = 0;
    Kind kind = Number;
    bool formula = false;
    uint8_t code = 0;        // Truth: the value; Error: its code
    double number = 0;       // Number
    qsizetype string = -1;   // String: where the data of the STRING record after the formula starts
};

// How the cell format xf shows a number.
NumberShape XfShape(const BiffGlobals &globals, uint16_t xf)
{
    return xf < globals.xfShapes.size() ? globals.xfShapes[xf] : NumberShape::Number;
}

// The cells of the substream [from, end) in rows firstRow to lastRow - 1 and columns below cols (all
// from 0) whose display the sheet's records decide: formula results, BOOLERR cells, and the numbers from
// the first one in a date or time format on (so that one in another format written later over it
// holds). Each cell once (the last record of it holds), in order of row and column. What is held is
// put in order whenever it has doubled since the last time (and a few thousand more), so that a cell
// written many times takes no more room than twice the cells of the window.
std::vector<BiffValue> ReadBiffValues(const QByteArray &stream, qsizetype from, qsizetype end, uint32_t firstRow,
                                      uint32_t lastRow, uint16_t cols, const BiffGlobals &globals)
{
    std::vector<BiffValue> values;
    const auto before = [](const BiffValue &a, const BiffValue &b) {
        return std::pair(a.row, a.col) < std::pair(b.row, b.col);
    };
    // Of the records of one cell the last holds: it is the last of its run after a stable sort.
    const auto order = [&] {
        if (!std::is_sorted(values.begin(), values.end(), before))
            std::stable_sort(values.begin(), values.end(), before);
        size_t kept = 0;
        for (size_t i = 0; i < values.size(); ++i)
            if (i + 1 == values.size() || before(values[i], values[i + 1]))
                values[kept++] = values[i];
        values.resize(kept);
    };
    size_t ordered = 0;
    const auto add = [&](const BiffValue &v) {
        if (v.row < firstRow || v.row >= lastRow || v.col >= cols)
            return false;
        if (values.size() >= 2 * ordered + 4096) {
            order();
            ordered = values.size();
        }
        values.push_back(v);
        return true;
    };
    // The formula whose text is in the STRING record right after it, if it is kept.
    constexpr size_t kNone = SIZE_MAX;
    size_t awaiting = kNone;
    // Numbers are read only in a workbook with a date or time format.
    const bool formats = std::any_of(globals.xfShapes.begin(), globals.xfShapes.end(),
                                     [](NumberShape s) { return s != NumberShape::Number; });
    bool dates = false;
    ForEachRecord(stream, from, end, [&](uint16_t type, qsizetype at, uint16_t length) {
        const bool number = formats && (type == 0x0203 || type == 0x027E || type == 0x00BD);
        if (!number && type != 0x0006 && type != 0x0205 && type != 0x0207)
            return true;
        if (at + length > stream.size())
            return false;
        if (type == 0x0207) {
            if (awaiting != kNone)
                values[awaiting].string = at;
            awaiting = kNone;
            return true;
        }
        awaiting = kNone;
        BiffValue v;
        v.row = U16(stream, at);
        v.col = U16(stream, at + 2);
        v.xf = U16(stream, at + 4);
        if (number) {
            // NUMBER and RK records hold one cell; a MULRK record the cells from its column on, 6 bytes
            // each starting with the cell's format, then its last column (libfreexl reads the cells
            // whose 6 bytes end before the record's last byte).
            v.kind = BiffValue::Formatted;
            const int count = type == 0x00BD ? (length - 5) / 6 : length >= 6 ? 1 : 0;
            for (int k = 0; k < count; ++k, ++v.col) {
                v.xf = U16(stream, at + 4 + 6 * k);
                dates = dates || XfShape(globals, v.xf) != NumberShape::Number;
                if (dates)
                    add(v);
            }
            return true;
        }
        const bool formula = type == 0x0006 && length >= 14;
        if (!formula && (type != 0x0205 || length < 8))
            return true;
        v.formula = formula;
        if (!formula) {
            v.kind = U8(stream, at + 7) ? BiffValue::Error : BiffValue::Truth;
            v.code = U8(stream, at + 6);
        } else if (U16(stream, at + 12) != 0xFFFF) {
            std::memcpy(&v.number, stream.constData() + at + 6, sizeof v.number);
        } else {
            // A result that is no number: its kind in the first byte, a truth value or an error code in the third.
            static constexpr BiffValue::Kind kKinds[] = {BiffValue::String, BiffValue::Truth, BiffValue::Error,
                                                        BiffValue::Empty};
            const uint8_t kind = U8(stream, at + 6);
            if (kind >= std::size(kKinds))
                return true;
            v.kind = kKinds[kind];
            v.code = U8(stream, at + 8);
        }
        if (add(v) && v.kind == BiffValue::String)
            awaiting = values.size() - 1;
        return true;
    });
    order();
    return values;
}

WorkbookFailure FailureOfBiffError(int code)
{
    switch (code) {
    case FREEXL_FILE_NOT_FOUND:
        return WorkbookFailure::Unreadable;
    case FREEXL_INSUFFICIENT_MEMORY:
    case FREEXL_UNSUPPORTED_CHARSET:
    case FREEXL_INVALID_CHARACTER:
    case FREEXL_NULL_HANDLE:
    case FREEXL_INVALID_HANDLE:
    case FREEXL_NULL_ARGUMENT:
    case FREEXL_INVALID_INFO_ARG:
        return WorkbookFailure::Other;
    default:
        return WorkbookFailure::NotWorkbook;
    }
}

// An open .xls workbook: libfreexl's handle, its index and substream of each listed sheet, the
// workbook stream with its globals for the values libfreexl leaves out, and the shared strings made so
// far.
class XlsBook final : public BookReader {
public:
    ~XlsBook() override
    {
        if (xls)
            freexl_close(xls);
    }

    // Walks the file's bytes, then opens its workbook stream with the library (see OpenXlsBook); false
    // with the failure set.
    bool Open(const QByteArray &file)
    {
        // libfreexl is asked only about a workbook stream found here, in a compound file of the reader's
        // own (see WriteCompoundFile): it loses memory on many a damaged file (a small workbook cut
        // short among them) and reads past a directory name that claims more than its room. A workbook
        // that it would answer with success and no handle (a sheet before the last without its size
        // declared) is refused, as is one declaring more cells than it may set aside or holding a
        // shared string it cannot read. Its cell formats are hidden from it (see HideCellFormats).
        stream = BiffStream(file);
        const std::vector<BiffSheetInfo> sheets = BiffSheets(stream);
        if (sheets.empty())
            return Fail(WorkbookFailure::NotWorkbook, 0);
        if (const WorkbookFailure fault = SharedStringsFault(stream); fault != WorkbookFailure::None)
            return Fail(fault, 0);
        qint64 declared = 0;
        uint32_t last = 0;
        for (const BiffSheetInfo &s : sheets) {
            declared += s.cells;
            last = std::max(last, s.offset);
        }
        for (const BiffSheetInfo &s : sheets)
            if (!s.dimensions && s.offset != last)
                return Fail(WorkbookFailure::NotWorkbook, 0);
        if (declared > kMaxBiffCells)
            return Fail(WorkbookFailure::TooLarge, 0);
        globals = ReadBiffGlobals(stream);
        HideCellFormats(stream);
        // libfreexl reads the whole file while it opens it (its handle keeps the file, unlinked, open).
        QTemporaryFile copy(QDir::tempPath() + QStringLiteral("/kelvaro-xls-XXXXXX"));
        if (!copy.open() || !WriteCompoundFile(copy, stream))
            return Fail(WorkbookFailure::Other, 0);
        const int rc = freexl_open(QFile::encodeName(copy.fileName()).constData(), &xls);
        if (rc != FREEXL_OK) {
            if (xls)
                freexl_close(xls);
            xls = nullptr;
            return Fail(FailureOfBiffError(rc), rc);
        }
        // The library answers some damaged files with success and no handle.
        if (!xls)
            return Fail(WorkbookFailure::NotWorkbook, 0);
        unsigned int info = 0;
        if (freexl_get_info(xls, FREEXL_BIFF_PASSWORD, &info) == FREEXL_OK && info == FREEXL_BIFF_OBFUSCATED)
            return Fail(WorkbookFailure::Encrypted, 0);
        if (const int e = freexl_get_info(xls, FREEXL_BIFF_SHEET_COUNT, &info); e != FREEXL_OK)
            return Fail(FailureOfBiffError(e), e);
        for (unsigned i = 0; i < info; ++i) {
            const char *name = nullptr;
            if (const int e = freexl_get_worksheet_name(xls, static_cast<unsigned short>(i), &name); e != FREEXL_OK)
                return Fail(FailureOfBiffError(e), e);
            // Where the library's sheets are not the BOUNDSHEET records, a sheet's substream is unknown.
            const bool known = sheets.size() == info;
            if (known && sheets[i].kind != 0)
                continue;
            names << QString::fromUtf8(name ? name : "");
            xlsIndex.push_back(i);
            substreams.push_back(known ? sheets[i] : BiffSheetInfo());
        }
        return true;
    }

    bool Select(int sheet, const SheetWindow &window, SheetCells &cells) override
    {
        int e = freexl_select_active_worksheet(xls, static_cast<unsigned short>(xlsIndex[static_cast<size_t>(sheet)]));
        unsigned int rowCount = 0;
        unsigned short colCount = 0;
        if (e == FREEXL_OK)
            e = freexl_worksheet_dimensions(xls, &rowCount, &colCount);
        if (e != FREEXL_OK)
            return Fail(FailureOfBiffError(e), e);
        const std::vector<char> wanted = WantedColumns(window, colCount);
        const unsigned first = static_cast<unsigned>(std::max(window.firstRow, 1)) - 1;
        const unsigned last = std::min(rowCount, static_cast<unsigned>(std::max(window.lastRow, 0)));
        const BiffSheetInfo &sub = substreams[static_cast<size_t>(sheet)];
        const std::vector<BiffValue> values =
            ReadBiffValues(stream, sub.offset, sub.end, first, last, colCount, globals);
        auto own = values.begin();
        BiffValue number;
        for (unsigned r = first; r < last; ++r) {
            for (unsigned short c = 0; c < colCount; ++c) {
                FreeXL_CellValue v;
                if (freexl_get_cell_value(xls, r, c, &v) != FREEXL_OK)
                    v.type = FREEXL_CELL_NULL;
                // The sheet's own value of the cell holds where the library has none (a formula) or gives
                // a truth value or an error as a number; a number the library gives is shown in the
                // format of the cell's record when that shows a date or a time.
                const BiffValue *value = nullptr;
                if (own != values.end() && own->row == r && own->col == c) {
                    if (own->kind != BiffValue::Formatted) {
                        if (v.type == FREEXL_CELL_NULL || (!own->formula && v.type == FREEXL_CELL_INT))
                            value = &*own;
                    } else if ((v.type == FREEXL_CELL_INT || v.type == FREEXL_CELL_DOUBLE) &&
                               XfShape(globals, own->xf) != NumberShape::Number) {
                        number = *own;
                        number.kind = BiffValue::Number;
                        number.number = v.type == FREEXL_CELL_INT ? v.value.int_value : v.value.double_value;
                        value = &number;
                    }
                    ++own;
                }
                // Every cell of the window's rows counts for the used range; only the kept ones are made.
                if (!IsWanted(wanted, c + 1)) {
                    if (value ? HasText(*value) : HasText(v))
                        cells.Add(static_cast<int>(r + 1), c + 1, QString(), false);
                } else if (QString text = value ? CellText(*value) : CellText(v); !text.isEmpty()) {
                    cells.Add(static_cast<int>(r + 1), c + 1, std::move(text), true);
                }
            }
        }
        return true;
    }

private:
    // True when the display text of a cell's value is not empty, told without making it.
    static bool HasText(const FreeXL_CellValue &v)
    {
        switch (v.type) {
        case FREEXL_CELL_INT:
        case FREEXL_CELL_DOUBLE:
            return true;
        case FREEXL_CELL_TEXT:
        case FREEXL_CELL_SST_TEXT:
        case FREEXL_CELL_DATE:
        case FREEXL_CELL_DATETIME:
        case FREEXL_CELL_TIME:
            return v.value.text_value && *v.value.text_value;
        default:
            return false;
        }
    }

    // The display text of a cell's value, "" when it is empty. A shared string is made once and then
    // handed out shared: the library gives each use of it the same text.
    QString CellText(const FreeXL_CellValue &v)
    {
        switch (v.type) {
        case FREEXL_CELL_INT:
            return QString::number(v.value.int_value);
        case FREEXL_CELL_DOUBLE:
            return NumberDisplay(v.value.double_value);
        case FREEXL_CELL_SST_TEXT:
            if (v.value.text_value) {
                if (const auto made = shared.constFind(v.value.text_value); made != shared.constEnd())
                    return *made;
                return *shared.insert(v.value.text_value, QString::fromUtf8(v.value.text_value));
            }
            return QString();
        case FREEXL_CELL_TEXT:
        case FREEXL_CELL_DATE:
        case FREEXL_CELL_DATETIME:
        case FREEXL_CELL_TIME:
            return QString::fromUtf8(v.value.text_value ? v.value.text_value : "");
        default:
            return QString();
        }
    }

    // True when the display text of a value of the sheet's own is not empty, told without making it.
    bool HasText(const BiffValue &v) const
    {
        return v.kind == BiffValue::String ? v.string >= 0 && U16(stream, v.string) > 0 : v.kind != BiffValue::Empty;
    }

    // The display text of a value of the sheet's own.
    QString CellText(const BiffValue &v) const
    {
        switch (v.kind) {
        case BiffValue::Number:
            return BiffNumberText(v.number, XfShape(globals, v.xf), globals.date1904);
        case BiffValue::String:
            return v.string >= 0 ? StringRecordText(stream, v.string, globals) : QString();
        case BiffValue::Truth:
            return v.code ? QStringLiteral("TRUE") : QStringLiteral("FALSE");
        case BiffValue::Error:
            return BiffErrorText(v.code);
        default:
            return QString();
        }
    }

    const void *xls = nullptr;
    std::vector<unsigned> xlsIndex;
    // The workbook stream with its cell formats hidden, its globals, and the substream of each listed
    // sheet.
    QByteArray stream;
    BiffGlobals globals;
    std::vector<BiffSheetInfo> substreams;
    // The shared strings made so far, by the library's text of each.
    QHash<const char *, QString> shared;
};

}  // namespace

std::unique_ptr<BookReader> OpenXlsBook(QFile &file, const QByteArray &head, ReadFailure &failure)
{
    if (file.size() > kMaxBiffFileBytes) {
        failure.Fail(WorkbookFailure::TooLarge, 0);
        return nullptr;
    }
    const QByteArray bytes = head + file.readAll();
    file.close();
    auto book = std::make_unique<XlsBook>();
    if (book->Open(bytes))
        return book;
    failure = *book;
    return nullptr;
}

}  // namespace workbook_internal
