// The command line among files that are not what they seem: links of other
// users, scripts that never end, names that are not text, leftovers of
// killed runs.
#include <gtest/gtest.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "support/TestSupport.h"

namespace brellin {
namespace {

namespace fs = std::filesystem;
using test::RunCli;

const std::string kPhoto = test::DataPath("cat_crop_128x96.png");

std::vector<std::string> Render(const std::string& Out) {
  return {"render", kPhoto, "-o", Out, "--steps", "50", "--quiet"};
}

// A second user for as long as the object lives; empty Name when this
// process may not make one.
struct TOtherUser {
  std::string Name;
  uid_t Uid = 0;
  gid_t Gid = 0;
  TOtherUser() {
    if (::geteuid() != 0) return;
    const std::string name = "brellintest" + std::to_string(::getpid());
    if (std::system(("useradd -M -r -s /usr/sbin/nologin " + name + " 2>/dev/null").c_str()) != 0)
      return;
    Name = name;
    if (const passwd* pw = ::getpwnam(name.c_str())) {
      Uid = pw->pw_uid;
      Gid = pw->pw_gid;
    }
  }
  ~TOtherUser() {
    if (!Name.empty()) std::system(("userdel " + Name + " 2>/dev/null").c_str());
  }
};

TEST(HostileSurroundings, ALinkOfAnotherUserInASharedFolderIsNotFollowed) {
  TOtherUser other;
  if (other.Name.empty())
    GTEST_SKIP() << "needs a second user: run as root with useradd to create one";
  ASSERT_NE(other.Uid, 0u);
  test::TTempDir tmp;
  const std::string shared = tmp.File("shared");  // like /tmp: sticky, anyone writes
  fs::create_directory(shared);
  ASSERT_EQ(::chmod(shared.c_str(), 01777), 0);
  const std::string precious = tmp.File("precious.txt");
  std::ofstream(precious) << "mine";
  const std::string trap = shared + "/x.png";
  fs::create_symlink(precious, trap);
  ASSERT_EQ(::lchown(trap.c_str(), other.Uid, other.Gid), 0);

  auto r = RunCli(Render(trap));
  EXPECT_EQ(r.ExitCode, 3);
  EXPECT_EQ(r.Err, "brellin-cli: " + trap +
                       ": refusing to follow a link owned by another user in a shared folder\n");
  EXPECT_TRUE(test::ReadText(precious) == "mine") << "the victim's file was overwritten";

  // The user's own link there, and another user's link in a folder that is
  // not shared, are followed as before; the links stay.
  fs::create_symlink(tmp.File("own.png"), shared + "/own.png");
  fs::create_directory(tmp.File("private"));
  fs::create_symlink(tmp.File("theirs.png"), tmp.File("private/theirs.png"));
  ASSERT_EQ(::lchown(tmp.File("private/theirs.png").c_str(), other.Uid, other.Gid), 0);
  for (const std::string& link : {shared + "/own.png", tmp.File("private/theirs.png")}) {
    r = RunCli(Render(link));
    EXPECT_EQ(r.ExitCode, 0) << r.Err;
    EXPECT_TRUE(fs::is_symlink(link));
  }
  EXPECT_GT(fs::file_size(tmp.File("own.png")), 0u);
  EXPECT_GT(fs::file_size(tmp.File("theirs.png")), 0u);
}

// A killed writer leaves its partial file; the next output into the folder
// removes it, and nothing else. The partial name is short, so an output
// name of the longest legal length is written.
TEST(HostileSurroundings, LeftoverPartialsGoAndLongNamesAreWritten) {
  test::TTempDir tmp;
  const std::string orphan = tmp.File(".brellin-part-Ab12Cd");
  const std::string busy = tmp.File(".brellin-part-Zz99Yy");
  const std::vector<std::string> unrelated = {tmp.File(".brellin-part-toolong"),
                                              tmp.File("x.png.part-123"), tmp.File("notes.txt")};
  for (const std::string& f : unrelated) std::ofstream(f) << "user's";
  std::ofstream(orphan) << "left by a kill";
  std::ofstream(busy) << "being written";
  // A writer still at work holds the lock on its partial file.
  const int held = ::open(busy.c_str(), O_RDONLY | O_CLOEXEC);
  ASSERT_GE(held, 0);
  ASSERT_EQ(::flock(held, LOCK_EX), 0);

  const std::string longName = tmp.File(std::string(251, 'n') + ".png");
  const auto r = RunCli(Render(longName));
  ::close(held);
  ASSERT_EQ(r.ExitCode, 0) << r.Err;
  EXPECT_GT(fs::file_size(longName), 0u);
  EXPECT_FALSE(fs::exists(orphan));
  EXPECT_TRUE(fs::exists(busy));
  for (const std::string& f : unrelated) EXPECT_EQ(test::ReadText(f), "user's") << f;
}

TEST(HostileSurroundings, ScriptsAreRegularFilesOfSaneSize) {
  test::TTempDir tmp;
  const auto sketch = [&](const std::string& Script) {
    return RunCli({"sketch", kPhoto, "--script", Script, "-o", tmp.File("o.png"), "--quiet"});
  };
  ASSERT_EQ(::mkfifo(tmp.File("fifo").c_str(), 0600), 0);
  fs::create_directory(tmp.File("folder"));
  const std::vector<std::pair<std::string, std::string>> refused = {
      {"/dev/zero", "is not a regular file"},
      {tmp.File("fifo"), "is not a regular file"},
      {tmp.File("folder"), "is a directory"},
  };
  for (const auto& [script, why] : refused) {
    const auto r = sketch(script);
    EXPECT_EQ(r.ExitCode, 2) << script;
    EXPECT_EQ(r.Err, "brellin-cli: " + script + ": " + why + "\n");
  }
  // Comments only, but past the cap.
  std::ofstream(tmp.File("big.txt")) << std::string((1 << 20) + 1, '#');
  auto r = sketch(tmp.File("big.txt"));
  EXPECT_EQ(r.ExitCode, 2);
  EXPECT_NE(r.Err.find("1 MB"), std::string::npos) << r.Err;
  EXPECT_FALSE(fs::exists(tmp.File("o.png")));

  // A bad line is quoted with its control characters escaped, never raw.
  std::ofstream(tmp.File("esc.txt")) << "\x1b]0;owned\x07\x1b[2J\n";
  r = sketch(tmp.File("esc.txt"));
  EXPECT_EQ(r.ExitCode, 1);
  EXPECT_EQ(r.Err.find('\x1b'), std::string::npos) << r.Err;
  EXPECT_NE(r.Err.find("\\x1b]0;owned\\x07\\x1b[2J"), std::string::npos) << r.Err;
}

TEST(HostileSurroundings, InfoJsonStaysValidForANameThatIsNotUtf8) {
  test::TTempDir tmp;
  const std::string project = tmp.File("p.bpj");
  ASSERT_EQ(RunCli({"render", kPhoto, "-o", "/dev/null", "--steps", "50", "--project", project,
                    "--quiet"})
                .ExitCode,
            0);
  const std::string latin1 = tmp.File("caf\xe9\xc3.bpj");  // a Latin-1 name, and a cut sequence
  fs::rename(project, latin1);
  const auto r = RunCli({"info", latin1, "--json"});
  ASSERT_EQ(r.ExitCode, 0) << r.Err;
  EXPECT_NE(r.Out.find("caf\\ufffd\\ufffd.bpj\""), std::string::npos) << r.Out;
  // Every byte above ASCII in the output is part of well-formed UTF-8: here
  // there is none at all.
  for (const char c : r.Out) EXPECT_LT(static_cast<unsigned char>(c), 0x80u);
}

// The start-up clean-up of the program folder's "tmp" takes only what is
// provably the program's: not the user's files when the program folder is
// the home folder, and nothing behind a link.
TEST(HostileSurroundings, StartingLeavesTheUsersFilesInTmpAlone) {
  test::TShippedLibraryHome home;
  fs::create_directory(home.File("tmp"));
  std::ofstream(home.File("tmp/notes.txt")) << "user's";
  auto r = RunCli(Render(home.File("a.png")));
  ASSERT_EQ(r.ExitCode, 0) << r.Err;
  EXPECT_EQ(test::ReadText(home.File("tmp/notes.txt")), "user's");

  test::TTempDir elsewhere;
  fs::create_directory(elsewhere.File("proc-7"));
  for (const char* f : {"notes.txt", "00000001.bmp", "proc-7/lock", "proc-7/data.txt"})
    std::ofstream(elsewhere.File(f)) << "user's";
  std::ofstream(home.File("TempManager.log")) << home.File("tmp/00000001.bmp") << "\n";
  fs::remove_all(home.File("tmp"));
  fs::create_directory_symlink(elsewhere.Path(), home.File("tmp"));
  r = RunCli(Render(home.File("b.png")));
  ASSERT_EQ(r.ExitCode, 0) << r.Err;
  for (const char* f : {"notes.txt", "00000001.bmp", "proc-7/lock", "proc-7/data.txt"})
    EXPECT_EQ(test::ReadText(elsewhere.File(f)), "user's") << f;
}

// A full disk says so in the system's words whatever is written, and a full
// program folder is output not written (exit 3), naming the file.
TEST(HostileSurroundings, AFullDiskIsReportedAsSuch) {
  test::TTempDir tmp;
  const std::string project = tmp.File("p.bpj");
  ASSERT_EQ(RunCli({"render", kPhoto, "-o", "/dev/null", "--steps", "50", "--project", project,
                    "--quiet"})
                .ExitCode,
            0);
  const auto full = [&](const std::string& ext) {
    const std::string link = tmp.File("full." + ext);
    fs::create_symlink("/dev/full", link);
    return link;
  };
  const std::vector<std::vector<std::string>> runs = {
      Render(full("png")),
      Render(full("jpg")),
      Render(full("tif")),
      {"render", kPhoto, "-o", "/dev/null", "--project", full("bpj"), "--quiet"},
      {"analyze", kPhoto, "-o", full("bmp"), "--quiet"},
      {"export-svg", project, "-o", full("svg")},
      {"style", "create", "-o", full("bst"), "--name", "S"}};
  for (const auto& args : runs) {
    const auto r = RunCli(args);
    EXPECT_EQ(r.ExitCode, 3) << args[0];
    EXPECT_NE(r.Err.find(": No space left on device\n"), std::string::npos) << r.Err;
  }

  test::TShippedLibraryHome home;
  const std::string small = home.File("tmp");
  fs::create_directory(small);
  if (::mount("tmpfs", small.c_str(), "tmpfs", 0, "size=64k") != 0)
    GTEST_SKIP() << "a small file system for the program folder needs mount (root)";
  const auto r = RunCli({"render", kPhoto, "-o", tmp.File("o.png"), "--steps", "3000", "--project",
                         tmp.File("o.bpj"), "--quiet"});
  ::umount(small.c_str());
  EXPECT_EQ(r.ExitCode, 3);
  EXPECT_NE(r.Err.find(small + "/"), std::string::npos) << r.Err;
  EXPECT_NE(r.Err.find("No space left on device"), std::string::npos) << r.Err;
  EXPECT_FALSE(fs::exists(tmp.File("o.bpj")));
}

}  // namespace
}  // namespace brellin
