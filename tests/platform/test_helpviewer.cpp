// The help window: contents, keyword index, full-text search, navigation, and finding the manual.
#include "platform/helpviewer.h"

#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>
#include <QTextBrowser>
#include <QTreeWidget>

using zv::HelpViewer;

namespace {

QString filler(int paragraphs)
{
    QString s;
    for (int i = 0; i < paragraphs; ++i)
        s += QStringLiteral("<p>lorem ipsum dolor sit amet %1</p>\n").arg(i);
    return s;
}

// A small manual: nested headings, one heading without an anchor, terms in <dfn> and data-index, an anchor
// inside a section, and enough text between the sections to scroll.
QString fixtureHtml()
{
    return QStringLiteral("<!DOCTYPE html><html><head><meta charset=\"utf-8\"><title>t</title></head><body>\n"
                          "<h1 id=\"top\">Manual</h1><p>intro</p>\n"
                          "<h2 id=\"alpha\">Alpha</h2><p>about the <dfn>widget</dfn> and 暗号化</p>\n")
        + filler(40)
        + QStringLiteral("<h3 id=\"alpha-one\">Alpha one</h3><p data-index=\"gadget;Gizmo;R&amp;D\">gadgets</p>\n")
        + filler(40)
        + QStringLiteral("<h2 id=\"beta\">Beta</h2><p>apple banana</p><p><a name=\"deep\"></a>"
                         "<dfn>deepterm</dfn> here</p>\n")
        + filler(40)
        + QStringLiteral("<h2>Gamma</h2><p>apple cherry ＡＢＣ</p>\n") + filler(40)
        + QStringLiteral("</body></html>\n");
}

QStringList childTitles(const QTreeWidgetItem *item)
{
    QStringList titles;
    for (int i = 0; i < item->childCount(); ++i)
        titles << item->child(i)->text(0);
    return titles;
}

QStringList listTexts(const QListWidget *list)
{
    QStringList texts;
    for (int i = 0; i < list->count(); ++i)
        texts << list->item(i)->text();
    return texts;
}

// The text of the block shown at the top of the browser.
QString topBlockText(QTextBrowser *browser)
{
    return browser->cursorForPosition(QPoint(4, 4)).block().text();
}

} // namespace

class TestHelpViewer : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void opensOnContents();
    void contentsNavigate_data();
    void contentsNavigate();
    void indexFilter_data();
    void indexFilter();
    void indexEntryLeadsToItsAnchor();
    void search_data();
    void search();
    void searchTab();
    void missingManual();
    void findManual();
    void realManualCoversEveryCommand();

private:
    QTemporaryDir m_dir;
    QString m_fixture;
};

void TestHelpViewer::initTestCase()
{
    QVERIFY(m_dir.isValid());
    m_fixture = m_dir.filePath(QStringLiteral("fixture.html"));
    QFile f(m_fixture);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(fixtureHtml().toUtf8());
}

void TestHelpViewer::opensOnContents()
{
    HelpViewer viewer;
    QVERIFY(viewer.openManual(m_fixture));
    auto *tabs = viewer.findChild<QTabWidget *>(QStringLiteral("tabs"));
    QVERIFY(tabs);
    tabs->setCurrentIndex(2);
    viewer.showContents();
    QVERIFY(QTest::qWaitForWindowExposed(&viewer));
    QVERIFY(viewer.isWindow());
    QCOMPARE(viewer.windowTitle(), QStringLiteral("Zuvelo PGP ヘルプ"));
    QCOMPARE(tabs->count(), 3);
    QCOMPARE(tabs->tabText(0), QStringLiteral("目次"));
    QCOMPARE(tabs->tabText(1), QStringLiteral("キーワード"));
    QCOMPARE(tabs->tabText(2), QStringLiteral("検索"));
    QCOMPARE(tabs->currentIndex(), 0);

    // The headings as a tree: h2 under h1, h3 under its h2.
    auto *tree = viewer.findChild<QTreeWidget *>(QStringLiteral("contentsTree"));
    QVERIFY(tree);
    QCOMPARE(tree->topLevelItemCount(), 1);
    const QTreeWidgetItem *root = tree->topLevelItem(0);
    QCOMPARE(root->text(0), QStringLiteral("Manual"));
    QCOMPARE(childTitles(root), (QStringList{"Alpha", "Beta", "Gamma"}));
    QCOMPARE(childTitles(root->child(0)), QStringList{"Alpha one"});
    QCOMPARE(viewer.sections().at(3).anchor, QStringLiteral("beta"));
    QVERIFY(viewer.sections().at(4).anchor.isEmpty());
}

void TestHelpViewer::contentsNavigate_data()
{
    QTest::addColumn<QStringList>("path"); // titles from the root down
    QTest::newRow("heading with an anchor") << QStringList{"Manual", "Beta"};
    QTest::newRow("nested heading") << QStringList{"Manual", "Alpha", "Alpha one"};
    QTest::newRow("heading without an anchor") << QStringList{"Manual", "Gamma"};
}

void TestHelpViewer::contentsNavigate()
{
    QFETCH(QStringList, path);
    HelpViewer viewer;
    QVERIFY(viewer.openManual(m_fixture));
    viewer.showContents();
    QVERIFY(QTest::qWaitForWindowExposed(&viewer));
    auto *tree = viewer.findChild<QTreeWidget *>(QStringLiteral("contentsTree"));
    auto *browser = viewer.findChild<QTextBrowser *>(QStringLiteral("browser"));
    QVERIFY(tree && browser);
    QTRY_COMPARE(browser->verticalScrollBar()->value(), 0);

    QTreeWidgetItem *item = tree->topLevelItem(0);
    for (int i = 1; i < path.size(); ++i) {
        QTreeWidgetItem *next = nullptr;
        for (int c = 0; c < item->childCount(); ++c)
            if (item->child(c)->text(0) == path.at(i))
                next = item->child(c);
        QVERIFY(next);
        item = next;
    }
    const QRect rect = tree->visualItemRect(item);
    QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, rect.center());
    QVERIFY(browser->verticalScrollBar()->value() > 0);
    QTRY_COMPARE(topBlockText(browser), path.last());
}

void TestHelpViewer::indexFilter_data()
{
    QTest::addColumn<QString>("filter");
    QTest::addColumn<QStringList>("shown");
    QTest::newRow("part of a word") << "dget" << QStringList{"gadget", "widget"};
    QTest::newRow("any case") << "GIZ" << QStringList{"Gizmo"};
    QTest::newRow("full-width input") << "ｇａｄ" << QStringList{"gadget"};
    QTest::newRow("heading") << "Alpha" << QStringList{"Alpha", "Alpha one"};
    QTest::newRow("entity in data-index") << "R&D" << QStringList{"R&D"};
    QTest::newRow("term from dfn") << "deep" << QStringList{"deepterm"};
    QTest::newRow("nothing") << "zzz" << QStringList{};
}

void TestHelpViewer::indexFilter()
{
    QFETCH(QString, filter);
    QFETCH(QStringList, shown);
    HelpViewer viewer;
    QVERIFY(viewer.openManual(m_fixture));
    auto *edit = viewer.findChild<QLineEdit *>(QStringLiteral("indexFilter"));
    auto *list = viewer.findChild<QListWidget *>(QStringLiteral("indexList"));
    QVERIFY(edit && list);
    QVERIFY(list->count() >= 10); // everything before any filter
    edit->setText(filter);
    QCOMPARE(listTexts(list), shown);
    edit->clear();
    QVERIFY(list->count() >= 10);
}

void TestHelpViewer::indexEntryLeadsToItsAnchor()
{
    HelpViewer viewer;
    QVERIFY(viewer.openManual(m_fixture));
    viewer.show();
    QVERIFY(QTest::qWaitForWindowExposed(&viewer));
    auto *tabs = viewer.findChild<QTabWidget *>(QStringLiteral("tabs"));
    auto *edit = viewer.findChild<QLineEdit *>(QStringLiteral("indexFilter"));
    auto *list = viewer.findChild<QListWidget *>(QStringLiteral("indexList"));
    auto *browser = viewer.findChild<QTextBrowser *>(QStringLiteral("browser"));
    tabs->setCurrentIndex(1);

    // Enter in the filter box opens the first match: a term inside a section leads to its own anchor.
    edit->setFocus();
    QTest::keyClicks(edit, QStringLiteral("deepterm"));
    QCOMPARE(list->count(), 1);
    QTest::keyClick(edit, Qt::Key_Return);
    QTRY_VERIFY(topBlockText(browser).startsWith(QStringLiteral("deepterm")));

    // A click on a term of a subsection leads to that subsection.
    edit->setText(QStringLiteral("gizmo"));
    QCOMPARE(list->count(), 1);
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(list->item(0)).center());
    QTRY_COMPARE(topBlockText(browser), QStringLiteral("Alpha one"));
}

void TestHelpViewer::search_data()
{
    QTest::addColumn<QString>("query");
    QTest::addColumn<QStringList>("titles");
    QTest::newRow("one word, two sections") << "apple" << QStringList{"Beta", "Gamma"};
    QTest::newRow("all words must be there") << "apple cherry" << QStringList{"Gamma"};
    QTest::newRow("words in any order") << "  banana   apple " << QStringList{"Beta"};
    QTest::newRow("any case") << "APPLE CHERRY" << QStringList{"Gamma"};
    QTest::newRow("full-width text found by half-width query") << "abc" << QStringList{"Gamma"};
    QTest::newRow("heading text counts") << "alpha" << QStringList{"Alpha", "Alpha one"};
    QTest::newRow("japanese") << "暗号化" << QStringList{"Alpha"};
    QTest::newRow("absent") << "durian" << QStringList{};
    QTest::newRow("blank query") << "   " << QStringList{};
}

void TestHelpViewer::search()
{
    QFETCH(QString, query);
    QFETCH(QStringList, titles);
    HelpViewer viewer;
    QVERIFY(viewer.openManual(m_fixture));
    QStringList found;
    for (int i : viewer.searchSections(query))
        found << viewer.sections().at(i).title;
    QCOMPARE(found, titles);
}

void TestHelpViewer::searchTab()
{
    HelpViewer viewer;
    QVERIFY(viewer.openManual(m_fixture));
    viewer.show();
    QVERIFY(QTest::qWaitForWindowExposed(&viewer));
    auto *query = viewer.findChild<QLineEdit *>(QStringLiteral("searchQuery"));
    auto *results = viewer.findChild<QListWidget *>(QStringLiteral("searchResults"));
    auto *status = viewer.findChild<QLabel *>(QStringLiteral("searchStatus"));
    auto *browser = viewer.findChild<QTextBrowser *>(QStringLiteral("browser"));
    QVERIFY(query && results && status && browser);
    viewer.findChild<QTabWidget *>(QStringLiteral("tabs"))->setCurrentIndex(2);

    query->setFocus();
    QTest::keyClicks(query, QStringLiteral("cherry"));
    QTest::keyClick(query, Qt::Key_Return);
    QCOMPARE(listTexts(results), QStringList{"Gamma"});
    QVERIFY(status->text().contains(u'1'));

    // Opening a result shows its section with the word selected.
    QTest::mouseClick(results->viewport(), Qt::LeftButton, {}, results->visualItemRect(results->item(0)).center());
    QCOMPARE(browser->textCursor().selectedText(), QStringLiteral("cherry"));
    QVERIFY(browser->verticalScrollBar()->value() > 0);

    query->setText(QStringLiteral("durian"));
    QTest::keyClick(query, Qt::Key_Return);
    QCOMPARE(results->count(), 0);
    QCOMPARE(status->text(), QStringLiteral("見つかりませんでした。"));
}

void TestHelpViewer::missingManual()
{
    HelpViewer viewer;
    QVERIFY(!viewer.openManual(m_dir.filePath(QStringLiteral("absent.html"))));
    QVERIFY(viewer.sections().isEmpty());
    auto *browser = viewer.findChild<QTextBrowser *>(QStringLiteral("browser"));
    QVERIFY(browser->toPlainText().contains(QStringLiteral("absent.html")));
    // A good manual after a missing one loads normally.
    QVERIFY(viewer.openManual(m_fixture));
    QCOMPARE(viewer.sections().size(), 5);
}

void TestHelpViewer::findManual()
{
    const QString name = QStringLiteral("zv-test-manual-%1.html").arg(QCoreApplication::applicationPid());
    QCOMPARE(HelpViewer::findManual(name), QString());
    QCOMPARE(HelpViewer::findManual(name, {m_dir.path()}), QString());

    QTemporaryDir second;
    QFile f(second.filePath(name));
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.close();
    QCOMPARE(HelpViewer::findManual(name, {m_dir.path(), second.path()}), QDir::cleanPath(second.filePath(name)));
    QCOMPARE(HelpViewer::findManual(second.filePath(name)), QDir::cleanPath(second.filePath(name)));
    QCOMPARE(HelpViewer::findManual(second.path()), QString()); // a folder is not a manual

    // Beside the program first, then the system folders, the folders passed in last.
    const QString bin = QCoreApplication::applicationDirPath();
    const QStringList candidates = HelpViewer::manualCandidates(QStringLiteral("manual.html"), {QStringLiteral("/src/help")});
    QVERIFY(candidates.size() >= 5);
    QCOMPARE(candidates.at(0), QDir::cleanPath(bin + QStringLiteral("/../share/zuvelo-pgp/help/manual.html")));
    QCOMPARE(candidates.at(1), QDir::cleanPath(bin + QStringLiteral("/help/manual.html")));
    QVERIFY(candidates.indexOf(QStringLiteral("/usr/share/zuvelo-pgp/help/manual.html")) >= 2);
    QVERIFY(candidates.indexOf(QStringLiteral("/usr/local/share/zuvelo-pgp/help/manual.html")) >= 2);
    QCOMPARE(candidates.last(), QStringLiteral("/src/help/manual.html"));
}

void TestHelpViewer::realManualCoversEveryCommand()
{
    const QString path = HelpViewer::findManual(QStringLiteral("manual.html"),
                                                {QStringLiteral(ZV_SOURCE_DIR "/help")});
    QVERIFY(!path.isEmpty());
    HelpViewer viewer;
    QVERIFY(viewer.openManual(path));
    QVERIFY(viewer.sections().size() > 20);
    for (const HelpViewer::Section &s : viewer.sections())
        QVERIFY2(!s.anchor.isEmpty(), qPrintable(s.title));

    QStringList keywords;
    for (const HelpViewer::IndexEntry &e : viewer.indexEntries())
        keywords << e.keyword;
    const QStringList commands = {
        "新規作成", "開く", "上書き保存", "名前を付けて保存", "プリンタの設定", "印刷", "終了",
        "最近使ったファイル", "元に戻す", "切り取り", "コピー", "貼り付け", "削除", "すべて選択",
        "日付と時刻を挿入", "検索", "次を検索", "右端で折り返す", "暗号化", "署名", "暗号化と署名",
        "復号化と検証", "PGPツールの起動", "PGP鍵の起動", "PGPの設定", "この文字列を実行",
        "外部プログラムで開く", "ツールバー", "ステータスバー", "オプション", "目次", "バージョン情報",
        "タブ幅", "縦書き", "行選択バー", "自動インデント", "文字セット", ".LOG", "registry.reg",
        "gpg --full-generate-key", "pinentry",
    };
    for (const QString &command : commands)
        QVERIFY2(keywords.contains(command), qPrintable(command));
    QVERIFY(!viewer.searchSections(QStringLiteral("~/.config/zuvelo-pgp/registry.reg")).isEmpty());
    QVERIFY(!viewer.searchSections(QStringLiteral("gpg --import")).isEmpty());
}

QTEST_MAIN(TestHelpViewer)
#include "test_helpviewer.moc"
