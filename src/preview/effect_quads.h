// Effect preview drawing: the stars of the preview drawn on the graphics card.
//
// Three families (main spikes, secondary spikes, soft flare) each draw their shape once on the
// processor (the spike rasteriser for one spike pointing right, the soft flare builder for the
// flare) and keep it as nine textures, level L holding the shape at 2^L times unit brightness
// (channels clamp at 1.0, so brighter sources use higher levels and a weaker vertex colour).
// The textures have 16-bit channels where the drawing settings found a precision format (the
// frame is then composed in it too), else 8-bit ones. Every visible light source then becomes one
// textured, coloured quad per spike (one per flare); vertices go into chunks of at most
// kChunkVertices so that 16-bit indices reach them, and each chunk holds one index list per level.
//
// Rebuild rules: a family rebuilds its quads only when a field it depends on changed, and its
// textures only when a field that shapes its image changed (an Angle-only change rebuilds the
// main and secondary spike quads, no texture). Counters record both, for tests and logs.
//
// Quads end where their texels times their colour fall below half an 8-bit step of linear
// light (the flare's, in a 16-bit frame, half a 12-bit step), so faint sources and the faint
// secondary spikes fill little.
//
// With vertex buffer objects usable, each built chunk goes into buffer objects once and is
// drawn from there (an unchanged family is drawn again without sending its quads); level images
// go to their textures through a pixel buffer object when those are usable.
//
// Geometry: quads are in image pixel coordinates (x right, y down), the source's exact centre
// at (x + xFraction / 4, y + yFraction / 4); the caller's model-view maps them to the view.
// A spike of angle t (tenths of a degree, 0 up, clockwise) runs along (sin t, -cos t).
//
// Threading contract: an EffectFamilies record belongs to the drawing thread whose context is
// current; it reads the master light source table, which must not change while it builds.
#pragma once

#include <atomic>
#include <cstdint>
#include <vector>

#include "analysis/analysis_run_state.h"
#include "effects/parameter_set_buffer.h"
#include "gl/texture_set.h"

namespace lumeray {

inline constexpr int kBrightnessLevels = 9;
inline constexpr uint32_t kChunkVertices = 65532;

enum EffectFamily : int { kMainSpikes = 0, kSecondarySpikes = 1, kSoftFlare = 2, kFamilyCount = 3 };

struct EffectVertex {
  float r, g, b, a;
  float s, t;
  float x, y;
};
static_assert(sizeof(EffectVertex) == 32);

struct EffectChunk {
  std::vector<EffectVertex> vertices;
  std::vector<uint16_t> indices[kBrightnessLevels];  // 4 per quad, by level
};

// A chunk's buffer objects (with vertex buffers usable): its vertices and, by level, its indices.
struct ChunkBuffers {
  uint32_t vertices = 0;
  uint32_t indices[kBrightnessLevels] = {};
};

struct GLEffectShape {
  ParameterSetBuffer built{};  // the snapshot (after the family's changes) last built for
  bool hasBuilt = false;
  ImageRect builtView{};  // the visible image area of the last build (the flare depends on it)
  uint32_t textures[kBrightnessLevels] = {};
  int32_t textureWidth[kBrightnessLevels] = {};
  int32_t textureHeight[kBrightnessLevels] = {};
  ImageRect box{};  // the shape's extent around its centre (right, bottom exclusive)
  // Per level, by distance from the centre: the brightest texel at that distance or beyond
  // (quads of faint sources stop where their texels would round to nothing).
  std::vector<float> reach[kBrightnessLevels];
  bool hasShape = false;
  std::vector<EffectChunk> chunks;
  std::vector<ChunkBuffers> buffers;  // kept between builds, one per chunk as needed
  bool uploaded = false;              // the chunks are in their buffer objects
  uint32_t quadCount = 0;
  uint64_t textureBuilds = 0;  // times the level textures were made
  uint64_t quadBuilds = 0;     // times the quads were made
};

struct EffectFamilies {
  GLEffectShape family[kFamilyCount];
  const TextureEngine* engine = nullptr;
  // The run's analysis: the light sources and the presence threshold (null: no light sources).
  const AnalysisRunState* analysis = nullptr;
  // The visible image area (image pixels) of the last build; the soft flare skips sources
  // whose shape does not meet it.
  ImageRect view{};
  bool precise = false;        // 16-bit level textures, drawn into a 16-bit frame
  bool vertexBuffers = false;  // quads are drawn from buffer objects
  uint32_t pixelBuffer = 0;    // level images are uploaded through it (0: from memory)
  uint64_t pixelBufferSize = 0;
  std::vector<uint16_t> levelPixels;  // a level image being made (kept: no fresh pages each time)
  bool initialized = false;
};

// The family's view of a snapshot: the secondary family's Intensity, Length and SpikeSharpness
// are the secondary spikes' own; the main family's sharpness above 50 is stretched.
ParameterSetBuffer FamilySnapshot(int family, const ParameterSetBuffer& snapshot);
// Whether a field the family's quads (or its image) depend on differs.
bool FamilyQuadsChanged(int family, const ParameterSetBuffer& a, const ParameterSetBuffer& b);
bool FamilyImageChanged(int family, const ParameterSetBuffer& a, const ParameterSetBuffer& b);

// The level for a colour (24-bit scale, 0xFFFFFF white) at weight k (0..1): halves k while
// the colour times k exceeds white, at most 8 times. *scaled receives the colour times k.
int SelectSubShapeLevel(const double colour[3], double k, double scaled[3]);

bool InitializeFilterEffects(EffectFamilies* families, const TextureEngine* engine);
void DestroyFilterEffects(EffectFamilies* families);

// Builds what changed and draws every family (the flare only `withFlare`) into the current frame
// buffer with the current model-view (blend state set by the caller). `view` is the visible
// image area. False when a build failed or the abort flag was set.
bool RenderEffects(EffectFamilies* families, const ParameterSetBuffer& snapshot,
                   const ImageRect& view, const std::atomic<bool>* abort, bool withFlare = true);
// Draws one built family with the current model-view and blend state.
void DrawEffectFamily(const EffectFamilies& families, int family);
// How far (image pixels) from its centre the built soft flare falls to half its middle value
// (0 without a flare): a measure of how smooth it is.
double FlareHalfDistance(const EffectFamilies& families);

}  // namespace lumeray
