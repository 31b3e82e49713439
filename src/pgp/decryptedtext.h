#pragma once
// What the document remembers of the message its text was decrypted from: whom it was addressed to and
// who signed it, so that the edited text can go back to the same people. It belongs to the document:
// New, opening another file and closing forget it; editing keeps it.

#include <QString>
#include <QStringList>

namespace zv {

struct DecryptedText {
    bool active = false;     // the text came from decrypting a message
    QStringList recipients;  // fingerprints of keyring keys, else key IDs
    QString signer;          // fingerprint of the signing key; empty: unsigned
    bool signerHeld = false; // the user holds the signer's secret key (it was the user's own signature)
};

} // namespace zv
