#include "base/ProgramFolder.h"

#include <unistd.h>

#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <system_error>

#ifndef BRELLIN_DATA_DIR
#define BRELLIN_DATA_DIR "/usr/local/share/brellin"
#endif

namespace brellin {

namespace fs = std::filesystem;

namespace {

std::string WithSlash(std::string folder) {
  if (!folder.empty() && folder.back() != '/') folder += '/';
  return folder;
}

bool IsLibraryExtension(const fs::path& p) {
  std::string ext = p.extension().string();
  for (char& c : ext) c = char(std::tolower(static_cast<unsigned char>(c)));
  return ext == ".srd" || ext == ".bst" || ext == ".stk";
}

std::string UserDataFolder() {
  const char* xdg = std::getenv("XDG_DATA_HOME");
  if (xdg != nullptr && xdg[0] == '/') return WithSlash(xdg) + "brellin/";
  const char* home = std::getenv("HOME");
  if (home != nullptr && home[0] != 0) return WithSlash(home) + ".local/share/brellin/";
  return "";
}

// Copies the installed files that are not there yet; a user's own edits are
// never overwritten. Failures only leave the folder less complete.
void SeedFrom(const std::string& source, const std::string& target) {
  std::error_code ec;
  fs::copy(source, target, fs::copy_options::recursive | fs::copy_options::skip_existing, ec);
}

}  // namespace

std::string ExecutableFolder() {
  std::error_code ec;
  const fs::path exe = fs::read_symlink("/proc/self/exe", ec);
  if (ec) return "";
  return WithSlash(exe.parent_path().string());
}

std::string InstalledDataFolder() {
  return WithSlash(BRELLIN_DATA_DIR);
}

bool HoldsLibraryFiles(const std::string& Folder) {
  std::error_code ec;
  for (fs::directory_iterator it(Folder, ec), end; !ec && it != end; it.increment(ec))
    if (IsLibraryExtension(it->path())) return true;
  return false;
}

std::string ProgramFolder() {
  const char* home = std::getenv("BRELLIN_HOME");
  if (home != nullptr && home[0] != 0) return WithSlash(home);

  const std::string exeFolder = ExecutableFolder();
  if (!exeFolder.empty() && HoldsLibraryFiles(exeFolder) && ::access(exeFolder.c_str(), W_OK) == 0)
    return exeFolder;

  const std::string user = UserDataFolder();
  if (user.empty()) return exeFolder;
  std::error_code ec;
  if (!fs::exists(user, ec)) {
    fs::create_directories(user, ec);
    if (!ec) SeedFrom(InstalledDataFolder(), user);
  }
  return user;
}

}  // namespace brellin
