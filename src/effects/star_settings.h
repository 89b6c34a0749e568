// The quantities a star is built from, derived once from a ParameterSetBuffer and the image:
// amplitudes as u32 fractions (0xFFFFFFFE = 1.0), slopes per pixel, lengths in percent.
//
//   amplitude a            trunc((Intensity / 100)^2.8 * 4294967294)
//   slope w                ((SpikeSharpness * 0.01)^3.5 + 0.003) * 0.5 * 10000 / D
//   secondary slope w2     ((SpikeSharpness * 0.008)^3.5 + 0.003) * 0.5 * 10000 / D
//   secondary amplitude a2 trunc((SecondarySpikeIntensity / 100)^2.8 * 4294967294)
//   secondary length L2    (Length * 90) / 100, integer
//
// All in double precision. D is the image diagonal in pixels. Values outside the sliders'
// ranges (a damaged or foreign block) are clamped to them first, so that no setting can divide
// by zero or overflow a fraction; a diagonal below 1 counts as 1.
//
// Threading contract: pure functions; any thread.
#pragma once

#include <cstdint>

#include "effects/parameter_set_buffer.h"

namespace lumeray {

struct StarSettings {
  uint32_t diagonal;           // D, pixels
  uint32_t presenceThreshold;  // contributions below it are not kept
  bool grayHost;               // the host image is grey: rainbow colours stay neutral
  uint32_t effectType;
  int32_t angle;                // A0, tenths of a degree
  int32_t points;               // N
  int32_t length;               // L, percent
  int32_t intensity;            // I, percent: the primary spikes' fall-off intensity
  uint32_t amplitude;           // a
  double slope;                 // w
  int32_t secondaryLength;      // L2
  int32_t secondaryIntensity;   // E
  uint32_t secondaryAmplitude;  // a2
  double secondarySlope;        // w2
  int32_t rainbowIntensity;     // R
  int32_t rainbowFrequency;     // F
};

StarSettings MakeStarSettings(const ParameterSetBuffer& parameters, uint32_t diagonal,
                              uint32_t presenceThreshold, bool grayHost);

// trunc((percent / 100)^2.8 * 4294967294).
uint32_t SpikeAmplitude(int32_t percent);
// (base + 0.003) * 0.5 * 10000 / D with base = (sharpness * scale)^3.5.
double SpikeSlope(int32_t sharpness, double sharpnessScale, uint32_t diagonal);

inline constexpr double kPrimarySharpnessScale = 0.01;
inline constexpr double kSecondarySharpnessScale = 0.008;

}  // namespace lumeray
