#pragma once
// Documents are CP932 (Windows Shift-JIS) bytes; the editor works on Unicode. This codec converts between
// the two without losing anything: decoding a file and encoding the unchanged text gives back the very
// same bytes, whatever the file holds.
//
// Representation of a decoded document (what the editor receives and hands back):
//
// * Every CP932 code whose character encodes back to the same code becomes that character (ASCII with
//   0x5C and 0x7E as themselves, half-width katakana U+FF61..U+FF9F, double-byte characters, the
//   user-defined area 0xF040..0xF9FC as U+E000..U+E757, control characters including NUL as themselves).
//
// * Every other byte is an "opaque byte" b, held as the private-use code point U+F700 + b
//   (U+F700..U+F7FF) and written back as the single byte b. Opaque bytes are: bytes that are not CP932
//   (0x80, 0xA0, 0xFD..0xFF), a lead byte without a valid trail (0x81 0x20, a lone lead byte at the end),
//   unassigned pairs (0x85 0x40), and both bytes of a code whose character CP932 writes with another
//   code (0x8790 and 0x81E0 are both U+2252; 0x8790 is kept as U+F787 U+F790). A lead byte followed by a
//   byte of the trail range (0x40..0x7E, 0x80..0xFC) is always taken as one unit of two bytes; any other
//   byte after a lead byte is read afresh. CP932 decoding never yields U+F700..U+F7FF, so the range is free.
//   The editor should draw these code points visibly, e.g. as a boxed "\x80" (opaqueByteValue() gives b).
//   Every code point U+F700..U+F7FF encodes as its byte, also one typed by the user.
//
// * Line breaks: the file's style is that of its first line break (CR LF, LF or CR; CR LF when there is
//   none, as for a new document). Each break of that style becomes '\n'. A break of another kind is an
//   opaque byte, so it round-trips: in a CR LF file a lone CR is U+F70D and a lone LF U+F70A; in an LF
//   file a CR is U+F70D; in a CR file an LF is U+F70A (CR LF there reads as '\n' U+F70A).
//   encode writes every '\n' as the style's break. A CR or a CR LF pair in the text given to encode
//   (decoding never produces U+000D; text from elsewhere may hold it) is a line break as well.
//
// The conversion tables are generated from the system's iconv "CP932" converter while the program is built.

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringView>

namespace zv {

enum class LineBreakStyle { CrLf, Lf, Cr };

constexpr char16_t kOpaqueByteBase = 0xF700;

constexpr bool isOpaqueByte(QChar c) noexcept { return (c.unicode() & 0xFF00) == kOpaqueByteBase; }
constexpr unsigned char opaqueByteValue(QChar c) noexcept { return static_cast<unsigned char>(c.unicode() & 0xFF); }
constexpr QChar opaqueByteChar(unsigned char b) noexcept { return QChar(char16_t(kOpaqueByteBase + b)); }

// The bytes a line break of the style is written as: "\r\n", "\n" or "\r".
QByteArrayView lineBreakBytes(LineBreakStyle style) noexcept;

// The style of the first line break in the bytes; CR LF when they hold none.
LineBreakStyle detectLineBreakStyle(QByteArrayView bytes) noexcept;

struct DecodedText {
    QString text;
    LineBreakStyle lineBreaks = LineBreakStyle::CrLf;
};

// Decodes with the style detected from the bytes.
DecodedText decodeCp932(QByteArrayView bytes);
// Decodes with the style given ('\n' for each break of that style).
QString decodeCp932(QByteArrayView bytes, LineBreakStyle style);

struct EncodeResult {
    QByteArray bytes;          // the encoded text; empty when !ok
    bool ok = true;
    qsizetype errorPosition = -1; // index (QString units) of the first character CP932 does not have
    char32_t errorCharacter = 0;  // that character (a whole code point; a lone surrogate as itself)
};

// Encodes the text; stops at the first character CP932 does not have (nothing is ever replaced).
EncodeResult encodeCp932(QStringView text, LineBreakStyle style);

// Bytes the character takes in CP932: 1 for ASCII, half-width katakana and opaque bytes, 2 for
// double-byte characters, '\n' (and CR) 2 for CR LF documents and 1 otherwise, 0 for a character CP932
// does not have (it cannot be saved).
int cp932ByteLength(QChar c, LineBreakStyle style = LineBreakStyle::CrLf) noexcept;
// Bytes the text takes in CP932; equals encodeCp932(text, style).bytes.size() for a text that encodes.
qsizetype cp932Size(QStringView text, LineBreakStyle style = LineBreakStyle::CrLf) noexcept;

} // namespace zv
