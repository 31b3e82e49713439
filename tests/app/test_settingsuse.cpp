// What the program asks of the settings store, walked against the settings table: every value read or
// written by start-up, the word-wrap command, the options dialog, encryption and the close is a row of the
// table, every row is used by one of them, and the close and OK in the options dialog each write the
// settings file once.

#include "options/frmOption.h"
#include "platform/settingsstore.h"
#include "filereplacements.h"
#include "testenv.h"

#include <QPushButton>
#include <QSet>
#include <QTest>

using namespace zv;

namespace {

// Records every value the store is asked for while it lives.
struct StoreWatch {
    QSet<QString> read, written; // "section/name"
    StoreWatch()
    {
        SettingsStore::setAccessObserver([this](const QString &section, const QString &name, bool write) {
            (write ? written : read).insert(section + QLatin1Char('/') + name);
        });
    }
    ~StoreWatch() { SettingsStore::setAccessObserver({}); }
};

void expectOptionsOK(TestEnv &env)
{
    env.dialogs.expectModal([](QDialog &d) {
        auto &o = static_cast<TfrmOption &>(d);
        o.show();
        o.cmdOK->click();
        return o.result();
    });
}

} // namespace

class TestSettingsUse : public QObject {
    Q_OBJECT
private slots:
    void everyValueUsedIsARowAndEveryRowIsUsed()
    {
        TestEnv env;
        StoreWatch watch;
        auto w = env.makeWindow();
        w->EditWordWrapClick();
        expectOptionsOK(env);
        w->ViewOptionClick();
        w->Memo->setText(QStringLiteral("本文"));
        env.dialogs.expectMessage(IDOK); // the recording library fails the encryption
        w->mnuPgpEncryptClick();
        w->Memo->setModified(false);
        QVERIFY(w->close());
        QVERIFY(env.dialogs.allUsed());

        QSet<QString> rows, readOnly;
        for (const setting::Row &r : setting::all()) {
            const QString id = r.sectionName() + QLatin1Char('/') + r.key();
            QVERIFY2(!rows.contains(id), qPrintable(id + QStringLiteral(" is in the table twice")));
            rows.insert(id);
        }
        for (const QString &id : watch.read + watch.written)
            QVERIFY2(rows.contains(id), qPrintable(id + QStringLiteral(" is used but not in the settings table")));
        for (const QString &id : rows)
            QVERIFY2(watch.read.contains(id), qPrintable(id + QStringLiteral(" is in the table but never read")));
        // Only the print-font style is never written.
        QSet<QString> neverWritten = rows - watch.written;
        QCOMPARE(neverWritten, (QSet<QString>{"Other Data/PrintFontBold", "Other Data/PrintFontItalic",
                                              "Other Data/PrintFontUnderline", "Other Data/PrintFontStrikeOut"}));
    }

    void closeAndOptionsWriteTheFileOnceEach()
    {
        TestEnv env;
        auto w = env.makeWindow();
        FileReplacements replaced(env.settingsPath());
        QVERIFY(replaced.ok());
        expectOptionsOK(env);
        w->ViewOptionClick();
        QCOMPARE(replaced.count(), 1);
        // A refused close writes the window values too: once.
        w->Memo->setText(QStringLiteral("未保存"));
        w->Memo->setModified(true);
        env.dialogs.expectMessage(IDCANCEL);
        QVERIFY(!w->close());
        QCOMPARE(replaced.count(), 2);
        env.dialogs.expectMessage(IDNO);
        QVERIFY(w->close());
        QCOMPARE(replaced.count(), 3);
        QVERIFY(env.dialogs.allUsed());
        // All 27 options and the 15 window values are there.
        const auto file = SettingsStore::readFile();
        QVERIFY(file.has_value());
        QCOMPARE(file->keys.value(QStringLiteral("Software\\Velmorin\\Zuvelo\\Other Data")).size(), 27 + 8);
        QCOMPARE(file->keys.value(QStringLiteral("Software\\Velmorin\\Zuvelo\\FormData")).size(), 7);
    }
};

QTEST_MAIN(TestSettingsUse)
#include "test_settingsuse.moc"
