// The find dialog under a real window manager (openbox on its own Xvfb): it reopens exactly where it was
// closed, in the same session and in the next one, although the window manager frames it only after it
// has been placed.
#include "platform/finddialog.h"

#include <QApplication>
#include <QProcess>
#include <QStandardPaths>
#include <QTest>
#include <QThread>
#include <unistd.h>
#include <QWidget>

using zv::FindDialog;

namespace {
QProcess *g_server = nullptr;
QProcess *g_windowManager = nullptr;

// Waits until the window manager has framed the window and Qt knows the frame.
bool framed(const QWidget &w)
{
    return QTest::qWaitFor([&] { return w.isVisible() && w.frameGeometry() != w.geometry(); }, 5000);
}
} // namespace

class TestFindPlacement : public QObject {
    Q_OBJECT
private slots:
    void reopensWhereItWasClosed()
    {
        if (!g_windowManager)
            QSKIP("Xvfb or openbox is missing (scripts/install-deps.sh installs them)");
        QWidget owner;
        owner.setGeometry(100, 100, 400, 300);
        owner.show();
        QVERIFY(framed(owner));

        QPoint stored(499, 380);
        for (int session = 0; session < 3; ++session) {
            FindDialog dialog(&owner); // a new dialog: the next session, which knows only the stored place
            dialog.placeAt(stored);
            dialog.show();
            QVERIFY(framed(dialog));
            QTRY_COMPARE(dialog.frameGeometry().topLeft(), QPoint(499, 380));
            QCOMPARE(dialog.storedPosition(), QPoint(499, 380));
            dialog.close();
            stored = dialog.storedPosition();
            QCOMPARE(stored, QPoint(499, 380));

            // Moved, closed and opened again in the same session.
            dialog.show();
            QVERIFY(framed(dialog));
            dialog.move(300, 200);
            QTRY_COMPARE(dialog.frameGeometry().topLeft(), QPoint(300, 200));
            dialog.close();
            QCOMPARE(dialog.storedPosition(), QPoint(300, 200));
            dialog.show();
            QVERIFY(framed(dialog));
            QTRY_COMPARE(dialog.frameGeometry().topLeft(), QPoint(300, 200));
            dialog.move(499, 380);
            QTRY_COMPARE(dialog.pos(), QPoint(499, 380));
            dialog.close();
            stored = dialog.storedPosition();
        }
    }
};

// Starts an X server of its own and the window manager on it before the application object exists.
int main(int argc, char **argv)
{
    const QString xvfb = QStandardPaths::findExecutable(QStringLiteral("Xvfb"));
    const QString openbox = QStandardPaths::findExecutable(QStringLiteral("openbox"));
    QProcess server, windowManager;
    if (!xvfb.isEmpty() && !openbox.isEmpty()) {
        int fds[2];
        if (::pipe(fds) == 0) {
            server.setProgram(xvfb);
            server.setArguments({QStringLiteral("-displayfd"), QString::number(fds[1]), QStringLiteral("-screen"),
                                 QStringLiteral("0"), QStringLiteral("1024x768x24"), QStringLiteral("-nolisten"),
                                 QStringLiteral("tcp")});
            server.setChildProcessModifier([fds] { ::close(fds[0]); });
            server.start();
            ::close(fds[1]);
            QByteArray number;
            char c;
            while (::read(fds[0], &c, 1) == 1 && c != '\n')
                number.append(c);
            ::close(fds[0]);
            if (!number.isEmpty()) {
                qputenv("DISPLAY", ":" + number);
                qputenv("QT_QPA_PLATFORM", "xcb");
                windowManager.start(openbox, {QStringLiteral("--sm-disable")});
                if (windowManager.waitForStarted()) {
                    g_server = &server;
                    g_windowManager = &windowManager;
                    QThread::msleep(500); // openbox takes the screen
                }
            }
        }
    }
    int result;
    {
        QApplication app(argc, argv);
        TestFindPlacement test;
        result = QTest::qExec(&test, argc, argv);
    }
    windowManager.terminate();
    windowManager.waitForFinished(3000);
    server.terminate();
    server.waitForFinished(3000);
    return result;
}

#include "test_findplacement.moc"
