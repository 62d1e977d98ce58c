// Workbook: the reader of .xlsx/.xlsm (a zip archive of XML parts, read with libzip and pugixml) and
// of .xls (a BIFF8 stream in a compound file, read with libfreexl).
#include "workbook.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <vector>

#include <freexl.h>
#include <pugixml.hpp>
#include <zip.h>

#include <QDir>
#include <QFile>
#include <QHash>

#include "platform/daynum.h"
#include "platform/value.h"

namespace {

using Rows = std::vector<std::vector<QString>>;

// ---- XML helpers: element names are compared without their namespace prefix ("x:sheet").

const char *LocalName(const pugi::xml_node &node)
{
    const char *name = node.name();
    const char *colon = std::strrchr(name, ':');
    return colon ? colon + 1 : name;
}

bool IsNamed(const pugi::xml_node &node, const char *local)
{
    return node.type() == pugi::node_element && std::strcmp(LocalName(node), local) == 0;
}

pugi::xml_node ChildNamed(const pugi::xml_node &node, const char *local)
{
    for (pugi::xml_node c = node.first_child(); c; c = c.next_sibling())
        if (IsNamed(c, local))
            return c;
    return {};
}

// The attribute whose name without prefix is local ("r:id" for "id").
pugi::xml_attribute AttributeNamed(const pugi::xml_node &node, const char *local)
{
    for (pugi::xml_attribute a = node.first_attribute(); a; a = a.next_attribute()) {
        const char *name = a.name();
        const char *colon = std::strrchr(name, ':');
        if (std::strcmp(colon ? colon + 1 : name, local) == 0)
            return a;
    }
    return {};
}

// Characters the XML cannot carry are written "_xHHHH_" in the texts of a workbook.
QString DecodeEscapes(const QString &text)
{
    if (!text.contains(QStringLiteral("_x")))
        return text;
    QString out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == u'_' && i + 6 < text.size() && text[i + 1] == u'x' && text[i + 6] == u'_') {
            bool ok = false;
            const uint code = text.mid(i + 2, 4).toUInt(&ok, 16);
            if (ok) {
                out += QChar(static_cast<char16_t>(code));
                i += 6;
                continue;
            }
        }
        out += text[i];
    }
    return out;
}

// The text of a string item (<si>, <is>): its <t>, or the <t> of each run, phonetic runs left out.
QString RichText(const pugi::xml_node &item)
{
    QString text;
    for (pugi::xml_node c = item.first_child(); c; c = c.next_sibling()) {
        if (IsNamed(c, "t"))
            text += QString::fromUtf8(c.text().get());
        else if (IsNamed(c, "r"))
            text += QString::fromUtf8(ChildNamed(c, "t").text().get());
    }
    return DecodeEscapes(text);
}

// ---- Display texts.

QString NumberDisplay(double v)
{
    return NumberText(v, 15);
}

// A serial date of the workbook as "YYYY-MM-DD", "YYYY-MM-DD HH:MM:SS" or "HH:MM:SS"; nothing when it
// lies outside the dates the program can hold.
std::optional<QString> SerialDateText(double serial, bool date1904)
{
    if (!std::isfinite(serial) || serial < 0)
        return std::nullopt;
    // The 1900 system counts a 29 February 1900 that never was: the serials before it are one day
    // early. A serial below 1 is a time of day alone.
    double day = serial;
    if (date1904)
        day += 1462;
    else if (serial >= 1 && serial < 60)
        day += 1;
    const QDateTime dt = DateTimeOfDayNumber(day);
    if (!dt.isValid())
        return std::nullopt;
    const QString time = dt.time().toString(QStringLiteral("HH:mm:ss"));
    if (serial < 1)
        return time;
    const QString date = dt.date().toString(QStringLiteral("yyyy-MM-dd"));
    return dt.time() == QTime(0, 0) ? date : date + u' ' + time;
}

// True for a number format that shows a date or a time: the built-in ones (14-22, 45-47, and the
// Chinese 27-36 and 50-58 that spreadsheets write without their code), and any code holding y, m, d
// or h outside quoted text, brackets and escaped characters.
bool IsDateFormat(int id, const QString &code)
{
    if ((id >= 14 && id <= 22) || (id >= 45 && id <= 47) || (id >= 27 && id <= 36) || (id >= 50 && id <= 58))
        return true;
    bool quoted = false;
    bool bracket = false;
    for (qsizetype i = 0; i < code.size(); ++i) {
        const QChar ch = code[i];
        if (quoted) {
            quoted = ch != u'"';
        } else if (bracket) {
            bracket = ch != u']';
        } else if (ch == u'"') {
            quoted = true;
        } else if (ch == u'[') {
            bracket = true;
        } else if (ch == u'\\' || ch == u'_' || ch == u'*') {
            ++i;  // the next character stands for itself
        } else {
            const QChar c = ch.toLower();
            if (c == u'y' || c == u'm' || c == u'd' || c == u'h')
                return true;
        }
    }
    return false;
}

// "A1" → column 1; "AB12" → 28. 0 when the reference starts with no letter.
int ColumnOfReference(const char *ref)
{
    int col = 0;
    for (; *ref; ++ref) {
        const char ch = *ref;
        if (ch >= 'A' && ch <= 'Z')
            col = col * 26 + (ch - 'A' + 1);
        else if (ch >= 'a' && ch <= 'z')
            col = col * 26 + (ch - 'a' + 1);
        else
            break;
        if (col > 1 << 20)
            return 0;
    }
    return col;
}

// Drops empty cells at the end of each row and empty rows at the end.
void TrimRows(Rows &rows, int &usedCols)
{
    usedCols = 0;
    for (auto &row : rows) {
        while (!row.empty() && row.back().isEmpty())
            row.pop_back();
        usedCols = std::max(usedCols, static_cast<int>(row.size()));
    }
    while (!rows.empty() && rows.back().empty())
        rows.pop_back();
}

// ---- The compound file, read only as far as the kinds of the sheets: libfreexl lists chart sheets
// among the worksheets without telling them apart.

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

// The kind byte of each BOUNDSHEET record of the workbook globals, in order (0 a worksheet, 2 a chart
// sheet, 1 and 6 macro sheets); empty when the stream cannot be found in the regular sectors (a
// workbook below 4096 bytes keeps it in the mini stream, and has no chart sheet).
std::vector<int> BiffSheetKinds(const QByteArray &file)
{
    constexpr uint32_t kLastSector = 0xFFFFFFFAu;
    const uint16_t shift = U16(file, 30);
    if (shift != 9 && shift != 12)
        return {};
    const qsizetype sectorSize = qsizetype(1) << shift;
    const auto sectorAt = [&](uint32_t s) { return (static_cast<qsizetype>(s) + 1) * sectorSize; };
    const uint32_t fatCount = U32(file, 44);
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
    for (qsizetype e = 0; e + 128 <= dir.size(); e += 128) {
        const int nameBytes = std::min<int>(U16(dir, e + 64), 64);
        const QString name = QString::fromUtf16(reinterpret_cast<const char16_t *>(dir.constData() + e),
                                                std::max(0, nameBytes / 2 - 1));
        if (dir[e + 66] != 2 || (name != QStringLiteral("Workbook") && name != QStringLiteral("Book")))
            continue;
        const uint32_t size = U32(dir, e + 120);
        if (size < U32(file, 56))
            return {};
        const QByteArray stream = chain(U32(dir, e + 116), size).left(size);
        std::vector<int> kinds;
        for (qsizetype at = 0; at + 4 <= stream.size();) {
            const uint16_t type = U16(stream, at);
            const uint16_t length = U16(stream, at + 2);
            if (type == 0x0085 && length >= 6 && at + 10 <= stream.size())
                kinds.push_back(static_cast<unsigned char>(stream[at + 9]));
            if (type == 0x000A)
                break;
            at += 4 + length;
        }
        return kinds;
    }
    return {};
}

bool IsNameChar(char ch)
{
    return (ch >= 'a' && ch <= 'z') || (ch >= 'A' && ch <= 'Z') || (ch >= '0' && ch <= '9') || ch == '_' || ch == '-' ||
           ch == '.' || ch == ':';
}

// Looks in the worksheet text from pos for the start of the first row numbered past maxRows (row holds
// the number of the row before; a row without a number follows the one before). Its offset, or -1
// with pos where to go on once more text is there.
qsizetype FindRowPast(const QByteArray &text, qsizetype &pos, int maxRows, int &row)
{
    const char *p = text.constData();
    const qsizetype size = text.size();
    for (;;) {
        const void *lt = pos < size ? std::memchr(p + pos, '<', static_cast<size_t>(size - pos)) : nullptr;
        if (!lt) {
            pos = size;
            return -1;
        }
        const qsizetype at = static_cast<const char *>(lt) - p;
        const void *gt = std::memchr(p + at, '>', static_cast<size_t>(size - at));
        if (!gt) {
            pos = at;
            return -1;
        }
        const qsizetype tagEnd = static_cast<const char *>(gt) - p;
        qsizetype n = at + 1;
        while (n < tagEnd && IsNameChar(p[n]))
            ++n;
        qsizetype local = n;
        while (local > at + 1 && p[local - 1] != ':')
            --local;
        if (n - local == 3 && std::memcmp(p + local, "row", 3) == 0) {
            const QByteArray tag = QByteArray::fromRawData(p + n, tagEnd - n);
            int given = 0;
            for (const char *attr : {" r=\"", " r='", "\tr=\"", "\nr=\""}) {
                const qsizetype a = tag.indexOf(attr);
                if (a >= 0) {
                    given = std::atoi(tag.constData() + a + 4);
                    break;
                }
            }
            row = given > 0 ? given : row + 1;
            if (row > maxRows)
                return at;
        }
        pos = tagEnd + 1;
    }
}

WorkbookFailure FailureOfZipError(int code)
{
    switch (code) {
    case ZIP_ER_NOENT:
    case ZIP_ER_OPEN:
    case ZIP_ER_READ:
    case ZIP_ER_SEEK:
        return WorkbookFailure::Unreadable;
    case ZIP_ER_NOZIP:
    case ZIP_ER_INCONS:
    case ZIP_ER_CRC:
    case ZIP_ER_ZLIB:
    case ZIP_ER_COMPNOTSUPP:
    case ZIP_ER_EOF:
        return WorkbookFailure::NotWorkbook;
    case ZIP_ER_ENCRNOTSUPP:
    case ZIP_ER_NOPASSWD:
    case ZIP_ER_WRONGPASSWD:
        return WorkbookFailure::Encrypted;
    default:
        return WorkbookFailure::Other;
    }
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

}  // namespace

struct Workbook::Impl {
    enum class Kind { None, Xlsx, Xls };
    Kind kind = Kind::None;
    WorkbookFailure failure = WorkbookFailure::None;
    int code = 0;
    QStringList names;
    Rows rows;
    int usedCols = 0;

    // Office Open XML: the archive, the part of each listed sheet, the shared strings, which cell
    // styles show dates, and the workbook's date system.
    zip_t *zip = nullptr;
    QStringList parts;
    std::vector<QString> shared;
    std::vector<bool> dateStyle;
    bool date1904 = false;

    // BIFF: the library's handle and its index of each listed sheet.
    const void *xls = nullptr;
    std::vector<unsigned> xlsIndex;

    bool Fail(WorkbookFailure f, int c)
    {
        failure = f;
        code = c;
        return false;
    }

    void Release()
    {
        if (zip)
            zip_discard(zip);
        zip = nullptr;
        if (xls)
            freexl_close(xls);
        xls = nullptr;
        kind = Kind::None;
        names.clear();
        parts.clear();
        shared.clear();
        dateStyle.clear();
        date1904 = false;
        xlsIndex.clear();
        rows.clear();
        usedCols = 0;
    }

    // ---- Office Open XML

    // The bytes of a part of the archive (its name matched without regard to case); nothing when it
    // is missing (failure NotWorkbook) or cannot be read. For a worksheet with maxRows 1 or more the
    // reading stops at the first row past maxRows and the text is cut there (cut set), so that a
    // preview of the first rows of a large sheet neither inflates nor parses the rest.
    std::optional<QByteArray> ReadPart(const QString &name, int maxRows = 0, bool *cut = nullptr)
    {
        if (cut)
            *cut = false;
        const zip_int64_t index = zip_name_locate(zip, name.toUtf8().constData(), ZIP_FL_NOCASE);
        if (index < 0) {
            Fail(WorkbookFailure::NotWorkbook, 0);
            return std::nullopt;
        }
        zip_stat_t st;
        zip_stat_init(&st);
        zip_file_t *f = zip_fopen_index(zip, static_cast<zip_uint64_t>(index), 0);
        if (!f || zip_stat_index(zip, static_cast<zip_uint64_t>(index), 0, &st) != 0) {
            const int e = zip_error_code_zip(zip_get_error(zip));
            if (f)
                zip_fclose(f);
            Fail(FailureOfZipError(e), e);
            return std::nullopt;
        }
        QByteArray bytes;
        char buf[65536];
        zip_int64_t n = 0;
        qsizetype scanned = 0;
        int row = 0;
        while ((n = zip_fread(f, buf, sizeof buf)) > 0) {
            bytes.append(buf, static_cast<qsizetype>(n));
            if (maxRows < 1)
                continue;
            if (const qsizetype past = FindRowPast(bytes, scanned, maxRows, row); past >= 0) {
                bytes.truncate(past);
                if (cut)
                    *cut = true;
                break;
            }
        }
        const int e = n < 0 ? zip_error_code_zip(zip_file_get_error(f)) : 0;
        zip_fclose(f);
        if (n < 0) {
            Fail(FailureOfZipError(e), e);
            return std::nullopt;
        }
        return bytes;
    }

    // A part parsed into doc (a worksheet up to row maxRows when it is 1 or more); false (NotWorkbook)
    // when it is missing or no well-formed XML.
    bool ParsePart(const QString &name, pugi::xml_document &doc, QByteArray &bytes, int maxRows = 0)
    {
        bool cut = false;
        const auto read = ReadPart(name, maxRows, &cut);
        if (!read)
            return false;
        bytes = *read;
        const auto result = doc.load_buffer_inplace(bytes.data(), static_cast<size_t>(bytes.size()),
                                                    pugi::parse_default | pugi::parse_ws_pcdata_single);
        // A text cut after a row leaves its enclosing elements open; the rows before are all there.
        if (!result && !(cut && result.status == pugi::status_end_element_mismatch))
            return Fail(WorkbookFailure::NotWorkbook, 0);
        return true;
    }

    // The relations of a part: id → (type, target part name).
    QHash<QString, std::pair<QString, QString>> Relations(const QString &partName)
    {
        QHash<QString, std::pair<QString, QString>> rels;
        const QString folder = partName.contains(u'/') ? partName.left(partName.lastIndexOf(u'/')) : QString();
        const QString file = partName.mid(partName.lastIndexOf(u'/') + 1);
        const QString relsName = (folder.isEmpty() ? QString() : folder + u'/') + QStringLiteral("_rels/") + file +
                                 QStringLiteral(".rels");
        pugi::xml_document doc;
        QByteArray bytes;
        if (zip_name_locate(zip, relsName.toUtf8().constData(), ZIP_FL_NOCASE) < 0)
            return rels;
        if (!ParsePart(relsName, doc, bytes)) {
            // Relations that cannot be read name nothing.
            failure = WorkbookFailure::None;
            code = 0;
            return rels;
        }
        for (pugi::xml_node r = doc.document_element().first_child(); r; r = r.next_sibling()) {
            if (!IsNamed(r, "Relationship"))
                continue;
            QString target = QString::fromUtf8(r.attribute("Target").value());
            if (QString::fromUtf8(r.attribute("TargetMode").value()) == QStringLiteral("External"))
                continue;
            target = target.startsWith(u'/') ? target.mid(1)
                                             : QDir::cleanPath((folder.isEmpty() ? QString() : folder + u'/') + target);
            rels.insert(QString::fromUtf8(r.attribute("Id").value()),
                        {QString::fromUtf8(r.attribute("Type").value()), target});
        }
        return rels;
    }

    static QString TargetOfType(const QHash<QString, std::pair<QString, QString>> &rels, const QString &typeEnd)
    {
        for (const auto &[type, target] : rels)
            if (type.endsWith(typeEnd))
                return target;
        return QString();
    }

    bool OpenXlsx(const QString &path)
    {
        int error = 0;
        zip = zip_open(QFile::encodeName(path).constData(), ZIP_RDONLY, &error);
        if (!zip)
            return Fail(FailureOfZipError(error), error);
        kind = Kind::Xlsx;
        QString workbookPart = TargetOfType(Relations(QString()), QStringLiteral("/officeDocument"));
        if (workbookPart.isEmpty())
            workbookPart = QStringLiteral("xl/workbook.xml");
        pugi::xml_document doc;
        QByteArray bytes;
        if (!ParsePart(workbookPart, doc, bytes))
            return false;
        const pugi::xml_node root = doc.document_element();
        if (!IsNamed(root, "workbook"))
            return Fail(WorkbookFailure::NotWorkbook, 0);
        const QString pr = QString::fromUtf8(ChildNamed(root, "workbookPr").attribute("date1904").value());
        date1904 = pr == QStringLiteral("1") || pr == QStringLiteral("true");
        const auto rels = Relations(workbookPart);
        for (pugi::xml_node s = ChildNamed(ChildNamed(root, "sheets"), "sheet"); s; s = s.next_sibling()) {
            if (!IsNamed(s, "sheet"))
                continue;
            const auto rel = rels.constFind(QString::fromUtf8(AttributeNamed(s, "id").value()));
            if (rel == rels.constEnd() || !rel->first.endsWith(QStringLiteral("/worksheet")))
                continue;
            names << QString::fromUtf8(s.attribute("name").value());
            parts << rel->second;
        }
        if (const QString sst = TargetOfType(rels, QStringLiteral("/sharedStrings")); !sst.isEmpty()) {
            pugi::xml_document strings;
            QByteArray sstBytes;
            if (!ParsePart(sst, strings, sstBytes))
                return false;
            for (pugi::xml_node si = strings.document_element().first_child(); si; si = si.next_sibling())
                if (IsNamed(si, "si"))
                    shared.push_back(RichText(si));
        }
        if (const QString styles = TargetOfType(rels, QStringLiteral("/styles")); !styles.isEmpty())
            ReadStyles(styles);
        return true;
    }

    // Which cell styles show dates. Styles that cannot be read leave every number a number.
    void ReadStyles(const QString &part)
    {
        pugi::xml_document doc;
        QByteArray bytes;
        if (!ParsePart(part, doc, bytes)) {
            failure = WorkbookFailure::None;
            code = 0;
            return;
        }
        const pugi::xml_node root = doc.document_element();
        QHash<int, QString> codes;
        for (pugi::xml_node f = ChildNamed(ChildNamed(root, "numFmts"), "numFmt"); f; f = f.next_sibling())
            if (IsNamed(f, "numFmt"))
                codes.insert(f.attribute("numFmtId").as_int(), QString::fromUtf8(f.attribute("formatCode").value()));
        for (pugi::xml_node xf = ChildNamed(ChildNamed(root, "cellXfs"), "xf"); xf; xf = xf.next_sibling()) {
            if (!IsNamed(xf, "xf"))
                continue;
            const int id = xf.attribute("numFmtId").as_int();
            dateStyle.push_back(IsDateFormat(id, codes.value(id)));
        }
    }

    QString XlsxCellText(const pugi::xml_node &c)
    {
        const char *type = c.attribute("t").value();
        if (std::strcmp(type, "inlineStr") == 0)
            return RichText(ChildNamed(c, "is"));
        const pugi::xml_node v = ChildNamed(c, "v");
        if (!v)
            return QString();
        const char *value = v.text().get();
        if (std::strcmp(type, "s") == 0) {
            const size_t i = static_cast<size_t>(v.text().as_ullong(~0ull));
            return i < shared.size() ? shared[i] : QString();
        }
        if (std::strcmp(type, "b") == 0)
            return std::strcmp(value, "0") == 0 ? QStringLiteral("FALSE") : QStringLiteral("TRUE");
        if (std::strcmp(type, "str") == 0 || std::strcmp(type, "e") == 0)
            return DecodeEscapes(QString::fromUtf8(value));
        if (std::strcmp(type, "d") == 0) {
            // An ISO 8601 date and time: "2024-03-01T09:30:00".
            const QString iso = QString::fromUtf8(value);
            const QString date = iso.left(10);
            const QString time = iso.mid(11, 8);
            return time.isEmpty() || time == QStringLiteral("00:00:00") ? date : date + u' ' + time;
        }
        double number = 0;
        const char *end = value + std::strlen(value);
        while (value < end && *value == ' ')
            ++value;
        const auto [ptr, ec] = std::from_chars(value, end, number);
        if (ec != std::errc() || ptr == value)
            return QString::fromUtf8(value);
        const size_t style = static_cast<size_t>(c.attribute("s").as_uint(0));
        if (style < dateStyle.size() && dateStyle[style]) {
            if (const auto text = SerialDateText(number, date1904))
                return *text;
        }
        return NumberDisplay(number);
    }

    bool SelectXlsx(int sheet, int maxRows)
    {
        pugi::xml_document doc;
        QByteArray bytes;
        if (!ParsePart(parts[sheet], doc, bytes, maxRows))
            return false;
        const pugi::xml_node data = ChildNamed(doc.document_element(), "sheetData");
        int r = 0;
        for (pugi::xml_node row = data.first_child(); row; row = row.next_sibling()) {
            if (!IsNamed(row, "row"))
                continue;
            const int given = row.attribute("r").as_int(0);
            r = given > 0 ? given : r + 1;
            if (maxRows > 0 && r > maxRows)
                break;
            if (r > 1048576)
                break;
            if (static_cast<int>(rows.size()) < r)
                rows.resize(static_cast<size_t>(r));
            auto &cells = rows[static_cast<size_t>(r - 1)];
            int col = 0;
            for (pugi::xml_node c = row.first_child(); c; c = c.next_sibling()) {
                if (!IsNamed(c, "c"))
                    continue;
                const int at = ColumnOfReference(c.attribute("r").value());
                col = at > 0 ? at : col + 1;
                if (col > 16384)
                    break;
                QString text = XlsxCellText(c);
                if (text.isEmpty())
                    continue;
                if (static_cast<int>(cells.size()) < col)
                    cells.resize(static_cast<size_t>(col));
                cells[static_cast<size_t>(col - 1)] = std::move(text);
            }
        }
        return true;
    }

    // ---- BIFF

    bool OpenXls(const QString &path, const QByteArray &file)
    {
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
        kind = Kind::Xls;
        unsigned int info = 0;
        if (freexl_get_info(xls, FREEXL_BIFF_PASSWORD, &info) == FREEXL_OK && info == FREEXL_BIFF_OBFUSCATED)
            return Fail(WorkbookFailure::Encrypted, 0);
        if (const int e = freexl_get_info(xls, FREEXL_BIFF_SHEET_COUNT, &info); e != FREEXL_OK)
            return Fail(FailureOfBiffError(e), e);
        const std::vector<int> kinds = BiffSheetKinds(file);
        for (unsigned i = 0; i < info; ++i) {
            const char *name = nullptr;
            if (const int e = freexl_get_worksheet_name(xls, static_cast<unsigned short>(i), &name); e != FREEXL_OK)
                return Fail(FailureOfBiffError(e), e);
            if (kinds.size() == info && kinds[i] != 0)
                continue;
            names << QString::fromUtf8(name ? name : "");
            xlsIndex.push_back(i);
        }
        return true;
    }

    bool SelectXls(int sheet, int maxRows)
    {
        int e = freexl_select_active_worksheet(xls, static_cast<unsigned short>(xlsIndex[static_cast<size_t>(sheet)]));
        unsigned int rowCount = 0;
        unsigned short colCount = 0;
        if (e == FREEXL_OK)
            e = freexl_worksheet_dimensions(xls, &rowCount, &colCount);
        if (e != FREEXL_OK)
            return Fail(FailureOfBiffError(e), e);
        if (maxRows > 0)
            rowCount = std::min(rowCount, static_cast<unsigned>(maxRows));
        rows.resize(rowCount);
        for (unsigned r = 0; r < rowCount; ++r) {
            auto &cells = rows[r];
            cells.resize(colCount);
            for (unsigned short c = 0; c < colCount; ++c) {
                FreeXL_CellValue v;
                if (freexl_get_cell_value(xls, r, c, &v) != FREEXL_OK)
                    continue;
                switch (v.type) {
                case FREEXL_CELL_INT:
                    cells[c] = QString::number(v.value.int_value);
                    break;
                case FREEXL_CELL_DOUBLE:
                    cells[c] = NumberDisplay(v.value.double_value);
                    break;
                case FREEXL_CELL_TEXT:
                case FREEXL_CELL_SST_TEXT:
                case FREEXL_CELL_DATE:
                case FREEXL_CELL_DATETIME:
                case FREEXL_CELL_TIME:
                    cells[c] = QString::fromUtf8(v.value.text_value ? v.value.text_value : "");
                    break;
                default:
                    break;
                }
            }
        }
        return true;
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
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return d->Fail(WorkbookFailure::Unreadable, 0);
    const QByteArray head = f.read(8);
    bool ok = false;
    if (head.startsWith(QByteArray("PK\x03\x04", 4))) {
        f.close();
        ok = d->OpenXlsx(path);
    } else if (head == QByteArray("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8)) {
        const QByteArray file = head + f.readAll();
        f.close();
        ok = d->OpenXls(path, file);
    } else {
        return d->Fail(WorkbookFailure::NotWorkbook, 0);
    }
    if (!ok) {
        const WorkbookFailure failure = d->failure;
        const int code = d->code;
        d->Release();
        d->failure = failure;
        d->code = code;
    }
    return ok;
}

void Workbook::Close()
{
    d->Release();
}

bool Workbook::IsOpen() const
{
    return d->kind != Impl::Kind::None;
}

QStringList Workbook::SheetNames() const
{
    return d->names;
}

bool Workbook::SelectSheet(const QString &name, int maxRows)
{
    d->rows.clear();
    d->usedCols = 0;
    d->failure = WorkbookFailure::None;
    d->code = 0;
    const int sheet = static_cast<int>(d->names.indexOf(name));
    if (sheet < 0)
        return d->Fail(WorkbookFailure::SheetNotFound, 0);
    const bool ok = d->kind == Impl::Kind::Xlsx ? d->SelectXlsx(sheet, maxRows) : d->SelectXls(sheet, maxRows);
    if (!ok) {
        d->rows.clear();
        return false;
    }
    TrimRows(d->rows, d->usedCols);
    return true;
}

int Workbook::UsedRows() const
{
    return static_cast<int>(d->rows.size());
}

int Workbook::UsedCols() const
{
    return d->usedCols;
}

QString Workbook::CellText(int row, int col) const
{
    if (row < 1 || row > static_cast<int>(d->rows.size()))
        return QString();
    const auto &cells = d->rows[static_cast<size_t>(row - 1)];
    if (col < 1 || col > static_cast<int>(cells.size()))
        return QString();
    return cells[static_cast<size_t>(col - 1)];
}

WorkbookFailure Workbook::Failure() const
{
    return d->failure;
}

int Workbook::ErrorCode() const
{
    return d->code;
}
