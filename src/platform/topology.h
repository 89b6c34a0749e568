// Processor topology, in the shape of the system's logical processor information records.
//
// The records come from /sys/devices/system/cpu/cpu*/topology: one kProcessorCore record per
// physical core (its mask has one bit per hardware thread of that core) and one
// kProcessorPackage record per package.
//
// Only the processors the process may use count: those of its affinity mask (sched_getaffinity)
// and, where a control group limits its CPU time (cgroup v2 "cpu.max", v1 "cpu.cfs_quota_us"
// over "cpu.cfs_period_us", the tightest along the group's path), no more of them than the
// quota rounded up (the lowest-numbered ones). Cores and packages without a usable processor
// are left out.
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

// The number of usable processors (at least 1).
uint32_t NativeProcessorCount();

// The parts, for tests. The processor numbers the process may use (empty when unknown).
std::vector<int> AffinityProcessors();
// The CPU quota in processors, rounded up, of the control group named in `procSelfCgroup` (the
// text of /proc/self/cgroup) under the cgroup file system at `cgroupRoot`; nullopt without one.
std::optional<uint32_t> CgroupProcessorLimit(const std::string& cgroupRoot,
                                             const std::string& procSelfCgroup);
// Keeps the usable processors of the records (`usable` ascending; empty keeps all), at most
// `limit` of them.
std::vector<ProcessorRecord> RestrictToUsable(const std::vector<ProcessorRecord>& records,
                                              const std::vector<int>& usable,
                                              std::optional<uint32_t> limit);

}  // namespace lumeray::platform
