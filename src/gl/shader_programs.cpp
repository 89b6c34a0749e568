#include "gl/shader_programs.h"

#include <GL/glew.h>

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <string>

#include "diagnostics/message_report.h"
#include "gl/glew_records.h"

namespace lumeray {
namespace {

constexpr const char* kProxyFragmentSource =
    "uniform sampler2D tex;uniform vec4 GammaCorrection;void main()\n{\tvec4 color = "
    "texture2D(tex, gl_TexCoord[0].st);\tgl_FragColor = pow(color, GammaCorrection);}";

void Report(uint32_t line, const char* format, ...) __attribute__((format(printf, 2, 3)));
void Report(uint32_t line, const char* format, ...) {
  va_list arguments;
  va_start(arguments, format);
  char text[1024];
  std::vsnprintf(text, sizeof text, format, arguments);
  va_end(arguments);
  MessageReport(line, kMessageDebug).Report(kIconError, kTitleDebugUnexpectedError, "%s", text);
}

// Reports `text` with the pending OpenGL error, when there is one; true when there was none.
bool CheckGL(uint32_t line, const std::string& text) {
  const uint32_t error = TakeGLError();
  if (error == 0) return true;
  OpenGLMessageReport(line, kMessageOpenGLError, error)
      .Report(kIconError, kTitleDebugUnexpectedError, "%s", text.c_str());
  return false;
}

std::string Format(const char* format, ...) __attribute__((format(printf, 1, 2)));
std::string Format(const char* format, ...) {
  va_list arguments;
  va_start(arguments, format);
  char text[512];
  std::vsnprintf(text, sizeof text, format, arguments);
  va_end(arguments);
  return text;
}

const char* ShaderTypeName(uint32_t type) {
  if (type == GL_VERTEX_SHADER || type == GL_VERTEX_PROGRAM_ARB) return "Vertex Shader";
  if (type == GL_FRAGMENT_SHADER || type == GL_FRAGMENT_PROGRAM_ARB) return "Fragment Shader";
  return "Unknown Shader Type";
}

bool CreateShader(ShaderSource* source, bool arb) {
  const char* routine = arb ? "CreateShaderARB()" : "CreateShaderGLSL()";
  const char* name = ShaderTypeName(source->shaderType);
  const GLuint shader =
      arb ? glCreateShaderObjectARB(source->shaderType) : glCreateShader(source->shaderType);
  if (!CheckGL(__LINE__, Format("%s - Failed to create %s program object.", routine, name)) ||
      shader == 0) {
    return false;
  }
  if (arb) {
    glShaderSourceARB(shader, source->sourceCount, &source->source, nullptr);
  } else {
    glShaderSource(shader, source->sourceCount, &source->source, nullptr);
  }
  bool ok = CheckGL(
      __LINE__, Format("%s - Failed to load %s source for shader ID %d.", routine, name, shader));
  if (ok) {
    arb ? glCompileShaderARB(shader) : glCompileShader(shader);
    ok = CheckGL(__LINE__, Format("%s - Failed to compile %s source for shader ID %d.", routine,
                                  name, shader));
  }
  GLint status = 0, length = 0;
  if (ok) {
    if (arb) {
      glGetObjectParameterivARB(shader, GL_OBJECT_COMPILE_STATUS_ARB, &status);
      glGetObjectParameterivARB(shader, GL_OBJECT_INFO_LOG_LENGTH_ARB, &length);
    } else {
      glGetShaderiv(shader, GL_COMPILE_STATUS, &status);
      glGetShaderiv(shader, GL_INFO_LOG_LENGTH, &length);
    }
    ok = CheckGL(__LINE__, Format("%s - Could not get %s compilation status for shader ID %d.",
                                  routine, name, shader));
  }
  std::string log(static_cast<size_t>(std::max(length, 1)), '\0');
  if (ok && length > 0) {
    if (arb) {
      glGetInfoLogARB(shader, length, nullptr, log.data());
    } else {
      glGetShaderInfoLog(shader, length, nullptr, log.data());
    }
    ok = CheckGL(__LINE__, Format("%s - Failed to get %s compilation log for shader ID %d.",
                                  routine, name, shader));
  }
  if (ok && status == 1) {
    (arb ? source->arbShader : source->glslShader) = shader;
    return true;
  }
  if (ok) {
    Report(__LINE__, "%s - %s failed to compile. Shader ID = %u.\nShader compilation Log: %s",
           routine, name, shader, log.c_str());
  }
  arb ? glDeleteObjectARB(shader) : glDeleteShader(shader);
  TakeGLError();
  return false;
}

void DestroyShaderList(ShaderSource* const* list, bool arb) {
  for (int i = 0; i < 2; ++i) {
    ShaderSource* source = list[i];
    if (source == nullptr) continue;
    uint32_t& shader = arb ? source->arbShader : source->glslShader;
    if (shader != 0) arb ? glDeleteObjectARB(shader) : glDeleteShader(shader);
    shader = 0;
  }
  CheckGL(__LINE__, arb ? "DestroyShaderListARB() - Failed to destroy EXT shader list."
                        : "DestroyShaderListGLSL() - Failed to destroy GLSL shader list.");
}

void DestroyShaderProgram(ShaderState* state, ShaderProgram* record) {
  if (record->extensionType == SHADER_TYPE_NONE) {
    Report(
        __LINE__,
        "DestroyShaderProgram() - Extension type SHADER_TYPE_NONE is not valid for this function.");
    return;
  }
  const bool arb = record->extensionType == SHADER_TYPE_ARB;
  if (!arb && record->extensionType != SHADER_TYPE_GLSL) {
    Report(__LINE__, "DestroyShaderProgram() - Extension type %d is not recognized.",
           record->extensionType);
    return;
  }
  uint32_t& program = arb ? record->arbProgram : record->glslProgram;
  if (program != 0) {
    GLint current = 0;
    if (arb) {
      current = static_cast<GLint>(glGetHandleARB(GL_PROGRAM_OBJECT_ARB));
    } else {
      glGetIntegerv(GL_CURRENT_PROGRAM, &current);
    }
    if (static_cast<uint32_t>(current) == program) {
      arb ? glUseProgramObjectARB(0) : glUseProgram(0);
      state->active = nullptr;
    }
    arb ? glDeleteObjectARB(program) : glDeleteProgram(program);
    program = 0;
  }
  DestroyShaderList(record->vertex, arb);
  DestroyShaderList(record->fragment, arb);
  record->created = false;
  CheckGL(__LINE__, "DestroyShaderProgram() - Failed to destroy shader program.");
}

bool CreateProgram(ShaderState* state, ShaderProgram* record) {
  const bool arb = record->extensionType == SHADER_TYPE_ARB;
  const char* routine = arb ? "CreateShaderProgramARB()" : "CreateShaderProgramGLSL()";
  const GLuint program = arb ? glCreateProgramObjectARB() : glCreateProgram();
  if (program == 0) {
    Report(__LINE__, "%s failed to create shader program %d", routine, record->programName);
    return false;
  }
  (arb ? record->arbProgram : record->glslProgram) = program;
  bool ok = true;
  for (int stage = 0; stage < 2 && ok; ++stage) {
    ShaderSource* const* slots = stage == 0 ? record->vertex : record->fragment;
    for (int i = 0; i < 2 && ok; ++i) {
      if (slots[i] == nullptr) continue;
      ok = CreateShader(slots[i], arb);
      if (!ok) break;
      arb ? glAttachObjectARB(program, slots[i]->arbShader)
          : glAttachShader(program, slots[i]->glslShader);
      ok =
          CheckGL(__LINE__, Format("%s failed to attach %s shader %d to shader program %d", routine,
                                   stage == 0 ? "vertex" : "fragment", i, record->programName));
    }
  }
  GLint status = 0, length = 0;
  if (ok) {
    arb ? glLinkProgramARB(program) : glLinkProgram(program);
    ok = CheckGL(__LINE__,
                 Format("%s failed to link shader program %d", routine, record->programName));
  }
  if (ok) {
    if (arb) {
      glGetObjectParameterivARB(program, GL_OBJECT_LINK_STATUS_ARB, &status);
      glGetObjectParameterivARB(program, GL_OBJECT_INFO_LOG_LENGTH_ARB, &length);
    } else {
      glGetProgramiv(program, GL_LINK_STATUS, &status);
      glGetProgramiv(program, GL_INFO_LOG_LENGTH, &length);
    }
    ok = CheckGL(__LINE__, Format("%s Could not obtain link status for shader program %d", routine,
                                  record->programName));
  }
  if (ok && status != 1) {
    std::string log(static_cast<size_t>(std::max(length, 1)), '\0');
    if (length > 0) {
      arb ? glGetInfoLogARB(program, length, nullptr, log.data())
          : glGetProgramInfoLog(program, length, nullptr, log.data());
    }
    Report(__LINE__,
           arb ? "%s - EXT Shader Program %d, version %d failed to link. Program Handle = "
                 "%u.\nProgram link log: %s"
               : "%s - GLSL Shader Program %d, version %d failed to link. Program ID = "
                 "%u.\nProgram link log: %s",
           routine, record->programName, record->versionNumber, program, log.c_str());
    ok = false;
  }
  if (!ok) DestroyShaderProgram(state, record);
  return ok;
}

bool Bind(ShaderState* state) {
  if (state->active == nullptr) return false;
  bool ok = false;
  if (state->type == SHADER_TYPE_GLSL) {
    glUseProgram(state->active->glslProgram);
    ok = CheckGL(__LINE__,
                 Format("BindActiveShaderProgram() - Could not enable GLSL shader program %d.",
                        state->active->programName));
  } else if (state->type == SHADER_TYPE_ARB) {
    glUseProgramObjectARB(state->active->arbProgram);
    ok = CheckGL(__LINE__,
                 Format("BindActiveShaderProgram() - Could not enable ARB shader program %d.",
                        state->active->programName));
  } else if (state->type == SHADER_TYPE_NONE) {
    Report(__LINE__, "BindActiveShaderProgram() - No shader support is available.");
  } else {
    Report(__LINE__, "UnBindActiveShaderProgram() - Shader extension type %d is not recognized.",
           state->type);
  }
  CheckGL(__LINE__, "BindActiveShaderProgram() - Failed to enable active shader program.");
  return ok;
}

bool Unbind(ShaderState* state) {
  if (state->type == SHADER_TYPE_GLSL) {
    glUseProgram(0);
    return CheckGL(__LINE__,
                   "BindActiveShaderProgram() - Could not disable active GLSL shader program.");
  }
  if (state->type == SHADER_TYPE_ARB) {
    glUseProgramObjectARB(0);
    return CheckGL(__LINE__,
                   "BindActiveShaderProgram() - Could not unbind active ARB shader program.");
  }
  if (state->type == SHADER_TYPE_NONE) {
    Report(__LINE__, "UnBindActiveShaderProgram() - No shader support is available.");
  } else {
    Report(__LINE__, "UnBindActiveShaderProgram() - Shader extension type %d is not recognized.",
           state->type);
  }
  return false;
}

}  // namespace

bool ParseGLSLVersion(const char* text, GLSLVersion* version) {
  int major = -1, minor = -1, release = -1;
  const int fields = text != nullptr ? std::sscanf(text, "%d.%d.%d ", &major, &minor, &release) : 0;
  if (fields < 2 || fields > 3) return false;
  if (major == 1 && minor == 51) minor = 0;
  *version = {major, minor, fields == 2 ? 0 : release};
  return true;
}

bool VersionSuits(const ShaderProgram& record, const GLSLVersion& v) {
  if (v.major == -1) return false;
  const GLSLVersion& lo = record.minimum;
  if (lo.major != -1) {
    if (lo.major == v.major) {
      if (lo.minor != -1) {
        if (lo.minor == v.minor) {
          if (lo.release != -1 && lo.release > v.release) return false;
        } else if (lo.minor > v.minor) {
          return false;
        }
      }
    } else if (lo.major > v.major) {
      return false;
    }
  }
  const GLSLVersion& hi = record.maximum;
  if (hi.major == -1 || hi.major > v.major) return true;
  if (hi.major < v.major) return false;
  if (hi.minor == -1 || hi.minor > v.minor) return true;
  if (hi.minor < v.minor) return false;
  return hi.release == -1 || hi.release >= v.release;
}

bool GetSupportedGLSLVersion(ShaderState* state) {
  TakeGLError();
  const GLubyte* text = glGetString(GL_SHADING_LANGUAGE_VERSION);
  const uint32_t error = TakeGLError();
  const GlewRecord* record = glewGetContext();
  if (error == 0 && text != nullptr) {
    if (!ParseGLSLVersion(reinterpret_cast<const char*>(text), &state->version)) {
      Report(__LINE__,
             "GetSupportedGLSLVersion() Failed to parse GLSL extension version information '%s'.",
             reinterpret_cast<const char*>(text));
      return false;
    }
    return true;
  }
  if (error == GL_INVALID_ENUM && record != nullptr && record->Has("GL_ARB_shading_language_100") &&
      !record->Version(2, 0)) {
    state->version = {1, 0, 0};
    return true;
  }
  Report(__LINE__,
         "GetSupportedGLSLVersion() Failed to get GLSL version string. OpenGL Error = %d.",
         static_cast<int>(error));
  state->version = {};
  return false;
}

bool SelectShaderExtension(ShaderState* state, const DrawingSettings& drawing) {
  state->type = SHADER_TYPE_NONE;
  state->mask = 0;
  const GlewRecord* record = glewGetContext();
  if (!drawing.useShaderProgram || record == nullptr) return false;
  int32_t type = SHADER_TYPE_NONE;
  if (record->Version(2, 0) && !drawing.limits.arbShaders) {
    type = SHADER_TYPE_GLSL;
  } else if (record->Version(1, 5) && record->Has("GL_ARB_shading_language_100") &&
             record->Has("GL_ARB_shader_objects") && record->Has("GL_ARB_vertex_shader") &&
             record->Has("GL_ARB_fragment_shader")) {
    type = SHADER_TYPE_ARB;
  } else {
    return false;
  }
  if (!GetSupportedGLSLVersion(state)) return false;
  state->type = type;
  state->mask = 3;
  return true;
}

bool AddShaderProgram(ShaderState* state, ShaderProgram* list, int count) {
  if (list == nullptr || count <= 0) return false;
  state->lists.emplace_back(list, count);
  for (int i = 0; i < count; ++i) list[i].versionNumber = i + 1;
  if (state->selected.size() < static_cast<size_t>(list[0].programName) + 1) {
    state->selected.resize(static_cast<size_t>(list[0].programName) + 1, nullptr);
  }
  if (state->type == SHADER_TYPE_NONE) return false;
  for (int i = 0; i < count; ++i) {
    ShaderProgram& record = list[i];
    if (record.extensionType != state->type || !VersionSuits(record, state->version)) continue;
    if (record.vertex[0] != nullptr && !(state->mask & 1)) continue;
    if (record.fragment[0] != nullptr && !(state->mask & 2)) continue;
    if (record.programName > 0 &&
        static_cast<size_t>(record.programName) < state->selected.size()) {
      state->selected[static_cast<size_t>(record.programName)] = &record;
    }
    return true;
  }
  return false;
}

bool CreateShaderProgram(ShaderState* state) {
  if (state->selected.size() <= kProxyProgram || state->selected[kProxyProgram] == nullptr)
    return false;
  ShaderProgram* record = state->selected[kProxyProgram];
  bool ok = false;
  if (record->extensionType == SHADER_TYPE_GLSL || record->extensionType == SHADER_TYPE_ARB) {
    ok = CreateProgram(state, record);
  } else {
    Report(__LINE__, "CreateShaderProgram() - Extension type %d is not recognized.",
           record->extensionType);
  }
  if (ok) record->created = true;
  CheckGL(__LINE__,
          Format("CreateShaderProgram() - Failed to create shader program %d.", kProxyProgram));
  return ok;
}

bool MakeShaderProgramActive(ShaderState* state, int32_t name) {
  bool result = false;
  if (name == 0) {
    result = true;
    if (state->active != nullptr) {
      result = Unbind(state);
      state->active = nullptr;
    }
  } else if (name < 0 || static_cast<size_t>(name) >= state->selected.size() ||
             state->selected[static_cast<size_t>(name)] == nullptr) {
    Report(__LINE__, "MakeShaderProgramActive() - Shader Program Name %d is not recognized.", name);
  } else if (state->selected[static_cast<size_t>(name)]->created) {
    state->active = state->selected[static_cast<size_t>(name)];
    result = Bind(state);
    if (!result) state->active = nullptr;
  }
  CheckGL(__LINE__,
          Format("MakeShaderProgramActive() - Failed to activeate shader program %d.", name));
  return result;
}

bool SetProxyShaderGamma(ShaderState* state, float gamma) {
  if (state->active == nullptr || state->selected.size() <= kProxyProgram ||
      state->active != state->selected[kProxyProgram]) {
    return false;
  }
  GLint location = -1;
  if (state->type == SHADER_TYPE_GLSL) {
    location = glGetUniformLocation(state->active->glslProgram, "GammaCorrection");
  } else if (state->type == SHADER_TYPE_ARB) {
    location = glGetUniformLocationARB(state->active->arbProgram, "GammaCorrection");
  } else if (state->type == SHADER_TYPE_NONE) {
    Report(__LINE__, "SetProxyShaderGamma() - An invalid shader extension type was found.");
    return false;
  } else {
    Report(__LINE__, "SetProxyShaderGamma() - Shader extension type %d is not recognized.",
           state->type);
    return false;
  }
  if (location == -1) {
    Report(__LINE__, "SetProxyShaderGamma() - An invalid variable name was specified.");
    return false;
  }
  state->type == SHADER_TYPE_GLSL ? glUniform4f(location, gamma, gamma, gamma, 1.0f)
                                  : glUniform4fARB(location, gamma, gamma, gamma, 1.0f);
  return CheckGL(__LINE__, "SetProxyShaderGamma() - Failed to set Gamma Correction value.");
}

void DestroyAllShaderPrograms(ShaderState* state) {
  for (auto& [list, count] : state->lists) {
    for (int i = 0; i < count; ++i) {
      if (list[i].extensionType == state->type && state->type != SHADER_TYPE_NONE) {
        DestroyShaderProgram(state, &list[i]);
      }
    }
  }
  state->lists.clear();
  state->selected.clear();
  state->active = nullptr;
}

bool InitializeProxyShader(ShaderState* state, const DrawingSettings& drawing) {
  for (ShaderSource& source : state->proxySources) {
    source = {GL_FRAGMENT_SHADER, kProxyFragmentSource, 1, 0, 0};
  }
  for (int i = 0; i < 2; ++i) {
    state->proxyPrograms[i] = {kProxyProgram,
                               i == 0 ? SHADER_TYPE_GLSL : SHADER_TYPE_ARB,
                               {1, 10, 0},
                               {-1, -1, -1},
                               {nullptr, nullptr},
                               {&state->proxySources[i], nullptr},
                               0,
                               0,
                               false,
                               0};
  }
  if (!SelectShaderExtension(state, drawing)) return false;
  if (!AddShaderProgram(state, state->proxyPrograms, 2) || !CreateShaderProgram(state))
    return false;
  const bool ok = MakeShaderProgramActive(state, kProxyProgram) &&
                  SetProxyShaderGamma(state, static_cast<float>(1.0 / 2.2));
  MakeShaderProgramActive(state, 0);
  return ok;
}

}  // namespace lumeray
