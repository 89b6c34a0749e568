// How a stamp reads and writes the pixels of its target image: a working-RGB image (mode 64)
// directly as WorkingPixel samples, any other image through its own fetch and store routines.
// Both give and take the five fields of a WorkingPixel; a field given as kLeaveUnchanged keeps
// the stored value.
//
// Stamps that only screen (which changes red, green and blue and nothing else) may use
// WithScreenStampTarget instead: 8-bit and 16-bit colour images are then read and written
// inline through their codec, colour only, and a channel the blend left as it was is not
// encoded again (so that a sample is never rounded without being drawn on).
//
// A screen reads nothing of its destination but the colour: every target also offers
// FetchColour (colour, with alpha and mask possibly kLeaveUnchanged) and StoreChanged, which
// takes the pixel FetchColour gave as `before` and writes what differs from it (a colour
// target then neither decodes the alpha nor reads the samples a second time).
//
// Threading contract: a target is used by the thread that stamps into it; two threads may use
// one image only on pixels that do not overlap.
#pragma once

#include <cstdint>

#include "image/blend.h"
#include "image/image_modes.h"
#include "image/image_record.h"
#include "image/pixel_tables.h"
#include "image/sample_codecs.h"

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
  void FetchColour(WorkingPixel* p, int32_t x, int32_t y) const {
    const uint32_t* s = static_cast<const uint32_t*>(image->pixels.data) +
                        PixelIndex(*image, x, y) * kSamplesPerPixel;
    *p = {s[0], s[1], s[2], kLeaveUnchanged, kLeaveUnchanged};
  }
  void StoreChanged(const WorkingPixel& p, const WorkingPixel&, int32_t x, int32_t y) const {
    Store(p, x, y);
  }
};

struct ConvertedTarget {
  const ImageRecord* image;
  void Fetch(WorkingPixel* p, int32_t x, int32_t y) const { image->fetch(image, p, x, y); }
  void Store(const WorkingPixel& p, int32_t x, int32_t y) const { image->store(image, &p, x, y); }
  void FetchColour(WorkingPixel* p, int32_t x, int32_t y) const { Fetch(p, x, y); }
  void StoreChanged(const WorkingPixel& p, const WorkingPixel&, int32_t x, int32_t y) const {
    Store(p, x, y);
  }
};

// Colour and alpha, for screening: Fetch gives the mask as kLeaveUnchanged, and Store writes
// colour only; the pixel must lie in the data rectangle.
template <class Codec, class Layout>
struct ColourTarget {
  explicit ColourTarget(const ImageRecord* i) : image(i), codec(*i) {}
  const ImageRecord* image;
  Codec codec;
  typename Codec::Sample* Samples(int32_t x, int32_t y) const {
    return static_cast<typename Codec::Sample*>(image->pixels.data) +
           PixelIndex(*image, x, y) * kSamplesPerPixel;
  }
  void Fetch(WorkingPixel* p, int32_t x, int32_t y) const {
    const typename Codec::Sample* s = Samples(x, y);
    Layout::Fetch(codec, s, p);
    p->alpha = codec.DecodeAlpha(s[kAlphaSample]);
    p->mask = kLeaveUnchanged;
  }
  void Store(const WorkingPixel& p, int32_t x, int32_t y) const {
    typename Codec::Sample* s = Samples(x, y);
    WorkingPixel stored;
    Layout::Fetch(codec, s, &stored);
    StoreOver(p, stored, s);
  }
  void FetchColour(WorkingPixel* p, int32_t x, int32_t y) const {
    Layout::Fetch(codec, Samples(x, y), p);
    p->alpha = kLeaveUnchanged;
    p->mask = kLeaveUnchanged;
  }
  void StoreChanged(const WorkingPixel& p, const WorkingPixel& before, int32_t x, int32_t y) const {
    StoreOver(p, before, Samples(x, y));
  }

 private:
  // Writes the colour channels of `p` that differ from `before` (what `s` holds) into `s`.
  void StoreOver(const WorkingPixel& p, const WorkingPixel& before,
                 typename Codec::Sample* s) const {
    Layout::Store(codec,
                  {ChangedOrLeave(p.red, before.red), ChangedOrLeave(p.green, before.green),
                   ChangedOrLeave(p.blue, before.blue), kLeaveUnchanged, kLeaveUnchanged},
                  s);
  }
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

// The same for stamps that only screen.
template <class Stamp>
void WithScreenStampTarget(ImageRecord* image, Stamp stamp) {
  using namespace sample_codecs;
  switch (image->mode) {
    case kImageModeRgb8:
      if (HasBgraLayout(*image)) {
        stamp(ColourTarget<Codec8, BgraLayout>(image));
      } else {
        stamp(ColourTarget<Codec8, RgbaLayout>(image));
      }
      return;
    case kImageModeRgb16:
      stamp(ColourTarget<Codec16, RgbaLayout>(image));
      return;
    default:
      WithStampTarget(image, stamp);
  }
}

}  // namespace lumeray
