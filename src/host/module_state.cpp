#include "host/module_state.h"

#include "analysis/worker_threads.h"
#include "diagnostics/debug_log.h"
#include "diagnostics/message_report.h"
#include "host/filter_run.h"
#include "host/host_globals.h"
#include "host/progress.h"
#include "image/buffer.h"
#include "image/pixel_tables.h"
#include "periphery/help_viewer.h"
#include "platform/thread.h"
#include "preview/host_proxy_image.h"
#include "ui/user_data_folders.h"

namespace lumeray {
namespace {

bool gModuleStateInitialized = false;

bool RunResultIsSet() {
  return RunResult() != 0;
}

}  // namespace

void InitializeModuleState(platform::WindowHandle owner) {
  SetUiThread(platform::CurrentThreadId());
  InitializeMessageReporting(kProductName, owner);
  InitializeUserDataFolders();
  SetDebugLogDirectory(UserLogFolder());
  OpenDebugLog(kLoggingThreaded);
  CreateBufferUsageSection();
  BeginFilterRun();
  // Workers stop when the run result is set (a failure, or the user's cancel).
  SetCancellationPoll(RunResultIsSet);
  gModuleStateInitialized = true;
}

void TerminateModuleState() {
  CloseHelpViewer();
  // The pixel conversion tables outlive a run's Start but not the module state, so that every
  // log ends with the usage of a module that holds nothing.
  if (FilterRunActive()) ReleaseHostProxyImage(ActiveFilterRun().preview.pyramid);
  ReleaseFixedTables();
  EndFilterRun();
  ReportBufferUsage();
  DeleteBufferUsageSection();
  CloseDebugLog();
  TerminateMessageReporting();
  gModuleStateInitialized = false;
}

bool ModuleStateInitialized() {
  return gModuleStateInitialized;
}

}  // namespace lumeray
