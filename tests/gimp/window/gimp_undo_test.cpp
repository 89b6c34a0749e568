// The filter's result is one undo step: GIMP with its window (under Xvfb) runs the filter on a
// displayed image, a Ctrl+Z typed into that window takes the image back to what it was. A
// Script-Fu server in that GIMP answers the test's questions between the steps.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <chrono>
#include <future>
#include <iostream>
#include <thread>

#include "gimp/gimp_test_support.h"
#include "support/process.h"

namespace lumeray {
namespace {

using namespace std::chrono_literals;
using testing::LargestDifference;
using testing::NightImage;
using testing::Quoted;

constexpr auto kStartTimeout = 120s;
constexpr auto kStepTimeout = 30s;

int FreePort() {
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
  getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
  close(fd);
  return ntohs(address.sin_port);
}

// One request to the Script-Fu server: 'G', length, text; the answer: 'G', error flag, length,
// text. Empty optional when the server is not there (yet).
std::optional<std::string> ScriptFu(int port, const std::string& command) {
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<uint16_t>(port));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    close(fd);
    return std::nullopt;
  }
  std::string request = "G";
  request += static_cast<char>(command.size() >> 8);
  request += static_cast<char>(command.size() & 0xFF);
  request += command;
  // The server keeps the connection open: read the header, then exactly the text.
  const timeval timeout{30, 0};
  setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
  std::string answer;
  const auto readBytes = [&](size_t count) {
    while (answer.size() < count) {
      char buffer[4096];
      const ssize_t got = read(fd, buffer, std::min(sizeof buffer, count - answer.size()));
      if (got <= 0) return false;
      answer.append(buffer, static_cast<size_t>(got));
    }
    return true;
  };
  if (write(fd, request.data(), request.size()) == static_cast<ssize_t>(request.size()) &&
      readBytes(4)) {
    const size_t length = (static_cast<uint8_t>(answer[2]) << 8) | static_cast<uint8_t>(answer[3]);
    readBytes(4 + length);
  }
  close(fd);
  return answer.size() >= 4 ? answer.substr(4) : std::string();
}

class GimpUndo : public testing::GimpTest {
 protected:
  void TearDown() override {
    if (!session_.valid()) return;
    ScriptFu(port_, "(gimp-quit 1)");
    const testing::ProcessResult gimp = session_.get();
    if (HasFailure()) std::cerr << "GIMP said:\n" << gimp.out << gimp.err;
  }

  // Starts GIMP with its window on `commands`, then its Script-Fu server; `timeout` ends a GIMP
  // that outlives the test.
  void StartGimp(const std::vector<std::string>& commands) {
    port_ = FreePort();
    std::vector<std::string> arguments{"/usr/bin/timeout", "-s", "KILL", "300"};
    for (const std::string& argument : GimpArguments(false)) arguments.push_back(argument);
    for (const std::string& command : commands) arguments.insert(arguments.end(), {"-b", command});
    arguments.insert(arguments.end(),
                     {"-b", "(plug-in-script-fu-server RUN-NONINTERACTIVE \"127.0.0.1\" " +
                                std::to_string(port_) + " \"\")"});
    session_ = std::async(std::launch::async, testing::RunProcess, arguments, environment_);
  }

  // Asks until the answer is `expected` or the time is up; returns the last answer.
  std::string AskUntil(const std::string& command, const std::string& expected,
                       std::chrono::seconds timeout) {
    std::string last;
    for (auto waited = 0ms; waited < timeout; waited += 250ms) {
      if (session_.wait_for(0ms) == std::future_status::ready) return "GIMP ended";
      if (std::optional<std::string> answer = ScriptFu(port_, command)) {
        last = *answer;
        if (last == expected) break;
      }
      std::this_thread::sleep_for(250ms);
    }
    return last;
  }

  std::future<testing::ProcessResult> session_;
  int port_ = 0;
};

TEST_F(GimpUndo, OneUndoRestoresTheImage) {
  if (getenv("DISPLAY") == nullptr || access("/usr/bin/xdotool", X_OK) != 0) {
    GTEST_SKIP() << "needs a display and xdotool (run under xvfb-run; scripts/setup installs it)";
  }
  const HostImage night = NightImage(SampleType::kUInt8);
  const std::string input = dir_.File("undo-me.png");
  testing::WriteTestImage(input, night);
  const std::string load =
      "(car (gimp-file-load RUN-NONINTERACTIVE " + Quoted(input) + " " + Quoted(input) + "))";
  StartGimp({"(let* ((image " + load +
             ") (drawable (car (gimp-image-get-active-drawable image)))) (gimp-display-new image) "
             "(plug-in-lumeray-pro-2 RUN-NONINTERACTIVE image drawable " +
             std::string(testing::kProcedureSettings) + ") (gimp-displays-flush))"});

  // The server answers once the commands before it, the filter among them, are done.
  const std::string image = "(vector-ref (cadr (gimp-image-list)) 0)";
  ASSERT_EQ(AskUntil("(car (gimp-image-list))", "1", kStartTimeout), "1") << "one image open";
  const auto save = [&](const std::string& target, const std::string& path,
                        const std::string& after = "") {
    return ScriptFu(port_, "(let* ((target " + target +
                               ")) (gimp-file-save RUN-NONINTERACTIVE target (car "
                               "(gimp-image-get-active-drawable target)) " +
                               Quoted(path) + " " + Quoted(path) + ") " + after + ")");
  };
  const std::string filtered = dir_.File("filtered.png");
  save("(car (gimp-image-duplicate " + image + "))", filtered, "(gimp-image-delete target)");
  ASSERT_GT(LargestDifference(testing::ReadTestImage(filtered), night), 100) << "filtered";

  // The pointer over the window gives it the keyboard (no window manager under Xvfb); one
  // Ctrl+Z, then the image is looked at until it is back or the time is up.
  const testing::ProcessResult window =
      testing::RunProcess({"/usr/bin/xdotool", "search", "--name", "undo-me.png"});
  const std::string id = window.out.substr(0, window.out.find('\n'));
  ASSERT_FALSE(id.empty()) << "no image window";
  testing::RunProcess({"/usr/bin/xdotool", "mousemove", "--window", id, "300", "300"});
  std::this_thread::sleep_for(500ms);
  testing::RunProcess({"/usr/bin/xdotool", "key", "ctrl+z"});
  const std::string undone = dir_.File("undone.png");
  double difference = -1;
  for (auto waited = 0ms; waited < kStepTimeout && difference != 0; waited += 500ms) {
    std::this_thread::sleep_for(500ms);
    if (save(image, undone)) difference = LargestDifference(testing::ReadTestImage(undone), night);
  }
  EXPECT_EQ(difference, 0) << "one undo gives back the image as it was";
}

}  // namespace
}  // namespace lumeray
