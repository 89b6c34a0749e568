// Measuring one candidate pixel of the light source search: whether it is a light source, and
// its centre (to a quarter pixel), radius and colour, added to the task's local table.
//
// Positions are a whole pixel plus a quarter-pixel fraction 0..3. "Rounding a centre to a whole
// pixel" takes a fraction of 2 or 3 quarters up. In order:
//  1. Local maximum: no neighbour inside the analysis rectangle is brighter.
//  2. Not inside a known source of the local table (integer positions, squared radius).
//  3. Radial profile (radial_profile.h) and robust mean with tolerance 0 giving (m, d), then
//     with tolerance 1.2 d. A flat area is flooded out of the search (flood_fill.h) and the
//     candidate rejected.
//  4. Up to 12 rounds: centre from the radii (failure rejects); inside the rectangle it is
//     rounded to a whole pixel; stop when the pixel did not move, else measure again there.
//  5. Test 2 again at the final pixel.
//  6. Robust mean with tolerance 0 (no radius rejects), then with tolerance 0.75 d.
//  7. r = mean of the positive radii; 0 < r <= 96 or reject.
//  8. Sub-pixel centre from the radii (failure rejects).
//  9. Contrast test: with k = round(4 r) and j = k / 10 + 2 (k < 24) or k / 18 + 4, passes when
//     k < j; otherwise the ring means at k - j (inner), k + j + 3 and k + j + 11 (outer = the
//     smaller) must satisfy 11 (P - inner) < 10 (P - outer) with P the global peak, or for
//     k < 10 (inner - outer)(10 - k) > P. The centre must lie in the rectangle. Then the centre
//     is rounded to a whole pixel.
// 10. Radius and centre refinement (shape_refinement.h) alternately for at most trunc(r + 8)
//     rounds until neither changes or the estimate (centre and radius) comes back to one it
//     had after an earlier round (the two refinements then only take turns); unsettled after
//     all rounds with r > 8 rejects. Then the centroid centre puts the light source on the
//     nearest quarter pixel.
// 11. Colour: the mean colour along ring round(4 r), white when that ring does not exist.
// 12. Disc level L: (mean - 2 deviation) << 8 of disk round(4 r), 0 when 2 deviation exceeds
//     the mean, 0xFFFFFF when the disk does not exist or cannot be measured.
// 13. Intensity: q = L x L; p = sqrt(r / 96); for p < 1, t = round(p * 0xFFFFFFFE) x q and
//     intensity = t x t, else q x q (fraction products).
// 14. Each channel scaled so that the largest is 1.0 (all 1.0 when black), times the intensity.
// 15. The centre pixel must be selected (mask >= 0x7FFFFFFF) and have non-zero alpha.
// 16. Source coordinates: a reduced analysis maps its pixel centres onto the centres of the
//     source blocks they stand for: source quarters = round((4 x + fraction + 2) * scale - 2)
//     relative to the rectangles' corners; the radius is multiplied by the scale.
// 17. Added to the local table (merging with an overlapping entry).
// Failures of the measuring shapes, a lack of memory included, reject the candidate.
//
// Threading contract: one task's table and shapes; the image is read concurrently with other
// tasks and written only by the flood fill under its mutex.
#pragma once

#include <atomic>
#include <cstdint>

#include "analysis/analysis_image.h"
#include "analysis/light_source_table.h"
#include "analysis/master_light_source_table.h"
#include "analysis/shape_refinement.h"
#include "platform/sync.h"
#include "run/run_status.h"

namespace lumeray {

// What every task of one analysis shares (read only while the tasks run).
struct AnalysisContext {
  AnalysisPixels pixels;
  uint32_t globalPeak = 0;
  double scale = 1.0;
  ImageRect sourceRect{};
  platform::Mutex* floodFillMutex = nullptr;
  CancelTest cancelled = nullptr;                // the run's cancel flag
  std::atomic<int32_t>* progressDone = nullptr;  // rows searched (the analysis progress)
  RunStatus* status = nullptr;                   // the run's status

  // Cancelled, or the run result is set.
  bool Stopped() const;
};

// The source position of an analysis position (identity at scale 1).
QuarterPixelPoint ToSourcePosition(const AnalysisContext& context, const QuarterPixelPoint& p);
// The first source row of an analysis row.
int32_t ToSourceRow(const AnalysisContext& context, int32_t row);

// The candidate test of the search: a selected pixel with non-zero alpha whose brightness
// reaches 70 % of the global peak or one of whose channels reaches the peak.
bool IsCandidate(const AnalysisPixels& pixels, int32_t x, int32_t y, uint32_t globalPeak);

// Measures the candidate at (x, y); an accepted light source goes into `table`. Returns 0, or
// the allocator's code when the flood fill's stack could not grow (the run must end). A lack of
// memory anywhere else costs this candidate only: a measuring shape that cannot be built (the
// low-memory warning is shown) rejects it, a table that cannot grow leaves it out.
int MeasureLightSource(const AnalysisContext& context, const MeasuringShapes& shapes,
                       LightSourceTable* table, int32_t x, int32_t y);

}  // namespace lumeray
