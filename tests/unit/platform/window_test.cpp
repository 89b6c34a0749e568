// Window handles, posted messages and message boxes.

#include "platform/window.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QCoreApplication>
#include <QWidget>

#include <atomic>
#include <thread>
#include <vector>

namespace lumeray::platform {
namespace {

struct Received {
  uint32_t message;
  uintptr_t wParam;
  intptr_t lParam;
};

TEST(WindowTest, RegisteredWindowsExistUntilUnregistered) {
  int widgetStandIn = 0;
  WindowHandle window = RegisterWindow([](uint32_t, uintptr_t, intptr_t) {}, &widgetStandIn);
  EXPECT_NE(window, 0);
  EXPECT_TRUE(IsWindow(window));
  EXPECT_EQ(NativeWidget(window), &widgetStandIn);
  WindowHandle other = RegisterWindow([](uint32_t, uintptr_t, intptr_t) {});
  EXPECT_NE(other, window);
  EXPECT_EQ(NativeWidget(other), nullptr);
  UnregisterWindow(window);
  EXPECT_FALSE(IsWindow(window));
  EXPECT_EQ(NativeWidget(window), nullptr);
  EXPECT_FALSE(IsWindow(0));
  UnregisterWindow(other);
}

TEST(WindowTest, MessagesPostedFromAnyThreadRunOnTheDispatchingThread) {
  ASSERT_EQ(QCoreApplication::instance(), nullptr);
  std::vector<Received> received;
  std::thread::id ranOn;
  WindowHandle window = RegisterWindow([&](uint32_t message, uintptr_t wParam, intptr_t lParam) {
    received.push_back({message, wParam, lParam});
    ranOn = std::this_thread::get_id();
  });
  std::thread poster([&] {
    EXPECT_TRUE(PostWindowMessage(window, kWmApp + 1, 10, -20));
    EXPECT_TRUE(PostWindowMessage(window, kWmApp + 2, 30, 40));
  });
  poster.join();
  EXPECT_TRUE(received.empty());  // nothing runs before the UI thread dispatches
  EXPECT_EQ(DispatchPostedMessages(), 2u);
  ASSERT_EQ(received.size(), 2u);
  EXPECT_EQ(received[0].message, kWmApp + 1);
  EXPECT_EQ(received[0].wParam, 10u);
  EXPECT_EQ(received[0].lParam, -20);
  EXPECT_EQ(received[1].message, kWmApp + 2);
  EXPECT_EQ(ranOn, std::this_thread::get_id());
  EXPECT_EQ(DispatchPostedMessages(), 0u);
  UnregisterWindow(window);
}

TEST(WindowTest, MessagesToGoneWindowsAreRefusedOrDropped) {
  int calls = 0;
  WindowHandle window = RegisterWindow([&](uint32_t, uintptr_t, intptr_t) { ++calls; });
  EXPECT_TRUE(PostWindowMessage(window, kWmApp, 0, 0));
  UnregisterWindow(window);
  EXPECT_FALSE(PostWindowMessage(window, kWmApp, 0, 0));
  EXPECT_FALSE(PostWindowMessage(0, kWmApp, 0, 0));
  EXPECT_EQ(DispatchPostedMessages(), 0u);
  EXPECT_EQ(calls, 0);
}

TEST(WindowTest, QtEventLoopDeliversPostedMessages) {
  int argc = 1;
  char name[] = "platform_tests";
  char* argv[] = {name, nullptr};
  QCoreApplication application(argc, argv);
  std::atomic<int> calls{0};
  WindowHandle window = RegisterWindow([&](uint32_t message, uintptr_t, intptr_t) {
    if (message == kWmApp + 5) ++calls;
  });
  std::thread poster([&] { PostWindowMessage(window, kWmApp + 5, 0, 0); });
  poster.join();
  for (int i = 0; i < 100 && calls == 0; ++i) QCoreApplication::processEvents();
  EXPECT_EQ(calls.load(), 1);
  EXPECT_EQ(DispatchPostedMessages(), 0u);  // delivered once
  UnregisterWindow(window);
}

TEST(WindowTest, ActiveWindowMapsTheActiveWidgetToItsHandle) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  int argc = 1;
  char name[] = "platform_tests";
  char* argv[] = {name, nullptr};
  QApplication application(argc, argv);
  QWidget top;
  auto* child = new QWidget(&top);
  WindowHandle childWindow = RegisterWindow([](uint32_t, uintptr_t, intptr_t) {}, child);
  top.show();
  top.activateWindow();
  for (int i = 0; i < 50 && QApplication::activeWindow() != &top; ++i) {
    QApplication::processEvents();
  }
  if (QApplication::activeWindow() != &top) {
    UnregisterWindow(childWindow);
    GTEST_SKIP() << "this platform plugin does not activate windows";
  }
  EXPECT_EQ(ActiveWindow(), childWindow);  // a registered widget inside the active window
  WindowHandle topWindow = RegisterWindow([](uint32_t, uintptr_t, intptr_t) {}, &top);
  EXPECT_EQ(ActiveWindow(), topWindow);  // the active window itself wins
  UnregisterWindow(topWindow);
  UnregisterWindow(childWindow);
  EXPECT_EQ(ActiveWindow(), 0);
}

TEST(WindowTest, MessageBoxWithoutApplicationGoesToStandardError) {
  ASSERT_EQ(QCoreApplication::instance(), nullptr);
  ::testing::internal::CaptureStderr();
  int answer = ShowMessageBox(0, "Something failed", "Lumeray Pro 2", kMbOk | kMbIconError);
  std::string output = ::testing::internal::GetCapturedStderr();
  EXPECT_EQ(answer, kIdOk);
  EXPECT_EQ(output, "Lumeray Pro 2: Something failed\n");
  EXPECT_EQ(ActiveWindow(), 0) << "no widget application";
}

}  // namespace
}  // namespace lumeray::platform
