// The ISO-2022-JP conversion of the PGP library, both directions. The first input byte picks the direction.
//
// CP932 -> ISO-2022-JP: either the whole text converts or the output is left exactly as it was; a converted
// text never stops inside an escape sequence or halfway through a double-byte pair, ends in ASCII mode, and
// converts back to the very same CP932 bytes.
// ISO-2022-JP -> CP932: the same all-or-nothing rule; the CP932 it gives is made of whole characters, and
// taking it to ISO-2022-JP and back gives the same CP932 again.

#include "fuzzcheck.h"
#include "iso2022jp.h"

#include <cstdint>
#include <string_view>

using goma::SecureBytes;
using namespace goma::jis;

namespace {

const std::string_view kSentinel = "\x01sentinel\x1b$B"; // what the output held before the call

SecureBytes sentinel()
{
    SecureBytes b;
    goma::append(b, kSentinel.data(), kSentinel.size());
    return b;
}

QByteArray bytesOf(std::string_view s) { return QByteArray(s.data(), qsizetype(s.size())); }
QByteArray bytesOf(const SecureBytes &b) { return QByteArray(b.data(), qsizetype(b.size())); }

bool isLead(unsigned char b) { return (b >= 0x81 && b <= 0x9f) || (b >= 0xe0 && b <= 0xfc); }
bool isTrail(unsigned char b) { return b >= 0x40 && b <= 0xfc && b != 0x7f; }

// Walks ISO-2022-JP output of ours: only ESC ( B and ESC $ B, whole pairs of 0x21..0x7E in double-byte mode,
// no byte of 0x80 or above, and ASCII mode at the end and before every line break.
void checkJisShape(const QByteArray &jis, const QByteArray &input)
{
    bool dbcs = false;
    for (qsizetype i = 0; i < jis.size();) {
        const auto b = static_cast<unsigned char>(jis[i]);
        FUZZ_CHECK(b < 0x80, "8-bit byte in ISO-2022-JP output; input %s", fuzz::hex(input).constData());
        if (b == 0x1b) {
            FUZZ_CHECK(i + 3 <= jis.size(), "output ends inside an escape sequence: %s", fuzz::hex(jis).constData());
            const QByteArray esc = jis.mid(i, 3);
            FUZZ_CHECK(esc == "\x1b(B" || esc == "\x1b$B", "unexpected escape %s", fuzz::hex(esc).constData());
            dbcs = esc == "\x1b$B";
            i += 3;
            continue;
        }
        FUZZ_CHECK(b != 0x0e && b != 0x0f, "SO/SI in output");
        if (!dbcs) {
            ++i;
            continue;
        }
        FUZZ_CHECK(b >= 0x21 && b <= 0x7e, "control or space inside double-byte mode: %s", fuzz::hex(jis).constData());
        FUZZ_CHECK(i + 1 < jis.size(), "output ends halfway through a pair: %s", fuzz::hex(jis).constData());
        const auto b2 = static_cast<unsigned char>(jis[i + 1]);
        FUZZ_CHECK(b2 >= 0x21 && b2 <= 0x7e, "bad second byte %02x", unsigned(b2));
        i += 2;
    }
    FUZZ_CHECK(!dbcs, "output does not end in ASCII mode: %s", fuzz::hex(jis).constData());
}

// Whole CP932 characters: every lead byte has its trail byte.
void checkCp932Whole(const QByteArray &cp932, const QByteArray &input)
{
    for (qsizetype i = 0; i < cp932.size(); ++i) {
        const auto b = static_cast<unsigned char>(cp932[i]);
        if (!isLead(b))
            continue;
        FUZZ_CHECK(i + 1 < cp932.size() && isTrail(static_cast<unsigned char>(cp932[i + 1])),
                   "half a double-byte character in the CP932 output at %lld; input %s", (long long)i,
                   fuzz::hex(input).constData());
        ++i;
    }
}

void fromCp932(std::string_view in)
{
    const QByteArray input = bytesOf(in);
    SecureBytes out = sentinel();
    const ConvertResult r = cp932ToIso2022jp(in, out);
    const QByteArray got = bytesOf(out);
    FUZZ_CHECK(got.startsWith(bytesOf(kSentinel)), "what the output held before was changed");
    if (!r) {
        FUZZ_CHECK(got == bytesOf(kSentinel), "failed conversion left output behind: %s", fuzz::hex(got).constData());
        FUZZ_CHECK(r.errorOffset < in.size(), "error offset %zu outside the input of %zu bytes", r.errorOffset, in.size());
        return;
    }
    const QByteArray jis = got.mid(kSentinel.size());
    checkJisShape(jis, input);
    SecureBytes back;
    const ConvertResult r2 = iso2022jpToCp932({jis.constData(), std::size_t(jis.size())}, back);
    FUZZ_CHECK(r2.ok, "our own ISO-2022-JP output is refused at %zu: %s", r2.errorOffset, fuzz::hex(jis).constData());
    FUZZ_CHECK(bytesOf(back) == input, "round trip changed the text\n in  %s\n out %s", fuzz::hex(input).constData(),
               fuzz::hex(bytesOf(back)).constData());
}

void fromJis(std::string_view in)
{
    const QByteArray input = bytesOf(in);
    SecureBytes out = sentinel();
    const ConvertResult r = iso2022jpToCp932(in, out);
    const QByteArray got = bytesOf(out);
    FUZZ_CHECK(got.startsWith(bytesOf(kSentinel)), "what the output held before was changed");
    if (!r) {
        FUZZ_CHECK(got == bytesOf(kSentinel), "failed conversion left output behind: %s", fuzz::hex(got).constData());
        FUZZ_CHECK(r.errorOffset < in.size(), "error offset %zu outside the input of %zu bytes", r.errorOffset, in.size());
        return;
    }
    const QByteArray cp932 = got.mid(kSentinel.size());
    checkCp932Whole(cp932, input);
    SecureBytes jis;
    if (!cp932ToIso2022jp({cp932.constData(), std::size_t(cp932.size())}, jis))
        return; // half-width katakana, unassigned codes: not for ISO-2022-JP
    SecureBytes again;
    FUZZ_CHECK(iso2022jpToCp932({jis.data(), jis.size()}, again).ok, "second pass refused");
    FUZZ_CHECK(bytesOf(again) == cp932, "second pass changed the text\n first  %s\n second %s",
               fuzz::hex(cp932).constData(), fuzz::hex(bytesOf(again)).constData());
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size == 0)
        return 0;
    // libFuzzer hands over a buffer of exactly the input's size: reading past its end is caught.
    const std::string_view in(reinterpret_cast<const char *>(data) + 1, size - 1);
    if (data[0] & 1)
        fromJis(in);
    else
        fromCp932(in);
    return 0;
}
