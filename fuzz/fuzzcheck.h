#pragma once
// Checks inside the fuzz targets: a broken property prints what was expected and aborts, so that libFuzzer
// keeps the input as a crash.

#include <QByteArray>
#include <QString>
#include <cstdio>
#include <cstdlib>

#define FUZZ_CHECK(cond, ...)                                                                                      \
    do {                                                                                                           \
        if (!(cond)) {                                                                                             \
            std::fprintf(stderr, "\n*** property broken: %s (%s:%d)\n*** ", #cond, __FILE__, __LINE__);           \
            std::fprintf(stderr, __VA_ARGS__);                                                                     \
            std::fprintf(stderr, "\n");                                                                            \
            std::abort();                                                                                          \
        }                                                                                                          \
    } while (0)

namespace fuzz {

// A short printable form of bytes for the messages above.
inline QByteArray hex(const QByteArray &b, int max = 64)
{
    return b.left(max).toHex(' ') + (b.size() > max ? QByteArray(" ...") : QByteArray());
}
inline QByteArray hex(const QString &s, int max = 32)
{
    QByteArray out;
    for (qsizetype i = 0; i < s.size() && i < max; ++i)
        out += QByteArray::number(s[i].unicode(), 16).rightJustified(4, '0') + ' ';
    return out + (s.size() > max ? QByteArray("...") : QByteArray());
}

// Reads fuzz input as UTF-16 code units (any value, lone surrogates included).
inline QString utf16(const unsigned char *data, std::size_t size)
{
    QString s;
    s.reserve(qsizetype(size / 2));
    for (std::size_t i = 0; i + 1 < size; i += 2)
        s += QChar(char16_t(data[i] | (data[i + 1] << 8)));
    return s;
}

} // namespace fuzz
