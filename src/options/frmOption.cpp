// The options dialog: its pages, filling from the settings, OK and Cancel, and the interactive parts of
// its pages (colour pairs, preview, font choice, date/time sample, program browser).

#include "frmOption.h"
#include "app/frmMain.h"
#include "editor/datetimeformat.h"
#include "platform/application.h"
#include "platform/colors.h"
#include "platform/settingsstore.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDateTime>
#include <QGridLayout>
#include <QGroupBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QRadioButton>
#include <QScreen>
#include <QShowEvent>
#include <QTabWidget>
#include <QTimer>
#include <QVBoxLayout>

using namespace zv;

namespace {

QString u(const char *s) { return QString::fromUtf8(s); }

// The accessible name of a control: its caption without the accelerator mark and the trailing dots.
QString spoken(QString caption)
{
    caption.remove(QRegularExpression(QStringLiteral("\\(&.\\)")));
    caption.remove(QLatin1Char('&'));
    if (caption.endsWith(QLatin1String("...")))
        caption.chop(3);
    if (caption.endsWith(QLatin1Char(':')))
        caption.chop(1);
    return caption.trimmed();
}

template <typename W>
W *named(W *w, const char *name, const QString &accessibleName)
{
    w->setObjectName(QString::fromLatin1(name));
    w->setAccessibleName(accessibleName);
    return w;
}

QLabel *wrappedLabel(const QString &text, QWidget *parent, const char *name)
{
    auto *l = named(new QLabel(text, parent), name, text);
    l->setWordWrap(true);
    l->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    return l;
}

QCheckBox *checkBox(const char *caption, QWidget *parent, const char *name)
{
    return named(new QCheckBox(u(caption), parent), name, spoken(u(caption)));
}

QRadioButton *radio(const char *caption, QWidget *parent, const char *name)
{
    return named(new QRadioButton(u(caption), parent), name, spoken(u(caption)));
}

QPushButton *button(const char *caption, QWidget *parent, const char *name)
{
    auto *b = named(new QPushButton(u(caption), parent), name, spoken(u(caption)));
    b->setMinimumSize(81, 21);
    return b;
}

QGroupBox *group(const char *title, QWidget *parent, const char *name)
{
    return named(new QGroupBox(u(title), parent), name, u(title));
}

const char *const kPreviewText = "ABC abc ひらがな カタカナ 漢字 、。123\n"
                                 "ここで、文字の変換色をテストしてください。";

} // namespace

// ---- the colour swatch ------------------------------------------------------------------------------

TColorPanel::TColorPanel(QWidget *parent) : QFrame(parent)
{
    setFrameStyle(QFrame::Panel | QFrame::Sunken);
    setLineWidth(1);
    setAutoFillBackground(true);
    setFixedSize(21, 21);
    setColor(m_color);
}

void TColorPanel::setColor(unsigned color)
{
    m_color = color & 0xFFFFFF;
    QPalette p = palette();
    p.setColor(QPalette::Window, toQColor(m_color));
    setPalette(p);
    setAccessibleDescription(toQColor(m_color).name());
    update();
}

// ---- construction -----------------------------------------------------------------------------------

TfrmOption::TfrmOption(QWidget *owner) : QDialog(owner)
{
    buildLayout();
    buildTabOrder();

    // The sample timer runs from creation to destruction, whichever page is shown.
    tmrDateTime = new QTimer(this);
    tmrDateTime->setObjectName(QStringLiteral("tmrDateTime"));
    tmrDateTime->setInterval(500);
    connect(tmrDateTime, &QTimer::timeout, this, guarded(this, &TfrmOption::tmrDateTimeTimer));
    tmrDateTime->start();

    FormCreate();

    // Centred on the screen.
    adjustSize();
    if (QScreen *screen = owner ? owner->screen() : QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());

    // Only a change by the user (or a later program change) runs the handler, not the first selection.
    connect(cmbColorSelect, &QComboBox::currentIndexChanged, this, guarded(this, &TfrmOption::cmbColorSelectChange));
}

TfrmOption::~TfrmOption() = default;

void TfrmOption::buildLayout()
{
    setObjectName(QStringLiteral("frmOption"));
    setWindowTitle(u("オプション"));
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    setSizeGripEnabled(false);

    auto *outer = new QVBoxLayout(this);
    outer->setContentsMargins(8, 8, 8, 8);
    outer->setSpacing(7);

    pgcOption = named(new QTabWidget(this), "pgcOption", u("オプション"));
    pgcOption->setMinimumSize(433, 273);
    outer->addWidget(pgcOption, 1);

    auto *buttons = new QHBoxLayout;
    buttons->addStretch(1);
    cmdOK = button("OK", this, "cmdOK");
    cmdOK->setDefault(true);
    cmdCancel = button("キャンセル", this, "cmdCancel");
    buttons->addWidget(cmdOK);
    buttons->addWidget(cmdCancel);
    outer->addLayout(buttons);
    connect(cmdOK, &QPushButton::clicked, this, guarded(this, &TfrmOption::cmdOKClick));
    connect(cmdCancel, &QPushButton::clicked, this, guarded(this, &TfrmOption::cmdCancelClick));

    // ---- "全般" ----
    tabPublic = named(new QWidget, "tabPublic", u("全般"));
    pgcOption->addTab(tabPublic, u("全般"));
    auto *pub = new QVBoxLayout(tabPublic);
    pub->setContentsMargins(8, 8, 8, 8);
    pub->setSpacing(7);

    grpShellProg = group("外部プログラム", tabPublic, "grpShellProg");
    {
        auto *g = new QGridLayout(grpShellProg);
        g->setHorizontalSpacing(8);
        lblShellProg = wrappedLabel(
            u("Internet Explorerなどの外部プログラムをフォルダ名を含めて指定してください。 例) C:\\Windows\\Explorer.exe"),
            grpShellProg, "lblShellProg");
        lblShellProg->setMinimumWidth(305);
        cmdShellProg = button("参照(&S)...", grpShellProg, "cmdShellProg");
        txtShellProg = named(new QLineEdit(grpShellProg), "txtShellProg", u("外部プログラム"));
        lblShellProg->setBuddy(txtShellProg);
        lblTmpShellProg = named(new QLabel(grpShellProg), "lblTmpShellProg", u("外部プログラム"));
        lblTmpShellProg->hide();
        g->addWidget(lblShellProg, 0, 0);
        g->addWidget(cmdShellProg, 0, 1, Qt::AlignTop | Qt::AlignRight);
        g->addWidget(txtShellProg, 1, 0, 1, 2);
        g->setColumnStretch(0, 1);
        connect(cmdShellProg, &QPushButton::clicked, this, guarded(this, &TfrmOption::cmdShellProgClick));
    }
    pub->addWidget(grpShellProg);

    auto *pubRow = new QHBoxLayout;
    pubRow->setSpacing(7);
    grpDateTime = group("日付と時刻", tabPublic, "grpDateTime");
    grpDateTime->setMinimumWidth(217);
    {
        auto *v = new QVBoxLayout(grpDateTime);
        lblTimeDateInfo = wrappedLabel(u("Zuvelo PGPで時刻を挿入するときのフォーマットを指定します。"
                                         "標準に戻すには空の文字列を指定してください。"),
                                       grpDateTime, "lblTimeDateInfo");
        lblSample = wrappedLabel(QString(), grpDateTime, "lblSample");
        lblSample->setAccessibleDescription(u("サンプル")); // its name is the sample text itself
        lblSample->setMinimumHeight(2 * lblSample->fontMetrics().height());
        txtDateTime = named(new QComboBox(grpDateTime), "txtDateTime", u("日付と時刻のフォーマット"));
        txtDateTime->setEditable(true);
        txtDateTime->setInsertPolicy(QComboBox::NoInsert);
        txtDateTime->setCompleter(nullptr); // the format is stored exactly as typed
        txtDateTime->addItems(dateTimePresets());
        txtDateTime->setMaxVisibleItems(17);
        txtDateTime->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
        txtDateTime->setMinimumContentsLength(16);
        lblTimeDateInfo->setBuddy(txtDateTime);
        v->addWidget(lblTimeDateInfo);
        v->addWidget(lblSample);
        v->addStretch(1);
        v->addWidget(txtDateTime);
    }
    pubRow->addWidget(grpDateTime, 217);

    auto *pubRight = new QVBoxLayout;
    pubRight->setSpacing(7);
    grpOther = group("その他", tabPublic, "grpOther");
    grpOther->setMinimumWidth(185);
    {
        auto *v = new QVBoxLayout(grpOther);
        chkFlatToolbar = checkBox("ツールバーをフラット化(&T)", grpOther, "chkFlatToolbar");
        chkEscExit = checkBox("エスケープキーで終了(&E)", grpOther, "chkEscExit");
        v->addWidget(chkFlatToolbar);
        v->addWidget(chkEscExit);
    }
    pubRight->addWidget(grpOther);
    grpPrintOutFont = group("印刷フォント", tabPublic, "grpPrintOutFont");
    {
        auto *v = new QVBoxLayout(grpPrintOutFont);
        lblPrintFont = named(new QLabel(u("ＭＳ 明朝 10pt"), grpPrintOutFont), "lblPrintFont", u("印刷フォント"));
        lblPrintFont->setAutoFillBackground(true);
        QPalette p = lblPrintFont->palette();
        p.setColor(QPalette::Window, Qt::white);
        p.setColor(QPalette::WindowText, Qt::black);
        lblPrintFont->setPalette(p);
        cmdPrintFont = button("フォントの変更(&F)...", grpPrintOutFont, "cmdPrintFont");
        v->addWidget(lblPrintFont);
        v->addWidget(cmdPrintFont, 0, Qt::AlignRight);
        connect(cmdPrintFont, &QPushButton::clicked, this, guarded(this, &TfrmOption::cmdPrintFontClick));
    }
    grpPrintOutFont->hide();
    pubRight->addWidget(grpPrintOutFont);
    pubRight->addStretch(1);
    pubRow->addLayout(pubRight, 185);
    pub->addLayout(pubRow, 1);

    // ---- "エディタ" ----
    tabEditor = named(new QWidget, "tabEditor", u("エディタ"));
    pgcOption->addTab(tabEditor, u("エディタ"));
    auto *ed = new QVBoxLayout(tabEditor);
    ed->setContentsMargins(8, 8, 8, 8);
    ed->setSpacing(4);

    lblPreviewInfo = named(new QLabel(u("プレビュー(&P):"), tabEditor), "lblPreviewInfo", u("プレビュー"));
    lblPreview = named(new Editor(tabEditor), "lblPreview", u("プレビュー"));
    lblPreview->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    lblPreview->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    lblPreview->setTabChangesFocus(false);
    lblPreview->setEditorFont(FontSpec{});
    // Room for the two lines of the preview text in the designed font.
    lblPreview->setMinimumSize(409, 65);
    lblPreview->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    lblPreview->setFixedHeight(std::max(65, 2 * QFontMetrics(lblPreview->font()).lineSpacing() +
                                                2 * lblPreview->frameWidth() + 16));
    lblPreview->loadText(u(kPreviewText));
    lblPreview->onKeyPress = [this](int &key) { lblPreviewKeyPress(key); };
    lblPreviewInfo->setBuddy(lblPreview);
    ed->addWidget(lblPreviewInfo);
    ed->addWidget(lblPreview);
    ed->addSpacing(3);

    auto *edRow = new QHBoxLayout;
    edRow->setSpacing(7);

    auto *col0 = new QVBoxLayout;
    col0->setSpacing(3);
    cmdFontSelect = button("フォントの変更(&F)...", tabEditor, "cmdFontSelect");
    cmdFontSelect->setMinimumWidth(129);
    connect(cmdFontSelect, &QPushButton::clicked, this, guarded(this, &TfrmOption::cmdFontSelectClick));
    grpColor = group("色", tabEditor, "grpColor");
    grpColor->setMinimumWidth(129);
    {
        auto *g = new QGridLayout(grpColor);
        g->setVerticalSpacing(3);
        lblColorSelectInfo = named(new QLabel(u("指定する部分(&S):"), grpColor), "lblColorSelectInfo", u("指定する部分"));
        cmbColorSelect = named(new QComboBox(grpColor), "cmbColorSelect", u("指定する部分"));
        for (const char *entry : {"標準", "IME入力中文字", "IME注目文節", "IME変換済み文節", "IME文節区切り変更"})
            cmbColorSelect->addItem(u(entry));
        cmbColorSelect->setSizeAdjustPolicy(QComboBox::AdjustToContents);
        lblColorSelectInfo->setBuddy(cmbColorSelect);
        pnlTextColor = named(new TColorPanel(grpColor), "pnlTextColor", u("テキストの色"));
        pnlBackColor = named(new TColorPanel(grpColor), "pnlBackColor", u("背景色"));
        cmdTextColor = button("テキスト(&T)...", grpColor, "cmdTextColor");
        cmdBackColor = button("背景色(&B)...", grpColor, "cmdBackColor");
        connect(cmdTextColor, &QPushButton::clicked, this, guarded(this, &TfrmOption::cmdTextColorClick));
        connect(cmdBackColor, &QPushButton::clicked, this, guarded(this, &TfrmOption::cmdBackColorClick));
        g->addWidget(lblColorSelectInfo, 0, 0, 1, 2);
        g->addWidget(cmbColorSelect, 1, 0, 1, 2);
        g->addWidget(pnlTextColor, 2, 0);
        g->addWidget(cmdTextColor, 2, 1);
        g->addWidget(pnlBackColor, 3, 0);
        g->addWidget(cmdBackColor, 3, 1);
        g->setColumnStretch(1, 1);
    }
    col0->addWidget(cmdFontSelect);
    col0->addWidget(grpColor);
    col0->addStretch(1);
    edRow->addLayout(col0);

    auto *col1 = new QVBoxLayout;
    col1->setSpacing(7);
    grpIME = group("起動時のIME", tabEditor, "grpIME");
    grpIME->setMinimumWidth(153);
    {
        auto *v = new QVBoxLayout(grpIME);
        radJapanese = radio("日本語入力モード(&J)", grpIME, "radJapanese");
        radDontCare = radio("半角英数モード(&E)", grpIME, "radDontCare");
        radDontCare->setChecked(true); // as designed; the stored value decides
        v->addWidget(radJapanese);
        v->addWidget(radDontCare);
    }
    grpTab = group("タブ", tabEditor, "grpTab");
    grpTab->setMinimumWidth(153);
    {
        auto *g = new QGridLayout(grpTab);
        lblTabWidthInfo = named(new QLabel(u("タブ幅:"), grpTab), "lblTabWidthInfo", u("タブ幅"));
        udTabWidth = named(new TTabWidthSpin(grpTab), "udTabWidth", u("タブ幅"));
        udTabWidth->setRange(1, 20);
        udTabWidth->setSingleStep(1);
        udTabWidth->setWrapping(false);
        udTabWidth->setCorrectionMode(QAbstractSpinBox::CorrectToPreviousValue);
        udTabWidth->setAttribute(Qt::WA_InputMethodEnabled, false);
        udTabWidth->setInputMethodHints(Qt::ImhDigitsOnly | Qt::ImhPreferLatin);
        txtTabWidth = udTabWidth->textBox();
        txtTabWidth->setObjectName(QStringLiteral("txtTabWidth"));
        txtTabWidth->setAccessibleName(u("タブ幅"));
        txtTabWidth->setAttribute(Qt::WA_InputMethodEnabled, false);
        txtTabWidth->setInputMethodHints(Qt::ImhDigitsOnly | Qt::ImhPreferLatin);
        lblTabWidthInfo->setBuddy(udTabWidth);
        chkTabToSpace = checkBox("スペースに変換(&S)", grpTab, "chkTabToSpace");
        g->addWidget(lblTabWidthInfo, 0, 0);
        g->addWidget(udTabWidth, 0, 1, Qt::AlignLeft);
        g->addWidget(chkTabToSpace, 1, 0, 1, 2);
        g->setColumnStretch(1, 1);
    }
    col1->addWidget(grpIME);
    col1->addWidget(grpTab);
    col1->addStretch(1);
    edRow->addLayout(col1);

    auto *col2 = new QVBoxLayout;
    col2->setSpacing(6);
    chkVertical = checkBox("縦書き(&V)", tabEditor, "chkVertical");
    chkSelBar = checkBox("行選択バー(&L)", tabEditor, "chkSelBar");
    chkAutoIndent = checkBox("自動インデント(&A)", tabEditor, "chkAutoIndent");
    connect(chkSelBar, &QCheckBox::toggled, this, guarded(this, &TfrmOption::chkSelBarClick));
    connect(chkVertical, &QCheckBox::toggled, this, guarded(this, &TfrmOption::chkVerticalClick));
    col2->addSpacing(8);
    col2->addWidget(chkVertical);
    col2->addWidget(chkSelBar);
    col2->addWidget(chkAutoIndent);
    col2->addStretch(1);
    edRow->addLayout(col2);
    edRow->addStretch(1);
    ed->addLayout(edRow, 1);

    // ---- "PGP" ----
    tabPGP = named(new QWidget, "tabPGP", u("PGP"));
    pgcOption->addTab(tabPGP, u("PGP"));
    auto *pgp = new QGridLayout(tabPGP);
    pgp->setContentsMargins(8, 8, 8, 8);
    grpPGPCode = group("文字セット", tabPGP, "grpPGPCode");
    grpPGPCode->setMinimumWidth(233);
    {
        auto *v = new QVBoxLayout(grpPGPCode);
        Label1 = wrappedLabel(u("一部のバージョンのPGPでは、文字化けを起こす場合があります。"
                                "その場合のみ、以下の設定を変更してください。"),
                              grpPGPCode, "Label1");
        Label1->setMinimumWidth(217);
        optShiftJIS = radio("Shift-JIS(&S)", grpPGPCode, "optShiftJIS");
        optJIS = radio("JIS(&J)", grpPGPCode, "optJIS");
        v->addWidget(Label1);
        v->addWidget(optShiftJIS);
        v->addWidget(optJIS);
    }
    pgp->addWidget(grpPGPCode, 0, 0);
    pgp->setColumnStretch(1, 1);
    pgp->setRowStretch(1, 1);

    tmpDateTime = named(new QLabel(this), "tmpDateTime", u("日付と時刻のフォーマット"));
    tmpDateTime->hide();

    OpenExe.title = u("ファイルを開く");
    // Programs on this system carry no ".exe": the first entry lists every file, as the second does, so
    // that a program can be picked without switching the filter.
    OpenExe.filters = QStringList{u("実行可能ファイル|*"), u("すべてのファイル (*.*)|*")};
    OpenExe.filterIndex = 1;

    pgcOption->setCurrentIndex(0);

    // A fixed dialog, as large as its captions need and never smaller than designed.
    outer->setSizeConstraint(QLayout::SetFixedSize);
}

void TfrmOption::buildTabOrder()
{
    const QList<QWidget *> order{
        pgcOption,
        // "全般"
        txtShellProg, cmdShellProg, txtDateTime, chkFlatToolbar, chkEscExit, cmdPrintFont,
        // "エディタ"
        cmdFontSelect, cmbColorSelect, cmdTextColor, cmdBackColor, radJapanese, radDontCare, udTabWidth,
        chkTabToSpace, chkVertical, chkSelBar, chkAutoIndent, lblPreview,
        // "PGP"
        optShiftJIS, optJIS,
        cmdOK, cmdCancel,
    };
    for (qsizetype i = 1; i < order.size(); ++i)
        QWidget::setTabOrder(order.at(i - 1), order.at(i));
}

void TfrmOption::SetRadio(QRadioButton *first, QRadioButton *second, bool on)
{
    // The checked button of a group cannot be unchecked directly: check the other one.
    (on ? first : second)->setChecked(true);
}

// ---- FormCreate, FormShow, OK, Cancel, FormClose ----------------------------------------------------

void TfrmOption::FormCreate()
{
    // 1. The working copy keeps the effects the preview reports.
    CompColorTable colors = lblPreview->imeColors();

    // 2.
    SettingsStore store;

    // 3. The preview's style, plain before.
    FontSpec font = lblPreview->editorFont();
    TfrmMain::ReadStoredFontStyle(store, font);
    lblPreview->setEditorFont(font);

    // 4. The print-font label's style.
    FPrintFont = FontSpec{};
    FPrintFont.name = u("ＭＳ 明朝");
    FPrintFont.pointSize = 10;
    FPrintFont.bold = store.read(setting::PrintFontBold);
    FPrintFont.italic = store.read(setting::PrintFontItalic);
    FPrintFont.underline = store.read(setting::PrintFontUnderline);
    FPrintFont.strikeOut = store.read(setting::PrintFontStrikeOut);
    {
        QFont f(FPrintFont.name);
        f.setPixelSize(13);
        f.setBold(FPrintFont.bold);
        f.setItalic(FPrintFont.italic);
        f.setUnderline(FPrintFont.underline);
        f.setStrikeOut(FPrintFont.strikeOut);
        lblPrintFont->setFont(f);
    }

    // 5.
    SetRadio(optShiftJIS, optJIS, store.read(setting::PgpCharSet));

    // 6. When false, the designed "半角英数モード" stays selected.
    if (store.read(setting::ImeMode))
        radJapanese->setChecked(true);

    // 7. A box that changes runs its handler, so the preview follows at once.
    chkSelBar->setChecked(store.read(setting::SelBar));
    chkVertical->setChecked(store.read(setting::Vertical));

    // 8. The spin control keeps the width within its range.
    udTabWidth->setValue(store.read(setting::TabWidth));

    // 9.
    for (size_t i = 0; i < colors.size(); ++i) {
        colors[i].background = unsigned(store.read(setting::ImeBackground[i]));
        colors[i].text = unsigned(store.read(setting::ImeText[i]));
    }

    // 10.
    lblPreview->setImeColors(colors);

    // 11. (The change handler is connected afterwards.)
    cmbColorSelect->setCurrentIndex(0);
}

void TfrmOption::showEvent(QShowEvent *e)
{
    QDialog::showEvent(e);
    if (!e->spontaneous())
        runGuarded([this] { FormShow(); });
}

void TfrmOption::FormShow()
{
    pnlBackColor->setColor(lblPreview->backgroundColor());
    pnlTextColor->setColor(lblPreview->editorFont().color);
}

QString TfrmOption::DateTimeFormat() const { return FOKPressed ? FDateTimeFormat : tmpDateTime->text(); }

void TfrmOption::cmdOKClick()
{
    // A width still being typed counts as far as the spin control accepts it.
    udTabWidth->interpretText();

    // 1, 2.
    FDateTimeFormat = txtDateTime->currentText();
    lblTmpShellProg->setText(txtShellProg->text());

    // 3. The editor's font and background take effect at once; the window keeps the font as its own.
    const FontSpec font = lblPreview->editorFont();
    const unsigned back = lblPreview->backgroundColor();
    if (frmMain) {
        frmMain->Memo->setBackgroundColor(back);
        frmMain->Memo->setEditorFont(font);
        frmMain->FFont = font;
    }

    // 4.
    const CompColorTable colors = lblPreview->imeColors();

    // 5. All 27 settings, in this order, in one write of the settings file.
    SettingsBatch values;
    values.set(setting::ImeMode, radJapanese->isChecked());
    values.set(setting::SelBar, chkSelBar->isChecked());
    values.set(setting::Vertical, chkVertical->isChecked());
    values.set(setting::FontName, font.name);
    values.set(setting::FontSize, font.pointSize);
    values.set(setting::FontColor, int(font.color));
    values.set(setting::FontBold, font.bold);
    values.set(setting::FontItalic, font.italic);
    values.set(setting::FontUnderline, font.underline);
    values.set(setting::FontStrikeOut, font.strikeOut);
    values.set(setting::BackColor, int(back));
    values.set(setting::EscExit, chkEscExit->isChecked());
    values.set(setting::FlatToolbar, chkFlatToolbar->isChecked());
    values.set(setting::AutoIndent, chkAutoIndent->isChecked());
    values.set(setting::TabToSpace, chkTabToSpace->isChecked());
    values.set(setting::DateTime, txtDateTime->currentText());
    values.set(setting::ShellProg, txtShellProg->text());
    values.set(setting::TabWidth, udTabWidth->value());
    for (size_t i = 0; i < colors.size(); ++i) {
        values.set(setting::ImeBackground[i], int(colors[i].background));
        values.set(setting::ImeText[i], int(colors[i].text));
    }
    values.set(setting::PgpCharSet, optShiftJIS->isChecked());
    SettingsStore::commit(values);

    // 6.
    FOKPressed = true;
    done(QDialog::Accepted);
}

void TfrmOption::cmdCancelClick()
{
    // The format the main window had goes back (DateTimeFormat); nothing is written or applied.
    FOKPressed = false;
    done(QDialog::Rejected);
}

void TfrmOption::reject()
{
    // Esc, the close box and the system menu close the dialog as Cancel does.
    cmdCancelClick();
}

void TfrmOption::done(int result)
{
    QDialog::done(result);
    FormClose();
}

void TfrmOption::FormClose()
{
    if (!frmMain)
        return;
    const bool shown = !lblTmpShellProg->text().isEmpty();
    frmMain->tbShell->setVisible(shown);
    frmMain->tbSep5->setVisible(shown);
}

// ---- the pages' handlers ------------------------------------------------------------------------------

void TfrmOption::cmbColorSelectChange()
{
    const CompColorTable colors = lblPreview->imeColors();
    const int index = cmbColorSelect->currentIndex();
    if (index == 0) {
        pnlBackColor->setColor(lblPreview->backgroundColor());
        pnlTextColor->setColor(lblPreview->editorFont().color);
    } else if (index >= 1 && index <= 4) {
        pnlBackColor->setColor(colors[size_t(index - 1)].background);
        pnlTextColor->setColor(colors[size_t(index - 1)].text);
    }
}

void TfrmOption::cmdTextColorClick()
{
    unsigned color = pnlTextColor->color();
    if (!Dialogs::instance().chooseColor(this, color))
        return;
    pnlTextColor->setColor(color);
    if (cmbColorSelect->currentIndex() == 0) {
        FontSpec font = lblPreview->editorFont();
        font.color = pnlTextColor->color();
        lblPreview->setEditorFont(font);
    } else {
        SetPreviewImeColor();
    }
}

void TfrmOption::cmdBackColorClick()
{
    unsigned color = pnlBackColor->color();
    if (!Dialogs::instance().chooseColor(this, color))
        return;
    pnlBackColor->setColor(color);
    if (cmbColorSelect->currentIndex() == 0)
        lblPreview->setBackgroundColor(pnlBackColor->color());
    else
        SetPreviewImeColor();
}

void TfrmOption::SetPreviewImeColor()
{
    // Only the colours of the selected entry change; every entry keeps its effects.
    CompColorTable colors = lblPreview->imeColors();
    const int entry = cmbColorSelect->currentIndex() - 1;
    if (entry < 0 || entry >= int(colors.size()))
        return;
    colors[size_t(entry)].text = pnlTextColor->color();
    colors[size_t(entry)].background = pnlBackColor->color();
    lblPreview->setImeColors(colors);
}

void TfrmOption::cmdFontSelectClick()
{
    FontSpec font = lblPreview->editorFont();
    if (!Dialogs::instance().chooseFont(this, font))
        return;
    lblPreview->setEditorFont(font);
    if (cmbColorSelect->currentIndex() == 0)
        pnlTextColor->setColor(font.color);
}

void TfrmOption::chkSelBarClick()
{
    lblPreview->setUpdatesEnabled(false);
    lblPreview->setOptions(ECOOP_OR, ECO_SELECTIONBAR);
    if (!chkSelBar->isChecked())
        lblPreview->setOptions(ECOOP_XOR, ECO_SELECTIONBAR);
    lblPreview->setUpdatesEnabled(true);
}

void TfrmOption::chkVerticalClick()
{
    lblPreview->setUpdatesEnabled(false);
    lblPreview->setOptions(ECOOP_OR, ECO_VERTICAL);
    if (!chkVertical->isChecked())
        lblPreview->setOptions(ECOOP_XOR, ECO_VERTICAL);
    lblPreview->setUpdatesEnabled(true);
}

void TfrmOption::lblPreviewKeyPress(int &key)
{
    // Auto indent, as the main editor does it. Enter is always taken by the preview, never by the dialog's
    // default button.
    if (!chkAutoIndent->isChecked() || key != 13)
        return;
    lblPreview->insertIndentedLineBreak();
    key = 0;
}

void TfrmOption::tmrDateTimeTimer()
{
    lblSample->setText(formatDateTime(txtDateTime->currentText(), QDateTime::currentDateTime()));
}

void TfrmOption::cmdShellProgClick()
{
    OpenExe.filterIndex = 1;
    if (Dialogs::instance().openFile(this, OpenExe))
        txtShellProg->setText(OpenExe.fileName);
}

void TfrmOption::cmdPrintFontClick()
{
    FontSpec font = FPrintFont;
    if (!Dialogs::instance().chooseFont(this, font))
        return;
    FPrintFont = font;
    ApplyPrintFont();
}

void TfrmOption::ApplyPrintFont()
{
    QFont f(FPrintFont.name);
    f.setPointSize(std::max(1, FPrintFont.pointSize));
    f.setBold(FPrintFont.bold);
    f.setItalic(FPrintFont.italic);
    f.setUnderline(FPrintFont.underline);
    f.setStrikeOut(FPrintFont.strikeOut);
    lblPrintFont->setFont(f);
    QPalette p = lblPrintFont->palette();
    p.setColor(QPalette::WindowText, toQColor(FPrintFont.color));
    lblPrintFont->setPalette(p);
    lblPrintFont->setText(FPrintFont.name + QLatin1Char(' ') + QString::number(FPrintFont.pointSize) +
                          QStringLiteral("pt"));
}
