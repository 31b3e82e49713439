// The settings store: the file syntax, the reading rules, the store's errors, damaged files, and several
// copies writing at once.

#include "platform/platformerror.h"
#include "platform/settingsstore.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <unistd.h>

using namespace zv;

class TestSettingsStore : public QObject {
    Q_OBJECT
    QTemporaryDir m_dir;

    void writeFile(const QByteArray &text)
    {
        QDir().mkpath(m_dir.path() + QStringLiteral("/zuvelo-pgp"));
        QFile f(SettingsStore::filePath());
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(text);
    }
    QByteArray readFile()
    {
        QFile f(SettingsStore::filePath());
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    static QByteArray withOtherData(const QByteArray &body)
    {
        return "REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\Velmorin\\Zuvelo]\n\n"
               "[HKEY_CURRENT_USER\\Software\\Velmorin\\Zuvelo\\Other Data]\n" +
               body;
    }

private slots:
    void init()
    {
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_dir.path()));
        QFile::remove(SettingsStore::filePath());
        const auto kept = QDir(m_dir.path() + QStringLiteral("/zuvelo-pgp")).entryList({QStringLiteral("*.damaged-*")});
        for (const QString &f : kept)
            QFile::remove(m_dir.path() + QStringLiteral("/zuvelo-pgp/") + f);
        SettingsStore::takeNotices();
    }

    void openingCreatesTheKeyWithoutSections()
    {
        { SettingsStore store; }
        const auto file = SettingsStore::readFile();
        QVERIFY(file.has_value());
        QVERIFY(file->keys.contains(QStringLiteral("Software\\Velmorin\\Zuvelo")));
        QCOMPARE(file->keys.size(), 3); // Software, Software\Velmorin, Software\Velmorin\Zuvelo
        QVERIFY(readFile().startsWith("REGEDIT4\n"));
    }

    void reading_data()
    {
        QTest::addColumn<QByteArray>("stored");
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("expected");
        QTest::newRow("missing integer") << QByteArray() << "int:14" << "14";
        QTest::newRow("integer") << QByteArray("\"V\"=\"16777215\"\n") << "int:14" << "16777215";
        QTest::newRow("negative") << QByteArray("\"V\"=\"-1\"\n") << "int:14" << "-1";
        QTest::newRow("not a number") << QByteArray("\"V\"=\"abc\"\n") << "int:14" << "14";
        QTest::newRow("empty integer") << QByteArray("\"V\"=\"\"\n") << "int:14" << "14";
        QTest::newRow("bool 2") << QByteArray("\"V\"=\"2\"\n") << "bool:0" << "1";
        QTest::newRow("bool -1") << QByteArray("\"V\"=\"-1\"\n") << "bool:0" << "1";
        QTest::newRow("bool 0") << QByteArray("\"V\"=\"0\"\n") << "bool:1" << "0";
        QTest::newRow("bool empty, default true") << QByteArray("\"V\"=\"\"\n") << "bool:1" << "1";
        QTest::newRow("bool empty, default false") << QByteArray("\"V\"=\"\"\n") << "bool:0" << "0";
        QTest::newRow("missing string") << QByteArray() << "str:yy/mm/dd hh:nn:ss" << "yy/mm/dd hh:nn:ss";
        QTest::newRow("empty string stays empty") << QByteArray("\"V\"=\"\"\n") << "str:yy/mm/dd" << "";
        QTest::newRow("escapes") << QByteArray("\"V\"=\"C:\\\\a \\\"b\\\"\"\n") << "str:" << "C:\\a \"b\"";
        QTest::newRow("japanese") << QByteArray("\"V\"=\"日本語\"\n") << "str:" << "日本語";
    }
    void reading()
    {
        QFETCH(QByteArray, stored);
        QFETCH(QString, kind);
        QFETCH(QString, expected);
        writeFile(withOtherData(stored));
        SettingsStore store;
        const QString type = kind.section(QLatin1Char(':'), 0, 0);
        const QString def = kind.section(QLatin1Char(':'), 1);
        QString got;
        if (type == QLatin1String("int"))
            got = QString::number(store.readInteger(kOtherData, QStringLiteral("V"), def.toInt()));
        else if (type == QLatin1String("bool"))
            got = store.readBool(kOtherData, QStringLiteral("V"), def == QLatin1String("1")) ? QStringLiteral("1")
                                                                                              : QStringLiteral("0");
        else
            got = store.readString(kOtherData, QStringLiteral("V"), def);
        QCOMPARE(got, expected);
    }

    void valueOfAnotherTypeIsTheStoresError_data()
    {
        QTest::addColumn<QByteArray>("stored");
        QTest::newRow("dword") << QByteArray("\"FontSize\"=dword:0000000a\n");
        QTest::newRow("binary") << QByteArray("\"FontSize\"=hex:01,02\n");
        QTest::newRow("expandable") << QByteArray("\"FontSize\"=hex(2):41,00,00,00\n");
    }
    void valueOfAnotherTypeIsTheStoresError()
    {
        QFETCH(QByteArray, stored);
        writeFile(withOtherData(stored));
        SettingsStore store;
        try {
            store.readInteger(kOtherData, QStringLiteral("FontSize"), 14);
            QFAIL("no error");
        } catch (const PlatformError &e) {
            QCOMPARE(e.text(), QStringLiteral("'FontSize' のﾃﾞｰﾀ型が不正です"));
        }
    }

    void writesKeepOtherValuesAndRoundTrip()
    {
        writeFile(withOtherData("\"Keep\"=dword:00000001\n\"Text\"=\"a\"\n"));
        {
            SettingsStore store;
            store.writeString(kOtherData, QStringLiteral("Text"), QStringLiteral("行1\n行2 \"q\" \\"));
            store.writeInteger(kFormData, QStringLiteral("Left"), -5);
            store.writeBool(kOtherData, QStringLiteral("Flag"), true);
        }
        SettingsStore store;
        QCOMPARE(store.readString(kOtherData, QStringLiteral("Text"), QString()),
                 QStringLiteral("行1\n行2 \"q\" \\"));
        QCOMPARE(store.readInteger(kFormData, QStringLiteral("Left"), 0), -5);
        QCOMPARE(readFile().count("\"Flag\"=\"1\""), 1);
        QVERIFY(readFile().contains("\"Keep\"=dword:00000001")); // values of other types are kept as they are
    }

    void damagedFileIsKeptAndDefaultsUsed()
    {
        const QByteArray damaged = "this is not a settings file\n\"x\"=";
        writeFile(damaged);
        SettingsStore store;
        QCOMPARE(store.readInteger(kOtherData, QStringLiteral("TabWidth"), 6), 6);
        const QStringList notices = SettingsStore::takeNotices();
        QCOMPARE(notices.size(), 1);
        QVERIFY(notices.first().contains(SettingsStore::filePath()));
        const auto kept = QDir(m_dir.path() + QStringLiteral("/zuvelo-pgp")).entryList({QStringLiteral("*.damaged-*")});
        QCOMPARE(kept.size(), 1);
        QFile keptFile(m_dir.path() + QStringLiteral("/zuvelo-pgp/") + kept.first());
        QVERIFY(keptFile.open(QIODevice::ReadOnly));
        QCOMPARE(keptFile.readAll(), damaged);
        QVERIFY(SettingsStore::readFile().has_value()); // a fresh, parsable file stands in its place
    }

    void unwritableFolderIsReportedNotFatal()
    {
        if (::geteuid() == 0)
            QSKIP("root writes everywhere; the unwritable folder case runs in the fault-injection tests");
        const QString folder = m_dir.path() + QStringLiteral("/zuvelo-pgp");
        QDir().mkpath(folder);
        QFile::setPermissions(folder, QFile::ReadOwner | QFile::ExeOwner);
        {
            SettingsStore store;
            QCOMPARE(store.readInteger(kOtherData, QStringLiteral("TabWidth"), 6), 6);
            QVERIFY(!SettingsStore::takeNotices().isEmpty());
            try {
                store.writeInteger(kOtherData, QStringLiteral("TabWidth"), 4);
                QFAIL("no error");
            } catch (const PlatformError &e) {
                QCOMPARE(e.text(), QStringLiteral("ｷｰ Other Data の作成に失敗しました"));
            }
        }
        QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }

    void parserRejectsBrokenSyntax_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::newRow("no header") << QByteArray("[HKEY_CURRENT_USER\\Software]\n");
        QTest::newRow("open key") << QByteArray("REGEDIT4\n[HKEY_CURRENT_USER\\Software\n");
        QTest::newRow("value outside a key") << QByteArray("REGEDIT4\n\"a\"=\"b\"\n");
        QTest::newRow("open string") << QByteArray("REGEDIT4\n[K]\n\"a\"=\"b\n");
        QTest::newRow("bad escape") << QByteArray("REGEDIT4\n[K]\n\"a\"=\"\\n\"\n");
        QTest::newRow("unknown type") << QByteArray("REGEDIT4\n[K]\n\"a\"=foo\n");
    }
    void parserRejectsBrokenSyntax()
    {
        QFETCH(QByteArray, text);
        QVERIFY(!RegFile::parse(text).has_value());
    }

    void severalCopiesWritingAtOnceLoseNothing()
    {
        const QString writer = QStringLiteral(ZV_BINARY_DIR "/tests/platform/store_writer");
        QVERIFY(QFile::exists(writer));
        constexpr int kCopies = 4, kWrites = 40;
        std::vector<std::unique_ptr<QProcess>> procs;
        for (int i = 0; i < kCopies; ++i) {
            auto p = std::make_unique<QProcess>();
            p->start(writer, {QStringLiteral("Copy%1").arg(i), QString::number(kWrites)});
            procs.push_back(std::move(p));
        }
        for (auto &p : procs) {
            QVERIFY(p->waitForFinished(120000));
            QCOMPARE(p->exitCode(), 0);
        }
        const auto file = SettingsStore::readFile();
        QVERIFY(file.has_value());
        SettingsStore store;
        for (int i = 0; i < kCopies; ++i) {
            QCOMPARE(store.readInteger(kOtherData, QStringLiteral("Copy%1").arg(i), -1), kWrites - 1);
            QCOMPARE(store.readString(kFormData, QStringLiteral("Copy%1Text").arg(i), QString()),
                     QStringLiteral("値%1").arg(kWrites - 1));
        }
        QVERIFY(QDir(m_dir.path() + QStringLiteral("/zuvelo-pgp")).entryList({QStringLiteral("*.tmp*")}).isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestSettingsStore)
#include "test_settingsstore.moc"
