// The shared progress window: a small frameless window over the main
// window with an animation, the message and a bar. It draws the core's
// progress model and disables the main window while it is up.
#pragma once

#include <QPointer>
#include <QTimer>
#include <QWidget>
#include <functional>

#include "base/Progress.h"

class QLabel;
class QProgressBar;
class QPushButton;

namespace brellin {

class TFWait : public QWidget, public TProgressView {
  Q_OBJECT
 public:
  explicit TFWait(QWidget* MainWindow = nullptr);
  ~TFWait() override;
  // Becomes the view of the program's progress model (and leaves it when destroyed).
  void Install();
  void SetMainWindow(QWidget* W) { FMainWindow = W; }

  void ShowWindow(const std::string& Message) override;
  void HideWindow() override;
  void SetRange(int32_t MinValue, int32_t MaxValue) override;
  void SetPosition(int32_t Value) override;
  void ProcessEvents() override;
  void SetStoppable(bool Stoppable) override;
  // Called before events run: a run painting strokes on a second thread
  // brings the destination up to date there, since a repaint may show it.
  std::function<void()> BeforeEvents;

  QLabel* messageLabel() const { return FMessage; }
  QProgressBar* bar() const { return FBar; }
  QPushButton* stopButton() const { return FStop; }
  int animationFrame() const { return FFrame; }

 protected:
  void paintEvent(QPaintEvent* Event) override;
  void mousePressEvent(QMouseEvent* Event) override;

 private:
  QPointer<QWidget> FMainWindow;
  QLabel* FMessage;
  QProgressBar* FBar;
  QPushButton* FStop;
  QTimer FAnimation;
  int FFrame = 0;
};

}  // namespace brellin
