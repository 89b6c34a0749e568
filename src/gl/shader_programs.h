// The preview's shader program: it turns the linear-light image into the display's gamma while
// drawing. The interface is chosen once per drawing thread: OpenGL 2.0 GLSL entry points, the ARB
// shader-object extensions, or none (drawing option 3 or 4, a software pixel format, a driver
// without shaders, or DrawingLimits::noShader). With none, no program exists and every call here
// answers as if no program were active.
//
// Programs are listed as ShaderProgram records (one per interface and GLSL version range, all
// carrying the name callers use); AddShaderProgram selects the first record that suits the
// interface and the driver's GLSL version. Name 1 is the proxy program.
//
// Threading contract: a ShaderState belongs to the drawing thread that owns the current context.
#pragma once

#include <cstdint>
#include <vector>

#include "gl/drawing_settings.h"

namespace lumeray {

enum ShaderType : int32_t { SHADER_TYPE_NONE = 0, SHADER_TYPE_GLSL = 1, SHADER_TYPE_ARB = 2 };
constexpr int32_t kProxyProgram = 1;

struct GLSLVersion {
  int32_t major = -1;
  int32_t minor = -1;
  int32_t release = -1;
};

struct ShaderSource {
  uint32_t shaderType;  // GL_VERTEX_SHADER or GL_FRAGMENT_SHADER
  const char* source;
  int32_t sourceCount;
  uint32_t glslShader;
  uint32_t arbShader;
};

struct ShaderProgram {
  int32_t programName;
  int32_t extensionType;
  GLSLVersion minimum;
  GLSLVersion maximum;
  ShaderSource* vertex[2];
  ShaderSource* fragment[2];
  uint32_t glslProgram;
  uint32_t arbProgram;
  bool created;
  int32_t versionNumber;
};

struct ShaderState {
  int32_t type = SHADER_TYPE_NONE;
  uint32_t mask = 0;  // bit 0 vertex, bit 1 fragment shaders usable
  GLSLVersion version;
  std::vector<std::pair<ShaderProgram*, int>> lists;
  std::vector<ShaderProgram*> selected;  // by program name; entry 0 unused
  ShaderProgram* active = nullptr;
  // The proxy program's records and sources, owned here so that two drawing threads never share.
  ShaderSource proxySources[2];
  ShaderProgram proxyPrograms[2];
};

// Parses a shading language version string ("%d.%d.%d " with 2 or 3 fields); a version 1.51 is
// taken as 1.0. False when the text does not parse.
bool ParseGLSLVersion(const char* text, GLSLVersion* version);
// Whether `record`'s version range admits the supported version.
bool VersionSuits(const ShaderProgram& record, const GLSLVersion& supported);

bool SelectShaderExtension(ShaderState* state, const DrawingSettings& drawing);
bool GetSupportedGLSLVersion(ShaderState* state);
bool AddShaderProgram(ShaderState* state, ShaderProgram* list, int count);
bool CreateShaderProgram(ShaderState* state);
bool MakeShaderProgramActive(ShaderState* state, int32_t name);
bool SetProxyShaderGamma(ShaderState* state, float gamma);
void DestroyAllShaderPrograms(ShaderState* state);

// The whole set-up of the proxy program: select, add, create, set the gamma 1/2.2, deactivate.
// False when drawing goes on without a shader.
bool InitializeProxyShader(ShaderState* state, const DrawingSettings& drawing);

}  // namespace lumeray
