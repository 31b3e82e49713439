// The About dialog: its contents, links, the library's version and About window, closing with Enter and
// Esc, and a new dialog for every use.

#include "pgp/frmAbout.h"
#include "testenv.h"

#include <QAction>
#include <QApplication>
#include <QFrame>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QTest>

using namespace zv;
using Fn = RecordingPgp::Fn;

namespace {
QString u(const char *s) { return QString::fromUtf8(s); }
} // namespace

class TestAbout : public QObject {
    Q_OBJECT
private slots:
    void showsTheProgramAndTheCredit()
    {
        TestEnv env;
        TfrmAbout dlg;
        QCOMPARE(dlg.windowTitle(), u("Zuvelo PGPのバージョン情報"));
        const struct {
            const char *name;
            const char *text;
        } labels[] = {
            {"lblAppName", "Zuvelo PGP"},
            {"lblVersion", "Version 0.02"},
            {"lblCHomePage", "Homepage:"},
            {"lblCEMail", "E-mail:"},
            {"lblAboutGOMA", "このプログラムは、PGPの組み込みに株式会社オレンジソフト様のフリーライブラリ、 Gomaを"
                             "利用させていただきました。"},
        };
        for (const auto &l : labels) {
            auto *label = dlg.findChild<QLabel *>(QString::fromLatin1(l.name));
            QVERIFY2(label, l.name);
            QCOMPARE(label->text(), u(l.text));
        }
        QCOMPARE(dlg.lblHomePage->text(), TfrmAbout::homePage());
        QCOMPARE(dlg.lblEmail->text(), TfrmAbout::emailAddress());
        QVERIFY(dlg.lblCopyright->text().startsWith(u("Copyright")));
        QVERIFY(dlg.lblAppName->font().bold());
        QCOMPARE(dlg.cmdAboutGoma->text(), u("Gomaについて(&G)..."));
        QCOMPARE(dlg.cmdAboutPGP->text(), u("PGPについて(&P)..."));
        QCOMPARE(dlg.cmdOK->text(), u("OK"));
        QVERIFY(dlg.cmdOK->isDefault());

        // The icon, the aqua panel and the two links.
        QVERIFY(!dlg.imgAppIcon->pixmap().isNull());
        QCOMPARE(dlg.imgAppIcon->size(), QSize(32, 32));
        QCOMPARE(dlg.pnlAbout->palette().color(QPalette::Window), QColor(0x00, 0xFF, 0xFF));
        QVERIFY(dlg.pnlAbout->autoFillBackground());
        QCOMPARE(dlg.pnlAbout->frameShadow(), QFrame::Sunken);
        for (QLabel *link : {dlg.lblHomePage, dlg.lblEmail}) {
            QCOMPARE(link->palette().color(QPalette::WindowText), QColor(0x00, 0x00, 0xFF));
            QVERIFY(link->font().underline());
            QCOMPARE(link->cursor().shape(), Qt::PointingHandCursor);
        }

        // Every control has its name and a name for screen readers.
        for (const char *name : {"imgAppIcon", "lblAppName", "lblVersion", "lblCopyright", "lblCHomePage",
                                 "lblHomePage", "lblCEMail", "lblEmail", "bvlPGPandGOMA", "lblAboutGOMA",
                                 "cmdAboutGoma", "cmdAboutPGP", "cmdOK"}) {
            auto *w = dlg.findChild<QWidget *>(QString::fromLatin1(name));
            QVERIFY2(w, name);
            QVERIFY2(!w->accessibleName().isEmpty(), name);
        }
    }

    // Layouts keep every text whole, whatever the desktop's font size; the dialog cannot be resized.
    void noTextIsCutOff_data()
    {
        QTest::addColumn<qreal>("points");
        QTest::newRow("9 pt") << qreal(9);
        QTest::newRow("12 pt") << qreal(12);
        QTest::newRow("18 pt") << qreal(18);
    }
    void noTextIsCutOff()
    {
        QFETCH(qreal, points);
        TestEnv env;
        const QFont oldFont = QApplication::font();
        QFont f = oldFont;
        f.setPointSizeF(points);
        QApplication::setFont(f);
        {
            TfrmAbout dlg;
            dlg.show();
            QVERIFY(QTest::qWaitForWindowExposed(&dlg));
            QCOMPARE(dlg.minimumSize(), dlg.maximumSize());
            QVERIFY(dlg.width() >= 361);
            const auto labels = dlg.findChildren<QLabel *>();
            for (QLabel *l : labels) {
                if (l == dlg.imgAppIcon)
                    continue;
                const QSize need = l->wordWrap() ? QSize(l->minimumSizeHint().width(), l->heightForWidth(l->width()))
                                                 : l->sizeHint();
                QVERIFY2(l->width() >= need.width() && l->height() >= need.height(),
                         qPrintable(l->objectName() + QStringLiteral(" %1x%2 < %3x%4").arg(l->width()).arg(l->height())
                                        .arg(need.width()).arg(need.height())));
                QVERIFY2(dlg.pnlAbout->rect().contains(l->geometry()), qPrintable(l->objectName()));
            }
            for (QPushButton *b : dlg.findChildren<QPushButton *>())
                QVERIFY2(b->width() >= b->sizeHint().width() && b->height() >= b->sizeHint().height(),
                         qPrintable(b->objectName()));
            QVERIFY(dlg.cmdAboutGoma->width() >= 161 && dlg.cmdAboutPGP->width() >= 161);
            // The buttons stand side by side, the OK button below the panel.
            QVERIFY(dlg.cmdAboutGoma->geometry().right() < dlg.cmdAboutPGP->geometry().left());
            QVERIFY(dlg.cmdOK->geometry().top() > dlg.pnlAbout->geometry().bottom());
        }
        QApplication::setFont(oldFont);
    }

    void escAndEnterClose_data()
    {
        QTest::addColumn<int>("key");
        QTest::newRow("Esc") << int(Qt::Key_Escape);
        QTest::newRow("Enter") << int(Qt::Key_Return);
        QTest::newRow("keypad Enter") << int(Qt::Key_Enter);
    }
    void escAndEnterClose()
    {
        QFETCH(int, key);
        TestEnv env;
        auto w = env.makeWindow();
        bool shown = false, closed = false, okHadFocus = false;
        env.dialogs.expectModal([&](QDialog &d) {
            d.open();
            shown = QTest::qWaitForWindowActive(&d);
            okHadFocus = QApplication::focusWidget() == static_cast<TfrmAbout &>(d).cmdOK;
            QWidget *target = QApplication::focusWidget() ? QApplication::focusWidget() : &d;
            QTest::keyClick(target, Qt::Key(key));
            closed = !d.isVisible();
            return d.result();
        });
        w->HelpAbout->trigger();
        QVERIFY(env.dialogs.allUsed());
        QVERIFY(shown);
        QVERIFY(okHadFocus);
        QVERIFY(closed);
        QCOMPARE(env.pgp.count(Fn::About) + env.pgp.count(Fn::Version), 0);
    }

    // Each use makes a new dialog owned by the main window and destroys it afterwards.
    void eachAboutIsANewDialog()
    {
        TestEnv env;
        auto w = env.makeWindow();
        QList<QPointer<QDialog>> seen;
        bool fresh = true;
        for (int i = 0; i < 2; ++i) {
            env.dialogs.expectModal([&](QDialog &d) {
                seen << QPointer<QDialog>(&d);
                fresh = fresh && qobject_cast<TfrmAbout *>(&d) && d.parentWidget() == w.get() &&
                        !d.property("usedBefore").toBool() && d.windowTitle() == u("Zuvelo PGPのバージョン情報");
                d.setProperty("usedBefore", true);
                return int(QDialog::Accepted);
            });
            w->HelpAbout->trigger();
            QVERIFY(env.dialogs.allUsed());
            QCOMPARE(seen.size(), i + 1);
            QVERIFY(seen.last().isNull()); // destroyed when it closed
        }
        QVERIFY(fresh);
        QVERIFY(w->findChildren<TfrmAbout *>().isEmpty());
    }

    void gomaVersionIsShownInDecimal_data()
    {
        QTest::addColumn<int>("version");
        QTest::addColumn<QString>("text");
        QTest::newRow("102") << 102 << u("Goma.dllのバージョンは 102 です。");
        QTest::newRow("0") << 0 << u("Goma.dllのバージョンは 0 です。");
        QTest::newRow("1234") << 1234 << u("Goma.dllのバージョンは 1234 です。");
    }
    void gomaVersionIsShownInDecimal()
    {
        QFETCH(int, version);
        QFETCH(QString, text);
        TestEnv env;
        env.pgp.versionResult = version;
        TfrmAbout dlg;
        env.dialogs.expectMessage(IDOK);
        QTest::mouseClick(dlg.cmdAboutGoma, Qt::LeftButton);
        QCOMPARE(env.pgp.count(Fn::Version), 1);
        QCOMPARE(env.dialogs.messages.size(), 1);
        QCOMPARE(env.dialogs.messages[0].text, text);
        QCOMPARE(env.dialogs.messages[0].caption, u("Gomaについて"));
        QCOMPARE(env.dialogs.messages[0].flags, 0x30u);
    }

    void pgpAboutIsOwnedByTheDialog()
    {
        TestEnv env;
        auto w = env.makeWindow();
        TfrmAbout dlg(w.get());
        env.pgp.clear();
        QTest::mouseClick(dlg.cmdAboutPGP, Qt::LeftButton);
        QCOMPARE(env.pgp.calls.size(), 1);
        QVERIFY(env.pgp.calls[0].fn == Fn::About);
        QCOMPARE(env.pgp.calls[0].ownerAddress, static_cast<QWidget *>(&dlg));
        QVERIFY(env.dialogs.messages.isEmpty());
    }

    // The links open through the desktop, by mouse or, when they have the focus, by keyboard.
    void linksOpenTheHomepageAndTheMailProgram_data()
    {
        QTest::addColumn<QString>("label");
        QTest::addColumn<bool>("byKey");
        QTest::addColumn<QUrl>("url");
        QTest::newRow("e-mail, click") << u("lblEmail") << false << QUrl(u("mailto:") + TfrmAbout::emailAddress());
        QTest::newRow("e-mail, Space") << u("lblEmail") << true << QUrl(u("mailto:") + TfrmAbout::emailAddress());
        QTest::newRow("homepage, click") << u("lblHomePage") << false << QUrl(TfrmAbout::homePage());
        QTest::newRow("homepage, Space") << u("lblHomePage") << true << QUrl(TfrmAbout::homePage());
    }
    void linksOpenTheHomepageAndTheMailProgram()
    {
        QFETCH(QString, label);
        QFETCH(bool, byKey);
        QFETCH(QUrl, url);
        TestEnv env;
        TfrmAbout dlg;
        dlg.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dlg));
        auto *l = dlg.findChild<QLabel *>(label);
        QVERIFY(l);
        if (byKey) {
            l->setFocus();
            QTest::keyClick(l, Qt::Key_Space);
        } else {
            QTest::mouseClick(l, Qt::LeftButton);
        }
        QCOMPARE(env.dialogs.openedUrls, QList<QUrl>{url});
        QVERIFY(dlg.isVisible());
    }
};

QTEST_MAIN(TestAbout)
#include "test_about.moc"
