// Section tasks: the worker threads of the light source search, one band of rows each.
//
// A task owns its measuring shapes (kMeasuringShapeCount disks and rings, built lazily; their
// radius lists DiskParamsBuff and RingParamsBuff hold i * 0.25), its local light source table
// and a manual-reset exit event that it sets when a pass ends. Tasks live in a zeroed, counted
// array of kMaximumSectionTasks.
//
// Passes (one thread per task, started and awaited by SpawnAnalysisThreadsAndWait):
//  * FindBandPeak: the largest brightness of the band's pixels with non-zero alpha; a stopped
//    analysis (cancel flag or run result) ends it with band peak 0.
//  * SearchBandForLightSources: every pixel of the band, row by row, left to right (the stop is
//    tested per pixel); each candidate is measured (light_source_measurement.h); the progress
//    counter advances once per row. At the end the local table is sorted by y. A measurement
//    that must end the run stores its code as the task's error and the run result.
//
// SpawnAnalysisThreadsAndWait starts one thread per task, waits without time-out for every
// exit event, joins the threads and resets the events. A thread that cannot be started is
// reported ("Could not initiate AnalyzeSection() task : %s") and its exit event set at once.
// Results: 0, or -1715 after reporting a failed or abandoned wait, a time-out or an event that
// could not be reset.
//
// Threading contract: set-up, spawning and tear-down on the data-initialisation thread; a task's
// fields are touched by its own thread only while a pass runs.
#pragma once

#include <cstdint>

#include "analysis/analysis_image.h"
#include "analysis/light_source_measurement.h"
#include "analysis/light_source_table.h"
#include "analysis/shape_refinement.h"
#include "image/buffer.h"
#include "platform/sync.h"
#include "platform/thread.h"

namespace lumeray {

inline constexpr int kMaximumSectionTasks = 24;

struct SectionTask {
  BufferDescriptor diskParams;  // DiskParamsBuff: kMeasuringShapeCount floats
  BufferDescriptor ringParams;  // RingParamsBuff
  BufferDescriptor diskShapes;  // DiskShapeBuff: kMeasuringShapeCount EffectShape
  BufferDescriptor ringShapes;  // RingShapeBuff
  ImageRect section{};
  LightSourceTable localTable;
  float scale = 1.0f;
  platform::Event* exitEvent = nullptr;
  platform::Thread* thread = nullptr;
  uint32_t index = 0;
  uint32_t bandPeak = 0;
  int error = 0;
  const AnalysisContext* context = nullptr;

  MeasuringShapes Shapes() const {
    return {static_cast<EffectShape*>(diskShapes.data), static_cast<EffectShape*>(ringShapes.data)};
  }
};

// Returns 0, the allocator's code (reported) or -1715 when the exit event cannot be made.
int SetUpSectionTask(SectionTask* task, uint32_t index, const ImageRect& band, float scale,
                     const AnalysisContext* context);
// Releases the shapes, buffers, local table and exit event; safe on a task never set up.
void TearDownSectionTask(SectionTask* task);

int SpawnAnalysisThreadsAndWait(platform::ThreadRoutine routine, SectionTask* tasks, int count);

uint32_t FindBandPeak(void* task);
uint32_t SearchBandForLightSources(void* task);

}  // namespace lumeray
