#include "gl/drawing_settings.h"

#include <GL/glew.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <fstream>
#include <optional>

#include "diagnostics/debug_log.h"
#include "diagnostics/message_report.h"
#include "gl/glew_records.h"
#include "interface/filter_interface.h"
#include "platform/registry.h"

namespace lumeray {
namespace {

constexpr const char* kOptionValue = "OpenGLOptimizationSetting";
constexpr const char* kVersionValue = "InstalledProductVersion";
constexpr GLsizei kTestTextureSize = 256;
constexpr uint32_t kAnyValue = 0xFFFFFFFFu;  // "any size" / "any type" in a format test

void ReportDebug(uint32_t line, int code, const char* title, const char* text) {
  MessageReport(line, code != 0 ? kMessageSystemError : kMessageDebug, static_cast<uint32_t>(code))
      .Report(kIconError, title, "%s", text);
}

void ReportGL(uint32_t line, uint32_t error, const char* title, const std::string& text) {
  if (error == 0) return;
  OpenGLMessageReport(line, kMessageOpenGLError, error)
      .Report(kIconError, title, "%s", text.c_str());
}

std::string Upper(std::string text) {
  for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return text;
}

std::string GLText(GLenum name) {
  const GLubyte* value = glGetString(name);
  return value != nullptr ? reinterpret_cast<const char*>(value) : "";
}

bool StartsWith(const std::string& text, const char* prefix) {
  return text.rfind(prefix, 0) == 0;
}

// Frame buffer entry points: OpenGL 3.0 / ARB, else EXT.
struct FramebufferCalls {
  bool core = false;
  void Gen(GLuint* fbo, GLuint* rbo) const {
    if (core) {
      glGenFramebuffers(1, fbo);
      glGenRenderbuffers(1, rbo);
    } else {
      glGenFramebuffersEXT(1, fbo);
      glGenRenderbuffersEXT(1, rbo);
    }
  }
  void Delete(GLuint* fbo, GLuint* rbo) const {
    if (core) {
      glDeleteFramebuffers(1, fbo);
      glDeleteRenderbuffers(1, rbo);
    } else {
      glDeleteFramebuffersEXT(1, fbo);
      glDeleteRenderbuffersEXT(1, rbo);
    }
  }
};

struct FormatTest {
  const DrawingSettings* drawing = nullptr;
  FramebufferCalls calls;
  GLuint texture = 0;
  GLuint fbo = 0;
  GLuint rbo = 0;
};

bool TestRenderbufferFormat(FormatTest* test, GLenum format, GLint bits) {
  GLint granted = 0, alpha = 0;
  GLenum status = 0;
  if (test->calls.core) {
    glBindFramebuffer(GL_FRAMEBUFFER, test->fbo);
    glBindRenderbuffer(GL_RENDERBUFFER, test->rbo);
    glRenderbufferStorage(GL_RENDERBUFFER, format, kTestTextureSize, kTestTextureSize);
    glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, test->rbo);
    status = glCheckFramebufferStatus(GL_FRAMEBUFFER);
    glGetRenderbufferParameteriv(GL_RENDERBUFFER, GL_RENDERBUFFER_INTERNAL_FORMAT, &granted);
    glGetRenderbufferParameteriv(GL_RENDERBUFFER, GL_RENDERBUFFER_ALPHA_SIZE, &alpha);
    glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, 0);
    glBindRenderbuffer(GL_RENDERBUFFER, 0);
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
  } else {
    glBindFramebufferEXT(GL_FRAMEBUFFER_EXT, test->fbo);
    glBindRenderbufferEXT(GL_RENDERBUFFER_EXT, test->rbo);
    glRenderbufferStorageEXT(GL_RENDERBUFFER_EXT, format, kTestTextureSize, kTestTextureSize);
    glFramebufferRenderbufferEXT(GL_FRAMEBUFFER_EXT, GL_COLOR_ATTACHMENT0_EXT, GL_RENDERBUFFER_EXT,
                                 test->rbo);
    status = glCheckFramebufferStatusEXT(GL_FRAMEBUFFER_EXT);
    glGetRenderbufferParameterivEXT(GL_RENDERBUFFER_EXT, GL_RENDERBUFFER_INTERNAL_FORMAT_EXT,
                                    &granted);
    glGetRenderbufferParameterivEXT(GL_RENDERBUFFER_EXT, GL_RENDERBUFFER_ALPHA_SIZE_EXT, &alpha);
    glFramebufferRenderbufferEXT(GL_FRAMEBUFFER_EXT, GL_COLOR_ATTACHMENT0_EXT, GL_RENDERBUFFER_EXT,
                                 0);
    glBindRenderbufferEXT(GL_RENDERBUFFER_EXT, 0);
    glBindFramebufferEXT(GL_FRAMEBUFFER_EXT, 0);
  }
  const bool failed = TakeGLError() != 0;
  return !failed && status == GL_FRAMEBUFFER_COMPLETE &&
         (format == GL_RGBA || static_cast<GLenum>(granted) == format) && alpha == bits;
}

bool TestTextureFormat(FormatTest* test, GLenum format, uint32_t bits, uint32_t type,
                       TextureFormat* entry) {
  const GLenum dataType = type == kAnyValue ? GL_UNSIGNED_BYTE : type;
  TakeGLError();
  glBindTexture(GL_TEXTURE_2D, test->texture);
  glTexImage2D(GL_TEXTURE_2D, 0, static_cast<GLint>(format), kTestTextureSize, kTestTextureSize, 0,
               GL_RGBA, dataType, nullptr);
  if (TakeGLError() != 0) return false;
  GLint granted = 0, red = 0, alpha = 0;
  glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_INTERNAL_FORMAT, &granted);
  glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_RED_SIZE, &red);
  glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_ALPHA_SIZE, &alpha);
  if (TakeGLError() != 0 || red <= 0) return false;
  if (bits != kAnyValue &&
      (static_cast<uint32_t>(red) != bits || static_cast<uint32_t>(alpha) != bits)) {
    return false;
  }
  if (bits == kAnyValue && red != alpha) return false;
  if (format != GL_RGBA && static_cast<GLenum>(granted) != format) return false;
  if (test->drawing->useFrameBufferObjects &&
      !TestRenderbufferFormat(test, static_cast<GLenum>(granted), red)) {
    return false;
  }
  uint32_t grantedType = dataType;
  if (type == kAnyValue) {
    grantedType = red == 8 ? GL_UNSIGNED_BYTE : red == 16 ? GL_UNSIGNED_SHORT : GL_FLOAT;
  }
  *entry = {static_cast<uint32_t>(granted), static_cast<uint32_t>(red) / 8 * 4, grantedType};
  return true;
}

}  // namespace

bool ReadOpenGLRegistryData(OpenGLSettings* settings) {
  std::optional<platform::RegistryKey> key =
      platform::RegistryKey::Open(platform::Hive::kLocalMachine, kOpenGLSettingsKey, true);
  if (!key) {
    MessageReport(__LINE__, kMessageDebug)
        .Report(kIconError, kTitleDebugUnexpectedError,
                "Could not open or create the OpenGL settings registry key. Error = %d.", EINVAL);
    return false;
  }
  const std::optional<uint32_t> option = key->GetDword(kOptionValue);
  settings->option = settings->storedOption = option ? static_cast<int32_t>(*option) : 0;
  settings->installedVersion = key->GetString(kVersionValue).value_or("");
  return true;
}

bool WriteOpenGLRegistryData(OpenGLSettings* settings) {
  std::optional<platform::RegistryKey> key =
      platform::RegistryKey::Open(platform::Hive::kLocalMachine, kOpenGLSettingsKey, true);
  if (!key) {
    ReportDebug(__LINE__, EINVAL, kTitleDebugUnexpectedError,
                "Could not open the OpenGL Settings registry key");
    return false;
  }
  if (const int error = key->SetDword(kOptionValue, static_cast<uint32_t>(settings->option))) {
    ReportDebug(__LINE__, error, kTitleDebugUnexpectedError,
                "Could not write m_OpenGLDrawingMode value.");
    return false;
  }
  settings->storedOption = settings->option;
  if (const int error = key->SetString(kVersionValue, settings->installedVersion)) {
    ReportDebug(__LINE__, error, kTitleDebugUnexpectedError,
                "Could not write the Installed Product Version value.");
    return false;
  }
  return true;
}

bool LoadOpenGLDrawingSettings(OpenGLSettings* settings) {
  if (ReadOpenGLRegistryData(settings)) return true;
  ReportDebug(__LINE__, EINVAL, kTitleDebugUnexpectedError1,
              "LoadOpenGLDrawingSettings() - Could not read user's preference for OpenGL quality "
              "vs. speed");
  settings->option = settings->storedOption = OPTIMIZE_NOT_SET;
  return false;
}

std::string GetOpenGLVersionNumber() {
  if (eglGetCurrentContext() == EGL_NO_CONTEXT) return "";
  const std::string version = GLText(GL_VERSION);
  return version.substr(0, version.find(' '));
}

int32_t VendorOfString(const std::string& vendor) {
  static const char* const kNames[] = {"ATI ",  "NVIDIA ",  "INTEL ", "MICROSOFT ",
                                       "MESA ", "VMWARE, ", "ASUS "};
  const std::string upper = Upper(vendor);
  for (int32_t i = 0; i < 7; ++i) {
    if (upper.find(kNames[i]) != std::string::npos) return i + 1;
  }
  return kVendorOther;
}

int32_t DetermineOpenGLVendor() {
  const GLubyte* vendor =
      eglGetCurrentContext() != EGL_NO_CONTEXT ? glGetString(GL_VENDOR) : nullptr;
  if (vendor == nullptr) {
    ReportDebug(__LINE__, 0, kTitleDebugUnexpectedError,
                "DetermineOpenGLVendor() - Failed to obtain OpenGL vendor string.");
    return kVendorUnknown;
  }
  // Searched with a blank after the name, so a vendor string that is only the name counts too.
  return VendorOfString(std::string(reinterpret_cast<const char*>(vendor)) + " ");
}

int32_t ChooseDefaultDrawingOption(bool accelerated) {
  if (eglGetCurrentContext() == EGL_NO_CONTEXT)
    return accelerated ? OPTIMIZE_NOT_SET : OPTIMIZE_NONE;
  if (!accelerated) return OPTIMIZE_NONE;
  const GlewRecord* record = glewGetContext();
  if (record == nullptr) return OPTIMIZE_NONE;
  if (!record->Version(1, 5)) return OPTIMIZE_NONE;
  int32_t option = record->Version(2, 0) ? OPTIMIZE_FOR_QUALITY : OPTIMIZE_FOR_COMPATIBILITY;
  const std::string vendor = Upper(GLText(GL_VENDOR));
  const std::string renderer = GLText(GL_RENDERER);
  std::string lowerRenderer = renderer;
  for (char& c : lowerRenderer) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  // Older cards: speed rather than quality.
  if (StartsWith(vendor, "NVIDIA") && renderer == "GeForce 8600 GT/PCI/SSE2")
    option = OPTIMIZE_FOR_SPEED;
  if (StartsWith(vendor, "ATI") &&
      (StartsWith(lowerRenderer, "radeon") || StartsWith(renderer, "1950")) &&
      option == OPTIMIZE_FOR_QUALITY) {
    option = OPTIMIZE_FOR_SPEED;
  }
  if (StartsWith(vendor, "INTEL") && option == OPTIMIZE_FOR_QUALITY) option = OPTIMIZE_FOR_SPEED;
  // Without floating-point textures the buffer paths are not worth their risk.
  if (!record->Has("GL_NV_float_buffer") && !record->Has("GL_ATI_texture_float")) {
    option = OPTIMIZE_FOR_COMPATIBILITY;
  }
  return option;
}

bool CharacterizeBestFormats(DrawingSettings* drawing) {
  const GlewRecord* record = glewGetContext();
  FormatTest test;
  test.drawing = drawing;
  test.calls.core =
      record != nullptr && (record->Version(3, 0) || record->Has("GL_ARB_framebuffer_object"));
  TakeGLError();
  glGenTextures(1, &test.texture);
  glBindTexture(GL_TEXTURE_2D, test.texture);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
  if (const uint32_t error = TakeGLError()) {
    ReportGL(__LINE__, error, "Debug:  Unexpected error",
             "CharacterizeBestFormats() - Error initializing test texture.\n");
    return true;
  }
  if (drawing->useFrameBufferObjects) {
    test.calls.Gen(&test.fbo, &test.rbo);
    if (const uint32_t error = TakeGLError()) {
      ReportGL(__LINE__, error, "Debug:  Unexpected error",
               "CharacterizeBestFormats() - Error creating FBO test buffers.\n");
      glDeleteTextures(1, &test.texture);
      return true;
    }
  }
  bool result = true;
  TextureFormat* formats = drawing->formats;
  if (drawing->vendor == kVendorMicrosoft) {
    formats[0] = formats[1] = formats[2] = {GL_RGBA8, 4, GL_UNSIGNED_BYTE};
  } else {
    bool found = false;
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, kTestTextureSize, kTestTextureSize, 0, GL_RGBA,
                 GL_UNSIGNED_BYTE, nullptr);
    if (TakeGLError() == 0) {
      GLint granted = 0, red = 0, alpha = 0;
      glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_INTERNAL_FORMAT, &granted);
      glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_RED_SIZE, &red);
      glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_ALPHA_SIZE, &alpha);
      if (TakeGLError() == 0 && red == 8 && alpha == 8 &&
          (!drawing->useFrameBufferObjects ||
           TestRenderbufferFormat(&test, static_cast<GLenum>(granted), 8))) {
        formats[0] = {static_cast<uint32_t>(granted), 4, GL_UNSIGNED_BYTE};
        found = true;
      }
    }
    if (!found) {
      found = TestTextureFormat(&test, GL_RGBA8, 8, GL_UNSIGNED_BYTE, &formats[0]) ||
              TestTextureFormat(&test, GL_RGBA, kAnyValue, kAnyValue, &formats[0]);
    }
    if (!found) {
      MessageReport(__LINE__, kMessageUser)
          .Report(kIconError, "System Capability Problem",
                  "Your computer and/or video drivers do not provide the required OpenGL "
                  "capability.  This plug-in cannot run.");
      result = false;
    } else {
      struct Candidate {
        GLenum format;
        uint32_t bits;
        GLenum type;
      };
      const Candidate sixteen[] = {{GL_RGBA, 16, GL_UNSIGNED_SHORT},
                                   {GL_FLOAT_RGBA16_NV, 16, GL_HALF_FLOAT},
                                   {GL_RGBA16F_ARB, 16, GL_HALF_FLOAT},
                                   {GL_RGBA16, 16, GL_UNSIGNED_SHORT}};
      const Candidate thirtyTwo[] = {{GL_RGBA, 32, GL_FLOAT},
                                     {GL_FLOAT_RGBA32_NV, 32, GL_FLOAT},
                                     {GL_RGBA32F_ARB, 32, GL_FLOAT}};
      formats[1] = formats[0];
      for (const Candidate& c : sixteen) {
        if (TestTextureFormat(&test, c.format, c.bits, c.type, &formats[1])) break;
      }
      formats[2] = formats[1];
      for (const Candidate& c : thirtyTwo) {
        if (TestTextureFormat(&test, c.format, c.bits, c.type, &formats[2])) break;
      }
    }
  }
  if (result && test.calls.core && !drawing->limits.noFrameBuffers) {
    if (test.fbo == 0) test.calls.Gen(&test.fbo, &test.rbo);
    const TextureFormat precise[] = {{GL_RGBA16, 8, GL_UNSIGNED_SHORT},
                                     {GL_RGBA16F, 8, GL_HALF_FLOAT}};
    for (const TextureFormat& c : precise) {
      TextureFormat granted;
      if (TakeGLError() == 0 &&
          TestTextureFormat(&test, c.internalFormat, 16, c.dataType, &granted) &&
          TestRenderbufferFormat(&test, c.internalFormat, 16)) {
        drawing->precisionFormat = c;
        break;
      }
    }
  }
  if (test.fbo != 0) test.calls.Delete(&test.fbo, &test.rbo);
  glDeleteTextures(1, &test.texture);
  TakeGLError();
  return result;
}

bool InitializeOpenGLDrawingSettings(DrawingSettings* drawing, OpenGLSettings* settings,
                                     const OpenGLContext& context, const DrawingLimits& limits) {
  *drawing = DrawingSettings{};
  drawing->limits = limits;
  drawing->accelerated = context.accelerated;
  if (settings->option == OPTIMIZE_NOT_SET) {
    settings->option = ChooseDefaultDrawingOption(context.accelerated);
    if (!WriteOpenGLRegistryData(settings)) {
      ReportDebug(
          __LINE__, 0, kTitleDebugUnexpectedError,
          "InitializeOpenGLDrawingSettings() - Could not write OpenGL settings to registry.");
    }
  }
  drawing->option = settings->option;
  drawing->versionNumber = GetOpenGLVersionNumber();
  drawing->vendor = DetermineOpenGLVendor();
  static const GlewRecord kNone;
  const GlewRecord* found = glewGetContext();
  const GlewRecord& record = found != nullptr ? *found : kNone;
  const bool restricted = drawing->option == OPTIMIZE_FOR_COMPATIBILITY ||
                          drawing->option == OPTIMIZE_NONE || !context.accelerated;
  drawing->useOffscreenBitmap = !context.accelerated;
  drawing->useShaderProgram = !restricted && !limits.noShader;
  drawing->useVertexBufferObjects =
      !restricted && !limits.noVertexBuffers &&
      (record.Version(1, 5) || (record.Version(1, 4) && record.Has("GL_ARB_vertex_buffer_object")));
  drawing->usePixelBufferObjects =
      drawing->useVertexBufferObjects && !limits.noPixelBuffers &&
      (record.Version(2, 1) || (record.Version(2, 0) && record.Has("GL_ARB_pixel_buffer_object")));
  const bool anySize = record.Has("GL_ARB_texture_non_power_of_two");
  if (restricted || limits.powerOfTwo) {
    drawing->mustUsePowerOfTwo = true;
  } else if (record.Version(2, 0)) {
    drawing->mustUsePowerOfTwo = drawing->vendor == kVendorNvidia && !anySize;
  } else if (!record.Version(1, 4)) {
    drawing->mustUsePowerOfTwo = true;
  } else {
    drawing->mustUsePowerOfTwo = !anySize;
  }
  // Frame buffer objects come with textures of any size.
  drawing->useFrameBufferObjects =
      !restricted && !limits.noFrameBuffers && !drawing->mustUsePowerOfTwo &&
      (record.Version(3, 0) || (record.Version(2, 1) && record.Has("GL_ARB_framebuffer_object")));
  GLint maxSize = 0;
  glGetIntegerv(GL_MAX_TEXTURE_SIZE, &maxSize);
  drawing->maxTextureSize =
      limits.maxTextureSize > 0 ? std::min<GLint>(maxSize, limits.maxTextureSize) : maxSize;
  auto flag = [](bool value) { return value ? "true" : "false"; };
  LogEntry(kLogLevelNormal,
           "OpenGL Options settings:\n     OpenGL Optimization Setting = %s\n     "
           "UseOffscreenBitmap = %s\n     UseVertexBufferObjects = %s\n     UseFrameBufferObjects "
           "= %s\n     UsePixelBufferObjects = %s\n     UseShaderProgram = %s\n     "
           "MustUsePowerOfTwoSizedTextures = %s\n",
           DrawingOptionName(drawing->option), flag(drawing->useOffscreenBitmap),
           flag(drawing->useVertexBufferObjects), flag(drawing->useFrameBufferObjects),
           flag(drawing->usePixelBufferObjects), flag(drawing->useShaderProgram),
           flag(drawing->mustUsePowerOfTwo));
  const bool result = CharacterizeBestFormats(drawing);
  const TextureFormat* f = drawing->formats;
  LogEntry(kLogLevelNormal,
           "Selected Internal Texture Formats:\n     8  bit color: Format = %s, Pixel Depth = %u "
           "bytes, Data Type = %s\n     16 bit color: Format = %s, Pixel Depth = %u bytes, Data "
           "Type = %s\n     32 bit color: Format = %s, Pixel Depth = %u bytes, Data Type = %s\n",
           InternalFormatName(f[0].internalFormat).c_str(), f[0].pixelDepth,
           PixelTypeName(f[0].dataType).c_str(), InternalFormatName(f[1].internalFormat).c_str(),
           f[1].pixelDepth, PixelTypeName(f[1].dataType).c_str(),
           InternalFormatName(f[2].internalFormat).c_str(), f[2].pixelDepth,
           PixelTypeName(f[2].dataType).c_str());
  LogEntry(kLogLevelNormal, "Preview composition format: %s\n",
           drawing->precisionFormat.internalFormat != 0
               ? InternalFormatName(drawing->precisionFormat.internalFormat).c_str()
               : "the drawable's (8 bit)");
  return result;
}

uint32_t GetPreferredInternalFormat(const DrawingSettings& drawing) {
  if (drawing.option == OPTIMIZE_FOR_QUALITY && drawing.accelerated)
    return drawing.formats[1].internalFormat;
  return drawing.formats[0].internalFormat;
}

uint32_t GetFramebufferPixelType(const DrawingSettings& drawing) {
  if (drawing.option == OPTIMIZE_FOR_QUALITY && drawing.accelerated &&
      drawing.formats[1].internalFormat != drawing.formats[0].internalFormat) {
    return drawing.formats[1].dataType;
  }
  return drawing.formats[0].dataType;
}

const char* DrawingOptionName(int32_t option) {
  switch (option) {
    case OPTIMIZE_FOR_QUALITY:
      return "OPTIMIZE_FOR_QUALITY";
    case OPTIMIZE_FOR_SPEED:
      return "OPTIMIZE_FOR_SPEED";
    case OPTIMIZE_FOR_COMPATIBILITY:
      return "OPTIMIZE_FOR_COMPATIBILITY";
    case OPTIMIZE_NONE:
      return "OPTIMIZE_NONE";
    default:
      return "Unrecognized Setting";
  }
}

std::string PixelTypeName(uint32_t type) {
  static const char* const kNames[] = {"GL_BYTE",           "GL_UNSIGNED_BYTE", "GL_SHORT",
                                       "GL_UNSIGNED_SHORT", "GL_INT",           "GL_UNSIGNED_INT",
                                       "GL_FLOAT",          "GL_2_BYTES",       "GL_3_BYTES",
                                       "GL_4_BYTES",        "GL_DOUBLE",        "GL_HALF_FLOAT"};
  if (type >= GL_BYTE && type <= GL_HALF_FLOAT) return kNames[type - GL_BYTE];
  char text[32];
  std::snprintf(text, sizeof text, "Unrecognized: 0x%X", type);
  return text;
}

std::string InternalFormatName(uint32_t format) {
  struct Name {
    uint32_t value;
    const char* name;
  };
  static const Name kNames[] = {{GL_ALPHA, "GL_ALPHA"},
                                {GL_RGB, "GL_RGB"},
                                {GL_RGBA, "GL_RGBA"},
                                {GL_LUMINANCE, "GL_LUMINANCE"},
                                {GL_LUMINANCE_ALPHA, "GL_LUMINANCE_ALPHA"},
                                {GL_RGB4, "GL_RGB4"},
                                {GL_RGB5, "GL_RGB5"},
                                {GL_RGB8, "GL_RGB8"},
                                {GL_RGB10, "GL_RGB10"},
                                {GL_RGB12, "GL_RGB12"},
                                {GL_RGB16, "GL_RGB16"},
                                {GL_RGBA2, "GL_RGBA2"},
                                {GL_RGBA4, "GL_RGBA4"},
                                {GL_RGB5_A1, "GL_RGB5_A1"},
                                {GL_RGBA8, "GL_RGBA8"},
                                {GL_RGB10_A2, "GL_RGB10_A2"},
                                {GL_RGBA12, "GL_RGBA12"},
                                {GL_RGBA16, "GL_RGBA16"},
                                {GL_SRGB8_ALPHA8, "GL_SRGB8_ALPHA8"},
                                {GL_RGBA32F, "GL_RGBA32F"},
                                {GL_RGB32F, "GL_RGB32F"},
                                {GL_RGBA16F, "GL_RGBA16F"},
                                {GL_RGB16F, "GL_RGB16F"},
                                {GL_FLOAT_RGBA16_NV, "GL_FLOAT_RGBA16_NV"},
                                {GL_FLOAT_RGBA32_NV, "GL_FLOAT_RGBA32_NV"},
                                {GL_RGBA8UI, "GL_RGBA8UI"},
                                {GL_RGBA16UI, "GL_RGBA16UI"},
                                {GL_RGBA32UI, "GL_RGBA32UI"},
                                {GL_R11F_G11F_B10F, "GL_R11F_G11F_B10F"},
                                {GL_RGB9_E5, "GL_RGB9_E5"},
                                {GL_BGRA, "GL_BGRA"}};
  for (const Name& name : kNames) {
    if (name.value == format) return name.name;
  }
  return "Unrecognized";
}

bool ReportPrimaryGPU() {
  // The first DRM card with a PCI device stands for the primary adapter.
  for (int card = 0; card < 8; ++card) {
    const std::string device = "/sys/class/drm/card" + std::to_string(card) + "/device/";
    auto read = [&](const char* name) {
      std::ifstream file(device + name);
      std::string value;
      std::getline(file, value);
      return value;
    };
    const std::string vendor = read("vendor");
    if (vendor.empty()) continue;
    auto hex = [](const std::string& text) {
      return static_cast<unsigned>(std::strtoul(text.c_str(), nullptr, 16));
    };
    const std::string name = "card" + std::to_string(card);
    const std::string idText = read("uevent");
    LogEntry(kLogLevelNormal,
             "Primary GPU Information:\n     Device Name = '%s'\n     Device String = '%s'\n     "
             "State Flags = '0x%08X'\n     Device ID String = '%s'\n     Device Key = '%s'\n     "
             "GPU Vendor ID = '0x%X', GPU Device ID = '0x%X'\n     Subsystem Vendor ID = '0x%X', "
             "Subsystem Device ID = '0x%X', Revision = '%s'\n",
             name.c_str(), idText.c_str(), 0u, (vendor + ":" + read("device")).c_str(),
             device.c_str(), hex(vendor), hex(read("device")), hex(read("subsystem_vendor")),
             hex(read("subsystem_device")), read("revision").c_str());
    return true;
  }
  // No PCI adapter (a virtual machine, a container): name the OpenGL renderer instead.
  const bool current = eglGetCurrentContext() != EGL_NO_CONTEXT;
  LogEntry(kLogLevelNormal,
           "Primary GPU Information:\n     No PCI graphics adapter was found.\n     OpenGL Vendor "
           "'%s', OpenGL Renderer '%s'\n",
           current ? GLText(GL_VENDOR).c_str() : "", current ? GLText(GL_RENDERER).c_str() : "");
  return false;
}

bool RunInstallConfiguration(const char* productVersion, const PixelFormatRules& rules) {
  LogEntry(kLogLevelNormal, "Beginning Installation Configuration");
  OpenGLSettings settings;
  LogEntry(kLogLevelNormal, "Settings.ReadOpenGLRegistryData()");
  ReadOpenGLRegistryData(&settings);
  settings.installedVersion = productVersion != nullptr ? productVersion : "";
  LogEntry(kLogLevelNormal, "CreateHiddenOpenGLContext()");
  OpenGLContext context;
  bool accelerated = true;
  if (!CreateHiddenOpenGLContext(&context, &accelerated, rules)) {
    ReportDebug(__LINE__, 0, kTitleDebugUnexpectedErrorDash,
                "InstallConfiguration() - Failed to create analysis context.");
    return false;
  }
  ReportPrimaryGPU();
  if (!accelerated && settings.option >= OPTIMIZE_FOR_QUALITY &&
      settings.option <= OPTIMIZE_FOR_COMPATIBILITY) {
    settings.option = OPTIMIZE_NONE;
  }
  if (settings.option < OPTIMIZE_FOR_QUALITY || settings.option > OPTIMIZE_NONE) {
    settings.option = ChooseDefaultDrawingOption(accelerated);
  }
  const bool written = WriteOpenGLRegistryData(&settings);
  if (!written) {
    ReportDebug(__LINE__, 0, kTitleDebugUnexpectedErrorDash,
                "InstallConfiguration() - Failed to write OpenGL settings to registery.");
  }
  LogEntry(kLogLevelNormal, "DestroyHiddenOpenGLContext()");
  DestroyHiddenOpenGLContext(&context);
  return written;
}

}  // namespace lumeray
