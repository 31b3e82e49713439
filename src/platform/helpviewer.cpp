#include "helpviewer.h"

#include <QAbstractTextDocumentLayout>
#include <QCollator>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHash>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRegularExpression>
#include <QScrollBar>
#include <QSet>
#include <QSplitter>
#include <QStandardPaths>
#include <QTabWidget>
#include <QTextBlock>
#include <QTextBrowser>
#include <QTextDocument>
#include <QTextDocumentFragment>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <algorithm>

namespace zv {

namespace {

constexpr int kItemRole = Qt::UserRole;

// The form in which texts are compared: full-width and half-width forms made one, case folded.
QString foldForSearch(const QString &s)
{
    return s.normalized(QString::NormalizationForm_KC).toCaseFolded();
}

QStringList searchWords(const QString &query)
{
    static const QRegularExpression blanks(QStringLiteral("\\s+"));
    return foldForSearch(query).split(blanks, Qt::SkipEmptyParts);
}

// The plain text of a piece of HTML (tags removed, entities decoded, blanks simplified).
QString plainText(const QString &html)
{
    return QTextDocumentFragment::fromHtml(html).toPlainText().simplified();
}

// Character references in an attribute value.
QString decodeEntities(const QString &s)
{
    if (!s.contains(u'&'))
        return s;
    static const QRegularExpression ref(QStringLiteral("&(#[0-9]+|#[xX][0-9a-fA-F]+|[a-zA-Z]+);"));
    QString out;
    qsizetype last = 0;
    for (auto it = ref.globalMatch(s); it.hasNext();) {
        const QRegularExpressionMatch m = it.next();
        out += QStringView(s).mid(last, m.capturedStart() - last);
        const QString body = m.captured(1);
        QString decoded;
        if (body.startsWith(u'#')) {
            bool ok = false;
            const uint code = (body.size() > 1 && (body[1] == u'x' || body[1] == u'X')) ? body.mid(2).toUInt(&ok, 16)
                                                                                        : body.mid(1).toUInt(&ok, 10);
            if (ok && code > 0 && code <= 0x10FFFF)
                decoded = QString::fromUcs4(reinterpret_cast<const char32_t *>(&code), 1);
        } else {
            static const QHash<QString, QString> named{{QStringLiteral("amp"), QStringLiteral("&")},
                                                       {QStringLiteral("lt"), QStringLiteral("<")},
                                                       {QStringLiteral("gt"), QStringLiteral(">")},
                                                       {QStringLiteral("quot"), QStringLiteral("\"")},
                                                       {QStringLiteral("apos"), QStringLiteral("'")},
                                                       {QStringLiteral("nbsp"), QStringLiteral(" ")}};
            decoded = named.value(body);
        }
        out += decoded.isNull() ? m.captured(0) : decoded;
        last = m.capturedEnd();
    }
    out += QStringView(s).mid(last);
    return out;
}

// The value of one attribute in the attribute text of a tag, or a null string.
QString attribute(const QString &attributes, const QRegularExpression &re)
{
    const QRegularExpressionMatch m = re.match(attributes);
    if (!m.hasMatch())
        return QString();
    for (int i = 1; i <= 3; ++i)
        if (m.capturedStart(i) >= 0)
            return decodeEntities(m.captured(i));
    return QString();
}

QRegularExpression attributePattern(const char *name)
{
    return QRegularExpression(
        QStringLiteral("(?:^|\\s)%1\\s*=\\s*(?:\"([^\"]*)\"|'([^']*)'|([^\\s\"'>]+))").arg(QLatin1String(name)),
        QRegularExpression::CaseInsensitiveOption);
}

} // namespace

HelpViewer::HelpViewer(QWidget *parent)
    : QWidget(parent)
{
    setWindowFlag(Qt::Window);
    setObjectName(QStringLiteral("HelpViewer"));
    setWindowTitle(QStringLiteral("Zuvelo PGP ヘルプ"));
    resize(880, 620);

    m_tabs = new QTabWidget;
    m_tabs->setObjectName(QStringLiteral("tabs"));

    // Contents.
    m_contents = new QTreeWidget;
    m_contents->setObjectName(QStringLiteral("contentsTree"));
    m_contents->setHeaderHidden(true);
    m_contents->setAccessibleName(QStringLiteral("目次"));
    m_tabs->addTab(m_contents, QStringLiteral("目次"));
    connect(m_contents, &QTreeWidget::itemClicked, this,
            [this](QTreeWidgetItem *item) { showSection(item->data(0, kItemRole).toInt()); });
    connect(m_contents, &QTreeWidget::currentItemChanged, this, [this](QTreeWidgetItem *item) {
        if (item)
            showSection(item->data(0, kItemRole).toInt());
    });

    // Keywords.
    auto *indexPage = new QWidget;
    auto *indexLayout = new QVBoxLayout(indexPage);
    auto *indexLabel = new QLabel(QStringLiteral("キーワードを入力してください(&W):"));
    m_indexFilter = new QLineEdit;
    m_indexFilter->setObjectName(QStringLiteral("indexFilter"));
    m_indexFilter->setClearButtonEnabled(true);
    indexLabel->setBuddy(m_indexFilter);
    m_indexList = new QListWidget;
    m_indexList->setObjectName(QStringLiteral("indexList"));
    m_indexList->setAccessibleName(QStringLiteral("キーワード"));
    auto *indexShow = new QPushButton(QStringLiteral("表示(&D)"));
    indexShow->setObjectName(QStringLiteral("indexShow"));
    indexLayout->addWidget(indexLabel);
    indexLayout->addWidget(m_indexFilter);
    indexLayout->addWidget(m_indexList, 1);
    indexLayout->addWidget(indexShow, 0, Qt::AlignRight);
    m_tabs->addTab(indexPage, QStringLiteral("キーワード"));
    connect(m_indexFilter, &QLineEdit::textChanged, this, &HelpViewer::fillIndexList);
    connect(m_indexFilter, &QLineEdit::returnPressed, this,
            [this] { showIndexEntry(m_indexList->currentItem()); });
    connect(m_indexList, &QListWidget::itemClicked, this, &HelpViewer::showIndexEntry);
    connect(m_indexList, &QListWidget::itemActivated, this, &HelpViewer::showIndexEntry);
    connect(indexShow, &QPushButton::clicked, this, [this] { showIndexEntry(m_indexList->currentItem()); });

    // Search.
    auto *searchPage = new QWidget;
    auto *searchLayout = new QVBoxLayout(searchPage);
    auto *searchLabel = new QLabel(QStringLiteral("検索する語句を入力してください(&W):"));
    m_searchQuery = new QLineEdit;
    m_searchQuery->setObjectName(QStringLiteral("searchQuery"));
    m_searchQuery->setClearButtonEnabled(true);
    searchLabel->setBuddy(m_searchQuery);
    auto *searchButton = new QPushButton(QStringLiteral("検索(&S)"));
    searchButton->setObjectName(QStringLiteral("searchButton"));
    auto *queryRow = new QHBoxLayout;
    queryRow->addWidget(m_searchQuery, 1);
    queryRow->addWidget(searchButton);
    m_searchStatus = new QLabel;
    m_searchStatus->setObjectName(QStringLiteral("searchStatus"));
    m_searchResults = new QListWidget;
    m_searchResults->setObjectName(QStringLiteral("searchResults"));
    m_searchResults->setAccessibleName(QStringLiteral("検索結果"));
    searchLayout->addWidget(searchLabel);
    searchLayout->addLayout(queryRow);
    searchLayout->addWidget(m_searchStatus);
    searchLayout->addWidget(m_searchResults, 1);
    m_tabs->addTab(searchPage, QStringLiteral("検索"));
    connect(m_searchQuery, &QLineEdit::returnPressed, this, &HelpViewer::runSearch);
    connect(searchButton, &QPushButton::clicked, this, &HelpViewer::runSearch);
    auto openResult = [this](QListWidgetItem *item) {
        if (!item)
            return;
        const QStringList words = m_searchQuery->text().split(QRegularExpression(QStringLiteral("\\s+")),
                                                              Qt::SkipEmptyParts);
        showSection(item->data(kItemRole).toInt(), words.value(0));
    };
    connect(m_searchResults, &QListWidget::itemClicked, this, openResult);
    connect(m_searchResults, &QListWidget::itemActivated, this, openResult);

    // The manual.
    m_browser = new QTextBrowser;
    m_browser->setObjectName(QStringLiteral("browser"));
    m_browser->setOpenExternalLinks(true);
    m_browser->setAccessibleName(QStringLiteral("ヘルプの本文"));

    auto *splitter = new QSplitter(Qt::Horizontal);
    splitter->addWidget(m_tabs);
    splitter->addWidget(m_browser);
    splitter->setStretchFactor(0, 0);
    splitter->setStretchFactor(1, 1);
    splitter->setSizes({260, 620});
    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->addWidget(splitter);
}

HelpViewer::~HelpViewer() = default;

bool HelpViewer::openManual(const QString &path)
{
    m_sections.clear();
    m_index.clear();
    m_sectionKeys.clear();
    m_contents->clear();
    m_indexList->clear();
    m_searchResults->clear();
    m_searchStatus->clear();

    QFile file(path);
    if (path.isEmpty() || !file.open(QIODevice::ReadOnly)) {
        m_path.clear();
        m_browser->setHtml(QStringLiteral("<p>ヘルプファイル %1 を開けません。</p>").arg(path.toHtmlEscaped()));
        return false;
    }
    const QString html = QString::fromUtf8(file.readAll());
    m_path = QFileInfo(path).absoluteFilePath();
    m_browser->setSource(QUrl::fromLocalFile(m_path));
    if (m_browser->document()->isEmpty()) // setSource did not take the file: show it all the same
        m_browser->setHtml(html);

    buildContents();
    buildIndex(html);
    fillIndexList();
    return true;
}

void HelpViewer::showContents()
{
    m_tabs->setCurrentIndex(0);
    show();
    if (isMinimized())
        showNormal();
    raise();
    activateWindow();
}

void HelpViewer::showAnchor(const QString &anchor)
{
    m_browser->scrollToAnchor(anchor);
}

void HelpViewer::buildContents()
{
    const QTextDocument *doc = m_browser->document();
    Section *current = nullptr;
    for (QTextBlock block = doc->begin(); block.isValid(); block = block.next()) {
        const int level = block.blockFormat().headingLevel();
        if (level > 0) {
            Section s;
            s.title = block.text().simplified();
            s.level = level;
            s.position = block.position();
            for (auto it = block.begin(); !it.atEnd() && s.anchor.isEmpty(); ++it) {
                const QStringList names = it.fragment().charFormat().anchorNames();
                if (!names.isEmpty())
                    s.anchor = names.first();
            }
            s.text = s.title;
            m_sections.append(s);
            current = &m_sections.last();
        } else if (current && !block.text().isEmpty()) {
            current->text += u'\n' + block.text();
        }
    }
    for (const Section &s : std::as_const(m_sections))
        m_sectionKeys.append(foldForSearch(s.text));

    // Each heading goes under the nearest heading of a higher rank before it.
    QList<QPair<int, QTreeWidgetItem *>> open;
    for (int i = 0; i < m_sections.size(); ++i) {
        const Section &s = m_sections.at(i);
        while (!open.isEmpty() && open.last().first >= s.level)
            open.removeLast();
        auto *item = open.isEmpty() ? new QTreeWidgetItem(m_contents) : new QTreeWidgetItem(open.last().second);
        item->setText(0, s.title);
        item->setData(0, kItemRole, i);
        open.append({s.level, item});
    }
    m_contents->expandAll();
}

void HelpViewer::buildIndex(const QString &html)
{
    QSet<QPair<QString, QString>> seen;
    auto add = [&](const QString &keyword, const QString &anchor, int section) {
        const QString k = keyword.simplified();
        if (k.isEmpty() || section < 0 || seen.contains({k, anchor}))
            return;
        seen.insert({k, anchor});
        m_index.append({k, anchor, section});
    };

    // Walk the tags in order; anchors, headings and terms keep their place in the text.
    static const QRegularExpression tagRe(QStringLiteral("<(/?)([a-zA-Z][a-zA-Z0-9]*)\\b([^>]*)>"));
    static const QRegularExpression headingRe(QStringLiteral("^h[1-6]$"), QRegularExpression::CaseInsensitiveOption);
    QString anchor;
    int section = -1;
    int headingsSeen = 0;
    for (auto it = tagRe.globalMatch(html); it.hasNext();) {
        const QRegularExpressionMatch m = it.next();
        if (!m.captured(1).isEmpty())
            continue; // closing tag
        const QString tag = m.captured(2).toLower();
        const QString attributes = m.captured(3);
        if (headingRe.match(tag).hasMatch() && headingsSeen < m_sections.size()) {
            section = headingsSeen++;
            anchor = m_sections.at(section).anchor;
            add(m_sections.at(section).title, anchor, section);
        }
        static const QRegularExpression idRe = attributePattern("id");
        static const QRegularExpression nameRe = attributePattern("name");
        static const QRegularExpression indexRe = attributePattern("data-index");
        QString name = attribute(attributes, idRe);
        if (name.isEmpty() && tag == QLatin1String("a"))
            name = attribute(attributes, nameRe);
        if (!name.isEmpty())
            anchor = name;
        const QString terms = attribute(attributes, indexRe);
        for (const QString &term : terms.split(u';', Qt::SkipEmptyParts))
            add(term, anchor, section);
        if (tag == QLatin1String("dfn")) {
            const qsizetype close = html.indexOf(QLatin1String("</dfn>"), m.capturedEnd(), Qt::CaseInsensitive);
            if (close > 0)
                add(plainText(html.mid(m.capturedEnd(), close - m.capturedEnd())), anchor, section);
        }
    }

    QCollator collator(QLocale(QLocale::Japanese, QLocale::Japan));
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    std::stable_sort(m_index.begin(), m_index.end(), [&](const IndexEntry &a, const IndexEntry &b) {
        return collator.compare(a.keyword, b.keyword) < 0;
    });
}

void HelpViewer::fillIndexList()
{
    const QString filter = foldForSearch(m_indexFilter->text().trimmed());
    QHash<QString, int> uses;
    for (const IndexEntry &e : std::as_const(m_index))
        ++uses[e.keyword];

    m_indexList->clear();
    for (int i = 0; i < m_index.size(); ++i) {
        const IndexEntry &e = m_index.at(i);
        if (!filter.isEmpty() && !foldForSearch(e.keyword).contains(filter))
            continue;
        // A term found in several places names the section of each.
        const QString label = uses.value(e.keyword) > 1
                                  ? QStringLiteral("%1（%2）").arg(e.keyword, m_sections.at(e.section).title)
                                  : e.keyword;
        auto *item = new QListWidgetItem(label, m_indexList);
        item->setData(kItemRole, i);
    }
    if (m_indexList->count() > 0)
        m_indexList->setCurrentRow(0);
}

void HelpViewer::showIndexEntry(const QListWidgetItem *item)
{
    if (!item)
        return;
    const int i = item->data(kItemRole).toInt();
    if (i < 0 || i >= m_index.size())
        return;
    const IndexEntry &e = m_index.at(i);
    if (!e.anchor.isEmpty() && (e.section < 0 || e.anchor != m_sections.at(e.section).anchor)) {
        m_browser->scrollToAnchor(e.anchor);
        return;
    }
    showSection(e.section);
}

QList<int> HelpViewer::searchSections(const QString &query) const
{
    QList<int> found;
    const QStringList words = searchWords(query);
    if (words.isEmpty())
        return found;
    for (int i = 0; i < m_sectionKeys.size(); ++i) {
        const QString &text = m_sectionKeys.at(i);
        if (std::all_of(words.begin(), words.end(), [&](const QString &w) { return text.contains(w); }))
            found.append(i);
    }
    return found;
}

void HelpViewer::runSearch()
{
    m_searchResults->clear();
    if (searchWords(m_searchQuery->text()).isEmpty()) {
        m_searchStatus->clear();
        return;
    }
    const QList<int> found = searchSections(m_searchQuery->text());
    for (int i : found) {
        auto *item = new QListWidgetItem(m_sections.at(i).title, m_searchResults);
        item->setData(kItemRole, i);
    }
    m_searchStatus->setText(found.isEmpty() ? QStringLiteral("見つかりませんでした。")
                                            : QStringLiteral("%1 件見つかりました。").arg(found.size()));
    if (!found.isEmpty())
        m_searchResults->setCurrentRow(0);
}

void HelpViewer::showSection(int index, const QString &highlight)
{
    if (index < 0 || index >= m_sections.size())
        return;
    const Section &s = m_sections.at(index);
    QTextDocument *doc = m_browser->document();
    QTextCursor cursor(doc);
    cursor.setPosition(s.position);
    m_browser->setTextCursor(cursor);
    // The heading at the top of the view.
    const QRectF where = doc->documentLayout()->blockBoundingRect(doc->findBlock(s.position));
    m_browser->verticalScrollBar()->setValue(int(where.top()));
    if (!highlight.isEmpty()) {
        const QTextCursor hit = m_browser->document()->find(highlight, s.position);
        if (!hit.isNull() && (index + 1 >= m_sections.size() || hit.position() <= m_sections.at(index + 1).position))
            m_browser->setTextCursor(hit);
    }
}

QStringList HelpViewer::manualCandidates(const QString &helpFileName, const QStringList &extraDirs)
{
    const QString name = helpFileName.isEmpty() ? QStringLiteral("manual.html") : helpFileName;
    if (QFileInfo(name).isAbsolute())
        return {QDir::cleanPath(name)};

    QStringList dirs;
    if (QCoreApplication::instance()) {
        const QString bin = QCoreApplication::applicationDirPath();
        dirs << bin + QStringLiteral("/../share/zuvelo-pgp/help") << bin + QStringLiteral("/help");
    }
    dirs << QStringLiteral("/usr/share/zuvelo-pgp/help") << QStringLiteral("/usr/local/share/zuvelo-pgp/help");
    for (const QString &data : QStandardPaths::standardLocations(QStandardPaths::GenericDataLocation))
        dirs << data + QStringLiteral("/zuvelo-pgp/help");
    dirs << extraDirs;

    QStringList candidates;
    for (const QString &dir : std::as_const(dirs)) {
        const QString path = QDir::cleanPath(dir + u'/' + name);
        if (!candidates.contains(path))
            candidates << path;
    }
    return candidates;
}

QString HelpViewer::findManual(const QString &helpFileName)
{
    return findManual(helpFileName, {});
}

QString HelpViewer::findManual(const QString &helpFileName, const QStringList &extraDirs)
{
    for (const QString &path : manualCandidates(helpFileName, extraDirs))
        if (QFileInfo(path).isFile())
            return path;
    return QString();
}

} // namespace zv
