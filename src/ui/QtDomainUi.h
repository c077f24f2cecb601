// The desktop program's answers to the domain: message boxes with the
// program's texts, questions, the input box, the file dialogs and the
// dialogs of the long operations, the busy cursor and the clipboard.
#pragma once

#include <QElapsedTimer>
#include <QPointer>
#include <QWidget>
#include <functional>

#include "base/Clipboard.h"
#include "domain/BDomain.h"

namespace brellin {

class TFApplyAll;

class TQtDomainUi : public TDomainUi {
 public:
  // Parent: the window the dialogs belong to (the main window), may be set later.
  explicit TQtDomainUi(QWidget* Parent = nullptr) : FParent(Parent) {}
  void SetParent(QWidget* Parent) { FParent = Parent; }

  void ErrorBox(const std::string& Caption, const std::string& Text) override;
  bool ProjectOptions(int PictureWidth, int PictureHeight, int SuggestedWidth, int SuggestedHeight,
                      TProjectOptions& Options) override;
  bool SaveImageFile(std::string& FileName) override;
  TAnswer Confirm(const std::string& Text) override;
  TRecoveryAnswer AskRecovery(const std::string& Text) override;
  void InfoBox(const std::string& Caption, const std::string& Text) override;
  bool SaveProjectFile(std::string& FileName) override;
  bool OpenProjectFile(std::string& FileName) override;
  bool SavePostScriptFile(std::string& FileName) override;
  bool SaveSvgFile(std::string& FileName) override;
  bool RenderSize(int& Width, int& Height, int& Resolution) override;
  bool OpenPictureFile(std::string& FileName) override;
  void Terminate() override;
  void ApplyProgress(int K, int S) override;
  void ProcessEvents() override;
  bool InputBox(const std::string& Caption, const std::string& Prompt, std::string& Value) override;
  bool WarningYesNo(const std::string& Text) override;
  void ApplyDialog(int Steps, const TApplyDialogHandlers& Handlers) override;
  bool BackgroundDialog(TBackgroundChoice& Choice) override;
  void AboutBox() override;
  void FullScreenPreview() override;
  void ShowNavigator() override;
  void HideNavigator() override;
  void ShowFullScreenPaint() override;
  void CloseFullScreenPaint() override;
  bool ShellOpen(const std::string& Path) override;
  void ShowHelpPage(const std::string& Keyword) override;
  void SetBusyCursor(bool Busy) override;
  void ResetColorPanel() override {
    if (OnResetColorPanel) OnResetColorPanel();
  }

  // Hooks of the main window.
  std::function<void()> OnTerminate;
  std::function<void()> OnResetColorPanel;
  std::function<void()> OnRepaintDestination;
  // Shows a page of the help in the program's help window.
  std::function<void(const std::string& Keyword)> OnShowHelpPage;
  // Brings the destination up to date while its strokes are painted on a
  // second thread; called before anything that may show it during a run.
  std::function<void()> SyncDestination;
  // The destination picture, for the full-screen preview.
  std::function<const TBitmap32*()> Destination;
  // The full-screen views and the navigator (set by whoever creates them);
  // without them the requests fall back to the port's defaults.
  std::function<void()> OnFullScreenPreview;
  std::function<void()> OnShowNavigator;
  std::function<void()> OnHideNavigator;
  std::function<void()> OnShowFullScreenPaint;
  std::function<void()> OnCloseFullScreenPaint;
  // The open document's project or picture file, from which save dialogs
  // suggest names; empty when there is none.
  std::function<std::string()> DocumentFileName;
  // A file dialog was answered with a file.
  std::function<void(const QString&)> OnFileChosen;

 private:
  QString DocumentName() const {
    return DocumentFileName ? QString::fromStdString(DocumentFileName()) : QString();
  }
  bool Chosen(bool Ok, const std::string& FileName) {
    if (Ok && OnFileChosen) OnFileChosen(QString::fromStdString(FileName));
    return Ok;
  }
  QPointer<QWidget> FParent;
  QPointer<TFApplyAll> FApply;
  // When events last ran during a run: they run, and the destination is
  // shown, about 40 times a second, not at every step.
  QElapsedTimer FEventsRan;
  int FBusy = 0;
};

// The system clipboard as the core's clipboard port (pictures as ARGB32).
class TQtClipboard : public TClipboardPort {
 public:
  bool HasBitmap() override;
  void GetBitmap(TBitmap32& Bitmap) override;
  void SetBitmap(const TBitmap32& Bitmap) override;
};

// The spec'd texts break lines with "\r" or "\r\n"; Qt wants "\n".
QString UiText(const std::string& Text);

}  // namespace brellin
