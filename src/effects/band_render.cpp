#include "effects/band_render.h"

#include <algorithm>
#include <atomic>
#include <climits>
#include <memory>
#include <new>

#include "analysis/stamp_targets.h"
#include "effects/effect_renderers.h"
#include "effects/effect_shape_parameters.h"
#include "effects/star_phase_set.h"
#include "image/blend.h"
#include "image/float_composite.h"
#include "image/image_create.h"
#include "interface/filter_interface.h"
#include "run/run_status.h"

namespace lumeray {
namespace {

ImageRect Intersection(const ImageRect& a, const ImageRect& b) {
  return {std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right),
          std::min(a.bottom, b.bottom)};
}

bool IsEmpty(const ImageRect& r) {
  return r.left >= r.right || r.top >= r.bottom;
}
bool EmptyBand(const PixelRect& b) {
  return b.top >= b.bottom || b.left >= b.right;
}

// Float effects images are drawn on working samples (four bytes each, like a float's) in their
// own buffer, so that a stamped entry costs no power function; the samples become floats once,
// when the pass is done. This rounds once per sample instead of once per stamp.
bool DrawsOnWorkingSamples(const ImageRecord& effects) {
  return (effects.mode == kImageModeRgbFloat || effects.mode == kImageModeGrayFloat) &&
         effects.bytesPerSample == BytesPerSampleOfMode(kImageModeWorkingRgb);
}

// The working view of a float image's buffer (shared, not owned).
ImageRecord WorkingView(const ImageRecord& effects) {
  ImageRecord view = effects;
  view.mode = kImageModeWorkingRgb;
  SelectImageConverters(&view);
  return view;
}

// Whether the band stamps a star too long for its phases to be kept (star_phase_set.h): each
// strip would then build every phase again, so the band is better drawn in one piece.
bool LongStar(const ParameterSetBuffer& snapshot, const EffectsPassSources& sources,
              const BandPlan& plan, const PhaseReach* reach) {
  if (!plan.rowStamps || sources.starPhases == nullptr || sources.softFlareProfile == nullptr) {
    return false;
  }
  try {
    return sources.starPhases->IsLong(SpikePassPhases(snapshot, sources), plan.sharing, reach);
  } catch (const std::bad_alloc&) {
    return false;  // the strips find the lack of memory again and report it
  }
}

// The effects image a worker draws its strips in, one after the other: its pixel block is
// kept from strip to strip (each strip fills what it draws on first), so the pages of a strip's
// image are not handed back to the system and faulted in again for the next.
class StripImage {
 public:
  StripImage() = default;
  StripImage(const StripImage&) = delete;
  StripImage& operator=(const StripImage&) = delete;
  ~StripImage() { ReleaseImage(&image_); }
  ImageRecord* get() { return &image_; }

 private:
  ImageRecord image_;
};

// Draws the effects of `rows` (one strip of a band, `round`) into `scratch`, made the strip's
// effects image, and composites it onto `output`. False when the image cannot be created or the
// pass fails.
bool DrawStrip(const ImageRect& rows, const EffectsPassRound& round,
               const ParameterSetBuffer& snapshot, const EffectsPassSources& sources,
               ImageRecord* output, StripImage* scratch) {
  ImageRecord& effects = *scratch->get();
  int code = 0;
  bool rendered = CreateImage(&effects, rows, rows, output->mode, sources.bandProfile,
                              /*withMask=*/false, /*edgeSafe=*/true, &code) &&
                  code == 0;
  if (rendered) {
    const bool working = DrawsOnWorkingSamples(effects);
    ImageRecord view = working ? WorkingView(effects) : ImageRecord{};
    rendered = RunEffectsPass(working ? &view : &effects, rows, snapshot, sources, round);
    if (rendered && working) EncodeWorkingAsFloat(effects);
  }
  if (rendered) {
    // A failed conversion is reported by the converter.
    if (sources.toHostProfile != nullptr) sources.toHostProfile(&effects, sources.hostProfile);
    CompositeEffectsBand(effects, rows, snapshot.parameters.EffectsOnly != 0, output);
  }
  if (!rendered) ReleaseImage(&effects);
  return rendered;
}

}  // namespace

void CompositeEffectsBand(const ImageRecord& effects, const ImageRect& band, bool effectsOnly,
                          ImageRecord* output) {
  const ImageRect area = Intersection(Intersection(band, output->dataRect), effects.dataRect);
  if (IsEmpty(area)) return;
  if (!effectsOnly && IsFloatImage(*output) && effects.mode == output->mode &&
      IsFloatImage(effects)) {
    ScreenFloatImage(effects, area, *output);
    return;
  }
  if (!effectsOnly) {
    // Screening reads the effect's colour and alpha and writes the output's colour only.
    auto* effectsImage = const_cast<ImageRecord*>(&effects);  // only read
    WithScreenStampTarget(effectsImage, [&](const auto& from) {
      WithScreenStampTarget(output, [&](const auto& to) {
        for (int32_t y = area.top; y < area.bottom; ++y) {
          for (int32_t x = area.left; x < area.right; ++x) {
            WorkingPixel effect;
            from.Fetch(&effect, x, y);
            if (effect.red == 0 && effect.green == 0 && effect.blue == 0) continue;
            // The output's colour is read once: the store writes only what the screen changed.
            WorkingPixel pixel;
            to.FetchColour(&pixel, x, y);
            const WorkingPixel before = pixel;
            CompositeScreen(&pixel, effect);
            to.StoreChanged(pixel, before, x, y);
          }
        }
      });
    });
    return;
  }
  const BlendRoutine blend = &BlendEffectsOnly;
  for (int32_t y = area.top; y < area.bottom; ++y) {
    for (int32_t x = area.left; x < area.right; ++x) {
      WorkingPixel effect;
      effects.fetch(&effects, &effect, x, y);
      WorkingPixel pixel;
      output->fetch(output, &pixel, x, y);
      blend(&pixel, effect);
      output->store(output, &pixel, x, y);
    }
  }
}

BandPlan FinalRenderBandPlan(uint32_t band, uint32_t bands, int32_t shortestBand,
                             uint64_t largestBandPixels) {
  const uint32_t drawing = std::max(bands, 1u);
  const uint64_t share = (kEffectsImageShare + drawing - 1) / drawing;
  const uint64_t capped = (largestBandPixels + kStripPixels - 1) / kStripPixels;
  const uint64_t dealt = bands > 1 ? kDealtStripsPerBand : 1;
  const auto strips = static_cast<uint32_t>(std::clamp<uint64_t>(
      std::max({share, capped, dealt}), 1, static_cast<uint64_t>(std::max(shortestBand, 1))));
  ShapeSharing sharing{band, bands};
  if (bands > kMaxSharingBands || band >= bands) sharing = {};
  return {strips, sharing, /*rowStamps=*/true};
}

bool RenderEffectsBand(const ImageRect& band, const ParameterSetBuffer& snapshot,
                       const EffectsPassSources& sources, ImageRecord* output,
                       const BandPlan& plan) {
  if (sources.status->Result() != 0) return true;
  if (IsEmpty(band)) {
    const uint64_t units = EffectsPassProgressUnits(snapshot, sources.table->count);
    if (units == 0 || sources.advance(sources.progressContext, static_cast<uint32_t>(units))) {
      return true;
    }
    sources.status->SetResult(kUserCanceledErr);
    return false;
  }
  ShapeSharing sharing = plan.sharing;
  sharing.status = sources.status;

  const int64_t height = int64_t{band.bottom} - band.top;
  auto strips = static_cast<uint32_t>(std::clamp<int64_t>(plan.strips, 1, height));
  // Where the shared phases' entries can show (none when it cannot be had: every entry is kept).
  std::unique_ptr<PhaseReach> reach;
  if (plan.rowStamps && sources.starPhases != nullptr && !IsEmpty(plan.area)) {
    try {
      reach = std::make_unique<PhaseReach>();
      StarPhaseReach(snapshot, sources, plan.area, reach.get());
    } catch (const std::bad_alloc&) {
      reach.reset();
    }
  }
  const bool longStar =
      (strips > 1 || plan.deal != nullptr) && LongStar(snapshot, sources, plan, reach.get());
  StripImage scratch;
  if (plan.deal != nullptr && !longStar) {
    StripDeal::Strip taken{};
    while (plan.deal->Next(&taken)) {
      if (!DrawStrip(taken.rows, {taken.strip, taken.strips, sharing, plan.rowStamps, reach.get()},
                     snapshot, sources, output, &scratch)) {
        return false;
      }
    }
    return true;
  }
  if (longStar) strips = 1;
  for (uint32_t strip = 0; strip < strips; ++strip) {
    const ImageRect rows{band.left, static_cast<int32_t>(band.top + height * strip / strips),
                         band.right,
                         static_cast<int32_t>(band.top + height * (strip + 1) / strips)};
    if (!DrawStrip(rows, {strip, strips, sharing, plan.rowStamps, reach.get()}, snapshot, sources,
                   output, &scratch)) {
      return false;
    }
  }
  return true;
}

StripDeal::StripDeal(const std::vector<PixelRect>& split) {
  for (const PixelRect& b : split) {
    if (EmptyBand(b)) continue;
    if (bands_.empty()) stripsPerBand_ = FinalRenderBandPlanIn(b, split).strips;
    bands_.push_back({b.left, b.top, b.right, b.bottom});
  }
}

bool StripDeal::Next(Strip* strip) {
  const size_t taken = next_.fetch_add(1, std::memory_order_relaxed);
  if (taken >= count()) return false;
  const ImageRect& band = bands_[taken / stripsPerBand_];
  const auto index = static_cast<uint32_t>(taken % stripsPerBand_);
  const int64_t height = int64_t{band.bottom} - band.top;
  const uint32_t strips = stripsPerBand_;
  strip->rows = {band.left, static_cast<int32_t>(band.top + height * index / strips), band.right,
                 static_cast<int32_t>(band.top + height * (index + 1) / strips)};
  strip->strip = index;
  strip->strips = strips;
  return true;
}

BandPlan FinalRenderBandPlanIn(const PixelRect& band, const std::vector<PixelRect>& split,
                               StripDeal* deal) {
  if (EmptyBand(band)) return {};
  uint32_t bands = 0, index = 0;
  int32_t shortest = INT32_MAX;
  uint64_t largest = 0;
  ImageRect area{INT32_MAX, INT32_MAX, INT32_MIN, INT32_MIN};
  for (const PixelRect& b : split) {
    if (EmptyBand(b)) continue;
    area = {std::min(area.left, b.left), std::min(area.top, b.top), std::max(area.right, b.right),
            std::max(area.bottom, b.bottom)};
    if (b.top == band.top && b.left == band.left) index = bands;
    shortest = std::min(shortest, b.bottom - b.top);
    largest = std::max(largest,
                       uint64_t(int64_t{b.bottom} - b.top) * uint64_t(int64_t{b.right} - b.left));
    ++bands;
  }
  BandPlan plan = FinalRenderBandPlan(index, bands, shortest, largest);
  plan.area = area;
  plan.deal = deal;
  return plan;
}

}  // namespace lumeray
