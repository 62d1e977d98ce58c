// GBK over iconv, never failing.
#include "gbk.h"

#include <iconv.h>

#include <cerrno>

namespace {

// Converts with one iconv descriptor; `onBad` is called at an input position that cannot be
// converted and returns how many input bytes to skip and what to append instead.
template <typename OnBad>
QByteArray Convert(const char *to, const char *from, const QByteArray &in, OnBad onBad)
{
    QByteArray out;
    iconv_t cd = iconv_open(to, from);
    if (cd == reinterpret_cast<iconv_t>(-1))
        return out;
    char *src = const_cast<char *>(in.constData());
    size_t srcLeft = static_cast<size_t>(in.size());
    char buf[4096];
    while (srcLeft > 0) {
        char *dst = buf;
        size_t dstLeft = sizeof buf;
        const size_t rc = iconv(cd, &src, &srcLeft, &dst, &dstLeft);
        // Read before anything else runs: the append below may allocate, which may set errno.
        const int err = rc == static_cast<size_t>(-1) ? errno : 0;
        out.append(buf, static_cast<int>(dst - buf));
        if (rc == static_cast<size_t>(-1)) {
            if (err == E2BIG)
                continue;
            // EILSEQ or EINVAL (truncated sequence at the end): replace and go on.
            auto [skip, replacement] = onBad(src, srcLeft);
            out.append(replacement);
            src += skip;
            srcLeft -= skip;
            iconv(cd, nullptr, nullptr, nullptr, nullptr);
        }
    }
    iconv_close(cd);
    return out;
}

}  // namespace

QByteArray EncodeGbk(const QString &text)
{
    const QByteArray utf8 = text.toUtf8();
    return Convert("GBK", "UTF-8", utf8, [](const char *p, size_t left) {
        // Skip one UTF-8 character.
        const auto c = static_cast<unsigned char>(*p);
        size_t len = c < 0x80 ? 1 : c < 0xE0 ? 2 : c < 0xF0 ? 3 : 4;
        if (len > left)
            len = left;
        return std::pair<size_t, QByteArray>(len, QByteArray("?"));
    });
}

QString DecodeGbk(const QByteArray &bytes)
{
    const QByteArray utf8 = Convert("UTF-8", "GBK", bytes, [](const char *, size_t) {
        return std::pair<size_t, QByteArray>(1, QByteArray("\xEF\xBF\xBD"));
    });
    return QString::fromUtf8(utf8);
}
