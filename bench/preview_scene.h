// A scene for the preview benchmarks: a flat grey proxy image and `count` light sources at
// pseudo-random places (a fixed sequence from `seed`), with three colours and five strengths.
// Fills the benchmarks' run's master light source table; one thread.
#pragma once

#include <cstdint>

#include "analysis/master_light_source_table.h"
#include "host/filter_run.h"
#include "image/image_create.h"

namespace lumeray::bench {

// The run every benchmark works in, begun on first use.
inline FilterRun& BenchRun() {
  static FilterRun& run = BeginFilterRun();
  return run;
}

// Fills `proxy` (already created as 8-bit RGB) with a dark grey and opaque alpha.
inline void FillDarkProxy(ImageRecord* proxy) {
  auto* bytes = static_cast<uint8_t*>(proxy->pixels.data);
  for (uint64_t i = 0; i < proxy->pixels.size; ++i) {
    bytes[i] = static_cast<uint8_t>(i % 4 == 3 ? 255 : 20);
  }
}

// `withFractions` spreads the sources over the quarter-pixel phases.
inline void FillLightSources(int count, int32_t width, int32_t height, uint32_t seed, float radius,
                             bool withFractions) {
  MasterLightSourceTable& table = BenchRun().analysis.master;
  PreallocateMasterLightSourceTable(&table, count + 1);
  for (int i = 0; i < count; ++i) {
    LightSourceEntry e{};
    seed = seed * 1664525u + 1013904223u;
    e.x = static_cast<int32_t>(seed % static_cast<uint32_t>(width));
    seed = seed * 1664525u + 1013904223u;
    e.y = static_cast<int32_t>(seed % static_cast<uint32_t>(height));
    if (withFractions) {
      e.xFraction = i % 4;
      e.yFraction = i / 4 % 4;
    }
    e.radius = e.squaredRadius = radius;
    e.brightness = 0xF0000000u;
    e.red = e.green = e.blue = 0x01000000u << (i % 3);
    e.strength = 0xFFFFFFFEu >> (i % 5);
    e.state = e.savedState = kLightSourceNormal;
    table.data()[i] = e;
  }
  table.count = count;
}

}  // namespace lumeray::bench
