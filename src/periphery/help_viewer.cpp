#include "periphery/help_viewer.h"

#include <QLocalSocket>
#include <QProcess>
#include <QThread>

#include <signal.h>
#include <sys/types.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <mutex>

#include "diagnostics/message_report.h"
#include "platform/module_file.h"
#include "ui/user_data_folders.h"

namespace lumeray {
namespace {

namespace fs = std::filesystem;

constexpr std::array<HelpTopic, 94> kTopics = [] {
  std::array<HelpTopic, 94> table{};
  size_t n = 0;
  auto add = [&](const char* topic, std::initializer_list<uint32_t> controls) {
    for (uint32_t control : controls) table[n++] = {control, topic};
  };
  add("MainDialog.htm", {1192, 1, 2});
  add("AboutBox.htm", {1193, 1175, 1116, 1117, 1198});
  add("ProxyServerDialog.htm", {1195, 1201, 1202, 1138});
  add("ConfigurationDialog.htm", {1196, 1152, 1159, 1186, 1199, 1200, 1153, 1154});
  add("ProductUpdateDialog.htm", {1197, 1158, 1162, 1223, 1206, 1224});
  add("AnnouncementDialog.htm", {1210, 1217, 1220, 1219, 1211});
  add("SelectingPredefinedSettings.htm", {1023});
  add("EffectSelection.htm", {1176});
  add("ConfigureButton.htm", {1191, 1151});
  add("ViewportPreviewCheckbox.htm", {1002});
  add("EffectsOnly.htm", {1122});
  add("DisplayViewport.htm", {1040, 1049});
  add("QuantityControl.htm", {1025, 1026});
  add("IntensityControl.htm", {1004, 1005});
  add("LengthControl.htm", {1006, 1007});
  add("AngleControl.htm", {1008, 1009});
  add("NumberOfPointsControl.htm", {1010, 1011});
  add("SpikeSharpnessControl.htm", {1024, 1022});
  add("ColorSaturationControl.htm", {1012, 1013});
  add("RainbowIntensityControl.htm", {1014, 1015});
  add("RainbowFrequencyControl.htm", {1016, 1017});
  add("SecondarySpikeIntensityControl.htm", {1018, 1019});
  add("SoftFlareIntensityControl.htm", {1020, 1021});
  for (uint32_t command = 40001; command <= 40020; ++command) {
    add("ViewportContextMenu.htm", {command});
  }
  add("SaveLoadControl.htm", {40096, 40097, 40098});
  add("OpenGLDrawingOptions.htm", {1190, 1188, 1189});
  add("ProxyServerOptions.htm", {1145, 1141, 1139, 1140, 1142, 1143, 1144});
  return table;
}();

// The viewer this module started (0: none).
struct ViewerRecord {
  std::mutex lock;
  pid_t pid = 0;  // guarded by lock
};
ViewerRecord& Viewer() {
  static ViewerRecord record;
  return record;
}

bool Running(pid_t pid) {
  return pid > 0 && kill(pid, 0) == 0;
}

void Report(int line, const std::string& text) {
  MessageReport(static_cast<uint32_t>(line), kMessageDebug)
      .Report(kIconError, kTitleDebugUnexpectedError, "%s", text.c_str());
}

// Sends one line to the running viewer; false when none listens.
bool SendToViewer(const QByteArray& line) {
  QLocalSocket socket;
  socket.connectToServer(QString::fromStdString(HelpViewerServerName()));
  if (!socket.waitForConnected(500)) return false;
  socket.write(line + '\n');
  const bool sent = socket.waitForBytesWritten(1000);
  socket.disconnectFromServer();
  return sent;
}

}  // namespace

std::span<const HelpTopic> HelpTopicTable() {
  return kTopics;
}

const char* HelpTopicFor(uint32_t control) {
  for (const HelpTopic& row : kTopics) {
    if (row.control == control) return row.topic;
  }
  return nullptr;
}

std::string HelpFolder() {
  const std::string& common = ProductCommonDataFolder();
  return common.empty() ? std::string() : (fs::path(common) / "help").string();
}

std::string HelpViewerProgram() {
  if (const char* forced = std::getenv("LUMERAY_HELP_VIEWER"); forced != nullptr && *forced) {
    return forced;
  }
  const std::string module = platform::ModuleFilePath();
  if (!module.empty()) {
    fs::path folder = fs::path(module).parent_path();
    for (int up = 0; up < 4 && !folder.empty(); ++up, folder = folder.parent_path()) {
      for (const fs::path& candidate : {folder / "lumeray-help", folder / "bin" / "lumeray-help"}) {
        if (access(candidate.c_str(), X_OK) == 0) return candidate.string();
      }
      if (folder == folder.parent_path()) break;
    }
  }
  return "lumeray-help";
}

std::string HelpViewerServerName() {
  return "lumeray-help-" + std::to_string(getuid()) + "-" + std::to_string(getpid());
}

bool DisplayHTMLControlHelp(uint32_t control) {
  const std::string folder = HelpFolder();
  if (folder.empty()) {
    Report(__LINE__, "InitializeHelpViewer() Could not get the help file directory.");
    return false;
  }
  const char* topic = HelpTopicFor(control);
  const std::string name = topic != nullptr ? fs::path(topic).replace_extension(".html").string()
                                            : std::string("index.html");
  return DisplayHelpInViewer((fs::path(folder) / name).string());
}

bool DisplayHelpInViewer(const std::string& page) {
  std::lock_guard<std::mutex> guard(Viewer().lock);
  const QByteArray line = QByteArray::fromStdString(page);
  if (Running(Viewer().pid)) {
    // Ours is running (perhaps still starting): hand it the page.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (Running(Viewer().pid) && std::chrono::steady_clock::now() < deadline) {
      if (SendToViewer(line)) return true;
      QThread::msleep(50);
    }
  }
  Viewer().pid = 0;
  qint64 pid = 0;
  const std::string program = HelpViewerProgram();
  QProcess process;
  process.setProgram(QString::fromStdString(program));
  process.setArguments({QStringLiteral("--server"), QString::fromStdString(HelpViewerServerName()),
                        QString::fromStdString(page)});
  // The viewer outlives the request; it must not hold the host's output open.
  process.setStandardOutputFile(QProcess::nullDevice());
  process.setStandardErrorFile(QProcess::nullDevice());
  if (!process.startDetached(&pid)) {
    Report(__LINE__, "DisplayHelpInViewer() failed to spawn HTML Help Viewer command line '" +
                         program + " " + page + "'.");
    return false;
  }
  Viewer().pid = static_cast<pid_t>(pid);
  return true;
}

void CloseHelpViewer() {
  std::lock_guard<std::mutex> guard(Viewer().lock);
  if (Running(Viewer().pid)) SendToViewer("quit");
  Viewer().pid = 0;
}

}  // namespace lumeray
