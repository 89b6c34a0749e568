// Shared helpers of the image tests: images made with a chosen gamma, deterministic sample
// data, and slow, formula-by-formula references for the tables and converters.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

#include "image/image_create.h"
#include "image/image_record.h"

namespace lumeray::testing {

// The tests' profiles are pointers to their gamma; a null profile has gamma 2.2.
double GammaOfTestProfile(ProfileHandle profile);
inline ProfileHandle TestProfile(const double& gamma) {
  return const_cast<double*>(&gamma);
}

// Installs the test estimator, releases every image and gamma table set the test made.
class ImageTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // An image that must be created successfully; released at tear-down.
  ImageRecord* MakeImage(int32_t mode, const ImageRect& data, const double& gamma,
                         bool withMask = false, bool edgeSafe = true);
  // Fills pixels and mask of the data rectangle with deterministic noise.
  void FillWithNoise(ImageRecord* image, uint32_t seed);

 private:
  std::vector<ImageRecord*> images_;
};

// round(x), ties to even, as the tables are defined.
inline uint32_t Round(double x) {
  return static_cast<uint32_t>(std::nearbyint(x));
}
inline double Power(double x, double gamma) {
  return gamma == 1.0 ? x : std::pow(x, gamma);
}

inline uint32_t RefDecode(uint32_t sample, double fullScale, double gamma) {
  return Round(Power(sample / fullScale, gamma) * 16777215.0);
}
// The first sample whose decoded value is at least `linear` (the decode rises with the sample).
inline uint32_t RefFirstSampleReaching(uint32_t linear, double fullScale, double gamma) {
  uint32_t low = 0, high = static_cast<uint32_t>(fullScale) + 1;
  while (low < high) {
    const uint32_t middle = (low + high) / 2;
    if (middle <= fullScale && RefDecode(middle, fullScale, gamma) < linear) {
      low = middle + 1;
    } else {
      high = middle;
    }
  }
  return low;
}
// The sample a brightened value must not fall below: the darkest sample decoding to exactly
// `linear`, else the brightest decoding below it.
inline uint32_t RefLowestEncoding(uint32_t linear, double fullScale, double gamma) {
  const uint32_t reaching = RefFirstSampleReaching(linear, fullScale, gamma);
  if (reaching <= fullScale && RefDecode(reaching, fullScale, gamma) == linear) return reaching;
  return reaching - 1;
}
// 8 bits: the encode table's formula at the value's upper 16 bits, never below the lowest
// encoding. 16 bits: the sample decoding nearest the value (the darkest of those decoding to
// it exactly, the darker of two equally near).
inline uint32_t RefEncode(uint32_t linear, double fullScale, double gamma) {
  if (linear >= 0xFFFFFF) return static_cast<uint32_t>(fullScale);
  const uint32_t lowest = RefLowestEncoding(linear, fullScale, gamma);
  if (fullScale == 255.0) {
    return std::max(Round(Power((linear >> 8) / 65535.0, 1.0 / gamma) * fullScale), lowest);
  }
  const uint32_t decoded = RefDecode(lowest, fullScale, gamma);
  if (decoded == linear) return lowest;
  const uint32_t above = RefDecode(lowest + 1, fullScale, gamma) - linear;
  return above < linear - decoded ? lowest + 1 : lowest;
}
inline uint32_t RefAlphaIn(uint32_t sample, double fullScale) {
  return Round(sample / fullScale * 4294967294.0);
}
inline uint32_t RefAlphaOut(uint32_t alpha, double fullScale) {
  return Round((alpha >> 16) / 65535.0 * fullScale);
}

}  // namespace lumeray::testing
