// Resources embedded in the module file.
//
// Each resource is a byte-exact block placed in its own ELF section named
// ".rsrc.<type>.<id>" (LUMERAY_RESOURCE_SECTION, platform/module_file.h), so that a host can
// read it from the file with libelf before it loads the module, and is listed in the table
// below for the module itself. The blocks are built from the tables of the layers they describe
// (the descriptor keys, the grey profile), so this folder sits above them.
//
// Threading contract: any thread (the table is constant).
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

#include "platform/module_file.h"

namespace lumeray {

struct EmbeddedResource {
  const char* type;
  int id;
  const uint8_t* data;
  size_t size;
};

// Every resource of the module.
std::span<const EmbeddedResource> EmbeddedResources();

struct ResourceView {
  const uint8_t* data;
  size_t size;
};

// A resource of the module by type ("PiPL", "aete", "RCDATA") and identifier.
std::optional<ResourceView> FindResource(std::string_view type, int id);

}  // namespace lumeray
