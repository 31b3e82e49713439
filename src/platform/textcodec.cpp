#include "textcodec.h"

#include <QtGlobal>
#include <array>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <iconv.h>
#include <memory>
#include <utility>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace zv {
namespace {

constexpr std::uint16_t kNoCode = 0xFFFF; // no CP932 code (0xFF is never a lead byte)

// Conversion tables, generated once from iconv.
struct Cp932Tables {
    enum Kind : std::uint8_t { Single, Lead, Opaque, Cr, Lf };
    std::array<std::uint8_t, 256> kind{};
    std::array<char16_t, 256> single{};      // character of a single-byte code
    std::array<bool, 256> trail{};           // byte can be the second byte of a double-byte code
    std::array<char16_t, 65536> pair{};      // (lead << 8 | trail) -> character; 0: no round-trip character
    std::array<std::uint16_t, 65536> code{}; // character -> CP932 code (one or two bytes); kNoCode: none
    std::array<std::uint8_t, 65536> length{}; // character -> bytes (0, 1, 2); '\n' and CR excluded
    bool asciiIdentity = false;               // 0x00..0x7F are U+0000..U+007F both ways
};

// One direction of the system converter, used only while the tables are generated.
class Converter {
public:
    Converter(const char *to, const char *from) : m_cd(iconv_open(to, from))
    {
        if (m_cd == reinterpret_cast<iconv_t>(-1))
            qFatal("The system's iconv has no \"%s\" to \"%s\" converter", from, to);
    }
    ~Converter() { iconv_close(m_cd); }
    Converter(const Converter &) = delete;
    Converter &operator=(const Converter &) = delete;

    // Converts all of in; false on any error or incomplete input.
    bool convert(const void *in, std::size_t inLength, unsigned char *out, std::size_t &outLength, int *err = nullptr)
    {
        iconv(m_cd, nullptr, nullptr, nullptr, nullptr);
        char *ip = static_cast<char *>(const_cast<void *>(in));
        std::size_t il = inLength;
        char *op = reinterpret_cast<char *>(out);
        std::size_t ol = outLength;
        std::size_t r = iconv(m_cd, &ip, &il, &op, &ol);
        if (r != static_cast<std::size_t>(-1))
            r = iconv(m_cd, nullptr, nullptr, &op, &ol); // flush (CP932 keeps no state, but be exact)
        const int e = errno;
        outLength -= ol;
        if (err)
            *err = r == static_cast<std::size_t>(-1) ? e : 0;
        return r != static_cast<std::size_t>(-1) && il == 0;
    }

private:
    iconv_t m_cd;
};

// Code points the editor could not hold unchanged, or that are ours: a code decoding to one of them is
// kept as opaque bytes.
bool reservedCodePoint(char16_t c)
{
    return (c & 0xFF00) == kOpaqueByteBase || (c >= 0xD800 && c <= 0xDFFF) || c == 0xFFFE || c == 0xFFFF
        || c == 0x00A0 || c == 0x2028 || c == 0x2029 || c == 0xFFFC || c == 0xFDD0 || c == 0xFDD1;
}

std::unique_ptr<Cp932Tables> generateTables()
{
    auto t = std::make_unique<Cp932Tables>();
    Converter decoder("UTF-16LE", "CP932");
    Converter encoder("CP932", "UTF-16LE");

    // Decodes the code's bytes to exactly one character; 0 when iconv refuses them or gives more.
    auto decodeOne = [&](const unsigned char *bytes, std::size_t n, int *err) -> char32_t {
        unsigned char out[16];
        std::size_t outLength = sizeof out;
        if (!decoder.convert(bytes, n, out, outLength, err) || outLength != 2)
            return 0xFFFFFFFF;
        return char16_t(out[0] | out[1] << 8);
    };
    // Whether the character encodes back to exactly these bytes.
    auto comesBack = [&](char16_t c, const unsigned char *bytes, std::size_t n) {
        const unsigned char in[2] = {static_cast<unsigned char>(c & 0xFF), static_cast<unsigned char>(c >> 8)};
        unsigned char out[16];
        std::size_t outLength = sizeof out;
        return encoder.convert(in, 2, out, outLength) && outLength == n && std::memcmp(out, bytes, n) == 0;
    };

    t->code.fill(kNoCode);
    auto record = [&](char16_t c, std::uint16_t code) {
        if (t->code[c] != kNoCode)
            qFatal("CP932 tables: U+%04X comes back from two codes", unsigned(c));
        t->code[c] = code;
    };

    for (int b = 0; b < 256; ++b) {
        const unsigned char byte = static_cast<unsigned char>(b);
        int err = 0;
        const char32_t c = decodeOne(&byte, 1, &err);
        if (c <= 0xFFFF && !reservedCodePoint(char16_t(c)) && comesBack(char16_t(c), &byte, 1)) {
            t->kind[b] = Cp932Tables::Single;
            t->single[b] = char16_t(c);
            record(char16_t(c), std::uint16_t(b));
        } else {
            t->kind[b] = err == EINVAL ? Cp932Tables::Lead : Cp932Tables::Opaque;
        }
    }

    for (int lead = 0; lead < 256; ++lead) {
        if (t->kind[lead] != Cp932Tables::Lead)
            continue;
        for (int tr = 0; tr < 256; ++tr) {
            const unsigned char bytes[2] = {static_cast<unsigned char>(lead), static_cast<unsigned char>(tr)};
            const char32_t c = decodeOne(bytes, 2, nullptr);
            if (c > 0xFFFF)
                continue;
            t->trail[tr] = true;
            if (!reservedCodePoint(char16_t(c)) && comesBack(char16_t(c), bytes, 2)) {
                const std::uint16_t code = std::uint16_t(lead << 8 | tr);
                t->pair[code] = char16_t(c);
                record(char16_t(c), code);
            }
        }
    }

    // Line breaks are decided by the document's style, not by the table.
    if (t->kind['\r'] != Cp932Tables::Single || t->kind['\n'] != Cp932Tables::Single)
        qFatal("CP932 tables: CR and LF are not single-byte codes");
    t->kind['\r'] = Cp932Tables::Cr;
    t->kind['\n'] = Cp932Tables::Lf;

    bool identity = true;
    for (int b = 0; b < 0x80; ++b)
        identity = identity && (b == '\r' || b == '\n' || (t->kind[b] == Cp932Tables::Single && t->single[b] == b));
    t->asciiIdentity = identity;

    // Characters that Linux input methods and other programs write where CP932 has a full-width twin of
    // its own (the wave dash typed for ～, the minus sign for －, ...). They are written as that twin, which
    // is how every CP932 program shows them; reading the file back shows the CP932 form.
    static constexpr std::pair<char16_t, char16_t> kTwins[] = {
        {u'\u301C', u'\uFF5E'}, {u'\u2212', u'\uFF0D'}, {u'\u2016', u'\u2225'},
        {u'\u2014', u'\u2015'}, {u'\u00A2', u'\uFFE0'}, {u'\u00A3', u'\uFFE1'},
        {u'\u00AC', u'\uFFE2'}, {u'\u00A5', u'\uFFE5'}, {u'\u203E', u'\uFFE3'},
    };
    for (const auto &[from, to] : kTwins)
        if (t->code[from] == kNoCode)
            t->code[from] = t->code[to];

    for (int c = 0; c < 65536; ++c)
        t->length[c] = t->code[c] == kNoCode ? 0 : t->code[c] < 0x100 ? 1 : 2;
    for (int b = 0; b < 256; ++b)
        t->length[kOpaqueByteBase + b] = 1;
    return t;
}

const Cp932Tables &tables()
{
    static const std::unique_ptr<Cp932Tables> t = generateTables();
    return *t;
}

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
