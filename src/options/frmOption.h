#pragma once
// The options dialog: the persisted settings of the editor on three pages ("全般", "エディタ", "PGP").
// The main window's Options command (options/viewoption.cpp) creates one for each use, fills the part of
// it the dialog does not read itself, runs it modally, takes back its results and destroys it.

#include "platform/dialogs.h"
#include "platform/editor.h"

#include <QDialog>
#include <QFrame>
#include <QSpinBox>

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QTabWidget;
class QTimer;

// A colour swatch: a sunken panel filled with one colour (0x00BBGGRR).
class TColorPanel : public QFrame {
    Q_OBJECT
    Q_PROPERTY(unsigned color READ color WRITE setColor)
public:
    explicit TColorPanel(QWidget *parent = nullptr);
    unsigned color() const { return m_color; }
    void setColor(unsigned color);

private:
    unsigned m_color = 0xFFFFFF;
};

// The tab-width spin control; its text box is reachable as txtTabWidth.
class TTabWidthSpin : public QSpinBox {
    Q_OBJECT
public:
    using QSpinBox::QSpinBox;
    QLineEdit *textBox() const { return lineEdit(); }
};

class TfrmOption : public QDialog {
    Q_OBJECT
public:
    // Builds the dialog and runs FormCreate, which fills what the dialog reads from the settings itself.
    explicit TfrmOption(QWidget *owner = nullptr);
    ~TfrmOption() override;

    // ---- components ---------------------------------------------------------------------------------
    QTabWidget *pgcOption = nullptr;
    QWidget *tabPublic = nullptr, *tabEditor = nullptr, *tabPGP = nullptr;
    QPushButton *cmdOK = nullptr, *cmdCancel = nullptr;

    // "全般"
    QGroupBox *grpShellProg = nullptr;
    QLabel *lblShellProg = nullptr;
    QLineEdit *txtShellProg = nullptr;
    QPushButton *cmdShellProg = nullptr;
    QLabel *lblTmpShellProg = nullptr; // hidden: the external program handed in and back
    QGroupBox *grpDateTime = nullptr;
    QLabel *lblTimeDateInfo = nullptr, *lblSample = nullptr;
    QComboBox *txtDateTime = nullptr;
    QGroupBox *grpOther = nullptr;
    QCheckBox *chkFlatToolbar = nullptr, *chkEscExit = nullptr;
    QGroupBox *grpPrintOutFont = nullptr; // hidden
    QLabel *lblPrintFont = nullptr;
    QPushButton *cmdPrintFont = nullptr;

    // "エディタ"
    QLabel *lblPreviewInfo = nullptr;
    zv::Editor *lblPreview = nullptr; // the model of the editor's font and colours
    QPushButton *cmdFontSelect = nullptr;
    QGroupBox *grpColor = nullptr;
    QLabel *lblColorSelectInfo = nullptr;
    QComboBox *cmbColorSelect = nullptr;
    TColorPanel *pnlTextColor = nullptr, *pnlBackColor = nullptr;
    QPushButton *cmdTextColor = nullptr, *cmdBackColor = nullptr;
    QGroupBox *grpIME = nullptr;
    QRadioButton *radJapanese = nullptr, *radDontCare = nullptr;
    QGroupBox *grpTab = nullptr;
    QLabel *lblTabWidthInfo = nullptr;
    TTabWidthSpin *udTabWidth = nullptr;
    QLineEdit *txtTabWidth = nullptr; // the text box of udTabWidth
    QCheckBox *chkTabToSpace = nullptr, *chkVertical = nullptr, *chkSelBar = nullptr, *chkAutoIndent = nullptr;

    // "PGP"
    QGroupBox *grpPGPCode = nullptr;
    QLabel *Label1 = nullptr;
    QRadioButton *optShiftJIS = nullptr, *optJIS = nullptr;

    // Non-visual parts.
    QTimer *tmrDateTime = nullptr;
    QLabel *tmpDateTime = nullptr;  // hidden: the main window's date/time format when the dialog opened
    zv::FileDialogSpec OpenExe;     // the program browser
    zv::FontSpec FPrintFont;        // the font shown by lblPrintFont

    // ---- what the dialog hands back -------------------------------------------------------------------
    // The date/time format: the format box's text after OK, the format handed in otherwise.
    QString DateTimeFormat() const;
    bool OKPressed() const { return FOKPressed; }

    // Sets one of two radio buttons of a group: first when on, second otherwise.
    static void SetRadio(QRadioButton *first, QRadioButton *second, bool on);

    // ---- handlers -------------------------------------------------------------------------------------
    void FormCreate();
    void FormShow();
    void FormClose();
    void cmdOKClick();
    void cmdCancelClick();
    void cmdShellProgClick();
    void tmrDateTimeTimer();
    void cmdFontSelectClick();
    void cmbColorSelectChange();
    void cmdTextColorClick();
    void cmdBackColorClick();
    void chkSelBarClick();
    void chkVerticalClick();
    void lblPreviewKeyPress(int &key);
    void cmdPrintFontClick();

    void done(int result) override;
    void reject() override;

protected:
    void showEvent(QShowEvent *e) override;

private:
    void buildLayout();
    void buildTabOrder();
    void SetPreviewImeColor();
    void ApplyPrintFont();
    bool FOKPressed = false;
    QString FDateTimeFormat;
};
