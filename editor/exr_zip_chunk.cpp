#include "exr_zip_chunk.h"

#include <libdeflate.h>

#include <new>

namespace lumeray {

void ZipChunkCompressor::Free::operator()(libdeflate_compressor* compressor) const {
  libdeflate_free_compressor(compressor);
}

ZipChunkCompressor::ZipChunkCompressor(int level)
    : compressor_(libdeflate_alloc_compressor(level)) {
  if (!compressor_) throw std::bad_alloc();
}

void PredictZipChunk(std::span<const uint8_t> raw, uint8_t* out) {
  const size_t size = raw.size();
  const size_t evens = (size + 1) / 2;
  for (size_t i = 0; i < size / 2; ++i) {
    out[i] = raw[2 * i];
    out[evens + i] = raw[2 * i + 1];
  }
  if (size % 2 != 0) out[evens - 1] = raw[size - 1];
  // Back to front, so that each difference reads its predecessor's original byte.
  for (size_t i = size; i-- > 1;) {
    out[i] = static_cast<uint8_t>(out[i] - out[i - 1] + 128);
  }
}

void ZipChunkCompressor::Compress(std::span<const uint8_t> raw, std::vector<uint8_t>* stored) {
  predicted_.resize(raw.size());
  PredictZipChunk(raw, predicted_.data());
  stored->resize(libdeflate_zlib_compress_bound(compressor_.get(), raw.size()));
  const size_t packed = libdeflate_zlib_compress(compressor_.get(), predicted_.data(), raw.size(),
                                                 stored->data(), stored->size());
  if (packed == 0 || packed >= raw.size()) {
    stored->assign(raw.begin(), raw.end());
  } else {
    stored->resize(packed);
  }
}

}  // namespace lumeray
