#include "effects/effects_pass.h"

#include <algorithm>
#include <climits>
#include <new>
#include <vector>

#include "analysis/presence_threshold.h"
#include "analysis/shape_operations.h"
#include "effects/color_saturation.h"
#include "effects/effect_renderers.h"
#include "effects/renderer_tables.h"
#include "effects/soft_flare_profile.h"
#include "effects/star_phase_set.h"
#include "image/blend.h"
#include "image/image_modes.h"
#include "image/image_ops.h"
#include "interface/filter_interface.h"
#include "run/run_status.h"

namespace lumeray {
namespace {

constexpr int32_t kFullQuantity = 100;
constexpr WorkingPixel kOpaqueBlack{0, 0, 0, kUnitFraction, kUnitFraction};

// A fraction of 1.0 from a percentage squared, clamped to 0..1.0.
uint32_t SquaredPercentFraction(int32_t percent) {
  const double fraction = std::clamp(percent, 0, kFullQuantity) / 100.0;
  return static_cast<uint32_t>(fraction * fraction * kUnitFractionScale);
}

bool SpikePassRuns(const ParameterSetBuffer& p) {
  return p.parameters.Intensity > 0 || p.parameters.SecondarySpikeIntensity > 0;
}
bool SoftFlarePassRuns(const ParameterSetBuffer& p) {
  return p.parameters.SoftFlareIntensity >= 1;
}

// Advances the progress; a cancel becomes the run result.
bool Advance(const EffectsPassSources& sources, uint32_t units) {
  if (sources.advance(sources.progressContext, units)) return true;
  sources.status->SetResult(kUserCanceledErr);
  return false;
}

WorkingPixel SourceColor(const LightSourceEntry& entry, uint32_t alpha, int32_t saturation,
                         bool grayHost) {
  const FractionColor c = SaturateColor({entry.red, entry.green, entry.blue}, saturation, grayHost);
  return {c.red, c.green, c.blue, alpha, kUnitFraction};
}

// A source to stamp and its alpha.
struct Stamp {
  uint32_t index;
  uint32_t strength;
  int phase;
};

// The sub-shape index a source's centre uses (fractions of four quarters and more carry into
// the whole pixel, as the stamp normalises them).
int PhaseOf(const LightSourceEntry& entry) {
  constexpr int32_t kPhaseMask = kQuarterPhases - 1;
  return SubShapeIndex(entry.xFraction & kPhaseMask, entry.yFraction & kPhaseMask);
}

// The visible sources whose strength (times the flare factor, when one is given) is above the
// presence threshold, by phase and then in the table's order.
std::vector<Stamp> StampsByPhase(const uint32_t* flareFactor, const ParameterSetBuffer& p,
                                 const EffectsPassSources& sources) {
  const uint32_t cut = QuantityCut(p.parameters.Quantity);
  const LightSourceEntry* entries = sources.table->data();
  std::vector<Stamp> stamps;
  for (uint32_t i = 0; i < sources.table->count; ++i) {
    const LightSourceEntry& entry = entries[i];
    if (!IsLightSourceVisible(entry, cut)) continue;
    const uint32_t strength =
        flareFactor == nullptr ? entry.strength : MultiplyFractions(entry.strength, *flareFactor);
    if (strength > sources.presenceThreshold) stamps.push_back({i, strength, PhaseOf(entry)});
  }
  std::stable_sort(stamps.begin(), stamps.end(),
                   [](const Stamp& a, const Stamp& b) { return a.phase < b.phase; });
  return stamps;
}

// The progress of one strip: its share of the band's units (the table's count), advanced as
// the stamps are done.
class StripProgress {
 public:
  StripProgress(const EffectsPassSources& sources, const EffectsPassRound& round, size_t stamps)
      : sources_(sources), stamps_(stamps) {
    const uint64_t n = sources.table->count;
    const uint64_t strips = std::max<uint32_t>(round.strips, 1);
    units_ = n * (round.strip + 1) / strips - n * round.strip / strips;
  }
  // After `done` stamps; false when the run should stop.
  bool Reached(size_t done) {
    const uint64_t target = stamps_ == 0 ? units_ : units_ * done / stamps_;
    if (target > advanced_) {
      if (!Advance(sources_, static_cast<uint32_t>(target - advanced_))) return false;
      advanced_ = target;
    }
    return !sources_.status->Stopped();
  }

 private:
  const EffectsPassSources& sources_;
  size_t stamps_;
  uint64_t units_ = 0;
  uint64_t advanced_ = 0;
};

// Stamps `shape` at every source of StampsByPhase.
bool StampSources(ImageRecord* effects, const ImageRect& clip, EffectShape* shape,
                  const uint32_t* flareFactor, const ParameterSetBuffer& p,
                  const EffectsPassSources& sources, const EffectsPassRound& round) {
  std::vector<Stamp> stamps;
  try {
    stamps = StampsByPhase(flareFactor, p, sources);
  } catch (const std::bad_alloc&) {
    sources.status->SetResult(kMemFullErr);
    return false;
  }
  StripProgress progress(sources, round, stamps.size());
  if (stamps.empty()) return progress.Reached(0);

  const LightSourceEntry* entries = sources.table->data();
  for (size_t done = 0; done < stamps.size(); ++done) {
    const LightSourceEntry& entry = entries[stamps[done].index];
    const WorkingPixel colour =
        SourceColor(entry, stamps[done].strength, p.parameters.ColorSaturation, sources.grayHost);
    const QuarterPixelPoint centre{entry.x, entry.xFraction, entry.y, entry.yFraction};
    if (!DrawShapeInto(effects, clip, shape, colour, centre, kBlendScreen,
                       sources.presenceThreshold, sources.shapeBuilding) ||
        !progress.Reached(done + 1)) {
      return false;
    }
  }
  return true;
}

QuarterPixelPoint CentreOf(const LightSourceEntry& entry) {
  constexpr int32_t kPhaseMask = kQuarterPhases - 1;
  return {entry.x + (entry.xFraction >> 2), entry.xFraction & kPhaseMask,
          entry.y + (entry.yFraction >> 2), entry.yFraction & kPhaseMask};
}

ImageRect Intersection(const ImageRect& a, const ImageRect& b) {
  return {std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right),
          std::min(a.bottom, b.bottom)};
}

int32_t Clamp32(int64_t v) {
  return static_cast<int32_t>(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX));
}

// StampSources by rows: the star from the run's phase set, the flare from its profile.
bool StampSourcesByRows(ImageRecord* effects, const ImageRect& clip, bool flare,
                        const uint32_t* flareFactor, const ParameterSetBuffer& p,
                        const EffectsPassSources& sources, const EffectsPassRound& round) {
  std::vector<Stamp> stamps;
  std::vector<int> phases;  // the distinct phases in stamping order
  try {
    stamps = StampsByPhase(flareFactor, p, sources);
    for (const Stamp& stamp : stamps) {
      if (phases.empty() || phases.back() != stamp.phase) phases.push_back(stamp.phase);
    }
  } catch (const std::bad_alloc&) {
    sources.status->SetResult(kMemFullErr);
    return false;
  }
  StripProgress progress(sources, round, stamps.size());
  if (stamps.empty()) return progress.Reached(0);

  const ImageRect area = Intersection(clip, effects->dataRect);
  const uint32_t visibleLevel = sources.presenceThreshold / 2;
  const LightSourceEntry* entries = sources.table->data();
  const auto colourOf = [&](const Stamp& stamp) {
    return SourceColor(entries[stamp.index], stamp.strength, p.parameters.ColorSaturation,
                       sources.grayHost);
  };
  if (flare) {
    for (size_t done = 0; done < stamps.size(); ++done) {
      StampSoftFlare(effects, *sources.softFlareProfile, CentreOf(entries[stamps[done].index]),
                     area, colourOf(stamps[done]), visibleLevel);
      if (!progress.Reached(done + 1)) return false;
    }
    return true;
  }
  // The star: each phase's sources drawn together, row by row (StampRowIndexedPhase), a few at
  // a time so that a cancel is still seen soon.
  constexpr size_t kStampsAtOnce = 16;
  std::vector<PhaseStamp> together;
  try {
    together.reserve(kStampsAtOnce);
  } catch (const std::bad_alloc&) {
    sources.status->SetResult(kMemFullErr);
    return false;
  }
  size_t phaseNumber = 0;
  for (size_t done = 0; done < stamps.size(); ++phaseNumber) {
    const int index = stamps[done].phase;
    const std::vector<int> later(phases.begin() + static_cast<ptrdiff_t>(phaseNumber) + 1,
                                 phases.end());
    const RowIndexedPhase* phase =
        sources.starPhases->Acquire(index, later, round.sharing, round.reach);
    if (phase == nullptr) return false;
    while (done < stamps.size() && stamps[done].phase == index) {
      together.clear();
      for (; done < stamps.size() && stamps[done].phase == index && together.size() < kStampsAtOnce;
           ++done) {
        const QuarterPixelPoint c = CentreOf(entries[stamps[done].index]);
        const ImageRect box = Intersection(
            area, {Clamp32(int64_t{c.x} + phase->left), Clamp32(int64_t{c.y} + phase->top),
                   Clamp32(int64_t{c.x} + phase->right), Clamp32(int64_t{c.y} + phase->bottom)});
        if (box.left < box.right && box.top < box.bottom) {
          together.push_back({c, box, colourOf(stamps[done])});
        }
      }
      try {
        StampRowIndexedPhase(effects, *phase, sources.starPhases->colours(), together,
                             visibleLevel);
      } catch (const std::bad_alloc&) {
        sources.status->SetResult(kMemFullErr);
      }
      if (!progress.Reached(done) || sources.status->Result() != 0) {
        sources.starPhases->Done(index, round.sharing);
        return false;
      }
    }
    sources.starPhases->Done(index, round.sharing);
  }
  return true;
}

}  // namespace

void StarPhaseReach(const ParameterSetBuffer& snapshot, const EffectsPassSources& sources,
                    const ImageRect& area, PhaseReach* reach) {
  *reach = PhaseReach{};
  reach->area = area;
  if (!SpikePassRuns(snapshot)) return;
  const LightSourceEntry* entries = sources.table->data();
  for (const Stamp& stamp : StampsByPhase(nullptr, snapshot, sources)) {
    const WorkingPixel colour = SourceColor(entries[stamp.index], stamp.strength,
                                            snapshot.parameters.ColorSaturation, sources.grayHost);
    reach->stamps[stamp.phase].push_back(
        {CentreOf(entries[stamp.index]),
         LeastShownEntryValue(colour, sources.presenceThreshold / 2)});
  }
}

std::vector<int> SpikePassPhases(const ParameterSetBuffer& snapshot,
                                 const EffectsPassSources& sources) {
  std::vector<int> phases;
  if (!SpikePassRuns(snapshot)) return phases;
  for (const Stamp& stamp : StampsByPhase(nullptr, snapshot, sources)) {
    if (phases.empty() || phases.back() != stamp.phase) phases.push_back(stamp.phase);
  }
  return phases;
}

uint64_t EffectsPassProgressUnits(const ParameterSetBuffer& snapshot, uint32_t sourceCount) {
  const uint64_t passes = (SpikePassRuns(snapshot) ? 1 : 0) + (SoftFlarePassRuns(snapshot) ? 1 : 0);
  return passes * sourceCount;
}

uint32_t QuantityCut(int32_t quantity) {
  if (quantity >= kFullQuantity) return 0;
  return SquaredPercentFraction(kFullQuantity - quantity);
}

bool IsLightSourceVisible(const LightSourceEntry& entry, uint32_t quantityCut) {
  if (entry.state == kLightSourceShown) return true;
  return entry.state == kLightSourceNormal && entry.brightness > quantityCut;
}

uint32_t SoftFlareFactor(int32_t softFlareIntensity) {
  return SquaredPercentFraction(softFlareIntensity);
}

bool RunEffectsPass(ImageRecord* effects, const ImageRect& clip, const ParameterSetBuffer& snapshot,
                    const EffectsPassSources& sources, const EffectsPassRound& round) {
  if (sources.status->AbortRequested()) return false;
  const ImageRect& data = effects->dataRect;
  const ImageRect fill{std::max(clip.left, data.left), std::max(clip.top, data.top),
                       std::min(clip.right, data.right), std::min(clip.bottom, data.bottom)};
  const bool spikes = round.part != EffectsPassPart::kSoftFlare;
  if (spikes && fill.left < fill.right && fill.top < fill.bottom) {
    FillImage(effects, kOpaqueBlack, fill);
  }

  const bool byRows =
      round.rowStamps && sources.starPhases != nullptr && sources.softFlareProfile != nullptr;
  if (spikes && SpikePassRuns(snapshot) &&
      !(byRows ? StampSourcesByRows(effects, clip, false, nullptr, snapshot, sources, round)
               : StampSources(effects, clip, sources.star, nullptr, snapshot, sources, round))) {
    return false;
  }
  if (round.part != EffectsPassPart::kSpikes && SoftFlarePassRuns(snapshot)) {
    const uint32_t factor = SoftFlareFactor(snapshot.parameters.SoftFlareIntensity);
    if (!(byRows ? StampSourcesByRows(effects, clip, true, &factor, snapshot, sources, round)
                 : StampSources(effects, clip, sources.softFlare, &factor, snapshot, sources,
                                round))) {
      return false;
    }
  }
  return !sources.status->Stopped();
}

}  // namespace lumeray
