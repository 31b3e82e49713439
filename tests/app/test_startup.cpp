// Start-up and close of the main window against the settings store.

#include "app/commandline.h"
#include "platform/filenames.h"
#include "platform/finddialog.h"
#include "platform/windowplace.h"
#include "platform/settingsstore.h"
#include "testenv.h"

#include <QAction>
#include <QDir>
#include <QGuiApplication>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QScreen>
#include <QStatusBar>
#include <QTest>
#include <QToolBar>
#include <cstdio>
#include <sys/wait.h>
#include <unistd.h>

#include <functional>
#include <map>

using namespace zv;

namespace {
constexpr int kScreenWidth = -1001, kScreenHeight = -1002, kLeastWidth = -1003;

// The values of one section of the stored file, as name -> raw text.
QMap<QString, QString> section(const QString &name)
{
    QMap<QString, QString> out;
    const auto file = SettingsStore::readFile();
    if (!file)
        return out;
    const auto values = file->keys.value(QStringLiteral("Software\\Velmorin\\Zuvelo\\") + name);
    for (auto it = values.cbegin(); it != values.cend(); ++it)
        out.insert(it.key(), it->data);
    return out;
}
} // namespace

class TestStartup : public QObject {
    Q_OBJECT
private slots:
    void firstStartShowsTheDefaults()
    {
        TestEnv env;
        auto w = env.makeWindow();
        QVERIFY(env.dialogs.messages.isEmpty());
        const auto file = SettingsStore::readFile();
        QVERIFY(file.has_value());
        QVERIFY(file->keys.contains(QStringLiteral("Software\\Velmorin\\Zuvelo")));
        QVERIFY(!file->keys.contains(QStringLiteral("Software\\Velmorin\\Zuvelo\\Other Data")));
        QVERIFY(!file->keys.contains(QStringLiteral("Software\\Velmorin\\Zuvelo\\FormData")));

        QCOMPARE(w->windowTitle(), QStringLiteral("無題 - Zuvelo PGP"));
        QCOMPARE(env.app.title(), QStringLiteral("無題 - Zuvelo PGP"));
        QCOMPARE(w->Panels[1]->text(), QStringLiteral("1行、1列"));
        QCOMPARE(w->Panels[2]->text(), QString());
        QVERIFY(w->isVisible());
        QVERIFY(!w->isMaximized() && !w->isMinimized());
        QCOMPARE(w->size(), QSize(640, 480));
        QVERIFY(!w->Memo->wordWrap());          // the stored default wins over the design's check mark
        QVERIFY(!w->EditWordWrap->isChecked());
        QVERIFY(!w->tbWordWrap->isChecked());
        QVERIFY(w->EditWordWrap->isEnabled());
        QVERIFY(w->ToolBar->isVisible() && w->StatusBar->isVisible());
        QVERIFY(w->FlatToolbar());
        QVERIFY(!w->tbShell->isVisible() && !w->tbSep5->isVisible());
        QVERIFY(w->Memo->inputMethodOpen());
        QVERIFY(w->Memo->selectionBarVisible());
        QVERIFY(!w->Memo->vertical());
        QCOMPARE(w->Memo->editorFont().name, QStringLiteral("FixedSys"));
        QCOMPARE(w->Memo->editorFont().pointSize, 14);
        QCOMPARE(w->Memo->backgroundColor(), 0xFFFFFFu);
        QCOMPARE(w->FTabWidth, 6);
        QCOMPARE(w->FDateTimeFormat, QStringLiteral("yy/mm/dd hh:nn:ss"));
        QVERIFY(w->FEscExit && w->FAutoIndent && !w->FTabToSpace);
        QCOMPARE(w->cdlFind->storedPosition(), QPoint(0, 0));
        const CompColorTable ime = w->Memo->imeColors();
        QCOMPARE(ime[1].text, 0u);
        QCOMPARE(ime[1].background, 0xFFFF00u);
        QCOMPARE(ime[3].background, 0x00FFFFu);
    }

    void closeWritesExactlyTheWindowValues()
    {
        TestEnv env;
        auto w = env.makeWindow();
        QVERIFY(w->close());
        const auto form = section(QStringLiteral("FormData"));
        QCOMPARE(QStringList(form.keys()), (QStringList{"FindLeft", "FindTop", "Height", "Left", "Top", "Width",
                                                         "WindowState"}));
        QCOMPARE(form.value(QStringLiteral("WindowState")), QStringLiteral("0"));
        QCOMPARE(form.value(QStringLiteral("Width")), QStringLiteral("640"));
        QCOMPARE(form.value(QStringLiteral("Height")), QStringLiteral("480"));
        const auto other = section(QStringLiteral("Other Data"));
        QCOMPARE(QStringList(other.keys()), (QStringList{"FindText", "Recent1", "Recent2", "Recent3", "Recent4",
                                                          "StatusBar", "ToolBar", "WordWrap"}));
        QCOMPARE(other.value(QStringLiteral("WordWrap")), QStringLiteral("0"));
        QCOMPARE(other.value(QStringLiteral("ToolBar")), QStringLiteral("1"));
        QCOMPARE(other.value(QStringLiteral("StatusBar")), QStringLiteral("1"));
        QCOMPARE(other.value(QStringLiteral("FindText")), QString());
        QCOMPARE(other.value(QStringLiteral("Recent1")), QString());
    }

    void storedSettingsAreApplied()
    {
        TestEnv env;
        env.writeSettings(settingsText("\"TabWidth\"=\"4\"\n\"WordWrap\"=\"1\"\n\"ToolBar\"=\"0\"\n"
                                       "\"ShellProg\"=\"/usr/bin/true\"\n\"DateTime\"=\"\"\n\"BackColor\"=\"255\"\n"
                                       "\"FontBold\"=\"1\"\n\"SelBar\"=\"0\"\n\"ImeText0\"=\"65280\"\n"
                                       "\"Recent1\"=\"/tmp/a.txt\"\n\"FlatToolbar\"=\"0\"\n\"IME_Mode\"=\"0\"\n",
                                       "\"FindLeft\"=\"30\"\n\"FindTop\"=\"40\"\n"));
        auto w = env.makeWindow();
        QCOMPARE(w->FTabWidth, 4);
        QVERIFY(w->Memo->wordWrap() && w->EditWordWrap->isChecked() && w->tbWordWrap->isChecked());
        QVERIFY(w->ToolBar->isHidden());
        QVERIFY(w->tbShell->isVisible() && w->tbSep5->isVisible());
        QCOMPARE(w->FDateTimeFormat, QString()); // an empty format stays empty
        QCOMPARE(w->Memo->backgroundColor(), 255u);
        QVERIFY(w->Memo->editorFont().bold);
        QVERIFY(!w->Memo->selectionBarVisible());
        QCOMPARE(w->Memo->imeColors()[0].text, 65280u);
        QCOMPARE(w->recent(1), QStringLiteral("/tmp/a.txt"));
        QVERIFY(!w->FlatToolbar());
        QVERIFY(!w->Memo->inputMethodOpen());
        QCOMPARE(w->cdlFind->storedPosition(), QPoint(30, 40));
    }

    void verticalWritingForcesWordWrapAndFixedImeColours()
    {
        TestEnv env;
        env.writeSettings(settingsText("\"Vertical\"=\"1\"\n\"WordWrap\"=\"0\"\n\"ImeText1\"=\"255\"\n"));
        auto w = env.makeWindow();
        QVERIFY(w->Memo->vertical());
        QVERIFY(w->Memo->wordWrap());
        QVERIFY(w->EditWordWrap->isChecked() && !w->EditWordWrap->isEnabled());
        QVERIFY(w->tbWordWrap->isChecked() && !w->tbWordWrap->isEnabled());
        QCOMPARE(w->Memo->imeColors()[1].text, 0u); // the built-in set, not the stored 255
    }

    void closingMaximisedKeepsTheStoredGeometry()
    {
        TestEnv env;
        env.writeSettings(settingsText({}, "\"Left\"=\"11\"\n\"Top\"=\"12\"\n\"Width\"=\"500\"\n\"Height\"=\"300\"\n"
                                           "\"WindowState\"=\"2\"\n"));
        auto w = env.makeWindow();
        QVERIFY(w->isMaximized());
        QVERIFY(w->close());
        const auto form = section(QStringLiteral("FormData"));
        QCOMPARE(form.value(QStringLiteral("WindowState")), QStringLiteral("2"));
        QCOMPARE(form.value(QStringLiteral("Left")), QStringLiteral("11"));
        QCOMPARE(form.value(QStringLiteral("Width")), QStringLiteral("500"));
        QCOMPARE(form.value(QStringLiteral("Height")), QStringLiteral("300"));
    }

    void refusedCloseStillWritesTheWindowValues()
    {
        TestEnv env;
        auto w = env.makeWindow();
        w->Memo->setText(QStringLiteral("未保存"));
        w->Memo->setModified(true);
        w->ToolBar->hide();
        env.dialogs.expectMessage(IDCANCEL);
        QVERIFY(!w->close());
        QVERIFY(w->isVisible());
        QCOMPARE(env.dialogs.messages.size(), 1);
        QCOMPARE(env.dialogs.messages[0].text, QStringLiteral("ファイルの内容が変更されています。保存しますか?"));
        QCOMPARE(env.dialogs.messages[0].caption, QStringLiteral("Zuvelo PGP"));
        QCOMPARE(env.dialogs.messages[0].flags, 0x33u);
        QCOMPARE(section(QStringLiteral("Other Data")).value(QStringLiteral("ToolBar")), QStringLiteral("0"));
        env.dialogs.expectMessage(IDNO);
        QVERIFY(w->close());
    }

    void storeErrorsReachTheStandardErrorReport()
    {
        TestEnv env;
        env.writeSettings(settingsText("\"FontSize\"=dword:0000000a\n"));
        env.dialogs.expectMessage(IDOK);
        auto w = env.makeWindow();
        QCOMPARE(env.dialogs.messages.size(), 1);
        QCOMPARE(env.dialogs.messages[0].text, QStringLiteral("'FontSize' のﾃﾞｰﾀ型が不正です."));
        QCOMPARE(env.dialogs.messages[0].caption, QStringLiteral("無題 - Zuvelo PGP"));
        QCOMPARE(env.dialogs.messages[0].flags, unsigned(MB_ICONERROR));
        // Start-up ended at that step; the window is still there and closes normally.
        QVERIFY(w->close());
    }

    void damagedSettingsFileIsReportedAndKept()
    {
        TestEnv env;
        env.writeSettings("garbage\x01\x02 not a registry file");
        env.dialogs.expectMessage(IDOK);
        auto w = env.makeWindow();
        QCOMPARE(env.dialogs.messages.size(), 1);
        QCOMPARE(env.dialogs.messages[0].flags, unsigned(MB_ICONERROR));
        QVERIFY(env.dialogs.messages[0].text.contains(QStringLiteral("既定の設定")));
        const QDir folder(QFileInfo(env.settingsPath()).absolutePath());
        QCOMPARE(folder.entryList({QStringLiteral("*.damaged-*")}).size(), 1);
        QCOMPARE(w->FTabWidth, 6);
    }

    void longFindTextIsCutTo255Bytes()
    {
        TestEnv env;
        QByteArray body = "\"FindText\"=\"";
        body += QString(200, QChar(0x6F22)).toUtf8(); // 400 bytes in the document's encoding
        body += "\"\n";
        env.writeSettings(settingsText(body));
        auto w = env.makeWindow();
        QVERIFY(w->close());
        QCOMPARE(section(QStringLiteral("Other Data")).value(QStringLiteral("FindText")), QString(127, QChar(0x6F22)));
    }

    // A hand-edited store: each value outside what the program can use is read as the nearest one it can.
    // Screen sizes stand as kScreenWidth and kScreenHeight (the available area of the screens); kLeastWidth is
    // 200 pixels or the least width the window's menu bar and tool bar allow, whichever is more.
    void handEditedValuesAreReadAsTheNearestSensibleOne_data()
    {
        QTest::addColumn<QByteArray>("otherData");
        QTest::addColumn<QByteArray>("formData");
        QTest::addColumn<QString>("probe");
        QTest::addColumn<int>("expected");
        QTest::newRow("FontSize -5") << QByteArray("\"FontSize\"=\"-5\"\n") << QByteArray() << "font size" << 6;
        QTest::newRow("FontSize 100000") << QByteArray("\"FontSize\"=\"100000\"\n") << QByteArray() << "font size" << 512;
        QTest::newRow("FontSize 9") << QByteArray("\"FontSize\"=\"9\"\n") << QByteArray() << "font size" << 9;
        QTest::newRow("TabWidth 0") << QByteArray("\"TabWidth\"=\"0\"\n") << QByteArray() << "tab width" << 1;
        QTest::newRow("TabWidth 2147483647") << QByteArray("\"TabWidth\"=\"2147483647\"\n") << QByteArray()
                                             << "tab width" << 20;
        QTest::newRow("TabWidth past 32 bits") << QByteArray("\"TabWidth\"=\"99999999999\"\n") << QByteArray()
                                               << "tab width" << 20;
        QTest::newRow("TabWidth hex -1") << QByteArray("\"TabWidth\"=\"$FFFFFFFF\"\n") << QByteArray() << "tab width"
                                         << 1;
        QTest::newRow("Width -640") << QByteArray() << QByteArray("\"Width\"=\"-640\"\n") << "width" << kLeastWidth;
        QTest::newRow("Width 100000") << QByteArray() << QByteArray("\"Width\"=\"100000\"\n") << "width" << kScreenWidth;
        QTest::newRow("Height -1") << QByteArray() << QByteArray("\"Height\"=\"-1\"\n") << "height" << 150;
        QTest::newRow("Height 100000") << QByteArray() << QByteArray("\"Height\"=\"100000\"\n") << "height"
                                       << kScreenHeight;
        QTest::newRow("Left 100000") << QByteArray() << QByteArray("\"Left\"=\"100000\"\n") << "right edge"
                                     << kScreenWidth;
        QTest::newRow("Top -100000") << QByteArray() << QByteArray("\"Top\"=\"-100000\"\n") << "top" << 0;
        QTest::newRow("WindowState 7") << QByteArray() << QByteArray("\"WindowState\"=\"7\"\n") << "state" << 2;
        QTest::newRow("WindowState -1") << QByteArray() << QByteArray("\"WindowState\"=\"-1\"\n") << "state" << 0;
        QTest::newRow("FindLeft 100000") << QByteArray() << QByteArray("\"FindLeft\"=\"100000\"\n")
                                         << "find dialog right edge" << kScreenWidth;
        QTest::newRow("FindTop -5000") << QByteArray() << QByteArray("\"FindTop\"=\"-5000\"\n") << "find dialog top"
                                       << 0;
        QTest::newRow("BackColor -1") << QByteArray("\"BackColor\"=\"-1\"\n") << QByteArray() << "background" << 0;
        QTest::newRow("FontColor 16777216") << QByteArray("\"FontColor\"=\"16777216\"\n") << QByteArray()
                                            << "font colour" << 0xFFFFFF;
        QTest::newRow("ImeBackground2 -5") << QByteArray("\"ImeBackground2\"=\"-5\"\n") << QByteArray()
                                           << "IME background 2" << 0;
    }
    void handEditedValuesAreReadAsTheNearestSensibleOne()
    {
        QFETCH(QByteArray, otherData);
        QFETCH(QByteArray, formData);
        QFETCH(QString, probe);
        QFETCH(int, expected);
        TestEnv env;
        env.writeSettings(settingsText(otherData, formData));
        auto w = env.makeWindow();
        QVERIFY(env.dialogs.messages.isEmpty());
        QRect area;
        for (const QScreen *screen : QGuiApplication::screens())
            area |= screen->availableGeometry();
        if (expected == kScreenWidth)
            expected = area.width();
        if (expected == kScreenHeight)
            expected = area.height();
        if (expected == kLeastWidth)
            expected = std::max(200, w->minimumSizeHint().width());
        const QPoint find = w->cdlFind->storedPosition();
        const std::map<QString, std::function<int()>> probes{
            {"font size", [&] { return w->Memo->editorFont().pointSize; }},
            {"tab width", [&] { return w->FTabWidth; }},
            {"width", [&] { return w->width(); }},
            {"height", [&] { return w->height(); }},
            {"right edge", [&] { return w->x() + w->width(); }},
            {"top", [&] { return w->y(); }},
            {"state", [&] { return w->isMinimized() ? 1 : w->isMaximized() ? 2 : 0; }},
            {"find dialog right edge", [&] { return find.x() + w->cdlFind->sizeHint().width(); }},
            {"find dialog top", [&] { return find.y(); }},
            {"background", [&] { return int(w->Memo->backgroundColor()); }},
            {"font colour", [&] { return int(w->Memo->editorFont().color); }},
            {"IME background 2", [&] { return int(w->Memo->imeColors()[2].background); }},
        };
        QVERIFY(probes.count(probe));
        QCOMPARE(probes.at(probe)(), expected);
        if (probe == QLatin1String("font size"))
            QCOMPARE(w->FFont.pointSize, expected);
        if (probe == QLatin1String("tab width")) // the tab stops are measured in that width
            QCOMPARE(w->Memo->tabStopPoints(1), w->SpaceWidth() * expected * 72 / w->Memo->logicalDpiX());
        QVERIFY(w->close());
    }

    void shortcutRunsOnlyAnEnabledItem()
    {
        TestEnv env;
        auto w = env.makeWindow();
        w->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(w.get()));
        const bool before = w->Memo->wordWrap();
        QTest::keyClick(w->Memo, Qt::Key_R, Qt::ControlModifier);
        QCOMPARE(w->Memo->wordWrap(), !before);
        w->EditWordWrap->setEnabled(false);
        QTest::keyClick(w->Memo, Qt::Key_R, Qt::ControlModifier);
        QCOMPARE(w->Memo->wordWrap(), !before);
        QVERIFY(w->Memo->toPlainText().isEmpty()); // the key never reached the text
    }

    void qtsOwnTextsAreJapanese()
    {
        QVERIFY(installJapaneseTranslations());
        QCOMPARE(QCoreApplication::translate("QPlatformTheme", "&Yes"), QStringLiteral("はい(&Y)"));
        QCOMPARE(QCoreApplication::translate("QPlatformTheme", "Cancel"), QStringLiteral("キャンセル"));
    }

    void hintsReachPanelThree()
    {
        TestEnv env;
        auto w = env.makeWindow();
        env.app.setHint(w->tbOpen->statusTip());
        QCOMPARE(w->Panels[3]->text(), QStringLiteral("ファイルを開きます"));
        env.app.setHint(QString());
        QCOMPARE(w->Panels[3]->text(), QStringLiteral("レディ"));
        QCOMPARE(w->tbOpen->toolTip(), QStringLiteral("開く"));
    }

    // A stored position whose title bar would be on no screen brings the window onto the nearest one; the
    // stored size is kept, and closing stores where the window now stands.
    void windowPositionReachable_data()
    {
        QTest::addColumn<QPoint>("stored");
        QTest::addColumn<QPoint>("expected");
        QTest::newRow("on the screen") << QPoint(100, 50) << QPoint(100, 50);
        QTest::newRow("far right") << QPoint(5000, 100) << QPoint(160, 100);
        QTest::newRow("far above and left") << QPoint(-4000, -3000) << QPoint(0, 0);
        QTest::newRow("title bar just above the top") << QPoint(100, -10) << QPoint(100, 0);
        QTest::newRow("below the bottom") << QPoint(10, 790) << QPoint(10, 320);
        QTest::newRow("40 pixels of title on the left") << QPoint(-600, 50) << QPoint(0, 50);
        QTest::newRow("100 pixels of title on the left") << QPoint(-540, 50) << QPoint(-540, 50);
    }
    void windowPositionReachable()
    {
        QFETCH(QPoint, stored);
        QFETCH(QPoint, expected);
        QCOMPARE(QGuiApplication::primaryScreen()->availableGeometry(), QRect(0, 0, 800, 800)); // the offscreen screen
        TestEnv env;
        env.writeSettings(settingsText({}, QStringLiteral("\"Left\"=\"%1\"\n\"Top\"=\"%2\"\n\"Width\"=\"640\"\n"
                                                          "\"Height\"=\"480\"\n")
                                               .arg(stored.x())
                                               .arg(stored.y())
                                               .toUtf8()));
        auto w = env.makeWindow();
        QCOMPARE(w->pos(), expected);
        QCOMPARE(w->size(), QSize(640, 480));
        QVERIFY(w->close());
        const auto form = section(QStringLiteral("FormData"));
        QCOMPARE(form.value(QStringLiteral("Left")), QString::number(expected.x()));
        QCOMPARE(form.value(QStringLiteral("Top")), QString::number(expected.y()));
        QCOMPARE(form.value(QStringLiteral("Width")), QStringLiteral("640"));
        QCOMPARE(form.value(QStringLiteral("Height")), QStringLiteral("480"));
    }

    // The same rule with several screens: the nearest one takes the window.
    void nearestScreen_data()
    {
        QTest::addColumn<QRect>("frame");
        QTest::addColumn<QPoint>("expected");
        QTest::newRow("title on the second screen") << QRect(2000, 10, 640, 480) << QPoint(2000, 10);
        QTest::newRow("past the second screen") << QRect(4000, 100, 640, 480) << QPoint(2560, 100);
        QTest::newRow("below the first screen") << QRect(100, 1500, 640, 480) << QPoint(100, 600);
        QTest::newRow("below both, nearer the first") << QRect(1900, 1100, 640, 480) << QPoint(1280, 600);
        QTest::newRow("larger than the screen") << QRect(-50, -50, 3000, 2000) << QPoint(0, 0);
        QTest::newRow("between, nearer the first") << QRect(1000, -700, 640, 480) << QPoint(1000, 0);
    }
    void nearestScreen()
    {
        QFETCH(QRect, frame);
        QFETCH(QPoint, expected);
        const QList<QRect> screens{QRect(0, 0, 1920, 1080), QRect(1920, 0, 1280, 1024)};
        QCOMPARE(reachableWindowPosition(frame, screens), expected);
    }

    // The standard error report ends a text with "." unless it ends in a character that sorts before it,
    // or is already a Japanese sentence.
    void reportText_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("reported");
        QTest::newRow("platform text") << QStringLiteral("ﾌｧｲﾙ a は開けません") << QStringLiteral("ﾌｧｲﾙ a は開けません.");
        QTest::newRow("Japanese full stop") << QStringLiteral("既定の設定を使います。") << QStringLiteral("既定の設定を使います。");
        QTest::newRow("ASCII stop") << QStringLiteral("done.") << QStringLiteral("done.");
        QTest::newRow("closing parenthesis") << QStringLiteral("(2行、3列)") << QStringLiteral("(2行、3列)");
        QTest::newRow("letter") << QStringLiteral("a") << QStringLiteral("a.");
        QTest::newRow("empty") << QString() << QString();
    }
    void reportText()
    {
        QFETCH(QString, text);
        QFETCH(QString, reported);
        QCOMPARE(Application::reportText(text), reported);
    }

    // The one argument is the file, even when it looks like one of Qt's options; with more arguments Qt
    // takes its own. Run in a child process, where the real application object reads the command line.
    void commandLine_data()
    {
        QTest::addColumn<QList<QByteArray>>("arguments");
        QTest::addColumn<QString>("expected"); // the program's arguments in hex, then Qt's layout direction
        QTest::newRow("-reverse") << QList<QByteArray>{"-reverse"} << QStringLiteral("2d72657665727365 ltr");
        QTest::newRow("-platform") << QList<QByteArray>{"-platform"} << QStringLiteral("2d706c6174666f726d ltr");
        QTest::newRow("Shift-JIS name") << QList<QByteArray>{"\x95\x5C.txt"} << QStringLiteral("955c2e747874 ltr");
        QTest::newRow("two: Qt's option taken") << QList<QByteArray>{"-reverse", "a"} << QStringLiteral("61 rtl");
        QTest::newRow("none") << QList<QByteArray>{} << QStringLiteral("ltr");
    }
    void commandLine()
    {
        QFETCH(QList<QByteArray>, arguments);
        QFETCH(QString, expected);
        // argv as the system passes it: bytes, not text.
        QList<QByteArray> argv{QFile::encodeName(QCoreApplication::applicationFilePath())};
        argv += arguments;
        std::vector<char *> pointers;
        for (QByteArray &a : argv)
            pointers.push_back(a.data());
        pointers.push_back(nullptr);
        int out[2];
        QCOMPARE(::pipe(out), 0);
        const pid_t pid = ::fork();
        if (pid == 0) {
            ::dup2(out[1], 1);
            ::setenv("ZV_COMMAND_LINE_CHILD", "1", 1);
            ::execv(pointers[0], pointers.data());
            ::_exit(127);
        }
        ::close(out[1]);
        QByteArray printed;
        char buf[256];
        ssize_t n;
        while ((n = ::read(out[0], buf, sizeof buf)) > 0)
            printed.append(buf, n);
        ::close(out[0]);
        int status = 0;
        ::waitpid(pid, &status, 0);
        QVERIFY(WIFEXITED(status) && WEXITSTATUS(status) == 0);
        QCOMPARE(QString::fromLatin1(printed.trimmed()), expected);
    }
};

// In the child of commandLine(): the application object made as the program's entry point makes it;
// prints the program's arguments in hex and Qt's layout direction.
static int commandLineChild(int argc, char **argv)
{
    zv::CommandLine commandLine(argc, argv);
    QApplication app(commandLine.qtArgc(), argv);
    QStringList out;
    for (const QString &a : commandLine.arguments())
        out << QString::fromLatin1(zv::nativeFileName(a).toHex());
    out << (QGuiApplication::layoutDirection() == Qt::RightToLeft ? QStringLiteral("rtl") : QStringLiteral("ltr"));
    std::printf("%s\n", qPrintable(out.join(QLatin1Char(' '))));
    return 0;
}

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsSet("ZV_COMMAND_LINE_CHILD"))
        return commandLineChild(argc, argv);
    QApplication app(argc, argv);
    app.setAttribute(Qt::AA_Use96Dpi, true);
    TestStartup test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "test_startup.moc"
