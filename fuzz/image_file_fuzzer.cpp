// Whole image files of any bytes through the editor's reading path (format check, profile check,
// decoding): read or refused with a message, never a crash or a hang. Seeds: fuzz/seeds/image_file.
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "icc_profile.h"
#include "image_io.h"

namespace {

// Small enough that a header claiming a large image is refused rather than allocated.
constexpr uint64_t kFuzzMaxPixels = 1u << 20;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const int fd = memfd_create("image", MFD_CLOEXEC);
  static const std::string path = "/proc/self/fd/" + std::to_string(fd);
  if (fd < 0 || ftruncate(fd, 0) != 0 || pwrite(fd, data, size, 0) != static_cast<ssize_t>(size)) {
    return 0;
  }
  lumeray::ImageFile file;
  std::vector<std::string> notices;
  std::string error;
  if (!lumeray::ReadImageFile(path, &file, &notices, &error, kFuzzMaxPixels)) {
    if (error.empty()) std::abort();
    return 0;
  }
  const lumeray::HostImage& image = file.image;
  if (!image.iccProfile.empty()) {
    lumeray::CheckIccProfile(image.iccProfile, image.colourPlanes, &error);
  }
  return 0;
}
