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

namespace goma {
namespace {

Verification g_lastVerification;

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

bool sameCharset(const std::string &name, const char *wanted)
{
    return QString::fromLatin1(name.data(), static_cast<qsizetype>(name.size())).trimmed()
               .compare(QLatin1String(wanted), Qt::CaseInsensitive) == 0;
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

// ----- key choice -----

enum class Outcome { Ok, Failed, Cancelled };

Outcome resolveSigner(QWidget *owner, const Preferences &prefs, Key &signer)
{
    auto listed = listKeys(prefs, true);
    if (!ok(listed))
        return Outcome::Failed;
    std::vector<KeyInfo> &keys = value(listed);
    if (!prefs.defaultKey.isEmpty()) {
        for (KeyInfo &k : keys) {
            if (k.fingerprint.compare(prefs.defaultKey, Qt::CaseInsensitive) == 0) {
                signer = std::move(k.key);
                return Outcome::Ok;
            }
        }
    }
    if (keys.size() == 1) {
        signer = std::move(keys.front().key);
        return Outcome::Ok;
    }
    if (keys.empty() || !windowsAllowed())
        return Outcome::Failed;
    SignerDialog dialog(owner, keys);
    if (dialog.exec() != QDialog::Accepted)
        return Outcome::Cancelled;
    const QString fpr = dialog.selectedFingerprint();
    for (KeyInfo &k : keys) {
        if (k.fingerprint == fpr) {
            signer = std::move(k.key);
            return Outcome::Ok;
        }
    }
    return Outcome::Cancelled;
}

// One recipient named by the caller: it must name exactly one usable key (or match one fingerprint,
// key ID or e-mail address exactly).
bool resolveNamedRecipient(const Preferences &prefs, const QString &name, std::vector<Key> &out)
{
    auto listed = listKeys(prefs, false, name);
    if (!ok(listed))
        return false;
    std::vector<KeyInfo> &keys = value(listed);
    if (keys.size() == 1) {
        out.push_back(std::move(keys.front().key));
        return true;
    }
    QString bare = name.trimmed();
    if (bare.startsWith(QLatin1String("0x"), Qt::CaseInsensitive))
        bare = bare.mid(2);
    if (bare.startsWith(QLatin1Char('<')) && bare.endsWith(QLatin1Char('>')))
        bare = bare.mid(1, bare.size() - 2);
    KeyInfo *exact = nullptr;
    for (KeyInfo &k : keys) {
        const bool hit = k.fingerprint.compare(bare, Qt::CaseInsensitive) == 0 ||
                         k.keyId.compare(bare, Qt::CaseInsensitive) == 0 ||
                         k.email.compare(bare, Qt::CaseInsensitive) == 0;
        if (hit) {
            if (exact)
                return false; // ambiguous
            exact = &k;
        }
    }
    if (!exact)
        return false;
    out.push_back(std::move(exact->key));
    return true;
}

Outcome chooseRecipients(QWidget *owner, const Preferences &prefs, std::vector<Key> &out, bool &alwaysTrust)
{
    if (!windowsAllowed())
        return Outcome::Failed;
    auto listed = listKeys(prefs, false);
    if (!ok(listed))
        return Outcome::Failed;
    std::vector<KeyInfo> &keys = value(listed);
    if (keys.empty()) {
        QMessageBox::warning(owner, QStringLiteral("Goma"), QStringLiteral("暗号化に使える公開鍵がありません。"));
        return Outcome::Failed;
    }
    RecipientDialog dialog(owner, keys);
    if (dialog.exec() != QDialog::Accepted)
        return Outcome::Cancelled;
    const QStringList chosen = dialog.selectedFingerprints();
    if (chosen.isEmpty())
        return Outcome::Cancelled;
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
            return Outcome::Cancelled;
        alwaysTrust = true;
    }
    return Outcome::Ok;
}

GOMA_HGLOBAL blockFrom(const SecureBytes &bytes) { return makeBlock(bytes.data(), bytes.size()); }

int encryptText(QWidget *owner, bool doEncrypt, bool doSign, const char *const *recipients, int count,
                std::string_view text, GOMA_HGLOBAL *result, int charset)
{
    if (!doEncrypt && !doSign)
        return 0;
    if (charset != GOMA_CHARSET_JIS && charset != GOMA_CHARSET_SHIFTJIS)
        return 0;
    if (count < 0 || (count > 0 && !recipients))
        return 0;
    if (!engineReady())
        return 0;
    const Preferences prefs = loadPreferences();

    // The exact bytes that are encrypted or signed.
    SecureBytes converted;
    std::string_view payload = text;
    if (charset == GOMA_CHARSET_JIS) {
        if (!jis::cp932ToIso2022jp(text, converted))
            return 0;
        payload = view(converted);
    }
    const std::string_view charsetHeader =
        charset == GOMA_CHARSET_JIS ? std::string_view("Charset: ISO-2022-JP") : std::string_view("Charset: Shift_JIS");

    std::vector<Key> to;
    bool alwaysTrust = false;
    if (doEncrypt) {
        if (count > 0) {
            for (int i = 0; i < count; ++i) {
                if (!recipients[i])
                    return 0;
                const auto name = iconvConvert("UTF-8", "CP932", recipients[i]);
                if (!name || !resolveNamedRecipient(prefs, QString::fromUtf8(name->data(), static_cast<qsizetype>(name->size())), to))
                    return 0;
            }
        } else if (chooseRecipients(owner, prefs, to, alwaysTrust) != Outcome::Ok) {
            return 0;
        }
    }
    Key signer;
    if (doSign || (doEncrypt && prefs.encryptToSelf)) {
        if (resolveSigner(owner, prefs, signer) != Outcome::Ok)
            return 0;
    }
    if (doEncrypt && prefs.encryptToSelf) {
        bool present = false;
        for (const Key &k : to)
            present = present || (k->fpr && signer->fpr && qstrcmp(k->fpr, signer->fpr) == 0);
        if (!present) {
            gpgme_key_ref(signer.get());
            to.emplace_back(signer.get());
        }
    }

    Result<SecureBytes> armoured = SecureBytes{};
    if (doEncrypt) {
        std::vector<gpgme_key_t> raw;
        for (const Key &k : to)
            raw.push_back(k.get());
        armoured = encrypt(prefs, payload, raw, alwaysTrust, doSign ? signer.get() : nullptr);
        if (!ok(armoured) || !insertArmourHeader(value(armoured), kBeginMessage, charsetHeader))
            return 0;
    } else {
        // The cleartext header may only carry "Hash:"; the character set goes with the signature block.
        armoured = clearSign(prefs, payload, signer.get());
        if (!ok(armoured) || !insertArmourHeader(value(armoured), kBeginSignature, charsetHeader))
            return 0;
    }
    const SecureBytes out = toCrLf(view(value(armoured)));
    *result = blockFrom(out);
    return *result ? 1 : 0;
}

int decryptText(QWidget *owner, std::string_view text, GOMA_HGLOBAL *result, int charset)
{
    g_lastVerification = Verification{};
    const ArmourShape shape = inspectArmour(text);
    if (shape.kind == ArmourKind::None)
        return 0;
    if (!engineReady())
        return 0;
    const Preferences prefs = loadPreferences();
    auto opened = open(prefs, text, shape.kind == ArmourKind::Signed);
    if (!ok(opened))
        return 0;
    Opened &o = value(opened);
    if (o.signatureChecked) {
        g_lastVerification = o.verification;
        if (windowsAllowed()) {
            VerifyDialog dialog(owner, o.verification);
            dialog.exec();
        }
        // A bad signature never hands its text back; nor does a clear-signed text whose signature could
        // not be checked at all (its only worth is the check; a missing key has a verdict of its own).
        if (o.verification.verdict == Verdict::Bad ||
            (o.verification.verdict == Verdict::Error && shape.kind == ArmourKind::Signed))
            return 0;
    }
    SecureBytes plain;
    if (sameCharset(shape.charset, "ISO-2022-JP")) {
        if (!jis::iso2022jpToCp932(view(o.plain), plain))
            return 0;
    } else if (sameCharset(shape.charset, "UTF-8")) {
        auto cp932 = iconvConvert("CP932", "UTF-8", view(o.plain));
        if (!cp932)
            return 0;
        plain = std::move(*cp932);
    } else if (shape.charset.empty() && charset == GOMA_CHARSET_JIS &&
               view(o.plain).find('\x1b') != std::string_view::npos) {
        // No header, but the caller expects JIS: take it as ISO-2022-JP when it reads as such.
        if (!jis::iso2022jpToCp932(view(o.plain), plain))
            plain = std::move(o.plain);
    } else {
        plain = std::move(o.plain);
    }
    const SecureBytes out = toCrLf(view(plain));
    *result = blockFrom(out);
    return *result ? 1 : 0;
}

int launchKeyManager()
{
    for (const QString &name : keyManagerCandidates()) {
        const QString path = QStandardPaths::findExecutable(name);
        if (!path.isEmpty() && QProcess::startDetached(path, {}))
            return 1;
    }
    return 0;
}

} // namespace

Verification lastVerification() { return g_lastVerification; }

QStringList keyManagerCandidates()
{
    return {QStringLiteral("kleopatra"), QStringLiteral("seahorse"), QStringLiteral("gpa")};
}

bool windowsAllowed()
{
    const QByteArray flag = qgetenv("GOMA_NO_WINDOWS");
    if (!flag.isEmpty() && flag != "0")
        return false;
    return qobject_cast<QApplication *>(QCoreApplication::instance()) != nullptr;
}

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
    return 1;
}

GOMA_API int GOMAEncryptText(GOMA_HWND owner, int encrypt, int sign, const char *const *recipients, int count,
                             const char *text, GOMA_HGLOBAL *result, int charset)
{
    if (!result)
        return 0;
    *result = nullptr;
    if (!text)
        return 0;
    try {
        return goma::encryptText(goma::ownerWidget(owner), encrypt != 0, sign != 0, recipients, count, text, result,
                                 charset);
    } catch (...) {
        if (*result) {
            GOMABlockFree(*result);
            *result = nullptr;
        }
        return 0;
    }
}

GOMA_API int GOMADecryptText(GOMA_HWND owner, const char *text, GOMA_HGLOBAL *result, int charset)
{
    if (!result)
        return 0;
    *result = nullptr;
    if (!text)
        return 0;
    try {
        return goma::decryptText(goma::ownerWidget(owner), text, result, charset);
    } catch (...) {
        if (*result) {
            GOMABlockFree(*result);
            *result = nullptr;
        }
        return 0;
    }
}

GOMA_API int GOMALaunchKeys(GOMA_HWND)
{
    try {
        return goma::launchKeyManager();
    } catch (...) {
        return 0;
    }
}

GOMA_API int GOMALaunchTools(GOMA_HWND)
{
    try {
        return goma::launchKeyManager();
    } catch (...) {
        return 0;
    }
}

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
