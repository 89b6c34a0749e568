#include "preview/host_proxy_image.h"

#include <array>
#include <atomic>
#include <cmath>
#include <mutex>

#include "color/color_management.h"
#include "color/display_profiles.h"
#include "diagnostics/message_report.h"
#include "image/image_create.h"
#include "image/image_ops.h"
#include "interface/filter_interface.h"
#include "preview/convert_image_region.h"
#include "preview/preview_run_state.h"
#include "run/input_image.h"
#include "run/run_status.h"

namespace lumeray {
namespace {

constexpr int kLastLevel = kHostProxyLevels - 1;
constexpr int kQuarterShift = 2;  // a 2 x 2 block adds each value divided by 4

void AdvanceProgress(const HostProxyBuildOptions& options, uint32_t levels) {
  if (options.progress != nullptr) options.progress(options.progressContext, levels);
}

bool CreateLevelImage(HostProxyLevel* level, const ImageRect& bounds, int32_t mode,
                      ProfileHandle profile, RunStatus& status) {
  int result = kNoErr;
  if (!CreateImage(&level->image, bounds, bounds, mode, profile, /*withMask=*/false,
                   /*edgeSafe=*/false, &result)) {
    status.SetResult(static_cast<int16_t>(result));
    return false;
  }
  return true;
}

// The five values of a WorkingPixel, for sums over a block.
uint32_t* Values(WorkingPixel* pixel) {
  return &pixel->red;
}
constexpr int kPixelValues = 5;
static_assert(sizeof(WorkingPixel) == kPixelValues * sizeof(uint32_t));

void AverageBlock(const ImageRecord& source, int32_t left, int32_t top, int32_t width,
                  int32_t height, WorkingPixel* mean) {
  WorkingPixel pixel{};
  if (width == 2 && height == 2) {
    *mean = WorkingPixel{};
    for (int32_t y = top; y < top + 2; ++y) {
      for (int32_t x = left; x < left + 2; ++x) {
        source.fetch(&source, &pixel, x, y);
        for (int i = 0; i < kPixelValues; ++i)
          Values(mean)[i] += Values(&pixel)[i] >> kQuarterShift;
      }
    }
    return;
  }
  uint64_t sums[kPixelValues] = {};
  for (int32_t y = top; y < top + height; ++y) {
    for (int32_t x = left; x < left + width; ++x) {
      source.fetch(&source, &pixel, x, y);
      for (int i = 0; i < kPixelValues; ++i) sums[i] += Values(&pixel)[i];
    }
  }
  const uint64_t count = static_cast<uint64_t>(width) * static_cast<uint64_t>(height);
  for (int i = 0; i < kPixelValues; ++i) Values(mean)[i] = static_cast<uint32_t>(sums[i] / count);
}

bool AbortRequested(const void* status) {
  return static_cast<const RunStatus*>(status)->AbortRequested();
}

}  // namespace

bool BuildHostProxyImage(HostProxyPyramid& pyramid, const HostProxyBuildOptions& options) {
  RunState& run = *pyramid.run;
  if (run.status.AbortRequested()) return false;
  if (HostProxyImageRendered(pyramid)) {
    AdvanceProgress(options, kHostProxyLevels);
    return true;
  }

  const ImageRecord& input = run.inputImage;
  if (!ImageHoldsPixels(input)) return false;
  const int32_t mode = options.sixteenBit ? kImageModeRgb16 : kImageModeRgb8;
  const ProfileHandle profile = GetDisplayProfile(run.profiles.standard);

  HostProxyLevel& base = pyramid.levels[0];
  if (!CreateLevelImage(&base, input.bounds, mode, profile, run.status)) return false;
  if (!ConvertImageRegion(input, input.bounds, &base.image, input.bounds, &run.status)) {
    return false;
  }
  LinearizeImage(&base.image);
  base.scale = {1.0, 1.0};
  AdvanceProgress(options, 1);

  for (int level = 1; level < kHostProxyLevels; ++level) {
    HostProxyLevel& current = pyramid.levels[static_cast<size_t>(level)];
    const ImageRect bounds = ProxyLevelBounds(input.bounds, level);
    if (!CreateLevelImage(&current, bounds, mode, profile, run.status)) return false;
    if (!SetImageProfile(&current.image, profile, kLinearGamma)) return false;
    current.scale = {static_cast<double>(current.image.boundsWidth) / input.boundsWidth,
                     static_cast<double>(current.image.boundsHeight) / input.boundsHeight};
    if (!Resample(pyramid.levels[static_cast<size_t>(level) - 1].image, &current.image,
                  &AbortRequested, &run.status)) {
      return false;
    }
    AdvanceProgress(options, 1);
  }
  pyramid.rendered.store(true, std::memory_order_release);
  return true;
}

bool GetHostProxyImageInfo(const HostProxyPyramid& pyramid, ImageRecord* image, ProxyScale* scale) {
  if (!HostProxyImageRendered(pyramid)) {
    MessageReport report(__LINE__, kMessageDebug);
    report.Report(kIconError, kTitleDebugUnexpectedError1,
                  "GetHostProxyImageInfo() called before HostProxyImage rendered.");
    return false;
  }
  if (image == nullptr || scale == nullptr) {
    MessageReport report(__LINE__, kMessageDebug);
    report.Report(kIconError, kTitleDebugUnexpectedError1,
                  "Some boneheaded programmer passed a NULL pointer to GetHostProxyImageInfo().");
    return false;
  }
  int chosen = kLastLevel;
  for (int level = 0; level < kLastLevel; ++level) {
    const ProxyScale& next = pyramid.levels[static_cast<size_t>(level) + 1].scale;
    if (next.x < scale->x || next.y < scale->y) {
      chosen = level;
      break;
    }
  }
  *image = pyramid.levels[static_cast<size_t>(chosen)].image;
  *scale = pyramid.levels[static_cast<size_t>(chosen)].scale;
  return true;
}

bool HostProxyImageRendered(const HostProxyPyramid& pyramid) {
  return pyramid.rendered.load(std::memory_order_acquire);
}

void InvalidateHostProxyImage(HostProxyPyramid& pyramid) {
  pyramid.rendered.store(false, std::memory_order_release);
}

void HandInPreviewSnapshot(HostProxyPyramid& pyramid, const ParameterSetBuffer& snapshot) {
  std::lock_guard lock(pyramid.snapshotLock);
  if (snapshot.view.monitor != pyramid.currentSnapshot.view.monitor)
    InvalidateHostProxyImage(pyramid);
  pyramid.currentSnapshot = snapshot;
}

ParameterSetBuffer CurrentPreviewSnapshot(HostProxyPyramid& pyramid) {
  std::lock_guard lock(pyramid.snapshotLock);
  return pyramid.currentSnapshot;
}

const ImageRecord& HostProxyLevelImage(const HostProxyPyramid& pyramid, int level) {
  return pyramid.levels[static_cast<size_t>(level)].image;
}

ProxyScale HostProxyLevelScale(const HostProxyPyramid& pyramid, int level) {
  return pyramid.levels[static_cast<size_t>(level)].scale;
}

ImageRect ProxyLevelBounds(const ImageRect& bounds, int level) {
  const double divisor = std::ldexp(1.0, level);
  const auto scaled = [divisor](int32_t coordinate) {
    return static_cast<int32_t>(std::trunc(coordinate / divisor + kLevelBoundsEpsilon));
  };
  ImageRect result{scaled(bounds.left), scaled(bounds.top), scaled(bounds.right),
                   scaled(bounds.bottom)};
  if (result.right <= result.left) result.right = result.left + 1;
  if (result.bottom <= result.top) result.bottom = result.top + 1;
  return result;
}

bool Resample(const ImageRecord& source, ImageRecord* destination, AbortPoll abort,
              const void* abortContext) {
  const ImageRect& from = source.bounds;
  const ImageRect& to = destination->bounds;
  const int64_t sourceWidth = source.boundsWidth;
  const int64_t sourceHeight = source.boundsHeight;
  const int64_t width = destination->boundsWidth;
  const int64_t height = destination->boundsHeight;
  if (sourceWidth <= 0 || sourceHeight <= 0 || width <= 0 || height <= 0) return false;

  const bool copy = from.left == to.left && from.top == to.top && from.right == to.right &&
                    from.bottom == to.bottom;
  const int32_t blockWidth = copy ? 1 : static_cast<int32_t>((sourceWidth + width - 1) / width);
  const int32_t blockHeight = copy ? 1 : static_cast<int32_t>((sourceHeight + height - 1) / height);

  WorkingPixel mean{};
  for (int64_t y = 0; y < height; ++y) {
    const auto top = static_cast<int32_t>(from.top + y * sourceHeight / height);
    for (int64_t x = 0; x < width; ++x) {
      const auto left = static_cast<int32_t>(from.left + x * sourceWidth / width);
      if (copy) {
        source.fetch(&source, &mean, left, top);
      } else {
        AverageBlock(source, left, top, blockWidth, blockHeight, &mean);
      }
      destination->store(destination, &mean, static_cast<int32_t>(to.left + x),
                         static_cast<int32_t>(to.top + y));
    }
    if (abort != nullptr && abort(abortContext)) return false;
  }
  return true;
}

void ReleaseHostProxyImage(HostProxyPyramid& pyramid) {
  InvalidateHostProxyImage(pyramid);
  for (HostProxyLevel& level : pyramid.levels) {
    ReleaseImage(&level.image);
    level.scale = {1.0, 1.0};
  }
}

}  // namespace lumeray
