#pragma once
// Every value the program keeps in the settings store, one row each: its section, name, type and default,
// and for an integer the range a stored value is brought into when it is read. Every reader and writer of
// a setting names its row here (store.read(setting::TabWidth)); no other name of a setting appears in the
// program.
//
// Ranges: a store that was edited by hand can hold any integer. The value is read as the nearest one in
// the row's range (a number beyond the range of a 32-bit integer counts as that range's end), so that no
// stored text can give the program a tab width of two billion or a font of minus five points. What a range
// cannot say alone (the window and the find dialog on the screens of this run) is done where the value is
// applied, and named in the row's comment.

#include <QPoint>
#include <QRect>
#include <QString>
#include <QStringView>
#include <array>
#include <climits>
#include <vector>

namespace zv {

// Section names of the store.
inline const QString kOtherData = QStringLiteral("Other Data");
inline const QString kFormData = QStringLiteral("FormData");

namespace setting {

enum class Section { OtherData, FormData };
inline const QString &sectionName(Section s) { return s == Section::OtherData ? kOtherData : kFormData; }

struct Int {
    Section section;
    const char *name;
    int def;
    int min = INT_MIN;
    int max = INT_MAX;
    QString sectionName() const { return setting::sectionName(section); }
    QString key() const { return QLatin1StringView(name); }
};
struct Bool {
    Section section;
    const char *name;
    bool def;
    QString sectionName() const { return setting::sectionName(section); }
    QString key() const { return QLatin1StringView(name); }
};
struct Text {
    Section section;
    const char *name;
    QStringView def;
    QString sectionName() const { return setting::sectionName(section); }
    QString key() const { return QLatin1StringView(name); }
};

constexpr Section O = Section::OtherData;
constexpr Section F = Section::FormData;

// A colour in the layout 0x00BBGGRR: anything outside 0 to 0xFFFFFF is brought to the nearest end.
constexpr int kColorMax = 0xFFFFFF;
// A screen coordinate or window extent: the window system's 16-bit range. Start-up then fits the window
// and the find dialog onto the screens (fitOnScreen).
constexpr int kCoordMin = -32768, kCoordMax = 32767;

// ---- "Other Data": the options, the recent files, the find text, the bars ------------------------------

// The options dialog offers 1 to 20 characters.
inline constexpr Int TabWidth{O, "TabWidth", 6, 1, 20};
inline constexpr Text ShellProg{O, "ShellProg", u""};
// Entry 1 is the newest.
inline constexpr std::array<Text, 4> Recent{{
    {O, "Recent1", u""},
    {O, "Recent2", u""},
    {O, "Recent3", u""},
    {O, "Recent4", u""},
}};
inline constexpr Text FontName{O, "FontName", u"FixedSys"};
// Points: 6, the smallest size the font dialog lists, to 512, the largest it accepts.
inline constexpr Int FontSize{O, "FontSize", 14, 6, 512};
inline constexpr Int FontColor{O, "FontColor", 0, 0, kColorMax};
inline constexpr Bool FontBold{O, "FontBold", false};
inline constexpr Bool FontItalic{O, "FontItalic", false};
inline constexpr Bool FontUnderline{O, "FontUnderline", false};
inline constexpr Bool FontStrikeOut{O, "FontStrikeOut", false};
// True opens the input method at start-up (Japanese input), false closes it.
inline constexpr Bool ImeMode{O, "IME_Mode", true};
inline constexpr Int BackColor{O, "BackColor", 0xFFFFFF, 0, kColorMax};
inline constexpr Bool EscExit{O, "EscExit", true};
inline constexpr Bool FlatToolbar{O, "FlatToolbar", true};
inline constexpr Bool AutoIndent{O, "AutoIndent", true};
inline constexpr Bool TabToSpace{O, "TabToSpace", false};
inline constexpr Bool WordWrap{O, "WordWrap", false};
inline constexpr Bool ToolBar{O, "ToolBar", true};
inline constexpr Bool StatusBar{O, "StatusBar", true};
// Empty means the standard date-and-time format.
inline constexpr Text DateTime{O, "DateTime", u"yy/mm/dd hh:nn:ss"};
// The find dialog keeps at most its first 255 bytes.
inline constexpr Text FindText{O, "FindText", u""};
// The four IME composition colour entries: blue on white, black on cyan, blue on white, black on yellow.
// The word-wrap command puts back this same set.
inline constexpr std::array<Int, 4> ImeText{{
    {O, "ImeText0", 0xFF0000, 0, kColorMax},
    {O, "ImeText1", 0x000000, 0, kColorMax},
    {O, "ImeText2", 0xFF0000, 0, kColorMax},
    {O, "ImeText3", 0x000000, 0, kColorMax},
}};
inline constexpr std::array<Int, 4> ImeBackground{{
    {O, "ImeBackground0", 0xFFFFFF, 0, kColorMax},
    {O, "ImeBackground1", 0xFFFF00, 0, kColorMax},
    {O, "ImeBackground2", 0xFFFFFF, 0, kColorMax},
    {O, "ImeBackground3", 0x00FFFF, 0, kColorMax},
}};
inline constexpr Bool SelBar{O, "SelBar", true};
// Vertical writing forces word wrap on.
inline constexpr Bool Vertical{O, "Vertical", false};
// True: Shift-JIS is handed to the PGP library for encryption and signing; false: JIS.
inline constexpr Bool PgpCharSet{O, "PGPCharSet", true};
// The style of the print font the options dialog shows; never written.
inline constexpr Bool PrintFontBold{O, "PrintFontBold", false};
inline constexpr Bool PrintFontItalic{O, "PrintFontItalic", false};
inline constexpr Bool PrintFontUnderline{O, "PrintFontUnderline", false};
inline constexpr Bool PrintFontStrikeOut{O, "PrintFontStrikeOut", false};

// ---- "FormData": the main window and the find dialog ----------------------------------------------------

// Screen pixels; start-up moves the window so that it stands on the screens.
inline constexpr Int Left{F, "Left", 0, kCoordMin, kCoordMax};
inline constexpr Int Top{F, "Top", 0, kCoordMin, kCoordMax};
// Pixels, at least 200 x 150 (room for the menu bar, the tool bar and a few lines; the window itself may
// need more width for its bars); start-up makes the window no larger than the screens' available area.
inline constexpr Int Height{F, "Height", 480, 150, kCoordMax};
inline constexpr Int Width{F, "Width", 640, 200, kCoordMax};
// Screen pixels; start-up brings the point onto the screens.
inline constexpr Int FindLeft{F, "FindLeft", 0, kCoordMin, kCoordMax};
inline constexpr Int FindTop{F, "FindTop", 0, kCoordMin, kCoordMax};
// 0 normal, 1 minimised, 2 maximised.
inline constexpr Int WindowState{F, "WindowState", 0, 0, 2};

// ---- the whole table ------------------------------------------------------------------------------------

// One row of any type, for code that walks the table.
struct Row {
    enum class Type { Integer, Boolean, String };
    Section section;
    const char *name;
    Type type;
    int intDefault = 0; // integers; booleans as 0 or 1
    QStringView textDefault;
    int min = INT_MIN, max = INT_MAX;
    QString sectionName() const { return setting::sectionName(section); }
    QString key() const { return QLatin1StringView(name); }
};

// Every row above, each once.
const std::vector<Row> &all();

// ---- the rules that need the screens --------------------------------------------------------------------

// A window's stored geometry on the available area of the screens: made no larger than the area, then
// moved the least distance that puts it wholly inside. A window already inside stays as it is.
QRect fitOnScreen(const QRect &window, const QRect &area);

} // namespace setting
} // namespace zv
