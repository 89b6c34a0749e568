// Processor topology from a sysfs tree.

#include "platform/topology.h"

#include <gtest/gtest.h>

#include <bit>
#include <filesystem>
#include <fstream>

#include "platform_test_support.h"

namespace lumeray::platform {
namespace {

using test_support::TemporaryFolder;

void WriteFile(const std::string& path, const std::string& content) {
  std::filesystem::create_directories(std::filesystem::path(path).parent_path());
  std::ofstream(path) << content;
}

void AddCpu(const TemporaryFolder& root, int cpu, int package, int core) {
  std::string topology = root / ("cpu" + std::to_string(cpu) + "/topology/");
  WriteFile(topology + "physical_package_id", std::to_string(package) + "\n");
  WriteFile(topology + "core_id", std::to_string(core) + "\n");
}

std::vector<ProcessorRecord> Of(const std::vector<ProcessorRecord>& records, int32_t kind) {
  std::vector<ProcessorRecord> result;
  for (const auto& record : records) {
    if (record.relationship == kind) result.push_back(record);
  }
  return result;
}

TEST(TopologyTest, FourCoresWithTwoThreadsInOnePackage) {
  TemporaryFolder root;
  // Linux numbers the first threads of all cores first: cpu0-3 and their siblings cpu4-7.
  for (int cpu = 0; cpu < 8; ++cpu) AddCpu(root, cpu, 0, cpu % 4);
  WriteFile(root / "online", "0-7\n");
  auto records = ReadProcessorTopology(root.path());
  ASSERT_TRUE(records);
  auto cores = Of(*records, kProcessorCore);
  auto packages = Of(*records, kProcessorPackage);
  ASSERT_EQ(cores.size(), 4u);
  ASSERT_EQ(packages.size(), 1u);
  EXPECT_EQ(records->size(), 5u);
  for (int core = 0; core < 4; ++core) {
    EXPECT_EQ(cores[core].processorMask, (1ull << core) | (1ull << (core + 4)));
  }
  EXPECT_EQ(packages[0].processorMask, 0xffull);
}

TEST(TopologyTest, OnlyOnlineProcessorsCount) {
  TemporaryFolder root;
  for (int cpu = 0; cpu < 4; ++cpu) AddCpu(root, cpu, cpu / 2, cpu % 2);
  WriteFile(root / "online", "0-1,3\n");
  auto records = ReadProcessorTopology(root.path());
  ASSERT_TRUE(records);
  EXPECT_EQ(Of(*records, kProcessorCore).size(), 3u);
  auto packages = Of(*records, kProcessorPackage);
  ASSERT_EQ(packages.size(), 2u);
  EXPECT_EQ(packages[0].processorMask, 0b0011u);
  EXPECT_EQ(packages[1].processorMask, 0b1000u);
}

TEST(TopologyTest, PerProcessorOnlineFilesWhenThereIsNoList) {
  TemporaryFolder root;
  for (int cpu = 0; cpu < 4; ++cpu) AddCpu(root, cpu, 0, cpu);
  WriteFile(root / "cpu2/online", "0\n");
  WriteFile(root / "cpu3/online", "1\n");
  std::filesystem::create_directories(root / "cpufreq");  // not a processor
  auto records = ReadProcessorTopology(root.path());
  ASSERT_TRUE(records);
  EXPECT_EQ(Of(*records, kProcessorCore).size(), 3u);
  EXPECT_EQ(Of(*records, kProcessorPackage)[0].processorMask, 0b1011u);
}

TEST(TopologyTest, ProcessorsBeyondTheMaskAreCountedWithoutBits) {
  TemporaryFolder root;
  for (int cpu = 0; cpu < 66; ++cpu) AddCpu(root, cpu, 0, cpu);
  WriteFile(root / "online", "0-65");
  auto records = ReadProcessorTopology(root.path());
  ASSERT_TRUE(records);
  auto cores = Of(*records, kProcessorCore);
  EXPECT_EQ(cores.size(), 66u);
  EXPECT_EQ(cores[63].processorMask, 1ull << 63);
  EXPECT_EQ(cores[64].processorMask, 0u);
  EXPECT_EQ(Of(*records, kProcessorPackage)[0].processorMask, ~0ull);
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

TEST(TopologyTest, ThisMachineIsReadableOrFallsBack) {
  uint32_t count = NativeProcessorCount();
  EXPECT_GE(count, 1u);
  auto records = QueryLogicalProcessorInformation();
  if (!records) GTEST_SKIP() << "no readable topology here";
  uint32_t threads = 0;
  for (const auto& record : Of(*records, kProcessorCore)) {
    threads += static_cast<uint32_t>(std::popcount(record.processorMask));
  }
  if (count <= 64) {
    EXPECT_EQ(threads, count);
  }
  EXPECT_GE(Of(*records, kProcessorPackage).size(), 1u);
}

}  // namespace
}  // namespace lumeray::platform
