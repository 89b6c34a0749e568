// The analysis image: the copy of the source image the light source search works on, a 16-bit
// RGB image (mode 11) with a mask, edge-safe, reduced when the source is large, and the direct
// pixel reads of the search.
//
// Geometry: the analysis scale is 1.0, or (longer side of the source rectangle) / 2400 when the
// longer side exceeds 2400 pixels. The analysis rectangle is the source rectangle with each
// coordinate divided by the scale, 1e-10 added and the result truncated; a rectangle that would
// collapse to zero width or height is widened to 1.
//
// Contents: equal rectangles are copied pixel by pixel; otherwise analysis pixel (x, y) is the
// mean of all five fields of the block of bw x bh source pixels starting at source column
// trunc(x * source width / analysis width) and row trunc(y * source height / analysis height)
// (relative to the rectangles' corners), bw and bh the rounded-up ratios of the sides; a block
// is cut at the source's edge. Then the run's input colour conversion makes it linear.
//
// AnalysisPixels reads the image without its fetch routine: colour through the image's 16-bit
// decode table, alpha and mask through the fixed tables, exactly as the image's own edge-safe
// fetch. The mask is the only part written while the search runs (the flood fill unselects
// pixels), so mask bytes are read and written atomically; colour and alpha never change then.
//
// Brightness of a colour: ((red >> 2) + (green >> 2) + (blue >> 2)) / 3 * 4, in integers.
//
// Threading contract: BuildAnalysisImage and ReleaseAnalysisImage run on one thread (the
// copy itself is split over the given number of threads). Any number of threads may read
// through AnalysisPixels at once; Unselect may run concurrently with reads.
#pragma once

#include <atomic>
#include <cstdint>

#include "analysis/master_light_source_table.h"
#include "image/image_record.h"
#include "image/pixel_tables.h"

namespace lumeray {

// Sources with a longer side above this are analysed reduced.
inline constexpr int32_t kAnalysisLongestSide = 2400;
// A mask value at or above this selects a pixel.
inline constexpr uint32_t kSelectedMask = 0x7FFFFFFFu;

inline uint32_t Brightness(uint32_t red, uint32_t green, uint32_t blue) {
  return ((red >> 2) + (green >> 2) + (blue >> 2)) / 3 * 4;
}

struct AnalysisGeometry {
  double scale;
  ImageRect rect;
};
AnalysisGeometry ComputeAnalysisGeometry(const ImageRect& sourceRect);

// The source position (pixel j's centre at j) of a position in a reduced analysis image (0 at
// the centre of its first pixel): the line through the centres of the blocks the analysis
// pixels average, which start at trunc(i * source size / analysis size) and are ceil(source
// size / analysis size) long. Those starts fall irregularly; the line is their mean, so the
// analysis of a reduced image reports positions without a bias.
double ReducedPosition(double analysisPosition, int64_t analysisSize, int64_t sourceOrigin,
                       int64_t sourceEnd);

struct AnalysisImage {
  ImageRecord image;  // mode 11, with a mask, edge-safe
  ImageRect rect{};   // the analysis rectangle (the image's data rectangle)
  ImageRect sourceRect{};
  double scale = 1.0;
};

// Makes the analysis image of `source` (its data rectangle), splitting the copy over
// `threadCount` threads and testing `cancelled` after each row. Returns 0; the code of
// CreateImage when the image cannot be made (the allocator's -108 for lack of memory); -50 when
// the colour conversion fails; -108 also when a band's working rows (a few rows of the source
// as WorkingPixels) cannot be had. A cancelled copy returns 0 with the image incomplete. The copy
// is converted to `linearWorking` (the run's linear working profile, color_management.h).
int BuildAnalysisImage(const ImageRecord& source, int threadCount, CancelTest cancelled,
                       ProfileHandle linearWorking, AnalysisImage* analysis);
void ReleaseAnalysisImage(AnalysisImage* analysis);

class AnalysisPixels {
 public:
  AnalysisPixels() = default;
  // The image must be a mode-11 image with a mask that holds its pixels.
  explicit AnalysisPixels(const ImageRecord& image);

  const ImageRect& rect() const { return rect_; }
  bool Contains(int32_t x, int32_t y) const {
    return x >= rect_.left && x < rect_.right && y >= rect_.top && y < rect_.bottom;
  }

  // The five fields as the image's edge-safe fetch gives them (outside: the nearest edge
  // pixel's colour with alpha and mask 0).
  WorkingPixel Read(int32_t x, int32_t y) const;

  // The following take positions inside the rectangle only.
  void ReadColour(int32_t x, int32_t y, uint32_t* red, uint32_t* green, uint32_t* blue) const {
    const uint16_t* s = Samples(x, y);
    *red = decode_[s[0]];
    *green = decode_[s[1]];
    *blue = decode_[s[2]];
  }
  uint32_t BrightnessAt(int32_t x, int32_t y) const {
    const uint16_t* s = Samples(x, y);
    return Brightness(decode_[s[0]], decode_[s[1]], decode_[s[2]]);
  }
  uint32_t AlphaAt(int32_t x, int32_t y) const { return alpha16_[Samples(x, y)[kAlphaSample]]; }
  uint32_t MaskAt(int32_t x, int32_t y) const {
    return alpha8_[std::atomic_ref<uint8_t>(mask_[Index(x, y)]).load(std::memory_order_relaxed)];
  }
  // Writes mask 0 (what storing a pixel with mask 0 and every other field kLeaveUnchanged
  // does).
  void Unselect(int32_t x, int32_t y) const {
    std::atomic_ref<uint8_t>(mask_[Index(x, y)]).store(0, std::memory_order_relaxed);
  }

 private:
  int64_t Index(int32_t x, int32_t y) const {
    return (int64_t{y} - rect_.top) * stride_ + (int64_t{x} - rect_.left);
  }
  const uint16_t* Samples(int32_t x, int32_t y) const {
    return samples_ + Index(x, y) * kSamplesPerPixel;
  }

  const uint16_t* samples_ = nullptr;
  uint8_t* mask_ = nullptr;
  int64_t stride_ = 0;
  ImageRect rect_{};
  const uint32_t* decode_ = nullptr;
  const uint32_t* alpha16_ = nullptr;
  const uint32_t* alpha8_ = nullptr;
};

}  // namespace lumeray
