#include "preview/effect_quads.h"

#include <GL/glew.h>

#include <algorithm>
#include <cmath>
#include <cstring>

#include "analysis/analysis_run_state.h"
#include "analysis/master_light_source_table.h"
#include "analysis/presence_threshold.h"
#include "diagnostics/message_report.h"
#include "effects/color_saturation.h"
#include "effects/effect_shape_parameters.h"
#include "effects/effects_pass.h"
#include "effects/soft_flare_builder.h"
#include "effects/spike.h"
#include "effects/spike_distance_tables.h"
#include "effects/spike_layouts.h"
#include "effects/star_settings.h"
#include "preview/gl_check.h"

namespace lumeray {
namespace {

constexpr double kUnitColour = 16777215.0;  // 0xFFFFFF: white
constexpr double kFractionScale = 4294967294.0;
constexpr int32_t kRightAngle = 900;  // tenths of a degree: a spike pointing right
constexpr double kSpikeHalfStep = 0.5 / 255.0;
constexpr double kFlareHalfStep = 0.5 / 4095.0;

// Whether the fields at the given offsets differ (all fields are int16_t but the listed extras).
bool Differ(const ParameterSetBuffer& a, const ParameterSetBuffer& b,
            std::initializer_list<int16_t ParameterSet::*> fields) {
  for (auto f : fields) {
    if (a.parameters.*f != b.parameters.*f) return true;
  }
  return false;
}

using P = ParameterSetBuffer;

bool SameRect(const ImageRect& a, const ImageRect& b) {
  return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

bool CommonChanged(const P& a, const P& b) {
  return a.view.monitor != b.view.monitor ||
         a.view.lightSourceGeneration != b.view.lightSourceGeneration;
}

// A sub-shape of its own, freed with the object.
struct OwnSubShape {
  SubShape sub;
  ~OwnSubShape() { DeallocateBuffer(&sub.entries); }
};

// The shape of one family at phase (0, 0) (the exact centre on the centre pixel's corner).
bool RasterizeFamilyShape(int family, const P& snapshot, const RenderImageFacts& facts,
                          OwnSubShape* shape) {
  // Fainter than the level textures can show is dropped: 1/256 of the threshold's tail.
  const uint32_t threshold = std::max<uint32_t>(facts.presenceThreshold >> 8, 1);
  if (family == kSoftFlare) {
    EffectShapeParameters parameters{snapshot, facts, nullptr};
    parameters.image.presenceThreshold = threshold;
    EffectShape flare;
    flare.builder = &BuildSoftFlareSubShape;
    flare.parameters = &parameters;
    const bool ok = BuildSoftFlareSubShape(&flare, 0, 0);
    if (ok) std::swap(shape->sub, flare.subShapes[0]);
    ReleaseEffectShape(&flare);
    return ok;
  }
  const StarSettings settings =
      MakeStarSettings(snapshot, facts.diagonal, threshold, facts.grayHost);
  // Only this family's fall-off table (a slider move rebuilds one family, and the tables' powers
  // are most of the rasterising time) and the colours along it.
  const bool main = family == kMainSpikes;
  SpikeDistanceTables tables;
  FallOffTable& own = main ? tables.primary : tables.secondary;
  uint32_t largest = 0;
  for (const SpikeRay& ray : main ? LayOutPrimarySpikes(settings) : LayOutSecondarySpikes(settings))
    largest = std::max(largest, ray.amplitude);
  own = BuildFallOffTable(settings, main ? settings.length : settings.secondaryLength,
                          main ? settings.intensity : settings.secondaryIntensity, largest);
  tables.rainbow.resize(own.factors.size());
  for (size_t d = 0; d < tables.rainbow.size(); ++d) {
    tables.rainbow[d] =
        RainbowColor(static_cast<uint32_t>(d), settings.diagonal, settings.rainbowIntensity,
                     settings.rainbowFrequency, settings.grayHost);
  }
  SpikeRasterizer spikes(settings, tables, &shape->sub, 0, 0);
  const bool ok = spikes.Draw(kRightAngle, main ? settings.slope : settings.secondarySlope,
                              main ? tables.primary : tables.secondary, kShapeFractionOne);
  spikes.StoreBox();
  return ok;
}

// Level L of the shape as 16-bit RGBA: min(1, colour x value x 2^L) per channel.
// `reach` receives, by distance from the centre (along the spike; the larger of the two axis
// distances for the flare), the brightest texel at that distance or farther, 0..1.
// `pixels` holds rows of `stride` pixels (the texture's width: the margin stays transparent).
void FillLevelImage(const SubShape& sub, int level, int32_t width, int32_t height, int32_t stride,
                    int32_t rows, bool radial, std::vector<uint16_t>* pixels,
                    std::vector<float>* reach) {
  const int32_t farthest =
      radial ? std::max({-sub.left, sub.right, -sub.top, sub.bottom}) : std::max(sub.right, 1);
  reach->assign(static_cast<size_t>(farthest) + 1, 0.0f);
  pixels->assign(static_cast<size_t>(stride) * rows * 4, 0);
  const double gain = std::ldexp(1.0, level) * 65535.0 / kFractionScale / kFractionScale;
  for (uint32_t i = 0; i < sub.entryCount; ++i) {
    const SubShapeEntry& e = sub.data()[i];
    const int32_t x = e.dx - sub.left, y = e.dy - sub.top;
    if (x < 0 || y < 0 || x >= width || y >= height) continue;
    uint16_t* p = pixels->data() + (static_cast<size_t>(y) * stride + x) * 4;
    const uint32_t channels[3] = {e.red, e.green, e.blue};
    for (int c = 0; c < 3; ++c) {
      const double v = std::min(65535.0, double(channels[c]) * double(e.value) * gain + 0.5);
      p[c] = static_cast<uint16_t>(std::max<double>(p[c], v));
    }
    p[3] = 65535;
    const int32_t d = radial ? std::max(std::abs(int32_t{e.dx}), std::abs(int32_t{e.dy}))
                             : std::max<int32_t>(e.dx, 0);
    float& r = (*reach)[static_cast<size_t>(std::min(d, farthest))];
    r = std::max(r, std::max({p[0], p[1], p[2]}) / 65535.0f);
  }
  for (size_t d = reach->size() - 1; d-- > 0;) (*reach)[d] = std::max((*reach)[d], (*reach)[d + 1]);
}

bool LoadEffectShapeTextures(EffectFamilies* families, int family, const P& snapshot) {
  GLEffectShape& shape = families->family[family];
  OwnSubShape sub;
  if (families->analysis == nullptr) {  // no run: no light sources to draw
    shape.hasShape = false;
    return true;
  }
  if (!RasterizeFamilyShape(family, snapshot, CurrentRenderImageFacts(*families->analysis), &sub))
    return false;
  ++shape.textureBuilds;
  // Clamped to half the largest texture on each side of the centre.
  const TileSize most = GetMaximumTextureSize(*families->engine, false, false);
  ImageRect box{std::max(sub.sub.left, -most.width / 2), std::max(sub.sub.top, -most.height / 2),
                std::min(sub.sub.right, most.width / 2), std::min(sub.sub.bottom, most.height / 2)};
  shape.hasShape = sub.sub.entryCount > 0 && box.right > box.left && box.bottom > box.top;
  shape.box = box;
  if (!shape.hasShape) return true;
  sub.sub.left = box.left, sub.sub.top = box.top;
  int32_t width = box.right - box.left, height = box.bottom - box.top;
  const bool pot = families->engine->drawing->mustUsePowerOfTwo;
  const int32_t texW = pot ? PowerOfTwoAtLeast(width) : width;
  const int32_t texH = pot ? PowerOfTwoAtLeast(height) : height;
  std::vector<uint16_t>& pixels = families->levelPixels;
  const GLint internalFormat =
      families->precise ? GLint(families->engine->drawing->precisionFormat.internalFormat)
                        : GL_RGBA8;
  glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
  glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
  for (int level = 0; level < kBrightnessLevels; ++level) {
    glBindTexture(GL_TEXTURE_2D, shape.textures[level]);
    if (shape.textureWidth[level] < texW || shape.textureHeight[level] < texH) {
      glTexImage2D(GL_TEXTURE_2D, 0, internalFormat, texW, texH, 0, GL_RGBA, GL_UNSIGNED_SHORT,
                   nullptr);
      shape.textureWidth[level] = texW;
      shape.textureHeight[level] = texH;
    }
    // The whole texture: a smaller shape leaves a transparent margin in a larger one.
    const int32_t tw = shape.textureWidth[level], th = shape.textureHeight[level];
    FillLevelImage(sub.sub, level, width, height, tw, th, family == kSoftFlare, &pixels,
                   &shape.reach[level]);
    const GLsizeiptr bytes = static_cast<GLsizeiptr>(pixels.size() * sizeof(uint16_t));
    const void* data = pixels.data();
    if (families->pixelBuffer != 0) {
      glBindBuffer(GL_PIXEL_UNPACK_BUFFER, families->pixelBuffer);
      if (families->pixelBufferSize < static_cast<uint64_t>(bytes)) {
        glBufferData(GL_PIXEL_UNPACK_BUFFER, bytes, data, GL_STREAM_DRAW);
        families->pixelBufferSize = static_cast<uint64_t>(bytes);
      } else {
        glBufferSubData(GL_PIXEL_UNPACK_BUFFER, 0, bytes, data);
      }
      data = nullptr;
      if (!CheckPreviewGL(
              __LINE__, "LoadShapeTexture() - Failed to copy texture into pixel buffer object.")) {
        glBindBuffer(GL_PIXEL_UNPACK_BUFFER, 0);
        return false;
      }
    }
    glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, tw, th, GL_RGBA, GL_UNSIGNED_SHORT, data);
    if (families->pixelBuffer != 0) glBindBuffer(GL_PIXEL_UNPACK_BUFFER, 0);
  }
  glBindTexture(GL_TEXTURE_2D, 0);
  return CheckPreviewGL(__LINE__,
                        "LoadShapeTexture() - Load of effect texture bitmap into OpenGL failed.");
}

// The distance within which a texel times `colour` still reaches `halfStep` (0 when none does).
int32_t Extent(const std::vector<float>& reach, double colour, double halfStep) {
  if (reach.empty() || reach[0] * colour < halfStep) return 0;
  const auto first = std::partition_point(reach.begin(), reach.end(),
                                          [&](float r) { return r * colour >= halfStep; });
  return static_cast<int32_t>(first - reach.begin());
}

// Appends one quad; false (with the low-memory warning) when memory ran out.
bool AddShapeQuad(GLEffectShape* shape, int level, const EffectVertex corners[4]) {
  try {
    if (shape->chunks.empty() || shape->chunks.back().vertices.size() + 4 > kChunkVertices) {
      shape->chunks.emplace_back();
      shape->chunks.back().vertices.reserve(4096);
    }
    EffectChunk& chunk = shape->chunks.back();
    const auto first = static_cast<uint16_t>(chunk.vertices.size());
    chunk.vertices.insert(chunk.vertices.end(), corners, corners + 4);
    for (uint16_t i = 0; i < 4; ++i) chunk.indices[level].push_back(first + i);
  } catch (const std::bad_alloc&) {
    WarnLowMemory();
    return false;
  }
  ++shape->quadCount;
  return true;
}

// The spike rays of a family for the snapshot (one unrotated "ray" for the flare).
std::vector<SpikeRay> FamilyRays(int family, const P& snapshot, const RenderImageFacts& facts) {
  if (family == kSoftFlare)
    return {{kRightAngle, SoftFlareFactor(snapshot.parameters.SoftFlareIntensity)}};
  const StarSettings settings =
      MakeStarSettings(snapshot, facts.diagonal, facts.presenceThreshold, facts.grayHost);
  return family == kMainSpikes ? LayOutPrimarySpikes(settings) : LayOutSecondarySpikes(settings);
}

bool BuildEffectQuads(EffectFamilies* families, int family, const P& snapshot) {
  GLEffectShape& shape = families->family[family];
  const P wanted = FamilySnapshot(family, snapshot);
  if (family == kSoftFlare) {
    // The flare depends on the view: a changed visible area rebuilds it.
    if (shape.hasBuilt && !FamilyQuadsChanged(family, shape.built, wanted) &&
        SameRect(families->view, shape.builtView)) {
      return true;
    }
  } else if (shape.hasBuilt && !FamilyQuadsChanged(family, shape.built, wanted)) {
    return true;
  }
  if (!shape.hasBuilt || FamilyImageChanged(family, shape.built, wanted)) {
    if (!LoadEffectShapeTextures(families, family, snapshot)) return false;
  }
  shape.built = wanted;
  shape.hasBuilt = true;
  shape.builtView = families->view;
  ++shape.quadBuilds;
  shape.uploaded = false;
  shape.chunks.clear();
  shape.quadCount = 0;
  if (!shape.hasShape) return true;

  const RenderImageFacts facts = CurrentRenderImageFacts(*families->analysis);
  const std::vector<SpikeRay> rays = FamilyRays(family, snapshot, facts);
  const uint32_t cut = QuantityCut(snapshot.parameters.Quantity);
  const MasterLightSourceTable& table = families->analysis->master;
  const LightSourceEntry* entries = table.data();
  const ImageRect& view = families->view;
  const ImageRect& box = shape.box;
  // Spikes end at half an 8-bit step of linear light, about where the final render's spikes
  // end. The flare fades out much further: in a 16-bit frame its quads reach half a 12-bit
  // step, where their square edge is about 4/255 once encoded (out to half a 16-bit step it
  // would vanish, at twice the fill); an 8-bit frame ends them at half its own step.
  const double halfStep =
      family == kSoftFlare && families->precise ? kFlareHalfStep : kSpikeHalfStep;
  for (uint32_t i = 0; i < table.count; ++i) {
    const LightSourceEntry& entry = entries[i];
    if (!IsLightSourceVisible(entry, cut)) continue;
    const double cx = entry.x + entry.xFraction / 4.0, cy = entry.y + entry.yFraction / 4.0;
    if (family == kSoftFlare && (cx + box.right < view.left || cx + box.left > view.right ||
                                 cy + box.bottom < view.top || cy + box.top > view.bottom)) {
      continue;
    }
    const FractionColor c = SaturateColor({entry.red, entry.green, entry.blue},
                                          snapshot.parameters.ColorSaturation, facts.grayHost);
    const double colour[3] = {double(c.red), double(c.green), double(c.blue)};
    for (const SpikeRay& ray : rays) {
      // The preview's precision: the top 18 bits of the strength times the top 14 of the weight.
      const uint32_t w = (entry.strength >> 14) * (ray.amplitude >> 18);
      if (w <= facts.presenceThreshold) continue;
      double scaled[3];
      const int level = SelectSubShapeLevel(colour, w / 4294967296.0, scaled);
      const double angle = ray.angle * (M_PI / 1800.0);
      const double dx = std::sin(angle), dy = -std::cos(angle);  // along the spike
      const double nx = -dy, ny = dx;                            // across it
      // Only as far out as the texels can still show at this colour.
      const int32_t e =
          Extent(shape.reach[level], std::max({scaled[0], scaled[1], scaled[2]}), halfStep);
      if (e == 0) continue;
      const bool radial = family == kSoftFlare;
      const double u0 = radial ? std::max(box.left, -e) : box.left;
      const double u1 = std::min(box.right, radial ? e + 1 : e);
      const double v0 = radial ? std::max(box.top, -e) : box.top;
      const double v1 = radial ? std::min(box.bottom, e + 1) : box.bottom;
      const float tw = float(shape.textureWidth[level]), th = float(shape.textureHeight[level]);
      const float s0 = float(u0 - box.left) / tw, s1 = float(u1 - box.left) / tw;
      const float t0 = float(v0 - box.top) / th, t1 = float(v1 - box.top) / th;
      const double us[4] = {u0, u1, u1, u0};
      const double vs[4] = {v1, v1, v0, v0};
      const float ss[4] = {s0, s1, s1, s0};
      const float ts[4] = {t1, t1, t0, t0};
      EffectVertex corners[4];
      for (int k = 0; k < 4; ++k) {
        corners[k] = {float(scaled[0]),
                      float(scaled[1]),
                      float(scaled[2]),
                      1.0f,
                      ss[k],
                      ts[k],
                      float(cx + us[k] * dx + vs[k] * nx),
                      float(cy + us[k] * dy + vs[k] * ny)};
      }
      if (!AddShapeQuad(&shape, level, corners)) return true;  // the quads so far are drawn
    }
  }
  return true;
}

// Copies every chunk's vertices and index lists into its buffer objects (made as needed).
bool CopyShapeToBuffers(GLEffectShape* shape) {
  if (shape->buffers.size() < shape->chunks.size()) shape->buffers.resize(shape->chunks.size());
  for (size_t i = 0; i < shape->chunks.size(); ++i) {
    const EffectChunk& chunk = shape->chunks[i];
    ChunkBuffers& buffers = shape->buffers[i];
    if (buffers.vertices == 0) {
      glGenBuffers(1, &buffers.vertices);
      glGenBuffers(kBrightnessLevels, buffers.indices);
      if (!CheckPreviewGL(__LINE__,
                          "The Vertex Buffer Object does not exist and could not be created.")) {
        return false;
      }
    }
    glBindBuffer(GL_ARRAY_BUFFER, buffers.vertices);
    glBufferData(GL_ARRAY_BUFFER,
                 static_cast<GLsizeiptr>(chunk.vertices.size() * sizeof(EffectVertex)),
                 chunk.vertices.data(), GL_STREAM_DRAW);
    if (!CheckPreviewGL(__LINE__, "CopyShapeVerticesToVBO() - OpenGL function error detected.")) {
      glBindBuffer(GL_ARRAY_BUFFER, 0);
      return false;
    }
    for (int level = 0; level < kBrightnessLevels; ++level) {
      if (chunk.indices[level].empty()) continue;
      glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, buffers.indices[level]);
      glBufferData(GL_ELEMENT_ARRAY_BUFFER,
                   static_cast<GLsizeiptr>(chunk.indices[level].size() * sizeof(uint16_t)),
                   chunk.indices[level].data(), GL_STREAM_DRAW);
    }
  }
  glBindBuffer(GL_ARRAY_BUFFER, 0);
  glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, 0);
  return CheckPreviewGL(__LINE__, "CopyShapeIndexArraysToVBO() - OpenGL function error detected.");
}

void DrawCompositeOpenGLShape(const GLEffectShape& shape) {
  for (size_t i = 0; i < shape.chunks.size(); ++i) {
    const EffectChunk& chunk = shape.chunks[i];
    const ChunkBuffers* buffers = shape.uploaded ? &shape.buffers[i] : nullptr;
    const auto* base =
        buffers != nullptr ? nullptr : reinterpret_cast<const uint8_t*>(chunk.vertices.data());
    if (buffers != nullptr) glBindBuffer(GL_ARRAY_BUFFER, buffers->vertices);
    glColorPointer(4, GL_FLOAT, sizeof(EffectVertex), base);
    glTexCoordPointer(2, GL_FLOAT, sizeof(EffectVertex), base + 16);
    glVertexPointer(2, GL_FLOAT, sizeof(EffectVertex), base + 24);
    for (int level = 0; level < kBrightnessLevels; ++level) {
      if (chunk.indices[level].empty()) continue;
      glBindTexture(GL_TEXTURE_2D, shape.textures[level]);
      const void* indices = chunk.indices[level].data();
      if (buffers != nullptr) {
        glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, buffers->indices[level]);
        indices = nullptr;
      }
      glDrawElements(GL_QUADS, static_cast<GLsizei>(chunk.indices[level].size()), GL_UNSIGNED_SHORT,
                     indices);
    }
  }
  glBindBuffer(GL_ARRAY_BUFFER, 0);
  glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, 0);
  glBindTexture(GL_TEXTURE_2D, 0);
  CheckPreviewGL(__LINE__, "DrawCompositeOpenGLShape() - OpenGL function error detected.");
}

}  // namespace

ParameterSetBuffer FamilySnapshot(int family, const ParameterSetBuffer& snapshot) {
  ParameterSetBuffer familySnapshot = snapshot;
  ParameterSet& p = familySnapshot.parameters;
  if (family == kMainSpikes) {
    if (p.SpikeSharpness > 50)
      p.SpikeSharpness = static_cast<int16_t>((p.SpikeSharpness - 2) * 105 / 100);
  } else if (family == kSecondarySpikes) {
    p.Intensity = p.SecondarySpikeIntensity;
    p.Length = static_cast<int16_t>(p.Length * 90 / 100);
    p.SpikeSharpness = static_cast<int16_t>(p.SpikeSharpness * 80 / 100);
  }
  return familySnapshot;
}

bool FamilyQuadsChanged(int family, const ParameterSetBuffer& a, const ParameterSetBuffer& b) {
  if (CommonChanged(a, b)) return true;
  switch (family) {
    case kMainSpikes:
      return a.parameters.EffectType != b.parameters.EffectType ||
             Differ(a, b,
                    {&ParameterSet::Quantity, &ParameterSet::Intensity, &ParameterSet::Length,
                     &ParameterSet::Angle, &ParameterSet::NumberOfPoints,
                     &ParameterSet::SpikeSharpness, &ParameterSet::ColorSaturation,
                     &ParameterSet::RainbowIntensity, &ParameterSet::RainbowFrequency});
    case kSecondarySpikes:
      return Differ(a, b,
                    {&ParameterSet::Quantity, &ParameterSet::Intensity, &ParameterSet::Length,
                     &ParameterSet::Angle, &ParameterSet::SpikeSharpness,
                     &ParameterSet::ColorSaturation, &ParameterSet::RainbowIntensity,
                     &ParameterSet::RainbowFrequency, &ParameterSet::SecondarySpikeIntensity});
    default:
      return Differ(a, b,
                    {&ParameterSet::Quantity, &ParameterSet::Intensity, &ParameterSet::Length,
                     &ParameterSet::ColorSaturation, &ParameterSet::SoftFlareIntensity});
  }
}

bool FamilyImageChanged(int family, const ParameterSetBuffer& a, const ParameterSetBuffer& b) {
  if (a.view.monitor != b.view.monitor) return true;
  if (family == kSoftFlare) return a.parameters.Length != b.parameters.Length;
  return Differ(a, b,
                {&ParameterSet::Intensity, &ParameterSet::Length, &ParameterSet::SpikeSharpness,
                 &ParameterSet::RainbowIntensity, &ParameterSet::RainbowFrequency});
}

int SelectSubShapeLevel(const double colour[3], double k, double scaled[3]) {
  const double m = std::max({colour[0], colour[1], colour[2]});
  int level = 0;
  if (m > kUnitColour) {
    while (level < kBrightnessLevels - 1 && m / kUnitColour * k > 1.0) {
      k /= 2.0;
      ++level;
    }
  }
  for (int c = 0; c < 3; ++c) scaled[c] = std::min(1.0, colour[c] / kUnitColour * k);
  return level;
}

bool InitializeFilterEffects(EffectFamilies* families, const TextureEngine* engine) {
  families->engine = engine;
  families->precise = engine->drawing->precisionFormat.internalFormat != 0;
  families->vertexBuffers = engine->drawing->useVertexBufferObjects;
  if (engine->drawing->usePixelBufferObjects) glGenBuffers(1, &families->pixelBuffer);
  const GLint filter = engine->drawing->accelerated ? GL_LINEAR : GL_NEAREST;
  for (GLEffectShape& shape : families->family) {
    shape = GLEffectShape{};
    glGenTextures(kBrightnessLevels, shape.textures);
    for (uint32_t texture : shape.textures) {
      glBindTexture(GL_TEXTURE_2D, texture);
      glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, filter);
      glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, filter);
      glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
      glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    }
  }
  glBindTexture(GL_TEXTURE_2D, 0);
  families->initialized =
      CheckPreviewGL(__LINE__, "OpenGL Function Failed in InitializeFilterEffects_OpenGL().");
  return families->initialized;
}

void DestroyFilterEffects(EffectFamilies* families) {
  if (!families->initialized) return;
  for (GLEffectShape& shape : families->family) {
    glDeleteTextures(kBrightnessLevels, shape.textures);
    for (ChunkBuffers& buffers : shape.buffers) {
      glDeleteBuffers(1, &buffers.vertices);
      glDeleteBuffers(kBrightnessLevels, buffers.indices);
    }
    shape = GLEffectShape{};
  }
  if (families->pixelBuffer != 0) glDeleteBuffers(1, &families->pixelBuffer);
  families->pixelBuffer = 0;
  families->pixelBufferSize = 0;
  CheckPreviewGL(__LINE__, "OpenGL Function Failed in DestroyFilterEffects_OpenGL().");
  families->initialized = false;
}

bool RenderEffects(EffectFamilies* families, const ParameterSetBuffer& snapshot,
                   const ImageRect& view, const std::atomic<bool>* abort, bool withFlare) {
  if (!families->initialized) return false;
  families->view = view;
  for (int family = 0; family < kFamilyCount; ++family) {
    if (abort != nullptr && abort->load(std::memory_order_relaxed)) return false;
    if (!BuildEffectQuads(families, family, snapshot)) return false;
    GLEffectShape& shape = families->family[family];
    if (families->vertexBuffers && !shape.uploaded) shape.uploaded = CopyShapeToBuffers(&shape);
  }
  for (int family = 0; family < kFamilyCount; ++family) {
    if (family != kSoftFlare || withFlare) DrawEffectFamily(*families, family);
  }
  return true;
}

void DrawEffectFamily(const EffectFamilies& families, int family) {
  glEnableClientState(GL_COLOR_ARRAY);
  glEnableClientState(GL_VERTEX_ARRAY);
  glEnableClientState(GL_TEXTURE_COORD_ARRAY);
  glEnable(GL_TEXTURE_2D);
  DrawCompositeOpenGLShape(families.family[family]);
  glDisableClientState(GL_COLOR_ARRAY);
  glDisableClientState(GL_VERTEX_ARRAY);
  glDisableClientState(GL_TEXTURE_COORD_ARRAY);
}

double FlareHalfDistance(const EffectFamilies& families) {
  const GLEffectShape& flare = families.family[kSoftFlare];
  const std::vector<float>& reach = flare.reach[0];
  if (!flare.hasShape || reach.empty() || reach[0] <= 0.0f) return 0.0;
  const auto half =
      std::partition_point(reach.begin(), reach.end(), [&](float r) { return r >= reach[0] / 2; });
  return static_cast<double>(half - reach.begin());
}

}  // namespace lumeray
