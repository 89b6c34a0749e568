#include "image/image_create.h"

#include <atomic>
#include <limits>

#include "diagnostics/message_report.h"
#include "image/buffer.h"
#include "image/gamma_tables.h"
#include "image/image_modes.h"
#include "image/pixel_converters.h"
#include "image/pixel_tables.h"
#include "interface/filter_interface.h"

namespace lumeray {
namespace {

// Title of CreateImage's mode report (lower-case "error", as the module has always shown it).
constexpr const char* kTitleCreateImageMode = "Debug:  Unexpected error";

// A request no allocator can meet, for sizes that do not fit in 64 bits.
constexpr uint64_t kUnsatisfiableSize = std::numeric_limits<uint64_t>::max();

std::atomic<ProfileGammaEstimator> profileGammaEstimator{nullptr};

// (dataHeight + 1) * width * bytesPerPixel: the data rows and one spare row. Negative extents
// and products beyond 64 bits give kUnsatisfiableSize.
uint64_t BufferBytes(int64_t dataHeight, int64_t width, int64_t bytesPerPixel) {
  if (dataHeight < 0 || width < 0 || bytesPerPixel < 0) return kUnsatisfiableSize;
  uint64_t bytes = 0;
  if (__builtin_mul_overflow(static_cast<uint64_t>(dataHeight) + 1, static_cast<uint64_t>(width),
                             &bytes) ||
      __builtin_mul_overflow(bytes, static_cast<uint64_t>(bytesPerPixel), &bytes)) {
    return kUnsatisfiableSize;
  }
  return bytes;
}

void ReportAllocationFailure(const char* text) {
  MessageReport report(__LINE__, kMessageUser);
  report.Report(kIconError, kTitleErrorExiting, "%s", text);
}

// Profile, gamma and gamma tables, without choosing converters.
bool AttachProfile(ImageRecord* image, ProfileHandle profile, double gamma) {
  image->profile = profile;
  image->gamma = RoundImageGamma(gamma);
  const GammaTableSet tables = GetGammaTables(image->gamma);
  if (!tables) return false;
  image->gammaTables = tables;
  return true;
}

void DisableConverters(ImageRecord* image) {
  image->fetch = &FetchNoPixel;
  image->store = &StoreNoPixel;
}

}  // namespace

bool CreateImage(ImageRecord* image, const ImageRect& bounds, const ImageRect& dataRect,
                 int32_t mode, ProfileHandle profile, bool withMask, bool edgeSafe,
                 int* resultCode) {
  int result = kNoErr;
  const auto finish = [&](bool success) {
    if (resultCode != nullptr) *resultCode = result;
    return success;
  };

  image->bounds = bounds;
  image->dataRect = dataRect;
  image->boundsWidth = int64_t{bounds.right} - bounds.left;
  image->boundsHeight = int64_t{bounds.bottom} - bounds.top;
  image->dataWidth = int64_t{dataRect.right} - dataRect.left;
  image->dataHeight = int64_t{dataRect.bottom} - dataRect.top;
  image->mode = mode;
  image->samplesPerPixel = kSamplesPerPixel;
  image->bytesPerSample = LookUpBytesPerSample(mode);
  if (image->bytesPerSample == 0) {
    MessageReport report(__LINE__, kMessageDebug);
    report.Report(kIconError, kTitleCreateImageMode,
                  "CreateImage received an unexpected ImageMode (%d) that doesn't resolve to 1 "
                  "or 4 bytes per color.",
                  mode);
    result = kParamErr;
  }
  image->glPixelType = GlPixelTypeOfMode(mode);
  image->glPixelFormat = GlPixelFormatOfMode(mode);
  image->edgeSafe = edgeSafe ? 1 : 0;
  DisableConverters(image);

  // The fixed tables are normally built at module set-up; an image cannot work without them.
  if (InitializeFixedTables() != 0 ||
      !AttachProfile(image, profile, EstimateImageProfileGamma(profile))) {
    result = kMemFullErr;
    ReportAllocationFailure("Could not allocate memory for an image.");
    return finish(false);
  }

  const int pixelResult = ReallocateBuffer(
      BufferBytes(image->dataHeight, image->dataWidth, kSamplesPerPixel * image->bytesPerSample),
      &image->pixels);
  if (pixelResult != 0) {
    result = pixelResult;
    ReportAllocationFailure("Could not allocate memory for an image.");
    return finish(false);
  }

  if (withMask) {
    const int maskResult =
        ReallocateBuffer(BufferBytes(image->dataHeight, image->dataWidth, 1), &image->mask);
    if (maskResult != 0) {
      result = maskResult;
      ReportAllocationFailure("Could not allocate memory for an image mask.");
      return finish(false);
    }
  } else {
    DeallocateBuffer(&image->mask);
  }

  SelectImageConverters(image);
  return finish(true);
}

bool SetImageProfile(ImageRecord* image, ProfileHandle profile, double gamma) {
  if (!AttachProfile(image, profile, gamma)) return false;
  SelectImageConverters(image);
  return true;
}

void SelectImageConverters(ImageRecord* image) {
  const bool edgeSafe = image->edgeSafe != 0;
  const bool bgra = HasBgraLayout(*image);
  image->fetch = ChooseFetchConverter(image->mode, edgeSafe, bgra);
  image->store = ChooseStoreConverter(image->mode, edgeSafe, bgra);
  if (!ImageHoldsPixels(*image)) DisableConverters(image);
}

bool ImageHoldsPixels(const ImageRecord& image) {
  if (image.dataWidth <= 0 || image.dataHeight <= 0 || image.bytesPerSample <= 0) return false;
  if (image.pixels.data == nullptr) return false;
  // Compared by division: the product of absurd extents may not fit in 64 bits.
  const uint64_t bytesPerPixel = static_cast<uint64_t>(kSamplesPerPixel * image.bytesPerSample);
  return image.pixels.size / bytesPerPixel / static_cast<uint64_t>(image.dataWidth) >=
         static_cast<uint64_t>(image.dataHeight);
}

void ReleaseImage(ImageRecord* image) {
  DeallocateBuffer(&image->pixels);
  DeallocateBuffer(&image->mask);
  *image = ImageRecord{};
}

void SetProfileGammaEstimator(ProfileGammaEstimator estimator) {
  profileGammaEstimator.store(estimator, std::memory_order_release);
}

double EstimateImageProfileGamma(ProfileHandle profile) {
  const ProfileGammaEstimator estimator = profileGammaEstimator.load(std::memory_order_acquire);
  return estimator != nullptr ? estimator(profile) : kWorkingGamma;
}

}  // namespace lumeray
