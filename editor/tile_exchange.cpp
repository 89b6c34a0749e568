#include "tile_exchange.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <limits>
#include <new>

#include "processors.h"
#include "row_blocks.h"
#include "samples.h"

namespace lumeray {
namespace {

constexpr int kMaxPaddingValue = 255;

ExchangeRect FromRect16(const PIRect16& rect) {
  return ExchangeRect{rect.left, rect.top, rect.right, rect.bottom};
}

ExchangeRect FromRect32(const VRect& rect) {
  return ExchangeRect{rect.left, rect.top, rect.right, rect.bottom};
}

bool SameRect(const ExchangeRect& a, const ExchangeRect& b) {
  return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

bool Inside(const ExchangeRect& rect, int32_t width, int32_t height) {
  return rect.left >= 0 && rect.top >= 0 && rect.right <= width && rect.bottom <= height;
}

int32_t Clamp(int64_t value, int32_t low, int32_t high) {
  return static_cast<int32_t>(std::clamp<int64_t>(value, low, high));
}

// Sizes a request buffer: rowBytes for one row of `pixelBytes` pixels, checked against the
// interface's 32-bit row stride and the host's request limit.
OSErr SizeBuffer(const ExchangeRect& rect, size_t pixelBytes, std::vector<uint8_t>* buffer,
                 size_t* rowBytes) {
  const auto width = static_cast<uint64_t>(rect.Width());
  const auto height = static_cast<uint64_t>(rect.Height());
  if (width > kMaxRequestBytes / pixelBytes) return kMemFullErr;
  const uint64_t row = width * pixelBytes;
  if (row > static_cast<uint64_t>(std::numeric_limits<int32_t>::max()) ||
      height > kMaxRequestBytes / row) {
    return kMemFullErr;
  }
  try {
    buffer->resize(row * height);
  } catch (const std::bad_alloc&) {
    return kMemFullErr;
  }
  *rowBytes = row;
  return kNoErr;
}

// Fills `buffer` with the pixels of `rect`; copyRun(y, x, n, out) writes n pixels of image row
// y from column x; pixels outside the image are padded as `padding` says with `padPixel`.
template <typename CopyRun>
OSErr FillRect(const ExchangeRect& rect, int32_t imageWidth, int32_t imageHeight, size_t pixelBytes,
               int16_t padding, const std::vector<uint8_t>& padPixel, std::vector<uint8_t>* buffer,
               size_t* rowBytes, CopyRun copyRun) {
  if (padding == kPaddingError && !Inside(rect, imageWidth, imageHeight)) return kParamErr;
  if (const OSErr status = SizeBuffer(rect, pixelBytes, buffer, rowBytes); status != kNoErr) {
    return status;
  }
  const bool replicate = padding == kPaddingEdgeReplicate;
  const auto pad = [&](uint8_t* out, int64_t pixels) {
    for (int64_t i = 0; i < pixels; ++i) {
      std::memcpy(out + static_cast<size_t>(i) * pixelBytes, padPixel.data(), pixelBytes);
    }
  };
  const int64_t inLeft = std::max<int64_t>(rect.left, 0);
  const int64_t inRight = std::min<int64_t>(rect.right, imageWidth);
  const auto fillRow = [&](int64_t y) {
    uint8_t* row = buffer->data() + static_cast<size_t>(y - rect.top) * *rowBytes;
    const bool rowInside = y >= 0 && y < imageHeight;
    if (!rowInside && !replicate) {
      pad(row, rect.Width());
      return;
    }
    const int32_t sourceY = Clamp(y, 0, imageHeight - 1);
    for (int64_t x = rect.left; x < rect.right;) {
      uint8_t* out = row + static_cast<size_t>(x - rect.left) * pixelBytes;
      if (x < inLeft || x >= inRight) {
        const int64_t runEnd = x < inLeft ? inLeft : rect.right;
        if (replicate) {
          const int32_t sourceX = Clamp(x, 0, imageWidth - 1);
          for (int64_t i = 0; i < runEnd - x; ++i) {
            copyRun(sourceY, sourceX, 1, out + static_cast<size_t>(i) * pixelBytes);
          }
        } else {
          pad(out, runEnd - x);
        }
        x = runEnd;
      } else {
        copyRun(sourceY, static_cast<int32_t>(x), static_cast<size_t>(inRight - x), out);
        x = inRight;
      }
    }
  };
  ForRowBlocks(rect.top, rect.bottom, rect.Width(), UsableProcessors(),
               [&](int64_t first, int64_t end) {
                 for (int64_t y = first; y < end; ++y) fillRow(y);
               });
  return kNoErr;
}

// One sample of constant padding `value` (0..255) in the host representation of `type`.
void PaddingSample(SampleType type, int value, uint8_t* out) {
  switch (type) {
    case SampleType::kUInt8:
      out[0] = static_cast<uint8_t>(value);
      break;
    case SampleType::kUInt16: {
      const auto sample =
          static_cast<uint16_t>((value * kHostMax16 + kMaxPaddingValue / 2) / kMaxPaddingValue);
      std::memcpy(out, &sample, sizeof sample);
      break;
    }
    case SampleType::kFloat32: {
      const float sample = static_cast<float>(value) / kMaxPaddingValue;
      std::memcpy(out, &sample, sizeof sample);
      break;
    }
  }
}

// Copies `runs` runs of kBytes bytes, one every `sourceStride` bytes, to one every
// `targetStride` bytes. A constant size lets the copy of each run compile to a few moves.
template <size_t kBytes>
void CopyRunsOf(uint8_t* target, size_t targetStride, const uint8_t* source, size_t sourceStride,
                size_t runs) {
  for (size_t i = 0; i < runs; ++i) {
    std::memcpy(target + i * targetStride, source + i * sourceStride, kBytes);
  }
}

// One byte of every kSourceStride bytes to one of every kTargetStride: a constant stride on both
// sides, so that the loop compiles to a few moves per byte without a stride held in a register.
template <size_t kTargetStride, size_t kSourceStride>
void CopyBytesOf(uint8_t* target, const uint8_t* source, size_t runs) {
  for (size_t i = 0; i < runs; ++i) target[i * kTargetStride] = source[i * kSourceStride];
}

// The same for any run length: one copy when both sides are contiguous, else the strided copy
// for the run lengths pixels of 1 to 4 samples of 1, 2 or 4 bytes have.
void CopyRuns(uint8_t* target, size_t targetStride, const uint8_t* source, size_t sourceStride,
              size_t runs, size_t bytes) {
  if (targetStride == bytes && sourceStride == bytes) {
    std::memcpy(target, source, runs * bytes);
    return;
  }
  // One 8-bit plane of RGB or RGBA pixels, to or from a packed plane, as a module asks for them.
  if (bytes == 1) {
    if (targetStride == 1 && sourceStride == 3) return CopyBytesOf<1, 3>(target, source, runs);
    if (targetStride == 1 && sourceStride == 4) return CopyBytesOf<1, 4>(target, source, runs);
    if (targetStride == 3 && sourceStride == 1) return CopyBytesOf<3, 1>(target, source, runs);
    if (targetStride == 4 && sourceStride == 1) return CopyBytesOf<4, 1>(target, source, runs);
  }
  switch (bytes) {
    case 1:
      return CopyRunsOf<1>(target, targetStride, source, sourceStride, runs);
    case 2:
      return CopyRunsOf<2>(target, targetStride, source, sourceStride, runs);
    case 3:
      return CopyRunsOf<3>(target, targetStride, source, sourceStride, runs);
    case 4:
      return CopyRunsOf<4>(target, targetStride, source, sourceStride, runs);
    case 6:
      return CopyRunsOf<6>(target, targetStride, source, sourceStride, runs);
    case 8:
      return CopyRunsOf<8>(target, targetStride, source, sourceStride, runs);
    case 12:
      return CopyRunsOf<12>(target, targetStride, source, sourceStride, runs);
    case 16:
      return CopyRunsOf<16>(target, targetStride, source, sourceStride, runs);
    default:
      for (size_t i = 0; i < runs; ++i) {
        std::memcpy(target + i * targetStride, source + i * sourceStride, bytes);
      }
  }
}

// The 16-bit samples of `count` planes of `pixels` pixels: one pixel every `channels` samples
// of the image, packed in the host buffer. A constant plane count and stride (kCount and
// kChannels, else 0 and the arguments say) let each loop compile to a few branch-free moves per
// sample.
template <int kCount, int kChannels = 0>
void Samples16ToHost(const uint8_t* image, size_t channels, size_t pixels, int count,
                     uint8_t* host) {
  const size_t planes = kCount != 0 ? kCount : static_cast<size_t>(count);
  const size_t pixelSamples = kChannels != 0 ? kChannels : channels;
  for (size_t i = 0; i < pixels; ++i) {
    for (size_t p = 0; p < planes; ++p) {
      uint16_t sample = 0;
      std::memcpy(&sample, image + 2 * (i * pixelSamples + p), 2);
      sample = FileToHost16(sample);
      std::memcpy(host + 2 * (i * planes + p), &sample, 2);
    }
  }
}

// The reverse; a host sample equal to the one the image would send keeps the image's own.
template <int kCount, int kChannels = 0>
void Samples16FromHost(const uint8_t* host, size_t pixels, int count, size_t channels,
                       uint8_t* image) {
  const size_t planes = kCount != 0 ? kCount : static_cast<size_t>(count);
  const size_t pixelSamples = kChannels != 0 ? kChannels : channels;
  for (size_t i = 0; i < pixels; ++i) {
    for (size_t p = 0; p < planes; ++p) {
      uint8_t* at = image + 2 * (i * pixelSamples + p);
      uint16_t value = 0;
      uint16_t current = 0;
      std::memcpy(&value, host + 2 * (i * planes + p), 2);
      std::memcpy(&current, at, 2);
      const uint16_t sample = FileToHost16(current) == value ? current : HostToFile16(value);
      std::memcpy(at, &sample, 2);
    }
  }
}

// Converts `pixels` pixels of planes lo..lo+count-1 from the image's samples to host samples.
void PixelsToHost(const HostImage& image, const uint8_t* source, size_t pixels, int lo, int count,
                  uint8_t* out) {
  const size_t channels = static_cast<size_t>(image.Channels());
  const size_t bps = image.BytesPerSample();
  const size_t pixelBytes = channels * bps;
  const size_t planeBytes = static_cast<size_t>(count) * bps;
  source += static_cast<size_t>(lo) * bps;
  if (image.sampleType != SampleType::kUInt16) {
    CopyRuns(out, planeBytes, source, pixelBytes, pixels, planeBytes);
    return;
  }
  switch (count) {
    case 1:
      // One plane of RGB or RGBA, as a module asks for them: a constant stride too.
      if (channels == 3) return Samples16ToHost<1, 3>(source, channels, pixels, 1, out);
      if (channels == 4) return Samples16ToHost<1, 4>(source, channels, pixels, 1, out);
      return Samples16ToHost<1>(source, channels, pixels, 1, out);
    case 2:
      return Samples16ToHost<2>(source, channels, pixels, 2, out);
    case 3:
      return Samples16ToHost<3>(source, channels, pixels, 3, out);
    default:
      return Samples16ToHost<0>(source, channels, pixels, count, out);
  }
}

// The reverse of PixelsToHost.
void PixelsFromHost(HostImage& image, const uint8_t* in, size_t pixels, int lo, int count,
                    uint8_t* target) {
  const size_t channels = static_cast<size_t>(image.Channels());
  const size_t bps = image.BytesPerSample();
  const size_t pixelBytes = channels * bps;
  const size_t planeBytes = static_cast<size_t>(count) * bps;
  target += static_cast<size_t>(lo) * bps;
  if (image.sampleType != SampleType::kUInt16) {
    CopyRuns(target, pixelBytes, in, planeBytes, pixels, planeBytes);
    return;
  }
  switch (count) {
    case 1:
      if (channels == 3) return Samples16FromHost<1, 3>(in, pixels, 1, channels, target);
      if (channels == 4) return Samples16FromHost<1, 4>(in, pixels, 1, channels, target);
      return Samples16FromHost<1>(in, pixels, 1, channels, target);
    case 2:
      return Samples16FromHost<2>(in, pixels, 2, channels, target);
    case 3:
      return Samples16FromHost<3>(in, pixels, 3, channels, target);
    default:
      return Samples16FromHost<0>(in, pixels, count, channels, target);
  }
}

}  // namespace

TileExchange::TileExchange(FilterRecord* record, HostImage* image, const GreyMask* mask,
                           ExchangeFaults faults)
    : record_(record), image_(image), mask_(mask), faults_(faults) {}

bool TileExchange::Uses32BitCoordinates() const {
  return record_->bigDocumentData != nullptr &&
         record_->bigDocumentData->PluginUsing32BitCoordinates != 0;
}

ExchangeRect TileExchange::InRect() const {
  return Uses32BitCoordinates() ? FromRect32(record_->bigDocumentData->inRect32)
                                : FromRect16(record_->inRect);
}

ExchangeRect TileExchange::OutRect() const {
  return Uses32BitCoordinates() ? FromRect32(record_->bigDocumentData->outRect32)
                                : FromRect16(record_->outRect);
}

ExchangeRect TileExchange::MaskRect() const {
  return Uses32BitCoordinates() ? FromRect32(record_->bigDocumentData->maskRect32)
                                : FromRect16(record_->maskRect);
}

bool TileExchange::HasRequest() const {
  return !InRect().Empty() || !OutRect().Empty() || !MaskRect().Empty();
}

void TileExchange::ClearDataPointers() {
  record_->inData = nullptr;
  record_->inRowBytes = 0;
  record_->outData = nullptr;
  record_->outRowBytes = 0;
  record_->maskData = nullptr;
  record_->maskRowBytes = 0;
}

void TileExchange::CountRequest(bool input, bool output, bool mask) {
  const int kinds = int{input} + int{output} + int{mask};
  if (kinds == 0) {
    ++counters_.emptyRequests;
  } else if (kinds == 1) {
    ++(input    ? counters_.inputRequests
       : output ? counters_.outputRequests
                : counters_.maskRequests);
  } else if (input && mask && !output) {
    ++counters_.inputWithMask;
  } else {
    ++counters_.otherCombinations;
  }
}

OSErr TileExchange::AdvanceState() {
  ++counters_.advanceStateCalls;
  if (counters_.advanceStateCalls == faults_.failAdvanceStateAt) {
    pending_.reset();
    ClearDataPointers();
    ++counters_.refusedRequests;
    return faults_.failCode;
  }
  if (CommitAndServeNextPlane()) return kNoErr;
  if (const OSErr status = CommitOutput(); status != kNoErr) {
    ClearDataPointers();
    return status;
  }
  return ServeRequest();
}

bool TileExchange::CommitAndServeNextPlane() {
  if (!pending_ || undoable_ || mask_ != nullptr) return false;
  const PendingOutput output = *pending_;
  const ExchangeRect rect = OutRect();
  const int lo = record_->outLoPlane;
  const int hi = record_->outHiPlane;
  const bool sameRect = SameRect(rect, output.rect);
  if (!InRect().Empty() || !MaskRect().Empty() || !sameRect || rect.Empty() ||
      !Inside(rect, image_->width, image_->height) || CheckPlanes(lo, hi) != kNoErr ||
      hi - lo + 1 != output.count) {
    return false;
  }
  CountRequest(false, true, false);
  DropReadAhead();
  BeforeChange(rect);
  const auto width = static_cast<size_t>(rect.Width());
  ForRowBlocks(
      rect.top, rect.bottom, rect.Width(), UsableProcessors(), [&](int64_t first, int64_t end) {
        for (int64_t y = first; y < end; ++y) {
          uint8_t* row = image_->Pixel(rect.left, static_cast<int32_t>(y));
          uint8_t* buffer = outBuffer_.data() + static_cast<size_t>(y - rect.top) * output.rowBytes;
          PixelsFromHost(*image_, buffer, width, output.lo, output.count, row);
          PixelsToHost(*image_, row, width, lo, output.count, buffer);
        }
      });
  Committed(rect, output.count);
  ++counters_.commits;
  ++counters_.servedRequests;
  ClearDataPointers();
  record_->outData = outBuffer_.data();
  record_->outRowBytes = static_cast<int32_t>(output.rowBytes);
  pending_ = PendingOutput{rect, lo, output.count, output.rowBytes};
  return true;
}

OSErr TileExchange::ServeRequest() {
  const ExchangeRect in = InRect();
  const ExchangeRect out = OutRect();
  const ExchangeRect mask = MaskRect();
  CountRequest(!in.Empty(), !out.Empty(), !mask.Empty());
  ClearDataPointers();
  pending_.reset();
  OSErr status = kNoErr;
  if (!in.Empty()) status = ServeInput(in);
  if (status == kNoErr && !out.Empty()) status = ServeOutput(out);
  if (status == kNoErr && !mask.Empty()) status = ServeMask(mask);
  if (status != kNoErr) {
    ClearDataPointers();
    pending_.reset();
    ++counters_.refusedRequests;
    return status;
  }
  if (!in.Empty() || !out.Empty() || !mask.Empty()) ++counters_.servedRequests;
  return kNoErr;
}

OSErr TileExchange::CheckPlanes(int lo, int hi) const {
  return lo >= 0 && lo <= hi && hi < image_->Channels() ? kNoErr : kParamErr;
}

OSErr TileExchange::FillPlanes(const ExchangeRect& rect, int lo, int count, int16_t padding,
                               std::vector<uint8_t>* buffer, size_t* rowBytes) const {
  const size_t bps = image_->BytesPerSample();
  const size_t pixelBytes = bps * static_cast<size_t>(count);
  std::vector<uint8_t> padPixel(pixelBytes, 0);
  if (padding >= 0 && padding <= kMaxPaddingValue) {
    for (int p = 0; p < count; ++p) {
      PaddingSample(image_->sampleType, padding, padPixel.data() + static_cast<size_t>(p) * bps);
    }
  }
  const HostImage& image = *image_;
  return FillRect(rect, image.width, image.height, pixelBytes, padding, padPixel, buffer, rowBytes,
                  [&](int32_t y, int32_t x, size_t pixels, uint8_t* out) {
                    PixelsToHost(image, image.Pixel(x, y), pixels, lo, count, out);
                  });
}

OSErr TileExchange::ServeInput(const ExchangeRect& rect) {
  const int lo = record_->inLoPlane;
  const int hi = record_->inHiPlane;
  if (CheckPlanes(lo, hi) != kNoErr) return kParamErr;
  if (record_->inputRate != 0 && record_->inputRate != kUnitRate) return kParamErr;
  size_t rowBytes = 0;
  const auto index = static_cast<size_t>(lo - ahead_.first);
  if (lo == hi && SameRect(ahead_.rect, rect) && lo >= ahead_.first && index < ahead_.held.size() &&
      ahead_.held[index]) {
    std::swap(inBuffer_, ahead_.planes[index]);
    ahead_.held[index] = false;
    rowBytes = ahead_.rowBytes;
    // The image's last rectangle handed out whole: a module reading its tiles in rows is done,
    // and the buffers would only add to the memory of the run's later steps.
    const bool lastTile = rect.right == image_->width && rect.bottom == image_->height;
    if (lastTile && std::find(ahead_.held.begin(), ahead_.held.end(), true) == ahead_.held.end()) {
      ahead_ = {};
    }
  } else if (const OSErr status = ReadAhead(rect, lo, hi, &rowBytes); status != kNoErr) {
    return status;
  }
  record_->inData = inBuffer_.data();
  record_->inRowBytes = static_cast<int32_t>(rowBytes);
  return kNoErr;
}

OSErr TileExchange::ReadAhead(const ExchangeRect& rect, int lo, int hi, size_t* rowBytes) {
  DropReadAhead();
  const size_t bps = image_->BytesPerSample();
  const int channels = image_->Channels();
  const bool worthIt =
      lo == hi && lo + 1 < channels && Inside(rect, image_->width, image_->height) &&
      static_cast<uint64_t>(rect.Width()) * static_cast<uint64_t>(rect.Height()) * bps <=
          kReadAheadBytes;
  if (!worthIt) {
    return FillPlanes(rect, lo, hi - lo + 1, record_->inputPadding, &inBuffer_, rowBytes);
  }
  const auto count = static_cast<size_t>(channels - lo - 1);
  std::vector<uint8_t*> targets;
  try {
    ahead_.planes.resize(count);
    ahead_.held.resize(count);
    targets.reserve(count + 1);
  } catch (const std::bad_alloc&) {
    return kMemFullErr;
  }
  for (size_t j = 0; j <= count; ++j) {
    std::vector<uint8_t>& buffer = j == 0 ? inBuffer_ : ahead_.planes[j - 1];
    if (const OSErr status = SizeBuffer(rect, bps, &buffer, rowBytes); status != kNoErr) {
      return status;
    }
    targets.push_back(buffer.data());
  }
  const auto width = static_cast<size_t>(rect.Width());
  ForRowBlocks(
      rect.top, rect.bottom, rect.Width(), UsableProcessors(), [&](int64_t first, int64_t end) {
        for (int64_t y = first; y < end; ++y) {
          const uint8_t* row = image_->Pixel(rect.left, static_cast<int32_t>(y));
          const size_t offset = static_cast<size_t>(y - rect.top) * *rowBytes;
          for (size_t j = 0; j < targets.size(); ++j) {
            PixelsToHost(*image_, row, width, lo + static_cast<int>(j), 1, targets[j] + offset);
          }
        }
      });
  ahead_.rect = rect;
  ahead_.first = lo + 1;
  ahead_.rowBytes = *rowBytes;
  ahead_.held.assign(count, true);
  return kNoErr;
}

void TileExchange::DropReadAhead() {
  ahead_.held.assign(ahead_.held.size(), false);
}

OSErr TileExchange::ServeOutput(const ExchangeRect& rect) {
  const int lo = record_->outLoPlane;
  const int hi = record_->outHiPlane;
  if (CheckPlanes(lo, hi) != kNoErr) return kParamErr;
  size_t rowBytes = 0;
  const OSErr status = FillPlanes(rect, lo, hi - lo + 1, kPaddingNone, &outBuffer_, &rowBytes);
  if (status != kNoErr) return status;
  record_->outData = outBuffer_.data();
  record_->outRowBytes = static_cast<int32_t>(rowBytes);
  pending_ = PendingOutput{rect, lo, hi - lo + 1, rowBytes};
  return kNoErr;
}

OSErr TileExchange::ServeMask(const ExchangeRect& rect) {
  if (record_->haveMask == 0 || mask_ == nullptr) return kNoErr;  // no mask: maskData stays null
  if (record_->maskRate != 0 && record_->maskRate != kUnitRate) return kParamErr;
  const int16_t padding = record_->maskPadding;
  const std::vector<uint8_t> padPixel{
      static_cast<uint8_t>(padding >= 0 && padding <= kMaxPaddingValue ? padding : 0)};
  size_t rowBytes = 0;
  const GreyMask& mask = *mask_;
  const OSErr status = FillRect(
      rect, mask.width, mask.height, 1, padding, padPixel, &maskBuffer_, &rowBytes,
      [&](int32_t y, int32_t x, size_t pixels, uint8_t* out) {
        std::memcpy(out, mask.values.data() + static_cast<size_t>(y) * mask.width + x, pixels);
      });
  if (status != kNoErr) return status;
  record_->maskData = maskBuffer_.data();
  record_->maskRowBytes = static_cast<int32_t>(rowBytes);
  return kNoErr;
}

OSErr TileExchange::CommitOutput() {
  if (!pending_) return kNoErr;
  DropReadAhead();
  const PendingOutput output = *pending_;
  pending_.reset();
  ExchangeRect clipped{std::max(output.rect.left, 0), std::max(output.rect.top, 0),
                       std::min(output.rect.right, image_->width),
                       std::min(output.rect.bottom, image_->height)};
  if (clipped.Empty()) return kNoErr;
  const size_t bps = image_->BytesPerSample();
  const size_t pixelBytes = image_->PixelBytes();
  const size_t planeBytes = static_cast<size_t>(output.count) * bps;
  const size_t planeOffset = static_cast<size_t>(output.lo) * bps;
  const auto width = static_cast<size_t>(clipped.Width());
  // Only the planes written are journalled: a plane-by-plane write-back keeps one copy of the
  // image's samples, not one per plane.
  const auto written = [&](int64_t y) {
    return outBuffer_.data() + static_cast<size_t>(y - output.rect.top) * output.rowBytes +
           static_cast<size_t>(clipped.left - output.rect.left) *
               static_cast<size_t>(output.count) * bps;
  };
  BeforeChange(clipped);
  if (!undoable_ && mask_ == nullptr) {
    ForRowBlocks(clipped.top, clipped.bottom, clipped.Width(), UsableProcessors(),
                 [&](int64_t first, int64_t end) {
                   for (int64_t y = first; y < end; ++y) {
                     PixelsFromHost(*image_, written(y), width, output.lo, output.count,
                                    image_->Pixel(clipped.left, static_cast<int32_t>(y)));
                   }
                 });
    Committed(clipped, output.count);
    ++counters_.commits;
    return kNoErr;
  }
  JournalEntry entry{clipped, output.lo, output.count, {}};
  try {
    entry.samples.resize(width * planeBytes * static_cast<size_t>(clipped.Height()));
    journal_.reserve(journal_.size() + 1);
  } catch (const std::bad_alloc&) {
    return kMemFullErr;  // nothing was written: the image still holds the last commit
  }
  ForRowBlocks(clipped.top, clipped.bottom, clipped.Width(), UsableProcessors(),
               [&](int64_t first, int64_t end) {
                 for (int64_t y = first; y < end; ++y) {
                   uint8_t* row = image_->Pixel(clipped.left, static_cast<int32_t>(y));
                   uint8_t* saved = entry.samples.data() +
                                    static_cast<size_t>(y - clipped.top) * width * planeBytes;
                   CopyRuns(saved, planeBytes, row + planeOffset, pixelBytes, width, planeBytes);
                   PixelsFromHost(*image_, written(y), width, output.lo, output.count, row);
                 }
               });
  journal_.push_back(std::move(entry));
  Committed(clipped, output.count);
  ++counters_.commits;
  return kNoErr;
}

void TileExchange::Rollback() {
  pending_.reset();
  DropReadAhead();
  const size_t bps = image_->BytesPerSample();
  const size_t pixelBytes = image_->PixelBytes();
  if (!journal_.empty()) BeforeChange({0, 0, image_->width, image_->height});
  for (auto it = journal_.rbegin(); it != journal_.rend(); ++it) {
    const size_t planeBytes = static_cast<size_t>(it->count) * bps;
    const size_t planeOffset = static_cast<size_t>(it->lo) * bps;
    const auto width = static_cast<size_t>(it->rect.Width());
    const uint8_t* saved = it->samples.data();
    for (int32_t y = it->rect.top; y < it->rect.bottom; ++y) {
      uint8_t* row = image_->Pixel(it->rect.left, y);
      CopyRuns(row + planeOffset, pixelBytes, saved, planeBytes, width, planeBytes);
      saved += width * planeBytes;
    }
  }
  journal_.clear();
}

namespace {

// One sample blended with the image's original under a mask value 1..254.
void BlendUnderMask(SampleType type, const uint8_t* original, uint8_t mask, uint8_t* sample) {
  const uint32_t m = mask, rest = 255u - mask;
  switch (type) {
    case SampleType::kUInt8:
      *sample = static_cast<uint8_t>((*original * rest + *sample * m + 127u) / 255u);
      break;
    case SampleType::kUInt16: {
      uint16_t was, now;
      std::memcpy(&was, original, 2);
      std::memcpy(&now, sample, 2);
      const auto blended = static_cast<uint16_t>((was * rest + now * m + 127u) / 255u);
      std::memcpy(sample, &blended, 2);
      break;
    }
    case SampleType::kFloat32: {
      float was, now;
      std::memcpy(&was, original, 4);
      std::memcpy(&now, sample, 4);
      const double share = m / 255.0;
      const auto blended = static_cast<float>(double{was} * (1.0 - share) + double{now} * share);
      std::memcpy(sample, &blended, 4);
      break;
    }
  }
}

}  // namespace

OSErr TileExchange::Accept(bool confine) {
  DropReadAhead();
  const OSErr status = confine ? ApplySelection() : kNoErr;  // changes nothing when it fails
  if (status == kNoErr) journal_.clear();
  return status;
}

// The oldest journal entry holding a sample saved its value from before the run: entries are
// taken oldest first and each sample is blended once.
OSErr TileExchange::ApplySelection() {
  if (mask_ == nullptr || record_->haveMask == 0 || journal_.empty()) return kNoErr;
  const auto channels = static_cast<size_t>(image_->Channels());
  const size_t bps = image_->BytesPerSample();
  const auto width = static_cast<size_t>(image_->width);
  BeforeChange({0, 0, image_->width, image_->height});
  std::vector<bool> blended;
  try {
    blended.assign(width * static_cast<size_t>(image_->height) * channels, false);
  } catch (const std::bad_alloc&) {
    return kMemFullErr;
  }
  for (const JournalEntry& entry : journal_) {
    const uint8_t* saved = entry.samples.data();
    for (int32_t y = entry.rect.top; y < entry.rect.bottom; ++y) {
      for (int32_t x = entry.rect.left; x < entry.rect.right; ++x) {
        const size_t at = static_cast<size_t>(y) * width + static_cast<size_t>(x);
        const uint8_t m = mask_->values[at];
        uint8_t* pixel = image_->Pixel(x, y) + static_cast<size_t>(entry.lo) * bps;
        for (int p = 0; p < entry.count; ++p, saved += bps) {
          const size_t flag = at * channels + static_cast<size_t>(entry.lo + p);
          if (blended[flag]) continue;
          blended[flag] = true;
          uint8_t* sample = pixel + static_cast<size_t>(p) * bps;
          if (m == 0) {
            std::memcpy(sample, saved, bps);
          } else if (m != 255) {
            BlendUnderMask(image_->sampleType, saved, m, sample);
          }
        }
      }
    }
  }
  return kNoErr;
}

void TileExchange::BeforeChange(const ExchangeRect& rect) const {
  if (listener_ != nullptr) listener_->BeforeChange(rect);
}

void TileExchange::Committed(const ExchangeRect& rect, int planes) const {
  if (listener_ != nullptr) listener_->Committed(rect, planes);
}

void TileExchange::ReleaseBuffers() {
  ClearDataPointers();
  pending_.reset();
  DropReadAhead();
  inBuffer_ = {};
  outBuffer_ = {};
  ahead_ = {};
  maskBuffer_ = {};
}

}  // namespace lumeray
