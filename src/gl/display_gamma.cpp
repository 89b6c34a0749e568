#include "gl/display_gamma.h"

#include <GL/glew.h>

#include <cmath>
#include <cstring>
#include <new>

#include "diagnostics/message_report.h"
#include "image/gamma_tables.h"

namespace lumeray {
namespace {

uint32_t IndexOf(float value) {
  const float clamped = std::isnan(value) ? 0.0f : std::fmin(std::fmax(value, 0.0f), 1.0f);
  return static_cast<uint32_t>(std::lround(clamped * 65535.0f));
}

uint32_t ConvertMantissa(uint32_t i) {
  uint32_t m = i << 13;
  uint32_t e = 0;
  while (!(m & 0x00800000u)) {
    e -= 0x00800000u;
    m <<= 1;
  }
  m &= ~0x00800000u;
  e += 0x38800000u;
  return m | e;
}

}  // namespace

std::unique_ptr<HalfFloatTables> BuildHalfFloatTables() {
  const GammaTableSet gamma = GetGammaTables(kWorkingGamma);
  std::unique_ptr<HalfFloatTables> tables(new (std::nothrow) HalfFloatTables);
  if (!tables || !gamma) {
    MessageReport(__LINE__, kMessageDebug)
        .Report(kIconError, kTitleDebugUnexpectedError,
                "Failed to allocate buffer for half-float Gamma table.");
    return nullptr;
  }
  HalfFloatTables& t = *tables;
  t.mantissa[0] = 0;
  for (uint32_t i = 1; i < 1024; ++i) t.mantissa[i] = ConvertMantissa(i);
  for (uint32_t i = 1024; i < 2048; ++i) t.mantissa[i] = 0x38000000u + ((i - 1024) << 13);
  t.exponent[0] = 0;
  for (uint32_t i = 1; i < 31; ++i) t.exponent[i] = i << 23;
  t.exponent[31] = 0x47800000u;
  t.exponent[32] = 0x80000000u;
  for (uint32_t i = 33; i < 63; ++i) t.exponent[i] = 0x80000000u + ((i - 32) << 23);
  t.exponent[63] = 0xC7800000u;
  for (uint32_t i = 0; i < 64; ++i) t.offset[i] = (i == 0 || i == 32) ? 0 : 1024;
  for (int i = 0; i < 256; ++i) {
    const int e = i - 127;
    uint16_t base;
    uint8_t shift;
    if (e < -24) {
      base = 0x0000;
      shift = 24;
    } else if (e < -14) {
      base = static_cast<uint16_t>(0x0400 >> (-e - 14));
      shift = static_cast<uint8_t>(-e - 1);
    } else if (e <= 15) {
      base = static_cast<uint16_t>((e + 15) << 10);
      shift = 13;
    } else if (e < 128) {
      base = 0x7C00;
      shift = 24;
    } else {
      base = 0x7C00;
      shift = 13;
    }
    t.base[i] = base;
    t.base[i | 0x100] = static_cast<uint16_t>(base | 0x8000);
    t.shift[i] = t.shift[i | 0x100] = shift;
  }
  for (uint32_t i = 0; i < 65536; ++i) t.gamma[i] = FloatToHalf(t, gamma.encode16[i] / 65535.0f);
  return tables;
}

float HalfToFloat(const HalfFloatTables& t, uint16_t half) {
  const uint32_t bits = t.mantissa[t.offset[half >> 10] + (half & 0x3FF)] + t.exponent[half >> 10];
  float value;
  std::memcpy(&value, &bits, sizeof value);
  return value;
}

uint16_t FloatToHalf(const HalfFloatTables& t, float value) {
  uint32_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  const uint32_t index = (bits >> 23) & 0x1FF;
  return static_cast<uint16_t>(t.base[index] + ((bits & 0x007FFFFF) >> t.shift[index]));
}

bool ApplyDisplayGamma(void* pixels, uint32_t pixelType, uint64_t pixelCount,
                       const HalfFloatTables* halfTables) {
  const GammaTableSet gamma = GetGammaTables(kWorkingGamma);
  if (!gamma) return false;
  const uint64_t samples = pixelCount * 4;
  switch (pixelType) {
    case GL_UNSIGNED_BYTE: {
      auto* p = static_cast<uint8_t*>(pixels);
      for (uint64_t i = 0; i < samples; ++i) {
        if ((i & 3) != 3) p[i] = gamma.encode8[p[i] * 256u];
      }
      return true;
    }
    case GL_UNSIGNED_SHORT: {
      auto* p = static_cast<uint16_t*>(pixels);
      for (uint64_t i = 0; i < samples; ++i) {
        if ((i & 3) != 3) p[i] = gamma.encode16[p[i]];
      }
      return true;
    }
    case GL_FLOAT: {
      auto* p = static_cast<float*>(pixels);
      for (uint64_t i = 0; i < samples; ++i) {
        if ((i & 3) != 3) p[i] = gamma.encode16[IndexOf(p[i])] / 65535.0f;
      }
      return true;
    }
    case GL_HALF_FLOAT:
      if (halfTables != nullptr) {
        auto* p = static_cast<uint16_t*>(pixels);
        for (uint64_t i = 0; i < samples; ++i) {
          if ((i & 3) != 3) p[i] = halfTables->gamma[IndexOf(HalfToFloat(*halfTables, p[i]))];
        }
        return true;
      }
      break;
    default:
      break;
  }
  MessageReport(__LINE__, kMessageDebug)
      .Report(kIconError, kTitleDebugUnexpectedError, "Pixel type 0x%X is not recognized.",
              pixelType);
  return false;
}

}  // namespace lumeray
