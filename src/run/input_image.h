// The run's source image: the InputImage read from the host (its bounds and data rectangle are
// the filter rectangle, its mode the host's, its profile the host's), its depth code (bytes per
// sample: 1, 2 or 4) and its diagonal, all held by the run in progress (run_state.h). The final
// render changes it in place and writes it back.
//
// Threading contract: these accessors are the UI thread's (the run in progress, run_state.h). The
// image is written on the UI thread while it is read from the host and while it is written
// back; the analysis, render and preview threads read it in between through the RunState they
// are handed, never through these accessors.
#pragma once

#include <cstdint>

#include "image/image_record.h"

namespace lumeray {

ImageRecord& InputImage();

// Bytes per sample of the InputImage (1, 2 or 4); 1 before the image is read.
int32_t InputDepthCode();

// trunc(sqrt(width^2 + height^2) + 1.0) of the InputImage bounds, set once the image is read.
uint32_t ImageDiagonal();
void SetImageDiagonal(uint32_t diagonal);

}  // namespace lumeray
