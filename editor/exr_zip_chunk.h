// Compressing one chunk of an OpenEXR file the way its ZIP and ZIPS compressions store it.
//
// Conventions
//  * The input is a chunk's pixel data as OpenEXR lays it out uncompressed: for each scanline of
//    the chunk, each channel in the file's (name) order, that channel's samples of the line,
//    little-endian.
//  * The stored form: the bytes are split into the even-indexed ones followed by the odd-indexed
//    ones, each byte after the first replaced by its difference from the previous one plus 128
//    (mod 256), and the result compressed as a zlib stream. When that is not smaller than the
//    input, the chunk is stored as the input itself, as OpenEXR does: a reader tells the two
//    apart by the size alone.
//  * The zlib stream comes from libdeflate at the level given (1..12; zlib's scale up to 9). Any
//    level is read by every OpenEXR reader: the level is not stored.
//
// Threading: a ZipChunkCompressor is used by one thread at a time; separate compressors may run
// at once.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

struct libdeflate_compressor;

namespace lumeray {

class ZipChunkCompressor {
 public:
  // Throws std::bad_alloc when the compressor cannot be allocated.
  explicit ZipChunkCompressor(int level);

  // Replaces `stored` with the chunk's stored form (see above).
  void Compress(std::span<const uint8_t> raw, std::vector<uint8_t>* stored);

 private:
  struct Free {
    void operator()(libdeflate_compressor* compressor) const;
  };
  std::unique_ptr<libdeflate_compressor, Free> compressor_;
  std::vector<uint8_t> predicted_;
};

// The byte split and difference step alone, `raw` into `out` (of raw.size() bytes).
void PredictZipChunk(std::span<const uint8_t> raw, uint8_t* out);

}  // namespace lumeray
