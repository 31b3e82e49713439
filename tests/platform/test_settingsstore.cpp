// The settings store: the file syntax, the reading rules, the store's errors, damaged files, and several
// copies writing at once.

#include "platform/platformerror.h"
#include "platform/settingsstore.h"
#include "../support/filereplacements.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSet>
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

    // ---- the settings table, walked row by row ----------------------------------------------------------

    // Every row written in one batch comes back through a fresh view, stored in the file's text encoding.
    void everyRowRoundTrips()
    {
        using setting::Row;
        SettingsBatch batch;
        QMap<QString, QString> expected; // "section/name" -> stored text
        for (const Row &r : setting::all()) {
            QString text;
            switch (r.type) {
            case Row::Type::Integer: {
                const int v = r.intDefault != r.max ? r.max : r.min; // in range, not the default
                batch.setInteger(r.sectionName(), r.key(), v);
                text = QString::number(v);
                break;
            }
            case Row::Type::Boolean:
                batch.setBool(r.sectionName(), r.key(), !r.intDefault);
                text = r.intDefault ? QStringLiteral("0") : QStringLiteral("1");
                break;
            case Row::Type::String:
                text = QStringLiteral("値 \"%1\" \\").arg(QString::fromLatin1(r.name));
                batch.setString(r.sectionName(), r.key(), text);
                break;
            }
            expected.insert(r.sectionName() + QLatin1Char('/') + r.key(), text);
        }
        SettingsStore().write(batch);

        const auto file = SettingsStore::readFile();
        QVERIFY(file.has_value());
        SettingsStore store;
        for (const Row &r : setting::all()) {
            const QString id = r.sectionName() + QLatin1Char('/') + r.key();
            const auto values = file->keys.value(QStringLiteral("Software\\Velmorin\\Zuvelo\\") + r.sectionName());
            QVERIFY2(values.value(r.key()).isString, qPrintable(id));
            QCOMPARE(values.value(r.key()).data, expected.value(id));
            switch (r.type) {
            case Row::Type::Integer: QCOMPARE(QString::number(store.readInteger(r.sectionName(), r.key(), -7)), expected.value(id)); break;
            case Row::Type::Boolean: QCOMPARE(store.readBool(r.sectionName(), r.key(), bool(r.intDefault)), !r.intDefault); break;
            case Row::Type::String: QCOMPARE(store.readString(r.sectionName(), r.key(), QString()), expected.value(id)); break;
            }
        }
    }

    // Through the typed reads: an empty file gives each row's default, and a hand-edited integer reads as
    // the nearest value in its row's range (a number too long for 32 bits included).
    void rowsReadTheirDefaultsAndRanges()
    {
        using setting::Row;
        struct Case {
            const char *stored;
            int (*expected)(const Row &);
        };
        const Case cases[] = {
            {"-2147483648", [](const Row &r) { return r.min; }},
            {"2147483647", [](const Row &r) { return r.max; }},
            {"-99999999999999999999999", [](const Row &r) { return r.min; }},
            {"99999999999999999999999", [](const Row &r) { return r.max; }},
            {"not a number", [](const Row &r) { return r.intDefault; }},
            {"", [](const Row &r) { return r.intDefault; }},
        };
        for (const Case &c : cases) {
            QByteArray other, form;
            for (const Row &r : setting::all())
                if (r.type == Row::Type::Integer)
                    (r.section == setting::Section::OtherData ? other : form) +=
                        "\"" + QByteArray(r.name) + "\"=\"" + c.stored + "\"\n";
            writeFile("REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\Velmorin\\Zuvelo\\Other Data]\n" + other +
                      "\n[HKEY_CURRENT_USER\\Software\\Velmorin\\Zuvelo\\FormData]\n" + form);
            SettingsStore store;
            for (const Row &r : setting::all()) {
                if (r.type != Row::Type::Integer)
                    continue;
                const int got = store.read(setting::Int{r.section, r.name, r.intDefault, r.min, r.max});
                QVERIFY2(got == c.expected(r), qPrintable(QStringLiteral("%1 stored as \"%2\" reads as %3")
                                                              .arg(QLatin1String(r.name), QLatin1String(c.stored))
                                                              .arg(got)));
            }
        }
        // An empty store: every row reads as the default the program has always had.
        const QMap<QString, QString> defaults{
            {"TabWidth", "6"}, {"ShellProg", ""}, {"Recent1", ""}, {"Recent2", ""}, {"Recent3", ""}, {"Recent4", ""},
            {"FontName", "FixedSys"}, {"FontSize", "14"}, {"FontColor", "0"}, {"FontBold", "0"},
            {"FontItalic", "0"}, {"FontUnderline", "0"}, {"FontStrikeOut", "0"}, {"IME_Mode", "1"},
            {"BackColor", "16777215"}, {"EscExit", "1"}, {"FlatToolbar", "1"}, {"AutoIndent", "1"},
            {"TabToSpace", "0"}, {"WordWrap", "0"}, {"ToolBar", "1"}, {"StatusBar", "1"},
            {"DateTime", "yy/mm/dd hh:nn:ss"}, {"FindText", ""}, {"ImeText0", "16711680"}, {"ImeText1", "0"},
            {"ImeText2", "16711680"}, {"ImeText3", "0"}, {"ImeBackground0", "16777215"},
            {"ImeBackground1", "16776960"}, {"ImeBackground2", "16777215"}, {"ImeBackground3", "65535"},
            {"SelBar", "1"}, {"Vertical", "0"}, {"PGPCharSet", "1"}, {"PrintFontBold", "0"},
            {"PrintFontItalic", "0"}, {"PrintFontUnderline", "0"}, {"PrintFontStrikeOut", "0"},
            {"Left", "0"}, {"Top", "0"}, {"Height", "480"}, {"Width", "640"}, {"FindLeft", "0"}, {"FindTop", "0"},
            {"WindowState", "0"},
        };
        QFile::remove(SettingsStore::filePath());
        SettingsStore store;
        QSet<QString> seen;
        for (const Row &r : setting::all()) {
            QString got;
            switch (r.type) {
            case Row::Type::Integer:
                got = QString::number(store.read(setting::Int{r.section, r.name, r.intDefault, r.min, r.max}));
                break;
            case Row::Type::Boolean:
                got = store.read(setting::Bool{r.section, r.name, bool(r.intDefault)}) ? QStringLiteral("1")
                                                                                       : QStringLiteral("0");
                break;
            case Row::Type::String: got = store.read(setting::Text{r.section, r.name, r.textDefault}); break;
            }
            QVERIFY2(defaults.contains(r.key()), r.name);
            QCOMPARE(got, defaults.value(r.key()));
            seen.insert(r.key());
        }
        QCOMPARE(seen, QSet<QString>(defaults.keyBegin(), defaults.keyEnd()));
        // The same through the rows the program names.
        QCOMPARE(store.read(setting::ImeBackground[3]), 0x00FFFF);
        QCOMPARE(store.read(setting::DateTime), QStringLiteral("yy/mm/dd hh:nn:ss"));
    }

    // A batch is one replacement of the file, single writes one each; a value set twice keeps the last.
    void batchReplacesTheFileOnce()
    {
        writeFile(withOtherData("\"Keep\"=\"k\"\n"));
        SettingsStore store;
        FileReplacements replaced(SettingsStore::filePath());
        QVERIFY(replaced.ok());
        SettingsBatch batch;
        batch.setInteger(kFormData, QStringLiteral("Left"), 5);
        batch.setString(kOtherData, QStringLiteral("FindText"), QStringLiteral("一"));
        batch.setBool(kOtherData, QStringLiteral("WordWrap"), true);
        batch.setString(kOtherData, QStringLiteral("FindText"), QStringLiteral("二"));
        store.write(batch);
        QCOMPARE(replaced.count(), 1);
        store.writeInteger(kFormData, QStringLiteral("Left"), 6);
        store.writeBool(kOtherData, QStringLiteral("WordWrap"), false);
        QCOMPARE(replaced.count(), 3);

        const auto file = SettingsStore::readFile();
        QVERIFY(file.has_value());
        const QString other = QStringLiteral("Software\\Velmorin\\Zuvelo\\Other Data");
        QCOMPARE(file->valueOrder.value(other), (QStringList{"Keep", "FindText", "WordWrap"}));
        SettingsStore after;
        QCOMPARE(after.readString(kOtherData, QStringLiteral("FindText"), QString()), QStringLiteral("二"));
        QCOMPARE(after.readString(kOtherData, QStringLiteral("Keep"), QString()), QStringLiteral("k"));
        QCOMPARE(after.readInteger(kFormData, QStringLiteral("Left"), 0), 6);
    }

    // A batch that cannot be written writes none of its values; the error names its first value, or the
    // first value's section when the view did not have it.
    void failedBatchWritesNothing()
    {
        writeFile(withOtherData("\"FindText\"=\"古い\"\n"));
        const QByteArray before = readFile();
        // A folder where the lock file belongs: no copy can take the lock, root included.
        const QString lock = SettingsStore::filePath() + QStringLiteral(".lock");
        QFile::remove(lock);
        QVERIFY(QDir().mkdir(lock));
        // Through a view, and without one (SettingsStore::commit).
        auto attempt = [](const QString &firstSection, bool view) -> QString {
            SettingsBatch batch;
            batch.setString(firstSection, QStringLiteral("First"), QStringLiteral("x"));
            batch.setString(kOtherData, QStringLiteral("FindText"), QStringLiteral("新しい"));
            try {
                if (view)
                    SettingsStore().write(batch);
                else
                    SettingsStore::commit(batch);
            } catch (const PlatformError &e) {
                return e.text();
            }
            return QStringLiteral("no error");
        };
        QStringList errors;
        for (const bool view : {true, false})
            errors << attempt(kOtherData, view) << attempt(kFormData, view);
        QVERIFY(QDir().rmdir(lock));
        QCOMPARE(errors, (QStringList{"'First' の設定に失敗しました", "ｷｰ FormData の作成に失敗しました",
                                      "'First' の設定に失敗しました", "ｷｰ FormData の作成に失敗しました"}));
        QCOMPARE(readFile(), before);
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
