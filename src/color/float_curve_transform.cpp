#include "color/float_curve_transform.h"

#include <lcms2_plugin.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>

namespace lumeray {
namespace {

constexpr int kChannels = 3;
constexpr int kPixelSamples = 4;
// Curves whose divisors come this close to 0 are left to Little CMS, which treats them apart.
constexpr double kSmallestDivisor = 1e-3;
// Values within this (relative) of a -4 curve's break point are left to Little CMS, so that the
// break point computed here need not be bit for bit the library's.
constexpr double kBreakMargin = 1e-9;
constexpr int kTestPixels = 64;

// Fills `pixels` (RGBA) with the fixed test set: black, white, the primaries and pseudo-random
// colours from bright to deep shadow, alpha 1.
void FillTestPixels(float* pixels) {
  static constexpr float kFixed[][3] = {{0, 0, 0}, {1, 1, 1},          {1, 0, 0},       {0, 1, 0},
                                        {0, 0, 1}, {0.5f, 0.5f, 0.5f}, {1.5f, 0.25f, 0}};
  uint32_t state = 12345;
  const auto next = [&state] {
    state = state * 1664525u + 1013904223u;
    return static_cast<float>(state >> 8) / 16777216.0f;
  };
  for (int i = 0; i < kTestPixels; ++i) {
    float* pixel = pixels + i * kPixelSamples;
    for (int c = 0; c < kChannels; ++c) {
      if (i < static_cast<int>(std::size(kFixed))) {
        pixel[c] = kFixed[i][c];
      } else {
        pixel[c] = next() * (i % 3 == 0 ? 1e-2f : (i % 3 == 1 ? 1e-4f : 1.0f));
      }
    }
    pixel[kChannels] = 1.0f;
  }
}

}  // namespace

FloatCurveTransform::~FloatCurveTransform() {
  if (link_ != nullptr) cmsCloseProfile(link_);
}

bool FloatCurveTransform::ReadCurve(const cmsToneCurve* curve, Curve* into) {
  const cmsInt32Number kind = cmsGetToneCurveParametricType(curve);
  const cmsFloat64Number* p = cmsGetToneCurveParams(curve);
  if (p == nullptr) return false;
  into->curve = curve;
  into->atZero = cmsEvalToneCurveFloat(curve, 0.0f);
  switch (kind) {
    case 1:  // y = x^g
      FillFloatPowerTable(p[0], &into->table);
      into->plain = true;
      return true;
    case -1:  // x = y^(1/g)
      if (std::fabs(p[0]) < kSmallestDivisor) return false;
      FillFloatPowerTable(1.0 / p[0], &into->table);
      into->plain = true;
      return true;
    case -4: {  // x = (y^(1/g) - b) / a above (a d + b)^g, y / c below
      if (std::fabs(p[0]) < kSmallestDivisor || std::fabs(p[1]) < kSmallestDivisor ||
          std::fabs(p[3]) < kSmallestDivisor) {
        return false;
      }
      const double base = p[1] * p[4] + p[2];
      const double breakPoint = base < 0.0 ? 0.0 : std::pow(base, p[0]);
      into->offset = p[2];
      into->divisor = p[1];
      into->linearDivisor = p[3];
      into->breakLow = breakPoint * (1.0 - kBreakMargin);
      into->breakHigh = breakPoint * (1.0 + kBreakMargin);
      FillFloatPowerTable(1.0 / p[0], &into->table);
      return true;
    }
    default:
      return false;
  }
}

// The three rows' sums side by side, each still in column order from +0.0 (which turns a -0
// product into +0, as the library's sum does), plus the offset if the stage has one.
inline void FloatCurveTransform::ApplyMatrix(const Stage& stage, float* v) {
  const double* m = stage.matrix;
  double sum[kChannels] = {0.0, 0.0, 0.0};
  for (int c = 0; c < kChannels; ++c) {
    const double in = v[c];
    sum[0] += in * m[c];
    sum[1] += in * m[kChannels + c];
    sum[2] += in * m[2 * kChannels + c];
  }
  for (int row = 0; row < kChannels; ++row) {
    if (stage.hasOffset) sum[row] += stage.offset[row];
    v[row] = static_cast<float>(sum[row]);
  }
}

inline float FloatCurveTransform::EvaluateCurve(const Curve& curve, float value, double power) {
  if (std::bit_cast<uint32_t>(value) == 0) return curve.atZero;
  const double x = value;
  if (x > 0.0 && x < curve.breakLow) return static_cast<float>(x / curve.linearDivisor);
  float result = 0.0f;
  if (curve.plain) {
    return FloatOfTabledPlainPower(x, power, &result) ? result
                                                      : cmsEvalToneCurveFloat(curve.curve, value);
  }
  if (!(x >= curve.breakLow && x <= curve.breakHigh) &&
      FloatOfTabledShiftedPower(x, power, curve.offset, curve.divisor, &result)) {
    return result;
  }
  return cmsEvalToneCurveFloat(curve.curve, value);
}

std::unique_ptr<FloatCurveTransform> FloatCurveTransform::Make(cmsHTRANSFORM transform) {
  if (transform == nullptr || cmsGetTransformInputFormat(transform) != TYPE_RGBA_FLT ||
      cmsGetTransformOutputFormat(transform) != TYPE_RGBA_FLT) {
    return nullptr;
  }
  std::unique_ptr<FloatCurveTransform> made(new FloatCurveTransform);
  made->link_ = cmsTransform2DeviceLink(transform, 4.3, 0);
  if (made->link_ == nullptr) return nullptr;
  const auto* chain = static_cast<const cmsPipeline*>(cmsReadTag(made->link_, cmsSigAToB0Tag));
  if (chain == nullptr || cmsPipelineInputChannels(chain) != kChannels ||
      cmsPipelineOutputChannels(chain) != kChannels) {
    return nullptr;
  }
  for (const cmsStage* stage = cmsPipelineGetPtrToFirstStage(chain); stage != nullptr;
       stage = cmsStageNext(stage)) {
    if (cmsStageInputChannels(stage) != kChannels || cmsStageOutputChannels(stage) != kChannels) {
      return nullptr;
    }
    Stage& step = made->stages_.emplace_back();
    if (cmsStageType(stage) == cmsSigMatrixElemType) {
      const auto* data = static_cast<const _cmsStageMatrixData*>(cmsStageData(stage));
      step.isMatrix = true;
      std::memcpy(step.matrix, data->Double, sizeof step.matrix);
      step.hasOffset = data->Offset != nullptr;  // added even when 0: -0 + 0 is +0
      if (step.hasOffset) std::memcpy(step.offset, data->Offset, sizeof step.offset);
    } else if (cmsStageType(stage) == cmsSigCurveSetElemType) {
      const auto* data = static_cast<const _cmsStageToneCurvesData*>(cmsStageData(stage));
      if (data->nCurves != kChannels) return nullptr;
      step.curves.resize(kChannels);
      for (int c = 0; c < kChannels; ++c) {
        if (!ReadCurve(data->TheCurves[c], &step.curves[c])) return nullptr;
      }
    } else {
      return nullptr;
    }
  }

  float expected[kTestPixels * kPixelSamples];
  float converted[kTestPixels * kPixelSamples];
  FillTestPixels(expected);
  std::memcpy(converted, expected, sizeof converted);
  cmsDoTransform(transform, expected, expected, kTestPixels);
  made->Convert(converted, kTestPixels);
  if (std::memcmp(expected, converted, sizeof converted) != 0) return nullptr;
  return made;
}

void FloatCurveTransform::Convert(float* pixels, int64_t count) const {
  // Pixels go through the chain a block at a time, so that each curve takes its table powers
  // for the whole block in one batch.
  constexpr int64_t kBlock = 64;
  float v[kBlock][kChannels];
  double x[kBlock];
  double powers[kBlock];
  for (int64_t first = 0; first < count; first += kBlock) {
    const int64_t n = std::min(kBlock, count - first);
    float* block = pixels + first * kPixelSamples;
    for (int64_t i = 0; i < n; ++i) std::memcpy(v[i], block + i * kPixelSamples, sizeof v[i]);
    for (const Stage& stage : stages_) {
      if (stage.isMatrix) {
        for (int64_t i = 0; i < n; ++i) ApplyMatrix(stage, v[i]);
        continue;
      }
      for (int c = 0; c < kChannels; ++c) {
        const Curve& curve = stage.curves[c];
        for (int64_t i = 0; i < n; ++i) x[i] = v[i][c];
        TabledPowers(curve.table, x, powers, n);
        for (int64_t i = 0; i < n; ++i) v[i][c] = EvaluateCurve(curve, v[i][c], powers[i]);
      }
    }
    for (int64_t i = 0; i < n; ++i) std::memcpy(block + i * kPixelSamples, v[i], sizeof v[i]);
  }
}

}  // namespace lumeray
