// The modal dialogs that collect the numbers and choices of the long
// operations. Their decisions live in interaction/DialogModels.h; these
// classes lay out the widgets and pass the user's input to the models.
#pragma once

#include <QDialog>
#include <QImage>
#include <functional>
#include <memory>

#include "interaction/DialogModels.h"

class QCheckBox;
class QDoubleSpinBox;
class QGroupBox;
class QLabel;
class QProgressBar;
class QPushButton;
class QRadioButton;
class QSpinBox;

namespace brellin {

class TNumericGaugeBar;

// "Apply to the whole image". The domain sets the handlers; the start
// handler runs the whole apply loop from inside the click and calls
// Progress after every step.
class TFApplyAll : public QDialog {
  Q_OBJECT
 public:
  explicit TFApplyAll(QWidget* Parent = nullptr);
  void SetSteps(int N);
  int Steps() const { return FModel.Steps(); }
  // The line under the step count saying what the strokes will follow.
  void SetFollows(const QString& Text);
  QLabel* followsLabel() const { return FFollows; }
  void Progress(int Step) { FModel.Progress(Step); }
  bool Running() const { return FModel.Running(); }
  void SetHandlers(std::function<void()> OnStart, std::function<void()> OnStop,
                   std::function<void()> OnClose);
  TApplyDialogModel& model() { return FModel; }
  QPushButton* startButton() const { return FOk; }
  QPushButton* closeButton() const { return FCancel; }
  QLabel* stepLabel() const { return FStepLabel; }
  QProgressBar* progressBar() const { return FBar; }
  QSpinBox* stepsEdit() const { return FSteps; }
  // "Detail passes" after a completed run, 0..4.
  void SetDetailPasses(int N);
  int DetailPasses() const;
  QSpinBox* passesEdit() const { return FPasses; }

 protected:
  void showEvent(QShowEvent* Event) override;
  void hideEvent(QHideEvent* Event) override;
  void reject() override;  // Escape and the window's close button

 private:
  void Refresh();
  QLayout* DetailPassesRow();
  TApplyDialogModel FModel;
  QSpinBox* FSteps;
  QSpinBox* FPasses = nullptr;
  QLabel* FStepLabel;
  QLabel* FFollows;
  QPushButton *FOk, *FCancel;
  QProgressBar* FBar;
  bool FClosing = false;
};

// "Render at Resolution": the size of a picture rendered again.
class TFImgSizeDlg : public QDialog {
  Q_OBJECT
 public:
  explicit TFImgSizeDlg(QWidget* Parent = nullptr);
  void SetImageSize(int W, int H);
  void SetResolution(int Dpi) { FModel.Resolution = Dpi; }
  int HorizPixels() const { return FModel.HorizPixels; }
  int VertPixels() const { return FModel.VertPixels; }
  int Resolution() const { return FModel.Res; }
  const TImageSizeModel& model() const { return FModel; }
  QDoubleSpinBox *horizLength, *vertLength;
  QSpinBox *resolution, *horizPixels, *vertPixels;
  QRadioButton *inches, *centimeters;
  QLabel* estimate;
  QGroupBox* lengthGroup;

 protected:
  void showEvent(QShowEvent* Event) override;

 private:
  // Shows the model in every field but Except.
  void ShowModel(const QWidget* Except = nullptr);
  // Runs one edit's update with the edits' own handlers held back; Source,
  // the field typed in, keeps what was typed.
  void Edited(const std::function<void()>& Step, const QWidget* Source = nullptr);
  TImageSizeModel FModel;
  bool FUpdating = false;
};

class TBackgroundSel;

// "Project Options": working size and background of a new document.
class TFResample : public QDialog {
  Q_OBJECT
 public:
  explicit TFResample(QWidget* Parent = nullptr);
  ~TFResample() override;
  void SetSizes(int OriginalW, int OriginalH, int SuggestedW, int SuggestedH);
  int WorkingWidth() const { return FModel.Width; }
  int WorkingHeight() const { return FModel.Height; }
  TBackgroundSel* backgroundSelector() const { return FBackground; }
  QCheckBox* cleanEdgesBox = nullptr;  // "Clean edges"
  QSpinBox *widthEdit, *heightEdit;
  QLabel *originalLabel, *stretchLabel, *preview;
  // Shows error boxes; tests replace it.
  std::function<void(const QString& Caption, const QString& Text)> ShowError;

 public slots:
  void done(int Result) override;

 protected:
  void showEvent(QShowEvent* Event) override;

 private:
  void RefreshPreview();
  TProjectOptionsModel FModel;
  TBackgroundSel* FBackground;
  bool FUpdating = false;
};

// "Background Selector": a solid colour, or a picture stretched or tiled.
class TBackgroundSel : public QDialog {
  Q_OBJECT
 public:
  explicit TBackgroundSel(QWidget* Parent = nullptr);
  TColor32 BackgroundColor() const { return FModel.BackgroundColor; }
  void SetBackgroundColor(TColor32 Color);
  // The picture and mode (0 solid colour, 1 stretched, 2 tiled) to start from.
  void SetBackgroundPicture(std::shared_ptr<const TBitmap32> Picture, uint8_t Mode);
  // May be null.
  std::shared_ptr<const TBitmap32> BackgroundPicture() const { return FModel.BackgroundPicture; }
  uint8_t BackgroundMode() const { return FModel.BackgroundMode(); }
  const TBackgroundSelectorModel& model() const { return FModel; }
  QCheckBox *solidColor, *image, *tiled, *stretch;
  QPushButton *selectColor, *loadImage;
  QLabel* preview;
  // Asks for a picture file (empty: cancelled) and for a colour; tests
  // replace them.
  std::function<QString()> PickImageFile;
  std::function<TColor32()> PickColor;
  std::function<void(const QString& Text)> ShowWarning;

 public slots:
  void accept() override;
  void reject() override;

 protected:
  void showEvent(QShowEvent* Event) override;

 private:
  void ShowChecks();
  void Refresh();
  void LoadImage();
  TBackgroundSelectorModel FModel;
  bool FUpdating = false;
};

// "Color Selector": a square of hues and lightnesses at a chosen saturation.
class TFColorSelector : public QDialog {
  Q_OBJECT
 public:
  explicit TFColorSelector(QWidget* Parent = nullptr);
  TColor32 PickedColor() const { return FPicked; }
  // Picks the square's colour at (X, Y), as a click there does.
  void PickAt(int X, int Y);
  // The colour given back when the user picks none.
  void SetPickedColor(TColor32 Color);
  TNumericGaugeBar* saturation() const { return FSat; }
  QLabel* square() const { return FSquare; }

 protected:
  bool eventFilter(QObject* Watched, QEvent* Event) override;

 private:
  void DrawSquare();
  TColor32 FPicked = 0;
  QImage FSquareImage;
  QLabel *FSquare, *FSwatch;
  TNumericGaugeBar* FSat;
};

}  // namespace brellin
