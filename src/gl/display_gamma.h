// The display gamma applied on the processor (when no shader program can do it while drawing):
// the first three components of each RGBA pixel are encoded with power 1/2.2 through the gamma
// 2.2 tables of image/gamma_tables.h; the fourth (alpha) is left alone. Float and half-float
// components are expected within 0 to 1; values outside are clamped to it first.
//
// Half floats are converted with the table method (round toward zero): HalfFloatTables holds
// the half-to-float mantissa, exponent and offset tables and the float-to-half base and shift
// tables; the gamma table maps a 16-bit index to the encoded half.
//
// Threading contract: the tables are built once and then only read; any thread may convert.
#pragma once

#include <cstdint>
#include <memory>

namespace lumeray {

struct HalfFloatTables {
  uint32_t mantissa[2048];
  uint32_t exponent[64];
  uint16_t offset[64];
  uint16_t base[512];
  uint8_t shift[512];
  uint16_t gamma[65536];  // entry i: half of (gamma 2.2 encode16[i]) / 65535
};

// Builds the tables (false when the gamma tables or memory are missing, reported).
std::unique_ptr<HalfFloatTables> BuildHalfFloatTables();

float HalfToFloat(const HalfFloatTables& tables, uint16_t half);
uint16_t FloatToHalf(const HalfFloatTables& tables, float value);

// pixelType: GL_UNSIGNED_BYTE, GL_UNSIGNED_SHORT, GL_FLOAT or GL_HALF_FLOAT (the half-float tables
// are needed only for the last). False (reported) for another type.
bool ApplyDisplayGamma(void* pixels, uint32_t pixelType, uint64_t pixelCount,
                       const HalfFloatTables* halfTables);

}  // namespace lumeray
