// The preview's check of the OpenGL error state: a pending error is reported with its code
// (title "Debug:  Unexpected Error" unless given) and answered with false.
//
// Threading contract: the drawing thread, with its context current.
#pragma once

#include <cstdint>

#include "diagnostics/message_report.h"
#include "gl/gl_context.h"

namespace lumeray {

inline bool CheckPreviewGL(uint32_t line, const char* text,
                           const char* title = kTitleDebugUnexpectedError) {
  const uint32_t error = TakeGLError();
  if (error == 0) return true;
  OpenGLMessageReport(line, kMessageOpenGLError, error).Report(kIconError, title, "%s", text);
  return false;
}

}  // namespace lumeray
