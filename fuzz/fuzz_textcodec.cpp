// The CP932 text layer: whatever bytes a file holds, decoding and encoding the unchanged text gives back the
// very same bytes, in the style detected from the file and in each of the other two styles; the size the
// status bar shows agrees with the bytes.

#include "fuzzcheck.h"
#include "platform/textcodec.h"

#include <cstdint>

using namespace zv;

namespace {

void checkRoundTrip(const QByteArray &bytes, const QString &text, LineBreakStyle style, const char *how)
{
    const EncodeResult enc = encodeCp932(text, style);
    FUZZ_CHECK(enc.ok, "%s: encoding the decoded text failed at %lld (U+%04X); input %s", how,
               (long long)enc.errorPosition, unsigned(enc.errorCharacter), fuzz::hex(bytes).constData());
    FUZZ_CHECK(enc.bytes == bytes, "%s: bytes changed\n in  %s\n out %s", how, fuzz::hex(bytes).constData(),
               fuzz::hex(enc.bytes).constData());
    FUZZ_CHECK(cp932Size(text, style) == bytes.size(), "%s: size %lld for %lld bytes", how,
               (long long)cp932Size(text, style), (long long)bytes.size());
    qsizetype sum = 0;
    for (QChar c : text) {
        const int n = cp932ByteLength(c, style);
        FUZZ_CHECK(n > 0, "%s: decoded character U+%04X has no CP932 form", how, unsigned(c.unicode()));
        sum += n;
    }
    FUZZ_CHECK(sum == bytes.size(), "%s: character lengths add up to %lld, not %lld", how, (long long)sum,
               (long long)bytes.size());
    for (QChar c : text)
        FUZZ_CHECK(c.unicode() != 0x0D, "%s: decoding gave a CR", how);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    const DecodedText decoded = decodeCp932(bytes);
    FUZZ_CHECK(decoded.lineBreaks == detectLineBreakStyle(bytes), "decode and detect disagree on the style");
    checkRoundTrip(bytes, decoded.text, decoded.lineBreaks, "detected style");
    for (LineBreakStyle style : {LineBreakStyle::CrLf, LineBreakStyle::Lf, LineBreakStyle::Cr}) {
        const QString text = decodeCp932(bytes, style);
        if (style == decoded.lineBreaks)
            FUZZ_CHECK(text == decoded.text, "the two decode calls disagree");
        checkRoundTrip(bytes, text, style, style == LineBreakStyle::CrLf ? "CR LF" : style == LineBreakStyle::Lf ? "LF" : "CR");
    }
    return 0;
}
