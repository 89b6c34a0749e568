// The radial profile of a candidate light source: in each of the eight directions, how far the
// bright area reaches from a pixel, found by walking outward and testing for a falling edge;
// and the two estimates made from the eight radii (a robust mean and a centre).
//
// Radial profile at (x, y), reference brightness B0 and T = global peak / 85: each direction
// walks up to 201 steps. A step outside the analysis rectangle ends the direction with radius
// -1. From step 2 on, once the brightness has fallen below the running peak less 1/35 of it,
// three levels of the brightness history (single values, pairs or triples, wider as the walk
// gets longer) give two drops d1 and d2; an edge is found when d1 and d1 - d2 both exceed a
// threshold T' that shrinks with the step. The radius is then the step less the levels' offset
// plus the position of the half level between the running minimum and peak within the first
// drop. Diagonal steps are sqrt 2 pixels long: diagonal drops are scaled down and diagonal
// radii measured in pixels (the step count, less the offset, and the spacing each times
// sqrt 2). A direction that walks all 201 steps without an edge and without any channel
// leaving 1/8 of the start pixel's marks the candidate as part of a large flat area: every
// radius is -1 and `flatArea` is set (the caller floods the area out of the search).
//
// Robust mean of the radii with tolerance t: radii < 0 do not count; m = their mean; when
// t != 0 every counted radius farther than t from m is replaced by m and no longer counted; the
// rest give the mean and the root-mean-square distance from m. (-1, -1) when no radius counts;
// when every radius was replaced, (m, 0).
//
// Centre from radii: the east, west, south and north reaches are the means of the available
// radii (>= 0) among the axis radius and the two neighbouring diagonal radii / sqrt 2; the new
// centre is (x - W + E + 0.125, y - N + S + 0.125) split into a whole pixel and a quarter-pixel
// fraction trunc((v - floor v) * 4). False when a side of an axis has no radius (the other
// axis is still computed).
//
// Threading contract: pure functions of the image (read only) and their arguments.
#pragma once

#include <cstdint>

#include "analysis/analysis_image.h"
#include "analysis/directions.h"
#include "analysis/light_source_table.h"

namespace lumeray {

inline constexpr int kProfileMaximumSteps = 201;
inline constexpr float kNoRadius = -1.0f;

struct RadialProfile {
  float radii[kDirectionCount];
  bool flatArea;
};

RadialProfile MeasureRadialProfile(const AnalysisPixels& pixels, int32_t x, int32_t y,
                                   uint32_t globalPeak);

struct RobustMeanResult {
  float mean;
  float deviation;
};
RobustMeanResult RobustMean(float radii[kDirectionCount], float tolerance);

bool CentreFromRadii(const float radii[kDirectionCount], int32_t x, int32_t y,
                     QuarterPixelPoint* centre);

}  // namespace lumeray
