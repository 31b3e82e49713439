// Documents through the real main window, on a 4 MB Japanese CP932 file:
//
//   open   FileOpenByName until the window is ready (file read, decoded, editor filled, pending events
//          handled and the first idle pass run), against reading the same file and converting it with
//          iconv (CP932 to UTF-8) in the same process;
//   save   FileSaveClick (encode, atomic save), against writing the same bytes with write, fsync and rename.
//
// The two sides of each pair run alternately, so they see the same machine load; medians and ratios
// are printed at the end. Runs on the offscreen platform with a private settings folder.
//
//   bench_document [--runs N] [--dir FOLDER]

#include "app/frmMain.h"
#include "platform/application.h"
#include "platform/dialogs.h"
#include "platform/textfile.h"
#include "sample_text.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <functional>
#include <iconv.h>
#include <unistd.h>
#include <vector>

namespace {

constexpr qsizetype kSampleBytes = 4 * 1024 * 1024;

// Nothing here should ever ask the user anything: any prompt ends the run.
class NoPrompts : public zv::Dialogs {
    [[noreturn]] static void fail(const char *what)
    {
        std::fprintf(stderr, "unexpected %s during the benchmark\n", what);
        std::exit(2);
    }

public:
    int messageBox(QWidget *, const QString &text, const QString &, unsigned) override
    {
        std::fprintf(stderr, "%s\n", qPrintable(text));
        fail("message box");
    }
    bool openFile(QWidget *, zv::FileDialogSpec &) override { fail("open dialog"); }
    bool saveFile(QWidget *, zv::FileDialogSpec &) override { fail("save dialog"); }
    bool chooseFont(QWidget *, zv::FontSpec &) override { fail("font dialog"); }
    bool chooseColor(QWidget *, unsigned &) override { fail("colour dialog"); }
    bool printDialog(QWidget *, QPrinter &) override { fail("print dialog"); }
    bool printerSetup(QWidget *, QPrinter &) override { fail("printer setup"); }
    int execModal(QDialog &) override { fail("modal dialog"); }
    bool openUrl(const QUrl &) override { fail("desktop open"); }
    bool startDetached(const QString &, const QStringList &) override { fail("program start"); }
};

double msSince(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    const size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

bool readAndIconv(const QString &path, std::vector<char> &out)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return false;
    const QByteArray bytes = f.readAll();
    iconv_t cd = iconv_open("UTF-8", "CP932");
    if (cd == iconv_t(-1))
        return false;
    out.resize(size_t(bytes.size()) * 3 / 2 + 16);
    char *in = const_cast<char *>(bytes.constData());
    size_t inLeft = size_t(bytes.size());
    char *o = out.data();
    size_t outLeft = out.size();
    const bool ok = iconv(cd, &in, &inLeft, &o, &outLeft) != size_t(-1);
    iconv_close(cd);
    return ok;
}

bool bareSave(const QByteArray &dir, const QByteArray &bytes)
{
    const QByteArray tmp = dir + "/bare.tmp", path = dir + "/bare.txt";
    const int fd = ::open(tmp.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    const char *p = bytes.constData();
    qsizetype left = bytes.size();
    while (fd >= 0 && left > 0) {
        const ssize_t n = ::write(fd, p, size_t(left));
        if (n <= 0)
            break;
        p += n;
        left -= n;
    }
    return fd >= 0 && left == 0 && ::fsync(fd) == 0 && ::close(fd) == 0 && ::rename(tmp.constData(), path.constData()) == 0;
}

} // namespace

int main(int argc, char **argv)
{
    int runs = 11;
    QString dirArg;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--runs") == 0 && i + 1 < argc)
            runs = std::max(1, std::atoi(argv[++i]));
        else if (std::strcmp(argv[i], "--dir") == 0 && i + 1 < argc)
            dirArg = QString::fromLocal8Bit(argv[++i]);
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");

    // A private home and settings folder, so the user's own settings are neither read nor written.
    QTemporaryDir tmp(dirArg.isEmpty() ? QDir::tempPath() + QStringLiteral("/bench_document-XXXXXX")
                                       : dirArg + QStringLiteral("/bench_document-XXXXXX"));
    if (!tmp.isValid()) {
        std::fprintf(stderr, "cannot create a work folder\n");
        return 1;
    }
    qputenv("HOME", QFile::encodeName(tmp.path()));
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(tmp.path() + QStringLiteral("/config")));

    QApplication qapp(argc, argv);
    NoPrompts noPrompts;
    zv::Dialogs::install(&noPrompts);
    zv::Application app;
    app.setTitle(QStringLiteral("無題 - Zuvelo PGP"));

    const QByteArray sample = zv::bench::sampleCp932(kSampleBytes);
    const QString path = tmp.path() + QStringLiteral("/sample.txt");
    {
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly) || f.write(sample) != sample.size()) {
            std::fprintf(stderr, "cannot write the sample\n");
            return 1;
        }
    }

    TfrmMain window;
    // Warm-up: the codec's tables and the editor's first layout are not what is measured.
    if (!window.FileOpenByName(path))
        return 1;
    QCoreApplication::processEvents();
    std::vector<char> converted;
    if (!readAndIconv(path, converted)) {
        std::fprintf(stderr, "iconv cannot convert the sample\n");
        return 1;
    }
    std::printf("sample: %lld bytes of CP932, %d characters in the editor; %d runs\n",
                static_cast<long long>(sample.size()), window.Memo->textLength(), runs);

    std::vector<double> open, openBase, save, saveBase, readDecode, encode;
    const QByteArray dir = QFile::encodeName(tmp.path());
    for (int r = 0; r < runs; ++r) {
        auto t = std::chrono::steady_clock::now();
        if (!window.FileOpenByName(path))
            return 1;
        QCoreApplication::processEvents();
        app.runIdle();
        open.push_back(msSince(t));

        t = std::chrono::steady_clock::now();
        if (!readAndIconv(path, converted))
            return 1;
        openBase.push_back(msSince(t));

        // Where the time goes: the file layer alone, without the editor.
        t = std::chrono::steady_clock::now();
        const zv::DecodedText decoded = zv::readDocumentFile(path);
        readDecode.push_back(msSince(t));
        t = std::chrono::steady_clock::now();
        const zv::EncodeResult encoded = zv::encodeCp932(window.Memo->plainText(), decoded.lineBreaks);
        encode.push_back(msSince(t));
        if (!encoded.ok || encoded.bytes.size() != sample.size())
            return 1;

        t = std::chrono::steady_clock::now();
        window.FileSaveClick();
        save.push_back(msSince(t));
        if (window.Memo->modified())
            return 1;

        t = std::chrono::steady_clock::now();
        if (!bareSave(dir, sample))
            return 1;
        saveBase.push_back(msSince(t));
    }
    {
        QFile f(path);
        if (!f.open(QIODevice::ReadOnly) || f.readAll() != sample) {
            std::fprintf(stderr, "the saved file differs from the sample\n");
            return 1;
        }
    }

    const double o = median(open), ob = median(openBase), s = median(save), sb = median(saveBase);
    std::printf("\nmedians over 4 MB (wall-clock):\n");
    std::printf("open   window %8.2f ms   read + iconv CP932->UTF-8   %8.2f ms   ratio %.2f\n", o, ob, o / ob);
    std::printf("save   window %8.2f ms   write + fsync + rename      %8.2f ms   ratio %.2f\n", s, sb, s / sb);
    std::printf("of which: read + decode %.2f ms (the rest of opening is the editor taking the text);\n"
                "          editor text + encode %.2f ms\n",
                median(readDecode), median(encode));
    return 0;
}
