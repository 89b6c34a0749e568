#include "image_io.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <new>
#include <stdexcept>

#include "samples.h"

namespace lumeray {
namespace {

namespace fs = std::filesystem;

constexpr char kIccAttribute[] = "ICCProfile";
constexpr char kUnassociatedAlphaAttribute[] = "oiio:UnassociatedAlpha";
constexpr mode_t kDefaultUmask = 022;
constexpr mode_t kNewFileMode = 0666;

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
  if (channels == 4) {
    *error = "images with four colour channels (such as CMYK) are not supported; convert to RGB";
  } else {
    *error = "images with " + std::to_string(channels) +
             " channels are not supported (grey, grey with alpha, RGB and RGBA are)";
  }
  return false;
}

// The process's file-creation mask, read without changing it.
mode_t CurrentUmask() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("Umask:", 0) == 0) {
      return static_cast<mode_t>(std::stoul(line.substr(line.find(':') + 1), nullptr, 8));
    }
  }
  return kDefaultUmask;
}

// Creates an empty temporary file next to `path`, readable as a new file would be.
bool CreateTemporaryFile(const fs::path& path, std::string* temporary, std::string* error) {
  const fs::path folder = path.has_parent_path() ? path.parent_path() : fs::path(".");
  std::string pattern = (folder / ("." + path.filename().string() + ".XXXXXX")).string();
  const int fd = mkstemp(pattern.data());
  if (fd < 0) {
    *error = "cannot create a file in " + folder.string() + ": " + std::strerror(errno);
    return false;
  }
  fchmod(fd, kNewFileMode & ~CurrentUmask());
  close(fd);
  *temporary = pattern;
  return true;
}

bool SyncFile(const std::string& path, int flags) {
  const int fd = open(path.c_str(), flags | O_CLOEXEC);
  if (fd < 0) return false;
  const bool synced = fsync(fd) == 0;
  close(fd);
  return synced;
}

}  // namespace

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
                   std::string* error) {
  std::error_code failure;
  if (!fs::exists(path, failure)) {
    *error = "no such file";
    return false;
  }
  if (fs::is_directory(path, failure)) {
    *error = "is a folder, not an image";
    return false;
  }
  OIIO::ImageSpec config;
  config.attribute(kUnassociatedAlphaAttribute, 1);
  auto input = OIIO::ImageInput::open(path, &config);
  if (!input) {
    *error = "cannot read the image: " + OiioError({});
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
                                    sampleType);
  } catch (const std::length_error&) {
    *error = "the image is too large";
    return false;
  } catch (const std::bad_alloc&) {
    *error = "not enough memory for the image";
    return false;
  }
  const bool read = input->read_image(0, 0, 0, description.nchannels, SampleTypeDesc(sampleType),
                                      file->image.pixels.data());
  if (!read || input->has_error()) {
    *error = "the image is damaged or truncated: " + OiioError(input->geterror());
    return false;
  }
  input->close();

  if (const OIIO::ParamValue* icc = description.find_attribute(kIccAttribute)) {
    const auto* bytes = static_cast<const uint8_t*>(icc->data());
    file->image.iccProfile.assign(bytes, bytes + icc->datasize());
  }
  file->formatName = input->format_name();
  file->description = description;
  return true;
}

bool ReadMaskFile(const std::string& path, int32_t width, int32_t height, GreyMask* mask,
                  std::string* error) {
  ImageFile file;
  std::vector<std::string> notices;
  if (!ReadImageFile(path, &file, &notices, error)) return false;
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
  if (!output) {
    *error = "the output name does not ask for an image format the editor can write (" +
             OiioError({}) + ")";
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

bool WriteImageFile(const std::string& path, const HostImage& image, const ImageFile& source,
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
  if (!image.iccProfile.empty()) {
    description.attribute(
        kIccAttribute,
        OIIO::TypeDesc(OIIO::TypeDesc::UINT8, static_cast<int>(image.iccProfile.size())),
        image.iccProfile.data());
  }

  std::string temporary;
  if (!CreateTemporaryFile(fs::path(path), &temporary, error)) return false;
  const auto fail = [&](const std::string& reason) {
    *error = reason;
    unlink(temporary.c_str());
    return false;
  };
  if (!output->open(temporary, description)) {
    return fail("cannot write the image: " + OiioError(output->geterror()));
  }
  const auto pixelStride = static_cast<OIIO::stride_t>(image.PixelBytes());
  if (!output->write_image(SampleTypeDesc(image.sampleType), image.pixels.data(), pixelStride)) {
    const std::string reason = OiioError(output->geterror());
    output->close();
    return fail("cannot write the image: " + reason);
  }
  // Only the return values count: OpenImageIO's TIFF writer leaves a spurious error message
  // about an empty Exif directory after a good write.
  if (!output->close()) {
    return fail("cannot write the image: " + OiioError(output->geterror()));
  }
  if (!SyncFile(temporary, O_RDONLY)) {
    return fail("cannot write the image: " + std::string(std::strerror(errno)));
  }
  if (rename(temporary.c_str(), path.c_str()) != 0) {
    return fail("cannot replace " + path + ": " + std::strerror(errno));
  }
  const fs::path folder =
      fs::path(path).has_parent_path() ? fs::path(path).parent_path() : fs::path(".");
  SyncFile(folder.string(), O_RDONLY | O_DIRECTORY);
  return true;
}

}  // namespace lumeray
