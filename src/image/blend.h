// Blending a source pixel into a destination pixel, by four-character mode code.
//
//  'scrn' (kBlendScreen)      screen of the destination with the source's hue, mixed by the
//                             source's strength; alpha and mask of the destination stay.
//  'VTst' (kBlendEffectsOnly) the source replaces the destination, brightness above white moved
//                             into opacity.
//  'VTpa' (kBlendPaint)       red, green, blue = source channel x source alpha; alpha = 1.0;
//                             mask = the source's mask.
// Any other code reports "Blending mode not implemented." and leaves the destination as it is.
//
// Conventions: colours on the 24-bit linear scale (0xFFFFFF = white, larger is brighter than
// white), alpha and mask as 32-bit fractions (0xFFFFFFFE = 1.0); a fraction product is the
// 64-bit product shifted right by 32.
//
// Screen: m = the largest source channel; hue h = min(channel * 2^32 / m, 1.0) (all 1.0 when
// m = 0); strength k = source alpha x m; opacity o = k << 8, or 1.0 when k exceeds white. Each
// channel: t = white - (white - d) x (1.0 - h), then d = t x o + d x (1.0 - o). The ends of the
// mix are exact: opacity 0 leaves the destination unchanged (a black or transparent effect
// pixel changes nothing) and opacity 1.0 gives t itself (the truncating products would
// otherwise take one unit off at either end). A screen only brightens: a channel never ends
// below where it was, so neither the truncating products nor a destination above white (which
// the screen would pull down towards white; it is kept as it is) can darken it. Results never
// reach kLeaveUnchanged.
//
// CompositeScreen is the screen for compositing effects onto an image: the screened pixel with
// every value the screen left as it was (and alpha and mask) set to kLeaveUnchanged, so that
// storing it writes only the samples the effect changed.
//
// Threading contract: pure functions of their arguments; any thread.
#pragma once

#include <algorithm>
#include <cstdint>

#include "image/image_record.h"

namespace lumeray {

constexpr uint32_t FourCharCode(const char (&code)[5]) {
  return (static_cast<uint32_t>(static_cast<uint8_t>(code[0])) << 24) |
         (static_cast<uint32_t>(static_cast<uint8_t>(code[1])) << 16) |
         (static_cast<uint32_t>(static_cast<uint8_t>(code[2])) << 8) |
         static_cast<uint32_t>(static_cast<uint8_t>(code[3]));
}

inline constexpr uint32_t kBlendScreen = FourCharCode("scrn");
inline constexpr uint32_t kBlendEffectsOnly = FourCharCode("VTst");
inline constexpr uint32_t kBlendPaint = FourCharCode("VTpa");

inline constexpr uint32_t kFractionUnit = 0xFFFFFFFEu;  // 1.0
// Below this source brightness the effects-only mode copies the source as it is.
inline constexpr uint32_t kAboveWhite = 0x1000000u;
// The effects-only mode's divisor of the brightest channel.
inline constexpr uint32_t kEffectsOnlyDivisor = 65535;
// The 24-bit scale and the 32-bit fraction scale differ by this shift.
inline constexpr int kWhiteToFractionShift = 8;

inline uint32_t FractionProduct(uint32_t a, uint32_t b) {
  return static_cast<uint32_t>((uint64_t{a} * b) >> 32);
}

// The screen in parts, for a caller that blends one colour at many strengths: the hue depends
// only on the colour, the opacity on the strength too.
struct ScreenHue {
  uint32_t red, green, blue;
};
inline uint32_t ScreenOpacity(uint32_t alpha, uint32_t largestChannel) {
  const uint32_t k = FractionProduct(alpha, largestChannel);
  return k <= kFullIntensity ? k << kWhiteToFractionShift : kFractionUnit;
}
inline ScreenHue ScreenHueOf(const WorkingPixel& s) {
  const uint32_t m = std::max({s.red, s.green, s.blue});
  const auto hue = [m](uint32_t c) -> uint32_t {
    if (c == m) return kFractionUnit;  // c * 2^32 / m is 2^32 (or 0 / 0): clamped
    return static_cast<uint32_t>(std::min<uint64_t>((uint64_t{c} << 32) / m, kFractionUnit));
  };
  return {hue(s.red), hue(s.green), hue(s.blue)};
}
// Screens `d` with hue `h` at opacity `o` (not 0).
inline void ScreenMix(WorkingPixel* d, const ScreenHue& h, uint32_t o) {
  const auto screen = [o](uint32_t dc, uint32_t hc) -> uint32_t {
    const uint32_t base = std::min(dc, kFullIntensity);
    const uint32_t t = kFullIntensity - FractionProduct(kFullIntensity - base, kFractionUnit - hc);
    if (o == kFractionUnit) return std::max(dc, t);
    const uint64_t mixed = uint64_t{FractionProduct(t, o)} + FractionProduct(dc, kFractionUnit - o);
    return std::max(dc, static_cast<uint32_t>(std::min<uint64_t>(mixed, kFractionUnit)));
  };
  d->red = screen(d->red, h.red);
  d->green = screen(d->green, h.green);
  d->blue = screen(d->blue, h.blue);
}

inline void BlendScreen(WorkingPixel* d, const WorkingPixel& s) {
  const uint32_t o = ScreenOpacity(s.alpha, std::max({s.red, s.green, s.blue}));
  if (o == 0) return;
  ScreenMix(d, ScreenHueOf(s), o);
}

// A blended value to be stored: kLeaveUnchanged when the blend left it as it `was`.
constexpr uint32_t ChangedOrLeave(uint32_t now, uint32_t was) {
  return now == was ? kLeaveUnchanged : now;
}

inline void CompositeScreen(WorkingPixel* d, const WorkingPixel& s) {
  const WorkingPixel before = *d;
  BlendScreen(d, s);
  d->red = ChangedOrLeave(d->red, before.red);
  d->green = ChangedOrLeave(d->green, before.green);
  d->blue = ChangedOrLeave(d->blue, before.blue);
  d->alpha = kLeaveUnchanged;
  d->mask = kLeaveUnchanged;
}

inline void BlendEffectsOnly(WorkingPixel* d, const WorkingPixel& s) {
  const uint32_t m = std::max({s.red, s.green, s.blue});
  if (s.alpha == 0 || m < kAboveWhite) {
    *d = s;
    return;
  }
  const uint32_t alpha24 = s.alpha >> kWhiteToFractionShift;
  const uint32_t divisor = s.alpha > 255 ? alpha24 : 1;
  const uint32_t f = std::max(std::min(m / kEffectsOnlyDivisor, kFractionUnit / divisor), 1u);
  d->alpha = alpha24 * f;
  d->red = (s.red / f) << kWhiteToFractionShift;
  d->green = (s.green / f) << kWhiteToFractionShift;
  d->blue = (s.blue / f) << kWhiteToFractionShift;
  d->mask = s.mask;
}

inline void BlendPaint(WorkingPixel* d, const WorkingPixel& s) {
  d->red = FractionProduct(s.red, s.alpha);
  d->green = FractionProduct(s.green, s.alpha);
  d->blue = FractionProduct(s.blue, s.alpha);
  d->alpha = kFractionUnit;
  d->mask = s.mask;
}

using BlendRoutine = void (*)(WorkingPixel* destination, const WorkingPixel& source);

// The routine of a mode; null for an unknown code.
BlendRoutine FindBlendRoutine(uint32_t mode);

// Reports "Blending mode not implemented." (title "Debug:  Unexpected Error").
void ReportUnknownBlendingMode();

// Blends by mode; an unknown mode is reported and changes nothing.
void Blend(WorkingPixel* destination, const WorkingPixel& source, uint32_t mode);

}  // namespace lumeray
