#include "engine.h"

#include <optional>

#include <clocale>
#include <cstdlib>
#include <cstring>

namespace goma {
namespace {

bool g_initialised = false;
bool g_libraryOk = false;
bool g_engineChecked = false;
bool g_ready = false;

// Loopback pinentry for the test suite only: active once setTestPassphrase has given a passphrase.
// Without it, passphrases go through gpg-agent's own pinentry and never pass through this library.
SecureBytes &testPassphrase()
{
    static SecureBytes passphrase;
    return passphrase;
}

gpgme_error_t testPassphraseCb(void *, const char *, const char *, int prevWasBad, int fd)
{
    const SecureBytes &p = testPassphrase();
    if (p.empty())
        return gpg_error(GPG_ERR_CANCELED);
    // The same passphrase again would only be refused again: say so, as gpg-agent does after its tries.
    if (prevWasBad)
        return gpg_error(GPG_ERR_BAD_PASSPHRASE);
    if (gpgme_io_writen(fd, p.data(), p.size()) != 0 || gpgme_io_writen(fd, "\n", 1) != 0)
        return gpg_error_from_syserror();
    return 0;
}

QString fromUtf8(const char *s) { return s ? QString::fromUtf8(s) : QString(); }

Verdict verdictOf(const gpgme_signature_t s)
{
    const auto code = gpg_err_code(s->status);
    if (code == GPG_ERR_BAD_SIGNATURE)
        return Verdict::Bad;
    if (code == GPG_ERR_NO_PUBKEY || (s->summary & GPGME_SIGSUM_KEY_MISSING))
        return Verdict::UnknownKey;
    if (code == GPG_ERR_NO_ERROR && (s->summary & (GPGME_SIGSUM_VALID | GPGME_SIGSUM_GREEN)))
        return Verdict::Good;
    if (code == GPG_ERR_CERT_REVOKED || (s->summary & GPGME_SIGSUM_KEY_REVOKED))
        return Verdict::Revoked;
    if (code == GPG_ERR_KEY_EXPIRED || code == GPG_ERR_SIG_EXPIRED ||
        (s->summary & (GPGME_SIGSUM_KEY_EXPIRED | GPGME_SIGSUM_SIG_EXPIRED)))
        return Verdict::Expired;
    if (code == GPG_ERR_NO_ERROR)
        return Verdict::NotTrusted;
    if (s->summary & GPGME_SIGSUM_RED)
        return Verdict::Bad;
    return Verdict::Error;
}

int severity(Verdict v)
{
    switch (v) {
    case Verdict::None: return 0;
    case Verdict::Good: return 1;
    case Verdict::NotTrusted: return 2;
    case Verdict::Expired: return 3;
    case Verdict::Revoked: return 4;
    case Verdict::UnknownKey: return 5;
    case Verdict::Error: return 6;
    case Verdict::Bad: return 7;
    }
    return 0;
}

Verification describe(gpgme_ctx_t ctx, const gpgme_signature_t s)
{
    Verification v;
    v.verdict = verdictOf(s);
    v.fingerprint = fromUtf8(s->fpr);
    if (s->timestamp)
        v.signedAt = QDateTime::fromSecsSinceEpoch(static_cast<qint64>(s->timestamp));
    v.validity = validityText(s->validity);
    if (s->fpr && v.verdict != Verdict::UnknownKey) {
        gpgme_key_t k = nullptr;
        if (gpgme_get_key(ctx, s->fpr, &k, 0) == 0 && k) {
            Key key(k);
            if (k->uids && k->uids->uid)
                v.userId = fromUtf8(k->uids->uid);
            if (k->fpr)
                v.fingerprint = fromUtf8(k->fpr);
        }
    }
    QStringList notes;
    if (s->summary & GPGME_SIGSUM_KEY_REVOKED)
        notes << QStringLiteral("署名した鍵は失効しています。");
    if (s->summary & GPGME_SIGSUM_KEY_EXPIRED)
        notes << QStringLiteral("署名した鍵は有効期限が切れています。");
    if (s->summary & GPGME_SIGSUM_SIG_EXPIRED)
        notes << QStringLiteral("署名の有効期限が切れています。");
    if (v.verdict == Verdict::Error)
        notes << QStringLiteral("署名を確認できませんでした: %1").arg(reasonText(s->status));
    v.detail = notes.join(QLatin1Char('\n'));
    return v;
}

// Every signature of the last verification, and the worst of them as the overall verdict.
Verification verificationOf(gpgme_ctx_t ctx, std::vector<Verification> &all)
{
    Verification worst;
    gpgme_verify_result_t res = gpgme_op_verify_result(ctx);
    if (!res)
        return worst;
    for (gpgme_signature_t s = res->signatures; s; s = s->next) {
        Verification v = describe(ctx, s);
        all.push_back(v);
        if (severity(v.verdict) > severity(worst.verdict))
            worst = v;
    }
    return worst;
}

Result<Data> dataFromMemory(std::string_view bytes)
{
    gpgme_data_t d = nullptr;
    // copy = 0: GPGME reads the caller's memory in place, so no copy of it is left behind.
    if (gpgme_error_t err = gpgme_data_new_from_mem(&d, bytes.data(), bytes.size(), 0))
        return failureFrom(err, QStringLiteral("データを用意できません"));
    return Data(d);
}

} // namespace

// A signing operation that GPGME reports as done but that made no signature, or refused a signer.
static std::optional<Failure> signingFailure(gpgme_ctx_t c)
{
    gpgme_sign_result_t sr = gpgme_op_sign_result(c);
    if (sr && sr->invalid_signers) {
        const gpgme_error_t reason = sr->invalid_signers->reason ? sr->invalid_signers->reason
                                                                 : gpg_error(GPG_ERR_UNUSABLE_SECKEY);
        return Failure{Failure::Kind::Error, reason,
                       QStringLiteral("署名に使う鍵 %1 を使えません: %2")
                           .arg(fromUtf8(sr->invalid_signers->fpr), reasonText(reason))};
    }
    if (!sr || !sr->signatures)
        return Failure{Failure::Kind::Error, gpg_error(GPG_ERR_UNUSABLE_SECKEY),
                       QStringLiteral("署名できませんでした。署名に使える秘密鍵がありません。")};
    return std::nullopt;
}

QString reasonText(gpgme_error_t err)
{
    switch (gpg_err_code(err)) {
    case GPG_ERR_NO_ERROR: return {};
    case GPG_ERR_BAD_PASSPHRASE: return QStringLiteral("パスフレーズが違います。");
    case GPG_ERR_NO_SECKEY: return QStringLiteral("秘密鍵がありません。");
    case GPG_ERR_UNUSABLE_SECKEY: return QStringLiteral("署名に使える秘密鍵がありません。");
    case GPG_ERR_NO_PUBKEY: return QStringLiteral("公開鍵がありません。");
    case GPG_ERR_UNUSABLE_PUBKEY: return QStringLiteral("公開鍵を暗号化に使えません。");
    case GPG_ERR_KEY_EXPIRED: return QStringLiteral("鍵の有効期限が切れています。");
    case GPG_ERR_SIG_EXPIRED: return QStringLiteral("署名の有効期限が切れています。");
    case GPG_ERR_CERT_REVOKED: return QStringLiteral("鍵は失効しています。");
    case GPG_ERR_BAD_SIGNATURE: return QStringLiteral("署名が文書と一致しません。文書が改変されています。");
    case GPG_ERR_CHECKSUM: return QStringLiteral("アーマーのチェックサムが合いません。文書が壊れています。");
    case GPG_ERR_DECRYPT_FAILED:
        return QStringLiteral("暗号文が改変されているか壊れています（完全性の確認に失敗しました）。");
    case GPG_ERR_BAD_DATA:
    case GPG_ERR_INV_PACKET:
    case GPG_ERR_INV_ARMOR:
    case GPG_ERR_INV_DATA:
    case GPG_ERR_TRUNCATED:
    case GPG_ERR_UNEXPECTED:
        return QStringLiteral("文書が壊れているか、OpenPGPの形式ではありません。");
    case GPG_ERR_NO_DATA: return QStringLiteral("OpenPGPの文書が途中で切れているか、壊れています。");
    case GPG_ERR_UNSUPPORTED_ALGORITHM:
    case GPG_ERR_CIPHER_ALGO:
    case GPG_ERR_DIGEST_ALGO:
    case GPG_ERR_PUBKEY_ALGO:
        return QStringLiteral("この文書は GnuPG が扱えない方式で作られています。");
    case GPG_ERR_NO_AGENT:
    case GPG_ERR_AGENT:
        return QStringLiteral("gpg-agent を利用できません。Debian では gpg-agent パッケージをインストールし、"
                              "「gpgconf --launch gpg-agent」で起動してください。");
    case GPG_ERR_NO_PIN_ENTRY:
    case GPG_ERR_NO_PASSPHRASE:
        return QStringLiteral("パスフレーズを入力する pinentry を利用できません。Debian では pinentry-qt または "
                              "pinentry-gnome3 パッケージをインストールしてください。");
    case GPG_ERR_INV_ENGINE:
    case GPG_ERR_ENGINE_TOO_OLD:
    case GPG_ERR_NOT_SUPPORTED:
        return QStringLiteral("GnuPG（gpg）を利用できません。Debian では gnupg パッケージをインストールしてください。");
    case GPG_ERR_ENOMEM: return QStringLiteral("メモリが足りません。");
    case GPG_ERR_EFBIG:
        return QStringLiteral("復号した内容が大きすぎます（上限 %1 MiB）。処理を中止しました。").arg(kMaxOutputBytes >> 20);
    case GPG_ERR_ENOENT: return QStringLiteral("GnuPG のホームまたはファイルが見つかりません。");
    case GPG_ERR_EACCES: return QStringLiteral("GnuPG のホームまたはファイルを読み書きする権限がありません。");
    default: break;
    }
    return QStringLiteral("GnuPG がエラーを返しました（エラーコード %1）。").arg(gpg_err_code(err));
}

Failure failureFrom(gpgme_error_t err, const QString &context)
{
    Failure f;
    f.code = err;
    if (gpg_err_code(err) == GPG_ERR_CANCELED || gpg_err_code(err) == GPG_ERR_FULLY_CANCELED) {
        f.kind = Failure::Kind::Cancelled;
        return f;
    }
    f.kind = Failure::Kind::Error;
    f.what = context.isEmpty() ? reasonText(err) : context + QStringLiteral(": ") + reasonText(err);
    return f;
}

void setTestPassphrase(const QByteArray &passphrase)
{
    SecureBytes &p = testPassphrase();
    wipeMemory(p.data(), p.size());
    p.clear();
    append(p, passphrase.constData(), std::size_t(passphrase.size()));
}

bool initEngine()
{
    // Only the library itself is set up here. Checking the GnuPG installation starts several programs, so
    // it waits for the first operation that needs GnuPG and start-up stays quick.
    g_initialised = true;
    g_engineChecked = false;
    g_ready = false;
    g_libraryOk = gpgme_check_version(nullptr) != nullptr;
    if (g_libraryOk)
        if (const char *ctype = std::setlocale(LC_CTYPE, nullptr))
            gpgme_set_locale(nullptr, LC_CTYPE, ctype);
    return g_libraryOk;
}

void releaseEngine()
{
    g_initialised = false;
    g_engineChecked = false;
    g_ready = false;
}

bool engineReady()
{
    if (!g_initialised)
        initEngine();
    if (!g_engineChecked) {
        g_engineChecked = true;
        g_ready = g_libraryOk && gpgme_engine_check_version(GPGME_PROTOCOL_OpenPGP) == 0;
    }
    return g_ready;
}

Result<Context> newContext(const Preferences &prefs)
{
    if (!engineReady())
        return failureFrom(gpg_error(GPG_ERR_NOT_SUPPORTED));
    gpgme_ctx_t c = nullptr;
    if (gpgme_error_t err = gpgme_new(&c))
        return failureFrom(err, QStringLiteral("GPGME の準備に失敗しました"));
    Context ctx(c);
    if (gpgme_error_t err = gpgme_set_protocol(c, GPGME_PROTOCOL_OpenPGP))
        return failureFrom(err, QStringLiteral("OpenPGP を選べません"));
    gpgme_set_armor(c, 1);
    if (!prefs.gnupgHome.isEmpty()) {
        const QByteArray home = prefs.gnupgHome.toLocal8Bit();
        if (gpgme_error_t err = gpgme_ctx_set_engine_info(c, GPGME_PROTOCOL_OpenPGP, nullptr, home.constData()))
            return failureFrom(err, QStringLiteral("GnuPG のホームを設定できません"));
    }
    if (!testPassphrase().empty()) {
        gpgme_set_pinentry_mode(c, GPGME_PINENTRY_MODE_LOOPBACK);
        gpgme_set_passphrase_cb(c, testPassphraseCb, nullptr);
    }
    return ctx;
}

// ----- MemorySink -----

gpgme_data_cbs MemorySink::s_cbs = {&MemorySink::readCb, &MemorySink::writeCb, &MemorySink::seekCb, nullptr};

MemorySink::MemorySink(std::size_t limit) : m_limit(limit)
{
    gpgme_data_t d = nullptr;
    if (gpgme_data_new_from_cbs(&d, &s_cbs, this) == 0)
        m_data.reset(d);
}

MemorySink::~MemorySink()
{
    m_data.reset(); // GPGME lets go of us first
    wipe();
}

SecureBytes MemorySink::take()
{
    SecureBytes out;
    out.swap(m_bytes);
    m_pos = 0;
    return out;
}

void MemorySink::wipe()
{
    wipeMemory(m_bytes.data(), m_bytes.size());
    m_bytes.clear();
    m_pos = 0;
}

ssize_t MemorySink::readCb(void *handle, void *buffer, size_t size)
{
    auto *self = static_cast<MemorySink *>(handle);
    if (self->m_pos >= self->m_bytes.size())
        return 0;
    const size_t n = std::min(size, self->m_bytes.size() - self->m_pos);
    std::memcpy(buffer, self->m_bytes.data() + self->m_pos, n);
    self->m_pos += n;
    return static_cast<ssize_t>(n);
}

ssize_t MemorySink::writeCb(void *handle, const void *buffer, size_t size)
{
    auto *self = static_cast<MemorySink *>(handle);
    const char *p = static_cast<const char *>(buffer);
    if (self->m_pos > self->m_limit || size > self->m_limit - self->m_pos) {
        self->m_overflowed = true;
        errno = EFBIG;
        return -1;
    }
    try {
        if (self->m_pos > self->m_bytes.size())
            self->m_bytes.resize(self->m_pos, '\0');
        const size_t overlap = std::min(size, self->m_bytes.size() - self->m_pos);
        if (overlap)
            std::memcpy(self->m_bytes.data() + self->m_pos, p, overlap);
        append(self->m_bytes, p + overlap, size - overlap);
    } catch (...) {
        errno = ENOMEM;
        return -1;
    }
    self->m_pos += size;
    return static_cast<ssize_t>(size);
}

off_t MemorySink::seekCb(void *handle, off_t offset, int whence)
{
    auto *self = static_cast<MemorySink *>(handle);
    off_t base = 0;
    switch (whence) {
    case SEEK_SET: base = 0; break;
    case SEEK_CUR: base = static_cast<off_t>(self->m_pos); break;
    case SEEK_END: base = static_cast<off_t>(self->m_bytes.size()); break;
    default: errno = EINVAL; return -1;
    }
    if (offset < 0 && -offset > base) {
        errno = EINVAL;
        return -1;
    }
    self->m_pos = static_cast<size_t>(base + offset);
    return static_cast<off_t>(self->m_pos);
}

// ----- Operation -----

Result<Operation> Operation::start(const Preferences &prefs, std::string_view input)
{
    auto ctx = newContext(prefs);
    if (!ok(ctx))
        return failure(ctx);
    auto in = dataFromMemory(input);
    if (!ok(in))
        return failure(in);
    auto out = std::make_unique<MemorySink>();
    if (!out->valid())
        return failureFrom(gpg_error(GPG_ERR_ENOMEM));
    Operation op;
    op.m_ctx = std::move(value(ctx));
    op.m_in = std::move(value(in));
    op.m_out = std::move(out);
    return op;
}

Failure Operation::fail(gpgme_error_t err, const QString &context)
{
    m_out->wipe();
    if (m_out->overflowed())
        return failureFrom(gpg_error(GPG_ERR_EFBIG));
    return failureFrom(err, context);
}

// ----- keys -----

QString validityText(gpgme_validity_t v)
{
    switch (v) {
    case GPGME_VALIDITY_ULTIMATE: return QStringLiteral("究極的に有効");
    case GPGME_VALIDITY_FULL: return QStringLiteral("有効");
    case GPGME_VALIDITY_MARGINAL: return QStringLiteral("部分的に有効");
    case GPGME_VALIDITY_NEVER: return QStringLiteral("無効");
    case GPGME_VALIDITY_UNDEFINED:
    case GPGME_VALIDITY_UNKNOWN: break;
    }
    return QStringLiteral("不明");
}

Result<std::vector<KeyInfo>> listKeys(const Preferences &prefs, bool secret, const QString &pattern)
{
    auto ctx = newContext(prefs);
    if (!ok(ctx))
        return failure(ctx);
    gpgme_ctx_t c = value(ctx).get();
    const QByteArray pat = pattern.toUtf8();
    if (gpgme_error_t err = gpgme_op_keylist_start(c, pattern.isEmpty() ? nullptr : pat.constData(), secret ? 1 : 0))
        return failureFrom(err, QStringLiteral("鍵の一覧を取得できません"));
    std::vector<KeyInfo> keys;
    for (;;) {
        gpgme_key_t k = nullptr;
        gpgme_error_t err = gpgme_op_keylist_next(c, &k);
        if (err) {
            if (gpg_err_code(err) != GPG_ERR_EOF)
                return failureFrom(err, QStringLiteral("鍵の一覧を取得できません"));
            break;
        }
        Key key(k);
        if (k->revoked || k->expired || k->disabled || k->invalid || !k->fpr)
            continue;
        if (secret ? !(k->secret && k->can_sign) : !k->can_encrypt)
            continue;
        KeyInfo info;
        info.fingerprint = QString::fromLatin1(k->fpr);
        info.keyId = info.fingerprint.right(16);
        if (gpgme_user_id_t uid = k->uids) {
            info.userId = fromUtf8(uid->uid);
            info.name = fromUtf8(uid->name);
            info.email = fromUtf8(uid->email);
            info.validity = uid->validity;
        }
        info.canEncrypt = k->can_encrypt;
        info.canSign = k->can_sign;
        info.key = std::move(key);
        keys.push_back(std::move(info));
    }
    gpgme_op_keylist_end(c);
    return keys;
}

// ----- operations -----

Result<SecureBytes> encrypt(const Preferences &prefs, std::string_view plain, const std::vector<gpgme_key_t> &to,
                            bool alwaysTrust, gpgme_key_t signer)
{
    if (to.empty())
        return Failure{Failure::Kind::Error, gpg_error(GPG_ERR_NO_PUBKEY), QStringLiteral("受信者がありません。")};
    auto started = Operation::start(prefs, plain);
    if (!ok(started))
        return failure(started);
    Operation &op = value(started);
    std::vector<gpgme_key_t> keys(to);
    keys.push_back(nullptr);
    const auto flags = alwaysTrust ? GPGME_ENCRYPT_ALWAYS_TRUST : gpgme_encrypt_flags_t(0);
    gpgme_error_t err;
    if (signer) {
        if ((err = gpgme_signers_add(op.ctx(), signer)))
            return op.fail(err, QStringLiteral("署名の鍵を使えません"));
        err = gpgme_op_encrypt_sign(op.ctx(), keys.data(), flags, op.in(), op.out().data());
    } else {
        err = gpgme_op_encrypt(op.ctx(), keys.data(), flags, op.in(), op.out().data());
    }
    gpgme_encrypt_result_t er = gpgme_op_encrypt_result(op.ctx());
    if (er && er->invalid_recipients) {
        const gpgme_invalid_key_t bad = er->invalid_recipients;
        const gpgme_error_t reason = bad->reason ? bad->reason : gpg_error(GPG_ERR_UNUSABLE_PUBKEY);
        Failure f = op.fail(reason, {});
        f.what = QStringLiteral("受信者の鍵 %1 を使えません: %2").arg(fromUtf8(bad->fpr), reasonText(reason));
        return f;
    }
    if (err)
        return op.fail(err, {});
    if (signer)
        if (auto f = signingFailure(op.ctx())) {
            op.out().wipe();
            return *f;
        }
    return op.out().take();
}

Result<SecureBytes> clearSign(const Preferences &prefs, std::string_view plain, gpgme_key_t signer)
{
    auto started = Operation::start(prefs, plain);
    if (!ok(started))
        return failure(started);
    Operation &op = value(started);
    if (gpgme_error_t err = gpgme_signers_add(op.ctx(), signer))
        return op.fail(err, QStringLiteral("署名の鍵を使えません"));
    if (gpgme_error_t err = gpgme_op_sign(op.ctx(), op.in(), op.out().data(), GPGME_SIG_MODE_CLEAR))
        return op.fail(err, {});
    if (auto f = signingFailure(op.ctx())) {
        op.out().wipe();
        return *f;
    }
    return op.out().take();
}

namespace {

// The key IDs an encrypted message is addressed to, each with the user ID we know for it.
QStringList recipientsOf(gpgme_ctx_t c, QStringList *described)
{
    QStringList ids;
    gpgme_decrypt_result_t dr = gpgme_op_decrypt_result(c);
    if (!dr)
        return ids;
    for (gpgme_recipient_t r = dr->recipients; r; r = r->next) {
        if (!r->keyid)
            continue;
        const QString id = QString::fromLatin1(r->keyid).toUpper();
        ids << id;
        if (!described)
            continue;
        QString who;
        gpgme_key_t k = nullptr;
        if (gpgme_get_key(c, r->keyid, &k, 0) == 0 && k) {
            Key key(k);
            if (k->uids && k->uids->uid)
                who = fromUtf8(k->uids->uid);
        }
        *described << (who.isEmpty() ? id : QStringLiteral("%1（%2）").arg(id, who));
    }
    return ids;
}

// Watches GnuPG's status lines for a message without integrity protection: "DECRYPTION_INFO 0 <cipher> 0"
// (neither MDC nor AEAD). GPGME reports only a failed decryption for it.
gpgme_error_t integrityStatusCb(void *hook, const char *keyword, const char *args)
{
    if (keyword && args && std::strcmp(keyword, "DECRYPTION_INFO") == 0) {
        const QList<QByteArray> fields = QByteArray(args).split(' ');
        const bool noMdc = !fields.isEmpty() && fields[0] == "0";
        const bool noAead = fields.size() < 3 || fields[2] == "0";
        if (noMdc && noAead)
            *static_cast<bool *>(hook) = true;
    }
    return 0;
}

} // namespace

Result<Opened> open(const Preferences &prefs, std::string_view armoured, bool clearSigned)
{
    auto started = Operation::start(prefs, armoured);
    if (!ok(started))
        return failure(started);
    bool verifyOnly = clearSigned;
    bool unprotected = false;
    if (!clearSigned) {
        gpgme_set_ctx_flag(value(started).ctx(), "full-status", "1");
        gpgme_set_status_cb(value(started).ctx(), integrityStatusCb, &unprotected);
    }
    gpgme_error_t err;
    if (clearSigned) {
        err = gpgme_op_verify(value(started).ctx(), value(started).in(), nullptr, value(started).out().data());
    } else {
        err = gpgme_op_decrypt_verify(value(started).ctx(), value(started).in(), value(started).out().data());
        if (gpg_err_code(err) == GPG_ERR_NO_DATA) {
            // Not encrypted: perhaps a signed message. Start over with a fresh operation.
            value(started).out().wipe();
            started = Operation::start(prefs, armoured);
            if (!ok(started))
                return failure(started);
            verifyOnly = true;
            err = gpgme_op_verify(value(started).ctx(), value(started).in(), nullptr, value(started).out().data());
        }
    }
    Operation &op = value(started);
    gpgme_ctx_t c = op.ctx();
    Opened opened;
    if (!verifyOnly) {
        opened.wasEncrypted = true;
        QStringList described;
        opened.recipientKeyIds = recipientsOf(c, &described);
        gpgme_decrypt_result_t dr = gpgme_op_decrypt_result(c);
        if (err && gpg_err_code(err) == GPG_ERR_NO_SECKEY) {
            Failure f = op.fail(err, {});
            f.what = QStringLiteral("この暗号文を復号できる秘密鍵がありません。宛先の鍵: %1")
                         .arg(described.isEmpty() ? QStringLiteral("（不明）") : described.join(QStringLiteral("、")));
            return f;
        }
        if ((dr && dr->legacy_cipher_nomdc) || unprotected) {
            Failure f = op.fail(gpg_error(GPG_ERR_BAD_DATA), {});
            f.what = QStringLiteral("完全性の保護がない暗号文です。改変されていないことを確認できないため、復号しません。");
            return f;
        }
        if (!err && (!dr || dr->unsupported_algorithm))
            return op.fail(gpg_error(GPG_ERR_UNSUPPORTED_ALGORITHM), {});
    }
    // What GnuPG already wrote when it failed is unauthenticated: fail() wipes it before anything sees it.
    if (err)
        return op.fail(err, {});
    gpgme_verify_result_t vr = gpgme_op_verify_result(c);
    opened.signatureChecked = vr && vr->signatures;
    if (verifyOnly && !opened.signatureChecked) {
        op.out().wipe();
        return Failure{Failure::Kind::Error, gpg_error(GPG_ERR_NO_DATA), QStringLiteral("署名がありません。")};
    }
    if (opened.signatureChecked)
        opened.verification = verificationOf(c, opened.signatures);
    opened.plain = op.out().take();
    return opened;
}

EngineInfo engineInfo(const Preferences &prefs)
{
    EngineInfo info;
    info.gpgmeVersion = fromUtf8(gpgme_check_version(nullptr));
    gpgme_engine_info_t e = nullptr;
    if (gpgme_get_engine_info(&e) == 0) {
        for (; e; e = e->next) {
            if (e->protocol != GPGME_PROTOCOL_OpenPGP)
                continue;
            info.gnupgVersion = fromUtf8(e->version);
            info.enginePath = QString::fromLocal8Bit(e->file_name ? e->file_name : "");
            info.home = QString::fromLocal8Bit(e->home_dir ? e->home_dir : "");
            break;
        }
    }
    if (!prefs.gnupgHome.isEmpty())
        info.home = prefs.gnupgHome;
    if (info.home.isEmpty())
        info.home = QString::fromLocal8Bit(gpgme_get_dirinfo("homedir") ? gpgme_get_dirinfo("homedir") : "");
    return info;
}

} // namespace goma
