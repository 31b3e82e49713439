#pragma once
// The face the editor shows for a stored font name. Japanese plain text is written on a grid in which a
// full-width character is exactly two half-width ones, so the stored default "FixedSys" (a face this
// system does not have) and the desktop's generic monospace face stand for the Japanese monospace face
// that fontconfig offers for "monospace:lang=ja". Any other installed face is used as chosen.

#include <QFont>
#include <QString>

class QPaintDevice;

namespace zv {

struct FontSpec;

// The family fontconfig gives for monospace text in Japanese, or the desktop's fixed font when no font
// installed covers Japanese.
QString japaneseMonospaceFamily();

// The family shown for a stored face name (see above).
QString shownFontFamily(const QString &storedName);

// The font for spec as drawn on device: the family above, spec's size and style. In a face whose
// full-width characters are twice its half-width ones, rounding of the advances at some sizes breaks
// that ratio by a fraction of a pixel, which adds up along a line; the size is then moved by the
// smallest step (less than a pixel) at which the ratio is exact and a space is as wide as a letter.
QFont shownFont(const FontSpec &spec, const QPaintDevice *device);

} // namespace zv
