#include "host/pipeline_steps.h"

#include "analysis/master_light_source_table.h"
#include "host/host_globals.h"

namespace lumeray {

// The modal dialog is not part of the module yet: a run that asks for it goes on as if the
// user had accepted the settings as they stand.
bool RunMainDialog() {
  return true;
}

void DeallocateMasterLightSourceTable() {
  FreeMasterLightSourceTable(&MasterTable());
}
int32_t LightSourceCount() {
  return static_cast<int32_t>(MasterTable().count);
}

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
