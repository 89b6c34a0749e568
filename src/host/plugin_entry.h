// The module's entry: one call per selector (About, Parameters, Prepare, Start, Continue,
// Finish), each run through the common prologue (host globals, module state set-up), the
// selector's handler, and the common epilogue (handles unlocked, module state torn down after
// About, Finish or any failure).
//
// A run is: optionally Parameters, then Prepare, Start, any number of Continue, Finish; About
// comes alone. Every call of a run comes on the same thread, the host's UI thread.
#pragma once

#include <cstdint>

#include "interface/filter_interface.h"

namespace lumeray {

void PluginMainEntry(int16_t selector, void* record, intptr_t* data, int16_t* result);

// Locks the parameter handle and the data handle and publishes them as the current
// ParameterSet and the show-dialog flag: -30100 when either is missing, -108 when a lock fails.
void LockHandles();

void DoAbout();
void DoParameters();
void DoPrepare();
void DoStart();

// The analysis-only form of Start for the light source listing: receives each line of the
// light source table's trace ("NumberOfLightSources = %d", then one line per source).
using LightSourceTraceSink = void (*)(void* context, const char* line);
void RunStartPipeline(LightSourceTraceSink sink, void* context);
// Prepare has run; runs Start in its analysis-only form and tears the module state down.
void TraceLightSourcesEntry(void* record, intptr_t* data, int16_t* result,
                            LightSourceTraceSink sink, void* context);
void DoContinue();
void DoFinish();

}  // namespace lumeray
