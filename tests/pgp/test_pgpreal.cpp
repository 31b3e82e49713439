// The PGP commands of the main window through our real library and a throwaway GnuPG home: signing,
// verifying, and a failed verification leaving the text untouched.

#include "../goma/gnupgtestenv.h"
#include "pgp/pgplibrary.h"
#include "testenv.h"
#include "trigger.h"

#include <QAction>
#include <QTest>

using namespace zv;

class TestPgpReal : public QObject {
    Q_OBJECT
    GnupgTestEnv m_gpg;

private slots:
    void initTestCase()
    {
        QVERIFY(m_gpg.setUp());
        qputenv("GNUPGHOME", QFile::encodeName(m_gpg.mainHome()));
        qputenv("GOMA_NO_WINDOWS", "1");
        qputenv("GOMA_TEST_PASSPHRASE", GnupgTestEnv::kAlicePassphrase);
    }

    void signThenVerifyRoundTripsJapaneseText()
    {
        TestEnv env;
        // The library's own preferences choose alice as the signing key (two secret keys are in the home).
        QDir().mkpath(qEnvironmentVariable("XDG_CONFIG_HOME") + QStringLiteral("/zuvelo-pgp"));
        QFile prefs(qEnvironmentVariable("XDG_CONFIG_HOME") + QStringLiteral("/zuvelo-pgp/goma.conf"));
        QVERIFY(prefs.open(QIODevice::WriteOnly));
        prefs.write(QByteArray("default-key=") + GnupgTestEnv::kAlice + "\nencrypt-to-self=0\n");
        prefs.close();

        auto w = env.makeWindow();
        TfrmMain::setPgp(nullptr); // the real library
        const QString original = QStringLiteral("署名する日本語の本文です。\n①ｶﾀｶﾅと～を含みます。");
        w->Memo->setText(original);

        QVERIFY(trigger(w.get(), "mnuPgpSign"));
        QVERIFY(env.dialogs.messages.isEmpty());
        QVERIFY(w->Memo->lineText(0) == QLatin1String("-----BEGIN PGP SIGNED MESSAGE-----"));
        QVERIFY(w->Memo->plainText().contains(original));
        w->AppIdle();
        QVERIFY(w->tbDecrypt->isEnabled());

        QVERIFY(trigger(w.get(), "mnuPgpDecrypt"));
        QVERIFY(env.dialogs.messages.isEmpty());
        // A clear signature does not cover the last line break; GnuPG gives the text back ending in one.
        QCOMPARE(w->Memo->plainText(), original + QLatin1Char('\n'));

        // A changed line: the library refuses, the command says so, and the text stays as it was.
        QVERIFY(trigger(w.get(), "mnuPgpSign"));
        QString signedText = w->Memo->plainText();
        signedText.replace(QStringLiteral("①"), QStringLiteral("②"));
        w->Memo->setText(signedText);
        env.dialogs.expectMessage(IDOK);
        QVERIFY(trigger(w.get(), "mnuPgpDecrypt"));
        QCOMPARE(env.dialogs.messages.size(), 1);
        QCOMPARE(env.dialogs.messages[0].text, QStringLiteral("復号化と検証に失敗しました。"));
        QCOMPARE(w->Memo->plainText(), signedText);
        TfrmMain::setPgp(&env.pgp);
    }
};

QTEST_MAIN(TestPgpReal)
#include "test_pgpreal.moc"
