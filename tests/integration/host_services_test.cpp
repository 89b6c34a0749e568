// The handle procedures and suites as the module reaches them: through the record's plain
// procedures, on the run thread only.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <thread>

#include "handles.h"
#include "host_context.h"
#include "suites.h"

namespace lumeray {
namespace {

TEST(Handles, LockedBlocksNeverMoveAndResizingKeepsTheContents) {
  HandleTable table;
  HostContext context{&table};
  HostContextScope scope(&context);
  const HandleProcs procs = MakeHandleProcs();

  Handle handle = procs.newProc(40);
  ASSERT_NE(handle, nullptr);
  EXPECT_EQ(procs.getSizeProc(handle), 40);
  char* block = procs.lockProc(handle, 1);
  ASSERT_NE(block, nullptr);
  EXPECT_EQ(std::count(block, block + 40, 0), 40) << "new blocks are zero-filled";
  std::memcpy(block, "parameters", 10);
  EXPECT_EQ(procs.setSizeProc(handle, 4000), kMemLockedErr);
  EXPECT_EQ(procs.lockProc(handle, 1), block) << "a second lock yields the same pointer";
  procs.unlockProc(handle);
  procs.unlockProc(handle);
  ASSERT_EQ(procs.setSizeProc(handle, 4000), kNoErr);
  EXPECT_EQ(std::memcmp(procs.lockProc(handle, 1), "parameters", 10), 0);
  EXPECT_NE(procs.newProc(0), nullptr) << "an empty handle is still a handle";
  EXPECT_EQ(procs.newProc(-1), nullptr);
  procs.disposeProc(handle);
  EXPECT_FALSE(table.Contains(handle));
  EXPECT_EQ(table.LiveCount(), 1u) << "the table frees what is left when it goes";
}

TEST(Handles, ForeignPointersAndCallsOffTheRunThreadTouchNothing) {
  HandleTable table;
  HostContext context{&table};
  HostContextScope scope(&context);
  const HandleProcs procs = MakeHandleProcs();
  Handle handle = procs.newProc(8);
  auto* foreign = reinterpret_cast<Handle>(reinterpret_cast<char*>(handle) + 1);
  procs.disposeProc(foreign);
  EXPECT_EQ(procs.lockProc(foreign, 0), nullptr);
  EXPECT_EQ(procs.setSizeProc(foreign, 1), kNilHandleErr);
  EXPECT_EQ(table.BadCalls(), 3);
  EXPECT_TRUE(table.Contains(handle));

  Handle made = nullptr;
  char* locked = reinterpret_cast<char*>(1);
  std::thread worker([&] {
    made = procs.newProc(8);
    locked = procs.lockProc(handle, 0);
  });
  worker.join();
  EXPECT_EQ(made, nullptr);
  EXPECT_EQ(locked, nullptr);
  EXPECT_EQ(table.LiveCount(), 1u);
}

class Suites : public ::testing::Test {
 protected:
  SuiteHost host_;
  HostContext context_{nullptr, &host_};
  HostContextScope scope_{&context_};
  SPBasicSuite* basic_ = host_.basic();
};

TEST_F(Suites, OffersThePropertyAndErrorSuitesAndRecordsWhatTheModuleSets) {
  const PropertySuite1* properties = nullptr;
  const ErrorSuite1* errors = nullptr;
  ASSERT_EQ(
      basic_->AcquireSuite(kPropertySuiteName, 1, reinterpret_cast<const void**>(&properties)),
      kSPNoError);
  ASSERT_EQ(basic_->AcquireSuite(kErrorSuiteName, 1, reinterpret_cast<const void**>(&errors)),
            kSPNoError);
  ASSERT_EQ(properties->setPropertyProc(FourCC("8BIM"), FourCC("wtch"), 0, 1, nullptr), kNoErr);
  intptr_t value = 0;
  EXPECT_EQ(properties->getPropertyProc(FourCC("8BIM"), FourCC("wtch"), 0, &value, nullptr),
            kNoErr);
  EXPECT_EQ(value, 1);
  EXPECT_EQ(properties->getPropertyProc(FourCC("8BIM"), FourCC("none"), 0, &value, nullptr),
            kPropertyUndefinedErr);

  const unsigned char pascal[] = "\x05Hello";
  errors->SetErrorFromPString(pascal);
  EXPECT_EQ(host_.errorMessage(), "Hello");
  const char16_t wide[] = u"Gr\u00fc\u00dfe";
  errors->SetErrorFromZString(wide);
  EXPECT_EQ(host_.errorMessage(),
            "Gr\xC3\xBC\xC3\x9F"
            "e");
  errors->SetErrorFromCString("Could not read input image.");
  EXPECT_EQ(host_.errorMessage(), "Could not read input image.");

  EXPECT_EQ(host_.heldCount(), 2);
  basic_->ReleaseSuite(kErrorSuiteName, 1);
  basic_->ReleaseSuite(kPropertySuiteName, 1);
  EXPECT_EQ(host_.heldCount(), 0);
  EXPECT_EQ(basic_->ReleaseSuite(kPropertySuiteName, 1), kSPSuiteNotFoundError);
  EXPECT_EQ(host_.unbalancedReleases(), 1);
}

TEST_F(Suites, RefusesWhatItCannotOfferWithoutSideEffects) {
  host_.SetRefusedSuites({kErrorSuiteName});
  const void* untouched = &host_;
  const void* suite = untouched;
  EXPECT_EQ(basic_->AcquireSuite(kErrorSuiteName, 1, &suite), kSPSuiteNotFoundError);
  EXPECT_EQ(basic_->AcquireSuite(kPropertySuiteName, 2, &suite), kSPSuiteNotFoundError);
  EXPECT_EQ(basic_->AcquireSuite(kDescriptorRegistrySuiteName, 2, &suite), kSPSuiteNotFoundError);
  EXPECT_EQ(basic_->AcquireSuite(kActionDescriptorSuiteName, 1, &suite), kSPSuiteNotFoundError);
  EXPECT_EQ(basic_->AcquireSuite("no such suite", 1, &suite), kSPSuiteNotFoundError);
  EXPECT_EQ(suite, untouched);
  EXPECT_EQ(host_.heldCount(), 0);
  EXPECT_EQ(host_.refusalCount(), 5);
}

}  // namespace
}  // namespace lumeray
