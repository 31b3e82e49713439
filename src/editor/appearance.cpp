// The editor's appearance: the word-wrap command, the selection bar and vertical writing, the IME
// composition colours.

#include "app/frmMain.h"
#include "platform/settingsstore.h"

#include <QAction>
#include <QLabel>

using namespace zv;

namespace {
// The built-in composition colours the word-wrap command puts back.
constexpr std::array<std::pair<unsigned, unsigned>, 4> kFixedImeColors{{
    {0xFF0000, 0xFFFFFF},
    {0x000000, 0xFFFF00},
    {0xFF0000, 0xFFFFFF},
    {0x000000, 0x00FFFF},
}};
} // namespace

void TfrmMain::EditWordWrapClick()
{
    // 1.
    const int start = Memo->selStart();
    const int length = Memo->selLength();
    const bool modified = Memo->modified();

    // 2, 3.
    const bool wrap = !Memo->wordWrap();
    Memo->setWordWrap(wrap);
    EditWordWrap->setChecked(wrap);
    tbWordWrap->setChecked(wrap);
    Memo->setScrollBarsBoth(!wrap);

    // 4. The font from the store, its style made of exactly the flags that are true.
    SettingsStore store;
    Memo->setEditorFont(ReadStoredFont(store));

    // 5-7. The two options, with the editor's drawing held so that it is drawn once.
    Memo->setUpdatesEnabled(false);
    ApplySelBarAndVertical(store);

    // 8. The built-in composition colours; the effects stay.
    CompColorTable colors = Memo->imeColors();
    for (size_t i = 0; i < colors.size(); ++i) {
        colors[i].text = kFixedImeColors[i].first;
        colors[i].background = kFixedImeColors[i].second;
    }
    Memo->setImeColors(colors);

    // 9.
    Memo->setUpdatesEnabled(true);

    // 10, 11.
    Memo->setSelStart(start);
    Memo->setSelLength(length);
    Memo->setModified(modified);
    SetModifiedIndicator(modified);

    // 12.
    Memo->setFocus();
}

void TfrmMain::ApplyImeColorsFromStore(SettingsStore &store)
{
    CompColorTable colors = Memo->imeColors();
    for (size_t i = 0; i < colors.size(); ++i) {
        colors[i].background = unsigned(store.readInteger(kOtherData, QStringLiteral("ImeBackground%1").arg(i),
                                                          int(kFixedImeColors[i].second)));
        colors[i].text =
            unsigned(store.readInteger(kOtherData, QStringLiteral("ImeText%1").arg(i), int(kFixedImeColors[i].first)));
    }
    Memo->setImeColors(colors);
}

bool TfrmMain::ApplySelBarAndVertical(SettingsStore &store)
{
    // Both options at once: turning vertical writing on and off again on the way would lay out every
    // column of the document for nothing (a few per cent of opening a large file).
    const bool vertical = store.readBool(kOtherData, QStringLiteral("Vertical"), false);
    unsigned options = vertical ? unsigned(ECO_VERTICAL) : 0u;
    if (store.readBool(kOtherData, QStringLiteral("SelBar"), true))
        options |= ECO_SELECTIONBAR;
    Memo->setOptions(ECOOP_SET, options);
    EditWordWrap->setEnabled(!vertical);
    tbWordWrap->setEnabled(!vertical);
    return vertical;
}

void TfrmMain::ApplyEditorOptions(SettingsStore &store)
{
    Memo->setUpdatesEnabled(false);
    if (ApplySelBarAndVertical(store)) {
        // Vertical writing always runs with word wrap on: the word-wrap command turns it on again.
        Memo->setWordWrap(false);
        EditWordWrapClick();
    }
    Memo->setUpdatesEnabled(true);
}

FontSpec TfrmMain::ReadStoredFont(SettingsStore &store)
{
    FontSpec font;
    font.name = store.readString(kOtherData, QStringLiteral("FontName"), QStringLiteral("FixedSys"));
    font.pointSize = store.readInteger(kOtherData, QStringLiteral("FontSize"), 14);
    font.color = unsigned(store.readInteger(kOtherData, QStringLiteral("FontColor"), 0));
    font.bold = store.readBool(kOtherData, QStringLiteral("FontBold"), false);
    font.italic = store.readBool(kOtherData, QStringLiteral("FontItalic"), false);
    font.underline = store.readBool(kOtherData, QStringLiteral("FontUnderline"), false);
    font.strikeOut = store.readBool(kOtherData, QStringLiteral("FontStrikeOut"), false);
    return font;
}

void TfrmMain::SetModifiedIndicator(bool modified)
{
    Panels[2]->setText(modified && Memo->tag() != 1 ? QStringLiteral("変更あり") : QString());
}
