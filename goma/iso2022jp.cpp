#include "iso2022jp.h"

#include <array>
#include <bitset>
#include <iconv.h>

namespace goma::jis {
namespace {

constexpr char kEsc = 0x1b;
constexpr std::string_view kToAscii = "\x1b(B";
constexpr std::string_view kToJis0208 = "\x1b$B";

bool isLeadByte(unsigned char b) { return (b >= 0x81 && b <= 0x9f) || (b >= 0xe0 && b <= 0xfc); }

// Two-byte Shift-JIS code -> JIS row and cell (1-based); false when the trail byte is out of range.
bool sjisToRowCell(unsigned char lead, unsigned char trail, int &row, int &cell)
{
    if (!isLeadByte(lead) || trail < 0x40 || trail > 0xfc || trail == 0x7f)
        return false;
    row = (lead <= 0x9f ? (lead - 0x81) : (lead - 0xc1)) * 2 + 1;
    if (trail >= 0x9f) {
        ++row;
        cell = trail - 0x9e;
    } else {
        cell = trail - 0x3f - (trail >= 0x80 ? 1 : 0);
    }
    return true;
}

void rowCellToSjis(int row, int cell, unsigned char &lead, unsigned char &trail)
{
    lead = static_cast<unsigned char>((row + 1) / 2 + (row <= 62 ? 0x80 : 0xc0));
    if (row % 2)
        trail = static_cast<unsigned char>(cell + 0x3f + (cell >= 64 ? 1 : 0));
    else
        trail = static_cast<unsigned char>(cell + 0x9e);
}

// Rows of the JIS X 0208 code space that ISO-2022-JP carries here (row 13: the NEC special characters).
bool rowAllowed(int row) { return (row >= 1 && row <= 8) || row == 13 || (row >= 16 && row <= 84); }

using AssignedTable = std::bitset<94 * 94>;

AssignedTable buildAssignedTable()
{
    AssignedTable table;
    iconv_t cd = iconv_open("UTF-8", "CP932");
    if (cd == reinterpret_cast<iconv_t>(-1))
        return table; // without the system's tables nothing two-byte is taken as assigned
    for (int row = 1; row <= 94; ++row) {
        for (int cell = 1; cell <= 94; ++cell) {
            unsigned char lead, trail;
            rowCellToSjis(row, cell, lead, trail);
            char in[2] = {static_cast<char>(lead), static_cast<char>(trail)};
            char out[16];
            char *inp = in;
            char *outp = out;
            size_t inLeft = 2, outLeft = sizeof out;
            iconv(cd, nullptr, nullptr, nullptr, nullptr);
            size_t rc = iconv(cd, &inp, &inLeft, &outp, &outLeft);
            if (rc != static_cast<size_t>(-1) && inLeft == 0 && outp != out)
                table.set(static_cast<size_t>((row - 1) * 94 + (cell - 1)));
        }
    }
    iconv_close(cd);
    return table;
}

const AssignedTable &assignedTable()
{
    static const AssignedTable table = buildAssignedTable();
    return table;
}

} // namespace

bool isAssignedCp932(unsigned char lead, unsigned char trail)
{
    int row, cell;
    if (!sjisToRowCell(lead, trail, row, cell) || row < 1 || row > 94)
        return false;
    return assignedTable().test(static_cast<size_t>((row - 1) * 94 + (cell - 1)));
}

ConvertResult cp932ToIso2022jp(std::string_view in, SecureBytes &out)
{
    SecureBytes buf;
    buf.reserve(in.size() + in.size() / 2 + 8);
    bool inJis = false;
    const auto put = [&buf](std::string_view s) { append(buf, s.data(), s.size()); };
    for (std::size_t i = 0; i < in.size();) {
        const auto b = static_cast<unsigned char>(in[i]);
        if (b < 0x80) {
            if (b == 0x1b || b == 0x0e || b == 0x0f)
                return {false, i};
            if (inJis) {
                put(kToAscii);
                inJis = false;
            }
            buf.push_back(static_cast<char>(b));
            ++i;
            continue;
        }
        int row, cell;
        if (i + 1 >= in.size() || !sjisToRowCell(b, static_cast<unsigned char>(in[i + 1]), row, cell) ||
            !rowAllowed(row) || !isAssignedCp932(b, static_cast<unsigned char>(in[i + 1])))
            return {false, i};
        if (!inJis) {
            put(kToJis0208);
            inJis = true;
        }
        buf.push_back(static_cast<char>(row + 0x20));
        buf.push_back(static_cast<char>(cell + 0x20));
        i += 2;
    }
    if (inJis)
        put(kToAscii);
    append(out, buf.data(), buf.size());
    return {true, 0};
}

ConvertResult iso2022jpToCp932(std::string_view in, SecureBytes &out)
{
    enum class Mode { Ascii, Jis0208, Katakana } mode = Mode::Ascii;
    SecureBytes buf;
    buf.reserve(in.size());
    for (std::size_t i = 0; i < in.size();) {
        const auto b = static_cast<unsigned char>(in[i]);
        if (b == kEsc) {
            const std::string_view rest = in.substr(i);
            if (rest.starts_with("\x1b(B") || rest.starts_with("\x1b(J")) {
                mode = Mode::Ascii;
                i += 3;
            } else if (rest.starts_with("\x1b$B") || rest.starts_with("\x1b$@")) {
                mode = Mode::Jis0208;
                i += 3;
            } else if (rest.starts_with("\x1b(I")) {
                mode = Mode::Katakana;
                i += 3;
            } else {
                return {false, i};
            }
            continue;
        }
        if (b >= 0x80 || b == 0x0e || b == 0x0f)
            return {false, i};
        // Controls and the space stand for themselves in every mode.
        if (b <= 0x20 || mode == Mode::Ascii) {
            if (b == 0x7f && mode != Mode::Ascii)
                return {false, i};
            buf.push_back(static_cast<char>(b));
            ++i;
            continue;
        }
        if (mode == Mode::Katakana) {
            if (b > 0x5f)
                return {false, i};
            buf.push_back(static_cast<char>(b + 0x80));
            ++i;
            continue;
        }
        if (b == 0x7f || i + 1 >= in.size())
            return {false, i};
        const auto b2 = static_cast<unsigned char>(in[i + 1]);
        if (b2 < 0x21 || b2 > 0x7e)
            return {false, i};
        unsigned char lead, trail;
        rowCellToSjis(b - 0x20, b2 - 0x20, lead, trail);
        buf.push_back(static_cast<char>(lead));
        buf.push_back(static_cast<char>(trail));
        i += 2;
    }
    append(out, buf.data(), buf.size());
    return {true, 0};
}

} // namespace goma::jis
