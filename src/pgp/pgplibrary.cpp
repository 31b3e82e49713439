#include "pgplibrary.h"
#include "app/frmMain.h"

#include <goma.h>
#include <vector>

namespace zv {

namespace {
// Copies the result block's text and frees the block at once, whether or not the text is used.
QByteArray takeBlock(GOMA_HGLOBAL block)
{
    QByteArray out;
    if (!block)
        return out;
    if (const char *p = GOMABlockLock(block))
        out = QByteArray(p, qsizetype(GOMABlockSize(block)));
    GOMABlockUnlock(block);
    GOMABlockFree(block);
    return out;
}
} // namespace

int GomaLibrary::init() { return GOMAInit(); }
int GomaLibrary::release() { return GOMARelease(); }

int GomaLibrary::encryptText(QWidget *owner, int encrypt, int sign, const QStringList &recipients,
                             const QByteArray &text, QByteArray *result, int charset)
{
    // Room for 100 recipients, as the library expects.
    std::vector<QByteArray> names;
    std::vector<const char *> table(100, nullptr);
    for (const QString &r : recipients.mid(0, 100))
        names.push_back(r.toUtf8());
    for (size_t i = 0; i < names.size(); ++i)
        table[i] = names[i].constData();
    GOMA_HGLOBAL block = nullptr;
    const int rc = GOMAEncryptText(owner, encrypt, sign, table.data(), int(names.size()), text.constData(), &block,
                                   charset);
    const QByteArray copy = takeBlock(block);
    if (rc && result)
        *result = copy;
    return rc;
}

int GomaLibrary::decryptText(QWidget *owner, const QByteArray &text, QByteArray *result, int charset)
{
    GOMA_HGLOBAL block = nullptr;
    const int rc = GOMADecryptText(owner, text.constData(), &block, charset);
    const QByteArray copy = takeBlock(block);
    if (rc && result)
        *result = copy;
    return rc;
}

int GomaLibrary::launchKeys(QWidget *owner) { return GOMALaunchKeys(owner); }
int GomaLibrary::launchTools(QWidget *owner) { return GOMALaunchTools(owner); }
int GomaLibrary::preferences(QWidget *owner) { return GOMAPreferences(owner); }
int GomaLibrary::about(QWidget *owner) { return GOMAAbout(owner); }
int GomaLibrary::version() { return GOMAGetVersion(); }

} // namespace zv

namespace {
zv::GomaLibrary g_goma;
zv::PgpLibrary *g_pgp = &g_goma;
} // namespace

zv::PgpLibrary &TfrmMain::pgp() { return *g_pgp; }
void TfrmMain::setPgp(zv::PgpLibrary *library) { g_pgp = library ? library : &g_goma; }
