// The one guarded dispatcher of the program: whatever a handler throws ends in one error box in Japanese,
// and the runtime's own (English) exception texts never reach the user.

#include "platform/application.h"
#include "platform/platformerror.h"
#include "scripteddialogs.h"

#include <QRegularExpression>
#include <QTest>

#include <functional>
#include <new>
#include <stdexcept>
#include <vector>

using namespace zv;

class TestGuarded : public QObject {
    Q_OBJECT

private slots:
    void everyFailureIsReportedInJapanese_data()
    {
        QTest::addColumn<int>("which");
        QTest::addColumn<QString>("expected"); // the whole report
        QTest::newRow("our own error") << 0 << QStringLiteral("ファイル a.txt を作成できません.");
        QTest::newRow("out of memory") << 1 << QStringLiteral("メモリが足りないため、操作を完了できませんでした.");
        QTest::newRow("a library's std::exception")
            << 2 << QStringLiteral("予期しないエラーのため、操作を完了できませんでした.");
        QTest::newRow("vector out of range") << 3 << QStringLiteral("予期しないエラーのため、操作を完了できませんでした.");
        QTest::newRow("not an exception class") << 4 << QStringLiteral("予期しないエラーのため、操作を完了できませんでした.");
    }

    void everyFailureIsReportedInJapanese()
    {
        QFETCH(int, which);
        QFETCH(QString, expected);
        ScriptedDialogs dialogs;
        Application app;
        app.setTitle(QStringLiteral("無題 - Zuvelo PGP"));
        const std::vector<std::function<void()>> throwers{
            [] { throw PlatformError(QStringLiteral("ファイル a.txt を作成できません")); },
            [] { throw std::bad_alloc(); },
            [] { throw std::runtime_error("std::runtime_error: something broke"); },
            [] { std::vector<int>().at(3); },
            [] { throw 42; },
        };
        dialogs.expectMessage(IDOK);
        QVERIFY(!runGuarded(throwers[size_t(which)]));
        QCOMPARE(dialogs.messages.size(), 1);
        QCOMPARE(dialogs.messages[0].text, expected);
        QCOMPARE(dialogs.messages[0].caption, QStringLiteral("無題 - Zuvelo PGP"));
        // No word of the runtime's own English text (our own error names a file, which may be Latin).
        if (which != 0)
            QVERIFY(!dialogs.messages[0].text.contains(QRegularExpression(QStringLiteral("[A-Za-z]{3,}"))));
    }

    void nothingThrownShowsNothing()
    {
        ScriptedDialogs dialogs;
        Application app;
        bool ran = false;
        QVERIFY(runGuarded([&] { ran = true; }));
        QVERIFY(ran);
        QVERIFY(dialogs.messages.isEmpty());
    }
};

QTEST_MAIN(TestGuarded)
#include "test_guarded.moc"
