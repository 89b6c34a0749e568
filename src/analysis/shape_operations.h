// The three operations on effect shapes (effect_shape.h): measuring the analysis image under a
// shape, and stamping a shape into an image; and the run-wide shape-building lock.
//
// A centre is a whole pixel plus quarter-pixel fractions; the sub-shape used is the one of the
// centre's fractions, placed at the centre pixel. Each operation first checks the shape type
// (a shape that is not SHAPE_IMAGE is reported as "<routine> detected shape type other than
// SHAPE_IMAGE:  %d" and fails), builds the sub-shape if needed (no builder or a failed build
// fails; the build itself reports a lack of memory) and fails on a built sub-shape without
// entries ("NULL SubShapeEntry pointer detected.").
//
// AnalyzeShapeFrom: over the entries whose pixel lies in the analysis rectangle, with values w
// and brightnesses b: mean = min((sum(w x b) << 24) / sum(w) << 8, 1.0) where w x b is a
// fraction product summed in 64 bits (0 without weight); deviation = the square root (single
// precision) of sum(w * (b - mean)^2) / sum(w) in double precision, b - mean taken as a signed
// 32-bit difference (0 without weight).
// SampleShapeFrom: the same weighted mean of red, green and blue; alpha and mask 1.0.
// DrawShapeInto: the stamp's box at the centre pixel, cut to the target's data rectangle and
// the clip rectangle; for every entry inside, source = (entry colour x colour, entry value x
// colour alpha) as fraction products with a full mask; entries whose brightest channel x alpha
// is below half the given presence threshold are skipped; the others are blended into the target
// pixel with the mode (blend.h). An unknown mode is reported once and nothing is drawn (false).
//
// Threading contract: AnalyzeShapeFrom and SampleShapeFrom build without a lock (their shapes
// belong to one analysis task). DrawShapeInto checks and builds under the lock it is given (the
// run's shape-building lock, effects_run_state.h), so several threads may stamp one shape at
// once; it reads built sub-shapes without the lock (a sub-shape is only freed between runs).
// Without a lock the caller must be the shape's only user. Stamps into one target must not
// overlap between threads. Create/DeleteShapeBuildingSection run on the UI thread at the start
// and the end of a run.
#pragma once

#include <cstdint>

#include "analysis/analysis_image.h"
#include "analysis/effect_shape.h"
#include "analysis/light_source_table.h"
#include "image/image_record.h"
#include "run/run_status.h"

namespace lumeray {

bool AnalyzeShapeFrom(const AnalysisPixels& image, EffectShape* shape,
                      const QuarterPixelPoint& centre, uint32_t* mean, float* deviation);

bool SampleShapeFrom(const AnalysisPixels& image, EffectShape* shape,
                     const QuarterPixelPoint& centre, WorkingPixel* colour);

bool DrawShapeInto(ImageRecord* target, const ImageRect& clip, EffectShape* shape,
                   const WorkingPixel& colour, const QuarterPixelPoint& centre, uint32_t mode,
                   uint32_t presenceThreshold, platform::CriticalSection* buildLock = nullptr);

// How many bands stamp a shape at once (the star phase set, star_phase_set.h): this caller is
// band `band` of `bands` (below kMaxSharingBands); bands = 0 means a single user.
struct ShapeSharing {
  uint32_t band = 0;
  uint32_t bands = 0;
  const RunStatus* status = nullptr;  // the run's: once stopped, a waiting band gives up waiting
};
inline constexpr uint32_t kMaxSharingBands = 64;

// Whether the sub-shape a centre uses is built (after a failed operation: false means its
// build failed, which for the measuring shapes is a lack of memory).
bool SubShapeBuiltFor(const EffectShape& shape, const QuarterPixelPoint& centre);

// The start and end of a run of the shapes: creating resets the low-memory warning (it may be
// shown again) and cannot fail; returns true.
bool CreateShapeBuildingSection();
void DeleteShapeBuildingSection();

}  // namespace lumeray
