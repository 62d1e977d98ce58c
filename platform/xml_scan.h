// The streamed XML scanner of the workbook reader: the tags and texts of an XML part handed to a
// reader as the part inflates, so that nothing but the tag or value at hand is held, and the small
// helpers over the pieces of text it hands over. It knows nothing of spreadsheets; the .xlsx reader
// (xlsx_reader.h) feeds it and bounds what it is fed.
#pragma once

#include <cstddef>
#include <cstring>

#include <QByteArray>
#include <QString>

#include "platform/workbook.h"

namespace workbook_internal {

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

inline bool IsXmlSpace(char ch)
{
    return ch == ' ' || ch == '\t' || ch == '\r' || ch == '\n';
}

// The whole number at the start of a text (blanks before it skipped), 0 when there is none.
long long LeadingWhole(Piece text);

// The name without its namespace prefix ("x:sheet" → "sheet").
Piece LocalOf(Piece name);

// The next attribute of the attribute text of a start tag: its name without namespace prefix and its
// value, rest left after it. False when no attribute is left, or the text breaks off before one ends.
inline bool NextAttr(Piece &rest, Piece &local, Piece &value)
{
    const char *p = rest.p;
    const char *end = rest.p + rest.n;
    if (p >= end)
        return false;
    const char *eq = static_cast<const char *>(std::memchr(p, '=', static_cast<size_t>(end - p)));
    if (!eq)
        return false;
    const char *nameEnd = eq;
    while (nameEnd > p && IsXmlSpace(nameEnd[-1]))
        --nameEnd;
    while (p < nameEnd && IsXmlSpace(*p))
        ++p;
    const char *q = eq + 1;
    while (q < end && IsXmlSpace(*q))
        ++q;
    if (q >= end || (*q != '"' && *q != '\''))
        return false;
    const char *close = static_cast<const char *>(std::memchr(q + 1, *q, static_cast<size_t>(end - q - 1)));
    if (!close)
        return false;
    local = LocalOf({p, static_cast<size_t>(nameEnd - p)});
    value = {q + 1, static_cast<size_t>(close - q - 1)};
    rest = {close + 1, static_cast<size_t>(end - close - 1)};
    return true;
}

// The value of the attribute named local in the attribute text of a start tag; empty when absent.
template <size_t N>
Piece AttrOf(Piece attrs, const char (&local)[N])
{
    for (Piece name, value; NextAttr(attrs, name, value);)
        if (Is(name, local))
            return value;
    return {};
}

// The text of a value as the XML holds it, still in UTF-8: line ends made LF, the character
// references and the five named entities replaced. raw itself, not copied, when it holds none.
QByteArray XmlBytes(const QByteArray &raw);

// The text of XmlBytes, UTF-8 decoded.
QString XmlText(const QByteArray &raw);

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

// Hands the complete tags of text from the scan's position on to the reader. More when the text ends
// inside a tag (the position at its "<"), Stop when the reader stopped, Broken for a tag without name.
Scan ScanXml(const QByteArray &text, ScanState &scan, XmlReader &reader);

}  // namespace workbook_internal
