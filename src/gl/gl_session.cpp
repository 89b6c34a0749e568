#include "gl/gl_session.h"

#include "diagnostics/message_report.h"

namespace lumeray {

bool StartGlSession(GlSession* session, const GlSessionRequest& request,
                    const OpenGLSettings& settings) {
  session->settings = settings;
  const bool bitmapOnly = settings.option == OPTIMIZE_NONE;
  const void* display = request.window != 0 ? request.nativeDisplay : nullptr;
  const PixelFormat format =
      SelectPixelFormat(const_cast<void*>(display), bitmapOnly, request.rules);
  if (format.index == 0) {
    MessageReport(__LINE__, kMessageUser)
        .Report(kIconError, kTitleErrorExiting,
                "Could not set pixel format for OpenGL operations.");
    return false;
  }
  const bool made =
      format.accelerated && request.window != 0
          ? CreateScreenContext(&session->context, request.nativeDisplay, request.window,
                                request.clientRect, format)
          : CreateBitmapContext(&session->context, request.clientRect, format, request.bitmap);
  if (!made) return false;
  if (!InitializeOpenGLDrawingSettings(&session->drawing, &session->settings, session->context,
                                       request.limits)) {
    ReleaseOpenGLContext(&session->context);
    return false;
  }
  session->engine.drawing = &session->drawing;
  session->engine.shader = &session->shader;
  InitializeProxyShader(&session->shader, session->drawing);
  session->engine.halfTables = BuildHalfFloatTables();
  return true;
}

void EndGlSession(GlSession* session) {
  if (session->context.type == kContextNone) return;
  DestroyAllShaderPrograms(&session->shader);
  ReleaseOpenGLContext(&session->context);
  session->engine = TextureEngine{};
}

}  // namespace lumeray
