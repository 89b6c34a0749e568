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

// The rows `rows` of `image` as an image of their own, sharing its pixels.
ImageRecord RowsOf(const ImageRecord& image, const ImageRect& rows) {
  ImageRecord part = image;
  const int64_t skipped = int64_t{rows.top} - image.dataRect.top;
  const uint64_t rowBytes =
      static_cast<uint64_t>(image.dataWidth * kSamplesPerPixel * image.bytesPerSample);
  part.dataRect.top = rows.top;
  part.dataRect.bottom = rows.bottom;
  part.dataHeight = int64_t{rows.bottom} - rows.top;
  part.pixels.data = static_cast<uint8_t*>(image.pixels.data) + skipped * rowBytes;
  part.pixels.size = static_cast<uint64_t>(part.dataHeight) * rowBytes;
  return part;
}

// One chunk of a band's tail (StripDeal): the soft flare over its rows, then their conversion
// and composite. False when the pass fails.
bool DrawTailChunk(const StripDeal::TailChunk& chunk, const ParameterSetBuffer& snapshot,
                   const EffectsPassSources& sources, ImageRecord* output) {
  const ImageRecord& effects = *chunk.effects;
  const EffectsPassRound round{chunk.chunk,        chunk.chunks, {},
                               /*rowStamps=*/true, nullptr,      EffectsPassPart::kSoftFlare};
  // The image's own record stays as the star left it (working samples of a float image, the
  // working profile); each chunk's rows change in a record of their own.
  const bool working = DrawsOnWorkingSamples(effects);
  ImageRecord drawn = working ? WorkingView(effects) : effects;
  if (!RunEffectsPass(&drawn, chunk.rows, snapshot, sources, round)) return false;
  ImageRecord rows = RowsOf(effects, Intersection(chunk.rows, effects.dataRect));
  if (working) EncodeWorkingAsFloat(rows);
  if (sources.toHostProfile != nullptr) sources.toHostProfile(&rows, sources.hostProfile);
  CompositeEffectsBand(rows, chunk.rows, snapshot.parameters.EffectsOnly != 0, output);
  return true;
}

// A long star's band with a deal: the star drawn in one piece into `scratch`, then the tail
// shared (StripDeal), taking chunks until none is left. False when the image cannot be created
// or a pass fails.
bool DrawBandSharingTail(const ImageRect& band, const EffectsPassRound& round,
                         const ParameterSetBuffer& snapshot, const EffectsPassSources& sources,
                         ImageRecord* output, StripDeal* deal, StripImage* scratch) {
  ImageRecord& effects = *scratch->get();
  int code = 0;
  bool drawn = CreateImage(&effects, band, band, output->mode, sources.bandProfile,
                           /*withMask=*/false, /*edgeSafe=*/true, &code) &&
               code == 0;
  if (drawn) {
    const bool working = DrawsOnWorkingSamples(effects);
    ImageRecord view = working ? WorkingView(effects) : ImageRecord{};
    EffectsPassRound spikes = round;
    spikes.part = EffectsPassPart::kSpikes;
    drawn = RunEffectsPass(working ? &view : &effects, band, snapshot, sources, spikes);
  }
  if (!drawn) {
    ReleaseImage(&effects);
    return false;
  }
  if (!deal->OpenTail(band, &effects)) {
    // Not a band of the deal: its tail is drawn here in one chunk.
    return DrawTailChunk({0, &effects, band, 0, 1}, snapshot, sources, output);
  }
  // This band's chunks come first; then the other open tails'.
  StripDeal::TailChunk chunk{};
  bool ok = true;
  while (ok && deal->NextTailChunk(band, &chunk)) {
    ok = DrawTailChunk(chunk, snapshot, sources, output);
    deal->EndTailChunk(chunk, ok);
  }
  // The others may still draw in the image: it is freed (with the scratch) once they are done.
  return deal->CloseTail(band) && ok;
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
  if (plan.deal != nullptr && longStar) {
    return DrawBandSharingTail(band, {0, 1, sharing, plan.rowStamps, reach.get()}, snapshot,
                               sources, output, plan.deal, &scratch);
  }
  if (plan.deal != nullptr) {
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
  tails_.resize(bands_.size());
}

size_t StripDeal::BandIndex(const ImageRect& band) const {
  for (size_t i = 0; i < bands_.size(); ++i) {
    const ImageRect& b = bands_[i];
    if (b.left == band.left && b.top == band.top && b.right == band.right &&
        b.bottom == band.bottom) {
      return i;
    }
  }
  return bands_.size();
}

bool StripDeal::OpenTail(const ImageRect& band, ImageRecord* effects) {
  const size_t index = BandIndex(band);
  if (index >= bands_.size() || effects == nullptr) return false;
  std::lock_guard lock(tailMutex_);
  Tail& tail = tails_[index];
  if (tail.effects != nullptr || tail.closed) return false;
  tail.effects = effects;
  tail.chunks = static_cast<uint32_t>(
      std::clamp<int64_t>(int64_t{band.bottom} - band.top, 1, int64_t{kTailChunks}));
  return true;
}

bool StripDeal::NextTailChunk(const ImageRect& own, TailChunk* chunk) {
  const size_t first = BandIndex(own);
  std::lock_guard lock(tailMutex_);
  for (size_t n = 0; n < tails_.size(); ++n) {
    const size_t index = first < tails_.size() ? (first + n) % tails_.size() : n;
    Tail& tail = tails_[index];
    if (tail.effects == nullptr || tail.closed || tail.failed || tail.taken >= tail.chunks) {
      continue;
    }
    const ImageRect& band = bands_[index];
    const int64_t height = int64_t{band.bottom} - band.top;
    const uint32_t at = tail.taken++;
    chunk->tail = index;
    chunk->effects = tail.effects;
    chunk->rows = {band.left, static_cast<int32_t>(band.top + height * at / tail.chunks),
                   band.right, static_cast<int32_t>(band.top + height * (at + 1) / tail.chunks)};
    chunk->chunk = at;
    chunk->chunks = tail.chunks;
    return true;
  }
  return false;
}

void StripDeal::EndTailChunk(const TailChunk& chunk, bool drawn) {
  {
    std::lock_guard lock(tailMutex_);
    Tail& tail = tails_[chunk.tail];
    ++tail.ended;
    if (!drawn) tail.failed = true;
  }
  tailEnded_.notify_all();
}

bool StripDeal::CloseTail(const ImageRect& band) {
  const size_t index = BandIndex(band);
  if (index >= bands_.size()) return false;
  std::unique_lock lock(tailMutex_);
  Tail& tail = tails_[index];
  tail.closed = true;
  tailEnded_.wait(lock, [&] { return tail.ended == tail.taken; });
  const bool all = !tail.failed && tail.taken == tail.chunks;
  tail.effects = nullptr;
  return all;
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
