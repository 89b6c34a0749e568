// Reading and writing image files with OpenImageIO: PNG, JPEG, TIFF and OpenEXR only.
//
// Conventions
//  * An image is read into a HostImage: 8-bit and 16-bit samples as they are, every other sample
//    type (half, float, 32-bit integer, double) as 32-bit float. Alpha stays unassociated, as the
//    file has it. Grey, grey + alpha, RGB and RGBA are accepted; other layouts are refused.
//  * The output keeps the input's format, sample type, alpha and ICC profile unless the output
//    name asks for another format; then it keeps what that format can hold.
//  * Inputs are regular files whose own bytes say they are one of the four formats; an embedded
//    colour profile is checked before the image library decodes it (image_format.h), and the
//    pixel count is checked against a limit from the header, before any pixel is allocated.
//  * Output goes through a writer that checks every write, to a temporary file in the output's
//    folder that is flushed and renamed into place only when all succeeded (atomic_file.h), so
//    a partial output never exists under the output's name. What a format cannot carry (alpha,
//    a profile PNG's codec refuses) is converted or left out with a notice, never a failure.
//  * Failures return false with a readable reason; nothing is written then.
//
// Threading: functions may run on any thread; they share no state. Reading a striped TIFF file
// starts readers of its own, one per usable processor, and returns when all are done.
#pragma once

#include <OpenImageIO/imageio.h>

#include <memory>
#include <string>
#include <vector>

#include "host_image.h"

namespace lumeray {

// Silences the image library's own debugging lines on standard error (for --quiet). Process-wide:
// call on the main thread before any image is read or written.
void QuietImageLibrary();

// OpenImageIO's type of a HostImage sample.
OIIO::TypeDesc SampleTypeDesc(SampleType type);

struct ImageFile {
  HostImage image;
  std::string formatName;       // OpenImageIO's name: "png", "jpeg", "tiff", "openexr", ...
  OIIO::ImageSpec description;  // as read: the file's own sample format and metadata
  std::string path;             // the file read; empty for an image made in memory
};

// More pixels than this are refused unless the user raises the limit.
inline constexpr uint64_t kDefaultMaxPixels = 300'000'000;

bool ReadImageFile(const std::string& path, ImageFile* file, std::vector<std::string>* notices,
                   std::string* error, uint64_t maxPixels = kDefaultMaxPixels);

// A selection mask: a single-channel image of exactly width × height; white is selected.
bool ReadMaskFile(const std::string& path, int32_t width, int32_t height, GreyMask* mask,
                  std::string* error);

// Whether an image can be written at `path`: one of the four formats and an existing, writable
// folder.
bool CheckOutputPath(const std::string& path, std::string* error);

// An output file written in the manner of `source` (see the conventions above), row after row:
// Open, WriteRows up to the last row, Publish. Any failure removes the temporary file and
// returns false with the reason; the object is then closed. An OpenEXR file made from an
// OpenEXR input is written whole by Open (the editor's own zip writer, when it can).
class ImageOutputFile {
 public:
  ImageOutputFile();
  ~ImageOutputFile();  // removes the temporary file unless it was published
  ImageOutputFile(const ImageOutputFile&) = delete;
  ImageOutputFile& operator=(const ImageOutputFile&) = delete;

  // `image` must outlive the object. The notices say what the format could not carry.
  bool Open(const std::string& path, const HostImage& image, const ImageFile& source,
            std::vector<std::string>* notices, std::string* error);
  // Writes the rows after those already written, up to `end` (exclusive).
  bool WriteRows(int end, std::string* error);
  // Closes, flushes and renames the file into place; every row must have been written.
  bool Publish(std::string* error);
  // Closes the file unpublished and removes it (nothing when none is open).
  void Discard();

 private:
  struct Parts;
  bool Fail(std::string reason, std::string* error);
  std::unique_ptr<Parts> parts_;
};

// Writes `image` in the manner of `source` (see the conventions above).
bool WriteImageFile(const std::string& path, const HostImage& image, const ImageFile& source,
                    std::vector<std::string>* notices, std::string* error);

}  // namespace lumeray
