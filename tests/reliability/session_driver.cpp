// One whole working session in the real program, for tests/reliability/valgrind.sh: open a document, type
// into it, encrypt it with the real PGP library (the recipient chooser answered with every key it lists),
// decrypt it again, save and close. Exits 0 when every step gave what it should; otherwise prints the step.
//
// Usage: session_driver FILE   (GNUPGHOME, XDG_CONFIG_HOME and HOME set up by the script)
#include "app/frmMain.h"
#include "platform/application.h"
#include "platform/dialogs.h"
#include "platform/textcodec.h"

#include <QPushButton>
#include <QApplication>
#include <QDialogButtonBox>
#include <QFile>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>

#include <cstdio>

namespace {

// The program's own prompts: none is expected; each is printed and answered "No".
class AnsweringDialogs : public zv::DesktopDialogs {
public:
    int messageBox(QWidget *, const QString &text, const QString &, unsigned) override
    {
        std::fprintf(stderr, "unexpected message: %s\n", qPrintable(text));
        ++shown;
        return zv::IDNO;
    }
    int shown = 0;
};

// Answers the library's windows while they are up: every listed key is chosen in the recipient chooser.
void answerLibraryWindows(int *unexpected)
{
    QWidget *w = QApplication::activeModalWidget();
    if (!w)
        return;
    if (w->objectName() == QLatin1String("gomaRecipientDialog")) {
        if (auto *list = w->findChild<QTreeWidget *>(QStringLiteral("gomaKeyList")))
            for (int i = 0; i < list->topLevelItemCount(); ++i)
                list->topLevelItem(i)->setSelected(true);
        if (auto *box = w->findChild<QDialogButtonBox *>())
            box->button(QDialogButtonBox::Ok)->click();
        return;
    }
    std::fprintf(stderr, "unexpected window: %s \"%s\"\n", qPrintable(w->objectName()), qPrintable(w->windowTitle()));
    ++*unexpected;
    w->close();
}

int fail(const char *step)
{
    std::fprintf(stderr, "session failed: %s\n", step);
    return 1;
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication qapp(argc, argv);
    if (argc != 2)
        return 2;
    const QString file = QString::fromLocal8Bit(argv[1]);
    AnsweringDialogs dialogs;
    zv::Dialogs::install(&dialogs);
    zv::Application app;
    app.setTitle(QStringLiteral("無題 - Zuvelo PGP"));
    int unexpected = 0;
    QTimer responder;
    QObject::connect(&responder, &QTimer::timeout, [&] { answerLibraryWindows(&unexpected); });
    responder.start(50);

    int rc = 0;
    zv::runGuarded([&] {
        TfrmMain w({file});
        const QString opened = w.Memo->text();
        if (opened.isEmpty()) {
            rc = fail("open");
            return;
        }
        w.Memo->setSelStart(w.Memo->textLength());
        QTest::keyClicks(w.Memo, QStringLiteral("added line"));
        QTest::keyClick(w.Memo, Qt::Key_Return);
        w.Memo->replaceSelection(QStringLiteral("追加の行です。"));
        const QString edited = w.Memo->text();
        if (edited == opened) {
            rc = fail("edit");
            return;
        }
        w.mnuPgpEncryptClick();
        if (!w.Memo->text().startsWith(QLatin1String("-----BEGIN PGP MESSAGE-----"))) {
            rc = fail("encrypt");
            return;
        }
        w.mnuPgpDecryptClick();
        if (w.Memo->text() != edited) {
            rc = fail("decrypt");
            return;
        }
        w.FileSaveClick();
        if (w.Memo->modified()) {
            rc = fail("save");
            return;
        }
        if (!w.close())
            rc = fail("close");
    });
    zv::Dialogs::install(nullptr);
    if (rc == 0 && (dialogs.shown || unexpected))
        rc = fail("a prompt or window nobody expected");
    if (rc == 0)
        std::printf("session done\n");
    return rc;
}
