#include "exr_zip_chunk.h"

#include <libdeflate.h>

#include <algorithm>
#include <new>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

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
  size_t i = 1;
#ifdef __SSE2__
  // Sixteen of each half at a time: bytes 2i-2 .. 2i+29 split into their even and odd bytes give
  // the predecessors of the bytes 2i .. 2i+31 split likewise.
  const __m128i low = _mm_set1_epi16(0x00FF);
  const __m128i bias = _mm_set1_epi8(static_cast<char>(128));
  const auto split = [low](const uint8_t* p, __m128i* even, __m128i* odd) {
    const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16));
    *even = _mm_packus_epi16(_mm_and_si128(a, low), _mm_and_si128(b, low));
    *odd = _mm_packus_epi16(_mm_srli_epi16(a, 8), _mm_srli_epi16(b, 8));
  };
  for (; 2 * i + 32 <= size; i += 16) {
    __m128i even, odd, evenBefore, oddBefore;
    split(r + 2 * i, &even, &odd);
    split(r + 2 * i - 2, &evenBefore, &oddBefore);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i),
                     _mm_add_epi8(_mm_sub_epi8(even, evenBefore), bias));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + evens + i),
                     _mm_add_epi8(_mm_sub_epi8(odd, oddBefore), bias));
  }
#endif
  for (size_t j = i; j < evens; ++j) out[j] = difference(r[2 * j], r[2 * j - 2]);
  if (odds == 0) return;
  out[evens] = difference(r[1], r[2 * (evens - 1)]);  // the first odd byte follows the last even
  for (size_t j = std::max<size_t>(i, 1); j < odds; ++j) {
    out[evens + j] = difference(r[2 * j + 1], r[2 * j - 1]);
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
