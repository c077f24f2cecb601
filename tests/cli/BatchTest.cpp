#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <thread>

#include "analysis/PictureFormats.h"
#include "support/TestSupport.h"

namespace brellin {
namespace {

namespace fs = std::filesystem;
using test::RunCli;

// N small pictures of different sizes (so that no two paint alike), and a
// list naming them; returns the list's path.
std::string MakeInputs(const test::TTempDir& tmp, int n,
                       std::vector<std::string>* names = nullptr) {
  fs::create_directories(tmp.File("in"));
  std::string list = "# photos\n";
  for (int i = 0; i < n; ++i) {
    const std::string f = tmp.File("in/p" + std::to_string(i) + ".png");
    SavePictureFile(test::MakeTestPicture(100 + 3 * i, 100 + (i % 5)), f, 90);
    list += f + "\n" + (i % 7 == 0 ? "\n" : "");
    if (names) names->push_back(f);
  }
  test::WriteBytes(tmp.File("list"), std::vector<uint8_t>(list.begin(), list.end()));
  return tmp.File("list");
}

// Every file under Dir (names relative to it) with its bytes.
std::map<std::string, std::vector<uint8_t>> Folder(const std::string& dir) {
  std::map<std::string, std::vector<uint8_t>> r;
  for (const auto& e : fs::recursive_directory_iterator(dir))
    if (e.is_regular_file())
      r[fs::relative(e.path(), dir).string()] = test::ReadBytes(e.path().string());
  return r;
}

// The two folders hold the same files, byte for byte; names the ones that differ.
testing::AssertionResult SameFolders(const std::string& a, const std::string& b) {
  const auto x = Folder(a), y = Folder(b);
  std::string differ;
  for (const auto& [name, bytes] : x)
    if (!y.count(name) || y.at(name) != bytes) differ += " " + name;
  for (const auto& [name, bytes] : y)
    if (!x.count(name)) differ += " " + name;
  if (differ.empty()) return testing::AssertionSuccess();
  return testing::AssertionFailure() << a << " and " << b << " differ in" << differ;
}

int Count(const std::string& text, const std::string& what) {
  int n = 0;
  for (size_t p = text.find(what); p != std::string::npos; p = text.find(what, p + 1)) ++n;
  return n;
}

TEST(BatchCommand, FourShardsPaintEachInputOnceAndAsOneRunDoes) {
  test::TTempDir tmp;
  std::vector<std::string> inputs;
  const std::string list = MakeInputs(tmp, 40, &inputs);
  const auto one = RunCli({"render", "--from-list", list, "--out-dir", tmp.File("one"), "--steps",
                           "120", "--jobs", "2", "--quiet"});
  ASSERT_EQ(one.ExitCode, 0) << one.Err;
  EXPECT_NE(one.Err.find("painted 40, skipped 0, failed 0"), std::string::npos) << one.Err;

  // Four processes at once into one folder; two of them find their place
  // from a scheduler's environment.
  const std::string cli = test::ShellQuote(BRELLIN_CLI);
  const std::string common = " render --from-list " + test::ShellQuote(list) + " --out-dir " +
                             test::ShellQuote(tmp.File("sharded")) + " --steps 120 --jobs 1";
  const std::string env[4] = {"",
                              "SLURM_ARRAY_TASK_ID=2 SLURM_ARRAY_TASK_MIN=1 "
                              "SLURM_ARRAY_TASK_COUNT=4 ",
                              "JOB_COMPLETION_INDEX=2 ", ""};
  const std::string shard[4] = {"0/4", "auto", "auto --shard-count 4", "3/4"};
  std::string script = "cd " + test::ShellQuote(tmp.Path()) + " && rc=0";
  for (int k = 0; k < 4; ++k) {
    const std::string n = std::to_string(k);
    script += "; " + env[k] + cli + common + " --shard " + shard[k] + " --report r" + n +
              ".jsonl 2>e" + n + " & p" + n + "=$!";
  }
  script += "; for p in $p0 $p1 $p2 $p3; do wait $p || rc=1; done; exit $rc";
  ASSERT_EQ(std::system(script.c_str()), 0) << test::ReadText(tmp.File("e1"));
  EXPECT_NE(test::ReadText(tmp.File("e1")).find("shard 1/4 from Slurm"), std::string::npos);
  EXPECT_NE(test::ReadText(tmp.File("e2")).find("shard 2/4 from Kubernetes"), std::string::npos);

  EXPECT_TRUE(SameFolders(tmp.File("one"), tmp.File("sharded")));
  std::string reports;
  for (int k = 0; k < 4; ++k)
    reports += test::ReadText(tmp.File("r" + std::to_string(k) + ".jsonl"));
  EXPECT_EQ(Count(reports, "\"status\": \"painted\""), 40) << reports;
  for (const std::string& in : inputs)
    EXPECT_EQ(Count(reports, "{\"input\": \"" + in + "\""), 1) << in;

  // Without a scheduler, auto says what is missing.
  const auto bad =
      RunCli({"render", "--from-list", list, "--out-dir", tmp.File("x"), "--shard", "auto"});
  EXPECT_EQ(bad.ExitCode, 1);
  EXPECT_FALSE(fs::exists(tmp.File("x")));
}

// Outputs that are done: those with the record of their options.
int Records(const std::string& dir) {
  int n = 0;
  if (fs::exists(dir))
    for (const auto& e : fs::directory_iterator(dir))
      n += e.path().extension() == ".options" ? 1 : 0;
  return n;
}

// Starts the CLI in a process group of its own, waits until Dir holds
// Outputs finished outputs, and sends Signal to the run (with Group, to its painters
// too); returns its wait status.
int InterruptRun(const std::vector<std::string>& args, const std::string& dir, int outputs,
                 int signal, bool group) {
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::setpgid(0, 0);
    const int null = ::open("/dev/null", O_RDWR);
    ::dup2(null, 1), ::dup2(null, 2);
    std::vector<std::string> a = args;
    std::vector<char*> argv{const_cast<char*>(BRELLIN_CLI)};
    for (auto& s : a) argv.push_back(s.data());
    argv.push_back(nullptr);
    ::execv(BRELLIN_CLI, argv.data());
    ::_exit(127);
  }
  ::setpgid(pid, pid);
  int status = 0;
  bool exited = false;
  while (Records(dir) < outputs && !(exited = ::waitpid(pid, &status, WNOHANG) == pid))
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  ::kill(group ? -pid : pid, signal);
  if (!exited) ::waitpid(pid, &status, 0);
  return status;
}

TEST(BatchCommand, AStoppedAndAKilledRunGoOnWhereTheyWere) {
  test::TTempDir tmp;
  std::vector<std::string> inputs;
  const std::string list = MakeInputs(tmp, 20, &inputs);
  auto args = [&](const std::string& dir) {
    return std::vector<std::string>{"render",      "--from-list",     list,     "--out-dir",
                                    tmp.File(dir), "--steps",         "1500",   "--jobs",
                                    "2",           "--skip-existing", "--quiet"};
  };
  const auto whole = RunCli(args("whole"));
  ASSERT_EQ(whole.ExitCode, 0) << whole.Err;

  // Told to stop, the run stops its painters and reports what it did.
  const std::string dir = tmp.File("resumed");
  auto withReport = args("resumed");
  withReport.insert(withReport.end(), {"--report", tmp.File("stopped.jsonl")});
  int status = InterruptRun(withReport, dir, 2, SIGTERM, false);
  ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM) << status;
  const std::string report = test::ReadText(tmp.File("stopped.jsonl"));
  const int painted = Count(report, "\"status\": \"painted\"");
  EXPECT_GE(painted, 2);
  EXPECT_EQ(painted, Records(dir));  // a picture without its record is painted again
  EXPECT_EQ(painted + Count(report, "\"status\": \"stopped\"") +
                Count(report, "\"status\": \"not started\""),
            20)
      << report;

  // Killed with all its painters, the run leaves what it had.
  status = InterruptRun(args("resumed"), dir, painted + 3, SIGKILL, true);
  ASSERT_TRUE(WIFSIGNALED(status)) << "the run ended before it could be killed";

  // A partial file that a killed writer left behind: nobody holds its lock.
  const std::string leftover = dir + "/.brellin-part-k1LLed";
  test::WriteBytes(leftover, {1, 2, 3});

  const auto resumed = RunCli(args("resumed"));
  ASSERT_EQ(resumed.ExitCode, 0) << resumed.Err;
  const int repainted = std::atoi(resumed.Err.substr(resumed.Err.find("painted ") + 8).c_str());
  EXPECT_GT(repainted, 0) << resumed.Err;
  EXPECT_LT(repainted, 20) << resumed.Err;
  EXPECT_NE(resumed.Err.find(", skipped " + std::to_string(20 - repainted) + ", failed 0"),
            std::string::npos)
      << resumed.Err;
  // The same folder as the run that was never stopped: no partial file, no
  // picture of a painter that was cut short.
  EXPECT_TRUE(SameFolders(tmp.File("whole"), dir));
}

TEST(BatchCommand, BadInputsAmongGoodOnesAndChangedOptions) {
  test::TTempDir tmp;
  std::vector<std::string> inputs;
  MakeInputs(tmp, 17, &inputs);
  const std::vector<uint8_t> junk = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A, 0, 0, 0};
  test::WriteBytes(tmp.File("broken.png"), junk);
  inputs.insert(inputs.begin() + 3, tmp.File("broken.png"));
  inputs.insert(inputs.begin() + 9, test::DataPath("rose_70x46.png"));  // too small
  inputs.push_back(tmp.File("gone.png"));
  std::string text;
  for (const auto& f : inputs) text += f + "\n";
  test::WriteBytes(tmp.File("all"), std::vector<uint8_t>(text.begin(), text.end()));

  auto run = [&](const std::string& steps) {
    return RunCli({"render", "--from-list", tmp.File("all"), "--out-dir", tmp.File("out"),
                   "--steps", steps, "--keep-going", "--skip-existing", "--report",
                   tmp.File("report.jsonl"), "--quiet"});
  };
  auto r = run("100");
  EXPECT_EQ(r.ExitCode, 2);
  EXPECT_NE(r.Err.find("painted 17, skipped 0, failed 3"), std::string::npos) << r.Err;
  for (const char* bad : {"broken.png", "rose_70x46.png", "gone.png"})
    EXPECT_NE(r.Err.find(std::string("/") + bad + ": "), std::string::npos) << bad << r.Err;
  EXPECT_NE(r.Err.find("The source image is too small"), std::string::npos) << r.Err;
  const std::string report = test::ReadText(tmp.File("report.jsonl"));
  EXPECT_EQ(Count(report, "\n"), 20);
  EXPECT_EQ(Count(report, "\"status\": \"painted\""), 17);
  EXPECT_EQ(Count(report, "\"status\": \"failed\", \"reason\": \""), 3);
  EXPECT_EQ(Count(report, "\"reason\": \"\""), 17);
  const auto first = Folder(tmp.File("out"));
  EXPECT_EQ(first.size(), 34u);  // pictures and their records

  // The same options again: nothing to paint; another --steps: all again.
  r = run("100");
  EXPECT_NE(r.Err.find("painted 0, skipped 17, failed 3"), std::string::npos) << r.Err;
  EXPECT_EQ(Folder(tmp.File("out")), first);
  r = run("101");
  EXPECT_NE(r.Err.find("painted 17, skipped 0, failed 3"), std::string::npos) << r.Err;
  const auto second = Folder(tmp.File("out"));
  EXPECT_NE(second.at("p0-brellin.jpg"), first.at("p0-brellin.jpg"));

  // Without --keep-going the run starts nothing after the first failure.
  r = RunCli({"render", "--from-list", tmp.File("all"), "--out-dir", tmp.File("stop"), "--steps",
              "100", "--jobs", "1", "--quiet"});
  EXPECT_EQ(r.ExitCode, 2);
  EXPECT_NE(r.Err.find("painted 3, skipped 0, failed 1"), std::string::npos) << r.Err;
}

TEST(BatchCommand, OutputsOfTheSameNameAndKeptFolders) {
  test::TTempDir tmp;
  for (const char* d : {"a", "b", "c"}) {
    fs::create_directories(tmp.File(d));
    SavePictureFile(test::MakeTestPicture(110, 100), tmp.File(std::string(d) + "/x.png"), 90);
  }
  auto r = test::RunCliIn(tmp.Path(), {"render", "a/x.png", "b/x.png", "--out-dir", "out"});
  EXPECT_EQ(r.ExitCode, 1);
  EXPECT_NE(r.Err.find("a/x.png and b/x.png"), std::string::npos) << r.Err;
  EXPECT_FALSE(fs::exists(tmp.File("out")));
  r = test::RunCliIn(tmp.File("c"), {"render", "../a/x.png", "--out-dir", "out", "--keep-tree"});
  EXPECT_EQ(r.ExitCode, 1) << r.Err;
  r = test::RunCliIn(tmp.Path(), {"render", "a/x.png", "b/./x.png", "--out-dir", "out",
                                  "--keep-tree", "--steps", "100", "--quiet"});
  EXPECT_EQ(r.ExitCode, 0) << r.Err;
  EXPECT_TRUE(fs::exists(tmp.File("out/a/x-brellin.jpg")));
  EXPECT_TRUE(fs::exists(tmp.File("out/b/x-brellin.jpg")));
}

TEST(BatchCommand, ProjectsAreRenderedAndWrittenAsOneByOne) {
  test::TTempDir tmp;
  std::vector<std::string> inputs;
  MakeInputs(tmp, 2, &inputs);
  std::string list;
  for (int i = 0; i < 2; ++i) {
    const std::string p = tmp.File("p" + std::to_string(i) + ".bpj");
    ASSERT_EQ(RunCli({"render", inputs[size_t(i)], "-o", tmp.File("r.jpg"), "--steps", "100",
                      "--project", p, "--quiet"})
                  .ExitCode,
              0);
    list += p + "\n";
  }
  test::WriteBytes(tmp.File("projects"), std::vector<uint8_t>(list.begin(), list.end()));
  const auto big = RunCli(
      {"rerender", tmp.File("p1.bpj"), "-o", tmp.File("big.jpg"), "--width", "2x", "--quiet"});
  ASSERT_EQ(big.ExitCode, 0) << big.Err;
  auto r = RunCli({"rerender", "--from-list", tmp.File("projects"), "--out-dir", tmp.File("big"),
                   "--width", "2x", "--jobs", "2", "--skip-existing"});
  ASSERT_EQ(r.ExitCode, 0) << r.Err;
  EXPECT_EQ(test::ReadBytes(tmp.File("big/p1.jpg")), test::ReadBytes(tmp.File("big.jpg")));
  r = RunCli({"rerender", "--from-list", tmp.File("projects"), "--out-dir", tmp.File("big"),
              "--width", "2x", "--skip-existing", "--shard", "1/2"});
  EXPECT_NE(r.Err.find("painted 0, skipped 1, failed 0"), std::string::npos) << r.Err;

  ASSERT_EQ(
      RunCli({"export-svg", tmp.File("p0.bpj"), "-o", tmp.File("one.svg"), "--quiet"}).ExitCode, 0);
  r = RunCli({"export-svg", tmp.File("p0.bpj"), tmp.File("p1.bpj"), "--out-dir", tmp.File("svg"),
              "--quiet"});
  ASSERT_EQ(r.ExitCode, 0) << r.Err;
  EXPECT_EQ(test::ReadBytes(tmp.File("svg/p0.svg")), test::ReadBytes(tmp.File("one.svg")));
  EXPECT_TRUE(fs::exists(tmp.File("svg/p1.svg")));
}

}  // namespace
}  // namespace brellin
