#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <regex>
#include <string>

#include "analysis/PictureFormats.h"
#include "history/PlotterPaths.h"
#include "support/TestSupport.h"

namespace brellin {
namespace {

namespace fs = std::filesystem;
using test::RunCli;

size_t Count(const std::string& text, const std::string& what) {
  size_t n = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

uint32_t BigEndian(const std::vector<uint8_t>& b, size_t at) {
  return uint32_t(b[at]) << 24 | uint32_t(b[at + 1]) << 16 | uint32_t(b[at + 2]) << 8 | b[at + 3];
}

class SvgCommand : public ::testing::Test {
 protected:
  void SetUp() override {
    const auto r = RunCli({"render", test::DataPath("cat_crop_128x96.png"), "-o", Tmp.File("r.png"),
                           "--steps", "1500", "--full-size", "--dpi", "300", "--style",
                           std::string(BRELLIN_SOURCE_DIR) + "/data/style1-fine-ink.bst",
                           "--project", Tmp.File("p.bpj"), "--svg", Tmp.File("r.svg"), "--quiet"});
    ASSERT_EQ(r.ExitCode, 0) << r.Err;
  }
  test::TTempDir Tmp;
};

TEST_F(SvgCommand, RenderWritesALosslessPngAndOnePathPerVector) {
  // The PNG holds the very pixels of a BMP rerender, as opaque RGB at 300 dpi.
  auto r = RunCli(
      {"rerender", Tmp.File("p.bpj"), "-o", Tmp.File("same.bmp"), "--width", "1x", "--quiet"});
  ASSERT_EQ(r.ExitCode, 0) << r.Err;
  TBitmap32 png = LoadPictureFile(Tmp.File("r.png"));
  const TBitmap32 bmp = LoadPictureFile(Tmp.File("same.bmp"));
  EXPECT_TRUE(test::SamePixels(png, bmp));
  const auto bytes = test::ReadBytes(Tmp.File("r.png"));
  ASSERT_GT(bytes.size(), 60u);
  EXPECT_EQ(bytes[25], 2) << "colour type: RGB without alpha";
  const size_t phys = 33;  // the chunk right after the header
  ASSERT_EQ(std::string(bytes.begin() + phys + 4, bytes.begin() + phys + 8), "pHYs");
  EXPECT_EQ(BigEndian(bytes, phys + 8), 11811u);  // 300 dpi in dots per metre
  EXPECT_EQ(bytes[phys + 16], 1);

  r = RunCli({"info", Tmp.File("p.bpj"), "--json"});
  const std::smatch m = [&] {
    std::smatch s;
    std::regex_search(r.Out, s, std::regex("\"vectors\": ([0-9]+)"));
    return s;
  }();
  ASSERT_EQ(m.size(), 2u) << r.Out;
  const std::string svg = test::ReadText(Tmp.File("r.svg"));
  EXPECT_GT(std::stoul(m[1]), 100u);
  EXPECT_EQ(Count(svg, "<path "), std::stoul(m[1]));
  EXPECT_EQ(Count(svg, "<rect "), 1u);  // the white paper
  // export-svg gives the same file, less the paper it was not asked for.
  r = RunCli({"export-svg", Tmp.File("p.bpj"), "-o", Tmp.File("e.svg"), "--quiet"});
  ASSERT_EQ(r.ExitCode, 0) << r.Err;
  std::string exported = test::ReadText(Tmp.File("e.svg"));
  EXPECT_EQ(exported.find("<rect"), std::string::npos);
  const size_t g = exported.find("<g ");
  EXPECT_EQ(exported.substr(g), svg.substr(svg.find("<g ")));

  // A real SVG renderer reads the file and paints what the program painted
  // (polygon strokes: bitmap brushes' texture is beyond an outline).
  r = RunCli({"render", test::DataPath("cat_crop_128x96.png"), "-o", Tmp.File("h.png"), "--steps",
              "1500", "--full-size", "--style",
              std::string(BRELLIN_SOURCE_DIR) + "/data/style2-hatching.bst", "--svg",
              Tmp.File("h.svg"), "--quiet"});
  ASSERT_EQ(r.ExitCode, 0) << r.Err;
  const std::string raster = Tmp.File("rsvg.png");
  ASSERT_EQ(std::system(("rsvg-convert " + test::ShellQuote(Tmp.File("h.svg")) + " -o " +
                         test::ShellQuote(raster))
                            .c_str()),
            0);
  const TBitmap32 painted = LoadPictureFile(Tmp.File("h.png"));
  const TBitmap32 drawn = LoadPictureFile(raster);
  ASSERT_EQ(drawn.Width(), painted.Width());
  ASSERT_EQ(drawn.Height(), painted.Height());
  double sum = 0;
  for (size_t i = 0; i < painted.PixelCount(); ++i)
    for (int shift : {0, 8, 16})
      sum +=
          std::abs(int((painted.Bits()[i] >> shift) & 255) - int((drawn.Bits()[i] >> shift) & 255));
  EXPECT_LT(sum / (3.0 * painted.PixelCount()) / 255.0, 0.03);
}

TEST_F(SvgCommand, PlotterLinesStayOnTheSheetInOneLayerPerPenWithLessTravel) {
  const auto r =
      RunCli({"export-svg", Tmp.File("p.bpj"), "-o", Tmp.File("plot.svg"), "--centerlines",
              "--pens", "3", "--paper", "A4", "--margin", "15", "--min-length", "2", "--quiet"});
  ASSERT_EQ(r.ExitCode, 0) << r.Err;
  const std::string svg = test::ReadText(Tmp.File("plot.svg"));
  // A landscape picture turns the sheet.
  EXPECT_NE(svg.find("width=\"297mm\" height=\"210mm\" viewBox=\"0 0 297 210\""),
            std::string::npos);
  const size_t layers = Count(svg, "<g id=\"pen-");
  EXPECT_GE(layers, 2u);
  EXPECT_LE(layers, 3u);
  EXPECT_GT(Count(svg, "<polyline "), 100u);
  // Every point within the margins (the picture's 4:3 fills the height).
  const std::regex point("(-?[0-9.]+),(-?[0-9.]+)");
  for (auto it = std::sregex_iterator(svg.begin(), svg.end(), point); it != std::sregex_iterator();
       ++it) {
    const double x = std::stod((*it)[1]), y = std::stod((*it)[2]);
    ASSERT_TRUE(x >= 15 - 1e-3 && x <= 282 + 1e-3 && y >= 15 - 1e-3 && y <= 195 + 1e-3)
        << it->str();
  }
  double before = 0, after = 0;
  ASSERT_EQ(std::sscanf(r.Out.c_str() + r.Out.find("travel"), "travel %lf mm in stroke order, %lf",
                        &before, &after),
            2)
      << r.Out;
  EXPECT_LT(after * 2, before);
}

// The picture rsvg-convert draws of an SVG file, at the file's own size.
TBitmap32 Rasterise(const std::string& Svg, const std::string& Png) {
  EXPECT_EQ(std::system(
                ("rsvg-convert " + test::ShellQuote(Svg) + " -o " + test::ShellQuote(Png)).c_str()),
            0);
  return LoadPictureFile(Png);
}

// Mean difference of two pictures of one size, 0..1 of full scale.
double Difference(const TBitmap32& a, const TBitmap32& b) {
  EXPECT_EQ(a.Width(), b.Width());
  EXPECT_EQ(a.Height(), b.Height());
  if (a.Width() != b.Width() || a.Height() != b.Height()) return 1;
  double sum = 0;
  for (size_t i = 0; i < a.PixelCount(); ++i)
    for (int shift : {0, 8, 16})
      sum += std::abs(int((a.Bits()[i] >> shift) & 255) - int((b.Bits()[i] >> shift) & 255));
  return sum / (3.0 * a.PixelCount()) / 255.0;
}

// The layers of a plotter file: from the first "<g " to the closing "</svg>".
std::string Layers(const std::string& svg) {
  const size_t g = svg.find("<g ");
  return g == std::string::npos ? "" : svg.substr(g, svg.rfind("</svg>") - g);
}

TEST_F(SvgCommand, PlotterLayersPenFilesAndJoinedLinesDrawTheSamePicture) {
  const std::string p = Tmp.File("p.bpj");
  const std::vector<std::string> plot{"--centerlines", "--pens", "4",      "--paper", "A4",
                                      "--background",  "FFFFFF", "--quiet"};
  auto run = [&](const std::string& out, std::vector<std::string> more) {
    std::vector<std::string> args{"export-svg", p, "-o", Tmp.File(out)};
    args.insert(args.end(), plot.begin(), plot.end());
    args.insert(args.end(), more.begin(), more.end());
    const auto r = RunCli(args);
    EXPECT_EQ(r.ExitCode, 0) << r.Err;
    return r;
  };
  run("one.svg", {});
  const std::string one = test::ReadText(Tmp.File("one.svg"));
  EXPECT_NE(one.find("xmlns:inkscape=\"http://www.inkscape.org/namespaces/inkscape\""),
            std::string::npos);
  // Layers numbered in plotting order, lightest pen first, ids kept.
  const std::regex layer(
      "<g id=\"pen-([0-9a-f]{6})\" inkscape:groupmode=\"layer\" inkscape:label=\"([0-9]+) pen "
      "([0-9a-f]{6})\"");
  std::vector<std::string> pens;
  for (auto it = std::sregex_iterator(one.begin(), one.end(), layer); it != std::sregex_iterator();
       ++it) {
    EXPECT_EQ((*it)[2], std::to_string(pens.size() + 1));
    EXPECT_EQ((*it)[1], (*it)[3]);
    pens.push_back((*it)[1]);
  }
  ASSERT_GE(pens.size(), 2u);
  ASSERT_LE(pens.size(), 4u);
  EXPECT_EQ(Count(one, "<g "), pens.size());
  for (size_t k = 1; k < pens.size(); ++k)
    EXPECT_GE(ColorLightness(std::stoul(pens[k - 1], nullptr, 16)),
              ColorLightness(std::stoul(pens[k], nullptr, 16)));

  // One file per pen, each the same page, together the single file.
  const auto split = run("split.svg", {"--split-pens"});
  std::string joined;
  for (size_t k = 1; k <= pens.size(); ++k) {
    const std::string file = Tmp.File("split-" + std::to_string(k) + ".svg");
    const std::string text = test::ReadText(file);
    EXPECT_EQ(text.substr(0, text.find("<g ")), one.substr(0, one.find("<g ")));
    EXPECT_NE(text.find("inkscape:label=\"" + std::to_string(k) + " pen " + pens[k - 1]),
              std::string::npos);
    EXPECT_NE(split.Out.find(file + ": pen " + std::to_string(k)), std::string::npos) << split.Out;
    joined += Layers(text);
  }
  EXPECT_EQ(joined, Layers(one));
  EXPECT_FALSE(fs::exists(Tmp.File("split.svg")));
  EXPECT_FALSE(fs::exists(Tmp.File("split-" + std::to_string(pens.size() + 1) + ".svg")));

  // Joined lines: fewer lifts, the same drawing.
  const auto r = run("joined.svg", {"--join", "0.2"});
  long long before = 0, after = 0;
  const size_t at = r.Out.find("0.2 mm: ");
  ASSERT_NE(at, std::string::npos) << r.Out;
  ASSERT_EQ(
      std::sscanf(r.Out.c_str() + at, "0.2 mm: %lld pen lifts before, %lld after", &before, &after),
      2);
  const std::string j = test::ReadText(Tmp.File("joined.svg"));
  EXPECT_EQ(size_t(before), Count(one, "<polyline "));
  EXPECT_EQ(size_t(after), Count(j, "<polyline "));
  EXPECT_LT(after, before);
  const TBitmap32 drawn = Rasterise(Tmp.File("one.svg"), Tmp.File("one.png"));
  double ink = 0;
  for (size_t i = 0; i < drawn.PixelCount(); ++i) ink += 255 - (drawn.Bits()[i] & 255);
  EXPECT_GT(ink / double(drawn.PixelCount()), 1.0);  // there is a drawing to compare
  EXPECT_LT(Difference(drawn, Rasterise(Tmp.File("joined.svg"), Tmp.File("joined.png"))), 0.01);

  // A custom sheet, turned.
  run("turned.svg", {"--paper", "200x300mm", "--landscape"});
  EXPECT_NE(test::ReadText(Tmp.File("turned.svg"))
                .find("width=\"300mm\" height=\"200mm\" viewBox=\"0 0 300 200\""),
            std::string::npos);
}

// Plotter software reads the layers through Inkscape.
TEST_F(SvgCommand, InkscapeSeesOneLayerPerPenAndDrawsWhatRsvgDraws) {
  if (std::system("inkscape --version >/dev/null 2>&1") != 0)
    GTEST_SKIP() << "inkscape is not installed";
  const std::string svg = Tmp.File("plot.svg"), out = Tmp.File("inkscape.txt");
  ASSERT_EQ(RunCli({"export-svg", Tmp.File("p.bpj"), "-o", svg, "--centerlines", "--pens", "4",
                    "--paper", "A4", "--background", "FFFFFF", "--quiet"})
                .ExitCode,
            0);
  const std::string text = test::ReadText(svg);
  std::vector<std::string> ids;
  const std::regex id("<g id=\"(pen-[0-9a-f]{6})\"");
  for (auto it = std::sregex_iterator(text.begin(), text.end(), id); it != std::sregex_iterator();
       ++it)
    ids.push_back((*it)[1]);
  ASSERT_GE(ids.size(), 2u);
  auto inkscape = [&](const std::string& args) {
    EXPECT_EQ(std::system(("inkscape " + args + " " + test::ShellQuote(svg) + " >" +
                           test::ShellQuote(out) + " 2>/dev/null")
                              .c_str()),
              0);
    return test::ReadText(out);
  };
  // Every layer is an object Inkscape knows, and it selects exactly these as
  // its layers, in plotting order.
  const std::string all = inkscape("--query-all");
  for (const std::string& i : ids) EXPECT_NE(all.find("\n" + i + ","), std::string::npos) << all;
  const std::string layers = inkscape("--actions='select-all:layers;select-list'");
  std::vector<std::string> listed;
  for (size_t at = 0; (at = layers.find("pen-", at)) != std::string::npos; at += 4)
    listed.push_back(layers.substr(at, 10));
  EXPECT_EQ(listed, ids) << layers;

  const std::string size = " -w 1123 -h 794 ";
  inkscape("--export-type=png --export-filename=" + test::ShellQuote(Tmp.File("i.png")) + size);
  ASSERT_EQ(std::system(("rsvg-convert" + size + test::ShellQuote(svg) + " -o " +
                         test::ShellQuote(Tmp.File("r.png")))
                            .c_str()),
            0);
  EXPECT_LT(Difference(LoadPictureFile(Tmp.File("i.png")), LoadPictureFile(Tmp.File("r.png"))),
            0.01);
}

TEST_F(SvgCommand, RefusalsAndExitCodes) {
  const std::string p = Tmp.File("p.bpj");
  for (const auto& args :
       {std::vector<std::string>{"export-svg", p, "-o", Tmp.File("x.ps")},
        {"export-svg", p, "-o", Tmp.File("x.svg"), "--pens", "3"},
        {"export-svg", p, "-o", Tmp.File("x.svg"), "--centerlines", "--margin", "5"},
        {"export-svg", p, "-o", Tmp.File("x.svg"), "--centerlines", "--landscape"},
        {"export-svg", p, "-o", Tmp.File("x.svg"), "--join", "0.2"},
        {"export-svg", p, "-o", Tmp.File("x.svg"), "--centerlines", "--join", "-1"},
        {"export-svg", p, "-o", Tmp.File("x.svg"), "--centerlines", "--paper", "A5x"},
        {"render", test::DataPath("rose_70x46.png"), "-o", Tmp.File("x.jpg"), "--svg",
         Tmp.File("x.txt")}})
    EXPECT_EQ(RunCli(args).ExitCode, 1) << args[4];
  const auto bytes = test::ReadBytes(p);
  test::WriteBytes(Tmp.File("cut.bpj"), {bytes.begin(), bytes.begin() + long(bytes.size() / 3)});
  auto r = RunCli({"export-svg", Tmp.File("cut.bpj"), "-o", Tmp.File("x.svg")});
  EXPECT_EQ(r.ExitCode, 2);
  EXPECT_NE(r.Err.find("cut.bpj"), std::string::npos) << r.Err;
  EXPECT_EQ(RunCli({"export-svg", p, "-o", Tmp.File("no/dir/x.svg")}).ExitCode, 3);
  EXPECT_FALSE(fs::exists(Tmp.File("x.svg")));
  EXPECT_FALSE(fs::exists(Tmp.File("x.jpg")));
  // A pen file that is a link to another would be overwritten by it.
  fs::create_symlink(Tmp.File("s-1.svg"), Tmp.File("s-2.svg"));
  r = RunCli(
      {"export-svg", p, "-o", Tmp.File("s.svg"), "--centerlines", "--pens", "3", "--split-pens"});
  EXPECT_EQ(r.ExitCode, 1);
  EXPECT_NE(r.Err.find("are the same file"), std::string::npos) << r.Err;
  EXPECT_FALSE(fs::exists(Tmp.File("s-1.svg")));
}

}  // namespace
}  // namespace brellin
