// Splitting a range of rows over threads: `threadCount` bands of whole rows, the band height
// being the row count divided by the thread count and the last band ending at the bottom. Band
// 0 runs on the calling thread, every other band on a thread of its own; a band whose thread
// cannot be started runs on the calling thread. Returns when every band is done.
//
// Threading contract: the routine runs concurrently on different bands; it must only write what
// belongs to its band.
#pragma once

#include <cstdint>

namespace lumeray {

using RowBandRoutine = void (*)(void* context, int32_t top, int32_t bottom);

void RunInRowBands(int32_t top, int32_t bottom, int threadCount, RowBandRoutine routine,
                   void* context);

}  // namespace lumeray
