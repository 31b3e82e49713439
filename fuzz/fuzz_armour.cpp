// The armour-header test of the idle update against a plain reference: strip every character of value 32
// or less from both ends, then compare with the two header lines.
//
// The first byte picks how the rest is read: raw UTF-16 code units, UTF-8, or a header line with chosen
// characters around it and possibly one character changed.

#include "editor/armour.h"
#include "fuzzcheck.h"

#include <algorithm>
#include <cstdint>
#include <string>

namespace {

const std::u16string kMessage = u"-----BEGIN PGP MESSAGE-----";
const std::u16string kSigned = u"-----BEGIN PGP SIGNED MESSAGE-----";

bool reference(const std::u16string &line)
{
    const auto blank = [](char16_t c) { return c <= 32; };
    auto b = std::find_if_not(line.begin(), line.end(), blank);
    auto e = std::find_if_not(line.rbegin(), std::make_reverse_iterator(b), blank).base();
    const std::u16string core(b, e);
    return core == kMessage || core == kSigned;
}

// Characters that sit around a header line in real and hostile texts.
constexpr char16_t kAround[] = {u' ', u'\t', u'\r', u'\n', 0, 0x0B, 0x0C, 0x1F, 0x20, 0x21, 0x7F, 0xA0,
                                0x3000, 0xFEFF, 0x200B, u'-', u'x', 0xD800, 0xDC00, 0xF70D};

std::u16string built(const std::uint8_t *d, std::size_t n)
{
    if (n < 3)
        return {};
    std::u16string s;
    const std::size_t before = d[0] % 8, after = d[1] % 8;
    std::size_t i = 3;
    for (std::size_t k = 0; k < before && i < n; ++k)
        s += kAround[d[i++] % std::size(kAround)];
    std::u16string header = d[2] & 1 ? kSigned : kMessage;
    if (d[2] & 2 && i + 1 < n) { // change one character
        header[d[i] % header.size()] = char16_t(d[i + 1]);
        i += 2;
    }
    if (d[2] & 4 && i < n) // drop one character
        header.erase(d[i++] % header.size(), 1);
    s += header;
    for (std::size_t k = 0; k < after && i < n; ++k)
        s += kAround[d[i++] % std::size(kAround)];
    return s;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size == 0)
        return 0;
    std::u16string line;
    switch (data[0] % 3) {
    case 0: {
        const QString s = fuzz::utf16(data + 1, size - 1);
        line.assign(reinterpret_cast<const char16_t *>(s.utf16()), std::size_t(s.size()));
        break;
    }
    case 1: {
        const QString s = QString::fromUtf8(reinterpret_cast<const char *>(data + 1), qsizetype(size - 1));
        line.assign(reinterpret_cast<const char16_t *>(s.utf16()), std::size_t(s.size()));
        break;
    }
    default:
        line = built(data + 1, size - 1);
        break;
    }
    const QStringView view(line.data(), qsizetype(line.size()));
    const bool got = zv::isArmourHeaderLine(view);
    FUZZ_CHECK(got == reference(line), "isArmourHeaderLine says %d for %s", int(got),
               fuzz::hex(view.toString(), 48).constData());
    return 0;
}
