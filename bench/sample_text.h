#pragma once
// A seeded generator of realistic Japanese text in CP932, for benchmarks: sentences of kanji, hiragana,
// katakana words, punctuation, some ASCII words and numbers, a little half-width katakana, full-width
// letters and digits and a few characters only CP932 has (circled numbers, Roman numerals, IBM kanji,
// the full-width tilde), lines of varying length separated by CR LF. The same seed gives the same bytes.

#include <QByteArray>
#include <QString>

namespace zv::bench {

// The text as Unicode, about chars characters long, ending with a line break.
QString sampleJapaneseText(qsizetype chars, unsigned seed = 20240601);

// The text encoded to CP932 through the system's iconv, cut at the last line break within bytes.
QByteArray sampleCp932(qsizetype bytes, unsigned seed = 20240601);

// The text encoded to CP932, cut so that it holds exactly chars characters once read, a CR LF line break
// counting as one (the way the editor counts positions).
QByteArray sampleCp932Characters(qsizetype chars, unsigned seed = 20240601);

} // namespace zv::bench
