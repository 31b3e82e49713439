// The entry point: the application object, its title and help file, the main window, the message loop.

#include "app/commandline.h"
#include "app/frmMain.h"
#include "platform/application.h"

#include <QApplication>
#include <QTimer>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <sys/resource.h>

namespace {
// Benchmark hook, active only with ZV_BENCH_EXIT_AFTER_PAINT=1: once the editor has painted for the first
// time, prints the monotonic clock (the benchmark subtracts its launch time) and the peak RSS to stderr and
// ends the process at once. Nothing else changes.
class BenchExitAfterPaint : public QObject {
    bool eventFilter(QObject *watched, QEvent *e) override
    {
        if (e->type() == QEvent::Paint && frmMain && watched == frmMain->Memo->viewport()) {
            qApp->removeEventFilter(this);
            QTimer::singleShot(0, [] {
                rusage ru{};
                getrusage(RUSAGE_SELF, &ru);
                const long long ns = std::chrono::steady_clock::now().time_since_epoch() / std::chrono::nanoseconds(1);
                std::fprintf(stderr, "zv-bench: first-paint clock-ns=%lld peak-rss-kb=%ld\n", ns, ru.ru_maxrss);
                std::fflush(stderr);
                std::_Exit(0);
            });
        }
        return false;
    }
};
} // namespace

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

    BenchExitAfterPaint benchHook;
    if (qEnvironmentVariable("ZV_BENCH_EXIT_AFTER_PAINT") == QLatin1String("1"))
        qapp.installEventFilter(&benchHook);

    zv::runGuarded([&] {
        TfrmMain window(args);
        // A start-up that ended early still leaves the window open.
        if (!window.isVisible())
            window.show();
        QApplication::exec();
    });
    return 0;
}
