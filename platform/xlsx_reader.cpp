// The .xlsx/.xlsm reader of the workbook reader: the package (parts, relations, styles), the shared
// strings and the worksheet cells.
#include "xlsx_reader.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <optional>
#include <vector>

#include <pugixml.hpp>
#include <zip.h>

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QHash>

#include "platform/daynum.h"
#include "platform/xml_scan.h"

namespace workbook_internal {

namespace {

constexpr int kSheetRows = 1048576;
constexpr int kSheetCols = 16384;
// The most a worksheet may inflate to before it is given up: some hundred thousand rows of a dozen
// columns, while a part made to inflate to gigabytes is refused within a second.
constexpr qint64 kMaxSheetBytes = qint64(64) << 20;
// The most the shared strings may inflate to: some hundred thousand distinct texts.
constexpr qint64 kMaxSharedBytes = qint64(16) << 20;
// The most a part read whole (the workbook, relations, styles) may inflate to.
constexpr qint64 kMaxDocumentBytes = qint64(8) << 20;
// The longest tag, or text of one value, in a streamed part.
constexpr qsizetype kMaxTokenBytes = qsizetype(1) << 20;

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

// ---- Display texts.

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
int ColumnOfReference(Piece ref)
{
    int col = 0;
    for (const char *p = ref.p, *end = ref.p + ref.n; p < end; ++p) {
        const char ch = *p;
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

// ---- Office Open XML cells.

// The shared strings of a workbook: one text and where each string of it starts. A string is made a
// text of its own at its first use and handed out shared from then on, so that the cells using a
// string hold it once between them, however long it is and however many they are.
struct SharedStrings {
    QString text;
    std::vector<uint32_t> starts{0};
    mutable QHash<uint32_t, QString> used;

    size_t Count() const { return starts.size() - 1; }
    QString At(size_t i) const
    {
        const auto key = static_cast<uint32_t>(i);
        if (const auto made = used.constFind(key); made != used.constEnd())
            return *made;
        return *used.insert(key, text.mid(starts[i], starts[i + 1] - starts[i]));
    }
    bool IsEmptyAt(size_t i) const { return starts[i] == starts[i + 1]; }
    void Add(const QString &s)
    {
        text += s;
        starts.push_back(static_cast<uint32_t>(text.size()));
    }
    void Clear()
    {
        text.clear();
        starts.assign(1, 0);
        used.clear();
    }
};

// What the texts of cells depend on beyond the cell.
struct CellContext {
    const SharedStrings &shared;
    const std::vector<bool> &dateStyle;
    bool date1904 = false;
};

// Appends a piece of raw text to a value, unless the value would grow past kMaxTokenBytes.
bool AppendText(QByteArray &to, const char *text, size_t n)
{
    if (to.size() + static_cast<qsizetype>(n) > kMaxTokenBytes)
        return false;
    to.append(text, static_cast<qsizetype>(n));
    return true;
}

// A string item (<si>, <is>) as it streams by: the raw text of its <t> and of the <t> of its runs,
// phonetic runs left out.
struct RichText {
    bool open = false;
    bool inText = false;
    int phonetic = 0;
    QByteArray raw;

    void Reset()
    {
        open = false;
        inText = false;
        phonetic = 0;
        raw.resize(0);
    }
    // The start or end of an element inside the item.
    void Start(Piece local)
    {
        if (Is(local, "rPh"))
            ++phonetic;
        else if (Is(local, "t"))
            inText = open;
    }
    void End(Piece local)
    {
        if (Is(local, "rPh"))
            --phonetic;
        else if (Is(local, "t"))
            inText = false;
    }
    bool WantsText() const { return inText && phonetic == 0; }
    QString Text() const { return DecodeEscapes(XmlText(raw)); }
};

// One cell as read: its type ("t"), style ("s"), its value (<v>, raw) and its inline text (<is>).
struct XlsxCell {
    enum Type { Number, Shared, Inline, Truth, Text, Date };
    Type type = Number;
    size_t style = 0;
    bool hasValue = false;
    QByteArray value;
    RichText inlineText;

    static Type TypeOf(Piece t)
    {
        if (Is(t, "s"))
            return Shared;
        if (Is(t, "inlineStr"))
            return Inline;
        if (Is(t, "b"))
            return Truth;
        if (Is(t, "str") || Is(t, "e"))
            return Text;
        if (Is(t, "d"))
            return Date;
        return Number;
    }
};

// The index of a shared string in a value, or the count of strings when there is none.
size_t SharedIndex(const XlsxCell &c, const CellContext &ctx)
{
    const long long i = LeadingWhole({c.value.constData(), static_cast<size_t>(c.value.size())});
    return i >= 0 && static_cast<size_t>(i) < ctx.shared.Count() ? static_cast<size_t>(i) : ctx.shared.Count();
}

// The display text of a cell (see Workbook::CellText).
QString XlsxCellText(const XlsxCell &c, const CellContext &ctx)
{
    if (c.type == XlsxCell::Inline)
        return c.inlineText.Text();
    if (!c.hasValue)
        return QString();
    if (c.type == XlsxCell::Shared) {
        const size_t i = SharedIndex(c, ctx);
        return i < ctx.shared.Count() ? ctx.shared.At(i) : QString();
    }
    if (c.type != XlsxCell::Number) {
        const QString value = XmlText(c.value);
        if (c.type == XlsxCell::Truth)
            return value == QStringLiteral("0") ? QStringLiteral("FALSE") : QStringLiteral("TRUE");
        if (c.type == XlsxCell::Text)
            return DecodeEscapes(value);
        // An ISO 8601 date and time: "2024-03-01T09:30:00".
        const QString date = value.left(10);
        const QString time = value.mid(11, 8);
        return time.isEmpty() || time == QStringLiteral("00:00:00") ? date : date + u' ' + time;
    }
    // A number is read from the value's bytes, made a text only when it is none.
    const QByteArray utf8 = XmlBytes(c.value);
    const char *begin = utf8.constData();
    const char *end = begin + utf8.size();
    while (begin < end && *begin == ' ')
        ++begin;
    double number = 0;
    const auto [ptr, ec] = std::from_chars(begin, end, number);
    if (ec != std::errc() || ptr == begin)
        return QString::fromUtf8(begin, end - begin);
    if (c.style < ctx.dateStyle.size() && ctx.dateStyle[c.style]) {
        if (const auto text = SerialDateText(number, ctx.date1904))
            return *text;
    }
    return NumberDisplay(number);
}

// True when the cell's display text is not empty, told without making it.
bool XlsxCellHasText(const XlsxCell &c, const CellContext &ctx)
{
    if (c.type == XlsxCell::Inline)
        return !c.inlineText.raw.isEmpty();
    if (!c.hasValue)
        return false;
    if (c.type == XlsxCell::Truth)
        return true;
    if (c.type == XlsxCell::Shared) {
        const size_t i = SharedIndex(c, ctx);
        return i < ctx.shared.Count() && !ctx.shared.IsEmptyAt(i);
    }
    return !c.value.trimmed().isEmpty();
}

// Reads the cells of a worksheet's window, and stops at the first row past it.
class SheetReader final : public XmlReader {
public:
    SheetReader(const SheetWindow &window, const CellContext &ctx, SheetCells &out)
        : m_window(window), m_wanted(WantedColumns(window, kSheetCols)), m_ctx(ctx), m_out(out)
    {
    }

    bool Start(Piece local, Piece attrs) override
    {
        if (!m_rowOpen) {
            if (Is(local, "sheetData"))
                m_inData = true;
            else if (m_inData && Is(local, "row"))
                return StartRow(attrs);
            return true;
        }
        if (Is(local, "c")) {
            // A row holds no more cells than a sheet has columns; one that does is made to blow up.
            if (++m_cellsInRow > kSheetCols) {
                failure = WorkbookFailure::TooLarge;
                return false;
            }
            if (!m_inRow)
                return true;
            // The cell's reference, type and style, the first of each name holding, in one walk.
            Piece ref, type, style;
            for (Piece name, value; NextAttr(attrs, name, value);) {
                if (!ref.p && Is(name, "r"))
                    ref = value;
                else if (!type.p && Is(name, "t"))
                    type = value;
                else if (!style.p && Is(name, "s"))
                    style = value;
            }
            const int at = ColumnOfReference(ref);
            m_col = at > 0 ? at : m_col + 1;
            m_inCell = m_col <= kSheetCols;
            m_cell.type = XlsxCell::TypeOf(type);
            m_cell.style = static_cast<size_t>(std::max(0LL, LeadingWhole(style)));
            m_cell.hasValue = false;
            m_cell.value.resize(0);
            m_cell.inlineText.Reset();
        } else if (!m_inCell) {
        } else if (Is(local, "v")) {
            m_inValue = true;
            m_cell.hasValue = true;
        } else if (Is(local, "is")) {
            m_cell.inlineText.open = true;
        } else {
            m_cell.inlineText.Start(local);
        }
        return true;
    }

    bool End(Piece local) override
    {
        if (Is(local, "c")) {
            if (m_inCell)
                EndCell();
            m_inCell = m_inValue = false;
        } else if (Is(local, "v")) {
            m_inValue = false;
        } else if (Is(local, "is")) {
            m_cell.inlineText.open = false;
        } else if (Is(local, "row")) {
            m_rowOpen = m_inRow = false;
        } else if (Is(local, "sheetData")) {
            return false;  // nothing after the cells is read
        } else {
            m_cell.inlineText.End(local);
        }
        return true;
    }

    void Text(const char *text, size_t n) override
    {
        if (!AppendText(m_inValue ? m_cell.value : m_cell.inlineText.raw, text, n))
            failure = WorkbookFailure::TooLarge;
    }

    bool WantsText() const override { return m_inCell && (m_inValue || m_cell.inlineText.WantsText()); }

private:
    bool StartRow(Piece attrs)
    {
        const long long given = LeadingWhole(AttrOf(attrs, "r"));
        m_row = given > 0 ? static_cast<int>(std::min<long long>(given, kSheetRows + 1LL)) : m_row + 1;
        if (m_row > m_window.lastRow || m_row > kSheetRows)
            return false;
        // The cells of the rows before the window are only counted.
        m_rowOpen = true;
        m_inRow = m_row >= m_window.firstRow;
        m_col = 0;
        m_cellsInRow = 0;
        return true;
    }

    void EndCell()
    {
        // Every cell of the window's rows counts for the used range; only the kept ones are made.
        if (IsWanted(m_wanted, m_col)) {
            if (QString text = XlsxCellText(m_cell, m_ctx); !text.isEmpty())
                m_out.Add(m_row, m_col, std::move(text), true);
        } else if (XlsxCellHasText(m_cell, m_ctx)) {
            m_out.Add(m_row, m_col, QString(), false);
        }
    }

    const SheetWindow &m_window;
    const std::vector<char> m_wanted;
    const CellContext &m_ctx;
    SheetCells &m_out;
    bool m_inData = false;
    int m_row = 0;
    bool m_rowOpen = false;  // a row of the sheet, kept or not
    bool m_inRow = false;    // a row of the window
    int m_col = 0;
    int m_cellsInRow = 0;
    bool m_inCell = false;
    bool m_inValue = false;
    XlsxCell m_cell;
};

// Reads the shared strings, one per <si>.
class SharedStringsReader final : public XmlReader {
public:
    explicit SharedStringsReader(SharedStrings &out) : m_out(out) {}

    bool Start(Piece local, Piece) override
    {
        if (Is(local, "si")) {
            m_item.Reset();
            m_item.open = true;
        } else {
            m_item.Start(local);
        }
        return true;
    }

    bool End(Piece local) override
    {
        if (Is(local, "si") && m_item.open) {
            m_out.Add(m_item.Text());
            m_item.open = false;
        } else {
            m_item.End(local);
        }
        return true;
    }

    void Text(const char *text, size_t n) override
    {
        if (!AppendText(m_item.raw, text, n))
            failure = WorkbookFailure::TooLarge;
    }

    bool WantsText() const override { return m_item.WantsText(); }

private:
    SharedStrings &m_out;
    RichText m_item;
};

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

// An open .xlsx workbook: the archive, the part of each listed sheet, the shared strings, which cell
// styles show dates, and the workbook's date system.
class XlsxBook final : public BookReader {
public:
    ~XlsxBook() override
    {
        if (zip)
            zip_discard(zip);
    }

    // Reads what the workbook's sheets depend on (see OpenXlsxBook); false with the failure set.
    bool Open(const QString &path)
    {
        int error = 0;
        zip = zip_open(QFile::encodeName(path).constData(), ZIP_RDONLY, &error);
        if (!zip)
            return Fail(FailureOfZipError(error), error);
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
            SharedStringsReader reader(shared);
            if (!StreamPart(sst, reader, kMaxSharedBytes))
                return false;
        }
        if (const QString styles = TargetOfType(rels, QStringLiteral("/styles")); !styles.isEmpty())
            ReadStyles(styles);
        return true;
    }

    bool Select(int sheet, const SheetWindow &window, SheetCells &cells) override
    {
        const CellContext ctx{shared, dateStyle, date1904};
        SheetReader reader(window, ctx, cells);
        return StreamPart(parts[sheet], reader, kMaxSheetBytes);
    }

private:
    // The part of the archive of that name (matched without regard to case), opened for reading;
    // nothing when it is missing (NotWorkbook) or cannot be opened.
    zip_file_t *OpenPart(const QString &name)
    {
        const zip_int64_t index = zip_name_locate(zip, name.toUtf8().constData(), ZIP_FL_NOCASE);
        if (index < 0) {
            Fail(WorkbookFailure::NotWorkbook, 0);
            return nullptr;
        }
        zip_file_t *f = zip_fopen_index(zip, static_cast<zip_uint64_t>(index), 0);
        if (!f) {
            const int e = zip_error_code_zip(zip_get_error(zip));
            Fail(FailureOfZipError(e), e);
        }
        return f;
    }

    // Inflates at most 64 KiB more of the part into buf; -1 (failure set) when the part cannot be
    // inflated or its text, counted in total, passes the cap (TooLarge); 0 at its end.
    zip_int64_t ReadMore(zip_file_t *f, char *buf, size_t size, qint64 &total, qint64 cap)
    {
        const zip_int64_t n = zip_fread(f, buf, size);
        if (n < 0) {
            const int e = zip_error_code_zip(zip_file_get_error(f));
            Fail(FailureOfZipError(e), e);
            return -1;
        }
        total += n;
        if (total > cap) {
            Fail(WorkbookFailure::TooLarge, 0);
            return -1;
        }
        return n;
    }

    // The whole text of a small part; nothing (failure set) when it is missing, cannot be read, or
    // inflates past kMaxDocumentBytes.
    std::optional<QByteArray> ReadPart(const QString &name)
    {
        zip_file_t *f = OpenPart(name);
        if (!f)
            return std::nullopt;
        QByteArray bytes;
        char buf[65536];
        qint64 total = 0;
        zip_int64_t n = 0;
        while ((n = ReadMore(f, buf, sizeof buf, total, kMaxDocumentBytes)) > 0)
            bytes.append(buf, static_cast<qsizetype>(n));
        zip_fclose(f);
        if (n < 0)
            return std::nullopt;
        return bytes;
    }

    // Hands the part to the reader as it inflates, and stops where the reader stops. False (failure
    // set) when the part cannot be read, passes the cap or holds a tag or value longer than
    // kMaxTokenBytes (TooLarge), or is no well-formed XML as far as it was read (NotWorkbook).
    bool StreamPart(const QString &name, XmlReader &reader, qint64 cap)
    {
        zip_file_t *f = OpenPart(name);
        if (!f)
            return false;
        QByteArray text;
        ScanState scan;
        char buf[65536];
        qint64 total = 0;
        bool ok = true;
        for (bool atEnd = false;;) {
            const Scan result = ScanXml(text, scan, reader);
            if (reader.failure != WorkbookFailure::None) {
                ok = Fail(reader.failure, 0);
                break;
            }
            if (result == Scan::Stop)
                break;
            if (result == Scan::Broken || (atEnd && (scan.pos < text.size() || scan.depth != 0 || !scan.opened))) {
                ok = Fail(WorkbookFailure::NotWorkbook, 0);
                break;
            }
            if (atEnd)
                break;
            text.remove(0, scan.pos);
            scan.pos = 0;
            if (text.size() > kMaxTokenBytes) {
                ok = Fail(WorkbookFailure::TooLarge, 0);
                break;
            }
            const zip_int64_t n = ReadMore(f, buf, sizeof buf, total, cap);
            if (n < 0) {
                ok = false;
                break;
            }
            atEnd = n == 0;
            text.append(buf, static_cast<qsizetype>(n));
        }
        zip_fclose(f);
        return ok;
    }

    // A small part parsed into doc; false (NotWorkbook, or the failure of ReadPart) when it cannot be
    // read or is no well-formed XML.
    bool ParsePart(const QString &name, pugi::xml_document &doc, QByteArray &bytes)
    {
        const auto read = ReadPart(name);
        if (!read)
            return false;
        bytes = *read;
        const auto result = doc.load_buffer_inplace(bytes.data(), static_cast<size_t>(bytes.size()),
                                                    pugi::parse_default | pugi::parse_ws_pcdata_single);
        if (!result)
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

    zip_t *zip = nullptr;
    QStringList parts;
    SharedStrings shared;
    std::vector<bool> dateStyle;
    bool date1904 = false;
};

}  // namespace

std::unique_ptr<BookReader> OpenXlsxBook(const QString &path, ReadFailure &failure)
{
    auto book = std::make_unique<XlsxBook>();
    if (book->Open(path))
        return book;
    failure = *book;
    return nullptr;
}

}  // namespace workbook_internal
