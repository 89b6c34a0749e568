// What the module keeps of its host between and during the selectors of a run: the filter
// record, the data cell and the result cell of the current call, the locked parameter and data
// handles, and the two host suites it holds.
//
// The run result is the host's 16-bit result cell. It is shared by every thread of a run:
// workers read it to stop early and set it on failure, so it is only touched through
// RunResult()/SetRunResult(), which access it atomically. "Set" means: only while it is still 0
// (the first failure wins), unless ForceRunResult is used.
//
// Threading contract: the pointers are set on the UI thread at each call of the entry; worker
// threads only use the result accessors.
#pragma once

#include <cstdint>

#include "effects/parameter_set.h"
#include "host/filter_interface.h"

namespace lumeray {

struct HostGlobals {
  FilterRecord* filterRecord = nullptr;  // gFilterRecord (null for About)
  AboutRecord* aboutRecord = nullptr;
  intptr_t* data = nullptr;            // gData: the cell that keeps the data handle
  int16_t* result = nullptr;           // gResult
  ParameterSet* parameters = nullptr;  // the locked parameter handle
  uint8_t* showDialogFlag = nullptr;   // the locked data handle's single byte
  const PropertySuite1* propertySuite = nullptr;
  const ErrorSuite1* errorSuite = nullptr;
};

HostGlobals& Host();

int16_t RunResult();
// Sets the result when it is still 0; returns the result in force afterwards.
int16_t SetRunResult(int16_t code);
void ForceRunResult(int16_t code);

// The data handle kept in the host's data cell.
Handle DataHandle();

// True when the host works with 32-bit coordinates for this run.
bool Using32BitCoordinates();

// The module's current parameters; the factory block when no handle is locked.
ParameterSet& CurrentParameters();

}  // namespace lumeray
