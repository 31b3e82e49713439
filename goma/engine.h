#ifndef GOMA_ENGINE_H
#define GOMA_ENGINE_H
// GPGME, wrapped: owned contexts, data and keys, plaintext kept in memory the library owns and wipes, and
// every outcome handed back as a value.
#include "gomainternal.h"
#include "securebytes.h"

#include <gpgme.h>

#include <QString>

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

struct Failure {
    enum class Kind { Error, Cancelled } kind = Kind::Error;
    gpgme_error_t code = 0;
    QString what;
};

template <class T> using Result = std::variant<T, Failure>;

template <class T> bool ok(const Result<T> &r) { return std::holds_alternative<T>(r); }
template <class T> T &value(Result<T> &r) { return std::get<T>(r); }
template <class T> const Failure &failure(const Result<T> &r) { return std::get<Failure>(r); }

Failure failureFrom(gpgme_error_t err, const QString &what);

// ----- set-up -----
bool initEngine();   // gpgme_check_version; the OpenPGP engine itself is checked on first use
void releaseEngine();
bool engineReady();  // whether GnuPG can be used; initialises and checks on first use

// A fresh context for one operation: OpenPGP, armoured output, the preferences' GnuPG home.
Result<Context> newContext(const Preferences &prefs);

// A GPGME data object writing into memory this library owns. On destruction, and on wipe(), the bytes are
// overwritten before the memory is given back.
class MemorySink {
public:
    MemorySink();
    ~MemorySink();
    MemorySink(const MemorySink &) = delete;
    MemorySink &operator=(const MemorySink &) = delete;
    bool valid() const { return m_data != nullptr; }
    gpgme_data_t data() const { return m_data.get(); }
    SecureBytes take();
    void wipe();

private:
    static ssize_t readCb(void *handle, void *buffer, size_t size);
    static ssize_t writeCb(void *handle, const void *buffer, size_t size);
    static off_t seekCb(void *handle, off_t offset, int whence);
    static gpgme_data_cbs s_cbs;
    SecureBytes m_bytes;
    size_t m_pos = 0;
    Data m_data;
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
    Verification verification;
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
