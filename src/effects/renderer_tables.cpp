#include "effects/renderer_tables.h"

#include <array>
#include <cmath>

namespace lumeray {
namespace {

struct RendererTables {
  std::array<float, kAngleSteps> sine;
  std::array<uint32_t, kAngleSteps> halfSine;

  RendererTables() {
    for (int32_t i = 0; i < kAngleSteps; ++i) {
      const int32_t step = i < kHalfTurn ? i : i - kHalfTurn;
      const float radians = static_cast<float>(step) * kSinglePi / static_cast<float>(kHalfTurn);
      const float value = std::sin(radians);
      sine[i] = i < kHalfTurn ? value : -value;
      const double half = (1.0 + static_cast<double>(sine[i])) / 2.0 * kUnitFractionScale;
      halfSine[i] = static_cast<uint32_t>(std::llround(half));
    }
  }
};

const RendererTables& Tables() {
  static const RendererTables tables;
  return tables;
}

}  // namespace

const float* SineTable() {
  return Tables().sine.data();
}
const uint32_t* HalfSineTable() {
  return Tables().halfSine.data();
}
void BuildRendererTables() {
  Tables();
}

}  // namespace lumeray
