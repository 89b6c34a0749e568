#include "gl/gl_context.h"

#include <EGL/eglext.h>
#include <GL/glew.h>

#include <algorithm>
#include <cstdarg>
#include <cstdlib>
#include <cstring>

#include "diagnostics/debug_log.h"
#include "diagnostics/log_text.h"
#include "diagnostics/message_report.h"
#include "gl/glew_records.h"

// Last: Xlib's macros (None, Bool, Status) would clash with the headers above.
#include <X11/Xlib.h>

namespace lumeray {
namespace {

constexpr int32_t kHiddenSize = 16;

void Report(uint32_t line, uint32_t code, const char* format, ...)
    __attribute__((format(printf, 3, 4)));
void Report(uint32_t line, uint32_t code, const char* format, ...) {
  va_list arguments;
  va_start(arguments, format);
  const std::string text = FormatTextV(format, arguments);
  va_end(arguments);
  MessageReport(line, kMessageSystemError, code)
      .Report(kIconError, kTitleDebugUnexpectedErrorDash, "%s", text.c_str());
}

unsigned Hex(const void* handle) {
  return static_cast<unsigned>(reinterpret_cast<uintptr_t>(handle));
}

bool IsSoftwareRenderer(const std::string& renderer) {
  for (const char* name : {"llvmpipe", "softpipe", "swrast"}) {
    if (renderer.find(name) != std::string::npos) return true;
  }
  return false;
}

EGLint Attribute(EGLDisplay display, EGLConfig config, EGLint name) {
  EGLint value = 0;
  eglGetConfigAttrib(display, config, name, &value);
  return value;
}

// The renderer string of the display, read through a throw-away context; the caller's current
// context is restored.
std::string ProbeRenderer(EGLDisplay display, EGLConfig config) {
  const EGLDisplay oldDisplay = eglGetCurrentDisplay();
  const EGLContext oldContext = eglGetCurrentContext();
  const EGLSurface oldDraw = eglGetCurrentSurface(EGL_DRAW);
  const EGLSurface oldRead = eglGetCurrentSurface(EGL_READ);
  std::string renderer;
  eglBindAPI(EGL_OPENGL_API);
  const EGLContext probe = eglCreateContext(display, config, EGL_NO_CONTEXT, nullptr);
  const EGLint size[] = {EGL_WIDTH, 1, EGL_HEIGHT, 1, EGL_NONE};
  EGLSurface surface = EGL_NO_SURFACE;
  if (Attribute(display, config, EGL_SURFACE_TYPE) & EGL_PBUFFER_BIT) {
    surface = eglCreatePbufferSurface(display, config, size);
  }
  if (probe != EGL_NO_CONTEXT && eglMakeCurrent(display, surface, surface, probe)) {
    const GLubyte* text = glGetString(GL_RENDERER);
    if (text != nullptr) renderer = reinterpret_cast<const char*>(text);
  }
  eglMakeCurrent(display, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
  if (surface != EGL_NO_SURFACE) eglDestroySurface(display, surface);
  if (probe != EGL_NO_CONTEXT) eglDestroyContext(display, probe);
  if (oldContext != EGL_NO_CONTEXT) eglMakeCurrent(oldDisplay, oldDraw, oldRead, oldContext);
  return renderer;
}

// Makes the EGL context and current surface; the messages name the routine.
struct CreationTexts {
  const char* pixelFormat;
  const char* context;
  const char* current;
};

bool FinishContext(OpenGLContext* context, const ImageRect& rect, const PixelFormat& format,
                   EGLSurface surface, const CreationTexts& texts) {
  if (surface == EGL_NO_SURFACE) {
    Report(__LINE__, eglGetError(), "%s", texts.pixelFormat);
    return false;
  }
  context->surface = surface;
  eglBindAPI(EGL_OPENGL_API);
  context->context = eglCreateContext(format.display, format.config, EGL_NO_CONTEXT, nullptr);
  if (context->context == EGL_NO_CONTEXT) {
    Report(__LINE__, eglGetError(), "%s", texts.context);
    return false;
  }
  if (!eglMakeCurrent(format.display, surface, surface, context->context)) {
    Report(__LINE__, eglGetError(), "%s", texts.current);
    return false;
  }
  if (!CreateGLEWContext()) return false;
  TakeGLError();
  SetGLSize(rect);
  if (const uint32_t error = TakeGLError()) {
    OpenGLMessageReport(__LINE__, kMessageOpenGLError, error)
        .Report(kIconError, kTitleDebugUnexpectedErrorDash,
                "CreateScreenContext() - Failed to set OpenGL viewport.");
    return false;
  }
  context->accelerated = format.accelerated;
  context->bitmapRect = {0, 0, rect.right - rect.left, rect.bottom - rect.top};
  context->width = context->bitmapRect.right;
  context->height = context->bitmapRect.bottom;
  LogEntry(kLogLevelNormal, "%s", ImplementationReport(context->context).c_str());
  return true;
}

// Releases what a failed creation made, leaving the record empty.
void Unwind(OpenGLContext* context) {
  if (context->context != EGL_NO_CONTEXT) {
    if (eglGetCurrentContext() == context->context) {
      eglMakeCurrent(context->display, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
    }
    if (HasGlewRecord(context->context)) DeleteGLEWContext(context->context);
    eglDestroyContext(context->display, context->context);
  }
  if (context->surface != EGL_NO_SURFACE) eglDestroySurface(context->display, context->surface);
  *context = OpenGLContext{};
}

bool MakeBitmapContext(OpenGLContext* context, const ImageRect& rect, const PixelFormat& format,
                       ScreenBitmap* bitmap, const CreationTexts& texts) {
  *context = OpenGLContext{};
  if (format.display == EGL_NO_DISPLAY || format.config == nullptr) {
    Report(__LINE__, 0, "%s", texts.pixelFormat);
    return false;
  }
  const EGLint width = std::max(1, rect.right - rect.left);
  const EGLint height = std::max(1, rect.bottom - rect.top);
  context->display = format.display;
  const EGLint size[] = {EGL_WIDTH, width, EGL_HEIGHT, height, EGL_NONE};
  const EGLSurface surface = eglCreatePbufferSurface(format.display, format.config, size);
  if (!FinishContext(context, rect, format, surface, texts)) {
    Unwind(context);
    return false;
  }
  context->type = kContextBitmap;
  context->bitmap = bitmap != nullptr ? bitmap : &context->ownBitmap;
  context->bitmap->Resize(width, height);
  return true;
}

}  // namespace

void ScreenBitmap::Resize(int32_t newWidth, int32_t newHeight) {
  width = std::max(0, newWidth);
  height = std::max(0, newHeight);
  bits.assign(static_cast<size_t>(width) * height * 4, 0);
}

EGLDisplay OpenEglDisplay(void* nativeDisplay) {
  const char* clientExtensions = eglQueryString(EGL_NO_DISPLAY, EGL_EXTENSIONS);
  const std::string extensions = clientExtensions != nullptr ? clientExtensions : "";
  auto getPlatformDisplay = reinterpret_cast<PFNEGLGETPLATFORMDISPLAYEXTPROC>(
      eglGetProcAddress("eglGetPlatformDisplayEXT"));
  EGLDisplay display = EGL_NO_DISPLAY;
  if (nativeDisplay != nullptr) {
    if (getPlatformDisplay != nullptr &&
        extensions.find("EGL_EXT_platform_x11") != std::string::npos) {
      display = getPlatformDisplay(EGL_PLATFORM_X11_EXT, nativeDisplay, nullptr);
    }
  } else if (getPlatformDisplay != nullptr) {
    if (extensions.find("EGL_MESA_platform_surfaceless") != std::string::npos) {
      display = getPlatformDisplay(EGL_PLATFORM_SURFACELESS_MESA, EGL_DEFAULT_DISPLAY, nullptr);
    }
  }
  if (display == EGL_NO_DISPLAY && nativeDisplay == nullptr)
    display = eglGetDisplay(EGL_DEFAULT_DISPLAY);
  EGLint major = 0, minor = 0;
  if (display == EGL_NO_DISPLAY || !eglInitialize(display, &major, &minor)) {
    Report(__LINE__, eglGetError(), "OpenEglDisplay() - No EGL display is available.");
    return EGL_NO_DISPLAY;
  }
  return display;
}

PixelFormat SelectPixelFormat(void* nativeDisplay, bool bitmapOnly, const PixelFormatRules& rules) {
  PixelFormat chosen;
  LogEntry(kLogLevelNormal, "Getting number of pixel formats.");
  const EGLDisplay display = OpenEglDisplay(nativeDisplay);
  EGLint count = 0;
  if (display == EGL_NO_DISPLAY || !eglGetConfigs(display, nullptr, 0, &count) || count <= 0 ||
      rules.noConfigs) {
    Report(__LINE__, eglGetError(), "Can't obtain the number of pixel formats available.");
    return chosen;
  }
  std::vector<EGLConfig> configs(static_cast<size_t>(count));
  if (!eglGetConfigs(display, configs.data(), count, &count)) {
    Report(__LINE__, eglGetError(), "Failed while enumerating Device Context 0x%X.", Hex(display));
    return chosen;
  }
  int32_t windowIndex = 0, bitmapIndex = 0;
  for (EGLint i = 0; i < count; ++i) {
    const EGLConfig config = configs[static_cast<size_t>(i)];
    const bool qualifies = (Attribute(display, config, EGL_RENDERABLE_TYPE) & EGL_OPENGL_BIT) &&
                           Attribute(display, config, EGL_COLOR_BUFFER_TYPE) == EGL_RGB_BUFFER &&
                           Attribute(display, config, EGL_BUFFER_SIZE) == 32 &&
                           Attribute(display, config, EGL_RED_SIZE) == 8 &&
                           Attribute(display, config, EGL_GREEN_SIZE) == 8 &&
                           Attribute(display, config, EGL_BLUE_SIZE) == 8 &&
                           Attribute(display, config, EGL_ALPHA_SIZE) == 8;
    if (!qualifies) continue;
    const EGLint surfaces = Attribute(display, config, EGL_SURFACE_TYPE);
    if (windowIndex == 0 && !bitmapOnly && (surfaces & EGL_WINDOW_BIT)) windowIndex = i + 1;
    if (bitmapIndex == 0 && (surfaces & EGL_PBUFFER_BIT)) bitmapIndex = i + 1;
  }
  if (windowIndex != 0 || bitmapIndex != 0) {
    const int32_t probeIndex = bitmapIndex != 0 ? bitmapIndex : windowIndex;
    chosen.renderer = ProbeRenderer(display, configs[static_cast<size_t>(probeIndex - 1)]);
  }
  const bool hardware = !chosen.renderer.empty() && !IsSoftwareRenderer(chosen.renderer);
  if (windowIndex != 0 && (hardware || rules.assumeAccelerated)) {
    chosen.index = windowIndex;
    chosen.accelerated = true;
  } else if (bitmapIndex != 0) {
    chosen.index = bitmapIndex;
    chosen.accelerated = rules.assumeAccelerated && !bitmapOnly;
  }
  if (chosen.index == 0) {
    Report(__LINE__, 0, "Failed to find any match for the requested window pixel format.");
    return chosen;
  }
  chosen.display = display;
  chosen.config = configs[static_cast<size_t>(chosen.index - 1)];
  LogEntry(kLogLevelNormal, "Selected pixel format = %d, GPU Acceleration = %s.", chosen.index,
           chosen.accelerated ? "Yes" : "No");
  return chosen;
}

bool CreateScreenContext(OpenGLContext* context, void* nativeDisplay, unsigned long window,
                         const ImageRect& clientRect, const PixelFormat& format) {
  *context = OpenGLContext{};
  if (nativeDisplay == nullptr || window == 0 || format.display == EGL_NO_DISPLAY) {
    Report(__LINE__, 0, "CreateScreenContext() - Failed to get Proxy Window device context.");
    return false;
  }
  context->display = format.display;
  const EGLSurface surface = eglCreateWindowSurface(
      format.display, format.config, static_cast<EGLNativeWindowType>(window), nullptr);
  const CreationTexts texts = {"CreateScreenContext():  Could not SetPixelFormat for OpenGL use.",
                               "CreateScreenContext() - Failed to create OpenGL context.",
                               "CreateScreenContext() - Failed to make OpenGL context current."};
  if (!FinishContext(context, clientRect, format, surface, texts)) {
    Unwind(context);
    return false;
  }
  context->type = kContextScreen;
  context->window = window;
  context->nativeDisplay = nativeDisplay;
  return true;
}

bool CreateBitmapContext(OpenGLContext* context, const ImageRect& clientRect,
                         const PixelFormat& format, ScreenBitmap* bitmap) {
  return MakeBitmapContext(context, clientRect, format, bitmap,
                           {"CreateBitmapContext():  Could not SetPixelFormat for OpenGL use.",
                            "CreateBitmapContext() - Failed to create OpenGL context.",
                            "CreateBitmapContext() - Failed to make OpenGL context current."});
}

bool CreateBitmapContextWithBitmap(OpenGLContext* context, const ImageRect& clientRect,
                                   const PixelFormat& format) {
  return MakeBitmapContext(
      context, clientRect, format, nullptr,
      {"CreateBitmapContextWithBitmap():  Could not SetPixelFormat for OpenGL use.",
       "CreateBitmapContextWithBitmap() - Failed to create OpenGL context.",
       "CreateBitmapContextWithBitmap() - Failed to make OpenGL context current."});
}

namespace {

// Whether the X display ($DISPLAY) offers a qualifying config that can draw to a window: only a
// window system has such configs. The connection is only used to ask, and closed again.
bool X11HasWindowConfigs() {
  const char* name = std::getenv("DISPLAY");
  if (name == nullptr || *name == '\0') return false;
  Display* x11 = XOpenDisplay(nullptr);
  if (x11 == nullptr) return false;
  bool found = false;
  const EGLDisplay display = OpenEglDisplay(x11);
  if (display != EGL_NO_DISPLAY) {
    const EGLint wanted[] = {EGL_SURFACE_TYPE,
                             EGL_WINDOW_BIT,
                             EGL_RENDERABLE_TYPE,
                             EGL_OPENGL_BIT,
                             EGL_RED_SIZE,
                             8,
                             EGL_GREEN_SIZE,
                             8,
                             EGL_BLUE_SIZE,
                             8,
                             EGL_ALPHA_SIZE,
                             8,
                             EGL_NONE};
    EGLint count = 0;
    found = eglChooseConfig(display, wanted, nullptr, 0, &count) && count > 0;
    // This connection's EGL display is ours alone and must not outlive it.
    eglTerminate(display);
  }
  XCloseDisplay(x11);
  return found;
}

}  // namespace

bool CreateHiddenOpenGLContext(OpenGLContext* context, bool* accelerated,
                               const PixelFormatRules& rules) {
  *context = OpenGLContext{};
  LogEntry(kLogLevelNormal, "SelectPixelFormat()");
  PixelFormat format = SelectPixelFormat(nullptr, !*accelerated, rules);
  if (format.index == 0) {
    Report(__LINE__, 0,
           "CreateHiddenOpenGLContext() - Could not select an acceptable pixel format.");
    return false;
  }
  // Off screen no config draws to a window: a graphics card is recognised by its renderer when
  // the window system offers window configs.
  if (*accelerated && !format.accelerated && !format.renderer.empty() &&
      !IsSoftwareRenderer(format.renderer) && X11HasWindowConfigs()) {
    format.accelerated = true;
  }
  LogEntry(kLogLevelNormal, "CreateBitmapContextWithBitmap()");
  if (!CreateBitmapContextWithBitmap(context, {0, 0, kHiddenSize, kHiddenSize}, format)) {
    Report(__LINE__, 0, "CreateHiddenOpenGLContext() - Could not create an OpenGL context.");
    return false;
  }
  context->accelerated = format.accelerated;
  *accelerated = format.accelerated;
  return true;
}

bool DestroyHiddenOpenGLContext(OpenGLContext* context) {
  if (context == nullptr || context->type == kContextNone) {
    Report(__LINE__, 0, "DestroyHiddenOpenGLContext() - An invalid OpenGL context was specified.");
    return false;
  }
  ReleaseOpenGLContext(context);
  return true;
}

void ReleaseOpenGLContext(OpenGLContext* context) {
  if (context->type == kContextNone) {
    Report(__LINE__, 0, "ReleaseOpenGLContext() - Invalid OpenGLContext specified.");
    return;
  }
  if (context->type != kContextScreen && context->type != kContextBitmap) {
    Report(__LINE__, 0,
           "ReleaseOpenGLContext() - Unrecognized OpenGLContext type specified, Type = %d.",
           context->type);
    return;
  }
  if (eglGetCurrentContext() == context->context &&
      !eglMakeCurrent(context->display, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT)) {
    Report(__LINE__, eglGetError(),
           "ReleaseOpenGLContext() - Failed to release OpenGL rendering context 0x%X.",
           Hex(context->context));
  }
  DeleteGLEWContext(context->context);
  if (!eglDestroyContext(context->display, context->context)) {
    Report(__LINE__, eglGetError(),
           "ReleaseOpenGLContext() - Failed to delete OpenGL context 0x%X.", Hex(context->context));
  }
  if (context->surface != EGL_NO_SURFACE &&
      !eglDestroySurface(context->display, context->surface)) {
    Report(__LINE__, eglGetError(),
           context->type == kContextScreen
               ? "ReleaseOpenGLContext() - Failed to release screen device context 0x%X."
               : "ReleaseOpenGLContext() - Failed to delete bitmap device context 0x%X.",
           Hex(context->surface));
  }
  // The thread's EGL state goes with its last context (another one may still be current).
  if (eglGetCurrentContext() == EGL_NO_CONTEXT) eglReleaseThread();
  *context = OpenGLContext{};
}

bool PresentFrame(OpenGLContext* context) {
  if (context->type == kContextScreen) return eglSwapBuffers(context->display, context->surface);
  if (context->type != kContextBitmap || context->bitmap == nullptr) return false;
  ScreenBitmap& bitmap = *context->bitmap;
  glFinish();
  glPixelStorei(GL_PACK_ALIGNMENT, 4);
  glPixelStorei(GL_PACK_ROW_LENGTH, 0);
  if (GLEW_VERSION_2_1) glBindBuffer(GL_PIXEL_PACK_BUFFER, 0);
  glReadBuffer(GL_BACK);
  // OpenGL reads rows bottom-up, the bitmap's own order.
  glReadPixels(0, 0, bitmap.width, bitmap.height, GL_BGRA, GL_UNSIGNED_BYTE, bitmap.bits.data());
  if (const uint32_t error = TakeGLError()) {
    OpenGLMessageReport(__LINE__, kMessageOpenGLError, error)
        .Report(kIconError, kTitleDebugUnexpectedError,
                "PresentFrame() - Failed to read the frame back.");
    return false;
  }
  return true;
}

void SetGLSize(const ImageRect& rect) {
  const int32_t width = rect.right - rect.left;
  const int32_t height = rect.bottom - rect.top;
  glViewport(0, 0, width, height);
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  glOrtho(0.0, width, height, 0.0, -1.0, 1.0);
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
  if (const uint32_t error = glGetError()) {
    OpenGLMessageReport(__LINE__, kMessageOpenGLError, error)
        .Report(kIconError, kTitleDebugUnexpectedError,
                "OpenGL Function Failed in SetGLSize(). Viewport Width = %d, Viewport Height = %d.",
                width, height);
  }
}

std::string ImplementationReport(const void* contextHandle) {
  auto text = [](GLenum name) {
    const GLubyte* value = glGetString(name);
    return std::string(value != nullptr ? reinterpret_cast<const char*>(value) : "");
  };
  const std::string version = text(GL_VERSION);
  const size_t blank = version.find(' ');
  const std::string number = version.substr(0, blank);
  const std::string rest =
      blank == std::string::npos ? std::string() : " (" + version.substr(blank + 1) + ")";
  std::string list;
  if (const GlewRecord* record = glewGetContext()) {
    for (const std::string& extension : record->extensions) list += "          " + extension + "\n";
  }
  return FormatText(
      "OpenGL Implementation for Rendering Context 0x%X\n     OpenGL Version %s %s\n     OpenGL "
      "Vendor '%s'\n     OpenGL Renderer '%s'\n     Available Extensions:\n%s",
      Hex(contextHandle), number.c_str(), rest.c_str(), text(GL_VENDOR).c_str(),
      text(GL_RENDERER).c_str(), list.c_str());
}

uint32_t TakeGLError() {
  uint32_t first = 0;
  for (int guard = 0; guard < 16; ++guard) {
    const GLenum error = glGetError();
    if (error == GL_NO_ERROR) break;
    if (first == 0) first = error;
  }
  return first;
}

}  // namespace lumeray
