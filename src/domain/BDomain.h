// The application domain: the libraries, the current document, opening and
// saving pictures and the apply runs. The user interface is reached through
// TDomainUi; the desktop program implements it with dialogs, the command
// line from its options, tests with scripted answers.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "base/Bitmap32.h"
#include "base/Stream.h"
#include "domain/DualImage.h"
#include "domain/PictureView.h"
#include "history/UTempManager.h"
#include "library/PersistentObjects.h"

namespace brellin {

// The project options dialog's answers: working size and background.
struct TProjectOptions {
  int Width = 0, Height = 0;
  TColor32 BackgroundColor = clWhite32;
  std::shared_ptr<const TBitmap32> BackgroundPicture;  // may be null
  uint8_t BackgroundMode = 0;  // 0 solid colour, 1 stretched picture, 2 tiled picture
};

class TDomainUi {
 public:
  virtual ~TDomainUi() = default;
  // An error box with a caption.
  virtual void ErrorBox(const std::string& Caption, const std::string& Text) = 0;
  // The project options dialog, preset with the picture's size and the
  // suggested working size; false when it was not closed with OK.
  virtual bool ProjectOptions(int PictureWidth, int PictureHeight, int SuggestedWidth,
                              int SuggestedHeight, TProjectOptions& Options) = 0;
  // The save-picture dialog; false when cancelled.
  virtual bool SaveImageFile(std::string& FileName) = 0;
  // A question with the buttons Yes, No and Cancel.
  enum TAnswer { aYes, aNo, aCancel };
  virtual TAnswer Confirm(const std::string& Text) {
    (void)Text;
    return aCancel;
  }
  // An information box.
  virtual void InfoBox(const std::string& Caption, const std::string& Text) {
    (void)Caption, (void)Text;
  }
  // The file dialogs of projects and PostScript; false when cancelled.
  virtual bool SaveProjectFile(std::string& FileName) {
    (void)FileName;
    return false;
  }
  virtual bool OpenProjectFile(std::string& FileName) {
    (void)FileName;
    return false;
  }
  virtual bool SavePostScriptFile(std::string& FileName) {
    (void)FileName;
    return false;
  }
  // The size dialog of saving at another size, preset with the destination's
  // size and 200 dots per inch; false when not closed with OK.
  virtual bool RenderSize(int& Width, int& Height, int& Resolution) {
    (void)Width, (void)Height, (void)Resolution;
    return false;
  }
  // The picture-open dialog; false when cancelled.
  virtual bool OpenPictureFile(std::string& FileName) {
    (void)FileName;
    return false;
  }
  // The application is asked to end (after the close question was answered).
  virtual void Terminate() {}
  // The apply dialog shows step K of S.
  virtual void ApplyProgress(int K, int S) { (void)K, (void)S; }
  // Let pending user-interface events run (the apply dialog's Stop button).
  virtual void ProcessEvents() {}
};

// Whether Path lies on a network file system (or is a "\\\\server" path);
// a path that cannot be checked counts as local.
bool IsRemotePath(const std::string& Path);

// The working size offered for a picture: at most about one megapixel.
void SuggestedSize(int W, int H, int& SuggestedW, int& SuggestedH);

constexpr int MinPictureArea = 10000;

class TDomain {
 public:
  // Start-up: the pattern library (a new pattern gets five empty frames),
  // the brush library (the built-in polygon brush first, the fourth
  // brush selected) and the style library (the read-only "Scratch Style"
  // first, with that brush); the "tmp" folder of the program folder emptied.
  explicit TDomain(TDomainUi* Ui);
  ~TDomain();
  TDomain(const TDomain&) = delete;
  TDomain& operator=(const TDomain&) = delete;

  // Opening a picture: from the clipboard, else the stream (a BMP from its
  // position), else the file. Returns false when it ended with a message,
  // a cancelled dialog or a silent stop; the previous document then stays.
  bool LoadPicture(const std::string& FileName, TStream* Stream = nullptr,
                   bool FromClipboard = false);
  // Asks for a file name and writes Bitmap by its extension: JPEG, BMP, PNG
  // or TIFF (PNG and TIFF at Resolution dots per inch); any other extension
  // writes nothing.
  // Returns the file written, or empty.
  std::string SavePicture(const TBitmap32& Bitmap, int Resolution);
  void SaveCommand() {
    if (Document) SavePicture(DestinationView->Bitmap(), 200);
  }

  // "Apply to the entire image": runs from ApplyNextStep to Steps; can be
  // stopped by ApplyStop from the dialog and resumed by another ApplyStart.
  void ApplyStart(int Steps);
  void ApplyStop() { ApplyRunning = false; }
  // "Repeat last apply": ApplySteps more steps in one edit.
  void RepeatLastApply();

  TBStyle* CurrentStyle() const;

  // File commands that rest on the history.
  // "Project not saved. Save before close?" for a modified document: true
  // when the document may go (saved, or No); false on Cancel or a failed save.
  bool AskSaveProject();
  // Compacts the history and writes the project to its file (asks for one
  // when it has none). The file is written beside the target and renamed
  // over it when complete, so a failed save keeps the previous project.
  void SaveProjectCommand();
  void SaveProjectAsCommand();
  // Opens a project as the document. A file that cannot be read leaves no
  // document open and rethrows the reason.
  void OpenProjectFile(const std::string& Path);
  void OpenProjectCommand();
  // Asks for a file and writes the recorded strokes as PostScript.
  void PostScriptCommand();
  // Saving at another size: the recorded strokes painted again into a new
  // picture of the size asked for, over the background, then saved.
  void RenderAllCommand();
  // The document rendered at Width x Height: background and every stroke,
  // coordinates scaled by Width / destination width.
  TBitmap32 RenderAtSize(int Width, int Height);
  void CloseCommand();
  // Close (which may ask to save), then the picture-open dialog, then the
  // picture as the new document with the "Scratch Style" selected.
  void OpenCommand();
  void NewFromClipboardCommand() { LoadPicture("", nullptr, true); }
  void ExitCommand() {
    if (AskSaveProject()) FUi->Terminate();
  }

  bool ApplyRunning = false;
  // The apply and repeat runs paint each stroke on a second thread while the
  // next is traced (same picture, bit for bit). The destination is then
  // painted behind the user interface's back: set this only when
  // ProcessEvents and ApplyProgress do not read it during a run.
  bool OverlapStrokes = false;
  bool Loading = false;
  int ApplySteps = 5000;
  int ApplyNextStep = 1;
  std::unique_ptr<TTempManager> TempFolder;
  std::unique_ptr<TDualImage> Document;
  // Built in this order at start-up: patterns, brushes, then styles.
  TPersistentObjectManager Patterns;
  TPersistentObjectManager Brushes;
  TPersistentObjectManager Styles;
  TPictureView* SourceView = nullptr;       // not owned
  TPictureView* DestinationView = nullptr;  // not owned
  std::function<void(TDomain&)> OnRefresh;
  bool ApplyDone = false;

 private:
  // Ends an apply run's edit: the destination's update, EndEdit, a repaint.
  void FinishRun(TBitmap32& Dest, bool PassSilentStop);
  // One painting run as one edit with the destination's updates held back;
  // the strokes go through the painting thread when OverlapStrokes is set.
  void RunInEdit(const std::function<void(TBitmap32&)>& Run);
  void BrushSelected();
  void StyleSelected();
  void SelectStyleBrush();
  TDomainUi* FUi;
  bool FBrushSelectedDetached = false;

 public:
  // The pattern library's new pattern, before it is edited: five empty frames.
  void PatternCreated();
};

}  // namespace brellin
