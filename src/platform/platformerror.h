#pragma once
// The one error type of the platform layers. A platform operation that fails (a file that cannot be read
// or written, a stored setting of the wrong type) throws it with the text the user is to read; the command
// dispatcher catches it and shows the standard error report. It never crosses Qt's event loop.

#include <QString>
#include <stdexcept>

namespace zv {

class PlatformError : public std::runtime_error {
public:
    explicit PlatformError(const QString &text)
        : std::runtime_error(text.toStdString()), m_text(text) {}
    const QString &text() const noexcept { return m_text; }

private:
    QString m_text;
};

} // namespace zv
