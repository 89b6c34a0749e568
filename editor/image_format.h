// What an input file holds, found from its own bytes before the image library sees it.
//
// Conventions
//  * Only the editor's formats are recognised: PNG, JPEG, TIFF (classic and BigTIFF) and
//    OpenEXR, by their signatures; every other file is refused whatever its name says.
//  * The ICC profile a JPEG (APP2 "ICC_PROFILE" chunks, in their sequence order) or a TIFF (tag
//    34675 of the first image) embeds is read here, so that it can be checked before the image
//    library decodes it. PNG's profile is checked by its codec; OpenEXR has none.
//  * Every offset and length read from the file is checked against the file's size.
//
// Threading: pure functions of the file's bytes.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace lumeray {

enum class ImageFormat { kUnknown, kPng, kJpeg, kTiff, kOpenExr };

// The format whose signature `head` (the file's first bytes, 8 are enough) starts with.
ImageFormat SniffImageFormat(std::span<const uint8_t> head);

// OpenImageIO's name of the format ("png", "jpeg", "tiff", "openexr").
const char* ImageFormatName(ImageFormat format);

// What a file holds before it is decoded.
struct ImageFileFacts {
  ImageFormat format = ImageFormat::kUnknown;
  std::vector<uint8_t> iccProfile;  // empty: none embedded (or the format's codec checks it)
  bool severalImages = false;       // a TIFF with more than one directory
};

// Reads what the file at `fd` holds. False (with the reason) for a file that is not one of the
// formats, or whose structure is broken where the profile is looked for.
bool InspectImageFile(int fd, ImageFileFacts* facts, std::string* error);

}  // namespace lumeray
