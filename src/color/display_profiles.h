// Display profiles: the colour space of the monitor that shows the preview window.
//
// Monitors are named by MonitorHandle, an opaque non-null value per monitor (monitor number
// + 1; number 0 is the primary monitor, and the only one known without a Qt GUI application).
// The monitor of a window is the Qt screen its widget is on; off the Qt GUI thread, where Qt's
// windows may not be asked, it is the monitor last found for that window on the GUI thread.
//
// The DisplayProfileCache keeps one open profile per monitor for the run (kDisplayProfileCacheSize
// entries). A monitor's profile is read from X11 (x11_monitor_profile.h); a monitor without a
// usable profile, and every failure, gives StandardProfile, which is never stored. When the
// cache is full a new monitor also gets StandardProfile ("The display profile cache is full.").
// ReleaseDisplayProfiles closes the profiles and forgets the monitors, so that every run starts
// with an empty cache.
//
// The cache and the display window are module-wide (not part of run/run_state.h); the cache is
// emptied at each run's end.
//
// Threading contract: SetDisplayWindow on the UI thread; GetDisplayProfile and
// GetDisplayProfileOfMonitor from any thread given the run's standard profile, on the UI thread
// with the default (the run in progress's; the cache has its own lock);
// ReleaseDisplayProfiles must not overlap any use of a display profile.
#pragma once

#include "color/color_management.h"
#include "image/image_record.h"
#include "platform/window.h"

namespace lumeray {

using MonitorHandle = void*;

constexpr int kDisplayProfileCacheSize = 16;

// The preview window, recorded when the preview task starts.
void SetDisplayWindow(platform::WindowHandle window);
platform::WindowHandle DisplayWindow();

// The monitor nearest to `window`; null when there are screens to ask but none is found.
MonitorHandle MonitorNearestWindow(platform::WindowHandle window);
MonitorHandle MonitorOfNumber(int number);
int MonitorNumber(MonitorHandle monitor);

// The profile of the monitor nearest to the DisplayWindow. Never null once colour management
// is set up: every failure gives `standard` (the run's StandardProfile).
ProfileHandle GetDisplayProfile(ProfileHandle standard = StandardProfile());
// The same for a given monitor.
ProfileHandle GetDisplayProfileOfMonitor(MonitorHandle monitor,
                                         ProfileHandle standard = StandardProfile());

// Closes every cached display profile and empties the cache.
void ReleaseDisplayProfiles();

}  // namespace lumeray
