// Resources embedded in the module file.
//
// Each resource is a byte-exact block placed in its own ELF section named
// ".rsrc.<type>.<id>" (LUMERAY_RESOURCE_SECTION), so that a host can read it from the file with
// libelf before it loads the module, and is listed in the table below for the module itself.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#define LUMERAY_RESOURCE_SECTION(type, id) \
  __attribute__((section(".rsrc." type "." #id), used, aligned(4)))

namespace lumeray {

struct EmbeddedResource {
  const char* type;
  int id;
  const uint8_t* data;
  size_t size;
};

// Every resource of the module.
std::span<const EmbeddedResource> EmbeddedResources();

}  // namespace lumeray
