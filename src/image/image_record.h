// The image record: every image of the module (the host's source image, the band images of the
// final render, the preview images) is one of these, holding the pixels of a rectangle in the
// host's own sample format and two access routines chosen when it is created.
//
// Conventions
//  * Rectangles are half-open: pixel (x, y) exists for left <= x < right, top <= y < bottom.
//  * Every pixel has four samples. Colour images keep R, G, B, A (8-bit images B, G, R, A while
//    their GL pixel format is BGRA); grey images keep grey, grey, grey, alpha.
//  * The pixel of (x, y) is at index (y - data top) * data width + (x - data left); its samples
//    start at index * 4, its mask byte at index. The data width is the row stride in pixels.
//  * Buffers hold one spare row: (data height + 1) rows of data width pixels.
//  * A WorkingPixel carries linear light R, G, B with full intensity at kFullIntensity (values at
//    or above it are stored as full intensity), and alpha and mask with kFullCoverage for
//    opaque / fully selected. kLeaveUnchanged in any of the five values means "do not write".
//  * fetch turns the pixel at (x, y) into a WorkingPixel; store writes one back. Edge-safe images
//    accept any (x, y): fetch outside the data returns the colour of the nearest edge pixel with
//    alpha and mask 0, store outside writes nothing. Fast images must only be given positions
//    inside the data rectangle.
//
// Threading contract: fetch and store only read the record and the shared tables and write the
// addressed pixel, so any number of threads may use one image at once as long as no two of them
// store to the same pixel. Creating, re-profiling or releasing an image must not overlap any use
// of it.
#pragma once

#include <cstdint>

#include "image/buffer.h"

namespace lumeray {

// An open colour profile of the colour engine (a Little CMS profile handle).
using ProfileHandle = void*;

// Image modes: the host's mode codes plus the module's own working RGB.
constexpr int32_t kImageModeGray8 = 1;
constexpr int32_t kImageModeRgb8 = 3;
constexpr int32_t kImageModeGray16 = 10;
constexpr int32_t kImageModeRgb16 = 11;
constexpr int32_t kImageModeRgbFloat = 16;
constexpr int32_t kImageModeGrayFloat = 17;
constexpr int32_t kImageModeWorkingRgb = 64;  // u32 samples already on the WorkingPixel scale

constexpr int64_t kSamplesPerPixel = 4;
constexpr int kAlphaSample = 3;

// OpenGL pixel types and formats recorded for the preview's textures.
constexpr uint32_t kGlUnsignedByte = 0x1401;
constexpr uint32_t kGlUnsignedShort = 0x1403;
constexpr uint32_t kGlUnsignedInt = 0x1405;
constexpr uint32_t kGlFloat = 0x1406;
constexpr uint32_t kGlRgba = 0x1908;
constexpr uint32_t kGlBgra = 0x80E1;

// WorkingPixel scales.
constexpr uint32_t kFullIntensity = 0xFFFFFF;   // linear colour, 24 bits
constexpr uint32_t kFullCoverage = 0xFFFFFFFE;  // alpha and mask
constexpr uint32_t kLeaveUnchanged = 0xFFFFFFFF;

struct WorkingPixel {
  uint32_t red;
  uint32_t green;
  uint32_t blue;
  uint32_t alpha;
  uint32_t mask;
};

struct ImageRect {
  int32_t left;
  int32_t top;
  int32_t right;
  int32_t bottom;
};

// The lookup tables of one gamma g (see gamma_tables.h). All null when none could be made.
struct FloatPowerTable;

struct GammaTableSet {
  const uint32_t* decode8;   // 256 entries: 8-bit encoded -> 24-bit linear
  const uint32_t* decode16;  // 65 536 entries: 16-bit encoded -> 24-bit linear
  const uint8_t* encode8;    // 65 536 entries: (24-bit linear >> 8) -> 8-bit encoded
  const uint16_t* encode16;  // 65 536 entries: (24-bit linear >> 8) -> 16-bit encoded
  // 131 072 entries: 24-bit linear values below kShadowEncodeEntries (gamma_tables.h) -> the
  // 16-bit sample at full precision (linear_encoding.h).
  const uint16_t* encode16Shadows;
  // The powers of float samples (float_power.h): the gamma and its inverse.
  const FloatPowerTable* floatDecode;
  const FloatPowerTable* floatEncode;

  explicit operator bool() const { return decode8 != nullptr; }
};

struct ImageRecord;
using FetchPixelProc = void (*)(const ImageRecord* image, WorkingPixel* pixel, int32_t x,
                                int32_t y);
using StorePixelProc = void (*)(const ImageRecord* image, const WorkingPixel* pixel, int32_t x,
                                int32_t y);

struct ImageRecord {
  FetchPixelProc fetch = nullptr;
  StorePixelProc store = nullptr;
  ImageRect bounds{};    // the rectangle the image stands for
  ImageRect dataRect{};  // the rectangle whose pixels are held
  BufferDescriptor pixels;
  BufferDescriptor mask;  // one byte per pixel; empty when the image has no mask
  int64_t boundsWidth = 0;
  int64_t boundsHeight = 0;
  int64_t dataWidth = 0;
  int64_t dataHeight = 0;
  int64_t bytesPerSample = 0;  // 1, 2 or 4
  int64_t samplesPerPixel = 0;
  int32_t mode = 0;
  uint8_t edgeSafe = 0;
  ProfileHandle profile = nullptr;
  double gamma = 0.0;  // the profile's gamma, to the nearest 0.05
  GammaTableSet gammaTables{};
  uint32_t glPixelType = 0;
  uint32_t glPixelFormat = 0;
};

inline bool ImageHasMask(const ImageRecord& image) {
  return image.mask.data != nullptr;
}

inline bool DataContains(const ImageRecord& image, int32_t x, int32_t y) {
  return x >= image.dataRect.left && x < image.dataRect.right && y >= image.dataRect.top &&
         y < image.dataRect.bottom;
}

// Index of the pixel (and of its mask byte) at (x, y), which must lie in the data rectangle.
inline int64_t PixelIndex(const ImageRecord& image, int32_t x, int32_t y) {
  return (static_cast<int64_t>(y) - image.dataRect.top) * image.dataWidth +
         (static_cast<int64_t>(x) - image.dataRect.left);
}

// First sample of the pixel at (x, y), typed by the caller (uint8_t, uint16_t, float, uint32_t).
template <typename Sample>
inline Sample* PixelSamples(const ImageRecord& image, int32_t x, int32_t y) {
  return static_cast<Sample*>(image.pixels.data) + PixelIndex(image, x, y) * kSamplesPerPixel;
}

}  // namespace lumeray
