#pragma once
// The help window: the HTML manual on the right, and on the left three tabs to find one's way in it:
// "目次" (the manual's headings as a tree), "キーワード" (an index of terms with a filter box) and "検索"
// (the sections that hold every word of a query).
//
// The index is made of the headings, the <dfn> terms and the data-index="term;term" attributes of the
// manual; each entry leads to the nearest anchor (an id or <a name>) before it.

#include <QList>
#include <QString>
#include <QStringList>
#include <QWidget>

class QLabel;
class QLineEdit;
class QListWidget;
class QListWidgetItem;
class QTabWidget;
class QTextBrowser;
class QTreeWidget;
class QTreeWidgetItem;

namespace zv {

class HelpViewer : public QWidget {
    Q_OBJECT
public:
    // One heading of the manual and the text up to the next heading.
    struct Section {
        QString title;
        QString anchor;   // empty when the heading has none
        int level = 1;    // 1 for <h1> ... 6 for <h6>
        int position = 0; // where the heading starts in the document
        QString text;     // the heading and the body text of the section
    };
    struct IndexEntry {
        QString keyword;
        QString anchor;       // where the entry leads; empty: to the start of its section
        int section = -1;     // index into sections() of the section it stands in
    };

    explicit HelpViewer(QWidget *parent = nullptr);
    ~HelpViewer() override;

    // Loads the manual (an HTML file). False, with a notice in the window, when it cannot be read.
    bool openManual(const QString &path);
    QString manualPath() const { return m_path; }

    // Shows the window on its contents tab, in front.
    void showContents();
    // Shows the place of the manual with that anchor.
    void showAnchor(const QString &anchor);

    const QList<Section> &sections() const { return m_sections; }
    const QList<IndexEntry> &indexEntries() const { return m_index; }
    // Indexes into sections() of the sections that hold every word of the query. Words are separated by
    // blanks; upper and lower case, and full-width and half-width forms, do not matter.
    QList<int> searchSections(const QString &query) const;

    // Where the manual is looked for: beside the program (<bindir>/../share/zuvelo-pgp/help and
    // <bindir>/help), in /usr/share/zuvelo-pgp/help and /usr/local/share/zuvelo-pgp/help, in the other data
    // folders of the desktop, then in extraDirs. An absolute name is taken as it is.
    static QStringList manualCandidates(const QString &helpFileName, const QStringList &extraDirs = {});
    // The first candidate that exists as a file, or an empty string.
    static QString findManual(const QString &helpFileName);
    static QString findManual(const QString &helpFileName, const QStringList &extraDirs);

private:
    void buildContents();
    void buildIndex(const QString &html);
    void fillIndexList();
    void runSearch();
    void showSection(int index, const QString &highlight = QString());
    void showIndexEntry(const QListWidgetItem *item);

    QString m_path;
    QList<Section> m_sections;
    QList<IndexEntry> m_index;
    QStringList m_sectionKeys; // the text of each section, folded for searching

    QTabWidget *m_tabs = nullptr;
    QTreeWidget *m_contents = nullptr;
    QLineEdit *m_indexFilter = nullptr;
    QListWidget *m_indexList = nullptr;
    QLineEdit *m_searchQuery = nullptr;
    QListWidget *m_searchResults = nullptr;
    QLabel *m_searchStatus = nullptr;
    QTextBrowser *m_browser = nullptr;
};

} // namespace zv
