#include <gtest/gtest.h>

#include <filesystem>

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

}  // namespace
}  // namespace brellin
