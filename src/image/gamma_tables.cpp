#include "image/gamma_tables.h"

#include <array>
#include <cmath>
#include <mutex>
#include <new>

#include "diagnostics/message_report.h"
#include "image/buffer.h"
#include "image/float_power.h"
#include "image/linear_encoding.h"
#include "image/pixel_tables.h"

namespace lumeray {
namespace {

struct GammaCacheEntry {
  double gamma = 0.0;
  BufferDescriptor decode8;
  BufferDescriptor decode16;
  BufferDescriptor encode8;
  BufferDescriptor encode16;
  BufferDescriptor encode16Shadows;
  BufferDescriptor floatPowers;  // two FloatPowerTable: the gamma's, then its inverse's
};

struct GammaTableCache {
  std::mutex lock;  // guards entries and count
  std::array<GammaCacheEntry, kGammaTableCacheCapacity> entries;
  int count = 0;
};

GammaTableCache gammaTableCache;

GammaTableSet TablesOf(const GammaCacheEntry& entry) {
  return {static_cast<const uint32_t*>(entry.decode8.data),
          static_cast<const uint32_t*>(entry.decode16.data),
          static_cast<const uint8_t*>(entry.encode8.data),
          static_cast<const uint16_t*>(entry.encode16.data),
          static_cast<const uint16_t*>(entry.encode16Shadows.data),
          static_cast<const FloatPowerTable*>(entry.floatPowers.data),
          static_cast<const FloatPowerTable*>(entry.floatPowers.data) + 1};
}

struct CacheSearch {
  int exact = -1;    // entry with exactly the gamma asked for
  int nearest = -1;  // entry with the gamma nearest to it
  bool full = false;
};

// Call with the cache lock held.
CacheSearch SearchCache(const GammaTableCache& cache, double gamma) {
  CacheSearch search;
  double nearestDistance = 0.0;
  for (int i = 0; i < cache.count; ++i) {
    const double cached = cache.entries[i].gamma;
    if (cached == gamma) {
      search.exact = i;
      break;
    }
    const double distance = std::fabs(cached - gamma);
    if (search.nearest < 0 || distance < nearestDistance) {
      search.nearest = i;
      nearestDistance = distance;
    }
  }
  search.full = cache.count >= kGammaTableCacheCapacity;
  return search;
}

// Call with the cache lock held. The exact set if cached, else the nearest one, else none.
GammaTableSet ExactOrNearest(const GammaTableCache& cache, const CacheSearch& search) {
  if (search.exact >= 0) return TablesOf(cache.entries[search.exact]);
  if (search.nearest >= 0) return TablesOf(cache.entries[search.nearest]);
  return {};
}

void FreeEntry(GammaCacheEntry* entry) {
  DeallocateBuffer(&entry->decode8);
  DeallocateBuffer(&entry->decode16);
  DeallocateBuffer(&entry->encode8);
  DeallocateBuffer(&entry->encode16);
  DeallocateBuffer(&entry->encode16Shadows);
  DeallocateBuffer(&entry->floatPowers);
}

bool AllocateEntry(GammaCacheEntry* entry) {
  const bool allocated =
      ReallocateBuffer(kEightBitEntries * sizeof(uint32_t), &entry->decode8) == 0 &&
      ReallocateBuffer(kSixteenBitEntries * sizeof(uint32_t), &entry->decode16) == 0 &&
      ReallocateBuffer(kSixteenBitEntries * sizeof(uint8_t), &entry->encode8) == 0 &&
      ReallocateBuffer(kSixteenBitEntries * sizeof(uint16_t), &entry->encode16) == 0 &&
      ReallocateBuffer(kShadowEncodeEntries * sizeof(uint16_t), &entry->encode16Shadows) == 0 &&
      ReallocateBuffer(2 * sizeof(FloatPowerTable), &entry->floatPowers) == 0;
  if (!allocated) FreeEntry(entry);
  return allocated;
}

void FillEntry(const GammaCacheEntry& entry) {
  auto* decode8 = static_cast<uint32_t*>(entry.decode8.data);
  auto* decode16 = static_cast<uint32_t*>(entry.decode16.data);
  auto* encode8 = static_cast<uint8_t*>(entry.encode8.data);
  auto* encode16 = static_cast<uint16_t*>(entry.encode16.data);
  const double gamma = entry.gamma;
  const double inverse = 1.0 / gamma;
  const bool linear = gamma == 1.0;
  for (int i = 0; i < kSixteenBitEntries; ++i) {
    if (i < kEightBitEntries) {
      const double fraction8 = i / double{kMaximum8};
      decode8[i] = RoundToNearestEven((linear ? fraction8 : std::pow(fraction8, gamma)) *
                                      double{kFullIntensity});
    }
    const double fraction = i / double{kMaximum16};
    decode16[i] = RoundToNearestEven((linear ? fraction : std::pow(fraction, gamma)) *
                                     double{kFullIntensity});
    const double encoded = linear ? fraction : std::pow(fraction, inverse);
    encode8[i] = static_cast<uint8_t>(RoundToNearestEven(encoded * kMaximum8));
    encode16[i] = static_cast<uint16_t>(RoundToNearestEven(encoded * kMaximum16));
  }
  auto* powers = static_cast<FloatPowerTable*>(entry.floatPowers.data);
  FillFloatPowerTable(gamma, new (&powers[0]) FloatPowerTable);
  FillFloatPowerTable(inverse, new (&powers[1]) FloatPowerTable);
  // The deepest shadows, where several samples may decode alike: walk the decode table.
  auto* shadows = static_cast<uint16_t*>(entry.encode16Shadows.data);
  shadows[0] = 0;
  uint32_t reaching = 1;  // the first sample decoding at or above the value
  for (uint32_t value = 1; value < kShadowEncodeEntries; ++value) {
    while (decode16[reaching] < value) ++reaching;
    shadows[value] = static_cast<uint16_t>(NearestSample(decode16, reaching, value));
  }
}

bool IsUsableGamma(double gamma) {
  return std::isfinite(gamma) && gamma > 0.0;
}

}  // namespace

double RoundImageGamma(double gamma) {
  const double rounded = std::floor(gamma * kGammaSteps + 0.5) / kGammaSteps;
  if (IsUsableGamma(rounded)) return rounded;
  MessageReport report(__LINE__, kMessageDebug);
  report.Report(kIconWarning, kTitleDebugWarning,
                "RoundImageGamma() - Unusable gamma %g replaced by %g.", gamma, kWorkingGamma);
  return kWorkingGamma;
}

GammaTableSet GetGammaTables(double gamma) {
  if (!IsUsableGamma(gamma)) {
    MessageReport report(__LINE__, kMessageDebug);
    report.Report(kIconError, kTitleDebugUnexpectedError,
                  "GetGammaTables() - No tables for gamma %g.", gamma);
    return {};
  }
  GammaTableCache& cache = gammaTableCache;
  {
    std::lock_guard lock(cache.lock);
    const CacheSearch search = SearchCache(cache, gamma);
    if (search.exact >= 0 || search.full) return ExactOrNearest(cache, search);
  }

  GammaCacheEntry fresh;
  fresh.gamma = gamma;
  if (!AllocateEntry(&fresh)) {
    std::lock_guard lock(cache.lock);
    return ExactOrNearest(cache, SearchCache(cache, gamma));
  }
  FillEntry(fresh);

  GammaTableSet chosen;
  bool inserted = false;
  {
    std::lock_guard lock(cache.lock);
    const CacheSearch search = SearchCache(cache, gamma);
    if (search.exact < 0 && !search.full) {
      cache.entries[cache.count++] = fresh;
      chosen = TablesOf(fresh);
      inserted = true;
    } else {
      // Another thread cached this gamma, or filled the cache, meanwhile.
      chosen = ExactOrNearest(cache, search);
    }
  }
  if (!inserted) FreeEntry(&fresh);
  return chosen;
}

void ReleaseGammaTables() {
  std::array<GammaCacheEntry, kGammaTableCacheCapacity> released;
  int count = 0;
  {
    std::lock_guard lock(gammaTableCache.lock);
    count = gammaTableCache.count;
    for (int i = 0; i < count; ++i) {
      released[i] = gammaTableCache.entries[i];
      gammaTableCache.entries[i] = {};
    }
    gammaTableCache.count = 0;
  }
  for (int i = 0; i < count; ++i) FreeEntry(&released[i]);
}

int GammaTableCacheSize() {
  std::lock_guard lock(gammaTableCache.lock);
  return gammaTableCache.count;
}

}  // namespace lumeray
