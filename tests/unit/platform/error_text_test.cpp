// Error texts and the last error.

#include "platform/error_text.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <thread>

namespace lumeray::platform {
namespace {

TEST(ErrorTextTest, KnownErrorsHaveOneLineTexts) {
  EXPECT_EQ(SystemErrorText(ENOENT), "No such file or directory");
  EXPECT_EQ(SystemErrorText(EACCES), "Permission denied");
  std::string text = SystemErrorText(EINVAL);
  EXPECT_FALSE(text.empty());
  EXPECT_EQ(text.find('\n'), std::string::npos);
}

TEST(ErrorTextTest, UnknownErrorsDoNotCrash) {
  std::string text = SystemErrorText(123456);
  EXPECT_EQ(text.find('\n'), std::string::npos);
  SystemErrorText(-1);
}

TEST(ErrorTextTest, TextLeavesTheLastErrorAlone) {
  SetLastError(EBUSY);
  SystemErrorText(123456);
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
  EXPECT_EQ(LastError(), 0);
}

}  // namespace
}  // namespace lumeray::platform
