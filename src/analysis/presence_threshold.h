// The presence threshold: the run-wide level (on the 24-bit linear scale) below which a light
// source or a stamp contribution counts as invisible. It is chosen by the depth code of the
// source image (bytes per sample): round(0xFFFFFF / 4096) = 4096 for 16-bit images,
// round(0xFFFFFF / 8192) = 2048 for 32-bit images, round(0xFFFFFF / 1024) = 16384 otherwise,
// each a single-precision product rounded to nearest.
//
// Lifetime: set by the light source analysis when it starts; outlives it (the renderers use it).
//
// Threading contract: set on the data-initialisation thread before any section thread starts;
// read from any thread (atomically).
#pragma once

#include <cstdint>

namespace lumeray {

uint32_t PresenceThresholdForDepth(int32_t depthCode);

uint32_t PresenceThreshold();
void SetPresenceThreshold(uint32_t threshold);

}  // namespace lumeray
