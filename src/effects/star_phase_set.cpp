#include "effects/star_phase_set.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <new>
#include <optional>
#include <system_error>

#include "analysis/worker_threads.h"
#include "effects/effect_shape_parameters.h"
#include "effects/spike_layouts.h"
#include "effects/star_builder.h"
#include "effects/star_settings.h"

namespace lumeray {
namespace {

constexpr auto kStopPollInterval = std::chrono::milliseconds(20);
constexpr size_t kCacheLine = 64;
// The phases a bounded set keeps built or building at once.
constexpr int kBoundedAlivePhases = 2;

uint64_t AllBands(uint32_t bands) {
  return bands >= kMaxSharingBands ? ~uint64_t{0} : (uint64_t{1} << bands) - 1;
}

bool Sharing(const ShapeSharing& sharing) {
  return sharing.bands != 0 && sharing.bands <= kMaxSharingBands && sharing.band < sharing.bands;
}

bool Stopped(const ShapeSharing& sharing) {
  return sharing.status != nullptr && sharing.status->Stopped();
}

// The stamps of a phase whose centre row plus a row offset falls in the area, as column-offset
// intervals, and the union of those intervals (for an entry that every one of them can show).
class RowReach {
 public:
  explicit RowReach(size_t stamps) {
    active_.reserve(stamps);
    sorted_.reserve(stamps);
    merged_.reserve(stamps);
  }

  void Start(const ImageRect& area, std::span<const StampReach> stamps, int32_t dy) {
    active_.clear();
    merged_.clear();
    mostLeast_ = 0;
    for (const StampReach& s : stamps) {
      const int64_t y = int64_t{s.centre.y} + dy;
      if (y < area.top || y >= area.bottom) continue;
      active_.push_back(
          {int64_t{area.left} - s.centre.x, int64_t{area.right} - s.centre.x, s.leastValue});
      mostLeast_ = std::max(mostLeast_, s.leastValue);
    }
    sorted_.assign(active_.begin(), active_.end());
    std::sort(sorted_.begin(), sorted_.end(),
              [](const Interval& a, const Interval& b) { return a.low < b.low; });
    for (const Interval& i : sorted_) {
      if (!merged_.empty() && i.low <= merged_.back().high) {
        merged_.back().high = std::max(merged_.back().high, i.high);
      } else {
        merged_.push_back(i);
      }
    }
  }

  bool Empty() const { return active_.empty(); }

  // Whether an entry at column offset dx with `value` shows for some stamp of the row.
  bool Shown(int64_t dx, uint32_t value) const {
    if (value >= mostLeast_) {
      for (const Interval& i : merged_) {
        if (dx >= i.low && dx < i.high) return true;
      }
      return false;
    }
    for (const Interval& i : active_) {
      if (value >= i.least && dx >= i.low && dx < i.high) return true;
    }
    return false;
  }

 private:
  struct Interval {
    int64_t low, high;
    uint32_t least;
  };
  std::vector<Interval> active_, sorted_, merged_;
  uint32_t mostLeast_ = 0;
};

// Half the star's rays, in drawing order (the primary spikes, then the secondary ones).
size_t HalfOfTheRays(const EffectShapeParameters& parameters) {
  const StarSettings settings =
      MakeStarSettings(parameters.snapshot, parameters.image.diagonal,
                       parameters.image.presenceThreshold, parameters.image.grayHost);
  return (LayOutPrimarySpikes(settings).size() + LayOutSecondarySpikes(settings).size()) / 2;
}

// The offsets from a stamp's centre pixel at which some stamp of any phase lands inside the
// reach's area (right and bottom exclusive); false when there is none to go by. The same for
// every phase, so that each build's entries by row still guess the next one's.
bool ShownOffsets(const PhaseReach& reach, ImageRect* shown) {
  const ImageRect& area = reach.area;
  if (area.left >= area.right || area.top >= area.bottom) return false;
  int64_t left = INT64_MAX, top = INT64_MAX, right = INT64_MIN, bottom = INT64_MIN;
  for (const std::vector<StampReach>& stamps : reach.stamps) {
    for (const StampReach& s : stamps) {
      left = std::min(left, int64_t{area.left} - s.centre.x);
      top = std::min(top, int64_t{area.top} - s.centre.y);
      right = std::max(right, int64_t{area.right} - s.centre.x);
      bottom = std::max(bottom, int64_t{area.bottom} - s.centre.y);
    }
  }
  if (left > right) return false;
  const auto clamp = [](int64_t v) {
    return static_cast<int32_t>(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX));
  };
  *shown = {clamp(left), clamp(top), clamp(right), clamp(bottom)};
  return true;
}

}  // namespace

uint32_t LeastShownEntryValue(const WorkingPixel& colour, uint32_t visibleLevel) {
  // An entry's channels are the source's times a distance colour, so at most the source's.
  return LeastVisibleValue(std::max({colour.red, colour.green, colour.blue}), colour.alpha,
                           visibleLevel);
}

namespace {

// The entries some stamp can show: the stamps whose centre row plus a row offset falls in the
// area show what RowReach says.
class UnshownEntries final : public PhaseEntryFilter {
 public:
  UnshownEntries(const ImageRect& area, std::span<const StampReach> stamps)
      : area_(area), stamps_(stamps), reach_(stamps.size()) {}
  void MarkRow(int32_t dy, std::span<const PhaseRun> runs, const uint32_t* values,
               uint8_t* keep) override {
    reach_.Start(area_, stamps_, dy);
    if (reach_.Empty()) return;
    ForEachRunEntry(runs, [&](uint32_t i, int32_t dx) { keep[i] = reach_.Shown(dx, values[i]); });
  }
  // Every row some stamp's centre row plus the row's offset puts in the area.
  bool RowsKept(int32_t* top, int32_t* bottom) const override {
    int64_t t = 0, b = 0;  // none without stamps
    for (size_t i = 0; i < stamps_.size(); ++i) {
      const int64_t y = stamps_[i].centre.y;
      t = i == 0 ? area_.top - y : std::min(t, area_.top - y);
      b = i == 0 ? area_.bottom - y : std::max(b, area_.bottom - y);
    }
    *top = static_cast<int32_t>(std::clamp<int64_t>(t, INT32_MIN + 1, INT32_MAX - 1));
    *bottom = static_cast<int32_t>(std::clamp<int64_t>(b, INT32_MIN + 1, INT32_MAX - 1));
    return true;
  }

 private:
  const ImageRect& area_;
  std::span<const StampReach> stamps_;
  RowReach reach_;
};

}  // namespace

bool DropUnshownEntries(const ImageRect& area, std::span<const StampReach> stamps,
                        RowIndexedPhase* phase) {
  if (phase->entryCount == 0 || phase->storage.data == nullptr) return true;
  std::optional<UnshownEntries> unshown;
  try {
    unshown.emplace(area, stamps);
    return KeepPhaseEntries(*unshown, phase);
  } catch (const std::bad_alloc&) {
    return false;
  }
}

void StarPhaseSet::Reset(EffectShape* star, const StampColours& colours, uint64_t budgetBytes) {
  Release();
  std::lock_guard lock(mutex_);
  bands_ = 0;
  star_ = star;
  colours_ = colours;
  budget_ = budgetBytes;
}

void StarPhaseSet::Release() {
  // No band renders now, so only the build-ahead thread can still take the lock.
  if (ahead_.joinable()) ahead_.join();
  std::lock_guard lock(mutex_);
  aheadRunning_ = false;
  upcoming_.clear();
  aheadReach_.reset();
  reachGiven_ = false;
  for (int i = 0; i < kSubShapeCount; ++i) {
    ReleaseRowIndexedPhase(&phases_[i]);
    states_[i] = State::kUnbuilt;
    holders_[i] = 0;
    doneBy_[i] = 0;
  }
  kept_ = 0;
  bounded_ = false;
  length_ = Length::kUnjudged;
  guess_.reset();
  builds_ = 0;
  // Until the next Reset nothing is built (the colours' table may be gone).
  star_ = nullptr;
  colours_ = StampColours{};
}

int StarPhaseSet::AlivePhases() const {
  int alive = 0;
  for (const State state : states_) alive += state == State::kBuilt || state == State::kBuilding;
  return alive;
}

bool StarPhaseSet::bounded() const {
  std::lock_guard lock(mutex_);
  return bounded_;
}

void StarPhaseSet::FreeIfDone(int index, uint32_t bands) {
  if (!bounded_ || states_[index] != State::kBuilt || holders_[index] != 0 || bands == 0) return;
  if ((doneBy_[index] & AllBands(bands)) != AllBands(bands)) return;
  kept_ -= phases_[index].storage.size;
  ReleaseRowIndexedPhase(&phases_[index]);
  states_[index] = State::kUnbuilt;
  doneBy_[index] = 0;
}

void StarPhaseSet::Done(int index, const ShapeSharing& sharing) {
  if (index < 0 || index >= kSubShapeCount) return;
  {
    std::lock_guard lock(mutex_);
    if (holders_[index] > 0) --holders_[index];
    if (Sharing(sharing)) {
      doneBy_[index] |= uint64_t{1} << sharing.band;
      FreeIfDone(index, sharing.bands);
      BuildAhead(sharing, nullptr);
    }
  }
  changed_.notify_all();
}

void StarPhaseSet::BuildAhead(const ShapeSharing& sharing, const PhaseReach* reach) {
  if (!bounded_) return;
  if (reach != nullptr && !reachGiven_) {
    reachGiven_ = true;
    try {
      aheadReach_ = std::make_shared<const PhaseReach>(*reach);
    } catch (const std::bad_alloc&) {
      aheadReach_.reset();
    }
  }
  // Without the bands' reach a build would keep every entry: the bands build it themselves.
  if ((reachGiven_ && aheadReach_ == nullptr) || aheadRunning_ || building_ > 0 ||
      star_ == nullptr || Stopped(sharing) || AlivePhases() >= kBoundedAlivePhases) {
    return;
  }
  int next = -1;
  for (const int candidate : upcoming_) {
    if (candidate >= 0 && candidate < kSubShapeCount && states_[candidate] == State::kUnbuilt) {
      next = candidate;
      break;
    }
  }
  if (next < 0) return;
  try {
    // A finished thread has left the lock for good, so it is joined here at once.
    if (ahead_.joinable()) ahead_.join();
    std::shared_ptr<const PhaseReach> copy = aheadReach_;
    // Marked building now, so that no band builds it meanwhile.
    states_[next] = State::kBuilding;
    ++building_;
    ++builds_;
    aheadRunning_ = true;
    ahead_ = std::thread([this, next, copy] {
      std::unique_lock lock(mutex_);
      BuildMarked(lock, next, copy.get());
      aheadRunning_ = false;
      changed_.notify_all();
    });
  } catch (const std::system_error&) {
    // No thread: the bands build it themselves.
    states_[next] = State::kUnbuilt;
    --building_;
    --builds_;
    aheadRunning_ = false;
  }
}

int StarPhaseSet::builds() const {
  std::lock_guard lock(mutex_);
  return builds_;
}

bool StarPhaseSet::Build(std::unique_lock<std::mutex>& lock, int index, const PhaseReach* reach) {
  states_[index] = State::kBuilding;
  ++building_;
  ++builds_;
  return BuildMarked(lock, index, reach);
}

bool StarPhaseSet::BuildMarked(std::unique_lock<std::mutex>& lock, int index,
                               const PhaseReach* reach) {
  const auto* parameters = static_cast<const EffectShapeParameters*>(star_->parameters);
  // Once a build has counted its entries by row, the next is built in place from that guess,
  // in the two parts of the guess's split. A bounded set builds one phase at a time, so the
  // other worker mostly waits for it: the second part is then drawn on a helper thread. So it
  // does for the first build, which the other workers can only wait for (nothing is built beside
  // a build without a guess): its rays are split in half by number.
  const std::shared_ptr<const RowCountGuess> guess = guess_;
  const bool shared = (bounded_ || guess == nullptr) && WorkerThreadCount() > 1;
  size_t split = guess != nullptr ? guess->splitRay : 0;
  if (guess == nullptr && shared && parameters != nullptr) split = HalfOfTheRays(*parameters);
  lock.unlock();
  // Each part's overflow list is written by its own thread (its count at every entry that
  // overflows, every entry of the first build): on lines of their own, not shared.
  struct alignas(kCacheLine) OwnLine {
    PackedSpikeEntries list;
  };
  OwnLine firstLine, secondLine;
  PackedSpikeEntries& first = firstLine.list;
  PackedSpikeEntries& second = secondLine.list;
  auto learned = std::make_shared<RowCountGuess>();
  RowIndexedPhase phase;
  // The spikes are walked only as far as some stamp can show them.
  ImageRect shown{};
  const bool clipped = reach != nullptr && ShownOffsets(*reach, &shown);
  // Unshown entries are dropped as the build closes up, before the phase joins the set.
  std::optional<UnshownEntries> unshown;
  if (reach != nullptr && reach->area.left < reach->area.right &&
      reach->area.top < reach->area.bottom) {
    try {
      unshown.emplace(reach->area, reach->stamps[index]);
    } catch (const std::bad_alloc&) {
      // Then every entry is kept: one that cannot show is only never drawn.
    }
  }
  const bool built =
      parameters != nullptr &&
      BuildStarPhaseRowsInTwo(
          *parameters, index / kQuarterPhases, index % kQuarterPhases,
          {split, &first, guess != nullptr || split > 0 ? &second : nullptr, shared, guess.get(),
           learned.get(), clipped ? &shown : nullptr, unshown.has_value() ? &*unshown : nullptr},
          &phase);
  DeallocateBuffer(&first.entries);
  DeallocateBuffer(&second.entries);
  lock.lock();
  // The guess widens to the most any build of its split had in each row, so that a phase whose
  // spikes reach further than the last one's still finds slots.
  if (built && !learned->counts[0].empty()) {
    if (guess_ != nullptr && guess_->splitRay == learned->splitRay &&
        !WidenRowCountGuess(*guess_, learned.get())) {
      learned->counts = {};
    }
    if (!learned->counts[0].empty()) guess_ = std::move(learned);
  }
  --building_;
  phases_[index] = phase;
  states_[index] = built ? State::kBuilt : State::kFailed;
  doneBy_[index] = 0;
  kept_ += phase.storage.size;
  if (kept_ > budget_ && !bounded_) TurnBounded();
  changed_.notify_all();
  return built;
}

void StarPhaseSet::TurnBounded() {
  bounded_ = true;
  // Phases every band is already done with go now (the bands' count is that of the last
  // request; every sharing band passes the same).
  for (int i = 0; i < kSubShapeCount; ++i) FreeIfDone(i, bands_);
}

bool StarPhaseSet::IsLong(const std::vector<int>& phases, const ShapeSharing& sharing,
                          const PhaseReach* reach) {
  if (phases.empty()) return false;
  {
    std::lock_guard lock(mutex_);
    if (length_ != Length::kUnjudged) return length_ == Length::kLong;
  }
  const int first = phases.front();
  const RowIndexedPhase* phase =
      Acquire(first, std::vector<int>(phases.begin() + 1, phases.end()), sharing, reach);
  if (phase == nullptr) return false;
  std::lock_guard lock(mutex_);
  --holders_[first];  // held by Acquire; not done: the band has yet to stamp it
  if (length_ == Length::kUnjudged) {
    const uint64_t all = phase->storage.size * uint64_t{phases.size()};
    length_ = all > budget_ ? Length::kLong : Length::kShort;
    if (length_ == Length::kLong && !bounded_) TurnBounded();
  }
  return length_ == Length::kLong;
}

const RowIndexedPhase* StarPhaseSet::Acquire(int index, const std::vector<int>& later,
                                             const ShapeSharing& sharing, const PhaseReach* reach) {
  if (index < 0 || index >= kSubShapeCount) return nullptr;
  std::unique_lock lock(mutex_);
  if (star_ == nullptr) return nullptr;
  if (Sharing(sharing)) bands_ = sharing.bands;
  for (;;) {
    switch (states_[index]) {
      case State::kBuilt:
        ++holders_[index];
        if (Sharing(sharing)) {
          try {
            upcoming_ = later;
          } catch (const std::bad_alloc&) {
            upcoming_.clear();
          }
          BuildAhead(sharing, reach);
        }
        return &phases_[index];
      case State::kFailed:
        return nullptr;
      case State::kUnbuilt:
        if (Stopped(sharing)) return nullptr;
        // A bounded set builds one phase at a time, and for sharing bands (whose phases are
        // freed) only while fewer than two are alive: a band ahead of the others waits until they
        // are done with the phase before its last.
        if (bounded_ &&
            (building_ > 0 || (Sharing(sharing) && AlivePhases() >= kBoundedAlivePhases))) {
          break;
        }
        Build(lock, index, reach);
        continue;
      case State::kBuilding:
        break;
    }
    // Another band builds: build a phase needed later meanwhile (unless bounded, or while the
    // first build has yet to give a guess: a build without one holds an array of every entry
    // beside the phase), or wait.
    int next = -1;
    for (const int candidate : later) {
      if (bounded_ || guess_ == nullptr) break;
      if (candidate >= 0 && candidate < kSubShapeCount && states_[candidate] == State::kUnbuilt) {
        next = candidate;
        break;
      }
    }
    if (next >= 0 && !Stopped(sharing)) {
      Build(lock, next, reach);
    } else {
      changed_.wait_for(lock, kStopPollInterval);
      if (states_[index] != State::kBuilt && Stopped(sharing)) return nullptr;
    }
  }
}

}  // namespace lumeray
