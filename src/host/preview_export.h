// The module's diagnostic preview entry: after Prepare, runs the light source analysis of the
// host's image and draws one preview frame of it, as the dialog's preview would show it, in a
// bitmap context without a window; the frame (32-bit BGRA, rows bottom-up, the display gamma
// applied) goes to a sink instead of filtering. Also the start hook of the preview engine.
//
// Threading contract: the host's UI thread, like every selector.
#pragma once

#include <cstdint>

namespace lumeray {

inline constexpr const char* kRenderPreviewEntryName = "LumerayRenderPreview";

// What the frame shows: the client size, the zoom in percent and the image point at the
// frame's centre (negative: the image's centre).
struct PreviewFrameRequest {
  int32_t width;
  int32_t height;
  double zoom;
  double centerX;
  double centerY;
};

using PreviewFrameSink = void (*)(void* context, int32_t width, int32_t height,
                                  const uint8_t* bgraBottomUp);
using RenderPreviewProc = void (*)(void* record, intptr_t* data, int16_t* result,
                                   const PreviewFrameRequest* request, PreviewFrameSink sink,
                                   void* context);

void RenderPreviewEntry(void* record, intptr_t* data, int16_t* result,
                        const PreviewFrameRequest* request, PreviewFrameSink sink, void* context);

// At the module's start (its first call): reads the drawing option (reporting a stored value
// that cannot be read) and logs the primary graphics adapter.
void StartPreviewEngine();

}  // namespace lumeray
