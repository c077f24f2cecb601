// The context-help window that "What is this?" opens: a small cream window
// without caption showing the clicked control's help page, with its own
// history, and the links "<< Back", "Next >>", "More Help" and "Close".
#pragma once

#include <QLabel>
#include <QWidget>
#include <functional>

#include "interaction/HelpModels.h"

class QTextBrowser;
class QUrl;

namespace brellin {

// A footer link: a label that reacts to clicks while enabled.
class THelpLink : public QLabel {
  Q_OBJECT
 public:
  explicit THelpLink(const QString& Text, QWidget* Parent = nullptr);
 signals:
  void clicked();

 protected:
  void mouseReleaseEvent(QMouseEvent* Event) override;
};

class TFHelp : public QWidget {
  Q_OBJECT
 public:
  // Parent: the window it belongs to; the help window stays above it.
  explicit TFHelp(QWidget* Parent = nullptr);

  // Shows Help/<Keyword>.html of the program folder (an empty keyword
  // means "tools"), or the "Sorry" text when the page is missing, and
  // makes the window visible. Not modal.
  void ShowHelp(const QString& Keyword);

  void Back();
  void Next();

  // "More Help": opens the whole help (the domain's help command).
  std::function<void()> OnMoreHelp;

  QTextBrowser* browser() const { return FBrowser; }
  THelpLink* backLink() const { return FBack; }
  THelpLink* nextLink() const { return FNext; }
  THelpLink* moreHelpLink() const { return FMore; }
  THelpLink* closeLink() const { return FClose; }
  const THelpHistory& history() const { return FHistory; }
  // True while the current page is missing and the "Sorry" text shows.
  bool showingSorry() const { return FSorry; }

 protected:
  void paintEvent(QPaintEvent* Event) override;

 private:
  void Visit(const QString& File);
  void ShowCurrent();
  void LinkClicked(const QUrl& Url);

  THelpHistory FHistory;
  QTextBrowser* FBrowser;
  THelpLink *FBack, *FNext, *FMore, *FClose;
  bool FSorry = false;
};

// Opens Owner's help window on Keyword, creating it the first time; MoreHelp
// becomes its "More Help" action.
TFHelp* ShowContextHelp(QWidget* Owner, const QString& Keyword, std::function<void()> MoreHelp);

}  // namespace brellin
