#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <fstream>

#include "base/BmpCodec.h"
#include "base/Errors.h"
#include "history/CompressedBitmap.h"
#include "history/UTempManager.h"
#include "support/TestSupport.h"

namespace brellin {
namespace {

namespace fs = std::filesystem;

void Touch(const std::string& file) {
  std::ofstream(file) << "x";
}

// BRELLIN_HOME at a scratch folder, without installing a manager.
struct THome {
  test::TTempDir Dir;
  THome() { ::setenv("BRELLIN_HOME", Dir.Path().c_str(), 1); }
  std::string Tmp(const std::string& name = "") const { return Dir.File("tmp/" + name); }
};

TEST(TempManager, NamesShareOneCounterAndSkipExistingFiles) {
  THome home;
  TTempManager m;
  const std::string f = m.Folder();
  EXPECT_EQ(fs::path(f).parent_path().parent_path(), fs::path(home.Tmp()).parent_path());
  EXPECT_EQ(m.NewName("bmp"), f + "00000000.bmp");
  EXPECT_EQ(m.NewName("tsk"), f + "00000001.tsk");
  // Another extension's file does not block a number; the same one does.
  Touch(f + "00000002.bmp");
  EXPECT_EQ(m.NewName("tsk"), f + "00000002.tsk");
  Touch(f + "00000004.bpj");
  EXPECT_EQ(m.NewName("bpj"), f + "00000003.bpj");
  EXPECT_EQ(m.NewName("bpj"), f + "00000005.bpj");
  EXPECT_EQ(m.Counter(), 6);
  // Each name is taken at once: created empty, so no other writer gets it.
  EXPECT_EQ(fs::file_size(f + "00000005.bpj"), 0u);
  // The log lists every name handed out, one per line.
  EXPECT_EQ(m.LogFileName(), f + "TempManager.log");
  EXPECT_EQ(test::ReadText(m.LogFileName()), f + "00000000.bmp\n" + f + "00000001.tsk\n" + f +
                                                 "00000002.tsk\n" + f + "00000003.bpj\n" + f +
                                                 "00000005.bpj\n");
}

TEST(TempManager, CleanDeletesItsFilesTheLogAndAnEmptyFolder) {
  THome home;
  {
    TTempManager m;
    for (const char* ext : {"bmp", "tsk"}) Touch(m.NewName(ext));
    m.Clean();
    EXPECT_FALSE(fs::exists(m.LogFileName()));
    EXPECT_FALSE(fs::exists(home.Tmp()));
    // Names after a clean come from a new folder.
    const std::string again = m.NewName("bmp");
    EXPECT_TRUE(fs::exists(again));
  }
  EXPECT_FALSE(fs::exists(home.Tmp()));
  {
    // A file it did not name keeps the folder.
    TTempManager m;
    Touch(m.NewName("bmp"));
    Touch(home.Tmp("foreign.txt"));
  }
  EXPECT_TRUE(fs::exists(home.Tmp("foreign.txt")));
  EXPECT_EQ(std::distance(fs::directory_iterator(home.Tmp()), fs::directory_iterator()), 1);
}

TEST(TempManager, TheNextStartDeletesWhatACrashedRunLeft) {
  THome home;
  TTempManager living;  // a run that goes on: its lock is held
  Touch(living.NewName("tsk"));
  // A run of the program from before per-process folders: its log names
  // files directly in "tmp", with Windows line ends and a file already gone.
  Touch(home.Tmp("00000000.bmp"));
  Touch(home.Tmp("00000001.tsk"));
  Touch(home.Tmp("keep.bmp"));
  Touch(home.Dir.File("elsewhere.txt"));
  std::ofstream(home.Dir.File("TempManager.log")) << home.Tmp("00000000.bmp") << "\r\n"
                                                  << home.Tmp("00000001.tsk") << "\r\n"
                                                  << home.Tmp("00000009.bmp") << "\r\n"
                                                  << home.Dir.File("elsewhere.txt") << "\r\n";
  // A run that was killed: its folder is there, its lock free. A folder
  // without a lock is not the program's.
  const std::string crashed = home.Tmp("proc-999999999/");
  fs::create_directories(crashed + "sub");
  for (const char* f : {"lock", "TempManager.log", "00000000.tsk", "sub/x.bmp"}) Touch(crashed + f);
  fs::create_directories(home.Tmp("proc-1/"));
  Touch(home.Tmp("proc-1/00000000.tsk"));

  TTempManager m;
  EXPECT_FALSE(fs::exists(home.Tmp("00000000.bmp")));
  EXPECT_FALSE(fs::exists(home.Tmp("00000001.tsk")));
  EXPECT_TRUE(fs::exists(home.Tmp("keep.bmp")));
  // The log is not trusted to name files outside the temporary folder.
  EXPECT_TRUE(fs::exists(home.Dir.File("elsewhere.txt")));
  EXPECT_FALSE(fs::exists(home.Dir.File("TempManager.log")));
  EXPECT_FALSE(fs::exists(crashed));
  EXPECT_TRUE(fs::exists(home.Tmp("proc-1/00000000.tsk")));
  EXPECT_TRUE(fs::exists(living.Names()[0]));
  // The old names stay listed, so a second crash still cleans them.
  EXPECT_EQ(m.Names().size(), 3u);
}

// Several copies of the program at once: each one's files stay while it
// lives, whatever the others do when they start and end.
TEST(TempManager, RunsSharingAProgramFolderKeepEachOthersFiles) {
  THome home;
  TTempManager longRun;
  std::vector<std::string> kept;
  for (const char* ext : {"tsk", "bmp", "bpj"}) {
    kept.push_back(longRun.NewName(ext));
    Touch(kept.back());
  }
  // Other managers in this process take their own folders: the lock is held
  // per open file, as between processes.
  for (int i = 0; i < 3; ++i) {
    TTempManager shortRun;
    EXPECT_NE(shortRun.Folder(), longRun.Folder());
    Touch(shortRun.NewName("tsk"));
  }
  for (const std::string& f : kept) EXPECT_TRUE(fs::exists(f)) << f;
  // A process killed outright leaves its folder; its lock goes with it, so
  // the next start removes the folder.
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    TTempManager killed;
    Touch(killed.NewName("bmp"));
    ::raise(SIGKILL);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  const std::string left = home.Tmp("proc-" + std::to_string(child) + "/");
  EXPECT_TRUE(fs::exists(left + "00000000.bmp"));
  TTempManager next;
  EXPECT_FALSE(fs::exists(left));
  EXPECT_EQ(test::ReadText(longRun.LogFileName()),
            kept[0] + "\n" + kept[1] + "\n" + kept[2] + "\n");
  next.Clean();
  longRun.Clean();
  EXPECT_FALSE(fs::exists(home.Tmp()));
}

// What the start-up clean-up may take is decided on the folder itself: a
// process folder that is a link is not the program's, whatever it leads to,
// and a folder whose manager left a file it did not name is the next
// start's to remove.
TEST(TempManager, TheCleanUpFollowsNoLinkAndTakesFoldersLeftWithStrangers) {
  THome home;
  test::TTempDir outside;
  Touch(outside.File("lock"));
  Touch(outside.File("letter.txt"));
  fs::create_directories(home.Tmp());
  fs::create_directory_symlink(outside.Path(), home.Tmp("proc-1"));
  std::string left;
  {
    TTempManager m;
    Touch(m.NewName("tsk"));
    left = m.Folder();
    Touch(left + "stranger.bin");
  }
  ASSERT_TRUE(fs::exists(left + "stranger.bin"));
  TTempManager next;  // may take the same folder name: this is one process
  EXPECT_FALSE(fs::exists(left + "stranger.bin"));
  EXPECT_TRUE(fs::exists(outside.File("lock")));
  EXPECT_TRUE(fs::exists(outside.File("letter.txt")));
  EXPECT_TRUE(fs::is_symlink(home.Tmp("proc-1")));
}

TEST(TempManager, AFolderThatCannotBeMadeIsReported) {
  test::TTempDir dir;
  Touch(dir.File("file"));
  const std::string home = dir.File("file/sub");
  ::setenv("BRELLIN_HOME", home.c_str(), 1);
  try {
    TTempManager m;
    FAIL() << "created a manager under a file";
  } catch (const ETempFolderError& e) {
    EXPECT_EQ(std::string(e.what()), "Error creating the folder:\n\r" + home + "/tmp/");
  }
  // Without a manager, temporary files still are unique, and taken at once.
  ASSERT_EQ(TempManager(), nullptr);
  const std::string a = NewTempName("tsk"), b = NewTempName("tsk");
  EXPECT_NE(a, b);
  EXPECT_EQ(fs::path(a).extension(), ".tsk");
  EXPECT_TRUE(fs::exists(a));
  fs::remove(a);
  fs::remove(b);
}

TEST(CompressedBitmap, MemorySizeParkingAndLoading) {
  test::TScratchHome home;
  TBitmap32 pic(100, 100);
  // Every alpha value, including fully transparent pixels with colour.
  for (int y = 0; y < 100; ++y)
    for (int x = 0; x < 100; ++x)
      pic.SetPixel(x, y, Color32(uint8_t(x * 2), uint8_t(y), uint8_t(x ^ y), uint8_t(x + y * 100)));
  TCompressedBitmap c(pic);
  EXPECT_EQ(c.MemorySize(), 100 * 100 * 4 + 54);
  EXPECT_TRUE(c.FileName().empty());

  c.SetOnDisk(true);
  EXPECT_TRUE(c.OnDisk());
  EXPECT_EQ(c.MemorySize(), 0);
  const std::string first = c.FileName();
  // Parked as a 32-bit BMP: exactly the size the memory figure counts.
  EXPECT_EQ(fs::file_size(first), 40054u);
  c.SetOnDisk(true);  // already parked: nothing happens
  EXPECT_EQ(c.FileName(), first);

  c.SetOnDisk(false);
  EXPECT_EQ(c.MemorySize(), 40054);
  EXPECT_TRUE(test::SamePixels(c.Bitmap(), pic));
  EXPECT_TRUE(fs::exists(first));  // loading keeps the file
  c.SetOnDisk(true);
  const std::string second = c.FileName();
  EXPECT_NE(second, first);
  EXPECT_EQ(home.TempFiles().size(), 2u);
  TMemoryStream m;
  c.WriteToStream(m);  // loads it again, and it stays loaded
  EXPECT_FALSE(c.OnDisk());
  m.SetPosition(0);
  TCompressedBitmap fromStream(m);
  EXPECT_TRUE(test::SamePixels(fromStream.Bitmap(), pic));
  EXPECT_EQ(fromStream.MemorySize(), 40054);

  home.Manager().Clean();
  EXPECT_FALSE(fs::exists(first));
  EXPECT_FALSE(fs::exists(second));
}

TEST(CompressedBitmap, AParkedPictureDeletesItsFileWhenFreed) {
  test::TScratchHome home;
  std::string name;
  {
    TCompressedBitmap c(TBitmap32(3, 2, 0x00FFFFFF));
    c.SetOnDisk(true);
    name = c.FileName();
    EXPECT_TRUE(fs::exists(name));
  }
  EXPECT_FALSE(fs::exists(name));
  // A parking file that vanished cannot be loaded, and says so.
  TCompressedBitmap c(TBitmap32(3, 2));
  c.SetOnDisk(true);
  fs::remove(c.FileName());
  EXPECT_THROW(c.SetOnDisk(false), EBrellinError);
}

}  // namespace
}  // namespace brellin
