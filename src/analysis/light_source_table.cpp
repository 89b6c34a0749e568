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

int AddToLocalTable(LightSourceTable* table, const QuarterPixelPoint& position, float radius,
                    float squaredRadius, uint32_t red, uint32_t green, uint32_t blue) {
  const float reach = std::max(radius, table->largestRadius);
  const int32_t window = static_cast<int32_t>(reach) + kOverlapMargin;

  LightSourceEntry* entries = table->data();
  uint32_t i = 0;
  while (i < table->count && entries[i].y < position.y - window) ++i;

  bool overlapped = false;
  for (; i < table->count; ++i) {
    LightSourceEntry& e = entries[i];
    if (std::abs(position.y - e.y) > window) {
      if (e.y > position.y) break;  // scan order: nothing further can overlap
      continue;
    }
    if (std::abs(position.x - e.x) > window) continue;
    const double distance2 = SquaredDistance(e, position);
    if (std::max(squaredRadius, e.squaredRadius) > distance2 && e.state == kLightSourceNormal) {
      overlapped = true;
      if (squaredRadius > e.squaredRadius) {
        e.x = position.x;
        e.xFraction = position.xFraction;
        e.y = position.y;
        e.yFraction = position.yFraction;
        e.radius = radius;
        e.squaredRadius = squaredRadius;
        e.red = red;
        e.green = green;
        e.blue = blue;
        table->largestRadius = std::max(table->largestRadius, radius);
      }
    }
  }
  if (overlapped) return 0;

  const uint64_t needed = (uint64_t{table->count} + 1) * sizeof(LightSourceEntry);
  if (needed > table->entries.size) {
    const uint64_t grown = (uint64_t{table->count} + kLocalTableGrowth) * sizeof(LightSourceEntry);
    if (int error = ReallocateBufferPreserveContents(grown, &table->entries)) return error;
  }
  LightSourceEntry& added = table->data()[table->count++];
  added = {position.x,
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
  table->largestRadius = std::max(table->largestRadius, radius);
  return 0;
}

void FreeLightSourceTable(LightSourceTable* table) {
  DeallocateBuffer(&table->entries);
  table->count = 0;
  table->largestRadius = 0.0f;
}

}  // namespace lumeray
