// The MasterLightSourceTable (one per run, analysis_run_state.h): the merge of the analysis
// threads' local tables, normalised and sorted brightest first, with the Hide and Show operations
// of the preview's tools and the trace text of the light source list. See light_source_table.h for
// the conventions and the threading contract.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "analysis/light_source_table.h"

namespace lumeray {

struct MasterLightSourceTable {
  BufferDescriptor entries;
  uint32_t count = 0;
  float largestRadius = 0.0f;
  std::atomic<uint32_t> generation{0};

  LightSourceEntry* data() { return static_cast<LightSourceEntry*>(entries.data); }
  const LightSourceEntry* data() const {
    return static_cast<const LightSourceEntry*>(entries.data);
  }
};

// A test for "the run was cancelled", polled by the long operations: a stop flag (the run's),
// a function, or neither (never cancelled).
class CancelTest {
 public:
  CancelTest() = default;
  CancelTest(std::nullptr_t) {}
  CancelTest(bool (*poll)()) : poll_(poll) {}
  explicit CancelTest(const std::atomic<bool>* flag) : flag_(flag) {}

  bool operator()() const {
    return (flag_ != nullptr && flag_->load()) || (poll_ != nullptr && poll_());
  }
  bool operator==(std::nullptr_t) const { return flag_ == nullptr && poll_ == nullptr; }

 private:
  bool (*poll_)() = nullptr;
  const std::atomic<bool>* flag_ = nullptr;
};

int PreallocateMasterLightSourceTable(MasterLightSourceTable* master, uint32_t count);
// Merges a local table (in row order) into the master (in row order, kept so): each local entry
// is compared with every master entry from before the merge within reach of its row, so a
// highlight seen by two bands becomes one entry (the larger) wherever the band border lies;
// `bandTop` (the band's first row) only names the band.
int AddLightSourceTableToTable(MasterLightSourceTable* master, const LightSourceTable& local,
                               int32_t bandTop, CancelTest cancelled = nullptr);
// Returns the entry count.
uint32_t NormalizeAndSortLightSources(MasterLightSourceTable* master,
                                      CancelTest cancelled = nullptr);
void FreeMasterLightSourceTable(MasterLightSourceTable* master);

enum HideShowOperation : int {
  kHide = 0,
  kUndoHide = 1,
  kShow = 2,
  kUndoShow = 3,
};

struct PixelRectangle {
  int32_t left, top, right, bottom;
};

// True when at least one entry changed (the generation is then incremented).
bool HideShowInRectangle(MasterLightSourceTable* master, const PixelRectangle& rectangle,
                         HideShowOperation operation);
// Applies the operation to the eligible entry nearest to the point within the search radius;
// the generation is incremented in every case. Returns true.
bool HideShowNearest(MasterLightSourceTable* master, double pointX, double pointY, double zoom,
                     HideShowOperation operation);
// The search radius of HideShowNearest, in quarter pixels.
int32_t NearestSearchRadius(double zoom);

// The trace of the table: "NumberOfLightSources = %d\n\n", then one line per entry.
class LightSourceTableTrace {
 public:
  explicit LightSourceTableTrace(const MasterLightSourceTable& master) : master_(master) {}
  // The next line, or nothing after the last entry. The first call gives the count line.
  std::optional<std::string> Next();

 private:
  const MasterLightSourceTable& master_;
  bool started_ = false;
  uint32_t index_ = 0;
};

std::string TraceLightSourceTable(const MasterLightSourceTable& master);

}  // namespace lumeray
