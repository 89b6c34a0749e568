#include "analysis/flood_fill.h"

#include <cstdlib>

#include "analysis/directions.h"
#include "diagnostics/message_report.h"
#include "image/buffer.h"

namespace lumeray {
namespace {

// A channel is similar when it is within 1/8 of the start pixel's.
constexpr int kSimilarityShift = 3;
// The cancel flag is polled once per this many painted pixels.
constexpr uint32_t kCancelPollInterval = 65536;
// The four neighbours in visiting order: directions 0, 2, 4 and 6 of the search.
constexpr int kNeighbourDirections[] = {0, 2, 4, 6};

struct PendingPixel {
  int32_t x;
  int32_t y;
};

bool Similar(uint32_t value, uint32_t start) {
  return std::llabs(int64_t{value} - int64_t{start}) <= int64_t{start >> kSimilarityShift};
}

class PendingStack {
 public:
  ~PendingStack() { DeallocateBuffer(&buffer_); }
  // 0, or the allocator's code.
  int Push(int32_t x, int32_t y) {
    if ((uint64_t{count_} + 1) * sizeof(PendingPixel) > buffer_.size) {
      const uint64_t grown = (uint64_t{count_} + kFloodFillGrowth) * sizeof(PendingPixel);
      if (int error = ReallocateBufferPreserveContents(grown, &buffer_)) return error;
    }
    static_cast<PendingPixel*>(buffer_.data)[count_++] = {x, y};
    return 0;
  }
  bool Pop(PendingPixel* pixel) {
    if (count_ == 0) return false;
    *pixel = static_cast<PendingPixel*>(buffer_.data)[--count_];
    return true;
  }

 private:
  BufferDescriptor buffer_;
  uint32_t count_ = 0;
};

int ReportStackFailure(int error) {
  MessageReport report(__LINE__, kMessageUser);
  report.Report(kIconError, kTitleErrorExiting, "Unable to allocate memory for a flood fill list.");
  return error;
}

int Fill(const AnalysisPixels& pixels, int32_t x, int32_t y, CancelTest cancelled) {
  uint32_t r0, g0, b0;
  pixels.ReadColour(x, y, &r0, &g0, &b0);
  PendingStack stack;
  pixels.Unselect(x, y);
  if (int error = stack.Push(x, y)) return ReportStackFailure(error);
  uint32_t painted = 1;
  PendingPixel p;
  while (stack.Pop(&p)) {
    for (int direction : kNeighbourDirections) {
      const int32_t nx = p.x + kDirections[direction].dx, ny = p.y + kDirections[direction].dy;
      if (!pixels.Contains(nx, ny) || pixels.AlphaAt(nx, ny) == 0 || pixels.MaskAt(nx, ny) == 0) {
        continue;
      }
      uint32_t r, g, b;
      pixels.ReadColour(nx, ny, &r, &g, &b);
      if (!Similar(r, r0) || !Similar(g, g0) || !Similar(b, b0)) continue;
      pixels.Unselect(nx, ny);
      if (int error = stack.Push(nx, ny)) return ReportStackFailure(error);
      if (++painted % kCancelPollInterval == 0 && cancelled != nullptr && cancelled()) return 0;
    }
  }
  return 0;
}

}  // namespace

int FloodFillFlatArea(const AnalysisPixels& pixels, int32_t x, int32_t y, platform::Mutex* mutex,
                      CancelTest cancelled) {
  const platform::WaitStatus status = platform::WaitForObject(*mutex, platform::kInfinite).status;
  if (status != platform::WaitStatus::kSignaled && status != platform::WaitStatus::kAbandoned) {
    MessageReport report(__LINE__, kMessageDebug);
    report.Report(kIconError, kTitleDebugUnexpectedError,
                  "Could not take the flood fill mutex; the flat area stays in the search.");
    return 0;
  }
  const int result = Fill(pixels, x, y, cancelled);
  mutex->Release();
  return result;
}

}  // namespace lumeray
