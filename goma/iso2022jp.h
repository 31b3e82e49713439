#ifndef GOMA_ISO2022JP_H
#define GOMA_ISO2022JP_H
// Conversion between CP932 (Windows Shift-JIS) and ISO-2022-JP.
//
// The two encodings share the JIS X 0208 code space, so a two-byte CP932 character maps to its JIS row and
// cell by arithmetic, without a detour through Unicode: that keeps characters such as the wave dash, which the
// usual Unicode tables map differently for the two encodings, and brings them back byte for byte.
//
// CP932 -> ISO-2022-JP accepts ASCII (without the ESC, SO and SI controls, which would break the stream),
// the JIS X 0208 rows 1-8 and 16-84 and the NEC special characters of row 13 (circled numbers, units), each
// only where CP932 assigns a character. Half-width katakana, the IBM extensions and user-defined characters
// have no place in ISO-2022-JP and make the conversion fail. Every line ends in ASCII mode, as does the text.
//
// ISO-2022-JP -> CP932 accepts ESC ( B, ESC ( J, ESC $ @, ESC $ B and ESC ( I (half-width katakana).
//
// Both directions either convert the whole input or fail: on failure the output is left as it was, so no
// half-converted text and no half escape sequence is ever handed on. They never read outside the input.
#include "securebytes.h"

#include <cstddef>
#include <string_view>

#if defined(GOMA_BUILDING)
#define GOMA_INTERNAL __attribute__((visibility("default")))
#else
#define GOMA_INTERNAL
#endif

namespace goma::jis {

struct ConvertResult {
    bool ok = false;
    std::size_t errorOffset = 0; // on failure: input offset of the byte that could not be converted
    explicit operator bool() const { return ok; }
};

// Appends the ISO-2022-JP form of the CP932 text to out.
GOMA_INTERNAL ConvertResult cp932ToIso2022jp(std::string_view cp932, SecureBytes &out);
// Appends the CP932 form of the ISO-2022-JP text to out.
GOMA_INTERNAL ConvertResult iso2022jpToCp932(std::string_view jis, SecureBytes &out);

// True when CP932 assigns a character to the two-byte code lead/trail (from the system's iconv tables).
GOMA_INTERNAL bool isAssignedCp932(unsigned char lead, unsigned char trail);

} // namespace goma::jis
#endif
