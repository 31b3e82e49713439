#pragma once
// Runs a menu command as the user does: the owning menu's opening handler first (which sets the items'
// enabled and checked states), then the item itself, only if it is enabled.

#include <QMainWindow>

// Finds the action by object name on the window, runs each owning menu's opening handler, and triggers the
// action. Records a test failure and returns false if the action is missing or disabled; use it as
// QVERIFY(trigger(w.get(), "FileSave")).
[[nodiscard]] bool trigger(QMainWindow *window, const char *objectName);
