#include "gomainternal.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>

namespace goma {

QString preferencesPath()
{
    QString base = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (base.isEmpty() || !QDir::isAbsolutePath(base))
        base = QDir::homePath() + QStringLiteral("/.config");
    return base + QStringLiteral("/zuvelo-pgp/goma.conf");
}

namespace {
bool toBool(const QString &v) { return v == QLatin1String("1") || v.compare(QLatin1String("true"), Qt::CaseInsensitive) == 0; }
} // namespace

Preferences loadPreferences()
{
    Preferences prefs;
    QFile f(preferencesPath());
    if (!f.open(QIODevice::ReadOnly))
        return prefs;
    while (!f.atEnd()) {
        const QString line = QString::fromUtf8(f.readLine(64 * 1024)).trimmed();
        if (line.isEmpty() || line.startsWith(QLatin1Char('#')))
            continue;
        const qsizetype eq = line.indexOf(QLatin1Char('='));
        if (eq <= 0)
            continue;
        const QString key = line.left(eq).trimmed();
        const QString val = line.mid(eq + 1).trimmed();
        if (key == QLatin1String("default-key"))
            prefs.defaultKey = val;
        else if (key == QLatin1String("encrypt-to-self"))
            prefs.encryptToSelf = toBool(val);
        else if (key == QLatin1String("gnupg-home"))
            prefs.gnupgHome = val;
    }
    return prefs;
}

bool savePreferences(const Preferences &prefs)
{
    const QString path = preferencesPath();
    if (!QDir().mkpath(QFileInfo(path).absolutePath()))
        return false;
    QSaveFile f(path);
    if (!f.open(QIODevice::WriteOnly))
        return false;
    const auto clean = [](QString s) { return s.remove(QLatin1Char('\n')).remove(QLatin1Char('\r')).trimmed(); };
    QByteArray text = "# Goma preferences\n";
    text += "default-key=" + clean(prefs.defaultKey).toUtf8() + "\n";
    text += QByteArray("encrypt-to-self=") + (prefs.encryptToSelf ? "1" : "0") + "\n";
    text += "gnupg-home=" + clean(prefs.gnupgHome).toUtf8() + "\n";
    if (f.write(text) != text.size())
        return false;
    return f.commit();
}

} // namespace goma
