// The about box: the splash picture with the program's name, comments,
// credit line, version and build, the machine's memory and scrolling
// credits, closed by "OK".
#pragma once

#include <QDialog>

class QLabel;
class QTimer;

namespace brellin {

// A small panel that scrolls its text upwards, round and round, while shown.
class TCreditsScroller : public QWidget {
  Q_OBJECT
 public:
  explicit TCreditsScroller(const QString& Text, QWidget* Parent = nullptr);
  bool scrolling() const;
  int offset() const { return FOffset; }

 protected:
  void paintEvent(QPaintEvent* Event) override;
  void showEvent(QShowEvent* Event) override;
  void hideEvent(QHideEvent* Event) override;

 private:
  QStringList FLines;
  QTimer* FTimer;
  int FOffset = 0;
};

class TFAbout : public QDialog {
  Q_OBJECT
 public:
  // Version: the product version, shown up to its second dot; the build
  // label shows it whole.
  explicit TFAbout(QWidget* Parent = nullptr, const QString& Version = BRELLIN_VERSION);

  QLabel* versionLabel() const { return FVersion; }
  QLabel* buildLabel() const { return FBuild; }
  QLabel* creditLabel() const { return FCredit; }
  QLabel* totalMemoryLabel() const { return FTotal; }
  QLabel* freeMemoryLabel() const { return FFree; }
  TCreditsScroller* credits() const { return FCredits; }

 protected:
  void showEvent(QShowEvent* Event) override;
  void paintEvent(QPaintEvent* Event) override;

 private:
  QPixmap FSplash;
  QLabel *FVersion, *FBuild, *FCredit, *FTotal, *FFree;
  TCreditsScroller* FCredits;
};

}  // namespace brellin
