// The entry point: the application object, its title and help file, the main window, the message loop.

#include "app/commandline.h"
#include "app/benchhook.h"
#include "app/frmMain.h"
#include "platform/application.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    // A single argument is the file to open, and Qt is not shown it; otherwise Qt takes its options out.
    zv::CommandLine commandLine(argc, argv);
    QApplication qapp(commandLine.qtArgc(), argv);
    const QStringList args = commandLine.arguments();
    QApplication::setApplicationName(QStringLiteral("zuvelo-pgp"));
    QApplication::setOrganizationName(QStringLiteral("Velmorin"));
    QGuiApplication::setDesktopFileName(QStringLiteral("jp.velmorin.ZuveloPGP"));

    // Every text the user reads is Japanese, Qt's own buttons and dialogs included, whatever the locale.
    zv::installJapaneseTranslations();

    zv::Application app;
    app.setTitle(QStringLiteral("無題 - Zuvelo PGP"));
    app.setHelpFile(QStringLiteral("Quorvel.hlp"));

    zv::installBenchmarkHook();

    zv::runGuarded([&] {
        TfrmMain window(args);
        // A start-up that ended early still leaves the window open.
        if (!window.isVisible())
            window.show();
        QApplication::exec();
    });
    return 0;
}
