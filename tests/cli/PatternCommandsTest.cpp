#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "analysis/PictureFormats.h"
#include "base/Stream.h"
#include "support/TestSupport.h"

namespace brellin {
namespace {

namespace fs = std::filesystem;
using test::RunCli;

// A program folder holding the shipped patterns and brushes, for one test.
struct TPatternHome {
  test::TTempDir Dir;
  std::string Previous;
  TPatternHome() {
    for (const auto& e : fs::directory_iterator(std::string(BRELLIN_SOURCE_DIR) + "/data"))
      if (e.path().extension() == ".stk" || e.path().extension() == ".srd")
        fs::copy_file(e.path(), fs::path(Dir.Path()) / e.path().filename());
    const char* p = std::getenv("BRELLIN_HOME");
    Previous = p ? p : "";
    ::setenv("BRELLIN_HOME", Dir.Path().c_str(), 1);
  }
  ~TPatternHome() { ::setenv("BRELLIN_HOME", Previous.c_str(), 1); }
};

int DarkPixels(const TBitmap32& b, int below) {
  int n = 0;
  for (int y = 0; y < b.Height(); ++y)
    for (int x = 0; x < b.Width(); ++x) n += GreenComponent(b.Pixel(x, y)) < below;
  return n;
}

TEST(PatternCommands, ListsDescribesAndDrawsTheShippedPatterns) {
  TPatternHome home;
  auto r = RunCli({"patterns"});
  ASSERT_EQ(r.ExitCode, 0) << r.Err;
  for (const char* name : {"pattern1-hatching", "pattern2-cross-hatching", "pattern3-curls",
                           "pattern4-sweeps", "pattern5-dashes"})
    EXPECT_NE(r.Out.find(name), std::string::npos) << name << "\n" << r.Out;
  EXPECT_NE(r.Out.find("0* pattern1-hatching"), std::string::npos) << r.Out;

  r = RunCli({"info", home.Dir.File("pattern3-curls.stk")});
  ASSERT_EQ(r.ExitCode, 0) << r.Err;
  EXPECT_NE(r.Out.find("pattern, 5 frames with curves"), std::string::npos) << r.Out;

  // A thumbnail of a library pattern by name and of a file, at the editor's slot size.
  const std::string png = home.Dir.File("thumb.png");
  r = RunCli({"preview", "pattern2-cross-hatching", "-o", png, "--size", "56"});
  ASSERT_EQ(r.ExitCode, 0) << r.Err;
  const TBitmap32 thumb = LoadPictureFile(png);
  EXPECT_EQ(thumb.Width(), 56);
  EXPECT_EQ(thumb.Height(), 56);
  EXPECT_GT(DarkPixels(thumb, 200), 30);
  EXPECT_EQ(thumb.Pixel(0, 0), clWhite32);
  r = RunCli({"preview", home.Dir.File("pattern5-dashes.stk"), "-o", png});
  ASSERT_EQ(r.ExitCode, 0) << r.Err;
  EXPECT_EQ(LoadPictureFile(png).Width(), 40);
}

TEST(PatternCommands, RendersWithEachShippedPattern) {
  TPatternHome home;
  const std::string in = test::DataPath("cat_crop_128x96.png");
  auto render = [&](const std::vector<std::string>& extra, const std::string& out) {
    std::vector<std::string> args = {"render",  in,    "-o",          home.Dir.File(out),
                                     "--steps", "400", "--full-size", "--quiet"};
    args.insert(args.end(), extra.begin(), extra.end());
    const auto r = RunCli(args);
    EXPECT_EQ(r.ExitCode, 0) << r.Err;
    return test::ReadBytes(home.Dir.File(out));
  };
  const auto autoMode = render({}, "auto.bmp");
  std::vector<std::vector<uint8_t>> results;
  for (const char* p : {"0", "1", "2", "3", "4"}) {
    results.push_back(render({"--mode", "pattern", "--pattern", p, "--radius", "20"},
                             std::string("p") + p + ".bmp"));
    EXPECT_NE(results.back(), autoMode) << "pattern " << p;
    const TBitmap32 pic = LoadPictureFile(home.Dir.File(std::string("p") + p + ".bmp"));
    EXPECT_LT(DarkPixels(pic, 250), int(pic.PixelCount())) << "the paper shows somewhere";
    EXPECT_GT(DarkPixels(pic, 250), int(pic.PixelCount() / 10)) << "pattern " << p << " paints";
  }
  for (size_t i = 1; i < results.size(); ++i) EXPECT_NE(results[i], results[0]) << i;
  // The library's first pattern by default; a file given by name; the same bytes again.
  EXPECT_EQ(render({"--mode", "pattern", "--radius", "20"}, "default.bmp"), results[0]);
  EXPECT_EQ(render({"--mode", "pattern", "--radius", "20", "--pattern",
                    home.Dir.File("pattern3-curls.stk")},
                   "file.bmp"),
            results[2]);
  // The radius scales the strokes: another radius, another picture.
  EXPECT_NE(render({"--mode", "pattern", "--radius", "60"}, "r60.bmp"), results[0]);
}

TEST(PatternCommands, RefusesBadPatternsAndOptions) {
  TPatternHome home;
  const std::string in = test::DataPath("cat_crop_128x96.png");
  const std::string out = home.Dir.File("x.jpg");
  auto run = [&](std::vector<std::string> extra) {
    std::vector<std::string> args = {"render", in, "-o", out, "--quiet"};
    args.insert(args.end(), extra.begin(), extra.end());
    return RunCli(args);
  };
  EXPECT_EQ(run({"--mode", "pattern", "--pattern", "5"}).ExitCode, 1);
  EXPECT_EQ(run({"--mode", "pattern", "--pattern", "no-such"}).ExitCode, 1);
  EXPECT_EQ(run({"--mode", "pattern", "--radius", "7"}).ExitCode, 1);
  EXPECT_EQ(run({"--mode", "pattern", "--density", "500"}).ExitCode, 1);
  EXPECT_EQ(run({"--radius", "20"}).ExitCode, 1) << "--radius belongs to pattern mode";
  EXPECT_EQ(run({"--mode", "spiral"}).ExitCode, 1);

  // A pattern file without curves, and one cut short: exit 2 with the reason.
  const std::string empty = home.Dir.File("empty.stk"), cut = home.Dir.File("cut.stk");
  test::WriteBytes(empty, {2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0});
  test::WriteBytes(cut, {1, 0, 0, 0, 4, 0, 0, 0, 1, 2, 3});
  auto r = run({"--mode", "pattern", "--pattern", empty});
  EXPECT_EQ(r.ExitCode, 2);
  EXPECT_NE(r.Err.find("no curves"), std::string::npos) << r.Err;
  r = run({"--mode", "pattern", "--pattern", cut});
  EXPECT_EQ(r.ExitCode, 2);
  EXPECT_NE(r.Err.find("cut.stk"), std::string::npos) << r.Err;
  EXPECT_NE(r.Err.find("cut short"), std::string::npos) << r.Err;
  EXPECT_FALSE(fs::exists(out));

  // Without any pattern in the library, pattern mode asks for a file.
  for (const auto& e : fs::directory_iterator(home.Dir.Path()))
    if (e.path().extension() == ".stk") fs::remove(e.path());
  r = run({"--mode", "pattern"});
  EXPECT_EQ(r.ExitCode, 1);
  EXPECT_NE(r.Err.find("--pattern FILE.stk"), std::string::npos) << r.Err;
}

}  // namespace
}  // namespace brellin
