// The disk and ring builders against a plain scan of the whole box with the formulas written
// out, their geometry at the edges, and the sub-shape entry store under low memory.
#include <gtest/gtest.h>

#include <cmath>
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

struct Reference {
  int left, top, right, bottom;
  std::vector<Entry> entries;
};

uint32_t Fraction(float v) {
  return static_cast<uint32_t>(std::nearbyint(static_cast<double>(v) * 4294967294.0));
}

// Every pixel of the box, row by row, with single-precision distances.
template <class Value>
Reference ScanBox(float R, int xPhase, int yPhase, Value value) {
  const float cx = xPhase / 4.0f, cy = yPhase / 4.0f;
  Reference ref{static_cast<int>(cx - R - 0.564f),
                static_cast<int>(cy - R - 0.564f),
                static_cast<int>(cx + R + 1.564f),
                static_cast<int>(cy + R + 1.564f),
                {}};
  for (int y = ref.top; y < ref.bottom; ++y) {
    for (int x = ref.left; x < ref.right; ++x) {
      const float d = std::sqrt((y - cy) * (y - cy) + (x - cx) * (x - cx));
      float v = 0.0f;
      if (value(R, d, &v)) ref.entries.push_back({x, y, Fraction(v)});
    }
  }
  return ref;
}

bool DiskFormula(float R, float d, float* v) {
  if (!(d < R + 0.5f)) return false;
  *v = d <= R - 0.5f ? 1.0f : R + 0.5f - d;
  return true;
}

bool RingFormula(float R, float d, float* v) {
  const float r1 = R - 0.125f, r2 = R + 0.125f;
  if (R <= 1.0f && 0.564f - d > r1) {
    const float inner = r1 > 0.0f ? r1 : 0.0f;
    *v = (0.5f - inner * inner * 3.14159265f) * 1.4142137f;
    return true;
  }
  const float near = d - 0.564f, far = d + 0.564f;
  if (!(near < r2 && far > r1)) return false;
  if (far > r2) {
    *v = near > r1 ? (r2 - near) * 2.0f : 1.0f;
  } else {
    *v = near <= r1 ? (far - r1) * 2.0f : 1.0f;
  }
  return true;
}

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

void ExpectMatchesScan(const SubShape& sub, const Reference& ref, float R, int xp, int yp) {
  ASSERT_EQ(sub.built, 1u) << R;
  EXPECT_EQ(sub.left, ref.left);
  EXPECT_EQ(sub.top, ref.top);
  EXPECT_EQ(sub.right, ref.right);
  EXPECT_EQ(sub.bottom, ref.bottom);
  EXPECT_TRUE(Built(sub) == ref.entries) << "R " << R << " phase " << xp << "," << yp;
}

// Radii of every quarter step up to 32 pixels, then a spread up to the largest shape.
std::vector<int> TestedIndices() {
  std::vector<int> indices;
  for (int i = 0; i < 128; ++i) indices.push_back(i);
  for (int i = 128; i < 512; i += 29) indices.push_back(i);
  indices.push_back(511);
  return indices;
}

TEST(ShapeBuilders, DisksMatchThePlainScanOfTheirBox) {
  for (int index : TestedIndices()) {
    MeasuringPair shapes(index * 0.25f);
    for (int xp = 0; xp < 4; ++xp) {
      for (int yp = 0; yp < 4; ++yp) {
        ASSERT_TRUE(BuildDiskSubShape(&shapes.disk, xp, yp));
        ExpectMatchesScan(shapes.disk.subShapes[SubShapeIndex(xp, yp)],
                          ScanBox(shapes.radius, xp, yp, DiskFormula), shapes.radius, xp, yp);
      }
    }
  }
}

TEST(ShapeBuilders, RingsMatchThePlainScanOfTheirBox) {
  for (int index : TestedIndices()) {
    MeasuringPair shapes(index * 0.25f);
    for (int xp = 0; xp < 4; ++xp) {
      for (int yp = 0; yp < 4; ++yp) {
        ASSERT_TRUE(BuildRingSubShape(&shapes.ring, xp, yp));
        Reference ref = ScanBox(shapes.radius, xp, yp, RingFormula);
        if (ref.entries.empty()) ref.entries.push_back({0, 0, 1073741824u});
        ExpectMatchesScan(shapes.ring.subShapes[SubShapeIndex(xp, yp)], ref, shapes.radius, xp, yp);
      }
    }
  }
}

TEST(ShapeBuilders, DiskOfRadiusZeroHoldsOnlyPixelsWithinHalfAPixel) {
  MeasuringPair shapes(0.0f);
  for (int xp = 0; xp < 4; ++xp) {
    for (int yp = 0; yp < 4; ++yp) {
      ASSERT_TRUE(BuildDiskSubShape(&shapes.disk, xp, yp));
      const SubShape& sub = shapes.disk.subShapes[SubShapeIndex(xp, yp)];
      for (const Entry& e : Built(sub)) {
        EXPECT_LT(std::hypot(e.x - xp / 4.0, e.y - yp / 4.0), 0.5);
        EXPECT_LT(e.value, kShapeFractionOne);  // no pixel is within R - 0.5
      }
    }
  }
  // At the phase centre of pixel (0, 0) the pixel itself is at distance 0: half a value.
  EXPECT_EQ(shapes.disk.subShapes[0].entryCount, 1u);
  EXPECT_EQ(shapes.disk.subShapes[0].data()[0].value, 2147483647u);
  // Halfway between four pixels none is nearer than 0.707: built, but empty.
  EXPECT_EQ(shapes.disk.subShapes[SubShapeIndex(2, 2)].entryCount, 0u);
}

TEST(ShapeBuilders, RingOfAQuarterPixelAtPhaseZeroHasAnEntry) {
  MeasuringPair shapes(0.25f);
  ASSERT_TRUE(BuildRingSubShape(&shapes.ring, 0, 0));
  const SubShape& sub = shapes.ring.subShapes[0];
  ASSERT_GE(sub.entryCount, 1u);
  // The centre pixel's disc holds the whole inner circle: (0.5 - 0.125^2 pi) sqrt 2.
  EXPECT_EQ(sub.data()[0].dx, 0);
  EXPECT_EQ(sub.data()[0].dy, 0);
  EXPECT_EQ(sub.data()[0].value, Fraction((0.5f - 0.125f * 0.125f * 3.14159265f) * 1.4142137f));
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

TEST(ShapeBuilders, RebuildingStartsAfresh) {
  MeasuringPair shapes(7.5f);
  ASSERT_TRUE(BuildRingSubShape(&shapes.ring, 1, 2));
  const std::vector<Entry> first = Built(shapes.ring.subShapes[SubShapeIndex(1, 2)]);
  ASSERT_TRUE(BuildRingSubShape(&shapes.ring, 1, 2));
  EXPECT_TRUE(Built(shapes.ring.subShapes[SubShapeIndex(1, 2)]) == first);
}

TEST(SubShapeEntries, GrowByTheHintAndKeepWhatWasAdded) {
  SubShape sub;
  for (int i = 0; i < 10; ++i) {
    ASSERT_TRUE(AddSubShapeEntry(&sub, {static_cast<int16_t>(i), 0, 1, 2, 3, 4}, 4));
  }
  EXPECT_EQ(sub.entryCount, 10u);
  EXPECT_EQ(sub.entries.size, 12 * sizeof(SubShapeEntry));  // 4, 8, then 12 entries
  for (int i = 0; i < 10; ++i) EXPECT_EQ(sub.data()[i].dx, i);
  EmptySubShape(&sub);
  EXPECT_EQ(sub.entryCount, 0u);
  DeallocateBuffer(&sub.entries);
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
