#include "posixfile.h"

#include <algorithm>
#include <fcntl.h>

namespace zv {

bool readToEnd(int fd, QByteArray &out, qsizetype sizeHint)
{
    out.clear();
    out.reserve(sizeHint + 65536); // room to see the end in the same pass
    for (;;) {
        if (out.capacity() - out.size() < 4096)
            out.reserve(out.size() + std::max<qsizetype>(out.size() / 2, 65536));
        const qsizetype room = out.capacity() - out.size();
        const qsizetype old = out.size();
        out.resize(old + room);
        const ssize_t n = ::read(fd, out.data() + old, size_t(room));
        const int error = errno;
        out.resize(old + std::max<ssize_t>(n, 0));
        if (n == 0)
            return true;
        if (n < 0 && error != EINTR) {
            errno = error;
            return false;
        }
    }
}

bool pwriteAll(int fd, QByteArrayView bytes, off_t offset)
{
    const char *data = bytes.data();
    qsizetype size = bytes.size();
    while (size > 0) {
        const ssize_t n = ::pwrite(fd, data, size_t(size), offset);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return false;
        if (n == 0) {
            errno = ENOSPC;
            return false;
        }
        data += n;
        size -= n;
        offset += n;
    }
    return true;
}

QByteArray directoryOf(const QByteArray &path)
{
    const qsizetype slash = path.lastIndexOf('/');
    if (slash < 0)
        return QByteArrayLiteral(".");
    if (slash == 0)
        return QByteArrayLiteral("/");
    return path.left(slash);
}

void syncDirectory(const QByteArray &dir)
{
    const int fd = ::open(dir.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

} // namespace zv
