#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "analysis/PictureFormats.h"
#include "support/TestSupport.h"

namespace brellin {
namespace {

namespace fs = std::filesystem;
using test::RunCli;

TEST(RenderCommand, SameSeedSameBytesOtherSeedOtherPicture) {
  test::TTempDir tmp;
  const std::string in = test::DataPath("cat_crop_128x96.png");
  auto render = [&](const std::string& out, const std::string& seed) {
    const auto r = RunCli({"render", in, "-o", tmp.File(out), "--steps", "800", "--seed", seed,
                           "--full-size", "--quiet"});
    EXPECT_EQ(r.ExitCode, 0) << r.Err;
    return test::ReadBytes(tmp.File(out));
  };
  const auto a = render("a.bmp", "3"), b = render("b.bmp", "3"), c = render("c.bmp", "4");
  EXPECT_EQ(a, b);
  EXPECT_NE(a, c);
  const TBitmap32 pic = LoadPictureFile(tmp.File("a.bmp"));
  EXPECT_EQ(pic.Width(), 128);
  EXPECT_EQ(pic.Height(), 96);
}

TEST(RenderCommand, OptionsOutputsAndRefusals) {
  test::TTempDir tmp;
  const std::string in = test::DataPath("cat_crop_128x96.png");
  auto r = RunCli({"render", in, "-o", tmp.File("x.tif"), "--steps", "300", "--color", "fixed",
                   "--size", "64x48", "--quiet"});
  ASSERT_EQ(r.ExitCode, 0) << r.Err;
  EXPECT_EQ(LoadPictureFile(tmp.File("x.tif")).Width(), 64);
  // Bigger than the picture, unknown style, bad extension: usage errors, no output.
  EXPECT_EQ(RunCli({"render", in, "-o", tmp.File("y.jpg"), "--size", "500x500"}).ExitCode, 1);
  r = RunCli({"render", in, "-o", tmp.File("y.jpg"), "--style", "No Such"});
  EXPECT_EQ(r.ExitCode, 1);
  EXPECT_NE(r.Err.find("Scratch Style"), std::string::npos) << r.Err;
  EXPECT_EQ(RunCli({"render", in, "-o", tmp.File("y.gif")}).ExitCode, 1);
  EXPECT_FALSE(fs::exists(tmp.File("y.jpg")));
  // Too small a picture: the message, exit code 2.
  r = RunCli({"render", test::DataPath("rose_70x46.png"), "-o", tmp.File("z.jpg")});
  EXPECT_EQ(r.ExitCode, 2);
  EXPECT_NE(r.Err.find("The source image is too small"), std::string::npos) << r.Err;
  EXPECT_FALSE(fs::exists(tmp.File("z.jpg")));
  // A batch goes on past a bad file and reports it at the end.
  r = RunCli({"render", in, test::DataPath("rose_70x46.png"), "--out-dir", tmp.File("batch"),
              "--steps", "200", "--quiet"});
  EXPECT_EQ(r.ExitCode, 2);
  EXPECT_TRUE(fs::exists(tmp.File("batch/cat_crop_128x96-brellin.jpg")));
  // An output that cannot be written.
  EXPECT_EQ(
      RunCli({"render", in, "-o", tmp.File("no/dir/w.jpg"), "--steps", "100", "--quiet"}).ExitCode,
      3);
}

// A program folder with the shipped brushes and styles.
TEST(RenderCommand, AStyleFilePaintsWithItsOwnBrush) {
  test::TShippedLibraryHome home;
  test::TTempDir tmp;
  const std::string in = test::DataPath("cat_crop_128x96.png");
  auto render = [&](const std::string& style, const std::string& out) {
    const auto r = RunCli({"render", in, "-o", tmp.File(out), "--steps", "400", "--full-size",
                           "--style", style, "--quiet"});
    EXPECT_EQ(r.ExitCode, 0) << r.Err;
    return LoadPictureFile(tmp.File(out));
  };
  const TBitmap32 byName = render("Oil Relief", "name.bmp");
  const TBitmap32 byFile = render(home.File("style5-oil-relief.bst"), "file.bmp");
  EXPECT_TRUE(test::SamePixels(byName, byFile));
  // Styles that differ only in their brush paint differently.
  std::vector<TBitmap32> pictures;
  for (const char* brush : {"0", "1101", "1104"}) {
    const std::string style = tmp.File(std::string("b") + brush + ".bst");
    const auto r =
        RunCli({"style", "create", "-o", style, "--name", "B", "--brush", brush, "--width", "20"});
    ASSERT_EQ(r.ExitCode, 0) << r.Err;
    pictures.push_back(render(style, std::string("b") + brush + ".bmp"));
  }
  EXPECT_FALSE(test::SamePixels(pictures[0], pictures[1]));
  EXPECT_FALSE(test::SamePixels(pictures[1], pictures[2]));
}

// A tiny BMP whose run-length data ends at once, under a header that
// promises Side x Side pixels.
std::vector<uint8_t> RunLengthBomb(uint32_t Side) {
  std::vector<uint8_t> b(14 + 40 + 8 + 2, 0);
  auto put32 = [&](size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + size_t(i)] = uint8_t(v >> (8 * i));
  };
  b[0] = 'B', b[1] = 'M';
  put32(2, uint32_t(b.size()));
  put32(10, 62);
  put32(14, 40);
  put32(18, Side);
  put32(22, Side);
  b[26] = 1, b[28] = 8;  // one plane, 8 bits
  put32(30, 1);          // RLE8
  put32(34, 2);
  put32(46, 2);  // two colours
  b[58] = b[59] = b[60] = 0xFF;
  b[63] = 1;  // end of bitmap
  return b;
}

TEST(RenderCommand, APictureTooBigForTheMemoryIsRefusedBeforeDecoding) {
  test::TTempDir tmp;
  test::WriteBytes(tmp.File("bomb.bmp"), RunLengthBomb(8000));
  // 100 MB available: 8000 x 8000 pixels take 244 MB before any work.
  std::ofstream(tmp.File("meminfo")) << "MemTotal:       4000000 kB\n"
                                        "MemAvailable:     102400 kB\n";
  ::setenv("BRELLIN_MEMINFO", tmp.File("meminfo").c_str(), 1);
  auto r = RunCli({"render", tmp.File("bomb.bmp"), "-o", tmp.File("o.jpg"), "--quiet"});
  const auto analysed = RunCli({"analyze", tmp.File("bomb.bmp"), "-o", tmp.File("o.bmp")});
  const auto small = RunCli({"render", test::DataPath("cat_crop_128x96.png"), "-o",
                             tmp.File("s.jpg"), "--steps", "100", "--quiet"});
  ::unsetenv("BRELLIN_MEMINFO");
  EXPECT_EQ(r.ExitCode, 2);
  EXPECT_NE(r.Err.find("bomb.bmp: not enough memory for a picture of 8000 x 8000 pixels"),
            std::string::npos)
      << r.Err;
  EXPECT_FALSE(fs::exists(tmp.File("o.jpg")));
  EXPECT_EQ(analysed.ExitCode, 2);
  EXPECT_NE(analysed.Err.find("not enough memory"), std::string::npos) << analysed.Err;
  EXPECT_EQ(small.ExitCode, 0) << small.Err;
}

}  // namespace
}  // namespace brellin
