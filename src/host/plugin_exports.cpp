// The entries the module exports to its host. Everything else of the module is hidden.
#include "host/filter_interface.h"
#include "host/plugin_entry.h"

extern "C" __attribute__((visibility("default"))) void PluginMain(int16_t selector, void* record,
                                                                 intptr_t* data, int16_t* result) {
  lumeray::PluginMainEntry(selector, record, data, result);
}
