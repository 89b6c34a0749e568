// The soft flare drawn from its radial profile: the flare's value depends only on a pixel's
// distance from the exact centre (soft_flare_builder.h), so a stamp evaluates it per pixel from
// a table by half distance index instead of reading stored entries. Its memory stays the table
// (a few hundred kilobytes at the longest Length) whatever the flare's area.
//
// A stamp covers what the sub-shape of soft_flare_builder.h holds: the centre pixel, and every
// pixel within the reach square (the reach limit of spike.h, in whole pixels) whose value
// reaches the presence threshold; each is blended in 'scrn' mode exactly as DrawShapeInto
// blends that sub-shape's entry (white entry colour; entries whose brightest channel x alpha is
// below half the threshold skipped). With Length 0 there is no flare.
//
// Threading contract: made by one thread, then read by any number of threads.
#pragma once

#include <cstdint>
#include <vector>

#include "analysis/light_source_table.h"
#include "effects/effect_shape_parameters.h"
#include "image/image_record.h"

namespace lumeray {

struct SoftFlareProfile {
  std::vector<uint32_t> values;    // by half distance index, all at or above the threshold
  std::vector<uint32_t> fromHere;  // the largest value at each index and beyond
  uint64_t farthestSquare = 0;     // the largest squared quarter distance within `values`
  int32_t reach = 0;               // the reach square's half side in pixels
  bool drawn = false;              // Length >= 1
};

SoftFlareProfile MakeSoftFlareProfile(int32_t length, const RenderImageFacts& image);

// Stamps the flare at the centre (pixel and quarter-pixel phase, fractions 0..3) inside `box`
// (absolute, already cut to the target and the clip). Only the disc the stamp's alpha keeps
// visible is visited: the pixels beyond it are those the blend would skip.
void StampSoftFlare(ImageRecord* target, const SoftFlareProfile& profile,
                    const QuarterPixelPoint& centre, const ImageRect& box,
                    const WorkingPixel& colour, uint32_t visibleLevel);

}  // namespace lumeray
