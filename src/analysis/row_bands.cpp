#include "analysis/row_bands.h"

#include <algorithm>
#include <memory>
#include <vector>

#include "analysis/worker_threads.h"
#include "platform/thread.h"

namespace lumeray {
namespace {

struct Band {
  RowBandRoutine routine;
  void* context;
  int32_t top;
  int32_t bottom;
};

uint32_t RunBand(void* argument) {
  const auto* band = static_cast<const Band*>(argument);
  band->routine(band->context, band->top, band->bottom);
  return 0;
}

}  // namespace

void RunInRowBands(int32_t top, int32_t bottom, int threadCount, RowBandRoutine routine,
                   void* context) {
  const int count = std::clamp(threadCount, 1, kMaximumWorkerThreads);
  const int32_t height = (bottom - top) / count;
  std::vector<Band> bands;
  for (int i = 0; i < count; ++i) {
    const int32_t bandTop = top + i * height;
    bands.push_back({routine, context, bandTop, i == count - 1 ? bottom : bandTop + height});
  }
  std::vector<std::unique_ptr<platform::Thread>> threads;
  for (int i = 1; i < count; ++i) {
    platform::Thread* thread = platform::Thread::Start(RunBand, &bands[i]);
    if (thread != nullptr) {
      threads.emplace_back(thread);
    } else {
      RunBand(&bands[i]);
    }
  }
  RunBand(&bands[0]);
  for (const std::unique_ptr<platform::Thread>& thread : threads) {
    platform::WaitForObject(*thread, platform::kInfinite);
  }
}

}  // namespace lumeray
