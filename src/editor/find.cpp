// Find: one forward step through the whole text with a silent wrap-around to the top.

#include "app/frmMain.h"
#include "platform/application.h"
#include "platform/finddialog.h"

void TfrmMain::mnuEditFindClick()
{
    // Modeless: the editor stays usable while the dialog stands.
    cdlFind->show();
    cdlFind->raise();
    cdlFind->activateWindow();
}

void TfrmMain::cdlFindFind()
{
    const QString what = cdlFind->findText();
    // Nothing to look for (F3 before anything was ever searched): nothing happens, no message.
    if (what.isEmpty())
        return;
    NoteFindInDecrypted();

    // Just after the selection, or the top of the text when nothing is selected (the caret alone does not count).
    const int length = Memo->selLength();
    const int start = length > 0 ? Memo->selStart() + length : 0;
    const int n = Memo->textLength();
    const bool matchCase = cdlFind->matchCase();

    int at = Memo->findText(what, start, n, matchCase);
    if (at < 0 && start > 0) // wrap around, silently; from 0 the first search already covered it all
        at = Memo->findText(what, 0, n, matchCase);
    if (at < 0) {
        zv::Application::instance()->messageBox(QStringLiteral("検索文字列が見つかりませんでした。"),
                                                QStringLiteral("Zuvelo PGP"), zv::MB_OK | zv::MB_ICONEXCLAMATION);
        return;
    }

    // The match is as long as the search text in characters (case folding keeps the length).
    Memo->setSelStart(at);
    Memo->setSelLength(int(what.size()));
}
