#include "cli/Batch.h"

#include <dirent.h>
#include <fcntl.h>
#include <sched.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <map>
#include <sstream>
#include <thread>
#include <unordered_map>

#include "base/Errors.h"
#include "base/Parallel.h"
#include "base/SafeOutput.h"
#include "cli/CliCommon.h"

namespace brellin::cli {

namespace fs = std::filesystem;

const std::vector<std::string>& BatchValueOptions() {
  static const std::vector<std::string> v = {"--from-list", "--out-dir", "--jobs",
                                             "--report",    "--shard",   "--shard-count"};
  return v;
}

const std::vector<std::string>& BatchFlagOptions() {
  static const std::vector<std::string> v = {"--keep-tree", "--skip-existing", "--keep-going"};
  return v;
}

namespace {

bool gCheckingOptionsOnly = false;

// SIGINT or SIGTERM told the run to stop: it stops its painters, then says
// what was done before it ends by that signal.
volatile sig_atomic_t gStopSignal = 0;
extern "C" void NoteStopSignal(int Signal) {
  gStopSignal = Signal;
}
const int kStopSignals[2] = {SIGINT, SIGTERM};

class TStopSignals {
 public:
  TStopSignals() {
    gStopSignal = 0;
    for (int i = 0; i < 2; ++i) {
      ::sigaction(kStopSignals[i], nullptr, &FOld[i]);
      // An ignored signal stays ignored (a run started in the background).
      if (!(FOld[i].sa_flags & SA_SIGINFO) && FOld[i].sa_handler == SIG_IGN) continue;
      struct sigaction sa {};
      sa.sa_handler = NoteStopSignal;
      sigemptyset(&sa.sa_mask);
      ::sigaction(kStopSignals[i], &sa, nullptr);  // no SA_RESTART: waitpid returns
    }
  }
  ~TStopSignals() { Restore(); }
  // What was there before: for a painter, and for the end of the run.
  void Restore() {
    for (int i = 0; i < 2; ++i) ::sigaction(kStopSignals[i], &FOld[i], nullptr);
  }

 private:
  struct sigaction FOld[2]{};
};

bool IsIn(const std::vector<std::string>& v, const std::string& s) {
  return std::find(v.begin(), v.end(), s) != v.end();
}

std::vector<std::string> Joined(std::vector<std::string> a, const std::vector<std::string>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

// One option as given, in the order given; the same rules as TArgs.
struct TToken {
  std::string Name, Value;
  bool HasValue = false;
};
std::vector<TToken> OptionTokens(const std::vector<std::string>& args,
                                 const std::vector<std::string>& valueOptions) {
  std::vector<TToken> r;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a == "--") break;
    if (a.size() < 2 || a[0] != '-' || std::isdigit(uint8_t(a[1])) != 0) continue;
    TToken t;
    t.Name = a;
    const size_t eq = a.find('=');
    if (eq != std::string::npos && a.rfind("--", 0) == 0) {
      t.Name = a.substr(0, eq);
      t.Value = a.substr(eq + 1);
      t.HasValue = true;
    } else if (IsIn(valueOptions, a) && i + 1 < args.size()) {
      t.Value = args[++i];
      t.HasValue = true;
    }
    r.push_back(t);
  }
  return r;
}

// 64-bit FNV-1a: enough to tell one set of options from another.
uint64_t Fnv1a(const std::string& s) {
  uint64_t h = 1469598103934665603ull;
  for (unsigned char c : s) {
    h ^= c;
    h *= 1099511628211ull;
  }
  return h;
}

std::string Hex(uint64_t v) {
  char b[20];
  std::snprintf(b, sizeof b, "%016llx", static_cast<unsigned long long>(v));
  return b;
}

// Size and change time of a file, as part of what made an output.
std::string FileStamp(const std::string& file) {
  struct stat st {};
  if (::stat(file.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return "";
  return std::to_string(st.st_size) + ":" + std::to_string(st.st_mtim.tv_sec) + "." +
         std::to_string(st.st_mtim.tv_nsec);
}

int64_t FileSize(const std::string& file) {
  struct stat st {};
  if (::stat(file.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return -1;
  return int64_t(st.st_size);
}

// Beside DIR/NAME: DIR/.NAME.options, the record of what made it.
std::string RecordOf(const std::string& output) {
  const fs::path p(output);
  return (p.parent_path() / ("." + p.filename().string() + ".options")).string();
}

std::string RecordText(const std::string& command, const std::string& optionsHash,
                       const std::string& output, int64_t bytes) {
  return "brellin-cli " + command + "\nversion " + BRELLIN_VERSION + "\noptions " + optionsHash +
         "\noutput " + fs::path(output).filename().string() + " " + std::to_string(bytes) + "\n";
}

std::string ReadSmallFile(const std::string& file) {
  const int fd = ::open(file.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return "";
  std::string s;
  char b[1024];
  for (;;) {
    const ssize_t n = ::read(fd, b, sizeof b);
    if (n <= 0 || s.size() > 65536) break;
    s.append(b, size_t(n));
  }
  ::close(fd);
  return s;
}

void WriteWhole(const std::string& file, const std::string& text) {
  TSafeOutput out(file);
  size_t done = 0;
  while (done < text.size()) {
    const ssize_t n = ::write(out.Fd(), text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) throw EWriteError(std::string("cannot write the file: ") + std::strerror(errno));
    done += size_t(n);
  }
  out.Commit();
}

// What became of one input.
enum class TStatus { NotStarted, Painted, Skipped, Failed, Stopped };
struct TItem {
  size_t Index = 0;  // place in the whole list
  std::string Input;
  std::string Output;
  TStatus Status = TStatus::NotStarted;
  int Code = 0;  // exit code of a failure
  std::string File, Reason;
  double Seconds = 0;
};

// The outcome of the single-file command, as the child reports it.
struct TOutcome {
  int Code = kExitOk;
  std::string File, Reason;
};

TOutcome RunCaught(const std::function<int()>& run, const std::string& input) {
  TOutcome o;
  try {
    o.Code = run();
    if (o.Code != kExitOk) o.File = input, o.Reason = "failed";
  } catch (const EUsage& e) {
    o = {kExitBadInput, input, e.what()};
  } catch (const EInputFailed& e) {
    o = {kExitBadInput, e.File, e.what()};
  } catch (const EOutputFailed& e) {
    o = {kExitWriteFailed, e.File, e.what()};
  } catch (const ESilentStop&) {
    o = {kExitBadInput, input, "stopped"};
  } catch (const std::bad_alloc&) {
    o = {kExitBadInput, input, "out of memory"};
  } catch (const std::exception& e) {
    o = {kExitBadInput, input, e.what()};
  }
  return o;
}

// Fields separated by NUL bytes: code, file, reason.
std::string Encode(const TOutcome& o) {
  return std::to_string(o.Code) + '\0' + o.File + '\0' + o.Reason;
}

TOutcome Decode(const std::string& s) {
  TOutcome o;
  const size_t a = s.find('\0');
  const size_t b = a == std::string::npos ? a : s.find('\0', a + 1);
  if (b == std::string::npos) return {kExitBadInput, "", ""};
  o.Code = std::atoi(s.substr(0, a).c_str());
  o.File = s.substr(a + 1, b - a - 1);
  o.Reason = s.substr(b + 1);
  return o;
}

// The cores this process may run on: a scheduler's binding (Slurm's, or
// taskset's) leaves fewer than the machine has.
int Cores() {
  cpu_set_t set;
  CPU_ZERO(&set);
  int n = ::sched_getaffinity(0, sizeof set, &set) == 0 ? CPU_COUNT(&set) : 0;
  if (n <= 0) n = int(std::thread::hardware_concurrency());
  return std::clamp(n, 1, 64);
}

// Files done out of the total and the rate, on one terminal line.
class TBatchProgress {
 public:
  TBatchProgress(bool show, size_t total) : FShow(show), FTotal(total) {}
  void Draw(size_t done, size_t painted, double seconds) {
    if (!FShow) return;
    const int width = 30;
    const int full = FTotal ? int(done * width / FTotal) : width;
    std::string bar(size_t(full), '#');
    bar += std::string(size_t(width - full), '.');
    const double rate = seconds > 0 ? painted / seconds : 0;
    std::fprintf(stderr, "\rPainting files [%s] %zu/%zu files, %.2f files/s ", bar.c_str(), done,
                 FTotal, rate);
    std::fflush(stderr);
    FDrawn = true;
  }
  // Takes the bar off its line before a message.
  void Clear() {
    if (!FDrawn) return;
    std::fprintf(stderr, "\r%*s\r", 90, "");
    FDrawn = false;
  }

 private:
  bool FShow;
  size_t FTotal;
  bool FDrawn = false;
};

const char* StatusName(TStatus s) {
  switch (s) {
    case TStatus::Painted:
      return "painted";
    case TStatus::Skipped:
      return "skipped";
    case TStatus::Failed:
      return "failed";
    case TStatus::Stopped:
      return "stopped";
    default:
      return "not started";
  }
}

}  // namespace

bool CheckingOptionsOnly() {
  return gCheckingOptionsOnly;
}

std::vector<std::string> ParseInputList(const std::string& text) {
  std::vector<std::string> r;
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.find_first_not_of(" \t") == std::string::npos) continue;
    if (line[0] == '#') continue;
    r.push_back(line);
  }
  return r;
}

TShard ParseShard(const std::string& value, int shardCount,
                  const std::function<const char*(const char*)>& getEnv) {
  auto number = [](const char* s, long& v) {
    if (!s || !*s) return false;
    char* end = nullptr;
    v = std::strtol(s, &end, 10);
    return *end == '\0' && v >= 0 && v <= 100000000;
  };
  TShard r;
  if (value != "auto") {
    long k = 0, n = 0;
    const size_t slash = value.find('/');
    if (slash == std::string::npos || !number(value.substr(0, slash).c_str(), k) ||
        !number(value.substr(slash + 1).c_str(), n) || n < 1 || k >= n)
      throw EUsage("--shard takes K/N with 0 <= K < N (for example 0/4), or auto; not '" + value +
                   "'");
    if (shardCount > 0) throw EUsage("--shard-count goes with --shard auto");
    r.Index = int(k), r.Count = int(n);
    return r;
  }
  long id = 0, count = 0, lo = 0, hi = 0;
  if (number(getEnv("SLURM_ARRAY_TASK_ID"), id)) {
    if (shardCount > 0) {
      // The task's index is the shard's: an array resubmitted in part
      // (--array=3,7) keeps its shards.
      count = shardCount;
      r.Source = "Slurm (SLURM_ARRAY_TASK_ID=" + std::to_string(id) + ") and --shard-count";
    } else {
      const bool hasMin = number(getEnv("SLURM_ARRAY_TASK_MIN"), lo);
      const bool hasMax = number(getEnv("SLURM_ARRAY_TASK_MAX"), hi);
      const bool hasCount = number(getEnv("SLURM_ARRAY_TASK_COUNT"), count);
      if (!hasMin) lo = 0;
      if (!hasCount) {
        if (!hasMin || !hasMax || hi < lo)
          throw EUsage(
              "--shard auto: SLURM_ARRAY_TASK_ID is set but neither SLURM_ARRAY_TASK_COUNT nor "
              "SLURM_ARRAY_TASK_MIN and _MAX; give --shard-count N");
        count = hi - lo + 1;
      } else if (hasMin && hasMax && count != hi - lo + 1) {
        throw EUsage("--shard auto: the Slurm array is not one range of tasks (" +
                     std::to_string(count) + " from " + std::to_string(lo) + " to " +
                     std::to_string(hi) +
                     "); give --shard-count N, and SLURM_ARRAY_TASK_ID is the shard from 0");
      }
      r.Source = "Slurm (SLURM_ARRAY_TASK_ID=" + std::to_string(id) +
                 (hasMin ? ", SLURM_ARRAY_TASK_MIN=" + std::to_string(lo) : "") +
                 ", SLURM_ARRAY_TASK_COUNT=" + std::to_string(count) + ")";
      id -= lo;
    }
  } else if (number(getEnv("JOB_COMPLETION_INDEX"), id)) {
    if (shardCount <= 0)
      throw EUsage(
          "--shard auto with JOB_COMPLETION_INDEX needs --shard-count N (the Job's "
          "completions)");
    count = shardCount;
    r.Source = "Kubernetes (JOB_COMPLETION_INDEX=" + std::to_string(id) + ")";
  } else {
    throw EUsage(
        "--shard auto finds neither SLURM_ARRAY_TASK_ID nor JOB_COMPLETION_INDEX in the "
        "environment; give --shard K/N");
  }
  if (count < 1 || id < 0 || id >= count)
    throw EUsage("--shard auto: index " + std::to_string(id) + " is not below the count " +
                 std::to_string(count) + " given by " + r.Source);
  r.Index = int(id), r.Count = int(count);
  return r;
}

bool WantsBatch(const std::vector<std::string>& args, const TBatchCommand& c) {
  const TArgs a(args, Joined(c.ValueOptions, BatchValueOptions()),
                Joined(c.FlagOptions, BatchFlagOptions()));
  for (const auto& o : Joined(BatchValueOptions(), BatchFlagOptions()))
    if (o != "--out-dir" && a.Has(o)) return true;
  if (a.Positional().size() > 1) return true;
  if (!a.Has("--out-dir") || a.Positional().empty()) return false;
  for (const auto& o : c.SingleInputOptions)
    if (a.Has(o)) return false;
  return true;
}

int RunBatch(const std::vector<std::string>& args, const TBatchCommand& c) {
  const std::vector<std::string> valueOptions = Joined(c.ValueOptions, BatchValueOptions());
  const TArgs a(args, valueOptions, Joined(c.FlagOptions, BatchFlagOptions()));
  if (a.Has("-o")) throw EUsage("-o names one output; use --out-dir");
  for (const auto& o : c.SingleInputOptions)
    if (a.Has(o)) throw EUsage(o + " names the file of one input; it does not go with a batch");
  if (!a.Has("--out-dir")) throw EUsage("several inputs need --out-dir DIR");

  // The inputs: the arguments, then the list.
  std::vector<std::string> inputs = a.Positional();
  if (a.Has("--from-list")) {
    const std::string list = a.Value("--from-list");
    std::string text;
    if (list == "-") {
      text.assign(std::istreambuf_iterator<char>(std::cin), std::istreambuf_iterator<char>());
    } else {
      std::ifstream f(list, std::ios::binary);
      if (!f) throw EInputFailed(list, "cannot read the list");
      text.assign(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
    }
    const auto listed = ParseInputList(text);
    inputs.insert(inputs.end(), listed.begin(), listed.end());
  }
  if (inputs.empty()) throw EUsage(c.Name + " has no inputs");

  // Where each output goes, decided over the whole list, so that every shard
  // of it refuses the same clashes.
  const fs::path outDir = a.Value("--out-dir");
  const bool keepTree = a.Has("--keep-tree");
  std::vector<std::string> outputs;
  outputs.reserve(inputs.size());
  std::unordered_map<std::string, size_t> taken;
  for (size_t i = 0; i < inputs.size(); ++i) {
    const fs::path in = fs::path(inputs[i]).lexically_normal();
    fs::path folder;
    if (keepTree) {
      folder = in.parent_path().relative_path();
      if (!folder.empty() && *folder.begin() == "..")
        throw EUsage("--keep-tree cannot place the output of " + inputs[i] + " under " +
                     outDir.string() + ": its folder climbs out with ..");
    }
    const std::string out = (outDir / folder / c.OutputName(in.stem().string())).string();
    const std::string key = fs::path(out).lexically_normal().string();
    const auto [it, fresh] = taken.emplace(key, i);
    if (!fresh)
      throw EUsage("the inputs " + inputs[it->second] + " and " + inputs[i] +
                   " would both be written to " + out +
                   (keepTree ? "" : "; give --keep-tree to keep their folders"));
    outputs.push_back(out);
  }

  // The options each file is painted with: all but the batch's own.
  const std::vector<std::string> own = {"-o", "--out-dir", "--threads", "--quiet"};
  std::vector<TToken> common;
  for (const TToken& t : OptionTokens(args, valueOptions))
    if (!IsIn(own, t.Name) && !IsIn(BatchValueOptions(), t.Name) &&
        !IsIn(BatchFlagOptions(), t.Name))
      common.push_back(t);
  std::vector<std::string> commonArgs;
  for (const TToken& t : common) commonArgs.push_back(t.HasValue ? t.Name + "=" + t.Value : t.Name);
  auto singleArgs = [&](size_t i, int threads) {
    std::vector<std::string> v = commonArgs;
    v.insert(v.end(), {"-o", outputs[i], "--quiet"});
    if (c.TakesThreads && threads > 0) v.insert(v.end(), {"--threads", std::to_string(threads)});
    v.insert(v.end(), {"--", inputs[i]});
    return v;
  };

  // The record of the options: their order does not matter, the order of
  // repeated ones does; files they name count with their size and time.
  std::vector<TToken> sorted = common;
  std::stable_sort(sorted.begin(), sorted.end(),
                   [](const TToken& x, const TToken& y) { return x.Name < y.Name; });
  std::string canonical = c.Name;
  for (const TToken& t : sorted) {
    canonical += '\0' + t.Name + '\0' + t.Value;
    if (t.HasValue && !t.Value.empty()) canonical += '\0' + FileStamp(t.Value);
  }

  auto recordHash = [&](const TItem& it) {
    return Hex(Fnv1a(canonical + '\0' + FileStamp(it.Input)));
  };
  // The output is there, whole, with the record of these options.
  auto finished = [&](const TItem& it) {
    const int64_t bytes = FileSize(it.Output);
    return bytes >= 0 && ReadSmallFile(RecordOf(it.Output)) ==
                             RecordText(c.Name, recordHash(it), it.Output, bytes);
  };

  const int jobsGiven = a.IntValue("--jobs", 0, 1, 256);
  const int threadsGiven = a.IntValue("--threads", 0, 1, 64);
  const TShard shard = a.Has("--shard") ? ParseShard(a.Value("--shard"),
                                                     a.IntValue("--shard-count", 0, 1, 100000000),
                                                     [](const char* n) { return std::getenv(n); })
                                        : TShard{};
  if (a.Has("--shard-count") && !a.Has("--shard"))
    throw EUsage("--shard-count goes with --shard auto");
  const bool quiet = a.Has("--quiet");

  // The command reads its options once here, so that a mistake in them is
  // told at once and not once per file. On one thread: a process that forks
  // painters must not have started worker threads.
  SetThreadCount(1);
  {
    gCheckingOptionsOnly = true;
    struct TReset {
      ~TReset() { gCheckingOptionsOnly = false; }
    } reset;
    c.Run(singleArgs(0, 1));
  }

  std::vector<TItem> items;
  for (size_t i = size_t(shard.Index); i < inputs.size(); i += size_t(shard.Count)) {
    TItem it;
    it.Index = i;
    it.Input = inputs[i];
    it.Output = outputs[i];
    items.push_back(it);
  }
  if (!shard.Source.empty())
    std::fprintf(stderr, "brellin-cli: shard %d/%d from %s: %zu of %zu inputs\n", shard.Index,
                 shard.Count, shard.Source.c_str(), items.size(), inputs.size());

  const int jobs =
      std::max(1, std::min<int>(jobsGiven > 0 ? jobsGiven : (items.size() > 1 ? Cores() : 1),
                                int(std::max<size_t>(1, items.size()))));
  const int threads = threadsGiven > 0 ? threadsGiven : Cores();
  // Slot k of the jobs paints with its fair share of the threads.
  auto threadsOf = [&](int slot) {
    return std::max(1, threads / jobs + (slot < threads % jobs ? 1 : 0));
  };

  TBatchProgress progress(!quiet && ::isatty(2) != 0, items.size());
  const auto started = std::chrono::steady_clock::now();
  auto elapsed = [](std::chrono::steady_clock::time_point since) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
  };
  size_t done = 0, painted = 0, skipped = 0, failed = 0;
  bool writeFailed = false, stop = false;
  auto fail = [&](TItem& it, int code, const std::string& file, const std::string& reason) {
    it.Status = TStatus::Failed;
    it.Code = code;
    it.File = file.empty() ? it.Input : file;
    it.Reason = reason;
    ++failed;
    if (code == kExitWriteFailed) writeFailed = true;
    progress.Clear();
    std::fprintf(stderr, "brellin-cli: %s: %s\n", it.File.c_str(), it.Reason.c_str());
    if (!a.Has("--keep-going")) stop = true;
  };

  struct TRunning {
    size_t Item;
    int Fd;
    int Slot;
    std::chrono::steady_clock::time_point Start;
  };
  std::map<pid_t, TRunning> running;
  std::vector<bool> slotBusy(size_t(jobs), false);
  const pid_t parent = ::getpid();
  size_t next = 0;
  TStopSignals stopSignals;
  bool forwarded = false;
  progress.Draw(0, 0, 0);
  while (true) {
    if (gStopSignal != 0) {
      stop = true;
      if (!forwarded)
        for (const auto& [pid, r] : running) ::kill(pid, SIGTERM);
      forwarded = true;
    }
    while (!stop && next < items.size() && int(running.size()) < jobs) {
      TItem& it = items[next];
      const size_t index = next++;
      const std::string record = RecordOf(it.Output);
      if (a.Has("--skip-existing") && finished(it)) {
        it.Status = TStatus::Skipped;
        ++skipped, ++done;
        progress.Draw(done, painted, elapsed(started));
        continue;
      }
      // An output being replaced loses its record first: a run killed after
      // the new picture is in place must not take it for the old options'.
      std::error_code ec;
      const fs::path folder = fs::path(it.Output).parent_path();
      if (!folder.empty() && !fs::create_directories(folder, ec) && !fs::is_directory(folder)) {
        fail(it, kExitWriteFailed, folder.string(),
             "cannot create the folder: " + (ec ? ec.message() : std::string("not a folder")));
        ++done;
        continue;
      }
      if (::unlink(record.c_str()) != 0 && errno != ENOENT) {
        fail(it, kExitWriteFailed, record, std::string("cannot remove: ") + std::strerror(errno));
        ++done;
        continue;
      }
      // Partial files of killed painters go with the first output into the
      // folder (they are unlocked and named as ours).
      int slot = 0;
      while (slotBusy[size_t(slot)]) ++slot;
      int fds[2];
      if (::pipe2(fds, O_CLOEXEC) != 0) throw EOutputFailed(it.Output, "cannot start a painter");
      std::fflush(nullptr);
      // A stop signal waits until the painter has its own handlers.
      sigset_t block, previous;
      sigemptyset(&block);
      for (int sig : kStopSignals) sigaddset(&block, sig);
      ::sigprocmask(SIG_BLOCK, &block, &previous);
      const pid_t pid = ::fork();
      if (pid != 0) ::sigprocmask(SIG_SETMASK, &previous, nullptr);
      if (pid < 0) throw EOutputFailed(it.Output, "cannot start a painter");
      if (pid == 0) {
        ::close(fds[0]);
        stopSignals.Restore();
        ::sigprocmask(SIG_SETMASK, &previous, nullptr);
        // A painter ends with the run: told to stop, it removes its partial files.
        ::prctl(PR_SET_PDEATHSIG, SIGTERM);
        if (::getppid() != parent) ::_exit(kExitWriteFailed);
        const int share = threadsOf(slot);
        SetThreadCount(share);
        const std::vector<std::string> childArgs = singleArgs(it.Index, share);
        // The record follows the output, written here so that its cost
        // overlaps the other painters' work.
        const TOutcome o = RunCaught(
            [&] {
              const int code = c.Run(childArgs);
              if (code != kExitOk) return code;
              const int64_t bytes = FileSize(it.Output);
              if (bytes < 0) throw EOutputFailed(it.Output, "the output is not there");
              try {
                WriteWhole(record, RecordText(c.Name, recordHash(it), it.Output, bytes));
              } catch (const std::exception& e) {
                throw EOutputFailed(record, e.what());
              }
              return code;
            },
            it.Input);
        const std::string msg = Encode(o);
        size_t off = 0;
        while (off < msg.size()) {
          const ssize_t n = ::write(fds[1], msg.data() + off, msg.size() - off);
          if (n < 0 && errno == EINTR) continue;
          if (n <= 0) break;
          off += size_t(n);
        }
        std::fflush(nullptr);
        ::_exit(o.Code);
      }
      ::close(fds[1]);
      slotBusy[size_t(slot)] = true;
      running[pid] = {index, fds[0], slot, std::chrono::steady_clock::now()};
    }
    if (running.empty()) break;

    int status = 0;
    const pid_t pid = ::waitpid(-1, &status, 0);
    if (pid < 0) {
      if (errno == EINTR) continue;
      break;
    }
    const auto found = running.find(pid);
    if (found == running.end()) continue;
    const TRunning r = found->second;
    running.erase(found);
    slotBusy[size_t(r.Slot)] = false;
    std::string msg;
    char b[4096];
    for (;;) {
      const ssize_t n = ::read(r.Fd, b, sizeof b);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) break;
      msg.append(b, size_t(n));
    }
    ::close(r.Fd);
    TItem& it = items[r.Item];
    it.Seconds = elapsed(r.Start);
    ++done;
    if (WIFSIGNALED(status) && gStopSignal != 0) {
      // Stopped on its way out, a painter may have finished its file.
      if (finished(it)) {
        it.Status = TStatus::Painted;
        ++painted;
      } else {
        it.Status = TStatus::Stopped;
        it.Reason = "the run was stopped";
      }
    } else if (WIFSIGNALED(status)) {
      fail(it, kExitBadInput, it.Input,
           std::string("the painter was stopped by signal ") + std::to_string(WTERMSIG(status)) +
               " (" + strsignal(WTERMSIG(status)) + ")");
    } else {
      const TOutcome o = Decode(msg);
      const int code = WIFEXITED(status) ? WEXITSTATUS(status) : kExitBadInput;
      if (code != kExitOk || o.Code != kExitOk) {
        fail(it, code == kExitWriteFailed ? kExitWriteFailed : kExitBadInput, o.File,
             o.Reason.empty() ? "failed" : o.Reason);
      } else {
        it.Status = TStatus::Painted;
        ++painted;
      }
    }
    progress.Draw(done, painted, elapsed(started));
  }
  progress.Clear();

  const size_t notStarted = items.size() - done;
  if (gStopSignal != 0)
    std::fprintf(stderr, "brellin-cli: stopped by %s; %zu input%s not painted\n",
                 gStopSignal == SIGINT ? "SIGINT" : "SIGTERM",
                 items.size() - painted - skipped - failed,
                 items.size() - painted - skipped - failed == 1 ? "" : "s");
  else if (notStarted > 0)
    std::fprintf(stderr,
                 "brellin-cli: stopped after a failure; %zu input%s not started "
                 "(--keep-going goes on past a bad input)\n",
                 notStarted, notStarted == 1 ? "" : "s");
  std::fprintf(stderr, "painted %zu, skipped %zu, failed %zu\n", painted, skipped, failed);

  if (a.Has("--report")) {
    std::string report;
    for (const TItem& it : items) {
      char seconds[32];
      std::snprintf(seconds, sizeof seconds, "%.3f", it.Seconds);
      report += "{\"input\": " + JsonString(it.Input) + ", \"status\": \"" + StatusName(it.Status) +
                "\", \"reason\": " + JsonString(it.Reason) + ", \"seconds\": " + seconds +
                ", \"outputs\": [";
      if (it.Status == TStatus::Painted || it.Status == TStatus::Skipped)
        report += JsonString(it.Output);
      report += "]}\n";
    }
    const std::string file = a.Value("--report");
    try {
      WriteWhole(file, report);
    } catch (const std::exception& e) {
      std::fprintf(stderr, "brellin-cli: %s: %s\n", file.c_str(), e.what());
      return kExitWriteFailed;
    }
  }
  if (gStopSignal != 0) {
    const int signal = gStopSignal;
    stopSignals.Restore();
    std::fflush(nullptr);
    ::raise(signal);
  }
  if (writeFailed) return kExitWriteFailed;
  return failed > 0 ? kExitBadInput : kExitOk;
}

}  // namespace brellin::cli
