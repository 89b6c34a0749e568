// The module's own file, and how its resources are placed in it.
//
// Resources are byte-exact blocks, each placed in its own ELF section of the module named
// ".rsrc.<type>.<id>" (LUMERAY_RESOURCE_SECTION) so that a host can read them from the file
// with libelf before loading it. Inside the module they are reached directly
// (resources/embedded_resources.h lists them).
//
// Threading contract: any thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#define LUMERAY_RESOURCE_SECTION(type, id) \
  __attribute__((section(".rsrc." type "." #id), used, aligned(4)))

namespace lumeray::platform {

// The path of the file this code was loaded from (the module, or the test program that links
// the module's code); empty when it cannot be found.
std::string ModuleFilePath();

// The path of the running host program (/proc/self/exe).
std::string HostProgramPath();

}  // namespace lumeray::platform
