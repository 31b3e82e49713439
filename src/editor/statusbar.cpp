// Command states, recomputed whenever the application falls idle, and the status bar.
// The idle pass costs the same for a large document as for a small one: the size comes from the editor's
// running count, and the first line is looked at again only when it has changed.

#include "app/frmMain.h"
#include "editor/armour.h"
#include "platform/application.h"
#include "platform/textcodec.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QLabel>
#include <QMimeData>
#include <QTextBlock>

bool zv::isArmourHeaderLine(QStringView line)
{
    // Strip every character of value 32 or less from both ends (a full-width space stays).
    qsizetype b = 0, e = line.size();
    while (b < e && line[b].unicode() <= 32)
        ++b;
    while (e > b && line[e - 1].unicode() <= 32)
        --e;
    const QStringView core = line.mid(b, e - b);
    return core == QLatin1String("-----BEGIN PGP MESSAGE-----") ||
           core == QLatin1String("-----BEGIN PGP SIGNED MESSAGE-----");
}

namespace {

void enableAll(std::initializer_list<QAction *> actions, bool on)
{
    for (QAction *a : actions)
        a->setEnabled(on); // no signal when the state does not change
}

void setLabel(QLabel *label, const QString &text)
{
    if (label->text() != text)
        label->setText(text);
}

// Whether the clipboard holds text, kept current by the clipboard's change signal so that the idle pass
// never asks the display server.
struct ClipboardWatch {
    bool hasText = false;
    bool connected = false;
    void update() { hasText = QApplication::clipboard()->mimeData() && QApplication::clipboard()->mimeData()->hasText(); }
} g_clipboard;

// The first line's verdict, kept until the first line changes.
struct FirstLineCache {
    const void *doc = nullptr;
    int revision = -1;
    int length = -1;
    bool header = false;
} g_firstLine;

} // namespace


void TfrmMain::AppIdle()
{
    const bool empty = Memo->textLength() == 0;

    // 1. PGP tool buttons.
    if (empty)
        enableAll({tbEncrypt, tbSign, tbEncryptSign, tbDecrypt}, false);
    else
        enableAll({tbEncrypt, tbSign, tbEncryptSign}, true);

    // 2. Decryption only for an armour header on the first line.
    const QTextBlock first = Memo->document()->firstBlock();
    if (g_firstLine.doc != Memo->document() || g_firstLine.revision != first.revision() ||
        g_firstLine.length != first.length()) {
        g_firstLine = {Memo->document(), first.revision(), first.length(), zv::isArmourHeaderLine(Memo->lineText(0))};
    }
    tbDecrypt->setEnabled(g_firstLine.header);

    // 3. Selection commands.
    const bool s = Memo->selLength() > 0;
    enableAll({EditCut, tbCut, PopupCut, EditCopy, EditDelete, tbCopy, PopupDelete, PopupCopy, mnuPopRunAd,
                EditRunAd},
               s);

    // 4. Paste.
    if (!g_clipboard.connected) {
        g_clipboard.connected = true;
        g_clipboard.update();
        QObject::connect(QApplication::clipboard(), &QClipboard::dataChanged, qApp, [] { g_clipboard.update(); });
    }
    enableAll({EditPaste, tbPaste, PopupPaste}, g_clipboard.hasText);

    // 5-7.
    const bool a = !empty;
    enableAll({EditSelectAll, PopupSelectAll}, a);
    enableAll({FileSave, tbSave}, Memo->modified() && a);
    enableAll({EditUndo, PopupUndo}, Memo->canUndoEdit());

    // 8. The size the file would have if saved now. The running count takes every line break as CR LF; the
    // document keeps the line breaks it was read with.
    const qint64 breaks = Memo->document()->blockCount() - 1;
    const qint64 breakBytes = zv::lineBreakBytes(zv::LineBreakStyle(FLineBreakStyle)).size();
    const qint64 n = Memo->byteSize() - breaks * (2 - breakBytes);
    setLabel(Panels[0], QStringLiteral("%1KB (%2 バイト)").arg(n / 1024).arg(n));
    // The panel grows past its own width to show a large size whole, and goes back for a small one.
    const int width = std::max(Panels[0]->minimumWidth(), Panels[0]->sizeHint().width());
    if (Panels[0]->maximumWidth() != width)
        Panels[0]->setMaximumWidth(width);
}

void TfrmMain::AppHint()
{
    auto *app = zv::Application::instance();
    if (app->hint().isEmpty()) {
        app->setHint(QStringLiteral("レディ")); // raises the hint event once more, which writes the panel
        return;
    }
    setLabel(Panels[3], app->hint());
}

void TfrmMain::MemoChange()
{
    bool m = Memo->modified();
    if (SaveDialog.fileName.isEmpty() && Memo->textLength() == 0) {
        Memo->setModified(false);
        m = false;
    }
    SetModifiedIndicator(m);
}

void TfrmMain::MemoSelectionChange()
{
    const int start = Memo->selStart();
    const int line = Memo->lineFromChar(start);
    const int column = start - Memo->lineIndex(line);
    setLabel(Panels[1], QStringLiteral("%1行、%2列").arg(line + 1).arg(column + 1));
}

void TfrmMain::StatusBarClick()
{
    // A click on the status bar has no visible effect.
}
