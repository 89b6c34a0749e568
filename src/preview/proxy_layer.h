// The scaled proxy layer: the preview's frame composer. From a snapshot (zoom, scroll position,
// preview rectangle, tool rectangle, the effect parameters) it composes one frame:
//
//   1. a grey background (127/255) over the client rectangle;
//   2. inside the display rectangle (view_model.h): the host image, scaled from the proxy
//      pyramid level that suits the zoom (blend one/zero; with Effects Only only its alpha);
//   3. the effects layer added on top with a screen blend (one / one minus source colour),
//      through the effects texture set when frame buffer objects are usable, else drawn
//      straight into the frame; in a 16-bit frame the soft flare (whose faint tail covers
//      most of the effect pixels) goes into a layer of 1/f the resolution, magnified
//      linearly, f (at most 4) chosen so that the flare's value halves no faster than over
//      two layer pixels;
//   4. a checkerboard (white and grey 148, 8 screen pixels a square) where the picture is
//      transparent (one minus destination alpha / destination alpha); skipped when the host
//      image's visible part is opaque and drawn with its colours (it would change nothing);
//   5. the display gamma 1/2.2: the composed picture is read into the composite texture set and
//      drawn again through the proxy shader; without a shader, a bitmap context's read-back
//      screen bitmap is encoded on the processor, and a screen context's composite set is
//      encoded on the processor as it is read. Where the drawing settings found a precision
//      format, steps 2 to 4 go into the composite set's 16-bit frame buffer object instead of
//      the 8-bit drawable (a faint flare's linear 1/255 would show as 20/255 after the gamma),
//      and the composite set, encoded by the shader or on the processor, is drawn into the
//      drawable;
//   6. the selection rectangle (a pending Hide/Show drag) and the focus rectangle.
//
// Layers are rebuilt only when out of date: the host image on a view change, the effects on an
// effect or view change (UpdateScaledProxyState gives the bits). Counters record the rebuilds.
// Everything is drawn in view pixels with y downwards; the host image and the effects are
// placed by translate(display origin - scroll) and scale(zoom / 100).
//
// Threading contract: a layer belongs to the drawing thread whose session it was started on;
// the abort flag (set by another thread) is only read.
#pragma once

#include <atomic>
#include <cstdint>
#include <vector>

#include "effects/parameter_set_buffer.h"
#include "gl/gl_session.h"
#include "preview/effect_quads.h"
#include "preview/host_proxy_image.h"
#include "preview/view_model.h"

namespace lumeray {

// Hands out the host image for a scale (image pixels per source pixel): a pyramid level and its
// scale. HostProxyImageSource reads the run's HostProxyImage, building it first when it is not
// rendered.
using HostImageSource = bool (*)(void* context, ImageRecord* image, ProxyScale* scale);

enum ProxyChange : uint32_t {
  kHostImageChanged = 1u << 0,
  kEffectsChanged = 1u << 1,
  kViewChanged = 1u << 2,
};

struct ProxyState {
  double zoom = 0.0;
  int32_t scroll[2] = {0, 0};
  ImageRect previewRect{};
  ImageRect toolRect{};
  int16_t effectsOnly = 0;
  bool previewEnabled = false;
  bool focused = false;
};

struct ProxyCounters {
  uint64_t frames = 0;
  uint64_t hostImageFills = 0;
  uint64_t effectsFills = 0;
  uint64_t checkerboards = 0;  // frames that needed the checkerboard pass
};

struct ProxyLayer {
  GlSession* session = nullptr;
  ImageRect imageBounds{};  // the host image's rectangle
  HostImageSource source = nullptr;
  void* sourceContext = nullptr;
  const std::atomic<bool>* abort = nullptr;  // the task's abort flag

  TextureSet hostSet;
  TextureSet effectsSet;
  TextureSet compositeSet;         // the composed picture, drawn again through the gamma shader
  bool shaderGamma = false;        // the proxy shader applies the display gamma
  bool precise = false;            // composed in the composite set's 16-bit frame buffer object
  std::vector<uint16_t> readBack;  // a 16-bit frame read for a bitmap context
  std::vector<uint8_t> encode8;    // its display gamma: 16-bit linear -> 8-bit encoded
  uint32_t checkerboard = 0;
  uint32_t flareTexture = 0;  // the soft flare at a reduced resolution, and its frame buffer
  uint32_t flareFrameBuffer = 0;
  int32_t flareSize[2] = {0, 0};
  int mostFlareReduction = 4;  // the coarsest flare layer allowed (1: always full resolution)
  int flareReduction = 1;      // of the last frame: screen pixels a side per flare layer pixel
  EffectFamilies effects;
  ParameterSetBuffer last{};
  bool hasLast = false;
  ProxyState state;
  bool hostDirty = true;
  bool effectsDirty = true;
  bool displayDirty = true;
  bool ready = false;
  ProxyCounters counters;
};

// With the session's context current. Without a `source` the layer shows no host image.
bool InitializeScaledProxyLayer(ProxyLayer* layer, GlSession* session, const ImageRect& imageBounds,
                                HostImageSource source, void* sourceContext);
void DestroyScaledProxyLayer(ProxyLayer* layer);

uint32_t UpdateScaledProxyState(ProxyLayer* layer, const ParameterSetBuffer& snapshot);

// Composes one frame into the session's back buffer and, with a bitmap context, reads it back
// into the screen bitmap with the display gamma applied. False when cancelled or failed.
bool DisplayScaledProxy(ProxyLayer* layer, const ParameterSetBuffer& snapshot);

bool CreateHostImageTextureSet(ProxyLayer* layer, const ImageRect& rect, int32_t offsetX,
                               int32_t offsetY, double zoom);
// Draws the effects into the effects set's frame buffer object (at the rectangle's size) and
// fills the set from it. False without a frame buffer object, when stopped or failed.
bool CreateEffectsTextureSet(ProxyLayer* layer, const ImageRect& rect, int32_t offsetX,
                             int32_t offsetY, double zoom, const ParameterSetBuffer& snapshot);

// The host image source that reads the HostProxyImage: `context` is the run's HostProxyPyramid.
bool HostProxyImageSource(void* context, ImageRecord* image, ProxyScale* scale);

}  // namespace lumeray
