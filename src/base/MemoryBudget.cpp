#include "base/MemoryBudget.h"

#include <cstdlib>
#include <fstream>
#include <sstream>

#include "base/Errors.h"

namespace brellin {

namespace {

// A number from the first line of a file ("max" and the like give -1).
int64_t ReadNumber(const std::string& File) {
  std::ifstream f(File);
  std::string s;
  if (!(f >> s) || s.find_first_not_of("0123456789") != std::string::npos) return -1;
  return std::strtoll(s.c_str(), nullptr, 10);
}

int64_t ControlGroupRoom() {
  // cgroup v2: this process's group from /proc/self/cgroup ("0::/path").
  std::ifstream f("/proc/self/cgroup");
  for (std::string line; std::getline(f, line);) {
    if (line.rfind("0::", 0) != 0) continue;
    const std::string dir = "/sys/fs/cgroup" + line.substr(3);
    const int64_t max = ReadNumber(dir + "/memory.max");
    const int64_t used = ReadNumber(dir + "/memory.current");
    if (max < 0 || used < 0) return -1;
    return max > used ? max - used : 0;
  }
  return -1;
}

}  // namespace

int64_t AvailableMemory() {
  const char* forced = std::getenv("BRELLIN_MEMINFO");
  const std::string file = forced != nullptr && forced[0] != 0 ? forced : "/proc/meminfo";
  int64_t available = -1;
  std::ifstream f(file);
  for (std::string line; std::getline(f, line);) {
    std::istringstream in(line);
    std::string key, unit;
    int64_t value = 0;
    if (in >> key >> value && key == "MemAvailable:") {
      in >> unit;
      available = unit == "kB" ? value * 1024 : value;
      break;
    }
  }
  if (forced != nullptr && forced[0] != 0) return available;
  const int64_t group = ControlGroupRoom();
  if (group >= 0 && (available < 0 || group < available)) available = group;
  return available;
}

void CheckMemoryFor(int64_t Bytes, const std::string& What) {
  const int64_t available = AvailableMemory();
  if (available < 0 || Bytes <= available) return;
  constexpr int64_t MB = 1 << 20;
  throw EInvalidData("not enough memory for " + What + " (about " +
                     std::to_string((Bytes + MB - 1) / MB) + " MB needed, " +
                     std::to_string(available / MB) + " MB available)");
}

}  // namespace brellin
