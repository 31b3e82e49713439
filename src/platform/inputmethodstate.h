#pragma once
// The open state of the input method (Japanese input on or off) for one widget, set through the desktop's
// input method framework over D-Bus: fcitx5 through its controller, ibus through the input-mode property
// of its engine. Where neither runs, or the framework cannot be reached, nothing happens and nothing is
// reported.

#include <QString>

class QWidget;

namespace zv {

enum class InputMethodFramework { None, Fcitx5, IBus };

// The framework the application's input context talks to: the one Qt was told to load (QT_IM_MODULES,
// else QT_IM_MODULE).
InputMethodFramework inputMethodFramework();

// Opens (open) or closes the input method for the input context of widget's window. The framework knows
// that context only once the window is shown and the widget holds the keyboard focus, so the request waits
// for that (without blocking the event loop), acts once, and is dropped when it cannot be carried out
// within a few seconds or the widget goes away.
void setInputMethodOpenFor(QWidget *widget, bool open);

// The part of fcitx5's debug report that tells whether the input context of the program named program
// holds the focus: a line "IC [...] program:<program> ... focus:1".
bool fcitxReportShowsFocusedContext(const QString &report, const QString &program);

// The engine property that ibus activates to open or close Japanese input with the engine named engine
// (anthy's and mozc's input-mode properties); empty where the engine has none known.
QString ibusInputModeProperty(const QString &engine, bool open);

} // namespace zv
