// The options dialog and the Options command: what OK stores and applies, what Cancel leaves alone, how the
// dialog is filled, and the editor page's colours, preview and samples.

#include "editor/datetimeformat.h"
#include "options/frmOption.h"
#include "platform/settingsstore.h"
#include "testenv.h"
#include "trigger.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDateTime>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QTabWidget>
#include <QTest>
#include <QTimer>

using namespace zv;

namespace {

const QString kOtherKey = QStringLiteral("Software\\Velmorin\\Zuvelo\\Other Data");

using Values = QList<QPair<QString, QString>>;

// The 27 option values in the order OK writes them, as an empty store gives them.
const Values kDefaults{
    {"IME_Mode", "1"},        {"SelBar", "1"},         {"Vertical", "0"},        {"FontName", "FixedSys"},
    {"FontSize", "14"},       {"FontColor", "0"},      {"FontBold", "0"},        {"FontItalic", "0"},
    {"FontUnderline", "0"},   {"FontStrikeOut", "0"},  {"BackColor", "16777215"}, {"EscExit", "1"},
    {"FlatToolbar", "1"},     {"AutoIndent", "1"},     {"TabToSpace", "0"},      {"DateTime", "yy/mm/dd hh:nn:ss"},
    {"ShellProg", ""},        {"TabWidth", "6"},       {"ImeBackground0", "16777215"}, {"ImeText0", "16711680"},
    {"ImeBackground1", "16776960"}, {"ImeText1", "0"}, {"ImeBackground2", "16777215"}, {"ImeText2", "16711680"},
    {"ImeBackground3", "65535"}, {"ImeText3", "0"},    {"PGPCharSet", "1"},
};

// "Other Data" as stored now: names in file order with their texts.
Values storedOptions()
{
    Values out;
    const auto file = SettingsStore::readFile();
    if (!file)
        return out;
    const auto values = file->keys.value(kOtherKey);
    for (const QString &name : file->valueOrder.value(kOtherKey))
        out.append({name, values.value(name).data});
    return out;
}

QString stored(const QString &name)
{
    for (const auto &[n, v] : storedOptions())
        if (n == name)
            return v;
    return QStringLiteral("<absent>");
}

QByteArray otherData(const Values &values)
{
    QByteArray out;
    for (const auto &[name, value] : values)
        out += "\"" + name.toUtf8() + "\"=\"" + value.toUtf8() + "\"\n";
    return out;
}

Values withValue(Values values, const QString &name, const QString &value)
{
    for (auto &v : values)
        if (v.first == name)
            v.second = value;
    return values;
}

enum class Close { OK, Cancel, Escape, CloseBox, None };

// Queues the options dialog: it is shown, edit works on it, then it is closed as asked.
void expectOptions(TestEnv &env, std::function<void(TfrmOption &)> edit, Close how = Close::OK)
{
    env.dialogs.expectModal([edit = std::move(edit), how](QDialog &d) {
        auto &o = static_cast<TfrmOption &>(d);
        o.show();
        if (edit)
            edit(o);
        switch (how) {
        case Close::OK: o.cmdOK->click(); break;
        case Close::Cancel: o.cmdCancel->click(); break;
        case Close::Escape: QTest::keyClick(o.txtShellProg, Qt::Key_Escape); break;
        case Close::CloseBox: o.close(); break;
        case Close::None: break;
        }
        return o.result();
    });
}

void runOptions(TestEnv &env, TfrmMain &w, std::function<void(TfrmOption &)> edit, Close how = Close::OK)
{
    expectOptions(env, std::move(edit), how);
    w.ViewOptionClick();
}

template <typename W>
W *child(QObject &parent, const char *name)
{
    return parent.findChild<W *>(QString::fromLatin1(name));
}

// Changes one control as the user would: a button is clicked, a text box or spin box takes the text.
void changeControl(TfrmOption &o, const QString &name, const QString &input)
{
    QWidget *w = o.findChild<QWidget *>(name);
    QVERIFY2(w, qPrintable(name));
    if (auto *b = qobject_cast<QAbstractButton *>(w))
        b->click();
    else if (auto *e = qobject_cast<QLineEdit *>(w))
        e->setText(input);
    else if (auto *c = qobject_cast<QComboBox *>(w))
        c->setEditText(input);
    else if (auto *s = qobject_cast<QSpinBox *>(w))
        s->setValue(input.toInt());
    else
        QFAIL(qPrintable(QStringLiteral("no way to change ") + name));
}

FontSpec someFont()
{
    FontSpec f;
    f.name = QStringLiteral("Noto Sans Mono CJK JP");
    f.pointSize = 20;
    f.color = 0x0000FF;
    f.bold = true;
    f.underline = true;
    return f;
}

} // namespace

class TestOptions : public QObject {
    Q_OBJECT
private slots:
    // ---- OK ----------------------------------------------------------------------------------------

    void okWithoutChangesWritesAll27Settings()
    {
        TestEnv env;
        auto w = env.makeWindow();
        QVERIFY(storedOptions().isEmpty());
        runOptions(env, *w, {});
        QVERIFY(env.dialogs.allUsed());
        // All 27, in the order written, with the defaults; the print-font values never appear.
        QCOMPARE(storedOptions(), kDefaults);
    }

    void oneControlChangesOneSetting_data()
    {
        QTest::addColumn<QString>("control");
        QTest::addColumn<QString>("input");
        QTest::addColumn<QString>("setting");
        QTest::addColumn<QString>("value");
        QTest::newRow("input mode") << "radDontCare" << QString() << "IME_Mode" << "0";
        QTest::newRow("selection bar") << "chkSelBar" << QString() << "SelBar" << "0";
        QTest::newRow("vertical") << "chkVertical" << QString() << "Vertical" << "1";
        QTest::newRow("escape") << "chkEscExit" << QString() << "EscExit" << "0";
        QTest::newRow("flat tool bar") << "chkFlatToolbar" << QString() << "FlatToolbar" << "0";
        QTest::newRow("auto indent") << "chkAutoIndent" << QString() << "AutoIndent" << "0";
        QTest::newRow("tab to spaces") << "chkTabToSpace" << QString() << "TabToSpace" << "1";
        QTest::newRow("character set") << "optJIS" << QString() << "PGPCharSet" << "0";
        QTest::newRow("empty format") << "txtDateTime" << "" << "DateTime" << "";
        QTest::newRow("format") << "txtDateTime" << "yyyy'年' hh:nn" << "DateTime" << "yyyy'年' hh:nn";
        QTest::newRow("program with spaces") << "txtShellProg" << "/opt/my tools/edit" << "ShellProg"
                                             << "/opt/my tools/edit";
        QTest::newRow("tab width") << "udTabWidth" << "12" << "TabWidth" << "12";
    }
    void oneControlChangesOneSetting()
    {
        QFETCH(QString, control);
        QFETCH(QString, input);
        QFETCH(QString, setting);
        QFETCH(QString, value);
        TestEnv env;
        auto w = env.makeWindow();
        runOptions(env, *w, [&](TfrmOption &o) { changeControl(o, control, input); });
        QVERIFY(env.dialogs.allUsed());
        QCOMPARE(storedOptions(), withValue(kDefaults, setting, value));
    }

    void storedValuesSurviveOK()
    {
        // Every value different from its default: what the dialog is filled with is what OK writes back.
        const Values values{
            {"IME_Mode", "0"},        {"SelBar", "0"},          {"Vertical", "1"},       {"FontName", "IPAGothic"},
            {"FontSize", "11"},       {"FontColor", "255"},     {"FontBold", "1"},       {"FontItalic", "1"},
            {"FontUnderline", "1"},   {"FontStrikeOut", "1"},   {"BackColor", "12632256"}, {"EscExit", "0"},
            {"FlatToolbar", "0"},     {"AutoIndent", "0"},      {"TabToSpace", "1"},     {"DateTime", "hh:nn"},
            {"ShellProg", "/opt/my tools/prog"}, {"TabWidth", "9"}, {"ImeBackground0", "1"}, {"ImeText0", "2"},
            {"ImeBackground1", "3"},  {"ImeText1", "4"},        {"ImeBackground2", "5"}, {"ImeText2", "6"},
            {"ImeBackground3", "7"},  {"ImeText3", "8"},        {"PGPCharSet", "0"},
        };
        TestEnv env;
        env.writeSettings(settingsText(otherData(values)));
        auto w = env.makeWindow();
        runOptions(env, *w, {});
        QCOMPARE(storedOptions(), values);
        QCOMPARE(w->FDateTimeFormat, QStringLiteral("hh:nn"));
        QCOMPARE(w->FShellProg, QStringLiteral("/opt/my tools/prog"));
        QCOMPARE(w->FTabWidth, 9);
        QVERIFY(!w->FEscExit && !w->FAutoIndent && w->FTabToSpace && !w->FlatToolbar());
    }

    void okHandsBackTheSwitchesFormatAndProgram()
    {
        TestEnv env;
        auto w = env.makeWindow();
        runOptions(env, *w, [](TfrmOption &o) {
            o.chkEscExit->click();
            o.chkFlatToolbar->click();
            o.chkAutoIndent->click();
            o.chkTabToSpace->click();
            o.txtDateTime->setEditText(QStringLiteral("hh:nn"));
            o.txtShellProg->setText(QStringLiteral("/usr/bin/mousepad"));
        });
        QVERIFY(!w->FEscExit);
        QVERIFY(!w->FlatToolbar());
        QVERIFY(!w->FAutoIndent);
        QVERIFY(w->FTabToSpace);
        QCOMPARE(w->FDateTimeFormat, QStringLiteral("hh:nn"));
        QCOMPARE(w->FShellProg, QStringLiteral("/usr/bin/mousepad"));
        // The switches now work in the editor: Enter copies no indentation.
        w->Memo->loadText(QStringLiteral("  a"));
        w->Memo->setSelStart(3);
        QTest::keyClick(w->Memo, Qt::Key_Return);
        QCOMPARE(w->Memo->plainText(), QStringLiteral("  a\n"));
    }

    void okAppliesFontBackgroundAndTabStops()
    {
        TestEnv env;
        auto w = env.makeWindow();
        env.dialogs.expectModal([](QDialog &d) {
            auto &o = static_cast<TfrmOption &>(d);
            o.show();
            o.cmdFontSelect->click();
            o.cmdBackColor->click();
            o.udTabWidth->setValue(4);
            [&] {
                QCOMPARE(o.lblPreview->editorFont(), someFont());
                QCOMPARE(o.pnlTextColor->color(), 0x0000FFu); // "標準" is selected
                QCOMPARE(o.lblPreview->backgroundColor(), 0x00FF00u);
                QCOMPARE(o.pnlBackColor->color(), 0x00FF00u);
            }();
            o.cmdOK->click();
            return o.result();
        });
        env.dialogs.expectFont(someFont());
        env.dialogs.expectColor(0x00FF00u);
        QVERIFY(trigger(w.get(), "ViewOption"));
        QVERIFY(env.dialogs.allUsed());
        QCOMPARE(w->Memo->editorFont(), someFont());
        QCOMPARE(w->FFont, someFont());
        QCOMPARE(w->Memo->backgroundColor(), 0x00FF00u);
        QCOMPARE(w->FTabWidth, 4);
        // The stops follow the new font: stop i at space width x tab width x i pixels, in points.
        const qreal space = w->SpaceWidth();
        QCOMPARE(space, QFontMetricsF(w->Memo->font(), w->Memo->viewport()).horizontalAdvance(u' '));
        for (int i : {1, 2, 7})
            QCOMPARE(w->Memo->tabStopPoints(i), space * 4 * i * 72 / w->Memo->logicalDpiX());
        QCOMPARE(stored(QStringLiteral("FontName")), someFont().name);
        QCOMPARE(stored(QStringLiteral("FontSize")), QStringLiteral("20"));
        QCOMPARE(stored(QStringLiteral("FontColor")), QStringLiteral("255"));
        QCOMPARE(stored(QStringLiteral("FontBold")), QStringLiteral("1"));
        QCOMPARE(stored(QStringLiteral("FontUnderline")), QStringLiteral("1"));
        QCOMPARE(stored(QStringLiteral("FontItalic")), QStringLiteral("0"));
        QCOMPARE(stored(QStringLiteral("BackColor")), QStringLiteral("65280"));
    }

    void verticalOnThenOff()
    {
        TestEnv env;
        env.writeSettings(settingsText("\"ImeText1\"=\"255\"\n\"ImeBackground3\"=\"128\"\n"));
        auto w = env.makeWindow();
        QVERIFY(!w->Memo->vertical() && !w->Memo->wordWrap());

        runOptions(env, *w, [](TfrmOption &o) { o.chkVertical->click(); });
        QVERIFY(w->Memo->vertical());
        QVERIFY(w->Memo->wordWrap());
        QVERIFY(w->EditWordWrap->isChecked() && !w->EditWordWrap->isEnabled());
        QVERIFY(w->tbWordWrap->isChecked() && !w->tbWordWrap->isEnabled());
        QCOMPARE(w->Memo->imeColors()[1].text, 255u); // the stored colours, not the built-in ones
        QCOMPARE(w->Memo->imeColors()[3].background, 128u);

        runOptions(env, *w, [](TfrmOption &o) {
            QVERIFY(o.chkVertical->isChecked());
            o.chkVertical->click();
        });
        QVERIFY(!w->Memo->vertical());
        QVERIFY(w->EditWordWrap->isEnabled() && w->tbWordWrap->isEnabled());
        QVERIFY(w->Memo->wordWrap()); // word wrap stays until the user switches it
        QVERIFY(w->EditWordWrap->isChecked());
        QVERIFY(env.dialogs.allUsed());
    }

    void externalProgramShowsOrHidesItsToolButton_data()
    {
        QTest::addColumn<QString>("before");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<int>("how");
        QTest::addColumn<bool>("shown");
        QTest::newRow("OK with a path") << "" << "/usr/bin/firefox" << int(Close::OK) << true;
        QTest::newRow("OK with an empty box") << "/usr/bin/firefox" << "" << int(Close::OK) << false;
        QTest::newRow("cancelled emptying") << "/usr/bin/firefox" << "" << int(Close::Cancel) << true;
        QTest::newRow("cancelled path") << "" << "/usr/bin/firefox" << int(Close::Cancel) << false;
    }
    void externalProgramShowsOrHidesItsToolButton()
    {
        QFETCH(QString, before);
        QFETCH(QString, typed);
        QFETCH(int, how);
        QFETCH(bool, shown);
        TestEnv env;
        env.writeSettings(settingsText("\"ShellProg\"=\"" + before.toUtf8() + "\"\n"));
        auto w = env.makeWindow();
        QCOMPARE(w->tbShell->isVisible(), !before.isEmpty());
        runOptions(env, *w, [&](TfrmOption &o) { o.txtShellProg->setText(typed); }, Close(how));
        QCOMPARE(w->tbShell->isVisible(), shown);
        QCOMPARE(w->tbSep5->isVisible(), shown);
        QCOMPARE(w->FShellProg, Close(how) == Close::OK ? typed : before);
    }

    // ---- Cancel, Esc, close box --------------------------------------------------------------------

    void closingWithoutOKChangesNothing_data()
    {
        QTest::addColumn<int>("how");
        QTest::newRow("cancel") << int(Close::Cancel);
        QTest::newRow("escape") << int(Close::Escape);
        QTest::newRow("close box") << int(Close::CloseBox);
    }
    void closingWithoutOKChangesNothing()
    {
        QFETCH(int, how);
        TestEnv env;
        env.writeSettings(settingsText("\"ShellProg\"=\"/usr/bin/old\"\n\"DateTime\"=\"hh:nn\"\n\"TabWidth\"=\"4\"\n"));
        auto w = env.makeWindow();
        const QByteArray file = env.readSettings();
        const FontSpec font = w->FFont;
        const FontSpec memoFont = w->Memo->editorFont();
        const unsigned back = w->Memo->backgroundColor();
        const CompColorTable ime = w->Memo->imeColors();
        const int stop = w->Memo->tabStop(1);

        env.dialogs.expectModal([how](QDialog &d) {
            auto &o = static_cast<TfrmOption &>(d);
            o.show();
            for (QAbstractButton *b : std::initializer_list<QAbstractButton *>{
                     o.chkEscExit, o.chkFlatToolbar, o.chkAutoIndent, o.chkTabToSpace, o.chkSelBar, o.chkVertical,
                     o.radDontCare, o.optJIS})
                b->click();
            o.txtShellProg->clear();
            o.txtDateTime->setEditText(QStringLiteral("yyyy"));
            o.udTabWidth->setValue(12);
            o.cmdFontSelect->click();
            o.cmdBackColor->click();
            o.cmbColorSelect->setCurrentIndex(2);
            o.cmdTextColor->click();
            switch (Close(how)) {
            case Close::Cancel: o.cmdCancel->click(); break;
            case Close::Escape: QTest::keyClick(o.txtDateTime->lineEdit(), Qt::Key_Escape); break;
            default: o.close(); break;
            }
            [&] { QVERIFY(!o.isVisible()); }();
            return o.result();
        });
        env.dialogs.expectFont(someFont());
        env.dialogs.expectColor(0x00FF00u);
        env.dialogs.expectColor(0x0000FFu);
        QVERIFY(trigger(w.get(), "ViewOption"));
        QVERIFY(env.dialogs.allUsed());

        QCOMPARE(env.readSettings(), file);
        QCOMPARE(w->FFont, font);
        QCOMPARE(w->Memo->editorFont(), memoFont);
        QCOMPARE(w->Memo->backgroundColor(), back);
        QVERIFY(w->Memo->imeColors() == ime);
        QCOMPARE(w->Memo->tabStop(1), stop);
        QVERIFY(w->FEscExit && w->FAutoIndent && !w->FTabToSpace && w->FlatToolbar());
        QCOMPARE(w->FTabWidth, 4);
        QCOMPARE(w->FDateTimeFormat, QStringLiteral("hh:nn"));
        QCOMPARE(w->FShellProg, QStringLiteral("/usr/bin/old"));
        QVERIFY(w->tbShell->isVisible());
        QVERIFY(w->Memo->selectionBarVisible() && !w->Memo->vertical());

        // The next opening shows the stored values again.
        runOptions(env, *w, [](TfrmOption &o) {
            QCOMPARE(o.txtShellProg->text(), QStringLiteral("/usr/bin/old"));
            QCOMPARE(o.txtDateTime->currentText(), QStringLiteral("hh:nn"));
            QCOMPARE(o.udTabWidth->value(), 4);
            QVERIFY(o.chkEscExit->isChecked() && o.chkSelBar->isChecked() && !o.chkVertical->isChecked());
            QCOMPARE(o.pnlBackColor->color(), 0xFFFFFFu);
        }, Close::Cancel);
        QVERIFY(env.dialogs.allUsed());
    }

    void modifiedStateAndSelectionAreKept_data()
    {
        QTest::addColumn<bool>("modified");
        QTest::addColumn<int>("how");
        QTest::newRow("modified, OK") << true << int(Close::OK);
        QTest::newRow("clean, OK") << false << int(Close::OK);
        QTest::newRow("modified, cancel") << true << int(Close::Cancel);
        QTest::newRow("clean, cancel") << false << int(Close::Cancel);
    }
    void modifiedStateAndSelectionAreKept()
    {
        QFETCH(bool, modified);
        QFETCH(int, how);
        TestEnv env;
        auto w = env.makeWindow();
        w->Memo->setText(QStringLiteral("abc\tdef\nghi"));
        w->Memo->setModified(modified);
        w->SetModifiedIndicator(modified);
        w->Memo->setSelStart(2);
        w->Memo->setSelLength(3);
        runOptions(env, *w, [](TfrmOption &o) { o.udTabWidth->setValue(3); }, Close(how));
        QCOMPARE(w->Memo->modified(), modified);
        QCOMPARE(w->Panels[2]->text(), modified ? QStringLiteral("変更あり") : QString());
        QCOMPARE(w->Memo->selStart(), 2);
        QCOMPARE(w->Memo->selLength(), 3);
    }

    // ---- filling the dialog ------------------------------------------------------------------------

    void emptyStoreShowsTheDefaults()
    {
        TestEnv env;
        auto w = env.makeWindow();
        runOptions(env, *w, [](TfrmOption &o) {
            QCOMPARE(o.pgcOption->currentWidget(), o.tabPublic);
            QCOMPARE(o.cmbColorSelect->currentIndex(), 0);
            QCOMPARE(o.pnlTextColor->color(), 0x000000u);
            QCOMPARE(o.pnlBackColor->color(), 0xFFFFFFu);
            QVERIFY(o.radJapanese->isChecked() && !o.radDontCare->isChecked());
            QVERIFY(o.optShiftJIS->isChecked() && !o.optJIS->isChecked());
            QVERIFY(o.chkSelBar->isChecked() && !o.chkVertical->isChecked());
            QVERIFY(o.chkEscExit->isChecked() && o.chkFlatToolbar->isChecked() && o.chkAutoIndent->isChecked());
            QVERIFY(!o.chkTabToSpace->isChecked());
            QCOMPARE(o.udTabWidth->value(), 6);
            QCOMPARE(o.txtTabWidth->text(), QStringLiteral("6"));
            QCOMPARE(o.txtDateTime->currentText(), QStringLiteral("yy/mm/dd hh:nn:ss"));
            QCOMPARE(o.txtShellProg->text(), QString());
            QCOMPARE(o.lblSample->text(), QString()); // before the first tick
            QVERIFY(o.lblPreview->selectionBarVisible() && !o.lblPreview->vertical());
            QCOMPARE(o.lblPreview->editorFont(), FontSpec{});
            QCOMPARE(o.lblPreview->backgroundColor(), 0xFFFFFFu);
            QCOMPARE(o.lblPreview->plainText(), QStringLiteral("ABC abc ひらがな カタカナ 漢字 、。123\n"
                                                               "ここで、文字の変換色をテストしてください。"));
        }, Close::Cancel);
        QVERIFY(env.dialogs.allUsed());
    }

    void colourPairsOfAnEmptyStore_data()
    {
        QTest::addColumn<int>("index");
        QTest::addColumn<QString>("entry");
        QTest::addColumn<unsigned>("text");
        QTest::addColumn<unsigned>("back");
        QTest::newRow("standard") << 0 << "標準" << 0x000000u << 0xFFFFFFu;
        QTest::newRow("typing") << 1 << "IME入力中文字" << 0xFF0000u << 0xFFFFFFu;
        QTest::newRow("converting") << 2 << "IME注目文節" << 0x000000u << 0xFFFF00u;
        QTest::newRow("converted") << 3 << "IME変換済み文節" << 0xFF0000u << 0xFFFFFFu;
        QTest::newRow("boundary") << 4 << "IME文節区切り変更" << 0x000000u << 0x00FFFFu;
    }
    void colourPairsOfAnEmptyStore()
    {
        QFETCH(int, index);
        QFETCH(QString, entry);
        QFETCH(unsigned, text);
        QFETCH(unsigned, back);
        TestEnv env;
        auto w = env.makeWindow();
        runOptions(env, *w, [&](TfrmOption &o) {
            // Away and back, so that the change handler runs for every entry.
            o.cmbColorSelect->setCurrentIndex(index == 4 ? 3 : 4);
            o.cmbColorSelect->setCurrentIndex(index);
            QCOMPARE(o.cmbColorSelect->currentText(), entry);
            QCOMPARE(o.pnlTextColor->color(), text);
            QCOMPARE(o.pnlBackColor->color(), back);
        }, Close::Cancel);
    }

    void storedValuesFillTheDialog_data()
    {
        QTest::addColumn<QByteArray>("setting");
        QTest::addColumn<QString>("control");
        QTest::addColumn<QString>("property");
        QTest::addColumn<QVariant>("expected");
        QTest::newRow("IME_Mode off") << QByteArray("\"IME_Mode\"=\"0\"") << "radDontCare" << "checked" << QVariant(true);
        QTest::newRow("IME_Mode off, Japanese") << QByteArray("\"IME_Mode\"=\"0\"") << "radJapanese" << "checked"
                                                << QVariant(false);
        QTest::newRow("PGPCharSet off") << QByteArray("\"PGPCharSet\"=\"0\"") << "optJIS" << "checked" << QVariant(true);
        QTest::newRow("PGPCharSet off, Shift-JIS") << QByteArray("\"PGPCharSet\"=\"0\"") << "optShiftJIS" << "checked"
                                                   << QVariant(false);
        QTest::newRow("TabWidth 25") << QByteArray("\"TabWidth\"=\"25\"") << "udTabWidth" << "value" << QVariant(20);
        QTest::newRow("TabWidth 0") << QByteArray("\"TabWidth\"=\"0\"") << "udTabWidth" << "value" << QVariant(1);
        QTest::newRow("TabWidth 13") << QByteArray("\"TabWidth\"=\"13\"") << "txtTabWidth" << "text"
                                     << QVariant(QStringLiteral("13"));
        QTest::newRow("empty format") << QByteArray("\"DateTime\"=\"\"") << "txtDateTime" << "currentText"
                                      << QVariant(QString());
        QTest::newRow("BackColor") << QByteArray("\"BackColor\"=\"255\"") << "pnlBackColor" << "color"
                                   << QVariant(255u);
        QTest::newRow("FontColor") << QByteArray("\"FontColor\"=\"65280\"") << "pnlTextColor" << "color"
                                   << QVariant(65280u);
    }
    void storedValuesFillTheDialog()
    {
        QFETCH(QByteArray, setting);
        QFETCH(QString, control);
        QFETCH(QString, property);
        QFETCH(QVariant, expected);
        TestEnv env;
        env.writeSettings(settingsText(setting + "\n"));
        auto w = env.makeWindow();
        runOptions(env, *w, [&](TfrmOption &o) {
            QObject *c = o.findChild<QObject *>(control);
            QVERIFY(c);
            QCOMPARE(c->property(qPrintable(property)), expected);
        }, Close::Cancel);
    }

    void previewFollowsTheStoredAndTheCheckedSwitches()
    {
        TestEnv env;
        env.writeSettings(settingsText("\"SelBar\"=\"0\"\n\"Vertical\"=\"1\"\n\"FontBold\"=\"1\"\n\"FontSize\"=\"9\"\n"));
        auto w = env.makeWindow();
        runOptions(env, *w, [](TfrmOption &o) {
            QVERIFY(!o.lblPreview->selectionBarVisible());
            QVERIFY(o.lblPreview->vertical());
            QVERIFY(o.lblPreview->editorFont().bold);
            QCOMPARE(o.lblPreview->editorFont().pointSize, 9);
            const bool wrap = o.lblPreview->wordWrap();
            o.chkSelBar->click();
            QVERIFY(o.lblPreview->selectionBarVisible());
            o.chkVertical->click();
            QVERIFY(!o.lblPreview->vertical());
            o.chkSelBar->click();
            QVERIFY(!o.lblPreview->selectionBarVisible());
            QCOMPARE(o.lblPreview->wordWrap(), wrap);
        }, Close::Cancel);
        QVERIFY(env.dialogs.allUsed());
    }

    void tabWidthStaysInRange_data()
    {
        QTest::addColumn<QByteArray>("setting");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<int>("exact"); // 0: any width from 1 to 20
        QTest::newRow("typed 0") << QByteArray() << "0" << 0;
        QTest::newRow("typed 25") << QByteArray() << "25" << 0;
        QTest::newRow("typed 12") << QByteArray() << "12" << 12;
        QTest::newRow("stored 25") << QByteArray("\"TabWidth\"=\"25\"\n") << QString() << 20;
        QTest::newRow("stored -3") << QByteArray("\"TabWidth\"=\"-3\"\n") << QString() << 1;
    }
    void tabWidthStaysInRange()
    {
        QFETCH(QByteArray, setting);
        QFETCH(QString, typed);
        QFETCH(int, exact);
        TestEnv env;
        if (!setting.isEmpty())
            env.writeSettings(settingsText(setting));
        auto w = env.makeWindow();
        runOptions(env, *w, [&](TfrmOption &o) {
            if (typed.isEmpty())
                return;
            o.pgcOption->setCurrentWidget(o.tabEditor);
            o.txtTabWidth->setFocus();
            o.txtTabWidth->selectAll();
            QTest::keyClicks(o.txtTabWidth, typed);
        });
        const int width = stored(QStringLiteral("TabWidth")).toInt();
        if (exact)
            QCOMPARE(width, exact);
        QVERIFY2(width >= 1 && width <= 20, qPrintable(stored(QStringLiteral("TabWidth"))));
        QCOMPARE(w->FTabWidth, width);
    }

    // ---- the editor page ---------------------------------------------------------------------------

    void imeColourEditing()
    {
        TestEnv env;
        auto w = env.makeWindow();
        env.dialogs.expectModal([](QDialog &d) {
            auto &o = static_cast<TfrmOption &>(d);
            o.show();
            CompColorTable table = o.lblPreview->imeColors();
            table[1].effects = 5;
            o.lblPreview->setImeColors(table);
            [&] {
                o.cmbColorSelect->setCurrentIndex(2);
                o.cmdTextColor->click();
                QCOMPARE(o.pnlTextColor->color(), 0x123456u);
                QCOMPARE(o.pnlBackColor->color(), 0xFFFF00u);
                QVERIFY(o.lblPreview->imeColors()[1] == (CompColor{0x123456, 0xFFFF00, 5}));
                o.cmdBackColor->click(); // cancelled: nothing changes
                QVERIFY(o.lblPreview->imeColors()[1] == (CompColor{0x123456, 0xFFFF00, 5}));
                o.cmdBackColor->click();
                QVERIFY(o.lblPreview->imeColors()[1] == (CompColor{0x123456, 0x0000FF, 5}));
                // The other entries and the ordinary text keep their colours.
                QVERIFY(o.lblPreview->imeColors()[0] == (CompColor{0xFF0000, 0xFFFFFF, 0}));
                QCOMPARE(o.lblPreview->editorFont().color, 0u);
                QCOMPARE(o.lblPreview->backgroundColor(), 0xFFFFFFu);
                // Back on "標準" the swatches show the preview's own colours.
                o.cmbColorSelect->setCurrentIndex(0);
                QCOMPARE(o.pnlTextColor->color(), 0u);
                QCOMPARE(o.pnlBackColor->color(), 0xFFFFFFu);
            }();
            o.cmdOK->click();
            return o.result();
        });
        env.dialogs.expectColor(0x123456u);
        env.dialogs.expectColor(std::nullopt);
        env.dialogs.expectColor(0x0000FFu);
        QVERIFY(trigger(w.get(), "ViewOption"));
        QVERIFY(env.dialogs.allUsed());
        QCOMPARE(storedOptions(), withValue(withValue(kDefaults, "ImeText1", "1193046"), "ImeBackground1", "255"));
        QCOMPARE(w->Memo->imeColors()[1].text, 0x123456u);
        QCOMPARE(w->Memo->imeColors()[1].background, 0x0000FFu);
    }

    void fontChoiceAndTheTextSwatch_data()
    {
        QTest::addColumn<int>("index");
        QTest::addColumn<unsigned>("swatch");
        QTest::newRow("standard selected") << 0 << 0x0000FFu;     // the chosen font's colour
        QTest::newRow("IME entry selected") << 1 << 0xFF0000u;    // the entry's colour stays
    }
    void fontChoiceAndTheTextSwatch()
    {
        QFETCH(int, index);
        QFETCH(unsigned, swatch);
        TestEnv env;
        auto w = env.makeWindow();
        expectOptions(env, [&](TfrmOption &o) {
            o.cmbColorSelect->setCurrentIndex(index);
            o.cmdFontSelect->click();
            QCOMPARE(o.pnlTextColor->color(), swatch);
            QCOMPARE(o.lblPreview->editorFont().color, 0x0000FFu);
        });
        env.dialogs.expectFont(someFont());
        QVERIFY(trigger(w.get(), "ViewOption"));
        QCOMPARE(stored(QStringLiteral("FontColor")), QStringLiteral("255"));

        // A cancelled font dialog changes nothing.
        expectOptions(env, [](TfrmOption &o) {
            o.cmdFontSelect->click();
            QCOMPARE(o.lblPreview->editorFont(), someFont());
        }, Close::Cancel);
        env.dialogs.expectFont(std::nullopt);
        QVERIFY(trigger(w.get(), "ViewOption"));
        QVERIFY(env.dialogs.allUsed());
    }

    void previewAutoIndent_data()
    {
        QTest::addColumn<QString>("line");
        QTest::addColumn<int>("caret");
        QTest::addColumn<bool>("autoIndent");
        QTest::addColumn<QString>("result");
        QTest::newRow("caret at the end") << "    word" << 8 << true << "    word\n    ";
        QTest::newRow("caret inside the indentation") << "    word" << 2 << true << "  \n    word";
        QTest::newRow("tab") << "\tword" << 5 << true << "\tword\n\t";
        QTest::newRow("full-width space") << QStringLiteral("\u3000word") << 5 << true
                                          << QStringLiteral("\u3000word\n");
        QTest::newRow("auto indent off") << "    word" << 8 << false << "    word\n";
    }
    void previewAutoIndent()
    {
        QFETCH(QString, line);
        QFETCH(int, caret);
        QFETCH(bool, autoIndent);
        QFETCH(QString, result);
        TestEnv env;
        auto w = env.makeWindow();
        runOptions(env, *w, [&](TfrmOption &o) {
            o.pgcOption->setCurrentWidget(o.tabEditor);
            o.chkAutoIndent->setChecked(autoIndent);
            o.lblPreview->loadText(line);
            o.lblPreview->setFocus();
            o.lblPreview->setSelStart(caret);
            QTest::keyClick(o.lblPreview, Qt::Key_Return);
            QCOMPARE(o.lblPreview->plainText(), result);
            // Enter belongs to the preview: the dialog's default button is not pressed.
            QVERIFY(o.isVisible());
            QVERIFY(!o.OKPressed());
            QCOMPARE(o.result(), int(QDialog::Rejected));
        }, Close::Cancel);
        QVERIFY(storedOptions().isEmpty());
    }

    void presetEntry11IsEntry6()
    {
        TestEnv env;
        auto w = env.makeWindow();
        runOptions(env, *w, [](TfrmOption &o) {
            QCOMPARE(o.txtDateTime->count(), 16);
            QCOMPARE(o.txtDateTime->maxVisibleItems(), 17);
            o.txtDateTime->setCurrentIndex(10);
            QCOMPARE(o.txtDateTime->currentText(), QStringLiteral("yyyy'年'm'月'd'日' h'時'n'分's'秒'"));
            QCOMPARE(o.txtDateTime->itemText(5), o.txtDateTime->currentText());
        });
        QCOMPARE(stored(QStringLiteral("DateTime")), QStringLiteral("yyyy'年'm'月'd'日' h'時'n'分's'秒'"));
        QCOMPARE(w->FDateTimeFormat, QStringLiteral("yyyy'年'm'月'd'日' h'時'n'分's'秒'"));
    }

    void sampleFollowsTheFormat_data()
    {
        QTest::addColumn<QString>("format");
        QTest::newRow("quoted text") << "'固定の文字'";
        QTest::newRow("year") << "yyyy'年'";
        QTest::newRow("preset") << "yy/mm/dd hh:nn:ss";
        QTest::newRow("empty: the standard format") << "";
    }
    void sampleFollowsTheFormat()
    {
        QFETCH(QString, format);
        TestEnv env;
        auto w = env.makeWindow();
        runOptions(env, *w, [&](TfrmOption &o) {
            o.txtDateTime->setEditText(format);
            const QDateTime before = QDateTime::currentDateTime();
            o.tmrDateTimeTimer();
            const QDateTime after = QDateTime::currentDateTime();
            const QString sample = o.lblSample->text();
            QVERIFY(!sample.isEmpty());
            QVERIFY2(sample == formatDateTime(format, before) || sample == formatDateTime(format, after),
                     qPrintable(sample));
        }, Close::Cancel);
    }

    void sampleTimerRunsFromCreation()
    {
        TestEnv env;
        auto w = env.makeWindow();
        runOptions(env, *w, [](TfrmOption &o) {
            QVERIFY(o.tmrDateTime->isActive());
            QCOMPARE(o.tmrDateTime->interval(), 500);
            o.txtDateTime->setEditText(QStringLiteral("'見本'"));
            QTRY_COMPARE(o.lblSample->text(), QStringLiteral("見本"));
        }, Close::Cancel);
    }

    // ---- the general page --------------------------------------------------------------------------

    void browsingForTheProgram_data()
    {
        QTest::addColumn<bool>("chosen");
        QTest::addColumn<QString>("expected");
        QTest::newRow("chosen") << true << "/opt/my apps/prog";
        QTest::newRow("cancelled") << false << "/usr/bin/old";
    }
    void browsingForTheProgram()
    {
        QFETCH(bool, chosen);
        QFETCH(QString, expected);
        TestEnv env;
        env.writeSettings(settingsText("\"ShellProg\"=\"/usr/bin/old\"\n"));
        auto w = env.makeWindow();
        expectOptions(env, [&](TfrmOption &o) {
            o.cmdShellProg->click();
            QCOMPARE(o.txtShellProg->text(), expected);
        });
        env.dialogs.expectOpen(chosen ? std::optional<QString>(QStringLiteral("/opt/my apps/prog")) : std::nullopt);
        QVERIFY(trigger(w.get(), "ViewOption"));
        QVERIFY(env.dialogs.allUsed());
        QCOMPARE(stored(QStringLiteral("ShellProg")), expected);
        QCOMPARE(env.dialogs.fileDialogs.size(), 1);
        const FileDialogSpec spec = env.dialogs.fileDialogs.constFirst();
        QCOMPARE(spec.initialDir, TfrmMain::DesktopFolder());
        QCOMPARE(spec.filterIndex, 1);
        QCOMPARE(spec.filters.size(), 2);
        // Both entries, the first included, offer programs that have no extension.
        for (const QString &entry : spec.filters) {
            bool matches = false;
            for (const QString &pattern : entry.section(QLatin1Char('|'), 1).split(QLatin1Char(';')))
                matches |= QRegularExpression(QRegularExpression::wildcardToRegularExpression(pattern))
                               .match(QStringLiteral("firefox"))
                               .hasMatch();
            QVERIFY2(matches, qPrintable(entry));
        }
    }

    void printFontIsShownAndNeverStored()
    {
        TestEnv env;
        auto w = env.makeWindow();
        expectOptions(env, [](TfrmOption &o) {
            QVERIFY(o.grpPrintOutFont->isHidden());
            QCOMPARE(o.lblPrintFont->text(), QStringLiteral("ＭＳ 明朝 10pt"));
            o.cmdPrintFontClick();
            QCOMPARE(o.lblPrintFont->text(), QStringLiteral("Noto Serif CJK JP 12pt"));
            QVERIFY(o.lblPrintFont->font().bold());
        });
        FontSpec chosen;
        chosen.name = QStringLiteral("Noto Serif CJK JP");
        chosen.pointSize = 12;
        chosen.bold = true;
        env.dialogs.expectFont(chosen);
        QVERIFY(trigger(w.get(), "ViewOption"));
        QVERIFY(env.dialogs.allUsed());
        QCOMPARE(storedOptions(), kDefaults);
    }

    void printFontStyleComesFromTheStore()
    {
        TestEnv env;
        env.writeSettings(settingsText("\"PrintFontBold\"=\"1\"\n\"PrintFontStrikeOut\"=\"1\"\n"));
        auto w = env.makeWindow();
        runOptions(env, *w, [](TfrmOption &o) {
            QVERIFY(o.lblPrintFont->font().bold());
            QVERIFY(o.lblPrintFont->font().strikeOut());
            QVERIFY(!o.lblPrintFont->font().italic());
        }, Close::Cancel);
    }

    // ---- the dialog's face ---------------------------------------------------------------------------

    void captionsAndAccessibleNames()
    {
        TestEnv env;
        auto w = env.makeWindow();
        runOptions(env, *w, [](TfrmOption &o) {
            QCOMPARE(o.windowTitle(), QStringLiteral("オプション"));
            QCOMPARE(o.pgcOption->count(), 3);
            QCOMPARE(o.pgcOption->tabText(0), QStringLiteral("全般"));
            QCOMPARE(o.pgcOption->tabText(1), QStringLiteral("エディタ"));
            QCOMPARE(o.pgcOption->tabText(2), QStringLiteral("PGP"));
            QVERIFY(o.cmdOK->isDefault() && !o.cmdCancel->isDefault());
            const QList<QPair<const char *, const char *>> captions{
                {"cmdOK", "OK"},
                {"cmdCancel", "キャンセル"},
                {"grpShellProg", "外部プログラム"},
                {"lblShellProg", "Internet Explorerなどの外部プログラムをフォルダ名を含めて指定してください。 例) "
                                 "C:\\Windows\\Explorer.exe"},
                {"cmdShellProg", "参照(&S)..."},
                {"grpDateTime", "日付と時刻"},
                {"lblTimeDateInfo", "Zuvelo PGPで時刻を挿入するときのフォーマットを指定します。"
                                    "標準に戻すには空の文字列を指定してください。"},
                {"grpOther", "その他"},
                {"chkFlatToolbar", "ツールバーをフラット化(&T)"},
                {"chkEscExit", "エスケープキーで終了(&E)"},
                {"grpPrintOutFont", "印刷フォント"},
                {"cmdPrintFont", "フォントの変更(&F)..."},
                {"lblPreviewInfo", "プレビュー(&P):"},
                {"cmdFontSelect", "フォントの変更(&F)..."},
                {"grpColor", "色"},
                {"lblColorSelectInfo", "指定する部分(&S):"},
                {"cmdTextColor", "テキスト(&T)..."},
                {"cmdBackColor", "背景色(&B)..."},
                {"grpIME", "起動時のIME"},
                {"radJapanese", "日本語入力モード(&J)"},
                {"radDontCare", "半角英数モード(&E)"},
                {"grpTab", "タブ"},
                {"lblTabWidthInfo", "タブ幅:"},
                {"chkTabToSpace", "スペースに変換(&S)"},
                {"chkVertical", "縦書き(&V)"},
                {"chkSelBar", "行選択バー(&L)"},
                {"chkAutoIndent", "自動インデント(&A)"},
                {"grpPGPCode", "文字セット"},
                {"Label1", "一部のバージョンのPGPでは、文字化けを起こす場合があります。"
                           "その場合のみ、以下の設定を変更してください。"},
                {"optShiftJIS", "Shift-JIS(&S)"},
                {"optJIS", "JIS(&J)"},
            };
            for (const auto &[name, caption] : captions) {
                QObject *c = o.findChild<QObject *>(QString::fromLatin1(name));
                QVERIFY2(c, name);
                const char *prop = qobject_cast<QGroupBox *>(c) ? "title" : "text";
                QCOMPARE(c->property(prop).toString(), QString::fromUtf8(caption));
            }
            QStringList entries;
            for (int i = 0; i < o.cmbColorSelect->count(); ++i)
                entries << o.cmbColorSelect->itemText(i);
            QCOMPARE(entries, (QStringList{"標準", "IME入力中文字", "IME注目文節", "IME変換済み文節", "IME文節区切り変更"}));
            QCOMPARE(o.txtDateTime->count(), 16);
            QVERIFY(o.txtDateTime->isEditable());
            QVERIFY(!o.cmbColorSelect->isEditable());
            QVERIFY(o.lblTmpShellProg->isHidden() && o.tmpDateTime->isHidden() && o.grpPrintOutFont->isHidden());
            QCOMPARE(o.udTabWidth->minimum(), 1);
            QCOMPARE(o.udTabWidth->maximum(), 20);
            QVERIFY(!o.udTabWidth->wrapping());
            QVERIFY(!o.txtTabWidth->testAttribute(Qt::WA_InputMethodEnabled));
            QCOMPARE(o.lblPreviewInfo->buddy(), o.lblPreview);
            QCOMPARE(o.lblColorSelectInfo->buddy(), o.cmbColorSelect);

            // Every control the user can reach has a name for the screen reader.
            for (QWidget *c : o.findChildren<QWidget *>()) {
                if (c->focusPolicy() == Qt::NoFocus || c->objectName().isEmpty() || c->objectName().startsWith("qt_"))
                    continue;
                QVERIFY2(!c->accessibleName().isEmpty(), qPrintable(c->objectName()));
            }

            // Nothing is cut off: on every page each caption fits its control and each wrapped text its label.
            for (int page = 0; page < o.pgcOption->count(); ++page) {
                o.pgcOption->setCurrentIndex(page);
                QCoreApplication::processEvents();
                for (QAbstractButton *b : o.findChildren<QAbstractButton *>()) {
                    if (!b->isVisible() || b->objectName().isEmpty())
                        continue;
                    QVERIFY2(b->width() >= b->minimumSizeHint().width(), qPrintable(b->objectName()));
                    QVERIFY2(b->height() >= b->minimumSizeHint().height(), qPrintable(b->objectName()));
                }
                for (QLabel *l : o.findChildren<QLabel *>()) {
                    if (!l->isVisible() || l->text().isEmpty())
                        continue;
                    const int needed = l->wordWrap() ? l->heightForWidth(l->contentsRect().width())
                                                     : l->minimumSizeHint().height();
                    QVERIFY2(l->contentsRect().height() >= needed, qPrintable(l->objectName()));
                    if (!l->wordWrap())
                        QVERIFY2(l->width() >= l->minimumSizeHint().width(), qPrintable(l->objectName()));
                }
            }
        }, Close::Cancel);
    }

    void tabOrder()
    {
        TestEnv env;
        auto w = env.makeWindow();
        runOptions(env, *w, [](TfrmOption &o) {
            const QStringList expected{
                "txtShellProg", "cmdShellProg", "txtDateTime", "chkFlatToolbar", "chkEscExit", "cmdPrintFont",
                "cmdFontSelect", "cmbColorSelect", "cmdTextColor", "cmdBackColor", "radJapanese", "radDontCare",
                "udTabWidth", "chkTabToSpace", "chkVertical", "chkSelBar", "chkAutoIndent", "lblPreview",
                "optShiftJIS", "optJIS", "cmdOK", "cmdCancel"};
            QStringList seen;
            QWidget *c = o.pgcOption;
            for (int guard = 0; guard < 500 && seen.size() < expected.size(); ++guard) {
                c = c->nextInFocusChain();
                if (expected.contains(c->objectName()) && !seen.contains(c->objectName()))
                    seen << c->objectName();
            }
            QCOMPARE(seen, expected);
        }, Close::Cancel);
    }
};

QTEST_MAIN(TestOptions)
#include "test_options.moc"
