// Conversions between the editor's forms of its text.

#include "documenttext.h"

namespace zv {

QString toDocumentBreaks(const QString &text)
{
    QString out;
    out.reserve(text.size());
    const QChar *p = text.constData();
    const QChar *end = p + text.size();
    for (; p < end; ++p) {
        if (*p == u'\r') {
            out.append(kParagraphSeparator);
            if (p + 1 < end && p[1] == u'\n')
                ++p;
        } else if (*p == u'\n') {
            out.append(kParagraphSeparator);
        } else {
            out.append(*p);
        }
    }
    return out;
}

qsizetype positionsOf(const QString &text)
{
    qsizetype n = text.size();
    for (qsizetype i = 0; i + 1 < text.size(); ++i)
        if (text.at(i) == u'\r' && text.at(i + 1) == u'\n')
            --n;
    return n;
}

QString truncatedToPositions(const QString &text, qsizetype max)
{
    if (max <= 0)
        return {};
    qsizetype i = 0;
    qsizetype used = 0;
    while (i < text.size() && used < max) {
        qsizetype step = 1;
        if (text.at(i) == u'\r' && i + 1 < text.size() && text.at(i + 1) == u'\n')
            step = 2;
        else if (text.at(i).isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate()) {
            if (used + 2 > max)
                break;
            step = 2;
            ++used; // a surrogate pair is two positions
        }
        i += step;
        ++used;
    }
    return text.left(i);
}

QString wholeLinesWithin(const QString &text, qsizetype max)
{
    if (positionsOf(text) <= max)
        return text;
    const QString fits = truncatedToPositions(text, max);
    for (qsizetype i = fits.size(); i > 0; --i) {
        const QChar c = fits.at(i - 1);
        if (c == u'\n' || c == u'\r' || c == kParagraphSeparator || c == QChar::LineSeparator)
            return fits.left(i);
    }
    return {};
}

QString withCrLfBreaks(const QString &raw)
{
    const qsizetype breaks = raw.count(kParagraphSeparator);
    QString out;
    out.reserve(raw.size() + breaks);
    const QChar *p = raw.constData();
    const QChar *end = p + raw.size();
    const QChar *run = p;
    for (; p < end; ++p) {
        if (*p == kParagraphSeparator) {
            out.append(run, p - run);
            out.append(u"\r\n");
            run = p + 1;
        }
    }
    out.append(run, end - run);
    return out;
}

} // namespace zv
