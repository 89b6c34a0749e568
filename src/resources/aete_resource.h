// The scripting terminology resource ('aete' 16000): the names under which a host shows the
// module's event and its parameters in scripts. The parameters are the rows of the descriptor
// key table (host/descriptor_keys.h), in its order.
//
// Byte layout (English, Roman script, format 1.0). Numbers are 16-bit little-endian, codes are
// four bytes with the code's last character first, strings are Pascal strings (a length byte,
// then the characters) with no padding after them:
//
//   u8 1, u8 0               format version 1.0
//   u16 0, u16 0             language English, script Roman
//   u16 1                    suites
//     pstring name, pstring description, code suite, u16 level, u16 version
//     u16 1                  events
//       pstring name, pstring description, code class, code event
//       code reply type, pstring reply description, u16 reply flags
//       code direct parameter type, pstring its description, u16 its flags
//       u16 13               parameters
//         pstring name, code key, code type, pstring description, u16 flags
//     u16 0                  classes
//     u16 0                  comparison operators
//     u16 1                  enumerations
//       code enumeration, u16 7 enumerators
//         pstring name, code, pstring description
//
// Threading contract: constant data, read from any thread.
#pragma once

#include <cstdint>
#include <span>

namespace lumeray {

inline constexpr int kAeteResourceId = 16000;

std::span<const uint8_t> AeteResourceBytes();

}  // namespace lumeray
