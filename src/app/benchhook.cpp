#include "app/benchhook.h"
#include "app/frmMain.h"

#include <QApplication>
#include <QTimer>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <sys/resource.h>

namespace zv {

namespace {
class BenchExitAfterPaint : public QObject {
public:
    using QObject::QObject;

private:
    bool eventFilter(QObject *watched, QEvent *e) override
    {
        if (e->type() == QEvent::Paint && frmMain && watched == frmMain->Memo->viewport()) {
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
} // namespace

void installBenchmarkHook()
{
    if (qEnvironmentVariable("ZV_BENCH_EXIT_AFTER_PAINT") != QLatin1String("1") || !qApp)
        return;
    qApp->installEventFilter(new BenchExitAfterPaint(qApp));
}

} // namespace zv
