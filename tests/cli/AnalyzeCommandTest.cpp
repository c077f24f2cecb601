#include <gtest/gtest.h>

#include <filesystem>

#include "analysis/FeatureExtractor.h"
#include "analysis/PictureFormats.h"
#include "base/BmpCodec.h"
#include "base/Stream.h"
#include "support/TestSupport.h"

namespace brellin {
namespace {

using test::RunCli;

TBitmap32 ReadBmp(const std::string& file) {
  TFileStream f(file, fmOpenRead);
  TBitmap32 b;
  LoadBMPFromStream(b, f);
  return b;
}

TEST(AnalyzeCommand, WritesTheFeatureMapWithDirectionsInAlphaAndTheChannelViews) {
  test::TTempDir tmp;
  const std::string input = test::DataPath("cat_crop_128x96.png");
  const auto r =
      RunCli({"analyze", input, "-o", tmp.File("f.bmp"), "--planes", tmp.File("planes")});
  ASSERT_EQ(r.ExitCode, 0) << r.Err;
  const TBitmap32 written = ReadBmp(tmp.File("f.bmp"));
  const TBitmap32 expected = ExtractFeatures(LoadPictureFile(input));
  ASSERT_EQ(written.Width(), 128);
  ASSERT_EQ(written.Height(), 96);
  EXPECT_TRUE(std::equal(written.Bits(), written.Bits() + written.PixelCount(), expected.Bits()));
  for (const char* view : {"darkness", "hue", "saturation", "strength", "edges", "directions"}) {
    const std::string png = tmp.File(std::string("planes/") + view + ".png");
    ASSERT_TRUE(std::filesystem::exists(png)) << view;
    const TBitmap32 b = LoadPictureFile(png);
    EXPECT_EQ(b.Width(), 128);
    EXPECT_EQ(b.Height(), 96);
  }
}

TEST(AnalyzeCommand, ExitCodesAndMessages) {
  test::TTempDir tmp;
  // Bad usage.
  EXPECT_EQ(RunCli({"analyze"}).ExitCode, 1);
  EXPECT_EQ(RunCli({"analyze", "a.png", "--bogus"}).ExitCode, 1);
  EXPECT_EQ(RunCli({"no-such-command"}).ExitCode, 1);
  EXPECT_EQ(RunCli({"analyze", "--help"}).ExitCode, 0);
  // Unreadable input names the file.
  auto r = RunCli({"analyze", tmp.File("missing.png"), "-o", tmp.File("f.bmp")});
  EXPECT_EQ(r.ExitCode, 2);
  EXPECT_EQ(r.Err.rfind("brellin-cli: " + tmp.File("missing.png") + ": ", 0), 0u) << r.Err;
  r = RunCli({"analyze", tmp.Path(), "-o", tmp.File("f.bmp")});
  EXPECT_EQ(r.ExitCode, 2);
  test::WriteBytes(tmp.File("empty.jpg"), {});
  r = RunCli({"analyze", tmp.File("empty.jpg"), "-o", tmp.File("f.bmp")});
  EXPECT_EQ(r.ExitCode, 2);
  EXPECT_NE(r.Err.find("empty.jpg: "), std::string::npos);
  // A picture below 2 x 2 is refused before analysis.
  {
    TFileStream out(tmp.File("tiny.bmp"), fmCreate);
    SaveBMPToStream(TBitmap32(1, 7, clWhite32), out, 24);
  }
  r = RunCli({"analyze", tmp.File("tiny.bmp"), "-o", tmp.File("f.bmp")});
  EXPECT_EQ(r.ExitCode, 2);
  EXPECT_NE(r.Err.find("too small"), std::string::npos) << r.Err;
  EXPECT_FALSE(std::filesystem::exists(tmp.File("f.bmp")));
  // An output that cannot be written.
  r = RunCli({"analyze", test::DataPath("rose_70x46.png"), "-o", tmp.File("no/such/dir/f.bmp")});
  EXPECT_EQ(r.ExitCode, 3) << r.Err;
}

}  // namespace
}  // namespace brellin
