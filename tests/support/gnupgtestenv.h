#ifndef ZV_TESTS_GNUPGTESTENV_H
#define ZV_TESTS_GNUPGTESTENV_H
// A throwaway GnuPG world for the tests of the PGP library and commands: a main home with alice (secret,
// passphrase) and bob (secret) and dave's revoked public key, and a second home holding carol, a stranger to
// the main home. Keys come from tests/goma/keys; the agents are ended when the environment goes away.
// Setting up also tells the library to answer passphrase requests with alice's and to show no window.
#include "gomainternal.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

struct GpgRun {
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};

class GnupgTestEnv {
public:
    static constexpr const char *kAlice = "534444F4E3E5680D7134AF2905EDB72D6BD93FC7";
    static constexpr const char *kBob = "AE7267067084FE3BBDEF6682122EB93A0C64CAB3";
    static constexpr const char *kCarol = "4ED220A34BCE3431B863585F4871BCC4631BFB93";
    static constexpr const char *kAlicePassphrase = "alice-pass";

    // Short paths: gpg-agent's socket lives in the home and socket paths are limited in length.
    GnupgTestEnv() : m_dir(QStringLiteral("/tmp/gomaXXXXXX")) {}

    ~GnupgTestEnv()
    {
        for (const QString &home : {mainHome(), otherHome()})
            if (QDir(home).exists())
                QProcess::execute(QStringLiteral("gpgconf"), {QStringLiteral("--homedir"), home,
                                                              QStringLiteral("--kill"), QStringLiteral("all")});
    }

    bool setUp()
    {
        if (!m_dir.isValid())
            return false;
        for (const QString &home : {mainHome(), otherHome()}) {
            if (!QDir().mkpath(home) ||
                !QFile::setPermissions(home, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner))
                return false;
            QFile agentConf(home + QStringLiteral("/gpg-agent.conf"));
            if (!agentConf.open(QIODevice::WriteOnly) || agentConf.write("allow-loopback-pinentry\n") < 0)
                return false;
        }
        const QString keys = QStringLiteral(ZV_SOURCE_DIR "/tests/goma/keys/");
        const bool imported = importKey(mainHome(), keys + QStringLiteral("alice.sec.asc")) &&
                              importKey(mainHome(), keys + QStringLiteral("bob.sec.asc")) &&
                              importKey(mainHome(), keys + QStringLiteral("dave-revoked.pub.asc")) &&
                              importKey(otherHome(), keys + QStringLiteral("carol.sec.asc")) &&
                              importKey(otherHome(), keys + QStringLiteral("alice.pub.asc")) &&
                              importKey(otherHome(), keys + QStringLiteral("bob.pub.asc"));
        if (!imported)
            return false;
        const QByteArray trust = QByteArray(kAlice) + ":6:\n" + kBob + ":6:\n";
        if (gpg(mainHome(), {QStringLiteral("--import-ownertrust")}, trust).exitCode != 0)
            return false;
        if (gpg(otherHome(), {QStringLiteral("--import-ownertrust")}, QByteArray(kCarol) + ":6:\n").exitCode != 0)
            return false;
        qputenv("GNUPGHOME", mainHome().toLocal8Bit());
        qputenv("XDG_CONFIG_HOME", configHome().toLocal8Bit());
        goma::setTestPassphrase(kAlicePassphrase);
        goma::setWindowsAllowed(false);
        return writePreferences(QByteArray("default-key=") + kAlice + "\n");
    }

    QString mainHome() const { return m_dir.path() + QStringLiteral("/m"); }
    QString otherHome() const { return m_dir.path() + QStringLiteral("/o"); }
    QString configHome() const { return m_dir.path() + QStringLiteral("/config"); }

    bool writePreferences(const QByteArray &text) const
    {
        QDir().mkpath(configHome() + QStringLiteral("/zuvelo-pgp"));
        QFile f(configHome() + QStringLiteral("/zuvelo-pgp/goma.conf"));
        return f.open(QIODevice::WriteOnly) && f.write(text) == text.size();
    }

    // Runs gpg in batch mode in the given home; input goes to its standard input.
    static GpgRun gpg(const QString &home, const QStringList &args, const QByteArray &input = {})
    {
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("GNUPGHOME"), home);
        env.insert(QStringLiteral("LC_ALL"), QStringLiteral("C"));
        p.setProcessEnvironment(env);
        QStringList all{QStringLiteral("--batch"), QStringLiteral("--no-tty"), QStringLiteral("--pinentry-mode"),
                        QStringLiteral("loopback"), QStringLiteral("--passphrase"), QString::fromLatin1(kAlicePassphrase)};
        all += args;
        p.start(QStringLiteral("gpg"), all);
        GpgRun run;
        if (!p.waitForStarted(10000))
            return run;
        p.write(input);
        p.closeWriteChannel();
        p.waitForFinished(60000);
        run.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
        run.out = p.readAllStandardOutput();
        run.err = p.readAllStandardError();
        return run;
    }

    // Forgets every passphrase the agent of the main home has cached.
    void flushAgentCache() const
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("GNUPGHOME"), mainHome());
        QProcess p;
        p.setProcessEnvironment(env);
        p.start(QStringLiteral("gpg-connect-agent"), {QStringLiteral("reloadagent"), QStringLiteral("/bye")});
        p.waitForFinished(60000);
    }

private:
    static bool importKey(const QString &home, const QString &file)
    {
        return gpg(home, {QStringLiteral("--import"), file}).exitCode == 0;
    }

    QTemporaryDir m_dir;
};

#endif
