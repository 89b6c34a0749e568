#include "host/pipeline_steps.h"

#include <cstring>

#include "analysis/master_light_source_table.h"
#include "effects/parameter_set_buffer.h"
#include "host/host_globals.h"

namespace lumeray {

// ---- Not yet part of the module: succeed without effect ------------------------------------

bool RunMainDialog() { return true; }


// ---- The master light source table --------------------------------------------------------

void DeallocateMasterLightSourceTable() { FreeMasterLightSourceTable(&MasterTable()); }
int32_t LightSourceCount() { return static_cast<int32_t>(MasterTable().count); }

}  // namespace lumeray

namespace lumeray {

void* HostProfileHandle() { return nullptr; }

PixelRect WorkingImageRect() {
  const FilterRecord* record = Host().filterRecord;
  if (record == nullptr) return {};
  if (Using32BitCoordinates()) {
    const VRect& r = record->bigDocumentData->filterRect32;
    return {r.left, r.top, r.right, r.bottom};
  }
  const PIRect16& r = record->filterRect;
  return {r.left, r.top, r.right, r.bottom};
}


}  // namespace lumeray
