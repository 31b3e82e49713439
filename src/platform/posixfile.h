#pragma once
// Small helpers over file descriptors shared by the file layers.

#include <QByteArray>
#include <QByteArrayView>
#include <cerrno>
#include <unistd.h>

namespace zv {

// An owned file descriptor, closed when it goes.
class UniqueFd {
public:
    explicit UniqueFd(int fd = -1) : m_fd(fd) {}
    ~UniqueFd() { reset(); }
    UniqueFd(UniqueFd &&other) noexcept : m_fd(other.release()) {}
    UniqueFd &operator=(UniqueFd &&other) noexcept
    {
        reset(other.release());
        return *this;
    }
    UniqueFd(const UniqueFd &) = delete;
    UniqueFd &operator=(const UniqueFd &) = delete;

    int get() const { return m_fd; }
    explicit operator bool() const { return m_fd >= 0; }
    int release()
    {
        const int fd = m_fd;
        m_fd = -1;
        return fd;
    }
    void reset(int fd = -1)
    {
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = fd;
    }

private:
    int m_fd;
};

// Reads from the current offset to the end of the file; false with errno set on failure.
bool readToEnd(int fd, QByteArray &out, qsizetype sizeHint);

// Writes all bytes at offset, going on after short writes; false with errno set on failure.
bool pwriteAll(int fd, QByteArrayView bytes, off_t offset);

// The folder part of a path ("." for a bare name).
QByteArray directoryOf(const QByteArray &path);

// Flushes a folder's entries (a rename or a new name in it) to the disk.
void syncDirectory(const QByteArray &dir);

} // namespace zv
