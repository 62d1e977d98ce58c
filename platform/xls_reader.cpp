// The .xls reader of the workbook reader: the walk of the compound file and of the workbook stream's
// sheets, then the cells through libfreexl.
#include "xls_reader.h"

#include <algorithm>
#include <vector>

#include <freexl.h>

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
// or, when it is below the cut-off size, from the mini stream; empty when it cannot be found, and when
// an entry of the directory claims a name longer than the 64 bytes that hold it (libfreexl would read
// such a name past its end).
QByteArray BiffStream(const QByteArray &file)
{
    constexpr uint32_t kLastSector = 0xFFFFFFFAu;
    const uint16_t shift = U16(file, 30);
    if (shift != 9 && shift != 12)
        return {};
    const qsizetype sectorSize = qsizetype(1) << shift;
    const auto sectorAt = [&](uint32_t s) { return (static_cast<qsizetype>(s) + 1) * sectorSize; };
    // No file has more FAT sectors than sectors.
    const uint32_t fatCount = std::min<uint32_t>(U32(file, 44), static_cast<uint32_t>(file.size() / sectorSize));
    std::vector<uint32_t> fatSectors;
    for (int i = 0; i < 109 && fatSectors.size() < fatCount; ++i)
        fatSectors.push_back(U32(file, 76 + 4 * i));
    uint32_t difat = U32(file, 68);
    for (uint32_t n = U32(file, 72); n > 0 && difat <= kLastSector && fatSectors.size() < fatCount; --n) {
        const qsizetype at = sectorAt(difat);
        for (qsizetype k = 0; k + 1 < sectorSize / 4 && fatSectors.size() < fatCount; ++k)
            fatSectors.push_back(U32(file, at + 4 * k));
        difat = U32(file, at + sectorSize - 4);
    }
    std::vector<uint32_t> fat;
    for (uint32_t s : fatSectors) {
        if (s > kLastSector || sectorAt(s) + sectorSize > file.size())
            return {};
        for (qsizetype k = 0; k < sectorSize / 4; ++k)
            fat.push_back(U32(file, sectorAt(s) + 4 * k));
    }
    const auto chain = [&](uint32_t s, qsizetype limit) {
        QByteArray out;
        for (size_t steps = 0; s <= kLastSector && steps <= fat.size() && out.size() < limit; ++steps) {
            if (sectorAt(s) + sectorSize > file.size() || s >= fat.size())
                return QByteArray();
            out += file.mid(sectorAt(s), sectorSize);
            s = fat[s];
        }
        return out;
    };
    const QByteArray dir = chain(U32(file, 48), qsizetype(1) << 24);
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
        if (size >= U32(file, 56))
            return chain(U32(dir, e + 116), size).left(size);
        // The mini stream: 64-byte sectors inside the stream of the root entry, chained by the mini FAT.
        constexpr qsizetype kMini = 64;
        const QByteArray miniFat = chain(U32(file, 60), file.size());
        const QByteArray mini = chain(U32(dir, 116), U32(dir, 120));
        QByteArray out;
        qsizetype steps = 0;
        for (uint32_t s = U32(dir, e + 116); s <= kLastSector && out.size() < size;
             s = U32(miniFat, qsizetype(4) * s)) {
            if (++steps > miniFat.size() / 4 || (qsizetype(s) + 1) * kMini > mini.size())
                return {};
            out += mini.mid(qsizetype(s) * kMini, kMini);
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

// An open .xls workbook: libfreexl's handle and its index of each listed sheet.
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
        // declaring more cells than it may set aside.
        const std::vector<BiffSheetInfo> sheets = BiffSheets(BiffStream(file));
        if (sheets.empty())
            return Fail(WorkbookFailure::NotWorkbook, 0);
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
                if (QString text = XlsCellText(r, c); !text.isEmpty())
                    cells.Add(static_cast<int>(r + 1), c + 1, std::move(text), IsWanted(wanted, c + 1));
            }
        }
        return true;
    }

private:
    // The display text of a cell of the selected sheet, "" when it is empty.
    QString XlsCellText(unsigned row, unsigned short col) const
    {
        FreeXL_CellValue v;
        if (freexl_get_cell_value(xls, row, col, &v) != FREEXL_OK)
            return QString();
        switch (v.type) {
        case FREEXL_CELL_INT:
            return QString::number(v.value.int_value);
        case FREEXL_CELL_DOUBLE:
            return NumberDisplay(v.value.double_value);
        case FREEXL_CELL_TEXT:
        case FREEXL_CELL_SST_TEXT:
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
