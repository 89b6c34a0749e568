#include "preview/proxy_layer.h"

#include <GL/glew.h>

#include <algorithm>
#include <cstring>

#include "effects/effect_renderers.h"
#include "image/gamma_tables.h"
#include "preview/gl_check.h"
#include "preview/preview_run_state.h"

namespace lumeray {
namespace {

constexpr float kBackgroundGrey = 127.0f / 255.0f;
constexpr uint8_t kCheckerGrey = 148;

ImageRect AtOrigin(const int32_t rect[4]) {
  return {0, 0, rect[2] - rect[0], rect[3] - rect[1]};
}

bool SameRect(const ImageRect& a, const ImageRect& b) {
  return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

ImageRect RectOf(const int32_t r[4]) {
  return {r[0], r[1], r[2], r[3]};
}

bool InitializeFixedState() {
  glEnable(GL_BLEND);
  glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
  glMatrixMode(GL_TEXTURE);
  glLoadIdentity();
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
  glPolygonMode(GL_FRONT, GL_FILL);
  glDisable(GL_CULL_FACE);  // quads of any winding: spikes are mirrored by their rotation
  glEnable(GL_TEXTURE_2D);
  glHint(GL_PERSPECTIVE_CORRECTION_HINT, GL_NICEST);
  for (GLenum store : {GL_PACK_SWAP_BYTES, GL_PACK_LSB_FIRST, GL_PACK_ROW_LENGTH, GL_PACK_SKIP_ROWS,
                       GL_PACK_SKIP_PIXELS, GL_UNPACK_SWAP_BYTES, GL_UNPACK_LSB_FIRST,
                       GL_UNPACK_ROW_LENGTH, GL_UNPACK_SKIP_ROWS, GL_UNPACK_SKIP_PIXELS}) {
    glPixelStorei(store, 0);
  }
  glPixelStorei(GL_PACK_ALIGNMENT, 4);
  glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
  for (GLenum cap : {GL_ALPHA_TEST, GL_DEPTH_TEST, GL_DITHER, GL_FOG, GL_LIGHTING,
                     GL_COLOR_LOGIC_OP, GL_STENCIL_TEST}) {
    glDisable(cap);
  }
  return CheckPreviewGL(__LINE__,
                        "OpenGL Function Failed in InitializeScaledProxyLayer(). Failed to "
                        "initialize OpenGL states.");
}

bool MakeCheckerboard(uint32_t* texture) {
  const uint8_t w = 255, g = kCheckerGrey;
  const uint8_t pixels[16] = {w, w, w, 255, g, g, g, 255, g, g, g, 255, w, w, w, 255};
  glGenTextures(1, texture);
  glBindTexture(GL_TEXTURE_2D, *texture);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_REPEAT);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_REPEAT);
  glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
  glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, 2, 2, 0, GL_RGBA, GL_UNSIGNED_BYTE, pixels);
  glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
  glBindTexture(GL_TEXTURE_2D, 0);
  return CheckPreviewGL(__LINE__, "OpenGL Function Failed in InitializeScaledProxyLayer().");
}

// The tiles of a set with the current blend, colour white (the effects layer's screen blend).
void DrawSetTiles(const TextureSet& set) {
  glPushClientAttrib(GL_CLIENT_VERTEX_ARRAY_BIT);
  glColor4f(1.0f, 1.0f, 1.0f, 1.0f);
  glEnable(GL_TEXTURE_2D);
  glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
  glEnableClientState(GL_VERTEX_ARRAY);
  glEnableClientState(GL_TEXTURE_COORD_ARRAY);
  const char* base = reinterpret_cast<const char*>(set.vertices.data());
  if (set.vertexBuffer != 0) {
    glBindBuffer(GL_ARRAY_BUFFER, set.vertexBuffer);
    base = nullptr;
  }
  glTexCoordPointer(2, GL_DOUBLE, sizeof(TextureVertex), base);
  glVertexPointer(2, GL_DOUBLE, sizeof(TextureVertex), base + 2 * sizeof(double));
  for (int32_t i = 0; i < set.tileCount; ++i) {
    glBindTexture(GL_TEXTURE_2D, set.tiles[static_cast<size_t>(i)].texture);
    glDrawArrays(GL_QUADS, i * 4, 4);
  }
  if (set.vertexBuffer != 0) glBindBuffer(GL_ARRAY_BUFFER, 0);
  glBindTexture(GL_TEXTURE_2D, 0);
  glPopClientAttrib();
}

void DrawCheckerboard(uint32_t texture, int32_t width, int32_t height, double zoom) {
  const double s = width / 16.0 * zoom, t = height / 16.0 * zoom;
  glBindTexture(GL_TEXTURE_2D, texture);
  glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_REPLACE);
  glBegin(GL_QUADS);
  glTexCoord2d(0, t), glVertex2d(0, height);
  glTexCoord2d(s, t), glVertex2d(width, height);
  glTexCoord2d(s, 0), glVertex2d(width, 0);
  glTexCoord2d(0, 0), glVertex2d(0, 0);
  glEnd();
  glBindTexture(GL_TEXTURE_2D, 0);
  CheckPreviewGL(__LINE__, "Failed to create checkerboard texture in Proxy Window");
}

void DrawOutline(const ImageRect& r, bool dashed, int factor) {
  glDisable(GL_TEXTURE_2D);
  glBlendFunc(GL_ONE, GL_ZERO);
  const auto outline = [&] {
    glBegin(GL_LINE_LOOP);
    glVertex2d(r.left + 0.5, r.top + 0.5);
    glVertex2d(r.right - 0.5, r.top + 0.5);
    glVertex2d(r.right - 0.5, r.bottom - 0.5);
    glVertex2d(r.left + 0.5, r.bottom - 0.5);
    glEnd();
  };
  glColor4f(0, 0, 0, 1);
  outline();
  if (dashed) {
    glEnable(GL_LINE_STIPPLE);
    glLineStipple(factor, 0xAAAA);
    glColor4f(1, 1, 1, 1);
    outline();
    glDisable(GL_LINE_STIPPLE);
  }
  glEnable(GL_TEXTURE_2D);
}

// Reads the 16-bit linear frame of the bound frame buffer and writes it, gamma encoded, as the
// BGRA bytes of the bitmap (both bottom-up). Read in the buffer's own RGBA order (no swizzle in
// the driver); `encode` maps a 16-bit linear sample to its rounded 8-bit encoded value.
bool ReadEncodedFrame(std::vector<uint16_t>* linear, std::vector<uint8_t>* encode, int32_t width,
                      int32_t height, ScreenBitmap* bitmap) {
  const GammaTableSet gamma = GetGammaTables(kWorkingGamma);
  if (!gamma || bitmap->width != width || bitmap->height != height) return false;
  if (encode->empty()) {
    encode->resize(65536);
    for (size_t v = 0; v < encode->size(); ++v)
      (*encode)[v] = static_cast<uint8_t>((gamma.encode16[v] * 255u + 32767u) / 65535u);
  }
  const size_t samples = static_cast<size_t>(width) * height * 4;
  linear->resize(samples);
  glBindBuffer(GL_PIXEL_PACK_BUFFER, 0);
  glPixelStorei(GL_PACK_ALIGNMENT, 4);
  glPixelStorei(GL_PACK_ROW_LENGTH, 0);
  glReadPixels(0, 0, width, height, GL_RGBA, GL_UNSIGNED_SHORT, linear->data());
  if (!CheckPreviewGL(__LINE__, "PresentFrame() - Failed to read the frame back.")) return false;
  const uint16_t* in = linear->data();
  const uint8_t* table = encode->data();
  uint8_t* out = bitmap->bits.data();
  for (size_t i = 0; i < samples; i += 4) {
    out[i] = table[in[i + 2]];
    out[i + 1] = table[in[i + 1]];
    out[i + 2] = table[in[i]];
    out[i + 3] = static_cast<uint8_t>(in[i + 3] >> 8);
  }
  return true;
}

// How many screen pixels a side one pixel of the reduced flare layer covers: the flare is drawn
// at that fraction of the resolution where it stays smooth over such a pixel (its value halves
// no faster than every two of them); 1: drawn at full resolution.
int FlareReduction(const EffectFamilies& effects, double zoom, int most) {
  return std::clamp(static_cast<int>(FlareHalfDistance(effects) * zoom / 2.0), 1,
                    std::max(most, 1));
}

// Draws the soft flare into the reduced layer (its texture and frame buffer made or grown as
// needed) and that layer, linearly magnified, over the display rectangle of the current frame
// buffer with the current blend. The model-view maps image pixels to the view.
bool DrawReducedFlare(ProxyLayer* layer, const ImageRect& display, int32_t scrollX, int32_t scrollY,
                      double zoom, int factor) {
  const int32_t width = (display.right - display.left + factor - 1) / factor;
  const int32_t height = (display.bottom - display.top + factor - 1) / factor;
  GLint frame = 0, viewport[4];
  glGetIntegerv(GL_FRAMEBUFFER_BINDING, &frame);
  glGetIntegerv(GL_VIEWPORT, viewport);
  if (layer->flareTexture == 0) {
    glGenTextures(1, &layer->flareTexture);
    glGenFramebuffers(1, &layer->flareFrameBuffer);
  }
  glBindTexture(GL_TEXTURE_2D, layer->flareTexture);
  if (layer->flareSize[0] != width || layer->flareSize[1] != height) {
    glTexImage2D(GL_TEXTURE_2D, 0,
                 static_cast<GLint>(layer->session->drawing.precisionFormat.internalFormat), width,
                 height, 0, GL_RGBA, GL_UNSIGNED_SHORT, nullptr);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    layer->flareSize[0] = width;
    layer->flareSize[1] = height;
  }
  glBindTexture(GL_TEXTURE_2D, 0);
  glBindFramebuffer(GL_FRAMEBUFFER, layer->flareFrameBuffer);
  glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, layer->flareTexture,
                         0);
  bool ok = glCheckFramebufferStatus(GL_FRAMEBUFFER) == GL_FRAMEBUFFER_COMPLETE;
  glPushAttrib(GL_COLOR_BUFFER_BIT | GL_SCISSOR_BIT | GL_VIEWPORT_BIT);
  if (ok) {
    glDisable(GL_SCISSOR_TEST);
    glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
    glClearColor(0, 0, 0, 0);
    glClear(GL_COLOR_BUFFER_BIT);
    glViewport(0, 0, width, height);
    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    glLoadIdentity();
    glOrtho(0.0, width, height, 0.0, -1.0, 1.0);
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    glLoadIdentity();
    glScaled(1.0 / factor, 1.0 / factor, 1.0);
    glTranslated(-scrollX, -scrollY, 0.0);
    glScaled(zoom, zoom, 1.0);
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
    DrawEffectFamily(layer->effects, kSoftFlare);
    glPopMatrix();
    glMatrixMode(GL_PROJECTION);
    glPopMatrix();
    glMatrixMode(GL_MODELVIEW);
  }
  glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, 0, 0);
  glBindFramebuffer(GL_FRAMEBUFFER, static_cast<GLuint>(frame));
  glPopAttrib();
  glViewport(viewport[0], viewport[1], viewport[2], viewport[3]);
  if (!ok) return CheckPreviewGL(__LINE__, "Failed to draw the reduced soft flare.") && false;
  // The layer's top row is its last texture row (drawn with y downwards).
  const double right = display.left + double(width) * factor;
  const double bottom = display.top + double(height) * factor;
  glPushMatrix();
  glLoadIdentity();
  glColor4f(1, 1, 1, 1);
  glBindTexture(GL_TEXTURE_2D, layer->flareTexture);
  glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_REPLACE);
  glBegin(GL_QUADS);
  glTexCoord2d(0, 0), glVertex2d(display.left, bottom);
  glTexCoord2d(1, 0), glVertex2d(right, bottom);
  glTexCoord2d(1, 1), glVertex2d(right, display.top);
  glTexCoord2d(0, 1), glVertex2d(display.left, display.top);
  glEnd();
  glBindTexture(GL_TEXTURE_2D, 0);
  glPopMatrix();
  return CheckPreviewGL(__LINE__, "Failed to draw the reduced soft flare.");
}

// The soft flare of a 16-bit frame: reduced where it is smooth enough, else as it is.
bool DrawSoftFlare(ProxyLayer* layer, const ImageRect& display, int32_t scrollX, int32_t scrollY,
                   double zoom) {
  layer->flareReduction = FlareReduction(layer->effects, zoom, layer->mostFlareReduction);
  if (layer->flareReduction > 1)
    return DrawReducedFlare(layer, display, scrollX, scrollY, zoom, layer->flareReduction);
  DrawEffectFamily(layer->effects, kSoftFlare);
  return true;
}

bool Stopped(const ProxyLayer& layer) {
  return layer.abort != nullptr && layer.abort->load(std::memory_order_relaxed);
}

}  // namespace

bool HostProxyImageSource(void* context, ImageRecord* image, ProxyScale* scale) {
  auto* pyramid = static_cast<HostProxyPyramid*>(context);
  if (pyramid == nullptr) return false;
  if (!HostProxyImageRendered(*pyramid) && !BuildHostProxyImage(*pyramid, HostProxyBuildOptions{}))
    return false;
  return GetHostProxyImageInfo(*pyramid, image, scale);
}

bool InitializeScaledProxyLayer(ProxyLayer* layer, GlSession* session, const ImageRect& imageBounds,
                                HostImageSource source, void* sourceContext) {
  layer->session = session;
  layer->imageBounds = imageBounds;
  layer->source = source;
  layer->sourceContext = sourceContext;
  glClearColor(kBackgroundGrey, kBackgroundGrey, kBackgroundGrey, 1.0f);
  if (!InitializeFixedState()) return false;
  const TextureEngine& engine = session->engine;
  layer->shaderGamma =
      session->drawing.useShaderProgram && session->shader.type != SHADER_TYPE_NONE;
  layer->compositeSet.gammaOnProcessor =
      !layer->shaderGamma && session->context.type == kContextScreen;
  layer->precise = session->drawing.precisionFormat.internalFormat != 0;
  TextureSet& composite = layer->compositeSet;
  if (layer->precise) composite.gammaOnProcessor = !layer->shaderGamma;
  if (!CreateTextureSetResources(engine, kHostImageSet, &layer->hostSet) ||
      !CreateTextureSetResources(engine, kEffectsSet, &layer->effectsSet) ||
      !CreateTextureSetResources(engine, kCompositeSet, &composite)) {
    return false;
  }
  if (layer->precise) {
    layer->effectsSet.precise = composite.precise = true;
    if (composite.frameBuffer == 0) {
      glGenFramebuffers(1, &composite.frameBuffer);
      glGenRenderbuffers(1, &composite.renderBuffer);
    }
    if (!CheckPreviewGL(__LINE__, "OpenGL Function Failed in InitializeScaledProxyLayer().")) {
      return false;
    }
  }
  if (!MakeCheckerboard(&layer->checkerboard)) return false;
  if (!InitializeFilterEffects(&layer->effects, &session->engine)) return false;
  layer->ready = true;
  return true;
}

void DestroyScaledProxyLayer(ProxyLayer* layer) {
  if (layer->session == nullptr) return;
  DestroyFilterEffects(&layer->effects);
  if (layer->checkerboard != 0) glDeleteTextures(1, &layer->checkerboard);
  layer->checkerboard = 0;
  if (layer->flareTexture != 0) {
    glDeleteTextures(1, &layer->flareTexture);
    glDeleteFramebuffers(1, &layer->flareFrameBuffer);
  }
  layer->flareTexture = layer->flareFrameBuffer = 0;
  layer->flareSize[0] = layer->flareSize[1] = 0;
  DestroyTextureSet(&layer->hostSet);
  DestroyTextureSet(&layer->effectsSet);
  DestroyTextureSet(&layer->compositeSet);
  CheckPreviewGL(__LINE__, "OpenGL Function Failed in DestroyScaledProxyLayer().");
  layer->ready = false;
  layer->session = nullptr;
}

uint32_t UpdateScaledProxyState(ProxyLayer* layer, const ParameterSetBuffer& s) {
  uint32_t bits = 0;
  const ParameterSetBuffer& p = layer->last;
  if (!layer->hasLast || !SameEffectFields(p, s) || p.view.monitor != s.view.monitor ||
      p.view.lightSourceGeneration != s.view.lightSourceGeneration) {
    bits |= kEffectsChanged;
  }
  if (!layer->hasLast || p.view.monitor != s.view.monitor) bits |= kHostImageChanged;
  ProxyState next;
  next.zoom = s.view.zoom;
  next.scroll[0] = s.view.scrollPosition[0];
  next.scroll[1] = s.view.scrollPosition[1];
  next.previewRect = RectOf(s.view.previewRect);
  next.toolRect = RectOf(s.view.toolRect);
  next.effectsOnly = s.parameters.EffectsOnly;
  next.previewEnabled = s.view.previewEnabled != 0;
  next.focused = (s.view.previewWindowState & 1) != 0;
  const ProxyState& old = layer->state;
  if (!layer->hasLast || old.zoom != next.zoom || old.scroll[0] != next.scroll[0] ||
      old.scroll[1] != next.scroll[1] || !SameRect(old.previewRect, next.previewRect) ||
      old.effectsOnly != next.effectsOnly || old.previewEnabled != next.previewEnabled) {
    bits |= kViewChanged;
  }
  if (bits & (kHostImageChanged | kViewChanged)) layer->hostDirty = true;
  if (bits & (kEffectsChanged | kViewChanged)) layer->effectsDirty = true;
  if (bits != 0) layer->displayDirty = true;
  layer->state = next;
  layer->last = s;
  layer->hasLast = true;
  return bits;
}

bool CreateHostImageTextureSet(ProxyLayer* layer, const ImageRect& rect, int32_t offsetX,
                               int32_t offsetY, double zoom) {
  CheckPreviewGL(__LINE__, "Error on entry into CreateHostImageTextureSet()");
  ImageRecord image;
  ProxyScale scale{zoom, zoom};
  if (layer->source == nullptr || !layer->source(layer->sourceContext, &image, &scale))
    return false;
  layer->hostSet.scaled = true;
  ++layer->counters.hostImageFills;
  return CreateTextureSetFromImage(layer->session->engine, rect, &layer->hostSet, image, scale.x,
                                   scale.y, offsetX, offsetY, zoom);
}

bool CreateEffectsTextureSet(ProxyLayer* layer, const ImageRect& rect, int32_t offsetX,
                             int32_t offsetY, double zoom, const ParameterSetBuffer& snapshot) {
  TextureSet& set = layer->effectsSet;
  const int32_t width = rect.right - rect.left, height = rect.bottom - rect.top;
  if (set.frameBuffer == 0 || width <= 0 || height <= 0) return false;
  if (!AttachFBOWithRenderBuffer(layer->session->engine, &set, width, height)) return false;
  ++layer->counters.effectsFills;
  GLint viewport[4];
  glGetIntegerv(GL_VIEWPORT, viewport);
  glPushAttrib(GL_COLOR_BUFFER_BIT | GL_CURRENT_BIT | GL_ENABLE_BIT | GL_SCISSOR_BIT);
  glDisable(GL_SCISSOR_TEST);
  SetGLSize({0, 0, width, height});
  glClearColor(0, 0, 0, 0);
  glClear(GL_COLOR_BUFFER_BIT);
  glTranslated(-offsetX, -offsetY, 0.0);
  glScaled(zoom, zoom, 1.0);
  glColor4f(1, 1, 1, 1);
  glEnable(GL_BLEND);
  glBlendFunc(GL_ONE, GL_ONE_MINUS_SRC_COLOR);
  glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
  const ImageRect view{static_cast<int32_t>(offsetX / zoom), static_cast<int32_t>(offsetY / zoom),
                       static_cast<int32_t>((offsetX + width) / zoom) + 1,
                       static_cast<int32_t>((offsetY + height) / zoom) + 1};
  bool ok = !Stopped(*layer) &&
            RenderEffects(&layer->effects, snapshot, view, layer->abort, !layer->precise);
  if (ok && layer->precise)
    ok = DrawSoftFlare(layer, {0, 0, width, height}, offsetX, offsetY, zoom);
  glPopAttrib();
  glClearColor(kBackgroundGrey, kBackgroundGrey, kBackgroundGrey, 1.0f);
  ok = CheckPreviewGL(__LINE__, "Failed during rendering of Effects.") && ok;
  if (ok) {
    ok = CreateTextureSetFromFramebuffer(layer->session->engine, {0, 0, width, height}, height,
                                         &set);
    if (!ok) CheckPreviewGL(__LINE__, "Failed during creation of Effects texture.");
  }
  DetachFBO(&set);
  SetGLSize({0, 0, viewport[2], viewport[3]});
  return CheckPreviewGL(__LINE__, "Generation of Effects texture failed.") && ok;
}

bool DisplayScaledProxy(ProxyLayer* layer, const ParameterSetBuffer& snapshot) {
  if (!layer->ready) return false;
  GlSession& session = *layer->session;
  UpdateScaledProxyState(layer, snapshot);
  const ProxyState& state = layer->state;
  const ImageRect client = AtOrigin(snapshot.view.previewRect);
  const int32_t width = client.right, height = client.bottom;
  if (width <= 0 || height <= 0) return false;
  SetGLSize(client);
  const double zoom = state.zoom / 100.0;
  const ImageRect display = GetProxyDisplayRectangle(client, layer->imageBounds, state.zoom);
  const ImageRect displaySize{0, 0, display.right - display.left, display.bottom - display.top};

  if (layer->hostDirty) {
    if (CreateHostImageTextureSet(layer, displaySize, state.scroll[0], state.scroll[1], zoom)) {
      layer->hostDirty = false;
    }
  }
  const bool throughSet = layer->effectsSet.frameBuffer != 0;
  if (!layer->hostDirty && layer->effectsDirty && state.previewEnabled && throughSet) {
    if (CreateEffectsTextureSet(layer, displaySize, state.scroll[0], state.scroll[1], zoom,
                                snapshot)) {
      layer->effectsDirty = false;
    }
  }
  if (Stopped(*layer)) return false;

  // Composed in 16 bits where it can be (the drawable is 8-bit), else in the drawable.
  TextureSet& composite = layer->compositeSet;
  const bool precise =
      layer->precise && AttachFBOWithRenderBuffer(session.engine, &composite, width, height);
  glDisable(GL_SCISSOR_TEST);
  glClearColor(kBackgroundGrey, kBackgroundGrey, kBackgroundGrey, 1.0f);
  glClear(GL_COLOR_BUFFER_BIT);
  glLoadIdentity();
  if (!CheckPreviewGL(__LINE__, "Failed to initialize Proxy Window display.")) return false;
  glEnable(GL_SCISSOR_TEST);
  glScissor(display.left, height - display.bottom, display.right - display.left,
            display.bottom - display.top);
  if (!CheckPreviewGL(__LINE__, "Failed to initiate scissor clipping.")) return false;

  // The composite, in image coordinates.
  bool ok = true;
  glPushMatrix();
  glTranslated(display.left - state.scroll[0], display.top - state.scroll[1], 0.0);
  glScaled(zoom, zoom, 1.0);
  const bool effectsOnly = state.effectsOnly != 0 && state.previewEnabled;
  if (effectsOnly) {
    glClearColor(0, 0, 0, 0);
    glClear(GL_COLOR_BUFFER_BIT);
    glColorMask(GL_FALSE, GL_FALSE, GL_FALSE, GL_TRUE);
  }
  if (!layer->hostDirty) ok = DrawImageTextureSet(session.engine, &layer->hostSet, false);
  glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_FALSE);
  if (state.previewEnabled) {
    glEnable(GL_BLEND);
    glBlendFunc(GL_ONE, GL_ONE_MINUS_SRC_COLOR);
    if (throughSet) {
      if (!layer->effectsDirty) {
        glPushMatrix();
        glLoadIdentity();
        glTranslated(display.left, display.top, 0.0);
        DrawSetTiles(layer->effectsSet);
        glPopMatrix();
      }
    } else {
      glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
      const ImageRect view{static_cast<int32_t>(state.scroll[0] / zoom),
                           static_cast<int32_t>(state.scroll[1] / zoom),
                           static_cast<int32_t>((state.scroll[0] + displaySize.right) / zoom) + 1,
                           static_cast<int32_t>((state.scroll[1] + displaySize.bottom) / zoom) + 1};
      ++layer->counters.effectsFills;
      // In a 16-bit frame the flare's faint tail covers far more pixels than the spikes; where
      // it is smooth enough it is drawn at a reduced resolution and magnified.
      if (RenderEffects(&layer->effects, snapshot, view, layer->abort, !precise)) {
        layer->effectsDirty = false;
        if (precise)
          ok = DrawSoftFlare(layer, display, state.scroll[0], state.scroll[1], zoom) && ok;
      } else {
        ok = false;
      }
    }
  }
  // Over an opaque host image every pixel already has full alpha: the pass would change nothing.
  if (effectsOnly || layer->hostDirty || !layer->hostSet.opaque) {
    glEnable(GL_BLEND);
    glBlendFunc(GL_ONE_MINUS_DST_ALPHA, GL_DST_ALPHA);
    DrawCheckerboard(layer->checkerboard, layer->imageBounds.right - layer->imageBounds.left,
                     layer->imageBounds.bottom - layer->imageBounds.top, zoom);
    ++layer->counters.checkerboards;
  }
  glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
  glPopMatrix();
  glDisable(GL_SCISSOR_TEST);
  glClearColor(kBackgroundGrey, kBackgroundGrey, kBackgroundGrey, 1.0f);
  ok = CheckPreviewGL(__LINE__, "Failed to draw composite image.") && ok;

  // The display gamma over the composed picture. A 16-bit picture for a bitmap context without
  // shader is read and encoded straight into the screen bitmap, after its rectangles.
  const bool bitmap = session.context.type == kContextBitmap;
  const bool direct = precise && bitmap && !layer->shaderGamma && session.context.bitmap != nullptr;
  if (!direct && (layer->shaderGamma || !bitmap || precise)) {
    const bool read = CreateTextureSetFromFramebuffer(session.engine, display, height, &composite);
    if (precise) {
      DetachFBO(&composite);
      glClear(GL_COLOR_BUFFER_BIT);
    }
    if (read) {
      glLoadIdentity();
      ok = DrawImageTextureSet(session.engine, &composite, layer->shaderGamma) && ok;
    } else {
      ok = false;
    }
    ok = CheckPreviewGL(
             __LINE__,
             "RenderScaledProxyDisplay() - OpenGL function failure in gamma correction.") &&
         ok;
  }

  // Selection and focus rectangles over the finished picture.
  const ImageRect& tool = state.toolRect;
  if (tool.right > tool.left && tool.bottom > tool.top) {
    const ImageRect shown{std::max(tool.left, display.left), std::max(tool.top, display.top),
                          std::min(tool.right, display.right),
                          std::min(tool.bottom, display.bottom)};
    if (shown.right > shown.left && shown.bottom > shown.top) DrawOutline(shown, true, 4);
  }
  DrawOutline({display.left - 1, display.top - 1, display.right + 1, display.bottom + 1},
              state.focused, 2);
  glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
  if (direct) {
    ok = ReadEncodedFrame(&layer->readBack, &layer->encode8, width, height,
                          session.context.bitmap) &&
         ok;
    DetachFBO(&composite);
    if (Stopped(*layer)) return false;
    layer->displayDirty = false;
    ++layer->counters.frames;
    return ok;
  }
  if (Stopped(*layer)) return false;

  if (!PresentFrame(&session.context)) return false;
  if (bitmap && !layer->shaderGamma && !precise && session.context.bitmap != nullptr) {
    ScreenBitmap& bitmap = *session.context.bitmap;
    ApplyDisplayGamma(bitmap.bits.data(), GL_UNSIGNED_BYTE,
                      static_cast<uint64_t>(bitmap.width) * bitmap.height,
                      session.engine.halfTables.get());
  }
  layer->displayDirty = false;
  ++layer->counters.frames;
  return ok;
}

}  // namespace lumeray
