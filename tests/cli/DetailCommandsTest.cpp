#include <gtest/gtest.h>

#include <string>

#include "analysis/PictureFormats.h"
#include "support/TestSupport.h"

namespace brellin {
namespace {

using test::RunCli;

size_t Occurrences(const std::string& Text, const std::string& What) {
  size_t n = 0;
  for (size_t at = Text.find(What); at != std::string::npos; at = Text.find(What, at + 1)) ++n;
  return n;
}

// The number after Key in info's JSON line, and the strokes of each state.
std::string JsonField(const std::string& Json, const std::string& Key) {
  const size_t at = Json.find("\"" + Key + "\": ");
  if (at == std::string::npos) return "";
  const size_t from = at + Key.size() + 4;
  const size_t to = Json.find_first_of(",}", Json[from] == '[' ? Json.find(']', from) : from);
  return Json.substr(from, to - from);
}

TEST(DetailCommands, RenderWithPassesIsReproducibleAndEveryOutputHoldsEveryStroke) {
  test::TTempDir tmp;
  const std::string photo = test::DataPath("cat_crop_128x96.png");
  auto render = [&](const std::string& name, bool vectors) {
    std::vector<std::string> args{"render",  photo,    "-o",          tmp.File(name + ".png"),
                                  "--steps", "800",    "--full-size", "--detail-passes",
                                  "2",       "--quiet"};
    if (vectors)
      args.insert(args.end(), {"--project", tmp.File(name + ".bpj"), "--ps", tmp.File(name + ".ps"),
                               "--svg", tmp.File(name + ".svg")});
    const auto r = RunCli(args);
    ASSERT_EQ(r.ExitCode, 0) << r.Err;
  };
  render("a", true);
  render("b", false);  // without a history to keep, on another path
  EXPECT_EQ(test::ReadBytes(tmp.File("a.png")), test::ReadBytes(tmp.File("b.png")));

  auto r = RunCli({"info", tmp.File("a.bpj"), "--json"});
  ASSERT_EQ(r.ExitCode, 0) << r.Err;
  // One state for the run, one per pass; the passes paint at most the run's strokes.
  EXPECT_EQ(JsonField(r.Out, "states"), "3");
  const std::string perState = JsonField(r.Out, "strokes_per_state");
  int run = 0, one = 0, two = 0;
  ASSERT_EQ(std::sscanf(perState.c_str(), "[%d, %d, %d]", &run, &one, &two), 3) << perState;
  EXPECT_GT(one, 0);
  EXPECT_GT(two, 0);
  EXPECT_LE(one + two, 800);
  const size_t vectors = size_t(std::stoll(JsonField(r.Out, "vectors")));
  EXPECT_EQ(vectors, size_t(run + one + two));
  EXPECT_EQ(Occurrences(test::ReadText(tmp.File("a.ps")), "fill\n"), vectors);
  EXPECT_EQ(Occurrences(test::ReadText(tmp.File("a.svg")), "<path"), vectors);

  r = RunCli(
      {"rerender", tmp.File("a.bpj"), "-o", tmp.File("again.png"), "--width", "1x", "--quiet"});
  ASSERT_EQ(r.ExitCode, 0) << r.Err;
  EXPECT_TRUE(
      test::SamePixels(LoadPictureFile(tmp.File("again.png")), LoadPictureFile(tmp.File("a.png"))));
}

TEST(DetailCommands, RefineAddsPassesToAProject) {
  test::TTempDir tmp;
  auto r = RunCli({"render", test::DataPath("cat_crop_128x96.png"), "-o", tmp.File("r.png"),
                   "--steps", "600", "--full-size", "--project", tmp.File("p.bpj"), "--quiet"});
  ASSERT_EQ(r.ExitCode, 0) << r.Err;
  r = RunCli({"refine", tmp.File("p.bpj"), "-o", tmp.File("q.bpj"), "--passes", "2", "--picture",
              tmp.File("q.tif"), "--quiet"});
  ASSERT_EQ(r.ExitCode, 0) << r.Err;
  r = RunCli({"info", tmp.File("q.bpj"), "--json"});
  EXPECT_EQ(JsonField(r.Out, "states"), "3") << r.Out;
  r = RunCli({"rerender", tmp.File("q.bpj"), "-o", tmp.File("q2.tif"), "--width", "1x", "--quiet"});
  ASSERT_EQ(r.ExitCode, 0) << r.Err;
  const TBitmap32 refined = LoadPictureFile(tmp.File("q.tif"));
  EXPECT_TRUE(test::SamePixels(LoadPictureFile(tmp.File("q2.tif")), refined));
  EXPECT_FALSE(test::SamePixels(LoadPictureFile(tmp.File("r.png")), refined));

  // Bad requests are refused before anything is read or written.
  for (const std::vector<std::string>& bad :
       {std::vector<std::string>{"refine", tmp.File("p.bpj"), "-o", tmp.File("x.bpj")},
        {"refine", tmp.File("p.bpj"), "-o", tmp.File("x.bpj"), "--passes", "5"},
        {"render", test::DataPath("cat_crop_128x96.png"), "-o", tmp.File("x.png"),
         "--detail-passes", "1", "--detail-threshold", "-3"}}) {
    EXPECT_EQ(RunCli(bad).ExitCode, 1) << bad.back();
  }
}

}  // namespace
}  // namespace brellin
