#include "effects/parameter_block.h"

#include <cstdlib>
#include <cstring>

#include "effects/effect_renderers.h"
#include "effects/parameter_set_buffer.h"
#include "run/host_record.h"

namespace lumeray {
namespace {

// Stands in for the parameter handle while none is locked (outside a run, and in tests).
ParameterSet gUnlockedParameters = kFactoryParameters;

uint8_t* NewBlockWith(const ParameterSet& parameters) {
  auto* block = static_cast<uint8_t*>(std::calloc(1, kParameterBlockSize));
  if (block != nullptr) std::memcpy(block, &parameters, sizeof parameters);
  return block;
}

ParameterSet ReadBlock(const uint8_t* block) {
  ParameterSet parameters;
  std::memcpy(&parameters, block, sizeof parameters);
  return parameters;
}

}  // namespace

ParameterSet& CurrentParameters() {
  return Host().parameters != nullptr ? *Host().parameters : gUnlockedParameters;
}

uint8_t* NewFactoryParameterBlock() {
  return NewBlockWith(kFactoryParameters);
}

uint8_t* NewCurrentParameterBlock() {
  ParameterSet parameters = CurrentParameters();
  parameters.version = kCurrentParameterVersion;
  return NewBlockWith(parameters);
}

void ApplyParameterBlock(const uint8_t* block) {
  CurrentParameters() = ReadBlock(block);
}

bool ParameterBlockEqualsCurrent(const uint8_t* block) {
  // The effect fields, as a render sees them; the version is not compared.
  return SameEffectFields(MakeFinalRenderSnapshot(ReadBlock(block)),
                          MakeFinalRenderSnapshot(CurrentParameters()));
}

// No older format can be converted to the current one.
uint8_t* ConvertParameterBlock(const uint8_t*) {
  return nullptr;
}

void FreeParameterBlock(uint8_t* block) {
  std::free(block);
}

bool TakeParameterBlock(const uint8_t* block) {
  if (BlockVersion(block) == kCurrentParameterVersion) {
    ApplyParameterBlock(block);
    return true;
  }
  uint8_t* converted = ConvertParameterBlock(block);
  if (converted == nullptr) return false;
  ApplyParameterBlock(converted);
  FreeParameterBlock(converted);
  return true;
}

intptr_t ParameterBlockCallback(int command, void* argument) {
  auto* block = static_cast<uint8_t*>(argument);
  switch (command) {
    case kBlockCurrentVersion:
      return reinterpret_cast<intptr_t>(&kCurrentParameterVersion);
    case kBlockFactoryDefaults:
      return reinterpret_cast<intptr_t>(NewFactoryParameterBlock());
    case kBlockCurrentParameters:
      return reinterpret_cast<intptr_t>(NewCurrentParameterBlock());
    case kBlockApply:
      ApplyParameterBlock(block);
      return 1;
    case kBlockEquals:
      return ParameterBlockEqualsCurrent(block) ? 1 : 0;
    case kBlockConvert:
      return reinterpret_cast<intptr_t>(ConvertParameterBlock(block));
    case kBlockReset:
      CurrentParameters() = kFactoryParameters;
      return 1;
    default:
      return 0;
  }
}

}  // namespace lumeray
