#pragma once
// The per-user settings store: one file, $XDG_CONFIG_HOME/zuvelo-pgp/registry.reg (default ~/.config), in
// the registry export syntax. A key holds sections; a section holds named values. Every value the program
// writes is a string; values of other types ("dword:", "hex(N):") make reading fail with the store's error.
//
// A SettingsStore object is one view: it is opened by its constructor (the key is created at once when it is
// missing), reads from a snapshot of the file taken when it was opened, and writes through at once. Each
// write takes the file's lock, reads the file again, changes its values and replaces the file atomically
// (temporary file, flush, rename), so several running copies never tear it or lose each other's updates.
// Values that belong together (the window values at close, the options after OK) go in one
// SettingsBatch: one lock, one read, one replacement of the file for all of them.
// A file that cannot be parsed is moved aside (kept) and the defaults are used.
//
// The program reads and writes its settings through the rows of settingstable.h; the calls that take a
// section and a name are for values outside that table (tests, tools).

#include "settingstable.h"

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QString>
#include <QStringList>
#include <functional>
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

// Values to be written together, in the order they were added; a value added twice keeps the last one.
class SettingsBatch {
public:
    void set(const setting::Int &s, int value);
    void set(const setting::Bool &s, bool value);
    void set(const setting::Text &s, const QString &value);
    void setInteger(const QString &section, const QString &name, int value);
    void setBool(const QString &section, const QString &name, bool value);
    void setString(const QString &section, const QString &name, const QString &value);
    bool isEmpty() const { return m_values.isEmpty(); }

private:
    friend class SettingsStore;
    struct Value {
        QString section, name, text;
    };
    QList<Value> m_values;
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

    // A row of the settings table: its default, and for an integer its range (a stored integer outside
    // it reads as the nearest end).
    int read(const setting::Int &s) const;
    bool read(const setting::Bool &s) const;
    QString read(const setting::Text &s) const;
    void write(const setting::Int &s, int value);
    void write(const setting::Bool &s, bool value);
    void write(const setting::Text &s, const QString &value);

    // Writes every value of the batch with one replacement of the file. When the file cannot be written,
    // none of them is, and the error names the first value (or its section, when that did not exist).
    void write(const SettingsBatch &batch);
    // The same without a view: for an operation that only writes, so that the file is read once (under
    // the lock), not also for a snapshot nobody looks at.
    static void commit(const SettingsBatch &batch);

    // Tests watch what the program asks of the store: called with the section and name of every value read
    // or written, in this process, until it is cleared with an empty function.
    using AccessObserver = std::function<void(const QString &section, const QString &name, bool write)>;
    static void setAccessObserver(AccessObserver observer);

    // Whether the program's key exists and which sections it holds, as the file stands now (tests).
    static std::optional<RegFile> readFile();

    // Where the store lives: $XDG_CONFIG_HOME/zuvelo-pgp/registry.reg, or ~/.config/... .
    static QString filePath();
    // Messages about the store that the program should show once it is running (a damaged file that was
    // moved aside, a folder that cannot be written). Taking them empties the list.
    static QStringList takeNotices();

private:
    RegFile m_snapshot;
    // The stored text, or nullopt when the value or its section is missing; a value of another type than a
    // string raises the store's error.
    std::optional<QString> text(const QString &section, const QString &name) const;
    static void writeBatch(const SettingsBatch &batch, RegFile *snapshot);
};

} // namespace zv
