// The parameter-block callback: the small command interface through which stored and named
// parameter blocks (255 bytes, the ParameterSet at the front) are made from, compared with and
// copied into the current ParameterSet.
//
//   0  -> the current version block (four u16: 0, 0, 0, 5), static
//   1  -> a new block with the factory defaults (caller frees with FreeParameterBlock)
//   2  -> a new block with the current parameters, stamped with the current version
//   3  block: the current ParameterSet takes every field of the block -> 1
//   4  block: 1 when its effect fields equal the current parameters (version not compared)
//   5  block of another version: its conversion -> null (no conversion exists)
//   6  reset the current ParameterSet to the factory defaults -> 1
//   other -> 0
//
// CurrentParameters is the module's current ParameterSet: the host's locked parameter handle
// (host_record.h), or a stand-in holding the factory block while none is locked (outside a run,
// and in tests).
//
// Threading contract: UI thread only.
#pragma once

#include <cstdint>

#include "effects/parameter_set.h"

namespace lumeray {

ParameterSet& CurrentParameters();

enum ParameterBlockCommand : int {
  kBlockCurrentVersion = 0,
  kBlockFactoryDefaults = 1,
  kBlockCurrentParameters = 2,
  kBlockApply = 3,
  kBlockEquals = 4,
  kBlockConvert = 5,
  kBlockReset = 6,
};

intptr_t ParameterBlockCallback(int command, void* argument);

// The same, typed.
uint8_t* NewFactoryParameterBlock();
uint8_t* NewCurrentParameterBlock();
void ApplyParameterBlock(const uint8_t* block);
bool ParameterBlockEqualsCurrent(const uint8_t* block);
uint8_t* ConvertParameterBlock(const uint8_t* block);
void FreeParameterBlock(uint8_t* block);

// Takes a stored block into the current parameters: the block itself when it carries the
// current version, else its conversion. False (nothing changed) when neither exists.
bool TakeParameterBlock(const uint8_t* block);

}  // namespace lumeray
