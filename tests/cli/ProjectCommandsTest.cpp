#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "analysis/PictureFormats.h"
#include "support/TestSupport.h"

namespace brellin {
namespace {

namespace fs = std::filesystem;
using test::RunCli;

// One render with every vector output, shared by the checks below.
class ProjectCommands : public ::testing::Test {
 protected:
  void SetUp() override {
    const auto r = RunCli({"render", test::DataPath("cat_crop_128x96.png"), "-o", Tmp.File("r.bmp"),
                           "--steps", "1500", "--full-size", "--style",
                           std::string(BRELLIN_SOURCE_DIR) + "/data/style1-fine-ink.bst",
                           "--project", Tmp.File("p.bpj"), "--ps", Tmp.File("p.ps"), "--quiet"});
    ASSERT_EQ(r.ExitCode, 0) << r.Err;
  }
  test::TTempDir Tmp;
};

TEST_F(ProjectCommands, RerenderAtTheSameSizeGivesTheRenderBitForBitAndTwiceTheSizeScales) {
  auto r = RunCli(
      {"rerender", Tmp.File("p.bpj"), "-o", Tmp.File("same.bmp"), "--width", "1x", "--quiet"});
  ASSERT_EQ(r.ExitCode, 0) << r.Err;
  EXPECT_EQ(test::ReadBytes(Tmp.File("same.bmp")), test::ReadBytes(Tmp.File("r.bmp")));

  r = RunCli(
      {"rerender", Tmp.File("p.bpj"), "-o", Tmp.File("big.tif"), "--width", "256", "--quiet"});
  ASSERT_EQ(r.ExitCode, 0) << r.Err;
  const TBitmap32 big = LoadPictureFile(Tmp.File("big.tif"));
  EXPECT_EQ(big.Width(), 256);
  EXPECT_EQ(big.Height(), 192);
  // The drawing is the same: halved again, it stays close to the render.
  const TBitmap32 small = LoadPictureFile(Tmp.File("r.bmp"));
  int64_t inkSmall = 0, inkBig = 0;
  for (int y = 0; y < 96; ++y)
    for (int x = 0; x < 128; ++x) {
      inkSmall += 255 - RedComponent(small.Pixel(x, y));
      for (int k = 0; k < 4; ++k)
        inkBig += 255 - RedComponent(big.Pixel(2 * x + k % 2, 2 * y + k / 2));
    }
  EXPECT_GT(inkSmall, 0);
  EXPECT_GT(inkBig, 0);
  // Ink where the strokes were: the big picture's dark pixels lie where the small one's are.
  int64_t both = 0, bigOnly = 0;
  for (int y = 0; y < 96; ++y)
    for (int x = 0; x < 128; ++x) {
      int dark = 0;
      for (int k = 0; k < 4; ++k)
        dark += RedComponent(big.Pixel(2 * x + k % 2, 2 * y + k / 2)) < 128;
      const bool smallDark = RedComponent(small.Pixel(x, y)) < 200;
      if (dark > 0) (smallDark ? both : bigOnly) += 1;
    }
  EXPECT_GT(both, 3 * bigOnly) << both << " / " << bigOnly;

  // A paper colour of its own: where the white paper shows, the red one does.
  for (const char* paper : {"FFFFFF", "FF0000"}) {
    r = RunCli({"rerender", Tmp.File("p.bpj"), "-o", Tmp.File(std::string(paper) + ".bmp"),
                "--width", "512", "--background", paper, "--quiet"});
    ASSERT_EQ(r.ExitCode, 0) << r.Err;
  }
  const TBitmap32 white = LoadPictureFile(Tmp.File("FFFFFF.bmp"));
  const TBitmap32 red = LoadPictureFile(Tmp.File("FF0000.bmp"));
  ASSERT_EQ(red.Height(), 384);
  int paperPixels = 0, redWherePaper = 0;
  for (int y = 0; y < red.Height(); ++y)
    for (int x = 0; x < red.Width(); ++x)
      if (white.Pixel(x, y) == 0xFFFFFFFFu) {
        ++paperPixels;
        redWherePaper += red.Pixel(x, y) == 0xFFFF0000u;
      }
  EXPECT_GT(paperPixels, 1000);
  EXPECT_EQ(redWherePaper, paperPixels);
}

TEST_F(ProjectCommands, ExportAndInfoDescribeTheSameStrokes) {
  auto r = RunCli({"export-ps", Tmp.File("p.bpj"), "-o", Tmp.File("e.ps"), "--quiet"});
  ASSERT_EQ(r.ExitCode, 0) << r.Err;
  EXPECT_EQ(test::ReadBytes(Tmp.File("e.ps")), test::ReadBytes(Tmp.File("p.ps")));

  r = RunCli({"info", Tmp.File("p.bpj"), "--json"});
  ASSERT_EQ(r.ExitCode, 0) << r.Err;
  EXPECT_NE(r.Out.find("\"width\": 128, \"height\": 96, \"states\": 1, \"position\": 1"),
            std::string::npos)
      << r.Out;
  // As many vectors as the PostScript has filled outlines.
  const std::string ps(reinterpret_cast<const char*>(test::ReadBytes(Tmp.File("p.ps")).data()),
                       test::ReadBytes(Tmp.File("p.ps")).size());
  size_t fills = 0;
  for (size_t at = ps.find("\rfill\n"); at != std::string::npos; at = ps.find("\rfill\n", at + 1))
    ++fills;
  ASSERT_GT(fills, 10u);
  EXPECT_NE(r.Out.find("\"vectors\": " + std::to_string(fills) + ","), std::string::npos) << r.Out;
  r = RunCli({"info", Tmp.File("p.bpj")});
  EXPECT_NE(r.Out.find(std::to_string(fills) + " Vectors"), std::string::npos) << r.Out;
}

TEST_F(ProjectCommands, BrokenProjectsAndUnwritableOutputs) {
  const auto bytes = test::ReadBytes(Tmp.File("p.bpj"));
  for (const size_t cut : {size_t(0), size_t(30), bytes.size() / 3, bytes.size() - 5}) {
    test::WriteBytes(Tmp.File("cut.bpj"), {bytes.begin(), bytes.begin() + long(cut)});
    for (const auto& args :
         {std::vector<std::string>{"rerender", Tmp.File("cut.bpj"), "-o", Tmp.File("o.jpg"),
                                   "--width", "100"},
          std::vector<std::string>{"export-ps", Tmp.File("cut.bpj"), "-o", Tmp.File("o.ps")},
          std::vector<std::string>{"info", Tmp.File("cut.bpj")}}) {
      const auto r = RunCli(args);
      EXPECT_EQ(r.ExitCode, 2) << "cut at " << cut << ": " << args[0];
      EXPECT_NE(r.Err.find("cut.bpj"), std::string::npos) << r.Err;
    }
    EXPECT_FALSE(fs::exists(Tmp.File("o.jpg")));
    EXPECT_FALSE(fs::exists(Tmp.File("o.ps")));
  }
  EXPECT_EQ(RunCli({"info", Tmp.File("none.bpj")}).ExitCode, 2);
  // Outputs that cannot be written: exit code 3, no file under the name.
  const std::string in = test::DataPath("cat_crop_128x96.png");
  EXPECT_EQ(RunCli({"render", in, "-o", Tmp.File("a.jpg"), "--steps", "200", "--project",
                    Tmp.File("no/dir/p.bpj"), "--quiet"})
                .ExitCode,
            3);
  EXPECT_EQ(RunCli({"render", in, "-o", Tmp.File("b.jpg"), "--steps", "200", "--ps",
                    Tmp.File("no/dir/p.ps"), "--quiet"})
                .ExitCode,
            3);
  EXPECT_EQ(RunCli({"export-ps", Tmp.File("p.bpj"), "-o", Tmp.File("no/dir/e.ps")}).ExitCode, 3);
  // Sizes that give no picture or one beyond the limits are usage errors.
  for (const auto& size : {std::vector<std::string>{"--width", "0.001x"},
                           std::vector<std::string>{"--width", "1", "--height", "1000000"}}) {
    std::vector<std::string> args{"rerender", Tmp.File("p.bpj"), "-o", Tmp.File("o.jpg")};
    args.insert(args.end(), size.begin(), size.end());
    const auto r = RunCli(args);
    EXPECT_EQ(r.ExitCode, 1) << size[1] << ": " << r.Err;
    EXPECT_NE(r.Err.find("brellin-cli rerender: "), std::string::npos) << r.Err;
  }
  // --ps and --project belong to one input.
  EXPECT_EQ(RunCli({"render", in, in, "--out-dir", Tmp.File("d"), "--project", Tmp.File("q.bpj")})
                .ExitCode,
            1);
}

}  // namespace
}  // namespace brellin
