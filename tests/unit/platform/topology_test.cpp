// Processor topology from a sysfs tree.

#include "platform/topology.h"

#include <gtest/gtest.h>

#include <sched.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <utility>
#include <vector>

#include "support/temp_dir.h"

namespace lumeray::platform {
namespace {

using TemporaryFolder = testing::TempDir;

void WriteFile(const std::string& path, const std::string& content) {
  std::filesystem::create_directories(std::filesystem::path(path).parent_path());
  std::ofstream(path) << content;
}

void AddCpu(const TemporaryFolder& root, int cpu, int package, int core) {
  std::string topology = root / ("cpu" + std::to_string(cpu) + "/topology/");
  WriteFile(topology + "physical_package_id", std::to_string(package) + "\n");
  WriteFile(topology + "core_id", std::to_string(core) + "\n");
}

std::vector<uint64_t> Masks(const std::vector<ProcessorRecord>& records, int32_t kind) {
  std::vector<uint64_t> masks;
  for (const auto& record : records) {
    if (record.relationship == kind) masks.push_back(record.processorMask);
  }
  return masks;
}

// Trees of the kinds sysfs has: the cores' and packages' processor masks they give.
TEST(TopologyTest, CoresAndPackagesOfTheOnlineProcessors) {
  struct Case {
    const char* what;
    int cpus;
    int (*package)(int cpu);
    int (*core)(int cpu);
    std::vector<std::pair<std::string, std::string>> files;
    std::vector<uint64_t> cores, packages;
  };
  const Case cases[] = {
      // Linux numbers the first threads of all cores first: cpu0-3 and their siblings cpu4-7.
      {"four cores with two threads",
       8,
       [](int) { return 0; },
       [](int c) { return c % 4; },
       {{"online", "0-7\n"}},
       {0x11, 0x22, 0x44, 0x88},
       {0xFF}},
      {"only online processors",
       4,
       [](int c) { return c / 2; },
       [](int c) { return c % 2; },
       {{"online", "0-1,3\n"}},
       {0x1, 0x2, 0x8},
       {0b0011, 0b1000}},
      {"per-processor online files",
       4,
       [](int) { return 0; },
       [](int c) { return c; },
       {{"cpu2/online", "0\n"}, {"cpu3/online", "1\n"}, {"cpufreq/x", ""}},
       {0x1, 0x2, 0x8},
       {0b1011}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TemporaryFolder root;
    for (int cpu = 0; cpu < c.cpus; ++cpu) AddCpu(root, cpu, c.package(cpu), c.core(cpu));
    for (const auto& [path, content] : c.files) WriteFile(root / path, content);
    const auto records = ReadProcessorTopology(root.path());
    ASSERT_TRUE(records);
    EXPECT_EQ(Masks(*records, kProcessorCore), c.cores);
    EXPECT_EQ(Masks(*records, kProcessorPackage), c.packages);
  }

  // Processors beyond the mask's 64 bits are counted without bits.
  TemporaryFolder root;
  for (int cpu = 0; cpu < 66; ++cpu) AddCpu(root, cpu, 0, cpu);
  WriteFile(root / "online", "0-65");
  const auto records = ReadProcessorTopology(root.path());
  ASSERT_TRUE(records);
  const std::vector<uint64_t> cores = Masks(*records, kProcessorCore);
  ASSERT_EQ(cores.size(), 66u);
  EXPECT_EQ(cores[63], 1ull << 63);
  EXPECT_EQ(cores[64], 0u);
  EXPECT_EQ(Masks(*records, kProcessorPackage), std::vector<uint64_t>{~0ull});
}

TEST(TopologyTest, UnreadableTreesGiveNothing) {
  TemporaryFolder root;
  EXPECT_FALSE(ReadProcessorTopology(root / "missing"));
  EXPECT_FALSE(ReadProcessorTopology(root.path()));  // no processors at all
  WriteFile(root / "online", "0-1");
  AddCpu(root, 0, 0, 0);  // cpu1 has no topology
  EXPECT_FALSE(ReadProcessorTopology(root.path()));
  WriteFile(root / "online", "0-x");
  EXPECT_FALSE(ReadProcessorTopology(root.path()));
  WriteFile(root / "online", "0");
  WriteFile(root / "cpu0/topology/core_id", "garbage");
  EXPECT_FALSE(ReadProcessorTopology(root.path()));
}

TEST(TopologyTest, OnlyTheProcessorsTheProcessMayUseCount) {
  // Four cores with two hardware threads each: cpu c and c + 4 share core c.
  std::vector<ProcessorRecord> records;
  for (int core = 0; core < 4; ++core) {
    records.push_back({(1ull << core) | (1ull << (core + 4)), kProcessorCore});
  }
  records.push_back({0xFF, kProcessorPackage});
  struct Case {
    std::vector<int> usable;
    std::optional<uint32_t> limit;
    std::vector<uint64_t> coreMasks;
  };
  const Case cases[] = {
      {{}, std::nullopt, {0x11, 0x22, 0x44, 0x88}},  // nothing restricted
      {{0, 4}, std::nullopt, {0x11}},                // one core with both its threads
      {{1, 2}, std::nullopt, {0x02, 0x04}},          // two cores, one thread each
      {{}, 3u, {0x01, 0x02, 0x04}},                  // a quota of three processors
      {{2, 3, 6, 7}, 1u, {0x04}},                    // both
  };
  for (const Case& c : cases) {
    const std::vector<ProcessorRecord> kept = RestrictToUsable(records, c.usable, c.limit);
    EXPECT_EQ(Masks(kept, kProcessorCore), c.coreMasks);
    EXPECT_EQ(Masks(kept, kProcessorPackage).size(), 1u);
  }

  // The affinity of the calling thread is what the system reports.
  cpu_set_t before;
  ASSERT_EQ(sched_getaffinity(0, sizeof before, &before), 0);
  const std::vector<int> all = AffinityProcessors();
  ASSERT_FALSE(all.empty());
  cpu_set_t one;
  CPU_ZERO(&one);
  CPU_SET(all.back(), &one);
  ASSERT_EQ(sched_setaffinity(0, sizeof one, &one), 0);
  EXPECT_EQ(AffinityProcessors(), std::vector<int>{all.back()});
  sched_setaffinity(0, sizeof before, &before);
}

TEST(TopologyTest, AControlGroupQuotaLimitsTheProcessorsTightestAlongItsPath) {
  struct Case {
    const char* procSelfCgroup;
    std::vector<std::pair<std::string, std::string>> files;
    std::optional<uint32_t> limit;
  };
  const Case cases[] = {
      {"0::/a/b\n",
       {{"a/cpu.max", "max 100000"}, {"a/b/cpu.max", "250000 100000"}},
       3u},  // 2.5 rounds up
      {"0::/a/b\n", {{"cpu.max", "100000 100000"}, {"a/b/cpu.max", "max 100000"}}, 1u},
      {"0::/a\n", {{"a/cpu.max", "max 100000"}}, std::nullopt},
      {"4:cpu,cpuacct:/g\n3:memory:/g\n",
       {{"cpu,cpuacct/g/cpu.cfs_quota_us", "150000"},
        {"cpu,cpuacct/g/cpu.cfs_period_us", "100000"}},
       2u},
      {"4:cpu,cpuacct:/g\n",
       {{"cpu,cpuacct/g/cpu.cfs_quota_us", "-1"}, {"cpu,cpuacct/g/cpu.cfs_period_us", "100000"}},
       std::nullopt},
      {"3:memory:/g\n", {{"memory/g/cpu.max", "100000 100000"}}, std::nullopt},
  };
  for (const Case& c : cases) {
    TemporaryFolder root;
    for (const auto& [path, content] : c.files) WriteFile(root / path, content + "\n");
    EXPECT_EQ(CgroupProcessorLimit(root.path(), c.procSelfCgroup), c.limit) << c.procSelfCgroup;
  }
}

}  // namespace
}  // namespace lumeray::platform
