// Build tool: makes the CP932 conversion tables from the system's iconv and writes them as C++ constant
// data, which textcodec.cpp compiles in.
//
//   cp932tables_gen OUTPUT.inc

#include "platform/cp932tables.h"
#include "platform/textcodec.h"

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iconv.h>
#include <memory>
#include <string>
#include <utility>

namespace zv {
namespace {

[[noreturn]] void fatal(const char *format, ...)
{
    va_list args;
    va_start(args, format);
    std::fputs("cp932tables_gen: ", stderr);
    std::vfprintf(stderr, format, args);
    std::fputc('\n', stderr);
    va_end(args);
    std::exit(1);
}

// One direction of the system converter, used only while the tables are generated.
class Converter {
public:
    Converter(const char *to, const char *from) : m_cd(iconv_open(to, from))
    {
        if (m_cd == reinterpret_cast<iconv_t>(-1))
            fatal("The system's iconv has no \"%s\" to \"%s\" converter", from, to);
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
            fatal("CP932 tables: U+%04X comes back from two codes", unsigned(c));
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
        fatal("CP932 tables: CR and LF are not single-byte codes");
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

template <typename T, std::size_t N>
void writeArray(std::string &out, const char *comment, const std::array<T, N> &a)
{
    out += "    // ";
    out += comment;
    out += "\n    {";
    char buf[16];
    for (std::size_t i = 0; i < N; ++i) {
        if (i % 16 == 0)
            out += "\n        ";
        if constexpr (std::is_same_v<T, bool>)
            std::snprintf(buf, sizeof buf, "%s,", a[i] ? "true" : "false");
        else
            std::snprintf(buf, sizeof buf, "0x%X,", unsigned(a[i]));
        out += buf;
    }
    out += "\n    },\n";
}

} // namespace
} // namespace zv

int main(int argc, char **argv)
{
    if (argc != 2)
        zv::fatal("usage: cp932tables_gen OUTPUT.inc");
    const std::unique_ptr<zv::Cp932Tables> t = zv::generateTables();
    std::string out = "// Generated by cp932tables_gen from the system's iconv while building. Do not edit.\n"
                      "static const Cp932Tables kGeneratedTables = {\n";
    zv::writeArray(out, "kind", t->kind);
    zv::writeArray(out, "single", t->single);
    zv::writeArray(out, "trail", t->trail);
    zv::writeArray(out, "pair", t->pair);
    zv::writeArray(out, "code", t->code);
    zv::writeArray(out, "length", t->length);
    out += t->asciiIdentity ? "    true,\n};\n" : "    false,\n};\n";
    // Written beside the output and renamed, so that a failed run leaves no half file to compile.
    const std::string tmp = std::string(argv[1]) + ".tmp";
    FILE *f = std::fopen(tmp.c_str(), "wb");
    if (!f || std::fwrite(out.data(), 1, out.size(), f) != out.size() || std::fclose(f) != 0
        || std::rename(tmp.c_str(), argv[1]) != 0)
        zv::fatal("cannot write %s: %s", argv[1], std::strerror(errno));
    return 0;
}
