// The floor of the start-up and opening figures: the least a Qt program must do to show a CP932 file.
// It reads the file, converts it with iconv into a QString, puts it into a QPlainTextEdit and, once the
// editor has painted for the first time, prints the monotonic clock and its peak RSS to stderr in the
// form the program's own benchmark hook uses, and ends at once (with ZV_BENCH_EXIT_AFTER_PAINT=1, as the
// program; otherwise it stays open, as under `make bench-peers`). Without a file it shows an empty editor.
//
//   bare_editor [FILE]
//
// The window has the program's default size and the editor its default font (the system's fixed font,
// 14 points), so that both paint the same amount of text.

#include <QApplication>
#include <QFontDatabase>
#include <QPlainTextEdit>
#include <QTimer>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <iconv.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

QPlainTextEdit *g_editor = nullptr;

class ExitAfterPaint : public QObject {
    bool eventFilter(QObject *watched, QEvent *e) override
    {
        if (e->type() == QEvent::Paint && g_editor && watched == g_editor->viewport()) {
            qApp->removeEventFilter(this);
            QTimer::singleShot(0, [] {
                rusage ru{};
                getrusage(RUSAGE_SELF, &ru);
                const long long ns = std::chrono::steady_clock::now().time_since_epoch() / std::chrono::nanoseconds(1);
                std::fprintf(stderr, "zv-bench: first-paint clock-ns=%lld peak-rss-kb=%ld\n", ns, ru.ru_maxrss);
                std::fflush(stderr);
                std::_Exit(0);
            });
        }
        return false;
    }
};

[[noreturn]] void fail(const char *what, const char *path)
{
    std::fprintf(stderr, "bare_editor: %s: %s\n", what, path);
    std::exit(1);
}

QString readCp932(const char *path)
{
    const int fd = ::open(path, O_RDONLY | O_CLOEXEC);
    struct stat st{};
    if (fd < 0 || ::fstat(fd, &st) != 0)
        fail("cannot open", path);
    std::vector<char> bytes(size_t(st.st_size));
    size_t have = 0;
    while (have < bytes.size()) {
        const ssize_t n = ::read(fd, bytes.data() + have, bytes.size() - have);
        if (n <= 0)
            fail("cannot read", path);
        have += size_t(n);
    }
    ::close(fd);

    QString text(qsizetype(bytes.size()), Qt::Uninitialized); // UTF-16 never takes more units than bytes
    iconv_t cd = iconv_open("UTF-16LE", "CP932");
    char *in = bytes.data();
    size_t inLeft = bytes.size();
    char *out = reinterpret_cast<char *>(text.data());
    size_t outLeft = size_t(text.size()) * 2;
    if (cd == reinterpret_cast<iconv_t>(-1) || iconv(cd, &in, &inLeft, &out, &outLeft) == size_t(-1))
        fail("not CP932", path);
    iconv_close(cd);
    text.truncate(text.size() - qsizetype(outLeft / 2));
    return text;
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    ExitAfterPaint hook;
    if (qEnvironmentVariable("ZV_BENCH_EXIT_AFTER_PAINT") == QLatin1String("1"))
        app.installEventFilter(&hook);

    QPlainTextEdit editor;
    g_editor = &editor;
    QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    font.setPointSize(14);
    editor.setFont(font);
    editor.setLineWrapMode(QPlainTextEdit::NoWrap);
    if (argc > 1)
        editor.setPlainText(readCp932(argv[1])); // a CR LF pair is one line break to the document
    editor.resize(650, 412);
    editor.show();
    return app.exec();
}
