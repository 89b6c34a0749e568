#include "effects/star_phase_set.h"

#include <chrono>

namespace lumeray {
namespace {

constexpr auto kStopPollInterval = std::chrono::milliseconds(20);

}  // namespace

void StarPhaseSet::Reset(EffectShape* star, const StampColours& colours) {
  Release();
  std::lock_guard lock(mutex_);
  star_ = star;
  colours_ = colours;
}

void StarPhaseSet::Release() {
  std::lock_guard lock(mutex_);
  for (int i = 0; i < kSubShapeCount; ++i) {
    ReleaseRowIndexedPhase(&phases_[i]);
    states_[i] = State::kUnbuilt;
  }
  for (BufferDescriptor& spare : spares_) DeallocateBuffer(&spare);
  spares_.clear();
  builds_ = 0;
}

void StarPhaseSet::DropSpares() {
  std::lock_guard lock(mutex_);
  for (BufferDescriptor& spare : spares_) DeallocateBuffer(&spare);
  spares_.clear();
}

int StarPhaseSet::builds() const {
  std::lock_guard lock(mutex_);
  return builds_;
}

bool StarPhaseSet::Build(std::unique_lock<std::mutex>& lock, int index) {
  EffectShape* star = star_;
  SubShape* sub = &star->subShapes[index];
  states_[index] = State::kBuilding;
  ++builds_;
  if (sub->entries.data == nullptr && !spares_.empty()) {
    sub->entries = spares_.back();
    spares_.pop_back();
  }
  lock.unlock();
  RowIndexedPhase phase;
  bool built = star->builder != nullptr &&
               star->builder(star, index / kQuarterPhases, index % kQuarterPhases);
  if (built) built = MakeRowIndexedPhase(*sub, &phase);
  const BufferDescriptor entries = sub->entries;
  sub->entries = BufferDescriptor{};
  EmptySubShape(sub);
  lock.lock();
  if (entries.data != nullptr) spares_.push_back(entries);
  phases_[index] = phase;
  states_[index] = built ? State::kBuilt : State::kFailed;
  changed_.notify_all();
  return built;
}

const RowIndexedPhase* StarPhaseSet::Acquire(int index, const std::vector<int>& later,
                                             bool (*stopped)()) {
  if (index < 0 || index >= kSubShapeCount) return nullptr;
  std::unique_lock lock(mutex_);
  if (star_ == nullptr) return nullptr;
  for (;;) {
    switch (states_[index]) {
      case State::kBuilt:
        return &phases_[index];
      case State::kFailed:
        return nullptr;
      case State::kUnbuilt:
        if (stopped != nullptr && stopped()) return nullptr;
        Build(lock, index);
        continue;
      case State::kBuilding:
        break;
    }
    // Another band builds it: build a phase needed later meanwhile, or wait.
    int next = -1;
    for (const int candidate : later) {
      if (candidate >= 0 && candidate < kSubShapeCount && states_[candidate] == State::kUnbuilt) {
        next = candidate;
        break;
      }
    }
    if (next >= 0 && (stopped == nullptr || !stopped())) {
      Build(lock, next);
    } else {
      changed_.wait_for(lock, kStopPollInterval);
      if (states_[index] == State::kBuilding && stopped != nullptr && stopped()) return nullptr;
    }
  }
}

}  // namespace lumeray
