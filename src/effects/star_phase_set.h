// The star's sixteen phases for one render, each built at most once and kept in row-indexed form
// (row_indexed_phase.h) until the render ends, so that every strip of every band stamps from
// the same builds.
//
// A band asks for the phases it stamps in its order. The first to ask for an unbuilt phase
// builds it from the star shape's parameters (star_builder.h BuildStarPhaseRowsInTwo; the
// shape's sub-shapes are not used): the first build through an array of every entry, the later
// ones in place from the counts of entries by row of the builds before (phase_row_slots.h). A
// band that asks for a phase another band is building builds the first unbuilt phase it will need
// later meanwhile (once the first build has given its counts), and waits only when there is none,
// so both workers build; the first build, which the others can only wait for, draws half its rays
// on a helper thread. A failed build (lack of memory, after the low-memory warning) fails
// every request for that phase.
//
// The phases are kept while they fit the set's byte budget. Once a build passes it (a very long
// star), the set turns bounded: a phase is freed as soon as every band sharing the render is done
// with it and none holds it (and built again for the next strip that needs it), one phase is
// built at a time and only while fewer than two are alive (a band ahead waits for the others to
// be done with the phase before), and a band no longer builds ahead while it waits, so only the
// phase the bands are stamping and one build's storage stay alive. Such a build is shared with a
// helper thread, split where the rays' entries of the first build halve, so that the waiting
// worker's core draws half of it.
//
// While the bands stamp a phase of a bounded set, the next phase they will need is built on a
// thread of the set's own as soon as the two-phase limit allows (the phase before is freed), so
// that the bands find it built instead of waiting for the first of them to build it. It uses a
// copy of the reach the bands gave.
//
// A band may first ask whether the star is long (IsLong): the first phase it stamps is built
// and the set judges from its size whether all the phases the band stamps would pass the budget.
// A long star turns the set bounded at once, so that no more phases are kept than the bands
// are stamping; the band then draws in one piece (band_render.h), each phase built once. The
// first answer holds for every band until the next Reset.
//
// A phase keeps only the entries some stamp can show (PhaseReach, when the bands give one): an
// entry that falls outside the area every strip stamps within, for every stamp of its phase, or
// lies below the least value each of those stamps can make visible, is never drawn, and is
// dropped as the phase's build closes up (phase_row_slots.h). On a large image a long star's
// spikes reach far past the image's edges, so this shrinks the kept phases without changing a
// drawn pixel.
//
// Threading contract: Reset and Release while no band renders (the renderers' binding section,
// effect_renderers.h; they wait for a build ahead to end); Acquire and Done from any band worker
// at once (an internal lock, never held while building or while another lock is taken; the
// build-ahead thread takes it like a band). Acquired phases stay valid until
// the next Reset or Release. The count guess is shared read-only by the builds that use it.
#pragma once

#include <condition_variable>
#include <memory>
#include <mutex>
#include <span>
#include <thread>
#include <vector>

#include "analysis/effect_shape.h"
#include "analysis/shape_operations.h"
#include "effects/phase_row_slots.h"
#include "effects/row_indexed_phase.h"

namespace lumeray {

// Where the entries of a star's phases can show: the area every strip of every band sharing the
// set stamps within (empty: unknown, every entry is kept), and per phase index the stamps that
// draw the phase, each with its centre and the least entry value its source can make visible
// (LeastShownEntryValue).
struct StampReach {
  QuarterPixelPoint centre{};
  uint32_t leastValue = 0;
};
struct PhaseReach {
  ImageRect area{};
  std::vector<StampReach> stamps[kSubShapeCount];
};

// The least entry value a stamp of `colour` can make visible at `visibleLevel`: no entry below it
// has a brightest channel x alpha that reaches the level, whatever its distance colour.
uint32_t LeastShownEntryValue(const WorkingPixel& colour, uint32_t visibleLevel);

// Drops from `phase` every entry that no stamp of `stamps` can show within `area` (above), in
// place, and shrinks its storage; its box and the order of the entries left are kept. False
// (the phase unchanged) when the bookkeeping memory cannot be had.
bool DropUnshownEntries(const ImageRect& area, std::span<const StampReach> stamps,
                        RowIndexedPhase* phase);

class StarPhaseSet {
 public:
  StarPhaseSet() = default;
  StarPhaseSet(const StarPhaseSet&) = delete;
  StarPhaseSet& operator=(const StarPhaseSet&) = delete;
  ~StarPhaseSet() { Release(); }

  // Forgets every phase; the phases will be built from `star`'s parameters and stamped with
  // `colours` (whose table must outlive the set's use).
  void Reset(EffectShape* star, const StampColours& colours, uint64_t budgetBytes);
  // Frees the phases and the count guess; nothing is built until the next Reset.
  void Release();

  // The phase of sub-shape index `index`, built if needed, held by band `sharing.band` of
  // `sharing.bands` (bands = 0: a single user; the phase is then never freed) until Done;
  // `later` lists the indices this band needs after it. Null (and not held) when its build
  // failed, or when `sharing.stopped` says the run has ended before it was built.
  // A phase built here keeps only the entries `reach` (when given) says can show; every request
  // between Resets gives the same reach, or none.
  const RowIndexedPhase* Acquire(int index, const std::vector<int>& later,
                                 const ShapeSharing& sharing, const PhaseReach* reach = nullptr);
  // The band is done with the phase it acquired (for now).
  void Done(int index, const ShapeSharing& sharing);

  // Whether the star is long (above), judged from the first of `phases`, the phases the band
  // stamps in its order; false when that phase could not be built or the run has stopped. The
  // band holds no phase afterwards.
  bool IsLong(const std::vector<int>& phases, const ShapeSharing& sharing,
              const PhaseReach* reach = nullptr);

  const StampColours& colours() const { return colours_; }
  // How many phases were built since the last Reset; whether the budget was passed.
  int builds() const;
  bool bounded() const;

 private:
  enum class State { kUnbuilt, kBuilding, kBuilt, kFailed };
  enum class Length { kUnjudged, kShort, kLong };
  bool Build(std::unique_lock<std::mutex>& lock, int index, const PhaseReach* reach);
  // Build for a phase already marked building (and counted).
  bool BuildMarked(std::unique_lock<std::mutex>& lock, int index, const PhaseReach* reach);
  void TurnBounded();
  void FreeIfDone(int index, uint32_t bands);
  int AlivePhases() const;
  // Starts building the first unbuilt phase of `upcoming_` on the build-ahead thread when a
  // bounded set may (under the lock).
  void BuildAhead(const ShapeSharing& sharing, const PhaseReach* reach);

  mutable std::mutex mutex_;
  std::condition_variable changed_;
  EffectShape* star_ = nullptr;
  StampColours colours_;
  State states_[kSubShapeCount] = {};
  RowIndexedPhase phases_[kSubShapeCount];
  uint32_t holders_[kSubShapeCount] = {};
  uint64_t doneBy_[kSubShapeCount] = {};  // bands (one bit each) done with the phase
  uint64_t budget_ = 0;
  uint64_t kept_ = 0;  // bytes of the built phases
  bool bounded_ = false;
  Length length_ = Length::kUnjudged;
  std::shared_ptr<const RowCountGuess> guess_;  // the last build's entries by row and part
  uint32_t bands_ = 0;                          // the sharing bands' count of the last request
  int builds_ = 0;
  int building_ = 0;  // builds in progress
  // The build-ahead thread (joined by Release), whether it still runs, the phases the last
  // request said it needs later, and the copy of the reach it builds with.
  std::thread ahead_;
  bool aheadRunning_ = false;
  std::vector<int> upcoming_;
  std::shared_ptr<const PhaseReach> aheadReach_;
  bool reachGiven_ = false;
};

}  // namespace lumeray
