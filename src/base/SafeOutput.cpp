#include "base/SafeOutput.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <mutex>
#include <set>
#include <vector>

#include "base/Errors.h"

namespace brellin {

namespace {

std::string ErrnoText(int e) {
  return std::strerror(e);
}

// Partial files being written, for the signal handler. Fixed storage, so
// that the handler reads no memory another thread may free meanwhile.
constexpr int kSlots = 32;
constexpr size_t kNameSize = 4096;
struct TSlot {
  std::atomic<int> State{0};  // 0 free, 1 being filled, 2 holds a name
  char Name[kNameSize];
};
TSlot gSlots[kSlots];

struct sigaction gPrevious[2];
const int kSignals[2] = {SIGINT, SIGTERM};

extern "C" void RemovePartialsAndDie(int Signal) {
  for (TSlot& s : gSlots)
    if (s.State.load() == 2) ::unlink(s.Name);
  for (int i = 0; i < 2; ++i)
    if (kSignals[i] == Signal) ::sigaction(Signal, &gPrevious[i], nullptr);
  ::raise(Signal);
}

// Checked at every output rather than once: a handler installed later (a
// desktop toolkit's, or SIG_DFL after a fork) would otherwise replace this
// one for good. Whatever was there runs after the partial files are gone.
void InstallHandlers() {
  static std::mutex mutex;
  const std::lock_guard<std::mutex> lock(mutex);
  for (int i = 0; i < 2; ++i) {
    struct sigaction old {};
    if (::sigaction(kSignals[i], nullptr, &old) != 0) continue;
    if (!(old.sa_flags & SA_SIGINFO) && old.sa_handler == RemovePartialsAndDie) continue;
    // An ignored signal stays ignored (a job started in the background).
    if (!(old.sa_flags & SA_SIGINFO) && old.sa_handler == SIG_IGN) continue;
    gPrevious[i] = old;
    struct sigaction sa {};
    sa.sa_handler = RemovePartialsAndDie;
    sigemptyset(&sa.sa_mask);
    ::sigaction(kSignals[i], &sa, nullptr);
  }
}

int Register(const std::string& Name) {
  if (Name.size() >= kNameSize) return -1;
  InstallHandlers();
  for (int i = 0; i < kSlots; ++i) {
    int expected = 0;
    if (gSlots[i].State.compare_exchange_strong(expected, 1)) {
      std::memcpy(gSlots[i].Name, Name.c_str(), Name.size() + 1);
      gSlots[i].State.store(2);
      return i;
    }
  }
  return -1;  // more outputs at once than slots: only the kill case is lost
}

void Unregister(int Slot) {
  if (Slot >= 0) gSlots[Slot].State.store(0);
}

std::string FolderOf(const std::string& Path) {
  const size_t slash = Path.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return Path.substr(0, slash);
}

// Partial files get a short random name, short enough that any legal target
// name can be written, and locked by their writer for as long as it lives.
constexpr char kPartialPrefix[] = ".brellin-part-";
constexpr size_t kPartialPrefixSize = sizeof kPartialPrefix - 1;
constexpr size_t kPartialRandomSize = 6;

bool IsPartialName(const char* Name) {
  if (std::strncmp(Name, kPartialPrefix, kPartialPrefixSize) != 0) return false;
  const char* rest = Name + kPartialPrefixSize;
  if (std::strlen(rest) != kPartialRandomSize) return false;
  for (const char* c = rest; *c; ++c)
    if (!((*c >= 'a' && *c <= 'z') || (*c >= 'A' && *c <= 'Z') || (*c >= '0' && *c <= '9')))
      return false;
  return true;
}

std::string RandomSuffix() {
  static constexpr char kChars[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
  unsigned char bytes[kPartialRandomSize];
  if (::getentropy(bytes, sizeof bytes) != 0) {
    static std::atomic<unsigned> counter{0};
    const unsigned n = unsigned(::getpid()) * 2654435761u + counter++;
    for (size_t i = 0; i < sizeof bytes; ++i) bytes[i] = (unsigned char)(n >> (i * 5));
  }
  std::string s;
  for (const unsigned char b : bytes) s += kChars[b % (sizeof kChars - 1)];
  return s;
}

bool SameFile(int Fd, int FolderFd, const char* Name) {
  struct stat a {
  }, b{};
  return ::fstat(Fd, &a) == 0 && ::fstatat(FolderFd, Name, &b, AT_SYMLINK_NOFOLLOW) == 0 &&
         a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// Removes the partial files in Folder that a killed writer left: ours by
// name, the user's own regular files, and no longer locked by any process.
// Once per folder and process: a folder of many outputs is read once.
void RemoveOrphanedPartials(const std::string& Folder) {
  static std::mutex mutex;
  static std::set<std::string> done;
  {
    const std::lock_guard<std::mutex> lock(mutex);
    if (!done.insert(Folder).second) return;
  }
  const int dirFd = ::open(Folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dirFd < 0) return;
  std::vector<std::string> names;
  if (DIR* dir = ::fdopendir(::dup(dirFd))) {
    while (const dirent* e = ::readdir(dir))
      if (IsPartialName(e->d_name)) names.emplace_back(e->d_name);
    ::closedir(dir);
  }
  for (const std::string& name : names) {
    const int fd =
        ::openat(dirFd, name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) continue;
    struct stat st {};
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_uid == ::geteuid() &&
        ::flock(fd, LOCK_EX | LOCK_NB) == 0 && SameFile(fd, dirFd, name.c_str()))
      ::unlinkat(dirFd, name.c_str(), 0);
    ::close(fd);
  }
  ::close(dirFd);
}

// The kernel's rule for links in shared folders: in a sticky folder that
// anyone may write to, a link is followed only when it belongs to the user
// or to the folder's owner. Reading the link ourselves would bypass that
// protection, so it is applied here.
void RefuseForeignLinkInSharedFolder(const std::string& Link, const struct stat& LinkStat) {
  const uid_t user = ::geteuid();
  if (LinkStat.st_uid == user) return;
  struct stat folder {};
  if (::stat(FolderOf(Link).c_str(), &folder) != 0) return;
  const bool shared = (folder.st_mode & S_ISVTX) && (folder.st_mode & S_IWOTH);
  if (shared && LinkStat.st_uid != folder.st_uid)
    throw EWriteError("refusing to follow a link owned by another user in a shared folder");
}

void SyncFolder(const std::string& Folder) {
  const int fd = ::open(Folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  ::fsync(fd);  // some file systems cannot; the rename itself is done
  ::close(fd);
}

}  // namespace

std::string FollowLinks(const std::string& Target) {
  std::string path = Target;
  for (int depth = 0; depth < 40; ++depth) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return path;
    RefuseForeignLinkInSharedFolder(path, st);
    std::string link(size_t(st.st_size > 0 ? st.st_size : 4095) + 1, '\0');
    const ssize_t n = ::readlink(path.c_str(), link.data(), link.size());
    if (n < 0) return path;
    link.resize(size_t(n));
    path = !link.empty() && link[0] == '/' ? link : FolderOf(path) + "/" + link;
  }
  throw EWriteError("too many levels of symbolic links");
}

TSafeOutput::TSafeOutput(const std::string& Target) : FTarget(Target) {
  FResolved = FollowLinks(Target);
  // From here the path holds no link of its own: one put there meanwhile is
  // refused, never followed.
  struct stat st {};
  const bool exists = ::lstat(FResolved.c_str(), &st) == 0;
  if (exists && S_ISLNK(st.st_mode)) throw EWriteError("cannot open: " + ErrnoText(ELOOP));
  if (exists && S_ISDIR(st.st_mode)) throw EWriteError("is a directory");
  if (exists && !S_ISREG(st.st_mode)) {
    FDirect = true;
    do FFd = ::open(FResolved.c_str(), O_WRONLY | O_NOCTTY | O_NOFOLLOW | O_CLOEXEC);
    while (FFd < 0 && errno == EINTR);
    if (FFd < 0) throw EWriteError("cannot open: " + ErrnoText(errno));
    return;
  }
  const std::string folder = FolderOf(FResolved);
  RemoveOrphanedPartials(folder);
  for (int attempt = 0;; ++attempt) {
    const std::string leaf = kPartialPrefix + RandomSuffix();
    const std::string name = (folder == "/" ? "" : folder) + "/" + leaf;
    int fd;
    do fd = ::open(name.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    while (fd < 0 && errno == EINTR);
    if (fd < 0) {
      if (errno == EEXIST && attempt < 100) continue;
      throw EWriteError("cannot create the file: " + ErrnoText(errno));
    }
    // Locked at once; should another process's clean-up have taken the
    // fresh file in between, it is gone and a new name's turn. A file system
    // without locks gets the file unlocked.
    const bool locked = ::flock(fd, LOCK_EX | LOCK_NB) == 0;
    const bool lockless = !locked && errno != EWOULDBLOCK;
    struct stat mine {
    }, there{};
    const bool ours = ::fstat(fd, &mine) == 0 && ::lstat(name.c_str(), &there) == 0 &&
                      mine.st_dev == there.st_dev && mine.st_ino == there.st_ino;
    if (!ours || !(locked || lockless)) {
      ::close(fd);
      if (attempt < 100) continue;
      throw EWriteError("cannot create the file: it was taken away while being made");
    }
    // Registered only once it is this process's own: a kill must never take
    // a file of that name that was there before.
    FFd = fd;
    FPartial = name;
    FSlot = Register(FPartial);
    break;
  }
  // A replaced file keeps its permissions.
  if (exists) ::fchmod(FFd, st.st_mode & 07777);
}

TSafeOutput::~TSafeOutput() {
  Abandon();
}

void TSafeOutput::Abandon() noexcept {
  if (FFd >= 0) ::close(FFd);
  FFd = -1;
  if (!FPartial.empty()) ::unlink(FPartial.c_str());
  Unregister(FSlot);
  FSlot = -1;
  FPartial.clear();
}

void TSafeOutput::Commit() {
  if (FFd < 0) throw EWriteError("the file is closed");
  if (FDirect) {
    const int fd = FFd;
    FFd = -1;
    if (::close(fd) != 0 && errno != EINTR) throw EWriteError(ErrnoText(errno));
    return;
  }
  try {
    if (::fsync(FFd) != 0) throw EWriteError("cannot write the file: " + ErrnoText(errno));
    // Renamed while still open: the lock that keeps another process's
    // clean-up away goes with the last descriptor.
    if (::rename(FPartial.c_str(), FResolved.c_str()) != 0)
      throw EWriteError("cannot replace the file: " + ErrnoText(errno));
    const int fd = FFd;
    FFd = -1;
    ::close(fd);  // the bytes are on disk already
  } catch (...) {
    Abandon();
    throw;
  }
  Unregister(FSlot);
  FSlot = -1;
  FPartial.clear();
  SyncFolder(FolderOf(FResolved));
}

int OpenRegularForReading(const std::string& FileName) {
  int fd;
  do fd = ::open(FileName.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  while (fd < 0 && errno == EINTR);
  if (fd < 0) throw EBrellinError("cannot open: " + ErrnoText(errno));
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    const bool dir = S_ISDIR(st.st_mode);
    ::close(fd);
    throw EBrellinError(dir ? "is a directory" : "is not a regular file");
  }
  ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  return fd;
}

}  // namespace brellin
