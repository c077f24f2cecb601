// Strokes that follow curves: pattern strokes seeded at a point and strokes
// along the band tool's curves.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>

#include "analysis/PictureFormats.h"
#include "base/Errors.h"
#include "base/Random.h"
#include "domain/BDomain.h"
#include "domain/DualImage.h"
#include "library/Patterns.h"
#include "library/Styles.h"
#include "support/TestSupport.h"

namespace brellin {
namespace {

// A document on a small photo with an empty pattern library of its own.
struct TPatternDoc {
  test::TTempDir Home;
  std::string PreviousHome;
  TPictureView Source, Dest;
  TBStyle Style;
  std::unique_ptr<TPersistentObjectManager> Patterns;
  std::unique_ptr<TDualImage> Doc;
  TPattern* Pattern = nullptr;
  TPatternDoc() {
    const char* h = std::getenv("BRELLIN_HOME");
    PreviousHome = h ? h : "";
    ::setenv("BRELLIN_HOME", Home.Path().c_str(), 1);
    Patterns = std::make_unique<TPersistentObjectManager>(TPattern::StaticClass());
    Patterns->Add(std::make_unique<TPattern>());
    Pattern = static_cast<TPattern*>(Patterns->Current());
    Source.Bitmap() = LoadPictureFile(test::DataPath("cat_crop_128x96.png"));
    Dest.Bitmap().SetSize(128, 96);
    Dest.Bitmap().Clear(clWhite32);
    Doc = std::make_unique<TDualImage>(&Source, 1.0f, &Dest);
    Doc->SetStyle(&Style);
    Doc->PatternLibrary = Patterns.get();
    Doc->AutoMode = false;
  }
  ~TPatternDoc() { ::setenv("BRELLIN_HOME", PreviousHome.c_str(), 1); }
  bool DestinationUntouched() const {
    const TBitmap32& d = Dest.Bitmap();
    return std::all_of(d.Bits(), d.Bits() + d.PixelCount(),
                       [](TColor32 c) { return c == clWhite32; });
  }
};

TEST(PatternPainting, CurvesScaleByTheBrushRadiusAndMoveToTheSeed) {
  EXPECT_FLOAT_EQ(52.0f / 105.0f, 0.495238f);
  const TBezierSegment c{{100, -101}, {21, 3}, {0, 105}, {-3, 10}};
  EXPECT_EQ(PlacePatternCurve(c, 105, 0, 0), c) << "radius 105 keeps the drawn size";
  // F = 0.495238...: 49.52 -> 50, -50.02 -> -50, 10.40 -> 10, 1.49 -> 1,
  // 52.0 -> 52, -1.49 -> -1, 4.95 -> 5; then moved by the seed (7, 9).
  EXPECT_EQ(PlacePatternCurve(c, 52, 7, 9),
            (TBezierSegment{{57, -41}, {17, 10}, {7, 61}, {6, 14}}));
  EXPECT_EQ(PlacePatternCurve({{21, -63}, {}, {}, {}}, 10, 0, 0).P0, (TPoint{2, -6}));
}

TEST(PatternPainting, PatternStrokeFollowsTheScaledCurveFromTheSeed) {
  TPatternDoc f;
  // One horizontal curve of 100 units to the right.
  f.Pattern->AddFrame(std::make_unique<TPatternFrame>())
      ->AddCurve({{0, 0}, {30, 0}, {70, 0}, {100, 0}});
  f.Doc->SetBrushRadius(52);
  f.Doc->BeginEdit();
  f.Doc->PaintAt(20, 48);
  ASSERT_FALSE(IsEmptyRect(f.Doc->DirtyRect));
  // About 50 pixels to the right of the seed, a stroke's width high.
  const TRect r = f.Doc->DirtyRect;
  EXPECT_GE(r.Left, 20 - 5 - 8);
  EXPECT_LE(r.Left, 20);
  EXPECT_GE(r.Right, 20 + 45);
  EXPECT_LE(r.Right, 20 + 50 + 5 + 8);
  EXPECT_LE(r.Height(), 40);
  EXPECT_FALSE(f.DestinationUntouched());
  EXPECT_NO_THROW(f.Doc->EndEdit());
}

TEST(PatternPainting, APatternWithoutCurvesSkipsTheStroke) {
  TPatternDoc f;
  for (int i = 0; i < 5; ++i) f.Pattern->AddFrame(std::make_unique<TPatternFrame>());
  f.Doc->BeginEdit();
  f.Doc->PaintAt(64, 48);
  EXPECT_TRUE(f.Doc->Modified);
  EXPECT_TRUE(IsEmptyRect(f.Doc->DirtyRect));
  EXPECT_TRUE(f.DestinationUntouched());
  // No pattern at all behaves the same.
  f.Doc->PatternLibrary = nullptr;
  f.Doc->PaintAt(64, 48);
  EXPECT_TRUE(IsEmptyRect(f.Doc->DirtyRect));
  EXPECT_THROW(f.Doc->EndEdit(), ESilentStop);
}

std::unique_ptr<TPolyBezier> Band(TPoint From, TPoint C1, TPoint C2, TPoint To) {
  auto c = std::make_unique<TPolyBezier>(From);
  c->AddBezierSegment(C1, C2, To);
  return c;
}

TEST(PatternPainting, PaintAlongCurvesStopsSilentlyOnMissingOrJoinedCurves) {
  TPatternDoc f;
  f.Doc->BeginEdit();
  EXPECT_THROW(f.Doc->PaintAlongCurves(1.0f), ESilentStop);
  auto joined = Band({10, 10}, {20, 10}, {30, 10}, {40, 10});
  joined->AddBezierSegment({50, 10}, {60, 10}, {70, 10});
  f.Doc->VectorLayer->AddPolyBezier(std::move(joined));
  EXPECT_THROW(f.Doc->PaintAlongCurves(1.0f), ESilentStop);
  EXPECT_TRUE(f.DestinationUntouched());
}

TEST(PatternPainting, PaintAlongCurvesSkipsPiecesOfEightOrLess) {
  TPatternDoc f;
  // A band of 4 pixels with hardly any jitter (G = 8 x 0.1: pieces move by
  // at most a pixel, their points not at all): every piece's control
  // polygon stays at 8 or less.
  f.Doc->SetBrushRadius(8);
  f.Doc->VectorLayer->AddPolyBezier(Band({60, 40}, {61, 40}, {63, 40}, {64, 40}));
  f.Doc->BeginEdit();
  const uint32_t seed = RandSeed();
  f.Doc->PaintAlongCurves(0.1f);
  EXPECT_NE(RandSeed(), seed) << "the jitter is drawn all the same";
  EXPECT_FALSE(f.Doc->Modified);
  EXPECT_TRUE(IsEmptyRect(f.Doc->DirtyRect));
  EXPECT_TRUE(f.DestinationUntouched());
  EXPECT_THROW(f.Doc->EndEdit(), ESilentStop);
}

TEST(PatternPainting, PaintAlongCurvesPaintsAlongALongBand) {
  TPatternDoc f;
  f.Doc->SetBrushRadius(10);
  f.Doc->VectorLayer->AddPolyBezier(Band({10, 20}, {50, 10}, {80, 80}, {118, 70}));
  f.Doc->BeginEdit();
  SetRandSeed(99);
  f.Doc->PaintAlongCurves(1.0f);
  EXPECT_TRUE(f.Doc->Modified);
  const TRect r = f.Doc->DirtyRect;
  ASSERT_FALSE(IsEmptyRect(r));
  EXPECT_LE(r.Left, 30);
  EXPECT_GE(r.Right, 100);
  f.Doc->EndEdit();
  // The same seed paints the same picture.
  const TBitmap32 first = f.Dest.Bitmap();
  f.Dest.Bitmap().Clear(clWhite32);
  f.Doc->BeginEdit();
  SetRandSeed(99);
  f.Doc->PaintAlongCurves(1.0f);
  f.Doc->EndEdit();
  EXPECT_TRUE(std::equal(first.Bits(), first.Bits() + first.PixelCount(), f.Dest.Bitmap().Bits()));
}

TEST(PatternPainting, DomainStartsThePatternLibraryFirstAndHandsItToTheDocument) {
  test::TTempDir home;
  const char* h = std::getenv("BRELLIN_HOME");
  const std::string previous = h ? h : "";
  ::setenv("BRELLIN_HOME", home.Path().c_str(), 1);
  struct TUi : TDomainUi {
    void ErrorBox(const std::string&, const std::string&) override {}
    bool ProjectOptions(int, int, int sw, int sh, TProjectOptions& o) override {
      o.Width = sw, o.Height = sh;
      return true;
    }
    bool SaveImageFile(std::string&) override { return false; }
  } ui;
  {
    TPictureView source, dest;
    TDomain d(&ui);
    d.SourceView = &source;
    d.DestinationView = &dest;
    EXPECT_EQ(d.Patterns.Count(), 0);
    ASSERT_TRUE(d.LoadPicture(test::DataPath("cat_crop_128x96.png")));
    EXPECT_EQ(d.Document->PatternLibrary, &d.Patterns);
    // A new pattern gets five empty frames before it is edited; without an
    // edit form the editing fails and the new pattern stays current.
    EXPECT_THROW(d.Patterns.New(), EBrellinError);
    auto* p = dynamic_cast<TPattern*>(d.Patterns.Current());
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(p->FrameCount(), 5);
    EXPECT_EQ(p->CurveTotal(), 0);
  }
  ::setenv("BRELLIN_HOME", previous.c_str(), 1);
}

}  // namespace
}  // namespace brellin
