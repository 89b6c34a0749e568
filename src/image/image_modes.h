// The image mode table: bytes per sample, OpenGL pixel type and format, and the colour engine's
// pixel format word of each mode (image_record.h lists the modes).
//
// Bytes per sample: modes 0-9 hold 1 byte, 10-15 2 bytes, 16, 17 and 64 4 bytes.
//
// Threading contract: pure functions of their arguments (reports aside); any thread.
#pragma once

#include <cstdint>

#include "image/image_record.h"

namespace lumeray {

// 1, 2 or 4; 0 for a mode outside the table. Silent.
int64_t LookUpBytesPerSample(int32_t mode);
// As LookUpBytesPerSample, but a mode outside the table reports "Error:  Unrecognized image
// mode." and counts 1 (the host's memory negotiation uses this one).
int64_t BytesPerSampleOfMode(int32_t mode);

// The host's greyscale modes 1, 10 and 17.
bool IsHostGrayMode(int32_t mode);

// The host's modes the module has no converters for: 0, 2, 4-9 and 12-15.
bool IsUnimplementedHostMode(int32_t mode);

// GL_UNSIGNED_BYTE / _SHORT for 1 / 2 bytes per sample, GL_UNSIGNED_INT for mode 64, GL_FLOAT
// for modes 16 and 17; 0 for a mode outside the table.
uint32_t GlPixelTypeOfMode(int32_t mode);
// GL_BGRA for 1 byte per sample, GL_RGBA otherwise.
uint32_t GlPixelFormatOfMode(int32_t mode);

// Whether an 8-bit colour image keeps its samples as B, G, R, A (its GL pixel format is BGRA).
inline bool HasBgraLayout(const ImageRecord& image) {
  return image.glPixelFormat == kGlBgra;
}

// The Little CMS pixel format word that describes the image's memory layout, or 0 (after the
// report "Error:  Unrecognized image mode %d in GetImageColorTransform().") for modes it has
// none for, such as the working mode 64.
uint32_t GetImageColorTransform(const ImageRecord* image);

}  // namespace lumeray
