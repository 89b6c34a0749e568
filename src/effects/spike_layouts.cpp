#include "effects/spike_layouts.h"

#include <cmath>
#include <cstdlib>

#include "effects/parameter_set.h"
#include "effects/renderer_tables.h"
#include "effects/secondary_spike_table.h"

namespace lumeray {
namespace {

constexpr float kTwoToThe32 = 4294967296.0f;

// Amplitude scale of a ray pair's second ray, by the first ray's angle modulo 40.
float PairScale(int32_t angle) {
  switch (angle % 40) {
    case 0:
      return 1.5f;
    case 10:
      return 0.8f;
    case 20:
      return 0.3f;
    case 30:
      return 0.6f;
    default:
      return 1.0f;
  }
}

void StandardStar(const StarSettings& s, std::vector<SpikeRay>* rays) {
  const int32_t n = s.points;
  for (int32_t i = 0; i < n; ++i) rays->push_back({s.angle + kAngleSteps * i / n, s.amplitude});
}

void HollywoodStar(const StarSettings& s, std::vector<SpikeRay>* rays) {
  const int32_t n = s.points;
  const uint32_t a = s.amplitude;
  const uint32_t hundredth = a / 100;
  for (int32_t i = 0; i < n; ++i) {
    const int32_t b = s.angle + kAngleSteps * i / n - 14;
    if (i % 2 != 0) {
      rays->push_back({b + 148 / n, a});
      rays->push_back({b + 512 / n, hundredth * 70});
      rays->push_back({b + 3120 / n, a});
    } else {
      rays->push_back({b - 84 / n, hundredth * 25});
      rays->push_back({b + 524 / n, hundredth * 70});
      rays->push_back({b + 3156 / n, a});
      rays->push_back({b + 3504 / n, hundredth * 50});
    }
  }
}

void ReligiousCross(const StarSettings& s, std::vector<SpikeRay>* rays) {
  const int32_t q = s.points / 4;
  const int32_t m = s.points % 4;
  const uint32_t a = s.amplitude;
  const uint32_t arm = (a / 10) * 4;
  const int32_t counts[4] = {q + ((m == 1 || m == 2) ? 1 : 0), q + (m == 3 ? 1 : 0),
                             q + ((m == 2 || m == 3) ? 1 : 0), q + (m == 3 ? 1 : 0)};
  const uint32_t amplitudes[4] = {a / 2, arm, a >= 0x7FFFFFFFu ? kUnitFraction : 2 * a, arm};
  for (int32_t k = 0; k < 4; ++k) {
    const int32_t centre = s.angle + kQuarterTurn * k;
    const int32_t n = counts[k];
    for (int32_t j = 0; j < n; ++j) rays->push_back({centre - 5 * (n - 1) + 10 * j, amplitudes[k]});
  }
}

void HyperStar(const StarSettings& s, std::vector<SpikeRay>* rays) {
  const int32_t n = s.points;
  const auto table = SecondarySpikeTable();
  for (int32_t i = 0; i < (n + 1) / 2; ++i) {
    const uint64_t j = uint64_t{42} * static_cast<uint64_t>(i) / static_cast<uint64_t>(n);
    const SecondarySpike entry = table[j];
    const int32_t alpha = entry.angleOffset % kAngleSteps;
    const int32_t v = alpha % 20 == 0 ? alpha + 50 : alpha - 50;
    const int32_t k = v / kHalfTurn;
    const int32_t m = v - kHalfTurn * k;
    const int32_t delta = m > kQuarterTurn ? (2 * m - kHalfTurn) / 3 : (-2 * m) / 3;
    const int32_t theta = delta + kHalfTurn * k + s.angle + kQuarterTurn;
    const int32_t weight = (800 - std::abs(delta)) * (entry.weight - 11);
    float f = static_cast<float>(s.amplitude) * static_cast<float>(weight) / 5000.0f;
    rays->push_back({theta + 60, SingleToAmplitude(f)});
    f *= PairScale(v);
    rays->push_back({theta + 1860, SingleToAmplitude(f)});
  }
}

void NorthStar(const StarSettings& s, std::vector<SpikeRay>* rays) {
  const int32_t n = s.points;
  const uint32_t a = s.amplitude;
  for (int32_t i = 0; i < n; ++i) {
    const int32_t b = s.angle + kAngleSteps * i / n;
    rays->push_back({b, a});
    rays->push_back({b + 1512 / n, a / 4});
    rays->push_back({b + 2088 / n, a / 4});
  }
}

void VectorStar(const StarSettings& s, std::vector<SpikeRay>* rays) {
  const int32_t n = s.points;
  for (int32_t i = 0; i < n; ++i) {
    const int32_t theta = kAngleSteps * i / n;
    const int32_t k = theta / kHalfTurn;
    const int32_t m = theta - kHalfTurn * k;
    int32_t bent;
    if (m > 1200) {
      const double rest = kHalfTurn - m;
      bent = kHalfTurn * k + kHalfTurn -
             static_cast<int32_t>(std::trunc(std::pow(rest / 600.0, 1.393) * rest));
    } else {
      bent = kHalfTurn * k + static_cast<int32_t>(std::trunc(std::pow(m / 1200.0, 0.393) * m));
    }
    rays->push_back({bent + s.angle + 97, s.amplitude});
  }
}

void StarBurst(const StarSettings& s, std::vector<SpikeRay>* rays) {
  const int32_t n = s.points;
  const auto table = SecondarySpikeTable();
  for (int32_t i = 0; i < (n + 1) / 2; ++i) {
    const uint64_t j = uint64_t{42} * static_cast<uint64_t>(i) / static_cast<uint64_t>(n);
    const SecondarySpike entry = table[j];
    const int32_t u = (kAngleSteps - entry.angleOffset) % kAngleSteps;
    const int32_t v = u % 20 == 0 ? u + 70 : u - 45;
    float f = static_cast<float>(s.amplitude) * static_cast<float>(entry.weight - 11) * 0.06f;
    rays->push_back({v + s.angle, SingleToAmplitude(f)});
    f *= PairScale(v);
    rays->push_back({v + s.angle + kHalfTurn, SingleToAmplitude(f)});
  }
}

}  // namespace

uint32_t SingleToAmplitude(float amplitude) {
  if (!(amplitude > 0.0f)) return 0;
  if (amplitude >= kTwoToThe32) return kUnitFraction;
  return static_cast<uint32_t>(amplitude);
}

std::vector<SpikeRay> LayOutPrimarySpikes(const StarSettings& s) {
  std::vector<SpikeRay> rays;
  if (s.length <= 0 || s.points < 1) return rays;
  switch (s.effectType) {
    case EffectCode("efT0"):
      StandardStar(s, &rays);
      break;
    case EffectCode("efT1"):
      HollywoodStar(s, &rays);
      break;
    case EffectCode("efT2"):
      ReligiousCross(s, &rays);
      break;
    case EffectCode("efT3"):
      HyperStar(s, &rays);
      break;
    case EffectCode("efT4"):
      NorthStar(s, &rays);
      break;
    case EffectCode("efT5"):
      VectorStar(s, &rays);
      break;
    case EffectCode("efT6"):
      StarBurst(s, &rays);
      break;
    default:
      break;
  }
  return rays;
}

std::vector<SpikeRay> LayOutSecondarySpikes(const StarSettings& s) {
  std::vector<SpikeRay> rays;
  if (s.length <= 0 || s.secondaryIntensity < 1) return rays;
  const uint32_t hundredth = s.secondaryAmplitude / 100;
  for (const SecondarySpike& entry : SecondarySpikeTable()) {
    rays.push_back({s.angle + entry.angleOffset, static_cast<uint32_t>(entry.weight) * hundredth});
  }
  return rays;
}

}  // namespace lumeray
