// Refinements of a light source's centre and radius by the contrast of rings and disks.
//
// Every analysis task owns kMeasuringShapeCount disk and ring shapes, shape i of radius
// i * 0.25 pixels (radii up to 127.75). The ring contrast of a shape at a centre is
// mean - 2 x deviation of AnalyzeShapeFrom, or 0 when 2 x deviation exceeds the mean (floats).
//
// Centre refinement (centre, radius r): ring k = trunc(r / 0.25); nothing changes when
// k >= 512 or the analysis fails. Up to 4 rounds, each trying the 8 neighbours of the centre
// one quarter pixel away (in the search's direction order, carrying into the whole pixel) and
// moving to the one with the largest ring contrast above the current one + 1e-6 (the earlier
// direction wins a tie); stops when none is better. Quarter-pixel steps are what measure a
// light source to a quarter pixel: the whole-pixel centre it starts from is the rounded
// estimate of the radial profile.
//
// Radius refinement (centre, radius r): up to 6 rounds with k = max(trunc(r / 0.25), 1):
// inner = contrast of disk k / 2 + 1, middle = of ring k, outer = of ring 2k (stop when an index
// reaches 512; contrasts of unchanged indices are reused). When inner > outer, with
// delta = inner - outer: middle > inner - 0.27 delta grows r by 0.125 (only while r < 96);
// otherwise inner - 0.45 delta > middle shrinks r by 0.125, unless r < 0.25 or r grew before
// in this call (then it stops). Stops when a round changes nothing.
//
// Centroid centre (centre, radius r): the light source's brightness above the level of its
// surroundings (the mean along ring round(4 (r + 2.5))), weighted by disk round(4 (r + 1.5)),
// has its centroid taken relative to the exact centre; the centre moves to the nearest quarter
// pixel of that centroid when it lies within one pixel on both axes. Only the light source's
// own pixels count: those within r / 2 of the centre, and further out those reached from the
// centre without the brightness rising by more than 1/16 of the source's height above its
// surroundings over the darkest pixel passed on the way (a neighbouring highlight that touches
// this one lies beyond such a rise and would otherwise pull the centre towards it). The ring
// contrast of the thin rings is sampled by pixels that fall differently at every phase, which
// leaves small light sources a quarter pixel or more off; the centroid of a symmetric highlight is
// where it is.
//
// All return whether they changed something. A sub-shape that cannot be built (lack of memory)
// stops them and sets *error to the allocator's code.
//
// Threading contract: the shapes belong to the calling task; the image is only read.
#pragma once

#include <cstdint>

#include "analysis/analysis_image.h"
#include "analysis/effect_shape.h"
#include "analysis/light_source_table.h"
#include "interface/filter_interface.h"

namespace lumeray {

inline constexpr int kMeasuringShapeCount = 512;  // trunc(96 / 0.25 + 128)
inline constexpr float kMeasuringRadiusStep = 0.25f;
inline constexpr float kLargestLightSourceRadius = 96.0f;

struct MeasuringShapes {
  EffectShape* disks;  // kMeasuringShapeCount each
  EffectShape* rings;
};

enum class ShapeMeasure { kMeasured, kFailed, kOutOfMemory };

// The weighted mean and deviation of a measuring shape (AnalyzeShapeFrom), telling a failed
// build (lack of memory) apart from other failures.
ShapeMeasure MeasureShape(const AnalysisPixels& image, EffectShape* shape,
                          const QuarterPixelPoint& centre, uint32_t* mean, float* deviation);

ShapeMeasure RingContrast(const AnalysisPixels& image, EffectShape* shape,
                          const QuarterPixelPoint& centre, float* contrast);

// The shape index of a radius: trunc(radius / 0.25).
int MeasuringIndex(float radius);

bool RefineCentre(const AnalysisPixels& image, const MeasuringShapes& shapes,
                  QuarterPixelPoint* centre, float radius, int* error);

bool RefineRadius(const AnalysisPixels& image, const MeasuringShapes& shapes,
                  const QuarterPixelPoint& centre, float* radius, int* error);

bool RefineCentreByCentroid(const AnalysisPixels& image, const MeasuringShapes& shapes,
                            QuarterPixelPoint* centre, float radius, int* error);

// Moves a centre by (dx, dy) quarter pixels, carrying into the whole pixel.
QuarterPixelPoint MoveByQuarters(const QuarterPixelPoint& centre, int32_t dx, int32_t dy);

}  // namespace lumeray
