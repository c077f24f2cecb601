#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "support/TestSupport.h"

namespace brellin {
namespace {

using test::RunCli;

struct TSketch {
  test::TTempDir Tmp;
  int Runs = 0;
  test::TCliResult Result;
  // Plays Script on the small photo; returns the output's bytes.
  std::vector<uint8_t> Run(const std::string& Script) {
    const std::string n = std::to_string(Runs++);
    std::ofstream(Tmp.File(n + ".txt")) << Script;
    Result =
        RunCli({"sketch", test::DataPath("cat_crop_128x96.png"), "--script", Tmp.File(n + ".txt"),
                "-o", Tmp.File(n + ".bmp"), "--full-size", "--seed", "5", "--quiet"});
    if (!std::filesystem::exists(Tmp.File(n + ".bmp"))) return {};
    return test::ReadBytes(Tmp.File(n + ".bmp"));
  }
  // The summary's value for Key ("states"), or -1.
  long Summary(const std::string& Key) const {
    const size_t at = Result.Out.find(Key + ": ");
    return at == std::string::npos ? -1 : std::stol(Result.Out.substr(at + Key.size() + 2));
  }
};

const char* const kGestures =
    "tool auto  # the auto-sketch tool\n"
    "down 40 30\nmove 45 32\nmove 50 36\nup\n"
    "\n"
    "down 80 50\nmove 85 55\nup\n"
    "down 20 70\nmove 30 72\nup\n";

TEST(SketchCommand, GesturesUndoAndViews) {
  TSketch s;
  const auto painted = s.Run(kGestures);
  ASSERT_EQ(s.Result.ExitCode, 0) << s.Result.Err;
  EXPECT_EQ(s.Result.Out.substr(0, 6), "tool: ");
  EXPECT_EQ(s.Summary("tool"), 5);
  EXPECT_EQ(s.Summary("states"), 3);
  EXPECT_GT(s.Summary("vectors"), 0);
  EXPECT_EQ(s.Run(kGestures), painted) << "same script, same bytes";

  const auto undone = s.Run(std::string(kGestures) +
                            "command UndoCommand\n"
                            "command UndoCommand\n"
                            "command UndoCommand\n");
  EXPECT_EQ(s.Summary("states"), 0);
  EXPECT_EQ(s.Summary("redo"), 3);
  EXPECT_EQ(s.Summary("vectors"), 0);
  EXPECT_EQ(undone, s.Run("tool auto\n"));
  EXPECT_NE(undone, painted);

  // The destination view has the source's size here: its events reach the
  // document at the same coordinates.
  EXPECT_EQ(s.Run(std::string("view dst\n") + kGestures), painted);
}

TEST(SketchCommand, RadiusPenAndRefusedLines) {
  TSketch s;
  for (const auto& [to, radius] : {std::pair{130, 30}, {105, 50}, {700, 50}}) {
    s.Run("move 100 100\nshift down\nmove " + std::to_string(to) + " 100\nshift up\n");
    EXPECT_EQ(s.Summary("radius"), radius) << to;
  }
  s.Run("wheel up 500\n");
  EXPECT_EQ(s.Summary("radius"), 400);
  s.Run("wheel down 500\n");
  EXPECT_EQ(s.Summary("radius"), 8);

  const std::string band = "down 20 20\nmove 30 25\nmove 40 30\nmove 50 38\nmove 60 45\nup\n";
  const auto plain = s.Run("tool freehand\n" + band);
  EXPECT_EQ(s.Summary("states"), 1);
  const auto pressed = s.Run("tool freehand\npen 1\n" + band);
  EXPECT_EQ(s.Summary("states"), 1);
  EXPECT_NE(pressed, plain);
  EXPECT_EQ(s.Run("tool freehand\npen 1\nwait 250\n" + band), plain) << "a silent pen is no pen";

  for (const auto& [line, reason] :
       {std::pair<std::string, std::string>{"jump 1 2", "unknown line"},
        {"down 10", "'down' takes 2 arguments"},
        {"command UndoCommand", "UndoCommand is disabled"},
        {"command NewStyleCommand", "NewStyleCommand needs"}}) {
    EXPECT_TRUE(s.Run("tool auto\n\n" + line + "\n").empty()) << "no output";
    EXPECT_EQ(s.Result.ExitCode, 1) << line;
    EXPECT_NE(s.Result.Err.find(".txt:3: " + reason), std::string::npos) << s.Result.Err;
    EXPECT_EQ(s.Result.Out, "");
  }
}

TEST(SketchCommand, OutputsThatWouldReplaceEachOtherAreRefusedFirst) {
  test::TTempDir tmp;
  std::ofstream(tmp.File("s.txt")) << kGestures;
  const auto r =
      RunCli({"sketch", test::DataPath("cat_crop_128x96.png"), "--script", tmp.File("s.txt"), "-o",
              tmp.File("x.jpg"), "--project", tmp.File("x.jpg")});
  EXPECT_EQ(r.ExitCode, 1);
  EXPECT_NE(r.Err.find("x.jpg"), std::string::npos);
  EXPECT_FALSE(std::filesystem::exists(tmp.File("x.jpg")));
}

}  // namespace
}  // namespace brellin
