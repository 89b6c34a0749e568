#include "color/display_profiles.h"

#include <lcms2.h>

#include <QGuiApplication>
#include <QScreen>
#include <QThread>
#include <QWidget>
#include <array>
#include <cerrno>
#include <mutex>
#include <vector>

#include "color/color_management.h"
#include "color/color_reports.h"
#include "color/profile_sources.h"
#include "color/x11_monitor_profile.h"

namespace lumeray {
namespace {

constexpr int kPrimaryMonitor = 0;

struct DisplayProfileEntry {
  MonitorHandle monitor;
  ProfileHandle profile;
};

struct DisplayProfileCache {
  std::mutex lock;
  std::array<DisplayProfileEntry, kDisplayProfileCacheSize> entries{};
};

// The preview window and the monitor last found for a window on the Qt GUI thread.
struct DisplayWindowRecord {
  std::mutex lock;
  platform::WindowHandle displayWindow = 0;
  platform::WindowHandle lastWindow = 0;
  MonitorHandle lastMonitor = nullptr;
};

DisplayProfileCache displayProfileCache;
DisplayWindowRecord displayWindowRecord;

QGuiApplication* GuiApplication() {
  return qobject_cast<QGuiApplication*>(QCoreApplication::instance());
}

// Opens the monitor's profile from its X11 property; null after reporting.
ProfileHandle OpenMonitorProfile(MonitorHandle monitor) {
  std::vector<uint8_t> bytes;
  switch (ReadMonitorProfileBytes(MonitorNumber(monitor), &bytes)) {
    case MonitorProfileStatus::kNoDisplay:
      ReportColorSystemFailure(__LINE__,
                               "Could not get a device context for the specified monitor.", errno);
      return nullptr;
    case MonitorProfileStatus::kNoProfile:
      return nullptr;
    case MonitorProfileStatus::kFound:
      break;
  }
  // Little CMS copies the bytes of a profile it opens from memory.
  errno = 0;
  cmsHPROFILE profile =
      cmsOpenProfileFromMem(bytes.data(), static_cast<cmsUInt32Number>(bytes.size()));
  if (profile != nullptr && !IsUsableImageProfile(profile)) {
    cmsCloseProfile(profile);
    profile = nullptr;
  }
  if (profile == nullptr) {
    ReportColorSystemFailure(__LINE__, "Could not open monitor color profile.", errno);
  }
  return profile;
}

}  // namespace

void SetDisplayWindow(platform::WindowHandle window) {
  {
    std::lock_guard lock(displayWindowRecord.lock);
    displayWindowRecord.displayWindow = window;
  }
  MonitorNearestWindow(window);  // records the window's monitor while on the GUI thread
}

platform::WindowHandle DisplayWindow() {
  std::lock_guard lock(displayWindowRecord.lock);
  return displayWindowRecord.displayWindow;
}

MonitorHandle MonitorNearestWindow(platform::WindowHandle window) {
  QGuiApplication* application = GuiApplication();
  if (application == nullptr) return MonitorOfNumber(kPrimaryMonitor);
  if (QThread::currentThread() != application->thread()) {
    std::lock_guard lock(displayWindowRecord.lock);
    if (window != 0 && window == displayWindowRecord.lastWindow) {
      return displayWindowRecord.lastMonitor;
    }
    return MonitorOfNumber(kPrimaryMonitor);
  }

  const QList<QScreen*> screens = QGuiApplication::screens();
  if (screens.isEmpty()) return nullptr;
  QScreen* screen = nullptr;
  if (auto* widget = static_cast<QWidget*>(platform::NativeWidget(window))) {
    screen = widget->screen();
  }
  if (screen == nullptr) screen = QGuiApplication::primaryScreen();
  const qsizetype index = screens.indexOf(screen);
  const MonitorHandle monitor =
      MonitorOfNumber(index > 0 ? static_cast<int>(index) : kPrimaryMonitor);

  std::lock_guard lock(displayWindowRecord.lock);
  displayWindowRecord.lastWindow = window;
  displayWindowRecord.lastMonitor = monitor;
  return monitor;
}

MonitorHandle MonitorOfNumber(int number) {
  return reinterpret_cast<MonitorHandle>(static_cast<intptr_t>(number) + 1);
}

int MonitorNumber(MonitorHandle monitor) {
  return static_cast<int>(reinterpret_cast<intptr_t>(monitor) - 1);
}

ProfileHandle GetDisplayProfile(ProfileHandle standard) {
  const MonitorHandle monitor = MonitorNearestWindow(DisplayWindow());
  if (monitor == nullptr) {
    ReportColorSystemFailure(__LINE__, "Could not get a handle for the current monitor.", errno);
    return standard;
  }
  return GetDisplayProfileOfMonitor(monitor, standard);
}

ProfileHandle GetDisplayProfileOfMonitor(MonitorHandle monitor, ProfileHandle standard) {
  if (monitor == nullptr) return standard;
  std::lock_guard lock(displayProfileCache.lock);
  for (const DisplayProfileEntry& entry : displayProfileCache.entries) {
    if (entry.monitor == monitor && entry.profile != nullptr) return entry.profile;
  }

  ProfileHandle profile = OpenMonitorProfile(monitor);
  if (profile == nullptr) {
    ReportColorFailure(__LINE__, "Could not get a display color profile for the current monitor.");
    return standard;
  }
  for (DisplayProfileEntry& entry : displayProfileCache.entries) {
    if (entry.monitor == nullptr) {
      entry = {monitor, profile};
      return profile;
    }
  }
  ReportColorFailure(__LINE__, "The display profile cache is full.");
  cmsCloseProfile(profile);
  return standard;
}

void ReleaseDisplayProfiles() {
  std::lock_guard lock(displayProfileCache.lock);
  for (DisplayProfileEntry& entry : displayProfileCache.entries) {
    if (entry.profile != nullptr) cmsCloseProfile(entry.profile);
    entry = DisplayProfileEntry{};
  }
}

}  // namespace lumeray
