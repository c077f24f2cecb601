// The parameter panels' own controls. Each holds the Qt-free model of its
// behaviour (interaction/ControlModels.h) and only draws it and feeds it
// the user's input.
#pragma once

#include <QAbstractScrollArea>
#include <QIcon>
#include <QImage>
#include <QLineEdit>
#include <QWidget>

class QPainter;
#include <functional>
#include <vector>

#include "interaction/ControlModels.h"

namespace brellin {

// The gauge's edit box: keeps only what a number can hold; Enter accepts.
// An icon drawn by Draw on a Size x Size canvas, kept at one, two and three
// device pixels per pixel so that it stays crisp on any screen's scale.
QIcon DrawnIcon(int Size, const std::function<void(QPainter&)>& Draw);

class TBrellinEdit : public QLineEdit {
  Q_OBJECT
 public:
  explicit TBrellinEdit(QWidget* Parent = nullptr);
 signals:
  // Enter or Tab: the text is to be accepted.
  void accepted();

 protected:
  void keyPressEvent(QKeyEvent* Event) override;
  bool focusNextPrevChild(bool Next) override;
  void focusOutEvent(QFocusEvent* Event) override;
};

// A numeric gauge: a bar to drag on the left, the value's edit box on the right.
class TNumericGaugeBar : public QWidget {
  Q_OBJECT
 public:
  explicit TNumericGaugeBar(QWidget* Parent = nullptr);

  void setRange(float Min, float Max);
  void setLogScale(bool Value);
  void setIntValue(bool Value);
  float value() const { return FModel.Value(); }
  void setValue(float Value);
  const TGaugeModel& model() const { return FModel; }
  TBrellinEdit* edit() const { return FEdit; }
  // The bar's rectangle, for tests and hit testing.
  QRect barRect() const;

  QSize sizeHint() const override { return {145, 14}; }

  QColor ColorShapePen{95, 137, 160}, ColorEdit{196, 214, 217}, ColorFont{20, 40, 60};
  QColor ColorGauge{120, 160, 190}, ColorHandle{40, 80, 120}, ColorBackground{218, 229, 239};

 signals:
  void changed();
  // The mouse went down on, or up from, the bar (a drag redraws the style
  // preview once, at the release).
  void barPressed();
  void barReleased();

 protected:
  void paintEvent(QPaintEvent* Event) override;
  void mousePressEvent(QMouseEvent* Event) override;
  void mouseMoveEvent(QMouseEvent* Event) override;
  void mouseReleaseEvent(QMouseEvent* Event) override;
  void resizeEvent(QResizeEvent* Event) override;

 private:
  void AcceptEdit();
  void MoveBarTo(int X);
  void SyncEdit();
  TGaugeModel FModel;
  TBrellinEdit* FEdit;
  bool FDragging = false;
};

// A thumb dragged along a ruler.
class TBrellinSlider : public QWidget {
  Q_OBJECT
 public:
  explicit TBrellinSlider(QWidget* Parent = nullptr);
  int position() const { return FModel.Position(); }
  void setPosition(int Value) { FModel.SetPosition(Value); }
  int maximum() const { return FModel.Maximum(); }
  void setMaximum(int Value) { FModel.SetMaximum(Value); }
  void setHorizontal(bool Value);
  const TSliderModel& model() const { return FModel; }
  QSize sizeHint() const override { return {191, 11}; }

 signals:
  void beginChange();
  void changedPosition();
  void stopChange();

 protected:
  void paintEvent(QPaintEvent* Event) override;
  void mousePressEvent(QMouseEvent* Event) override;
  void mouseMoveEvent(QMouseEvent* Event) override;
  void mouseReleaseEvent(QMouseEvent* Event) override;
  void resizeEvent(QResizeEvent* Event) override;

 private:
  TSliderModel FModel;
};

// A field of colours (hue and saturation at the slider's lightness) to pick
// from: the left button picks the selected colour, the others the secondary.
class TSimpleColorSelector : public QWidget {
  Q_OBJECT
 public:
  explicit TSimpleColorSelector(QWidget* Parent = nullptr);
  TColor32 selectedColor() const { return FPick.Selected; }
  TColor32 secondaryColor() const { return FPick.Secondary; }
  void setHorizontalLayout(bool Value);
  TBrellinSlider* slider() const { return FSlider; }
  // The colour shown at (X, Y) of the field.
  TColor32 fieldColor(int X, int Y) const;

 signals:
  void selectColor();

 protected:
  void paintEvent(QPaintEvent* Event) override;
  void mouseReleaseEvent(QMouseEvent* Event) override;
  void resizeEvent(QResizeEvent* Event) override;

 private:
  void RedrawField();
  TBrellinSlider* FSlider;
  TBitmap32 FField;
  TColorFieldPick FPick;
  bool FHorizontal = true;
};

// A grid of thumbnails to choose from (pattern or brush thumbnails).
class TImageListViewer : public QAbstractScrollArea {
  Q_OBJECT
 public:
  // Framed: each image in a black frame, the selection framed in blue
  // (pattern thumbnails). Otherwise the selected thumbnail is tinted with
  // ColorSelected (brush thumbnails).
  explicit TImageListViewer(bool Framed, QWidget* Parent = nullptr);
  // Replaces the images; the thumbnail size comes from the first image
  // while it is unset; the selection goes back to 0.
  void setImages(std::vector<QImage> Images);
  void setImage(int Index, const QImage& Image);
  void setThumbSize(int W, int H);
  int selectedIndex() const { return FSelected; }
  void setSelectedIndex(int Index);
  const TThumbGridLayout& layoutModel() const { return FLayout; }
  QColor Color{218, 229, 239};
  QColor ColorSelected{80, 120, 255};
  // The tip of image Index (a brush's or pattern's name); empty gives the
  // widget's own tip.
  std::function<QString(int Index)> TipOf;

 signals:
  void mouseDownThumb(int Index, int X, int Y);
  void mouseUpThumb(int Index, int X, int Y);

 protected:
  void paintEvent(QPaintEvent* Event) override;
  void mousePressEvent(QMouseEvent* Event) override;
  void mouseReleaseEvent(QMouseEvent* Event) override;
  void resizeEvent(QResizeEvent* Event) override;
  bool viewportEvent(QEvent* Event) override;

 private:
  void Relayout();
  QPoint SheetPoint(QPoint ViewportPoint) const;
  bool FFramed;
  std::vector<QImage> FImages;
  TThumbGridLayout FLayout;
  int FSelected = 0;
};

}  // namespace brellin
