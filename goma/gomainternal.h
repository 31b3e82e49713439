#ifndef GOMA_GOMAINTERNAL_H
#define GOMA_GOMAINTERNAL_H
// Inside the library: the pieces that its own tests reach directly. Not part of the program's interface.
#include "iso2022jp.h" // GOMA_INTERNAL

#include <QDateTime>
#include <QString>
#include <QStringList>

#include <vector>

namespace goma {

inline constexpr int kVersion = 200; // 2.00

// ----- the outcome of the last signature check -----
enum class Verdict {
    None,       // no signature was checked (or the last call carried none)
    Good,       // GnuPG reports the signature valid
    Bad,        // the signature does not match the text
    UnknownKey, // made by a key that is not in the keyring
    NotTrusted, // matches, but the key is not certified as valid for us
    Expired,    // matches, but the key or the signature has expired
    Revoked,    // matches, but the key has been revoked
    Error,      // could not be checked at all
};

struct Verification {
    Verdict verdict = Verdict::None;
    QString userId;
    QString fingerprint;
    QDateTime signedAt;
    QString validity; // the key's validity in words
    QString detail;   // further remarks (revoked key, expired signature, ...)
};

// The result of the last verification run by GOMADecryptText (also when no window was shown): the overall
// verdict (the worst signature's), and every signature on its own.
GOMA_INTERNAL Verification lastVerification();
GOMA_INTERNAL std::vector<Verification> lastSignatures();
// The key IDs (16 hex digits) the last decrypted message was addressed to.
GOMA_INTERNAL QStringList lastRecipients();

// Why the last GOMAEncryptText or GOMADecryptText call failed: empty text after a success or a cancel.
struct LastFailure {
    bool cancelled = false;
    QString text;
};
GOMA_INTERNAL LastFailure lastFailure();

// ----- preferences: $XDG_CONFIG_HOME/zuvelo-pgp/goma.conf -----
struct Preferences {
    QString defaultKey;          // fingerprint of the signing key; empty: none chosen
    bool encryptToSelf = true;   // add the user's own key to every recipient list
    QString gnupgHome;           // GnuPG home to use; empty: GnuPG's own choice (GNUPGHOME or ~/.gnupg)
};

GOMA_INTERNAL QString preferencesPath();
GOMA_INTERNAL Preferences loadPreferences();
// Writes the file atomically; false when it could not be written.
GOMA_INTERNAL bool savePreferences(const Preferences &prefs);

// ----- key managers -----
// Programs tried in this order by GOMALaunchKeys and GOMALaunchTools.
GOMA_INTERNAL QStringList keyManagerCandidates();

// ----- windows -----
// False when windows were switched off (setWindowsAllowed) or no QApplication runs: then the library shows
// nothing, and whatever would need a window fails.
GOMA_INTERNAL bool windowsAllowed();
// For the test suite: no window at all while false (the default is true).
GOMA_INTERNAL void setWindowsAllowed(bool allowed);

// ----- passphrases -----
// For the test suite: with a passphrase set, contexts use loopback pinentry and answer gpg-agent with it
// (once per request; a repeated request is cancelled). With none (the default), the library never handles
// passphrases: gpg-agent asks through its own pinentry.
GOMA_INTERNAL void setTestPassphrase(const QByteArray &passphrase);

} // namespace goma
#endif
