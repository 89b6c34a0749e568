// A GIMP drawable as the editor's host image, and the result back into GIMP.
//
// The region is the drawable's part of the selection's bounds (the whole drawable when nothing
// is selected). Its pixels are read through GEGL in the drawable's own format, so that 8-bit,
// 16-bit and 32-bit float images reach the module at their own precision; other precisions
// (half float, 32-bit integer, double) go through 32-bit float in the drawable's colour model
// and space. The selection, when there is one, becomes the host's mask (one byte per pixel).
// The image's effective colour profile is the host profile.
//
// The result is written to the drawable's shadow buffer and merged through the selection in one
// undo step, so a run that fails or is cancelled never reaches the image.
//
// Threading: libgimp is single-threaded; everything here runs on the plug-in's main thread.
#pragma once

#include <libgimp/gimp.h>

#include <string>

#include "host_image.h"

namespace lumeray::gimp_bridge {

struct DrawableRegion {
  gint32 drawable = -1;
  gint x = 0, y = 0, width = 0, height = 0;  // drawable coordinates
  const Babl* format = nullptr;              // the exchange format
};

// Reads the region; false with a message when the drawable cannot be used (indexed, a layer
// group, pixels locked, a colour profile that does not fit). An empty
// intersection with the selection gives an empty region (width 0) and true.
bool ReadDrawable(gint32 image, gint32 drawable, DrawableRegion* region, HostImage* pixels,
                  GreyMask* mask, bool* masked, std::string* error);

// Writes the pixels to the shadow buffer, merges it as one undo step and updates the display;
// false with a message when GIMP refuses (the drawable is then as it was).
bool WriteDrawable(const DrawableRegion& region, const HostImage& pixels, std::string* error);

}  // namespace lumeray::gimp_bridge
