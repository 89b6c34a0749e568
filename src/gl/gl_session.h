// One drawing thread's OpenGL engine: its context, drawing settings, shader and the shared
// state of its texture sets, started and ended together in the order the parts need:
// pixel format, context (bitmap unless an accelerated format was found and a window given),
// drawing settings, proxy shader, half-float tables.
//
// Threading contract: a session is started, used and ended on one thread, and stays where it was
// started (its shader state points into itself).
#pragma once

#include "gl/drawing_settings.h"
#include "gl/gl_context.h"
#include "gl/shader_programs.h"
#include "gl/texture_set.h"

namespace lumeray {

struct GlSessionRequest {
  ImageRect clientRect{0, 0, 16, 16};
  void* nativeDisplay = nullptr;  // X11 Display* and window for a screen context, else null
  unsigned long window = 0;
  ScreenBitmap* bitmap = nullptr;  // where a bitmap context draws (null: a bitmap of its own)
  PixelFormatRules rules;
  DrawingLimits limits;
};

struct GlSession {
  OpenGLContext context;
  OpenGLSettings settings;
  DrawingSettings drawing;
  ShaderState shader;
  TextureEngine engine;
};

// `settings` holds the drawing option in use (option 0 is replaced by the default and stored).
// False (everything released, reported) when no context can be made or no texture format is
// usable; the message "Could not set pixel format for OpenGL operations." when no pixel format.
bool StartGlSession(GlSession* session, const GlSessionRequest& request,
                    const OpenGLSettings& settings);
void EndGlSession(GlSession* session);

}  // namespace lumeray
