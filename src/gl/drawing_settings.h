// Drawing settings: the one user-visible OpenGL setting (the drawing option), where it is
// stored, its default for a new machine, the OpenGL facilities the preview may use on the
// current context, and the texture formats the driver really grants for 8-, 16- and 32-bit
// colour.
//
//   option 1 OPTIMIZE_FOR_QUALITY        all facilities, 16-bit colour formats where they differ
//   option 2 OPTIMIZE_FOR_SPEED          all facilities, 8-bit colour formats
//   option 3 OPTIMIZE_FOR_COMPATIBILITY  no shader, no vertex/pixel/frame buffer objects,
//                                        power-of-two textures
//   option 4 OPTIMIZE_NONE               as 3, and software (bitmap) pixel formats only
//   option 0                             not set: replaced by the default at first use
//
// The option lives in the registry stand-in under kOpenGLSettingsKey (local-machine hive) as
// "OpenGLOptimizationSetting", with "InstalledProductVersion". DrawingLimits force narrower
// facilities than the driver offers (a smaller largest texture, no shader, no buffer objects,
// power-of-two textures, the ARB shader interface): the drawing paths of weaker drivers can so
// be exercised on any machine.
//
// Threading contract: a DrawingSettings record belongs to the drawing thread whose context is
// current while it is initialised and used. Registry reads and writes are safe from any thread.
#pragma once

#include <cstdint>
#include <string>

#include "gl/gl_context.h"

namespace lumeray {

enum DrawingOption : int32_t {
  OPTIMIZE_NOT_SET = 0,
  OPTIMIZE_FOR_QUALITY = 1,
  OPTIMIZE_FOR_SPEED = 2,
  OPTIMIZE_FOR_COMPATIBILITY = 3,
  OPTIMIZE_NONE = 4,
};

inline constexpr const char* kOpenGLSettingsKey =
    "Software\\Vantrel Software\\LumerayPro\\2.0\\OpenGLSettings";

struct OpenGLSettings {
  std::string installedVersion;
  int32_t option = OPTIMIZE_NOT_SET;        // in use
  int32_t storedOption = OPTIMIZE_NOT_SET;  // as stored
};

enum OpenGLVendor : int32_t {
  kVendorUnknown = 0,
  kVendorAti = 1,
  kVendorNvidia = 2,
  kVendorIntel = 3,
  kVendorMicrosoft = 4,
  kVendorMesa = 5,
  kVendorVmware = 6,
  kVendorAsus = 7,
  kVendorOther = 8,
};

struct TextureFormat {
  uint32_t internalFormat = 0;
  uint32_t pixelDepth = 0;  // bytes per pixel
  uint32_t dataType = 0;
};

struct DrawingLimits {
  int32_t maxTextureSize = 0;  // 0: the driver's
  bool noShader = false;
  bool noVertexBuffers = false;
  bool noPixelBuffers = false;
  bool noFrameBuffers = false;
  bool powerOfTwo = false;
  bool arbShaders = false;  // use the ARB shader objects even where OpenGL 2.0 is offered
};

struct DrawingSettings {
  int32_t option = OPTIMIZE_NOT_SET;
  bool accelerated = false;
  std::string versionNumber;
  int32_t vendor = kVendorUnknown;
  bool useOffscreenBitmap = false;
  bool useVertexBufferObjects = false;
  bool useFrameBufferObjects = false;
  bool usePixelBufferObjects = false;
  bool useShaderProgram = false;
  bool mustUsePowerOfTwo = true;
  TextureFormat formats[3];  // 8-, 16- and 32-bit colour
  // The 16-bit format the preview composes its frame and draws its effects in, before the
  // display gamma (8 bits of linear light show as steps once encoded): a 16-bit integer or half
  // float format that a frame buffer object can render into. Looked for whenever the context
  // has frame buffer objects (whatever the option: it is the frame's precision, not a speed
  // facility) unless DrawingLimits::noFrameBuffers; internalFormat 0 when there is none, and
  // the frame is then composed in the 8-bit drawable.
  TextureFormat precisionFormat;
  int32_t maxTextureSize = 0;
  DrawingLimits limits;
};

bool ReadOpenGLRegistryData(OpenGLSettings* settings);
bool WriteOpenGLRegistryData(OpenGLSettings* settings);
// Reads the stored option; option 0 (reported) when it cannot be read.
bool LoadOpenGLDrawingSettings(OpenGLSettings* settings);

// On the drawing thread with `context` current: replaces option 0 by the default (and stores
// it), works out the facilities and characterises the texture formats, logging both. False only
// when no RGBA texture format is usable at all (user message "System Capability Problem"); the
// session's owner then ends the run with -50.
bool InitializeOpenGLDrawingSettings(DrawingSettings* drawing, OpenGLSettings* settings,
                                     const OpenGLContext& context, const DrawingLimits& limits);

int32_t ChooseDefaultDrawingOption(bool accelerated);
std::string GetOpenGLVersionNumber();
int32_t DetermineOpenGLVendor();
// The vendor of a vendor string (the upper-cased string is searched for the known names).
int32_t VendorOfString(const std::string& vendor);
bool CharacterizeBestFormats(DrawingSettings* drawing);

uint32_t GetPreferredInternalFormat(const DrawingSettings& drawing);
uint32_t GetFramebufferPixelType(const DrawingSettings& drawing);

const char* DrawingOptionName(int32_t option);
std::string InternalFormatName(uint32_t format);
std::string PixelTypeName(uint32_t type);

// Writes the primary graphics adapter's identity (PCI ids from /sys/class/drm) to the log; when
// there is none, the current context's OpenGL vendor and renderer, and false.
bool ReportPrimaryGPU();

// The installation-time configuration: a hidden context decides whether the machine draws with
// acceleration, and the stored option is made valid for it. `productVersion` is stored as the
// installed version. False (reported) when no context could be made or the setting not written.
bool RunInstallConfiguration(const char* productVersion, const PixelFormatRules& rules);

}  // namespace lumeray
