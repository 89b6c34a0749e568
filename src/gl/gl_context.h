// OpenGL rendering contexts on EGL: the screen context (an EGL window surface on an X11 native
// window, presented by a buffer swap), the bitmap context (an EGL pbuffer whose finished frame
// is read back into a 32-bit BGRA bottom-up screen bitmap) and the hidden context (a 16 x 16
// pbuffer used only to ask the driver what it can do).
//
// Pixel formats are EGL configs. A config qualifies when it renders desktop OpenGL and is RGBA
// with 8 bits in each of red, green, blue and alpha (32 bits: 10-10-10-2 configs would lose the
// alpha the screen bitmap keeps). It counts as accelerated when it can draw to a window
// and the renderer behind the display is not a software rasteriser (llvmpipe, softpipe,
// swrast); the first accelerated config wins unless bitmap drawing is asked for, else the first
// pbuffer config. A PixelFormatRules record may declare every config accelerated, so
// that every drawing path can be exercised on a software rasteriser.
//
// Every creation routine leaves the new context current on the calling thread, registers its
// GLEW record (glew_records.h) and writes the implementation report to the debug log. A failed
// creation releases everything it made and leaves the record of type kContextNone. Failures
// are reported (title "Debug - Unexpected Error") and returned as false / kContextNone; nothing
// here throws or aborts.
//
// Threading contract: a context is made, used and released on one thread. Records are plain
// values owned by their thread; the screen bitmap is written only by PresentFrame on the
// drawing thread (its reader must synchronise with that thread itself).
#pragma once

#include <EGL/egl.h>

#include <cstdint>
#include <string>
#include <vector>

#include "image/image_record.h"

namespace lumeray {

enum ContextType : int32_t { kContextNone = 0, kContextScreen = 1, kContextBitmap = 2 };

// A 32-bit BGRA bitmap with rows bottom-up (row 0 is the bottom of the picture).
struct ScreenBitmap {
  int32_t width = 0;
  int32_t height = 0;
  std::vector<uint8_t> bits;  // width * height * 4 bytes

  void Resize(int32_t newWidth, int32_t newHeight);
  // The BGRA bytes of the pixel at (x, y) counted from the top left.
  const uint8_t* PixelFromTop(int32_t x, int32_t y) const {
    return bits.data() + (static_cast<size_t>(height - 1 - y) * width + x) * 4;
  }
};

struct PixelFormatRules {
  // Count every qualifying config as accelerated (a software rasteriser, a display without
  // windows), so that the accelerated drawing paths run on any machine.
  bool assumeAccelerated = false;
  // Offer no config at all, as on a machine without OpenGL (the failure paths of the preview).
  bool noConfigs = false;
};

// The chosen pixel format: an EGL config of an initialised display.
struct PixelFormat {
  EGLDisplay display = EGL_NO_DISPLAY;
  EGLConfig config = nullptr;
  int32_t index = 0;  // 1-based position among the display's configs, 0 when none
  bool accelerated = false;
  std::string renderer;  // the renderer string seen while choosing
};

struct OpenGLContext {
  int32_t type = kContextNone;
  unsigned long window = 0;       // X11 window of a screen context
  void* nativeDisplay = nullptr;  // X11 Display* of a screen context
  EGLDisplay display = EGL_NO_DISPLAY;
  EGLSurface surface = EGL_NO_SURFACE;
  EGLContext context = EGL_NO_CONTEXT;
  bool accelerated = false;
  ScreenBitmap* bitmap = nullptr;  // the bitmap frames are read into (type 2)
  ScreenBitmap ownBitmap;          // used when the context has a bitmap of its own
  ImageRect bitmapRect{};
  int32_t width = 0;
  int32_t height = 0;
};

// The EGL display of an X11 Display* (nativeDisplay), or of no window system at all (null):
// the surfaceless platform, else the device platform, else the default display. Initialised;
// EGL_NO_DISPLAY (reported) when none can be had.
EGLDisplay OpenEglDisplay(void* nativeDisplay);

// Chooses the pixel format among the display's configs (see above); index 0 when none.
// nativeDisplay null chooses for off-screen drawing.
PixelFormat SelectPixelFormat(void* nativeDisplay, bool bitmapOnly, const PixelFormatRules& rules);

bool CreateScreenContext(OpenGLContext* context, void* nativeDisplay, unsigned long window,
                         const ImageRect& clientRect, const PixelFormat& format);
// Draws into `bitmap` (resized to the rectangle), which the caller keeps alive.
bool CreateBitmapContext(OpenGLContext* context, const ImageRect& clientRect,
                         const PixelFormat& format, ScreenBitmap* bitmap);
bool CreateBitmapContextWithBitmap(OpenGLContext* context, const ImageRect& clientRect,
                                   const PixelFormat& format);
// A 16 x 16 bitmap context with its own bitmap, off screen. Asked for acceleration (*accelerated
// true), a hardware renderer counts as accelerated when the X display ($DISPLAY) offers window
// configs. *accelerated says what was found.
bool CreateHiddenOpenGLContext(OpenGLContext* context, bool* accelerated,
                               const PixelFormatRules& rules);
bool DestroyHiddenOpenGLContext(OpenGLContext* context);
void ReleaseOpenGLContext(OpenGLContext* context);

// Finishes the frame: a buffer swap for a screen context, a read-back into the bitmap for a
// bitmap context.
bool PresentFrame(OpenGLContext* context);

// Viewport and an orthographic projection of one unit per pixel with y growing downwards.
void SetGLSize(const ImageRect& rect);

// The implementation report text of the current context (also written to the log at creation).
std::string ImplementationReport(const void* contextHandle);

// The first OpenGL error pending (0 when none); all pending errors are taken.
uint32_t TakeGLError();

}  // namespace lumeray
