// The presence threshold: the run-wide level (on the 24-bit linear scale) below which a light
// source or a stamp contribution counts as invisible. It is chosen by the depth code of the
// source image (bytes per sample): round(0xFFFFFF / 4096) = 4096 for 16-bit images,
// round(0xFFFFFF / 8192) = 2048 for 32-bit images, round(0xFFFFFF / 1024) = 16384 otherwise,
// each a single-precision product rounded to nearest.
//
// The run's threshold is AnalysisRunState::presenceThreshold, set by the light source analysis
// when it starts; it outlives the analysis (the renderers use it).
#pragma once

#include <cstdint>

namespace lumeray {

uint32_t PresenceThresholdForDepth(int32_t depthCode);

}  // namespace lumeray
