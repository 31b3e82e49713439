// The About dialog.

#include "frmAbout.h"
#include "app/frmMain.h"
#include "app/toolicons.h"
#include "pgp/pgplibrary.h"
#include "platform/application.h"
#include "platform/dialogs.h"

#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QRegularExpression>
#include <QScreen>
#include <QUrl>
#include <QVBoxLayout>

namespace {

QString u(const char *s) { return QString::fromUtf8(s); }

const char *const kHomePage = "https://velmorin.example/zuvelo/";
const char *const kEmail = "zuvelo@velmorin.example";

QLabel *makeLabel(QWidget *parent, const char *name, const QString &text)
{
    auto *l = new QLabel(text, parent);
    l->setObjectName(QString::fromLatin1(name));
    l->setAccessibleName(text);
    return l;
}

QPushButton *makeButton(QWidget *parent, const char *name, const QString &caption)
{
    auto *b = new QPushButton(caption, parent);
    b->setObjectName(QString::fromLatin1(name));
    QString plain = caption;
    plain.remove(QRegularExpression(QStringLiteral("\\(&.\\)"))).remove(QLatin1Char('&'));
    b->setAccessibleName(plain);
    return b;
}

// A font of the dialog's family scaled from the design's 13-pixel base to the given design height.
QFont scaled(const QFont &base, int designPixels)
{
    QFont f = base;
    if (f.pointSizeF() > 0)
        f.setPointSizeF(f.pointSizeF() * designPixels / 13.0);
    else if (f.pixelSize() > 0)
        f.setPixelSize(qRound(f.pixelSize() * designPixels / 13.0));
    return f;
}

} // namespace

TfrmAbout::TfrmAbout(QWidget *owner) : QDialog(owner)
{
    buildLayout();
    zv::runGuarded([this] { FormCreate(); });
}

TfrmAbout::~TfrmAbout() = default;

QString TfrmAbout::homePage() { return QString::fromLatin1(kHomePage); }
QString TfrmAbout::emailAddress() { return QString::fromLatin1(kEmail); }

void TfrmAbout::buildLayout()
{
    setObjectName(QStringLiteral("frmAbout"));
    setWindowTitle(u("Zuvelo PGPのバージョン情報"));
    setAccessibleName(windowTitle());
    setWindowFlag(Qt::MSWindowsFixedSizeDialogHint, true);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    setModal(true);

    // The lowered aqua panel. Its text colour is fixed as well, so that it stays readable under a dark theme.
    pnlAbout = new QFrame(this);
    pnlAbout->setObjectName(QStringLiteral("pnlAbout"));
    pnlAbout->setAccessibleName(u("バージョン情報"));
    pnlAbout->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    pnlAbout->setLineWidth(1);
    pnlAbout->setAutoFillBackground(true);
    QPalette aqua = pnlAbout->palette();
    aqua.setColor(QPalette::Window, QColor(0x00, 0xFF, 0xFF));
    aqua.setColor(QPalette::WindowText, Qt::black);
    pnlAbout->setPalette(aqua);
    pnlAbout->setMinimumWidth(345);

    imgAppIcon = new QLabel(pnlAbout);
    imgAppIcon->setObjectName(QStringLiteral("imgAppIcon"));
    imgAppIcon->setAccessibleName(u("Zuvelo PGPのアイコン"));
    imgAppIcon->setFixedSize(32, 32);
    imgAppIcon->setScaledContents(true);

    lblAppName = makeLabel(pnlAbout, "lblAppName", u("Zuvelo PGP"));
    QFont nameFont = scaled(font(), 16);
    nameFont.setBold(true);
    lblAppName->setFont(nameFont);
    lblAppName->setAlignment(Qt::AlignCenter);

    lblVersion = makeLabel(pnlAbout, "lblVersion", u("Version 0.02"));
    lblVersion->setAlignment(Qt::AlignRight | Qt::AlignVCenter);

    lblCopyright = makeLabel(pnlAbout, "lblCopyright", u("Copyright (C) 2026 Velmorin / GNU GPL v3以降"));
    lblCopyright->setAlignment(Qt::AlignCenter);

    lblCHomePage = makeLabel(pnlAbout, "lblCHomePage", u("Homepage:"));
    lblHomePage = makeLabel(pnlAbout, "lblHomePage", homePage());
    lblCEMail = makeLabel(pnlAbout, "lblCEMail", u("E-mail:"));
    lblEmail = makeLabel(pnlAbout, "lblEmail", emailAddress());
    lblCHomePage->setBuddy(lblHomePage);
    lblCEMail->setBuddy(lblEmail);
    // The two links: blue, underlined, a hand over them; reachable with Tab and opened with Space or Enter.
    for (QLabel *link : {lblHomePage, lblEmail}) {
        QPalette p = link->palette();
        p.setColor(QPalette::WindowText, QColor(0x00, 0x00, 0xFF));
        link->setPalette(p);
        QFont f = link->font();
        f.setUnderline(true);
        link->setFont(f);
        link->setCursor(Qt::PointingHandCursor);
        link->setFocusPolicy(Qt::StrongFocus);
        link->setStyleSheet(QStringLiteral("QLabel { border: 1px solid transparent; }"
                                           "QLabel:focus { border: 1px dotted #000000; }"));
        link->setAccessibleDescription(u("リンク (Space キーまたは Enter キーで開きます)"));
        link->installEventFilter(this);
    }

    bvlPGPandGOMA = new QFrame(pnlAbout);
    bvlPGPandGOMA->setObjectName(QStringLiteral("bvlPGPandGOMA"));
    bvlPGPandGOMA->setAccessibleName(u("区切り線"));
    bvlPGPandGOMA->setFrameStyle(QFrame::HLine | QFrame::Sunken);

    lblAboutGOMA = makeLabel(pnlAbout, "lblAboutGOMA",
                             u("このプログラムは、PGPの組み込みに株式会社オレンジソフト様のフリーライブラリ、"
                               " Gomaを利用させていただきました。"));
    QFont creditFont = scaled(font(), 12);
    creditFont.setFamilies({u("ＭＳ Ｐゴシック"), font().family()});
    lblAboutGOMA->setFont(creditFont);
    lblAboutGOMA->setWordWrap(true);
    lblAboutGOMA->setMinimumWidth(329);

    cmdAboutGoma = makeButton(pnlAbout, "cmdAboutGoma", u("Gomaについて(&G)..."));
    cmdAboutPGP = makeButton(pnlAbout, "cmdAboutPGP", u("PGPについて(&P)..."));
    for (QPushButton *b : {cmdAboutGoma, cmdAboutPGP}) {
        b->setMinimumSize(161, 25);
        b->setAutoDefault(false);
    }

    cmdOK = makeButton(this, "cmdOK", u("OK"));
    cmdOK->setMinimumSize(89, 21);
    cmdOK->setDefault(true); // Enter; Esc rejects the dialog, which closes it the same way

    // The arrangement of the design, in layouts so that no text is ever cut off.
    auto *header = new QHBoxLayout;
    header->setSpacing(8);
    header->addWidget(imgAppIcon, 0, Qt::AlignTop);
    auto *names = new QVBoxLayout;
    names->setSpacing(0);
    names->addWidget(lblAppName);
    names->addWidget(lblVersion);
    header->addLayout(names, 1);

    auto *links = new QGridLayout;
    links->setHorizontalSpacing(4);
    links->setVerticalSpacing(6);
    links->setColumnMinimumWidth(0, 76);
    links->addWidget(lblCHomePage, 0, 0);
    links->addWidget(lblHomePage, 0, 1, Qt::AlignLeft);
    links->addWidget(lblCEMail, 1, 0);
    links->addWidget(lblEmail, 1, 1, Qt::AlignLeft);
    links->setColumnStretch(1, 1);

    auto *buttons = new QHBoxLayout;
    buttons->setSpacing(7);
    buttons->addWidget(cmdAboutGoma, 1);
    buttons->addWidget(cmdAboutPGP, 1);

    auto *panel = new QVBoxLayout(pnlAbout);
    panel->setContentsMargins(8, 8, 8, 8);
    panel->setSpacing(6);
    panel->addLayout(header);
    panel->addWidget(lblCopyright);
    panel->addLayout(links);
    panel->addWidget(bvlPGPandGOMA);
    panel->addWidget(lblAboutGOMA);
    panel->addLayout(buttons);

    auto *outer = new QVBoxLayout(this);
    outer->setContentsMargins(8, 8, 8, 8);
    outer->setSpacing(15);
    outer->addWidget(pnlAbout);
    outer->addWidget(cmdOK, 0, Qt::AlignHCenter);
    outer->setSizeConstraint(QLayout::SetFixedSize);

    connect(cmdOK, &QPushButton::clicked, this, zv::guarded(this, &TfrmAbout::cmdOKClick));
    connect(cmdAboutPGP, &QPushButton::clicked, this, zv::guarded(this, &TfrmAbout::cmdAboutPGPClick));
    connect(cmdAboutGoma, &QPushButton::clicked, this, zv::guarded(this, &TfrmAbout::cmdAboutGomaClick));

    setTabOrder(cmdOK, lblHomePage);
    setTabOrder(lblHomePage, lblEmail);
    setTabOrder(lblEmail, cmdAboutGoma);
    setTabOrder(cmdAboutGoma, cmdAboutPGP);
    cmdOK->setFocus();
}

void TfrmAbout::FormCreate()
{
    imgAppIcon->setPixmap(zv::appIcon().pixmap(QSize(32, 32), devicePixelRatioF()));
}

void TfrmAbout::cmdOKClick() { accept(); }

void TfrmAbout::lblHomePageClick() { zv::Dialogs::instance().openUrl(QUrl(homePage())); }

void TfrmAbout::lblEmailClick()
{
    zv::Dialogs::instance().openUrl(QUrl(QStringLiteral("mailto:") + emailAddress()));
}

void TfrmAbout::cmdAboutPGPClick() { TfrmMain::pgp().about(this); }

void TfrmAbout::cmdAboutGomaClick()
{
    const int v = TfrmMain::pgp().version();
    zv::Dialogs::instance().messageBox(this, u("Goma.dllのバージョンは ") + QString::number(v) + u(" です。"),
                                       u("Gomaについて"), zv::MB_OK | zv::MB_ICONEXCLAMATION);
}

bool TfrmAbout::eventFilter(QObject *watched, QEvent *e)
{
    if (watched == lblHomePage || watched == lblEmail) {
        auto run = [this, watched] {
            zv::runGuarded([this, watched] {
                if (watched == lblHomePage)
                    lblHomePageClick();
                else
                    lblEmailClick();
            });
        };
        if (e->type() == QEvent::MouseButtonRelease) {
            auto *me = static_cast<QMouseEvent *>(e);
            if (me->button() == Qt::LeftButton && static_cast<QWidget *>(watched)->rect().contains(me->position().toPoint())) {
                run();
                return true;
            }
        } else if (e->type() == QEvent::KeyPress) {
            const int key = static_cast<QKeyEvent *>(e)->key();
            if (key == Qt::Key_Space || key == Qt::Key_Return || key == Qt::Key_Enter) {
                run();
                return true;
            }
        }
    }
    return QDialog::eventFilter(watched, e);
}

void TfrmAbout::showEvent(QShowEvent *e)
{
    // Centred on the screen the first time it is shown.
    if (!m_placed) {
        m_placed = true;
        if (QScreen *s = screen())
            move(s->availableGeometry().center() - QPoint(width() / 2, height() / 2));
    }
    QDialog::showEvent(e);
}
