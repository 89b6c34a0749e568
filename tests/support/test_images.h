// Generated images for the integration tests, in memory and as files.
#pragma once

#include <OpenImageIO/imageio.h>

#include <cstdint>
#include <cstring>
#include <stdexcept>
#include <string>
#include <vector>

#include "host_image.h"
#include "image_io.h"

namespace lumeray::testing {

// A deterministic noise image whose samples cover the whole range of the sample type (for floats
// also values below 0 and above 1), different in every plane. Its bright pixels are light
// sources to the module.
inline HostImage PatternImage(int32_t width, int32_t height, int colourPlanes, bool hasAlpha,
                              SampleType type, uint32_t seed = 1) {
  HostImage image = HostImage::Create(width, height, colourPlanes, hasAlpha, type);
  uint32_t state = seed * 2654435761u + 1;
  const size_t samples = image.pixels.size() / image.BytesPerSample();
  for (size_t i = 0; i < samples; ++i) {
    state = state * 1664525u + 1013904223u;  // a linear congruential generator
    const uint32_t bits = state >> 8;
    switch (type) {
      case SampleType::kUInt8:
        image.pixels[i] = static_cast<uint8_t>(bits);
        break;
      case SampleType::kUInt16: {
        const auto sample = static_cast<uint16_t>(bits);
        std::memcpy(image.pixels.data() + i * 2, &sample, 2);
        break;
      }
      case SampleType::kFloat32: {
        const float sample = static_cast<float>(bits % 3000u) / 1000.0f - 0.5f;
        std::memcpy(image.pixels.data() + i * 4, &sample, 4);
        break;
      }
    }
  }
  return image;
}

// A smooth image without light sources: gentle gradients that the module leaves as they are.
// The 16-bit samples include values the host scale cannot hold exactly; the float samples
// run above 1.0; alpha varies freely.
inline HostImage SmoothImage(int32_t width, int32_t height, int colourPlanes, bool hasAlpha,
                             SampleType type) {
  HostImage image = HostImage::Create(width, height, colourPlanes, hasAlpha, type);
  const int channels = image.Channels();
  for (int32_t y = 0; y < height; ++y) {
    for (int32_t x = 0; x < width; ++x) {
      uint8_t* pixel = image.Pixel(x, y);
      for (int c = 0; c < channels; ++c) {
        const bool alpha = hasAlpha && c == channels - 1;
        const double level = alpha ? static_cast<double>((x * 7 + y * 3) % 256) / 255.0
                                   : 0.15 + 0.1 * c + 0.2 * x / width + 0.1 * y / height;
        switch (type) {
          case SampleType::kUInt8:
            pixel[c] = static_cast<uint8_t>(level * 255.0 + 0.5);
            break;
          case SampleType::kUInt16: {
            const auto sample = static_cast<uint16_t>(level * 65535.0 + 0.5);
            std::memcpy(pixel + c * 2, &sample, 2);
            break;
          }
          case SampleType::kFloat32: {
            const auto sample = static_cast<float>(alpha ? level : level * 4.0);
            std::memcpy(pixel + c * 4, &sample, 4);
            break;
          }
        }
      }
    }
  }
  return image;
}

// Writes the image as a file; `fileType` is the file's sample type (UNKNOWN: the image's).
inline void WriteTestImage(const std::string& path, const HostImage& image,
                           OIIO::TypeDesc fileType = OIIO::TypeDesc::UNKNOWN) {
  auto output = OIIO::ImageOutput::create(path);
  if (!output) throw std::runtime_error("no writer for " + path);
  OIIO::ImageSpec description(
      image.width, image.height, image.Channels(),
      fileType == OIIO::TypeDesc::UNKNOWN ? SampleTypeDesc(image.sampleType) : fileType);
  if (image.hasAlpha) {
    description.alpha_channel = image.Channels() - 1;
    description.attribute("oiio:UnassociatedAlpha", 1);
  }
  if (!image.iccProfile.empty()) {
    description.attribute(
        "ICCProfile",
        OIIO::TypeDesc(OIIO::TypeDesc::UINT8, static_cast<int>(image.iccProfile.size())),
        image.iccProfile.data());
  }
  if (!output->open(path, description) ||
      !output->write_image(SampleTypeDesc(image.sampleType), image.pixels.data()) ||
      !output->close()) {
    throw std::runtime_error("cannot write " + path + ": " + output->geterror());
  }
}

inline HostImage ReadTestImage(const std::string& path) {
  ImageFile file;
  std::vector<std::string> notes;
  std::string error;
  if (!ReadImageFile(path, &file, &notes, &error)) throw std::runtime_error(path + ": " + error);
  return file.image;
}

// A minimal, well-formed ICC profile header for a colour space ("RGB " or "GRAY") with no tags.
inline std::vector<uint8_t> MinimalIccProfile(const char (&space)[5]) {
  std::vector<uint8_t> profile(132, 0);
  profile[3] = 132;  // big-endian size
  std::memcpy(profile.data() + 16, space, 4);
  std::memcpy(profile.data() + 36, "acsp", 4);
  return profile;
}

}  // namespace lumeray::testing
