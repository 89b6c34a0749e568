#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "analysis/worker_threads.h"
#include "effects/parameter_set.h"
#include "host/filter_run.h"
#include "host/module_state.h"
#include "platform/sync.h"
#include "platform/thread.h"
#include "platform/window.h"
#include "support/module_log.h"
#include "unit/host/fake_host.h"
#include "unit/temp_home.h"

namespace lumeray {
namespace {

using testing::FakeHost;

ParameterSet& HandleParameters(FakeHost& host) {
  return host.Contents<ParameterSet>(host.record().parameters);
}
uint8_t& ShowDialogFlag(FakeHost& host) {
  return host.Contents<uint8_t>(host.dataHandle());
}

class SelectorSequence : public ::testing::Test {
 protected:
  void SetUp() override {
    platform::SetMessageBoxHandler([this](platform::WindowHandle, const std::string& text,
                                          const std::string& title, uint32_t) {
      boxes.push_back(title + ": " + text);
      return platform::kIdOk;
    });
  }
  void TearDown() override { platform::SetMessageBoxHandler({}); }

  testing::TempHome home;
  std::vector<std::string> boxes;
};

TEST_F(SelectorSequence, WholeRunHoldsSuitesUnlocksHandlesAndTearsDown) {
  FakeHost host;
  ASSERT_EQ(host.Call(kFilterSelectorPrepare), 0);
  EXPECT_TRUE(ModuleStateInitialized());
  ASSERT_NE(host.record().parameters, nullptr);
  ASSERT_NE(host.dataHandle(), nullptr);
  EXPECT_EQ(host.handles().Size(host.record().parameters), int32_t{sizeof(ParameterSet)});
  EXPECT_EQ(host.handles().Size(host.dataHandle()), 1);
  EXPECT_EQ(std::memcmp(&HandleParameters(host), &kFactoryParameters, sizeof(ParameterSet)), 0);
  EXPECT_EQ(ShowDialogFlag(host), 1);
  EXPECT_EQ(host.lockedHandles(), 0);
  EXPECT_EQ(host.record().bigDocumentData->PluginUsing32BitCoordinates, 1);

  ASSERT_EQ(host.Call(kFilterSelectorStart), 0);
  intptr_t watch = 0;
  ASSERT_EQ(host.suites().GetProperty(FourCC("8BIM"), FourCC("wtch"), 0, &watch), kNoErr);
  EXPECT_EQ(watch, 1);
  EXPECT_EQ(ShowDialogFlag(host), 0) << "the dialog was shown, so a repeat renders directly";
  // Three planes read, three written back, and one last call that ends the exchange.
  EXPECT_EQ(host.inRects.size(), 3u);
  EXPECT_EQ(host.outRects.size(), 3u);
  EXPECT_EQ(host.advanceCalls, 7);
  EXPECT_EQ(host.output, host.input()) << "no light sources: the image comes back as it was";
  EXPECT_EQ(host.lockedHandles(), 0);

  ASSERT_EQ(host.Call(kFilterSelectorFinish), 0);
  EXPECT_FALSE(ModuleStateInitialized());
  EXPECT_EQ(host.suites().heldCount(), 0);
  EXPECT_EQ(host.suites().unbalancedReleases(), 0);
  EXPECT_TRUE(boxes.empty());
}

TEST_F(SelectorSequence, FinishWritesTheLastSavedParametersAndClosesTheLog) {
  FakeHost host;
  ASSERT_EQ(host.Run(), 0);

  const auto saved = home.settingsFolder() / "LastSavedParameters.lmx";
  ASSERT_TRUE(std::filesystem::exists(saved));
  EXPECT_EQ(std::filesystem::file_size(saved), 255u);
  std::ifstream in(saved, std::ios::binary);
  unsigned char head[8];
  in.read(reinterpret_cast<char*>(head), 8);
  const unsigned char version[8] = {0, 0, 0, 0, 0, 0, 5, 0};
  EXPECT_EQ(std::memcmp(head, version, 8), 0);

  const std::vector<std::string> log =
      testing::ReadModuleLog((home.logFolder() / "LumerayPro2_00.log").string());
  const auto closed =
      std::find_if(log.rbegin(), log.rend(), [](const std::string& line) { return !line.empty(); });
  ASSERT_NE(closed, log.rend());
  EXPECT_EQ(closed->rfind("Log closed on ", 0), 0u) << *closed;
}

TEST_F(SelectorSequence, StartTakesTheLastSavedParametersOfAnEarlierRun) {
  {
    FakeHost first;
    ASSERT_EQ(first.Call(kFilterSelectorPrepare), 0);
    ASSERT_EQ(first.Call(kFilterSelectorStart), 0);
    HandleParameters(first).Intensity = 77;  // as the dialog would have left it
    ASSERT_EQ(first.Call(kFilterSelectorFinish), 0);
  }
  FakeHost second;
  ASSERT_EQ(second.Call(kFilterSelectorPrepare), 0);
  EXPECT_EQ(HandleParameters(second).Intensity, 50) << "Prepare starts from the factory block";
  ASSERT_EQ(second.Call(kFilterSelectorStart), 0);
  EXPECT_EQ(HandleParameters(second).Intensity, 77);
  second.Call(kFilterSelectorFinish);
}

TEST_F(SelectorSequence, ASecondRunInTheProcessStartsFromFreshState) {
  FakeHost host;
  ASSERT_EQ(host.Run(), 0);  // with the dialog; the repeat below renders directly
  ASSERT_EQ(host.Call(kFilterSelectorPrepare), 0);
  ASSERT_EQ(host.Call(kFilterSelectorStart), 0);
  ASSERT_TRUE(FilterRunActive());
  EXPECT_NE(ActiveFilterRun().effects.renderers.star.shape.builder, nullptr);
  ASSERT_EQ(host.Call(kFilterSelectorFinish), 0);
  EXPECT_FALSE(FilterRunActive()) << "the run ends with the module state";

  ASSERT_EQ(host.Call(kFilterSelectorPrepare), 0);
  const FilterRun& next = ActiveFilterRun();
  EXPECT_EQ(next.effects.renderers.star.shape.builder, nullptr);
  EXPECT_EQ(next.effects.bandWorkingProfile.load(), nullptr);
  EXPECT_FALSE(next.preview.pyramid.rendered.load());
  host.Call(kFilterSelectorFinish);
}

// A worker that outlives its run's time-out reads the run after the run has ended: the run must
// be left to it, not freed under it (AddressSanitizer reports the read otherwise), and the
// cancel it then sets stays its own run's, never the next run's result.
TEST(FilterRunLifetime, ARunWithAnAbandonedWorkerIsNotFreedUnderIt) {
  struct Argument {
    platform::Event* release;
    FilterRun* run;
    std::atomic<uint32_t>* seen;
  };
  static constexpr auto kReader = [](void* a) -> uint32_t {
    auto* argument = static_cast<Argument*>(a);
    platform::WaitForObject(*argument->release, platform::kInfinite);
    argument->run->state.status.SetResult(kUserCanceledErr);
    argument->seen->store(argument->run->analysis.presenceThreshold.load() + 1);
    return 0;
  };
  platform::Event release(true, false);
  std::atomic<uint32_t> seen{0};
  FilterRun& run = BeginFilterRun();
  ThreadSlot slot;
  std::memset(&slot, 0, sizeof slot);
  slot.startRoutine = kReader;
  void* block = std::malloc(sizeof(Argument));
  slot.argument = new (block) Argument{&release, &run, &seen};
  ASSERT_TRUE(SpawnMultipleThreads(&slot, 1));
  const uint32_t abandoned = AbandonedThreadCount();
  DestroyThread(&slot);  // the worker ignores the request to end: abandoned after the time-out
  EXPECT_EQ(AbandonedThreadCount(), abandoned + 1);
  EndFilterRun();
  BeginFilterRun();  // the next run
  release.Set();
  while (seen.load() == 0) platform::SleepFor(1, false);
  EXPECT_EQ(seen.load(), 16384u + 1);
  EXPECT_EQ(RunResult(), 0);
  EndFilterRun();
  platform::SleepFor(50, false);  // the worker's return
  std::free(block);               // the slot left it to the worker
}

TEST_F(SelectorSequence, PrepareWithExistingHandlesKeepsParametersAndFlag) {
  FakeHost host;
  ASSERT_EQ(host.Run(), 0);
  HandleParameters(host).Angle = -450;
  ShowDialogFlag(host) = 0;
  ASSERT_EQ(host.Call(kFilterSelectorPrepare), 0);
  EXPECT_EQ(HandleParameters(host).Angle, -450);
  EXPECT_EQ(ShowDialogFlag(host), 0);
  host.Call(kFilterSelectorFinish);
}

TEST_F(SelectorSequence, ParametersResetsToFactoryAndAsksForTheDialog) {
  FakeHost host;
  ASSERT_EQ(host.Run(), 0);
  HandleParameters(host).Quantity = 3;
  ShowDialogFlag(host) = 0;
  ASSERT_EQ(host.Call(kFilterSelectorParameters), 0);
  EXPECT_EQ(HandleParameters(host).Quantity, 50);
  EXPECT_EQ(ShowDialogFlag(host), 1);
  EXPECT_TRUE(ModuleStateInitialized());
  host.Call(kFilterSelectorFinish);
}

// A run that cannot begin or whose last call fails ends with the code and leaves nothing held.
TEST_F(SelectorSequence, FailedRunsReturnTheirCodeAndTearDown) {
  const struct {
    const char* what;
    bool failNewHandle, prepare;
    int16_t advanceResult, selector, code;
  } cases[] = {
      {"no memory for the handles", true, false, 0, kFilterSelectorPrepare, -108},
      {"start without handles", false, false, 0, kFilterSelectorStart, -30100},
      {"the host's last advanceState fails", false, true, -20, kFilterSelectorStart, -20},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    FakeHost host;
    host.failNewHandle_ = c.failNewHandle;
    ASSERT_EQ(c.prepare ? host.Call(kFilterSelectorPrepare) : 0, 0);
    host.advanceResult = c.advanceResult;
    EXPECT_EQ(host.Call(c.selector), c.code);
    EXPECT_TRUE(c.prepare || host.advanceCalls == 0) << "nothing asked of the host";
    EXPECT_FALSE(ModuleStateInitialized());
    EXPECT_EQ(host.lockedHandles(), 0);
    EXPECT_EQ(host.suites().heldCount(), 0);
  }
}

TEST_F(SelectorSequence, ContinueEmptiesTheRequests) {
  FakeHost host;
  ASSERT_EQ(host.Call(kFilterSelectorPrepare), 0);
  host.record().bigDocumentData->inRect32 = {0, 0, 10, 10};
  host.record().bigDocumentData->maskRect32 = {0, 0, 10, 10};
  ASSERT_EQ(host.Call(kFilterSelectorContinue), 0);
  const VRect& in = host.record().bigDocumentData->inRect32;
  const VRect& mask = host.record().bigDocumentData->maskRect32;
  EXPECT_EQ(in.right - in.left, 0);
  EXPECT_EQ(mask.bottom - mask.top, 0);
  host.Call(kFilterSelectorFinish);
}

TEST_F(SelectorSequence, TheLightSourceListingAnalysesWithoutRenderingAndTearsDown) {
  FakeHost host;
  ASSERT_EQ(host.Call(kFilterSelectorPrepare), 0);
  std::vector<std::string> lines;
  int16_t result = 0;
  TraceLightSourcesEntry(
      &host.record(), &host.data(), &result,
      [](void* context, const char* line) {
        static_cast<std::vector<std::string>*>(context)->push_back(line);
      },
      &lines);
  EXPECT_EQ(result, 0);
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0], "NumberOfLightSources = 0\n\n");
  EXPECT_TRUE(host.outRects.empty()) << "nothing is written back";
  EXPECT_FALSE(ModuleStateInitialized());
  EXPECT_FALSE(std::filesystem::exists(home.settingsFolder() / "LastSavedParameters.lmx"));
}

TEST_F(SelectorSequence, AboutComesAloneAndTearsDown) {
  PlatformData platformData{};
  AboutRecord about{&platformData, nullptr, nullptr};
  intptr_t data = 0;
  int16_t result = 0;
  PluginMainEntry(kFilterSelectorAbout, &about, &data, &result);
  EXPECT_EQ(result, 0);
  EXPECT_FALSE(ModuleStateInitialized());
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_NE(boxes[0].find("Lumeray Pro 2"), std::string::npos);
}

TEST_F(SelectorSequence, UnknownSelectorLeavesTheResultAndTheState) {
  FakeHost host;
  ASSERT_EQ(host.Call(kFilterSelectorPrepare), 0);
  EXPECT_EQ(host.Call(42), 0);
  EXPECT_TRUE(ModuleStateInitialized());
  EXPECT_EQ(host.lockedHandles(), 0);
  host.Call(kFilterSelectorFinish);
}

}  // namespace
}  // namespace lumeray
