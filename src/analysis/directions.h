// The eight directions of the light source search, in the fixed order every step uses: east,
// south-east, south, south-west, west, north-west, north, north-east (y grows downwards). Odd
// indices are the diagonals.
#pragma once

#include <cstdint>

namespace lumeray {

struct Direction {
  int32_t dx;
  int32_t dy;
};

inline constexpr int kDirectionCount = 8;
inline constexpr Direction kDirections[kDirectionCount] = {{1, 0},  {1, 1},   {0, 1},  {-1, 1},
                                                           {-1, 0}, {-1, -1}, {0, -1}, {1, -1}};

inline constexpr bool IsDiagonal(int direction) {
  return (direction & 1) != 0;
}

}  // namespace lumeray
