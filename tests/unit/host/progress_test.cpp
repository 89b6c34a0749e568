#include "host/progress.h"

#include <gtest/gtest.h>

#include <thread>
#include <utility>
#include <vector>

#include "host/filter_run.h"
#include "host/host_globals.h"
#include "platform/thread.h"

namespace lumeray {
namespace {

std::vector<std::pair<int32_t, int32_t>> gShown;
bool gCancel = false;

class Progress : public ::testing::Test {
 protected:
  void SetUp() override {
    gShown.clear();
    gCancel = false;
    record_.progressProc = [](int32_t done, int32_t total) { gShown.emplace_back(done, total); };
    record_.abortProc = [] { return static_cast<Boolean>(gCancel); };
    Host().filterRecord = &record_;
    Host().result = &result_;
    BeginFilterRun();
  }
  void TearDown() override {
    EndFilterRun();
    Host().filterRecord = nullptr;
    Host().result = nullptr;
  }
  // Advances from a worker thread, as the render does, then delivers the queued steps here.
  void AdvanceFromWorker(uint32_t units, int times) {
    std::thread worker([&, run = &ActiveFilterRun()] {
      for (int i = 0; i < times; ++i) EXPECT_TRUE(AdvanceImageEditorProgress(run, units));
    });
    worker.join();
    platform::RunQueuedProcedureCalls();
  }
  FilterRecord record_{};
  int16_t result_ = 0;
};

TEST_F(Progress, FortyUnitsShowEveryStep) {
  SetProgressTotal(40);
  AdvanceFromWorker(1, 40);
  ASSERT_EQ(gShown.size(), 41u);
  EXPECT_EQ(gShown.front(), std::make_pair(0, 40));
  for (int i = 0; i <= 40; ++i) EXPECT_EQ(gShown[i].first, i);
  EXPECT_EQ(gShown.back(), std::make_pair(40, 40));
}

// 1050 units in a hundred steps: ten units a step, a partial step's units kept for the next.
TEST_F(Progress, LargeTotalsAreShownInAHundredStepsKeepingTheRemainder) {
  SetProgressTotal(1050);
  AdvanceFromWorker(25, 1);
  EXPECT_EQ(gShown.back(), std::make_pair(2, 100));
  AdvanceFromWorker(5, 1);
  EXPECT_EQ(gShown.back(), std::make_pair(3, 100));
  AdvanceFromWorker(1, 1020);
  EXPECT_EQ(gShown.back(), std::make_pair(105, 100));
  for (size_t i = 1; i < gShown.size(); ++i) EXPECT_GE(gShown[i].first, gShown[i - 1].first);
}

TEST_F(Progress, BeforeATotalTheHostIsCalledDirectlyButOnlyOnTheUiThread) {
  FilterRun* run = &ActiveFilterRun();
  EXPECT_TRUE(AdvanceImageEditorProgress(run, 1));
  ASSERT_EQ(gShown.size(), 1u);
  bool fromWorker = true;
  std::thread worker([&] { fromWorker = AdvanceImageEditorProgress(run, 1); });
  worker.join();
  EXPECT_FALSE(fromWorker);
  EXPECT_EQ(gShown.size(), 1u);
}

TEST_F(Progress, CancelInTheHostBecomesTheRunResult) {
  SetProgressTotal(10);
  gCancel = true;
  AdvanceFromWorker(1, 3);
  EXPECT_EQ(RunResult(), kUserCanceledErr);
}

}  // namespace
}  // namespace lumeray
