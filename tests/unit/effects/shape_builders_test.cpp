// The disk and ring builders by their geometry and covered area, their edges at the smallest
// sizes, and the sub-shape entry store under low memory.
#include <gtest/gtest.h>

#include <cmath>
#include <set>
#include <utility>
#include <vector>

#include "analysis/effect_shape.h"
#include "analysis/shape_builders.h"
#include "analysis/shape_operations.h"
#include "unit/effects/shape_test_allocation.h"
#include "unit/effects/shape_test_support.h"

namespace lumeray {
namespace {

using testing::MeasuringPair;
using testing::ReportCapture;

struct Entry {
  int x, y;
  uint32_t value;
  bool operator==(const Entry&) const = default;
};

std::vector<Entry> Built(const SubShape& sub) {
  std::vector<Entry> entries;
  for (uint32_t i = 0; i < sub.entryCount; ++i) {
    const SubShapeEntry& e = sub.data()[i];
    EXPECT_EQ(e.red, kShapeFractionOne);
    EXPECT_EQ(e.green, kShapeFractionOne);
    EXPECT_EQ(e.blue, kShapeFractionOne);
    entries.push_back({e.dx, e.dy, e.value});
  }
  return entries;
}

// Radii of every quarter step up to 32 pixels, then a spread up to the largest shape.
std::vector<int> TestedIndices() {
  std::vector<int> indices;
  for (int i = 0; i < 128; ++i) indices.push_back(i);
  for (int i = 128; i < 512; i += 29) indices.push_back(i);
  indices.push_back(511);
  return indices;
}

// Geometry every phase of every size must keep: each pixel once and inside the box; a disk
// covers pixels nearer than R + 1/2, wholly those within R - 1/2; a ring (a quarter pixel wide,
// each pixel seen as a disc of area 1) lies within its band and is never empty.
TEST(ShapeBuilders, DisksAndRingsCoverWhatTheirGeometrySays) {
  for (int index : TestedIndices()) {
    MeasuringPair shapes(index * 0.25f);
    const double R = shapes.radius;
    for (int phase = 0; phase < 16; ++phase) {
      const int xp = phase / 4, yp = phase % 4;
      SCOPED_TRACE(::testing::Message() << "R " << R << " phase " << xp << "," << yp);
      ASSERT_TRUE(BuildDiskSubShape(&shapes.disk, xp, yp));
      ASSERT_TRUE(BuildRingSubShape(&shapes.ring, xp, yp));
      for (const SubShape* sub : {&shapes.disk.subShapes[SubShapeIndex(xp, yp)],
                                  &shapes.ring.subShapes[SubShapeIndex(xp, yp)]}) {
        const bool disk = sub == &shapes.disk.subShapes[SubShapeIndex(xp, yp)];
        ASSERT_EQ(sub->built, 1u);
        std::set<std::pair<int, int>> seen;
        for (const Entry& e : Built(*sub)) {
          ASSERT_TRUE(seen.insert({e.x, e.y}).second) << "twice: " << e.x << "," << e.y;
          ASSERT_TRUE(e.x >= sub->left && e.x < sub->right && e.y >= sub->top && e.y < sub->bottom);
          const double d = std::hypot(e.x - xp / 4.0, e.y - yp / 4.0);
          if (disk) {
            ASSERT_LT(d, R + 0.5 + 1e-4);
            if (d < R - 0.5 - 1e-4) {
              ASSERT_EQ(e.value, kShapeFractionOne);
            }
          } else if (sub->entryCount > 1) {  // an empty ring keeps one entry at its centre
            ASSERT_LT(d, R + 0.125 + 0.565);
            if (R > 1.0) {
              ASSERT_GT(d, R - 0.125 - 0.565);
            }
          }
        }
        if (!disk) {
          ASSERT_FALSE(seen.empty());
        }
      }
    }
  }
}

TEST(ShapeBuilders, DiskOfRadiusZeroHoldsOnlyPixelsWithinHalfAPixel) {
  MeasuringPair shapes(0.0f);
  ASSERT_TRUE(BuildDiskSubShape(&shapes.disk, 0, 0));
  ASSERT_TRUE(BuildDiskSubShape(&shapes.disk, 2, 2));
  // At the phase centre of pixel (0, 0) the pixel itself is at distance 0: half a value.
  EXPECT_EQ(shapes.disk.subShapes[0].entryCount, 1u);
  EXPECT_EQ(shapes.disk.subShapes[0].data()[0].value, 2147483647u);
  // Halfway between four pixels none is nearer than 0.707: built, but empty.
  EXPECT_EQ(shapes.disk.subShapes[SubShapeIndex(2, 2)].entryCount, 0u);
}

TEST(ShapeBuilders, DiskCoverageAddsUpToTheDiscArea) {
  for (float R : {2.0f, 5.25f, 19.75f, 60.5f, 127.75f}) {
    MeasuringPair shapes(R);
    for (int phase : {0, 1, 2, 3}) {
      ASSERT_TRUE(BuildDiskSubShape(&shapes.disk, phase, 3 - phase));
      const SubShape& sub = shapes.disk.subShapes[SubShapeIndex(phase, 3 - phase)];
      double area = 0.0;
      for (uint32_t i = 0; i < sub.entryCount; ++i) area += sub.data()[i].value / 4294967294.0;
      EXPECT_NEAR(area, M_PI * R * R, 0.01 * M_PI * R * R + 0.5) << R;
    }
  }
}

uint64_t gFailingBytes = 0;
bool FailFreshBlocksOfTheChosenSize(size_t size, bool fresh, bool isRealloc) {
  return isRealloc && size == gFailingBytes;
}

TEST(SubShapeEntries, LowMemoryWarnsLeavesTheShapeAsItWasAndFailsTheBuild) {
  if (!testing::AllocationFailuresAvailable()) GTEST_SKIP() << "sanitizer allocator";
  ReportCapture reports;
  ResetLowMemoryWarning();  // a new run
  SubShape sub;
  ASSERT_TRUE(AddSubShapeEntry(&sub, {1, 2, 3, 4, 5, 6}, 1));
  gFailingBytes = 3 * sizeof(SubShapeEntry);
  {
    testing::FailingAllocations failing(FailFreshBlocksOfTheChosenSize);
    EXPECT_FALSE(AddSubShapeEntry(&sub, {7, 8, 9, 10, 11, 12}, 2));
    EXPECT_FALSE(AddSubShapeEntry(&sub, {7, 8, 9, 10, 11, 12}, 2));
  }
  EXPECT_EQ(sub.entryCount, 1u);
  EXPECT_EQ(sub.data()[0].dx, 1);
  const char* warning =
      "User Message: 'Warning' - 'Low memory.  Check image - some effects may not be rendered.'";
  EXPECT_EQ(reports.Count(warning), 1u) << "once per run";
  ResetLowMemoryWarning();
  {
    testing::FailingAllocations failing(FailFreshBlocksOfTheChosenSize);
    EXPECT_FALSE(AddSubShapeEntry(&sub, {7, 8, 9, 10, 11, 12}, 2));
  }
  EXPECT_EQ(reports.Count(warning), 2u) << "the next run warns again";
  DeallocateBuffer(&sub.entries);

  // A disk whose entries cannot be stored stays unbuilt, and so does the operation using it.
  MeasuringPair shapes(10.0f);
  gFailingBytes = testing::DiskFirstBlockBytes(10.0f);
  {
    testing::FailingAllocations failing(FailFreshBlocksOfTheChosenSize);
    EXPECT_FALSE(BuildDiskSubShape(&shapes.disk, 0, 0));
    EXPECT_GE(testing::FailedAllocationCount(), 1u);
  }
  EXPECT_EQ(shapes.disk.subShapes[0].built, 0u);
  EXPECT_FALSE(SubShapeBuiltFor(shapes.disk, {5, 0, 5, 0}));
  ASSERT_TRUE(BuildDiskSubShape(&shapes.disk, 0, 0));  // memory back: builds as usual
  EXPECT_EQ(shapes.disk.subShapes[0].built, 1u);
}

}  // namespace
}  // namespace lumeray
