// The entry point: the application object, its title and help file, the main window, the message loop.

#include "app/benchhook.h"
#include "app/frmMain.h"
#include "platform/application.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication qapp(argc, argv);
    QApplication::setApplicationName(QStringLiteral("zuvelo-pgp"));
    QApplication::setOrganizationName(QStringLiteral("Velmorin"));
    QGuiApplication::setDesktopFileName(QStringLiteral("jp.velmorin.ZuveloPGP"));

    // Every text the user reads is Japanese, Qt's own buttons and dialogs included, whatever the locale.
    zv::installJapaneseTranslations();

    zv::Application app;
    app.setTitle(QStringLiteral("無題 - Zuvelo PGP"));
    app.setHelpFile(QStringLiteral("Quorvel.hlp"));

    zv::installBenchmarkHook();

    QStringList args = QApplication::arguments();
    args.removeFirst();
    zv::runGuarded([&] {
        TfrmMain window(args);
        // A start-up that ended early still leaves the window open.
        if (!window.isVisible())
            window.show();
        QApplication::exec();
    });
    return 0;
}
