// The settings-file parser: any content gives a file or a reasoned refusal, never a crash; a file that
// parses is written out and read back with the same keys, values and order.

#include "fuzzcheck.h"
#include "platform/settingsstore.h"

#include <cstdint>

using zv::RegFile;

namespace {

QByteArray describe(const RegFile &f)
{
    QByteArray out;
    for (const QString &key : f.keyOrder) {
        out += "[" + key.toUtf8() + "]\n";
        for (const QString &name : f.valueOrder.value(key)) {
            const zv::RegValue v = f.keys.value(key).value(name);
            out += "  " + name.toUtf8() + (v.isString ? " str " : " raw ") + fuzz::hex(v.data, 40) + "\n";
        }
    }
    return out;
}

bool same(const RegFile &a, const RegFile &b)
{
    if (a.keyOrder != b.keyOrder || a.valueOrder != b.valueOrder || a.keys.keys() != b.keys.keys())
        return false;
    for (auto k = a.keys.cbegin(); k != a.keys.cend(); ++k) {
        const auto &other = b.keys[k.key()];
        if (k->keys() != other.keys())
            return false;
        for (auto v = k->cbegin(); v != k->cend(); ++v) {
            const zv::RegValue &w = other[v.key()];
            if (v->isString != w.isString || v->data != w.data)
                return false;
        }
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    QString error;
    const auto parsed = RegFile::parse(bytes, &error);
    if (!parsed) {
        FUZZ_CHECK(!error.isEmpty(), "refused without a reason");
        return 0;
    }
    RegFile file = *parsed;
    FUZZ_CHECK(file.keys.size() == file.keyOrder.size(), "keys and their order disagree");
    const QByteArray written = file.serialize();
    QString error2;
    const auto reread = RegFile::parse(written, &error2);
    FUZZ_CHECK(reread.has_value(), "our own file is refused (%s):\n%s", error2.toUtf8().constData(),
               written.left(2000).constData());
    FUZZ_CHECK(same(file, *reread), "written and read back differently\nbefore:\n%s\nafter:\n%s",
               describe(file).constData(), describe(*reread).constData());
    FUZZ_CHECK(reread->serialize() == written, "writing is not stable");

    // A value the program sets in a file that parsed comes back as it was set.
    file.setValue(QStringLiteral("Software\\Velmorin\\Zuvelo\\Other Data"), QStringLiteral("FindText"),
                  zv::RegValue{true, QString::fromUtf8(bytes.left(64))});
    const auto withValue = RegFile::parse(file.serialize());
    FUZZ_CHECK(withValue.has_value() && same(file, *withValue), "a value set by the program does not come back");
    return 0;
}
