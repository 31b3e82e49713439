#pragma once
// Small helpers for the document tests: files on disk, CP932 bytes, the window's state at a glance, and
// a folder the program may not write.

#include "app/frmMain.h"
#include "platform/textcodec.h"

#include <QAction>
#include <QApplication>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QKeyEvent>
#include <QMimeData>
#include <QDragEnterEvent>
#include <QLabel>
#include <QProcess>
#include <QTest>
#include <algorithm>
#include <cstdio>
#include <dirent.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

namespace docfixture {

inline bool writeFile(const QString &path, const QByteArray &bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size();
}

inline QByteArray contentOf(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("(unreadable)");
}

// The text in the document's encoding (the test texts are all encodable).
inline QByteArray cp932(const QString &text, zv::LineBreakStyle style = zv::LineBreakStyle::CrLf)
{
    return zv::encodeCp932(text, style).bytes;
}

inline QStringList recentList(const TfrmMain &w)
{
    return {w.recent(1), w.recent(2), w.recent(3), w.recent(4)};
}

inline void setRecentList(TfrmMain &w, const QStringList &names)
{
    for (int n = 1; n <= 4; ++n)
        w.setRecent(n, names.value(n - 1));
}

// Makes the text modified by typing it at the end, as the user would.
inline void type(TfrmMain &w, const QString &text)
{
    w.Memo->setFocus();
    w.Memo->moveCursor(QTextCursor::End);
    const QStringList lines = text.split(QLatin1Char('\n'));
    for (qsizetype i = 0; i < lines.size(); ++i) {
        if (i > 0)
            QTest::keyClick(w.Memo, Qt::Key_Return);
        // One key event for each character, Japanese ones included (keyClicks takes Latin-1 only).
        for (const char32_t c : lines[i].toUcs4()) {
            const QString ch = QString::fromUcs4(&c, 1);
            QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, ch);
            QKeyEvent release(QEvent::KeyRelease, Qt::Key_unknown, Qt::NoModifier, ch);
            QApplication::sendEvent(w.Memo, &press);
            QApplication::sendEvent(w.Memo, &release);
        }
    }
}

// Drops the URLs on the target as the desktop does: drag enter, drag move, drop.
inline void dropUrls(QWidget *target, const QList<QUrl> &urls)
{
    QMimeData mime;
    mime.setUrls(urls);
    const QPoint at(10, 10);
    QDragEnterEvent enter(at, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &enter);
    QDragMoveEvent move(at, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &move);
    QDropEvent event(at, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &event);
}

inline void drop(QWidget *target, const QStringList &files)
{
    QList<QUrl> urls;
    for (const QString &f : files)
        urls << QUrl::fromLocalFile(f);
    dropUrls(target, urls);
}

// Files by the bytes of their names (names that are not UTF-8 included).
inline bool writeRawFile(const QByteArray &path, const QByteArray &bytes)
{
    FILE *f = std::fopen(path.constData(), "wb");
    if (!f)
        return false;
    const bool ok = std::fwrite(bytes.constData(), 1, size_t(bytes.size()), f) == size_t(bytes.size());
    return std::fclose(f) == 0 && ok;
}

inline QByteArray rawContentOf(const QByteArray &path)
{
    QByteArray out;
    FILE *f = std::fopen(path.constData(), "rb");
    if (!f)
        return QByteArray("(unreadable)");
    char buf[4096];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0)
        out.append(buf, qsizetype(n));
    std::fclose(f);
    return out;
}

// The names in a folder, as bytes.
inline QList<QByteArray> rawEntries(const QByteArray &folder)
{
    QList<QByteArray> names;
    if (DIR *dir = ::opendir(folder.constData())) {
        while (const dirent *e = ::readdir(dir))
            if (qstrcmp(e->d_name, ".") != 0 && qstrcmp(e->d_name, "..") != 0)
                names << QByteArray(e->d_name);
        ::closedir(dir);
    }
    std::sort(names.begin(), names.end());
    return names;
}

enum class ReadOnlyRun { Here, DoneInChild, Unavailable };

// A folder whose files the program may not write, for the calling test function. As an ordinary user the
// folder and its files lose their write bits. root writes whatever the bits say, so as root the test
// function runs again in a child process inside private user and mount namespaces, where the folder is a
// read-only mount; the parent then only checks that the child passed. folder must exist with its files
// before the call; in the child, ZV_RO_BASE names the base folder the parent prepared.
inline ReadOnlyRun readOnlyFolder(const QString &folder, const char *testFunction, const QString &base)
{
    const QByteArray path = QFile::encodeName(folder);
    if (qEnvironmentVariableIsSet("ZV_RO_CHILD")) {
        struct statvfs vfs {};
        if (::statvfs(path.constData(), &vfs) != 0)
            return ReadOnlyRun::Unavailable;
        unsigned long kept = 0; // flags a remount inside a user namespace must keep
        if (vfs.f_flag & ST_NOSUID)
            kept |= MS_NOSUID;
        if (vfs.f_flag & ST_NODEV)
            kept |= MS_NODEV;
        if (vfs.f_flag & ST_NOEXEC)
            kept |= MS_NOEXEC;
        if (::mount(path.constData(), path.constData(), nullptr, MS_BIND, nullptr) != 0
            || ::mount(nullptr, path.constData(), nullptr, MS_REMOUNT | MS_BIND | MS_RDONLY | kept, nullptr) != 0)
            return ReadOnlyRun::Unavailable;
        return ReadOnlyRun::Here;
    }
    if (::geteuid() != 0) {
        for (const QString &name : QDir(folder).entryList(QDir::Files))
            ::chmod(QFile::encodeName(folder + QLatin1Char('/') + name).constData(), 0444);
        ::chmod(path.constData(), 0555);
        return ReadOnlyRun::Here;
    }
    if (QProcess::execute(QStringLiteral("unshare"), {QStringLiteral("-rm"), QStringLiteral("true")}) != 0)
        return ReadOnlyRun::Unavailable;
    QProcess child;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("ZV_RO_CHILD"), QStringLiteral("1"));
    env.insert(QStringLiteral("ZV_RO_BASE"), base);
    child.setProcessEnvironment(env);
    child.setProcessChannelMode(QProcess::MergedChannels);
    child.start(QStringLiteral("unshare"), {QStringLiteral("-rm"), QCoreApplication::applicationFilePath(),
                                            QString::fromLatin1(testFunction)});
    if (!child.waitForFinished(120000))
        child.kill();
    const QByteArray out = child.readAll();
    const bool passed = child.exitStatus() == QProcess::NormalExit && child.exitCode() == 0;
    if (!passed || out.contains("SKIP")) {
        qWarning().noquote() << QString::fromUtf8(out);
    } else {
        for (const QByteArray &line : out.split('\n'))
            if (line.startsWith("Totals:"))
                qInfo().noquote() << "in the read-only namespace:" << QString::fromUtf8(line);
    }
    [&] { QVERIFY2(passed, "the test failed in its read-only namespace (output above)"); }();
    return ReadOnlyRun::DoneInChild;
}

// Gives the write bits back so that the temporary folder can be removed (ordinary users only).
struct WritableAgain {
    QString folder;
    ~WritableAgain()
    {
        if (folder.isEmpty() || ::geteuid() == 0)
            return;
        ::chmod(QFile::encodeName(folder).constData(), 0755);
        for (const QString &name : QDir(folder).entryList(QDir::Files))
            ::chmod(QFile::encodeName(folder + QLatin1Char('/') + name).constData(), 0644);
    }
};

} // namespace docfixture
