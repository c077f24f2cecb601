#include "ui/FFullScreen.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QScreen>
#include <QSplitter>
#include <QStyle>
#include <QToolButton>
#include <QVBoxLayout>

#include "base/Errors.h"
#include "domain/BDomain.h"
#include "ui/Controls.h"
#include "ui/FMain.h"
#include "ui/FNavigator.h"
#include "ui/ImgView.h"
#include "ui/QtBitmap.h"
#include "ui/QtDomainUi.h"

namespace brellin {

namespace {
const QColor kBarColor(200, 214, 223);
}  // namespace

// ---------------------------------------------------------------------------
// Full-screen preview

TFullScreenPreview::TFullScreenPreview(const QImage& Picture, QWidget* Parent)
    : QDialog(Parent, Qt::Window | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint),
      FPicture(Picture) {
  setObjectName("FullScreenPreview");
  setModal(true);
}

QRect TFullScreenPreview::pictureRect() const {
  if (FPicture.isNull()) return {};
  const QSize s = FPicture.size().scaled(size(), Qt::KeepAspectRatio);
  return {QPoint((width() - s.width()) / 2, (height() - s.height()) / 2), s};
}

void TFullScreenPreview::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.fillRect(rect(), Qt::black);
  if (FPicture.isNull()) return;
  p.setRenderHint(QPainter::SmoothPixmapTransform);
  p.drawImage(pictureRect(), FPicture);
}

void TFullScreenPreview::keyPressEvent(QKeyEvent*) {
  accept();
}

void TFullScreenPreview::mousePressEvent(QMouseEvent*) {
  accept();
}

// ---------------------------------------------------------------------------
// Full-screen paint

TFullScreenPaint::TFullScreenPaint(TFMain& Main, TDomain& Domain)
    : QWidget(&Main, Qt::Window | Qt::FramelessWindowHint),
      FMain(Main),
      FDomain(Domain),
      FView(Main.destinationView()) {
  setObjectName("FullScreenPaint");
  setWindowTitle("Full Screen Paint");
  setAttribute(Qt::WA_DeleteOnClose, false);
  FMain.SetFullScreenPaintActive(true);

  FBar = new QWidget;
  FBar->setObjectName("FullScreenBar");
  FBar->setFixedHeight(30);
  FBar->setAutoFillBackground(true);
  QPalette pal = FBar->palette();
  pal.setColor(QPalette::Window, kBarColor);
  FBar->setPalette(pal);
  auto* row = new QHBoxLayout(FBar);
  row->setContentsMargins(4, 1, 4, 1);
  row->setSpacing(4);

  // The three painting tools share the main window's actions (one group).
  for (const char* name : {"AutoDirCommand", "PatternCommand", "FreeHandCommand"}) {
    auto* b = new QToolButton;
    b->setDefaultAction(FMain.action(name));
    b->setIconSize(QSize(22, 22));
    b->setFixedSize(28, 28);
    b->setAutoRaise(true);
    row->addWidget(b);
    FToolButtons << b;
  }
  row->addSpacing(8);
  // Undo and redo with glyphs of their own; the menu items keep theirs.
  const std::pair<const char*, QStyle::StandardPixmap> edits[] = {
      {"UndoCommand", QStyle::SP_ArrowBack}, {"RedoCommand", QStyle::SP_ArrowForward}};
  for (const auto& [name, glyph] : edits) {
    QAction* a = FMain.action(name);
    auto* b = new QToolButton;
    b->setObjectName(name);
    b->setIcon(style()->standardIcon(glyph));
    b->setToolTip(a->text());
    b->setFixedSize(28, 28);
    b->setAutoRaise(true);
    b->setEnabled(a->isEnabled());
    connect(a, &QAction::changed, b, [a, b] { b->setEnabled(a->isEnabled()); });
    connect(b, &QToolButton::clicked, a, &QAction::trigger);
    row->addWidget(b);
  }
  row->addSpacing(8);

  const auto gauge = [&](const QString& Caption, const char* Name) {
    row->addWidget(new QLabel(Caption));
    auto* g = new TNumericGaugeBar;
    g->setObjectName(Name);
    // Narrower on small screens, so that the bar fits 800 pixels.
    g->setMinimumWidth(100);
    g->setMaximumWidth(145);
    row->addWidget(g);
    return g;
  };
  FSize = gauge("Size:", "gaSize");
  FSize->setIntValue(true);
  FSize->setRange(1, 300);
  FSize->setValue(100);
  FAlpha = gauge("Transparency:", "gaAlpha");
  const TGaugeModel& alpha = FMain.gauge(pgAlpha)->model();
  FAlpha->setRange(alpha.MinValue(), alpha.MaxValue());
  FAlpha->setLogScale(alpha.LogScale());
  FAlpha->setIntValue(alpha.IntValue());
  FAlpha->setValue(alpha.StoredValue());
  FVariation = gauge("Color Variation:", "gaVar");
  FVariation->setIntValue(true);
  FVariation->setRange(1, 300);
  FVariation->setValue(100);
  row->addStretch(1);
  FClose = new QToolButton;
  FClose->setObjectName("btClose");
  FClose->setIcon(style()->standardIcon(QStyle::SP_TitleBarCloseButton));
  FClose->setToolTip("Close");
  FClose->setAutoRaise(true);
  connect(FClose, &QToolButton::clicked, this, [this] {
    try {
      FDomain.SetFullScreenPaint(false);
    } catch (const std::exception& e) {
      LogError(e.what());
    }
  });
  row->addWidget(FClose);

  // The view moves here, remembering its place; it keeps its handlers, so
  // every tool works on it as in the main window.
  FOldParent = qobject_cast<QSplitter*>(FView->parentWidget());
  if (FOldParent) {
    FOldIndex = FOldParent->indexOf(FView);
    FOldSizes = FOldParent->sizes();
  }
  auto* l = new QVBoxLayout(this);
  l->setContentsMargins(0, 0, 0, 0);
  l->setSpacing(0);
  l->addWidget(FBar);
  l->addWidget(FView, 1);
  FView->show();

  FModel.Remember([this](int Id) { return FMain.gauge(Id)->value(); });
  connect(FSize, &TNumericGaugeBar::changed, this,
          [this] { BarChanged(TFullScreenBarModel::bgSize, FSize); });
  connect(FAlpha, &TNumericGaugeBar::changed, this,
          [this] { BarChanged(TFullScreenBarModel::bgAlpha, FAlpha); });
  connect(FVariation, &TNumericGaugeBar::changed, this,
          [this] { BarChanged(TFullScreenBarModel::bgVariation, FVariation); });

  // The main window's shortcuts of the tools and of undo and redo work here too.
  for (const char* name : {"PointerCommand", "AutoDirCommand", "PatternCommand", "FreeHandCommand",
                           "UndoCommand", "RedoCommand", "FullScreenPaintCommand"})
    if (QAction* a = FMain.action(name)) addAction(a);
}

TFullScreenPaint::~TFullScreenPaint() {
  Restore();
}

void TFullScreenPaint::showEvent(QShowEvent* Event) {
  QWidget::showEvent(Event);
  for (QToolButton* b : FToolButtons) b->setToolButtonStyle(Qt::ToolButtonIconOnly);
  FView->setFocus();
}

void TFullScreenPaint::closeEvent(QCloseEvent* Event) {
  // Closed by the window manager (Alt+F4): as Escape, so that the view goes
  // back and the domain knows the window is gone.
  try {
    if (FDomain.IsFullScreenPaint()) FDomain.SetFullScreenPaint(false);
  } catch (const std::exception& e) {
    LogError(e.what());
  }
  Restore();
  QWidget::closeEvent(Event);
}

void TFullScreenPaint::BarChanged(TFullScreenBarModel::TBarGauge Gauge, TNumericGaugeBar* G) {
  if (FRestored) return;
  // The main window's gauges clamp, and their handlers write the style or
  // the document.
  for (const auto& [id, v] : FModel.Targets(Gauge, G->value())) FMain.gauge(id)->setValue(v);
}

void TFullScreenPaint::Restore() {
  if (FRestored) return;
  FRestored = true;
  if (FOldParent) {
    FOldParent->insertWidget(FOldIndex, FView);
    FOldParent->setSizes(FOldSizes);
    FView->show();
  } else {
    // Never freed with this window: the main window owns the view.
    FView->setParent(&FMain);
  }
  for (const auto& [id, v] : FModel.Restore()) FMain.gauge(id)->setValue(v);
  FMain.SetFullScreenPaintActive(false);
}

// ---------------------------------------------------------------------------
// The domain's requests

TFullScreenViews::TFullScreenViews(TQtDomainUi& Ui, TFMain& Main, TDomain& Domain)
    : FUi(Ui), FMain(Main), FDomain(Domain) {
  FNavigator = new TFNavigator(
      Main.destinationView(), [this] { return FDomain.Document != nullptr; }, &Main);
  FUi.OnShowNavigator = [this] {
    if (!FNavigatorPlaced) {
      // First shown inside the destination view's top-right corner.
      TImgView* v = FMain.destinationView();
      const QPoint corner = v->mapToGlobal(QPoint(v->width(), 0));
      FNavigator->move(corner.x() - FNavigator->width() - 24, corner.y() + 8);
      FNavigatorPlaced = true;
    }
    FNavigator->show();
    FNavigator->raise();
  };
  FUi.OnHideNavigator = [this] { FNavigator->hide(); };
  FUi.OnFullScreenPreview = [this] {
    if (!FDomain.Document) return;
    TFullScreenPreview d(ToQImage(FDomain.Document->Destination()), &FMain);
    QScreen* screen = FMain.screen() ? FMain.screen() : QGuiApplication::primaryScreen();
    d.setGeometry(screen->geometry());
    d.showFullScreen();
    d.exec();
  };
  FUi.OnShowFullScreenPaint = [this] {
    if (FPaint) return;
    FPaint = new TFullScreenPaint(FMain, FDomain);
    // The whole screen even where the platform ignores the full-screen state.
    QScreen* screen = FMain.screen() ? FMain.screen() : QGuiApplication::primaryScreen();
    FPaint->setGeometry(screen->geometry());
    FPaint->showFullScreen();
    FPaint->raise();
    FPaint->activateWindow();
  };
  FUi.OnCloseFullScreenPaint = [this] { ClosePaint(); };
  // Without a document the navigator has nothing to show.
  FPreviousRefresh = FDomain.OnRefresh;
  FDomain.OnRefresh = [this](TDomain& D) {
    if (FPreviousRefresh) FPreviousRefresh(D);
    if (!D.Document && FNavigator) FNavigator->hide();
  };
}

TFullScreenViews::~TFullScreenViews() {
  FUi.OnShowNavigator = nullptr;
  FUi.OnHideNavigator = nullptr;
  FUi.OnFullScreenPreview = nullptr;
  FUi.OnShowFullScreenPaint = nullptr;
  FUi.OnCloseFullScreenPaint = nullptr;
  FDomain.OnRefresh = FPreviousRefresh;
  if (FDomain.IsFullScreenPaint()) FDomain.SetFullScreenPaint(false);
  ClosePaint();
  delete FPaint;
  delete FNavigator;
}

void TFullScreenViews::ClosePaint() {
  if (!FPaint) return;
  TFullScreenPaint* paint = FPaint;
  FPaint = nullptr;  // a new one may open before this one is freed
  paint->Restore();
  paint->hide();
  // Closing often runs inside one of the window's own events (Escape, the
  // close button): it goes once that event is done.
  paint->deleteLater();
}

}  // namespace brellin
