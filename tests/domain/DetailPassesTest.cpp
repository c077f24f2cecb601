#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <vector>

#include "analysis/FeatureExtractor.h"
#include "base/Errors.h"
#include "base/Random.h"
#include "domain/BDomain.h"
#include "domain/DetailPasses.h"
#include "support/TestSupport.h"

namespace brellin {
namespace {

TEST(DetailPasses, PassStyleScalesTheSizesWithinTheirLimits) {
  TStyleParams p;
  p.Width = 16, p.ScanWidth = 5, p.Length = 41, p.Alpha = 200, p.BorderLimit = 12;
  const TStyleParams one = DetailPassStyle(p, 1), two = DetailPassStyle(p, 2);
  EXPECT_EQ(one.Width, 8.0f);
  EXPECT_EQ(one.ScanWidth, 2.0f);  // 2.5 rounds half to even
  EXPECT_EQ(one.Length, 20);       // 20.5 likewise
  EXPECT_EQ(two.Width, 4.0f);
  EXPECT_EQ(two.Length, 10);
  EXPECT_EQ(two.Alpha, 200);
  EXPECT_EQ(two.BorderLimit, 12);
  // Finer passes place their strokes at their own scale but paint no thinner
  // than three pixels.
  EXPECT_EQ(DetailPassStyle(p, 3).Width, 3.0f);
  EXPECT_EQ(DetailPassScale(p, 3), 2);
  EXPECT_EQ(DetailPassScale(p, 4), 1);
  // A band without a scan line would sample nothing and paint nothing.
  p.Width = 1, p.ScanWidth = 1, p.Length = 5;
  const TStyleParams tiny = DetailPassStyle(p, 4);
  EXPECT_EQ(tiny.Width, 1.0f);
  EXPECT_EQ(tiny.ScanWidth, 1.0f);
  EXPECT_EQ(tiny.Length, 3);
}

// The error map's running sums against plain sums over each window.
TEST(DetailPasses, ErrorMapEqualsAPlainBoxBlurOfTheDifference) {
  const TBitmap32 source = test::MakeTestPicture(37, 29);
  TBitmap32 painting(37, 29);
  for (int y = 0; y < 29; ++y)
    for (int x = 0; x < 37; ++x)
      painting.ScanLine(y)[x] = 0xFF000000u | ((uint32_t(x) * 7) << 16) | (uint32_t(y) * 9 << 8) |
                                uint32_t((x * y) & 0xFF);
  for (int window : {1, 5, 9}) {
    TDetailErrorMap map;
    ComputeDetailErrorMap(painting, source, window, map);
    const int r = window / 2;
    for (int y = 0; y < 29; ++y)
      for (int x = 0; x < 37; ++x) {
        int64_t l = 0, b = 0, rr = 0;
        for (int dy = -r; dy <= r; ++dy)
          for (int dx = -r; dx <= r; ++dx) {
            const int sx = std::clamp(x + dx, 0, 36), sy = std::clamp(y + dy, 0, 28);
            const TColor32 p = painting.Pixel(sx, sy), s = source.Pixel(sx, sy);
            const int dr = int((p >> 16) & 255) - int((s >> 16) & 255);
            const int dg = int((p >> 8) & 255) - int((s >> 8) & 255);
            const int db = int(p & 255) - int(s & 255);
            const int lum = 77 * dr + 150 * dg + 29 * db;
            l += lum, b += db * 256 - lum, rr += dr * 256 - lum;
          }
        const double levels =
            (std::llabs(l) + (std::llabs(b) + std::llabs(rr)) / 2.0) / (window * window * 256.0);
        ASSERT_EQ(map.At(x, y), uint16_t(std::min(65535.0, std::floor(levels * 16))))
            << "window " << window << " at " << x << "," << y;
      }
  }
}

TEST(DetailPasses, SeedsLieWhereThePaintingDiffersAndOnlyAboveTheThreshold) {
  const TBitmap32 source = test::MakeTestPicture(96, 64);
  TBitmap32 painting = source;
  for (int y = 20; y < 32; ++y)
    for (int x = 40; x < 52; ++x) painting.ScanLine(y)[x] ^= 0x00808080u;
  TBitmap32 features(96, 64, 20);  // strength 20 everywhere
  TDetailErrorMap map;
  ComputeDetailErrorMap(painting, source, 3, map);
  const TDetailSeeds seeds = ChooseDetailSeeds(map, features, 8, 5.0f, 10, 0);
  ASSERT_FALSE(seeds.Seeds.empty());
  EXPECT_EQ(int(seeds.Seeds.size()), seeds.CellsAbove);
  for (const TPoint& p : seeds.Seeds) {
    EXPECT_TRUE(p.X >= 39 && p.X <= 52 && p.Y >= 19 && p.Y <= 32) << p.X << "," << p.Y;
  }
  // No cell reaches a threshold above the whole difference.
  EXPECT_TRUE(ChooseDetailSeeds(map, features, 8, 99.0f, 10, 0).Seeds.empty());
  // Seeds weaker than the border limit are skipped, as PaintAt would.
  const TDetailSeeds weak = ChooseDetailSeeds(map, features, 8, 5.0f, 21, 0);
  EXPECT_TRUE(weak.Seeds.empty());
  EXPECT_EQ(weak.CellsAbove, seeds.CellsAbove);
  // A cap keeps that many; the shuffle follows the generator.
  SetRandSeed(5);
  const TDetailSeeds capped = ChooseDetailSeeds(map, features, 8, 5.0f, 10, 2);
  SetRandSeed(5);
  const TDetailSeeds again = ChooseDetailSeeds(map, features, 8, 5.0f, 10, 2);
  EXPECT_EQ(capped.Seeds.size(), 2u);
  EXPECT_TRUE(capped.Seeds == again.Seeds);
}

TEST(DetailPasses, ASeedIsOnPaperOnlyWhereThePaintingIsStillItsBackground) {
  // A paper that is not one colour, as a background picture gives.
  TBitmap32 paper(6, 4);
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 6; ++x) paper.SetPixel(x, y, TColor32(0xFF000000u | uint32_t(x * 40 + y)));
  TBitmap32 painting = paper;
  painting.SetPixel(2, 1, 0xFF102030u);
  painting.SetPixel(4, 3, paper.Pixel(4, 3) ^ 1u);  // one level off is painted
  const std::vector<TPoint> seeds{{0, 0}, {2, 1}, {4, 3}, {5, 3}, {6, 0}, {-1, 2}};
  const std::vector<uint8_t> expected{1, 0, 0, 1, 0, 0};
  EXPECT_EQ(SeedsOnPaper(seeds, painting, paper), expected);
}

struct TUi : TDomainUi {
  TDomain* Domain = nullptr;
  int Events = 0, StopAfter = -1, LastK = 0;
  std::string Answer, Info;
  bool InputBox(const std::string&, const std::string&, std::string& Value) override {
    Value = Answer;
    return !Answer.empty();
  }
  void InfoBox(const std::string&, const std::string& Text) override { Info = Text; }
  void ApplyProgress(int K, int) override { LastK = K; }
  void ErrorBox(const std::string&, const std::string&) override {}
  bool ProjectOptions(int, int, int sw, int sh, TProjectOptions& o) override {
    o.Width = sw, o.Height = sh;
    return true;
  }
  bool SaveImageFile(std::string&) override { return false; }
  void ProcessEvents() override {
    if (++Events == StopAfter) Domain->ApplyStop();
  }
};

struct TRun {
  test::TTempDir Home;
  TUi Ui;
  TPictureView Source, Dest;
  std::unique_ptr<TDomain> Domain;
  std::vector<TDetailPassReport> Reports;
  TBitmap32 First;  // after the apply run
  TRun(int Passes, int64_t Budget, bool Overlap, int StopAfter = -1) {
    ::setenv("BRELLIN_HOME", Home.Path().c_str(), 1);
    test::CopyShippedBrushes(Home.Path());
    Domain = std::make_unique<TDomain>(&Ui);
    Ui.Domain = Domain.get();
    Domain->SourceView = &Source;
    Domain->DestinationView = &Dest;
    Domain->OverlapStrokes = Overlap;
    EXPECT_TRUE(Domain->LoadPicture(test::DataPath("cat_crop_128x96.png")));
    Domain->Document->AutoMode = true;
    SetRandSeed(11);
    Domain->ApplyStart(400);
    First = Dest.Bitmap();
    Ui.StopAfter = StopAfter < 0 ? -1 : Ui.Events + StopAfter;
    Reports = Domain->RefineDetails(Passes, 3.0f, Budget);
  }
};

TEST(DetailPasses, EachPassIsOneUndoStepAndTheSameSeedGivesTheSamePicture) {
  TRun two(2, 0, false);
  TDualImage& doc = *two.Domain->Document;
  ASSERT_EQ(two.Reports.size(), 2u);
  ASSERT_EQ(doc.StateCount(), 3);
  for (const TDetailPassReport& r : two.Reports) EXPECT_GT(r.Strokes, 0) << "pass " << r.Pass;
  // The passes mix strokes of both sizes: gaps on bare paper get the style's own.
  EXPECT_GT(two.Reports[0].PaperSeeds, 0);
  EXPECT_LT(two.Reports[0].PaperSeeds, two.Reports[0].Seeds);
  EXPECT_EQ(doc.VectorCount(), doc.History->Item(0).Strokes->Count() + two.Reports[0].Strokes +
                                   two.Reports[1].Strokes);
  const TBitmap32 refined = two.Dest.Bitmap();
  EXPECT_FALSE(test::SamePixels(refined, two.First));

  // The strokes are recorded like all others: painting them again gives the picture.
  doc.RerenderDestination();
  EXPECT_TRUE(test::SamePixels(two.Dest.Bitmap(), refined));

  // Overlapped painting and another document from the same seed agree.
  TRun again(2, 0, true);
  EXPECT_TRUE(test::SamePixels(again.Dest.Bitmap(), refined));
  TRun one(1, 0, false);

  // Undo takes back one pass at a time.
  doc.Undo();
  EXPECT_TRUE(test::SamePixels(two.Dest.Bitmap(), one.Dest.Bitmap()));
  doc.Undo();
  EXPECT_TRUE(test::SamePixels(two.Dest.Bitmap(), two.First));
}

TEST(DetailPasses, TheBudgetBoundsThePassesAndAStopKeepsWhatWasPainted) {
  TRun capped(2, 300, false);
  int64_t strokes = 0;
  for (const TDetailPassReport& r : capped.Reports) strokes += r.Strokes;
  EXPECT_GT(strokes, 0);
  EXPECT_LE(strokes, 300);

  TRun stopped(3, 0, false, 25);
  ASSERT_EQ(stopped.Reports.size(), 1u);
  EXPECT_TRUE(stopped.Reports[0].Stopped);
  EXPECT_GT(stopped.Reports[0].Strokes, 0);
  EXPECT_LE(stopped.Reports[0].Strokes, 25);
  EXPECT_EQ(stopped.Domain->Document->StateCount(), 2);
}

// As in the desktop program: Apply with 2 detail passes, then Undo; and
// "Refine details..." over the painting as it is.
TEST(DetailPasses, ApplyWithPassesThenUndoAndTheRefineCommand) {
  TRun one(1, 0, false);  // only for its home and libraries
  TDomain& d = *one.Domain;
  ASSERT_TRUE(d.LoadPicture(test::DataPath("cat_crop_128x96.png")));
  d.Document->AutoMode = true;
  d.DetailPasses = 2;
  SetRandSeed(11);
  d.ApplyStart(400);
  EXPECT_EQ(one.Ui.LastK, 400);  // the dialog hears of the last step after the passes
  ASSERT_EQ(d.Document->StateCount(), 3);
  const int64_t applied = d.Document->History->Item(0).Strokes->Count();
  EXPECT_LE(d.Document->VectorCount(), 2 * applied);
  // The apply run alone, from the same seed, is what two undos leave.
  TRun plain(0, 0, false);
  d.Document->Undo();
  EXPECT_EQ(d.Document->VectorCount(), d.Document->History->Item(0).Strokes->Count() +
                                           d.Document->History->Item(1).Strokes->Count());
  d.Document->Undo();
  EXPECT_TRUE(test::SamePixels(one.Dest.Bitmap(), plain.First));

  one.Ui.Answer = "1";
  d.RefineDetailsCommand();
  EXPECT_EQ(d.Document->StateCount(), 2);  // the undone passes gave way to the new one
  EXPECT_TRUE(one.Ui.Info.empty());
  one.Ui.Answer = "9";  // refused: nothing happens
  d.RefineDetailsCommand();
  EXPECT_EQ(d.Document->StateCount(), 2);

  // A run that paints nothing still closes the dialog.
  TBStyle* const was = d.Document->Style;
  TBStyle strict;
  strict.Params = was->Params;
  strict.Params.BorderLimit = 200;
  d.Document->SetStyle(&strict);
  one.Ui.LastK = 0;
  EXPECT_THROW(d.ApplyStart(50), ESilentStop);
  EXPECT_EQ(one.Ui.LastK, 50);
  d.Document->SetStyle(was);
}

}  // namespace
}  // namespace brellin
