#include "run/input_image.h"

#include <atomic>

namespace lumeray {
namespace {

ImageRecord gInputImage;
std::atomic<uint32_t> gImageDiagonal{0};

}  // namespace

ImageRecord& InputImage() {
  return gInputImage;
}

int32_t InputDepthCode() {
  return gInputImage.bytesPerSample > 0 ? static_cast<int32_t>(gInputImage.bytesPerSample) : 1;
}

uint32_t ImageDiagonal() {
  return gImageDiagonal.load();
}
void SetImageDiagonal(uint32_t diagonal) {
  gImageDiagonal.store(diagonal);
}

}  // namespace lumeray
