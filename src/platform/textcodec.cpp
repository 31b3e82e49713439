#include "textcodec.h"
#include "cp932tables.h"

#include <QtGlobal>
#include <array>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <memory>
#include <utility>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace zv {
namespace {

// The tables, made from iconv while building.
#include "cp932tables.inc"

const Cp932Tables &tables() { return kGeneratedTables; }

// Writes n ASCII bytes as n UTF-16 units.
inline void widenAscii(const unsigned char *p, qsizetype n, char16_t *o)
{
    for (qsizetype i = 0; i < n; ++i)
        o[i] = p[i];
}

QString decodeWith(const Cp932Tables &t, QByteArrayView bytes, LineBreakStyle style)
{
    QString out(bytes.size(), Qt::Uninitialized); // never more characters than bytes
    char16_t *const first = reinterpret_cast<char16_t *>(out.data());
    char16_t *o = first;
    const unsigned char *p = reinterpret_cast<const unsigned char *>(bytes.data());
    const unsigned char *const end = p + bytes.size();

    while (p < end) {
#if defined(__SSE2__)
        // Runs of ASCII without line breaks, 16 bytes at a time.
        if (t.asciiIdentity && *p < 0x80 && end - p >= 16) {
            const __m128i cr = _mm_set1_epi8('\r');
            const __m128i lf = _mm_set1_epi8('\n');
            const __m128i zero = _mm_setzero_si128();
            do {
                const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p));
                const int stop = _mm_movemask_epi8(v)
                    | _mm_movemask_epi8(_mm_or_si128(_mm_cmpeq_epi8(v, cr), _mm_cmpeq_epi8(v, lf)));
                if (stop) {
                    const int n = __builtin_ctz(unsigned(stop));
                    widenAscii(p, n, o);
                    p += n;
                    o += n;
                    break;
                }
                _mm_storeu_si128(reinterpret_cast<__m128i *>(o), _mm_unpacklo_epi8(v, zero));
                _mm_storeu_si128(reinterpret_cast<__m128i *>(o + 8), _mm_unpackhi_epi8(v, zero));
                p += 16;
                o += 16;
            } while (end - p >= 16);
            if (p == end)
                break;
        }
#endif
        const unsigned char b = *p;
        switch (t.kind[b]) {
        case Cp932Tables::Single:
            *o++ = t.single[b];
            ++p;
            break;
        case Cp932Tables::Lead:
            if (end - p >= 2) {
                const unsigned char tr = p[1];
                if (const char16_t c = t.pair[b << 8 | tr]) {
                    *o++ = c;
                    p += 2;
                } else if (t.trail[tr]) {
                    *o++ = opaqueByteChar(b).unicode();
                    *o++ = opaqueByteChar(tr).unicode();
                    p += 2;
                } else {
                    *o++ = opaqueByteChar(b).unicode();
                    ++p;
                }
            } else {
                *o++ = opaqueByteChar(b).unicode();
                ++p;
            }
            break;
        case Cp932Tables::Opaque:
            *o++ = opaqueByteChar(b).unicode();
            ++p;
            break;
        case Cp932Tables::Cr:
            if (style == LineBreakStyle::Cr) {
                *o++ = u'\n';
                ++p;
            } else if (style == LineBreakStyle::CrLf && end - p >= 2 && p[1] == '\n') {
                *o++ = u'\n';
                p += 2;
            } else {
                *o++ = opaqueByteChar('\r').unicode();
                ++p;
            }
            break;
        case Cp932Tables::Lf:
            *o++ = style == LineBreakStyle::Lf ? u'\n' : opaqueByteChar('\n').unicode();
            ++p;
            break;
        }
    }
    out.truncate(o - first);
    if (out.capacity() - out.size() > out.size() / 4)
        out.squeeze(); // double-byte text leaves about half of the room unused
    return out;
}

} // namespace

QByteArrayView lineBreakBytes(LineBreakStyle style) noexcept
{
    switch (style) {
    case LineBreakStyle::Lf:
        return QByteArrayView("\n", 1);
    case LineBreakStyle::Cr:
        return QByteArrayView("\r", 1);
    case LineBreakStyle::CrLf:
        break;
    }
    return QByteArrayView("\r\n", 2);
}

LineBreakStyle detectLineBreakStyle(QByteArrayView bytes) noexcept
{
    // CR and LF are never the second byte of a double-byte code, so the first of them is the first break.
    const char *const data = bytes.data();
    const qsizetype n = bytes.size();
    for (qsizetype i = 0; i < n; ++i) {
        if (data[i] == '\n')
            return LineBreakStyle::Lf;
        if (data[i] == '\r')
            return i + 1 < n && data[i + 1] == '\n' ? LineBreakStyle::CrLf : LineBreakStyle::Cr;
    }
    return LineBreakStyle::CrLf;
}

DecodedText decodeCp932(QByteArrayView bytes)
{
    DecodedText d;
    d.lineBreaks = detectLineBreakStyle(bytes);
    d.text = decodeWith(tables(), bytes, d.lineBreaks);
    return d;
}

QString decodeCp932(QByteArrayView bytes, LineBreakStyle style)
{
    return decodeWith(tables(), bytes, style);
}

EncodeResult encodeCp932(QStringView text, LineBreakStyle style)
{
    const Cp932Tables &t = tables();
    const QByteArrayView lineBreak = lineBreakBytes(style);
    EncodeResult r;
    r.bytes.resize(text.size() * 2); // at most two bytes per UTF-16 unit
    char *const first = r.bytes.data();
    char *o = first;
    const char16_t *const begin = text.utf16();
    const char16_t *const end = begin + text.size();
    for (const char16_t *s = begin; s < end; ++s) {
        const char16_t c = *s;
        if (c == u'\n' || c == u'\r') {
            if (c == u'\r' && s + 1 < end && s[1] == u'\n')
                continue; // CR LF from elsewhere: one break, written by its '\n'
            std::memcpy(o, lineBreak.data(), lineBreak.size());
            o += lineBreak.size();
            continue;
        }
        if ((c & 0xFF00) == kOpaqueByteBase) {
            *o++ = char(c & 0xFF);
            continue;
        }
        const std::uint16_t code = t.code[c];
        if (code < 0x100) {
            *o++ = char(code);
        } else if (code != kNoCode) {
            *o++ = char(code >> 8);
            *o++ = char(code & 0xFF);
        } else {
            r.ok = false;
            r.errorPosition = s - begin;
            r.errorCharacter = c;
            if (QChar::isHighSurrogate(c) && s + 1 < end && QChar::isLowSurrogate(s[1]))
                r.errorCharacter = QChar::surrogateToUcs4(c, s[1]);
            r.bytes.clear();
            return r;
        }
    }
    r.bytes.truncate(o - first);
    return r;
}

int cp932ByteLength(QChar c, LineBreakStyle style) noexcept
{
    if (c == u'\n' || c == u'\r')
        return style == LineBreakStyle::CrLf ? 2 : 1;
    return tables().length[c.unicode()];
}

qsizetype cp932Size(QStringView text, LineBreakStyle style) noexcept
{
    const Cp932Tables &t = tables();
    const qsizetype breakLength = style == LineBreakStyle::CrLf ? 2 : 1;
    const char16_t *const begin = text.utf16();
    const char16_t *const end = begin + text.size();
    qsizetype n = 0;
    for (const char16_t *s = begin; s < end; ++s) {
        const char16_t c = *s;
        if (c == u'\n' || c == u'\r') {
            if (!(c == u'\r' && s + 1 < end && s[1] == u'\n'))
                n += breakLength;
        } else {
            n += t.length[c];
        }
    }
    return n;
}

} // namespace zv
