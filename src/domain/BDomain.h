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
  // The apply dialog shows step K of S.
  virtual void ApplyProgress(int K, int S) { (void)K, (void)S; }
  // Let pending user-interface events run (the apply dialog's Stop button).
  virtual void ProcessEvents() {}
};

// The working size offered for a picture: at most about one megapixel.
void SuggestedSize(int W, int H, int& SuggestedW, int& SuggestedH);

constexpr int MinPictureArea = 10000;

class TDomain {
 public:
  // Start-up: the brush library (the built-in polygon brush first, the fourth
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
  // Asks for a file name and writes Bitmap by its extension: JPEG, BMP or
  // TIFF (at Resolution dots per inch); any other extension writes nothing.
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

  bool ApplyRunning = false;
  bool Loading = false;
  int ApplySteps = 5000;
  int ApplyNextStep = 1;
  std::unique_ptr<TDualImage> Document;
  // Built in this order at start-up: brushes, then styles.
  TPersistentObjectManager Brushes;
  TPersistentObjectManager Styles;
  TPictureView* SourceView = nullptr;       // not owned
  TPictureView* DestinationView = nullptr;  // not owned
  std::function<void(TDomain&)> OnRefresh;
  bool ApplyDone = false;

 private:
  // Ends an apply run's edit: the destination's update, EndEdit, a repaint.
  void FinishRun(TBitmap32& Dest, bool PassSilentStop);
  void BrushSelected();
  void StyleSelected();
  void SelectStyleBrush();
  TDomainUi* FUi;
  bool FBrushSelectedDetached = false;
};

}  // namespace brellin
