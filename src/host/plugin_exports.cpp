// The entries the module exports to its host. Everything else of the module is hidden.
#include "dialog/dialog_procedures.h"
#include "gl/install_configuration.h"
#include "host/module_state.h"
#include "host/options_entry.h"
#include "host/plugin_entry.h"
#include "host/preview_export.h"
#include "interface/filter_interface.h"

extern "C" __attribute__((visibility("default"))) void PluginMain(int16_t selector, void* record,
                                                                  intptr_t* data, int16_t* result) {
  const bool starting = !lumeray::ModuleStateInitialized();
  lumeray::PluginMainEntry(selector, record, data, result);
  // The preview engine starts with the module (its debug log is open by now).
  if (starting && lumeray::ModuleStateInitialized()) lumeray::StartPreviewEngine();
}

// A diagnostic entry of the module: after Prepare, runs the light source analysis of the
// host's image and hands the light source table to `sink`, line by line, instead of filtering.
extern "C" __attribute__((visibility("default"))) void LumerayTraceLightSources(
    void* record, intptr_t* data, int16_t* result, void (*sink)(void*, const char*),
    void* context) {
  lumeray::TraceLightSourcesEntry(record, data, result, sink, context);
}

// The installer's entry (window, instance, command line = the product version, show state):
// configures the preview's drawing option for this machine. Returns the option stored, 0 when
// none could be.
extern "C" __attribute__((visibility("default"))) int InstallConfiguration(void*, void*,
                                                                           const char* commandLine,
                                                                           int) {
  return lumeray::InstallConfigurationEntry(commandLine);
}

// The dialog procedure of the main dialog, for a window the module made.
extern "C" __attribute__((visibility("default"))) intptr_t LumerayProc(intptr_t window,
                                                                       uint32_t message,
                                                                       uintptr_t wParam,
                                                                       intptr_t lParam) {
  return lumeray::dialog::LumerayProcedure(window, message, wParam, lParam);
}

// The dialog procedure of the diagnostic light source listing.
extern "C" __attribute__((visibility("default"))) intptr_t DisplayLightSourceTableProc(
    intptr_t window, uint32_t message, uintptr_t wParam, intptr_t lParam) {
  return lumeray::dialog::LightSourceTableProcedure(window, message, wParam, lParam);
}

// A diagnostic entry of the module: after Prepare, runs the light source analysis and draws one
// preview frame of the host's image, as the dialog would show it, into `sink` (BGRA, bottom-up).
extern "C" __attribute__((visibility("default"))) void LumerayRenderPreview(
    void* record, intptr_t* data, int16_t* result, const lumeray::PreviewFrameRequest* request,
    lumeray::PreviewFrameSink sink, void* context) {
  lumeray::RenderPreviewEntry(record, data, result, request, sink, context);
}

// The options dialog without a host (a start-menu shortcut, the editor's `lumeray options`).
// Returns 1 when the dialog was shown (or an open one brought forward), 0 when it could not be.
extern "C" __attribute__((visibility("default"))) int ConfigureOptions(intptr_t owner) {
  return lumeray::ConfigureOptionsEntry(owner) ? 1 : 0;
}
