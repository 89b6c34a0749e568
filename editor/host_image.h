// The editor's document: the pixels of one image as the host keeps them, and the selection mask.
//
// Conventions
//  * Samples are interleaved, rows top first, no row padding: colour planes first (grey, or red,
//    green, blue), then alpha when the image has one.
//  * Samples keep the file's own values: 8-bit and 16-bit unsigned integers on their full range
//    (0..255, 0..65535), floating point as 32-bit floats. The host's 16-bit scale of the filter
//    interface (0..32768) exists only in the tile exchange (samples.h).
//  * The mask has one byte per pixel, 255 fully selected.
//
// Threading: plain values; no internal synchronisation.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>
#include <string>
#include <utility>
#include <vector>

namespace lumeray {

enum class SampleType { kUInt8, kUInt16, kFloat32 };

// An allocator whose elements start out unset when no value is given (resize(n), vector(n)):
// a buffer about to be overwritten whole is not first filled with zeros, a pass of its own
// over every page of a large image. Values given (assign(n, v), vector(n, v)) are set as usual.
template <typename T>
struct UnsetAllocator {
  using value_type = T;
  UnsetAllocator() = default;
  template <typename U>
  explicit UnsetAllocator(const UnsetAllocator<U>&) noexcept {}
  T* allocate(size_t n) { return std::allocator<T>().allocate(n); }
  void deallocate(T* p, size_t n) noexcept { std::allocator<T>().deallocate(p, n); }
  template <typename U, typename... Args>
  void construct(U* p, Args&&... args) {
    if constexpr (sizeof...(Args) == 0) {
      ::new (static_cast<void*>(p)) U;
    } else {
      ::new (static_cast<void*>(p)) U(std::forward<Args>(args)...);
    }
  }
  template <typename U>
  bool operator==(const UnsetAllocator<U>&) const noexcept {
    return true;
  }
};

using PixelBuffer = std::vector<uint8_t, UnsetAllocator<uint8_t>>;

struct HostImage {
  int32_t width = 0;
  int32_t height = 0;
  int colourPlanes = 0;  // 1 grey, 3 RGB
  bool hasAlpha = false;
  SampleType sampleType = SampleType::kUInt8;
  PixelBuffer pixels;
  std::vector<uint8_t> iccProfile;  // empty when the image has none

  // A zero-filled image, or with `unset` one whose samples are left for the caller to write
  // (every one of them); throws std::length_error when the size cannot be held in memory.
  static HostImage Create(int32_t width, int32_t height, int colourPlanes, bool hasAlpha,
                          SampleType sampleType, bool unset = false);

  int Channels() const { return colourPlanes + (hasAlpha ? 1 : 0); }
  size_t BytesPerSample() const;
  size_t PixelBytes() const { return BytesPerSample() * static_cast<size_t>(Channels()); }
  size_t RowBytes() const { return PixelBytes() * static_cast<size_t>(width); }
  uint8_t* Pixel(int32_t x, int32_t y) {
    return pixels.data() + static_cast<size_t>(y) * RowBytes() +
           static_cast<size_t>(x) * PixelBytes();
  }
  const uint8_t* Pixel(int32_t x, int32_t y) const {
    return pixels.data() + static_cast<size_t>(y) * RowBytes() +
           static_cast<size_t>(x) * PixelBytes();
  }
};

struct GreyMask {
  int32_t width = 0;
  int32_t height = 0;
  std::vector<uint8_t> values;
};

// The filter interface's image mode of the image (kModeGrayScale ... kModeGray32), and the bits
// per sample it reports as the record's depth.
int16_t HostImageMode(const HostImage& image);
int16_t HostImageDepth(const HostImage& image);

// A readable description such as "16-bit RGB with alpha".
std::string DescribeImageLayout(const HostImage& image);

// Bytes needed for width × height × pixelBytes, or 0 when that overflows size_t.
size_t ImageBytes(int64_t width, int64_t height, size_t pixelBytes);

}  // namespace lumeray
