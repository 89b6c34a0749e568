// The work of one band of the final render: the band's effects image is created in the host's
// image mode and the working profile, filled by the effects pass, converted to the host's
// profile, and composited onto the output image (the InputImage) row by row from the top, left
// to right. A band may be drawn in strips of rows, each strip going through these steps.
//
// Compositing leaves the host's pixels alone wherever no effect reaches: in 'scrn' mode a pixel
// whose effects pixel has red, green and blue all 0 is neither fetched nor stored, so that the
// round trip through working pixels cannot crush deep shadows, clip values above white or take
// a unit off the image where nothing is drawn. With Effects Only every pixel is written ('VTst':
// the effects replace the image).
//
// Colour management gives the band images' working profile and the conversion to the host's
// profile (ConvertColorOf with HostProfile) in the pass's sources (effects_pass.h); without
// them band images have no profile (gamma 2.2) and stay as they are.
//
// The final render deals its strips: every band is cut into the same number of strips, and each
// worker, once its strip is drawn, takes the next strip not yet taken of any band (StripDeal), so
// that a worker whose band has less to draw helps with the others' instead of idling. A strip is
// drawn and composited by exactly one worker and draws the same whichever takes it.
//
// Threading contract: RenderEffectsBand runs on the band workers, each on its own band or on the
// strips it takes from the shared deal (strips do not overlap, so no two workers store to one
// output pixel). A StripDeal is made before the workers start and outlives them; Next and the
// tail functions from any worker (the tails under the deal's lock, never held while drawing).
#pragma once

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <vector>

#include "effects/effects_pass.h"
#include "effects/parameter_set_buffer.h"
#include "image/image_record.h"
#include "run/host_record.h"

namespace lumeray {

// How a band is drawn: in `strips` parts of rows one after the other (each with its own effects
// image, so that the effects images of all workers together stay a fraction of the image),
// sharing the shapes with the other bands drawing at once (`sharing`, shape_operations.h).
// `rowStamps`: stamp from the run's phase set and flare profile (effects_pass.h), which every
// band and strip shares, each phase built once; `area` (empty: unknown) holds every band that
// shares them, so that the phases keep only the entries that can show in it.
class StripDeal;
struct BandPlan {
  uint32_t strips = 1;
  ShapeSharing sharing{};
  bool rowStamps = false;
  ImageRect area{};
  StripDeal* deal = nullptr;  // when given, the strips are taken from it (below)
};

// The plan of the final render's band `band` of `bands` non-empty bands (the image's split over
// the workers) whose shortest band has `shortestBand` rows and whose largest band has
// `largestBandPixels` pixels: ceil(kEffectsImageShare / bands) strips, so that each worker's
// effects image holds about 1 / kEffectsImageShare of the image (two workers together a third),
// and more when a strip would pass kStripPixels, so that a strip's image does not grow with the
// image; at most one strip per row of the shortest band (every band draws as many strips, in
// step). With more than one band, at least kDealtStripsPerBand strips: the strips are dealt
// (StripDeal), and the last one a worker draws while the others have none left to take is then
// a small part of its work. More bands than kMaxSharingBands keep the shapes built.
inline constexpr uint32_t kEffectsImageShare = 6;
inline constexpr uint32_t kDealtStripsPerBand = 12;
inline constexpr uint64_t kStripPixels = uint64_t{1} << 20;  // 4 MiB of 8-bit effects pixels
BandPlan FinalRenderBandPlan(uint32_t band, uint32_t bands, int32_t shortestBand,
                             uint64_t largestBandPixels = 0);
// The plan of `band`, one of the bands of `split` (SplitIntoBands), taking its strips from
// `deal` when given; an empty band has the default plan (and takes no strips).
BandPlan FinalRenderBandPlanIn(const PixelRect& band, const std::vector<PixelRect>& split,
                               StripDeal* deal = nullptr);

// The strips of the non-empty bands of a split (SplitIntoBands), dealt in order (each band's
// strips from the top, the bands from the first) to whichever worker asks next. Every band has
// FinalRenderBandPlanIn's strips, so a strip's rows and share of its band's progress units are
// the ones its band's worker would have drawn.
//
// A band drawn in one piece (a long star) shares its tail instead: once its star is drawn, its
// worker opens the tail of its effects image, cut into kTailChunks row chunks (fewer in a band
// of fewer rows); each chunk is the soft flare, the conversion and the composite of its rows,
// and any worker of the deal takes the open tails' chunks (its own band's first), so that the
// workers end together instead of one drawing the flare of a band with more sources alone. The
// band's worker closes its tail before it frees the image: no chunk is taken after, and it
// waits for the chunks the others have taken.
inline constexpr uint32_t kTailChunks = 16;
class StripDeal {
 public:
  explicit StripDeal(const std::vector<PixelRect>& split);
  StripDeal(const StripDeal&) = delete;
  StripDeal& operator=(const StripDeal&) = delete;

  struct Strip {
    ImageRect rows;
    uint32_t strip;   // in its band
    uint32_t strips;  // of its band
  };
  // The next strip not yet taken; false when every strip has been.
  bool Next(Strip* strip);
  size_t count() const { return bands_.size() * stripsPerBand_; }

  struct TailChunk {
    size_t tail;             // the band's, for EndTailChunk
    ImageRecord* effects;    // the band's effects image, its star drawn
    ImageRect rows;          // the chunk's rows of the band
    uint32_t chunk, chunks;  // its place in the band's tail
  };
  // Opens `band`'s tail (a band of the split) on `effects`; false when it is not one.
  bool OpenTail(const ImageRect& band, ImageRecord* effects);
  // The next untaken chunk of an open tail, `own`'s first; false when none is left.
  bool NextTailChunk(const ImageRect& own, TailChunk* chunk);
  // The chunk is done (`drawn`: it drew without failing).
  void EndTailChunk(const TailChunk& chunk, bool drawn);
  // Closes `band`'s tail once every chunk taken has ended; whether every chunk was taken and
  // drawn.
  bool CloseTail(const ImageRect& band);

 private:
  struct Tail {
    ImageRecord* effects = nullptr;  // null: not open
    uint32_t chunks = 0, taken = 0, ended = 0;
    bool failed = false, closed = false;
  };
  size_t BandIndex(const ImageRect& band) const;

  std::vector<ImageRect> bands_;
  uint32_t stripsPerBand_ = 1;
  std::atomic<size_t> next_{0};
  std::mutex tailMutex_;  // guards tails_
  std::condition_variable tailEnded_;
  std::vector<Tail> tails_;  // one per band
};

// Renders and composites one band onto `output`; with the plan's deal, the strips it takes
// from the deal instead, until none is left. A band stamping by rows whose star is too long
// for its phases to be kept (StarPhaseSet::IsLong) is drawn in one piece whatever the plan's
// strips, so that each phase is built once and not again for every strip; with the plan's deal
// its tail is shared (StripDeal) and the worker then helps with the other bands' tails. False when
// a band image cannot be created or the effects pass fails (a cancel has then set the run result).
// An empty band draws nothing but advances the progress as its passes would
// (EffectsPassProgressUnits). The result does not depend on the plan.
bool RenderEffectsBand(const ImageRect& band, const ParameterSetBuffer& snapshot,
                       const EffectsPassSources& sources, ImageRecord* output,
                       const BandPlan& plan = {});

// Blends the effects image onto the output over the band (cut to both images' data), in 'VTst'
// mode when `effectsOnly`, else in 'scrn' mode skipping pixels without effect.
void CompositeEffectsBand(const ImageRecord& effects, const ImageRect& band, bool effectsOnly,
                          ImageRecord* output);

}  // namespace lumeray
