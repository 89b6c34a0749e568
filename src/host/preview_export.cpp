#include "host/preview_export.h"

#include <memory>

#include "analysis/master_light_source_table.h"
#include "diagnostics/message_report.h"
#include "effects/parameter_set_buffer.h"
#include "host/filter_run.h"
#include "host/host_globals.h"
#include "host/plugin_entry.h"
#include "interface/filter_interface.h"
#include "preview/proxy_layer.h"
#include "run/input_image.h"

namespace lumeray {
namespace {

struct FrameJob {
  const PreviewFrameRequest* request;
  PreviewFrameSink sink;
  void* context;
  bool done = false;
};

bool DrawFrame(const FrameJob& job) {
  const PreviewFrameRequest& r = *job.request;
  OpenGLSettings settings;
  LoadOpenGLDrawingSettings(&settings);
  auto session = std::make_unique<GlSession>();
  GlSessionRequest request;
  request.clientRect = {0, 0, r.width, r.height};
  if (!StartGlSession(session.get(), request, settings)) return false;
  ProxyLayer layer;
  bool ok = InitializeScaledProxyLayer(&layer, session.get(), InputImage().bounds,
                                       &HostProxyImageSource, &ActiveFilterRun().preview.pyramid);
  layer.effects.analysis = &ActiveFilterRun().analysis;
  if (ok) {
    PreviewView view;
    view.zoom = r.zoom;
    view.client = {0, 0, r.width, r.height};
    view.image = InputImage().bounds;
    const ImageRect& b = view.image;
    CenterOn(&view, r.centerX >= 0 ? r.centerX : (b.left + b.right) / 2.0,
             r.centerY >= 0 ? r.centerY : (b.top + b.bottom) / 2.0);
    PreviewViewState state{};
    state.previewRect[2] = r.width;
    state.previewRect[3] = r.height;
    state.zoom = r.zoom;
    state.scrollPosition[0] = view.scrollX;
    state.scrollPosition[1] = view.scrollY;
    state.previewEnabled = 1;
    state.lightSourceGeneration = ActiveFilterRun().analysis.master.generation.load();
    ok = DisplayScaledProxy(&layer, MakePreviewSnapshot(CurrentParameters(), state));
    const ScreenBitmap& frame = *session->context.bitmap;
    if (ok) job.sink(job.context, frame.width, frame.height, frame.bits.data());
  }
  DestroyScaledProxyLayer(&layer);
  EndGlSession(session.get());
  return ok;
}

// Called with the first line of the light source listing, while the run's state (the
// InputImage, the master table, colour management) is alive.
void OnAnalysed(void* context, const char*) {
  auto* job = static_cast<FrameJob*>(context);
  if (job->done) return;
  job->done = true;
  if (!DrawFrame(*job)) SetRunResult(kParamErr);
}

}  // namespace

void RenderPreviewEntry(void* record, intptr_t* data, int16_t* result,
                        const PreviewFrameRequest* request, PreviewFrameSink sink, void* context) {
  const bool valid = request != nullptr && sink != nullptr && request->width > 2 &&
                     request->height > 2 && request->width <= 16384 && request->height <= 16384 &&
                     request->zoom >= 1.0 && request->zoom <= 1600.0;
  if (!valid) {
    if (result != nullptr) *result = kParamErr;
    return;
  }
  FrameJob job{request, sink, context};
  TraceLightSourcesEntry(record, data, result, &OnAnalysed, &job);
  if (result != nullptr && *result == kNoErr && !job.done) *result = kParamErr;
}

void StartPreviewEngine() {
  OpenGLSettings settings;
  LoadOpenGLDrawingSettings(&settings);
  ReportPrimaryGPU();
}

}  // namespace lumeray
