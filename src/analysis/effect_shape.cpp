#include "analysis/effect_shape.h"

#include <algorithm>
#include <atomic>

#include "diagnostics/message_report.h"
#include "image/image_create.h"

namespace lumeray {

ShapeBuildingState& ShapeBuilding() {
  static ShapeBuildingState state;
  return state;
}

void WarnLowMemory() {
  if (ShapeBuilding().lowMemoryWarned.exchange(true)) return;
  MessageReport report(__LINE__, kMessageUser);
  report.Report(kIconWarning, kTitleWarning,
                "Low memory.  Check image - some effects may not be rendered.");
}

void ResetLowMemoryWarning() {
  ShapeBuilding().lowMemoryWarned = false;
}

bool AddSubShapeEntry(SubShape* subShape, const SubShapeEntry& entry, uint32_t growthHint) {
  const uint64_t needed = (uint64_t{subShape->entryCount} + 1) * sizeof(SubShapeEntry);
  if (needed > subShape->entries.size) {
    const uint64_t grown = (uint64_t{subShape->entryCount} + std::max<uint32_t>(growthHint, 1)) *
                           sizeof(SubShapeEntry);
    if (ReallocateBufferPreserveContents(grown, &subShape->entries) != 0) {
      WarnLowMemory();
      return false;
    }
  }
  subShape->data()[subShape->entryCount++] = entry;
  return true;
}

void EmptySubShape(SubShape* subShape) {
  subShape->built = 0;
  subShape->left = subShape->top = subShape->right = subShape->bottom = 0;
  subShape->entryCount = 0;
}

void ReleaseSubShape(EffectShape* shape, SubShape* subShape) {
  if (subShape->previewData != nullptr && shape->releasePreviewData != nullptr) {
    shape->releasePreviewData(subShape);
  }
  subShape->previewData = nullptr;
  DeallocateBuffer(&subShape->entries);
  EmptySubShape(subShape);
}

void ReleaseEffectShape(EffectShape* shape) {
  for (SubShape& subShape : shape->subShapes) {
    ReleaseSubShape(shape, &subShape);
  }
  ReleaseImage(&shape->previewImage);
}

}  // namespace lumeray
