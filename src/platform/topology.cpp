// Processor topology from sysfs.
//
// The online processors come from <root>/online (a list such as "0-3,6,8-11"); when that file is
// missing, every <root>/cpuN folder counts unless its own "online" file says 0. For each online
// processor, topology/physical_package_id and topology/core_id name its package and core. The
// records: one kProcessorCore per (package, core), its mask holding the numbers of the core's
// hardware threads, then one kProcessorPackage per package with the numbers of all its
// processors. Processor numbers of 64 and above do not fit a 64-bit mask: their cores and packages
// are still counted, with the bits that fit. Anything unreadable gives nullopt.

#include "platform/topology.h"

#include <dirent.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <map>
#include <set>
#include <utility>

#include "platform/folders.h"

namespace lumeray::platform {
namespace {

std::optional<std::string> ReadFirstLine(const std::string& path) {
  std::ifstream in(path);
  if (!in) return std::nullopt;
  std::string line;
  if (!std::getline(in, line) && line.empty()) return std::string();
  return line;
}

std::optional<long> ParseInteger(const std::string& text) {
  size_t start = text.find_first_not_of(" \t\r\n");
  if (start == std::string::npos) return std::nullopt;
  const char* begin = text.c_str() + start;
  char* end = nullptr;
  long value = std::strtol(begin, &end, 10);
  if (end == begin) return std::nullopt;
  while (*end == ' ' || *end == '\t' || *end == '\r' || *end == '\n') ++end;
  if (*end != '\0') return std::nullopt;
  return value;
}

// "0-3,6,8-11" -> {0,1,2,3,6,8,9,10,11}; nullopt when malformed.
std::optional<std::set<int>> ParseCpuList(const std::string& text) {
  std::set<int> cpus;
  size_t position = 0;
  std::string list = text;
  while (!list.empty() && (list.back() == '\n' || list.back() == '\r' || list.back() == ' ')) {
    list.pop_back();
  }
  if (list.empty()) return cpus;
  while (position <= list.size()) {
    size_t comma = list.find(',', position);
    if (comma == std::string::npos) comma = list.size();
    std::string range = list.substr(position, comma - position);
    size_t dash = range.find('-');
    auto first = ParseInteger(range.substr(0, dash));
    auto last = dash == std::string::npos ? first : ParseInteger(range.substr(dash + 1));
    if (!first || !last || *first < 0 || *last < *first || *last > 1 << 20) return std::nullopt;
    for (long cpu = *first; cpu <= *last; ++cpu) cpus.insert(static_cast<int>(cpu));
    position = comma + 1;
  }
  return cpus;
}

std::optional<std::set<int>> OnlineCpus(const std::string& root) {
  if (auto list = ReadFirstLine(JoinPath(root, "online"))) return ParseCpuList(*list);
  DIR* folder = opendir(root.c_str());
  if (folder == nullptr) return std::nullopt;
  std::set<int> cpus;
  while (const dirent* entry = readdir(folder)) {
    std::string name = entry->d_name;
    if (name.size() < 4 || name.compare(0, 3, "cpu") != 0) continue;
    if (name.find_first_not_of("0123456789", 3) != std::string::npos) continue;
    int cpu = std::atoi(name.c_str() + 3);
    auto online = ReadFirstLine(JoinPath(JoinPath(root, name), "online"));
    if (online) {
      auto flag = ParseInteger(*online);
      if (!flag || *flag == 0) continue;
    }
    cpus.insert(cpu);
  }
  closedir(folder);
  return cpus;
}

uint64_t Bit(int cpu) {
  return cpu < 64 ? uint64_t{1} << cpu : 0;
}

}  // namespace

std::optional<std::vector<ProcessorRecord>> ReadProcessorTopology(const std::string& cpuRoot) {
  auto cpus = OnlineCpus(cpuRoot);
  if (!cpus || cpus->empty()) return std::nullopt;

  std::map<std::pair<long, long>, uint64_t> cores;  // (package, core) -> threads
  std::map<long, uint64_t> packages;                // package -> processors
  for (int cpu : *cpus) {
    std::string topology = JoinPath(JoinPath(cpuRoot, "cpu" + std::to_string(cpu)), "topology");
    auto packageText = ReadFirstLine(JoinPath(topology, "physical_package_id"));
    auto coreText = ReadFirstLine(JoinPath(topology, "core_id"));
    if (!packageText || !coreText) return std::nullopt;
    auto package = ParseInteger(*packageText);
    auto core = ParseInteger(*coreText);
    if (!package || !core) return std::nullopt;
    cores[{*package, *core}] |= Bit(cpu);
    packages[*package] |= Bit(cpu);
  }

  std::vector<ProcessorRecord> records;
  records.reserve(cores.size() + packages.size());
  for (const auto& [key, mask] : cores) records.push_back({mask, kProcessorCore});
  for (const auto& [package, mask] : packages) records.push_back({mask, kProcessorPackage});
  return records;
}

std::optional<std::vector<ProcessorRecord>> QueryLogicalProcessorInformation() {
  return ReadProcessorTopology("/sys/devices/system/cpu");
}

uint32_t NativeProcessorCount() {
  long count = sysconf(_SC_NPROCESSORS_ONLN);
  return count < 1 ? 1u : static_cast<uint32_t>(count);
}

}  // namespace lumeray::platform
