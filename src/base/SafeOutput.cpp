#include "base/SafeOutput.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <mutex>

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
  struct stat st {};
  const bool exists = ::stat(FResolved.c_str(), &st) == 0;
  if (exists && S_ISDIR(st.st_mode)) throw EWriteError("is a directory");
  if (exists && !S_ISREG(st.st_mode)) {
    FDirect = true;
    do FFd = ::open(FResolved.c_str(), O_WRONLY | O_NOCTTY | O_CLOEXEC);
    while (FFd < 0 && errno == EINTR);
    if (FFd < 0) throw EWriteError("cannot open: " + ErrnoText(errno));
    return;
  }
  const std::string base = FResolved + ".part-" + std::to_string(::getpid());
  for (int n = 0;; ++n) {
    FPartial = n == 0 ? base : base + "-" + std::to_string(n);
    FFd = ::open(FPartial.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    // Registered only once it is this process's own: a kill must never take
    // a file of that name that was there before.
    if (FFd >= 0) {
      FSlot = Register(FPartial);
      break;
    }
    const int e = errno;
    if (e != EEXIST || n >= 1000) {
      FPartial.clear();
      throw EWriteError("cannot create the file: " + ErrnoText(e));
    }
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
    const int fd = FFd;
    FFd = -1;
    if (::close(fd) != 0 && errno != EINTR)
      throw EWriteError("cannot write the file: " + ErrnoText(errno));
    if (::rename(FPartial.c_str(), FResolved.c_str()) != 0)
      throw EWriteError("cannot replace the file: " + ErrnoText(errno));
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
