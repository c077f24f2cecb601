#include "interaction/HelpModels.h"

#include <fstream>
#include <sstream>

namespace brellin {

void THelpHistory::Visit(const std::string& Page) {
  if (!FPages.empty() && FPages[FIndex] == Page) return;
  FPages.erase(FPages.begin(), FPages.begin() + std::ptrdiff_t(FIndex));
  FPages.insert(FPages.begin(), Page);
  FIndex = 0;
  if (FPages.size() > FMax) FPages.resize(FMax);
}

bool THelpHistory::Back() {
  if (!CanBack()) return false;
  ++FIndex;
  return true;
}

bool THelpHistory::Next() {
  if (!CanNext()) return false;
  --FIndex;
  return true;
}

std::string HelpPageFile(const std::string& Folder, const std::string& Keyword) {
  // The keyword comes from a widget property, but it names a file: keep it
  // inside the help folder.
  const bool safe = !Keyword.empty() && Keyword.find_first_of("/\\") == std::string::npos &&
                    Keyword.find("..") == std::string::npos;
  return Folder + "Help/" + (safe ? Keyword : std::string("tools")) + ".html";
}

std::string VersionUpToSecondDot(const std::string& Version) {
  const size_t first = Version.find('.');
  if (first == std::string::npos) return Version;
  const size_t second = Version.find('.', first + 1);
  return second == std::string::npos ? Version : Version.substr(0, second);
}

bool ParseMemInfo(const std::string& Text, TMemoryStatus& Status) {
  std::istringstream in(Text);
  std::string key, unit;
  uint64_t value = 0;
  bool total = false, available = false, free = false;
  uint64_t freeBytes = 0;
  std::string line;
  while (std::getline(in, line)) {
    std::istringstream l(line);
    unit.clear();
    if (!(l >> key >> value)) continue;
    l >> unit;
    const uint64_t bytes = unit == "kB" ? value * 1024 : value;
    if (key == "MemTotal:") {
      Status.Total = bytes;
      total = true;
    } else if (key == "MemAvailable:") {
      Status.Free = bytes;
      available = true;
    } else if (key == "MemFree:") {
      freeBytes = bytes;
      free = true;
    }
  }
  if (!available && free) Status.Free = freeBytes;
  return total && (available || free);
}

bool ReadMemoryStatus(TMemoryStatus& Status) {
  std::ifstream f("/proc/meminfo");
  if (!f) return false;
  std::stringstream s;
  s << f.rdbuf();
  return ParseMemInfo(s.str(), Status);
}

std::string CreditName() {
  // "the Brellin Pro team", each byte added to 0x2a and its position.
  static const unsigned char kName[] = {0x9e, 0x93, 0x91, 0x4d, 0x70, 0xa1, 0x95, 0x9d, 0x9e, 0x9c,
                                        0xa2, 0x55, 0x86, 0xa9, 0xa7, 0x59, 0xae, 0xa0, 0x9d, 0xaa};
  std::string s;
  for (size_t i = 0; i < sizeof kName; ++i) s += char(kName[i] - 0x2a - i);
  return s;
}

}  // namespace brellin
