// Writing a floating-point image as a zip-compressed OpenEXR scanline file whose chunks are
// compressed on several threads with libdeflate (exr_zip_chunk.h), instead of through the image
// library's own writer (one zlib stream after another).
//
// Conventions
//  * Only the case the editor meets when it writes back an OpenEXR file it read is taken: a
//    single-part scanline file with ZIP or ZIPS compression, increasing line order, a data window
//    of the image's size, half or float channels named as `description` names them, and header
//    attributes of the kinds the image library itself carries over (numbers, strings, vectors,
//    boxes, matrices, chromaticities). The header is that file's own, with the channel list
//    rebuilt as the image library would write it (every channel of `description.format`, no
//    subsampling); a reader sees the same attributes as from the image library's writer.
//  * Anything else is kUnsupported, decided before the first byte is written: the caller then
//    writes the file its usual way.
//  * Every byte goes through `write` (pwrite semantics: all `size` bytes at `offset`, false on
//    failure); after a failure nothing more is written and the result is kFailed with a reason.
//  * Samples are stored as they are (float) or rounded to the nearest half, ties to even.
//
// Threading: WriteZipExr runs on the calling thread and starts up to `threads` - 1 compressing
// threads of its own, joined before it returns; `write` is called on the calling thread only.
#pragma once

#include <OpenImageIO/imageio.h>

#include <cstdint>
#include <functional>
#include <string>

#include "host_image.h"

namespace lumeray {

enum class ExrWriteOutcome { kWritten, kUnsupported, kFailed };

struct ZipExrOptions {
  int level = 4;    // libdeflate's level
  int threads = 1;  // compressing threads, the calling one included
  std::function<bool(const void* data, size_t size, uint64_t offset)> write;
};

// `headerSource` is the OpenEXR file whose header is kept; `description` is the image library's
// reading of it, `image` the pixels to write (32-bit float samples).
ExrWriteOutcome WriteZipExr(const std::string& headerSource, const OIIO::ImageSpec& description,
                            const HostImage& image, const ZipExrOptions& options,
                            std::string* error);

}  // namespace lumeray
