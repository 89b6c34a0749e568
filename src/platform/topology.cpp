// Processor topology from sysfs.
//
// The online processors come from <root>/online (a list such as "0-3,6,8-11"); when that file is
// missing, every <root>/cpuN folder counts unless its own "online" file says 0. For each online
// processor, topology/physical_package_id and topology/core_id name its package and core. The
// records: one kProcessorCore per (package, core), its mask holding the numbers of the core's
// hardware threads, then one kProcessorPackage per package with the numbers of all its
// processors. Processor numbers of 64 and above do not fit a 64-bit mask: their cores and packages
// are still counted, with the bits that fit. Anything unreadable gives nullopt.
//
// The usable processors: the affinity mask, then the control groups' CPU quota. /proc/self/cgroup
// names the process's group per hierarchy ("0::/path" for version 2, "N:cpu,cpuacct:/path" for
// version 1); the limit of every folder from the hierarchy's mount down to the group counts, so
// that a limit set on a parent (a container's) is seen.

#include "platform/topology.h"

#include <dirent.h>
#include <sched.h>
#include <unistd.h>

#include <cerrno>

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

namespace {

std::string ReadWholeFile(const std::string& path) {
  std::ifstream in(path);
  std::string text, line;
  while (std::getline(in, line)) text += line + "\n";
  return text;
}

// ceil(quota / period), or nullopt for "max", -1 or anything unreadable.
std::optional<uint32_t> QuotaProcessors(const std::optional<std::string>& quotaText,
                                        const std::optional<std::string>& periodText) {
  if (!quotaText || !periodText) return std::nullopt;
  const auto quota = ParseInteger(*quotaText);
  const auto period = ParseInteger(*periodText);
  if (!quota || !period || *quota <= 0 || *period <= 0) return std::nullopt;
  return static_cast<uint32_t>(std::max<long>((*quota + *period - 1) / *period, 1));
}

// The limit in `folder` of either version.
std::optional<uint32_t> FolderLimit(const std::string& folder, bool version2) {
  if (version2) {
    const auto line = ReadFirstLine(JoinPath(folder, "cpu.max"));
    if (!line) return std::nullopt;
    const size_t space = line->find(' ');
    if (space == std::string::npos) return std::nullopt;
    return QuotaProcessors(line->substr(0, space), line->substr(space + 1));
  }
  return QuotaProcessors(ReadFirstLine(JoinPath(folder, "cpu.cfs_quota_us")),
                         ReadFirstLine(JoinPath(folder, "cpu.cfs_period_us")));
}

// The tightest limit in the folders from `mount` down along `path`.
std::optional<uint32_t> PathLimit(const std::string& mount, const std::string& path,
                                  bool version2) {
  std::optional<uint32_t> tightest;
  const auto take = [&](std::optional<uint32_t> limit) {
    if (limit && (!tightest || *limit < *tightest)) tightest = limit;
  };
  std::string folder = mount;
  take(FolderLimit(folder, version2));
  size_t position = 0;
  while (position < path.size()) {
    size_t slash = path.find('/', position);
    if (slash == std::string::npos) slash = path.size();
    if (slash > position) {
      folder = JoinPath(folder, path.substr(position, slash - position));
      take(FolderLimit(folder, version2));
    }
    position = slash + 1;
  }
  return tightest;
}

}  // namespace

std::vector<int> AffinityProcessors() {
  std::vector<int> usable;
  for (int size = CPU_SETSIZE; size <= (1 << 16); size *= 4) {
    cpu_set_t* set = CPU_ALLOC(size);
    if (set == nullptr) return usable;
    const size_t bytes = CPU_ALLOC_SIZE(size);
    const int result = sched_getaffinity(0, bytes, set);
    if (result == 0) {
      for (int cpu = 0; cpu < size; ++cpu) {
        if (CPU_ISSET_S(cpu, bytes, set)) usable.push_back(cpu);
      }
    }
    CPU_FREE(set);
    if (result == 0 || errno != EINVAL) break;
  }
  return usable;
}

std::optional<uint32_t> CgroupProcessorLimit(const std::string& cgroupRoot,
                                             const std::string& procSelfCgroup) {
  std::optional<uint32_t> tightest;
  size_t start = 0;
  while (start < procSelfCgroup.size()) {
    size_t end = procSelfCgroup.find('\n', start);
    if (end == std::string::npos) end = procSelfCgroup.size();
    const std::string line = procSelfCgroup.substr(start, end - start);
    start = end + 1;
    // "hierarchy:controllers:path"
    const size_t first = line.find(':');
    const size_t second = first == std::string::npos ? first : line.find(':', first + 1);
    if (second == std::string::npos) continue;
    const std::string controllers = line.substr(first + 1, second - first - 1);
    const std::string path = line.substr(second + 1);
    std::optional<uint32_t> limit;
    if (line.compare(0, first, "0") == 0 && controllers.empty()) {
      limit = PathLimit(cgroupRoot, path, /*version2=*/true);
    } else {
      bool cpu = false;
      size_t c = 0;
      while (c <= controllers.size()) {
        size_t comma = controllers.find(',', c);
        if (comma == std::string::npos) comma = controllers.size();
        cpu |= controllers.compare(c, comma - c, "cpu") == 0;
        c = comma + 1;
      }
      if (!cpu) continue;
      for (const char* mount : {"cpu,cpuacct", "cpu", "cpuacct,cpu"}) {
        limit = PathLimit(JoinPath(cgroupRoot, mount), path, /*version2=*/false);
        if (limit) break;
      }
    }
    if (limit && (!tightest || *limit < *tightest)) tightest = limit;
  }
  return tightest;
}

std::vector<ProcessorRecord> RestrictToUsable(const std::vector<ProcessorRecord>& records,
                                              const std::vector<int>& usable,
                                              std::optional<uint32_t> limit) {
  uint64_t keep = ~uint64_t{0};
  if (!usable.empty() || limit) {
    std::vector<int> cpus = usable;
    if (cpus.empty()) {
      for (const ProcessorRecord& r : records) {
        for (int cpu = 0; cpu < 64; ++cpu) {
          if (r.relationship == kProcessorCore && (r.processorMask >> cpu & 1) != 0) {
            cpus.push_back(cpu);
          }
        }
      }
      std::sort(cpus.begin(), cpus.end());
    }
    if (limit && cpus.size() > *limit) cpus.resize(*limit);
    keep = 0;
    for (int cpu : cpus) keep |= Bit(cpu);
  }
  std::vector<ProcessorRecord> kept;
  for (const ProcessorRecord& r : records) {
    const uint64_t mask = r.processorMask & keep;
    // A record of processors beyond the mask's 64 bits stays when nothing is restricted.
    if (mask != 0 || (r.processorMask == 0 && keep == ~uint64_t{0})) {
      kept.push_back({mask, r.relationship});
    }
  }
  return kept;
}

std::optional<std::vector<ProcessorRecord>> QueryLogicalProcessorInformation() {
  auto records = ReadProcessorTopology("/sys/devices/system/cpu");
  if (!records) return records;
  std::vector<int> affinity = AffinityProcessors();
  if (static_cast<long>(affinity.size()) >= sysconf(_SC_NPROCESSORS_ONLN)) affinity.clear();
  std::vector<ProcessorRecord> usable =
      RestrictToUsable(*records, affinity,
                       CgroupProcessorLimit("/sys/fs/cgroup", ReadWholeFile("/proc/self/cgroup")));
  if (usable.empty()) return std::nullopt;
  return usable;
}

uint32_t NativeProcessorCount() {
  long count = sysconf(_SC_NPROCESSORS_ONLN);
  const std::vector<int> affinity = AffinityProcessors();
  if (!affinity.empty()) count = static_cast<long>(affinity.size());
  const auto limit = CgroupProcessorLimit("/sys/fs/cgroup", ReadWholeFile("/proc/self/cgroup"));
  if (limit && count > static_cast<long>(*limit)) count = static_cast<long>(*limit);
  return count < 1 ? 1u : static_cast<uint32_t>(count);
}

}  // namespace lumeray::platform
