// The .xls reader of the workbook reader: the walk of the compound file's sector chains and of the
// workbook stream's sheets and shared strings, then the cells through libfreexl.
#include "xls_reader.h"

#include <algorithm>
#include <optional>
#include <utility>
#include <vector>

#include <freexl.h>

#include <QHash>

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
// that loops or leaves the file, or a sector listed twice as a sector of the FAT. Every chain is
// walked with a mark on each sector visited, so no walk takes more steps than the file has sectors
// and nothing read is bigger than the file.
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
            out += file.mid(sectorAt(s), sectorSize);
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
        if (!miniFat || !mini)
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

// A sheet of the workbook stream, from its BOUNDSHEET record and its own substream.
struct BiffSheetInfo {
    int kind = 0;             // 0 a worksheet, 2 a chart sheet, 1 and 6 macro sheets
    uint32_t offset = 0;      // where its substream starts
    bool dimensions = false;  // its substream declares its size
    qint64 cells = 0;         // rows × columns declared
};

// The sheets of the workbook stream in BOUNDSHEET order.
std::vector<BiffSheetInfo> BiffSheets(const QByteArray &stream)
{
    std::vector<BiffSheetInfo> sheets;
    for (qsizetype at = 0; at + 4 <= stream.size();) {
        const uint16_t type = U16(stream, at);
        const uint16_t length = U16(stream, at + 2);
        if (type == 0x0085 && length >= 6 && at + 10 <= stream.size())
            sheets.push_back({static_cast<unsigned char>(stream[at + 9]), U32(stream, at + 4)});
        if (type == 0x000A)
            break;
        at += 4 + length;
    }
    // Each substream is read up to the next one, so that sheets pointing at one place cost no more.
    std::vector<uint32_t> starts;
    for (const BiffSheetInfo &s : sheets)
        starts.push_back(s.offset);
    std::sort(starts.begin(), starts.end());
    for (BiffSheetInfo &s : sheets) {
        const auto next = std::upper_bound(starts.begin(), starts.end(), s.offset);
        const qsizetype end = next == starts.end() ? stream.size() : std::min<qsizetype>(*next, stream.size());
        for (qsizetype at = s.offset; at + 4 <= end;) {
            const uint16_t type = U16(stream, at);
            const uint16_t length = U16(stream, at + 2);
            if (type == 0x0200 && (length == 14 || length == 10)) {
                // BIFF8 counts rows in 32 bits, BIFF5 in 16.
                const bool wide = length == 14;
                const qint64 rows = wide ? U32(stream, at + 8) : U16(stream, at + 6);
                const qint64 cols = U16(stream, at + 4 + (wide ? 10 : 6));
                s.dimensions = true;
                s.cells = rows * cols;
                break;
            }
            if (type == 0x000A)
                break;
            at += 4 + length;
        }
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

// An open .xls workbook: libfreexl's handle, its index of each listed sheet, and the shared strings
// made so far.
class XlsBook final : public BookReader {
public:
    ~XlsBook() override
    {
        if (xls)
            freexl_close(xls);
    }

    // Walks the file's bytes, then opens it with the library (see OpenXlsBook); false with the
    // failure set.
    bool Open(const QString &path, const QByteArray &file)
    {
        // libfreexl is asked only about a compound file whose workbook stream and sheets are found here:
        // it loses memory on many a damaged one (a small workbook cut short among them) and reads past
        // a directory name that claims more than its room. A workbook that it would answer with success
        // and no handle (a sheet before the last without its size declared) is refused too, as is one
        // declaring more cells than it may set aside or holding a shared string it cannot read.
        const QByteArray stream = BiffStream(file);
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
        const int rc = freexl_open(QFile::encodeName(path).constData(), &xls);
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
            if (sheets.size() == info && sheets[i].kind != 0)
                continue;
            names << QString::fromUtf8(name ? name : "");
            xlsIndex.push_back(i);
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
        const unsigned last = std::min(rowCount, static_cast<unsigned>(std::max(window.lastRow, 0)));
        for (unsigned r = static_cast<unsigned>(std::max(window.firstRow, 1)) - 1; r < last; ++r) {
            for (unsigned short c = 0; c < colCount; ++c) {
                FreeXL_CellValue v;
                if (freexl_get_cell_value(xls, r, c, &v) != FREEXL_OK)
                    continue;
                // Every cell of the window's rows counts for the used range; only the kept ones are made.
                if (!IsWanted(wanted, c + 1)) {
                    if (HasText(v))
                        cells.Add(static_cast<int>(r + 1), c + 1, QString(), false);
                } else if (QString text = CellText(v); !text.isEmpty()) {
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

    const void *xls = nullptr;
    std::vector<unsigned> xlsIndex;
    // The shared strings made so far, by the library's text of each.
    QHash<const char *, QString> shared;
};

}  // namespace

std::unique_ptr<BookReader> OpenXlsBook(const QString &path, QFile &file, const QByteArray &head, ReadFailure &failure)
{
    if (file.size() > kMaxBiffFileBytes) {
        failure.Fail(WorkbookFailure::TooLarge, 0);
        return nullptr;
    }
    const QByteArray bytes = head + file.readAll();
    file.close();
    auto book = std::make_unique<XlsBook>();
    if (book->Open(path, bytes))
        return book;
    failure = *book;
    return nullptr;
}

}  // namespace workbook_internal
