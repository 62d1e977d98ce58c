// Workbook: the reader of .xlsx/.xlsm (a zip archive of XML parts, read with libzip; the worksheets and
// the shared strings streamed, the small parts with pugixml) and of .xls (a BIFF8 stream in a compound
// file, read with libfreexl).
#include "workbook.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <map>
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
// The biggest .xls file read, and the most cells its sheets may declare together: the BIFF library
// sets aside room for every declared cell when it opens the file.
constexpr qint64 kMaxBiffFileBytes = qint64(128) << 20;
constexpr qint64 kMaxBiffCells = qint64(8) << 20;

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

// A piece of a text: where it starts and how long it is. The streamed parts are scanned over these,
// with the C library's searches, rather than over string views: the scan also has to be quick in the
// unoptimised builds the tests run.
struct Piece {
    const char *p = nullptr;
    size_t n = 0;
};

template <size_t N>
bool Is(Piece s, const char (&literal)[N])
{
    return s.n == N - 1 && std::memcmp(s.p, literal, N - 1) == 0;
}

bool IsXmlSpace(char ch)
{
    return ch == ' ' || ch == '\t' || ch == '\r' || ch == '\n';
}

// The whole number at the start of a text (blanks before it skipped), 0 when there is none.
long long LeadingWhole(Piece text)
{
    const char *p = text.p;
    const char *end = p + text.n;
    while (p < end && *p == ' ')
        ++p;
    long long n = 0;
    const auto [ptr, ec] = std::from_chars(p, end, n);
    return ec == std::errc() ? n : 0;
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

// ---- Streamed XML: the tags and texts of a part handed over as the part inflates, so that nothing
// but the tag or value at hand is held. Element and attribute names are compared without prefix.

Piece LocalOf(Piece name)
{
    for (size_t i = name.n; i > 0; --i) {
        if (name.p[i - 1] == ':')
            return {name.p + i, name.n - i};
    }
    return name;
}

// The value of the attribute named local in the attribute text of a start tag; empty when absent.
template <size_t N>
Piece AttrOf(Piece attrs, const char (&local)[N])
{
    const char *p = attrs.p;
    const char *end = attrs.p + attrs.n;
    while (p < end) {
        const char *eq = static_cast<const char *>(std::memchr(p, '=', static_cast<size_t>(end - p)));
        if (!eq)
            return {};
        const char *nameEnd = eq;
        while (nameEnd > p && IsXmlSpace(nameEnd[-1]))
            --nameEnd;
        while (p < nameEnd && IsXmlSpace(*p))
            ++p;
        const char *q = eq + 1;
        while (q < end && IsXmlSpace(*q))
            ++q;
        if (q >= end || (*q != '"' && *q != '\''))
            return {};
        const char *close = static_cast<const char *>(std::memchr(q + 1, *q, static_cast<size_t>(end - q - 1)));
        if (!close)
            return {};
        if (Is(LocalOf({p, static_cast<size_t>(nameEnd - p)}), local))
            return {q + 1, static_cast<size_t>(close - q - 1)};
        p = close + 1;
    }
    return {};
}

// The text of a value as the XML holds it: line ends made LF, the character references and the five
// named entities replaced, UTF-8 decoded.
QString XmlText(const QByteArray &raw)
{
    if (!raw.contains('&') && !raw.contains('\r'))
        return QString::fromUtf8(raw);
    QByteArray out;
    out.reserve(raw.size());
    for (qsizetype i = 0; i < raw.size(); ++i) {
        const char ch = raw[i];
        if (ch == '\r') {
            out += '\n';
            if (i + 1 < raw.size() && raw[i + 1] == '\n')
                ++i;
            continue;
        }
        // A reference ends within ten characters: the search for its ";" goes no further, or a value
        // of many "&" without one would be searched to its end once per "&".
        const size_t span = static_cast<size_t>(std::min<qsizetype>(11, raw.size() - i));
        const char *semiAt =
            ch == '&' ? static_cast<const char *>(std::memchr(raw.constData() + i, ';', span)) : nullptr;
        if (!semiAt) {
            out += ch;
            continue;
        }
        const qsizetype semi = semiAt - raw.constData();
        const Piece ref{raw.constData() + i + 1, static_cast<size_t>(semi - i - 1)};
        char named = 0;
        if (Is(ref, "lt"))
            named = '<';
        else if (Is(ref, "gt"))
            named = '>';
        else if (Is(ref, "amp"))
            named = '&';
        else if (Is(ref, "quot"))
            named = '"';
        else if (Is(ref, "apos"))
            named = '\'';
        if (named) {
            out += named;
            i = semi;
            continue;
        }
        const bool hex = ref.n > 1 && (ref.p[1] == 'x' || ref.p[1] == 'X');
        const char *digits = ref.p + (hex ? 2 : 1);
        uint code = 0;
        const auto [ptr, ec] = std::from_chars(digits, ref.p + ref.n, code, hex ? 16 : 10);
        if (ref.n > 1 && ref.p[0] == '#' && ec == std::errc() && ptr == ref.p + ref.n && code > 0 && code <= 0x10FFFF) {
            const char32_t c = code;
            out += QString::fromUcs4(&c, 1).toUtf8();
            i = semi;
            continue;
        }
        out += ch;
    }
    return QString::fromUtf8(out);
}

// What a streamed part is read for. Start and End return false to end the reading there; Text gets
// the raw text (references undecoded) of the element at hand, in pieces, while WantsText is true.
// An empty element is a start followed by an end.
class XmlReader {
public:
    virtual ~XmlReader() = default;
    virtual bool Start(Piece local, Piece attrs) = 0;
    virtual bool End(Piece local) = 0;
    virtual void Text(const char *text, size_t n) = 0;
    virtual bool WantsText() const = 0;
    // Set by a reader that gives up (a value too long).
    WorkbookFailure failure = WorkbookFailure::None;
};

enum class Scan { More, Stop, Broken };

// Where the scan of a part stands: the next byte to read, the depth of the open elements, and whether
// an element was seen at all.
struct ScanState {
    qsizetype pos = 0;
    int depth = 0;
    bool opened = false;
    // How far the tag at pos, still open when the text ran out, was walked: the walk goes on from
    // there when more of the part comes, rather than over the whole tag again.
    qsizetype tagWalked = 0;
};

// The first occurrence of the literal in [p, end), or nullptr.
const char *Find(const char *p, const char *end, const char *literal, size_t n)
{
    while (p + n <= end) {
        const char *at = static_cast<const char *>(std::memchr(p, literal[0], static_cast<size_t>(end - p)));
        if (!at || at + n > end)
            return nullptr;
        if (std::memcmp(at, literal, n) == 0)
            return at;
        p = at + 1;
    }
    return nullptr;
}

// Hands the complete tags of text from the scan's position on to the reader. More when the text ends
// inside a tag (the position at its "<"), Stop when the reader stopped, Broken for a tag without name.
Scan ScanXml(const QByteArray &text, ScanState &scan, XmlReader &reader)
{
    static const std::pair<const char *, const char *> kSkipped[] = {
        {"<!--", "-->"}, {"<![CDATA[", "]]>"}, {"<?", "?>"}, {"<!", ">"}};
    const char *const begin = text.constData();
    const char *const end = begin + text.size();
    const char *p = begin + scan.pos;
    while (p < end) {
        scan.pos = p - begin;
        if (*p != '<') {
            const char *lt = static_cast<const char *>(std::memchr(p, '<', static_cast<size_t>(end - p)));
            if (!lt)
                lt = end;
            if (reader.WantsText())
                reader.Text(p, static_cast<size_t>(lt - p));
            p = lt;
            continue;
        }
        const size_t left = static_cast<size_t>(end - p);
        if (left < 2)
            return Scan::More;
        if (p[1] == '!' || p[1] == '?') {
            // Comments, CDATA sections, declarations and processing instructions.
            const char *next = nullptr;
            for (const auto &[open, close] : kSkipped) {
                const size_t n = std::strlen(open);
                if (std::memcmp(p, open, std::min(n, left)) != 0)
                    continue;
                if (left < n)
                    return Scan::More;
                const char *stop = Find(p + n, end, close, std::strlen(close));
                if (!stop)
                    return Scan::More;
                if (n == 9 && reader.WantsText()) {
                    // A CDATA text stands for itself: its "&" is escaped so that the decoding leaves it.
                    for (const char *a = p + n; a < stop;) {
                        const char *amp = static_cast<const char *>(std::memchr(a, '&', static_cast<size_t>(stop - a)));
                        const char *to = amp ? amp : stop;
                        reader.Text(a, static_cast<size_t>(to - a));
                        if (amp)
                            reader.Text("&amp;", 5);
                        a = to + 1;
                    }
                }
                next = stop + std::strlen(close);
                break;
            }
            p = next;
            continue;
        }
        // A tag ends at the first ">" outside quoted attribute values. The tag is walked once from
        // quote to quote (the text ends in a NUL, as a QByteArray does): a tag of many quoted values
        // must not be searched to its end once per value, nor again for each piece of the part.
        const char *gt = nullptr;
        const char *q = p + std::max<qsizetype>(scan.tagWalked, 1);
        while (q < end) {
            q += std::strcspn(q, "\"'>");
            if (q >= end)
                break;
            if (*q == '\0') {
                ++q;
                continue;
            }
            if (*q == '>') {
                gt = q;
                break;
            }
            const char *close = static_cast<const char *>(std::memchr(q + 1, *q, static_cast<size_t>(end - q - 1)));
            if (!close)
                break;
            q = close + 1;
        }
        if (!gt) {
            scan.tagWalked = std::min(q, end) - p;
            return Scan::More;
        }
        scan.tagWalked = 0;
        const bool closing = p[1] == '/';
        const bool empty = !closing && gt[-1] == '/';
        const char *name = p + (closing ? 2 : 1);
        const char *inner = empty ? gt - 1 : gt;
        const char *nameEnd = name;
        while (nameEnd < inner && !IsXmlSpace(*nameEnd))
            ++nameEnd;
        if (nameEnd == name)
            return Scan::Broken;
        const Piece local = LocalOf({name, static_cast<size_t>(nameEnd - name)});
        p = gt + 1;
        scan.pos = p - begin;
        if (closing) {
            --scan.depth;
            if (!reader.End(local))
                return Scan::Stop;
            continue;
        }
        scan.opened = true;
        ++scan.depth;
        if (!reader.Start(local, {nameEnd, static_cast<size_t>(inner - nameEnd)}))
            return Scan::Stop;
        if (empty) {
            --scan.depth;
            if (!reader.End(local))
                return Scan::Stop;
        }
    }
    scan.pos = p - begin;
    return Scan::More;
}

// ---- What is kept of a sheet: the rows of the window holding a value in any column, each with its
// kept cells by column; of a row or cell given twice the later one holds.

struct SheetCells {
    std::map<int, std::map<int, QString>> rows;
    int usedRows = 0;
    int usedCols = 0;

    void Clear()
    {
        rows.clear();
        usedRows = 0;
        usedCols = 0;
    }

    // A value in cell (row, col), kept when keep.
    void Add(int row, int col, QString &&text, bool keep)
    {
        auto &cells = rows[row];
        if (keep)
            cells.insert_or_assign(col, std::move(text));
        usedRows = std::max(usedRows, row);
        usedCols = std::max(usedCols, col);
    }
};

// The columns a window keeps, as a flag per column; empty when it keeps all.
std::vector<char> WantedColumns(const SheetWindow &window, int lastCol)
{
    std::vector<char> wanted;
    if (window.columns.empty())
        return wanted;
    wanted.assign(static_cast<size_t>(lastCol) + 1, 0);
    for (int c : window.columns)
        if (c >= 1 && c <= lastCol)
            wanted[static_cast<size_t>(c)] = 1;
    return wanted;
}

bool IsWanted(const std::vector<char> &wanted, int col)
{
    return wanted.empty() || (col >= 1 && col < static_cast<int>(wanted.size()) && wanted[static_cast<size_t>(col)]);
}

// ---- Office Open XML cells.

// The shared strings of a workbook: one text and where each string of it starts.
struct SharedStrings {
    QString text;
    std::vector<uint32_t> starts{0};

    size_t Count() const { return starts.size() - 1; }
    QString At(size_t i) const { return text.mid(starts[i], starts[i + 1] - starts[i]); }
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
    const QString value = XmlText(c.value);
    if (c.type == XlsxCell::Truth)
        return value == QStringLiteral("0") ? QStringLiteral("FALSE") : QStringLiteral("TRUE");
    if (c.type == XlsxCell::Text)
        return DecodeEscapes(value);
    if (c.type == XlsxCell::Date) {
        // An ISO 8601 date and time: "2024-03-01T09:30:00".
        const QString date = value.left(10);
        const QString time = value.mid(11, 8);
        return time.isEmpty() || time == QStringLiteral("00:00:00") ? date : date + u' ' + time;
    }
    const QByteArray utf8 = value.toUtf8();
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
            const int at = ColumnOfReference(AttrOf(attrs, "r"));
            m_col = at > 0 ? at : m_col + 1;
            m_inCell = m_col <= kSheetCols;
            m_cell.type = XlsxCell::TypeOf(AttrOf(attrs, "t"));
            m_cell.style = static_cast<size_t>(std::max(0LL, LeadingWhole(AttrOf(attrs, "s"))));
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
    SheetCells cells;

    // Office Open XML: the archive, the part of each listed sheet, the shared strings, which cell
    // styles show dates, and the workbook's date system.
    zip_t *zip = nullptr;
    QStringList parts;
    SharedStrings shared;
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
        shared.Clear();
        dateStyle.clear();
        date1904 = false;
        xlsIndex.clear();
        cells.Clear();
    }

    // ---- Office Open XML

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
            SharedStringsReader reader(shared);
            if (!StreamPart(sst, reader, kMaxSharedBytes))
                return false;
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

    bool SelectXlsx(int sheet, const SheetWindow &window)
    {
        const CellContext ctx{shared, dateStyle, date1904};
        SheetReader reader(window, ctx, cells);
        return StreamPart(parts[sheet], reader, kMaxSheetBytes);
    }

    // ---- BIFF

    bool OpenXls(const QString &path, const QByteArray &file)
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
        kind = Kind::Xls;
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

    bool SelectXls(int sheet, const SheetWindow &window)
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
        if (f.size() > kMaxBiffFileBytes)
            return d->Fail(WorkbookFailure::TooLarge, 0);
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

bool Workbook::SelectSheet(const QString &name, const SheetWindow &window)
{
    d->cells.Clear();
    d->failure = WorkbookFailure::None;
    d->code = 0;
    const int sheet = static_cast<int>(d->names.indexOf(name));
    if (sheet < 0)
        return d->Fail(WorkbookFailure::SheetNotFound, 0);
    const bool ok = d->kind == Impl::Kind::Xlsx ? d->SelectXlsx(sheet, window) : d->SelectXls(sheet, window);
    if (!ok) {
        d->cells.Clear();
        return false;
    }
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
    return d->cells.rows.count(row) > 0;
}

QString Workbook::CellText(int row, int col) const
{
    const auto kept = d->cells.rows.find(row);
    if (kept == d->cells.rows.end())
        return QString();
    const auto cell = kept->second.find(col);
    return cell == kept->second.end() ? QString() : cell->second;
}

WorkbookFailure Workbook::Failure() const
{
    return d->failure;
}

int Workbook::ErrorCode() const
{
    return d->code;
}
