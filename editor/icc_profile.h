// A structural check of an embedded ICC profile before the image library decodes it and before
// it is handed to the module.
//
// The editor does no colour management itself; it only makes sure the bytes are an ICC profile
// whose header, tag table and tag data lie inside the bytes, that Little CMS opens, and whose
// colour space fits the image (GRAY for greyscale, RGB for colour). The image library and the
// module's colour engine then never see garbage.
//
// Threading: pure function.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace lumeray {

// The structure alone: any colour space.
bool CheckIccProfileStructure(std::span<const uint8_t> profile, std::string* error);

bool CheckIccProfile(std::span<const uint8_t> profile, int colourPlanes, std::string* error);

// Whether the header's PCS illuminant is exactly D50, as ICC requires and PNG's codec insists.
bool HasD50Illuminant(std::span<const uint8_t> profile);

// The profile with the header's illuminant set to the exact D50 encoding and its profile ID
// cleared (an ID of zero means "not computed"); the tags are unchanged.
std::vector<uint8_t> WithD50Illuminant(std::span<const uint8_t> profile);

}  // namespace lumeray
