// The library's C interface: the nine functions the editor calls.
#include "goma.h"

#include "block.h"
#include "dialogs.h"
#include "engine.h"
#include "gomainternal.h"
#include "iso2022jp.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QProcess>
#include <QStandardPaths>

#include <cerrno>
#include <iconv.h>
#include <optional>
#include <utility>

namespace goma {
namespace {

Verification g_lastVerification;
std::vector<Verification> g_lastSignatures;
QStringList g_lastRecipients;
LastFailure g_lastFailure;
QByteArray g_lastFailureUtf8; // what GOMALastError hands out; stays valid until the next call
bool g_windowsAllowed = true;
QByteArray g_lastSignerUtf8; // "user ID [key ID]" of the key that signed last
QStringList g_preselected;              // selected when the recipient chooser opens next
QByteArray g_lastRecipientsUtf8;        // what GOMALastRecipients hands out
QByteArray g_lastMessageSignerUtf8;     // what GOMALastMessageSigner hands out

// A clear-signed line this long or longer is cut by GnuPG's armour; such a text is refused instead.
constexpr std::size_t kMaxSignedLineBytes = 19993; // with its CR LF, under GnuPG's 19,995

constexpr std::string_view kBeginMessage = "-----BEGIN PGP MESSAGE-----";
constexpr std::string_view kBeginSigned = "-----BEGIN PGP SIGNED MESSAGE-----";
constexpr std::string_view kBeginSignature = "-----BEGIN PGP SIGNATURE-----";

QWidget *ownerWidget(GOMA_HWND owner) { return static_cast<QWidget *>(owner); }

// ----- text helpers -----

// Every line break (CR LF, LF or a lone CR) becomes CR LF. Trail bytes of CP932 and ISO-2022-JP are never
// CR or LF, so working on bytes is safe.
SecureBytes toCrLf(std::string_view in)
{
    SecureBytes out;
    out.reserve(in.size() + in.size() / 32 + 2);
    for (std::size_t i = 0; i < in.size(); ++i) {
        const char c = in[i];
        if (c == '\r') {
            if (i + 1 < in.size() && in[i + 1] == '\n')
                ++i;
            append(out, "\r\n", 2);
        } else if (c == '\n') {
            append(out, "\r\n", 2);
        } else {
            out.push_back(c);
        }
    }
    return out;
}

std::string_view view(const SecureBytes &b) { return {b.data(), b.size()}; }

// A line of text without its line break and trailing blanks.
std::string_view trimmedLine(std::string_view line)
{
    while (!line.empty() && (line.back() == '\r' || line.back() == '\n' || line.back() == ' ' || line.back() == '\t'))
        line.remove_suffix(1);
    return line;
}

// Iterates over the lines of text; f returns false to stop. Gives each line with its start offset.
template <class F> void forEachLine(std::string_view text, F f)
{
    std::size_t pos = 0;
    while (pos < text.size()) {
        std::size_t end = text.find('\n', pos);
        const std::size_t next = end == std::string_view::npos ? text.size() : end + 1;
        if (!f(text.substr(pos, next - pos), pos))
            return;
        pos = next;
    }
}

// Inserts an armour header line directly after the first line equal to beginLine.
bool insertArmourHeader(SecureBytes &armour, std::string_view beginLine, std::string_view header)
{
    std::optional<std::size_t> insertAt;
    forEachLine(view(armour), [&](std::string_view line, std::size_t start) {
        if (trimmedLine(line) == beginLine) {
            insertAt = start + line.size();
            return false;
        }
        return true;
    });
    if (!insertAt || *insertAt > armour.size() || (*insertAt > 0 && armour[*insertAt - 1] != '\n'))
        return false;
    SecureBytes line;
    append(line, header.data(), header.size());
    append(line, "\n", 1);
    armour.insert(armour.begin() + static_cast<std::ptrdiff_t>(*insertAt), line.begin(), line.end());
    return true;
}

enum class ArmourKind { None, Message, Signed };

struct ArmourShape {
    ArmourKind kind = ArmourKind::None;
    std::string charset; // from the "Charset:" armour header, if any
};

// What the text holds: the first OpenPGP armour in it, and the character set its headers name.
ArmourShape inspectArmour(std::string_view text)
{
    ArmourShape shape;
    enum class State { Seeking, MessageHeaders, SeekingSignature, SignatureHeaders, Done } state = State::Seeking;
    forEachLine(text, [&](std::string_view raw, std::size_t) {
        const std::string_view line = trimmedLine(raw);
        switch (state) {
        case State::Seeking:
            if (line == kBeginMessage) {
                shape.kind = ArmourKind::Message;
                state = State::MessageHeaders;
            } else if (line == kBeginSigned) {
                shape.kind = ArmourKind::Signed;
                state = State::SeekingSignature;
            }
            return true;
        case State::SeekingSignature:
            if (line == kBeginSignature)
                state = State::SignatureHeaders;
            return true;
        case State::MessageHeaders:
        case State::SignatureHeaders: {
            const std::size_t colon = line.find(": ");
            if (line.empty() || colon == std::string_view::npos) {
                state = State::Done;
                return false;
            }
            const QString key = QString::fromLatin1(line.data(), static_cast<qsizetype>(colon));
            if (key.compare(QLatin1String("Charset"), Qt::CaseInsensitive) == 0)
                shape.charset = std::string(line.substr(colon + 2));
            return true;
        }
        case State::Done: break;
        }
        return false;
    });
    return shape;
}

// Whole-text conversion with the system's iconv; nothing on failure.
std::optional<SecureBytes> iconvConvert(const char *to, const char *from, std::string_view in)
{
    iconv_t cd = iconv_open(to, from);
    if (cd == reinterpret_cast<iconv_t>(-1))
        return std::nullopt;
    SecureBytes out(in.size() * 2 + 16);
    char *inp = const_cast<char *>(in.data());
    size_t inLeft = in.size();
    size_t used = 0;
    bool failed = false;
    while (inLeft > 0) {
        char *outp = out.data() + used;
        size_t outLeft = out.size() - used;
        const size_t rc = iconv(cd, &inp, &inLeft, &outp, &outLeft);
        used = static_cast<size_t>(outp - out.data());
        if (rc != static_cast<size_t>(-1))
            continue;
        if (errno == E2BIG) {
            out.resize(out.size() * 2);
            continue;
        }
        failed = true;
        break;
    }
    iconv_close(cd);
    if (failed)
        return std::nullopt;
    out.resize(used);
    return out;
}

// ----- failures -----

Failure refused(const QString &why) { return Failure{Failure::Kind::Error, gpg_error(GPG_ERR_GENERAL), why}; }
Failure cancelled() { return Failure{Failure::Kind::Cancelled, gpg_error(GPG_ERR_CANCELED), {}}; }

// "N行、M列" of a byte offset in a CP932 text, counting characters (a two-byte character is one column).
QString placeOf(std::string_view text, std::size_t offset)
{
    int line = 1;
    int column = 1;
    for (std::size_t i = 0; i < offset && i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c == '\n') {
            ++line;
            column = 1;
        } else if (c == '\r') {
            if (i + 1 < text.size() && text[i + 1] == '\n')
                continue;
            ++line;
            column = 1;
        } else {
            ++column;
            if (((c >= 0x81 && c <= 0x9f) || (c >= 0xe0 && c <= 0xfc)) && i + 1 < offset)
                ++i;
        }
    }
    return QStringLiteral("%1行、%2列").arg(line).arg(column);
}

// The CP932 character at offset, for a message: 「ｱ」 or, when it cannot be read, its bytes in hex.
QString characterAt(std::string_view text, std::size_t offset)
{
    if (offset >= text.size())
        return QStringLiteral("（文末）");
    const auto c = static_cast<unsigned char>(text[offset]);
    const bool lead = (c >= 0x81 && c <= 0x9f) || (c >= 0xe0 && c <= 0xfc);
    const std::size_t n = lead && offset + 1 < text.size() ? 2 : 1;
    const std::string_view bytes = text.substr(offset, n);
    QString hex;
    for (const char b : bytes)
        hex += QStringLiteral("%1").arg(static_cast<unsigned char>(b), 2, 16, QLatin1Char('0')).toUpper();
    if (auto utf8 = iconvConvert("UTF-8", "CP932", bytes)) {
        const QString ch = QString::fromUtf8(utf8->data(), static_cast<qsizetype>(utf8->size()));
        if (!ch.isEmpty() && ch.at(0).isPrint())
            return QStringLiteral("「%1」（0x%2）").arg(ch, hex);
    }
    return QStringLiteral("0x%1").arg(hex);
}

// ----- key choice -----

// The signing key: the preferences' default, else the only secret key, else the user's choice.
Result<Key> resolveSigner(QWidget *owner, const Preferences &prefs, const QString &named = {})
{
    auto listed = listKeys(prefs, true);
    if (!ok(listed))
        return failure(listed);
    std::vector<KeyInfo> &keys = value(listed);
    if (!named.isEmpty()) {
        for (KeyInfo &k : keys)
            if (k.fingerprint.compare(named, Qt::CaseInsensitive) == 0)
                return std::move(k.key);
        return refused(QStringLiteral("署名に使う鍵 %1 の秘密鍵がありません。").arg(named.right(16)));
    }
    if (!prefs.defaultKey.isEmpty()) {
        for (KeyInfo &k : keys)
            if (k.fingerprint.compare(prefs.defaultKey, Qt::CaseInsensitive) == 0)
                return std::move(k.key);
    }
    if (keys.size() == 1)
        return std::move(keys.front().key);
    if (keys.empty())
        return refused(QStringLiteral("署名に使える秘密鍵がありません（期限切れや失効した鍵は使えません）。"));
    if (!windowsAllowed())
        return refused(QStringLiteral("署名に使う鍵を選べません。PGPの設定で既定の署名鍵を選んでください。"));
    SignerDialog dialog(owner, keys);
    if (dialog.exec() != QDialog::Accepted)
        return cancelled();
    const QString fpr = dialog.selectedFingerprint();
    for (KeyInfo &k : keys)
        if (k.fingerprint == fpr)
            return std::move(k.key);
    return cancelled();
}

// Fingerprints of the keys whose secret part is in the keyring: the user's own keys.
QStringList ownFingerprints(const Preferences &prefs)
{
    QStringList fprs;
    auto listed = listKeys(prefs, true);
    if (ok(listed))
        for (const KeyInfo &k : value(listed))
            fprs << k.fingerprint;
    return fprs;
}

// Why a named recipient cannot be used: not there, ambiguous, or there but expired or revoked.
QString recipientProblem(const Preferences &prefs, const QString &name)
{
    auto ctx = newContext(prefs);
    if (ok(ctx)) {
        const QByteArray pat = name.toUtf8();
        gpgme_ctx_t c = value(ctx).get();
        if (gpgme_op_keylist_start(c, pat.constData(), 0) == 0) {
            gpgme_key_t k = nullptr;
            QString why;
            while (gpgme_op_keylist_next(c, &k) == 0) {
                Key key(k);
                const QString id = QString::fromLatin1(k->fpr ? k->fpr : "").right(16);
                if (k->revoked)
                    why = QStringLiteral("受信者の鍵 %1 は失効しています。").arg(id);
                else if (k->expired)
                    why = QStringLiteral("受信者の鍵 %1 は有効期限が切れています。").arg(id);
                else if (k->disabled || k->invalid || !k->can_encrypt)
                    why = QStringLiteral("受信者の鍵 %1 は暗号化に使えません。").arg(id);
            }
            gpgme_op_keylist_end(c);
            if (!why.isEmpty())
                return why;
        }
    }
    return QStringLiteral("受信者「%1」の公開鍵が見つかりません。").arg(name);
}

// One recipient named by the caller: it must name exactly one usable key (or match one fingerprint,
// key ID or e-mail address exactly).
std::optional<Failure> resolveNamedRecipient(const Preferences &prefs, const QString &name, std::vector<Key> &out)
{
    auto listed = listKeys(prefs, false, name);
    if (!ok(listed))
        return failure(listed);
    std::vector<KeyInfo> &keys = value(listed);
    if (keys.size() == 1) {
        out.push_back(std::move(keys.front().key));
        return std::nullopt;
    }
    if (keys.empty())
        return refused(recipientProblem(prefs, name));
    QString bare = name.trimmed();
    if (bare.startsWith(QLatin1String("0x"), Qt::CaseInsensitive))
        bare = bare.mid(2);
    if (bare.startsWith(QLatin1Char('<')) && bare.endsWith(QLatin1Char('>')))
        bare = bare.mid(1, bare.size() - 2);
    KeyInfo *exact = nullptr;
    bool ambiguous = false;
    for (KeyInfo &k : keys) {
        const bool hit = k.fingerprint.compare(bare, Qt::CaseInsensitive) == 0 ||
                         k.keyId.compare(bare, Qt::CaseInsensitive) == 0 ||
                         k.email.compare(bare, Qt::CaseInsensitive) == 0;
        if (hit) {
            ambiguous = ambiguous || exact;
            exact = &k;
        }
    }
    if (!exact || ambiguous)
        return refused(QStringLiteral("受信者「%1」に当てはまる鍵が %2 個あります。鍵IDかフィンガープリントで指定してください。")
                           .arg(name)
                           .arg(keys.size()));
    out.push_back(std::move(exact->key));
    return std::nullopt;
}

std::optional<Failure> chooseRecipients(QWidget *owner, const Preferences &prefs, const QStringList &own,
                                        std::vector<Key> &out, bool &alwaysTrust)
{
    if (!windowsAllowed())
        return refused(QStringLiteral("受信者が指定されていません。"));
    auto listed = listKeys(prefs, false);
    if (!ok(listed))
        return failure(listed);
    std::vector<KeyInfo> &keys = value(listed);
    if (keys.empty())
        return refused(QStringLiteral("暗号化に使える公開鍵がありません。鍵の管理で相手の公開鍵を読み込んでください。"));
    RecipientDialog dialog(owner, keys, own);
    dialog.preselect(std::exchange(g_preselected, {}));
    if (dialog.exec() != QDialog::Accepted)
        return cancelled();
    const QStringList chosen = dialog.selectedFingerprints();
    if (chosen.isEmpty())
        return cancelled();
    QStringList doubtful;
    for (KeyInfo &k : keys) {
        if (!chosen.contains(k.fingerprint))
            continue;
        if (k.validity < GPGME_VALIDITY_FULL)
            doubtful << QStringLiteral("%1 [%2]（%3）").arg(k.userId, k.keyId, validityText(k.validity));
        out.push_back(std::move(k.key));
    }
    if (!doubtful.isEmpty()) {
        QMessageBox box(QMessageBox::Question, QStringLiteral("Goma"),
                        QStringLiteral("次の鍵は有効性が確認されていません。\n\n%1\n\nこの鍵で暗号化しますか？")
                            .arg(doubtful.join(QLatin1Char('\n'))),
                        QMessageBox::Yes | QMessageBox::No, owner);
        box.setObjectName(QStringLiteral("gomaTrustQuestion"));
        box.button(QMessageBox::Yes)->setText(QStringLiteral("はい(&Y)"));
        box.button(QMessageBox::No)->setText(QStringLiteral("いいえ(&N)"));
        box.setDefaultButton(QMessageBox::No);
        if (box.exec() != QMessageBox::Yes)
            return cancelled();
        alwaysTrust = true;
    }
    return std::nullopt;
}

// Asks before making a message the user will not be able to read again. True: go on.
bool confirmLockOut(QWidget *owner, const QString &why)
{
    if (!windowsAllowed())
        return true; // nobody to ask: the caller named the recipients itself
    QMessageBox box(QMessageBox::Warning, QStringLiteral("Goma"),
                    why + QStringLiteral("\n暗号化すると、この文書をあなた自身は復号できなくなります。\n\n暗号化しますか？"),
                    QMessageBox::Yes | QMessageBox::No, owner);
    box.setObjectName(QStringLiteral("gomaLockOutQuestion"));
    box.button(QMessageBox::Yes)->setText(QStringLiteral("暗号化する(&Y)"));
    box.button(QMessageBox::No)->setText(QStringLiteral("やめる(&N)"));
    box.setDefaultButton(QMessageBox::No);
    return box.exec() == QMessageBox::Yes;
}

// What a clear signature changes in the text, in one line; empty when it changes nothing.
QString clearSignChanges(std::string_view text)
{
    bool trailingBlanks = false;
    forEachLine(text, [&](std::string_view line, std::size_t) {
        while (!line.empty() && (line.back() == '\n' || line.back() == '\r'))
            line.remove_suffix(1);
        if (!line.empty() && (line.back() == ' ' || line.back() == '\t'))
            trailingBlanks = true;
        return !trailingBlanks;
    });
    const bool noFinalBreak = !text.empty() && text.back() != '\n';
    if (trailingBlanks && noFinalBreak)
        return QStringLiteral("署名の形式により、行末の空白は署名されず検証後には削除され、最後に改行が加わります。");
    if (trailingBlanks)
        return QStringLiteral("署名の形式により、行末の空白は署名されず検証後には削除されます。");
    if (noFinalBreak)
        return QStringLiteral("署名の形式により、最後の行に改行が加わります。");
    return {};
}

bool confirmClearSign(QWidget *owner, const QString &changes)
{
    if (changes.isEmpty() || !windowsAllowed())
        return true;
    QMessageBox box(QMessageBox::Information, QStringLiteral("Goma"), changes, QMessageBox::Ok | QMessageBox::Cancel,
                    owner);
    box.setObjectName(QStringLiteral("gomaSignNotice"));
    box.button(QMessageBox::Ok)->setText(QStringLiteral("署名する"));
    box.button(QMessageBox::Cancel)->setText(QStringLiteral("キャンセル"));
    return box.exec() == QMessageBox::Ok;
}

// A line GnuPG's armour would cut: its number (1-based), or 0.
int overlongLine(std::string_view text)
{
    int number = 0;
    int found = 0;
    forEachLine(text, [&](std::string_view line, std::size_t) {
        ++number;
        while (!line.empty() && (line.back() == '\n' || line.back() == '\r'))
            line.remove_suffix(1);
        if (line.size() >= kMaxSignedLineBytes)
            found = number;
        return found == 0;
    });
    return found;
}

struct Made {
    SecureBytes bytes;
    int charset = GOMA_CHARSET_SHIFTJIS; // of the bytes handed back
};

Result<Made> encryptText(QWidget *owner, bool doEncrypt, bool doSign, const char *const *recipients, int count,
                         std::string_view text, int charset, const QString &namedSigner = {})
{
    if (!doEncrypt && !doSign)
        return refused(QStringLiteral("暗号化も署名も指定されていません。"));
    if (charset != GOMA_CHARSET_JIS && charset != GOMA_CHARSET_SHIFTJIS)
        return refused(QStringLiteral("文字コードの指定 %1 は使えません。").arg(charset));
    if (count < 0 || (count > 0 && !recipients))
        return refused(QStringLiteral("受信者の指定が正しくありません。"));
    if (!engineReady())
        return failureFrom(gpg_error(GPG_ERR_NOT_SUPPORTED));
    const Preferences prefs = loadPreferences();

    // Every line break becomes CR LF first, so that what is signed is what the caller gets back.
    const SecureBytes normalised = toCrLf(text);
    std::string_view payload = view(normalised);
    SecureBytes converted;
    if (charset == GOMA_CHARSET_JIS) {
        const jis::ConvertResult r = jis::cp932ToIso2022jp(payload, converted);
        if (!r)
            return refused(QStringLiteral("%1 は JIS（ISO-2022-JP）で表せない文字です（%2）。Shift-JIS を選ぶか、"
                                          "この文字を置き換えてください。")
                               .arg(characterAt(payload, r.errorOffset), placeOf(payload, r.errorOffset)));
        payload = view(converted);
    }
    if (!doEncrypt) {
        if (const int line = overlongLine(payload))
            return refused(QStringLiteral("%1行目が長すぎるため、クリア署名できません（1行 %2 バイト未満）。"
                                          "行を分けてから、もう一度署名してください。")
                               .arg(line)
                               .arg(kMaxSignedLineBytes));
    }
    const std::string_view charsetHeader =
        charset == GOMA_CHARSET_JIS ? std::string_view("Charset: ISO-2022-JP") : std::string_view("Charset: Shift_JIS");

    std::vector<Key> to;
    bool alwaysTrust = false;
    const QStringList own = ownFingerprints(prefs);
    if (doEncrypt) {
        if (count > 0) {
            for (int i = 0; i < count; ++i) {
                if (!recipients[i])
                    return refused(QStringLiteral("受信者の指定が正しくありません。"));
                const auto name = iconvConvert("UTF-8", "CP932", recipients[i]);
                if (!name)
                    return refused(QStringLiteral("受信者の名前を読めません。"));
                if (auto f = resolveNamedRecipient(
                        prefs, QString::fromUtf8(name->data(), static_cast<qsizetype>(name->size())), to))
                    return *f;
            }
        } else if (auto f = chooseRecipients(owner, prefs, own, to, alwaysTrust)) {
            return *f;
        }
    }
    Key signer;
    QString signerName;
    if (doSign) {
        auto s = resolveSigner(owner, prefs, namedSigner);
        if (!ok(s))
            return failure(s);
        signer = std::move(value(s));
        const QString fpr = QString::fromLatin1(signer->fpr ? signer->fpr : "");
        signerName = QStringLiteral("%1 [%2]").arg(signer->uids && signer->uids->uid ? QString::fromUtf8(signer->uids->uid)
                                                                                      : QString(),
                                                   fpr.right(16));
    }
    if (doEncrypt) {
        const auto holds = [&](const QString &fpr) {
            for (const Key &k : to)
                if (k->fpr && fpr.compare(QLatin1String(k->fpr), Qt::CaseInsensitive) == 0)
                    return true;
            return false;
        };
        if (prefs.encryptToSelf) {
            // The signing key, else the default key, else every key of the user's own.
            QStringList self;
            if (signer && signer->fpr)
                self << QString::fromLatin1(signer->fpr);
            else if (!prefs.defaultKey.isEmpty() && own.contains(prefs.defaultKey, Qt::CaseInsensitive))
                self << prefs.defaultKey;
            else
                self = own;
            if (self.isEmpty() &&
                !confirmLockOut(owner, QStringLiteral("あなたの秘密鍵がこの鍵束にありません。")))
                return cancelled();
            for (const QString &fpr : self) {
                if (holds(fpr))
                    continue;
                gpgme_key_t k = nullptr;
                auto ctx = newContext(prefs);
                if (ok(ctx) && gpgme_get_key(value(ctx).get(), fpr.toLatin1().constData(), &k, 0) == 0 && k)
                    to.emplace_back(k);
            }
        } else {
            bool mine = false;
            for (const QString &fpr : own)
                mine = mine || holds(fpr);
            if (!mine && !confirmLockOut(owner, own.isEmpty() ? QStringLiteral("あなたの秘密鍵がこの鍵束にありません。")
                                                              : QStringLiteral("選んだ受信者には、あなた自身の鍵が含まれていません。")))
                return cancelled();
        }
    } else if (!confirmClearSign(owner, clearSignChanges(payload))) {
        return cancelled();
    }

    Result<SecureBytes> armoured = SecureBytes{};
    if (doEncrypt) {
        std::vector<gpgme_key_t> raw;
        for (const Key &k : to)
            raw.push_back(k.get());
        armoured = encrypt(prefs, payload, raw, alwaysTrust, doSign ? signer.get() : nullptr);
        if (!ok(armoured))
            return failure(armoured);
        if (!insertArmourHeader(value(armoured), kBeginMessage, charsetHeader))
            return refused(QStringLiteral("GnuPG の出力を読めません。"));
    } else {
        // The cleartext header may only carry "Hash:"; the character set goes with the signature block.
        armoured = clearSign(prefs, payload, signer.get());
        if (!ok(armoured))
            return failure(armoured);
        if (!insertArmourHeader(value(armoured), kBeginSignature, charsetHeader))
            return refused(QStringLiteral("GnuPG の出力を読めません。"));
    }
    g_lastSignerUtf8 = signerName.toUtf8();
    return Made{toCrLf(view(value(armoured))), GOMA_CHARSET_SHIFTJIS};
}

// ----- character sets of what other programs send -----

enum class TextCharset { Unknown, Cp932, Jis, Utf8, EucJp };

TextCharset charsetNamed(const std::string &header)
{
    const QString name = QString::fromLatin1(header.data(), static_cast<qsizetype>(header.size())).trimmed().toLower();
    if (name.isEmpty())
        return TextCharset::Unknown;
    static const std::pair<const char *, TextCharset> names[] = {
        {"shift_jis", TextCharset::Cp932},   {"shift-jis", TextCharset::Cp932},  {"sjis", TextCharset::Cp932},
        {"cp932", TextCharset::Cp932},       {"windows-31j", TextCharset::Cp932}, {"ms932", TextCharset::Cp932},
        {"x-sjis", TextCharset::Cp932},      {"ms_kanji", TextCharset::Cp932},   {"us-ascii", TextCharset::Cp932},
        {"iso-2022-jp", TextCharset::Jis},   {"utf-8", TextCharset::Utf8},       {"utf8", TextCharset::Utf8},
        {"euc-jp", TextCharset::EucJp},      {"eucjp", TextCharset::EucJp},      {"x-euc-jp", TextCharset::EucJp},
    };
    for (const auto &[n, cs] : names)
        if (name == QLatin1String(n))
            return cs;
    return TextCharset::Unknown;
}

bool validUtf8(std::string_view s, bool &nonAscii)
{
    nonAscii = false;
    for (std::size_t i = 0; i < s.size();) {
        const auto c = static_cast<unsigned char>(s[i]);
        if (c < 0x80) {
            ++i;
            continue;
        }
        nonAscii = true;
        int n = 0;
        char32_t cp = 0;
        if (c >= 0xc2 && c <= 0xdf) n = 1, cp = c & 0x1f;
        else if (c >= 0xe0 && c <= 0xef) n = 2, cp = c & 0x0f;
        else if (c >= 0xf0 && c <= 0xf4) n = 3, cp = c & 0x07;
        else return false;
        if (i + static_cast<std::size_t>(n) >= s.size())
            return false;
        for (int k = 1; k <= n; ++k) {
            const auto t = static_cast<unsigned char>(s[i + static_cast<std::size_t>(k)]);
            if ((t & 0xc0) != 0x80)
                return false;
            cp = (cp << 6) | (t & 0x3f);
        }
        if ((n == 2 && cp < 0x800) || (n == 3 && (cp < 0x10000 || cp > 0x10ffff)) || (cp >= 0xd800 && cp <= 0xdfff))
            return false;
        i += static_cast<std::size_t>(n) + 1;
    }
    return true;
}

bool hasIso2022Escapes(std::string_view s)
{
    for (std::size_t i = 0; i + 2 < s.size(); ++i)
        if (s[i] == '\x1b' && (s[i + 1] == '$' || s[i + 1] == '('))
            return true;
    return false;
}

// The decrypted bytes as the caller takes them: CP932 wherever CP932 can carry every character, otherwise
// UTF-8 (nothing is dropped).
Made toCallerText(SecureBytes plain, const std::string &header)
{
    TextCharset cs = charsetNamed(header);
    bool nonAscii = false;
    if (cs == TextCharset::Unknown) {
        if (hasIso2022Escapes(view(plain)))
            cs = TextCharset::Jis;
        else if (validUtf8(view(plain), nonAscii) && nonAscii)
            cs = TextCharset::Utf8;
        else
            cs = TextCharset::Cp932;
    }
    switch (cs) {
    case TextCharset::Jis: {
        SecureBytes out;
        if (jis::iso2022jpToCp932(view(plain), out))
            return {std::move(out), GOMA_CHARSET_SHIFTJIS};
        if (auto utf8 = iconvConvert("UTF-8", "ISO-2022-JP-2", view(plain)))
            return {std::move(*utf8), GOMA_CHARSET_UTF8};
        break;
    }
    case TextCharset::Utf8:
        if (auto cp932 = iconvConvert("CP932", "UTF-8", view(plain)))
            return {std::move(*cp932), GOMA_CHARSET_SHIFTJIS};
        if (validUtf8(view(plain), nonAscii))
            return {std::move(plain), GOMA_CHARSET_UTF8};
        break;
    case TextCharset::EucJp:
        for (const char *name : {"EUC-JP-MS", "EUC-JP"})
            if (auto cp932 = iconvConvert("CP932", name, view(plain)))
                return {std::move(*cp932), GOMA_CHARSET_SHIFTJIS};
        if (auto utf8 = iconvConvert("UTF-8", "EUC-JP", view(plain)))
            return {std::move(*utf8), GOMA_CHARSET_UTF8};
        break;
    case TextCharset::Cp932:
    case TextCharset::Unknown: break;
    }
    return {std::move(plain), GOMA_CHARSET_SHIFTJIS};
}

// Whether the signed part of a clear-signed text holds a line longer than GnuPG reads whole.
bool hasOverlongSignedLine(std::string_view text)
{
    enum class State { Seeking, Body } state = State::Seeking;
    bool overlong = false;
    forEachLine(text, [&](std::string_view line, std::size_t) {
        if (state == State::Seeking) {
            if (trimmedLine(line) == kBeginSigned)
                state = State::Body;
            return true;
        }
        if (trimmedLine(line) == kBeginSignature)
            return false;
        overlong = trimmedLine(line).size() >= 19995;
        return !overlong;
    });
    return overlong;
}

Result<Made> decryptText(QWidget *owner, std::string_view text)
{
    const ArmourShape shape = inspectArmour(text);
    if (shape.kind == ArmourKind::None)
        return refused(QStringLiteral("OpenPGPの暗号文または署名付きの文書が見つかりません。"));
    if (!engineReady())
        return failureFrom(gpg_error(GPG_ERR_NOT_SUPPORTED));
    const Preferences prefs = loadPreferences();
    if (shape.kind == ArmourKind::Signed && hasOverlongSignedLine(text)) {
        // GnuPG reads such a line shortened (in the armour and in text mode alike), checks the shortened
        // text and calls a good signature bad. "Bad" is never said of a signature that may be good.
        return refused(QStringLiteral("この署名付きの文書には GnuPG が読める長さ（1行 19,995 バイト）を超える行があるため、"
                                      "署名を検証できません。署名が不正だという意味ではありません。"
                                      "送り主に、行を分けて署名し直すよう頼んでください。"));
    }
    auto opened = open(prefs, text, shape.kind == ArmourKind::Signed);
    if (!ok(opened))
        return failure(opened);
    Opened &o = value(opened);
    g_lastRecipients = o.recipientKeyIds;
    g_lastSignatures = o.signatures;
    if (o.signatureChecked || o.wasEncrypted) {
        g_lastVerification = o.verification;
        if (windowsAllowed()) {
            VerifyDialog dialog(owner, o.verification, o.signatures);
            dialog.exec();
        }
        // A bad signature never hands its text back; nor does a clear-signed text whose signature could
        // not be checked at all (its only worth is the check; a missing key has a verdict of its own).
        if (o.verification.verdict == Verdict::Bad)
            return refused(QStringLiteral("署名が文書と一致しません。文書が改変されているか、署名が壊れています。"));
        if (o.verification.verdict == Verdict::Error && shape.kind == ArmourKind::Signed)
            return refused(o.verification.detail.isEmpty() ? QStringLiteral("署名を検証できませんでした。")
                                                           : o.verification.detail);
    }
    Made made = toCallerText(std::move(o.plain), shape.charset);
    made.bytes = toCrLf(view(made.bytes));
    return made;
}

// The Debian packages that provide the key managers tried, in the same order.
QStringList keyManagerPackages() { return {QStringLiteral("kleopatra"), QStringLiteral("seahorse"), QStringLiteral("gpa")}; }

Result<bool> launchKeyManager()
{
    // The key manager works on the keyring the library uses: the preferences' GnuPG home, if one is named.
    const Preferences prefs = loadPreferences();
    for (const QString &name : keyManagerCandidates()) {
        const QString path = QStandardPaths::findExecutable(name);
        if (path.isEmpty())
            continue;
        QProcess process;
        process.setProgram(path);
        if (!prefs.gnupgHome.isEmpty()) {
            QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
            env.insert(QStringLiteral("GNUPGHOME"), prefs.gnupgHome);
            process.setProcessEnvironment(env);
        }
        if (process.startDetached())
            return true;
    }
    return refused(QStringLiteral("鍵の管理プログラムが見つかりません（探したプログラム: %1）。\n"
                                  "Debian では %2 のいずれかのパッケージをインストールしてください。")
                       .arg(keyManagerCandidates().join(QStringLiteral("、")),
                            keyManagerPackages().join(QStringLiteral("、"))));
}

// Remembers how a call ended, for GOMALastError and the tests.
void remember(const Failure *f)
{
    g_lastFailure = LastFailure{};
    if (f) {
        g_lastFailure.cancelled = f->kind == Failure::Kind::Cancelled;
        if (!g_lastFailure.cancelled)
            g_lastFailure.text = f->what.isEmpty() ? QStringLiteral("原因は分かりません。") : f->what;
    }
    g_lastFailureUtf8 = g_lastFailure.text.toUtf8();
}

// Hands a result over as a block the caller frees; a failure is remembered instead.
int handOver(Result<Made> made, GOMA_HGLOBAL *result)
{
    if (!ok(made)) {
        remember(&failure(made));
        return 0;
    }
    BlockPtr block(makeBlock(value(made).bytes.data(), value(made).bytes.size(), value(made).charset));
    if (!block) {
        const Failure f = failureFrom(gpg_error(GPG_ERR_ENOMEM));
        remember(&f);
        return 0;
    }
    remember(nullptr);
    *result = block.release();
    return 1;
}

// Runs a C function's body: any exception ends in a failure with a Japanese reason, never in the caller.
template <class F> int guardedCall(F f)
{
    try {
        return f();
    } catch (const std::bad_alloc &) {
        const Failure out = failureFrom(gpg_error(GPG_ERR_ENOMEM));
        remember(&out);
    } catch (...) {
        const Failure out = refused(QStringLiteral("ライブラリの内部で予期しないエラーが起きました。"));
        remember(&out);
    }
    return 0;
}

// The fingerprint of the primary key that holds this key ID or fingerprint (a subkey's too); empty when the
// keyring has no such key.
QString primaryFingerprint(const Preferences &prefs, const QString &id)
{
    auto ctx = newContext(prefs);
    gpgme_key_t k = nullptr;
    if (!ok(ctx) || id.isEmpty() || gpgme_get_key(value(ctx).get(), id.toLatin1().constData(), &k, 0) != 0 || !k)
        return {};
    Key key(k);
    return QString::fromLatin1(k->fpr ? k->fpr : "");
}

// Remembers whom the message just decrypted came from and went to, matched to the keyring's keys.
void rememberCorrespondents()
{
    g_lastRecipientsUtf8.clear();
    g_lastMessageSignerUtf8.clear();
    if (g_lastRecipients.isEmpty() && g_lastSignatures.empty())
        return;
    const Preferences prefs = loadPreferences();
    QStringList to;
    for (const QString &id : g_lastRecipients) {
        const QString fpr = primaryFingerprint(prefs, id);
        const QString name = fpr.isEmpty() ? id : fpr;
        if (!to.contains(name, Qt::CaseInsensitive))
            to << name;
    }
    g_lastRecipientsUtf8 = to.join(QLatin1Char('\n')).toUtf8();
    if (!g_lastSignatures.empty()) {
        const QString fpr = g_lastSignatures.front().fingerprint;
        const QString primary = primaryFingerprint(prefs, fpr);
        g_lastMessageSignerUtf8 = (primary.isEmpty() ? fpr : primary).toUtf8();
    }
}

} // namespace

Verification lastVerification() { return g_lastVerification; }
std::vector<Verification> lastSignatures() { return g_lastSignatures; }
QStringList lastRecipients() { return g_lastRecipients; }
LastFailure lastFailure() { return g_lastFailure; }

QStringList keyManagerCandidates()
{
    return {QStringLiteral("kleopatra"), QStringLiteral("seahorse"), QStringLiteral("gpa")};
}

bool windowsAllowed()
{
    return g_windowsAllowed && qobject_cast<QApplication *>(QCoreApplication::instance()) != nullptr;
}

void setWindowsAllowed(bool allowed) { g_windowsAllowed = allowed; }

} // namespace goma

extern "C" {

GOMA_API int GOMAInit(void)
{
    try {
        return goma::initEngine() ? 1 : 0;
    } catch (...) {
        return 0;
    }
}

GOMA_API int GOMARelease(void)
{
    goma::releaseEngine();
    goma::g_lastVerification = goma::Verification{};
    goma::g_lastSignatures.clear();
    goma::g_lastRecipients.clear();
    goma::g_lastRecipientsUtf8.clear();
    goma::g_lastMessageSignerUtf8.clear();
    goma::g_preselected.clear();
    goma::remember(nullptr);
    return 1;
}

GOMA_API int GOMAEncryptText(GOMA_HWND owner, int encrypt, int sign, const char *const *recipients, int count,
                             const char *text, GOMA_HGLOBAL *result, int charset)
{
    if (!result)
        return 0;
    *result = nullptr;
    goma::g_lastSignerUtf8.clear();
    return goma::guardedCall([&] {
        if (!text)
            return goma::handOver(goma::refused(QStringLiteral("文書がありません。")), result);
        return goma::handOver(goma::encryptText(goma::ownerWidget(owner), encrypt != 0, sign != 0, recipients, count,
                                                text, charset),
                              result);
    });
}

GOMA_API int GOMADecryptText(GOMA_HWND owner, const char *text, GOMA_HGLOBAL *result, int)
{
    if (!result)
        return 0;
    *result = nullptr;
    goma::g_lastVerification = goma::Verification{};
    goma::g_lastSignatures.clear();
    goma::g_lastRecipients.clear();
    goma::g_lastRecipientsUtf8.clear();
    goma::g_lastMessageSignerUtf8.clear();
    return goma::guardedCall([&] {
        if (!text)
            return goma::handOver(goma::refused(QStringLiteral("文書がありません。")), result);
        const int rc = goma::handOver(goma::decryptText(goma::ownerWidget(owner), text), result);
        if (rc)
            goma::rememberCorrespondents();
        return rc;
    });
}

GOMA_API int GOMAEncryptTextAs(GOMA_HWND owner, int encrypt, int sign, const char *const *recipients, int count,
                               const char *signer, const char *text, GOMA_HGLOBAL *result, int charset)
{
    if (!result)
        return 0;
    *result = nullptr;
    goma::g_lastSignerUtf8.clear();
    return goma::guardedCall([&] {
        if (!text)
            return goma::handOver(goma::refused(QStringLiteral("文書がありません。")), result);
        const QString named = signer ? QString::fromLatin1(signer).trimmed() : QString();
        return goma::handOver(goma::encryptText(goma::ownerWidget(owner), encrypt != 0, sign != 0, recipients, count,
                                                text, charset, named),
                              result);
    });
}

GOMA_API const char *GOMALastRecipients(void) { return goma::g_lastRecipientsUtf8.constData(); }
GOMA_API const char *GOMALastMessageSigner(void) { return goma::g_lastMessageSignerUtf8.constData(); }

GOMA_API int GOMAHasSecretKey(const char *fingerprint)
{
    try {
        if (!fingerprint || !*fingerprint || !goma::engineReady())
            return 0;
        auto listed = goma::listKeys(goma::loadPreferences(), true);
        if (!goma::ok(listed))
            return 0;
        for (const goma::KeyInfo &k : goma::value(listed))
            if (k.fingerprint.compare(QLatin1String(fingerprint), Qt::CaseInsensitive) == 0)
                return 1;
        return 0;
    } catch (...) {
        return 0;
    }
}

GOMA_API void GOMAPreselectRecipients(const char *const *keys, int count)
{
    try {
        goma::g_preselected.clear();
        for (int i = 0; keys && i < count; ++i)
            if (keys[i])
                goma::g_preselected << QString::fromLatin1(keys[i]);
    } catch (...) {
    }
}

GOMA_API const char *GOMALastError(void) { return goma::g_lastFailureUtf8.constData(); }

GOMA_API const char *GOMALastSigner(void) { return goma::g_lastSignerUtf8.constData(); }

GOMA_API int GOMALaunchKeys(GOMA_HWND)
{
    return goma::guardedCall([] {
        auto launched = goma::launchKeyManager();
        goma::remember(goma::ok(launched) ? nullptr : &goma::failure(launched));
        return goma::ok(launched) ? 1 : 0;
    });
}

GOMA_API int GOMALaunchTools(GOMA_HWND owner) { return GOMALaunchKeys(owner); }

GOMA_API int GOMAPreferences(GOMA_HWND owner)
{
    try {
        if (!goma::windowsAllowed())
            return 0;
        const goma::Preferences prefs = goma::loadPreferences();
        std::vector<goma::KeyInfo> secretKeys;
        if (goma::engineReady()) {
            auto listed = goma::listKeys(prefs, true);
            if (goma::ok(listed))
                secretKeys = std::move(goma::value(listed));
        }
        goma::PreferencesDialog dialog(goma::ownerWidget(owner), prefs, secretKeys, goma::engineInfo(prefs).home);
        if (dialog.exec() != QDialog::Accepted)
            return 0;
        if (!goma::savePreferences(dialog.preferences())) {
            QMessageBox::warning(goma::ownerWidget(owner), QStringLiteral("Goma"),
                                 QStringLiteral("設定を保存できませんでした。\n%1").arg(goma::preferencesPath()));
            return 0;
        }
        return 1;
    } catch (...) {
        return 0;
    }
}

GOMA_API int GOMAAbout(GOMA_HWND owner)
{
    try {
        if (!goma::windowsAllowed())
            return 0;
        goma::engineReady();
        goma::AboutDialog dialog(goma::ownerWidget(owner), goma::engineInfo(goma::loadPreferences()));
        dialog.exec();
        return 1;
    } catch (...) {
        return 0;
    }
}

GOMA_API int GOMAGetVersion(void) { return goma::kVersion; }

} // extern "C"
