// GLEW records: what was learnt about each rendering context's OpenGL implementation, one record
// per live context in a table of kGlewRecordCapacity entries.
//
// GLEW itself keeps one set of entry points for the process; under EGL they are the same for
// every context (the dispatch goes through the current context), so glewInit runs once, under
// the table's lock, and its GLEW_ERROR_NO_GLX_DISPLAY outcome counts as success once the
// OpenGL 1.1 entry points are known. The record keeps its own context's version and extension
// list, so callers never read GLEW's process-wide flags.
//
// Threading contract: any thread; the table is guarded by one lock, held only to claim, find or
// free an entry (never while OpenGL is called, except for the one glewInit). A record is only
// read by the thread whose context it describes, while that context lives.
#pragma once

#include <EGL/egl.h>

#include <set>
#include <string>

namespace lumeray {

constexpr int kGlewRecordCapacity = 4;

struct GlewRecord {
  int major = 0;
  int minor = 0;
  std::set<std::string> extensions;

  bool Version(int wantedMajor, int wantedMinor) const {
    return major > wantedMajor || (major == wantedMajor && minor >= wantedMinor);
  }
  bool Has(const char* extension) const { return extensions.count(extension) != 0; }
};

// Makes the record of the current context (reported failures: no current context, one exists
// already, the table is full, GLEW could not be initialised).
bool CreateGLEWContext();
// Frees the record of `context` (reported when there is none).
void DeleteGLEWContext(EGLContext context);
// The record of the current context, or null (reported).
const GlewRecord* glewGetContext();
// Live records (tests).
int GlewRecordCount();
// Whether `context` has a record (silent).
bool HasGlewRecord(EGLContext context);

// Splits "major.minor..." at the start of an OpenGL version string; false when it has no such
// prefix.
bool ParseGLVersion(const char* text, int* major, int* minor);

}  // namespace lumeray
