#include "base/SafeOutput.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <future>
#include <vector>

#include "base/Errors.h"
#include "base/Stream.h"
#include "support/TestSupport.h"

namespace brellin {
namespace {

namespace fs = std::filesystem;

void WriteText(const std::string& file, const std::string& text) {
  TSafeFileWriter w(file);
  w.Stream().WriteBuffer(text.data(), text.size());
  w.Commit();
}

size_t EntryCount(const std::string& dir) {
  return size_t(std::distance(fs::directory_iterator(dir), fs::directory_iterator()));
}

// A full disk is named as such, not as a bare write error.
TEST(SafeOutput, AFullDiskSaysSo) {
  if (!fs::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
  TSafeFileWriter w("/dev/full");
  const std::vector<char> block(1 << 20, 'x');
  try {
    w.Stream().WriteBuffer(block.data(), block.size());
    w.Commit();
    ADD_FAILURE() << "wrote to a full device";
  } catch (const EWriteError& e) {
    EXPECT_NE(std::string(e.what()).find("No space left on device"), std::string::npos) << e.what();
  }
}

TEST(SafeOutput, LinksAreFollowedSpecialFilesWrittenDirectlyFoldersRefused) {
  test::TTempDir dir;
  // A link's file is replaced and the link stays; so for a link to a missing file.
  fs::create_directory(dir.File("real"));
  test::WriteBytes(dir.File("real/pic.bmp"), {'o', 'l', 'd'});
  fs::create_symlink("real/pic.bmp", dir.File("link.bmp"));
  fs::create_symlink(dir.File("real/new.bmp"), dir.File("dangling.bmp"));
  WriteText(dir.File("link.bmp"), "new");
  WriteText(dir.File("dangling.bmp"), "made");
  EXPECT_TRUE(fs::is_symlink(dir.File("link.bmp")));
  EXPECT_EQ(test::ReadText(dir.File("real/pic.bmp")), "new");
  EXPECT_TRUE(fs::is_symlink(dir.File("dangling.bmp")));
  EXPECT_EQ(test::ReadText(dir.File("real/new.bmp")), "made");
  EXPECT_EQ(EntryCount(dir.File("real")), 2u);

  // A device takes the bytes and stays a device.
  WriteText("/dev/null", "discarded");
  EXPECT_TRUE(fs::is_character_file("/dev/null"));
  // A FIFO receives them.
  ASSERT_EQ(::mkfifo(dir.File("fifo").c_str(), 0600), 0);
  auto reader = std::async(std::launch::async, [&] { return test::ReadText(dir.File("fifo")); });
  WriteText(dir.File("fifo"), "through the pipe");
  EXPECT_EQ(reader.get(), "through the pipe");
  EXPECT_TRUE(fs::is_fifo(dir.File("fifo")));

  try {
    WriteText(dir.File("real"), "x");
    FAIL() << "wrote over a folder";
  } catch (const EWriteError& e) {
    EXPECT_STREQ(e.what(), "is a directory");
  }
  // Readers refuse what is not a regular file, and a FIFO does not stall them.
  for (const char* name : {"fifo", "real"}) {
    try {
      TFileStream f(dir.File(name), fmOpenRead);
      FAIL() << "read " << name;
    } catch (const EBrellinError& e) {
      EXPECT_STREQ(e.what(),
                   std::string(name) == "real" ? "is a directory" : "is not a regular file");
    }
  }
}

TEST(SafeOutput, PartialFilesAreUniqueAndNeverOutliveTheWriter) {
  test::TTempDir dir;
  const std::string target = dir.File("out.bpj");
  test::WriteBytes(target, {'o', 'l', 'd'});
  ::chmod(target.c_str(), 0640);
  // The user's own file under this process's partial name is left alone.
  const std::string own = target + ".part-" + std::to_string(::getpid());
  test::WriteBytes(own, {'u'});
  {
    TSafeFileWriter a(target), b(target);  // two writers of one file at once
    a.Stream().WriteBuffer("ab", 2);
    EXPECT_EQ(EntryCount(dir.Path()), 4u);
    // b is dropped uncommitted, as when a write fails.
    a.Commit();
  }
  EXPECT_EQ(test::ReadText(target), "ab");
  EXPECT_EQ(fs::status(target).permissions() & fs::perms::all,
            fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
  EXPECT_EQ(test::ReadText(own), "u");
  EXPECT_EQ(EntryCount(dir.Path()), 2u);

  // Killed in the middle of writing: the partial file goes with the process.
  for (const int sig : {SIGTERM, SIGINT}) {
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      std::signal(sig, SIG_DFL);
      TSafeOutput out(target);
      if (::write(out.Fd(), "partial", 7) != 7) ::_exit(3);
      ::raise(sig);
      ::_exit(2);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == sig) << status;
    EXPECT_EQ(EntryCount(dir.Path()), 2u);
    EXPECT_EQ(test::ReadText(target), "ab");
  }
}

}  // namespace
}  // namespace brellin
