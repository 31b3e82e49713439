// Text-file layer benchmarks on a 4 MB Japanese CP932 text: decode and encode against the system's
// iconv, the byte count of the status bar, and saving against a bare write + fsync + rename of the same
// bytes. Each pair is measured in the same run; medians and ratios are printed at the end.
//
//   bench_codec [--save-dir DIR] [--write-sample FILE] [Google Benchmark flags]

#include "platform/textcodec.h"
#include "platform/textfile.h"
#include "sample_text.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <iconv.h>
#include <map>
#include <string>
#include <unistd.h>

namespace {

constexpr qsizetype kSampleBytes = 4 * 1024 * 1024;

QByteArray g_sample;     // CP932 bytes
QString g_text;          // the same, decoded
QString g_saveDir;

class Iconv {
public:
    Iconv(const char *to, const char *from) : m_cd(iconv_open(to, from)) {}
    ~Iconv() { iconv_close(m_cd); }
    // Converts in into out (large enough); returns the bytes written or -1.
    qsizetype convert(const char *in, size_t inLength, char *out, size_t outLength)
    {
        iconv(m_cd, nullptr, nullptr, nullptr, nullptr);
        char *ip = const_cast<char *>(in);
        char *op = out;
        const size_t room = outLength;
        if (iconv(m_cd, &ip, &inLength, &op, &outLength) == size_t(-1))
            return -1;
        return qsizetype(room - outLength);
    }

private:
    iconv_t m_cd;
};

void decodeOurs(benchmark::State &state)
{
    for (auto _ : state) {
        zv::DecodedText d = zv::decodeCp932(g_sample);
        benchmark::DoNotOptimize(d.text.constData());
    }
    state.SetBytesProcessed(state.iterations() * g_sample.size());
}

void decodeIconv(benchmark::State &state)
{
    Iconv cd("UTF-16LE", "CP932");
    std::vector<char> out(size_t(g_sample.size()) * 2);
    for (auto _ : state) {
        const qsizetype n = cd.convert(g_sample.constData(), size_t(g_sample.size()), out.data(), out.size());
        if (n < 0)
            state.SkipWithError("iconv failed");
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(state.iterations() * g_sample.size());
}

void encodeOurs(benchmark::State &state)
{
    for (auto _ : state) {
        zv::EncodeResult r = zv::encodeCp932(g_text, zv::LineBreakStyle::CrLf);
        benchmark::DoNotOptimize(r.bytes.constData());
    }
    state.SetBytesProcessed(state.iterations() * g_sample.size());
}

void encodeIconv(benchmark::State &state)
{
    // iconv gets the text with its CR LF breaks already in place.
    const QString crlf = QString(g_text).replace(u'\n', QStringLiteral("\r\n"));
    Iconv cd("CP932", "UTF-16LE");
    std::vector<char> out(size_t(crlf.size()) * 2);
    for (auto _ : state) {
        const qsizetype n = cd.convert(reinterpret_cast<const char *>(crlf.utf16()), size_t(crlf.size()) * 2,
                                       out.data(), out.size());
        if (n < 0)
            state.SkipWithError("iconv failed");
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(state.iterations() * g_sample.size());
}

void byteCount(benchmark::State &state)
{
    for (auto _ : state)
        benchmark::DoNotOptimize(zv::cp932Size(g_text, zv::LineBreakStyle::CrLf));
    state.SetBytesProcessed(state.iterations() * g_sample.size());
}

void saveOurs(benchmark::State &state)
{
    const QString path = g_saveDir + QStringLiteral("/ours.txt");
    for (auto _ : state)
        zv::saveDocumentFile(path, g_sample);
    state.SetBytesProcessed(state.iterations() * g_sample.size());
}

void saveBare(benchmark::State &state)
{
    const QByteArray tmp = QFile::encodeName(g_saveDir + QStringLiteral("/bare.tmp"));
    const QByteArray path = QFile::encodeName(g_saveDir + QStringLiteral("/bare.txt"));
    for (auto _ : state) {
        const int fd = ::open(tmp.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        const char *p = g_sample.constData();
        qsizetype left = g_sample.size();
        while (fd >= 0 && left > 0) {
            const ssize_t n = ::write(fd, p, size_t(left));
            if (n <= 0)
                break;
            p += n;
            left -= n;
        }
        if (fd < 0 || left != 0 || ::fsync(fd) != 0 || ::close(fd) != 0 || ::rename(tmp.constData(), path.constData()) != 0)
            state.SkipWithError("bare save failed");
    }
    state.SetBytesProcessed(state.iterations() * g_sample.size());
}

// Prints the usual table and keeps the medians for the ratios.
class MedianReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run> &runs) override
    {
        for (const Run &run : runs) {
            if (run.run_type == Run::RT_Aggregate && run.aggregate_name == "median" && !run.error_occurred) {
                realMedians[run.run_name.function_name] = run.GetAdjustedRealTime();
                cpuMedians[run.run_name.function_name] = run.GetAdjustedCPUTime();
            }
        }
        ConsoleReporter::ReportRuns(runs);
    }
    std::map<std::string, double> realMedians; // milliseconds
    std::map<std::string, double> cpuMedians;
};

double millisecondsOf(void (*f)())
{
    const auto start = std::chrono::steady_clock::now();
    f();
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

} // namespace

int main(int argc, char **argv)
{
    // Our own options first; the rest goes to Google Benchmark.
    std::vector<char *> args{argv[0]};
    QString saveDir, sampleFile;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--save-dir") == 0 && i + 1 < argc)
            saveDir = QString::fromLocal8Bit(argv[++i]);
        else if (std::strcmp(argv[i], "--write-sample") == 0 && i + 1 < argc)
            sampleFile = QString::fromLocal8Bit(argv[++i]);
        else
            args.push_back(argv[i]);
    }

    g_sample = zv::bench::sampleCp932(kSampleBytes);
    if (!sampleFile.isEmpty()) {
        QFile f(sampleFile);
        if (!f.open(QIODevice::WriteOnly) || f.write(g_sample) != g_sample.size())
            return 1;
        std::printf("wrote %lld bytes to %s\n", static_cast<long long>(g_sample.size()), qPrintable(sampleFile));
        return 0;
    }

    const double firstUse = millisecondsOf([] { zv::decodeCp932(QByteArrayView("a")); });
    g_text = zv::decodeCp932(g_sample).text;
    {
        // The figures mean something only if both sides give the same result.
        Iconv cd("UTF-16LE", "CP932");
        std::vector<char> out(size_t(g_sample.size()) * 2);
        const qsizetype n = cd.convert(g_sample.constData(), size_t(g_sample.size()), out.data(), out.size());
        const QString viaIconv = QString::fromUtf16(reinterpret_cast<const char16_t *>(out.data()), n / 2)
                                     .replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
        const zv::EncodeResult back = zv::encodeCp932(g_text, zv::LineBreakStyle::CrLf);
        if (viaIconv != g_text || !back.ok || back.bytes != g_sample) {
            std::fprintf(stderr, "decode and iconv disagree on the sample\n");
            return 1;
        }
    }

    QTemporaryDir tmp(saveDir.isEmpty() ? QDir::tempPath() + QStringLiteral("/bench_codec-XXXXXX")
                                        : saveDir + QStringLiteral("/bench_codec-XXXXXX"));
    if (!tmp.isValid()) {
        std::fprintf(stderr, "cannot create a folder for the save benchmark\n");
        return 1;
    }
    g_saveDir = tmp.path();

    std::printf("sample: %lld bytes of CP932 (%lld characters); tables generated on first use in %.1f ms\n"
                "save folder: %s\n",
                static_cast<long long>(g_sample.size()), static_cast<long long>(g_text.size()), firstUse,
                qPrintable(g_saveDir));

    // The conversions are measured in CPU time (the machine may be busy with other work), saving in
    // wall-clock time (it waits for the disk).
    auto add = [](const char *name, void (*f)(benchmark::State &)) {
        auto *b = benchmark::RegisterBenchmark(name, f)
                      ->Unit(benchmark::kMillisecond)
                      ->MinTime(0.2)
                      ->Repetitions(std::strncmp(name, "save", 4) == 0 ? 15 : 9)
                      ->ReportAggregatesOnly(true);
        if (std::strncmp(name, "save", 4) == 0)
            b->UseRealTime();
    };
    add("decode/ours", decodeOurs);
    add("decode/iconv", decodeIconv);
    add("encode/ours", encodeOurs);
    add("encode/iconv", encodeIconv);
    add("bytecount/ours", byteCount);
    add("save/ours", saveOurs);
    add("save/write+fsync+rename", saveBare);

    // Repetitions of the benchmarks interleaved, so that a pair sees the same machine load.
    static char interleave[] = "--benchmark_enable_random_interleaving=true";
    if (std::none_of(args.begin() + 1, args.end(),
                     [](const char *a) { return std::strncmp(a, "--benchmark_enable_random_interleaving", 38) == 0; }))
        args.insert(args.begin() + 1, interleave);
    int n = int(args.size());
    benchmark::Initialize(&n, args.data());
    MedianReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();

    auto ratio = [&](const char *what, const std::map<std::string, double> &medians, const char *ours,
                     const char *base, const char *note) {
        const auto a = medians.find(ours), b = medians.find(base);
        if (a == medians.end() || b == medians.end())
            return;
        std::printf("%-7s ours %8.2f ms   %-23s %8.2f ms   ratio %.2f%s\n", what, a->second, base, b->second,
                    a->second / b->second, note);
    };
    std::printf("\nmedians over 4 MB:\n");
    ratio("decode", reporter.cpuMedians, "decode/ours", "decode/iconv", "  (CPU time; goal: at most 1.5)");
    ratio("encode", reporter.cpuMedians, "encode/ours", "encode/iconv", "  (CPU time)");
    ratio("save", reporter.realMedians, "save/ours", "save/write+fsync+rename", "  (wall-clock time)");
    if (const auto c = reporter.cpuMedians.find("bytecount/ours"); c != reporter.cpuMedians.end())
        std::printf("byte count of the whole text: %.2f ms (CPU time)\n", c->second);
    return 0;
}
