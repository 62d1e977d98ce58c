// The streamed XML scanner of the workbook reader.
#include "xml_scan.h"

#include <algorithm>
#include <charconv>
#include <utility>

namespace workbook_internal {

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

Piece LocalOf(Piece name)
{
    for (size_t i = name.n; i > 0; --i) {
        if (name.p[i - 1] == ':')
            return {name.p + i, name.n - i};
    }
    return name;
}

QByteArray XmlBytes(const QByteArray &raw)
{
    if (!raw.contains('&') && !raw.contains('\r'))
        return raw;
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
    return out;
}

QString XmlText(const QByteArray &raw)
{
    return QString::fromUtf8(XmlBytes(raw));
}

namespace {

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

}  // namespace

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

}  // namespace workbook_internal
