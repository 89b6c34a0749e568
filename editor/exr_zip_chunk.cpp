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
  // The split and the differences in one forward pass over each half, read from `raw` with a
  // stride of two: out[j] is the j-th byte of the split sequence less the one before it.
  const size_t size = raw.size();
  if (size == 0) return;
  const uint8_t* r = raw.data();
  const size_t evens = (size + 1) / 2;
  const size_t odds = size / 2;
  const auto difference = [](uint8_t now, uint8_t before) {
    return static_cast<uint8_t>(now - before + 128);
  };
  out[0] = r[0];
  for (size_t i = 1; i < evens; ++i) out[i] = difference(r[2 * i], r[2 * i - 2]);
  if (odds == 0) return;
  out[evens] = difference(r[1], r[2 * (evens - 1)]);  // the first odd byte follows the last even
  for (size_t i = 1; i < odds; ++i) out[evens + i] = difference(r[2 * i + 1], r[2 * i - 1]);
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
