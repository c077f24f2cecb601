// The floating panels: seldom-used parameter groups in small frameless
// windows that open next to the mouse from a label or a pop-up button, are
// dragged by their body, and hide when the mouse goes back to the main
// window unless pinned.
#pragma once

#include <QPointer>
#include <QWidget>
#include <map>

#include "interaction/PanelModels.h"

class QLabel;
class QToolButton;

namespace brellin {

class TPanelManager;

// The window that carries one panel.
class TFormPanel : public QWidget {
  Q_OBJECT
 public:
  TFormPanel(int Tag, const QString& Caption, bool Pinnable, QWidget* Content,
             TPanelManager& Manager);
  int tag() const { return FTag; }
  QToolButton* pinButton() const { return FPin; }
  QToolButton* closeButton() const { return FClose; }
  void ShowPinned(bool Pinned);

 protected:
  void paintEvent(QPaintEvent* Event) override;
  void mousePressEvent(QMouseEvent* Event) override;
  void mouseMoveEvent(QMouseEvent* Event) override;
  void mouseReleaseEvent(QMouseEvent* Event) override;

 private:
  int FTag;
  TPanelManager& FManager;
  QToolButton *FPin = nullptr, *FClose;
  bool FMoving = false;
  QPoint FStartWindow, FStartMouse;
};

class TPanelManager : public QObject {
  Q_OBJECT
 public:
  explicit TPanelManager(QWidget* MainWindow);
  ~TPanelManager() override;
  // Takes Content into a floating window of its own.
  TFormPanel* AddPanel(int Tag, const QString& Caption, bool Pinnable, QWidget* Content);
  // A label (underlined while hovered) or a button that opens panel Tag.
  void AddOpener(QWidget* Opener, int Tag);

  // Opens panel Tag next to the mouse (global coordinates), inside the main window.
  void OpenPanel(int Tag, QPoint GlobalMouse);
  void OpenPanel(int Tag);
  void ClosePanel(int Tag);
  bool IsPinned(int Tag) const { return FModel.IsPinned(Tag); }
  void SetPinned(int Tag, bool Pinned);
  void HideUnpinned();
  void ShowPinned();
  void HideAll();
  TFormPanel* panel(int Tag) const;

 protected:
  bool eventFilter(QObject* Watched, QEvent* Event) override;

 private:
  void Sync();
  QPointer<QWidget> FMain;
  TPanelManagerModel FModel;
  std::map<int, TFormPanel*> FPanels;
  std::map<QObject*, int> FOpeners;
};

}  // namespace brellin
