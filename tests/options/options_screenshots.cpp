// Saves a picture of each page of the options dialog: options_screenshots <folder>.
// Run with QT_QPA_PLATFORM=offscreen (or under a display server).

#include "options/frmOption.h"
#include "testenv.h"

#include <QApplication>
#include <QDir>
#include <QPushButton>
#include <QTabWidget>

int main(int argc, char **argv)
{
    QApplication qapp(argc, argv);
    const QString folder = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QDir::currentPath();
    QDir().mkpath(folder);
    int saved = 0;
    {
        TestEnv env;
        auto w = env.makeWindow();
        env.dialogs.expectModal([&](QDialog &d) {
            auto &o = static_cast<TfrmOption &>(d);
            o.show();
            o.tmrDateTimeTimer();
            const char *names[] = {"general", "editor", "pgp"};
            for (int page = 0; page < 3; ++page) {
                o.pgcOption->setCurrentIndex(page);
                QApplication::processEvents();
                if (o.grab().save(folder + QStringLiteral("/options-%1.png").arg(QString::fromLatin1(names[page]))))
                    ++saved;
            }
            o.cmdCancel->click();
            return o.result();
        });
        w->ViewOptionClick();
        w->Memo->setModified(false);
    }
    return saved == 3 ? 0 : 1;
}
