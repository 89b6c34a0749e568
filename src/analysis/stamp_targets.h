// How a stamp reads and writes the pixels of its target image: a working-RGB image (mode 64)
// directly as WorkingPixel samples, any other image through its own fetch and store routines.
// Both give and take the five fields of a WorkingPixel; a field given as kLeaveUnchanged keeps
// the stored value.
//
// Threading contract: a target is used by the thread that stamps into it; two threads may use
// one image only on pixels that do not overlap.
#pragma once

#include <cstdint>

#include "image/image_record.h"
#include "image/pixel_tables.h"

namespace lumeray {

struct WorkingTarget {
  const ImageRecord* image;
  void Fetch(WorkingPixel* p, int32_t x, int32_t y) const {
    const int64_t index = PixelIndex(*image, x, y);
    const uint32_t* s = static_cast<const uint32_t*>(image->pixels.data) + index * kSamplesPerPixel;
    *p = {s[0], s[1], s[2], s[kAlphaSample], kFullCoverage};
    if (ImageHasMask(*image)) {
      p->mask = GetFixedTables().alpha8To32[static_cast<const uint8_t*>(image->mask.data)[index]];
    }
  }
  void Store(const WorkingPixel& p, int32_t x, int32_t y) const {
    const int64_t index = PixelIndex(*image, x, y);
    uint32_t* s = static_cast<uint32_t*>(image->pixels.data) + index * kSamplesPerPixel;
    const uint32_t values[kSamplesPerPixel] = {p.red, p.green, p.blue, p.alpha};
    for (int i = 0; i < kSamplesPerPixel; ++i) {
      if (values[i] != kLeaveUnchanged) s[i] = values[i];
    }
    if (ImageHasMask(*image) && p.mask != kLeaveUnchanged) {
      static_cast<uint8_t*>(image->mask.data)[index] =
          GetFixedTables().alpha16To8[p.mask >> kCoverageToIndexShift];
    }
  }
};

struct ConvertedTarget {
  const ImageRecord* image;
  void Fetch(WorkingPixel* p, int32_t x, int32_t y) const { image->fetch(image, p, x, y); }
  void Store(const WorkingPixel& p, int32_t x, int32_t y) const { image->store(image, &p, x, y); }
};

// Calls stamp(target) with the target kind that suits the image.
template <class Stamp>
void WithStampTarget(ImageRecord* image, Stamp stamp) {
  if (image->mode == kImageModeWorkingRgb) {
    stamp(WorkingTarget{image});
  } else {
    stamp(ConvertedTarget{image});
  }
}

}  // namespace lumeray
