#include "analysis/master_light_source_table.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>

#include "analysis/analysis_run_state.h"
#include "diagnostics/message_report.h"

namespace lumeray {
namespace {

constexpr int32_t kOverlapMargin = 4;
constexpr double kNearestRadiusNumerator = 8000.0;
constexpr int32_t kNearestRadiusMinimum = 80;
constexpr size_t kTraceLineLimit = 255;
// Marks, during a merge only, a master entry that a local entry replaces.
constexpr uint32_t kReplacedEntry = 0xFFFFFFFFu;

bool Cancelled(CancelTest cancelled) {
  return cancelled != nullptr && cancelled();
}

QuarterPixelPoint PointOf(const LightSourceEntry& e) {
  return {e.x, e.xFraction, e.y, e.yFraction};
}

// Applies a Hide/Show operation to one entry; true when the entry was affected.
bool Apply(LightSourceEntry& e, HideShowOperation operation) {
  switch (operation) {
    case kHide:
      if (e.state != kLightSourceHidden) e.savedState = e.state;
      e.state = kLightSourceHidden;
      return true;
    case kShow:
      if (e.state != kLightSourceShown) e.savedState = e.state;
      e.state = kLightSourceShown;
      return true;
    case kUndoHide:
      if (e.state != kLightSourceHidden) return false;
      e.state = e.savedState;
      return true;
    case kUndoShow:
      if (e.state != kLightSourceShown) return false;
      e.state = e.savedState;
      return true;
  }
  return false;
}

bool Eligible(const LightSourceEntry& e, HideShowOperation operation) {
  switch (operation) {
    case kHide:
    case kShow:
      return true;
    case kUndoHide:
      return e.state == kLightSourceHidden;
    case kUndoShow:
      return e.state == kLightSourceShown;
  }
  return false;
}

}  // namespace

int PreallocateMasterLightSourceTable(MasterLightSourceTable* master, uint32_t count) {
  const uint64_t bytes = uint64_t{count} * sizeof(LightSourceEntry);
  if (bytes <= master->entries.size) return 0;
  const int error = ReallocateBufferPreserveContents(bytes, &master->entries);
  if (error != 0) {
    MessageReport report(__LINE__, kMessageDebug);
    report.Report(kIconError, kTitleDebugUnexpectedError,
                  "PreallocateMasterLightSourceTable() - Allocation Failed:  Requested = %u light "
                  "sources (%u bytes).",
                  count, static_cast<unsigned>(bytes));
  }
  return error;
}

int AddLightSourceTableToTable(MasterLightSourceTable* master, const LightSourceTable& local,
                               int32_t /*bandTop*/, CancelTest cancelled) {
  if (local.count == 0) return 0;
  const uint64_t needed = (uint64_t{master->count} + local.count) * sizeof(LightSourceEntry);
  if (needed > master->entries.size) {
    const int error = ReallocateBufferPreserveContents(needed, &master->entries);
    if (error != 0) {
      MessageReport report(__LINE__, kMessageDebug);
      report.Report(kIconError, kTitleDebugUnexpectedError,
                    "AddLightSourceTableToTable() - Allocation Failed:  Requested %u bytes.",
                    static_cast<unsigned>(needed));
      return error;
    }
  }
  if (Cancelled(cancelled)) return 0;

  LightSourceEntry* entries = master->data();
  const LightSourceEntry* incoming = local.data();
  if (master->count == 0) {
    std::memcpy(entries, incoming, local.count * sizeof(LightSourceEntry));
    master->count = local.count;
    master->largestRadius = local.largestRadius;
    master->generation = 0;
  } else {
    master->largestRadius = std::max(master->largestRadius, local.largestRadius);
    const int32_t window = static_cast<int32_t>(master->largestRadius) + kOverlapMargin;
    // Each local entry is compared with every master entry from before the merge whose row is
    // within the window (the master is in row order). A master entry that a larger local entry
    // replaces is marked and the local entry appended, so the rows searched stay in order; the
    // local entries never overlap one another, so none of them needs to see another.
    const uint32_t before = master->count;
    bool replaced = false;
    for (uint32_t i = 0; i < local.count; ++i) {
      const LightSourceEntry& candidate = incoming[i];
      const QuarterPixelPoint point = PointOf(candidate);
      LightSourceEntry* same = nullptr;
      for (uint32_t m = FirstEntryFromRow(entries, before, candidate.y - window);
           m < before && entries[m].y <= candidate.y + window; ++m) {
        LightSourceEntry& existing = entries[m];
        if (std::abs(existing.x - candidate.x) > window) continue;
        if (existing.state != kLightSourceNormal) continue;
        if (std::max(existing.squaredRadius, candidate.squaredRadius) >
            SquaredDistance(existing, point)) {
          same = &existing;
          break;
        }
      }
      if (same != nullptr) {
        if (candidate.squaredRadius <= same->squaredRadius) continue;  // dropped
        same->state = kReplacedEntry;
        replaced = true;
      }
      entries[master->count++] = candidate;
    }
    if (replaced) {
      master->count = static_cast<uint32_t>(
          std::remove_if(entries, entries + master->count,
                         [](const LightSourceEntry& e) { return e.state == kReplacedEntry; }) -
          entries);
    }
  }
  std::stable_sort(entries, entries + master->count,
                   [](const LightSourceEntry& a, const LightSourceEntry& b) { return a.y < b.y; });
  return 0;
}

uint32_t NormalizeAndSortLightSources(MasterLightSourceTable* master, CancelTest cancelled) {
  LightSourceEntry* entries = master->data();
  uint32_t largest = 0;
  for (uint32_t i = 0; i < master->count; ++i) {
    if (Cancelled(cancelled)) return master->count;
    const LightSourceEntry& e = entries[i];
    if (e.state == kLightSourceHidden) continue;
    largest = std::max({largest, e.red, e.green, e.blue});
  }
  auto scale = [largest](uint32_t c) -> uint32_t {
    if (largest == 0) return kFractionOne;
    const uint64_t v = (uint64_t{c} << 32) / largest;
    return static_cast<uint32_t>(std::min<uint64_t>(v, kFractionOne));
  };
  for (uint32_t i = 0; i < master->count; ++i) {
    LightSourceEntry& e = entries[i];
    e.red = scale(e.red);
    e.green = scale(e.green);
    e.blue = scale(e.blue);
    e.brightness = ((e.red >> 2) + (e.green >> 2) + (e.blue >> 2)) / 3 * 4;
  }
  // Stable, so that equal brightness keeps scan order and runs are reproducible.
  std::stable_sort(entries, entries + master->count,
                   [](const LightSourceEntry& a, const LightSourceEntry& b) {
                     return a.brightness > b.brightness;
                   });
  return master->count;
}

void FreeMasterLightSourceTable(MasterLightSourceTable* master) {
  DeallocateBuffer(&master->entries);
  master->count = 0;
  master->largestRadius = 0.0f;
}

bool HideShowInRectangle(MasterLightSourceTable* master, const PixelRectangle& r,
                         HideShowOperation operation) {
  bool any = false;
  LightSourceEntry* entries = master->data();
  for (uint32_t i = 0; i < master->count; ++i) {
    LightSourceEntry& e = entries[i];
    if (e.x < r.left || e.x >= r.right || e.y < r.top || e.y >= r.bottom) continue;
    any |= Apply(e, operation);
  }
  if (any) master->generation.fetch_add(1);
  return any;
}

int32_t NearestSearchRadius(double zoom) {
  const double scaled =
      zoom > 0 ? std::trunc(kNearestRadiusNumerator / zoom) : std::numeric_limits<double>::max();
  const double clamped = std::min<double>(scaled, std::numeric_limits<int32_t>::max());
  return std::max(static_cast<int32_t>(clamped), kNearestRadiusMinimum);
}

bool HideShowNearest(MasterLightSourceTable* master, double pointX, double pointY, double zoom,
                     HideShowOperation operation) {
  const double radius = NearestSearchRadius(zoom);
  const double qx = pointX * 4.0;
  const double qy = pointY * 4.0;
  LightSourceEntry* entries = master->data();
  LightSourceEntry* nearest = nullptr;
  double nearestDistance = radius;
  for (uint32_t i = 0; i < master->count; ++i) {
    LightSourceEntry& e = entries[i];
    if (!Eligible(e, operation)) continue;
    const double dx = static_cast<double>(int64_t{e.x} * 4 + e.xFraction) - qx;
    const double dy = static_cast<double>(int64_t{e.y} * 4 + e.yFraction) - qy;
    const double distance = std::sqrt(dx * dx + dy * dy);
    if (distance < nearestDistance) {
      nearestDistance = distance;
      nearest = &e;
    }
  }
  if (nearest != nullptr) Apply(*nearest, operation);
  master->generation.fetch_add(1);
  return true;
}

std::optional<std::string> LightSourceTableTrace::Next() {
  char line[kTraceLineLimit + 1];
  if (!started_) {
    started_ = true;
    std::snprintf(line, sizeof line, "NumberOfLightSources = %d\n\n",
                  static_cast<int>(master_.count));
    return std::string(line);
  }
  if (index_ >= master_.count) return std::nullopt;
  const LightSourceEntry& e = master_.data()[index_];
  std::snprintf(line, sizeof line,
                "LightSourceTable[%04d] x = %.2f, y = %.2f, Diam = %.2f, Bright = %X%s",
                static_cast<int>(index_), e.x + e.xFraction / 4.0, e.y + e.yFraction / 4.0,
                2.0 * std::sqrt(static_cast<double>(e.squaredRadius)), e.brightness,
                e.state == kLightSourceHidden ? " (D)" : "");
  ++index_;
  return std::string(line);
}

std::string TraceLightSourceTable(const MasterLightSourceTable& master) {
  LightSourceTableTrace trace(master);
  std::string text;
  while (auto line = trace.Next()) {
    text += *line;
    if (line->back() != '\n') text += '\n';
  }
  return text;
}

}  // namespace lumeray
