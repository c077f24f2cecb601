// The windows that show the destination outside the main window's layout:
// the full-screen preview, full-screen paint (the destination view moved
// into a full-screen window under a bar of the most used settings), and
// the wiring that lets the domain open them and the navigator.
#pragma once

#include <QDialog>
#include <QImage>
#include <QPointer>
#include <QWidget>
#include <functional>

#include "interaction/FullScreenModels.h"
#include "ui/FNavigator.h"

class QSplitter;
class QToolButton;

namespace brellin {

class TDomain;
class TFMain;
class TImgView;
class TNumericGaugeBar;
class TQtDomainUi;

// The destination picture scaled to fit the whole screen, proportions
// kept; any key or click closes it.
class TFullScreenPreview : public QDialog {
  Q_OBJECT
 public:
  explicit TFullScreenPreview(const QImage& Picture, QWidget* Parent = nullptr);
  // Where the picture is drawn in the window.
  QRect pictureRect() const;

 protected:
  void paintEvent(QPaintEvent* Event) override;
  void keyPressEvent(QKeyEvent* Event) override;
  void mousePressEvent(QMouseEvent* Event) override;

 private:
  QImage FPicture;
};

// Painting on the whole screen: the main window's destination view moves
// into this window, below a 30-pixel bar with the tools, undo and redo, and
// Size, Transparency and Color Variation as percentages of the main
// window's values. Restore() gives everything back.
class TFullScreenPaint : public QWidget {
  Q_OBJECT
 public:
  TFullScreenPaint(TFMain& Main, TDomain& Domain);
  ~TFullScreenPaint() override;

  QWidget* bar() const { return FBar; }
  TNumericGaugeBar* sizeGauge() const { return FSize; }
  TNumericGaugeBar* alphaGauge() const { return FAlpha; }
  TNumericGaugeBar* variationGauge() const { return FVariation; }
  QToolButton* closeButton() const { return FClose; }
  // Puts the view back in its place and the main window's values back;
  // only the first call does anything.
  void Restore();

 protected:
  void showEvent(QShowEvent* Event) override;
  void closeEvent(QCloseEvent* Event) override;

 private:
  void BarChanged(TFullScreenBarModel::TBarGauge Gauge, TNumericGaugeBar* G);
  TFMain& FMain;
  TDomain& FDomain;
  TImgView* FView;
  QPointer<QSplitter> FOldParent;
  int FOldIndex = -1;
  QList<int> FOldSizes;
  QWidget* FBar;
  TNumericGaugeBar *FSize, *FAlpha, *FVariation;
  QList<QToolButton*> FToolButtons;
  QToolButton* FClose;
  TFullScreenBarModel FModel;
  bool FRestored = false;
};

// Creates the navigator and answers the domain's requests for the
// full-screen views through the desktop's domain adapter.
class TFullScreenViews {
 public:
  TFullScreenViews(TQtDomainUi& Ui, TFMain& Main, TDomain& Domain);
  // Closes full-screen paint and unhooks; goes before the main window.
  ~TFullScreenViews();
  TFNavigator* navigator() const { return FNavigator; }
  TFullScreenPaint* fullScreenPaint() const { return FPaint; }

 private:
  void ClosePaint();
  TQtDomainUi& FUi;
  TFMain& FMain;
  TDomain& FDomain;
  QPointer<TFNavigator> FNavigator;
  QPointer<TFullScreenPaint> FPaint;
  std::function<void(TDomain&)> FPreviousRefresh;
  bool FNavigatorPlaced = false;
};

}  // namespace brellin
