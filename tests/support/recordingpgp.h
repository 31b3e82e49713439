#pragma once
// A test double of the PGP library: it records every call (owner, flags, recipients, text bytes, charset)
// and answers from scripted results. Constructing one installs it as the program's PGP library; destroying
// it puts the previous one back. Its defaults are harmless: the text functions fail and hand back nothing,
// the key manager starts, the version is 0.

#include "pgp/pgplibrary.h"

#include <QByteArray>
#include <QList>
#include <QPointer>
#include <QStringList>
#include <QWidget>
#include <functional>

class RecordingPgp : public zv::PgpLibrary {
public:
    enum class Fn { Init, Release, Encrypt, Decrypt, LaunchKeys, LaunchTools, Preferences, About, Version };

    struct Call {
        Fn fn = Fn::Init;
        QPointer<QWidget> owner;
        QWidget *ownerAddress = nullptr; // the owner as passed, also after it is gone
        int encrypt = -1;
        int sign = -1;
        int recipientCount = -1;
        QStringList recipients;
        QByteArray text;
        int charset = -1;
    };

    RecordingPgp();
    ~RecordingPgp() override;
    RecordingPgp(const RecordingPgp &) = delete;
    RecordingPgp &operator=(const RecordingPgp &) = delete;

    // ---- scripted answers -------------------------------------------------------------------------------
    // encryptText and decryptText return textResult; when it is nonzero, *result receives resultText.
    int textResult = 0;
    QByteArray resultText;
    int launchKeysResult = 1;
    int launchToolsResult = 1;
    int preferencesResult = 1;
    int aboutResult = 1;
    int versionResult = 0;
    // Runs inside every call after it was recorded (e.g. to look at the window while the library "works").
    std::function<void(const Call &)> onCall;

    // ---- what was asked --------------------------------------------------------------------------------
    QList<Call> calls;
    QList<Call> callsOf(Fn fn) const;
    int count(Fn fn) const { return int(callsOf(fn).size()); }
    // The text calls only (encrypt and decrypt), the ones that could change a document.
    int textCalls() const { return count(Fn::Encrypt) + count(Fn::Decrypt); }
    void clear() { calls.clear(); }

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

private:
    const Call &record(Call call);
    zv::PgpLibrary *m_previous = nullptr;
};
