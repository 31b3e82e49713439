#pragma once
// The find dialog: a modeless window with the search text (at most 255 bytes in the documents' code page),
// a match-case box, "次を検索" and "キャンセル". It only collects the search; the find-next signal asks the
// owner to run one search step. It remembers where it stood, also while it is closed.

#include <QDialog>
#include <QMargins>
#include <QPoint>
#include <QString>
#include <QStringView>
#include <functional>

class QCheckBox;
class QLineEdit;
class QPushButton;

namespace zv {

// How many bytes one UTF-16 code unit takes in the documents' code page.
using CharBytesFunction = std::function<int(char16_t)>;

// The size a CP932 encoder gives: ASCII and half-width katakana (U+FF61 to U+FF9F) take one byte, everything
// else two (each half of a surrogate pair counts as one character).
int cp932CharBytes(char16_t c);
// The byte length of a text; an empty function means cp932CharBytes.
int byteCount(QStringView text, const CharBytesFunction &charBytes = {});
// The longest start of the text that fits in maxBytes; a surrogate pair is kept whole or dropped whole.
QString truncateToBytes(QStringView text, int maxBytes, const CharBytesFunction &charBytes = {});

class FindDialog : public QDialog {
    Q_OBJECT
public:
    static constexpr int kMaxTextBytes = 255;

    explicit FindDialog(QWidget *parent = nullptr);
    ~FindDialog() override;

    // The search text. setFindText cuts a longer text to kMaxTextBytes.
    QString findText() const;
    void setFindText(const QString &text);

    bool matchCase() const;
    void setMatchCase(bool on);

    // Where the dialog stands on the screen while it is open; while it is closed, where it stood when it was
    // last closed or the position it was last given. A position on no screen centres it over its parent.
    QPoint storedPosition() const;
    void placeAt(const QPoint &position);

    // The byte counting used for the length limit (for a codec that knows better); the current text is cut
    // again under the new rule.
    void setCharBytesFunction(CharBytesFunction charBytes);

    void setVisible(bool visible) override;

protected:
    bool event(QEvent *e) override;

signals:
    // The find-next button (or Enter) was pressed.
    void findNext();

private:
    void onTextEdited(const QString &text);
    void checkFrame(int round);
    void updateButtons();

    QLineEdit *m_text = nullptr;
    QCheckBox *m_matchCase = nullptr;
    QPushButton *m_findNext = nullptr;
    QPushButton *m_cancel = nullptr;
    CharBytesFunction m_charBytes;
    QString m_acceptedText; // the text as it stood after the last edit that was kept
    QPoint m_position;           // of the frame, the window manager's decoration included
    QMargins m_frameMargins;     // the frame's widths as last reported; none before the first showing
    bool m_placing = false;      // shown, and the window manager has not reported the frame yet
};

// The widths of a window's frame around its client area.
QMargins frameMargins(const QRect &frame, const QRect &client);

} // namespace zv
