#include "resources/embedded_resources.h"

#include <array>

#include "color/grey_profile_resource.h"
#include "resources/aete_resource.h"
#include "resources/pipl_resource.h"

namespace lumeray {

std::span<const EmbeddedResource> EmbeddedResources() {
  static const std::array<EmbeddedResource, 3> kResources = {{
      {"PiPL", 16000, PiplResourceBytes().data(), PiplResourceBytes().size()},
      {"aete", kAeteResourceId, AeteResourceBytes().data(), AeteResourceBytes().size()},
      {kRcDataResourceType, kLinearColorProfileResourceId, LinearColorProfileResourceBytes().data(),
       LinearColorProfileResourceBytes().size()},
  }};
  return kResources;
}

std::optional<ResourceView> FindResource(std::string_view type, int id) {
  for (const EmbeddedResource& resource : EmbeddedResources()) {
    if (resource.type != nullptr && type == resource.type && resource.id == id) {
      return ResourceView{resource.data, resource.size};
    }
  }
  return std::nullopt;
}

}  // namespace lumeray
