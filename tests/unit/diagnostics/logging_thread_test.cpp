// The logging thread when it does not end in time: it is abandoned without ever writing through
// the log's descriptor once that is closed.

#include "diagnostics/logging_thread.h"

#include <fcntl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <mutex>
#include <thread>

#include "diagnostics/debug_log.h"
#include "diagnostics/log_queue.h"
#include "diagnostics/message_report.h"
#include "diagnostics_test_support.h"

namespace lumeray {
namespace {

using testing::DiagnosticsTest;

// How many descriptors of this process refer to `path`.
int OpenDescriptorsOf(const std::string& path) {
  int count = 0;
  for (const auto& link : std::filesystem::directory_iterator("/proc/self/fd")) {
    std::error_code error;
    if (std::filesystem::read_symlink(link.path(), error) == path) ++count;
  }
  return count;
}

class LoggingThreadTest : public DiagnosticsTest {};

TEST_F(LoggingThreadTest, AbandonedThreadTakesNoMoreEntriesAndNeverWritesAfterClose) {
  ASSERT_TRUE(InitializeMessageReporting("Lumeray Pro 2", 0));
  const std::string logPath = logFolder_ + "/log.bin";
  const std::string otherPath = logFolder_ + "/other.bin";
  const int descriptor = open(logPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  ASSERT_GE(descriptor, 0);

  LogQueue& queue = LogQueue::Instance();
  LoggingThread* thread = StartLoggingThread(descriptor);
  ASSERT_NE(thread, nullptr);
  int other = -1;
  {
    // Holding the LogQueueSection keeps the thread from taking any entry, so it cannot end:
    // both waits time out and the thread is abandoned.
    std::lock_guard hold(queue.Section());
    LogEntry(kLogLevelNormal, "never written");
    queue.Close(MakeLogQueueEntry(kLogLevelNormal, "closing line"));
    StopLoggingThread(thread, 1);
    EXPECT_EQ(close(descriptor), 0);
    // The freed descriptor number goes to another file at once.
    other = open(otherPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    ASSERT_EQ(other, descriptor);
  }
  // The thread now finds itself detached from the queue and ends, closing its own descriptor.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  while (OpenDescriptorsOf(logPath) > 0 && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  EXPECT_EQ(OpenDescriptorsOf(logPath), 0) << "the abandoned thread ends on its own";
  close(other);
  EXPECT_EQ(std::filesystem::file_size(otherPath), 0u);
  EXPECT_EQ(testing::ReadLogFile(logPath).text.find("never written"), std::string::npos);
  EXPECT_GE(queue.Size(), 2u) << "entries stay queued for no one";
  queue.LeaveMode();
  queue.Clear();
}

}  // namespace
}  // namespace lumeray
