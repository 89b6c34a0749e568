// A structural check of an embedded ICC profile before it is handed to the module.
//
// The editor does no colour management itself; it only makes sure the bytes are an ICC profile
// whose header, tag table and tag data lie inside the bytes, and whose colour space fits the
// image (GRAY for greyscale, RGB for colour). The module's colour engine then never sees
// garbage.
//
// Threading: pure function.
#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace lumeray {

bool CheckIccProfile(std::span<const uint8_t> profile, int colourPlanes, std::string* error);

}  // namespace lumeray
