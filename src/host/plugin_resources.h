// What the module publishes when a host call begins: the parameter-block callback, the
// preview task callback and its sources, and the effect type table.
#pragma once

namespace lumeray {

void LoadPluginResources();

}  // namespace lumeray
