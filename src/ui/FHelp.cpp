#include "ui/FHelp.h"

#include <QApplication>
#include <QDesktopServices>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <QTextBrowser>
#include <QVBoxLayout>

#include "base/ProgramFolder.h"

namespace brellin {

namespace {
const QColor kCream(255, 251, 240);
constexpr int kWidth = 523, kHeight = 295, kViewHeight = 277;
const char* const kSorry = "<H3>Sorry there is not help available</H3>";
}  // namespace

THelpLink::THelpLink(const QString& Text, QWidget* Parent) : QLabel(Text, Parent) {
  setCursor(Qt::PointingHandCursor);
}

void THelpLink::mouseReleaseEvent(QMouseEvent* Event) {
  if (Event->button() == Qt::LeftButton && isEnabled() && rect().contains(Event->pos()))
    emit clicked();
}

TFHelp::TFHelp(QWidget* Parent)
    : QWidget(Parent, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint) {
  setObjectName("FHlpWnd");
  setWindowTitle("Brellin Pro Help");
  setFixedSize(kWidth, kHeight);
  setAutoFillBackground(true);
  QPalette pal = palette();
  pal.setColor(QPalette::Window, kCream);
  pal.setColor(QPalette::Base, kCream);
  setPalette(pal);

  auto* l = new QVBoxLayout(this);
  l->setContentsMargins(1, 1, 1, 1);  // inside the black frame
  l->setSpacing(0);
  FBrowser = new QTextBrowser;
  FBrowser->setFixedHeight(kViewHeight - 1);
  FBrowser->setFrameShape(QFrame::NoFrame);
  FBrowser->setPalette(pal);
  FBrowser->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  FBrowser->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  // Links are followed here so that the window's own history records them;
  // the text itself is not selectable.
  FBrowser->setOpenLinks(false);
  FBrowser->setTextInteractionFlags(Qt::LinksAccessibleByMouse);
  QFont serif("serif");
  serif.setStyleHint(QFont::Serif);
  serif.setPointSize(10);
  FBrowser->document()->setDefaultFont(serif);
  connect(FBrowser, &QTextBrowser::anchorClicked, this, &TFHelp::LinkClicked);
  l->addWidget(FBrowser);

  auto* footer = new QWidget;
  auto* f = new QHBoxLayout(footer);
  f->setContentsMargins(6, 0, 6, 1);
  f->setSpacing(6);
  FBack = new THelpLink("<< Back");
  FNext = new THelpLink("Next >>");
  FMore = new THelpLink("More Help");
  FClose = new THelpLink("Close");
  FBack->setTextFormat(Qt::PlainText);
  FNext->setTextFormat(Qt::PlainText);
  f->addWidget(FBack);
  f->addWidget(new QLabel("|"));
  f->addWidget(FNext);
  f->addStretch();
  f->addWidget(FMore);
  f->addWidget(new QLabel("|"));
  f->addWidget(FClose);
  l->addWidget(footer);

  connect(FBack, &THelpLink::clicked, this, &TFHelp::Back);
  connect(FNext, &THelpLink::clicked, this, &TFHelp::Next);
  connect(FMore, &THelpLink::clicked, this, [this] {
    if (OnMoreHelp) OnMoreHelp();
  });
  connect(FClose, &THelpLink::clicked, this, &QWidget::hide);
  FBack->setEnabled(false);
  FNext->setEnabled(false);
}

void TFHelp::ShowHelp(const QString& Keyword) {
  Visit(QString::fromStdString(HelpPageFile(ProgramFolder(), Keyword.toStdString())));
  if (!isVisible()) {
    // Near the mouse, kept on its screen.
    QPoint at = QCursor::pos() + QPoint(16, 16);
    if (const QScreen* s = QGuiApplication::screenAt(QCursor::pos())) {
      const QRect r = s->availableGeometry();
      at.setX(qBound(r.left(), at.x(), r.right() - kWidth));
      at.setY(qBound(r.top(), at.y(), r.bottom() - kHeight));
    }
    move(at);
  }
  show();
  raise();
}

void TFHelp::Back() {
  if (FHistory.Back()) ShowCurrent();
}

void TFHelp::Next() {
  if (FHistory.Next()) ShowCurrent();
}

void TFHelp::Visit(const QString& File) {
  FHistory.Visit(File.toStdString());
  ShowCurrent();
}

void TFHelp::ShowCurrent() {
  const QString file = QString::fromStdString(FHistory.Current());
  // Checked at every showing: a page may have come or gone meanwhile.
  FSorry = !QFileInfo(file).isFile();
  if (FSorry) {
    FBrowser->setSource(QUrl());
    FBrowser->setHtml(kSorry);
  } else {
    // Cleared first so that showing the same page again reloads it.
    FBrowser->setSource(QUrl());
    FBrowser->setSource(QUrl::fromLocalFile(file));
  }
  FBack->setEnabled(FHistory.CanBack());
  FNext->setEnabled(FHistory.CanNext());
}

void TFHelp::LinkClicked(const QUrl& Url) {
  const QUrl target = FBrowser->source().resolved(Url);
  if (target.isLocalFile() && target.fileName().endsWith(".html", Qt::CaseInsensitive)) {
    const bool samePage =
        target.adjusted(QUrl::RemoveFragment) == FBrowser->source().adjusted(QUrl::RemoveFragment);
    if (!samePage) Visit(target.toLocalFile());
    if (target.hasFragment()) FBrowser->scrollToAnchor(target.fragment());
  } else {
    QDesktopServices::openUrl(target);
  }
}

void TFHelp::paintEvent(QPaintEvent* Event) {
  QWidget::paintEvent(Event);
  QPainter p(this);
  p.setPen(Qt::black);
  p.drawRect(rect().adjusted(0, 0, -1, -1));
}

TFHelp* ShowContextHelp(QWidget* Owner, const QString& Keyword, std::function<void()> MoreHelp) {
  auto* w = Owner->findChild<TFHelp*>(QString(), Qt::FindDirectChildrenOnly);
  if (!w) w = new TFHelp(Owner);
  w->OnMoreHelp = std::move(MoreHelp);
  w->ShowHelp(Keyword);
  return w;
}

}  // namespace brellin
