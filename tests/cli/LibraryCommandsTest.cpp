#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "analysis/PictureFormats.h"
#include "library/Styles.h"
#include "support/TestSupport.h"

namespace brellin {
namespace {

namespace fs = std::filesystem;
using test::RunCli;

// A program folder holding the shipped library files, for one test.
TEST(LibraryCommands, ListsTheShippedLibraries) {
  test::TShippedLibraryHome home;
  auto r = RunCli({"brushes"});
  ASSERT_EQ(r.ExitCode, 0) << r.Err;
  EXPECT_NE(r.Out.find("Polygon (built in)"), std::string::npos);
  EXPECT_NE(r.Out.find("3* brush3-pen-nib"), std::string::npos) << r.Out;  // selected at start
  r = RunCli({"styles"});
  ASSERT_EQ(r.ExitCode, 0) << r.Err;
  for (const char* name : {"Scratch Style", "Fine Ink", "Hatching", "Pencil Sketch", "Pastel",
                           "Oil Relief", "Watercolour"})
    EXPECT_NE(r.Out.find(name), std::string::npos) << name;
}

TEST(LibraryCommands, CreateDescribeAndPreviewAStyle) {
  test::TShippedLibraryHome home;
  const std::string bst = home.File("made.bst"), png = home.File("made.png");
  auto r = RunCli({"style",          "create", "-o",          bst,   "--name",      "Made",
                   "--length",       "30",     "--width",     "7",   "--precision", "90",
                   "--border-limit", "2",      "--bumpiness", "8",   "--softness",  "5",
                   "--light",        "30",     "--brush",     "1104"});
  ASSERT_EQ(r.ExitCode, 0) << r.Err;
  TBStyle s;
  s.LoadFromFile(bst);
  EXPECT_EQ(s.Name(), "Made");
  EXPECT_EQ(s.Params.Length, 30);
  EXPECT_EQ(s.Params.Width, 7.0f);
  EXPECT_EQ(s.Params.PolyStep, 10);     // 100 - precision
  EXPECT_EQ(s.Params.BorderLimit, 59);  // the control's 2 percent
  EXPECT_EQ(s.ReliefParams(), 0x1E58);
  EXPECT_EQ(s.Params.BrushId, 1104);
  r = RunCli({"info", bst});
  EXPECT_EQ(r.ExitCode, 0);
  EXPECT_NE(r.Out.find("style \"Made\""), std::string::npos);
  r = RunCli({"preview", bst, "-o", png});
  ASSERT_EQ(r.ExitCode, 0) << r.Err;
  const TBitmap32 p = LoadPictureFile(png);
  EXPECT_EQ(p.Width(), StylePreviewWidth);
  EXPECT_EQ(p.Height(), StylePreviewHeight);
  // The file sits in the program folder, so the library knows it by name;
  // the same seed paints the same preview.
  r = RunCli({"preview", "Made", "-o", home.File("again.png")});
  ASSERT_EQ(r.ExitCode, 0) << r.Err;
  EXPECT_EQ(test::ReadBytes(png), test::ReadBytes(home.File("again.png")));
  EXPECT_EQ(RunCli({"preview", "No Such Style", "-o", home.File("x.png")}).ExitCode, 2);
}

TEST(LibraryCommands, BadFilesAndUsage) {
  test::TShippedLibraryHome home;
  test::WriteBytes(home.File("cut.bst"), {3, 0, 0, 0, 'a', 'b'});
  auto r = RunCli({"info", home.File("cut.bst")});
  EXPECT_EQ(r.ExitCode, 2);
  EXPECT_NE(r.Err.find("cut.bst: "), std::string::npos);
  test::WriteBytes(home.File("zero.srd"), {1, 0, 0, 0, 0, 0, 0, 0, 'B', 'M'});
  r = RunCli({"info", home.File("zero.srd")});
  EXPECT_EQ(r.ExitCode, 2);
  EXPECT_NE(r.Err.find("reference width"), std::string::npos) << r.Err;
  // The libraries skip bad files and log them.
  r = RunCli({"styles"});
  EXPECT_EQ(r.ExitCode, 0);
  EXPECT_EQ(r.Out.find("cut.bst"), std::string::npos);
  EXPECT_EQ(RunCli({"style", "create", "-o", home.File("x.bst")}).ExitCode, 1);
  EXPECT_EQ(RunCli({"style", "create", "-o", home.File("x.bst"), "--name", "x", "--width", "99"})
                .ExitCode,
            1);
}

}  // namespace
}  // namespace brellin
