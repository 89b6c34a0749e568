#include "image_format.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <map>

namespace lumeray {
namespace {

constexpr std::array<uint8_t, 8> kPngSignature{0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
constexpr std::array<uint8_t, 3> kJpegSignature{0xFF, 0xD8, 0xFF};
constexpr std::array<uint8_t, 4> kExrSignature{0x76, 0x2F, 0x31, 0x01};
constexpr uint16_t kTiffClassic = 42;
constexpr uint16_t kTiffBig = 43;
constexpr uint16_t kTiffIccTag = 34675;
constexpr uint16_t kTiffTypeByte = 1;
constexpr uint16_t kTiffTypeUndefined = 7;
constexpr size_t kMaxProfileBytes = 64u << 20;  // far more than any real profile

constexpr uint8_t kMarkerPrefix = 0xFF;
constexpr uint8_t kMarkerApp2 = 0xE2;
constexpr uint8_t kMarkerStartOfScan = 0xDA;
constexpr uint8_t kMarkerEndOfImage = 0xD9;
constexpr char kJpegIccTag[] = "ICC_PROFILE";              // with its terminating zero: 12 bytes
constexpr size_t kJpegIccHeader = sizeof kJpegIccTag + 2;  // tag, sequence number, count

template <size_t N>
bool StartsWith(std::span<const uint8_t> head, const std::array<uint8_t, N>& signature) {
  return head.size() >= N && std::equal(signature.begin(), signature.end(), head.begin());
}

// Reads exactly `size` bytes at `offset`, checked against the file's size.
class FileBytes {
 public:
  explicit FileBytes(int fd) : fd_(fd) {
    struct stat status {};
    size_ = fstat(fd, &status) == 0 ? static_cast<uint64_t>(status.st_size) : 0;
  }
  uint64_t size() const { return size_; }
  bool Read(uint64_t offset, size_t size, uint8_t* out) const {
    if (offset > size_ || size > size_ - offset) return false;
    size_t done = 0;
    while (done < size) {
      const ssize_t got = pread(fd_, out + done, size - done, static_cast<off_t>(offset + done));
      if (got <= 0) return false;
      done += static_cast<size_t>(got);
    }
    return true;
  }

 private:
  int fd_;
  uint64_t size_ = 0;
};

// TIFF numbers in the file's byte order.
struct TiffOrder {
  bool little = true;
  uint64_t Number(const uint8_t* bytes, size_t width) const {
    uint64_t value = 0;
    for (size_t i = 0; i < width; ++i) {
      const size_t index = little ? width - 1 - i : i;
      value = (value << 8) | bytes[index];
    }
    return value;
  }
};

bool ReadTiff(const FileBytes& file, ImageFileFacts* facts, std::string* error) {
  const auto broken = [&](const char* what) {
    *error = std::string("the TIFF file is damaged (") + what + ")";
    return false;
  };
  uint8_t header[16] = {};
  if (!file.Read(0, 8, header)) return broken("no header");
  TiffOrder order{header[0] == 'I'};
  const auto version = static_cast<uint16_t>(order.Number(header + 2, 2));
  const bool big = version == kTiffBig;
  if (big && !file.Read(0, 16, header)) return broken("no header");
  // Classic: 2-byte entry count, 12-byte entries, 4-byte values; BigTIFF: 8, 20, 8.
  const size_t countWidth = big ? 8 : 2;
  const size_t entryWidth = big ? 20 : 12;
  const size_t valueWidth = big ? 8 : 4;
  const uint64_t directory = big ? order.Number(header + 8, 8) : order.Number(header + 4, 4);
  uint8_t countBytes[8] = {};
  if (!file.Read(directory, countWidth, countBytes)) return broken("directory outside the file");
  const uint64_t entries = order.Number(countBytes, countWidth);
  if (entries > (file.size() - directory) / entryWidth) {
    return broken("directory outside the file");
  }
  const uint64_t first = directory + countWidth;
  for (uint64_t i = 0; i < entries; ++i) {
    uint8_t entry[20] = {};
    if (!file.Read(first + i * entryWidth, entryWidth, entry)) return broken("short directory");
    if (order.Number(entry, 2) != kTiffIccTag) continue;
    const auto type = static_cast<uint16_t>(order.Number(entry + 2, 2));
    const uint64_t count = order.Number(entry + 4, valueWidth);
    if (type != kTiffTypeByte && type != kTiffTypeUndefined) return broken("colour profile type");
    if (count > kMaxProfileBytes) return broken("colour profile size");
    const uint8_t* value = entry + 4 + valueWidth;
    facts->iccProfile.resize(static_cast<size_t>(count));
    if (count <= valueWidth) {
      std::memcpy(facts->iccProfile.data(), value, static_cast<size_t>(count));
    } else if (!file.Read(order.Number(value, valueWidth), static_cast<size_t>(count),
                          facts->iccProfile.data())) {
      return broken("colour profile outside the file");
    }
  }
  uint8_t next[8] = {};
  if (!file.Read(first + entries * entryWidth, valueWidth, next)) return broken("short directory");
  facts->severalImages = order.Number(next, valueWidth) != 0;
  return true;
}

bool ReadJpeg(const FileBytes& file, ImageFileFacts* facts, std::string* error) {
  std::map<uint8_t, std::vector<uint8_t>> chunks;  // by sequence number
  uint64_t offset = 2;
  for (;;) {
    uint8_t marker[4] = {};
    if (!file.Read(offset, 2, marker)) break;  // the codec reports a truncated file
    if (marker[0] != kMarkerPrefix) break;
    if (marker[1] == kMarkerPrefix) {  // fill byte
      ++offset;
      continue;
    }
    if (marker[1] == kMarkerStartOfScan || marker[1] == kMarkerEndOfImage) break;
    if (!file.Read(offset + 2, 2, marker + 2)) break;
    const size_t length = static_cast<size_t>(marker[2]) << 8 | marker[3];
    if (length < 2) break;
    if (marker[1] == kMarkerApp2 && length >= 2 + kJpegIccHeader) {
      std::vector<uint8_t> segment(length - 2);
      if (!file.Read(offset + 4, segment.size(), segment.data())) break;
      if (std::memcmp(segment.data(), kJpegIccTag, sizeof kJpegIccTag) == 0) {
        const uint8_t sequence = segment[sizeof kJpegIccTag];
        if (chunks.count(sequence) != 0) {
          *error = "the JPEG file's colour profile is damaged (a part repeats)";
          return false;
        }
        chunks[sequence].assign(segment.begin() + kJpegIccHeader, segment.end());
      }
    }
    offset += 2 + length;
  }
  for (const auto& [sequence, bytes] : chunks) {
    facts->iccProfile.insert(facts->iccProfile.end(), bytes.begin(), bytes.end());
  }
  return true;
}

}  // namespace

ImageFormat SniffImageFormat(std::span<const uint8_t> head) {
  if (StartsWith(head, kPngSignature)) return ImageFormat::kPng;
  if (StartsWith(head, kJpegSignature)) return ImageFormat::kJpeg;
  if (StartsWith(head, kExrSignature)) return ImageFormat::kOpenExr;
  if (head.size() >= 4 &&
      ((head[0] == 'I' && head[1] == 'I') || (head[0] == 'M' && head[1] == 'M'))) {
    const TiffOrder order{head[0] == 'I'};
    const auto version = static_cast<uint16_t>(order.Number(head.data() + 2, 2));
    if (version == kTiffClassic || version == kTiffBig) return ImageFormat::kTiff;
  }
  return ImageFormat::kUnknown;
}

const char* ImageFormatName(ImageFormat format) {
  switch (format) {
    case ImageFormat::kPng:
      return "png";
    case ImageFormat::kJpeg:
      return "jpeg";
    case ImageFormat::kTiff:
      return "tiff";
    case ImageFormat::kOpenExr:
      return "openexr";
    case ImageFormat::kUnknown:
      break;
  }
  return "";
}

bool InspectImageFile(int fd, ImageFileFacts* facts, std::string* error) {
  const FileBytes file(fd);
  uint8_t head[8] = {};
  const size_t headSize = std::min<uint64_t>(sizeof head, file.size());
  if (!file.Read(0, headSize, head)) {
    *error = "cannot read the file";
    return false;
  }
  *facts = {};
  facts->format = SniffImageFormat({head, headSize});
  switch (facts->format) {
    case ImageFormat::kUnknown:
      *error = "not a PNG, JPEG, TIFF or OpenEXR file (the formats the editor reads)";
      return false;
    case ImageFormat::kJpeg:
      return ReadJpeg(file, facts, error);
    case ImageFormat::kTiff:
      return ReadTiff(file, facts, error);
    case ImageFormat::kPng:
    case ImageFormat::kOpenExr:
      return true;
  }
  return true;
}

}  // namespace lumeray
