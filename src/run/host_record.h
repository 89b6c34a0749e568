// What the module keeps of its host between and during the selectors of a run: the filter
// record, the data cell and the result cell of the current call, the locked parameter and data
// handles, and the two host suites it holds. These are the module's host globals: process-wide,
// one host call at a time.
//
// Threading contract: the pointers are set on the UI thread at each call of the entry; other
// threads read the record only while the run that set it is going on, and reach the result cell
// only through their run's RunStatus (run_status.h), to which the host attaches it.
#pragma once

#include <cstdint>

#include "interface/filter_interface.h"

namespace lumeray {

struct ParameterSet;

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

// The data handle kept in the host's data cell.
Handle DataHandle();

// True when the host works with 32-bit coordinates for this run.
bool Using32BitCoordinates();

struct PixelRect {
  int32_t left, top, right, bottom;
};

// The rectangle of the working image read from the host (the filter rectangle); empty without
// a filter record.
PixelRect WorkingImageRect();

}  // namespace lumeray
