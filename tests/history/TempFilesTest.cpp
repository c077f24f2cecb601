#include <gtest/gtest.h>

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
  EXPECT_TRUE(fs::is_directory(home.Tmp()));
  EXPECT_EQ(m.NewName("bmp"), home.Tmp("00000000.bmp"));
  EXPECT_EQ(m.NewName("tsk"), home.Tmp("00000001.tsk"));
  // Another extension's file does not block a number; the same one does.
  Touch(home.Tmp("00000002.bmp"));
  EXPECT_EQ(m.NewName("tsk"), home.Tmp("00000002.tsk"));
  Touch(home.Tmp("00000004.bpj"));
  EXPECT_EQ(m.NewName("bpj"), home.Tmp("00000003.bpj"));
  EXPECT_EQ(m.NewName("bpj"), home.Tmp("00000005.bpj"));
  EXPECT_EQ(m.Counter(), 6);
  // The log lists every name handed out, one per line.
  EXPECT_EQ(m.LogFileName(), home.Dir.File("TempManager.log"));
  EXPECT_EQ(test::ReadText(m.LogFileName()),
            home.Tmp("00000000.bmp") + "\n" + home.Tmp("00000001.tsk") + "\n" +
                home.Tmp("00000002.tsk") + "\n" + home.Tmp("00000003.bpj") + "\n" +
                home.Tmp("00000005.bpj") + "\n");
}

TEST(TempManager, CleanDeletesItsFilesTheLogAndAnEmptyFolder) {
  THome home;
  {
    TTempManager m;
    for (const char* ext : {"bmp", "tsk"}) Touch(m.NewName(ext));
    m.NewName("bpj");  // never created: not an error
    m.Clean();
    EXPECT_FALSE(fs::exists(m.LogFileName()));
    EXPECT_FALSE(fs::exists(home.Tmp()));
  }
  {
    // A file it did not name keeps the folder.
    TTempManager m;
    Touch(m.NewName("bmp"));
    Touch(home.Tmp("foreign.txt"));
  }
  EXPECT_TRUE(fs::exists(home.Tmp("foreign.txt")));
  EXPECT_FALSE(fs::exists(home.Tmp("00000000.bmp")));
  EXPECT_FALSE(fs::exists(home.Dir.File("TempManager.log")));
}

TEST(TempManager, TheNextStartDeletesWhatACrashedRunLeft) {
  THome home;
  fs::create_directories(home.Tmp());
  Touch(home.Tmp("00000000.bmp"));
  Touch(home.Tmp("00000001.tsk"));
  Touch(home.Tmp("keep.bmp"));
  // The log of the crashed run, with Windows line ends and a file already gone.
  std::ofstream(home.Dir.File("TempManager.log")) << home.Tmp("00000000.bmp") << "\r\n"
                                                  << home.Tmp("00000001.tsk") << "\r\n"
                                                  << home.Tmp("00000009.bmp") << "\r\n";
  TTempManager m;
  EXPECT_FALSE(fs::exists(home.Tmp("00000000.bmp")));
  EXPECT_FALSE(fs::exists(home.Tmp("00000001.tsk")));
  EXPECT_TRUE(fs::exists(home.Tmp("keep.bmp")));
  EXPECT_FALSE(fs::exists(m.LogFileName()));
  // The old names stay listed, so a second crash still cleans them.
  EXPECT_EQ(m.NewName("bmp"), home.Tmp("00000000.bmp"));
  EXPECT_EQ(m.Names().size(), 4u);
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
  // Without a manager, temporary names still are unique and writable.
  ASSERT_EQ(TempManager(), nullptr);
  const std::string a = NewTempName("tsk"), b = NewTempName("tsk");
  EXPECT_NE(a, b);
  EXPECT_EQ(fs::path(a).extension(), ".tsk");
  EXPECT_FALSE(fs::exists(a));
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
