#include "color/transform_cache.h"

#include <array>
#include <memory>
#include <mutex>
#include <utility>

#include "color/color_management.h"
#include "color/color_reports.h"
#include "color/float_curve_transform.h"
#include "platform/sync.h"

namespace lumeray {
namespace {

struct TransformCacheEntry {
  cmsHTRANSFORM transform;
  ProfileHandle source;
  uint32_t sourceFormat;
  ProfileHandle destination;
  uint32_t destinationFormat;
  uint32_t valid;  // 1 once filled
  // Its FloatCurveTransform once asked for (null when it has none).
  bool floatCurvesTried;
  std::shared_ptr<const FloatCurveTransform> floatCurves;
};

struct TransformCache {
  platform::CriticalSection section;  // the TransformCacheSection
  std::array<TransformCacheEntry, kTransformCacheSize> entries{};
  // The built-in sRGB profile (as StandardProfile) that stands in for a missing profile, made
  // when first needed and closed with the cache, so that no worker needs the run's profiles.
  ProfileHandle standIn = nullptr;
};

TransformCache transformCache;

ColorTransform FindOrMakeTransform(ProfileHandle source, uint32_t sourceFormat,
                                   ProfileHandle destination, uint32_t destinationFormat,
                                   bool adaptFormats) {
  std::lock_guard lock(transformCache.section);

  TransformCacheEntry* freeEntry = nullptr;
  for (TransformCacheEntry& entry : transformCache.entries) {
    if (entry.transform == nullptr) {
      freeEntry = &entry;
      break;
    }
    if (entry.source == source && entry.sourceFormat == sourceFormat &&
        entry.destination == destination && entry.destinationFormat == destinationFormat &&
        entry.valid == 1) {
      return ColorTransform(entry.transform, true);
    }
  }

  if ((source == nullptr || destination == nullptr) && transformCache.standIn == nullptr) {
    transformCache.standIn = cmsCreate_sRGBProfile();
  }
  ProfileHandle from =
      source != nullptr && destination != nullptr ? source : transformCache.standIn;
  uint32_t fromFormat = sourceFormat;
  uint32_t toFormat = destinationFormat;
  if (adaptFormats) {
    fromFormat = AdaptFormatToProfile(sourceFormat, from);
    toFormat = AdaptFormatToProfile(destinationFormat, destination);
  }
  cmsHTRANSFORM transform = nullptr;
  if (from != nullptr && destination != nullptr) {
    transform = cmsCreateTransform(from, fromFormat, destination, toFormat, kTransformIntent,
                                   kTransformFlags);
  }
  if (transform == nullptr) {
    ReportColorFailure(__LINE__, "Could not compute color transform.");
    return {};
  }

  if (freeEntry == nullptr) {
    ReportColorFailure(__LINE__, "Transform cache table size exceeded.");
    return ColorTransform(transform, false);
  }
  *freeEntry = {transform, source, sourceFormat, destination, destinationFormat, 1, false, {}};
  return ColorTransform(transform, true);
}

}  // namespace

ColorTransform::ColorTransform(ColorTransform&& other) noexcept
    : handle_(std::exchange(other.handle_, nullptr)), cached_(other.cached_) {}

ColorTransform& ColorTransform::operator=(ColorTransform&& other) noexcept {
  if (this != &other) {
    if (handle_ != nullptr && !cached_) cmsDeleteTransform(handle_);
    handle_ = std::exchange(other.handle_, nullptr);
    cached_ = other.cached_;
  }
  return *this;
}

ColorTransform::~ColorTransform() {
  if (handle_ != nullptr && !cached_) cmsDeleteTransform(handle_);
}

ColorTransform GetColorTransform(ProfileHandle source, uint32_t sourceFormat,
                                 ProfileHandle destination, uint32_t destinationFormat) {
  return FindOrMakeTransform(source, sourceFormat, destination, destinationFormat, true);
}

ColorTransform GetSingleColorTransform(ProfileHandle source, ProfileHandle destination) {
  return FindOrMakeTransform(source, kFormatSingleColor, destination, kFormatSingleColor, false);
}

uint32_t AdaptFormatToProfile(uint32_t format, ProfileHandle profile) {
  if (profile == nullptr) return format;
  if (cmsGetColorSpace(profile) == cmsSigGrayData) {
    switch (format) {
      case TYPE_RGBA_8:
      case TYPE_BGRA_8:
        return kFormatGray8;
      case TYPE_RGBA_16:
        return kFormatGray16;
      case TYPE_RGBA_FLT:
        return kFormatGrayFloat;
      default:
        return format;
    }
  }
  switch (format) {
    case kFormatGray8:
      return TYPE_RGBA_8;
    case kFormatGray16:
      return TYPE_RGBA_16;
    case kFormatGrayFloat:
      return TYPE_RGBA_FLT;
    default:
      return format;
  }
}

std::shared_ptr<const FloatCurveTransform> CachedFloatCurves(const ColorTransform& transform) {
  if (!transform || !transform.cached()) return nullptr;
  std::lock_guard lock(transformCache.section);
  for (TransformCacheEntry& entry : transformCache.entries) {
    if (entry.transform != transform.get()) continue;
    if (!entry.floatCurvesTried) {
      entry.floatCurves = FloatCurveTransform::Make(entry.transform);
      entry.floatCurvesTried = true;
    }
    return entry.floatCurves;
  }
  return nullptr;
}

void ReleaseTransformCache() {
  std::lock_guard lock(transformCache.section);
  for (TransformCacheEntry& entry : transformCache.entries) {
    if (entry.transform != nullptr) cmsDeleteTransform(entry.transform);
    entry = TransformCacheEntry{};
  }
  if (transformCache.standIn != nullptr) cmsCloseProfile(transformCache.standIn);
  transformCache.standIn = nullptr;
}

int CachedTransformCount() {
  std::lock_guard lock(transformCache.section);
  int count = 0;
  for (const TransformCacheEntry& entry : transformCache.entries) {
    if (entry.transform != nullptr) ++count;
  }
  return count;
}

}  // namespace lumeray
