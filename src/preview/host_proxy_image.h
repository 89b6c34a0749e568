// The HostProxyImage: the preview's pyramid of the InputImage, kHostProxyLevels images in the
// display profile and linear light. Level 0 has the InputImage's bounds; level i its bounds
// divided by 2^i (each coordinate truncated after adding kLevelBoundsEpsilon, an empty width
// or height made 1), so that a 5 x 3 image reaches 1 x 1 and stays there. Each level records
// its scale against the InputImage (level width / source width, level height / source height).
//
// Building (BuildHostProxyImage): level 0 is 16-bit RGB when the caller asks for it (the
// OpenGL settings' alternative internal format), else 8-bit RGB; the InputImage is converted
// into it in the display profile (ConvertImageRegion) and linearised (LinearizeImage). Every
// further level has gamma 1.0 and is resampled from the one before: each pixel is the mean of
// the block of ceil(sw / dw) x ceil(sh / dh) pixels that starts at (x sw / dw, y sh / dh) in
// the level before, fetched and stored through the images' converters. A 2 x 2 block adds each
// value divided by 4; any other block adds in 64 bits and divides by the block's size,
// truncating. Blocks never reach past the source. The build polls the render abort flag after
// each row and fails once it is set.
//
// The pyramid is not rendered when the module is loaded, when a preview snapshot handed in
// names another monitor than the one before (HandInPreviewSnapshot), and whenever it is
// invalidated (each run, since the InputImage, its profiles and gamma tables are the run's).
// GetHostProxyImageInfo hands out the level suited to a requested scale once it is rendered.
//
// The pyramid is the run's (preview_run_state.h); every function takes it explicitly.
//
// Threading contract: BuildHostProxyImage on one thread at a time (the preview task); the
// levels are read by other threads only after the rendered flag is set, which publishes them.
// HandInPreviewSnapshot and CurrentPreviewSnapshot from any thread. InvalidateHostProxyImage
// and ReleaseHostProxyImage must not overlap a build.
#pragma once

#include <cstdint>

#include "effects/parameter_set_buffer.h"
#include "image/image_record.h"

namespace lumeray {

struct HostProxyPyramid;

constexpr int kHostProxyLevels = 16;
constexpr double kLevelBoundsEpsilon = 1e-10;

struct ProxyScale {
  double x;
  double y;
};

// Called with the number of levels done: 1 per level built, 16 when the pyramid was ready.
using ProxyProgressProc = void (*)(void* context, uint32_t levels);

struct HostProxyBuildOptions {
  bool sixteenBit = false;
  ProxyProgressProc progress = nullptr;
  void* progressContext = nullptr;
};

bool BuildHostProxyImage(HostProxyPyramid& pyramid, const HostProxyBuildOptions& options);

// Chooses the first level L whose next level has an x-scale below scale->x or a y-scale below
// scale->y (level 15 when none has), copies its record into *image and its scale into *scale.
// Fails (reported) before the pyramid is rendered or with a null argument.
bool GetHostProxyImageInfo(const HostProxyPyramid& pyramid, ImageRecord* image, ProxyScale* scale);

bool HostProxyImageRendered(const HostProxyPyramid& pyramid);
void InvalidateHostProxyImage(HostProxyPyramid& pyramid);

// Keeps the snapshot as the current preview snapshot; one that names another monitor than the
// snapshot before marks the pyramid not rendered.
void HandInPreviewSnapshot(HostProxyPyramid& pyramid, const ParameterSetBuffer& snapshot);
ParameterSetBuffer CurrentPreviewSnapshot(HostProxyPyramid& pyramid);

// The level's image and scale (level 0 .. kHostProxyLevels - 1).
const ImageRecord& HostProxyLevelImage(const HostProxyPyramid& pyramid, int level);
ProxyScale HostProxyLevelScale(const HostProxyPyramid& pyramid, int level);

// The bounds of pyramid level `level` for a source of `bounds`.
ImageRect ProxyLevelBounds(const ImageRect& bounds, int level);

// Polled with its context after each row of a resampling; true stops it.
using AbortPoll = bool (*)(const void* context);
// Resamples `source` into `destination` as a pyramid level (see above); copies when the two
// bounds are equal. False when the poll asked to stop.
bool Resample(const ImageRecord& source, ImageRecord* destination, AbortPoll abort,
              const void* abortContext = nullptr);

// Frees every level's buffers and marks the pyramid not rendered (module clean-up).
void ReleaseHostProxyImage(HostProxyPyramid& pyramid);

}  // namespace lumeray
