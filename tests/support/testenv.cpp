#include "testenv.h"
#include "platform/settingsstore.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

TestEnv::TestEnv()
{
    m_oldConfig = qgetenv("XDG_CONFIG_HOME");
    m_oldHome = qgetenv("HOME");
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_dir.path() + QStringLiteral("/config")));
    qputenv("HOME", QFile::encodeName(m_dir.path() + QStringLiteral("/home")));
    QDir().mkpath(m_dir.path() + QStringLiteral("/home"));
    app.setTitle(QStringLiteral("無題 - Zuvelo PGP"));
    app.setHelpFile(QStringLiteral("Quorvel.hlp"));
    zv::SettingsStore::takeNotices();
}

TestEnv::~TestEnv()
{
    qputenv("XDG_CONFIG_HOME", m_oldConfig);
    qputenv("HOME", m_oldHome);
}

QString TestEnv::settingsPath() const { return zv::SettingsStore::filePath(); }

void TestEnv::writeSettings(const QByteArray &text) const
{
    QDir().mkpath(QFileInfo(settingsPath()).absolutePath());
    QFile f(settingsPath());
    if (f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        f.write(text);
}

QByteArray TestEnv::readSettings() const
{
    QFile f(settingsPath());
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

std::unique_ptr<TfrmMain> TestEnv::makeWindow(const QStringList &args)
{
    return std::make_unique<TfrmMain>(args);
}

QByteArray settingsText(const QByteArray &otherData, const QByteArray &formData)
{
    QByteArray out = "REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\Velmorin\\Zuvelo]\n";
    if (!otherData.isEmpty())
        out += "\n[HKEY_CURRENT_USER\\Software\\Velmorin\\Zuvelo\\Other Data]\n" + otherData;
    if (!formData.isEmpty())
        out += "\n[HKEY_CURRENT_USER\\Software\\Velmorin\\Zuvelo\\FormData]\n" + formData;
    return out;
}
