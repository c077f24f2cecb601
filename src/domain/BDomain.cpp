#include "domain/BDomain.h"

#include <sys/vfs.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <filesystem>

#include "analysis/BDibUtils.h"
#include "analysis/PictureFormats.h"
#include "analysis/PngCodec.h"
#include "base/BmpCodec.h"
#include "base/Clipboard.h"
#include "base/Errors.h"
#include "base/LargeAllocator.h"
#include "base/PhaseTimer.h"
#include "base/ProgramFolder.h"
#include "base/Progress.h"
#include "base/Random.h"
#include "base/Rounding.h"
#include "history/BStates.h"
#include "history/UMultiPageTiff.h"
#include "library/Patterns.h"
#include "library/Styles.h"
#include "render/BitmapBrushRenderer.h"

namespace brellin {

namespace fs = std::filesystem;

bool IsRemotePath(const std::string& Path) {
  if (Path.size() >= 2 && Path[0] == '\\' && Path[1] == '\\') return true;
  // The file system of the folder the file is (or will be) in.
  fs::path p = fs::absolute(fs::path(Path)).parent_path();
  struct statfs st {};
  if (::statfs(p.c_str(), &st) != 0) return false;
  switch (static_cast<uint32_t>(st.f_type)) {
    case 0x6969:      // NFS
    case 0x517B:      // SMB
    case 0xFF534D42:  // CIFS
    case 0xFE534D42:  // SMB2
    case 0x564C:      // NCP
    case 0x73757245:  // Coda
    case 0x5346414F:  // AFS
    case 0x6B414653:  // kAFS
      return true;
    default:
      return false;
  }
}

void SuggestedSize(int W, int H, int& SuggestedW, int& SuggestedH) {
  const double area = double(W) * double(H);
  float f = 1.0f;
  if (area > 1048576.0) f = float(std::sqrt(1.0 / area) * 1024.0);
  SuggestedW = Round(double(W) * f);
  SuggestedH = Round(double(H) * f);
}

TDomain::TDomain(TDomainUi* Ui)
    : Patterns(TPattern::StaticClass()),
      Brushes(TBitmapBrushStrokeRenderer::StaticClass()),
      Styles(TBStyle::StaticClass()),
      FUi(Ui) {
  struct TLoadingGuard {
    bool& Flag;
    explicit TLoadingGuard(bool& F) : Flag(F) { Flag = true; }
    ~TLoadingGuard() { Flag = false; }
  } loading(Loading);
  SetStyleLoadingQuery([this] { return Loading; });
  SetStylePreviewBrushes(&Brushes);
  ApplySteps = 5000;

  Patterns.OnNew = [this](TPersistentObjectManager&) { PatternCreated(); };
  Brushes.InsertFirst(std::make_unique<TPolygonStrokeRenderer>());
  // The fourth brush is the one selected at start; with fewer brush files
  // the last one there is takes its place.
  Brushes.SetItemIndex(std::min(3, Brushes.Count() - 1));
  Brushes.OnChange = [this](TPersistentObjectManager&) { BrushSelected(); };

  auto scratch = std::make_unique<TBStyle>();
  scratch->SetName("Scratch Style");
  if (TPersistentObject* b = Brushes.Current()) scratch->SetBrushId(b->Id());
  scratch->SetReadOnly(true);
  scratch->StoreReset();
  Styles.InsertFirst(std::move(scratch));
  Styles.OnChange = [this](TPersistentObjectManager&) { StyleSelected(); };
  Styles.OnBeforeChange = [this](TPersistentObjectManager&) { StyleLeaving(); };
  Styles.OnAdd = [this](TPersistentObjectManager&) { StyleAdded(); };
  Styles.SetItemIndex(0);

  // The manager removes what interrupted runs left in "tmp", and only that.
  try {
    TempFolder = std::make_unique<TTempManager>();
    SetTempManager(TempFolder.get());
  } catch (const ETempFolderError& e) {
    // Without the folder, temporary files go to the system's temporary folder.
    FUi->ErrorBox("File access denied", e.what());
  }
}

TDomain::~TDomain() {
  DropJournal();
  if (TempManager() == TempFolder.get()) SetTempManager(nullptr);
  TempFolder.reset();
  ToolManager.reset();
  Document.reset();
  SetStylePreviewBrushes(nullptr);
  SetStyleLoadingQuery(nullptr);
}

TBStyle* TDomain::CurrentStyle() const {
  return dynamic_cast<TBStyle*>(Styles.Current());
}

void TDomain::BrushSelected() {
  if (FBrushSelectedDetached) return;
  if (TBStyle* s = CurrentStyle())
    if (TPersistentObject* b = Brushes.Current()) s->SetBrushId(b->Id());
  Notify(OnUpdateStyleFrame, Styles.ItemIndex());
  Notify(OnUpdateBrushThumbnail);
}

void TDomain::SelectStyleBrush() {
  TBStyle* s = CurrentStyle();
  if (!s) return;
  struct TDetach {
    bool& Flag;
    explicit TDetach(bool& F) : Flag(F) { Flag = true; }
    ~TDetach() { Flag = false; }
  } detach(FBrushSelectedDetached);
  Brushes.SelectById(s->Params.BrushId);
}

void TDomain::StyleSelected() {
  if (Document) Document->SetStyle(CurrentStyle());
  Notify(OnStyleChanged, Styles.ItemIndex());
  Notify(OnRefresh);
  SelectStyleBrush();
  Notify(OnUpdateBrushThumbnail);
}

void TDomain::StyleLeaving() {
  Notify(OnUpdateStyleFrame, Styles.ItemIndex());
}

void TDomain::StyleAdded() {
  if (Document) Document->SetStyle(CurrentStyle());
  SelectStyleBrush();
  Notify(OnStyleChanged, Styles.Count() - 1);
  Notify(OnRefresh);
}

void TDomain::ResetViews() {
  for (TPictureView* v : {SourceView, DestinationView}) {
    v->ClearLayers();
    v->Scale = 1.0f;
    v->ScrollX = v->ScrollY = 0;
  }
}

void TDomain::FreeDocument() {
  DropJournal();
  // The tool manager holds the views' event handlers and the document.
  ToolManager.reset();
  Document.reset();
}

void TDomain::SetUpDocument() {
  // The source is shown half transparent over the view.
  SourceView->Bitmap().DrawMode = dmBlend;
  SourceView->Bitmap().MasterAlpha = 128;
  ApplyDone = false;
  Document->OnChange = [this](TDualImage&) { Notify(OnCommandsChanged); };
  Document->BrushLibrary = &Brushes;
  Document->PatternLibrary = &Patterns;
  Document->SetStyle(CurrentStyle());
  FUi->ResetColorPanel();
  // Both pictures are new: the views show them, and nothing of the last ones.
  SourceView->Bitmap().Changed();
  DestinationView->Bitmap().Changed();
}

void TDomain::DetachViews() {
  ToolManager.reset();
  if (Document) Document->DetachViews();
  SourceView = DestinationView = nullptr;
}

void TDomain::HelpCmd() {
  // Without a browser the pages still show, in the program's help window.
  const std::string index = ProgramFolder() + "Help/index.html";
  if (!FUi->ShellOpen(index)) FUi->ShowHelpPage("index");
}

void TDomain::SetFullScreenPaint(bool On) {
  if (On && !FFullScreenPaint) {
    FUi->ShowFullScreenPaint();
    FFullScreenPaint = true;
  } else if (!On && FFullScreenPaint) {
    FFullScreenPaint = false;
    FUi->CloseFullScreenPaint();
  }
}

bool TDomainUi::InputBox(const std::string&, const std::string&, std::string&) {
  throw ENeedsDialog("the input box");
}
bool TDomainUi::WarningYesNo(const std::string& Text) {
  throw ENeedsDialog("the question \"" + Text + "\"");
}
void TDomainUi::ApplyDialog(int, const TApplyDialogHandlers&) {
  throw ENeedsDialog("the apply dialog");
}
bool TDomainUi::BackgroundDialog(TBackgroundChoice&) {
  throw ENeedsDialog("the background dialog");
}
void TDomainUi::AboutBox() {
  throw ENeedsDialog("the about box");
}
void TDomainUi::ShowNavigator() {
  throw ENeedsDialog("the navigator");
}
void TDomainUi::FullScreenPreview() {
  throw ENeedsDialog("the full-screen preview");
}
void TDomainUi::ShowFullScreenPaint() {
  throw ENeedsDialog("the full-screen paint window");
}
bool TDomainUi::ShellOpen(const std::string& Path) {
  throw ENeedsDialog("a browser for " + Path);
}
void TDomainUi::ShowHelpPage(const std::string& Keyword) {
  throw ENeedsDialog("the help window for " + Keyword);
}
bool TDomainUi::ClipboardHasBitmap() {
  TClipboardPort* c = ClipboardPort();
  return c && c->HasBitmap();
}

namespace {

// The hourglass cursor for a scope.
class TBusyCursor {
 public:
  explicit TBusyCursor(TDomainUi& Ui) : FUi(Ui) { FUi.SetBusyCursor(true); }
  ~TBusyCursor() { FUi.SetBusyCursor(false); }

 private:
  TDomainUi& FUi;
};

}  // namespace

bool TDomain::LoadPicture(const std::string& FileName, TStream* Stream, bool FromClipboard) {
  struct TLoadingGuard {
    bool& Flag;
    explicit TLoadingGuard(bool& F) : Flag(F) { Flag = true; }
    ~TLoadingGuard() { Flag = false; }
  } loading(Loading);
  FUi->HideNavigator();
  TBusyCursor busy(*FUi);
  // The picture is read and checked aside: a refused or cancelled picture
  // leaves the open document and its source picture as they were.
  TBitmap32 source;
  bool opaque = false;
  try {
    if (FromClipboard) {
      PasteBitmap(source);
    } else if (Stream) {
      LoadBMPFromStream(source, *Stream);
    } else {
      TPhaseTimer timer("decode");
      source = LoadPictureFile(FileName, &opaque);
    }
  } catch (const EBrellinError& e) {
    FUi->ErrorBox("Error loading file", e.what());
    return false;
  }
  // Pictures enter the document as opaque RGB, over white paper.
  if (!opaque) {
    TPhaseTimer timer("opaque");
    MakeOpaqueOverWhite(source);
  }
  const int w = source.Width(), h = source.Height();
  if (int64_t(w) * h == 0) throw EBrellinError("Invalid Image");
  if (int64_t(w) * h < MinPictureArea) {
    FUi->ErrorBox("Error loading image", "The source image is too small");
    return false;
  }
  int sw, sh;
  SuggestedSize(w, h, sw, sh);
  TProjectOptions options;
  options.Width = sw;
  options.Height = sh;
  if (!FUi->ProjectOptions(w, h, sw, sh, options)) return false;
  if (options.Width < 2 || options.Height < 2 || options.Width > w || options.Height > h)
    throw EBrellinError("The working size must lie between 2 x 2 and the picture's size");
  // The same size is an exact copy, never a resample.
  if (options.Width != w || options.Height != h) {
    TBitmap32 resampled = Resample(source, options.Width, options.Height);
    source = std::move(resampled);
  }
  ResetViews();
  FreeDocument();
  SourceView->Bitmap() = std::move(source);
  SourceView->Bitmap().DrawMode = dmOpaque;
  SourceView->Bitmap().MasterAlpha = 255;
  std::unique_ptr<TDualImage> document;
  {
    TPhaseTimer timer("analysis");
    document = std::make_unique<TDualImage>(SourceView, 1.0f, DestinationView);
  }
  // Made after the analysis: a big destination then takes the pages the
  // analysis gave back instead of fresh ones, and is not held meanwhile.
  TBitmap32& dest = DestinationView->Bitmap();
  dest.SetSizeForOverwrite(options.Width, options.Height);
  dest.Clear(clWhite32);
  Document = std::move(document);
  SetUpDocument();
  Document->BackgroundColor = options.BackgroundColor;
  Document->SetBackgroundPicture(options.BackgroundPicture.get());
  Document->SetBackgroundMode(options.BackgroundMode);
  Document->CleanEdges = options.CleanEdges;
  Document->Modified = false;
  if (!FromClipboard && !Stream) Document->SourceFileName = FileName;
  StartJournal(FromClipboard || Stream ? std::string() : FileName);
  StartToolManager();
  return true;
}

std::string TDomain::SavePicture(const TBitmap32& Bitmap, int Resolution) {
  std::string file;
  if (!FUi->SaveImageFile(file)) return {};
  std::string ext = fs::path(file).extension().string();
  for (char& c : ext) c = char(std::toupper(static_cast<unsigned char>(c)));
  TPhaseTimer timer("encode");
  if (ext == ".JPG" || ext == ".JPEG") {
    SavePictureFile(Bitmap, file, 75);  // the JPEG library's default quality
  } else if (ext == ".BMP") {
    SavePictureFile(Bitmap, file, 75);  // 24 bits, alpha dropped
  } else if (ext == ".TIF" || ext == ".TIFF") {
    SaveTiff(Bitmap, file, Resolution);
  } else if (ext == ".PNG") {
    // Alpha only over a transparent paper: stroke edges blended onto an
    // opaque one leave alpha below 255 that means nothing.
    SavePNGFile(
        Bitmap, file,
        Document && Document->BackgroundMode == 0 && (Document->BackgroundColor >> 24) != 255,
        Resolution);
  } else {
    FUi->ErrorBox("Error saving image",
                  "No picture format is known by the extension of\r\n" + file +
                      "\r\n\r\nPictures can be saved as JPEG (.jpg, .jpeg), PNG (.png), BMP (.bmp) "
                      "or TIFF (.tif, .tiff).");
    return {};
  }
  if (Document) Document->Modified = false;
  return file;
}

void TDomain::FinishRun(TBitmap32& Dest, bool PassSilentStop) {
  Dest.EndUpdate();
  try {
    Document->EndEdit();
  } catch (const ESilentStop&) {
    Dest.Changed();
    if (PassSilentStop) throw;
    return;
  }
  Dest.Changed();
}

void TDomain::RunInEdit(const std::function<void(TBitmap32&)>& Run) {
  TBitmap32& dest = DestinationView->Bitmap();
  Document->BeginEdit();
  dest.BeginUpdate();
  try {
    if (OverlapStrokes) Document->StartStrokeQueue();
    Run(dest);
    Document->FinishStrokeQueue();
  } catch (...) {
    Document->StopStrokeQueue();
    FinishRun(dest, false);
    throw;
  }
  FinishRun(dest, true);
}

namespace {

// Where the next step of a run will start, guessed from how many random
// numbers the last one drew (almost always the same count), so that the
// picture there can be asked for while this step is painted. A wrong guess
// only costs the time of a cache miss.
class TNextStepGuess {
 public:
  // Call right after drawing a step's X and Y.
  void Prefetch(TDualImage& Document, int Width, int Height) {
    const uint64_t now = RandomDrawCount();
    const uint64_t perStep = now - FLast;
    if (FLast != 0 && perStep >= 2 && perStep <= 64)
      Document.PrefetchStepStart(PeekRandom(int(perStep) - 1, Width),
                                 PeekRandom(int(perStep), Height));
    FLast = now;
  }

 private:
  uint64_t FLast = 0;
};

}  // namespace

void TDomain::ApplyStart(int Steps) {
  if (!Document) return;
  TBusyCursor busy(*FUi);
  TPhaseTimer timer("apply");
  const uint64_t before = Document->CommittedStrokes;
  uint64_t runStrokes = 0;
  bool passes = false;
  // A completed run with detail passes tells the dialog its last step after
  // them, or here when the run ends otherwise: the dialog closes then.
  struct TTellLastStep {
    TDomainUi& Ui;
    int Steps;
    bool& Armed;
    ~TTellLastStep() {
      if (Armed) Ui.ApplyProgress(Steps, Steps);
    }
  } tell{*FUi, Steps, passes};
  RunInEdit([&](TBitmap32& dest) {
    const int s = Steps;
    ApplyRunning = true;
    ApplyDone = true;
    bool stopped = false, completed = false;
    Document->ForecastSteps(dest.Width(), dest.Height());
    TNextStepGuess next;
    for (int k = ApplyNextStep; k <= s; ++k) {
      const int x = Random(dest.Width());
      const int y = Random(dest.Height());
      next.Prefetch(*Document, dest.Width(), dest.Height());
      Document->PaintAt(x, y);
      // The last step is told after the detail passes: the dialog closes then.
      if (k < s || DetailPasses <= 0) FUi->ApplyProgress(k, s);
      FUi->ProcessEvents();
      if (k == s) {
        completed = true;
        passes = DetailPasses > 0;
        break;
      }
      if (!ApplyRunning) {
        stopped = true;
        break;
      }
      ApplyNextStep = k;
      ApplySteps = k;
    }
    // A run that never started (ApplyNextStep beyond Steps) keeps
    // ApplySteps: "Repeat last apply" repeats the last real run.
    if (!stopped) {
      if (completed) ApplySteps = s;
      ApplyNextStep = 1;
    }
    runStrokes = Document->CommittedStrokes - before;
  });
  if (passes) {
    passes = false;
    ApplyDetailPasses(runStrokes, Steps);
  }
}

void TDomain::RepeatLastApply() {
  if (!Document) return;
  TProgressScope progress("Applying strokes...", 0, 100);
  RunInEdit([&](TBitmap32& dest) {
    ApplyRunning = true;  // a repeat run cannot be stopped
    Document->ForecastSteps(dest.Width(), dest.Height());
    TNextStepGuess next;
    for (int i = 1; i <= ApplySteps; ++i) {
      if (i % 50 == 0) SetProgress(Round(double(i) * 100.0 / ApplySteps));
      const int x = Random(dest.Width());
      const int y = Random(dest.Height());
      next.Prefetch(*Document, dest.Width(), dest.Height());
      Document->PaintAt(x, y);
    }
  });
}

bool TDomain::AskSaveProject() {
  if (!Document || !Document->Modified) return true;
  switch (FUi->Confirm("Project not saved. Save before close?")) {
    case TDomainUi::aYes:
      // A failed save is said here, and the command that asked stops.
      try {
        SaveProjectCommand();
      } catch (const ESilentStop&) {
        return false;
      } catch (const std::exception& e) {
        ReportFailure(e);
        return false;
      }
      return Document && !Document->Modified;
    case TDomainUi::aNo:
      return true;
    default:
      return false;
  }
}

void TDomain::SaveProjectCommand() {
  if (!Document) return;
  if (Document->ProjectFileName.empty()) {
    SaveProjectAsCommand();
    return;
  }
  const std::string target = Document->ProjectFileName;
  try {
    WriteProject(target);
  } catch (const EProjectFileError&) {
    throw;
  } catch (const EBrellinError& e) {
    throw EProjectFileError(target, true, e.what());
  }
  Document->Modified = false;
  // A saved project is the new starting point of the recovery journal.
  StartJournal(target, target);
}

void TDomain::WriteProject(const std::string& target) {
  TBusyCursor busy(*FUi);
  if (CompactOnSave) Document->Compact();
  if (IsRemotePath(target)) {
    // Written locally first, then copied over in one go.
    const std::string local = NewTempName("bpj");
    struct TRemove {
      std::string Name;
      ~TRemove() { std::remove(Name.c_str()); }
    } remove{local};
    {
      TFileStream f(local, fmCreate);
      Document->SaveToStream(f);
      f.Close();
    }
    TFileStream from(local, fmOpenRead);
    TSafeFileWriter file(target);
    file.Stream().CopyFrom(from, from.Size());
    file.Commit();
  } else {
    TSafeFileWriter file(target);
    Document->SaveToStream(file.Stream());
    file.Commit();
  }
}

void TDomain::SaveProjectAsCommand() {
  if (!Document) return;
  std::string file = Document->ProjectFileName;
  if (!FUi->SaveProjectFile(file)) return;
  Document->ProjectFileName = file;
  SaveProjectCommand();
}

void TDomain::OpenProjectFile(const std::string& PathArg) {
  // A copy: the caller may pass the open document's own project file name,
  // and that document is freed below.
  const std::string Path = PathArg;
  struct TLoadingGuard {
    bool& Flag;
    explicit TLoadingGuard(bool& F) : Flag(F) { Flag = true; }
    ~TLoadingGuard() { Flag = false; }
  } loading(Loading);
  FUi->HideNavigator();
  TBusyCursor busy(*FUi);
  // A project on a network drive is read from a local copy.
  std::string read = Path;
  struct TRemove {
    std::string Name;
    ~TRemove() {
      if (!Name.empty()) std::remove(Name.c_str());
    }
  } remove;
  if (IsRemotePath(Path)) {
    const std::string local = NewTempName("bpj");
    std::error_code ec;
    if (!fs::copy_file(Path, local, fs::copy_options::overwrite_existing, ec)) {
      std::remove(local.c_str());
      FUi->ErrorBox("Warning", "Error copying the file " + Path + " to " + local +
                                   ".\r\nPlease check available space");
      SilentStop();
    }
    read = remove.Name = local;
  }
  TFileStream file(read, fmOpenRead);
  // Read whole while the open document stands: the new one replaces the
  // views' pictures only when everything was read, so a damaged project
  // leaves the open document as it was. Each document takes its own layers
  // out of the views when it goes.
  auto document = std::make_unique<TDualImage>(file, 1.0f, DestinationView, SourceView);
  FreeDocument();
  for (TPictureView* v : {SourceView, DestinationView}) {
    v->Scale = 1.0f;
    v->ScrollX = v->ScrollY = 0;
  }
  Document = std::move(document);
  Document->ProjectFileName = Path;
  SetUpDocument();
  StartToolManager();
  if (Document->NeedsRerender) Document->RerenderDestination();
  Document->Modified = false;
  StartJournal(Path, read);
}

namespace {

// Opens a project, a failure to read it named with the file.
void OpenProjectNamed(TDomain& Domain, const std::string& File) {
  try {
    Domain.OpenProjectFile(File);
  } catch (const EBrellinError& e) {
    throw EProjectFileError(File, false, e.what());
  }
}

}  // namespace

void TDomain::OpenProjectCommand() {
  if (!AskSaveProject()) return;
  std::string file;
  if (!FUi->OpenProjectFile(file)) return;
  OpenProjectNamed(*this, file);
}

bool TDomain::OpenArgument(const std::string& Path) {
  try {
    if (!AskSaveProject()) return false;
    std::string ext = fs::path(Path).extension().string();
    for (char& c : ext) c = char(std::tolower(static_cast<unsigned char>(c)));
    if (ext == ".bpj") {
      OpenProjectNamed(*this, Path);
      return true;
    }
    return LoadPicture(Path);
  } catch (const ESilentStop&) {
  } catch (const std::exception& e) {
    ReportFailure(e);
  }
  return false;
}

std::string TDomain::ReportFailure(const std::exception& Failure) {
  if (const auto* f = dynamic_cast<const EProjectFileError*>(&Failure)) {
    const std::string text = (f->Saving ? "The project could not be saved:\r\n"
                                        : "The project could not be opened:\r\n") +
                             f->File + "\r\n\r\n" + Failure.what();
    FUi->ErrorBox(f->Saving ? "Error saving project" : "Error loading project", text);
    return text;
  }
  FUi->ErrorBox("Brellin Pro", Failure.what());
  return Failure.what();
}

bool TDomain::RunCommand(const std::string& Name, std::string* Failure) {
  try {
    if (Name == "SvgCommand")
      SvgCommand();
    else if (Name == "RefineDetailsCommand")
      RefineDetailsCommand();
    else
      ExecuteCommand(Name);
    return true;
  } catch (const ESilentStop&) {
  } catch (const std::exception& e) {
    const std::string text = ReportFailure(e);
    if (Failure) *Failure = text;
  }
  return false;
}

void TDomain::ExportVectors(bool (TDomainUi::*AskFile)(std::string&),
                            void (TDualImage::*Export)(const std::string&),
                            const std::string& Done) {
  if (!Document) return;
  std::string file;
  if (!(FUi->*AskFile)(file)) return;
  {
    TBusyCursor busy(*FUi);
    ((*Document).*Export)(file);
  }
  FUi->InfoBox("Brellin", Done + "\r\n" + file);
}

void TDomain::PostScriptCommand() {
  ExportVectors(&TDomainUi::SavePostScriptFile, &TDualImage::ExportPostScript,
                "The file was successfully exported as a PostScript file:");
}

void TDomain::SvgCommand() {
  ExportVectors(&TDomainUi::SaveSvgFile, &TDualImage::ExportSvg,
                "The file was successfully exported as an SVG file:");
}

TBitmap32 TDomain::RenderAtSize(int Width, int Height) {
  if (!Document) throw EBrellinError("No picture is open");
  const TBitmap32& dest = DestinationView->Bitmap();
  if (Width < 1 || Height < 1 || int64_t(Width) * Height > MaxBitmapPixels)
    throw EBrellinError("Cannot render at " + std::to_string(Width) + " x " +
                        std::to_string(Height) + " pixels");
  TBitmap32 b;
  b.SetSize(Width, Height);
  const float factor = float(Width) / float(dest.Width());
  Document->FillBackground(&b);
  Document->RenderStrokes(b, factor);
  return b;
}

void TDomain::RenderAllCommand() {
  if (!Document) return;
  const TBitmap32& dest = DestinationView->Bitmap();
  int w = dest.Width(), h = dest.Height(), dpi = 200;
  if (!FUi->RenderSize(w, h, dpi)) return;
  const TBitmap32 b = RenderAtSize(w, h);
  SavePicture(b, dpi);
}

void TDomain::OpenCommand() {
  // LoadPicture replaces the document only once the picture was read and
  // its options accepted.
  if (!AskSaveProject()) return;
  std::string file;
  if (!FUi->OpenPictureFile(file)) return;
  if (!LoadPicture(file)) return;
  Styles.SetItemIndex(0);
}

void TDomain::CloseCommand() {
  if (Document && AskSaveProject()) {
    FreeDocument();
    // The views are gone when the main window went first (DetachViews).
    if (SourceView) SourceView->ClearLayers();
    if (DestinationView) DestinationView->ClearLayers();
    // Pages kept for the next big pictures go back to the system while no
    // picture is open.
    ReleaseSpareBlocks();
  }
  if (OnRefresh) OnRefresh(*this);
}

void TDomain::StartToolManager() {
  if (ToolManagerFactory) ToolManager = ToolManagerFactory(*Document);
  PointerCommand();
  Notify(OnRefresh);
}

void TDomain::PatternCreated() {
  if (auto* p = dynamic_cast<TPattern*>(Patterns.Current()))
    for (int i = 0; i < 5; ++i) p->AddFrame(std::make_unique<TPatternFrame>());
}

}  // namespace brellin
