#pragma once
// The per-user settings store: one file, $XDG_CONFIG_HOME/zuvelo-pgp/registry.reg (default ~/.config), in
// the registry export syntax. A key holds sections; a section holds named values. Every value the program
// writes is a string; values of other types ("dword:", "hex(N):") make reading fail with the store's error.
//
// A SettingsStore object is one view: it is opened by its constructor (the key is created at once when it is
// missing), reads from a snapshot of the file taken when it was opened, and writes through at once. Each
// write takes the file's lock, reads the file again, changes the one value and replaces the file atomically
// (temporary file, flush, rename), so several running copies never tear it or lose each other's updates.
// A file that cannot be parsed is moved aside (kept) and the defaults are used.

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QString>
#include <QStringList>
#include <optional>

namespace zv {

// One parsed registry file: keys (full paths without the hive) with their named values as raw data texts
// (a string value keeps its quotes off; other types keep their type prefix, e.g. "dword:0000000a").
struct RegValue {
    bool isString = true;
    QString data; // the string, or the raw text after '=' for another type
};
struct RegFile {
    // key path (e.g. "Software\\Velmorin\\Zuvelo\\Other Data") -> value name -> value; keys keep file order
    QList<QString> keyOrder;
    QMap<QString, QMap<QString, RegValue>> keys;
    QMap<QString, QStringList> valueOrder;

    static std::optional<RegFile> parse(const QByteArray &utf8, QString *error = nullptr);
    QByteArray serialize() const;
    void ensureKey(const QString &key);
    void setValue(const QString &key, const QString &name, const RegValue &value);
};

class SettingsStore {
public:
    static constexpr const char *kKeyPath = "Software\\Velmorin\\Zuvelo";

    SettingsStore();  // opens the view on the program's key
    ~SettingsStore(); // closes it
    SettingsStore(const SettingsStore &) = delete;
    SettingsStore &operator=(const SettingsStore &) = delete;

    QString readString(const QString &section, const QString &name, const QString &def) const;
    int readInteger(const QString &section, const QString &name, int def) const;
    bool readBool(const QString &section, const QString &name, bool def) const;

    void writeString(const QString &section, const QString &name, const QString &value);
    void writeInteger(const QString &section, const QString &name, int value);
    void writeBool(const QString &section, const QString &name, bool value);

    // Whether the program's key exists and which sections it holds, as the file stands now (tests).
    static std::optional<RegFile> readFile();

    // Where the store lives: $XDG_CONFIG_HOME/zuvelo-pgp/registry.reg, or ~/.config/... .
    static QString filePath();
    // Messages about the store that the program should show once it is running (a damaged file that was
    // moved aside, a folder that cannot be written). Taking them empties the list.
    static QStringList takeNotices();

private:
    RegFile m_snapshot;
    void writeRaw(const QString &section, const QString &name, const QString &value);
};

// Section names used by the program.
inline const QString kOtherData = QStringLiteral("Other Data");
inline const QString kFormData = QStringLiteral("FormData");

} // namespace zv
