#include "image_test_support.h"

#include <cmath>
#include <iterator>
#include <limits>

#include "image/gamma_tables.h"
#include "image/pixel_tables.h"

// Requests no allocator can meet are part of the failure tests: under the sanitizers they must
// come back as null instead of ending the process. Weak, so that another test file of this
// executable may set the options instead.
#if defined(__SANITIZE_ADDRESS__)
extern "C" __attribute__((weak)) const char* __asan_default_options() {
  return "allocator_may_return_null=1";
}
#elif defined(__SANITIZE_THREAD__)
extern "C" __attribute__((weak)) const char* __tsan_default_options() {
  return "allocator_may_return_null=1";
}
#endif

namespace lumeray::testing {

double GammaOfTestProfile(ProfileHandle profile) {
  return profile != nullptr ? *static_cast<const double*>(profile) : 2.2;
}

void ImageTest::SetUp() {
  SetProfileGammaEstimator(&GammaOfTestProfile);
  ASSERT_EQ(InitializeFixedTables(), 0);
}

void ImageTest::TearDown() {
  for (ImageRecord* image : images_) {
    ReleaseImage(image);
    delete image;
  }
  ReleaseGammaTables();
  SetProfileGammaEstimator(nullptr);
}

ImageRecord* ImageTest::MakeImage(int32_t mode, const ImageRect& data, const double& gamma,
                                  bool withMask, bool edgeSafe) {
  auto* image = new ImageRecord;
  images_.push_back(image);
  int result = -1;
  EXPECT_TRUE(
      CreateImage(image, data, data, mode, TestProfile(gamma), withMask, edgeSafe, &result));
  EXPECT_EQ(result, 0);
  return image;
}

void ImageTest::FillWithNoise(ImageRecord* image, uint32_t seed) {
  std::mt19937 random(seed);
  const int64_t pixels = image->dataWidth * image->dataHeight;
  const int64_t samples = pixels * kSamplesPerPixel;
  if (image->mode == kImageModeRgbFloat || image->mode == kImageModeGrayFloat) {
    // Mostly [0, 1], with values out of range on both sides: beyond 32 bits, infinities, NaN.
    std::uniform_real_distribution<float> value(-0.25f, 1.25f);
    const float inf = std::numeric_limits<float>::infinity();
    const float special[] = {std::nanf(""), inf, -inf, 1e30f, 300.0f, 2.0f, -1.0f};
    auto* data = static_cast<float*>(image->pixels.data);
    for (int64_t i = 0; i < samples; ++i) {
      data[i] = random() % 8 == 0 ? special[random() % std::size(special)] : value(random);
    }
  } else {
    auto* data = static_cast<uint8_t*>(image->pixels.data);
    for (int64_t i = 0; i < samples * image->bytesPerSample; ++i) {
      data[i] = static_cast<uint8_t>(random());
    }
  }
  if (ImageHasMask(*image)) {
    auto* mask = static_cast<uint8_t*>(image->mask.data);
    for (int64_t i = 0; i < pixels; ++i) mask[i] = static_cast<uint8_t>(random());
  }
}

}  // namespace lumeray::testing
