// Generated scenes for the light source detection tests: anti-aliased discs whose pixels carry
// their exact coverage (the area of the pixel square inside the circle), drawn onto a working-RGB
// source image, and a fixture that runs the analysis on them and reads the master table.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "analysis/analysis_run_state.h"
#include "analysis/data_initialization.h"
#include "analysis/master_light_source_table.h"
#include "image/image_record.h"
#include "unit/effects/shape_test_allocation.h"
#include "unit/effects/shape_test_support.h"

namespace lumeray::testing {

// The area of the intersection of the pixel square centred on (px, py) with the circle.
double PixelCoverage(double px, double py, double cx, double cy, double radius);

struct Disc {
  double cx, cy, radius;
  uint32_t red = 0xFFFFFF, green = 0xFFFFFF, blue = 0xFFFFFF;
  uint32_t mask = 0xFFFFFFFE;  // the selection over the disc's pixels
};

// A working-RGB (mode 64) source in the linear working profile, with a mask: background, then each
// disc blended by coverage (its mask written where the coverage is positive).
class Scene {
 public:
  Scene(int32_t width, int32_t height, uint32_t background = 0);
  void Add(const Disc& disc);
  // A flat rectangle of one level (colour and mask as given).
  void AddPatch(const ImageRect& rect, uint32_t level);
  TestImage& image() { return image_; }
  const ImageRecord& record() const { return *image_; }

 private:
  TestImage image_;
};

struct FoundSource {
  double x, y, radius;
  uint32_t brightness;
};

// The analysis part of the tests' run, and the sources in its master table.
AnalysisRunState& TestAnalysis();
std::vector<FoundSource> MasterSources();

// The found source nearest to (x, y), or none.
const FoundSource* Nearest(const std::vector<FoundSource>& sources, double x, double y);

bool NeverCancelled();

// Runs with the run's colour management set up (as the pipeline does before the analysis).
class DetectionTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite();
  static void TearDownTestSuite();

  void SetUp() override;
  void TearDown() override;

  // Runs the analysis synchronously; returns its result code.
  int Analyze(const ImageRecord& source, int threads = 2, CancelTest cancelled = NeverCancelled);
};

}  // namespace lumeray::testing
