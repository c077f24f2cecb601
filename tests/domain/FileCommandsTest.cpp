#include <gtest/gtest.h>

#include <filesystem>

#include "base/Errors.h"
#include "base/Random.h"
#include "domain/BDomain.h"
#include "support/TestSupport.h"

namespace brellin {
namespace {

namespace fs = std::filesystem;

// Scripted answers for the file commands.
struct TFileUi : TDomainUi {
  TAnswer Answer = aCancel;
  std::string Questions, ProjectFile, PictureFile;
  bool Terminated = false;
  void ErrorBox(const std::string&, const std::string&) override {}
  bool ProjectOptions(int, int, int sw, int sh, TProjectOptions& o) override {
    o.Width = sw, o.Height = sh;
    return true;
  }
  bool SaveImageFile(std::string&) override { return false; }
  TAnswer Confirm(const std::string& Text) override {
    Questions += Text + "\n";
    return Answer;
  }
  bool SaveProjectFile(std::string& f) override {
    f = ProjectFile;
    return !f.empty();
  }
  bool OpenPictureFile(std::string& f) override {
    f = PictureFile;
    return !f.empty();
  }
  void Terminate() override { Terminated = true; }
};

struct TFileFixture {
  test::TTempDir Home;
  TFileUi Ui;
  TPictureView Source, Dest;
  std::unique_ptr<TDomain> Domain;
  TFileFixture() {
    ::setenv("BRELLIN_HOME", Home.Path().c_str(), 1);
    test::CopyShippedBrushes(Home.Path());
    Domain = std::make_unique<TDomain>(&Ui);
    Domain->SourceView = &Source;
    Domain->DestinationView = &Dest;
  }
  // A document with one painted state.
  void OpenAndPaint() {
    ASSERT_TRUE(Domain->LoadPicture(test::DataPath("cat_crop_128x96.png")));
    Domain->Document->AutoMode = true;
    SetRandSeed(5);
    Domain->ApplyStart(400);
    ASSERT_TRUE(Domain->Document->Modified);
    ASSERT_EQ(Domain->Document->StateCount(), 1);
  }
};

TEST(FileCommands, RemotePaths) {
  EXPECT_TRUE(IsRemotePath("\\\\server\\share\\work.bpj"));
  test::TTempDir tmp;
  EXPECT_FALSE(IsRemotePath(tmp.File("work.bpj")));
  // A folder that cannot be checked counts as local.
  EXPECT_FALSE(IsRemotePath("/no/such/folder/work.bpj"));
}

TEST(FileCommands, CloseAsksAndCancelKeepsTheDocument) {
  TFileFixture f;
  f.OpenAndPaint();
  TDomain& d = *f.Domain;
  f.Ui.Answer = TDomainUi::aCancel;
  d.CloseCommand();
  EXPECT_EQ(f.Ui.Questions, "Project not saved. Save before close?\n");
  EXPECT_TRUE(d.Document);
  // Yes without a project name asks for one; cancelling that dialog keeps the
  // document modified, so nothing is closed.
  f.Ui.Answer = TDomainUi::aYes;
  EXPECT_FALSE(d.AskSaveProject());
  d.CloseCommand();
  EXPECT_TRUE(d.Document);
  // Yes with a file: saved, then closed.
  f.Ui.ProjectFile = f.Home.File("work.bpj");
  d.CloseCommand();
  EXPECT_FALSE(d.Document);
  EXPECT_TRUE(fs::exists(f.Ui.ProjectFile));
  // Without a document nothing is asked.
  f.Ui.Questions.clear();
  EXPECT_TRUE(d.AskSaveProject());
  EXPECT_EQ(f.Ui.Questions, "");
}

TEST(FileCommands, OpenReplacesTheDocumentEvenAfterCancellingTheSaveQuestion) {
  TFileFixture f;
  f.OpenAndPaint();
  TDomain& d = *f.Domain;
  f.Ui.Answer = TDomainUi::aCancel;
  f.Ui.PictureFile = test::DataPath("cat_crop_128x96.png");
  d.Styles.SetItemIndex(d.Styles.Count() - 1);
  d.OpenCommand();
  ASSERT_TRUE(d.Document);
  // A new document: the painted state is gone with the old one.
  EXPECT_EQ(d.Document->StateCount(), 0);
  EXPECT_EQ(d.Styles.ItemIndex(), 0);
}

TEST(FileCommands, ExitOnlyAfterTheQuestionAllowsIt) {
  TFileFixture f;
  f.OpenAndPaint();
  f.Ui.Answer = TDomainUi::aCancel;
  f.Domain->ExitCommand();
  EXPECT_FALSE(f.Ui.Terminated);
  f.Ui.Answer = TDomainUi::aNo;
  f.Domain->ExitCommand();
  EXPECT_TRUE(f.Ui.Terminated);
}

TEST(FileCommands, SavingCompactsAndUndoThenShowsTheBackground) {
  TFileFixture f;
  f.OpenAndPaint();
  TDomain& d = *f.Domain;
  TDualImage& doc = *d.Document;
  SetRandSeed(9);
  d.ApplyStart(300);
  ASSERT_EQ(doc.StateCount(), 2);
  const int64_t vectors = doc.VectorCount();
  const TBitmap32 painted = f.Dest.Bitmap();
  doc.ProjectFileName = f.Home.File("p.bpj");
  d.SaveProjectCommand();
  EXPECT_FALSE(doc.Modified);
  EXPECT_EQ(doc.StateCount(), 1);
  EXPECT_EQ(doc.VectorCount(), vectors);
  doc.Undo();
  TBitmap32 background;
  background.SetSize(painted.Width(), painted.Height());
  doc.FillBackground(&background);
  EXPECT_TRUE(std::equal(f.Dest.Bitmap().Bits(), f.Dest.Bitmap().Bits() + background.PixelCount(),
                         background.Bits()));
  doc.Redo();
  EXPECT_TRUE(
      std::equal(painted.Bits(), painted.Bits() + painted.PixelCount(), f.Dest.Bitmap().Bits()));
  // Opened again: the same pictures, one applied state, not modified.
  d.OpenProjectFile(doc.ProjectFileName);
  TDualImage& opened = *d.Document;
  EXPECT_FALSE(opened.Modified);
  EXPECT_EQ(opened.StateCount(), 1);
  EXPECT_EQ(opened.VectorCount(), vectors);
  EXPECT_TRUE(
      std::equal(painted.Bits(), painted.Bits() + painted.PixelCount(), f.Dest.Bitmap().Bits()));
  // Colours and background are not part of a project.
  EXPECT_EQ(opened.Colors.ForeColor, clBlack32);
  EXPECT_EQ(opened.Colors.BackColor, 0u);
  EXPECT_EQ(opened.BackgroundColor, 0u);
}

}  // namespace
}  // namespace brellin
