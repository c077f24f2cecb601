#include "ui/FloatingPanels.h"
#include "ui/Controls.h"

#include <QAbstractButton>
#include <QCursor>
#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QLinearGradient>
#include <QMouseEvent>
#include <QPainter>
#include <QToolButton>
#include <QVBoxLayout>

namespace brellin {

namespace {
constexpr int kHeaderHeight = 20;

// The header's 18 x 18 glyphs: 0 close, 1 pinned, 2 not pinned.
QIcon HeaderGlyph(int Index) {
  return DrawnIcon(18, [&](QPainter& p) {
    p.setPen(QPen(Qt::white, 2, Qt::SolidLine, Qt::RoundCap));
    if (Index == 0) {
      p.drawLine(5, 5, 13, 13);
      p.drawLine(13, 5, 5, 13);
    } else {
      // A pin: upright when pinned, lying when not.
      p.translate(9, 9);
      if (Index == 2) p.rotate(-90);
      p.setBrush(Qt::white);
      p.drawEllipse(QPointF(0, -4), 3, 3);
      p.drawLine(QPointF(0, -1), QPointF(0, 7));
    }
  });
}
}  // namespace

TFormPanel::TFormPanel(int Tag, const QString& Caption, bool Pinnable, QWidget* Content,
                       TPanelManager& Manager)
    : QWidget(nullptr, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint),
      FTag(Tag),
      FManager(Manager) {
  setWindowTitle(Caption);
  setWindowOpacity(240.0 / 255.0);
  setAttribute(Qt::WA_ShowWithoutActivating);
  auto* l = new QVBoxLayout(this);
  l->setContentsMargins(1, 1, 1, 1);
  l->setSpacing(0);
  auto* header = new QWidget(this);
  header->setFixedHeight(kHeaderHeight);
  header->setAttribute(Qt::WA_TransparentForMouseEvents, false);
  auto* h = new QHBoxLayout(header);
  h->setContentsMargins(6, 0, 1, 0);
  h->setSpacing(1);
  auto* caption = new QLabel(Caption, header);
  caption->setStyleSheet("QLabel { color: white; font-weight: bold; }");
  caption->setAttribute(Qt::WA_TransparentForMouseEvents);
  h->addWidget(caption, 1);
  const auto button = [header](int Glyph, const QString& Hint, const QString& Name) {
    auto* b = new QToolButton(header);
    b->setObjectName(Name);
    b->setIcon(HeaderGlyph(Glyph));
    b->setIconSize(QSize(18, 18));
    b->setAutoRaise(true);
    b->setToolTip(Hint);
    b->setFixedSize(18, 18);
    return b;
  };
  if (Pinnable) {
    FPin = button(2, "Fix the window", "btFix");
    h->addWidget(FPin);
    connect(FPin, &QToolButton::clicked, this,
            [this] { FManager.SetPinned(FTag, !FManager.IsPinned(FTag)); });
  }
  FClose = button(0, Tag == TPanelManagerModel::ColorVariation ? "Close window." : "Close window",
                  "btClose");
  h->addWidget(FClose);
  connect(FClose, &QToolButton::clicked, this, [this] {
    FManager.ClosePanel(FTag);
    FManager.SetPinned(FTag, false);
  });
  l->addWidget(header);
  Content->setParent(this);
  Content->show();
  l->addWidget(Content);
  adjustSize();
}

void TFormPanel::ShowPinned(bool Pinned) {
  if (FPin) FPin->setIcon(HeaderGlyph(Pinned ? 1 : 2));
}

void TFormPanel::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.fillRect(rect(), QColor(218, 229, 239));
  QLinearGradient g(0, 0, width(), 0);
  g.setColorAt(0, QColor(53, 97, 176));
  g.setColorAt(1, QColor(135, 206, 235));
  p.fillRect(QRect(0, 0, width(), kHeaderHeight + 1), g);
  p.setPen(QColor(53, 97, 176));
  p.drawRect(rect().adjusted(0, 0, -1, -1));
}

// Dragging anywhere on the body (what the controls leave to it) moves the window.
void TFormPanel::mousePressEvent(QMouseEvent* Event) {
  if (Event->button() != Qt::LeftButton) return;
  FMoving = true;
  FStartWindow = pos();
  FStartMouse = Event->globalPosition().toPoint();
}

void TFormPanel::mouseMoveEvent(QMouseEvent* Event) {
  if (FMoving) move(FStartWindow + (Event->globalPosition().toPoint() - FStartMouse));
}

void TFormPanel::mouseReleaseEvent(QMouseEvent*) {
  FMoving = false;
}

// ---------------------------------------------------------------------------

TPanelManager::TPanelManager(QWidget* MainWindow) : QObject(MainWindow), FMain(MainWindow) {}

TPanelManager::~TPanelManager() {
  // The windows have no owner: they go with the manager.
  for (auto& [tag, p] : FPanels) delete p;
}

TFormPanel* TPanelManager::AddPanel(int Tag, const QString& Caption, bool Pinnable,
                                    QWidget* Content) {
  auto* w = new TFormPanel(Tag, Caption, Pinnable, Content, *this);
  FPanels[Tag] = w;
  FModel.AddPanel(Tag);
  w->hide();
  return w;
}

void TPanelManager::AddOpener(QWidget* Opener, int Tag) {
  FOpeners[Opener] = Tag;
  if (auto* b = qobject_cast<QAbstractButton*>(Opener)) {
    connect(b, &QAbstractButton::clicked, this, [this, Tag] { OpenPanel(Tag); });
  } else {
    Opener->setCursor(Qt::PointingHandCursor);
    Opener->installEventFilter(this);
  }
}

TFormPanel* TPanelManager::panel(int Tag) const {
  const auto it = FPanels.find(Tag);
  return it == FPanels.end() ? nullptr : it->second;
}

void TPanelManager::OpenPanel(int Tag) {
  OpenPanel(Tag, QCursor::pos());
}

void TPanelManager::OpenPanel(int Tag, QPoint GlobalMouse) {
  TFormPanel* w = panel(Tag);
  if (!w || !FMain) return;
  w->adjustSize();
  const QRect m = FMain->frameGeometry();
  const TPoint p =
      TPanelManagerModel::OpenPosition(GlobalMouse.x(), GlobalMouse.y(), w->width(), w->height(),
                                       TRect{m.left(), m.top(), m.right() + 1, m.bottom() + 1});
  w->move(p.X, p.Y);
  FModel.Open(Tag);
  Sync();
}

void TPanelManager::ClosePanel(int Tag) {
  FModel.Close(Tag);
  Sync();
}

void TPanelManager::SetPinned(int Tag, bool Pinned) {
  FModel.SetPinned(Tag, Pinned);
  if (TFormPanel* w = panel(Tag)) w->ShowPinned(Pinned);
}

void TPanelManager::HideUnpinned() {
  FModel.HideUnpinned();
  Sync();
}

void TPanelManager::ShowPinned() {
  FModel.ShowPinned();
  Sync();
}

void TPanelManager::HideAll() {
  FModel.HideAll();
  Sync();
}

void TPanelManager::Sync() {
  for (auto& [tag, w] : FPanels) {
    const bool shown = FModel.IsShown(tag);
    if (shown && !w->isVisible()) {
      w->show();
      w->raise();
    } else if (!shown && w->isVisible()) {
      w->hide();
    }
  }
}

bool TPanelManager::eventFilter(QObject* Watched, QEvent* Event) {
  const auto it = FOpeners.find(Watched);
  if (it != FOpeners.end()) {
    auto* w = static_cast<QWidget*>(Watched);
    if (Event->type() == QEvent::Enter || Event->type() == QEvent::Leave) {
      // Underlined while hovered; the font's other styles stay.
      QFont f = w->font();
      f.setUnderline(Event->type() == QEvent::Enter);
      w->setFont(f);
    } else if (Event->type() == QEvent::MouseButtonRelease) {
      OpenPanel(it->second, static_cast<QMouseEvent*>(Event)->globalPosition().toPoint());
      return true;
    }
  }
  return QObject::eventFilter(Watched, Event);
}

}  // namespace brellin
