#include "base/ProgramFolder.h"

#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <set>
#include <system_error>

namespace brellin {

namespace fs = std::filesystem;

const char* const ShippedManifestName = ".shipped-files";

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

// Copies beside the target first and renames, so an interrupted copy never
// leaves a truncated file that later starts would take for the user's own.
// The half-written copy of To: hidden, and this process's own, so that two
// first starts at once never write into each other's copy.
fs::path PartFile(const fs::path& to) {
  std::string name(1, '.');
  name += to.filename().string();
  name += '.';
  name += std::to_string(::getpid());
  name += ".part";
  return to.parent_path() / name;
}

bool CopyReplacing(const fs::path& from, const fs::path& to) {
  const fs::path part = PartFile(to);
  std::error_code ec;
  fs::copy_file(from, part, fs::copy_options::overwrite_existing, ec);
  // Installed files may be read-only; the user's copies are theirs to edit.
  if (!ec)
    fs::permissions(part, fs::perms::owner_read | fs::perms::owner_write, fs::perm_options::add,
                    ec);
  if (!ec) fs::rename(part, to, ec);
  if (ec) {
    std::error_code ignored;
    fs::remove(part, ignored);
    return false;
  }
  return true;
}

bool SameContents(const fs::path& a, const fs::path& b) {
  std::error_code ec;
  const auto size = fs::file_size(a, ec);
  if (ec || fs::file_size(b, ec) != size || ec) return false;
  std::ifstream fa(a, std::ios::binary), fb(b, std::ios::binary);
  char ba[16384], bb[16384];
  while (fa && fb) {
    fa.read(ba, sizeof ba);
    fb.read(bb, sizeof bb);
    if (fa.gcount() != fb.gcount() || !std::equal(ba, ba + fa.gcount(), bb)) return false;
  }
  return fa.eof() && fb.eof();
}

std::set<std::string> ReadManifest(const fs::path& file) {
  std::set<std::string> names;
  std::ifstream in(file);
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();  // edited elsewhere
    if (!line.empty()) names.insert(line);
  }
  return names;
}

void WriteManifest(const fs::path& file, const std::set<std::string>& names) {
  const fs::path part = PartFile(file);
  {
    std::ofstream out(part, std::ios::trunc);
    for (const auto& n : names) out << n << '\n';
    out.flush();
    if (!out) {
      std::error_code ec;
      fs::remove(part, ec);
      return;
    }
  }
  std::error_code ec;
  fs::rename(part, file, ec);
  if (ec) fs::remove(part, ec);
}

// The help pages belong to the installed version: added, and replaced when
// they differ.
void UpdateHelp(const fs::path& source, const fs::path& target) {
  std::error_code ec;
  if (!fs::is_directory(source, ec)) return;
  fs::create_directories(target, ec);
  for (fs::recursive_directory_iterator it(source, ec), end; !ec && it != end; it.increment(ec)) {
    const fs::path to = target / fs::relative(it->path(), source);
    std::error_code e;
    if (it->is_directory(e))
      fs::create_directories(to, e);
    else if (it->is_regular_file(e) && !SameContents(it->path(), to))
      CopyReplacing(it->path(), to);
  }
}

// Seeds each program folder once per process: ProgramFolder() is asked often.
void SeedOnce(const std::string& source, const std::string& target) {
  static std::mutex mutex;
  static std::set<std::string> done;
  std::lock_guard<std::mutex> lock(mutex);
  if (done.insert(source + '\n' + target).second) SeedProgramFolder(source, target);
}

}  // namespace

void SeedProgramFolder(const std::string& Source, const std::string& Target) {
  std::error_code ec;
  if (!fs::is_directory(Source, ec)) return;
  fs::create_directories(Target, ec);
  if (!fs::is_directory(Target, ec) || fs::equivalent(Source, Target, ec)) return;

  const fs::path manifest = fs::path(Target) / ShippedManifestName;
  std::set<std::string> offered = ReadManifest(manifest);
  bool changed = false;
  for (fs::directory_iterator it(Source, ec), end; !ec && it != end; it.increment(ec)) {
    std::error_code e;
    const std::string name = it->path().filename().string();
    // A name with a line end cannot be listed one a line: it is not offered.
    if (!it->is_regular_file(e) || name.empty() || name[0] == '.' ||
        name.find_first_of("\r\n") != std::string::npos)
      continue;
    if (offered.count(name)) continue;
    const fs::path to = fs::path(Target) / name;
    // A file of that name is already there: the user's, kept as it is.
    const bool present = fs::symlink_status(to, e).type() != fs::file_type::not_found;
    if (present || CopyReplacing(it->path(), to)) {
      offered.insert(name);
      changed = true;
    }
  }
  if (changed) WriteManifest(manifest, offered);
  UpdateHelp(fs::path(Source) / "Help", fs::path(Target) / "Help");
}

std::string ExecutableFolder() {
  std::error_code ec;
  const fs::path exe = fs::read_symlink("/proc/self/exe", ec);
  if (ec) return "";
  return WithSlash(exe.parent_path().string());
}

std::string InstalledDataFolder() {
  const std::string exeFolder = ExecutableFolder();
  if (exeFolder.empty()) return "";
  // "<prefix>/bin/" -> "<prefix>/share/brellin/"
  const fs::path prefix = fs::path(exeFolder).parent_path().parent_path();
  const std::string data = WithSlash((prefix / "share" / "brellin").string());
  return HoldsLibraryFiles(data) ? data : "";
}

bool HoldsLibraryFiles(const std::string& Folder) {
  std::error_code ec;
  for (fs::directory_iterator it(Folder, ec), end; !ec && it != end; it.increment(ec))
    if (IsLibraryExtension(it->path())) return true;
  return false;
}

std::string ProgramFolder() {
  std::string folder;
  const std::string exeFolder = ExecutableFolder();
  const char* home = std::getenv("BRELLIN_HOME");
  if (home != nullptr && home[0] != 0) {
    folder = WithSlash(home);
  } else {
    if (!exeFolder.empty() && HoldsLibraryFiles(exeFolder) &&
        ::access(exeFolder.c_str(), W_OK) == 0)
      return exeFolder;
    folder = UserDataFolder();
    // Created on first use, so that what is saved there has a home. A home
    // where it cannot be made (read-only, full) is no program folder: the
    // installed library is still read below.
    std::error_code ec;
    if (!folder.empty()) fs::create_directories(folder, ec);
    if (!folder.empty() && !fs::is_directory(folder, ec)) folder.clear();
  }
  const std::string installed = InstalledDataFolder();
  // Without any user folder, the installed library can still be read.
  if (folder.empty()) return installed.empty() ? exeFolder : installed;
  if (!installed.empty()) SeedOnce(installed, folder);
  return folder;
}

}  // namespace brellin
