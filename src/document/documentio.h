#pragma once
// Helpers shared by the document commands.

#include <QGuiApplication>

namespace zv::document {

// Shows the wait cursor for the whole application for as long as it lives; an error that ends the
// command unwinds it before the error report is shown.
class WaitCursor {
public:
    WaitCursor() { QGuiApplication::setOverrideCursor(Qt::WaitCursor); }
    ~WaitCursor() { QGuiApplication::restoreOverrideCursor(); }
    WaitCursor(const WaitCursor &) = delete;
    WaitCursor &operator=(const WaitCursor &) = delete;
};

} // namespace zv::document
