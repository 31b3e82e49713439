#include "settingsstore.h"
#include "atomicfile.h"
#include "filenames.h"
#include "platformerror.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include <algorithm>
#include <cerrno>
#include <limits>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace zv {

namespace {

const QString kHive = QStringLiteral("HKEY_CURRENT_USER\\");
const QString kKey = QString::fromLatin1(SettingsStore::kKeyPath);

QStringList g_notices;

QString sectionKey(const QString &section) { return kKey + QLatin1Char('\\') + section; }

// ---- parsing ---------------------------------------------------------------------------------------

QString unescape(QStringView s, bool *ok)
{
    if (!s.contains(QLatin1Char('\\')) && !s.contains(QLatin1Char('"'))) {
        *ok = true;
        return s.toString(); // the common case: nothing to undo
    }
    QString out;
    out.reserve(s.size());
    for (qsizetype i = 0; i < s.size(); ++i) {
        QChar c = s[i];
        if (c == QLatin1Char('\\')) {
            if (i + 1 >= s.size()) {
                *ok = false;
                return {};
            }
            c = s[++i];
            if (c != QLatin1Char('\\') && c != QLatin1Char('"')) {
                *ok = false;
                return {};
            }
        } else if (c == QLatin1Char('"')) {
            *ok = false;
            return {};
        }
        out += c;
    }
    *ok = true;
    return out;
}

QString escape(const QString &s)
{
    if (!s.contains(QLatin1Char('\\')) && !s.contains(QLatin1Char('"')))
        return s;
    QString out;
    out.reserve(s.size() + 2);
    for (QChar c : s) {
        if (c == QLatin1Char('\\') || c == QLatin1Char('"'))
            out += QLatin1Char('\\');
        out += c;
    }
    return out;
}

// A quoted name starting at s[0] == '"'; returns the index after the closing quote, or -1.
qsizetype quotedEnd(QStringView s)
{
    for (qsizetype i = 1; i < s.size(); ++i) {
        if (s[i] == QLatin1Char('\\'))
            ++i;
        else if (s[i] == QLatin1Char('"'))
            return i + 1;
    }
    return -1;
}

// hex(1): and hex: hold bytes; a string value whose text a quoted form cannot carry (line breaks) is kept as
// hex(1): with UTF-16LE bytes and a closing NUL, the way the registry keeps a string.
std::optional<QString> decodeHexString(const QString &data)
{
    const qsizetype colon = data.indexOf(QLatin1Char(':'));
    QByteArray bytes;
    for (const QString &part : data.mid(colon + 1).split(QLatin1Char(','), Qt::SkipEmptyParts)) {
        bool ok = false;
        const uint v = part.trimmed().toUInt(&ok, 16);
        if (!ok || v > 0xFF)
            return std::nullopt;
        bytes.append(char(v));
    }
    if (bytes.size() % 2)
        return std::nullopt;
    QString s(reinterpret_cast<const QChar *>(bytes.constData()), bytes.size() / 2);
    if (s.endsWith(QChar(0)))
        s.chop(1); // the terminator; NULs before it belong to the value
    return s;
}

QString encodeHexString(const QString &s)
{
    QString out = QStringLiteral("hex(1):");
    QStringList parts;
    for (QChar c : s + QChar(0)) {
        parts << QStringLiteral("%1").arg(c.unicode() & 0xFF, 2, 16, QLatin1Char('0'));
        parts << QStringLiteral("%1").arg(c.unicode() >> 8, 2, 16, QLatin1Char('0'));
    }
    return out + parts.join(QLatin1Char(','));
}

bool needsHex(const QString &s)
{
    for (qsizetype i = 0; i < s.size(); ++i) {
        const QChar c = s[i];
        if (c.unicode() < 0x20)
            return true;
        if (c.isHighSurrogate() && i + 1 < s.size() && s[i + 1].isLowSurrogate())
            ++i;
        else if (c.isSurrogate())
            return true; // half a pair: UTF-8 cannot carry it, hex(1) can
    }
    return false;
}

} // namespace

std::optional<RegFile> RegFile::parse(const QByteArray &utf8, QString *error)
{
    auto fail = [error](int line, const char *why) -> std::optional<RegFile> {
        if (error)
            *error = QStringLiteral("%1 行目: %2").arg(line).arg(QString::fromUtf8(why));
        return std::nullopt;
    };
    QString text = QString::fromUtf8(utf8);
    if (text.startsWith(QChar(0xFEFF)))
        text.remove(0, 1);
    const QStringList rawLines = text.split(QLatin1Char('\n'));
    RegFile file;
    QString currentKey;
    bool haveHeader = false;
    for (qsizetype i = 0; i < rawLines.size(); ++i) {
        QString line = rawLines[i];
        if (line.endsWith(QLatin1Char('\r')))
            line.chop(1);
        // A hex value may continue on the next lines after a trailing backslash. On the last line the mark
        // continues nothing and is dropped, so that no value ever ends in one.
        while (QStringView(line).trimmed().endsWith(QLatin1Char('\\')) &&
               !QStringView(line).trimmed().startsWith(QLatin1Char('[')) && line.contains(QStringLiteral("=hex"))) {
            line = line.trimmed();
            line.chop(1);
            if (i + 1 >= rawLines.size())
                continue;
            QString next = rawLines[++i];
            if (next.endsWith(QLatin1Char('\r')))
                next.chop(1);
            line += next.trimmed();
        }
        const QString trimmed = line.trimmed();
        if (trimmed.isEmpty() || trimmed.startsWith(QLatin1Char(';')))
            continue;
        if (!haveHeader) {
            if (trimmed != QLatin1String("REGEDIT4") &&
                trimmed != QLatin1String("Windows Registry Editor Version 5.00"))
                return fail(int(i + 1), "見出し REGEDIT4 がありません");
            haveHeader = true;
            continue;
        }
        if (trimmed.startsWith(QLatin1Char('['))) {
            if (!trimmed.endsWith(QLatin1Char(']')) || trimmed.size() < 3)
                return fail(int(i + 1), "キーの行が閉じていません");
            QString key = trimmed.mid(1, trimmed.size() - 2);
            if (key.startsWith(kHive, Qt::CaseInsensitive))
                key = key.mid(kHive.size());
            currentKey = key;
            file.ensureKey(key);
            continue;
        }
        if (currentKey.isEmpty())
            return fail(int(i + 1), "キーの外に値があります");
        QString name;
        qsizetype rest = 0;
        if (trimmed.startsWith(QLatin1Char('@'))) {
            rest = 1;
        } else if (trimmed.startsWith(QLatin1Char('"'))) {
            const qsizetype end = quotedEnd(trimmed);
            if (end < 0)
                return fail(int(i + 1), "値の名前が閉じていません");
            bool ok = false;
            name = unescape(QStringView(trimmed).mid(1, end - 2), &ok);
            if (!ok)
                return fail(int(i + 1), "値の名前が不正です");
            rest = end;
        } else {
            return fail(int(i + 1), "解釈できない行です");
        }
        if (rest >= trimmed.size() || trimmed[rest] != QLatin1Char('='))
            return fail(int(i + 1), "= がありません");
        const QString data = trimmed.mid(rest + 1);
        RegValue value;
        if (data == QLatin1String("-")) {
            continue; // a deletion mark: the value is absent
        } else if (data.startsWith(QLatin1Char('"'))) {
            if (data.size() < 2 || !data.endsWith(QLatin1Char('"')) || quotedEnd(data) != data.size())
                return fail(int(i + 1), "文字列が閉じていません");
            bool ok = false;
            value.data = unescape(QStringView(data).mid(1, data.size() - 2), &ok);
            if (!ok)
                return fail(int(i + 1), "文字列が不正です");
            value.isString = true;
        } else if (data.startsWith(QLatin1String("hex(1):"), Qt::CaseInsensitive)) {
            const auto s = decodeHexString(data);
            if (!s)
                return fail(int(i + 1), "hex(1) の値が不正です");
            value.data = *s;
            value.isString = true;
        } else if (data.startsWith(QLatin1String("dword:"), Qt::CaseInsensitive) ||
                   data.startsWith(QLatin1String("hex"), Qt::CaseInsensitive)) {
            value.isString = false;
            value.data = data;
        } else {
            return fail(int(i + 1), "値の型が不明です");
        }
        file.setValue(currentKey, name, value);
    }
    if (!haveHeader && !text.trimmed().isEmpty())
        return fail(1, "見出し REGEDIT4 がありません");
    return file;
}

QByteArray RegFile::serialize() const
{
    QString out = QStringLiteral("REGEDIT4\n");
    for (const QString &key : keyOrder) {
        out += QLatin1String("\n[");
        out += kHive;
        out += key;
        out += QLatin1String("]\n");
        const auto values = keys.constFind(key);
        const auto order = valueOrder.constFind(key);
        if (values == keys.cend() || order == valueOrder.cend())
            continue;
        for (const QString &name : *order) {
            const auto v = values->constFind(name);
            if (name.isEmpty()) {
                out += QLatin1Char('@');
            } else {
                out += QLatin1Char('"');
                out += escape(name);
                out += QLatin1Char('"');
            }
            out += QLatin1Char('=');
            if (!v->isString) {
                out += v->data;
            } else if (needsHex(v->data)) {
                out += encodeHexString(v->data);
            } else {
                out += QLatin1Char('"');
                out += escape(v->data);
                out += QLatin1Char('"');
            }
            out += QLatin1Char('\n');
        }
    }
    return out.toUtf8();
}

void RegFile::ensureKey(const QString &key)
{
    if (keys.contains(key))
        return;
    // Parent keys come first, as the registry holds them.
    const qsizetype slash = key.lastIndexOf(QLatin1Char('\\'));
    if (slash > 0)
        ensureKey(key.left(slash));
    keyOrder << key;
    keys.insert(key, {});
    valueOrder.insert(key, {});
}

void RegFile::setValue(const QString &key, const QString &name, const RegValue &value)
{
    ensureKey(key);
    auto &values = keys[key];
    const qsizetype before = values.size();
    values.insert(name, value); // one look-up: a new name makes the map grow
    if (values.size() != before)
        valueOrder[key] << name;
}

// ---- the file on disk ---------------------------------------------------------------------------------

namespace {

class FileLock {
public:
    explicit FileLock(const QString &path)
    {
        m_fd = ::open(QFile::encodeName(path).constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
        if (m_fd >= 0)
            while (::flock(m_fd, LOCK_EX) != 0 && errno == EINTR) {
            }
    }
    ~FileLock()
    {
        if (m_fd >= 0)
            ::close(m_fd); // closing drops the lock
    }
    bool ok() const { return m_fd >= 0; }

private:
    int m_fd = -1;
};

// Replaces the file through the program's one atomic writer (atomicfile.h): flushed, renamed into place
// with the folder flushed, a symbolic link written through, owner, mode and ACL kept.
bool replaceFile(const QString &path, const QByteArray &data)
{
    try {
        replaceFileContent(nativeFileName(path), data);
        return true;
    } catch (const FileWriteError &) {
        return false;
    }
}

enum class ReadResult { Missing, Ok, Damaged, Unreadable };

ReadResult readStoreFile(RegFile &out, QString *why)
{
    QFile f(SettingsStore::filePath());
    if (!f.exists())
        return ReadResult::Missing;
    // A copy killed while it rewrote the file in place left it unfinished: the write it meant is completed.
    InterruptedWrite::completeAny(nativeFileName(f.fileName()));
    if (!f.open(QIODevice::ReadOnly))
        return ReadResult::Unreadable;
    const QByteArray bytes = f.readAll();
    if (f.error() != QFileDevice::NoError)
        return ReadResult::Unreadable;
    auto parsed = RegFile::parse(bytes, why);
    if (!parsed)
        return ReadResult::Damaged;
    out = std::move(*parsed);
    return ReadResult::Ok;
}

// Moves a damaged file aside (it is kept, never deleted) so that the program can start from the defaults.
void keepDamagedFile(const QString &why)
{
    const QString path = SettingsStore::filePath();
    const QString kept = path + QStringLiteral(".damaged-") +
                         QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss-zzz"));
    if (::rename(QFile::encodeName(path).constData(), QFile::encodeName(kept).constData()) == 0)
        g_notices << QStringLiteral("設定ファイル %1 を読み込めませんでした (%2)。元のファイルを %3 として残し、"
                                    "既定の設定を使います")
                         .arg(path, why, kept);
    else
        g_notices << QStringLiteral("設定ファイル %1 を読み込めませんでした (%2)。このファイルは変更せず、"
                                    "既定の設定を使います")
                         .arg(path, why);
}

// Under the file's lock: reads the file as it stands now (a damaged one is moved aside first), lets
// change() alter it, and writes it back atomically. Returns false when the file could not be written.
template <typename Change>
bool updateStore(Change change)
{
    const QString path = SettingsStore::filePath();
    QDir().mkpath(QFileInfo(path).absolutePath());
    FileLock lock(path + QStringLiteral(".lock"));
    if (!lock.ok())
        return false;
    // A temporary file still there while we hold the lock was left by a copy that was killed while writing.
    const QFileInfo info(path);
    for (const QString &stale :
         QDir(info.absolutePath()).entryList({info.fileName() + QStringLiteral(".tmp??????")}, QDir::Files | QDir::Hidden))
        QFile::remove(info.absolutePath() + QLatin1Char('/') + stale);
    RegFile file;
    QString why;
    switch (readStoreFile(file, &why)) {
    case ReadResult::Damaged:
        keepDamagedFile(why);
        file = RegFile();
        break;
    case ReadResult::Unreadable:
        return false; // never overwrite a file we could not read
    default:
        break;
    }
    change(file);
    return replaceFile(path, file.serialize());
}

} // namespace

QString SettingsStore::filePath()
{
    QString base = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (base.isEmpty() || !QDir::isAbsolutePath(base))
        base = QDir::homePath() + QStringLiteral("/.config");
    return base + QStringLiteral("/zuvelo-pgp/registry.reg");
}

QStringList SettingsStore::takeNotices()
{
    QStringList out;
    out.swap(g_notices);
    return out;
}

std::optional<RegFile> SettingsStore::readFile()
{
    RegFile file;
    QString why;
    if (readStoreFile(file, &why) != ReadResult::Ok)
        return std::nullopt;
    return file;
}

SettingsStore::SettingsStore()
{
    QString why;
    switch (readStoreFile(m_snapshot, &why)) {
    case ReadResult::Ok:
        if (m_snapshot.keys.contains(kKey))
            return;
        break;
    case ReadResult::Unreadable:
        g_notices << QStringLiteral("設定ファイル %1 を読み込めません。既定の設定を使います").arg(filePath());
        m_snapshot = RegFile();
        return;
    default:
        break;
    }
    // The key is created at once when it is missing (a damaged file is moved aside on the way).
    const bool written = updateStore([this](RegFile &file) {
        file.ensureKey(kKey);
        m_snapshot = file;
    });
    if (!written) {
        m_snapshot.ensureKey(kKey);
        static bool told = false; // tell once per run, not at every view
        if (!told)
            g_notices << QStringLiteral("設定ファイル %1 を作成できません。設定は保存されません").arg(filePath());
        told = true;
    }
}

SettingsStore::~SettingsStore() = default;

namespace {

SettingsStore::AccessObserver g_observer;

// The integer a stored text holds: signed decimal, or after "$" or "0x" hexadecimal taken as the 32 bits of
// the integer. A decimal number too long for 64 bits gives that range's end, so that it still reads as the
// nearest end of a setting's range.
std::optional<qint64> parseInteger(const QString &stored)
{
    const QString text = stored.trimmed();
    if (text.isEmpty())
        return std::nullopt;
    bool ok = false;
    if (text.startsWith(QLatin1Char('$'))) {
        const uint v = text.mid(1).toUInt(&ok, 16);
        return ok ? std::optional<qint64>(int(v)) : std::nullopt;
    }
    if (text.startsWith(QLatin1String("0x"), Qt::CaseInsensitive)) {
        const uint v = text.mid(2).toUInt(&ok, 16);
        return ok ? std::optional<qint64>(int(v)) : std::nullopt;
    }
    const qint64 v = text.toLongLong(&ok, 10);
    if (ok)
        return v;
    qsizetype digits = text.startsWith(QLatin1Char('-')) || text.startsWith(QLatin1Char('+')) ? 1 : 0;
    if (digits == text.size())
        return std::nullopt;
    for (qsizetype i = digits; i < text.size(); ++i)
        if (text[i] < QLatin1Char('0') || text[i] > QLatin1Char('9'))
            return std::nullopt;
    return text.startsWith(QLatin1Char('-')) ? std::numeric_limits<qint64>::min() : std::numeric_limits<qint64>::max();
}

QString boolText(bool value) { return value ? QStringLiteral("1") : QStringLiteral("0"); }

} // namespace

void SettingsStore::setAccessObserver(AccessObserver observer) { g_observer = std::move(observer); }

std::optional<QString> SettingsStore::text(const QString &section, const QString &name) const
{
    if (g_observer)
        g_observer(section, name, false);
    const auto key = m_snapshot.keys.constFind(sectionKey(section));
    if (key == m_snapshot.keys.cend())
        return std::nullopt;
    const auto value = key->constFind(name);
    if (value == key->cend())
        return std::nullopt;
    if (!value->isString)
        throw PlatformError(QStringLiteral("'%1' のﾃﾞｰﾀ型が不正です").arg(name));
    return value->data;
}

QString SettingsStore::readString(const QString &section, const QString &name, const QString &def) const
{
    return text(section, name).value_or(def);
}

int SettingsStore::readInteger(const QString &section, const QString &name, int def) const
{
    const auto stored = text(section, name);
    const auto v = stored ? parseInteger(*stored) : std::nullopt;
    if (!v || *v < std::numeric_limits<int>::min() || *v > std::numeric_limits<int>::max())
        return def;
    return int(*v);
}

bool SettingsStore::readBool(const QString &section, const QString &name, bool def) const
{
    return readInteger(section, name, def ? 1 : 0) != 0;
}

int SettingsStore::read(const setting::Int &s) const
{
    const auto stored = text(s.sectionName(), s.key());
    const auto v = stored ? parseInteger(*stored) : std::nullopt;
    return v ? int(std::clamp<qint64>(*v, s.min, s.max)) : s.def;
}

bool SettingsStore::read(const setting::Bool &s) const { return readBool(s.sectionName(), s.key(), s.def); }

QString SettingsStore::read(const setting::Text &s) const
{
    return readString(s.sectionName(), s.key(), s.def.toString());
}

void SettingsStore::write(const SettingsBatch &batch) { writeBatch(batch, &m_snapshot); }

void SettingsStore::commit(const SettingsBatch &batch) { writeBatch(batch, nullptr); }

void SettingsStore::writeBatch(const SettingsBatch &batch, RegFile *snapshot)
{
    if (batch.isEmpty())
        return;
    if (g_observer)
        for (const auto &v : batch.m_values)
            g_observer(v.section, v.name, true);
    const auto &first = batch.m_values.constFirst();
    // Whether the first value's section was there, as the view saw it (without one: as the file stands).
    const auto hadSection = [&] {
        if (snapshot)
            return snapshot->keys.contains(sectionKey(first.section));
        const auto file = readFile();
        return file && file->keys.contains(sectionKey(first.section));
    };
    const bool sectionBefore = snapshot ? hadSection() : false;
    const bool written = updateStore([&](RegFile &file) {
        for (const auto &v : batch.m_values)
            file.setValue(sectionKey(v.section), v.name, RegValue{true, v.text});
        if (snapshot)
            *snapshot = file;
    });
    if (!written) {
        if (!(snapshot ? sectionBefore : hadSection()))
            throw PlatformError(QStringLiteral("ｷｰ %1 の作成に失敗しました").arg(first.section));
        throw PlatformError(QStringLiteral("'%1' の設定に失敗しました").arg(first.name));
    }
}

void SettingsStore::writeString(const QString &section, const QString &name, const QString &value)
{
    SettingsBatch batch;
    batch.setString(section, name, value);
    write(batch);
}

void SettingsStore::writeInteger(const QString &section, const QString &name, int value)
{
    writeString(section, name, QString::number(value));
}

void SettingsStore::writeBool(const QString &section, const QString &name, bool value)
{
    writeString(section, name, boolText(value));
}

void SettingsStore::write(const setting::Int &s, int value) { writeInteger(s.sectionName(), s.key(), value); }
void SettingsStore::write(const setting::Bool &s, bool value) { writeBool(s.sectionName(), s.key(), value); }
void SettingsStore::write(const setting::Text &s, const QString &value)
{
    writeString(s.sectionName(), s.key(), value);
}

// ---- SettingsBatch -------------------------------------------------------------------------------------

void SettingsBatch::setString(const QString &section, const QString &name, const QString &value)
{
    for (Value &v : m_values)
        if (v.section == section && v.name == name) {
            v.text = value;
            return;
        }
    m_values.append(Value{section, name, value});
}

void SettingsBatch::setInteger(const QString &section, const QString &name, int value)
{
    setString(section, name, QString::number(value));
}

void SettingsBatch::setBool(const QString &section, const QString &name, bool value)
{
    setString(section, name, boolText(value));
}

void SettingsBatch::set(const setting::Int &s, int value) { setInteger(s.sectionName(), s.key(), value); }
void SettingsBatch::set(const setting::Bool &s, bool value) { setBool(s.sectionName(), s.key(), value); }
void SettingsBatch::set(const setting::Text &s, const QString &value) { setString(s.sectionName(), s.key(), value); }

} // namespace zv
