// Copying a region of pixels between two images of any profiles and pixel formats.
//
// ConvertImageRegion converts the colours of the region from the source's profile and format
// to the destination's (color/transform_cache.h), copies alpha converted between sample kinds
// the way the fetch and store converters convert it (image/image_record.h), and copies the
// mask bytes when the destination has a mask (255, fully selected, where the source has none).
// Float destinations get no negative colour samples.
//
// Regions: the source rectangle is clipped to the source's data, the destination rectangle is
// moved by the same amount and clipped to the destination's data, and whatever that clip cuts
// off is cut off the source too: each source pixel lands where the two rectangles as given put
// it. Both are then shrunk to their common size. An empty result converts nothing.
//
// Regions of kMinimumRowsToSplit rows or more are split into one band of rows per worker
// thread, the last band taking what the division leaves; smaller regions, or a single worker,
// are converted on the calling thread.
//
// Failures make the result false and, given the run's status, set its result: -50 for no
// transform, -108 for no memory for a worker's arguments, -1715 for a failed start or wait of
// the workers, unless a code is set already.
//
// Threading contract: any thread. The workers write disjoint rows of the destination; neither
// image may be changed by others while the conversion runs.
#pragma once

#include <cstdint>

#include "image/image_record.h"
#include "run/run_status.h"

namespace lumeray {

constexpr int64_t kMinimumRowsToSplit = 129;

struct ConvertRegions {
  ImageRect source;
  ImageRect destination;
};

// The two regions after clipping (see above); both of the same size, possibly empty.
ConvertRegions ClipConvertRegions(const ImageRecord& source, const ImageRect& sourceRect,
                                  const ImageRecord& destination, const ImageRect& destinationRect);

// Split over WorkerThreadCount() threads.
bool ConvertImageRegion(const ImageRecord& source, const ImageRect& sourceRect,
                        ImageRecord* destination, const ImageRect& destinationRect,
                        RunStatus* status = nullptr);
// Split over `threadCount` threads (at most kMaximumWorkerThreads).
bool ConvertImageRegionWithThreads(const ImageRecord& source, const ImageRect& sourceRect,
                                   ImageRecord* destination, const ImageRect& destinationRect,
                                   int threadCount, RunStatus* status = nullptr);
// On the calling thread.
bool ConvertImageRegionSingleThread(const ImageRecord& source, const ImageRect& sourceRect,
                                    ImageRecord* destination, const ImageRect& destinationRect,
                                    RunStatus* status = nullptr);

}  // namespace lumeray
