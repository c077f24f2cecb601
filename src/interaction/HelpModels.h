// What the help window and the about box decide, apart from their widgets:
// the help window's page history, where a keyword's page lives, the
// version as the about box shows it and the memory figures it reports.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace brellin {

// The help window's history, newest page first: "<< Back" moves to older
// pages (a higher index), "Next >>" to newer ones (a lower index).
class THelpHistory {
 public:
  explicit THelpHistory(size_t MaxEntries = 100) : FMax(MaxEntries) {}

  // Page becomes the current page. Pages newer than the current one are
  // dropped, as in any browser; the oldest fall out beyond the limit.
  // Visiting the current page again adds nothing.
  void Visit(const std::string& Page);
  bool CanBack() const { return FIndex + 1 < FPages.size(); }
  bool CanNext() const { return FIndex > 0; }
  // Each moves when it can and tells whether it did.
  bool Back();
  bool Next();

  // Empty while no page was visited.
  std::string Current() const { return FPages.empty() ? std::string() : FPages[FIndex]; }
  size_t Index() const { return FIndex; }
  size_t Count() const { return FPages.size(); }

 private:
  std::vector<std::string> FPages;
  size_t FIndex = 0;
  size_t FMax;
};

// The page of a help keyword: Folder + "Help/" + Keyword + ".html"; an
// empty keyword means "tools". Keywords that would leave the help folder
// ("..", separators) fall back to "tools" too.
std::string HelpPageFile(const std::string& Folder, const std::string& Keyword);

// A version up to, not including, its second dot: "2.5.0.17" is "2.5";
// a version with fewer than two dots is shown whole.
std::string VersionUpToSecondDot(const std::string& Version);

// Total and available physical memory in bytes, read from the text of
// /proc/meminfo. Available memory is what a new program can have without
// swapping ("MemAvailable"); older kernels only report "MemFree".
struct TMemoryStatus {
  uint64_t Total = 0;
  uint64_t Free = 0;
};
bool ParseMemInfo(const std::string& Text, TMemoryStatus& Status);
// The running system's figures; false when they cannot be read.
bool ReadMemoryStatus(TMemoryStatus& Status);

// The about box's credit name, kept enciphered in the program.
std::string CreditName();

}  // namespace brellin
