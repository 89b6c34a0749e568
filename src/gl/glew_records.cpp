#include "gl/glew_records.h"

#include <GL/glew.h>

#include <cstdio>
#include <memory>
#include <mutex>

#include "diagnostics/message_report.h"

namespace lumeray {
namespace {

struct GlewEntry {
  EGLContext context = EGL_NO_CONTEXT;
  std::unique_ptr<GlewRecord> record;
};

struct GlewTable {
  std::mutex lock;
  GlewEntry entries[kGlewRecordCapacity];
  bool initialised = false;
  GLenum initResult = GLEW_OK;
};

GlewTable& Table() {
  static GlewTable table;
  return table;
}

void ReportDebug(uint32_t line, const char* text, const void* handle = nullptr) {
  MessageReport(line, kMessageDebug)
      .Report(kIconError, kTitleDebugUnexpectedErrorDash, text,
              static_cast<unsigned>(reinterpret_cast<uintptr_t>(handle)));
}

// What the current context says about itself.
void ReadImplementation(GlewRecord* record) {
  ParseGLVersion(reinterpret_cast<const char*>(glGetString(GL_VERSION)), &record->major,
                 &record->minor);
  GLint count = 0;
  if (record->major >= 3 && glGetStringi != nullptr) {
    glGetIntegerv(GL_NUM_EXTENSIONS, &count);
    for (GLint i = 0; i < count; ++i) {
      const GLubyte* name = glGetStringi(GL_EXTENSIONS, static_cast<GLuint>(i));
      if (name != nullptr) record->extensions.insert(reinterpret_cast<const char*>(name));
    }
  } else if (const GLubyte* all = glGetString(GL_EXTENSIONS)) {
    std::string text(reinterpret_cast<const char*>(all));
    size_t start = 0;
    while (start < text.size()) {
      size_t end = text.find(' ', start);
      if (end == std::string::npos) end = text.size();
      if (end > start) record->extensions.insert(text.substr(start, end - start));
      start = end + 1;
    }
  }
  while (glGetError() != GL_NO_ERROR) {
  }
}

}  // namespace

bool ParseGLVersion(const char* text, int* major, int* minor) {
  int a = 0, b = 0;
  if (text == nullptr || std::sscanf(text, "%d.%d", &a, &b) != 2) return false;
  *major = a;
  *minor = b;
  return true;
}

bool CreateGLEWContext() {
  const EGLContext current = eglGetCurrentContext();
  if (current == EGL_NO_CONTEXT) {
    ReportDebug(__LINE__,
                "CreateGLEWContext() - Failed to obtain OpenGL rendering context from current "
                "context.");
    return false;
  }
  GlewTable& table = Table();
  GlewEntry* free = nullptr;
  {
    std::lock_guard<std::mutex> hold(table.lock);
    for (GlewEntry& entry : table.entries) {
      if (entry.context == current) {
        ReportDebug(__LINE__,
                    "CreateGLEWContext() - A GLEW context for OpenGL rendering context 0x%X "
                    "already exists.",
                    current);
        return false;
      }
      if (free == nullptr && entry.context == EGL_NO_CONTEXT) free = &entry;
    }
    if (free == nullptr) {
      ReportDebug(__LINE__, "CreateGLEWContext() - The GLEW context descriptor array is full.");
      return false;
    }
    if (!table.initialised) {
      glewExperimental = GL_TRUE;
      table.initResult = glewInit();
      table.initialised = true;
    }
    // Under EGL GLEW cannot reach a GLX display, but it has loaded the OpenGL entry points.
    const bool loaded = table.initResult == GLEW_OK ||
                        (table.initResult == GLEW_ERROR_NO_GLX_DISPLAY && GLEW_VERSION_1_1);
    if (!loaded) {
      MessageReport(__LINE__, kMessageDebug)
          .Report(kIconError, kTitleDebugUnexpectedErrorDash,
                  "CreateGLEWContext() - The GLEW context could not be initialized. Error = '%s'.",
                  reinterpret_cast<const char*>(glewGetErrorString(table.initResult)));
      table.initialised = false;
      return false;
    }
    free->context = current;  // claimed; filled below without the lock
  }
  auto record = std::make_unique<GlewRecord>();
  ReadImplementation(record.get());
  std::lock_guard<std::mutex> hold(table.lock);
  free->record = std::move(record);
  return true;
}

void DeleteGLEWContext(EGLContext context) {
  GlewTable& table = Table();
  std::lock_guard<std::mutex> hold(table.lock);
  for (GlewEntry& entry : table.entries) {
    if (context != EGL_NO_CONTEXT && entry.context == context) {
      entry.record.reset();
      entry.context = EGL_NO_CONTEXT;
      return;
    }
  }
  ReportDebug(__LINE__,
              "DeleteGLEWContext() - Failed to obtain GLEW context for OpenGL rendering context "
              "0x%X.",
              context);
}

const GlewRecord* glewGetContext() {
  const EGLContext current = eglGetCurrentContext();
  if (current == EGL_NO_CONTEXT) {
    ReportDebug(__LINE__,
                "glewGetContext() - Failed to obtain OpenGL rendering context from current "
                "context.");
    return nullptr;
  }
  GlewTable& table = Table();
  std::lock_guard<std::mutex> hold(table.lock);
  for (GlewEntry& entry : table.entries) {
    if (entry.context == current) return entry.record.get();
  }
  ReportDebug(__LINE__,
              "glewGetContext() - Failed to find GLEW context descriptor for OpenGL current "
              "context 0x%X.",
              current);
  return nullptr;
}

int GlewRecordCount() {
  GlewTable& table = Table();
  std::lock_guard<std::mutex> hold(table.lock);
  int count = 0;
  for (const GlewEntry& entry : table.entries) count += entry.context != EGL_NO_CONTEXT;
  return count;
}

bool HasGlewRecord(EGLContext context) {
  GlewTable& table = Table();
  std::lock_guard<std::mutex> hold(table.lock);
  for (const GlewEntry& entry : table.entries) {
    if (context != EGL_NO_CONTEXT && entry.context == context) return true;
  }
  return false;
}

}  // namespace lumeray
