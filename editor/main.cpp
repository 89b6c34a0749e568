// The `lumeray` editor.
#include <malloc.h>

#include "cli.h"

namespace {

// Blocks of a mebibyte and more come straight from the system and go back to it when freed.
// glibc otherwise raises its threshold to the size of the last large block freed (up to 32 MiB),
// and the workers' arenas then keep the pages of every large temporary array they held (some
// 90 MB at the peak of a long-spike run on a 24-megapixel image).
constexpr int kMmapThresholdBytes = 1 << 20;

}  // namespace

int main(int argc, char** argv) {
  mallopt(M_MMAP_THRESHOLD, kMmapThresholdBytes);
  return lumeray::RunEditor(argc, argv);
}
