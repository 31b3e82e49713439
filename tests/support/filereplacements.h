#pragma once
// Counts how often a file gets new contents, as the file system reports it: every rename onto its name,
// every creation of its name, every close of a write to it. Watching starts at construction; count()
// takes the events seen so far. Header-only, so that tests of the platform layer can use it too.

#include <QFile>
#include <QFileInfo>
#include <QString>

#include <cerrno>
#include <climits>
#include <sys/inotify.h>
#include <unistd.h>

class FileReplacements {
public:
    explicit FileReplacements(const QString &path) : m_name(QFile::encodeName(QFileInfo(path).fileName()))
    {
        m_fd = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
        if (m_fd >= 0)
            m_ok = ::inotify_add_watch(m_fd, QFile::encodeName(QFileInfo(path).absolutePath()).constData(),
                                       IN_MOVED_TO | IN_CREATE | IN_CLOSE_WRITE) >= 0;
    }
    ~FileReplacements()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    FileReplacements(const FileReplacements &) = delete;
    FileReplacements &operator=(const FileReplacements &) = delete;

    bool ok() const { return m_ok; }
    int count()
    {
        alignas(inotify_event) char buf[64 * (sizeof(inotify_event) + NAME_MAX + 1)];
        for (;;) {
            const ssize_t n = ::read(m_fd, buf, sizeof buf);
            if (n <= 0)
                break;
            for (ssize_t off = 0; off < n;) {
                const auto *e = reinterpret_cast<const inotify_event *>(buf + off);
                if (e->len > 0 && m_name == e->name)
                    ++m_count;
                off += ssize_t(sizeof(inotify_event) + e->len);
            }
        }
        return m_count;
    }

private:
    QByteArray m_name;
    int m_fd = -1;
    bool m_ok = false;
    int m_count = 0;
};
