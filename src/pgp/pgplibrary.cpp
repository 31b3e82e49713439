#include "pgplibrary.h"
#include "app/frmMain.h"

#include <goma.h>
#include <memory>
#include <vector>

namespace zv {

namespace {
// A result block, freed (and wiped by the library) when it goes out of scope, whether or not it was used.
struct BlockFree {
    void operator()(goma_block *block) const noexcept { GOMABlockFree(block); }
};
using Block = std::unique_ptr<goma_block, BlockFree>;

// Copies the result block's text; *charset receives what its bytes are.
QByteArray copyOf(const Block &block, int *charset)
{
    QByteArray out;
    *charset = 2;
    if (!block)
        return out;
    if (const char *p = GOMABlockLock(block.get()))
        out = QByteArray(p, qsizetype(GOMABlockSize(block.get())));
    *charset = GOMABlockCharset(block.get()) == GOMA_CHARSET_UTF8 ? 3 : 2;
    GOMABlockUnlock(block.get());
    return out;
}
} // namespace

int GomaLibrary::init() { return GOMAInit(); }
int GomaLibrary::release() { return GOMARelease(); }

int GomaLibrary::encryptText(QWidget *owner, int encrypt, int sign, const QStringList &recipients,
                             const QByteArray &text, QByteArray *result, int charset)
{
    return encryptTextAs(owner, encrypt, sign, recipients, QString(), text, result, charset);
}

int GomaLibrary::encryptTextAs(QWidget *owner, int encrypt, int sign, const QStringList &recipients,
                               const QString &signer, const QByteArray &text, QByteArray *result, int charset)
{
    // Room for 100 recipients, as the library expects.
    std::vector<QByteArray> names;
    std::vector<const char *> table(100, nullptr);
    for (const QString &r : recipients.mid(0, 100))
        names.push_back(r.toUtf8());
    for (size_t i = 0; i < names.size(); ++i)
        table[i] = names[i].constData();
    GOMA_HGLOBAL handle = nullptr;
    const QByteArray signerName = signer.toLatin1();
    const int rc = GOMAEncryptTextAs(owner, encrypt, sign, table.data(), int(names.size()),
                                     signerName.isEmpty() ? nullptr : signerName.constData(), text.constData(),
                                     &handle, charset);
    const Block block(handle);
    const QByteArray copy = copyOf(block, &m_resultCharset);
    if (rc && result)
        *result = copy;
    return rc;
}

int GomaLibrary::decryptText(QWidget *owner, const QByteArray &text, QByteArray *result, int charset)
{
    GOMA_HGLOBAL handle = nullptr;
    const int rc = GOMADecryptText(owner, text.constData(), &handle, charset);
    const Block block(handle);
    const QByteArray copy = copyOf(block, &m_resultCharset);
    if (rc && result)
        *result = copy;
    return rc;
}

int GomaLibrary::launchKeys(QWidget *owner) { return GOMALaunchKeys(owner); }
int GomaLibrary::launchTools(QWidget *owner) { return GOMALaunchTools(owner); }
int GomaLibrary::preferences(QWidget *owner) { return GOMAPreferences(owner); }
int GomaLibrary::about(QWidget *owner) { return GOMAAbout(owner); }
int GomaLibrary::version() { return GOMAGetVersion(); }
QStringList GomaLibrary::lastRecipients()
{
    return QString::fromUtf8(GOMALastRecipients()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

QString GomaLibrary::lastMessageSigner() { return QString::fromUtf8(GOMALastMessageSigner()); }

bool GomaLibrary::holdsSecretKey(const QString &fingerprint)
{
    return GOMAHasSecretKey(fingerprint.toLatin1().constData()) != 0;
}

void GomaLibrary::preselectRecipients(const QStringList &keys)
{
    std::vector<QByteArray> names;
    for (const QString &k : keys)
        names.push_back(k.toLatin1());
    std::vector<const char *> table;
    for (const QByteArray &n : names)
        table.push_back(n.constData());
    GOMAPreselectRecipients(table.data(), int(table.size()));
}

QString GomaLibrary::failureReason() { return QString::fromUtf8(GOMALastError()); }
QString GomaLibrary::lastSigner() { return QString::fromUtf8(GOMALastSigner()); }

} // namespace zv

namespace {
zv::GomaLibrary g_goma;
zv::PgpLibrary *g_pgp = &g_goma;
} // namespace

zv::PgpLibrary &TfrmMain::pgp() { return *g_pgp; }
void TfrmMain::setPgp(zv::PgpLibrary *library) { g_pgp = library ? library : &g_goma; }
