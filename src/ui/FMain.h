// The main window: the source and destination views side by side, the tool
// buttons, the project, style, size, pattern and colour panels, the
// parameter gauges, the menus bound to the domain's commands, and what
// keeps them in step with the document and the current style.
#pragma once

#include <QMainWindow>
#include <QPointer>
#include <QStringList>
#include <QTimer>
#include <array>
#include <map>

#include "interaction/MainWindowModel.h"
#include "render/UColorPanel.h"

class QAction;
class QActionGroup;
class QCheckBox;
class QComboBox;
class QLabel;
class QMenu;
class QPushButton;
class QScrollArea;
class QSplitter;
class QStackedWidget;
class QToolButton;
class QWidget;

namespace brellin {

class TDomain;
class TImgView;
class TImageListViewer;
class TNumericGaugeBar;
class TBrellinSlider;
class TSimpleColorSelector;
class TPanelManager;
class TQtDomainUi;

class TFMain : public QMainWindow {
  Q_OBJECT
 public:
  // Hands the two picture views to the domain and registers its notifications.
  explicit TFMain(TDomain& Domain, QWidget* Parent = nullptr);
  ~TFMain() override;

  TImgView* sourceView() const { return FImgSrc; }
  TImgView* destinationView() const { return FImgDst; }
  QAction* action(const std::string& Command) const;
  TNumericGaugeBar* gauge(int Id) const { return FGauges[size_t(Id)]; }
  QComboBox* styleList() const { return FStyles; }
  QLabel* vectorCountLabel() const { return FPSCount; }
  QLabel* reliefLabel() const { return FInfo3D; }
  QWidget* sizeDensityPanel() const { return FPanSize; }
  QWidget* patternsPanel() const { return FPanPatterns; }
  QWidget* projectInfoPanel() const { return FPanProject; }
  QWidget* stylePanel() const { return FPanStyle; }
  TPanelManager* panelManager() const { return FPanelManager; }
  bool stylePreviewPending() const { return FStylePreviewPending; }
  TColorPanel& colorPanel() { return FColorPanel; }
  // The window's caption: "Brellin Pro - " and the version.
  static QString Caption();
  // The caption with the document: its file name, and " *" while modified.
  QString DocumentCaption() const;
  // The open document's project file, else the picture it was made from;
  // empty with no document or one pasted from the clipboard.
  QString DocumentFileName() const;
  // "Open Recent": the latest file first (Ctrl+Shift+O), "Clear Recent" last.
  QMenu* recentMenu() const { return FRecentMenu; }
  // A file dialog of the domain was answered with Path (for the status bar).
  void NoteChosenFile(const QString& Path) { FChosenFile = Path; }

  // Re-reads which commands are enabled and checked (done when the event
  // queue runs empty).
  void UpdateActions();
  // Shows the document, the tool and the style in every control.
  void UpdateControls();
  // Opens Path as a project, as a command-line argument does: on failure
  // "Could not open " and the argument. A picture is opened as Open does.
  void OpenArgument(const QString& Path);
  // OpenArgument now, or once no run, long operation or modal dialog is
  // under way: a file handed over by a second copy arrives whenever events
  // run, and opening it then would take the document from under the run.
  void OpenArgumentWhenIdle(const QString& Path);
  // True while a run or a long operation is under way; it lets events run.
  bool Busy() const;
  // Runs a command as its menu item does: failures are logged and dropped.
  void RunCommand(const std::string& Name);
  // Called by the domain's exit command once the close was agreed.
  void Terminate();
  // A new document's colour panel: swatches and offsets forgotten.
  void ResetColorPanel();
  // Help/<Keyword>.html in the program's help window.
  void ShowHelpPage(const std::string& Keyword);
  // Installs the main window's hooks in the domain's user interface.
  void ConnectUi(TQtDomainUi& Ui);
  // The brush size preview's picture and its scale text.
  const TBitmap32& sizePreview() const { return FSizePreview; }
  QString sizePreviewScale() const;
  // Set while full-screen paint is open: style previews are not redrawn.
  // Clearing it redraws a preview that fell due meanwhile.
  void SetFullScreenPaintActive(bool On);
  bool fullScreenPaintActive() const { return FFullScreenPaintActive; }
  // Zoom: both views share one scale. Fit shows the whole picture (never
  // above 100 %) and follows the panes' size; 100 % and fit are remembered
  // between runs and applied to every document opened.
  enum TZoomMode { zmFit, zmActual, zmFree };
  TZoomMode zoomMode() const { return FZoomMode; }
  // Steps of a square root of two (negative: out) around view position
  // Anchor of View; without a view, around the destination view's centre.
  void ZoomBy(int Steps, TImgView* View = nullptr, QPoint Anchor = {-1, -1});
  void ZoomToFit();
  void ZoomToActualSize();
  QLabel* zoomLabel() const { return FZoomLabel; }

 protected:
  void closeEvent(QCloseEvent* Event) override;
  bool eventFilter(QObject* Watched, QEvent* Event) override;
  void showEvent(QShowEvent* Event) override;
  void changeEvent(QEvent* Event) override;
  void dragEnterEvent(QDragEnterEvent* Event) override;
  void dropEvent(QDropEvent* Event) override;

 private:
  void BuildActions();
  void BuildMenus();
  void AddRefineDetailsAction();
  QWidget* BuildBottomStrip();
  void BuildParameterPanels();
  // A label with a pop-up button that open floating panel Tag.
  QWidget* Opener(const QString& Caption, int Tag);
  QWidget* BuildColorPanel();
  void RegisterNotifications();
  void FillLibraries();
  void UpdateStyleFrame(int Index);
  void UpdateBrushPreview();
  void UpdateSizePreview();
  void UpdateColorPanel();
  void GaugeChanged(int Id);
  void CommitTypedValues();
  void SyncScroll(TImgView* From, TImgView* To);
  void Idle();
  void EnterHelpMode();
  QImage BrushThumbnail(int Index) const;
  QImage PatternThumbnail(int Index) const;
  // Comfort of a desktop program: recent files, remembered window, a caption
  // and status messages that say what happened, a strip that scrolls.
  struct TDocumentState {
    uint64_t Serial = 0;  // 0: no document
    std::string Project;
    bool Modified = false;
  };
  TDocumentState DocumentState() const;
  // After a command or an open: the recent list and a status bar message.
  void ReportFileOperation(const std::string& Command, const TDocumentState& Before, bool Done);
  void BuildRecentMenu();
  void FillRecentMenu();
  void RestoreWindowState();
  void SaveWindowState();
  void FitToScreen();
  void UpdateCaption();
  QWidget* ScrollableStrip(QWidget* Strip);
  void AddToolTips();
  void BuildZoom();
  // Sets both views' scale, View's point at Anchor staying where it is.
  void ZoomViews(float Scale, TImgView* View, QPoint Anchor);
  void UpdateZoomLabel();
  // A new document gets the remembered zoom; called from UpdateControls.
  void FollowDocumentZoom();

  TDomain& FDomain;
  TImgView *FImgSrc, *FImgDst;
  QSplitter* FSplitter;
  QWidget *FCentre, *FBottom;
  TPanelManager* FPanelManager;
  std::map<std::string, QAction*> FActions;
  QActionGroup* FToolGroup;
  std::map<int, QToolButton*> FToolButtons;
  // Bottom strip.
  QWidget *FPanProject, *FPanStyle, *FPanSize, *FPanPatterns, *FPanColors;
  QLabel *FPSCount, *FKbSize, *FStatusMemory;
  QPushButton* FSaveProject;
  QComboBox* FStyles;
  QLabel *FPreviewStyle, *FImgBrush, *FImgSize, *FInfo3D;
  TImageListViewer *FPatternList, *FBrushList;
  std::array<TNumericGaugeBar*, pgCount> FGauges{};
  QCheckBox *FStopBorder, *FStraightLines;
  // Colour panel.
  TColorPanel FColorPanel;
  std::array<QPushButton*, 3> FModeButtons{};  // by TColorMode
  QPushButton* FColorReset;
  QStackedWidget* FColorStack;
  std::array<TBrellinSlider*, 3> FOffsetSliders{};
  TSimpleColorSelector *FSelectorVar, *FSelectorFixed;
  std::array<QLabel*, TColorPanel::SwatchCount> FSwatches{};
  QLabel *FShapeFore, *FShapeBack;

  TBitmap32 FSizePreview;
  std::string FSizeScale;
  bool FStylePreviewPending = false;
  bool FUpdating = false;  // the controls' change handlers are detached
  bool FHelpMode = false;
  bool FTerminating = false;
  bool FSyncingScroll = false;
  bool FFullScreenPaintActive = false;
  qint64 FLastIdleWork = 0;
  // Files handed over while busy, opened in order by FPendingTimer.
  QStringList FPendingArguments;
  QTimer FPendingTimer;
  QMenu* FRecentMenu = nullptr;
  QAction* FOpenLatest = nullptr;
  QString FChosenFile;
  TZoomMode FZoomMode = zmFit;
  uint64_t FZoomSerial = 0;  // the document the zoom was last set up for
  QLabel* FZoomLabel = nullptr;
};

// Appends a time-stamped line to "brellin.log" of the program folder.
void LogError(const std::string& Text);

}  // namespace brellin
