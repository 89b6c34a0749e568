// The grayscale profile resource (RCDATA 243, IDR_LINEAR_COLOR_PROFILE): the colour space of a
// grey image whose host gives no profile. It is built at compile time into its own section of
// the module file, like every embedded resource (resources/embedded_resources.h).
//
// Content: an ICC version 2.1 output-class ('prtr') profile of 912 bytes, colour space 'GRAY',
// connection space 'XYZ ', preferred CMM 'lcms', creator 'VTSE', rendering intent perceptual,
// D50 illuminant. Numbers are big-endian, as ICC profiles store them.
//
//   0    header (128 bytes)
//   128  tag count 5, then the tag table (signature, offset, size)
//   192  'desc'  textDescriptionType, "Default Grayscale Profile"        116 bytes
//   308  'wtpt'  XYZType, D50 (0.9642, 1.0, 0.8249)                        20 bytes
//   328  'bkpt'  XYZType, all zero                                        20 bytes
//   348  'kTRC'  curveType of 256 entries                                 524 bytes
//   872  'cprt'  textType, "Copyright (c) Vantrel Software."               40 bytes
//
// Curve entry i is max(16 i, 65535 (i / 255)^1.737), rounded half up: a straight toe for the
// darkest six entries, then a power curve; entry 0 is 0 and entry 255 is 65535.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace lumeray {

inline constexpr const char* kRcDataResourceType = "RCDATA";
inline constexpr int kLinearColorProfileResourceId = 243;
inline constexpr size_t kLinearColorProfileSize = 912;

inline constexpr int kGrayCurveEntries = 256;
inline constexpr double kGrayCurveToeSlope = 16.0;
inline constexpr double kGrayCurveExponent = 1.737;

std::span<const uint8_t> LinearColorProfileResourceBytes();

}  // namespace lumeray
