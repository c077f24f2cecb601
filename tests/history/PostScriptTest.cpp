#include "history/PostScript.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "HistoryTestSupport.h"
#include "base/Errors.h"
#include "history/BStates.h"
#include "support/TestSupport.h"

namespace brellin {
namespace {

namespace fs = std::filesystem;

// Lines of a file whose lines end in LF CR; fails on any other line end.
std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  size_t at = 0;
  while (at < text.size()) {
    const size_t lf = text.find('\n', at);
    if (lf == std::string::npos || lf + 1 >= text.size() || text[lf + 1] != '\r') {
      ADD_FAILURE() << "line " << lines.size() + 1 << " does not end in LF CR";
      break;
    }
    lines.push_back(text.substr(at, lf - at));
    EXPECT_EQ(lines.back().find('\r'), std::string::npos);
    at = lf + 2;
  }
  return lines;
}

const std::vector<std::string> Header = {
    "%!PS-Adobe-2.0",     "%%Title: Brellin Pro",
    "%%Creator: Brellin", "%%CreationDate: Thu Dec 28 13:15:44 PST 1989",
    "%%EndComments",      "72 72 scale"};

using test::AddState;
using test::Px;

TStrokeRecord Stroke(TArrayOfFixedPoint l, TArrayOfFixedPoint r, TColor32 c) {
  TStrokeRecord s;
  s.LeftSide = std::move(l);
  s.RightSide = std::move(r);
  s.Color = c;
  s.Alpha = 10;  // not exported
  return s;
}

TEST(PostScript, PageHeaderAndPolygons) {
  test::TScratchHome home;
  TBStates h;
  // 1000 x 1000: A = 0.00826 inch per pixel, the drawing 6.608 inches wide.
  AddState(
      h, {Stroke({Px(0, 0), Px(1000, 0)}, {Px(0, 1000), Px(1000, 1000), Px(500, 250)}, 0xFFFF0000),
          Stroke({Px(500, 500)}, {}, 0xFF80FF40)});
  AddState(h, {Stroke({Px(1, 1)}, {Px(2, 2)}, 0xFF000000)});
  h.Undo(h.Item(0).FeaturePixels->Bitmap(), h.Item(0).DestinationPixels->Bitmap());  // not exported
  const std::string file = home.File("a.ps");
  std::ofstream(file) << "an older file";
  ExportPostScript(file, 1000, 1000, 0.8f, h);
  const auto lines = Lines(test::ReadText(file));
  auto expected = Header;
  const std::vector<std::string> rest = {"0.8260 2.5410 translate",
                                         "newpath",
                                         "0.0000 6.6080 moveto",
                                         "6.6080 6.6080 lineto",
                                         "3.3040 4.9560 lineto",  // right side from its end
                                         "6.6080 0.0000 lineto",
                                         "0.0000 0.0000 lineto",
                                         "1.0000 0.0000 0.0000  setrgbcolor",
                                         ".1 setlinewidth",
                                         "closepath",
                                         "fill",
                                         "newpath",
                                         "3.3040 3.3040 moveto",
                                         "0.5020 1.0000 0.2510  setrgbcolor",
                                         ".1 setlinewidth",
                                         "closepath",
                                         "fill",
                                         "showpage"};
  expected.insert(expected.end(), rest.begin(), rest.end());
  EXPECT_EQ(lines, expected);
  EXPECT_FALSE(fs::exists(file + ".part"));
}

TEST(PostScript, PageGeometryOfOtherSizes) {
  test::TScratchHome home;
  TBStates h;
  AddState(h, {Stroke({Px(0, 0)}, {Px(200, 1000)}, 0xFF000000)});
  const std::string file = home.File("tall.ps");
  // 200 x 1000: the height limits, A = 0.01169; the drawing is 9.352 inches high.
  ExportPostScript(file, 200, 1000, 0.8f, h);
  const auto lines = Lines(test::ReadText(file));
  ASSERT_GE(lines.size(), 10u);
  EXPECT_EQ(lines[6], "3.1948 1.1690 translate");  // (8.26 - 1.8704) / 2, (11.69 - 9.352) / 2
  EXPECT_EQ(lines[8], "0.0000 9.3520 moveto");
  EXPECT_EQ(lines[9], "1.8704 0.0000 lineto");
}

TEST(PostScript, NoStrokesAndFailures) {
  test::TScratchHome home;
  TBStates h;
  const std::string file = home.File("empty.ps");
  ExportPostScript(file, 1000, 1000, 0.8f, h);
  auto expected = Header;
  expected.push_back("0.8260 2.5410 translate");
  expected.push_back("showpage");
  EXPECT_EQ(Lines(test::ReadText(file)), expected);
  // The user's own files that look like partial names are no obstacle and
  // stay as they were; the export leaves no partial file of its own.
  const std::string own = file + ".part-" + std::to_string(::getpid());
  test::WriteBytes(file + ".part", {'u'});
  test::WriteBytes(own, {'v'});
  fs::remove(file);
  ExportPostScript(file, 1000, 1000, 0.8f, h);
  EXPECT_EQ(Lines(test::ReadText(file)), expected);
  EXPECT_EQ(test::ReadText(file + ".part"), "u");
  EXPECT_EQ(test::ReadText(own), "v");
  EXPECT_EQ(std::distance(fs::directory_iterator(home.Path()), fs::directory_iterator()), 4);
  // A folder in the way is an error and stays.
  fs::create_directory(home.File("dir.ps"));
  EXPECT_THROW(ExportPostScript(home.File("dir.ps"), 10, 10, 0.8f, h), EWriteError);
  EXPECT_THROW(ExportPostScript(home.File("no/such/folder.ps"), 10, 10, 0.8f, h), EBrellinError);
}

TEST(PostScript, NumbersUseAPointUnderACommaLocale) {
  test::TScratchHome home;
  TBStates h;
  AddState(h, {Stroke({Px(0.5, 0.25)}, {Px(-3, 7)}, 0xFF7F7F7F)});
  test::TCommaLocale comma;
  if (!comma.Active()) GTEST_SKIP() << "no locale with a decimal comma is installed";
  const std::string file = home.File("comma.ps");
  ExportPostScript(file, 640, 480, 0.8f, h);
  const std::string text = test::ReadText(file);
  EXPECT_EQ(text.find(','), std::string::npos);
  EXPECT_NE(text.find("-0.0310 "), std::string::npos) << text;  // x = -3 pixels
  EXPECT_NE(text.find("0.4980 0.4980 0.4980  setrgbcolor"), std::string::npos);
}

// Ghostscript ------------------------------------------------------------

// A binary PGM ("P5") as grey levels; comment lines in the header are skipped.
bool ReadPgm(const std::string& file, int& w, int& h, std::vector<uint8_t>& grey) {
  std::ifstream in(file, std::ios::binary);
  int values[3] = {0, 0, 0};
  std::string word;
  if (!(in >> word) || word != "P5") return false;
  for (int& v : values) {
    while (in >> std::ws && in.peek() == '#') std::getline(in, word);
    if (!(in >> v)) return false;
  }
  w = values[0], h = values[1];
  if (values[2] != 255) return false;
  in.get();
  grey.resize(size_t(w) * size_t(h));
  return bool(in.read(reinterpret_cast<char*>(grey.data()), std::streamsize(grey.size())));
}

// Mean grey of Block x Block cells.
std::vector<double> Cells(const std::vector<double>& grey, int w, int h, int block) {
  std::vector<double> c;
  for (int cy = 0; cy + block <= h; cy += block)
    for (int cx = 0; cx + block <= w; cx += block) {
      double sum = 0;
      for (int y = cy; y < cy + block; ++y)
        for (int x = cx; x < cx + block; ++x) sum += grey[size_t(y) * size_t(w) + size_t(x)];
      c.push_back(sum / (block * block));
    }
  return c;
}

double MeanDifference(const std::vector<double>& a, const std::vector<double>& b) {
  double d = 0;
  for (size_t i = 0; i < a.size(); ++i) d += std::abs(a[i] - b[i]);
  return d / double(a.size());
}

TEST(PostScript, GhostscriptDrawsWhatTheDestinationShows) {
  if (std::system("gs --version >/dev/null 2>&1") != 0) GTEST_SKIP() << "gs is not installed";
  test::TScratchHome home;
  test::TTestDocument d;
  d.Style.Params.LightIntensity = 0;  // flat strokes: PostScript has no relief
  for (uint32_t i = 0; i < 6; ++i)
    d.Paint({{20 + int(i) * 18, 25}, {20 + int(i) * 18, 70}}, 50 + i);
  const std::string ps = home.File("cat.ps"), pgm = home.File("cat.pgm");
  d.Doc->ExportPostScript(ps);
  // Four device pixels per picture pixel; the page is A4.
  const int w = 128, h = 96, scale = 4;
  const double a = std::min(float(8.26 / w), float(11.69 / h));
  const double dpi = scale / (a * 0.8);
  const int pw = int(std::lround(8.26 * dpi)), ph = int(std::lround(11.69 * dpi));
  std::ostringstream cmd;
  cmd.precision(10);
  cmd << "gs -q -dSAFER -dBATCH -dNOPAUSE -dFIXEDMEDIA -sDEVICE=pgmraw -dGraphicsAlphaBits=4"
      << " -r" << dpi << " -g" << pw << "x" << ph << " -sOutputFile='" << pgm << "' '" << ps
      << "' >/dev/null 2>&1";
  ASSERT_EQ(std::system(cmd.str().c_str()), 0) << cmd.str();
  int gw = 0, gh = 0;
  std::vector<uint8_t> page;
  ASSERT_TRUE(ReadPgm(pgm, gw, gh, page));
  ASSERT_EQ(gw, pw);
  // The drawing is centred on the page: its top-left corner in device pixels.
  const int ox = int(std::lround((8.26 - w * a * 0.8) / 2 * dpi));
  const int oy = int(std::lround((11.69 - h * a * 0.8) / 2 * dpi));
  std::vector<double> drawn(size_t(w) * h), dest(size_t(w) * h), flipped(size_t(w) * h),
      paper(size_t(w) * h, 255.0);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      double sum = 0;
      for (int j = 0; j < scale; ++j)
        for (int i = 0; i < scale; ++i)
          sum += page[size_t(oy + y * scale + j) * size_t(gw) + size_t(ox + x * scale + i)];
      drawn[size_t(y) * w + x] = sum / (scale * scale);
      const TColor32 p = d.Dest.Bitmap().Pixel(x, y);
      dest[size_t(y) * w + x] =
          0.299 * ((p >> 16) & 255) + 0.587 * ((p >> 8) & 255) + 0.114 * (p & 255);
    }
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) flipped[size_t(y) * w + x] = dest[size_t(h - 1 - y) * w + x];
  const auto c = Cells(drawn, w, h, 8);
  const double same = MeanDifference(c, Cells(dest, w, h, 8));
  const double upsideDown = MeanDifference(c, Cells(flipped, w, h, 8));
  const double blank = MeanDifference(c, Cells(paper, w, h, 8));
  EXPECT_LT(same, 6.0);
  EXPECT_LT(same * 3, upsideDown);
  EXPECT_LT(same * 3, blank);
}

}  // namespace
}  // namespace brellin
