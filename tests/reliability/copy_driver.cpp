// One running copy of the program for the running-copies test: the real main window on the offscreen
// platform, given window values of its own, closed when the test says so.
//
// Usage: copy_driver ID ROUND. Prints "ready" once the window is up, then waits for a line on its standard
// input and closes the window. Prints, one per line and tab-separated:
//   value SECTION NAME TEXT   what the window holds at the close (TEXT in base64)
//   close-begin NS / close-end NS   the steady clock around the close (comparable between processes)
//   message TEXT              any message box the program showed (answered "No")
#include "app/frmMain.h"
#include "platform/application.h"
#include "platform/finddialog.h"
#include "platform/settingsstore.h"
#include "recordingpgp.h"

#include <QAction>
#include <QApplication>
#include <QStatusBar>
#include <QToolBar>

#include <chrono>
#include <cstdio>

namespace {

class AnsweringDialogs : public zv::DesktopDialogs {
public:
    int messageBox(QWidget *, const QString &text, const QString &, unsigned) override
    {
        std::printf("message\t%s\n", text.toUtf8().toBase64().constData());
        ++shown;
        return zv::IDNO;
    }
    int shown = 0;
};

long long now()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

void value(const QString &section, const QString &name, const QString &text)
{
    std::printf("value\t%s\t%s\t%s\n", qPrintable(section), qPrintable(name), text.toUtf8().toBase64().constData());
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication qapp(argc, argv);
    if (argc != 3)
        return 2;
    const int id = QByteArray(argv[1]).toInt();
    const int round = QByteArray(argv[2]).toInt();
    const QString tag = QStringLiteral("%1-%2").arg(round).arg(id);

    AnsweringDialogs dialogs;
    zv::Dialogs::install(&dialogs);
    RecordingPgp pgp; // no GnuPG in this test
    zv::Application app;
    app.setTitle(QStringLiteral("無題 - Zuvelo PGP"));
    app.setHelpFile(QStringLiteral("Quorvel.hlp"));

    int rc = 0;
    zv::runGuarded([&] {
        TfrmMain w;
        w.move(20 + id * 10 + round, 30 + id * 10);
        w.resize(500 + id * 10 + round, 400 + id * 5);
        for (int n = 1; n <= 4; ++n)
            w.setRecent(n, QStringLiteral("/home/利用者/文書/copy%1-%2.txt").arg(tag).arg(n));
        w.cdlFind->setFindText(QStringLiteral("検索 %1").arg(tag));
        w.ToolBar->setHidden(id % 2 == 1);
        w.StatusBar->setHidden((id / 2) % 2 == 1);
        if (id % 3 == 0)
            w.EditWordWrapClick(); // reads the store while the other copies write it
        QApplication::processEvents();
        std::printf("ready\n");
        std::fflush(stdout);

        char line[64];
        if (!std::fgets(line, sizeof line, stdin))
            rc = 3;
        QApplication::processEvents();
        const QString form = zv::kFormData, other = zv::kOtherData;
        value(form, QStringLiteral("WindowState"), QStringLiteral("0"));
        value(form, QStringLiteral("Left"), QString::number(w.x()));
        value(form, QStringLiteral("Top"), QString::number(w.y()));
        value(form, QStringLiteral("Height"), QString::number(w.height()));
        value(form, QStringLiteral("Width"), QString::number(w.width()));
        for (int n = 1; n <= 4; ++n)
            value(other, QStringLiteral("Recent%1").arg(n), w.recent(n));
        value(form, QStringLiteral("FindLeft"), QString::number(w.cdlFind->storedPosition().x()));
        value(form, QStringLiteral("FindTop"), QString::number(w.cdlFind->storedPosition().y()));
        value(other, QStringLiteral("WordWrap"), w.EditWordWrap->isChecked() ? QStringLiteral("1") : QStringLiteral("0"));
        value(other, QStringLiteral("ToolBar"), w.ToolBar->isHidden() ? QStringLiteral("0") : QStringLiteral("1"));
        value(other, QStringLiteral("StatusBar"), w.StatusBar->isHidden() ? QStringLiteral("0") : QStringLiteral("1"));
        value(other, QStringLiteral("FindText"), w.cdlFind->findText());
        std::printf("close-begin\t%lld\n", now());
        const bool closed = w.close();
        std::printf("close-end\t%lld\n", now());
        if (!closed)
            rc = 4;
    });
    std::fflush(stdout);
    zv::Dialogs::install(nullptr);
    return dialogs.shown ? 5 : rc;
}
