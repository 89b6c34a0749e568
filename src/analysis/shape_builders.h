// The disk and ring builders: the measuring shapes of the light source analysis.
//
// Both read the radius R (a float) from the shape's parameters and centre the shape at
// (x phase / 4, y phase / 4) pixels from the centre pixel. Distances are single precision.
// Both share the box: x from trunc(cx - R - kPixelDiscRadius) to
// trunc(cx + R + 1 + kPixelDiscRadius) (exclusive), likewise y, where kPixelDiscRadius (0.564)
// is the radius of a disc of area 1 (a pixel seen as a disc). Every entry is white.
//
//  Disk: every pixel at distance d < R + 0.5, value 1.0 when d <= R - 0.5, else
//        round((R + 0.5 - d) * 0xFFFFFFFE): a one-pixel linear edge.
//  Ring: 0.25 pixel wide, between r1 = R - 0.125 and r2 = R + 0.125; each pixel is the radial
//        interval [d - 0.564, d + 0.564]. For R <= 1, a pixel disc that contains the whole
//        inner circle gets (0.5 - max(r1, 0)^2 * pi) * sqrt 2. Otherwise a pixel interval that
//        overlaps [r1, r2] gets 2 * (the part of the ring it covers from one side), or 1.0 when
//        it covers the ring, and any other pixel none. A ring without pixels gets the single
//        entry (0, 0) with value round(0.25 * 0xFFFFFFFE).
//
// The builders evaluate only the pixels near the shape (whole interior runs of a disk are
// filled without a square root), with the same single-precision decisions as a plain scan of
// the box. They empty the sub-shape first and mark it built on success; on an allocation
// failure (low-memory warning shown) they leave it unbuilt and return false.
//
// Threading contract: as effect_shape.h (the caller owns or locks the shape).
#pragma once

#include "analysis/effect_shape.h"

namespace lumeray {

inline constexpr float kPixelDiscRadius = 0.564f;
inline constexpr float kRingHalfWidth = 0.125f;
// The square root of two as the analysis uses it, in single precision.
inline constexpr float kSquareRootOfTwo = 1.4142137f;

bool BuildDiskSubShape(EffectShape* shape, int xPhase, int yPhase);
bool BuildRingSubShape(EffectShape* shape, int xPhase, int yPhase);

// The box both builders give the sub-shape of a phase, relative to the centre pixel.
struct ShapeBox {
  int32_t left, top, right, bottom;
};
ShapeBox MeasuringShapeBox(float radius, int xPhase, int yPhase);

// The value of one pixel at distance d from the centre, or nothing (false) when the pixel is
// not part of the shape. Exposed for the builders' reference tests.
bool DiskValueAt(float radius, float distance, uint32_t* value);
bool RingValueAt(float radius, float distance, uint32_t* value);

// The single-precision distance of pixel offset (x, y) from the phase centre.
float PhaseDistance(int32_t x, int32_t y, int xPhase, int yPhase);

}  // namespace lumeray
