#pragma once
// A seeded generator of realistic Japanese text in CP932, for benchmarks: sentences of kanji, hiragana,
// katakana words, punctuation, some ASCII words and numbers and a little half-width katakana, lines of
// varying length separated by CR LF. The same seed gives the same bytes.

#include <QByteArray>
#include <QString>

namespace zv::bench {

// The text as Unicode, about chars characters long, ending with a line break.
QString sampleJapaneseText(qsizetype chars, unsigned seed = 20240601);

// The text encoded to CP932 through the system's iconv, cut at the last line break within bytes.
QByteArray sampleCp932(qsizetype bytes, unsigned seed = 20240601);

} // namespace zv::bench
