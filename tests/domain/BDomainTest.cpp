#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <vector>

#include "analysis/PictureFormats.h"
#include "base/Errors.h"
#include "base/Random.h"
#include "domain/BDomain.h"
#include "history/UTempManager.h"
#include "library/Styles.h"
#include "support/TestSupport.h"

namespace brellin {
namespace {

namespace fs = std::filesystem;

// Scripted answers; stops the apply run at a chosen step.
struct TScriptedUi : TDomainUi {
  std::string Caption, Text, SaveAs, ProjectAs, PostScriptAs, SvgAs, Info, PictureFile;
  bool Terminated = false;
  TAnswer Answer = aCancel;
  int Questions = 0;
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
  TAnswer Confirm(const std::string& t) override {
    Text = t;
    ++Questions;
    return Answer;
  }
  bool SaveProjectFile(std::string& f) override {
    f = ProjectAs;
    return !f.empty();
  }
  bool SavePostScriptFile(std::string& f) override {
    f = PostScriptAs;
    return !f.empty();
  }
  bool SaveSvgFile(std::string& f) override {
    f = SvgAs;
    return !f.empty();
  }
  void InfoBox(const std::string& c, const std::string& t) override { Info = c + "|" + t; }
  bool OpenPictureFile(std::string& f) override {
    f = PictureFile;
    return !f.empty();
  }
  std::string OpenProject;
  bool OpenProjectFile(std::string& f) override {
    f = OpenProject;
    return !f.empty();
  }
  void Terminate() override { Terminated = true; }
  std::function<void(int)> OnProgress;
  void ApplyProgress(int k, int) override {
    LastK = k;
    if (OnProgress) OnProgress(k);
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
    test::CopyShippedBrushes(Home.Path());
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
  f.Ui.SaveAs = f.Home.File("picture.gif");
  EXPECT_EQ(d.SavePicture(pic, 200), "");
  EXPECT_FALSE(fs::exists(f.Ui.SaveAs));
  // Said, with the formats that can be written.
  EXPECT_EQ(f.Ui.Caption, "Error saving image");
  for (const char* ext : {"picture.gif", ".jpg", ".png", ".bmp", ".tif"})
    EXPECT_NE(f.Ui.Text.find(ext), std::string::npos) << ext;

  // PNG keeps alpha only over a transparent paper: stroke edges lower the
  // alpha of an opaque one without meaning it.
  TBitmap32 edged = pic;
  edged.Bits()[0] = 0x80336699;
  f.Ui.SaveAs = f.Home.File("f.png");
  EXPECT_EQ(d.SavePicture(edged, 200), f.Ui.SaveAs);
  EXPECT_EQ(test::ReadBytes(f.Ui.SaveAs)[25], 2);  // RGB
  EXPECT_EQ(LoadPictureFile(f.Ui.SaveAs).Pixel(0, 0), 0xFF336699);
  ASSERT_TRUE(d.LoadPicture(test::DataPath("cat_crop_128x96.png")));
  d.Document->BackgroundColor = 0x00FFFFFF;
  EXPECT_EQ(d.SavePicture(edged, 200), f.Ui.SaveAs);
  EXPECT_EQ(test::ReadBytes(f.Ui.SaveAs)[25], 6);  // RGBA
  EXPECT_TRUE(test::SamePixels(LoadPictureFile(f.Ui.SaveAs), edged));
}

bool SamePixels(const TBitmap32& a, const TBitmap32& b) {
  return test::SamePixels(a, b);
}

std::vector<std::string> TempFiles(const std::string& home) {
  std::vector<std::string> names;
  std::error_code ec;
  // The files of every process's folder, without their lock and log.
  for (fs::recursive_directory_iterator it(home + "/tmp", ec), end; !ec && it != end;
       it.increment(ec)) {
    const std::string name = it->path().filename().string();
    if (!it->is_directory() && name != "lock" && name != "TempManager.log") names.push_back(name);
  }
  return names;
}

// A document with some strokes, from the cat photo.
void PaintSome(TDomainFixture& f) {
  ASSERT_TRUE(f.Domain->LoadPicture(test::DataPath("cat_crop_128x96.png")));
  f.Domain->Document->AutoMode = true;
  SetRandSeed(3);
  f.Domain->ApplyStart(300);
  SetRandSeed(4);
  f.Domain->ApplyStart(300);
  ASSERT_EQ(f.Domain->Document->StateCount(), 2);
}

TEST(Domain, StartUpEmptiesTheTemporaryFolderAndInstallsTheManager) {
  test::TTempDir home;
  fs::create_directories(home.File("tmp/sub"));
  std::ofstream(home.File("tmp/00000003.bmp")) << "x";  // parked by an interrupted run
  std::ofstream(home.File("tmp/old.bmp")) << "x";       // no name the program gives
  ::setenv("BRELLIN_HOME", home.Path().c_str(), 1);
  TScriptedUi ui;
  {
    TDomain d(&ui);
    EXPECT_EQ(TempManager(), d.TempFolder.get());
    EXPECT_FALSE(fs::exists(home.File("tmp/00000003.bmp")));
    EXPECT_TRUE(fs::exists(home.File("tmp/old.bmp")));
    EXPECT_TRUE(fs::exists(home.File("tmp/sub")));
  }
  EXPECT_EQ(TempManager(), nullptr);
}

TEST(Domain, SavingAProjectCompactsAndReopensTheSamePictures) {
  TDomainFixture f;
  PaintSome(f);
  TDomain& d = *f.Domain;
  const TBitmap32 painted = f.Dest.Bitmap();
  EXPECT_TRUE(d.Document->Modified);
  f.Ui.ProjectAs = f.Home.File("work.bpj");
  d.SaveProjectCommand();  // no file name yet: asks for one
  EXPECT_EQ(d.Document->ProjectFileName, f.Ui.ProjectAs);
  EXPECT_FALSE(d.Document->Modified);
  EXPECT_EQ(d.Document->History->Count(), 1);
  EXPECT_TRUE(fs::exists(f.Ui.ProjectAs));
  // Undo after saving shows the background only; redo brings the picture back.
  d.Document->Undo();
  EXPECT_TRUE(SamePixels(f.Dest.Bitmap(), TBitmap32(128, 96, clWhite32)));
  d.Document->Redo();
  EXPECT_TRUE(SamePixels(f.Dest.Bitmap(), painted));

  f.Dest.Bitmap().Clear(0);
  d.OpenProjectFile(f.Ui.ProjectAs);
  ASSERT_TRUE(d.Document);
  EXPECT_EQ(d.Document->ProjectFileName, f.Ui.ProjectAs);
  EXPECT_FALSE(d.Document->Modified);
  EXPECT_FALSE(d.Document->NeedsRerender);
  EXPECT_TRUE(SamePixels(f.Dest.Bitmap(), painted));
  EXPECT_EQ(d.Document->BrushLibrary, &d.Brushes);
  // Rendering at the same size paints the recorded strokes over the
  // background; the opened document's background is colour 0.
  d.Document->BackgroundColor = clWhite32;
  EXPECT_TRUE(SamePixels(d.RenderAtSize(128, 96), painted));
}

TEST(Domain, AProjectWithARedoStateKeepsIt) {
  TDomainFixture f;
  PaintSome(f);
  TDomain& d = *f.Domain;
  const TBitmap32 painted = f.Dest.Bitmap();
  d.Document->Undo();
  d.Document->ProjectFileName = f.Home.File("redo.bpj");
  d.SaveProjectCommand();
  const auto bytes = test::ReadBytes(d.Document->ProjectFileName);
  const size_t at = 3 * (54 + 128 * 96 * 4);
  int32_t ps[2];
  std::memcpy(ps, bytes.data() + at, 8);
  EXPECT_EQ(ps[0], 1);
  EXPECT_EQ(ps[1], 2);
  // Reopened by its own name, which belongs to the document being replaced.
  d.OpenProjectFile(d.Document->ProjectFileName);
  EXPECT_EQ(d.Document->ProjectFileName, f.Home.File("redo.bpj"));
  ASSERT_TRUE(d.Document->CanRedo());
  d.Document->Redo();
  EXPECT_TRUE(SamePixels(f.Dest.Bitmap(), painted));
}

TEST(Domain, AFailedProjectSaveKeepsThePreviousFile) {
  TDomainFixture f;
  PaintSome(f);
  TDomain& d = *f.Domain;
  d.Document->ProjectFileName = f.Home.File("keep.bpj");
  d.SaveProjectCommand();
  const auto before = test::ReadBytes(d.Document->ProjectFileName);
  // Painting again, then an error while writing: the redo state's parked
  // pictures have vanished.
  SetRandSeed(5);
  d.ApplyStart(300);
  d.Document->Undo();
  ASSERT_EQ(d.Document->History->Count(), 2);
  d.Document->History->Item(1).MoveToDisk();
  fs::remove(d.Document->History->Item(1).FeaturePixels->FileName());
  d.Document->Modified = true;
  EXPECT_THROW(d.SaveProjectCommand(), EBrellinError);
  EXPECT_TRUE(d.Document->Modified);
  EXPECT_EQ(test::ReadBytes(d.Document->ProjectFileName), before);
  std::vector<std::string> left;
  for (const auto& e : fs::directory_iterator(f.Home.Path()))
    if (e.path().filename().string().find("keep.bpj") != std::string::npos)
      left.push_back(e.path().filename().string());
  EXPECT_EQ(left, std::vector<std::string>{"keep.bpj"});
  // Closing asks; Yes with a failing save says why, names the file and
  // keeps the document open and modified.
  f.Ui.Answer = TDomainUi::aYes;
  d.CloseCommand();
  ASSERT_TRUE(d.Document);
  EXPECT_TRUE(d.Document->Modified);
  EXPECT_EQ(f.Ui.Caption, "Error saving project");
  EXPECT_NE(f.Ui.Text.find(d.Document->ProjectFileName), std::string::npos) << f.Ui.Text;
}

// A project that cannot be written (here its folder is a file): Ctrl+D and
// "Save before close?" both say so with the system's reason, and nothing
// is closed.
TEST(Domain, AFailedSaveIsShownAndStopsTheClose) {
  TDomainFixture f;
  PaintSome(f);
  TDomain& d = *f.Domain;
  test::WriteBytes(f.Home.File("plain"), {1});
  d.Document->ProjectFileName = f.Home.File("plain/p.bpj");
  std::string failure;
  EXPECT_FALSE(d.RunCommand("SaveProjectCommand", &failure));
  EXPECT_EQ(failure, f.Ui.Text);
  EXPECT_EQ(f.Ui.Caption, "Error saving project");
  EXPECT_NE(f.Ui.Text.find("plain/p.bpj"), std::string::npos) << f.Ui.Text;
  EXPECT_NE(f.Ui.Text.find("Not a directory"), std::string::npos) << f.Ui.Text;
  EXPECT_TRUE(d.Document->Modified);
  for (const char* command : {"CloseCommand", "ExitCommand"}) {
    f.Ui.Caption.clear();
    f.Ui.Answer = TDomainUi::aYes;
    failure.clear();
    EXPECT_TRUE(d.RunCommand(command, &failure));  // shown by the question's save
    EXPECT_EQ(failure, "");
    EXPECT_EQ(f.Ui.Caption, "Error saving project") << command;
    EXPECT_TRUE(d.Document);
  }
  EXPECT_FALSE(f.Ui.Terminated);
}

TEST(Domain, AskSaveProjectAnswers) {
  TDomainFixture f;
  TDomain& d = *f.Domain;
  EXPECT_TRUE(d.AskSaveProject());  // no document
  PaintSome(f);
  f.Ui.Answer = TDomainUi::aCancel;
  EXPECT_FALSE(d.AskSaveProject());
  EXPECT_EQ(f.Ui.Text, "Project not saved. Save before close?");
  d.CloseCommand();
  EXPECT_TRUE(d.Document);
  f.Ui.Answer = TDomainUi::aYes;  // Yes, then the file dialog is cancelled
  EXPECT_FALSE(d.AskSaveProject());
  EXPECT_TRUE(d.Document->Modified);
  f.Ui.ProjectAs = f.Home.File("ask.bpj");
  EXPECT_TRUE(d.AskSaveProject());
  EXPECT_TRUE(fs::exists(f.Ui.ProjectAs));
  const int asked = f.Ui.Questions;
  EXPECT_TRUE(d.AskSaveProject());  // not modified: no question
  EXPECT_EQ(f.Ui.Questions, asked);
  d.Document->Modified = true;
  f.Ui.Answer = TDomainUi::aNo;
  d.CloseCommand();
  EXPECT_FALSE(d.Document);
}

TEST(Domain, UnreadableProjectsLeaveTheOpenDocumentAndNoFiles) {
  TDomainFixture f;
  PaintSome(f);
  TDomain& d = *f.Domain;
  d.Document->ProjectFileName = f.Home.File("p.bpj");
  d.SaveProjectCommand();
  const auto bytes = test::ReadBytes(f.Home.File("p.bpj"));
  const std::string cut = f.Home.File("cut.bpj");
  const TBitmap32 painted = f.Dest.Bitmap(), source = f.Source.Bitmap();
  const int64_t vectors = d.Document->VectorCount();
  const auto files = TempFiles(f.Home.Path());
  // Offsets in and around every header, and a sample of the rest.
  const size_t block = 54 + 128 * 96 * 4;
  std::vector<size_t> offsets;
  for (size_t n = 0; n < bytes.size(); n += 997) offsets.push_back(n);
  for (size_t at : {size_t(0), block, 2 * block, 3 * block, 3 * block + 8, 3 * block + 26})
    for (size_t n = at; n < at + 70 && n < bytes.size(); ++n) offsets.push_back(n);
  for (size_t n = bytes.size() - 300; n < bytes.size(); ++n) offsets.push_back(n);
  for (size_t n : offsets) {
    test::WriteBytes(cut, std::vector<uint8_t>(bytes.begin(), bytes.begin() + ptrdiff_t(n)));
    try {
      d.OpenProjectFile(cut);
      ADD_FAILURE() << "opened a project cut at " << n;
    } catch (const EInvalidData& e) {
      EXPECT_GT(std::string(e.what()).size(), 10u);
    }
    ASSERT_TRUE(d.Document) << n;
    ASSERT_FALSE(d.Loading);
    ASSERT_EQ(TempFiles(f.Home.Path()), files) << n;
  }
  // The open document, its pictures and history are untouched.
  EXPECT_EQ(d.Document->VectorCount(), vectors);
  EXPECT_TRUE(SamePixels(f.Dest.Bitmap(), painted));
  EXPECT_TRUE(SamePixels(f.Source.Bitmap(), source));
  EXPECT_EQ(d.Document->ProjectFileName, f.Home.File("p.bpj"));
  // From the menu the reader's reason is shown with the file's name.
  f.Ui.ProjectAs = cut;
  f.Ui.OpenProject = cut;
  EXPECT_FALSE(d.RunCommand("OpenProjectCommand"));
  EXPECT_EQ(f.Ui.Caption, "Error loading project");
  EXPECT_NE(f.Ui.Text.find(cut), std::string::npos) << f.Ui.Text;
  EXPECT_EQ(d.Document->VectorCount(), vectors);
  d.OpenProjectFile(f.Home.File("p.bpj"));
  EXPECT_TRUE(d.Document);
  EXPECT_THROW(d.OpenProjectFile(f.Home.File("missing.bpj")), EBrellinError);
}

TEST(Domain, PostScriptAndSvgCommands) {
  TDomainFixture f;
  PaintSome(f);
  TDomain& d = *f.Domain;
  d.PostScriptCommand();  // dialog cancelled: nothing
  d.SvgCommand();
  EXPECT_TRUE(d.Document->Modified);
  f.Ui.PostScriptAs = f.Home.File("out.ps");
  d.PostScriptCommand();
  EXPECT_FALSE(d.Document->Modified);
  EXPECT_EQ(f.Ui.Info, "Brellin|The file was successfully exported as a PostScript file:\r\n" +
                           f.Ui.PostScriptAs);
  EXPECT_GT(fs::file_size(f.Ui.PostScriptAs), 1000u);

  // SVG: one path per recorded stroke, over the paper colour.
  d.Document->Modified = true;
  f.Ui.SvgAs = f.Home.File("out.svg");
  d.SvgCommand();
  EXPECT_FALSE(d.Document->Modified);
  EXPECT_EQ(f.Ui.Info,
            "Brellin|The file was successfully exported as an SVG file:\r\n" + f.Ui.SvgAs);
  std::ifstream in(f.Ui.SvgAs);
  const std::string svg((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  int64_t paths = 0;
  for (size_t at = svg.find("<path "); at != std::string::npos; at = svg.find("<path ", at + 1))
    ++paths;
  EXPECT_EQ(paths, d.Document->VectorCount());
  char rect[64];
  std::snprintf(rect, sizeof rect, "<rect width=\"128\" height=\"96\" fill=\"#%06x\"",
                d.Document->BackgroundColor & 0xFFFFFFu);
  EXPECT_NE(svg.find(rect), std::string::npos) << svg.substr(0, 400);
}

// Painting the strokes on a second thread while the next ones are traced
// must not change anything: the picture, the recorded strokes and the random
// sequence after the run are those of painting each stroke in place, with
// the built-in brush, a bitmap brush with relief and random colour variants,
// across a stopped and resumed run and a repeat run. The painting thread
// also traces strokes ahead in its idle time; that changes nothing either,
// with a pen whose pressure holds or changes during the run. Brought up to
// date mid-run, the picture is the one painted so far in place.
TEST(Domain, OverlappedStrokesChangeNothing) {
  struct TResult {
    TBitmap32 Picture;
    int64_t Vectors;
    int32_t NextRandom;
    std::vector<uint64_t> Shown;  // the picture as a user interface sees it mid-run
  };
  uint64_t tracedAhead = 0;
  const std::string photo = test::CorpusAvailable()
                                ? test::CorpusPath("photos/portrait_astronaut.png")
                                : test::DataPath("cat_crop_128x96.png");
  auto run = [&](bool overlap, const std::string& styleFile, int brushId, TColorMode mode,
                 int pen) {
    TDomainFixture f;
    TDomain& d = *f.Domain;
    // Pen 1 presses steadily; pen 2 lightens and presses every three steps.
    if (pen == 1) SetPressureSource([] { return 0.6; });
    if (pen == 2) SetPressureSource([&f] { return (f.Ui.LastK / 3) % 2 ? 0.45 : 1.0; });
    struct TUnplug {
      ~TUnplug() { SetPressureSource(nullptr); }
    } unplug;
    std::vector<uint64_t> shown;
    f.Ui.OnProgress = [&](int k) {
      if (k % 97 != 0) return;
      d.Document->SyncStrokes();
      const TBitmap32& b = d.DestinationView->Bitmap();
      uint64_t h = 1469598103934665603u;
      for (size_t i = 0; i < b.PixelCount(); ++i) h = (h ^ b.Bits()[i]) * 1099511628211u;
      shown.push_back(h);
    };
    d.OverlapStrokes = overlap;
    EXPECT_TRUE(d.LoadPicture(photo));
    TBStyle style;
    if (!styleFile.empty())
      style.LoadFromFile(std::string(BRELLIN_SOURCE_DIR) + "/data/" + styleFile);
    if (brushId >= 0) style.Params.BrushId = brushId;
    d.Document->SetStyle(&style);
    d.Document->AutoMode = true;
    d.Document->Colors.ColorMode = mode;
    d.Document->Colors.AddVariantColor(0xFF802020);
    d.Document->Colors.AddVariantColor(0xFF204080);
    SetRandSeed(7);
    f.Ui.StopAt = 300;
    d.ApplyStart(1500);
    EXPECT_EQ(d.ApplyNextStep, 299);
    EXPECT_FALSE(d.Document->StrokeQueueRunning());
    f.Ui.StopAt = -1;
    d.ApplyStart(1500);
    d.RepeatLastApply();
    EXPECT_FALSE(d.Document->StrokeQueueRunning());
    tracedAhead += d.Document->StrokesTracedAhead();
    return TResult{d.DestinationView->Bitmap(), d.Document->VectorCount(), Random(1 << 30), shown};
  };
  const struct {
    const char* Style;
    int BrushId;
    TColorMode Mode;
    int Pen;
  } cases[] = {{"", 0, cmAuto, 0},
               {"style5-oil-relief.bst", -1, cmAuto, 0},
               {"style4-pastel.bst", -1, cmVariants, 0},
               {"style2-hatching.bst", 0, cmFixed, 0},
               {"style5-oil-relief.bst", -1, cmAuto, 1},
               {"", 0, cmAuto, 2}};
  std::vector<TBitmap32> pictures;
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.Style) + " brush " + std::to_string(c.BrushId) + " pen " +
                 std::to_string(c.Pen));
    const uint64_t aheadBefore = tracedAhead;
    const TResult plain = run(false, c.Style, c.BrushId, c.Mode, c.Pen);
    const TResult overlapped = run(true, c.Style, c.BrushId, c.Mode, c.Pen);
    if (c.Pen != 0) EXPECT_GT(tracedAhead, aheadBefore);  // a pen no longer stops it
    pictures.push_back(plain.Picture);
    EXPECT_GT(plain.Vectors, 1000);
    EXPECT_EQ(overlapped.Vectors, plain.Vectors);
    EXPECT_EQ(overlapped.NextRandom, plain.NextRandom);
    EXPECT_EQ(overlapped.Shown, plain.Shown);
    ASSERT_EQ(overlapped.Picture.Width(), plain.Picture.Width());
    ASSERT_EQ(overlapped.Picture.Height(), plain.Picture.Height());
    EXPECT_TRUE(std::equal(plain.Picture.Bits(), plain.Picture.Bits() + plain.Picture.PixelCount(),
                           overlapped.Picture.Bits()));
  }
  // Thousands of chances: the painting thread waits for its first batch in each run.
  EXPECT_GT(tracedAhead, 0u);
  // The pen was read: the changing pressure gave other strokes than none.
  EXPECT_FALSE(SamePixels(pictures[5], pictures[0]));
}

TEST(Domain, RemotePaths) {
  EXPECT_TRUE(IsRemotePath("\\\\server\\share\\work.bpj"));
  test::TTempDir tmp;
  EXPECT_FALSE(IsRemotePath(tmp.File("work.bpj")));
  // A folder that cannot be checked counts as local.
  EXPECT_FALSE(IsRemotePath("/no/such/folder/work.bpj"));
}

TEST(Domain, CloseAsksAndCancelKeepsTheDocument) {
  TDomainFixture f;
  PaintSome(f);
  TDomain& d = *f.Domain;
  f.Ui.Answer = TDomainUi::aCancel;
  d.CloseCommand();
  EXPECT_EQ(f.Ui.Questions, 1);
  EXPECT_EQ(f.Ui.Text, "Project not saved. Save before close?");
  EXPECT_TRUE(d.Document);
  // Yes without a project name asks for one; cancelling that dialog keeps the
  // document modified, so nothing is closed.
  f.Ui.Answer = TDomainUi::aYes;
  EXPECT_FALSE(d.AskSaveProject());
  d.CloseCommand();
  EXPECT_TRUE(d.Document);
  // Yes with a file: saved, then closed.
  f.Ui.ProjectAs = f.Home.File("work.bpj");
  d.CloseCommand();
  EXPECT_FALSE(d.Document);
  EXPECT_TRUE(fs::exists(f.Ui.ProjectAs));
  // Without a document nothing is asked.
  const int asked = f.Ui.Questions;
  EXPECT_TRUE(d.AskSaveProject());
  EXPECT_EQ(f.Ui.Questions, asked);
}

TEST(Domain, OpenKeepsTheDocumentUntilTheNewOneIsThere) {
  TDomainFixture f;
  PaintSome(f);
  TDomain& d = *f.Domain;
  TDualImage* painted = d.Document.get();
  const TBitmap32 picture = f.Dest.Bitmap();
  const auto kept = [&] {
    return d.Document.get() == painted && d.Document->StateCount() == 2 && d.Document->CanUndo() &&
           SamePixels(f.Dest.Bitmap(), picture);
  };
  f.Ui.PictureFile = test::DataPath("cat_crop_128x96.png");
  d.Styles.SetItemIndex(d.Styles.Count() - 1);
  // Cancel in the question, and No then Cancel in each later step.
  f.Ui.Answer = TDomainUi::aCancel;
  d.OpenCommand();
  EXPECT_TRUE(kept());
  f.Ui.Answer = TDomainUi::aYes;  // then the project file dialog is cancelled
  d.OpenCommand();
  EXPECT_TRUE(kept());
  EXPECT_EQ(f.Ui.Questions, 2);
  f.Ui.Answer = TDomainUi::aNo;
  f.Ui.PictureFile.clear();
  d.OpenCommand();
  EXPECT_TRUE(kept());
  f.Ui.PictureFile = test::DataPath("cat_crop_128x96.png");
  f.Ui.Accept = false;  // the project options
  d.OpenCommand();
  EXPECT_TRUE(kept());
  f.Ui.Accept = true;
  const std::string small = f.Home.File("small.png");
  SavePictureFile(TBitmap32(90, 90, clWhite32), small, 90);
  f.Ui.PictureFile = small;
  d.OpenCommand();
  EXPECT_TRUE(kept());
  EXPECT_EQ(f.Ui.Text, "The source image is too small");
  EXPECT_TRUE(d.Document->Modified);
  // New from clipboard asks too; an empty clipboard is refused.
  EXPECT_THROW(d.NewFromClipboardCommand(), EBrellinError);
  EXPECT_TRUE(kept());
  f.Ui.Answer = TDomainUi::aCancel;
  const int asked = f.Ui.Questions;
  d.NewFromClipboardCommand();
  EXPECT_EQ(f.Ui.Questions, asked + 1);
  EXPECT_TRUE(kept());
  // All through: a new document with the "Scratch Style".
  f.Ui.Answer = TDomainUi::aNo;
  f.Ui.PictureFile = test::DataPath("cat_crop_128x96.png");
  d.OpenCommand();
  ASSERT_TRUE(d.Document);
  EXPECT_EQ(d.Document->StateCount(), 0);
  EXPECT_EQ(d.Styles.ItemIndex(), 0);
}

// Open Project and a project handed over by a second copy ask first and
// replace the document only with a project read whole.
TEST(Domain, OpeningAProjectAsksToSaveFirst) {
  TDomainFixture f;
  PaintSome(f);
  TDomain& d = *f.Domain;
  d.Document->ProjectFileName = f.Home.File("first.bpj");
  d.SaveProjectCommand();
  SetRandSeed(7);
  d.ApplyStart(200);
  ASSERT_TRUE(d.Document->Modified);
  const int64_t unsaved = d.Document->VectorCount();
  f.Ui.OpenProject = f.Home.File("first.bpj");
  f.Ui.Answer = TDomainUi::aCancel;
  EXPECT_TRUE(d.RunCommand("OpenProjectCommand"));
  EXPECT_FALSE(d.OpenArgument(f.Home.File("first.bpj")));
  EXPECT_EQ(f.Ui.Questions, 2);
  EXPECT_EQ(d.Document->VectorCount(), unsaved);
  // A missing file handed over: said, and the document stays.
  f.Ui.Answer = TDomainUi::aNo;
  EXPECT_FALSE(d.OpenArgument(f.Home.File("missing.bpj")));
  EXPECT_EQ(f.Ui.Caption, "Error loading project");
  EXPECT_EQ(d.Document->VectorCount(), unsaved);
  EXPECT_TRUE(d.OpenArgument(f.Home.File("first.bpj")));
  EXPECT_LT(d.Document->VectorCount(), unsaved);
  EXPECT_FALSE(d.Document->Modified);
}

TEST(Domain, ExitOnlyAfterTheQuestionAllowsIt) {
  TDomainFixture f;
  PaintSome(f);
  f.Ui.Answer = TDomainUi::aCancel;
  f.Domain->ExitCommand();
  EXPECT_FALSE(f.Ui.Terminated);
  f.Ui.Answer = TDomainUi::aNo;
  f.Domain->ExitCommand();
  EXPECT_TRUE(f.Ui.Terminated);
}

TEST(Domain, SavingMergesEveryStateAndTheOpenedProjectHasNoColours) {
  TDomainFixture f;
  PaintSome(f);
  TDomain& d = *f.Domain;
  TDualImage& doc = *d.Document;
  SetRandSeed(9);
  d.ApplyStart(300);
  ASSERT_EQ(doc.StateCount(), 3);
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
  EXPECT_TRUE(SamePixels(f.Dest.Bitmap(), background));
  doc.Redo();
  EXPECT_TRUE(SamePixels(f.Dest.Bitmap(), painted));
  // Opened again: the same pictures, one applied state, not modified.
  d.OpenProjectFile(doc.ProjectFileName);
  TDualImage& opened = *d.Document;
  EXPECT_FALSE(opened.Modified);
  EXPECT_EQ(opened.StateCount(), 1);
  EXPECT_EQ(opened.VectorCount(), vectors);
  EXPECT_TRUE(SamePixels(f.Dest.Bitmap(), painted));
  // Colours and background are not part of a project; the paper is white,
  // never transparent black under a rerender or a save at another size.
  EXPECT_EQ(opened.Colors.ForeColor, clBlack32);
  EXPECT_EQ(opened.Colors.BackColor, 0u);
  EXPECT_EQ(opened.BackgroundColor, clWhite32);
}

}  // namespace
}  // namespace brellin
