// The OpenGL engine on the machine's own EGL driver (Mesa's software rasteriser in CI): texture
// sets of known images drawn into bitmap contexts in every drawing option and under forced
// limits must read back as the image, with the display gamma from the shader and from the
// processor agreeing with the 1/2.2 power within one level.
#include <GL/glew.h>
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <thread>
#include <vector>

#include "gl/gl_session.h"
#include "gl/glew_records.h"
#include "image/gamma_tables.h"
#include "image/image_create.h"
#include "unit/effects/shape_test_support.h"
#include "unit/temp_home.h"

namespace lumeray {
namespace {

// Display encoding of a linear sample: the 1/2.2 power, scaled to 8 bits.
int Encoded(double linear) {
  return static_cast<int>(std::lround(255.0 * std::pow(linear, 1.0 / 2.2)));
}

// A deterministic pattern that differs from pixel to pixel and across tile seams.
uint16_t Pattern(int x, int y, int c, int maximum) {
  return static_cast<uint16_t>(((x * 37 + y * 101 + c * 53) * 977) % (maximum + 1));
}

struct Case {
  const char* name;
  int32_t option;
  bool assumeAccelerated;
  DrawingLimits limits;
  int32_t width, height;
  int32_t mode;
};

class TextureSetRoundTrip : public ::testing::TestWithParam<Case> {
 protected:
  void SetUp() override {
    const Case& c = GetParam();
    GlSessionRequest request;
    request.clientRect = {0, 0, c.width, c.height};
    request.rules.assumeAccelerated = c.assumeAccelerated;
    request.limits = c.limits;
    OpenGLSettings settings;
    settings.option = c.option;
    ASSERT_TRUE(StartGlSession(&session_, request, settings));
    ASSERT_EQ(session_.context.type, kContextBitmap);
    int code = 0;
    ASSERT_TRUE(CreateImage(&image_, {0, 0, c.width, c.height}, {0, 0, c.width, c.height}, c.mode,
                            nullptr, false, false, &code));
    maximum_ = image_.bytesPerSample == 1 ? 255 : 65535;
    for (int y = 0; y < c.height; ++y) {
      for (int x = 0; x < c.width; ++x) {
        for (int s = 0; s < 4; ++s) {
          const uint16_t v = Pattern(x, y, s, maximum_);
          if (maximum_ == 255) {
            PixelSamples<uint8_t>(image_, x, y)[s] = static_cast<uint8_t>(v);
          } else {
            PixelSamples<uint16_t>(image_, x, y)[s] = v;
          }
        }
      }
    }
  }
  void TearDown() override {
    ReleaseImage(&image_);
    EndGlSession(&session_);
  }

  // The image's sample of a BGRA channel (0 blue ... 3 alpha) on the 0..1 scale.
  double Sample(int x, int y, int bgra) const {
    if (maximum_ == 255) return PixelSamples<uint8_t>(image_, x, y)[bgra] / 255.0;  // B, G, R, A
    const int rgba = bgra == 3 ? 3 : 2 - bgra;
    return PixelSamples<uint16_t>(image_, x, y)[rgba] / 65535.0;
  }

  // Compares the bitmap with the image, colour samples passed through `encode`; counts
  // samples off by more than one level.
  int Mismatches(int (*encode)(double)) const {
    const ScreenBitmap& bitmap = *session_.context.bitmap;
    int bad = 0;
    for (int y = 0; y < bitmap.height; ++y) {
      for (int x = 0; x < bitmap.width; ++x) {
        const uint8_t* got = bitmap.PixelFromTop(x, y);
        for (int s = 0; s < 4; ++s) {
          const double v = Sample(x, y, s);
          const int want = s == 3 ? static_cast<int>(std::lround(v * 255)) : encode(v);
          if (std::abs(got[s] - want) > 1 && ++bad < 4) {
            ADD_FAILURE() << "at " << x << "," << y << " channel " << s << ": " << int(got[s])
                          << " vs " << want;
          }
        }
      }
    }
    return bad;
  }

  void DrawFrame(TextureSet* set, bool withShader) {
    glClearColor(0, 0, 0, 0);
    glClear(GL_COLOR_BUFFER_BIT);
    ASSERT_TRUE(DrawImageTextureSet(session_.engine, set, withShader));
    ASSERT_TRUE(PresentFrame(&session_.context));
  }

  GlSession session_;
  ImageRecord image_;
  int maximum_ = 255;
};

int Plain(double v) {
  return static_cast<int>(std::lround(v * 255));
}

// Samples of `after` further than one level from the display encoding of `before` (colour) or
// from `before` itself (alpha).
int GammaMismatches(const std::vector<uint8_t>& before, const std::vector<uint8_t>& after) {
  int bad = 0;
  for (size_t i = 0; i < before.size(); ++i) {
    const int want = i % 4 == 3 ? before[i] : Encoded(before[i] / 255.0);
    bad += std::abs(after[i] - want) > 1;
  }
  return bad;
}

TEST_P(TextureSetRoundTrip, DrawsTheImageAndItsDisplayGamma) {
  const Case& c = GetParam();
  const ImageRect rect = {0, 0, c.width, c.height};
  TextureSet set;
  ASSERT_TRUE(CreateTextureSetResources(session_.engine, kHostImageSet, &set));
  ASSERT_TRUE(CreateTextureSetFromImage(session_.engine, rect, &set, image_, 1.0, 1.0, 0, 0, 1.0));
  if (c.limits.maxTextureSize > 0) {
    EXPECT_GT(set.tileCount, 1);
  }
  DrawFrame(&set, false);
  EXPECT_EQ(Mismatches(Plain), 0) << "plain";

  // A second fill reuses the tiles in place.
  ASSERT_TRUE(CreateTextureSetFromImage(session_.engine, rect, &set, image_, 1.0, 1.0, 0, 0, 1.0));
  DrawFrame(&set, false);
  EXPECT_EQ(Mismatches(Plain), 0) << "refilled";

  if (session_.shader.type != SHADER_TYPE_NONE) {
    EXPECT_EQ(session_.shader.type, c.limits.arbShaders ? SHADER_TYPE_ARB : SHADER_TYPE_GLSL);
    DrawFrame(&set, true);
    EXPECT_EQ(Mismatches(Encoded), 0) << "gamma on the GPU";
  }

  // The frame read back into the composite set with the gamma applied on the processor.
  DrawFrame(&set, false);
  const std::vector<uint8_t> frame = session_.context.bitmap->bits;
  TextureSet composite;
  composite.gammaOnProcessor = true;
  ASSERT_TRUE(CreateTextureSetResources(session_.engine, kCompositeSet, &composite));
  EXPECT_EQ(composite.frameBuffer != 0, session_.drawing.useFrameBufferObjects);
  if (composite.frameBuffer != 0) {
    // Composed off screen in the set's frame buffer object, as the preview does.
    ASSERT_TRUE(AttachFBOWithRenderBuffer(session_.engine, &composite, c.width, c.height));
    glClear(GL_COLOR_BUFFER_BIT);
    ASSERT_TRUE(DrawImageTextureSet(session_.engine, &set, false));
  }
  ASSERT_TRUE(CreateTextureSetFromFramebuffer(session_.engine, rect, c.height, &composite));
  DetachFBO(&composite);
  DrawFrame(&composite, false);
  // Off screen the frame keeps the render buffer's precision (16 bits with option 1), on screen
  // the drawable's 8 bits.
  if (composite.frameBuffer != 0) {
    EXPECT_EQ(Mismatches(Encoded), 0) << "gamma on the processor";
  } else {
    EXPECT_EQ(GammaMismatches(frame, session_.context.bitmap->bits), 0) << "gamma on the processor";
  }
  DestroyTextureSet(&composite);
  DestroyTextureSet(&set);
}

DrawingLimits Limits(int32_t maxSize, bool bare) {
  DrawingLimits limits;
  limits.maxTextureSize = maxSize;
  limits.noShader = limits.noVertexBuffers = limits.noPixelBuffers = limits.noFrameBuffers =
      limits.powerOfTwo = bare;
  return limits;
}

DrawingLimits ArbLimits() {
  DrawingLimits limits;
  limits.arbShaders = true;
  return limits;
}

INSTANTIATE_TEST_SUITE_P(
    Options, TextureSetRoundTrip,
    ::testing::Values(
        Case{"Quality16", OPTIMIZE_FOR_QUALITY, true, {}, 300, 200, kImageModeRgb16},
        Case{"Speed", OPTIMIZE_FOR_SPEED, true, {}, 300, 200, kImageModeRgb8},
        Case{"Compatibility", OPTIMIZE_FOR_COMPATIBILITY, true, {}, 300, 200, kImageModeRgb8},
        Case{"None", OPTIMIZE_NONE, false, {}, 300, 200, kImageModeRgb8},
        Case{"Software", OPTIMIZE_FOR_SPEED, false, {}, 130, 70, kImageModeRgb8},
        Case{"Tiled", OPTIMIZE_FOR_SPEED, true, Limits(2048, false), 5000, 40, kImageModeRgb8},
        Case{"TiledBare", OPTIMIZE_FOR_SPEED, true, Limits(2048, true), 5000, 40, kImageModeRgb8},
        Case{"SmallTilesBare", OPTIMIZE_FOR_QUALITY, true, Limits(64, true), 300, 200,
             kImageModeRgb16},
        Case{"ArbShaders", OPTIMIZE_FOR_SPEED, true, ArbLimits(), 120, 90, kImageModeRgb8}),
    [](const ::testing::TestParamInfo<Case>& info) { return std::string(info.param.name); });

// A session of its own for the engine's smaller questions.
class GlEngine : public ::testing::Test {
 protected:
  void Start(int32_t option, bool accelerated, DrawingLimits limits = {}) {
    GlSessionRequest request;
    request.clientRect = {0, 0, 64, 64};
    request.rules.assumeAccelerated = accelerated;
    request.limits = limits;
    OpenGLSettings settings;
    settings.option = option;
    ASSERT_TRUE(StartGlSession(&session_, request, settings));
  }
  void TearDown() override { EndGlSession(&session_); }
  testing::TempHome home_;
  GlSession session_;
};

TEST_F(GlEngine, FacilitiesFollowTheDrawingOption) {
  struct Expect {
    int32_t option;
    bool accelerated;
    bool buffers;
  };
  for (const Expect& e :
       {Expect{OPTIMIZE_FOR_QUALITY, true, true}, Expect{OPTIMIZE_FOR_SPEED, true, true},
        Expect{OPTIMIZE_FOR_COMPATIBILITY, true, false}, Expect{OPTIMIZE_NONE, false, false},
        Expect{OPTIMIZE_FOR_SPEED, false, false}}) {
    SCOPED_TRACE(e.option);
    Start(e.option, e.accelerated);
    const DrawingSettings& d = session_.drawing;
    EXPECT_EQ(d.useShaderProgram, e.buffers);
    EXPECT_EQ(d.useVertexBufferObjects, e.buffers);
    EXPECT_EQ(d.usePixelBufferObjects, e.buffers);
    EXPECT_EQ(d.useFrameBufferObjects, e.buffers);
    EXPECT_EQ(d.mustUsePowerOfTwo, !e.buffers);  // the driver has textures of any size
    EXPECT_EQ(d.useOffscreenBitmap, !e.accelerated);
    EXPECT_EQ(session_.shader.type != SHADER_TYPE_NONE, e.buffers);
    if (!e.buffers) {  // without a program, shader calls answer as if none were active
      EXPECT_TRUE(MakeShaderProgramActive(&session_.shader, 0));
      EXPECT_FALSE(SetProxyShaderGamma(&session_.shader, 0.5f));
    }
    // Every machine here has 8-bit RGBA textures.
    EXPECT_EQ(d.formats[0].pixelDepth, 4u);
    EXPECT_EQ(d.formats[0].dataType, static_cast<uint32_t>(GL_UNSIGNED_BYTE));
    EndGlSession(&session_);
  }
}

TEST_F(GlEngine, AShaderThatFailsToCompileIsDeletedAndNotMadeActive) {
  Start(OPTIMIZE_FOR_SPEED, true);
  testing::ReportCapture reports;
  ShaderState state;
  ASSERT_TRUE(SelectShaderExtension(&state, session_.drawing));
  ShaderSource broken = {GL_FRAGMENT_SHADER, "void main() { this is not GLSL }", 1, 0, 0};
  ShaderProgram list[1] = {{kProxyProgram,
                            SHADER_TYPE_GLSL,
                            {1, 10, 0},
                            {-1, -1, -1},
                            {nullptr, nullptr},
                            {&broken, nullptr},
                            0,
                            0,
                            false,
                            0}};
  ASSERT_TRUE(AddShaderProgram(&state, list, 1));
  EXPECT_FALSE(CreateShaderProgram(&state));
  EXPECT_EQ(broken.glslShader, 0u);
  EXPECT_EQ(list[0].glslProgram, 0u);
  EXPECT_TRUE(reports.Has("failed to compile"));
  const size_t before = reports.Count("not recognized");
  EXPECT_FALSE(MakeShaderProgramActive(&state, kProxyProgram));
  EXPECT_EQ(reports.Count("not recognized"), before);
  DestroyAllShaderPrograms(&state);
}

TEST(GlContexts, TheFifthGlewRecordFailsAndItsContextIsReleased) {
  testing::ReportCapture reports;
  const PixelFormat format = SelectPixelFormat(nullptr, true, {});
  ASSERT_NE(format.index, 0);
  const int before = GlewRecordCount();
  std::vector<OpenGLContext> contexts(kGlewRecordCapacity - before);
  for (OpenGLContext& context : contexts)
    ASSERT_TRUE(CreateBitmapContextWithBitmap(&context, {0, 0, 8, 8}, format));
  OpenGLContext fifth;
  EXPECT_FALSE(CreateBitmapContextWithBitmap(&fifth, {0, 0, 8, 8}, format));
  EXPECT_EQ(fifth.type, kContextNone);
  EXPECT_EQ(eglGetCurrentContext(), EGL_NO_CONTEXT);
  EXPECT_TRUE(reports.Has("CreateGLEWContext() - The GLEW context descriptor array is full."));
  EXPECT_EQ(GlewRecordCount(), kGlewRecordCapacity);
  for (OpenGLContext& context : contexts) ReleaseOpenGLContext(&context);
  EXPECT_EQ(GlewRecordCount(), before);
  // A released (empty) record is only reported.
  ReleaseOpenGLContext(&fifth);
  EXPECT_TRUE(reports.Has("ReleaseOpenGLContext() - Invalid OpenGLContext specified."));
}

TEST(GlContexts, ContextsWithoutAWindowOrDisplayFailCleanly) {
  testing::ReportCapture reports;
  OpenGLContext context;
  EXPECT_FALSE(CreateScreenContext(&context, nullptr, 0, {0, 0, 8, 8}, PixelFormat{}));
  EXPECT_FALSE(CreateBitmapContext(&context, {0, 0, 8, 8}, PixelFormat{}, nullptr));
  EXPECT_EQ(context.type, kContextNone);
  EXPECT_EQ(glewGetContext(), nullptr);
  EXPECT_EQ(GetOpenGLVersionNumber(), "");
  EXPECT_EQ(ChooseDefaultDrawingOption(true), OPTIMIZE_NOT_SET);
  EXPECT_EQ(ChooseDefaultDrawingOption(false), OPTIMIZE_NONE);
}

TEST(GlContexts, TwoThreadsDrawInTheirOwnContextsAtOnce) {
  auto draw = [](uint8_t shade, bool* ok) {
    GlSession session;
    GlSessionRequest request;
    request.clientRect = {0, 0, 32, 16};
    request.rules.assumeAccelerated = true;
    OpenGLSettings settings;
    settings.option = OPTIMIZE_FOR_SPEED;
    if (!StartGlSession(&session, request, settings)) return;
    ScreenBitmap picture;
    picture.Resize(32, 16);
    std::fill(picture.bits.begin(), picture.bits.end(), shade);
    TextureSet set;
    *ok = CreateTextureSetResources(session.engine, kSplashSet, &set) &&
          CreateTextureSetFromBitmap(session.engine, picture, &set) &&
          DrawImageTextureSet(session.engine, &set, false) && PresentFrame(&session.context) &&
          session.context.bitmap->bits == picture.bits;
    DestroyTextureSet(&set);
    EndGlSession(&session);
  };
  bool first = false, second = false;
  std::thread a(draw, 40, &first), b(draw, 200, &second);
  a.join();
  b.join();
  EXPECT_TRUE(first);
  EXPECT_TRUE(second);
}

TEST(GlslVersion, TheDriversVersionStringsParse) {
  struct Row {
    const char* text;
    bool parses;
    GLSLVersion version;
    bool suitsProxy;  // at least 1.10
  };
  const Row rows[] = {
      {"1.51", true, {1, 0, 0}, false},  // read as 1.0
      {"4.20 NVIDIA via Cg compiler", true, {4, 20, 0}, true},
      {"1.10.59", true, {1, 10, 59}, true},
      {"4", false, {}, false},
      {"OpenGL ES GLSL", false, {}, false},
  };
  ShaderProgram proxy = {
      kProxyProgram, SHADER_TYPE_GLSL, {1, 10, 0}, {-1, -1, -1}, {}, {}, 0, 0, false, 0};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.text);
    GLSLVersion version;
    ASSERT_EQ(ParseGLSLVersion(row.text, &version), row.parses);
    if (!row.parses) continue;
    EXPECT_EQ(version.major, row.version.major);
    EXPECT_EQ(version.minor, row.version.minor);
    EXPECT_EQ(version.release, row.version.release);
    EXPECT_EQ(VersionSuits(proxy, version), row.suitsProxy);
  }
  // A maximum bounds the range from above, level by level.
  ShaderProgram capped = proxy;
  capped.maximum = {3, 30, -1};
  EXPECT_TRUE(VersionSuits(capped, {3, 30, 7}));
  EXPECT_FALSE(VersionSuits(capped, {3, 40, 0}));
  EXPECT_FALSE(VersionSuits(capped, {4, 0, 0}));
  EXPECT_FALSE(VersionSuits(capped, {-1, -1, -1}));
}

TEST(DisplayGamma, EveryPixelTypeEncodesColourAndKeepsAlpha) {
  const std::unique_ptr<HalfFloatTables> half = BuildHalfFloatTables();
  ASSERT_TRUE(half);
  for (float exact : {0.0f, 0.25f, 0.5f, 1.0f, 6.103515625e-05f, 65504.0f, -2.0f}) {
    EXPECT_EQ(HalfToFloat(*half, FloatToHalf(*half, exact)), exact);
  }
  for (int level = 0; level < 256; level += 15) {
    const double linear = level / 255.0;
    const int want = Encoded(linear);
    uint8_t bytes[4] = {uint8_t(level), uint8_t(level), uint8_t(level), uint8_t(level)};
    ASSERT_TRUE(ApplyDisplayGamma(bytes, GL_UNSIGNED_BYTE, 1, nullptr));
    uint16_t shorts[4] = {uint16_t(level * 257), 0, 0, uint16_t(level * 257)};
    ASSERT_TRUE(ApplyDisplayGamma(shorts, GL_UNSIGNED_SHORT, 1, nullptr));
    float floats[4] = {float(linear), 0, 0, 0.5f};
    ASSERT_TRUE(ApplyDisplayGamma(floats, GL_FLOAT, 1, nullptr));
    uint16_t halves[4] = {FloatToHalf(*half, float(linear)), 0, 0, FloatToHalf(*half, 0.5f)};
    ASSERT_TRUE(ApplyDisplayGamma(halves, GL_HALF_FLOAT, 1, half.get()));
    EXPECT_NEAR(bytes[0], want, 1) << level;
    EXPECT_EQ(bytes[3], level);
    EXPECT_NEAR(shorts[0] / 257.0, want, 1) << level;
    EXPECT_EQ(shorts[3], level * 257);
    EXPECT_NEAR(floats[0] * 255, want, 1) << level;
    EXPECT_EQ(floats[3], 0.5f);
    EXPECT_NEAR(HalfToFloat(*half, halves[0]) * 255, want, 1) << level;
  }
  float outOfRange[4] = {-1.0f, 7.0f, NAN, 1.0f};
  ASSERT_TRUE(ApplyDisplayGamma(outOfRange, GL_FLOAT, 1, nullptr));
  EXPECT_EQ(outOfRange[0], 0.0f);
  EXPECT_EQ(outOfRange[1], 1.0f);
  uint8_t any[4] = {};
  EXPECT_FALSE(ApplyDisplayGamma(any, GL_INT, 1, nullptr));
  ReleaseGammaTables();
}

}  // namespace
}  // namespace lumeray
