#pragma once
#include <QStringView>

namespace zv {
// Whether a line is an OpenPGP armour header that starts a message the program can decrypt or verify:
// "-----BEGIN PGP MESSAGE-----" or "-----BEGIN PGP SIGNED MESSAGE-----", case-sensitive, after stripping
// every character of value 32 or less from both ends (a full-width space is not stripped).
bool isArmourHeaderLine(QStringView line);
} // namespace zv
