#include "history/UTempManager.h"

#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <system_error>

#include "base/ProgramFolder.h"

namespace brellin {

namespace fs = std::filesystem;

namespace {

TTempManager* gManager = nullptr;

std::string Padded(int N) {
  char b[16];
  std::snprintf(b, sizeof b, "%08d", N);
  return b;
}

}  // namespace

TTempManager::TTempManager() {
  const std::string program = ProgramFolder();
  FLogFileName = program + "TempManager.log";
  FFolder = program + "tmp/";
  {
    std::ifstream log(FLogFileName);
    if (log) {
      for (std::string line; std::getline(log, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (!line.empty()) FNames.push_back(line);
      }
      log.close();
      Clean();
    }
  }
  std::error_code ec;
  fs::create_directories(FFolder, ec);
  if (ec || !fs::is_directory(FFolder))
    throw ETempFolderError("Error creating the folder:\n\r" + FFolder);
}

TTempManager::~TTempManager() {
  if (gManager == this) gManager = nullptr;
  Clean();
}

std::string TTempManager::NewName(const std::string& Extension) {
  std::string name;
  std::error_code ec;
  do {
    name = FFolder + Padded(FCounter) + "." + Extension;
    ++FCounter;
  } while (fs::exists(name, ec));
  FNames.push_back(name);
  WriteLog();
  return name;
}

void TTempManager::WriteLog() {
  // A log that cannot be written only costs the clean-up after a crash. The
  // first write since the log was removed writes every name; later ones only
  // add the newest, which leaves the same lines without rewriting them all.
  if (!FLogCurrent) {
    std::ofstream log(FLogFileName, std::ios::trunc);
    for (const std::string& n : FNames) log << n << '\n';
    FLogCurrent = bool(log);
    return;
  }
  std::ofstream log(FLogFileName, std::ios::app);
  log << FNames.back() << '\n';
  FLogCurrent = bool(log);
}

void TTempManager::Clean() {
  for (const std::string& n : FNames) std::remove(n.c_str());
  std::remove(FLogFileName.c_str());
  FLogCurrent = false;
  std::error_code ec;
  if (!FFolder.empty() && fs::is_directory(FFolder, ec) && fs::is_empty(FFolder, ec))
    fs::remove(FFolder, ec);
}

TTempManager* TempManager() {
  return gManager;
}
void SetTempManager(TTempManager* Manager) {
  gManager = Manager;
}

std::string NewTempName(const std::string& Extension) {
  if (gManager) return gManager->NewName(Extension);
  static std::atomic<int> counter{0};
  std::error_code ec;
  fs::path dir = fs::temp_directory_path(ec);
  if (ec) dir = "/tmp";
  for (;;) {
    const fs::path p =
        dir / ("brellin-" + std::to_string(::getpid()) + "-" + Padded(counter++) + "." + Extension);
    if (!fs::exists(p, ec)) return p.string();
  }
}

}  // namespace brellin
