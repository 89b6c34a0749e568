#include "resources/embedded_resources.h"

#include <array>

#include "resources/pipl_resource.h"

namespace lumeray {

std::span<const EmbeddedResource> EmbeddedResources() {
  static const std::array<EmbeddedResource, 1> kResources = {{
      {"PiPL", 16000, PiplResourceBytes().data(), PiplResourceBytes().size()},
  }};
  return kResources;
}

}  // namespace lumeray
