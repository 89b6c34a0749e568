// Effect shapes: small stamps held for the 16 quarter-pixel phases of a centre position.
//
// A shape has one sub-shape per phase, indexed by x phase * 4 + y phase (each phase 0..3
// quarter pixels). A sub-shape is a list of SubShapeEntry: a pixel offset from the centre pixel
// with a colour and a value, plus the bounding box of those offsets. Sub-shapes are built on
// first use by the shape's builder, which reads the shape's parameters (the radius of a disk or
// ring, the ParameterSetBuffer of a star or soft flare), and kept until the shape is released.
//
// Conventions
//  * Colours and values are 32-bit fractions: kShapeFractionOne (0xFFFFFFFE) stands for 1.0,
//    the product of two is the 64-bit product shifted right by 32.
//  * Bounding boxes are relative to the centre pixel, right and bottom exclusive.
//  * Entry arrays are counted buffers; a sub-shape's capacity is its buffer's size in bytes.
//  * A sub-shape whose build failed is left unbuilt; building it again starts afresh.
//
// Threading contract: a shape is not locked. Shapes shared by several threads (the renderers'
// star and soft flare) are built only under the shape-building lock (shape_operations.h) and
// read without a lock once built; shapes owned by one thread (an analysis task's disks and
// rings) need no lock at all. Releasing must not overlap any use.
#pragma once

#include <atomic>
#include <cstdint>

#include "image/buffer.h"
#include "image/image_record.h"
#include "platform/sync.h"

namespace lumeray {

enum ShapeType : uint32_t {
  SHAPE_IMAGE = 0,  // the only type: a list of pixel entries per phase
};

inline constexpr uint32_t kShapeFractionOne = 0xFFFFFFFEu;
inline constexpr int kQuarterPhases = 4;
inline constexpr int kSubShapeCount = kQuarterPhases * kQuarterPhases;

struct SubShapeEntry {
  int16_t dx;  // pixel offset from the centre pixel
  int16_t dy;
  uint32_t red;  // fractions
  uint32_t green;
  uint32_t blue;
  uint32_t value;  // coverage or intensity, a fraction
};
static_assert(sizeof(SubShapeEntry) == 20);

struct SubShape {
  uint32_t built = 0;
  int32_t left = 0;  // bounding box relative to the centre pixel; right, bottom exclusive
  int32_t top = 0;
  int32_t right = 0;
  int32_t bottom = 0;
  uint32_t entryCount = 0;
  BufferDescriptor entries;     // SubShapeEntry array; capacity = entries.size bytes
  void* previewData = nullptr;  // what the preview attaches (textures, index arrays)

  const SubShapeEntry* data() const { return static_cast<const SubShapeEntry*>(entries.data); }
  SubShapeEntry* data() { return static_cast<SubShapeEntry*>(entries.data); }
};

struct EffectShape;
// Builds the sub-shape of one phase; returns false when it could not (it stays unbuilt).
using ShapeBuilder = bool (*)(EffectShape* shape, int xPhase, int yPhase);
// Frees what the preview attached to a sub-shape.
using PreviewDataRelease = void (*)(SubShape* subShape);

struct EffectShape {
  SubShape subShapes[kSubShapeCount];
  uint32_t shapeType = SHAPE_IMAGE;
  ShapeBuilder builder = nullptr;
  const void* parameters = nullptr;  // the radius (float) or the ParameterSetBuffer
  void* builtParameters = nullptr;   // effect shapes: the parameters last built with
  ImageRecord previewImage;          // the preview renders the shape into it
  PreviewDataRelease releasePreviewData = nullptr;
};

inline int SubShapeIndex(int xPhase, int yPhase) {
  return xPhase * kQuarterPhases + yPhase;
}

// Appends an entry, growing the array by `growthHint` entries (at least one) when it is full.
// When it cannot grow: shows the low-memory warning (below), leaves the sub-shape as it was and
// returns false.
bool AddSubShapeEntry(SubShape* subShape, const SubShapeEntry& entry, uint32_t growthHint);

// "Low memory.  Check image - some effects may not be rendered." (title "Warning"), shown once
// per run: shapes are built on many threads at once, and a lack of memory usually hits several
// of them. ResetLowMemoryWarning starts a run (with the shape-building section).
void WarnLowMemory();
void ResetLowMemoryWarning();

// Whether the low-memory warning was shown. Every entry appender and builder of every shape
// (analysis, final render and preview) may show it, knowing only the sub-shape it fills, so the
// flag is module-wide; it is reset when a run starts. (The lock that the stamps of a run's shapes
// build under is the run's: EffectsRunState::shapeBuilding.)
//
// Threading contract: any thread, by exchange.
struct ShapeBuildingState {
  std::atomic<bool> lowMemoryWarned{false};
};
ShapeBuildingState& ShapeBuilding();

// Forgets the entries (keeping the array for reuse), clears the box and the built flag.
void EmptySubShape(SubShape* subShape);

// Empties one sub-shape, frees its entries and its preview data. It builds again on its next
// use.
void ReleaseSubShape(EffectShape* shape, SubShape* subShape);

// Frees every sub-shape's entries and preview data and the preview image; the
// shape keeps its type, builder and parameters and builds again on the next use.
void ReleaseEffectShape(EffectShape* shape);

}  // namespace lumeray
