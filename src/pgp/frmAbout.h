#pragma once
// The About dialog: the program's name and version, the author's links, the credit to the PGP library, and
// the library's own About window and version. The Help menu creates one for each use (owned by the main
// window), runs it modally and destroys it.

#include <QDialog>

class QFrame;
class QLabel;
class QPushButton;

class TfrmAbout : public QDialog {
    Q_OBJECT
public:
    explicit TfrmAbout(QWidget *owner = nullptr);
    ~TfrmAbout() override;

    // The author's homepage and e-mail address as the links open them.
    static QString homePage();
    static QString emailAddress();

    // ---- components --------------------------------------------------------------------------------
    QFrame *pnlAbout = nullptr;
    QLabel *imgAppIcon = nullptr;
    QLabel *lblAppName = nullptr;
    QLabel *lblVersion = nullptr;
    QLabel *lblCopyright = nullptr;
    QLabel *lblCHomePage = nullptr;
    QLabel *lblHomePage = nullptr;
    QLabel *lblCEMail = nullptr;
    QLabel *lblEmail = nullptr;
    QFrame *bvlPGPandGOMA = nullptr;
    QLabel *lblAboutGOMA = nullptr;
    QPushButton *cmdAboutGoma = nullptr;
    QPushButton *cmdAboutPGP = nullptr;
    QPushButton *cmdOK = nullptr;

    // ---- handlers ----------------------------------------------------------------------------------
    void FormCreate();
    void cmdOKClick();
    void lblHomePageClick();
    void lblEmailClick();
    void cmdAboutPGPClick();
    void cmdAboutGomaClick();

protected:
    bool eventFilter(QObject *watched, QEvent *e) override;
    void showEvent(QShowEvent *e) override;

private:
    void buildLayout();
    bool m_placed = false;
};
