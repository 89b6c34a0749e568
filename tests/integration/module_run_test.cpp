// Whole runs of the real module through the editor's host.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "host_session.h"
#include "module_loader.h"
#include "support/test_images.h"
#include "support/xdg_environment.h"

namespace lumeray {
namespace {

using testing::PatternImage;
using testing::SmoothImage;

std::unique_ptr<LoadedModule> Module(const HostImage& image) {
  std::string error;
  auto module = LoadedModule::Load(LUMERAY_MODULE_PATH, HostImageMode(image), &error);
  EXPECT_NE(module, nullptr) << error;
  return module;
}

// Runs the module once in a new session; the image is changed only by a successful run.
RunOutcome RunModule(HostImage& image, RunOptions options = {}) {
  const auto module = Module(image);
  if (!module) {
    RunOutcome failed;
    failed.result = kParamErr;
    return failed;
  }
  HostSession session(module->entry());
  return session.Run(image, options);
}

// What every run must show, whatever its result: the protocol was kept and nothing is left held.
void ExpectProtocolKept(const RunOutcome& outcome) {
  EXPECT_EQ(outcome.counters.exchange.otherCombinations, 0)
      << "one request per call, or input with mask";
  if (outcome.ok()) {
    EXPECT_EQ(outcome.counters.exchange.refusedRequests, 0);
  }
  EXPECT_EQ(outcome.counters.suitesHeld, 0) << "every suite acquired is released";
  EXPECT_EQ(outcome.counters.unbalancedSuiteReleases, 0);
  EXPECT_EQ(outcome.counters.badHandleCalls, 0);
}

std::vector<int16_t> Selectors(std::initializer_list<int16_t> list) {
  return list;
}

TEST(ModuleRun, AnImageWithoutLightSourcesGoesThroughPrepareStartFinishUnchanged) {
  HostImage image = SmoothImage(300, 170, 3, false, SampleType::kUInt8);
  const HostImage original = image;
  RunOptions options;
  options.tileSize = 128;
  const RunOutcome outcome = RunModule(image, options);
  ASSERT_TRUE(outcome.ok()) << outcome.result << " " << outcome.moduleMessage;
  ExpectProtocolKept(outcome);
  EXPECT_EQ(outcome.counters.selectors,
            Selectors({kFilterSelectorPrepare, kFilterSelectorStart, kFilterSelectorFinish}));
  const int tiles = 3 * 2;
  EXPECT_EQ(outcome.counters.exchange.inputRequests, tiles * 3) << "every plane of every tile";
  EXPECT_GT(outcome.counters.exchange.outputRequests, 0);
  EXPECT_EQ(image.pixels, original.pixels);
}

TEST(ModuleRun, TheDialogOptionStartsTheRunWithParameters) {
  HostImage image = SmoothImage(40, 30, 1, false, SampleType::kUInt8);
  RunOptions options;
  options.parametersSelector = true;
  const RunOutcome outcome = RunModule(image, options);
  ASSERT_TRUE(outcome.ok()) << outcome.result;
  ExpectProtocolKept(outcome);
  EXPECT_EQ(outcome.counters.selectors,
            Selectors({kFilterSelectorParameters, kFilterSelectorPrepare, kFilterSelectorStart,
                       kFilterSelectorFinish}));
}

TEST(ModuleRun, EveryModeAndLayoutComesBackBitIdentical) {
  struct Case {
    int planes;
    bool alpha;
    SampleType type;
  };
  for (const Case c : {Case{1, false, SampleType::kUInt8}, Case{3, true, SampleType::kUInt8},
                       Case{1, true, SampleType::kUInt16}, Case{3, true, SampleType::kUInt16},
                       Case{3, false, SampleType::kFloat32}, Case{1, true, SampleType::kFloat32}}) {
    HostImage image = SmoothImage(70, 45, c.planes, c.alpha, c.type);
    SCOPED_TRACE(DescribeImageLayout(image));
    const HostImage original = image;
    const RunOutcome outcome = RunModule(image);
    ASSERT_TRUE(outcome.ok()) << outcome.result << " " << outcome.moduleMessage;
    ExpectProtocolKept(outcome);
    EXPECT_EQ(image.pixels, original.pixels);
  }
}

TEST(ModuleRun, AMaskIsOfferedWithTheFirstPlaneOfEveryTile) {
  HostImage image = SmoothImage(64, 40, 3, false, SampleType::kUInt8);
  GreyMask mask{64, 40, std::vector<uint8_t>(64 * 40, 255)};
  std::fill(mask.values.begin(), mask.values.begin() + 64 * 20, 0);
  RunOptions options;
  options.mask = &mask;
  options.tileSize = 32;
  const RunOutcome outcome = RunModule(image, options);
  ASSERT_TRUE(outcome.ok()) << outcome.result;
  ExpectProtocolKept(outcome);
  EXPECT_EQ(outcome.counters.exchange.inputWithMask, 2 * 2);
}

// Failures late in the write-back, after the first planes were committed, must still leave the
// image as it was. A clean run of a noisy image (which gets stars) tells where "late" is.
class FailedRun : public ::testing::Test {
 protected:
  void SetUp() override {
    HostImage changed = original_;
    clean_ = RunModule(changed, options_);
    ASSERT_TRUE(clean_.ok()) << clean_.result;
    ASSERT_NE(changed.pixels, original_.pixels) << "the noise should get stars";
  }

  const HostImage original_ = PatternImage(90, 60, 3, false, SampleType::kUInt8);
  RunOptions options_;
  RunOutcome clean_;
};

// A host error at the request for the last output plane (the last call ends the exchange), and a
// cancel during the write-back.
TEST_F(FailedRun, AHostErrorOrACancelEndsTheRunWithItsCodeAndTheImageUntouched) {
  RunOptions hostError = options_;
  hostError.faults.failAdvanceStateAt = clean_.counters.exchange.advanceStateCalls - 1;
  hostError.faults.advanceStateError = -4711;
  RunOptions cancel = options_;
  cancel.faults.abort.afterOutputRequests = 1;
  for (const auto& [options, result] :
       {std::pair{hostError, OSErr{-4711}}, std::pair{cancel, OSErr{kUserCanceledErr}}}) {
    SCOPED_TRACE(result);
    HostImage image = original_;
    const RunOutcome outcome = RunModule(image, options);
    EXPECT_EQ(outcome.result, result);
    EXPECT_EQ(outcome.failedSelector, kFilterSelectorStart);
    EXPECT_GT(outcome.counters.exchange.commits, 0);
    EXPECT_EQ(outcome.counters.selectorCalls[kFilterSelectorFinish], 0);
    ExpectProtocolKept(outcome);
    EXPECT_EQ(image.pixels, original_.pixels);
  }
}

TEST(ModuleRun, WithoutTheOptionalSuitesTheModuleStillRuns) {
  HostImage image = SmoothImage(50, 50, 1, false, SampleType::kUInt8);
  const auto module = Module(image);
  ASSERT_NE(module, nullptr);
  HostSession session(module->entry());
  RunOptions options;
  options.faults.refusedSuites = {kPropertySuiteName, kErrorSuiteName, kDescriptorRegistrySuiteName,
                                  kActionDescriptorSuiteName};
  const RunOutcome outcome = session.Run(image, options);
  ASSERT_TRUE(outcome.ok()) << outcome.result;
  EXPECT_EQ(outcome.counters.suiteAcquires, 0);
  EXPECT_FALSE(session.suites().HasProperty(FourCC("8BIM"), FourCC("wtch"), 0));

  // The same session again, as a host repeats the last filter: with both suites this time.
  const RunOutcome repeat = session.Run(image, RunOptions{});
  ASSERT_TRUE(repeat.ok()) << repeat.result;
  ExpectProtocolKept(repeat);
  intptr_t watch = 0;
  EXPECT_EQ(session.suites().GetProperty(FourCC("8BIM"), FourCC("wtch"), 0, &watch), kNoErr);
  EXPECT_EQ(watch, 1);
}

}  // namespace
}  // namespace lumeray
