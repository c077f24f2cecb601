#include <gtest/gtest.h>

#include <filesystem>

#include "analysis/PictureFormats.h"
#include "base/Errors.h"
#include "base/Random.h"
#include "domain/BDomain.h"
#include "library/Styles.h"
#include "support/TestSupport.h"

namespace brellin {
namespace {

namespace fs = std::filesystem;

// Scripted answers; stops the apply run at a chosen step.
struct TScriptedUi : TDomainUi {
  std::string Caption, Text, SaveAs;
  bool Accept = true;
  int StopAt = -1;
  int LastK = 0;
  TDomain* Domain = nullptr;
  void ErrorBox(const std::string& c, const std::string& t) override { Caption = c, Text = t; }
  bool ProjectOptions(int, int, int sw, int sh, TProjectOptions& o) override {
    o.Width = sw, o.Height = sh;
    return Accept;
  }
  bool SaveImageFile(std::string& f) override {
    f = SaveAs;
    return true;
  }
  void ApplyProgress(int k, int) override {
    LastK = k;
    if (k == StopAt) Domain->ApplyStop();
  }
};

struct TDomainFixture {
  test::TTempDir Home;
  TScriptedUi Ui;
  TPictureView Source, Dest;
  std::unique_ptr<TDomain> Domain;
  TDomainFixture() {
    ::setenv("BRELLIN_HOME", Home.Path().c_str(), 1);
    for (const auto& e : fs::directory_iterator(std::string(BRELLIN_SOURCE_DIR) + "/data"))
      if (e.path().extension() == ".srd")
        fs::copy_file(e.path(), fs::path(Home.Path()) / e.path().filename());
    Domain = std::make_unique<TDomain>(&Ui);
    Ui.Domain = Domain.get();
    Domain->SourceView = &Source;
    Domain->DestinationView = &Dest;
  }
};

TEST(Domain, StartUpSelectsTheFourthBrushForTheScratchStyle) {
  TDomainFixture f;
  TDomain& d = *f.Domain;
  EXPECT_EQ(d.Brushes.ItemIndex(), 3);
  EXPECT_EQ(d.Styles.GetObject(0)->Name(), "Scratch Style");
  EXPECT_TRUE(d.Styles.GetObject(0)->ReadOnly());
  EXPECT_FALSE(d.Styles.GetObject(0)->Modified());
  EXPECT_EQ(d.CurrentStyle()->Params.BrushId, d.Brushes.Current()->Id());
  EXPECT_EQ(d.ApplySteps, 5000);
  EXPECT_FALSE(d.Loading);
}

TEST(Domain, SuggestedSizeAndTheSmallestPicture) {
  int w, h;
  SuggestedSize(1024, 1024, w, h);
  EXPECT_EQ(w, 1024);
  EXPECT_EQ(h, 1024);
  SuggestedSize(2048, 1024, w, h);
  EXPECT_EQ(w, 1448);
  EXPECT_EQ(h, 724);
  TDomainFixture f;
  auto write = [&](int pw, int ph) {
    const std::string file = f.Home.File(std::to_string(pw) + "x" + std::to_string(ph) + ".bmp");
    SavePictureFile(TBitmap32(pw, ph, clWhite32), file, 90);
    return file;
  };
  EXPECT_TRUE(f.Domain->LoadPicture(write(100, 100)));  // exactly 10000 pixels
  EXPECT_FALSE(f.Domain->LoadPicture(write(99, 101)));
  EXPECT_EQ(f.Ui.Caption, "Error loading image");
  EXPECT_EQ(f.Ui.Text, "The source image is too small");
  EXPECT_FALSE(f.Domain->LoadPicture(f.Home.File("missing.png")));
  EXPECT_EQ(f.Ui.Caption, "Error loading file");
  f.Ui.Accept = false;  // options dialog cancelled: nothing changes
  EXPECT_FALSE(f.Domain->LoadPicture(write(120, 100)));
  EXPECT_FALSE(f.Domain->Loading);
  // Refused pictures leave the open document's source picture alone.
  ASSERT_TRUE(f.Domain->Document);
  EXPECT_EQ(f.Source.Bitmap().Width(), 100);
  EXPECT_EQ(f.Domain->Document->FeatureMap.Width(), f.Source.Bitmap().Width());
}

TEST(Domain, ApplyRunStopResumeAndRepeatBookkeeping) {
  TDomainFixture f;
  TDomain& d = *f.Domain;
  ASSERT_TRUE(d.LoadPicture(test::DataPath("cat_crop_128x96.png")));
  d.Document->AutoMode = true;
  SetRandSeed(1);
  d.ApplyStart(600);
  EXPECT_EQ(d.ApplySteps, 600);
  EXPECT_EQ(d.ApplyNextStep, 1);
  EXPECT_EQ(f.Ui.LastK, 600);
  // Stopped while step 120 is processed: both counters hold 119, and Start
  // resumes at 119.
  f.Ui.StopAt = 120;
  d.ApplyStart(600);
  EXPECT_EQ(d.ApplyNextStep, 119);
  EXPECT_EQ(d.ApplySteps, 119);
  f.Ui.StopAt = -1;
  d.ApplyStart(600);
  EXPECT_EQ(d.ApplySteps, 600);
  EXPECT_EQ(d.ApplyNextStep, 1);
  d.RepeatLastApply();
  EXPECT_EQ(d.Document->EditDepth, 0);
}

TEST(Domain, SavingByExtension) {
  TDomainFixture f;
  TDomain& d = *f.Domain;
  const TBitmap32 pic(30, 20, 0xFF336699);
  for (const char* name : {"a.jpeg", "b.Tif", "c.BMP", "d.jpg", "e.tiff"}) {
    f.Ui.SaveAs = f.Home.File(name);
    EXPECT_EQ(d.SavePicture(pic, 200), f.Ui.SaveAs);
    EXPECT_EQ(LoadPictureFile(f.Ui.SaveAs).Width(), 30) << name;
  }
  f.Ui.SaveAs = f.Home.File("picture.png");
  EXPECT_EQ(d.SavePicture(pic, 200), "");
  EXPECT_FALSE(fs::exists(f.Ui.SaveAs));
}

}  // namespace
}  // namespace brellin
