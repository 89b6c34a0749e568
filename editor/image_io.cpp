#include "image_io.h"

#include <OpenImageIO/filesystem.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <new>
#include <stdexcept>

#include "atomic_file.h"
#include "exr_zip_writer.h"
#include "icc_profile.h"
#include "image_format.h"
#include "interrupt.h"
#include "processors.h"
#include "row_blocks.h"
#include "samples.h"

namespace lumeray {
namespace {

namespace fs = std::filesystem;

constexpr char kIccAttribute[] = "ICCProfile";
constexpr char kUnassociatedAlphaAttribute[] = "oiio:UnassociatedAlpha";
// OpenEXR's zip compression at deflate's level 3 instead of the library's 4: still lossless and
// the same compression to every reader (the level is not stored). On a filter's output (glows
// over a whole night scene) it needs about a tenth less CPU to compress, for a file 0.7 % larger:
// levels 1 to 3 search matches greedily, 4 and above lazily.
constexpr char kExrZipLevel[] = ":3";
// The level of the editor's own zip writer (exr_zip_writer.h): libdeflate's level 4 compresses
// a filter's output about twice as fast as zlib's level 3, into a file of about the same size.
constexpr int kExrDeflateLevel = 4;

// The first line of OpenImageIO's error text (the rest repeats it for every strip or tile).
std::string OiioError(const std::string& reported) {
  std::string message = reported.empty() ? OIIO::geterror() : reported;
  message = message.substr(0, message.find('\n'));
  return message.empty() ? "unknown error" : message;
}

// The layout of a file's channels: colour planes and whether the last channel is alpha.
bool ChannelLayout(const OIIO::ImageSpec& description, int* colourPlanes, bool* hasAlpha,
                   std::string* error) {
  const int channels = description.nchannels;
  const int alpha = description.alpha_channel;
  if ((channels == 1 || channels == 3) && alpha < 0) {
    *colourPlanes = channels;
    *hasAlpha = false;
    return true;
  }
  if ((channels == 2 || channels == 4) && alpha == channels - 1) {
    *colourPlanes = channels - 1;
    *hasAlpha = true;
    return true;
  }
  if (channels == 4 && description.alpha_channel < 0) {
    *error = "images with four colour channels (such as CMYK) are not supported; convert to RGB";
  } else {
    *error = "images with " + std::to_string(channels) +
             " channels are not supported (grey, grey with alpha, RGB and RGBA are)";
  }
  return false;
}

// A file being written, as OpenImageIO's writers see it: every write is checked, the first
// failure (or a signal) is kept and ends all later writes.
class CheckedFileWriter final : public OIIO::Filesystem::IOProxy {
 public:
  CheckedFileWriter(const std::string& name, int fd) : IOProxy(name, Write), fd_(fd) {}
  const char* proxytype() const override { return "checked-file"; }
  int failure() const { return failure_; }

  size_t write(const void* buffer, size_t size) override {
    const size_t done = pwrite(buffer, size, m_pos);
    m_pos += static_cast<int64_t>(done);
    return done;
  }
  size_t pwrite(const void* buffer, size_t size, int64_t offset) override {
    const auto* bytes = static_cast<const char*>(buffer);
    size_t done = 0;
    while (done < size && failure_ == 0) {
      if (InterruptRequested()) {
        failure_ = EINTR;
        break;
      }
      const ssize_t written = ::pwrite(fd_, bytes + done, size - done,
                                       static_cast<off_t>(offset) + static_cast<off_t>(done));
      if (written < 0 && errno == EINTR) continue;
      if (written <= 0) {
        failure_ = written < 0 ? errno : EIO;
        break;
      }
      done += static_cast<size_t>(written);
    }
    return done;
  }
  size_t read(void* buffer, size_t size) override {
    const size_t done = pread(buffer, size, m_pos);
    m_pos += static_cast<int64_t>(done);
    return done;
  }
  size_t pread(void* buffer, size_t size, int64_t offset) override {
    const ssize_t got = ::pread(fd_, buffer, size, static_cast<off_t>(offset));
    return got > 0 ? static_cast<size_t>(got) : 0;
  }
  size_t size() const override {
    struct stat status {};
    return fstat(fd_, &status) == 0 ? static_cast<size_t>(status.st_size) : 0;
  }

 private:
  int fd_;
  int failure_ = 0;
};

constexpr char kTooManyPixels[] = "the image has ";

// Reads the rows [first, end) of an open scanline file into `rows` (the first of them; rows
// follow one another without padding).
bool ReadRows(OIIO::ImageInput* input, const OIIO::ImageSpec& description, int first, int end,
              OIIO::TypeDesc type, uint8_t* rows, std::string* error) {
  const bool read = input->read_scanlines(0, 0, description.y + first, description.y + end, 0, 0,
                                          description.nchannels, type, rows);
  if (!read || input->has_error()) {
    *error = "the image is damaged or truncated: " + OiioError(input->geterror());
    return false;
  }
  return true;
}

// Reads the whole image into `data`. A striped TIFF file is shared out by whole strips among
// readers of their own, one per usable processor (the strips are independent, and a large
// uncompressed file is otherwise read and copied on one core); `input` reads the first share
// on the calling thread. Every other file is read by `input` alone.
bool ReadPixels(OIIO::ImageInput* input, const std::string& path, const OIIO::ImageSpec& config,
                const OIIO::ImageSpec& description, OIIO::TypeDesc type, size_t rowBytes,
                uint8_t* data, std::string* error) {
  const int height = description.height;
  const int rowsPerStrip = description.get_int_attribute("tiff:RowsPerStrip", height);
  const bool striped = std::string(input->format_name()) == "tiff" && description.tile_width == 0 &&
                       rowsPerStrip > 0 && rowsPerStrip < height;
  if (!striped) {
    const bool read = input->read_image(0, 0, 0, description.nchannels, type, data);
    if (!read || input->has_error()) {
      *error = "the image is damaged or truncated: " + OiioError(input->geterror());
      return false;
    }
    return true;
  }
  const int strips = (height + rowsPerStrip - 1) / rowsPerStrip;
  const int64_t stripSamples = int64_t{rowsPerStrip} * description.width * description.nchannels;
  std::mutex failureLock;
  std::string failure;
  const auto fail = [&](const std::string& reason) {
    const std::lock_guard<std::mutex> hold(failureLock);
    if (failure.empty()) failure = reason;
  };
  ForRowBlocks(0, strips, stripSamples, UsableProcessors(), [&](int firstStrip, int endStrip) {
    const int first = firstStrip * rowsPerStrip;
    const int end = std::min(endStrip * rowsPerStrip, height);
    uint8_t* rows = data + static_cast<size_t>(first) * rowBytes;
    std::string reason;
    if (firstStrip == 0) {
      if (!ReadRows(input, description, first, end, type, rows, &reason)) fail(reason);
      return;
    }
    auto reader = OIIO::ImageInput::create(input->format_name());
    OIIO::ImageSpec opened;
    if (!reader || !reader->open(path, opened, config)) {
      fail("cannot read the image: " + OiioError(reader ? reader->geterror() : std::string()));
      return;
    }
    // The file read again must be the file described (it may have been replaced meanwhile).
    const OIIO::ImageSpec& again = reader->spec();
    if (again.width != description.width || again.height != description.height ||
        again.x != description.x || again.y != description.y ||
        again.nchannels != description.nchannels || again.format != description.format ||
        again.tile_width != 0) {
      fail("the image changed while it was being read");
      return;
    }
    if (!ReadRows(reader.get(), description, first, end, type, rows, &reason)) fail(reason);
  });
  if (failure.empty()) return true;
  *error = failure;
  return false;
}

bool IsEditorFormat(const std::string& name) {
  return name == "png" || name == "jpeg" || name == "tiff" || name == "openexr";
}

// What PNG's codec refuses to embed: a profile class or connection space it does not take.
bool PngTakesProfileKind(std::span<const uint8_t> profile) {
  constexpr size_t kClassOffset = 12;
  constexpr size_t kConnectionOffset = 20;
  const auto code = [&](size_t offset) {
    return std::string(reinterpret_cast<const char*>(profile.data()) + offset, 4);
  };
  const std::string kind = code(kClassOffset);
  const std::string connection = code(kConnectionOffset);
  return (kind == "scnr" || kind == "mntr" || kind == "prtr" || kind == "spac") &&
         (connection == "XYZ " || connection == "Lab ");
}

}  // namespace

void QuietImageLibrary() {
  OIIO::attribute("debug", 0);
}

OIIO::TypeDesc SampleTypeDesc(SampleType type) {
  switch (type) {
    case SampleType::kUInt8:
      return OIIO::TypeDesc::UINT8;
    case SampleType::kUInt16:
      return OIIO::TypeDesc::UINT16;
    case SampleType::kFloat32:
      return OIIO::TypeDesc::FLOAT;
  }
  return OIIO::TypeDesc::UINT8;
}

bool ReadImageFile(const std::string& path, ImageFile* file, std::vector<std::string>* notices,
                   std::string* error, uint64_t maxPixels) {
  if (const std::string problem = RegularFileProblem(path); !problem.empty()) {
    *error = problem;
    return false;
  }
  ImageFileFacts facts;
  {
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
      *error = "cannot read the image: " + std::string(std::strerror(errno));
      return false;
    }
    const bool inspected = InspectImageFile(fd, &facts, error);
    close(fd);
    if (!inspected) return false;
  }
  if (facts.severalImages) {
    *error = "files holding several images (pages or parts) are not supported";
    return false;
  }
  // The image library decodes an embedded profile as it opens the file: a damaged one is
  // refused before.
  if (!facts.iccProfile.empty() && !CheckIccProfileStructure(facts.iccProfile, error)) return false;

  OIIO::ImageSpec config;
  config.attribute(kUnassociatedAlphaAttribute, 1);
  auto input = OIIO::ImageInput::create(ImageFormatName(facts.format));
  OIIO::ImageSpec opened;
  if (!input || !input->open(path, opened, config)) {
    *error = "cannot read the image: " + OiioError(input ? input->geterror() : std::string());
    return false;
  }
  const OIIO::ImageSpec description = input->spec();
  if (input->seek_subimage(1, 0)) {
    *error = "files holding several images (pages or parts) are not supported";
    return false;
  }
  input->geterror();  // seeking past the last image leaves an error that means nothing here
  if (!input->seek_subimage(0, 0)) {
    *error = "cannot read the image: " + OiioError(input->geterror());
    return false;
  }
  if (description.deep || description.depth > 1) {
    *error = "deep and volume images are not supported";
    return false;
  }
  if (description.width <= 0 || description.height <= 0) {
    *error = "the image is empty";
    return false;
  }
  const uint64_t pixels =
      static_cast<uint64_t>(description.width) * static_cast<uint64_t>(description.height);
  if (pixels > maxPixels) {
    *error = std::string(kTooManyPixels) + std::to_string(description.width) + " x " +
             std::to_string(description.height) + " pixels, more than the limit of " +
             std::to_string(maxPixels) + " (--max-pixels)";
    return false;
  }
  int colourPlanes = 0;
  bool hasAlpha = false;
  if (!ChannelLayout(description, &colourPlanes, &hasAlpha, error)) return false;

  SampleType sampleType = SampleType::kFloat32;
  const auto base = static_cast<OIIO::TypeDesc::BASETYPE>(description.format.basetype);
  if (base == OIIO::TypeDesc::UINT8) {
    sampleType = SampleType::kUInt8;
  } else if (base == OIIO::TypeDesc::UINT16) {
    sampleType = SampleType::kUInt16;
  } else if (base != OIIO::TypeDesc::HALF && base != OIIO::TypeDesc::FLOAT) {
    notices->push_back("its " + std::string(description.format.c_str()) +
                       " samples are filtered as 32-bit floating point");
  }

  try {
    file->image = HostImage::Create(description.width, description.height, colourPlanes, hasAlpha,
                                    sampleType, true);
  } catch (const std::length_error&) {
    *error = "the image is too large";
    return false;
  } catch (const std::bad_alloc&) {
    *error = "not enough memory for the image";
    return false;
  }
  if (!ReadPixels(input.get(), path, config, description, SampleTypeDesc(sampleType),
                  file->image.RowBytes(), file->image.pixels.data(), error)) {
    return false;
  }
  input->close();

  if (const OIIO::ParamValue* icc = description.find_attribute(kIccAttribute)) {
    const auto* bytes = static_cast<const uint8_t*>(icc->data());
    file->image.iccProfile.assign(bytes, bytes + icc->datasize());
  }
  file->formatName = input->format_name();
  file->description = description;
  file->path = path;
  return true;
}

bool ReadMaskFile(const std::string& path, int32_t width, int32_t height, GreyMask* mask,
                  std::string* error) {
  ImageFile file;
  std::vector<std::string> notices;
  // A mask of more pixels than the image cannot fit it; it is not even read.
  const uint64_t pixels = static_cast<uint64_t>(width) * static_cast<uint64_t>(height);
  if (!ReadImageFile(path, &file, &notices, error, pixels)) {
    if (error->rfind(kTooManyPixels, 0) == 0) {
      *error = "the mask is larger than the image (" + std::to_string(width) + " x " +
               std::to_string(height) + " pixels)";
    }
    return false;
  }
  const HostImage& image = file.image;
  if (image.colourPlanes != 1 || image.hasAlpha) {
    *error = "a mask must be a single-channel greyscale image";
    return false;
  }
  if (image.width != width || image.height != height) {
    *error = "the mask is " + std::to_string(image.width) + " x " + std::to_string(image.height) +
             " pixels but the image is " + std::to_string(width) + " x " + std::to_string(height);
    return false;
  }
  constexpr uint32_t kMaskMax = 255;
  mask->width = width;
  mask->height = height;
  mask->values.resize(static_cast<size_t>(width) * static_cast<size_t>(height));
  for (size_t i = 0; i < mask->values.size(); ++i) {
    switch (image.sampleType) {
      case SampleType::kUInt8:
        mask->values[i] = image.pixels[i];
        break;
      case SampleType::kUInt16: {
        uint16_t sample = 0;
        std::memcpy(&sample, image.pixels.data() + i * sizeof sample, sizeof sample);
        mask->values[i] = static_cast<uint8_t>((sample * kMaskMax + kFileMax16 / 2) / kFileMax16);
        break;
      }
      case SampleType::kFloat32: {
        float sample = 0;
        std::memcpy(&sample, image.pixels.data() + i * sizeof sample, sizeof sample);
        const float clamped = sample > 1.0f ? 1.0f : (sample > 0.0f ? sample : 0.0f);
        mask->values[i] = static_cast<uint8_t>(clamped * static_cast<float>(kMaskMax) + 0.5f);
        break;
      }
    }
  }
  return true;
}

bool CheckOutputPath(const std::string& path, std::string* error) {
  auto output = OIIO::ImageOutput::create(path);
  if (!output || !IsEditorFormat(output->format_name())) {
    OIIO::geterror();
    *error = "the output name must end in .png, .jpg, .tif or .exr (the formats the editor writes)";
    return false;
  }
  const fs::path target(path);
  const fs::path folder = target.has_parent_path() ? target.parent_path() : fs::path(".");
  std::error_code failure;
  if (!fs::is_directory(folder, failure)) {
    *error = "the output folder " + folder.string() + " does not exist";
    return false;
  }
  if (access(folder.c_str(), W_OK | X_OK) != 0) {
    *error = "the output folder " + folder.string() + " is not writable";
    return false;
  }
  if (fs::is_directory(target, failure)) {
    *error = "the output is a folder";
    return false;
  }
  return true;
}

namespace {

// The output's image library writer and its description for `image` written in the manner of
// `source`; what the format cannot carry is left out with a notice.
bool PlanOutput(const std::string& path, const HostImage& image, const ImageFile& source,
                std::unique_ptr<OIIO::ImageOutput>* planned, OIIO::ImageSpec* planDescription,
                std::vector<std::string>* notices, std::string* error) {
  auto output = OIIO::ImageOutput::create(path);
  if (!output) {
    *error = "unknown output format: " + OiioError({});
    return false;
  }
  const bool sameFormat = source.formatName == output->format_name();
  OIIO::ImageSpec description = source.description;
  description.channelformats.clear();
  if (!sameFormat) {
    // Settings that belong to the input's format only.
    for (const char* name : {"compression", "Compression", "CompressionQuality",
                             "oiio:BitsPerSample", "planarconfig"}) {
      description.erase_attribute(name);
    }
    description.tile_width = description.tile_height = description.tile_depth = 0;
  }
  const bool keepAlpha = image.hasAlpha && output->supports("alpha") != 0;
  if (image.hasAlpha && !keepAlpha) {
    notices->push_back("the " + std::string(output->format_name()) +
                       " format cannot hold alpha; the output has none");
  }
  const int channels = image.colourPlanes + (keepAlpha ? 1 : 0);
  if (description.nchannels != channels) {
    description.nchannels = channels;
    description.channelnames.resize(static_cast<size_t>(channels));
    description.alpha_channel = keepAlpha ? channels - 1 : -1;
  }
  description.erase_attribute(kIccAttribute);
  std::vector<uint8_t> profile = image.iccProfile;
  const std::string outputFormat = output->format_name();
  if (outputFormat == "openexr") {
    // Zip is also what OpenImageIO writes when the input's format had no compression to keep.
    const std::string compression = description.get_string_attribute("compression", "zip");
    if (compression == "zip" || compression == "zips") {
      description.attribute("compression", compression + kExrZipLevel);
    }
  }
  if (!profile.empty() && outputFormat == "openexr") {
    notices->push_back("the OpenEXR format cannot carry the colour profile; the output has none");
    profile.clear();
  }
  if (!profile.empty() && outputFormat == "png") {
    // PNG's codec refuses what ICC only discourages; found here, before anything is written.
    if (!PngTakesProfileKind(profile)) {
      notices->push_back(
          "the PNG format cannot carry this kind of colour profile; the output has none");
      profile.clear();
    } else if (!HasD50Illuminant(profile)) {
      notices->push_back(
          "the colour profile's illuminant was set to the exact D50 that PNG requires");
      profile = WithD50Illuminant(profile);
    }
  }
  if (!profile.empty()) {
    description.attribute(kIccAttribute,
                          OIIO::TypeDesc(OIIO::TypeDesc::UINT8, static_cast<int>(profile.size())),
                          profile.data());
  }
  *planned = std::move(output);
  *planDescription = std::move(description);
  return true;
}

// Whether the input's own OpenEXR header is rewritten by the editor's zip writer.
bool WritesOwnExr(const OIIO::ImageOutput& output, const ImageFile& source) {
  return std::string(output.format_name()) == "openexr" && source.formatName == "openexr";
}

// Rows written between two requests to the disk to start writing them out.
constexpr int kRowsPerWriteOut = 256;

}  // namespace

// Declared in the order they are needed: the image library's writer, which may still write as it
// is destroyed, goes before the proxy and the file it writes through.
struct ImageOutputFile::Parts {
  TemporaryFile temporary;
  std::unique_ptr<CheckedFileWriter> writer;
  OIIO::ImageSpec description;
  std::unique_ptr<OIIO::ImageOutput> output;
  const HostImage* image = nullptr;
  bool libraryOpened = false;  // the image library's writer has the file open
  int rowsWritten = 0;
};

ImageOutputFile::ImageOutputFile() = default;
ImageOutputFile::~ImageOutputFile() = default;

void ImageOutputFile::Discard() {
  parts_.reset();
}

bool ImageOutputFile::Fail(std::string reason, std::string* error) {
  // The file system's reason comes first: a codec's own message then only repeats it.
  struct statvfs space {};
  if (parts_->writer && parts_->writer->failure() != 0) {
    reason = DescribeWriteError(parts_->writer->failure());
  } else if (!parts_->temporary.path().empty() &&
             statvfs(parts_->temporary.path().c_str(), &space) == 0 && space.f_bavail == 0) {
    reason = DescribeWriteError(ENOSPC);
  }
  *error = "cannot write the image: " + reason;
  parts_.reset();  // the temporary file goes with it
  return false;
}

bool ImageOutputFile::Open(const std::string& path, const HostImage& image, const ImageFile& source,
                           std::vector<std::string>* notices, std::string* error) {
  parts_ = std::make_unique<Parts>();
  parts_->image = &image;
  if (!PlanOutput(path, image, source, &parts_->output, &parts_->description, notices, error)) {
    parts_.reset();
    return false;
  }
  if (!parts_->temporary.Create(path, error)) {
    parts_.reset();
    return false;
  }
  parts_->writer =
      std::make_unique<CheckedFileWriter>(parts_->temporary.path(), parts_->temporary.fd());
  OIIO::ImageOutput& output = *parts_->output;
  if (WritesOwnExr(output, source)) {
    // The input's own header, rewritten by the editor's parallel zip writer when it can be;
    // otherwise (nothing written yet) the image library writes the file.
    ZipExrOptions options;
    options.level = kExrDeflateLevel;
    options.threads = UsableProcessors();
    options.write = [writer = parts_->writer.get()](const void* data, size_t size,
                                                    uint64_t offset) {
      return writer->pwrite(data, size, static_cast<int64_t>(offset)) == size;
    };
    std::string reason;
    switch (WriteZipExr(source.path, parts_->description, image, options, &reason)) {
      case ExrWriteOutcome::kWritten:
        if (parts_->writer->failure() != 0) return Fail({}, error);
        parts_->rowsWritten = image.height;
        return true;
      case ExrWriteOutcome::kFailed:
        return Fail(reason, error);
      case ExrWriteOutcome::kUnsupported:
        break;
    }
  }
  // OpenImageIO 2.4's TIFF writer points the header at the Exif directory when it writes
  // through a proxy; it writes the temporary file itself, and libtiff checks its every write.
  if (std::string(output.format_name()) != "tiff" && !output.set_ioproxy(parts_->writer.get())) {
    return Fail("the format's writer cannot write checked", error);
  }
  if (!output.open(parts_->temporary.path(), parts_->description)) {
    return Fail(OiioError(output.geterror()), error);
  }
  parts_->libraryOpened = true;
  return true;
}

bool ImageOutputFile::WriteRows(int end, std::string* error) {
  if (!parts_) {
    *error = "cannot write the image: it is not open";
    return false;
  }
  const HostImage& image = *parts_->image;
  const int y = parts_->description.y;
  const auto pixelStride = static_cast<OIIO::stride_t>(image.PixelBytes());
  while (parts_->rowsWritten < end) {
    const int first = parts_->rowsWritten;
    const int last = std::min(end, first + kRowsPerWriteOut);
    if (!parts_->output->write_scanlines(y + first, y + last, 0, SampleTypeDesc(image.sampleType),
                                         image.Pixel(0, first), pixelStride)) {
      return Fail(OiioError(parts_->output->geterror()), error);
    }
    if (parts_->writer->failure() != 0) return Fail({}, error);
    parts_->rowsWritten = last;
    // Starts the disk's writing of what is written so far, so that the flush before the file is
    // published waits for less.
    sync_file_range(parts_->temporary.fd(), 0, 0, SYNC_FILE_RANGE_WRITE);
  }
  return true;
}

bool ImageOutputFile::Publish(std::string* error) {
  if (!parts_) {
    *error = "cannot write the image: it is not open";
    return false;
  }
  if (parts_->rowsWritten < parts_->image->height) {
    return Fail("not every row was written", error);
  }
  // Only the return value counts: OpenImageIO's TIFF writer leaves a spurious error message
  // about an empty Exif directory after a good write. (The editor's own OpenEXR writer never
  // opened the image library's.)
  if (parts_->libraryOpened && !parts_->output->close()) {
    return Fail(OiioError(parts_->output->geterror()), error);
  }
  if (parts_->writer->failure() != 0) return Fail({}, error);
  const bool published = parts_->temporary.Publish(error);
  parts_.reset();
  return published;
}

bool WriteImageFile(const std::string& path, const HostImage& image, const ImageFile& source,
                    std::vector<std::string>* notices, std::string* error) {
  ImageOutputFile file;
  return file.Open(path, image, source, notices, error) && file.WriteRows(image.height, error) &&
         file.Publish(error);
}

}  // namespace lumeray
