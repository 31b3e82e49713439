#include "sample_text.h"

#include <QtGlobal>
#include <cmath>
#include <iconv.h>
#include <random>
#include <vector>

namespace zv::bench {
namespace {

// The first-level kanji of CP932 (codes 0x889F..0x9872), read through iconv.
std::vector<char16_t> kanjiPool()
{
    std::vector<char16_t> pool;
    iconv_t cd = iconv_open("UTF-16LE", "CP932");
    if (cd == reinterpret_cast<iconv_t>(-1))
        qFatal("no CP932 converter");
    for (int lead = 0x88; lead <= 0x98; ++lead) {
        for (int trail = 0x40; trail <= 0xFC; ++trail) {
            const int code = lead << 8 | trail;
            if (code < 0x889F || code > 0x9872 || trail == 0x7F)
                continue;
            char in[2] = {char(lead), char(trail)};
            unsigned char out[4];
            char *ip = in, *op = reinterpret_cast<char *>(out);
            size_t il = 2, ol = sizeof out;
            iconv(cd, nullptr, nullptr, nullptr, nullptr);
            if (iconv(cd, &ip, &il, &op, &ol) != size_t(-1) && ol == 2)
                pool.push_back(char16_t(out[0] | out[1] << 8));
        }
    }
    iconv_close(cd);
    return pool;
}

} // namespace

QString sampleJapaneseText(qsizetype chars, unsigned seed)
{
    static const std::vector<char16_t> kanji = kanjiPool();
    std::mt19937 rng(seed);
    auto below = [&](int n) { return int(rng() % unsigned(n)); };
    // Frequent characters first: a skewed pick over the pool.
    auto skewed = [&](int n) { const double u = double(rng()) / 4294967296.0; return int(n * u * u * u); };

    QString text;
    text.reserve(chars + 256);
    int lineLength = 0;
    while (text.size() < chars) {
        const int r = below(100);
        if (r < 30) { // kanji compound
            for (int i = 1 + below(3); i > 0; --i)
                text += QChar(kanji[size_t(skewed(int(kanji.size())))]);
        } else if (r < 75) { // hiragana (okurigana, particles)
            for (int i = 1 + below(4); i > 0; --i)
                text += QChar(char16_t(0x3041 + skewed(0x53)));
        } else if (r < 83) { // katakana word
            for (int i = 2 + below(5); i > 0; --i)
                text += QChar(char16_t(below(8) ? 0x30A1 + below(0x56) : 0x30FC));
        } else if (r < 88) { // ASCII word or number
            if (below(2)) {
                text += QString::number(below(100000));
            } else {
                for (int i = 2 + below(7); i > 0; --i)
                    text += QChar(char16_t('a' + below(26)));
            }
            text += QChar(u' ');
        } else if (r < 97) { // punctuation
            static const char16_t marks[] = u"、、、。「」・（）！？：";
            text += QChar(marks[below(int(std::size(marks)) - 1)]);
        } else if (r < 98) { // half-width katakana
            for (int i = 2 + below(4); i > 0; --i)
                text += QChar(char16_t(0xFF66 + below(0x38)));
        } else if (r < 99) { // full-width letters and digits
            for (int i = 2 + below(4); i > 0; --i)
                text += QChar(char16_t(below(2) ? 0xFF21 + below(26) : 0xFF10 + below(10)));
        } else if (below(3)) {
            text += QChar(u'。');
        } else { // a character only CP932 has (NEC and IBM extensions, its own mappings)
            static const char16_t cp932Only[] = u"①②③⑩⑳ⅠⅡⅢⅣⅩ㈱㈲№℡㍉㌔㎝～－￢∥髙﨑";
            text += QChar(cp932Only[below(int(std::size(cp932Only)) - 1)]);
        }
        lineLength = int(text.size() - text.lastIndexOf(u'\n'));
        if (lineLength > 20 + below(60)) {
            text += QStringLiteral("\r\n");
            if (!below(8))
                text += QStringLiteral("\r\n");
        }
    }
    text += QStringLiteral("\r\n");
    return text;
}

namespace {

QByteArray toCp932(const QString &text)
{
    QByteArray out(text.size() * 2, Qt::Uninitialized);
    iconv_t cd = iconv_open("CP932", "UTF-16LE");
    char *ip = const_cast<char *>(reinterpret_cast<const char *>(text.utf16()));
    size_t il = size_t(text.size()) * 2;
    char *op = out.data();
    size_t ol = size_t(out.size());
    if (cd == reinterpret_cast<iconv_t>(-1) || iconv(cd, &ip, &il, &op, &ol) == size_t(-1))
        qFatal("the sample text does not encode to CP932");
    iconv_close(cd);
    out.truncate(out.size() - qsizetype(ol));
    return out;
}

} // namespace

QByteArray sampleCp932(qsizetype bytes, unsigned seed)
{
    QByteArray out = toCp932(sampleJapaneseText(bytes * 2 / 3, seed));
    if (out.size() < bytes)
        qFatal("the sample text came out short");
    out.truncate(out.lastIndexOf("\r\n", bytes - 2) + 2);
    return out;
}

QByteArray sampleCp932Characters(qsizetype chars, unsigned seed)
{
    // Line breaks are about one character in thirty; ask for enough that the cut always finds text.
    QString text = sampleJapaneseText(chars + chars / 8 + 256, seed);
    qsizetype positions = 0, i = 0;
    for (; i < text.size() && positions < chars; ++i) {
        if (text.at(i) == u'\r' && i + 1 < text.size() && text.at(i + 1) == u'\n')
            ++i;
        ++positions;
    }
    if (positions < chars)
        qFatal("the sample text came out short");
    text.truncate(i);
    return toCp932(text);
}

} // namespace zv::bench
