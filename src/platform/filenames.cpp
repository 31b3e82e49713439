#include "filenames.h"
#include "textcodec.h"

#include <QFile>
#include <QStringList>
#include <dirent.h>
#include <sys/stat.h>

namespace zv {

namespace {
constexpr char16_t kEscapeBase = 0xDC00;

bool isEscape(char16_t c) { return c >= 0xDC80 && c <= 0xDCFF; }

// Length of the valid UTF-8 sequence at p (1 to 4), or 0 when the byte there does not start one.
int utf8SequenceLength(const unsigned char *p, qsizetype left, char32_t &cp)
{
    const unsigned char b = p[0];
    if (b < 0x80) {
        cp = b;
        return 1;
    }
    int n;
    char32_t min;
    if ((b & 0xE0) == 0xC0) {
        n = 2, cp = b & 0x1F, min = 0x80;
    } else if ((b & 0xF0) == 0xE0) {
        n = 3, cp = b & 0x0F, min = 0x800;
    } else if ((b & 0xF8) == 0xF0) {
        n = 4, cp = b & 0x07, min = 0x10000;
    } else {
        return 0;
    }
    if (left < n)
        return 0;
    for (int i = 1; i < n; ++i) {
        if ((p[i] & 0xC0) != 0x80)
            return 0;
        cp = (cp << 6) | (p[i] & 0x3F);
    }
    // Overlong forms, UTF-16 surrogates and code points past U+10FFFF are not valid UTF-8.
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
        return 0;
    return n;
}

void appendUtf8(QByteArray &out, char32_t cp)
{
    if (cp < 0x80) {
        out.append(char(cp));
    } else if (cp < 0x800) {
        out.append(char(0xC0 | (cp >> 6)));
        out.append(char(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        out.append(char(0xE0 | (cp >> 12)));
        out.append(char(0x80 | ((cp >> 6) & 0x3F)));
        out.append(char(0x80 | (cp & 0x3F)));
    } else {
        out.append(char(0xF0 | (cp >> 18)));
        out.append(char(0x80 | ((cp >> 12) & 0x3F)));
        out.append(char(0x80 | ((cp >> 6) & 0x3F)));
        out.append(char(0x80 | (cp & 0x3F)));
    }
}

// One element of a path as the user reads it.
QString displayElement(const QString &element)
{
    if (!hasForeignBytes(element))
        return element;
    const QByteArray bytes = nativeFileName(element);
    const QString sjis = decodeCp932(bytes, LineBreakStyle::Lf);
    bool valid = true;
    for (QChar c : sjis)
        if (isOpaqueByte(c) || c.unicode() < 0x20) {
            valid = false;
            break;
        }
    if (valid)
        return sjis;
    QString shown = element;
    for (QChar &c : shown)
        if (isEscape(c.unicode()))
            c = QChar(0xFFFD);
    return shown;
}
} // namespace

QByteArray nativeFileName(const QString &name)
{
    QByteArray out;
    out.reserve(name.size());
    const qsizetype n = name.size();
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t c = name[i].unicode();
        if (QChar::isHighSurrogate(c) && i + 1 < n && QChar::isLowSurrogate(name[i + 1].unicode())) {
            appendUtf8(out, QChar::surrogateToUcs4(c, name[i + 1].unicode()));
            ++i;
        } else if (isEscape(c)) {
            out.append(char(c - kEscapeBase));
        } else if (QChar::isSurrogate(c)) {
            appendUtf8(out, 0xFFFD); // half a pair that no name from the system can hold
        } else {
            appendUtf8(out, c);
        }
    }
    return out;
}

QString fileNameFromNative(const QByteArray &name)
{
    QString out;
    out.reserve(name.size());
    const auto *p = reinterpret_cast<const unsigned char *>(name.constData());
    const qsizetype n = name.size();
    for (qsizetype i = 0; i < n;) {
        char32_t cp = 0;
        const int len = utf8SequenceLength(p + i, n - i, cp);
        if (len == 0) {
            out.append(QChar(char16_t(kEscapeBase + p[i])));
            ++i;
            continue;
        }
        if (QChar::requiresSurrogates(cp)) {
            out.append(QChar(QChar::highSurrogate(cp)));
            out.append(QChar(QChar::lowSurrogate(cp)));
        } else {
            out.append(QChar(char16_t(cp)));
        }
        i += len;
    }
    return out;
}

bool hasForeignBytes(const QString &name)
{
    for (qsizetype i = 0; i < name.size(); ++i) {
        const char16_t c = name[i].unicode();
        if (QChar::isHighSurrogate(c) && i + 1 < name.size() && QChar::isLowSurrogate(name[i + 1].unicode()))
            ++i;
        else if (isEscape(c))
            return true;
    }
    return false;
}

QString displayFileName(const QString &name)
{
    if (!hasForeignBytes(name))
        return name;
    QStringList elements = name.split(QLatin1Char('/'));
    for (QString &e : elements)
        e = displayElement(e);
    return elements.join(QLatin1Char('/'));
}

QString fileNameFromUrl(const QUrl &url)
{
    if (!url.isLocalFile())
        return QString();
    // The path's own bytes: %95%5C stays the two bytes 0x95 0x5C instead of becoming U+FFFD.
    const QByteArray bytes = QByteArray::fromPercentEncoding(url.path(QUrl::FullyEncoded).toLatin1());
    const QString host = url.host();
    if (!host.isEmpty() && host != QLatin1String("localhost"))
        return url.toLocalFile(); // a share name: as Qt gives it
    return fileNameFromNative(bytes);
}

QString recoverDecodedFileName(const QString &name)
{
    if (!name.contains(QChar(0xFFFD)) || !name.startsWith(QLatin1Char('/')))
        return name;
    const QStringList elements = name.split(QLatin1Char('/'));
    QString path; // the part recovered so far, without a trailing slash
    for (qsizetype i = 1; i < elements.size(); ++i) {
        const QString &element = elements[i];
        QString found = element;
        if (element.contains(QChar(0xFFFD))) {
            const QByteArray folder = path.isEmpty() ? QByteArray("/") : nativeFileName(path);
            int matches = 0;
            if (DIR *dir = ::opendir(folder.constData())) {
                while (const dirent *entry = ::readdir(dir)) {
                    const QByteArray bytes(entry->d_name);
                    if (QFile::decodeName(bytes) == element) {
                        found = fileNameFromNative(bytes);
                        ++matches;
                    }
                }
                ::closedir(dir);
            }
            if (matches != 1)
                return name;
        }
        path += QLatin1Char('/') + found;
    }
    return path;
}

bool isExistingFile(const QString &name)
{
    const QByteArray path = nativeFileName(name);
    struct stat st;
    return !path.isEmpty() && ::stat(path.constData(), &st) == 0 && S_ISREG(st.st_mode);
}

bool isExistingFolder(const QString &name)
{
    const QByteArray path = nativeFileName(name);
    struct stat st;
    return !path.isEmpty() && ::stat(path.constData(), &st) == 0 && S_ISDIR(st.st_mode);
}

} // namespace zv
