#include "gl/texture_set.h"

#include <GL/glew.h>

#include <algorithm>
#include <cstring>
#include <string>

#include "diagnostics/message_report.h"
#include "gl/glew_records.h"

namespace lumeray {
namespace {

constexpr int32_t kSmallestProbedSize = 64;
constexpr int32_t kLargestPowerOfTwo = 1 << 24;

// Reports `text` with the pending OpenGL error, when there is one; true when there was none.
bool CheckGL(uint32_t line, const char* text, const char* title = kTitleDebugUnexpectedError) {
  const uint32_t error = TakeGLError();
  if (error == 0) return true;
  OpenGLMessageReport(line, kMessageOpenGLError, error).Report(kIconError, title, "%s", text);
  return false;
}

int64_t BytesPerPixel(const ImageRecord& image) {
  return image.bytesPerSample * kSamplesPerPixel;
}

const uint8_t* PixelBytes(const ImageRecord& image, int32_t x, int32_t y) {
  return static_cast<const uint8_t*>(image.pixels.data) +
         PixelIndex(image, x, y) * BytesPerPixel(image);
}

// Whether every pixel of `r` has the largest alpha its sample type holds (the fourth sample).
bool ExcerptOpaque(const ImageRecord& image, const ImageRect& r) {
  const size_t width = static_cast<size_t>(r.right - r.left);
  for (int32_t y = r.top; y < r.bottom; ++y) {
    const uint8_t* row = PixelBytes(image, r.left, y);
    bool opaque = true;
    switch (image.glPixelType) {
      case GL_UNSIGNED_BYTE:
        for (size_t x = 0; x < width; ++x) opaque &= row[x * 4 + 3] == 0xFF;
        break;
      case GL_UNSIGNED_SHORT: {
        const auto* p = reinterpret_cast<const uint16_t*>(row);
        for (size_t x = 0; x < width; ++x) opaque &= p[x * 4 + 3] == 0xFFFF;
        break;
      }
      case GL_UNSIGNED_INT: {
        const auto* p = reinterpret_cast<const uint32_t*>(row);
        for (size_t x = 0; x < width; ++x) opaque &= p[x * 4 + 3] == 0xFFFFFFFFu;
        break;
      }
      case GL_FLOAT: {
        const auto* p = reinterpret_cast<const float*>(row);
        for (size_t x = 0; x < width; ++x) opaque &= p[x * 4 + 3] >= 1.0f;
        break;
      }
      default:
        return false;
    }
    if (!opaque) return false;
  }
  return true;
}

uint32_t BytesPerPixelOfType(uint32_t type) {
  switch (type) {
    case GL_UNSIGNED_SHORT:
    case GL_HALF_FLOAT:
      return 8;
    case GL_FLOAT:
      return 16;
    default:
      return 4;
  }
}

void BindFramebuffer(uint32_t fbo) {
  glBindFramebuffer(GL_FRAMEBUFFER, fbo);
}

// Grows the set's pixel buffer to `bytes` (bound to `target` on return).
void GrowPixelBuffer(TextureSet* set, GLenum target, uint64_t bytes) {
  glBindBuffer(target, set->pixelBuffer);
  if (set->pixelBufferSize < bytes) {
    glBufferData(target, static_cast<GLsizeiptr>(bytes), nullptr, set->pixelBufferUsage);
    set->pixelBufferSize = bytes;
  }
}

// Specifies or replaces one tile's texture from `data` rows of `rowLength` pixels (the unpack
// state is set by the caller), padding power-of-two storage by repeating the edge pixels.
bool FillTile(TextureSet* set, TextureTile& tile, GLenum internalFormat, GLenum format, GLenum type,
              const uint8_t* data, int64_t rowLength, uint32_t pixelBytes, bool fromBuffer) {
  glBindTexture(GL_TEXTURE_2D, tile.texture);
  if (!tile.needsAllocation) {
    glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, tile.width, tile.height, format, type, data);
    return CheckGL(__LINE__, "CreateTextureSetFromImage() - glTexSubImage2D Failed");
  }
  if (tile.textureWidth == tile.width && tile.textureHeight == tile.height) {
    glTexImage2D(GL_TEXTURE_2D, 0, static_cast<GLint>(internalFormat), tile.width, tile.height, 0,
                 format, type, data);
    if (!CheckGL(__LINE__, "CreateTextureSetFromImage() - glTexImage2D Failed")) return false;
  } else if (fromBuffer) {
    // Storage first, content second: the padding is never sampled.
    glTexImage2D(GL_TEXTURE_2D, 0, static_cast<GLint>(internalFormat), tile.textureWidth,
                 tile.textureHeight, 0, format, type, nullptr);
    glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, tile.width, tile.height, format, type, data);
    if (!CheckGL(__LINE__,
                 "CreateTextureSetFromImage() - glTexImage2D Failed to copy data directly from "
                 "image.")) {
      return false;
    }
  } else {
    // A padded copy whose spare columns and rows repeat the last ones, so that a linear filter at
    // the content's edge sees the picture's own colour.
    const size_t row = static_cast<size_t>(tile.textureWidth) * pixelBytes;
    set->padded.resize(row * static_cast<size_t>(tile.textureHeight));
    for (int32_t y = 0; y < tile.textureHeight; ++y) {
      const uint8_t* source =
          data + static_cast<size_t>(std::min(y, tile.height - 1)) * rowLength * pixelBytes;
      uint8_t* target = set->padded.data() + static_cast<size_t>(y) * row;
      std::memcpy(target, source, static_cast<size_t>(tile.width) * pixelBytes);
      for (int32_t x = tile.width; x < tile.textureWidth; ++x) {
        std::memcpy(target + static_cast<size_t>(x) * pixelBytes,
                    source + static_cast<size_t>(tile.width - 1) * pixelBytes, pixelBytes);
      }
    }
    glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
    glTexImage2D(GL_TEXTURE_2D, 0, static_cast<GLint>(internalFormat), tile.textureWidth,
                 tile.textureHeight, 0, format, type, set->padded.data());
    glPixelStorei(GL_UNPACK_ROW_LENGTH, static_cast<GLint>(rowLength));
    if (!CheckGL(
            __LINE__,
            "CreateTextureSetFromImage() - glTexImage2D Failed to copy from SubImage buffer")) {
      return false;
    }
  }
  GLint granted = 0;
  glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_INTERNAL_FORMAT, &granted);
  if (static_cast<GLenum>(granted) != internalFormat) {
    MessageReport(__LINE__, kMessageDebug)
        .Report(kIconWarning, "Debug - Warning",
                "Unexpected internal texture format.  Desired 0x%X, got 0x%X", internalFormat,
                static_cast<unsigned>(granted));
  }
  tile.needsAllocation = false;
  return true;
}

}  // namespace

int32_t PowerOfTwoAtLeast(int32_t size) {
  int32_t power = 2;
  while (power < size && power < kLargestPowerOfTwo) power <<= 1;
  return power;
}

int32_t PowerOfTwoAtMost(int32_t size) {
  int32_t power = 2;
  while (power * 2 <= size && power < kLargestPowerOfTwo) power <<= 1;
  return power;
}

TileSize GetMaximumTextureSize(const TextureEngine& engine, bool powerOfTwoOnly,
                               bool limitByViewport) {
  const DrawingSettings& drawing = *engine.drawing;
  int32_t size = drawing.maxTextureSize;
  const GLenum format = GetPreferredInternalFormat(drawing);
  TakeGLError();
  while (size > kSmallestProbedSize) {
    glTexImage2D(GL_PROXY_TEXTURE_2D, 0, static_cast<GLint>(format), size, size, 0, GL_RGBA,
                 GL_UNSIGNED_BYTE, nullptr);
    GLint width = 0;
    glGetTexLevelParameteriv(GL_PROXY_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &width);
    if (width == size) break;
    size /= 2;
  }
  TileSize tile{size, size};
  if (limitByViewport) {
    GLint viewport[2] = {0, 0};
    glGetIntegerv(GL_MAX_VIEWPORT_DIMS, viewport);
    tile.width = std::min(tile.width, static_cast<int32_t>(viewport[0]));
    tile.height = std::min(tile.height, static_cast<int32_t>(viewport[1]));
  }
  if (powerOfTwoOnly) {
    tile.width = PowerOfTwoAtMost(tile.width);
    tile.height = PowerOfTwoAtMost(tile.height);
  }
  CheckGL(__LINE__, "Determination of maximum texture size failed.");
  return tile;
}

bool SubdivideImage(const TextureEngine& engine, const ImageRect& rect, TextureSet* set,
                    TileSize size) {
  CheckGL(__LINE__, "Error on entry into SubdivideImage()");
  set->width = rect.right - rect.left;
  set->height = rect.bottom - rect.top;
  set->bounds = {0, 0, 0, 0};
  set->tileCount = 0;
  if (set->width <= 0 || set->height <= 0 || size.width <= 2 || size.height <= 2) return false;
  const bool powerOfTwo = engine.drawing->mustUsePowerOfTwo;
  int32_t count = 0;
  for (int32_t y = rect.top;; y += size.height - 2) {
    int32_t bottom = 0;
    for (int32_t x = rect.left;; x += size.width - 2) {
      if (static_cast<size_t>(count) >= set->tiles.size()) {
        set->tiles.emplace_back();
        set->vertices.resize(set->tiles.size() * 4);
        set->vertexBufferFullUpload = true;
      }
      TextureTile& tile = set->tiles[static_cast<size_t>(count)];
      if (tile.texture == 0) {
        glGenTextures(1, &tile.texture);
        glBindTexture(GL_TEXTURE_2D, tile.texture);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, set->filters[0]);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, set->filters[1]);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, set->filters[2]);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, set->filters[3]);
        tile.needsAllocation = true;
      }
      tile.width = std::min(size.width, rect.right - x);
      tile.height = std::min(size.height, rect.bottom - y);
      const int32_t right = x + tile.width;
      bottom = y + tile.height;
      tile.imageRect = {x, y, right, bottom};
      const int32_t textureWidth = powerOfTwo ? PowerOfTwoAtLeast(tile.width) : tile.width;
      const int32_t textureHeight = powerOfTwo ? PowerOfTwoAtLeast(tile.height) : tile.height;
      if (tile.textureWidth < textureWidth || tile.textureHeight < textureHeight ||
          (!powerOfTwo &&
           (tile.textureWidth != textureWidth || tile.textureHeight != textureHeight))) {
        tile.needsAllocation = true;
        tile.textureWidth = textureWidth;
        tile.textureHeight = textureHeight;
      }
      tile.textureRect = {x, y, x + tile.textureWidth, y + tile.textureHeight};
      if (count == 0) {
        set->bounds = tile.textureRect;
      } else {
        set->bounds.right = std::max(set->bounds.right, tile.textureRect.right);
        set->bounds.bottom = std::max(set->bounds.bottom, tile.textureRect.bottom);
      }
      const double x0 = x == rect.left ? x : x + 1;
      const double x1 = right == rect.right ? right : right - 1;
      const double y0 = y == rect.top ? y : y + 1;
      const double y1 = bottom == rect.bottom ? bottom : bottom - 1;
      const double s0 = (x0 - x) / tile.textureWidth, s1 = (x1 - x) / tile.textureWidth;
      double t0 = (y0 - y) / tile.textureHeight, t1 = (y1 - y) / tile.textureHeight;
      if (set->flipVertical) {
        t0 = (bottom - y0) / tile.textureHeight;
        t1 = (bottom - y1) / tile.textureHeight;
      }
      TextureVertex* v = &set->vertices[static_cast<size_t>(count) * 4];
      v[0] = {s0, t1, x0, y1};
      v[1] = {s1, t1, x1, y1};
      v[2] = {s1, t0, x1, y0};
      v[3] = {s0, t0, x0, y0};
      ++count;
      if (right >= rect.right) break;
    }
    if (bottom >= rect.bottom) break;
  }
  set->tileCount = count;
  return CheckGL(__LINE__, "Subdivision of specified image Failed");
}

bool CreateTextureSetResources(const TextureEngine& engine, TextureSetKind kind, TextureSet* set) {
  const DrawingSettings& drawing = *engine.drawing;
  const bool buffers = drawing.accelerated && drawing.option != OPTIMIZE_FOR_COMPATIBILITY &&
                       drawing.option != OPTIMIZE_NONE;
  const GLint smooth = drawing.accelerated ? GL_LINEAR : GL_NEAREST;
  const bool nearest = kind == kSplashSet || kind == kCompositeSet;
  set->filters[0] = GL_NEAREST;
  set->filters[1] = nearest ? GL_NEAREST : smooth;
  set->filters[2] = set->filters[3] = GL_CLAMP_TO_EDGE;
  const bool wantsFbo =
      (kind == kEffectsSet || kind == kCompositeSet) && buffers && drawing.useFrameBufferObjects;
  if (wantsFbo) {
    glGenFramebuffers(1, &set->frameBuffer);
    glGenRenderbuffers(1, &set->renderBuffer);
    GLint viewport[2] = {0, 0};
    glGetIntegerv(GL_MAX_VIEWPORT_DIMS, viewport);
    set->maxViewport[0] = viewport[0];
    set->maxViewport[1] = viewport[1];
  }
  if (kind != kSplashSet && buffers && drawing.useVertexBufferObjects) {
    glGenBuffers(1, &set->vertexBuffer);
    set->vertexBufferUsage = kind == kHostImageSet ? GL_STATIC_DRAW : GL_DYNAMIC_DRAW;
  }
  const bool wantsPbo = kind == kHostImageSet || (kind == kEffectsSet && set->frameBuffer == 0) ||
                        (kind == kCompositeSet && (set->frameBuffer == 0 || set->gammaOnProcessor));
  if (wantsPbo && kind != kSplashSet && buffers && drawing.usePixelBufferObjects) {
    glGenBuffers(1, &set->pixelBuffer);
    set->pixelBufferUsage = kind == kHostImageSet ? GL_STATIC_DRAW : GL_DYNAMIC_DRAW;
  }
  set->vertexBufferFullUpload = true;
  return CheckGL(__LINE__, "CreateTextureSetResources() - Failed to create texture set resources.");
}

void DestroyTextureSet(TextureSet* set) {
  for (TextureTile& tile : set->tiles) {
    if (tile.texture != 0) glDeleteTextures(1, &tile.texture);
  }
  if (set->vertexBuffer != 0) glDeleteBuffers(1, &set->vertexBuffer);
  if (set->pixelBuffer != 0) glDeleteBuffers(1, &set->pixelBuffer);
  if (set->frameBuffer != 0) glDeleteFramebuffers(1, &set->frameBuffer);
  if (set->renderBuffer != 0) glDeleteRenderbuffers(1, &set->renderBuffer);
  TakeGLError();
  *set = TextureSet{};
}

bool CreateTextureSetFromImage(const TextureEngine& engine, const ImageRect& rect, TextureSet* set,
                               const ImageRecord& image, double scaleX, double scaleY,
                               int32_t offsetX, int32_t offsetY, double zoom) {
  CheckGL(__LINE__, "Error on entry into CreateTextureSetFromImage()");
  set->opaque = false;
  if (image.pixels.data == nullptr || zoom <= 0.0 || scaleX <= 0.0 || scaleY <= 0.0) return false;
  // The visible part of the image, two pixels more for the filter.
  ImageRect excerpt = {
      static_cast<int32_t>(offsetX * scaleX / zoom), static_cast<int32_t>(offsetY * scaleY / zoom),
      static_cast<int32_t>((offsetX + rect.right - rect.left) * scaleX / zoom) + 2,
      static_cast<int32_t>((offsetY + rect.bottom - rect.top) * scaleY / zoom) + 2};
  excerpt.left = std::max(excerpt.left, image.dataRect.left);
  excerpt.top = std::max(excerpt.top, image.dataRect.top);
  excerpt.right = std::min(excerpt.right, image.dataRect.right);
  excerpt.bottom = std::min(excerpt.bottom, image.dataRect.bottom);
  if (excerpt.right <= excerpt.left || excerpt.bottom <= excerpt.top) return false;
  const DrawingSettings& drawing = *engine.drawing;
  if (!SubdivideImage(engine, excerpt, set,
                      GetMaximumTextureSize(engine, drawing.mustUsePowerOfTwo, false))) {
    return false;
  }
  const uint32_t pixelBytes = static_cast<uint32_t>(BytesPerPixel(image));
  const int64_t excerptWidth = excerpt.right - excerpt.left;
  const int64_t excerptHeight = excerpt.bottom - excerpt.top;
  int64_t rowLength = image.dataWidth;
  // With a pixel buffer, "addresses" are offsets into the bound buffer.
  uintptr_t base = 0;
  auto origin = [&](int32_t x, int32_t y) {
    return reinterpret_cast<const uint8_t*>(
        base +
        static_cast<uintptr_t>(
            (static_cast<int64_t>(y - excerpt.top) * rowLength + (x - excerpt.left)) * pixelBytes));
  };
  bool ok = true;
  if (set->pixelBuffer != 0) {
    GrowPixelBuffer(set, GL_PIXEL_UNPACK_BUFFER,
                    static_cast<uint64_t>(excerptWidth * excerptHeight * pixelBytes));
    auto* mapped = static_cast<uint8_t*>(glMapBuffer(GL_PIXEL_UNPACK_BUFFER, GL_WRITE_ONLY));
    if (mapped == nullptr) {
      ok = CheckGL(__LINE__, "Failed to map Image Excerpt PBO.") && false;
    } else {
      for (int64_t y = 0; y < excerptHeight; ++y) {
        std::memcpy(mapped + y * excerptWidth * pixelBytes,
                    PixelBytes(image, excerpt.left, static_cast<int32_t>(excerpt.top + y)),
                    static_cast<size_t>(excerptWidth * pixelBytes));
      }
      if (!glUnmapBuffer(GL_PIXEL_UNPACK_BUFFER))
        ok = CheckGL(__LINE__, "Failed to unmap Image Excerpt PBO.") && false;
    }
    rowLength = excerptWidth;
  } else {
    base = reinterpret_cast<uintptr_t>(PixelBytes(image, excerpt.left, excerpt.top));
  }
  glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
  glPixelStorei(GL_UNPACK_ROW_LENGTH, static_cast<GLint>(rowLength));
  const GLenum internalFormat = GetPreferredInternalFormat(drawing);
  for (int32_t i = 0; ok && i < set->tileCount; ++i) {
    TextureTile& tile = set->tiles[static_cast<size_t>(i)];
    const uint8_t* data = origin(tile.imageRect.left, tile.imageRect.top);
    ok = FillTile(set, tile, internalFormat, image.glPixelFormat, image.glPixelType, data,
                  rowLength, pixelBytes, set->pixelBuffer != 0);
  }
  glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
  if (set->pixelBuffer != 0) glBindBuffer(GL_PIXEL_UNPACK_BUFFER, 0);
  set->scaleX = scaleX;
  set->scaleY = scaleY;
  if (ok && set->vertexBuffer != 0) ok = UpdateVertexBuffer(set);
  ok = CheckGL(__LINE__, "Creation of Texture Set from image Failed") && ok;
  set->opaque = ok && ExcerptOpaque(image, excerpt);
  return ok;
}

uint32_t FramebufferSetFormat(const DrawingSettings& drawing, const TextureSet& set) {
  return set.precise && drawing.precisionFormat.internalFormat != 0
             ? drawing.precisionFormat.internalFormat
             : GetPreferredInternalFormat(drawing);
}

uint32_t FramebufferSetPixelType(const DrawingSettings& drawing, const TextureSet& set) {
  return set.precise && drawing.precisionFormat.internalFormat != 0
             ? drawing.precisionFormat.dataType
             : GetFramebufferPixelType(drawing);
}

bool CreateTextureSetFromFramebuffer(const TextureEngine& engine, const ImageRect& rect,
                                     int32_t drawableHeight, TextureSet* set) {
  CheckGL(__LINE__, "Error on entry into CreateTextureSetFromFramebuffer()");
  const DrawingSettings& drawing = *engine.drawing;
  set->flipVertical = true;
  if (!SubdivideImage(engine, rect, set,
                      GetMaximumTextureSize(engine, drawing.mustUsePowerOfTwo, true))) {
    return false;
  }
  const GLenum type = FramebufferSetPixelType(drawing, *set);
  const GLenum format = drawing.accelerated ? GL_RGBA : GL_BGRA;
  const GLenum internalFormat = FramebufferSetFormat(drawing, *set);
  const uint32_t pixelBytes = BytesPerPixelOfType(type);
  const int32_t width = rect.right - rect.left, height = rect.bottom - rect.top;
  const uint64_t bytes = static_cast<uint64_t>(width) * height * pixelBytes;
  const int32_t readY = drawableHeight - rect.bottom;
  uintptr_t source = 0;  // with a pixel buffer: offsets into it
  bool ok = true;
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
  std::vector<uint8_t> processed;
  if (set->pixelBuffer != 0) {
    GrowPixelBuffer(set, GL_PIXEL_PACK_BUFFER, bytes);
    glReadPixels(rect.left, readY, width, height, format, type, nullptr);
    if (set->gammaOnProcessor) {
      void* mapped = glMapBuffer(GL_PIXEL_PACK_BUFFER, GL_READ_WRITE);
      if (mapped == nullptr) {
        ok = CheckGL(__LINE__, "Failed to map texture set PBO.") && false;
      } else {
        ok = ApplyDisplayGamma(mapped, type, static_cast<uint64_t>(width) * height,
                               engine.halfTables.get());
        if (!glUnmapBuffer(GL_PIXEL_PACK_BUFFER))
          ok = CheckGL(__LINE__, "Failed to unmap texture set PBO.") && false;
      }
    }
    glBindBuffer(GL_PIXEL_PACK_BUFFER, 0);
    glBindBuffer(GL_PIXEL_UNPACK_BUFFER, set->pixelBuffer);
    ok = ok && CheckGL(__LINE__, "Failed to create PBO in CreateTextureSetFromFramebuffer()");
  } else if (set->gammaOnProcessor || drawing.mustUsePowerOfTwo) {
    processed.resize(static_cast<size_t>(bytes));
    glReadPixels(rect.left, readY, width, height, format, type, processed.data());
    if (set->gammaOnProcessor) {
      ok = ApplyDisplayGamma(processed.data(), type, static_cast<uint64_t>(width) * height,
                             engine.halfTables.get());
    }
    source = reinterpret_cast<uintptr_t>(processed.data());
  }
  const bool fromMemory = set->pixelBuffer != 0 || !processed.empty();
  glPixelStorei(GL_UNPACK_ROW_LENGTH, fromMemory ? width : 0);
  for (int32_t i = 0; ok && i < set->tileCount; ++i) {
    TextureTile& tile = set->tiles[static_cast<size_t>(i)];
    // Rows are bottom-up: the tile's first row is the picture's row tile.imageRect.bottom - 1.
    const int64_t firstRow = rect.bottom - tile.imageRect.bottom;
    const int64_t column = tile.imageRect.left - rect.left;
    if (fromMemory) {
      const auto* data = reinterpret_cast<const uint8_t*>(
          source + static_cast<uintptr_t>((firstRow * width + column) * pixelBytes));
      ok = FillTile(set, tile, internalFormat, format, type, data, width, pixelBytes,
                    set->pixelBuffer != 0);
      continue;
    }
    glBindTexture(GL_TEXTURE_2D, tile.texture);
    const int32_t x = tile.imageRect.left, y = drawableHeight - tile.imageRect.bottom;
    if (!tile.needsAllocation) {
      glCopyTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, x, y, tile.width, tile.height);
      ok = CheckGL(__LINE__,
                   "CreateTextureSetFromFramebuffer() - Failed to complete glCopyTexSubImage2D() "
                   "from frame buffer",
                   "Debug:  Unexpected error");
    } else {
      glCopyTexImage2D(GL_TEXTURE_2D, 0, internalFormat, x, y, tile.width, tile.height, 0);
      ok = CheckGL(__LINE__,
                   "CreateTextureSetFromFramebuffer() - Failed to complete glCopyTexImage2D() from "
                   "frame buffer, non power of two",
                   "Debug:  Unexpected error");
      tile.needsAllocation = !ok;
    }
  }
  glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
  if (set->pixelBuffer != 0) glBindBuffer(GL_PIXEL_UNPACK_BUFFER, 0);
  set->scaled = false;
  if (ok && set->vertexBuffer != 0) ok = UpdateVertexBuffer(set);
  return CheckGL(__LINE__, "Creation of Texture Set from framebuffer Failed") && ok;
}

bool CreateTextureSetFromBitmap(const TextureEngine& engine, const ScreenBitmap& bitmap,
                                TextureSet* set) {
  if (bitmap.width <= 0 || bitmap.height <= 0 ||
      bitmap.bits.size() < static_cast<size_t>(bitmap.width) * bitmap.height * 4) {
    MessageReport(__LINE__, kMessageDebug)
        .Report(kIconError, kTitleDebugUnexpectedError,
                "DIB Section  %d bit depth unsupported at this time.", 0);
    return false;
  }
  // The bitmap's rows are bottom-up: an image record over a top-down copy.
  std::vector<uint8_t> rows(bitmap.bits.size() + static_cast<size_t>(bitmap.width) * 4);
  const size_t row = static_cast<size_t>(bitmap.width) * 4;
  for (int32_t y = 0; y < bitmap.height; ++y) {
    std::memcpy(rows.data() + static_cast<size_t>(y) * row, bitmap.PixelFromTop(0, y), row);
  }
  ImageRecord image;
  image.bounds = image.dataRect = {0, 0, bitmap.width, bitmap.height};
  image.dataWidth = image.boundsWidth = bitmap.width;
  image.dataHeight = image.boundsHeight = bitmap.height;
  image.bytesPerSample = 1;
  image.samplesPerPixel = 4;
  image.mode = kImageModeRgb8;
  image.pixels.data = rows.data();
  image.pixels.size = rows.size();
  image.glPixelFormat = GL_BGRA;
  image.glPixelType = GL_UNSIGNED_BYTE;
  set->scaled = false;
  return CreateTextureSetFromImage(engine, {0, 0, bitmap.width, bitmap.height}, set, image, 1.0,
                                   1.0, 0, 0, 1.0);
}

bool UpdateVertexBuffer(TextureSet* set) {
  if (set->vertexBuffer == 0) {
    MessageReport(__LINE__, kMessageDebug)
        .Report(kIconError, kTitleErrorExiting,
                "UpdateVertexBuffer() called with invalid texture.");
    return false;
  }
  CheckGL(__LINE__, "Error on entry to UpdateVertexBuffer().");
  glBindBuffer(GL_ARRAY_BUFFER, set->vertexBuffer);
  const GLsizeiptr bytes = static_cast<GLsizeiptr>(set->tiles.size() * 4 * sizeof(TextureVertex));
  if (set->vertexBufferFullUpload) {
    glBufferData(GL_ARRAY_BUFFER, bytes, set->vertices.data(), set->vertexBufferUsage);
    set->vertexBufferFullUpload = false;
  } else {
    glBufferSubData(GL_ARRAY_BUFFER, 0, bytes, set->vertices.data());
  }
  glBindBuffer(GL_ARRAY_BUFFER, 0);
  const uint32_t error = TakeGLError();
  if (error != 0) {
    OpenGLMessageReport(__LINE__, kMessageOpenGLError, error)
        .Report(kIconError, kTitleDebugUnexpectedError,
                "Failed to update Vertex Buffer for texture set %d.",
                static_cast<int>(set->vertexBuffer));
    return false;
  }
  return true;
}

bool DrawImageTextureSet(const TextureEngine& engine, TextureSet* set, bool withShader) {
  CheckGL(__LINE__, "Error on entry into DrawImageTextureSet()");
  const bool shader = withShader && engine.shader != nullptr &&
                      MakeShaderProgramActive(engine.shader, kProxyProgram);
  glPushClientAttrib(GL_CLIENT_VERTEX_ARRAY_BIT);
  glPushAttrib(GL_TEXTURE_BIT | GL_CURRENT_BIT | GL_ENABLE_BIT | GL_COLOR_BUFFER_BIT);
  glPushMatrix();
  glColor4f(1.0f, 1.0f, 1.0f, 1.0f);
  glEnable(GL_BLEND);
  glBlendFunc(GL_ONE, GL_ZERO);
  glEnable(GL_TEXTURE_2D);
  glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_REPLACE);
  glEnableClientState(GL_VERTEX_ARRAY);
  glEnableClientState(GL_TEXTURE_COORD_ARRAY);
  const char* base = reinterpret_cast<const char*>(set->vertices.data());
  if (set->vertexBuffer != 0) {
    glBindBuffer(GL_ARRAY_BUFFER, set->vertexBuffer);
    base = nullptr;
  }
  glTexCoordPointer(2, GL_DOUBLE, sizeof(TextureVertex), base);
  glVertexPointer(2, GL_DOUBLE, sizeof(TextureVertex), base + 2 * sizeof(double));
  if (set->scaled) glScaled(1.0 / set->scaleX, 1.0 / set->scaleY, 1.0);
  bool ok = true;
  for (int32_t i = 0; ok && i < set->tileCount; ++i) {
    glBindTexture(GL_TEXTURE_2D, set->tiles[static_cast<size_t>(i)].texture);
    glDrawArrays(GL_QUADS, i * 4, 4);
    ok = CheckGL(__LINE__, "glDrawArrays() Failed");
  }
  if (set->vertexBuffer != 0) glBindBuffer(GL_ARRAY_BUFFER, 0);
  glPopMatrix();
  glPopAttrib();
  glPopClientAttrib();
  if (shader) MakeShaderProgramActive(engine.shader, 0);
  return CheckGL(__LINE__, "Drawing of Image Texture Set Failed") && ok;
}

bool AttachFBOWithRenderBuffer(const TextureEngine& engine, TextureSet* set, int32_t width,
                               int32_t height) {
  if (set->frameBuffer == 0 || set->renderBuffer == 0) {
    MessageReport(__LINE__, kMessageDebug)
        .Report(kIconError, kTitleDebugUnexpectedError,
                "Texture was incomplete. FBO = %d, RBO = %d", static_cast<int>(set->frameBuffer),
                static_cast<int>(set->renderBuffer));
    return false;
  }
  BindFramebuffer(set->frameBuffer);
  glBindRenderbuffer(GL_RENDERBUFFER, set->renderBuffer);
  const GLenum wanted = FramebufferSetFormat(*engine.drawing, *set);
  if (set->renderBufferSize[0] != width || set->renderBufferSize[1] != height) {
    glRenderbufferStorage(GL_RENDERBUFFER, wanted, width, height);
    set->renderBufferSize[0] = width;
    set->renderBufferSize[1] = height;
  }
  glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER,
                            set->renderBuffer);
  const GLenum status = glCheckFramebufferStatus(GL_FRAMEBUFFER);
  if (status != GL_FRAMEBUFFER_COMPLETE) {
    MessageReport(__LINE__, kMessageDebug)
        .Report(kIconError, kTitleDebugUnexpectedError,
                "Frame Buffer Object was incomplete. Status = 0x%X", status);
    DetachFBO(set);
    return false;
  }
  if (wanted != GL_RGBA) {
    GLint granted = 0;
    glGetRenderbufferParameteriv(GL_RENDERBUFFER, GL_RENDERBUFFER_INTERNAL_FORMAT, &granted);
    if (static_cast<GLenum>(granted) != wanted) {
      MessageReport(__LINE__, kMessageDebug)
          .Report(kIconError, kTitleDebugUnexpectedError,
                  "Frame Buffer Object was not granted the required format (0x%X vs. 0x%X).",
                  static_cast<unsigned>(granted), wanted);
      DetachFBO(set);
      return false;
    }
  }
  return CheckGL(__LINE__, "AttachFBOWithRenderBuffer() - Failed to attach Frame Buffer Object.");
}

void DetachFBO(TextureSet* set) {
  if (set->frameBuffer == 0) return;
  glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, 0);
  glBindRenderbuffer(GL_RENDERBUFFER, 0);
  glBindFramebuffer(GL_FRAMEBUFFER, 0);
  TakeGLError();
}

}  // namespace lumeray
