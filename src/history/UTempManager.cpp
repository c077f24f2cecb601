#include "history/UTempManager.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <system_error>

#include "base/ProgramFolder.h"
#include "base/SafeOutput.h"

namespace brellin {

namespace fs = std::filesystem;

namespace {

TTempManager* gManager = nullptr;

constexpr const char* kLockName = "lock";
constexpr const char* kFolderPrefix = "proc-";

std::string Padded(int N) {
  char b[16];
  std::snprintf(b, sizeof b, "%08d", N);
  return b;
}

// Creates Name empty unless it exists; false with errno set otherwise.
bool CreateExclusive(const std::string& Name) {
  const int fd = ::open(Name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
  if (fd < 0) return false;
  ::close(fd);
  return true;
}

// The names the program gave its files in "tmp" before per-process folders:
// eight digits and one of its extensions.
bool IsOldLayoutName(const std::string& Name) {
  if (Name.size() != 12 || Name[8] != '.') return false;
  for (int i = 0; i < 8; ++i)
    if (Name[size_t(i)] < '0' || Name[size_t(i)] > '9') return false;
  const std::string ext = Name.substr(9);
  return ext == "bmp" || ext == "tsk" || ext == "bpj";
}

bool SameFile(int Fd, const std::string& Path) {
  struct stat a {
  }, b{};
  return ::fstat(Fd, &a) == 0 && ::lstat(Path.c_str(), &b) == 0 && a.st_dev == b.st_dev &&
         a.st_ino == b.st_ino;
}

// Removes a process's folder when its lock can be taken: the process is gone.
// A folder without a lock file is being made, or is not ours: it stays.
void RemoveIfAbandoned(const fs::path& Folder) {
  const std::string lock = (Folder / kLockName).string();
  const int fd = ::open(lock.c_str(), O_RDWR | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return;
  // The lock taken must still be the folder's: another start may have
  // removed the folder and a new process made one of the same name.
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0 || !SameFile(fd, lock)) {
    ::close(fd);
    return;
  }
  std::error_code ec;
  std::vector<fs::path> entries;
  for (fs::directory_iterator it(Folder, ec), end; !ec && it != end; it.increment(ec))
    if (it->path().filename() != kLockName) entries.push_back(it->path());
  for (const fs::path& p : entries) fs::remove_all(p, ec);
  // The lock goes last, so a start interrupted here still finds the folder.
  ::unlink(lock.c_str());
  fs::remove(Folder, ec);
  ::close(fd);
}

}  // namespace

void TTempManager::RemoveAbandonedFolders(const std::string& Root) {
  std::error_code ec;
  std::vector<fs::path> folders;
  for (fs::directory_iterator it(Root, ec), end; !ec && it != end; it.increment(ec)) {
    // Real folders only: a link could lead anywhere.
    if (it->path().filename().string().rfind(kFolderPrefix, 0) == 0 &&
        it->symlink_status().type() == fs::file_type::directory)
      folders.push_back(it->path());
  }
  for (const fs::path& f : folders) RemoveIfAbandoned(f);
}

TTempManager::TTempManager() {
  const std::string program = ProgramFolder();
  FRoot = program + "tmp/";
  // Only what is provably the program's own is removed, and nothing outside
  // the program folder: a "tmp" that is a link (or not a folder) is used
  // but never cleaned.
  std::error_code ec;
  const bool ownFolder = fs::symlink_status(program + "tmp", ec).type() == fs::file_type::directory;
  if (ownFolder) RemoveLeftovers(program);
  MakeFolder();
}

void TTempManager::RemoveLeftovers(const std::string& Program) {
  // The log of the program before per-process folders: the files it names
  // in "tmp" are left from an interrupted run.
  const std::string oldLog = Program + "TempManager.log";
  int fd = -1;
  try {
    fd = OpenRegularForReading(oldLog);
  } catch (const std::exception&) {
    // No such log, or something that is not one.
  }
  if (fd >= 0) {
    std::string text;
    char buffer[4096];
    for (ssize_t n; (n = ::read(fd, buffer, sizeof buffer)) > 0;) text.append(buffer, size_t(n));
    ::close(fd);
    std::istringstream log(text);
    for (std::string line; std::getline(log, line);) {
      if (!line.empty() && line.back() == '\r') line.pop_back();
      if (line.empty()) continue;
      // Only names of the temporary folder in the old program's form: the
      // log is not trusted to name anything else for deletion.
      if (fs::path(line).parent_path().string() + "/" != FRoot ||
          !IsOldLayoutName(fs::path(line).filename().string()))
        continue;
      FNames.push_back(line);
      std::remove(line.c_str());
    }
    std::remove(oldLog.c_str());
  }
  // Files the old program parked directly in "tmp" go by their names, which
  // no one else gives: eight digits and one of the program's extensions.
  std::error_code ec;
  std::vector<fs::path> parked;
  for (fs::directory_iterator it(FRoot, ec), end; !ec && it != end; it.increment(ec))
    if (IsOldLayoutName(it->path().filename().string()) &&
        it->symlink_status().type() == fs::file_type::regular)
      parked.push_back(it->path());
  for (const fs::path& p : parked) fs::remove(p, ec);
  RemoveAbandonedFolders(FRoot);
}

TTempManager::~TTempManager() {
  if (gManager == this) gManager = nullptr;
  Clean();
  if (FLockFd >= 0) ::close(FLockFd);
}

void TTempManager::MakeFolder() {
  const std::string pid = std::to_string(::getpid());
  for (int n = 0; n < 10000; ++n) {
    std::error_code ec;
    fs::create_directories(FRoot, ec);
    if (ec || !fs::is_directory(FRoot)) break;
    std::string folder = FRoot;
    folder += kFolderPrefix;
    folder += pid;
    if (n > 0) {
      folder += '-';
      folder += std::to_string(n);
    }
    if (::mkdir(folder.c_str(), 0700) != 0) {
      // Taken, or "tmp" removed meanwhile by a process that ended: try again.
      if (errno == EEXIST || errno == ENOENT) continue;
      break;
    }
    const std::string lock = folder + "/" + kLockName;
    const int fd = ::open(lock.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0) continue;
    // Another start may take the fresh lock before this process does, and
    // remove the folder: then it is a new name's turn.
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0 || !SameFile(fd, lock)) {
      ::close(fd);
      continue;
    }
    if (FLockFd >= 0) ::close(FLockFd);
    FLockFd = fd;
    FFolder = folder + "/";
    FLogFileName = FFolder + "TempManager.log";
    FLogCurrent = false;
    return;
  }
  throw ETempFolderError("Error creating the folder:\n\r" + FRoot);
}

std::string TTempManager::NewName(const std::string& Extension) {
  if (FLockFd < 0) MakeFolder();
  std::string name;
  do {
    name = FFolder + Padded(FCounter) + "." + Extension;
    ++FCounter;
    // Any failure but an existing file is the caller's to report when it
    // opens the file.
  } while (!CreateExclusive(name) && errno == EEXIST);
  FNames.push_back(name);
  WriteLog();
  return name;
}

void TTempManager::WriteLog() {
  // A log that cannot be written costs nothing: a crashed run's folder is
  // removed whole. The first write since the log was removed writes every
  // name; later ones only add the newest.
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
  if (!FLogFileName.empty()) std::remove(FLogFileName.c_str());
  FLogCurrent = false;
  std::error_code ec;
  if (FLockFd >= 0) {
    // Files the manager did not name keep the folder, and the lock with it.
    bool onlyLock = true;
    for (fs::directory_iterator it(FFolder, ec), end; !ec && it != end; it.increment(ec))
      if (it->path().filename() != kLockName) onlyLock = false;
    if (onlyLock && !ec) {
      ::unlink((FFolder + kLockName).c_str());
      fs::remove(FFolder, ec);
      ::close(FLockFd);
      FLockFd = -1;
    }
  }
  if (!FRoot.empty() && fs::is_directory(FRoot, ec) && fs::is_empty(FRoot, ec))
    fs::remove(FRoot, ec);
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
    const std::string p = (dir / ("brellin-" + std::to_string(::getpid()) + "-" +
                                  Padded(counter++) + "." + Extension))
                              .string();
    if (CreateExclusive(p) || errno != EEXIST) return p;
  }
}

}  // namespace brellin
