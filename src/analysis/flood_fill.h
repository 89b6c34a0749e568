// The flood fill that takes a large flat bright area out of the light source search.
//
// Starting at a pixel, it unselects (mask 0) the pixel and every pixel connected to it through
// 4-neighbours (visited in the order x+1, y+1, x-1, y-1) that lies in the analysis rectangle,
// has non-zero alpha, is still selected, and whose three channels are each within 1/8 of the
// start pixel's. Each pixel is painted at most once: a pixel already unselected is never taken
// again, so the fill ends on any area, however flat. Unselected pixels are never candidates of
// the search again. Colour and alpha stay as they are.
//
// Pending pixels wait on a stack that grows by kFloodFillGrowth entries through the counted
// allocator. When it cannot grow, "Unable to allocate memory for a flood fill list." is
// reported (title "Error - Exiting Plug-in"), the run result is set to the allocator's code and
// the fill stops. A cancelled run stops the fill early as well.
//
// Threading contract: the fill holds the flood-fill mutex for its whole work, so only one task
// writes into the analysis image at a time; readers of other tasks may see a pixel before or
// after it is unselected (mask bytes are accessed atomically).
#pragma once

#include <cstdint>

#include "analysis/analysis_image.h"
#include "platform/sync.h"

namespace lumeray {

inline constexpr uint32_t kFloodFillGrowth = 32768;

// Returns 0, or the allocator's code when the stack could not grow (reported to the user; the
// caller ends the run with it).
int FloodFillFlatArea(const AnalysisPixels& pixels, int32_t x, int32_t y, platform::Mutex* mutex,
                      CancelTest cancelled);

}  // namespace lumeray
