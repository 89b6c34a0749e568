// The module's own file and its embedded resources.
//
// Resources are byte-exact blocks placed in named ELF sections of the module
// (".rsrc.<type>.<id>", see resources/embedded_resources.h) so that a host can read them from
// the file before loading it. Inside the module they are reached directly.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace lumeray::platform {

// The path of the file this code was loaded from (the module, or the test program that links
// the module's code); empty when it cannot be found.
std::string ModuleFilePath();

// The path of the running host program (/proc/self/exe).
std::string HostProgramPath();

struct ResourceView {
  const uint8_t* data;
  size_t size;
};

// A resource of the module by type ("PiPL", "aete", "RCDATA") and identifier.
std::optional<ResourceView> FindResource(std::string_view type, int id);

}  // namespace lumeray::platform
