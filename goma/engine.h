#ifndef GOMA_ENGINE_H
#define GOMA_ENGINE_H
// GPGME, wrapped: owned contexts, data and keys, plaintext kept in memory the library owns and wipes, and
// every outcome handed back as a value.
#include "gomainternal.h"
#include "securebytes.h"

#include <gpgme.h>

#include <QString>

#include <cstddef>
#include <memory>
#include <string_view>
#include <type_traits>
#include <variant>
#include <vector>

namespace goma {

struct ContextDeleter {
    void operator()(gpgme_ctx_t c) const noexcept { gpgme_release(c); }
};
struct DataDeleter {
    void operator()(gpgme_data_t d) const noexcept { gpgme_data_release(d); }
};
struct KeyDeleter {
    void operator()(gpgme_key_t k) const noexcept { gpgme_key_unref(k); }
};
using Context = std::unique_ptr<std::remove_pointer_t<gpgme_ctx_t>, ContextDeleter>;
using Data = std::unique_ptr<std::remove_pointer_t<gpgme_data_t>, DataDeleter>;
using Key = std::unique_ptr<std::remove_pointer_t<gpgme_key_t>, KeyDeleter>;

// Why an operation did not give a result. The text is Japanese and written for the user; it travels
// out of the engine unchanged to whoever shows it. A cancel by the user carries no text.
struct Failure {
    enum class Kind { Error, Cancelled } kind = Kind::Error;
    gpgme_error_t code = 0;
    QString what;
};

template <class T> using Result = std::variant<T, Failure>;

template <class T> bool ok(const Result<T> &r) { return std::holds_alternative<T>(r); }
template <class T> T &value(Result<T> &r) { return std::get<T>(r); }
template <class T> const Failure &failure(const Result<T> &r) { return std::get<Failure>(r); }

// A failure with the reason GnuPG gave, in Japanese; context says what was being done. A cancel (pinentry
// or the user's choice) becomes Kind::Cancelled without a text.
Failure failureFrom(gpgme_error_t err, const QString &context = {});
// The reason for a GnuPG error code, in Japanese.
QString reasonText(gpgme_error_t err);

// The most a single operation may write: a decrypted or decompressed text beyond this is stopped. Well
// above the editor's own limit of text, small enough that a compressed message cannot exhaust memory.
inline constexpr std::size_t kMaxOutputBytes = std::size_t(64) << 20;

// ----- set-up -----
bool initEngine();   // gpgme_check_version; the OpenPGP engine itself is checked on first use
void releaseEngine();
bool engineReady();  // whether GnuPG can be used; initialises and checks on first use

// A fresh context: OpenPGP, armoured output, the preferences' GnuPG home.
Result<Context> newContext(const Preferences &prefs);

// A GPGME data object writing into memory this library owns. On destruction, and on wipe(), the bytes are
// overwritten before the memory is given back. Writing past the limit fails (and is remembered), so that
// GnuPG stops instead of filling the memory.
class MemorySink {
public:
    explicit MemorySink(std::size_t limit = kMaxOutputBytes);
    ~MemorySink();
    MemorySink(const MemorySink &) = delete;
    MemorySink &operator=(const MemorySink &) = delete;
    bool valid() const { return m_data != nullptr; }
    gpgme_data_t data() const { return m_data.get(); }
    bool overflowed() const { return m_overflowed; }
    SecureBytes take();
    void wipe();

private:
    static ssize_t readCb(void *handle, void *buffer, size_t size);
    static ssize_t writeCb(void *handle, const void *buffer, size_t size);
    static off_t seekCb(void *handle, off_t offset, int whence);
    static gpgme_data_cbs s_cbs;
    SecureBytes m_bytes;
    size_t m_pos = 0;
    size_t m_limit;
    bool m_overflowed = false;
    Data m_data;
};

// One GnuPG operation: a fresh context (OpenPGP, armoured output, the preferences' GnuPG home), the input
// read in place from the caller's memory, and an output sink of our own.
class Operation {
public:
    static Result<Operation> start(const Preferences &prefs, std::string_view input);
    gpgme_ctx_t ctx() const { return m_ctx.get(); }
    gpgme_data_t in() const { return m_in.get(); }
    MemorySink &out() const { return *m_out; }
    // The failure for a GPGME error of this operation: an output over the limit is named as such, and
    // whatever was written is wiped first (it was never authenticated).
    Failure fail(gpgme_error_t err, const QString &context);

private:
    Context m_ctx;
    Data m_in;
    std::unique_ptr<MemorySink> m_out;
};

// ----- keys -----
struct KeyInfo {
    Key key;
    QString fingerprint;
    QString keyId; // the last 16 hex digits
    QString userId;
    QString name;
    QString email;
    gpgme_validity_t validity = GPGME_VALIDITY_UNKNOWN;
    bool canEncrypt = false;
    bool canSign = false;
};

QString validityText(gpgme_validity_t v);

// Usable keys (not revoked, expired, disabled or invalid). secret: keys with a secret part that can sign;
// otherwise public keys that can encrypt. pattern: empty for all.
Result<std::vector<KeyInfo>> listKeys(const Preferences &prefs, bool secret, const QString &pattern = {});

// ----- operations -----
Result<SecureBytes> encrypt(const Preferences &prefs, std::string_view plain, const std::vector<gpgme_key_t> &to,
                            bool alwaysTrust, gpgme_key_t signer);
Result<SecureBytes> clearSign(const Preferences &prefs, std::string_view plain, gpgme_key_t signer);

struct Opened {
    SecureBytes plain;
    bool signatureChecked = false;
    Verification verification;             // the overall verdict: the worst of the signatures
    std::vector<Verification> signatures;  // every signature, in the order of the message
    QStringList recipientKeyIds;           // the keys an encrypted message is addressed to (16 hex digits)
    bool wasEncrypted = false;
};
// Decrypts (and verifies) an armoured message, or verifies a clear-signed or signed message.
Result<Opened> open(const Preferences &prefs, std::string_view armoured, bool clearSigned);

// ----- about -----
struct EngineInfo {
    QString gpgmeVersion;
    QString gnupgVersion;
    QString enginePath;
    QString home;
};
EngineInfo engineInfo(const Preferences &prefs);

} // namespace goma
#endif
