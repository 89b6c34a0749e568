#include "run/host_record.h"

namespace lumeray {
namespace {

HostGlobals gHost;

}  // namespace

HostGlobals& Host() {
  return gHost;
}

Handle DataHandle() {
  return gHost.data == nullptr ? nullptr : reinterpret_cast<Handle>(*gHost.data);
}

bool Using32BitCoordinates() {
  return gHost.filterRecord != nullptr && gHost.filterRecord->bigDocumentData != nullptr &&
         gHost.filterRecord->bigDocumentData->PluginUsing32BitCoordinates != 0;
}

PixelRect WorkingImageRect() {
  const FilterRecord* record = gHost.filterRecord;
  if (record == nullptr) return {};
  if (Using32BitCoordinates()) {
    const VRect& r = record->bigDocumentData->filterRect32;
    return {r.left, r.top, r.right, r.bottom};
  }
  const PIRect16& r = record->filterRect;
  return {r.left, r.top, r.right, r.bottom};
}

}  // namespace lumeray
