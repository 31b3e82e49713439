// Choosing and fitting the editor's face; see monospacefont.h.

#include "platform/monospacefont.h"
#include "platform/dialogs.h"

#include <QFontDatabase>
#include <QFontMetricsF>
#include <QPaintDevice>

#include <fontconfig/fontconfig.h>

#include <cmath>

namespace zv {

namespace {

// fontconfig's answer for monospace Japanese text, empty when the best match does not cover Japanese
// (fontconfig then answers with a Latin face, and kanji would come from a proportional one).
QString askFontconfig()
{
    if (!FcInit())
        return {};
    QString family;
    FcPattern *pattern = FcNameParse(reinterpret_cast<const FcChar8 *>("monospace:lang=ja"));
    if (!pattern)
        return {};
    FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
    FcDefaultSubstitute(pattern);
    FcResult result = FcResultNoMatch;
    if (FcPattern *match = FcFontMatch(nullptr, pattern, &result)) {
        FcLangSet *langs = nullptr;
        FcChar8 *name = nullptr;
        if (FcPatternGetLangSet(match, FC_LANG, 0, &langs) == FcResultMatch &&
            FcLangSetHasLang(langs, reinterpret_cast<const FcChar8 *>("ja")) == FcLangEqual &&
            FcPatternGetString(match, FC_FAMILY, 0, &name) == FcResultMatch)
            family = QString::fromUtf8(reinterpret_cast<const char *>(name));
        FcPatternDestroy(match);
    }
    FcPatternDestroy(pattern);
    return family;
}

bool isGenericMonospace(const QString &name)
{
    return name.compare(QLatin1String("monospace"), Qt::CaseInsensitive) == 0 ||
           name.compare(QFontDatabase::systemFont(QFontDatabase::FixedFont).family(), Qt::CaseInsensitive) == 0;
}

struct Advances {
    qreal letter, space, kanji, kana;
};

Advances advancesOf(const QFont &font, const QPaintDevice *device)
{
    // A const device is only read for its resolution.
    const QFontMetricsF m(font, const_cast<QPaintDevice *>(device));
    return {m.horizontalAdvance(QLatin1Char('a')), m.horizontalAdvance(QLatin1Char(' ')),
            m.horizontalAdvance(QChar(0x6F22)), m.horizontalAdvance(QChar(0x3042))};
}

bool onTheGrid(const Advances &a)
{
    return a.letter > 0 && a.space == a.letter && a.kanji == 2 * a.letter && a.kana == a.kanji;
}

} // namespace

QString japaneseMonospaceFamily()
{
    static const QString family = [] {
        const QString found = askFontconfig();
        return found.isEmpty() ? QFontDatabase::systemFont(QFontDatabase::FixedFont).family() : found;
    }();
    return family;
}

QString shownFontFamily(const QString &storedName)
{
    if (storedName.isEmpty() || storedName.compare(QLatin1String("FixedSys"), Qt::CaseInsensitive) == 0 ||
        isGenericMonospace(storedName) || !QFontDatabase::hasFamily(storedName))
        return japaneseMonospaceFamily();
    return storedName;
}

QFont shownFont(const FontSpec &spec, const QPaintDevice *device)
{
    QFont font(shownFontFamily(spec.name));
    font.setStyleHint(QFont::TypeWriter);
    font.setPointSize(std::max(1, spec.pointSize));
    font.setBold(spec.bold);
    font.setItalic(spec.italic);
    font.setUnderline(spec.underline);
    font.setStrikeOut(spec.strikeOut);
    if (!device)
        return font;

    const Advances wanted = advancesOf(font, device);
    // Only a face built on the two-to-one grid is fitted; a proportional or Latin-only face keeps its size.
    if (wanted.letter <= 0 || std::abs(wanted.kanji - 2 * wanted.letter) > wanted.letter / 8 || onTheGrid(wanted))
        return font;
    const qreal pointsPerStep = 72.0 / (16 * std::max(1, device->logicalDpiY())); // a sixteenth of a pixel
    const qreal base = font.pointSizeF();
    for (int step = 1; step <= 16; ++step) {
        for (const int sign : {-1, 1}) {
            QFont tried = font;
            tried.setPointSizeF(base + sign * step * pointsPerStep);
            if (onTheGrid(advancesOf(tried, device)))
                return tried;
        }
    }
    return font;
}

} // namespace zv
