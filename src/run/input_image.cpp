#include "run/input_image.h"

#include "run/run_state.h"

namespace lumeray {

ImageRecord& InputImage() {
  return CurrentRun().inputImage;
}

int32_t InputDepthCode() {
  const ImageRecord& image = CurrentRun().inputImage;
  return image.bytesPerSample > 0 ? static_cast<int32_t>(image.bytesPerSample) : 1;
}

uint32_t ImageDiagonal() {
  return CurrentRun().imageDiagonal.load();
}
void SetImageDiagonal(uint32_t diagonal) {
  CurrentRun().imageDiagonal.store(diagonal);
}

}  // namespace lumeray
