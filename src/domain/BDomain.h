// The application domain: the libraries, the current document, opening and
// saving pictures and the apply runs. The user interface is reached through
// TDomainUi; the desktop program implements it with dialogs, the command
// line from its options, tests with scripted answers.
#pragma once

#include <functional>
#include <memory>
#include <stdexcept>
#include <string>

#include "base/Bitmap32.h"
#include "base/Errors.h"
#include "base/Stream.h"
#include "domain/DetailPasses.h"
#include "domain/DualImage.h"
#include "domain/PictureView.h"
#include "domain/ToolManagerPort.h"
#include "history/Journal.h"
#include "history/UTempManager.h"
#include "library/PersistentObjects.h"

namespace brellin {

// The project options dialog's answers: working size and background.
struct TProjectOptions {
  int Width = 0, Height = 0;
  TColor32 BackgroundColor = clWhite32;
  std::shared_ptr<const TBitmap32> BackgroundPicture;  // may be null
  uint8_t BackgroundMode = 0;  // 0 solid colour, 1 stretched picture, 2 tiled picture
  bool CleanEdges = false;     // no stray stubs along the picture's edges
};

// A command asked for a dialog or window that the user interface at hand
// cannot show. The defaults of TDomainUi's interactive methods throw it, so a
// caller without dialogs (the command line, a test) learns that a command
// needs one instead of having it silently cancelled. Not an EBrellinError:
// nothing on the way swallows it. The file dialogs and the Yes/No/Cancel
// question default to a cancel instead (the command then changes nothing); a
// caller that must know overrides them to throw ENeedsDialog as well.
class ENeedsDialog : public std::runtime_error {
 public:
  explicit ENeedsDialog(const std::string& Dialog_)
      : std::runtime_error("needs " + Dialog_), Dialog(Dialog_) {}
  std::string Dialog;  // "the input box", "the apply dialog", ...
};

// A project file could not be read or written. what() is the reason as the
// reader or writer gave it; File names the project.
class EProjectFileError : public EBrellinError {
 public:
  EProjectFileError(const std::string& File_, bool Saving_, const std::string& Reason)
      : EBrellinError(Reason), File(File_), Saving(Saving_) {}
  std::string File;
  bool Saving;
};

// The background dialog's answers.
struct TBackgroundChoice {
  TColor32 Color = clWhite32;
  std::shared_ptr<const TBitmap32> Picture;  // may be null
  uint8_t Mode = 0;                          // 0 solid colour, 1 stretched picture, 2 tiled picture
};

// What the apply dialog's buttons do: Start runs (or resumes) a run of the
// dialog's step count, and ends with a silent stop when it painted nothing;
// Stop and Close ask a running one to stop.
struct TApplyDialogHandlers {
  // One line for the dialog: what the strokes of the run will follow.
  std::string Follows;
  std::function<void(int Steps)> Start;
  std::function<void()> Stop;
  std::function<void()> Close;
  // The dialog's "Detail passes", preset and told back when changed.
  int DetailPasses = 0;
  std::function<void(int Passes)> DetailPassesChanged;
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
  virtual bool SaveSvgFile(std::string& FileName) {
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

  // The interactive parts of the commands. Each default throws ENeedsDialog.
  // The input box preset with Value; false when cancelled.
  virtual bool InputBox(const std::string& Caption, const std::string& Prompt, std::string& Value);
  // A warning with the buttons Yes and No; true for Yes.
  virtual bool WarningYesNo(const std::string& Text);
  // The apply dialog, modal, preset with Steps.
  virtual void ApplyDialog(int Steps, const TApplyDialogHandlers& Handlers);
  // The background dialog preset with Choice; false when not closed with OK.
  virtual bool BackgroundDialog(TBackgroundChoice& Choice);
  virtual void AboutBox();
  virtual void ShowNavigator();
  // The full-screen preview, modal.
  virtual void FullScreenPreview();
  // Creates and shows the full-screen paint window.
  virtual void ShowFullScreenPaint();
  // Opens a file or address with the desktop's program for it; false when
  // no program took it.
  virtual bool ShellOpen(const std::string& Path);
  // Shows Help/<Keyword>.html of the program folder in the program's own
  // help window.
  virtual void ShowHelpPage(const std::string& Keyword);

  // Side effects a caller without windows can ignore.
  virtual void HideNavigator() {}
  virtual void CloseFullScreenPaint() {}
  // The hourglass cursor on (nested calls balance) and off.
  virtual void SetBusyCursor(bool Busy) { (void)Busy; }
  // The colour panel forgets its swatches and offsets for a new document.
  virtual void ResetColorPanel() {}
  // Whether the clipboard holds a picture; by default the clipboard port's answer.
  virtual bool ClipboardHasBitmap();
  // The question that offers a journal left by a program that died, with
  // the buttons Recover, Discard and Later. Without one, Later.
  enum TRecoveryAnswer { raRecover, raDiscard, raLater };
  virtual TRecoveryAnswer AskRecovery(const std::string& Text) {
    (void)Text;
    return raLater;
  }
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
  // writes nothing and says which formats can be written.
  // Returns the file written, or empty.
  std::string SavePicture(const TBitmap32& Bitmap, int Resolution);
  void SaveCommand() {
    if (Document) SavePicture(DestinationView->Bitmap(), 200);
  }

  // "Apply to the entire image": runs from ApplyNextStep to Steps; can be
  // stopped by ApplyStop from the dialog and resumed by another ApplyStart.
  void ApplyStart(int Steps);
  void ApplyStop() { ApplyRunning = false; }
  // What the strokes of an apply run follow, as the apply dialog says it:
  // the picture's contours, or the current pattern by name.
  std::string ApplyFollowsText() const;
  // "Repeat last apply": ApplySteps more steps in one edit.
  void RepeatLastApply();
  // Detail passes over the current painting, each one edit: pass k paints
  // with the current style at 1 / 2^k of its size where the painting still
  // differs from the source by more than ThresholdPercent. All passes
  // together paint at most StrokeBudget strokes (none: 0). ApplyStop stops
  // them after the current stroke; the passes done so far stay.
  std::vector<TDetailPassReport> RefineDetails(int Passes, float ThresholdPercent,
                                               int64_t StrokeBudget);
  // "Refine details...": asks for the number of passes and runs them over
  // the painting as it is, also after painting by hand; the passes together
  // paint at most as many strokes as the painting holds.
  void RefineDetailsCommand();
  // Detail passes after each completed apply run (the apply dialog's
  // "Detail passes"), and their threshold.
  int DetailPasses = 0;
  float DetailThreshold = DefaultDetailThreshold;

  TBStyle* CurrentStyle() const;

  // File commands that rest on the history.
  // "Project not saved. Save before close?" for a modified document: true
  // when the document may go (saved, or No); false on Cancel, a cancelled
  // file dialog or a failed save (which is shown).
  bool AskSaveProject();
  // Compacts the history and writes the project to its file (asks for one
  // when it has none). The file is written beside the target and renamed
  // over it when complete, so a failed save keeps the previous project and
  // the document stays modified; the failure is an EProjectFileError.
  void SaveProjectCommand();
  void SaveProjectAsCommand();
  // Opens a project as the document. The project is read whole before the
  // open document goes: a file that cannot be read leaves it as it was and
  // rethrows the reason.
  void OpenProjectFile(const std::string& Path);
  // Asks to save a modified document, then for a project, then opens it; a
  // project that cannot be read is an EProjectFileError.
  void OpenProjectCommand();
  // A file handed over by a second copy: a project or a picture, after the
  // question about saving. A failure is shown; false when nothing opened.
  bool OpenArgument(const std::string& Path);
  // Asks for a file and writes the recorded strokes as PostScript.
  void PostScriptCommand();
  // The same as SVG, one filled outline per stroke over the paper colour.
  // Not in the command table: enabled whenever PostScript output is.
  void SvgCommand();
  // Saving at another size: the recorded strokes painted again into a new
  // picture of the size asked for, over the background, then saved.
  void RenderAllCommand();
  // The document rendered at Width x Height: background and every stroke,
  // coordinates scaled by Width / destination width.
  TBitmap32 RenderAtSize(int Width, int Height);
  void CloseCommand();
  // The question about saving, then the picture-open dialog, then the
  // picture as the new document with the "Scratch Style" selected. The open
  // document goes only when the new one is there: Cancel or a refused
  // picture at any point keeps it.
  void OpenCommand();
  void NewFromClipboardCommand() {
    if (AskSaveProject()) LoadPicture("", nullptr, true);
  }
  void ExitCommand() {
    if (AskSaveProject()) FUi->Terminate();
  }

  // The command set (see Commands.h). CommandUpdate is the enabling rule of
  // an evaluated command; a command without a rule raises "Acción no
  // contemplada:" followed by its name. CommandEnabled is what a control
  // bound to the command shows: the rule, or enabled for the commands that
  // are never evaluated. ExecuteCommand runs the command's handler when it is
  // enabled and returns whether it ran. Unknown names raise an error.
  bool CommandUpdate(const std::string& Name);
  bool CommandEnabled(const std::string& Name);
  bool ExecuteCommand(const std::string& Name);
  // The checked state of the commands that have one (borders, directions,
  // stop on borders); false for the others.
  bool CommandChecked(const std::string& Name) const;
  // Runs a command for the user (SvgCommand included): a failure other than
  // the silent stop is shown in an error box and its text, for the log, put
  // in Failure. True when the command ran to its end.
  bool RunCommand(const std::string& Name, std::string* Failure = nullptr);
  // Shows a failure in an error box; returns its text.
  std::string ReportFailure(const std::exception& Failure);

  // Edit commands.
  void UndoCommand();
  void RedoCommand();
  void ApplyWithCurrentSettingsCommand();
  void RepeatLastApplyCommand() { RepeatLastApply(); }
  void TakeSnapshotCommand();
  void UndoToLastSnapshotCommand();
  void PurgeCommand();
  void CopyResultToClipboardCommand();
  // Tool commands: the document's tool manager selects tool 1, 4, 5 or 3.
  void PointerCommand() { SelectTool(1); }
  void PatternCommand() { SelectTool(4); }
  void AutoDirCommand() { SelectTool(5); }
  void FreeHandCommand() { SelectTool(3); }
  // View, setting and colour commands.
  void ViewBordersCommand();
  void ViewDirectionsCommand();
  void ViewNavigatorCommand() { FUi->ShowNavigator(); }
  void FullScreenPreviewCommand() { FUi->FullScreenPreview(); }
  void FullScreenPaintCommand() { SetFullScreenPaint(!IsFullScreenPaint()); }
  void ChangeBackgroundCommand();
  void StopOnBordersCommand();
  void SetColorModeAutoCommand();
  void SetColorModeCustomCommand();
  // Library commands.
  void NewPatternCommand();
  void EditPatternCommand();
  void DelPatternCommand();
  void NewStyleCommand();
  void SaveStyleCommand();
  void SaveStyleAsCommand();
  void DelStyleCommand();
  void ResetStyleCommand();
  void NewStrokeCommand();
  void EditStrokeCommand();
  void DelStrokeCommand();
  // Help commands.
  void HelpCommand() { HelpCmd(); }
  void ContextHelpCommand();
  void AboutCommand() { FUi->AboutBox(); }

  // Opens the program's help pages, Help/index.html of the program folder.
  void HelpCmd();
  // Shows (creates) or closes the full-screen paint window; the window calls
  // SetFullScreenPaint(false) when it closes itself (Escape).
  void SetFullScreenPaint(bool On);
  bool IsFullScreenPaint() const { return FFullScreenPaint; }
  // The main window is going before the document: forget both views.
  void DetachViews();

  bool ApplyRunning = false;
  // The apply and repeat runs paint each stroke on a second thread while the
  // next is traced (same picture, bit for bit). The destination is then
  // painted behind the user interface's back: set this only when
  // ProcessEvents and ApplyProgress do not read it during a run.
  bool OverlapStrokes = false;
  bool Loading = false;
  // Whether saving a project first merges its history into one state; off,
  // each apply run and detail pass stays an undo step of its own.
  bool CompactOnSave = true;
  int ApplySteps = 5000;
  int ApplyNextStep = 1;
  std::unique_ptr<TTempManager> TempFolder;
  std::unique_ptr<TDualImage> Document;
  // The document's tool manager, made by ToolManagerFactory for each new
  // document; none when no factory is installed.
  std::unique_ptr<TAbstractToolManager> ToolManager;
  TToolManagerFactory ToolManagerFactory;
  // Built in this order at start-up: patterns, brushes, then styles.
  TPersistentObjectManager Patterns;
  TPersistentObjectManager Brushes;
  TPersistentObjectManager Styles;
  TPictureView* SourceView = nullptr;       // not owned
  TPictureView* DestinationView = nullptr;  // not owned
  // Notifications to the main window; each may be empty. Index is an index
  // into the matching library.
  using TNotify = std::function<void(TDomain&)>;
  using TIndexNotify = std::function<void(TDomain&, int Index)>;
  TNotify OnRefresh;      // after a tool, colour mode or document change
  TNotify OnContextHelp;  // "What is this?" mode was entered
  TIndexNotify OnPatternEdited;
  TIndexNotify OnStyleChanged;  // the current style or the style list changed
  TIndexNotify OnPatternDeleted;
  TIndexNotify OnStyleDeleting;  // before the style is deleted
  TIndexNotify OnBrushEdited;
  TIndexNotify OnBrushDeleted;
  // The style frame at Index and the brush thumbnail are to be drawn again.
  TIndexNotify OnUpdateStyleFrame;
  TNotify OnUpdateBrushThumbnail;
  // The document's history changed: the enabled commands may have changed.
  TNotify OnCommandsChanged;
  bool ApplyDone = false;

  // Crash recovery. With RecoveryJournal set (the desktop program), every
  // document journals its finished edits in the program folder's
  // "recovery/"; a save starts a fresh journal and a normal close removes it.
  bool RecoveryJournal = false;
  std::unique_ptr<TDocumentJournal> Journal;
  // Offers, one by one, the journals of programs that died, until one is
  // recovered; returns whether one was. Discard deletes a journal, Later
  // keeps it for the next start.
  bool OfferRecovery();
  // The document of a journal, rebuilt and marked modified; the journal is
  // taken over and goes on recording. Damage at its end is reported in an
  // information box saying how many edits were recovered. Throws
  // EBrellinError when the journal is in use, unreadable or forged.
  void RecoverJournal(const std::string& FileName);

 private:
  // Starts a fresh journal for the current document (dropping the old
  // one). Its start is ProjectFile's contents when given (the project the
  // document was read from or saved to), else the document's pictures.
  void StartJournal(const std::string& DocumentName, const std::string& ProjectFile = {});
  // Stops the journal and deletes it.
  void DropJournal();
  // Asks for a file with AskFile, writes the recorded strokes with Export
  // and tells Done and the file.
  void ExportVectors(bool (TDomainUi::*AskFile)(std::string&),
                     void (TDualImage::*Export)(const std::string&), const std::string& Done);
  // The detail passes after a completed apply run of Steps steps that
  // painted RunStrokes strokes; then tells the dialog the run's last step.
  void ApplyDetailPasses(uint64_t RunStrokes, int Steps);
  // Ends an apply run's edit: the destination's update, EndEdit, a repaint.
  void FinishRun(TBitmap32& Dest, bool PassSilentStop);
  // One painting run as one edit with the destination's updates held back;
  // the strokes go through the painting thread when OverlapStrokes is set.
  void RunInEdit(const std::function<void(TBitmap32&)>& Run);
  void BrushSelected();
  void StyleSelected();
  void StyleLeaving();
  void StyleAdded();
  void SelectStyleBrush();
  void SelectTool(int Tool);
  // Compacts the history and writes the project to Target.
  void WriteProject(const std::string& Target);
  // Frees the tool manager and then the document, leaving the views bare.
  void FreeDocument();
  // After a new document exists: its libraries, style and change
  // notification, the colour panel, a tool manager with the pointer.
  void SetUpDocument();
  // A tool manager for the new document, the pointer tool, OnRefresh.
  void StartToolManager();
  // Source view: scale 1, no scroll, the picture half transparent over the
  // view; destination view: scale 1, no scroll.
  void ResetViews();
  void Notify(const TNotify& Event) {
    if (Event) Event(*this);
  }
  void Notify(const TIndexNotify& Event, int Index) {
    if (Event) Event(*this, Index);
  }
  TDomainUi* FUi;
  bool FBrushSelectedDetached = false;
  bool FFullScreenPaint = false;

 public:
  // The pattern library's new pattern, before it is edited: five empty frames.
  void PatternCreated();
};

}  // namespace brellin
