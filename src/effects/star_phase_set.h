// The star's sixteen phases for one render, each built at most once and kept in row-indexed form
// (row_indexed_phase.h) until the render ends, so that every strip of every band stamps from
// the same builds.
//
// A band asks for the phases it stamps in its order. The first to ask for an unbuilt phase
// builds it with the star shape's builder (into the shape's sub-shape of that phase, then
// compacted; the sub-shape's entry array is kept as a spare for the next build and the
// sub-shape left unbuilt). A band that asks for a phase another band is building builds the
// first unbuilt phase it will need later meanwhile, and waits only when there is none, so both
// workers build from the start. A failed build (lack of memory, after the low-memory warning)
// fails every request for that phase.
//
// Threading contract: Reset and Release while no band renders (the renderers' binding section,
// effect_renderers.h); Acquire and DropSpares from any band worker at once (an internal lock,
// never held while building or while another lock is taken). Acquired phases stay valid until
// the next Reset or Release.
#pragma once

#include <condition_variable>
#include <mutex>
#include <vector>

#include "effects/effect_shape.h"
#include "effects/row_indexed_phase.h"

namespace lumeray {

class StarPhaseSet {
 public:
  StarPhaseSet() = default;
  StarPhaseSet(const StarPhaseSet&) = delete;
  StarPhaseSet& operator=(const StarPhaseSet&) = delete;
  ~StarPhaseSet() { Release(); }

  // Forgets every phase; the phases will be built with `star`'s builder and stamped with
  // `colours` (whose table must outlive the set's use).
  void Reset(EffectShape* star, const StampColours& colours);
  // Frees the phases and spares.
  void Release();

  // The phase of sub-shape index `index`, built if needed; `later` lists the indices this band
  // needs after it. Null when its build failed, or when `stopped` (may be null) says the run has
  // ended before it was built.
  const RowIndexedPhase* Acquire(int index, const std::vector<int>& later, bool (*stopped)());

  // Frees the spare entry arrays no build is using.
  void DropSpares();

  const StampColours& colours() const { return colours_; }
  // How many phases were built since the last Reset.
  int builds() const;

 private:
  enum class State { kUnbuilt, kBuilding, kBuilt, kFailed };
  bool Build(std::unique_lock<std::mutex>& lock, int index);

  mutable std::mutex mutex_;
  std::condition_variable changed_;
  EffectShape* star_ = nullptr;
  StampColours colours_;
  State states_[kSubShapeCount] = {};
  RowIndexedPhase phases_[kSubShapeCount];
  std::vector<BufferDescriptor> spares_;
  int builds_ = 0;
};

}  // namespace lumeray
