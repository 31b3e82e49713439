// The editor's appearance: the word-wrap command, the selection bar and vertical writing, the IME
// composition colours.

#include "app/frmMain.h"
#include "platform/settingsstore.h"

#include <QAction>
#include <QLabel>

using namespace zv;

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

    // 8. The built-in composition colours, which are the stored colours' defaults; the effects stay.
    CompColorTable colors = Memo->imeColors();
    for (size_t i = 0; i < colors.size(); ++i) {
        colors[i].text = unsigned(setting::ImeText[i].def);
        colors[i].background = unsigned(setting::ImeBackground[i].def);
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
        colors[i].background = unsigned(store.read(setting::ImeBackground[i]));
        colors[i].text = unsigned(store.read(setting::ImeText[i]));
    }
    Memo->setImeColors(colors);
}

bool TfrmMain::ApplySelBarAndVertical(SettingsStore &store)
{
    // Both options at once: turning vertical writing on and off again on the way would lay out every
    // column of the document for nothing (a few per cent of opening a large file).
    const bool vertical = store.read(setting::Vertical);
    unsigned options = vertical ? unsigned(ECO_VERTICAL) : 0u;
    if (store.read(setting::SelBar))
        options |= ECO_SELECTIONBAR;
    Memo->setOptions(ECOOP_SET, (Memo->options() & ~unsigned(ECO_SELECTIONBAR | ECO_VERTICAL)) | options);
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
    ReadStoredFontFace(store, font);
    ReadStoredFontStyle(store, font);
    return font;
}

void TfrmMain::ReadStoredFontFace(SettingsStore &store, FontSpec &font)
{
    font.name = store.read(setting::FontName);
    font.pointSize = store.read(setting::FontSize);
    font.color = unsigned(store.read(setting::FontColor));
}

void TfrmMain::ReadStoredFontStyle(SettingsStore &store, FontSpec &font)
{
    font.bold = store.read(setting::FontBold);
    font.italic = store.read(setting::FontItalic);
    font.underline = store.read(setting::FontUnderline);
    font.strikeOut = store.read(setting::FontStrikeOut);
}

void TfrmMain::SetModifiedIndicator(bool modified)
{
    Panels[2]->setText(modified && Memo->tag() != 1 ? QStringLiteral("変更あり") : QString());
}
