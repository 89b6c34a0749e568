// Action files: the settings of one filter run as a JSON document, written by `--record FILE`
// and replayed by `--play FILE`.
//
//   {
//     "format": "lumeray action",
//     "version": 1,
//     "keys": [
//       {"key": "opsO", "name": "output spikes only", "type": "bool", "value": false},
//       {"key": "stEf", "name": "effect", "type": "enum", "enumType": "efTy", "value": "efT6"},
//       {"key": "Intn", "name": "intensity", "type": "UntF", "unit": "#Prc", "value": 50},
//       {"key": "numP", "name": "number of points", "type": "long", "value": 10},
//       ...
//     ]
//   }
//
// Conventions
//  * Keys, types, units and enumeration codes are four-character codes as text. "name" (the
//    module's terminology) and "effect" (the effect's name) are for readers and are not checked.
//  * Reading is strict: every key must be one of the module's keys with its own type (and unit),
//    at most once; an effect code must be one of the seven; a whole number for "long". Anything
//    else is refused with a message naming the problem; nothing is half-read.
//
// Threading: pure functions.
#pragma once

#include <string>
#include <string_view>

#include "descriptor.h"

namespace lumeray {

constexpr size_t kMaxActionFileBytes = size_t{1} << 20;

std::string FormatActionFile(const Descriptor& settings);

// Safe on any bytes: the fuzz target's entry point.
bool ParseActionFile(std::string_view text, Descriptor* settings, std::string* error);

}  // namespace lumeray
