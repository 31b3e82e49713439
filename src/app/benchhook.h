#pragma once
// The benchmark's probe into the real program (make bench), kept apart from the entry point.

namespace zv {

// Active only with ZV_BENCH_EXIT_AFTER_PAINT=1: once the editor has painted for the first time, prints the
// monotonic clock (the benchmark subtracts its launch time) and the peak RSS to stderr and ends the process
// at once. Nothing else changes. Call after the application object exists.
void installBenchmarkHook();

} // namespace zv
