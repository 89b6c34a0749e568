// Kernels of the run's foundation: counted buffers (per-band and per-frame requests that must
// not touch the heap when the size does not grow) and message reporting into the log queue.
#include <benchmark/benchmark.h>

#include "diagnostics/debug_log.h"
#include "diagnostics/message_report.h"
#include "image/buffer.h"

namespace lumeray {
namespace {

void BM_ReallocateBufferSameSize(benchmark::State& state) {
  BufferDescriptor d;
  ReallocateBuffer(static_cast<uint64_t>(state.range(0)), &d);
  for (auto _ : state) {
    benchmark::DoNotOptimize(ReallocateBuffer(static_cast<uint64_t>(state.range(0)), &d));
  }
  DeallocateBuffer(&d);
}
BENCHMARK(BM_ReallocateBufferSameSize)->Arg(1 << 20);

void BM_AllocateAndFree(benchmark::State& state) {
  for (auto _ : state) {
    BufferDescriptor d;
    ReallocateBuffer(static_cast<uint64_t>(state.range(0)), &d);
    benchmark::DoNotOptimize(d.data);
    DeallocateBuffer(&d);
  }
}
BENCHMARK(BM_AllocateAndFree)->Arg(4096)->Arg(64 << 20);

void BM_TraceReportDiscarded(benchmark::State& state) {
  InitializeMessageReporting("Lumeray Pro 2", 0);
  OpenDebugLog(kLoggingDiscard);
  for (auto _ : state) {
    MessageReport report(__LINE__, kMessageTrace);
    report.Report("ReportBufferUsage(): Current Usage = %d, Peak Usage = %d\n", 1234, 5678);
  }
  CloseDebugLog();
  TerminateMessageReporting();
}
BENCHMARK(BM_TraceReportDiscarded);

}  // namespace
}  // namespace lumeray
