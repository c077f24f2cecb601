#include "history/SvgExport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <random>
#include <sstream>

#include "HistoryTestSupport.h"
#include "analysis/PictureFormats.h"
#include "history/BStates.h"
#include "history/PlotterPaths.h"
#include "support/TestSupport.h"

namespace brellin {
namespace {

using test::AddState;
using test::Px;

TStrokeRecord Stroke(TArrayOfFixedPoint l, TArrayOfFixedPoint r, TColor32 c, int32_t id = 0,
                     uint8_t alpha = 255) {
  TStrokeRecord s;
  s.LeftSide = std::move(l);
  s.RightSide = std::move(r);
  s.Color = c;
  s.Id = id;
  s.Alpha = alpha;
  return s;
}

size_t Count(const std::string& text, const std::string& what) {
  size_t n = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

TEST(SvgExport, OutlinesInStrokeOrderWithTheOpacityTheyWerePaintedWith) {
  test::TScratchHome home;
  TBStates h;
  AddState(h, {Stroke({Px(0.5, 0.25), Px(-3, 7)}, {Px(10, 20.0001), Px(1.0 / 3, 2)}, 0x80FF0000),
               Stroke({Px(1, 1), Px(5, 1)}, {Px(1, 4), Px(5, 4)}, 0xFF00FF00, 1101, 64)});
  AddState(h, {Stroke({Px(2, 2)}, {Px(3, 3), Px(4, 2)}, 0xFF0000FF)});
  AddState(h, {Stroke({Px(7, 7)}, {Px(8, 8), Px(9, 7)}, 0xFF123456)});
  TBitmap32 map(2, 2), dest(2, 2);
  h.Undo(map, dest);
  ASSERT_EQ(h.VectorCount(), 3);

  const std::string file = home.File("s.svg");
  TSvgOptions o;
  o.Background = true;
  bool commaChecked = false;
  {
    test::TCommaLocale comma;  // numbers keep their point under a decimal comma
    commaChecked = comma.Active();
    ExportSvg(file, 640, 480, h, o);
  }
  const std::string text = test::ReadText(file);
  EXPECT_NE(text.find("width=\"640\" height=\"480\" viewBox=\"0 0 640 480\""), std::string::npos);
  EXPECT_NE(text.find("<rect width=\"640\" height=\"480\" fill=\"#ffffff\"/>"), std::string::npos);
  // Down the left side, back up the right one; thousandths, no trailing zeros.
  EXPECT_NE(text.find("<path d=\"M0.5 0.25L-3 7 0.333 2 10 20Z\" fill=\"#ff0000\" "
                      "fill-opacity=\"0.502\"/>"),
            std::string::npos)
      << text;
  // A brush file paints with the recorded opacity, the built-in brush with the colour's.
  EXPECT_NE(text.find("fill=\"#00ff00\" fill-opacity=\"0.251\"/>"), std::string::npos);
  EXPECT_NE(text.find("<path d=\"M2 2L4 2 3 3Z\" fill=\"#0000ff\"/>"), std::string::npos);
  EXPECT_EQ(text.find("#123456"), std::string::npos);  // undone
  EXPECT_EQ(Count(text, "<path "), 3u);
  EXPECT_LT(text.find("#ff0000"), text.find("#00ff00"));
  EXPECT_EQ(text.find(','), std::string::npos);
  EXPECT_EQ(text.substr(text.size() - 12), "</g>\n</svg>\n");
  if (!commaChecked)
    GTEST_SKIP() << "no locale with a decimal comma is installed: the points were not checked";
}

TEST(SvgExport, ASvgRendererDrawsWhatTheDestinationShows) {
  ASSERT_EQ(std::system("rsvg-convert --version >/dev/null 2>&1"), 0)
      << "rsvg-convert is missing: run scripts/install-deps.sh";
  test::TScratchHome home;
  test::TTestDocument d;
  d.Style.Params.LightIntensity = 0;  // flat strokes: the outlines carry no relief
  for (uint32_t i = 0; i < 6; ++i)
    d.Paint({{20 + int(i) * 18, 25}, {20 + int(i) * 18, 70}}, 50 + i);
  const TBitmap32& dest = d.Dest.Bitmap();
  TSvgOptions o;
  o.Background = true;
  o.BackgroundColor = d.Doc->BackgroundColor;
  const std::string svg = home.File("d.svg"), png = home.File("d.png");
  ExportSvg(svg, dest.Width(), dest.Height(), *d.Doc->History, o);
  ASSERT_EQ(std::system(("rsvg-convert -o '" + png + "' '" + svg + "'").c_str()), 0);
  const TBitmap32 drawn = LoadPictureFile(png);
  ASSERT_EQ(drawn.Width(), dest.Width());
  ASSERT_EQ(drawn.Height(), dest.Height());
  double diff = 0, ink = 0;
  for (int y = 0; y < dest.Height(); ++y)
    for (int x = 0; x < dest.Width(); ++x)
      for (int shift : {0, 8, 16}) {
        const int a = int(dest.Pixel(x, y) >> shift & 255),
                  b = int(drawn.Pixel(x, y) >> shift & 255);
        diff += std::abs(a - b);
        ink += 255 - a;
      }
  const double n = 3.0 * dest.Width() * dest.Height();
  EXPECT_GT(ink / n, 10.0);  // there is a drawing to compare
  EXPECT_LT(diff / n, 0.03 * 255) << diff / n;
}

// A stroke whose centre line runs through the points, one pixel wide.
TStrokeRecord Band(const std::vector<TPlotPoint>& centre, TColor32 c) {
  TArrayOfFixedPoint l, r;
  for (const TPlotPoint& p : centre) {
    l.push_back(Px(p.X, p.Y - 0.5));
    r.push_back(Px(p.X, p.Y + 0.5));
  }
  return Stroke(std::move(l), std::move(r), c);
}

struct TPlotLayer {
  std::string Pen;
  std::vector<TPlotLine> Lines;
};

// The layers and polylines of a centre-line file, read back; a number that
// does not read as one (a comma for a point) fails the test.
std::vector<TPlotLayer> ReadPlotterSvg(const std::string& text) {
  std::vector<TPlotLayer> layers;
  for (size_t at = text.find("<g id=\"pen-"); at != std::string::npos;
       at = text.find("<g id=\"pen-", at + 1)) {
    TPlotLayer layer;
    layer.Pen = text.substr(at + 11, 6);
    const size_t end = text.find("</g>", at);
    for (size_t p = text.find("points=\"", at); p < end; p = text.find("points=\"", p + 1)) {
      std::istringstream pairs(text.substr(p + 8, text.find('"', p + 8) - p - 8));
      TPlotLine line;
      for (std::string pair; pairs >> pair;) {
        const size_t comma = pair.find(',');
        EXPECT_EQ(pair.find(',', comma + 1), std::string::npos) << pair;
        line.push_back({std::stof(pair.substr(0, comma)), std::stof(pair.substr(comma + 1))});
      }
      layer.Lines.push_back(line);
    }
    layers.push_back(layer);
  }
  return layers;
}

double DistanceToLine(const TPlotPoint& p, const TPlotLine& line) {
  double best = 1e300;
  for (size_t i = 1; i < line.size(); ++i) {
    const double ax = line[i - 1].X, ay = line[i - 1].Y, dx = line[i].X - ax, dy = line[i].Y - ay;
    const double len2 = dx * dx + dy * dy;
    const double t =
        len2 > 0 ? std::clamp(((p.X - ax) * dx + (p.Y - ay) * dy) / len2, 0.0, 1.0) : 0.0;
    best = std::min(best, std::hypot(p.X - ax - t * dx, p.Y - ay - t * dy));
  }
  return best;
}

TEST(SvgExport, PlotterFilesLayerLightToDarkAndKeepCloseToTheStrokes) {
  test::TScratchHome home;
  std::vector<TPlotPoint> arc;  // a gentle curve: simplification has work to do
  for (int i = 0; i <= 60; ++i) {
    const double t = i * 1.5707963 / 60;
    arc.push_back({float(50 + 40 * std::cos(t)), float(50 + 40 * std::sin(t))});
  }
  TBStates h;
  AddState(h, {Band({{100, 150}, {160, 150}}, 0xFF000000u),    // black
               Band({{100, 100}, {103, 100}}, 0xFF000000u),    // shorter than --min-length
               Band(arc, 0xFFFFF080u),                         // light yellow
               Band({{20, 180}, {90, 185.25f}}, 0xFF808080u),  // grey
               // Blue: both start 50 pixels from the pen's home, a tie that
               // goes to the earlier stroke.
               Band({{30, 40}, {30, 70}}, 0xFF0000FFu), Band({{40, 30}, {70, 30}}, 0xFF0000FFu)});
  TSvgOptions o;
  o.CenterLines = true;
  o.MinLength = 5;
  {
    test::TCommaLocale comma;  // every number keeps its point
    ExportSvg(home.File("p.svg"), 200, 200, h, o);
  }
  const std::vector<TPlotLayer> layers = ReadPlotterSvg(test::ReadText(home.File("p.svg")));
  std::vector<std::string> pens;
  for (const TPlotLayer& l : layers) pens.push_back(l.Pen);
  const auto at = [&](const std::string& pen) {
    return std::find(pens.begin(), pens.end(), pen) - pens.begin();
  };
  ASSERT_EQ(pens.size(), 4u);
  EXPECT_LT(at("fff080"), at("808080"));
  EXPECT_LT(at("808080"), at("000000"));

  const TPlotLayer& black = layers[size_t(at("000000"))];
  ASSERT_EQ(black.Lines.size(), 1u);
  EXPECT_FLOAT_EQ(black.Lines[0].front().Y, 150);

  const TPlotLine& written = layers[size_t(at("fff080"))].Lines.at(0);
  EXPECT_LT(written.size(), arc.size());
  // Within 0.1 pixel of the stroke's centre line, give or take the
  // thousandths the file is written in.
  for (const TPlotPoint& p : arc) EXPECT_LE(DistanceToLine(p, written), 0.1 + 0.001);

  const TPlotLayer& blue = layers[size_t(at("0000ff"))];
  ASSERT_EQ(blue.Lines.size(), 2u);
  EXPECT_FLOAT_EQ(blue.Lines[0].front().X, 30);
  EXPECT_FLOAT_EQ(blue.Lines[0].front().Y, 40);
}

TEST(PlotterPaths, CentreLinesAreClippedToThePictureAndSimplifiedWithinTheTolerance) {
  // Sides of different lengths pair by their position along each side.
  TPlotLine c;
  StrokeCenterLine({Px(0, 0), Px(10, 0)}, {Px(0, 2), Px(5, 2), Px(10, 2)}, c);
  ASSERT_EQ(c.size(), 3u);
  EXPECT_FLOAT_EQ(c[1].X, 5);
  EXPECT_FLOAT_EQ(c[1].Y, 1);

  // In and out of a 10 x 10 picture: two pieces, ends on the border.
  std::vector<TPlotLine> pieces;
  ClipLine({{-5, 5}, {5, 5}, {5, 15}, {8, 5}, {20, 5}}, 10, 10, pieces);
  ASSERT_EQ(pieces.size(), 2u);
  EXPECT_FLOAT_EQ(pieces[0].front().X, 0);
  EXPECT_FLOAT_EQ(pieces[0].back().Y, 10);
  EXPECT_EQ(pieces[1].size(), 3u);
  EXPECT_FLOAT_EQ(pieces[1].back().X, 10);

  // A gentle wave collapses; a sharp corner stays.
  TPlotLine wave;
  for (int i = 0; i <= 100; ++i) wave.push_back({float(i), float(0.05 * std::sin(i))});
  wave.push_back({100, 30});
  const TPlotLine original = wave;
  SimplifyLine(wave, 0.1f);
  ASSERT_EQ(wave.size(), 3u);
  EXPECT_FLOAT_EQ(wave[1].X, 100);
  for (const TPlotPoint& p : original) {  // every dropped point lies within 0.1
    if (p.X < 100) {
      EXPECT_LT(std::abs(p.Y - (wave[0].Y + (wave[1].Y - wave[0].Y) * p.X / 100)), 0.1);
    }
  }
}

TEST(PlotterPaths, OrderingIsTheGreedyNearestNeighbourAndCutsTheTravel) {
  std::mt19937 gen(7);
  std::uniform_real_distribution<float> u(0, 1000);
  std::vector<TPlotLine> lines;
  for (int i = 0; i < 600; ++i) {
    const float x = u(gen), y = u(gen);
    lines.push_back({{x, y}, {x + u(gen) / 20, y + u(gen) / 20}});
  }
  lines.push_back({{500, 500}, {500, 500}});  // both ends at one point
  // The plain greedy walk over every line, ties to the earlier line.
  std::vector<TPlotLine> expected, left = lines;
  std::vector<char> used(left.size(), 0);
  TPlotPoint pen{0, 0};
  for (size_t k = 0; k < left.size(); ++k) {
    double best = 1e300;
    size_t bi = 0;
    bool reverse = false;
    for (size_t i = 0; i < left.size(); ++i)
      for (int e = 0; e < 2 && !used[i]; ++e) {
        const TPlotPoint p = e ? left[i].back() : left[i].front();
        const double d = std::pow(double(p.X) - pen.X, 2) + std::pow(double(p.Y) - pen.Y, 2);
        if (d < best) best = d, bi = i, reverse = e == 1;
      }
    used[bi] = 1;
    if (reverse) std::reverse(left[bi].begin(), left[bi].end());
    pen = left[bi].back();
    expected.push_back(left[bi]);
  }
  const double before = PenUpTravel(lines, {0, 0});
  OrderLines(lines, {0, 0});
  ASSERT_EQ(lines.size(), expected.size());
  for (size_t i = 0; i < lines.size(); ++i) {
    ASSERT_FLOAT_EQ(lines[i].front().X, expected[i].front().X) << i;
    ASSERT_FLOAT_EQ(lines[i].back().Y, expected[i].back().Y) << i;
  }
  EXPECT_LT(PenUpTravel(lines, {0, 0}) * 5, before);
}

TEST(PlotterPaths, LinesJoinWhenTheyMeetTheLastEndWithinTheTolerance) {
  std::vector<TPlotLine> lines{{{0, 0}, {10, 0}},
                               {{10.1f, 0}, {10, 5}},  // starts near: continues
                               {{20, 5}, {10, 5.1f}},  // ends near: turned round
                               {},
                               {{20, 5}, {30, 30}},      // repeats the last point
                               {{30.5f, 30}, {40, 40}},  // too far
                               {{40, 40}}};
  JoinLines(lines, 0.2);
  ASSERT_EQ(lines.size(), 2u);
  const TPlotLine first{{0, 0}, {10, 0}, {10.1f, 0}, {10, 5}, {10, 5.1f}, {20, 5}, {30, 30}};
  ASSERT_EQ(lines[0].size(), first.size());
  for (size_t i = 0; i < first.size(); ++i) {
    EXPECT_FLOAT_EQ(lines[0][i].X, first[i].X) << i;
    EXPECT_FLOAT_EQ(lines[0][i].Y, first[i].Y) << i;
  }
  EXPECT_EQ(lines[1].size(), 2u);  // the lone point coincides with the end
  // Tolerance 0 joins only ends that meet exactly.
  std::vector<TPlotLine> exact{{{0, 0}, {1, 0}}, {{1, 0}, {2, 0}}, {{2.01f, 0}, {3, 0}}};
  JoinLines(exact, 0);
  ASSERT_EQ(exact.size(), 2u);
  EXPECT_EQ(exact[0].size(), 3u);
}

TEST(PlotterPaths, ColoursFallIntoTheirPensTheSameWayEveryTime) {
  std::mt19937 gen(3);
  std::vector<TColor32> colours;
  std::vector<int64_t> weights;
  for (int i = 0; i < 300; ++i) {
    const int v = int(gen() % 24);
    const TColor32 base = i % 3 == 0 ? 0xFFD02010u : i % 3 == 1 ? 0xFF20A040u : 0xFF102080u;
    colours.push_back(base + TColor32(v * 0x010101));
    weights.push_back(1 + i % 5);
  }
  const TPenSet a = QuantizeColors(colours, weights, 3, 1);
  const TPenSet b = QuantizeColors(colours, weights, 3, 1);
  ASSERT_EQ(a.Pens.size(), 3u);
  EXPECT_EQ(a.Pens, b.Pens);
  EXPECT_EQ(a.PenOf, b.PenOf);
  for (size_t i = 3; i < colours.size(); ++i) EXPECT_EQ(a.PenOf[i], a.PenOf[i % 3]) << i;
  // The red family's pen is red.
  const TColor32 red = a.Pens[size_t(a.PenOf[0])];
  EXPECT_GT(int(red >> 16 & 255), 2 * int(red >> 8 & 255));
  // Fewer colours than pens: each colour is its pen.
  const TPenSet few = QuantizeColors({0xFF000000u, 0xFFFFFFFFu, 0xFF000000u}, {}, 8, 1);
  EXPECT_EQ(few.Pens, (std::vector<TColor32>{0xFF000000u, 0xFFFFFFFFu}));
  EXPECT_EQ(few.PenOf, (std::vector<int>{0, 1, 0}));
}

}  // namespace
}  // namespace brellin
