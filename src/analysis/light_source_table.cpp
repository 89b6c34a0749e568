#include "analysis/light_source_table.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace lumeray {
namespace {

// Overlap tests look this many pixels beyond the largest radius.
constexpr int32_t kOverlapMargin = 4;

int64_t QuarterX(const LightSourceEntry& e) {
  return int64_t{e.x} * 4 + e.xFraction;
}
int64_t QuarterY(const LightSourceEntry& e) {
  return int64_t{e.y} * 4 + e.yFraction;
}

}  // namespace

double SquaredDistance(const LightSourceEntry& a, const QuarterPixelPoint& b) {
  const double dx = static_cast<double>(QuarterX(a) - (int64_t{b.x} * 4 + b.xFraction)) / 4.0;
  const double dy = static_cast<double>(QuarterY(a) - (int64_t{b.y} * 4 + b.yFraction)) / 4.0;
  return dx * dx + dy * dy;
}

uint32_t FirstEntryFromRow(const LightSourceEntry* entries, uint32_t count, int32_t row) {
  return static_cast<uint32_t>(
      std::lower_bound(entries, entries + count, row,
                       [](const LightSourceEntry& e, int32_t y) { return e.y < y; }) -
      entries);
}

namespace {

// Moves entry `from` to where its row keeps the table in row order (after its equals).
void KeepInRowOrder(LightSourceEntry* entries, uint32_t count, uint32_t from) {
  const LightSourceEntry moved = entries[from];
  uint32_t to = from;
  while (to > 0 && entries[to - 1].y > moved.y) {
    entries[to] = entries[to - 1];
    --to;
  }
  while (to + 1 < count && entries[to + 1].y <= moved.y) {
    entries[to] = entries[to + 1];
    ++to;
  }
  entries[to] = moved;
}

}  // namespace

int AddToLocalTable(LightSourceTable* table, const QuarterPixelPoint& position, float radius,
                    float squaredRadius, uint32_t red, uint32_t green, uint32_t blue) {
  const float reach = std::max(radius, table->largestRadius);
  const int32_t window = static_cast<int32_t>(reach) + kOverlapMargin;
  // Whether an entry describes the same highlight. Any such entry lies within the window's
  // rows, and the table is in row order, so they all follow `first`.
  const auto sameHighlight = [&](const LightSourceEntry& e) {
    return std::abs(position.x - e.x) <= window && e.state == kLightSourceNormal &&
           std::max(squaredRadius, e.squaredRadius) > SquaredDistance(e, position);
  };

  LightSourceEntry* entries = table->data();
  const uint32_t first = FirstEntryFromRow(entries, table->count, position.y - window);
  uint32_t end = first;
  bool overlapped = false;
  for (; end < table->count && entries[end].y <= position.y + window; ++end) {
    if (!sameHighlight(entries[end])) continue;
    // An entry at least as large already stands for this highlight: nothing changes.
    if (entries[end].squaredRadius >= squaredRadius) return 0;
    overlapped = true;
  }
  if (overlapped) {
    // Every overlapped entry is smaller. The first takes the new measurement (keeping its
    // strength and states); the others stand for the same highlight and go: one light, one
    // entry.
    uint32_t kept = first, taker = table->count;
    for (uint32_t i = first; i < table->count; ++i) {
      if (i < end && sameHighlight(entries[i])) {
        if (taker != table->count) continue;
        taker = kept;
        LightSourceEntry& e = entries[i];
        e.x = position.x;
        e.xFraction = position.xFraction;
        e.y = position.y;
        e.yFraction = position.yFraction;
        e.radius = radius;
        e.squaredRadius = squaredRadius;
        e.red = red;
        e.green = green;
        e.blue = blue;
      }
      entries[kept++] = entries[i];
    }
    table->count = kept;
    KeepInRowOrder(entries, table->count, taker);
    table->largestRadius = std::max(table->largestRadius, radius);
    return 0;
  }

  const uint64_t needed = (uint64_t{table->count} + 1) * sizeof(LightSourceEntry);
  if (needed > table->entries.size) {
    const uint64_t grown = (uint64_t{table->count} + kLocalTableGrowth) * sizeof(LightSourceEntry);
    if (int error = ReallocateBufferPreserveContents(grown, &table->entries)) return error;
    entries = table->data();
  }
  entries[table->count] = {position.x,
                           position.xFraction,
                           position.y,
                           position.yFraction,
                           radius,
                           squaredRadius,
                           0,
                           red,
                           green,
                           blue,
                           kFractionOne,
                           kSpareFieldValue,
                           kLightSourceNormal,
                           kLightSourceNormal};
  ++table->count;
  KeepInRowOrder(entries, table->count, table->count - 1);
  table->largestRadius = std::max(table->largestRadius, radius);
  return 0;
}

void FreeLightSourceTable(LightSourceTable* table) {
  DeallocateBuffer(&table->entries);
  table->count = 0;
  table->largestRadius = 0.0f;
}

}  // namespace lumeray
