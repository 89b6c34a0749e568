#include "host/pipeline_steps.h"

#include <cstring>

#include "analysis/master_light_source_table.h"
#include "effects/parameter_set_buffer.h"
#include "host/host_globals.h"

namespace lumeray {

// ---- Not yet part of the module: succeed without effect ------------------------------------

void BuildPixelConversionTables() {}
bool CreateShapeBuildingSection() { return true; }
void DeleteShapeBuildingSection() {}

bool SetUpColorManagement() { return true; }
void ReleaseColorManagement() {}
void ReleaseGammaTableCache() {}

bool ReadHostImage() { return true; }
bool ConvertAnalysisInputColors(ImageRecord*) { return true; }

bool RunMainDialog() { return true; }
void SetUpDirectRenderTables() {}
void ReleaseEffectTables() {}


// ---- The master light source table --------------------------------------------------------

void DeallocateMasterLightSourceTable() { FreeMasterLightSourceTable(&MasterTable()); }
int32_t LightSourceCount() { return static_cast<int32_t>(MasterTable().count); }

// ---- The end of the image exchange ----------------------------------------------------------

void EndHostImageExchange() {
  FilterRecord* record = Host().filterRecord;
  if (record == nullptr) return;
  std::memset(&record->inRect, 0, sizeof record->inRect);
  std::memset(&record->outRect, 0, sizeof record->outRect);
  std::memset(&record->maskRect, 0, sizeof record->maskRect);
  if (Using32BitCoordinates()) {
    BigDocumentStruct* big = record->bigDocumentData;
    big->inRect32 = VRect{};
    big->outRect32 = VRect{};
    big->maskRect32 = VRect{};
  }
  if (RunResult() == 0 && record->advanceState != nullptr) {
    const OSErr error = record->advanceState();
    if (error != kNoErr) SetRunResult(error);
  }
}

}  // namespace lumeray

namespace lumeray {

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

void WriteResultsToHost() {}
bool RenderBandPixels(const PixelRect&, const ParameterSetBuffer&) { return true; }

}  // namespace lumeray
