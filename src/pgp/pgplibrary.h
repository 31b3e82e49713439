#pragma once
// The program's view of the PGP library: the nine functions, with the result block copied into a byte
// array and freed at once. The real one calls our library (goma); tests install a recording double.

#include <QByteArray>
#include <QString>
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
    // Why the last text command or key manager start failed, in Japanese; empty when the library gave no
    // reason (or the user cancelled).
    virtual QString failureReason() { return {}; }
    // The key that signed in the last successful signing command, also one the library chose itself.
    virtual QString lastSigner() { return {}; }
    // What the last text handed back is: 2 for CP932 bytes, 3 for UTF-8 (a decrypted text with characters
    // that CP932 lacks).
    virtual int resultCharset() { return 2; }

    // Whom the last successful decryption of an encrypted message was addressed to (fingerprints of keyring
    // keys, else key IDs) and signed by (a fingerprint; empty: unsigned).
    virtual QStringList lastRecipients() { return {}; }
    virtual QString lastMessageSigner() { return {}; }
    // Whether the user holds the secret key with this fingerprint.
    virtual bool holdsSecretKey(const QString &) { return false; }
    // The next recipient chooser opens with these keys selected.
    virtual void preselectRecipients(const QStringList &) {}
    // encryptText signing with the named key (empty: the library's usual choice).
    virtual int encryptTextAs(QWidget *owner, int encrypt, int sign, const QStringList &recipients,
                              const QString &signer, const QByteArray &text, QByteArray *result, int charset)
    {
        Q_UNUSED(signer);
        return encryptText(owner, encrypt, sign, recipients, text, result, charset);
    }
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
    QString failureReason() override;
    QString lastSigner() override;
    int resultCharset() override { return m_resultCharset; }
    QStringList lastRecipients() override;
    QString lastMessageSigner() override;
    bool holdsSecretKey(const QString &fingerprint) override;
    void preselectRecipients(const QStringList &keys) override;
    int encryptTextAs(QWidget *owner, int encrypt, int sign, const QStringList &recipients, const QString &signer,
                      const QByteArray &text, QByteArray *result, int charset) override;

private:
    int m_resultCharset = 2;
};

} // namespace zv
