// Processor topology, in the shape of the system's logical processor information records.
//
// The records come from /sys/devices/system/cpu/cpu*/topology: one kProcessorCore record per
// physical core (its mask has one bit per hardware thread of that core) and one
// kProcessorPackage record per package.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace lumeray::platform {

enum ProcessorRelationship : int32_t {
  kProcessorCore = 0,
  kNumaNode = 1,
  kCache = 2,
  kProcessorPackage = 3,
};

struct ProcessorRecord {
  uint64_t processorMask;
  int32_t relationship;
};

// nullopt when the topology cannot be read (then callers fall back to the processor count).
std::optional<std::vector<ProcessorRecord>> QueryLogicalProcessorInformation();
// The same from another root folder (tests): `cpuRoot` stands for /sys/devices/system/cpu.
std::optional<std::vector<ProcessorRecord>> ReadProcessorTopology(const std::string& cpuRoot);

// The number of online processors (at least 1).
uint32_t NativeProcessorCount();

}  // namespace lumeray::platform
