#include "analysis/shape_operations.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <mutex>

#include "analysis/stamp_targets.h"
#include "diagnostics/message_report.h"
#include "image/blend.h"
#include "image/pixel_tables.h"
#include "platform/sync.h"

namespace lumeray {
namespace {

// The weighted mean keeps 24 bits of the quotient and restores the scale with 8 more.
constexpr int kMeanQuotientShift = 24;
constexpr int kMeanRestoreShift = 8;
constexpr int kPhaseShift = 2;  // quarter pixels per pixel as a shift
constexpr int32_t kPhaseMask = kQuarterPhases - 1;

enum class Routine { kAnalyze, kSample, kDraw };

void ReportShapeType(Routine routine, uint32_t type) {
  MessageReport report(__LINE__, kMessageDebug);
  const int value = static_cast<int>(type);
  switch (routine) {
    case Routine::kAnalyze:
      report.Report(kIconError, kTitleDebugUnexpectedError1,
                    "AnalyzeShapeFrom detected shape type other than SHAPE_IMAGE:  %d", value);
      break;
    case Routine::kSample:
      report.Report(kIconError, kTitleDebugUnexpectedError1,
                    "SampleShapeFrom detected shape type other than SHAPE_IMAGE:  %d", value);
      break;
    case Routine::kDraw:
      report.Report(kIconError, kTitleDebugUnexpectedError1,
                    "DrawShapeInto detected shape type other than SHAPE_IMAGE:  %d", value);
      break;
  }
}

QuarterPixelPoint Normalized(const QuarterPixelPoint& c) {
  return {c.x + (c.xFraction >> kPhaseShift), c.xFraction & kPhaseMask,
          c.y + (c.yFraction >> kPhaseShift), c.yFraction & kPhaseMask};
}

// Builds the sub-shape if needed; null (reported where the message says so) when unusable.
const SubShape* ReadySubShape(EffectShape* shape, const QuarterPixelPoint& c) {
  SubShape* sub = &shape->subShapes[SubShapeIndex(c.xFraction, c.yFraction)];
  if (!sub->built) {
    if (shape->builder == nullptr || !shape->builder(shape, c.xFraction, c.yFraction)) {
      return nullptr;
    }
  }
  if (sub->data() == nullptr) {
    MessageReport report(__LINE__, kMessageDebug);
    report.Report(kIconError, kTitleDebugUnexpectedError, "NULL SubShapeEntry pointer detected.");
    return nullptr;
  }
  return sub;
}

bool BoxInside(const SubShape& sub, const QuarterPixelPoint& c, const ImageRect& rect) {
  return int64_t{c.x} + sub.left >= rect.left && int64_t{c.x} + sub.right <= rect.right &&
         int64_t{c.y} + sub.top >= rect.top && int64_t{c.y} + sub.bottom <= rect.bottom;
}

// Calls visit(entry, x, y) for the entries whose pixel lies in the image's rectangle.
template <class Visit>
void ForEachEntryInside(const AnalysisPixels& image, const SubShape& sub,
                        const QuarterPixelPoint& c, Visit visit) {
  const SubShapeEntry* entries = sub.data();
  if (BoxInside(sub, c, image.rect())) {
    for (uint32_t i = 0; i < sub.entryCount; ++i) {
      visit(entries[i], c.x + entries[i].dx, c.y + entries[i].dy);
    }
    return;
  }
  for (uint32_t i = 0; i < sub.entryCount; ++i) {
    const int32_t x = c.x + entries[i].dx, y = c.y + entries[i].dy;
    if (image.Contains(x, y)) visit(entries[i], x, y);
  }
}

uint32_t WeightedMean(uint64_t weightedSum, uint64_t weights) {
  if (weights == 0) return 0;
  const auto quotient =
      (static_cast<unsigned __int128>(weightedSum) << kMeanQuotientShift) / weights;
  const unsigned __int128 mean = quotient << kMeanRestoreShift;
  return mean > kShapeFractionOne ? kShapeFractionOne : static_cast<uint32_t>(mean);
}

template <BlendRoutine kBlend, class Target>
void Stamp(const Target& target, const SubShape& sub, const QuarterPixelPoint& c,
           const ImageRect& box, const WorkingPixel& colour, uint32_t visibleLevel) {
  const SubShapeEntry* entries = sub.data();
  for (uint32_t i = 0; i < sub.entryCount; ++i) {
    const SubShapeEntry& e = entries[i];
    const int32_t x = c.x + e.dx, y = c.y + e.dy;
    if (x < box.left || x >= box.right || y < box.top || y >= box.bottom) continue;
    const WorkingPixel source{FractionProduct(e.red, colour.red),
                              FractionProduct(e.green, colour.green),
                              FractionProduct(e.blue, colour.blue),
                              FractionProduct(e.value, colour.alpha), kFullCoverage};
    const uint32_t brightest = std::max({source.red, source.green, source.blue});
    if (FractionProduct(brightest, source.alpha) < visibleLevel) continue;
    WorkingPixel pixel;
    target.Fetch(&pixel, x, y);
    kBlend(&pixel, source);
    target.Store(pixel, x, y);
  }
}

template <BlendRoutine kBlend>
void StampInto(ImageRecord* target, const SubShape& sub, const QuarterPixelPoint& c,
               const ImageRect& box, const WorkingPixel& colour, uint32_t visibleLevel) {
  WithStampTarget(target,
                  [&](const auto& t) { Stamp<kBlend>(t, sub, c, box, colour, visibleLevel); });
}

}  // namespace

bool SubShapeBuiltFor(const EffectShape& shape, const QuarterPixelPoint& centre) {
  const QuarterPixelPoint c = Normalized(centre);
  return shape.subShapes[SubShapeIndex(c.xFraction, c.yFraction)].built != 0;
}

bool AnalyzeShapeFrom(const AnalysisPixels& image, EffectShape* shape,
                      const QuarterPixelPoint& centre, uint32_t* mean, float* deviation) {
  if (shape->shapeType != SHAPE_IMAGE) {
    ReportShapeType(Routine::kAnalyze, shape->shapeType);
    return false;
  }
  const QuarterPixelPoint c = Normalized(centre);
  const SubShape* sub = ReadySubShape(shape, c);
  if (sub == nullptr) return false;

  uint64_t weights = 0, weighted = 0;
  ForEachEntryInside(image, *sub, c, [&](const SubShapeEntry& e, int32_t x, int32_t y) {
    weights += e.value;
    weighted += FractionProduct(e.value, image.BrightnessAt(x, y));
  });
  *mean = WeightedMean(weighted, weights);
  *deviation = 0.0f;
  if (weights == 0) return true;

  const uint32_t m = *mean;
  double variance = 0.0;
  ForEachEntryInside(image, *sub, c, [&](const SubShapeEntry& e, int32_t x, int32_t y) {
    const auto difference = static_cast<double>(static_cast<int32_t>(image.BrightnessAt(x, y) - m));
    variance += static_cast<double>(e.value) * difference * difference;
  });
  *deviation = static_cast<float>(std::sqrt(variance / static_cast<double>(weights)));
  return true;
}

bool SampleShapeFrom(const AnalysisPixels& image, EffectShape* shape,
                     const QuarterPixelPoint& centre, WorkingPixel* colour) {
  if (shape->shapeType != SHAPE_IMAGE) {
    ReportShapeType(Routine::kSample, shape->shapeType);
    return false;
  }
  const QuarterPixelPoint c = Normalized(centre);
  const SubShape* sub = ReadySubShape(shape, c);
  if (sub == nullptr) return false;

  uint64_t weights = 0, red = 0, green = 0, blue = 0;
  ForEachEntryInside(image, *sub, c, [&](const SubShapeEntry& e, int32_t x, int32_t y) {
    uint32_t r, g, b;
    image.ReadColour(x, y, &r, &g, &b);
    weights += e.value;
    red += FractionProduct(e.value, r);
    green += FractionProduct(e.value, g);
    blue += FractionProduct(e.value, b);
  });
  *colour = {WeightedMean(red, weights), WeightedMean(green, weights), WeightedMean(blue, weights),
             kShapeFractionOne, kShapeFractionOne};
  return true;
}

bool DrawShapeInto(ImageRecord* target, const ImageRect& clip, EffectShape* shape,
                   const WorkingPixel& colour, const QuarterPixelPoint& centre, uint32_t mode,
                   uint32_t presenceThreshold, platform::CriticalSection* buildLock) {
  if (shape->shapeType != SHAPE_IMAGE) {
    ReportShapeType(Routine::kDraw, shape->shapeType);
    return false;
  }
  const QuarterPixelPoint c = Normalized(centre);
  const SubShape* sub;
  if (buildLock != nullptr) {
    std::lock_guard lock(*buildLock);
    sub = ReadySubShape(shape, c);
  } else {
    sub = ReadySubShape(shape, c);
  }
  if (sub == nullptr) return false;

  const BlendRoutine blend = FindBlendRoutine(mode);
  if (blend == nullptr) {
    ReportUnknownBlendingMode();
    return false;
  }
  const ImageRect& data = target->dataRect;
  const auto clamp32 = [](int64_t v) {
    return static_cast<int32_t>(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX));
  };
  const ImageRect box{std::max({clamp32(int64_t{c.x} + sub->left), data.left, clip.left}),
                      std::max({clamp32(int64_t{c.y} + sub->top), data.top, clip.top}),
                      std::min({clamp32(int64_t{c.x} + sub->right), data.right, clip.right}),
                      std::min({clamp32(int64_t{c.y} + sub->bottom), data.bottom, clip.bottom})};
  if (box.left >= box.right || box.top >= box.bottom) return true;

  const uint32_t visibleLevel = presenceThreshold / 2;
  switch (mode) {
    case kBlendScreen:
      StampInto<BlendScreen>(target, *sub, c, box, colour, visibleLevel);
      break;
    case kBlendEffectsOnly:
      StampInto<BlendEffectsOnly>(target, *sub, c, box, colour, visibleLevel);
      break;
    default:
      StampInto<BlendPaint>(target, *sub, c, box, colour, visibleLevel);
      break;
  }
  return true;
}

bool CreateShapeBuildingSection() {
  ResetLowMemoryWarning();
  return true;
}

void DeleteShapeBuildingSection() {}

}  // namespace lumeray
