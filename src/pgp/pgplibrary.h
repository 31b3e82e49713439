#pragma once
// The program's view of the PGP library: the nine functions, with the result block copied into a byte
// array and freed at once. The real one calls our library (goma); tests install a recording double.

#include <QByteArray>
#include <QStringList>

class QWidget;

namespace zv {

class PgpLibrary {
public:
    virtual ~PgpLibrary() = default;
    virtual int init() = 0;
    virtual int release() = 0;
    // Nonzero on success; *result then holds the library's text (CP932 bytes), possibly empty.
    virtual int encryptText(QWidget *owner, int encrypt, int sign, const QStringList &recipients,
                            const QByteArray &text, QByteArray *result, int charset) = 0;
    virtual int decryptText(QWidget *owner, const QByteArray &text, QByteArray *result, int charset) = 0;
    virtual int launchKeys(QWidget *owner) = 0;
    virtual int launchTools(QWidget *owner) = 0;
    virtual int preferences(QWidget *owner) = 0;
    virtual int about(QWidget *owner) = 0;
    virtual int version() = 0;
};

// Our library over GnuPG.
class GomaLibrary : public PgpLibrary {
public:
    int init() override;
    int release() override;
    int encryptText(QWidget *owner, int encrypt, int sign, const QStringList &recipients, const QByteArray &text,
                    QByteArray *result, int charset) override;
    int decryptText(QWidget *owner, const QByteArray &text, QByteArray *result, int charset) override;
    int launchKeys(QWidget *owner) override;
    int launchTools(QWidget *owner) override;
    int preferences(QWidget *owner) override;
    int about(QWidget *owner) override;
    int version() override;
};

} // namespace zv
