// goma's key-manager launch, preferences file and windows, About window and version.
#include "goma.h"
#include "gomainternal.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <functional>

namespace {

void onModal(const QString &objectName, std::function<void(QWidget *)> f, int tries = 250)
{
    QTimer::singleShot(tries == 250 ? 0 : 20, [=] {
        QWidget *w = QApplication::activeModalWidget();
        if (w && w->objectName() == objectName)
            f(w);
        else if (tries > 0)
            onModal(objectName, f, tries - 1);
        else if (w)
            w->close(); // never leave a test hanging in a window it did not expect
    });
}

QPushButton *button(QWidget *dialog, QDialogButtonBox::StandardButton which)
{
    auto *box = dialog->findChild<QDialogButtonBox *>();
    return box ? box->button(which) : nullptr;
}

QByteArray readFile(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

} // namespace

class TestGomaTools : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void launchesFirstKeyManagerFound_data();
    void launchesFirstKeyManagerFound();
    void preferencesFile_data();
    void preferencesFile();
    void preferencesSaveIsAtomicAndReadable();
    void preferencesWindow_data();
    void preferencesWindow();
    void aboutWindowAndVersion();
    void noWindowsMeansNoWindows();

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    QByteArray m_savedPath;
};

void TestGomaTools::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    qputenv("XDG_CONFIG_HOME", (m_dir->path() + QStringLiteral("/config")).toLocal8Bit());
    goma::setWindowsAllowed(true);
    m_savedPath = qgetenv("PATH");
}

void TestGomaTools::cleanup()
{
    qputenv("PATH", m_savedPath);
    goma::setWindowsAllowed(true);
}

void TestGomaTools::launchesFirstKeyManagerFound_data()
{
    QTest::addColumn<QStringList>("installed");
    QTest::addColumn<QString>("expected"); // empty: nothing can start
    QTest::newRow("all three: the first") << QStringList{"kleopatra", "seahorse", "gpa"} << QStringLiteral("kleopatra");
    QTest::newRow("seahorse and gpa") << QStringList{"gpa", "seahorse"} << QStringLiteral("seahorse");
    QTest::newRow("only gpa") << QStringList{"gpa"} << QStringLiteral("gpa");
    QTest::newRow("none") << QStringList{} << QString();
}

void TestGomaTools::launchesFirstKeyManagerFound()
{
    QFETCH(QStringList, installed);
    QFETCH(QString, expected);
    const QString bin = m_dir->path() + QStringLiteral("/bin");
    const QString marks = m_dir->path() + QStringLiteral("/marks");
    QVERIFY(QDir().mkpath(bin) && QDir().mkpath(marks));
    for (const QString &name : installed) {
        QFile script(bin + QLatin1Char('/') + name);
        QVERIFY(script.open(QIODevice::WriteOnly));
        // Arguments are recorded too: the program gets none, and no shell word-splitting is involved.
        // So is the keyring it works on: the one the library's preferences name.
        script.write(QStringLiteral("#!/bin/sh\necho \"$# $GNUPGHOME\" > '%1/%2'\n").arg(marks, name).toUtf8());
        script.close();
        QVERIFY(script.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner));
    }
    qputenv("PATH", bin.toLocal8Bit());
    const QString home = m_dir->path() + QStringLiteral("/gnupg home");
    goma::Preferences prefs;
    prefs.gnupgHome = home;
    QVERIFY(goma::savePreferences(prefs));

    for (auto launch : {&GOMALaunchKeys, &GOMALaunchTools}) {
        QDir(marks).removeRecursively();
        QDir().mkpath(marks);
        const int rc = launch(nullptr);
        if (expected.isEmpty()) {
            QCOMPARE(rc, 0);
            // The user is told what was looked for and what to install.
            QCOMPARE(QString::fromUtf8(GOMALastError()),
                     QStringLiteral("鍵の管理プログラムが見つかりません（探したプログラム: kleopatra、seahorse、gpa）。\n"
                                    "Debian では kleopatra、seahorse、gpa のいずれかのパッケージをインストールしてください。"));
            QTest::qWait(200);
            QVERIFY(QDir(marks).isEmpty());
            continue;
        }
        QVERIFY(rc != 0);
        QCOMPARE(QByteArray(GOMALastError()), QByteArray());
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(marks + QLatin1Char('/') + expected), 30000);
        QCOMPARE(readFile(marks + QLatin1Char('/') + expected), "0 " + QFile::encodeName(home) + "\n");
        QTest::qWait(100);
        QCOMPARE(QDir(marks).entryList(QDir::Files), QStringList{expected}); // only one program starts
    }
}

void TestGomaTools::preferencesFile_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QString>("defaultKey");
    QTest::addColumn<bool>("encryptToSelf");
    QTest::addColumn<QString>("home");
    // Encrypting to oneself is on unless the file says otherwise: nobody is locked out of their own text.
    QTest::newRow("missing file") << QByteArray() << QString() << true << QString();
    QTest::newRow("no encrypt-to-self line") << QByteArray("default-key=ABCDEF\n") << QStringLiteral("ABCDEF") << true
                                             << QString();
    QTest::newRow("all set") << QByteArray("default-key=ABCDEF\nencrypt-to-self=1\ngnupg-home=/tmp/x\n")
                             << QStringLiteral("ABCDEF") << true << QStringLiteral("/tmp/x");
    QTest::newRow("comments, blanks, spaces, unknown keys")
        << QByteArray("# comment\n\n  default-key = 0123 \nfoo=bar\nnonsense\nencrypt-to-self=true\r\n")
        << QStringLiteral("0123") << true << QString();
    QTest::newRow("encrypt-to-self off") << QByteArray("encrypt-to-self=0\n") << QString() << false << QString();
}

void TestGomaTools::preferencesFile()
{
    QFETCH(QByteArray, file);
    QFETCH(QString, defaultKey);
    QFETCH(bool, encryptToSelf);
    QFETCH(QString, home);
    QCOMPARE(goma::preferencesPath(), m_dir->path() + QStringLiteral("/config/zuvelo-pgp/goma.conf"));
    if (!file.isNull()) {
        QDir().mkpath(m_dir->path() + QStringLiteral("/config/zuvelo-pgp"));
        QFile f(goma::preferencesPath());
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(file);
    }
    const goma::Preferences p = goma::loadPreferences();
    QCOMPARE(p.defaultKey, defaultKey);
    QCOMPARE(p.encryptToSelf, encryptToSelf);
    QCOMPARE(p.gnupgHome, home);
}

void TestGomaTools::preferencesSaveIsAtomicAndReadable()
{
    goma::Preferences p;
    p.defaultKey = QStringLiteral("534444F4E3E5680D7134AF2905EDB72D6BD93FC7");
    p.encryptToSelf = true;
    p.gnupgHome = QStringLiteral("/tmp/ホーム\nwith a line break");
    QVERIFY(goma::savePreferences(p)); // creates the folder
    const goma::Preferences back = goma::loadPreferences();
    QCOMPARE(back.defaultKey, p.defaultKey);
    QCOMPARE(back.encryptToSelf, true);
    QCOMPARE(back.gnupgHome, QStringLiteral("/tmp/ホームwith a line break")); // one line per value
    QCOMPARE(QDir(QFileInfo(goma::preferencesPath()).absolutePath()).entryList(QDir::Files),
             QStringList{QStringLiteral("goma.conf")}); // no temporary file left behind
    // A folder that cannot be created: the save reports failure.
    QFile blocker(m_dir->path() + QStringLiteral("/blocked"));
    QVERIFY(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    qputenv("XDG_CONFIG_HOME", blocker.fileName().toLocal8Bit());
    QVERIFY(!goma::savePreferences(p));
}

void TestGomaTools::preferencesWindow_data()
{
    QTest::addColumn<bool>("accept");
    QTest::newRow("OK saves") << true;
    QTest::newRow("cancel keeps the file") << false;
}

void TestGomaTools::preferencesWindow()
{
    QFETCH(bool, accept);
    goma::Preferences before;
    before.defaultKey = QStringLiteral("0000000000000000000000000000000000000000");
    QVERIFY(goma::savePreferences(before));
    const QByteArray fileBefore = readFile(goma::preferencesPath());
    QWidget owner;
    bool shown = false;
    onModal(QStringLiteral("gomaPreferencesDialog"), [&](QWidget *dialog) {
        shown = true;
        QCOMPARE(dialog->parentWidget(), &owner);
        QCOMPARE(dialog->windowTitle(), QStringLiteral("PGPの設定 - Goma"));
        auto *key = dialog->findChild<QComboBox *>(QStringLiteral("gomaDefaultKey"));
        QVERIFY(key);
        // A default key that is no longer usable stays chosen rather than vanishing.
        QCOMPARE(key->currentData().toString(), before.defaultKey);
        dialog->findChild<QCheckBox *>(QStringLiteral("gomaEncryptToSelf"))->setChecked(true);
        dialog->findChild<QLineEdit *>(QStringLiteral("gomaGnupgHome"))->setText(QStringLiteral("/tmp/elsewhere"));
        button(dialog, accept ? QDialogButtonBox::Ok : QDialogButtonBox::Cancel)->click();
    });
    const int rc = GOMAPreferences(&owner);
    QVERIFY(shown);
    QCOMPARE(rc, accept ? 1 : 0);
    const goma::Preferences after = goma::loadPreferences();
    if (accept) {
        QCOMPARE(after.encryptToSelf, true);
        QCOMPARE(after.gnupgHome, QStringLiteral("/tmp/elsewhere"));
        QCOMPARE(after.defaultKey, before.defaultKey);
    } else {
        QCOMPARE(readFile(goma::preferencesPath()), fileBefore);
    }
}

void TestGomaTools::aboutWindowAndVersion()
{
    QCOMPARE(GOMAGetVersion(), 200);
    QWidget owner;
    QStringList texts;
    QString title;
    onModal(QStringLiteral("gomaAboutDialog"), [&](QWidget *dialog) {
        title = dialog->windowTitle();
        QCOMPARE(dialog->parentWidget(), &owner);
        for (QLabel *l : dialog->findChildren<QLabel *>())
            texts << l->text();
        button(dialog, QDialogButtonBox::Ok)->click();
    });
    QCOMPARE(GOMAAbout(&owner), 1);
    // Not the caption of the program's own version box ("Gomaについて").
    QCOMPARE(title, QStringLiteral("Goma ライブラリの情報"));
    QVERIFY(texts.contains(QStringLiteral("Goma バージョン 2.00")));
    // The GnuPG version shown is the one gpg itself reports.
    QProcess gpg;
    gpg.start(QStringLiteral("gpg"), {QStringLiteral("--version")});
    QVERIFY(gpg.waitForFinished(60000));
    const QString firstLine = QString::fromUtf8(gpg.readAllStandardOutput()).section(QLatin1Char('\n'), 0, 0);
    const QString version = firstLine.section(QLatin1Char(' '), -1);
    QVERIFY2(texts.contains(version), qPrintable(texts.join(QLatin1Char('|'))));
}

void TestGomaTools::noWindowsMeansNoWindows()
{
    goma::setWindowsAllowed(false);
    QVERIFY(!goma::windowsAllowed());
    bool shown = false;
    onModal(QStringLiteral("gomaPreferencesDialog"), [&](QWidget *w) { shown = true; w->close(); });
    QCOMPARE(GOMAPreferences(nullptr), 0);
    QCOMPARE(GOMAAbout(nullptr), 0);
    QVERIFY(!shown);
    goma::setWindowsAllowed(true);
    QVERIFY(goma::windowsAllowed());
}

QTEST_MAIN(TestGomaTools)
#include "tst_goma_tools.moc"
