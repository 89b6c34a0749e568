// Choice of an image's fetch and store converters.
//
// Converters exist for the modes 1, 3 (in B, G, R, A and in R, G, B, A order), 10, 11, 16, 17
// and 64, each in an edge-safe and a fast variant; a table of routine pointers maps (mode,
// layout, edge-safe) to them, so that no converter tests the mode per pixel.
//
// Modes without converters get fallbacks: fetch returns an all-zero WorkingPixel; store writes
// nothing and reports "OutputImage mode not implemented." on every call. Choosing them reports
// "InputImage mode not implemented." / "InputImage mode not yet implemented." for the host's
// modes 0, 2, 4-9 and 12-15, and "Invalid InputImage mode." / "Unrecognized image mode." for
// any other mode.
//
// The row routines fetch or store a run of pixels of one row as the image's own fetch and store
// would, pixel after pixel, with the codec made once for the run instead of once per pixel. A
// run outside the data rectangle, or an image whose routines are not the table's, goes through
// the image's own routines.
//
// Threading contract: the choosers only read constant tables; any thread. The row routines have
// the threading of the image's fetch and store (image_record.h).
#pragma once

#include <cstdint>

#include "image/image_record.h"

namespace lumeray {

FetchPixelProc ChooseFetchConverter(int32_t mode, bool edgeSafe, bool bgraLayout);
StorePixelProc ChooseStoreConverter(int32_t mode, bool edgeSafe, bool bgraLayout);

// pixels[i] = what image.fetch gives for (x + i, y), for i < count.
void FetchPixelRow(const ImageRecord& image, int32_t x, int32_t y, int32_t count,
                   WorkingPixel* pixels);
// Stores pixels[i] at (x + i, y) as image.store does, for i < count.
void StorePixelRow(const ImageRecord& image, const WorkingPixel* pixels, int32_t x, int32_t y,
                   int32_t count);

// Converters of an image that holds no pixels: fetch returns an all-zero WorkingPixel, store
// writes nothing. Both are silent.
void FetchNoPixel(const ImageRecord* image, WorkingPixel* pixel, int32_t x, int32_t y);
void StoreNoPixel(const ImageRecord* image, const WorkingPixel* pixel, int32_t x, int32_t y);

}  // namespace lumeray
