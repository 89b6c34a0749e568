// The analysis as a run: flat bright areas, the data-initialisation thread and its completion
// event on every path (success, cancel, lack of memory), and a real photograph.
#include <gtest/gtest.h>

#include <atomic>
#include <cmath>

#include "analysis/data_initialization.h"
#include "analysis/effect_shape.h"
#include "analysis/flood_fill.h"
#include "analysis/section_tasks.h"
#include "color/color_management.h"
#include "host/host_globals.h"
#include "unit/analysis/detection_test_support.h"

namespace lumeray {
namespace {

using testing::Disc;
using testing::FoundSource;
using testing::MasterSources;
using testing::ReportCapture;
using testing::Scene;
using testing::TestAnalysis;

constexpr uint32_t kHangGuardMs = 120000;  // fails a test that would otherwise hang

class DetectionRun : public testing::DetectionTest {
 protected:
  // Starts the data-initialisation thread on `source` and waits for its completion event.
  void RunThread(const ImageRecord& source, CancelTest cancelled = nullptr) {
    AnalysisOptions options;
    options.depthCode = 2;
    options.threadCount = 2;
    options.cancelled = cancelled;
    ASSERT_EQ(StartLightSourceAnalysisOf(TestAnalysis(), &source, options), 0);
    ASSERT_NE(DataInitializationCompleteEvent(TestAnalysis()), nullptr);
    EXPECT_EQ(
        platform::WaitForObject(*DataInitializationCompleteEvent(TestAnalysis()), kHangGuardMs)
            .status,
        platform::WaitStatus::kSignaled);
    EXPECT_TRUE(DataInitializationComplete(TestAnalysis()));
    CloseLightSourceAnalysis(TestAnalysis());
    EXPECT_EQ(DataInitializationCompleteEvent(TestAnalysis()), nullptr);
  }
};

TEST_F(DetectionRun, AFlatBrightSkyAndPatchHideNoSourcesAndKeepTheRealOnes) {
  Scene white(700, 500, 0xFFFFFF);
  ASSERT_EQ(Analyze(white.record(), 3), 0);
  EXPECT_TRUE(MasterSources().empty());

  // A sky over the top third, a large flat patch below, and two lamps in the dark.
  Scene scene(900, 600);
  scene.AddPatch({0, 0, 900, 200}, 0xE0E0E0);
  scene.AddPatch({300, 300, 700, 560}, 0xFFFFFF);
  scene.Add({100.4, 400.3, 5.0});
  scene.Add({820.6, 450.1, 8.0});
  ASSERT_EQ(Analyze(scene.record()), 0);
  const std::vector<FoundSource> found = MasterSources();
  ASSERT_EQ(found.size(), 2u);
  for (const FoundSource& s : found) EXPECT_GT(s.y, 390.0);
}

TEST_F(DetectionRun, TheThreadSignalsCompletionWithTheSourcesMerged) {
  Scene scene(300, 200);
  scene.Add({80.3, 70.7, 6.0, 0xFFFFFF, 0x800000, 0x400000});
  scene.Add({210.5, 140.2, 9.0});
  RunThread(scene.record());
  EXPECT_EQ(RunResult(), 0);
  const std::vector<FoundSource> found = MasterSources();
  ASSERT_EQ(found.size(), 2u);
  EXPECT_GE(found[0].brightness, found[1].brightness);  // brightest first
  EXPECT_NEAR(found[0].x, 210.5, 0.25);                 // the white one
  const AnalysisProgress progress = GetAnalysisProgress(TestAnalysis());
  EXPECT_EQ(progress.total, 200);
  EXPECT_EQ(progress.done, 200);
}

bool gPastFirstRow() {
  return GetAnalysisProgress(TestAnalysis()).done >= 1 || AnalysisStopRequested(TestAnalysis());
}

TEST_F(DetectionRun, CancellingDuringTheCandidateSearchLeavesNoSourcesAndStillCompletes) {
  Scene scene(300, 200);
  for (int i = 0; i < 8; ++i) scene.Add({30.0 + 30 * i, 20.0 + 20 * i, 4.0});
  RunThread(scene.record(), gPastFirstRow);
  EXPECT_TRUE(MasterSources().empty());
  EXPECT_EQ(RunResult(), 0);  // a cancel is the pipeline's result, not a failure
  EXPECT_LT(GetAnalysisProgress(TestAnalysis()).done, 200);

  // The stop flag of the run does the same from any phase.
  AnalysisOptions options;
  options.threadCount = 2;
  ASSERT_EQ(StartLightSourceAnalysisOf(TestAnalysis(), &scene.record(), options), 0);
  RequestAnalysisStop(TestAnalysis());
  EXPECT_EQ(platform::WaitForObject(*DataInitializationCompleteEvent(TestAnalysis()), kHangGuardMs)
                .status,
            platform::WaitStatus::kSignaled);
  CloseLightSourceAnalysis(TestAnalysis());
  EXPECT_TRUE(MasterSources().empty());
}

bool FailFloodFillStack(size_t size, bool fresh, bool isRealloc) {
  return isRealloc && fresh && size == kFloodFillGrowth * 2 * sizeof(int32_t);
}
std::atomic<int> gFailuresLeft{0};
// The first block of a local table, once.
bool FailLocalTableOnce(size_t size, bool fresh, bool isRealloc) {
  return isRealloc && fresh && size == kLocalTableGrowth * sizeof(LightSourceEntry) &&
         gFailuresLeft.fetch_sub(1) > 0;
}
bool FailDiskShapeBuffer(size_t size, bool fresh, bool isRealloc) {
  return !isRealloc && size == kMeasuringShapeCount * sizeof(EffectShape);
}
// The first ring or disk entry array built from radius 2 on, once.
bool FailMeasuringSubShapeOnce(size_t size, bool fresh, bool isRealloc) {
  if (!isRealloc || !fresh || size % sizeof(SubShapeEntry) != 0) return false;
  for (int i = 8; i < kMeasuringShapeCount; ++i) {
    if (size == testing::RingFirstBlockBytes(i * 0.25f) ||
        size == testing::DiskFirstBlockBytes(i * 0.25f)) {
      return gFailuresLeft.fetch_sub(1) > 0;
    }
  }
  return false;
}

TEST_F(DetectionRun, LackOfMemoryForTheRunsOwnStructuresEndsItAndStillCompletes) {
  if (!testing::AllocationFailuresAvailable()) GTEST_SKIP() << "sanitizer allocator";
  struct Case {
    testing::AllocationPredicate predicate;
    const char* report;
  };
  const Case cases[] = {
      {FailFloodFillStack,
       "User Message: 'Error - Exiting Plug-in' - 'Unable to allocate memory "
       "for a flood fill list.'"},
      {FailDiskShapeBuffer, "Thread 0: Could not allocate buffer for DiskShapeBuff."},
  };
  Scene scene(400, 300);
  scene.AddPatch({0, 0, 400, 100}, 0xFFFFFF);  // a flat area to fill
  scene.Add({200.2, 200.7, 10.0});
  for (const Case& c : cases) {
    SCOPED_TRACE(c.report);
    ForceRunResult(0);
    ReportCapture reports;
    {
      testing::FailingAllocations failing(c.predicate);
      RunThread(scene.record());
      EXPECT_GE(testing::FailedAllocationCount(), 1u);
    }
    EXPECT_EQ(RunResult(), -108);
    EXPECT_TRUE(MasterSources().empty());
    EXPECT_TRUE(reports.Has(c.report));
  }
}

TEST_F(DetectionRun, LackOfMemoryWhileMeasuringOneCandidateCostsThatCandidateOnly) {
  if (!testing::AllocationFailuresAvailable()) GTEST_SKIP() << "sanitizer allocator";
  struct Case {
    testing::AllocationPredicate predicate;
    const char* report;
  };
  const Case cases[] = {
      {FailMeasuringSubShapeOnce, "'Low memory.  Check image - some effects may not be rendered.'"},
      {FailLocalTableOnce, "ReallocateBufferPreserveContents() Allocation Failed"},
  };
  Scene scene(300, 200);
  const testing::Disc discs[] = {{60.2, 50.7, 8.0}, {200.6, 60.1, 6.0}, {120.4, 150.3, 10.0}};
  for (const testing::Disc& d : discs) scene.Add(d);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.report);
    ForceRunResult(0);
    ResetLowMemoryWarning();
    gFailuresLeft = 1;
    ReportCapture reports;
    {
      testing::FailingAllocations failing(c.predicate);
      RunThread(scene.record());
      EXPECT_EQ(testing::FailedAllocationCount(), 1u);
    }
    EXPECT_EQ(RunResult(), 0);
    EXPECT_TRUE(reports.Has(c.report));
    // The failed candidate's disc is measured again from its next pixel: nothing is lost.
    const std::vector<FoundSource> found = MasterSources();
    EXPECT_EQ(found.size(), std::size(discs));
    for (const testing::Disc& d : discs) {
      const FoundSource* s = testing::Nearest(found, d.cx, d.cy);
      ASSERT_NE(s, nullptr);
      EXPECT_LE(std::hypot(s->x - d.cx, s->y - d.cy), 0.25);
    }
  }
}

}  // namespace
}  // namespace lumeray
