// A fixed set of strokes traced on a small photo and drawn with every
// shipped brush, compared with stored results: the vectors exactly, the
// pixels within a stated tolerance (anti-aliasing may be refined).
// Run with BRELLIN_UPDATE_GOLDEN=1 to rewrite the stored results.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>

#include "analysis/FeatureExtractor.h"
#include "analysis/PictureFormats.h"
#include "base/Random.h"
#include "base/Stream.h"
#include "render/BitmapBrushRenderer.h"
#include "support/TestSupport.h"
#include "synthesis/LineSampler.h"

namespace brellin {
namespace {

namespace fs = std::filesystem;

struct TStroke {
  TColor32 Colour;
  TArrayOfFixedPoint Left, Right;
};

std::vector<TStroke> TraceStrokes(const TBitmap32& pic, const TBitmap32& feature) {
  SetRandSeed(2024);
  std::vector<TStroke> strokes;
  TBitmap32 dest(pic.Width(), pic.Height());
  for (int i = 0; i < 80; ++i) {
    const int x = Random(pic.Width()), y = Random(pic.Height());
    TLineSampler s(&feature, &dest);
    s.ColorSource = &pic;
    s.SetScale(1.0f);
    s.SetPrecision(10);
    s.SetStart({x, y});
    s.SetStepCount(20 + Random(30));
    s.SetThickness(float(4 + Random(10)));
    s.SetScanWidth(2.0f);
    s.StopOnBorders = false;
    s.SetDirectionCallback([](int, int, uint8_t&) {});
    if (s.Run()) strokes.push_back({s.AverageColor, s.LeftOutline, s.RightOutline});
  }
  return strokes;
}

std::string Describe(const std::vector<TStroke>& strokes) {
  std::ostringstream o;
  for (const TStroke& s : strokes) {
    o << std::hex << s.Colour << std::dec << " L";
    for (const auto& p : s.Left) o << ' ' << p.X << ',' << p.Y;
    o << " R";
    for (const auto& p : s.Right) o << ' ' << p.X << ',' << p.Y;
    o << '\n';
  }
  return o.str();
}

bool Updating() {
  return std::getenv("BRELLIN_UPDATE_GOLDEN") != nullptr;
}

TEST(StrokeGolden, VectorsAndEveryShippedBrush) {
  TBitmap32 pic = LoadPictureFile(test::DataPath("cat_crop_128x96.png"));
  const TBitmap32 feature = ExtractFeatures(pic);
  const std::vector<TStroke> strokes = TraceStrokes(pic, feature);
  ASSERT_GT(strokes.size(), 60u);

  // Vectors: exact.
  const std::string vectorsFile = test::DataPath("golden/strokes.txt");
  const std::string vectors = Describe(strokes);
  if (Updating()) {
    fs::create_directories(test::DataPath("golden"));
    std::ofstream(vectorsFile) << vectors;
  }
  std::ifstream in(vectorsFile);
  std::stringstream stored;
  stored << in.rdbuf();
  EXPECT_EQ(vectors, stored.str()) << "stroke vectors differ from " << vectorsFile;

  // Pixels: every channel within 8 of the stored picture on at least 99 % of
  // the pixels, and a mean difference of at most 1.
  std::vector<std::unique_ptr<TAbstractStrokeRenderer>> brushes;
  std::vector<std::string> names = {"polygon"};
  brushes.push_back(std::make_unique<TPolygonStrokeRenderer>());
  std::vector<fs::path> files;
  for (const auto& e : fs::directory_iterator(std::string(BRELLIN_SOURCE_DIR) + "/data"))
    if (e.path().extension() == ".srd") files.push_back(e.path());
  std::sort(files.begin(), files.end());  // the relief alternates by position
  for (const fs::path& f : files) {
    auto b = std::make_unique<TBitmapBrushStrokeRenderer>();
    b->LoadFromFile(f.string());
    brushes.push_back(std::move(b));
    names.push_back(f.stem().string());
  }
  ASSERT_GE(brushes.size(), 5u);
  for (size_t i = 0; i < brushes.size(); ++i) {
    TBitmap32 canvas(pic.Width(), pic.Height(), clWhite32);
    for (const TStroke& s : strokes) {
      brushes[i]->SetColor(s.Colour);
      brushes[i]->SetAlpha(230);
      brushes[i]->SetReliefParams(i % 2 ? 0x1E58 : 0x1E00);
      brushes[i]->Render(s.Left, s.Right, canvas);
    }
    const std::string file = test::DataPath("golden/strokes-" + names[i] + ".png");
    if (Updating()) SavePictureFile(canvas, file, 90);
    const TBitmap32 expected = LoadPictureFile(file);
    ASSERT_EQ(expected.Width(), canvas.Width()) << file;
    int64_t off = 0, total = 0;
    for (size_t p = 0; p < canvas.PixelCount(); ++p)
      for (int shift : {0, 8, 16}) {
        const int d = std::abs(int((canvas.Bits()[p] >> shift) & 0xFF) -
                               int((expected.Bits()[p] >> shift) & 0xFF));
        total += d;
        off += d > 8;
      }
    const double pixels = double(canvas.PixelCount()) * 3.0;
    EXPECT_LE(double(off) / pixels, 0.01) << names[i];
    EXPECT_LE(double(total) / pixels, 1.0) << names[i];
  }
}

}  // namespace
}  // namespace brellin
