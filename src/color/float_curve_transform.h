// FloatCurveTransform: a float RGBA transform of the cache, evaluated here with the same
// arithmetic as Little CMS but with its curves' powers taken from FloatPowerTables.
//
// A float transform between two matrix-shaper RGB profiles is, once Little CMS has optimised it,
// a chain of per-channel parametric curves and 3x3 matrices evaluated in single precision. The
// chain is read from the transform itself (its device link holds a copy of the very stages) and
// evaluated stage by stage as Little CMS does: a matrix row is summed in double from the float
// inputs, in column order, plus its offset if it has one, and rounded to float once; a curve is
// evaluated in double and rounded to float. (Built without fused multiply-adds, as the library
// is: a build that fused them would fail the check below and keep Little CMS.) Curve
// kinds 1 (y = x^g), -1 (x = y^(1/g)) and -4 (the inverse of IEC 61966-2.1's curve) are
// evaluated from the tables; their results are exactly Little CMS's whenever the table settles
// the rounding (FloatOfShiftedPower), and otherwise, like every value outside (0, 2^100) and
// every value next to the -4 kind's break point, come from Little CMS's own curve evaluation.
// Alpha is left as it is, as the transforms leave it.
//
// Make returns nothing (callers keep cmsDoTransform) when the transform is not RGBA float on both
// sides, when its chain holds any other stage or curve kind, or when a fixed set of test pixels
// does not come out bit for bit as cmsDoTransform gives them.
//
// Threading contract: Make may run on any thread, also while others use the same transform;
// a made FloatCurveTransform is only read by Convert and may be shared by threads.
#pragma once

#include <lcms2.h>

#include <cstdint>
#include <memory>
#include <vector>

#include "image/float_power.h"

namespace lumeray {

class FloatCurveTransform {
 public:
  static std::unique_ptr<FloatCurveTransform> Make(cmsHTRANSFORM transform);

  FloatCurveTransform(const FloatCurveTransform&) = delete;
  FloatCurveTransform& operator=(const FloatCurveTransform&) = delete;
  ~FloatCurveTransform();

  // Converts `count` RGBA float pixels in place.
  void Convert(float* pixels, int64_t count) const;

 private:
  struct Curve {
    const cmsToneCurve* curve = nullptr;  // owned by the device link
    double offset = 0.0;                  // y = (x^power - offset) / divisor on the power branch
    double divisor = 1.0;
    double linearBelow = 0.0;  // kind -4: x / linearDivisor below this; ties go to Little CMS
    double linearDivisor = 1.0;
    double breakLow = 0.0, breakHigh = 0.0;  // kind -4: the values around the break point
    bool plain = false;                      // offset 0 and divisor 1: y = x^power
    float atZero = 0.0f;                     // Little CMS's value at +0 (black is common)
    FloatPowerTable table;
  };
  struct Stage {
    bool isMatrix = false;
    bool hasOffset = false;
    double matrix[9] = {};
    double offset[3] = {};
    std::vector<Curve> curves;  // three, for a curve stage
  };

  FloatCurveTransform() = default;
  static bool ReadCurve(const cmsToneCurve* curve, Curve* into);
  static void ApplyMatrix(const Stage& stage, float* v);
  // `power` is the curve table's TabledPower of `value`.
  static float EvaluateCurve(const Curve& curve, float value, double power);

  cmsHPROFILE link_ = nullptr;
  std::vector<Stage> stages_;
};

}  // namespace lumeray
