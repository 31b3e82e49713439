#include "finddialog.h"
#include "windowplace.h"

#include <QCheckBox>
#include <QEvent>
#include <QGridLayout>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QTimer>
#include <QVBoxLayout>

namespace zv {

int cp932CharBytes(char16_t c)
{
    return (c < 0x80 || (c >= 0xFF61 && c <= 0xFF9F)) ? 1 : 2;
}

int byteCount(QStringView text, const CharBytesFunction &charBytes)
{
    int total = 0;
    for (QChar c : text)
        total += charBytes ? charBytes(c.unicode()) : cp932CharBytes(c.unicode());
    return total;
}

QString truncateToBytes(QStringView text, int maxBytes, const CharBytesFunction &charBytes)
{
    int total = 0;
    qsizetype i = 0;
    const qsizetype n = text.size();
    while (i < n) {
        // A surrogate pair goes in whole or not at all.
        const qsizetype units = (text[i].isHighSurrogate() && i + 1 < n && text[i + 1].isLowSurrogate()) ? 2 : 1;
        int bytes = 0;
        for (qsizetype k = 0; k < units; ++k)
            bytes += charBytes ? charBytes(text[i + k].unicode()) : cp932CharBytes(text[i + k].unicode());
        if (total + bytes > maxBytes)
            break;
        total += bytes;
        i += units;
    }
    return text.left(i).toString();
}

FindDialog::FindDialog(QWidget *parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("cdlFind"));
    setWindowTitle(QStringLiteral("検索"));
    setModal(false);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);

    auto *label = new QLabel(QStringLiteral("検索する文字列(&N):"), this);
    m_text = new QLineEdit(this);
    m_text->setObjectName(QStringLiteral("txtFindText"));
    m_text->setMaxLength(kMaxTextBytes); // no character takes less than a byte
    m_text->setMinimumWidth(m_text->fontMetrics().averageCharWidth() * 32);
    label->setBuddy(m_text);
    m_text->setAccessibleName(QStringLiteral("検索する文字列"));

    m_matchCase = new QCheckBox(QStringLiteral("大文字と小文字を区別する(&C)"), this);
    m_matchCase->setObjectName(QStringLiteral("chkMatchCase"));

    m_findNext = new QPushButton(QStringLiteral("次を検索(&F)"), this);
    m_findNext->setObjectName(QStringLiteral("cmdFindNext"));
    m_findNext->setDefault(true);
    m_cancel = new QPushButton(QStringLiteral("キャンセル"), this);
    m_cancel->setObjectName(QStringLiteral("cmdCancel"));

    auto *grid = new QGridLayout(this);
    auto *textRow = new QHBoxLayout;
    textRow->addWidget(label);
    textRow->addWidget(m_text, 1);
    grid->addLayout(textRow, 0, 0);
    grid->addWidget(m_matchCase, 1, 0, Qt::AlignLeft | Qt::AlignBottom);
    auto *buttons = new QVBoxLayout;
    buttons->addWidget(m_findNext);
    buttons->addWidget(m_cancel);
    buttons->addStretch(1);
    grid->addLayout(buttons, 0, 1, 2, 1);
    grid->setSizeConstraint(QLayout::SetFixedSize);

    connect(m_text, &QLineEdit::textEdited, this, &FindDialog::onTextEdited);
    connect(m_text, &QLineEdit::textChanged, this, &FindDialog::updateButtons);
    connect(m_findNext, &QPushButton::clicked, this, &FindDialog::findNext);
    connect(m_cancel, &QPushButton::clicked, this, &FindDialog::reject);
    updateButtons();
}

FindDialog::~FindDialog() = default;

QString FindDialog::findText() const
{
    return m_text->text();
}

void FindDialog::setFindText(const QString &text)
{
    m_text->setText(truncateToBytes(text, kMaxTextBytes, m_charBytes));
    m_acceptedText = m_text->text();
}

bool FindDialog::matchCase() const
{
    return m_matchCase->isChecked();
}

void FindDialog::setMatchCase(bool on)
{
    m_matchCase->setChecked(on);
}

QPoint FindDialog::storedPosition() const
{
    return isVisible() ? pos() : m_position;
}

void FindDialog::placeAt(const QPoint &position)
{
    m_position = position;
    if (isVisible())
        move(position);
}

void FindDialog::setCharBytesFunction(CharBytesFunction charBytes)
{
    m_charBytes = std::move(charBytes);
    setFindText(m_text->text());
}

void FindDialog::setVisible(bool visible)
{
    if (visible && !isVisible()) {
        if (QGuiApplication::screenAt(m_position)) {
            // The position is the frame's, as it is stored. Before the window manager has framed the
            // window its frame is not known, and the window may come up with its client area at the
            // position instead (one title bar lower each session). The frame last seen gives the first
            // placement; the frame the window manager reports then puts it exactly (see event()).
            adjustSize();
            setGeometry(QRect(clientPositionForFrame(m_position, m_frameMargins), size()));
            m_placing = true;
        } else {
            adjustSize();
            const QWidget *over = parentWidget() ? parentWidget()->window() : nullptr;
            const QRect area = over ? over->frameGeometry()
                                    : (screen() ? screen()->availableGeometry() : QRect(QPoint(0, 0), size()));
            QRect frame(QPoint(0, 0), frameGeometry().size());
            frame.moveCenter(area.center());
            move(frame.topLeft());
        }
    } else if (!visible && isVisible()) {
        m_position = pos();
        m_placing = false;
    }
    QDialog::setVisible(visible);
}

bool FindDialog::event(QEvent *e)
{
    const bool result = QDialog::event(e);
    if (m_placing && e->type() == QEvent::Show)
        checkFrame(0);
    return result;
}

// The window manager tells the frame by a window property some time after the window is shown, and
// nothing in Qt reports its arrival: the frame is looked at a few times over the first two seconds.
void FindDialog::checkFrame(int round)
{
    if (!m_placing || !isVisible())
        return;
    const QMargins margins = frameMargins(frameGeometry(), geometry());
    if (!margins.isNull()) {
        // Framed: the frame goes where it stood.
        m_placing = false;
        m_frameMargins = margins;
        if (pos() != m_position)
            move(m_position);
        return;
    }
    if (round < 40)
        QTimer::singleShot(50, this, [this, round] { checkFrame(round + 1); });
    else
        m_placing = false; // no frame (no window manager, or one that draws none)
}

QMargins frameMargins(const QRect &frame, const QRect &client)
{
    return QMargins(client.left() - frame.left(), client.top() - frame.top(), frame.right() - client.right(),
                    frame.bottom() - client.bottom());
}

// Keeps an edit only as far as the byte limit allows: what was typed or pasted is cut at the limit, the text
// around it stays, and the cursor stands after the part that was kept.
void FindDialog::onTextEdited(const QString &text)
{
    if (byteCount(text, m_charBytes) <= kMaxTextBytes) {
        m_acceptedText = text;
        return;
    }
    const QString &before = m_acceptedText;
    const qsizetype shorter = std::min(before.size(), text.size());
    qsizetype prefix = 0;
    while (prefix < shorter && before[prefix] == text[prefix])
        ++prefix;
    if (prefix > 0 && text[prefix - 1].isHighSurrogate())
        --prefix;
    qsizetype suffix = 0;
    while (suffix < shorter - prefix && before[before.size() - 1 - suffix] == text[text.size() - 1 - suffix])
        ++suffix;
    if (suffix > 0 && text[text.size() - suffix].isLowSurrogate())
        --suffix;

    const QStringView head = QStringView(text).left(prefix);
    const QStringView tail = QStringView(text).right(suffix);
    const QStringView inserted = QStringView(text).mid(prefix, text.size() - prefix - suffix);
    const int room = kMaxTextBytes - byteCount(head, m_charBytes) - byteCount(tail, m_charBytes);

    QString kept;
    qsizetype cursor = 0;
    if (room >= 0) {
        const QString part = truncateToBytes(inserted, room, m_charBytes);
        kept = head.toString() + part + tail.toString();
        cursor = prefix + part.size();
    } else {
        kept = truncateToBytes(text, kMaxTextBytes, m_charBytes);
        cursor = kept.size();
    }
    m_text->setText(kept);
    m_text->setCursorPosition(int(cursor));
    m_acceptedText = m_text->text();
}

void FindDialog::updateButtons()
{
    m_findNext->setEnabled(!m_text->text().isEmpty());
}

} // namespace zv
