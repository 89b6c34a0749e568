// Error texts and the last error.

#include "platform/error_text.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <thread>

namespace lumeray::platform {
namespace {

TEST(ErrorTextTest, TextsAreOneLineAndLeaveTheLastErrorAlone) {
  SetLastError(EBUSY);
  for (int code : {ENOENT, EINVAL, 123456, -1}) {
    EXPECT_EQ(SystemErrorText(code).find('\n'), std::string::npos) << code;
  }
  EXPECT_FALSE(SystemErrorText(EINVAL).empty());
  EXPECT_EQ(LastError(), EBUSY);
}

TEST(ErrorTextTest, LastErrorBelongsToTheThread) {
  SetLastError(ENOSPC);
  int other = -1;
  std::thread([&] {
    SetLastError(0);
    SetLastError(EPERM);
    other = LastError();
  }).join();
  EXPECT_EQ(other, EPERM);
  EXPECT_EQ(LastError(), ENOSPC);
  SetLastError(0);
}

}  // namespace
}  // namespace lumeray::platform
