// Comparing the image of a whole run with its committed reference image, with a tolerance that
// lets rounding changes through and catches a changed look.
//
// Differences are measured per channel in levels of the 8-bit scale: one level is 1/255 of the
// range, for 16-bit images too. An image matches its reference when size, channel count and
// sample format are the same and, in every channel,
//  * at most 0.1% of the samples are off by more than 2 levels, and
//  * the mean of what the differences exceed 1 level by stays below 0.05 levels.
// Rounding moves samples by a level, here and there or everywhere; a changed look moves a part
// of the image by more.
#pragma once

#include <OpenImageIO/imagebuf.h>
#include <OpenImageIO/imagebufalgo.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <sstream>
#include <string>

#include "host_image.h"
#include "support/test_images.h"

namespace lumeray::testing {

struct GoldenTolerance {
  double levels = 2.0;             // a sample off by more than this counts as differing
  double differingShare = 0.001;   // of a channel's samples that may differ
  double freeLevels = 1.0;         // what any sample may be off by without adding to the mean
  double meanExcessLevels = 0.05;  // the mean excess over `freeLevels` must stay below this
};

struct GoldenComparison {
  bool matches = false;
  std::string report;  // what differs, when the image does not match
};

// The image's samples as an ImageBuf of the same sample type (without the ICC profile).
inline OIIO::ImageBuf ToImageBuf(const HostImage& image) {
  OIIO::ImageSpec spec(image.width, image.height, image.Channels(),
                       SampleTypeDesc(image.sampleType));
  if (image.hasAlpha) spec.alpha_channel = image.Channels() - 1;
  OIIO::ImageBuf buffer(spec);
  buffer.set_pixels(OIIO::ROI::All(), spec.format, image.pixels.data());
  return buffer;
}

inline std::string DescribeSpec(const OIIO::ImageSpec& spec) {
  std::ostringstream text;
  text << spec.width << "x" << spec.height << ", " << spec.nchannels << " channels, "
       << spec.format;
  return text.str();
}

inline GoldenComparison CompareWithReference(const OIIO::ImageBuf& actual,
                                             const OIIO::ImageBuf& reference,
                                             const GoldenTolerance& tolerance = {}) {
  GoldenComparison result;
  const OIIO::ImageSpec& spec = actual.spec();
  const OIIO::ImageSpec& expected = reference.spec();
  if (spec.width != expected.width || spec.height != expected.height ||
      spec.nchannels != expected.nchannels || spec.format != expected.format) {
    result.report = "the image is " + DescribeSpec(spec) + "; the reference is " +
                    DescribeSpec(expected) + "\n";
    return result;
  }
  constexpr double kLevel = 1.0 / 255.0;
  // Half a step of the sample type keeps samples exactly at the limit inside it.
  const double halfStep = spec.format == OIIO::TypeDesc::UINT16 ? 0.5 / 65535.0 : 0.5 / 255.0;
  const auto limit = static_cast<float>(tolerance.levels * kLevel + halfStep);
  const auto differingLimit =
      static_cast<OIIO::imagesize_t>(tolerance.differingShare * spec.image_pixels());

  OIIO::ImageBuf excess(
      OIIO::ImageSpec(spec.width, spec.height, spec.nchannels, OIIO::TypeDesc::FLOAT));
  OIIO::ImageBufAlgo::absdiff(excess, actual, reference);
  OIIO::ImageBufAlgo::sub(excess, excess, static_cast<float>(tolerance.freeLevels * kLevel));
  OIIO::ImageBufAlgo::max(excess, excess, 0.0f);
  const OIIO::ImageBufAlgo::PixelStats excessStats = OIIO::ImageBufAlgo::computePixelStats(excess);

  result.matches = true;
  std::ostringstream report;
  report.precision(3);
  for (int c = 0; c < spec.nchannels; ++c) {
    OIIO::ROI channel = actual.roi();
    channel.chbegin = c;
    channel.chend = c + 1;
    const OIIO::ImageBufAlgo::CompareResults differences =
        OIIO::ImageBufAlgo::compare(actual, reference, limit, limit, channel);
    const double meanExcess = excessStats.avg[c] / kLevel;
    const bool ok = differences.nfail <= differingLimit && meanExcess < tolerance.meanExcessLevels;
    result.matches = result.matches && ok;
    report << "channel " << c << (ok ? "" : " DIFFERS") << ": " << differences.nfail
           << " samples off by more than " << tolerance.levels << " levels (" << differingLimit
           << " allowed); mean difference " << differences.meanerror / kLevel
           << " levels, mean excess over " << tolerance.freeLevels << " level " << meanExcess
           << " (must stay below " << tolerance.meanExcessLevels << ")";
    if (differences.maxerror > 0) {
      const int x = differences.maxx;
      const int y = differences.maxy;
      report << "; worst at (" << x << ", " << y << "): " << actual.getchannel(x, y, 0, c) / kLevel
             << " levels, the reference " << reference.getchannel(x, y, 0, c) / kLevel;
    }
    report << "\n";
  }
  if (!result.matches) result.report = report.str();
  return result;
}

// Writes the image as a PNG in its own sample type: to a temporary file in the destination's
// folder, then renamed over the destination.
inline bool WritePngAtomically(const OIIO::ImageBuf& image, const std::string& path,
                               std::string* error) {
  const std::string temporary = path + ".tmp" + std::to_string(getpid());
  OIIO::ImageBuf copy = image;
  copy.specmod().attribute("png:compressionLevel", 9);
  if (!copy.write(temporary, OIIO::TypeUnknown, "png")) {
    *error = temporary + ": " + copy.geterror();
    std::remove(temporary.c_str());
    return false;
  }
  std::error_code failure;
  std::filesystem::rename(temporary, path, failure);
  if (failure) {
    *error = path + ": " + failure.message();
    std::remove(temporary.c_str());
    return false;
  }
  return true;
}

}  // namespace lumeray::testing
