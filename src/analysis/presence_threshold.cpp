#include "analysis/presence_threshold.h"

#include <atomic>
#include <cmath>

namespace lumeray {
namespace {

constexpr int32_t kDepthCode16Bit = 2;
constexpr int32_t kDepthCode32Bit = 4;
constexpr float kWhiteLevel = 16777215.0f;
constexpr float kFraction16Bit = 1.0f / 4096.0f;
constexpr float kFraction32Bit = 1.0f / 8192.0f;
constexpr float kFractionOther = 1.0f / 1024.0f;

}  // namespace

uint32_t PresenceThresholdForDepth(int32_t depthCode) {
  float fraction = kFractionOther;
  if (depthCode == kDepthCode16Bit) fraction = kFraction16Bit;
  if (depthCode == kDepthCode32Bit) fraction = kFraction32Bit;
  const float product = kWhiteLevel * fraction;
  return static_cast<uint32_t>(std::lround(product));
}

}  // namespace lumeray
