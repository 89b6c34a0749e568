// Texture sets: a picture larger than the largest texture is held as a grid of tiles, each its
// own 2D texture, neighbours overlapping by two pixels, with one quad per tile. A set is filled
// from a working image, from the frame buffer (or a frame buffer object) or from a screen
// bitmap, and drawn with the current model-view matrix (scaled sets by 1 / scale).
//
// Tile geometry: tiles start every (W - 2) columns and (H - 2) rows; a tile's content is
// min(W, right - x) x min(H, bottom - y). Texture coordinates and positions are inset by one
// pixel on every edge that is not an edge of the subdivided rectangle, so each picture pixel is
// drawn by exactly one tile. With power-of-two textures a tile's texture is the smallest power
// of two not below its content (the rest of the texture is never sampled).
//
// Vertex data: per tile four vertices {s, t, x, y} as doubles (32 bytes), in a vertex buffer
// object when the drawing settings allow, else drawn from memory. Pixel data pass through a
// pixel buffer object when allowed. Tiles are reused between fills: storage is re-specified only
// when a tile must grow.
//
// Threading contract: a set belongs to the drawing thread whose context made it; every call
// needs that context current.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "gl/display_gamma.h"
#include "gl/drawing_settings.h"
#include "gl/shader_programs.h"
#include "image/image_record.h"

namespace lumeray {

struct TextureTile {
  uint32_t texture = 0;
  ImageRect imageRect{};
  int32_t width = 0;
  int32_t height = 0;
  ImageRect textureRect{};
  int32_t textureWidth = 0;
  int32_t textureHeight = 0;
  bool needsAllocation = true;
};

struct TextureVertex {
  double s, t, x, y;
};

enum TextureSetKind { kHostImageSet, kEffectsSet, kSplashSet, kCompositeSet };

struct TextureSet {
  int32_t tileCount = 0;
  int32_t filters[4] = {0, 0, 0, 0};  // magnify, minify, wrap s, wrap t
  ImageRect bounds{};
  uint32_t frameBuffer = 0;
  int32_t maxViewport[2] = {0, 0};
  uint32_t renderBuffer = 0;
  int32_t renderBufferSize[2] = {0, 0};
  uint32_t vertexBuffer = 0;
  uint32_t vertexBufferUsage = 0;
  bool vertexBufferFullUpload = true;
  uint32_t pixelBuffer = 0;
  uint32_t pixelBufferUsage = 0;
  uint64_t pixelBufferSize = 0;
  bool scaled = false;
  bool flipVertical = false;
  bool gammaOnProcessor = false;
  bool precise = false;  // frame buffer and tiles in the drawing settings' precision format
  bool opaque = false;   // the last fill from an image had full alpha everywhere
  int32_t width = 0;
  int32_t height = 0;
  double scaleX = 1.0;
  double scaleY = 1.0;
  std::vector<TextureVertex> vertices;  // 4 per tile
  std::vector<TextureTile> tiles;
  std::vector<uint8_t> padded;
};

// Everything a drawing thread's sets share: the settings, the shader and the half-float tables.
struct TextureEngine {
  const DrawingSettings* drawing = nullptr;
  ShaderState* shader = nullptr;  // null or without a program: draw without shader
  std::unique_ptr<HalfFloatTables> halfTables;
};

struct TileSize {
  int32_t width;
  int32_t height;
};

TileSize GetMaximumTextureSize(const TextureEngine& engine, bool powerOfTwoOnly,
                               bool limitByViewport);
// The smallest power of two not below `size` (2 .. 2^24).
int32_t PowerOfTwoAtLeast(int32_t size);
// The largest power of two not above `size` (at least 2).
int32_t PowerOfTwoAtMost(int32_t size);

bool SubdivideImage(const TextureEngine& engine, const ImageRect& rect, TextureSet* set,
                    TileSize tile);

// Makes the set's buffer objects and filters for its kind (the drawing settings decide which).
bool CreateTextureSetResources(const TextureEngine& engine, TextureSetKind kind, TextureSet* set);
void DestroyTextureSet(TextureSet* set);

// offsetX/Y: the view's scroll offset; zoom: percent / 100.
bool CreateTextureSetFromImage(const TextureEngine& engine, const ImageRect& rect, TextureSet* set,
                               const ImageRecord& image, double scaleX, double scaleY,
                               int32_t offsetX, int32_t offsetY, double zoom);
// Reads `rect` of the current frame buffer (drawableHeight: of the drawable, to count rows from
// its bottom), applying the display gamma on the processor when the set asks for it.
bool CreateTextureSetFromFramebuffer(const TextureEngine& engine, const ImageRect& rect,
                                     int32_t drawableHeight, TextureSet* set);
// The whole of a BGRA bottom-up bitmap, at scale 1.
bool CreateTextureSetFromBitmap(const TextureEngine& engine, const ScreenBitmap& bitmap,
                                TextureSet* set);

bool UpdateVertexBuffer(TextureSet* set);
// Draws every tile (white, blend one/zero), with the proxy shader when `withShader` and one exists.
bool DrawImageTextureSet(const TextureEngine& engine, TextureSet* set, bool withShader);

// The internal format and the read-back pixel type of a set filled from a frame buffer.
uint32_t FramebufferSetFormat(const DrawingSettings& drawing, const TextureSet& set);
uint32_t FramebufferSetPixelType(const DrawingSettings& drawing, const TextureSet& set);

bool AttachFBOWithRenderBuffer(const TextureEngine& engine, TextureSet* set, int32_t width,
                               int32_t height);
void DetachFBO(TextureSet* set);

}  // namespace lumeray
