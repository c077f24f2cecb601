#include <gtest/gtest.h>

#include "analysis/FeatureExtractor.h"
#include "analysis/ImagprocReference.h"
#include "analysis/PictureFormats.h"
#include "base/BmpCodec.h"
#include "base/Errors.h"
#include "base/Parallel.h"
#include "base/Progress.h"
#include "base/Stream.h"
#include "support/TestSupport.h"

namespace brellin {
namespace {

struct TRecordingView : TProgressView {
  std::vector<int32_t> Positions;
  std::string Message;
  bool Visible = false;
  int32_t ThrowAt = -1;
  void ShowWindow(const std::string& m) override {
    Message = m;
    Visible = true;
  }
  void HideWindow() override { Visible = false; }
  void SetRange(int32_t, int32_t) override {}
  void SetPosition(int32_t v) override {
    Positions.push_back(v);
    if (v == ThrowAt) throw EBrellinError("stopped");
  }
};

TEST(FeatureExtractor, ReportsProgressAndHidesTheWindowAlsoOnFailure) {
  TRecordingView view;
  Progress().SetView(&view);
  const TBitmap32 pic = test::MakeTestPicture(40, 30);
  ExtractFeatures(pic);
  EXPECT_EQ(view.Message, "Analyzing Image...");
  EXPECT_EQ(view.Positions, (std::vector<int32_t>{0, 5, 8, 12, 14, 28, 35, 50, 90, 100}));
  EXPECT_FALSE(view.Visible);
  view.ThrowAt = 35;
  EXPECT_THROW(ExtractFeatures(pic), EBrellinError);
  EXPECT_FALSE(view.Visible);
  EXPECT_EQ(Progress().ShowCount(), 0);
  Progress().SetView(nullptr);
}

TEST(FeatureExtractor, RefusesPicturesBelowTwoByTwo) {
  EXPECT_THROW(ExtractFeatures(TBitmap32(1, 5, clWhite32)), EBrellinError);
  EXPECT_THROW(ExtractFeatures(TBitmap32()), EBrellinError);
  const TBitmap32 map = ExtractFeatures(TBitmap32(2, 2, clWhite32));
  EXPECT_EQ(map.Width(), 2);
  EXPECT_EQ(map.Height(), 2);
}

TEST(FeatureExtractor, UniformPicturesAndTheirColours) {
  struct Case {
    TColor32 Colour;
    int Darkness, Hue, Sat;
  };
  const Case cases[] = {{clWhite32, 0, 0, 0},
                        {clBlack32, 255, 0, 0},
                        {Color32(255, 0, 0), 127, 0, 7},   // L = 0.5: 255 - round(127.5) = 127
                        {Color32(0, 0, 255), 127, 21, 7},  // round(31 * 4/6) = 21
                        {Color32(0, 255, 0), 127, 10, 7}};
  for (const Case& c : cases) {
    const TBitmap32 map = ExtractFeatures(TBitmap32(64, 64, c.Colour));
    for (int y = 0; y < 64; ++y)
      for (int x = 0; x < 64; ++x) {
        const TColor32 p = map.Pixel(x, y);
        ASSERT_EQ(FeatureDarkness(p), c.Darkness);
        ASSERT_EQ(FeatureHueIndex(p), c.Hue);
        ASSERT_EQ(FeatureSatIndex(p), c.Sat);
        ASSERT_EQ(FeatureStrength(p), 0);
        // White has no edges; darker pictures get them near the border,
        // from the zero frame of the edge detector's blur.
        if (c.Darkness == 0) ASSERT_FALSE(FeatureEdgeFlag(p));
        if (x == 0 || y == 0 || x == 63 || y == 63) ASSERT_FALSE(FeatureEdgeFlag(p));
      }
  }
}

TEST(FeatureExtractor, MapKeepsThePictureOrientation) {
  // A dark square in the top-left quarter of a white picture.
  TBitmap32 pic(60, 40, clWhite32);
  for (int y = 0; y < 20; ++y)
    for (int x = 0; x < 30; ++x) pic.SetPixel(x, y, clBlack32);
  const TBitmap32 map = ExtractFeatures(pic);
  EXPECT_EQ(FeatureDarkness(map.Pixel(5, 5)), 255);
  EXPECT_EQ(FeatureDarkness(map.Pixel(50, 35)), 0);
  // The square's lower side (picture row 19/20) is a horizontal contour and
  // carries an edge somewhere along it, never on the map's frame.
  bool edge = false;
  for (int x = 3; x < 27; ++x)
    edge = edge || FeatureEdgeFlag(map.Pixel(x, 19)) || FeatureEdgeFlag(map.Pixel(x, 20));
  EXPECT_TRUE(edge);
  for (int x = 0; x < 60; ++x) EXPECT_FALSE(FeatureEdgeFlag(map.Pixel(x, 0)));
  for (int y = 0; y < 40; ++y) EXPECT_LE(FeatureStrength(map.Pixel(0, y)), 127);
}

// The exact feature maps of two small real photos, and the optimised
// pipeline against the plain one on them and on the full corpus photos.
TEST(FeatureExtractor, GoldenMapsOfSmallPhotos) {
  for (const char* name : {"cat_crop_128x96", "rose_70x46"}) {
    const TBitmap32 pic = LoadPictureFile(test::DataPath(std::string(name) + ".png"));
    const TBitmap32 map = ExtractFeatures(pic);
    TFileStream golden(test::DataPath(std::string(name) + ".features.bmp"), fmOpenRead);
    TBitmap32 expected;
    LoadBMPFromStream(expected, golden);
    ASSERT_EQ(map.Width(), expected.Width()) << name;
    ASSERT_EQ(map.Height(), expected.Height()) << name;
    for (int y = 0; y < map.Height(); ++y)
      for (int x = 0; x < map.Width(); ++x)
        ASSERT_EQ(map.Pixel(x, y), expected.Pixel(x, y)) << name << " at " << x << "," << y;
    const TBitmap32 ref = reference::ExtractFeatures(pic);
    EXPECT_TRUE(std::equal(ref.Bits(), ref.Bits() + ref.PixelCount(), map.Bits())) << name;
  }
}

TEST(FeatureExtractor, MatchesPlainPipelineOnCorpusPhotosWithOneAndTwoThreads) {
  if (!test::CorpusAvailable()) GTEST_SKIP() << "corpus not available";
  for (const char* name : {"photos/animal_chelsea_cat.png", "photos/grayscale_camera.png",
                           "photos/stilllife_coffee.png", "awkward/alpha_rgba_yellow_rose.png"}) {
    TBitmap32 pic = LoadPictureFile(test::CorpusPath(name));
    MakeOpaqueOverWhite(pic);
    const TBitmap32 ref = reference::ExtractFeatures(pic);
    for (int threads : {1, 2}) {
      SetThreadCount(threads);
      const TBitmap32 map = ExtractFeatures(pic);
      ASSERT_TRUE(std::equal(ref.Bits(), ref.Bits() + ref.PixelCount(), map.Bits()))
          << name << " threads " << threads;
    }
  }
  SetThreadCount(0);
}

// On a uniform picture the directions are 0 exactly where the orientation
// blocks reach and the "no data" value elsewhere.
TEST(FeatureExtractor, OrientedAreaIsWhereTheDirectionsComeFromThePicture) {
  for (const auto& [w, h] : {std::pair{100, 70}, std::pair{64, 48}, std::pair{333, 129}}) {
    const TBitmap32 features = ExtractFeatures(TBitmap32(w, h, 0xFFFFFFFF));
    const TRect a = OrientedArea(w, h);
    ASSERT_FALSE(IsEmptyRect(a));
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) {
        const bool inside = x >= a.Left && x < a.Right && y >= a.Top && y < a.Bottom;
        ASSERT_EQ(features.Pixel(x, y) >> 24, inside ? 0u : 191u)
            << w << "x" << h << " " << x << "," << y;
      }
  }
  EXPECT_TRUE(IsEmptyRect(OrientedArea(40, 200)));  // fewer than three blocks across
}

}  // namespace
}  // namespace brellin
