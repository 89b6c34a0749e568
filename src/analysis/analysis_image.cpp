#include "analysis/analysis_image.h"

#include <algorithm>
#include <atomic>
#include <new>
#include <numeric>
#include <vector>

#include "analysis/row_bands.h"
#include "color/color_conversion.h"
#include "image/image_create.h"
#include "image/image_ops.h"
#include "image/pixel_converters.h"

namespace lumeray {
namespace {

constexpr int kParameterError = -50;
constexpr int kOutOfMemory = -108;
// Added before truncating the reduced rectangle, so that exact quotients are kept.
constexpr double kReductionEpsilon = 1e-10;
// The largest value a field may take; kLeaveUnchanged would make the store skip it.
constexpr uint32_t kLargestField = 0xFFFFFFFEu;

int32_t Reduce(int32_t coordinate, double scale) {
  return static_cast<int32_t>(coordinate / scale + kReductionEpsilon);
}

bool SameRect(const ImageRect& a, const ImageRect& b) {
  return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

WorkingPixel Storable(const WorkingPixel& p) {
  return {std::min(p.red, kLargestField), std::min(p.green, kLargestField),
          std::min(p.blue, kLargestField), std::min(p.alpha, kLargestField),
          std::min(p.mask, kLargestField)};
}

struct CopyJob {
  const ImageRecord* source;
  const ImageRecord* target;
  CancelTest cancelled;
  RowBandRoutine copy = nullptr;
  const ColorTransform* toLinear = nullptr;
  std::atomic<bool> outOfMemory{false};
};

bool Cancelled(CancelTest cancelled) {
  return cancelled != nullptr && cancelled();
}

// A band's working rows; a band that cannot have them marks the job out of memory.
template <class T>
bool Allocate(CopyJob* job, std::vector<T>* buffer, int64_t size) {
  try {
    buffer->resize(static_cast<size_t>(size));
    return true;
  } catch (const std::bad_alloc&) {
    job->outOfMemory.store(true);
    return false;
  }
}

void CopyRows(void* context, int32_t top, int32_t bottom) {
  auto* job = static_cast<CopyJob*>(context);
  const ImageRect& rect = job->target->dataRect;
  const int32_t width = rect.right - rect.left;
  std::vector<WorkingPixel> row;
  if (!Allocate(job, &row, width)) return;
  for (int32_t y = top; y < bottom; ++y) {
    FetchPixelRow(*job->source, rect.left, y, width, row.data());
    for (WorkingPixel& p : row) p = Storable(p);
    StorePixelRow(*job->target, row.data(), rect.left, y, width);
    if (Cancelled(job->cancelled)) return;
  }
}

// sum / count, rounded down, for a sum of `count` fields (each below 2^32; 0 for no fields).
// Below kExactQuotientCount fields the quotient in double is exact after truncation: the sum
// and count convert exactly (sum < 2^52), and when the true quotient is q + r / count with
// 0 < r < count, its rounding error (at most 2^32 * 2^-53 = 2^-21) cannot carry it up to
// q + 1, which is at least 1 / count > 2^-21 away; r = 0 gives q exactly. A 64-bit integer
// division takes several times as long.
inline uint32_t Mean(uint64_t sum, uint64_t count) {
  constexpr uint64_t kExactQuotientCount = uint64_t{1} << 20;
  if (count == 0) return 0;
  if (count >= kExactQuotientCount) return static_cast<uint32_t>(sum / count);
  return static_cast<uint32_t>(static_cast<double>(sum) / static_cast<double>(count));
}

// Each source row is fetched once per band: the bh rows the current block row covers are kept,
// decoded, in a ring (row r in slot r mod bh; the rows of one block row are consecutive, so
// they never share a slot).
void ReduceRows(void* context, int32_t top, int32_t bottom) {
  auto* job = static_cast<CopyJob*>(context);
  const ImageRecord& source = *job->source;
  const ImageRect& s = source.dataRect;
  const ImageRect& a = job->target->dataRect;
  const int64_t sw = int64_t{s.right} - s.left, sh = int64_t{s.bottom} - s.top;
  const int64_t aw = int64_t{a.right} - a.left, ah = int64_t{a.bottom} - a.top;
  const int64_t bw = (sw + aw - 1) / aw, bh = (sh + ah - 1) / ah;
  std::vector<WorkingPixel> ring, means;
  std::vector<int64_t> held;
  std::vector<const WorkingPixel*> window;
  if (!Allocate(job, &ring, bh * sw) || !Allocate(job, &held, bh) || !Allocate(job, &window, bh) ||
      !Allocate(job, &means, aw)) {
    return;
  }
  std::fill(held.begin(), held.end(), int64_t{-1});
  for (int32_t y = top; y < bottom; ++y) {
    const int64_t y0 = s.top + (y - a.top) * sh / ah;
    const int64_t y1 = std::min<int64_t>(y0 + bh, s.bottom);
    for (int64_t sy = y0; sy < y1; ++sy) {
      const int64_t slot = (sy - s.top) % bh;
      WorkingPixel* row = ring.data() + slot * sw;
      if (held[slot] != sy) {
        FetchPixelRow(source, s.left, static_cast<int32_t>(sy), static_cast<int32_t>(sw), row);
        held[slot] = sy;
      }
      window[sy - y0] = row;
    }
    for (int64_t x = 0; x < aw; ++x) {
      const int64_t x0 = x * sw / aw;
      const int64_t x1 = std::min(x0 + bw, sw);
      uint64_t sum[5] = {};
      for (int64_t r = 0; r < y1 - y0; ++r) {
        for (const WorkingPixel* p = window[r] + x0; p != window[r] + x1; ++p) {
          sum[0] += p->red;
          sum[1] += p->green;
          sum[2] += p->blue;
          sum[3] += p->alpha;
          sum[4] += p->mask;
        }
      }
      const auto count = static_cast<uint64_t>((y1 - y0) * (x1 - x0));
      means[x] = Storable({Mean(sum[0], count), Mean(sum[1], count), Mean(sum[2], count),
                           Mean(sum[3], count), Mean(sum[4], count)});
    }
    StorePixelRow(*job->target, means.data(), a.left, y, static_cast<int32_t>(aw));
    if (Cancelled(job->cancelled)) return;
  }
}

// Copies or reduces a band of the analysis image's rows, then converts them to the linear working
// profile while they are still in cache: each band worker converts its own rows.
void CopyAndConvertRows(void* context, int32_t top, int32_t bottom) {
  const auto* job = static_cast<const CopyJob*>(context);
  job->copy(context, top, bottom);
  if (job->outOfMemory.load() || Cancelled(job->cancelled)) return;
  ConvertColorRows(*job->toLinear, const_cast<ImageRecord*>(job->target), top, bottom);
}

}  // namespace

double ReducedPosition(double analysisPosition, int64_t analysisSize, int64_t sourceOrigin,
                       int64_t sourceEnd) {
  const int64_t sourceSize = sourceEnd - sourceOrigin;
  const int64_t block = (sourceSize + analysisSize - 1) / analysisSize;
  // Block i starts at i * p / q (p / q the ratio in lowest terms), behind i * p / q by its
  // fractional part, whose values k / q (k = 0..q-1) come equally often over the image.
  const int64_t period = analysisSize / std::gcd(sourceSize, analysisSize);
  const double lag = static_cast<double>(period - 1) / (2.0 * static_cast<double>(period));
  const double step = static_cast<double>(sourceSize) / static_cast<double>(analysisSize);
  return static_cast<double>(sourceOrigin) + analysisPosition * step - lag +
         static_cast<double>(block - 1) / 2.0;
}

AnalysisGeometry ComputeAnalysisGeometry(const ImageRect& sourceRect) {
  const int64_t longer = std::max(int64_t{sourceRect.right} - sourceRect.left,
                                  int64_t{sourceRect.bottom} - sourceRect.top);
  AnalysisGeometry g{1.0, {}};
  if (longer > kAnalysisLongestSide) g.scale = static_cast<double>(longer) / kAnalysisLongestSide;
  g.rect = {Reduce(sourceRect.left, g.scale), Reduce(sourceRect.top, g.scale),
            Reduce(sourceRect.right, g.scale), Reduce(sourceRect.bottom, g.scale)};
  if (g.rect.right <= g.rect.left) g.rect.right = g.rect.left + 1;
  if (g.rect.bottom <= g.rect.top) g.rect.bottom = g.rect.top + 1;
  return g;
}

int BuildAnalysisImage(const ImageRecord& source, int threadCount, CancelTest cancelled,
                       ProfileHandle linearWorking, AnalysisImage* analysis) {
  const AnalysisGeometry geometry = ComputeAnalysisGeometry(source.dataRect);
  analysis->sourceRect = source.dataRect;
  analysis->scale = geometry.scale;
  analysis->rect = geometry.rect;
  int result = 0;
  if (!CreateImage(&analysis->image, geometry.rect, geometry.rect, kImageModeRgb16, source.profile,
                   /*withMask=*/true, /*edgeSafe=*/true, &result)) {
    return result != 0 ? result : kParameterError;
  }
  const bool empty = source.dataRect.right <= source.dataRect.left ||
                     source.dataRect.bottom <= source.dataRect.top || !ImageHoldsPixels(source);
  if (empty) {
    // Nothing to analyse: a transparent, unselected image.
    FillImage(&analysis->image, WorkingPixel{}, geometry.rect);
    return 0;
  }
  const ColorTransform toLinear = ImageConversionTransform(analysis->image, linearWorking);
  if (!toLinear) return kParameterError;
  CopyJob job{&source, &analysis->image, cancelled,
              SameRect(source.dataRect, geometry.rect) ? CopyRows : ReduceRows, &toLinear};
  RunInRowBands(geometry.rect.top, geometry.rect.bottom, threadCount, CopyAndConvertRows, &job);
  if (job.outOfMemory.load()) return kOutOfMemory;
  if (Cancelled(cancelled)) return 0;
  if (!SetImageColorProfile(&analysis->image, linearWorking, analysis->image.edgeSafe != 0)) {
    return kParameterError;
  }
  return 0;
}

void ReleaseAnalysisImage(AnalysisImage* analysis) {
  ReleaseImage(&analysis->image);
  *analysis = AnalysisImage{};
}

AnalysisPixels::AnalysisPixels(const ImageRecord& image)
    : samples_(static_cast<const uint16_t*>(image.pixels.data)),
      mask_(static_cast<uint8_t*>(image.mask.data)),
      stride_(image.dataWidth),
      rect_(image.dataRect),
      decode_(image.gammaTables.decode16),
      alpha16_(GetFixedTables().alpha16To32),
      alpha8_(GetFixedTables().alpha8To32) {}

WorkingPixel AnalysisPixels::Read(int32_t x, int32_t y) const {
  const int32_t cx = std::clamp(x, rect_.left, rect_.right - 1);
  const int32_t cy = std::clamp(y, rect_.top, rect_.bottom - 1);
  WorkingPixel p;
  ReadColour(cx, cy, &p.red, &p.green, &p.blue);
  if (cx != x || cy != y) {
    p.alpha = 0;
    p.mask = 0;
  } else {
    p.alpha = AlphaAt(x, y);
    p.mask = MaskAt(x, y);
  }
  return p;
}

}  // namespace lumeray
