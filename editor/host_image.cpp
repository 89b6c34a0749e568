#include "host_image.h"

#include <cstring>
#include <limits>
#include <stdexcept>

#include "filter_interface.h"

namespace lumeray {

HostImage HostImage::Create(int32_t width, int32_t height, int colourPlanes, bool hasAlpha,
                            SampleType sampleType, bool unset) {
  if (width <= 0 || height <= 0) throw std::length_error("image size must be positive");
  if (colourPlanes != 1 && colourPlanes != 3) throw std::length_error("1 or 3 colour planes");
  HostImage image;
  image.width = width;
  image.height = height;
  image.colourPlanes = colourPlanes;
  image.hasAlpha = hasAlpha;
  image.sampleType = sampleType;
  const size_t bytes = ImageBytes(width, height, image.PixelBytes());
  if (bytes == 0) throw std::length_error("image too large");
  image.pixels.resize(bytes);
  if (!unset) std::memset(image.pixels.data(), 0, bytes);
  return image;
}

size_t HostImage::BytesPerSample() const {
  switch (sampleType) {
    case SampleType::kUInt8:
      return 1;
    case SampleType::kUInt16:
      return 2;
    case SampleType::kFloat32:
      return 4;
  }
  return 1;
}

int16_t HostImageMode(const HostImage& image) {
  const bool grey = image.colourPlanes == 1;
  switch (image.sampleType) {
    case SampleType::kUInt8:
      return grey ? kModeGrayScale : kModeRGB;
    case SampleType::kUInt16:
      return grey ? kModeGray16 : kModeRGB48;
    case SampleType::kFloat32:
      return grey ? kModeGray32 : kModeRGB96;
  }
  return kModeRGB;
}

int16_t HostImageDepth(const HostImage& image) {
  constexpr int16_t kBitsPerByte = 8;
  return static_cast<int16_t>(image.BytesPerSample() * kBitsPerByte);
}

std::string DescribeImageLayout(const HostImage& image) {
  std::string text;
  switch (image.sampleType) {
    case SampleType::kUInt8:
      text = "8-bit";
      break;
    case SampleType::kUInt16:
      text = "16-bit";
      break;
    case SampleType::kFloat32:
      text = "32-bit float";
      break;
  }
  text += image.colourPlanes == 1 ? " greyscale" : " RGB";
  if (image.hasAlpha) text += " with alpha";
  return text;
}

size_t ImageBytes(int64_t width, int64_t height, size_t pixelBytes) {
  if (width <= 0 || height <= 0 || pixelBytes == 0) return 0;
  const auto w = static_cast<size_t>(width);
  const auto h = static_cast<size_t>(height);
  constexpr size_t kMax = std::numeric_limits<size_t>::max();
  if (w > kMax / pixelBytes) return 0;
  const size_t row = w * pixelBytes;
  if (h > kMax / row) return 0;
  return row * h;
}

}  // namespace lumeray
