#pragma once
// The CP932 conversion tables of the codec. They are made from the system's iconv "CP932" converter by
// cp932tables_gen while the program is built, and compiled in as constant data (cp932tables.inc), so that
// no run of the program spends time making them.

#include <array>
#include <cstdint>

namespace zv {

constexpr std::uint16_t kNoCode = 0xFFFF; // no CP932 code (0xFF is never a lead byte)

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

} // namespace zv
