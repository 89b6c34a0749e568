// Reading and writing image files with OpenImageIO (PNG, JPEG, TIFF, OpenEXR and whatever else
// the installed OpenImageIO reads).
//
// Conventions
//  * An image is read into a HostImage: 8-bit and 16-bit samples as they are, every other sample
//    type (half, float, 32-bit integer, double) as 32-bit float. Alpha stays unassociated, as the
//    file has it. Grey, grey + alpha, RGB and RGBA are accepted; other layouts are refused.
//  * The output keeps the input's format, sample type, alpha and ICC profile unless the output
//    name asks for another format; then it keeps what that format can hold.
//  * Output is written to a temporary file in the output's folder and renamed into place, so a
//    partial output never exists under the output's name.
//  * Failures return false with a readable reason; nothing is written then.
//
// Threading: functions may run on any thread; they share no state.
#pragma once

#include <OpenImageIO/imageio.h>

#include <string>
#include <vector>

#include "host_image.h"

namespace lumeray {

// OpenImageIO's type of a HostImage sample.
OIIO::TypeDesc SampleTypeDesc(SampleType type);

struct ImageFile {
  HostImage image;
  std::string formatName;       // OpenImageIO's name: "png", "jpeg", "tiff", "openexr", ...
  OIIO::ImageSpec description;  // as read: the file's own sample format and metadata
};

bool ReadImageFile(const std::string& path, ImageFile* file, std::vector<std::string>* notices,
                   std::string* error);

// A selection mask: a single-channel image of exactly width × height; white is selected.
bool ReadMaskFile(const std::string& path, int32_t width, int32_t height, GreyMask* mask,
                  std::string* error);

// Whether an image can be written at `path`: a known format and an existing, writable folder.
bool CheckOutputPath(const std::string& path, std::string* error);

// Writes `image` in the manner of `source` (see the conventions above).
bool WriteImageFile(const std::string& path, const HostImage& image, const ImageFile& source,
                    std::vector<std::string>* notices, std::string* error);

}  // namespace lumeray
