// The PGP commands: encrypt, sign, encrypt and sign, and decrypt and verify the whole text of the editor;
// the library's tools, key manager and preferences windows; and the PGP menu's states.

#include "app/frmMain.h"
#include "pgp/pgplibrary.h"
#include "platform/application.h"
#include "platform/dialogs.h"
#include "platform/settingsstore.h"
#include "platform/textcodec.h"

#include <QAction>
#include <optional>

using namespace zv;

namespace {

QString u(const char *s) { return QString::fromUtf8(s); }

// A notice of the program: caption "Zuvelo PGP", exclamation icon, OK.
void notice(QWidget *owner, const QString &text)
{
    Dialogs::instance().messageBox(owner, text, QStringLiteral("Zuvelo PGP"), MB_OK | MB_ICONEXCLAMATION);
}

// Why the running PGP command failed, when it is known: shown in the same box as the command's message.
QString g_reason;

void failed(QWidget *owner, const QString &message)
{
    notice(owner, g_reason.isEmpty() ? message : message + QStringLiteral("\n\n") + g_reason);
    g_reason.clear();
}

// "N行、M列" of a position, counted as the status bar counts them.
QString placeOf(const Editor *memo, qsizetype pos)
{
    const int line = memo->lineFromChar(int(pos));
    const int column = int(pos) - memo->lineIndex(line);
    return u("%1行、%2列").arg(line + 1).arg(column + 1);
}

// The whole text as the library takes it: CP932 bytes, lines ending in CR LF. A character the library
// cannot be given (one that CP932 does not have, or a NUL, which would end the text early) is named to
// the user, and nothing is handed over.
std::optional<QByteArray> libraryText(const Editor *memo)
{
    const QString text = memo->plainText();
    const EncodeResult encoded = encodeCp932(text, LineBreakStyle::CrLf);
    if (!encoded.ok) {
        const char32_t c = encoded.errorCharacter;
        const QString code = QStringLiteral("U+%1").arg(uint(c), 4, 16, QLatin1Char('0')).toUpper();
        const bool printable = !(c >= 0xD800 && c <= 0xDFFF) && QChar::isPrint(c);
        const QString shown = printable ? u("「%1」(%2)").arg(QString::fromUcs4(&c, 1), code) : code;
        g_reason = u("%1 はShift-JIS (CP932) で表せない文字のため、PGPに渡せません (%2)。\n"
                     "この文字を削除するか別の文字に置き換えてから、もう一度実行してください。")
                       .arg(shown, placeOf(memo, encoded.errorPosition));
        return std::nullopt;
    }
    // U+0000 and the raw byte 0x00 both become a NUL byte, where the library's text would end.
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i].unicode() == 0 || text[i] == opaqueByteChar(0)) {
            g_reason = u("NUL 文字 (コード 0) が含まれているため、PGPに渡せません (%1)。\n"
                         "この文字を削除してから、もう一度実行してください。")
                           .arg(placeOf(memo, i));
            return std::nullopt;
        }
    }
    return encoded.bytes;
}

// The library's text as the editor holds it. The library ends its lines in CR LF, but a decrypted text
// written elsewhere may use LF or CR: each of the three is a line break here. (A CR or LF byte is never
// part of a two-byte CP932 character, nor of a UTF-8 one, so they can be told apart on the bytes.)
// charset 3: UTF-8, for a text with characters CP932 lacks; they reach the editor as they are.
QString editorText(QByteArray bytes, int charset)
{
    bytes.replace("\r\n", "\n");
    bytes.replace('\r', '\n');
    if (charset == 3)
        return QString::fromUtf8(bytes);
    return decodeCp932(bytes, LineBreakStyle::Lf);
}

} // namespace

void TfrmMain::mnuPgpEncryptClick()
{
    if (!PgpEncrypt(1, 0))
        failed(this, u("PGP暗号化に失敗しました。"));
}

void TfrmMain::mnuPgpSignClick()
{
    if (!PgpEncrypt(0, 1))
        failed(this, u("PGP署名に失敗しました。"));
}

void TfrmMain::mnuPgpEncryptSignClick()
{
    if (!PgpEncrypt(1, 1))
        failed(this, u("PGP暗号化と署名に失敗しました。"));
}

bool TfrmMain::PgpEncrypt(int encrypt, int sign)
{
    // No recipients of our own: the library asks the user for them. Text decrypted from a message offers
    // that message's recipients selected (and, for someone else's signed message, its signer: a reply).
    if (encrypt && FDecrypted.active) {
        QStringList offered = FDecrypted.recipients;
        if (!FDecrypted.signer.isEmpty() && !FDecrypted.signerHeld && !offered.contains(FDecrypted.signer))
            offered << FDecrypted.signer;
        pgp().preselectRecipients(offered);
    }
    const bool done = PgpEncryptTo(encrypt, sign, {}, {});
    pgp().preselectRecipients({});
    return done;
}

void TfrmMain::PgpFailed(const QString &message) { failed(this, message); }

bool TfrmMain::PgpEncryptTo(int encrypt, int sign, const QStringList &recipients, const QString &signer)
{
    g_reason.clear();
    const std::optional<QByteArray> text = libraryText(Memo);
    if (!text)
        return false;

    // Read anew each time, so that a change in the options applies to the next command.
    int charset;
    {
        SettingsStore store;
        charset = store.read(setting::PgpCharSet) ? 2 : 1;
    }

    QByteArray result;
    const int rc = signer.isEmpty() ? pgp().encryptText(this, encrypt, sign, recipients, *text, &result, charset)
                                    : pgp().encryptTextAs(this, encrypt, sign, recipients, signer, *text, &result,
                                                          charset);
    if (!rc) {
        g_reason = pgp().failureReason();
        return false;
    }
    if (result.isEmpty())
        return false;
    Memo->setText(editorText(result, pgp().resultCharset()));
    // The text is a message again: nothing of the decrypted one is left to answer to.
    ForgetDecryption();
    // The library may have chosen the signing key itself: the status bar says which one signed.
    if (const QString usedKey = pgp().lastSigner(); sign && !usedKey.isEmpty())
        if (auto *app = Application::instance())
            app->setHint(u("署名した鍵: %1").arg(usedKey));
    return true;
}

void TfrmMain::mnuPgpDecryptClick()
{
    const QString message = u("復号化と検証に失敗しました。");
    g_reason.clear();
    const std::optional<QByteArray> text = libraryText(Memo);
    if (!text) {
        failed(this, message);
        return;
    }
    QByteArray result;
    if (!pgp().decryptText(this, *text, &result, 2)) {
        g_reason = pgp().failureReason();
        failed(this, message);
        return;
    }
    if (result.isEmpty()) {
        failed(this, message);
        return;
    }
    Memo->setText(editorText(result, pgp().resultCharset()));
    RememberDecryption();
}

void TfrmMain::mnuPgpLaunchToolsClick() { pgp().launchTools(this); }

void TfrmMain::mnuPgpLaunchKeysClick()
{
    if (!pgp().launchKeys(this)) {
        g_reason = pgp().failureReason();
        failed(this, u("PGP鍵の起動に失敗しました。"));
    }
}

void TfrmMain::mnuPgpPreferencesClick() { pgp().preferences(this); }

void TfrmMain::mnuPgpClick()
{
    mnuPgpEncrypt->setEnabled(tbEncrypt->isEnabled());
    mnuPgpSign->setEnabled(tbSign->isEnabled());
    mnuPgpEncryptSign->setEnabled(tbEncryptSign->isEnabled());
    mnuPgpDecrypt->setEnabled(tbDecrypt->isEnabled());
    mnuPgpReencrypt->setEnabled(CanReencrypt());
}
