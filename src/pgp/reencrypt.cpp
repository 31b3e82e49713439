// Text decrypted from a message remembers whom the message was addressed to and who signed it: the edited
// text goes back to the same people in one step, F9 offers them selected, and Save asks before the
// plaintext replaces the message it came from.

#include "app/frmMain.h"
#include "pgp/pgplibrary.h"
#include "platform/dialogs.h"

#include <QAction>

using namespace zv;

namespace {
QString u(const char *s) { return QString::fromUtf8(s); }
} // namespace

void TfrmMain::RememberDecryption()
{
    FDecrypted = DecryptedText{};
    const QStringList recipients = pgp().lastRecipients();
    if (recipients.isEmpty()) {
        ForgetDecryption(); // a clear-signed text: nobody to encrypt to
        return;
    }
    FDecrypted.active = true;
    FDecrypted.recipients = recipients;
    FDecrypted.signer = pgp().lastMessageSigner();
    FDecrypted.signerHeld = !FDecrypted.signer.isEmpty() && pgp().holdsSecretKey(FDecrypted.signer);
    const QString tip = u("復号した文書です（Shift+F9 で同じ宛先 %1 人に暗号化）").arg(recipients.size());
    tbEncrypt->setToolTip(u("暗号化 - ") + tip);
    tbEncryptSign->setToolTip(u("暗号化と署名 - ") + tip);
    mnuPgpReencrypt->setStatusTip(u("復号した文書を、元の文書と同じ宛先 %1 人にPGPで暗号化します%2")
                                      .arg(recipients.size())
                                      .arg(FDecrypted.signerHeld ? u("（同じ鍵で署名）") : QString()));
}

void TfrmMain::ForgetDecryption()
{
    FDecrypted = DecryptedText{};
    if (tbEncrypt) {
        tbEncrypt->setToolTip(u("暗号化"));
        tbEncryptSign->setToolTip(u("暗号化と署名"));
        mnuPgpReencrypt->setStatusTip(u("復号した文書を、元の文書と同じ宛先にPGPで暗号化します"));
    }
}

bool TfrmMain::CanReencrypt() const { return FDecrypted.active && Memo->textLength() > 0; }

void TfrmMain::mnuPgpReencryptClick()
{
    if (CanReencrypt())
        PgpReencrypt();
}

bool TfrmMain::PgpReencrypt()
{
    // Signed again only with the key that signed the message, and only when it is the user's own.
    const int sign = FDecrypted.signerHeld ? 1 : 0;
    const QString signer = sign ? FDecrypted.signer : QString();
    if (PgpEncryptTo(1, sign, FDecrypted.recipients, signer))
        return true;
    PgpFailed(sign ? u("PGP暗号化と署名に失敗しました。") : u("PGP暗号化に失敗しました。"));
    return false;
}

void TfrmMain::NoteDocumentRead(const QString &fileName, const QString &text)
{
    ForgetDecryption();
    FArmouredFile = text.contains(QLatin1String("-----BEGIN PGP MESSAGE-----")) ? fileName : QString();
}

bool TfrmMain::ConfirmSaveDecrypted()
{
    if (!FDecrypted.active || FArmouredFile.isEmpty() || FArmouredFile != SaveDialog.fileName)
        return true;
    const QString text =
        u("このファイルには暗号化された文書が入っていましたが、今の内容は復号した平文です。\n"
          "同じ宛先 (%1 人) にもう一度暗号化してから保存しますか?\n\n"
          "はい: 暗号化して保存します\n"
          "いいえ: 平文のまま保存します\n"
          "キャンセル: 保存しません")
            .arg(FDecrypted.recipients.size());
    switch (Dialogs::instance().messageBox(this, text, QStringLiteral("Zuvelo PGP"), MB_YESNOCANCEL | MB_ICONEXCLAMATION)) {
    case IDYES:
        return PgpReencrypt();
    case IDNO:
        FArmouredFile.clear(); // the file holds the plaintext from now on
        return true;
    default:
        return false;
    }
}

void TfrmMain::NoteFindInDecrypted()
{
    if (FDecrypted.active)
        FFindInDecrypted = true;
}
