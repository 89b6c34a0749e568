#include "image/blend.h"

#include "diagnostics/message_report.h"

namespace lumeray {

BlendRoutine FindBlendRoutine(uint32_t mode) {
  switch (mode) {
    case kBlendScreen:
      return BlendScreen;
    case kBlendEffectsOnly:
      return BlendEffectsOnly;
    case kBlendPaint:
      return BlendPaint;
    default:
      return nullptr;
  }
}

void ReportUnknownBlendingMode() {
  MessageReport report(__LINE__, kMessageDebug);
  report.Report(kIconError, kTitleDebugUnexpectedError, "Blending mode not implemented.");
}

void Blend(WorkingPixel* destination, const WorkingPixel& source, uint32_t mode) {
  const BlendRoutine routine = FindBlendRoutine(mode);
  if (routine == nullptr) {
    ReportUnknownBlendingMode();
    return;
  }
  routine(destination, source);
}

}  // namespace lumeray
