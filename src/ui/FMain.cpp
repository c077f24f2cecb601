#include "ui/FMain.h"

#include <QAbstractEventDispatcher>
#include <QAbstractItemView>
#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDateTime>
#include <QDesktopServices>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLocale>
#include <QMenuBar>
#include <QMessageBox>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QSplitter>
#include <QStackedWidget>
#include <QStandardItemModel>
#include <QStatusBar>
#include <QStyle>
#include <QTextStream>
#include <QToolButton>
#include <QUrl>
#include <QVBoxLayout>
#include <cmath>
#include <fstream>

#include "base/Errors.h"
#include "base/ProgramFolder.h"
#include "base/Progress.h"
#include "base/Resampler.h"
#include "domain/BDomain.h"
#include "domain/Commands.h"
#include "library/Patterns.h"
#include "library/Styles.h"
#include "render/BitmapBrushRenderer.h"
#include "ui/Controls.h"
#include "ui/FHelp.h"
#include "ui/FloatingPanels.h"
#include "ui/ImgView.h"
#include "ui/QtBitmap.h"
#include "ui/QtDomainUi.h"

namespace brellin {

namespace {
const QColor kPanelColor(218, 229, 239);
constexpr TColor32 kPanelColor32 = Color32(218, 229, 239);

QString Text(std::string_view S) {
  return QString::fromUtf8(S.data(), qsizetype(S.size()));
}

void SetHelpKeyword(QWidget* W, const char* Keyword) {
  W->setProperty("helpKeyword", Keyword);
}

QString HelpKeywordOf(QObject* O) {
  for (; O; O = O->parent()) {
    const QVariant k = O->property("helpKeyword");
    if (k.isValid()) return k.toString();
  }
  return "general";
}

// The tool buttons' 32 x 32 pictures, drawn rather than shipped.
QIcon ToolIcon(int Index) {
  return DrawnIcon(32, [&](QPainter& p) {
    p.setPen(QPen(QColor(30, 40, 60), 2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    switch (Index) {
      case 0: {  // pointer
        QPolygonF arrow({{9, 4}, {9, 25}, {14, 20}, {18, 28}, {21, 27}, {17, 19}, {24, 19}});
        p.setBrush(Qt::white);
        p.drawPolygon(arrow);
        break;
      }
      case 1: {  // auto-sketch: a spray of strokes in a circle
        p.setBrush(Qt::NoBrush);
        p.setPen(QPen(QColor(30, 40, 60), 1.5, Qt::DashLine));
        p.drawEllipse(QRectF(4, 4, 24, 24));
        p.setPen(QPen(QColor(30, 40, 60), 2, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(10, 12), QPointF(16, 9));
        p.drawLine(QPointF(11, 18), QPointF(20, 14));
        p.drawLine(QPointF(13, 23), QPointF(22, 20));
        break;
      }
      case 2: {  // pattern: a stamped curl
        QPainterPath path(QPointF(5, 24));
        path.cubicTo(QPointF(8, 4), QPointF(26, 4), QPointF(20, 16));
        path.cubicTo(QPointF(16, 24), QPointF(10, 16), QPointF(27, 26));
        p.drawPath(path);
        break;
      }
      case 3: {  // free hand: a band along a curve
        QPainterPath path(QPointF(4, 22));
        path.cubicTo(QPointF(10, 4), QPointF(20, 30), QPointF(28, 8));
        p.setPen(QPen(QColor(70, 110, 150), 6, Qt::SolidLine, Qt::RoundCap));
        p.drawPath(path);
        p.setPen(QPen(QColor(30, 40, 60), 1.5));
        p.drawPath(path);
        break;
      }
      default: {  // what is this?
        QFont f = p.font();
        f.setPixelSize(24);
        f.setBold(true);
        p.setFont(f);
        p.drawText(QRect(0, 0, 32, 32), Qt::AlignCenter, "?");
      }
    }
  });
}

QLabel* PanelCaption(const QString& Caption, QWidget* Parent) {
  auto* l = new QLabel(Caption, Parent);
  QFont f = l->font();
  f.setBold(true);
  l->setFont(f);
  return l;
}

QWidget* Panel(const QString& Name) {
  auto* w = new QWidget;
  w->setObjectName(Name);
  w->setAutoFillBackground(true);
  // The program's own paper texture, tiled; the plain panel colour where
  // the resource is missing.
  static const QPixmap tile(":/brellin/panel-background.png");
  QPalette p = w->palette();
  if (tile.isNull())
    p.setColor(QPalette::Window, kPanelColor);
  else
    p.setBrush(QPalette::Window, QBrush(tile));
  w->setPalette(p);
  return w;
}

// With the user's thousands separators.
QString VectorsText(int64_t Count) {
  return QLocale().toString(qlonglong(Count)) + " Vectors";
}

QImage Inverted(QImage I) {
  I.invertPixels(QImage::InvertRgb);
  return I;
}
}  // namespace

void LogError(const std::string& Text) {
  std::ofstream log(ProgramFolder() + "brellin.log", std::ios::app);
  if (log)
    log << QDateTime::currentDateTime().toString(Qt::ISODate).toStdString() << " " << Text << "\n";
}

QString TFMain::Caption() {
  return QString("Brellin Pro - %1").arg(BRELLIN_VERSION);
}

TFMain::TFMain(TDomain& Domain, QWidget* Parent) : QMainWindow(Parent), FDomain(Domain) {
  setWindowTitle(Caption());
  FImgSrc = new TImgView;
  FImgDst = new TImgView;
  SetHelpKeyword(FImgSrc, "img");
  SetHelpKeyword(FImgDst, "img");
  // The source shows through, faded, over white paper.
  FImgSrc->model().BackgroundColor = clWhite32;
  FImgDst->model().BackgroundColor = Color32(160, 160, 160);
  // Photos drawn at the screen's resolution, crisp on high-density screens.
  FImgSrc->setDevicePixels(true);
  FImgDst->setDevicePixels(true);

  BuildActions();
  BuildMenus();
  BuildRecentMenu();
  BuildZoom();

  FSplitter = new QSplitter(Qt::Horizontal);
  FSplitter->addWidget(FImgSrc);
  FSplitter->addWidget(FImgDst);
  FSplitter->setChildrenCollapsible(true);
  FCentre = FSplitter;
  FPanelManager = new TPanelManager(this);
  BuildParameterPanels();
  FBottom = ScrollableStrip(BuildBottomStrip());

  auto* central = new QWidget;
  auto* l = new QVBoxLayout(central);
  l->setContentsMargins(0, 0, 0, 0);
  l->setSpacing(0);
  l->addWidget(FCentre, 1);
  l->addWidget(FBottom);
  setCentralWidget(central);
  FStatusMemory = new QLabel;
  FStatusMemory->setMinimumWidth(50);
  statusBar()->addWidget(FStatusMemory);
  resize(1028, 716 + menuBar()->sizeHint().height() + statusBar()->sizeHint().height());
  {
    const int half = (1028 - FSplitter->handleWidth()) / 2;
    FSplitter->setSizes({1028 - FSplitter->handleWidth() - half, half});
  }
  RestoreWindowState();
  setAcceptDrops(true);

  // The views' own handlers: after the tool has handled a press, typed
  // values are taken (the tool manager chains to these).
  const auto commit = [this](TPictureView&, TMouseButton, TShiftState, int, int, TPaintLayer*) {
    CommitTypedValues();
  };
  FImgSrc->model().Events.OnMouseDown = commit;
  FImgDst->model().Events.OnMouseDown = commit;
  const auto hide = [this](TPictureView&, TShiftState, int, int, TPaintLayer*) {
    FPanelManager->HideUnpinned();
  };
  FImgSrc->model().Events.OnMouseMove = hide;
  FImgDst->model().Events.OnMouseMove = hide;
  connect(qApp, &QGuiApplication::applicationStateChanged, this, [this](Qt::ApplicationState s) {
    if (s == Qt::ApplicationActive) {
      FPanelManager->ShowPinned();
      return;
    }
    FPanelManager->HideAll();
    if (FDomain.IsFullScreenPaint()) FDomain.SetFullScreenPaint(false);
  });
  connect(FImgSrc, &TImgView::scrolled, this, [this] { SyncScroll(FImgSrc, FImgDst); });
  connect(FImgDst, &TImgView::scrolled, this, [this] { SyncScroll(FImgDst, FImgSrc); });

  FDomain.SourceView = &FImgSrc->model();
  FDomain.DestinationView = &FImgDst->model();
  RegisterNotifications();
  FColorPanel.OnChange = [this](TColorPanel&) { UpdateColorPanel(); };
  FillLibraries();
  AddToolTips();

  // Files handed over are opened from the event loop, never inside a run
  // or a dialog; checked a few times a second until then.
  FPendingTimer.setInterval(100);
  connect(&FPendingTimer, &QTimer::timeout, this, [this] {
    if (FPendingArguments.isEmpty()) return FPendingTimer.stop();
    if (Busy() || QApplication::activeModalWidget()) return;
    const QString path = FPendingArguments.takeFirst();
    if (FPendingArguments.isEmpty()) FPendingTimer.stop();
    OpenArgument(path);
  });

  qApp->installEventFilter(this);
  connect(QAbstractEventDispatcher::instance(), &QAbstractEventDispatcher::aboutToBlock, this,
          &TFMain::Idle);
  UpdateControls();
  UpdateActions();
}

TFMain::~TFMain() {
  qApp->removeEventFilter(this);
  // The widgets outlive this destructor (QWidget frees its children later,
  // the floating panels with the gauges go after that) and may still signal,
  // a gauge's edit box losing its focus for one: nothing of this
  // half-destroyed window may answer.
  for (QObject* child : findChildren<QObject*>())
    QObject::disconnect(child, nullptr, this, nullptr);
  for (TNumericGaugeBar* gauge : FGauges)
    if (gauge) {
      QObject::disconnect(gauge, nullptr, this, nullptr);
      QObject::disconnect(gauge->edit(), nullptr, this, nullptr);
    }
  // The tool manager holds the views' handlers: it goes before the views.
  FDomain.ToolManager.reset();
  if (FDomain.Document) FDomain.DetachViews();
  FDomain.SourceView = nullptr;
  FDomain.DestinationView = nullptr;
  FDomain.OnRefresh = nullptr;
  FDomain.OnContextHelp = nullptr;
  FDomain.OnPatternEdited = nullptr;
  FDomain.OnStyleChanged = nullptr;
  FDomain.OnPatternDeleted = nullptr;
  FDomain.OnStyleDeleting = nullptr;
  FDomain.OnBrushEdited = nullptr;
  FDomain.OnBrushDeleted = nullptr;
  FDomain.OnUpdateStyleFrame = nullptr;
  FDomain.OnUpdateBrushThumbnail = nullptr;
  FDomain.OnCommandsChanged = nullptr;
}

QAction* TFMain::action(const std::string& Command) const {
  const auto it = FActions.find(Command);
  return it == FActions.end() ? nullptr : it->second;
}

// ---------------------------------------------------------------------------
// Commands

void TFMain::BuildActions() {
  FToolGroup = new QActionGroup(this);
  FToolGroup->setExclusive(true);
  for (const TCommandInfo& c : CommandTable()) {
    auto* a = new QAction(Text(c.Caption), this);
    const std::string name(c.Name);
    a->setObjectName(Text(c.Name));
    if (!c.Hint.empty()) {
      a->setStatusTip(Text(c.Hint));
      a->setToolTip(Text(c.Hint));
    }
    QList<QKeySequence> keys;
    for (std::string_view k : c.Shortcuts) keys << QKeySequence::fromString(Text(k));
    // Save Project As gets its own keys, next to Save Project's Ctrl+D.
    if (name == "SaveProjectAsCommand" && keys.isEmpty()) keys << QKeySequence("Ctrl+Shift+D");
    a->setShortcuts(keys);
    if (c.ImageIndex >= 0) a->setIcon(ToolIcon(c.ImageIndex));
    // "What is this?" is one of the tool buttons: while it is the tool, no
    // other shows pressed.
    if (c.GroupIndex == 1 || name == "ContextHelpCommand") {
      a->setCheckable(true);
      FToolGroup->addAction(a);
    }
    if (name == "ViewBordersCommand" || name == "ViewDirectionsCommand" ||
        name == "StopOnBordersCommand")
      a->setCheckable(true);
    connect(a, &QAction::triggered, this, [this, name] { RunCommand(name); });
    addAction(a);
    FActions[name] = a;
  }
  // SVG output is the desktop's own: it follows PostScript output's enabling.
  auto* svg = new QAction("SVG Output", this);
  svg->setObjectName("SvgCommand");
  svg->setStatusTip("Export to SVG");
  svg->setToolTip("Export to SVG");
  svg->setShortcut(QKeySequence("Ctrl+Shift+P"));
  connect(svg, &QAction::triggered, this, [this] { RunCommand("SvgCommand"); });
  addAction(svg);
  FActions["SvgCommand"] = svg;
  AddRefineDetailsAction();
}

void TFMain::AddRefineDetailsAction() {
  // Detail passes over the painting as it is, as after an apply run.
  auto* refine = new QAction("Refine details...", this);
  refine->setObjectName("RefineDetailsCommand");
  refine->setStatusTip("Paint again with smaller strokes where the picture still differs");
  refine->setShortcut(QKeySequence("Ctrl+R"));
  connect(refine, &QAction::triggered, this, [this] { RunCommand("RefineDetailsCommand"); });
  addAction(refine);
  FActions["RefineDetailsCommand"] = refine;
}

void TFMain::BuildMenus() {
  const auto menu = [this](const char* Title, std::initializer_list<const char*> Items) {
    QMenu* m = menuBar()->addMenu(Title);
    SetHelpKeyword(m, "menu");
    for (const char* i : Items) {
      if (!*i)
        m->addSeparator();
      else if (QAction* a = action(i))
        m->addAction(a);
    }
  };
  menu("&File", {"OpenCommand", "NewFromClipboardCommand", "SaveCommand", "CloseCommand",
                 "PostScriptCommand", "SvgCommand", "RenderAllCommand", "", "OpenProjectCommand",
                 "SaveProjectCommand", "SaveProjectAsCommand", "ExitCommand"});
  menu("&Edit", {"UndoCommand", "RedoCommand", "TakeSnapshotCommand", "UndoToLastSnapshotCommand",
                 "PurgeCommand", "", "ApplyWithCurrentSettingsCommand", "RepeatLastApplyCommand",
                 "RefineDetailsCommand", "", "CopyResultToClipboardCommand"});
  menu("&Modify", {"ChangeBackgroundCommand"});
  menu("&View", {"ViewBordersCommand", "ViewDirectionsCommand", "ViewNavigatorCommand",
                 "FullScreenPreviewCommand", "FullScreenPaintCommand"});
  menu("&Help", {"HelpCommand", "ContextHelpCommand", "AboutCommand"});
}

void TFMain::RunCommand(const std::string& Name) {
  const TDocumentState before = DocumentState();
  FChosenFile.clear();
  // The domain shows a failure; the log keeps it as well.
  std::string failure;
  const bool done = FDomain.RunCommand(Name, &failure);
  if (!failure.empty()) LogError(Name + ": " + failure);
  ReportFileOperation(Name, before, done);
  UpdateActions();
}

void TFMain::UpdateActions() {
  for (const TCommandInfo& c : CommandTable()) {
    QAction* a = FActions[std::string(c.Name)];
    if (!c.Evaluated()) continue;
    try {
      a->setEnabled(FDomain.CommandUpdate(std::string(c.Name)));
    } catch (const std::exception& e) {
      LogError(e.what());
    }
    if (a->isCheckable() && a->actionGroup() != FToolGroup)
      a->setChecked(FDomain.CommandChecked(std::string(c.Name)));
  }
  if (FDomain.ToolManager) {
    static const std::map<int, const char*> tools = {{0, "ContextHelpCommand"},
                                                     {1, "PointerCommand"},
                                                     {3, "FreeHandCommand"},
                                                     {4, "PatternCommand"},
                                                     {5, "AutoDirCommand"}};
    const auto t = tools.find(FDomain.ToolManager->Tool());
    if (t != tools.end()) FActions[t->second]->setChecked(true);
  }
  FActions["SvgCommand"]->setEnabled(FActions["PostScriptCommand"]->isEnabled());
  FActions["RefineDetailsCommand"]->setEnabled(FDomain.Document != nullptr);
  // The project button saves, or saves as when the project has no file yet.
  const bool save = FActions["SaveProjectCommand"]->isEnabled();
  FSaveProject->setEnabled(save || FActions["SaveProjectAsCommand"]->isEnabled());
  FSaveProject->setProperty("command", save ? "SaveProjectCommand" : "SaveProjectAsCommand");
  UpdateCaption();
}

// ---------------------------------------------------------------------------
// Layout

QWidget* TFMain::BuildBottomStrip() {
  auto* strip = Panel("panPanels");
  strip->setFixedHeight(157);
  auto* row = new QHBoxLayout(strip);
  row->setContentsMargins(4, 4, 4, 4);
  row->setSpacing(6);

  // Tool buttons.
  auto* tools = new QWidget;
  auto* tl = new QVBoxLayout(tools);
  tl->setContentsMargins(0, 0, 0, 0);
  tl->setSpacing(1);
  const std::pair<int, const char*> order[] = {{1, "PointerCommand"},
                                               {5, "AutoDirCommand"},
                                               {4, "PatternCommand"},
                                               {3, "FreeHandCommand"},
                                               {0, "ContextHelpCommand"}};
  for (const auto& [tool, name] : order) {
    auto* b = new QToolButton;
    b->setDefaultAction(action(name));
    b->setIconSize(QSize(24, 24));
    b->setFixedSize(30, 29);
    b->setAutoRaise(true);
    SetHelpKeyword(b, "tools");
    tl->addWidget(b);
    FToolButtons[tool] = b;
  }
  row->addWidget(tools);

  // Project info.
  FPanProject = Panel("panProject");
  SetHelpKeyword(FPanProject, "menu");
  {
    auto* l = new QVBoxLayout(FPanProject);
    l->addWidget(PanelCaption("Project info", FPanProject));
    FPSCount = new QLabel("0 Vectors");
    FKbSize = new QLabel("0 Kb");
    // Wide enough for big projects, so the strip does not shift as they grow.
    FPSCount->setMinimumWidth(FPSCount->fontMetrics().horizontalAdvance(VectorsText(8888888)));
    FKbSize->setMinimumWidth(FKbSize->fontMetrics().horizontalAdvance("8,888,888 Kb"));
    FSaveProject = new QPushButton("Save Project");
    connect(FSaveProject, &QPushButton::clicked, this,
            [this] { RunCommand(FSaveProject->property("command").toString().toStdString()); });
    l->addWidget(FPSCount);
    l->addWidget(FKbSize);
    l->addStretch();
    l->addWidget(FSaveProject);
  }
  row->addWidget(FPanProject);

  // Style.
  FPanStyle = Panel("panStyle");
  SetHelpKeyword(FPanStyle, "general");
  {
    auto* g = new QGridLayout(FPanStyle);
    g->setContentsMargins(4, 2, 4, 2);
    g->setVerticalSpacing(2);
    g->addWidget(PanelCaption("Style", FPanStyle), 0, 0);
    FStyles = new QComboBox;
    FStyles->setFixedWidth(190);
    FStyles->view()->setMinimumWidth(250);
    connect(FStyles, &QComboBox::activated, this, [this](int i) {
      if (FUpdating) return;
      try {
        FDomain.Styles.SetItemIndex(i);
      } catch (const std::exception& e) {
        LogError(e.what());
      }
    });
    g->addWidget(FStyles, 1, 0);
    // Glyph-only buttons; the captions are their tool tips.
    auto* buttons = new QHBoxLayout;
    buttons->setSpacing(1);
    const std::pair<const char*, QStyle::StandardPixmap> glyphs[] = {
        {"NewStyleCommand", QStyle::SP_FileIcon},
        {"SaveStyleCommand", QStyle::SP_DialogSaveButton},
        {"SaveStyleAsCommand", QStyle::SP_DriveFDIcon},
        {"ResetStyleCommand", QStyle::SP_BrowserReload},
        {"DelStyleCommand", QStyle::SP_TrashIcon}};
    for (const auto& [c, glyph] : glyphs) {
      QAction* a = action(c);
      a->setIcon(style()->standardIcon(glyph));
      auto* b = new QToolButton;
      b->setDefaultAction(a);
      b->setToolButtonStyle(Qt::ToolButtonIconOnly);
      b->setToolTip(a->text());
      b->setAutoRaise(true);
      buttons->addWidget(b);
    }
    buttons->addStretch();
    g->addLayout(buttons, 2, 0);
    g->addWidget(Opener("Settings", TPanelManagerModel::StrokeSettings), 3, 0);
    g->addWidget(Opener("Color Settings", TPanelManagerModel::ColorVariation), 4, 0);
    auto* advanced = new QHBoxLayout;
    advanced->addWidget(Opener("Advanced Settings", TPanelManagerModel::AdvancedSettings));
    FInfo3D = new QLabel("[Disabled]");
    FInfo3D->setToolTip("Relief light (3D settings)");
    advanced->addWidget(FInfo3D);
    g->addLayout(advanced, 5, 0);
    // The brush preview opens the brushes, as its pop-up button does.
    auto* brush = new QHBoxLayout;
    brush->setSpacing(2);
    FImgBrush = new QLabel;
    FImgBrush->setObjectName("ImgBrush");
    FImgBrush->setFixedSize(131, 31);
    FImgBrush->setFrameShape(QFrame::Box);
    FImgBrush->setToolTip("Brushes Collection");
    brush->addWidget(FImgBrush);
    auto* popup = new QToolButton;
    popup->setArrowType(Qt::RightArrow);
    popup->setFixedSize(14, 14);
    popup->setAutoRaise(true);
    popup->setToolTip("Brushes Collection");
    brush->addWidget(popup, 0, Qt::AlignTop);
    brush->addStretch();
    FPanelManager->AddOpener(FImgBrush, TPanelManagerModel::BrushesCollection);
    FPanelManager->AddOpener(popup, TPanelManagerModel::BrushesCollection);
    g->addLayout(brush, 6, 0);
    FPreviewStyle = new QLabel;
    FPreviewStyle->setFixedSize(235, 116);
    FPreviewStyle->setToolTip("The current style's preview (double-click to draw it again)");
    FPreviewStyle->installEventFilter(this);
    g->addWidget(FPreviewStyle, 0, 1, 7, 1, Qt::AlignTop);
  }
  row->addWidget(FPanStyle);

  // Size & Density.
  FPanSize = Panel("panSize");
  SetHelpKeyword(FPanSize, "size");
  {
    auto* l = new QVBoxLayout(FPanSize);
    l->setContentsMargins(4, 2, 4, 2);
    l->addWidget(Opener("Size & Density", TPanelManagerModel::SizeDensity));
    FImgSize = new QLabel;
    FImgSize->setFixedSize(144, 102);
    l->addWidget(FImgSize);
    l->addStretch();
  }
  row->addWidget(FPanSize);

  // Patterns.
  FPanPatterns = Panel("panPatterns");
  SetHelpKeyword(FPanPatterns, "pattern");
  {
    auto* l = new QVBoxLayout(FPanPatterns);
    l->setContentsMargins(4, 2, 4, 2);
    l->addWidget(PanelCaption("Patterns", FPanPatterns));
    FPatternList = new TImageListViewer(true);
    FPatternList->setThumbSize(40, 40);
    FPatternList->setMinimumSize(172, 90);
    FPatternList->setMaximumWidth(172);
    l->addWidget(FPatternList, 1);
    auto* b = new QHBoxLayout;
    for (const char* c : {"NewPatternCommand", "EditPatternCommand", "DelPatternCommand"}) {
      auto* t = new QToolButton;
      t->setDefaultAction(action(c));
      t->setText(QString(c).startsWith("New")    ? "New"
                 : QString(c).startsWith("Edit") ? "Edit"
                                                 : "Delete");
      b->addWidget(t);
    }
    l->addLayout(b);
    connect(FPatternList, &TImageListViewer::mouseUpThumb, this, [this](int i, int, int) {
      if (!FDomain.Document) return;
      try {
        FDomain.Patterns.SetItemIndex(i);
      } catch (const std::exception& e) {
        LogError(e.what());
      }
      RunCommand("PatternCommand");
    });
  }
  row->addWidget(FPanPatterns);

  FPanColors = BuildColorPanel();
  row->addWidget(FPanColors);
  row->addStretch(1);
  return strip;
}

QWidget* TFMain::BuildColorPanel() {
  QWidget* p = Panel("panColors");
  SetHelpKeyword(p, "colors");
  auto* l = new QVBoxLayout(p);
  l->setContentsMargins(4, 2, 4, 2);
  l->setSpacing(2);
  l->addWidget(PanelCaption("Colors", p));
  auto* head = new QHBoxLayout;
  head->setSpacing(2);
  const std::pair<TColorMode, void (TColorPanel::*)()> modes[] = {
      {cmAuto, &TColorPanel::AutoButtonClick},
      {cmFixed, &TColorPanel::FixedButtonClick},
      {cmVariants, &TColorPanel::VariantsButtonClick}};
  for (const auto& [mode, click] : modes) {
    auto* b = new QPushButton(ColorModeCaption(mode));
    b->setCheckable(true);
    b->setFixedSize(56, 20);
    connect(b, &QPushButton::clicked, this, [this, click] {
      (FColorPanel.*click)();
      UpdateColorPanel();
    });
    FModeButtons[mode] = b;
    head->addWidget(b);
  }
  FColorReset = new QPushButton("Reset");
  FColorReset->setFixedSize(56, 20);
  connect(FColorReset, &QPushButton::clicked, this, [this] {
    FColorPanel.ResetButtonClick();
    UpdateColorPanel();
  });
  head->addWidget(FColorReset);
  l->addLayout(head);
  FColorStack = new QStackedWidget;
  FColorStack->setFixedSize(236, 100);

  // Fixed: a colour field (left button the fore colour, right the back one).
  auto* fixed = new QWidget;
  {
    auto* h = new QHBoxLayout(fixed);
    h->setContentsMargins(0, 0, 0, 0);
    FSelectorFixed = new TSimpleColorSelector;
    h->addWidget(FSelectorFixed, 1);
    auto* shapes = new QVBoxLayout;
    FShapeFore = new QLabel;
    FShapeBack = new QLabel;
    for (QLabel* s : {FShapeFore, FShapeBack}) {
      s->setFixedSize(26, 26);
      s->setFrameShape(QFrame::Box);
      s->setAutoFillBackground(true);
      shapes->addWidget(s);
    }
    shapes->addStretch();
    h->addLayout(shapes);
    connect(FSelectorFixed, &TSimpleColorSelector::selectColor, this, [this] {
      FColorPanel.FixedColorsPicked(FSelectorFixed->selectedColor() | 0xFF000000u,
                                    FSelectorFixed->secondaryColor() | 0xFF000000u);
      UpdateColorPanel();
    });
  }
  // Auto: the three offsets.
  auto* automatic = new QWidget;
  {
    auto* g = new QGridLayout(automatic);
    for (int i = 0; i < 3; ++i) {
      const auto which = TColorPanel::TOffsetSlider(i);
      g->addWidget(new QLabel(TColorPanel::SliderCaption(which)), i, 0);
      auto* s = new TBrellinSlider;
      s->setMaximum(TColorPanel::SliderMax - TColorPanel::SliderMin);
      FOffsetSliders[size_t(i)] = s;
      g->addWidget(s, i, 1);
      connect(s, &TBrellinSlider::changedPosition, this, [this, s, which] {
        if (FUpdating) return;
        FColorPanel.SetSliderValue(which, s->position() + TColorPanel::SliderMin);
      });
    }
  }
  // Variants: a colour field and ten swatches.
  auto* variants = new QWidget;
  {
    auto* h = new QHBoxLayout(variants);
    h->setContentsMargins(0, 0, 0, 0);
    FSelectorVar = new TSimpleColorSelector;
    h->addWidget(FSelectorVar, 1);
    auto* grid = new QGridLayout;
    grid->setSpacing(2);
    for (int i = 0; i < TColorPanel::SwatchCount; ++i) {
      auto* s = new QLabel;
      s->setFixedSize(18, 18);
      s->setFrameShape(QFrame::Box);
      s->setAutoFillBackground(true);
      FSwatches[size_t(i)] = s;
      grid->addWidget(s, i / 2, i % 2);
    }
    h->addLayout(grid);
    connect(FSelectorVar, &TSimpleColorSelector::selectColor, this, [this] {
      try {
        FColorPanel.VariantColorPicked(FSelectorVar->selectedColor());
      } catch (const std::exception& e) {
        LogError(e.what());
      }
      UpdateColorPanel();
    });
  }
  FColorStack->addWidget(fixed);      // cmFixed
  FColorStack->addWidget(automatic);  // cmAuto
  FColorStack->addWidget(variants);   // cmVariants
  l->addWidget(FColorStack);
  return p;
}

void TFMain::BuildParameterPanels() {
  // One content widget per floating panel, from the gauges' table.
  std::map<std::string, QVBoxLayout*> groups;
  const auto content = [&](const char* Title, const char* Keyword, int Tag) {
    QWidget* w = Panel(QString("panFloat%1").arg(Tag));
    SetHelpKeyword(w, Keyword);
    w->setMinimumWidth(180);
    auto* gl = new QVBoxLayout(w);
    gl->setContentsMargins(6, 4, 6, 6);
    gl->setSpacing(1);
    groups[Title] = gl;
    return w;
  };
  QWidget* stroke = content("Stroke Settings", "general", TPanelManagerModel::StrokeSettings);
  QWidget* color = content("Color Variation", "general", TPanelManagerModel::ColorVariation);
  QWidget* advanced = content("Advanced Settings", "general", TPanelManagerModel::AdvancedSettings);
  QWidget* size = content("Size & Density", "size", TPanelManagerModel::SizeDensity);
  const auto heading = [](const QString& Text) {
    auto* l = new QLabel(Text);
    QFont f = l->font();
    f.setBold(true);
    l->setFont(f);
    return l;
  };
  groups["Advanced Settings"]->addWidget(heading("Other parameters"));
  for (int id = 0; id < pgCount; ++id) {
    const TParameterGauge& d = ParameterGauge(id);
    auto* gauge = new TNumericGaugeBar;
    gauge->setObjectName(d.Name);
    gauge->setRange(d.Min, d.Max);
    gauge->setLogScale(d.LogScale);
    gauge->setIntValue(d.Integer);
    gauge->setValue(d.Default);
    FGauges[size_t(id)] = gauge;
    QVBoxLayout* gl = groups[d.Panel];
    if (id == pgBump) gl->addWidget(heading("3D Settings"));
    gl->addWidget(new QLabel(d.Caption));
    gl->addWidget(gauge);
    connect(gauge, &TNumericGaugeBar::changed, this, [this, id] { GaugeChanged(id); });
    connect(gauge, &TNumericGaugeBar::barPressed, this, [this] { FStylePreviewPending = false; });
    connect(gauge, &TNumericGaugeBar::barReleased, this, [this] {
      if (FStylePreviewPending) UpdateStyleFrame(FDomain.Styles.ItemIndex());
    });
    // A typed value is one whole change, as a drag is at its release: the
    // preview and the "(not saved)" mark follow it at once.
    connect(gauge->edit(), &TBrellinEdit::accepted, this, [this] {
      if (FStylePreviewPending) UpdateStyleFrame(FDomain.Styles.ItemIndex());
    });
    if (id == pgPrecision) {
      FStopBorder = new QCheckBox("Stop on borders");
      FStraightLines = new QCheckBox("Straight Lines");
      gl->addWidget(FStopBorder);
      gl->addWidget(FStraightLines);
      connect(FStopBorder, &QCheckBox::toggled, this, [this](bool on) {
        if (FUpdating || !FDomain.Document || !FDomain.Document->Style) return;
        FDomain.Document->Style->SetStopOnBorders(on);
      });
      connect(FStraightLines, &QCheckBox::toggled, this, [this](bool on) {
        if (!FUpdating && FDomain.Document) FDomain.Document->StraightLines = on;
      });
    }
  }
  // Brushes Collection.
  QWidget* brushes = Panel("panFloatBrushes");
  SetHelpKeyword(brushes, "general");
  auto* bl = new QVBoxLayout(brushes);
  bl->setContentsMargins(4, 4, 4, 4);
  FBrushList = new TImageListViewer(false);
  FBrushList->setThumbSize(80, 26);
  FBrushList->setFixedSize(172, 120);
  bl->addWidget(FBrushList);
  connect(FBrushList, &TImageListViewer::mouseUpThumb, this, [this](int i, int, int) {
    if (!FDomain.Document) return;
    try {
      FDomain.Brushes.SetItemIndex(i);
    } catch (const std::exception& e) {
      LogError(e.what());
    }
    FStylePreviewPending = true;
  });
  FPanelManager->AddPanel(TPanelManagerModel::StrokeSettings, "Stroke Settings", true, stroke);
  FPanelManager->AddPanel(TPanelManagerModel::ColorVariation, "Color Variation", true, color);
  FPanelManager->AddPanel(TPanelManagerModel::BrushesCollection, "Brushes Collection", false,
                          brushes);
  FPanelManager->AddPanel(TPanelManagerModel::AdvancedSettings, "Advanced Settings", true,
                          advanced);
  FPanelManager->AddPanel(TPanelManagerModel::SizeDensity, "Size & Density", true, size);
}

QWidget* TFMain::Opener(const QString& Caption, int Tag) {
  auto* row = new QWidget;
  auto* h = new QHBoxLayout(row);
  h->setContentsMargins(0, 0, 0, 0);
  h->setSpacing(2);
  auto* label = new QLabel(Caption);
  label->setObjectName(QString("lblOpen%1").arg(Tag));
  label->setToolTip("Show the " + Caption + " panel");
  auto* popup = new QToolButton;
  popup->setObjectName(QString("btOpen%1").arg(Tag));
  popup->setToolTip(label->toolTip());
  popup->setArrowType(Qt::RightArrow);
  popup->setFixedSize(14, 14);
  popup->setAutoRaise(true);
  h->addWidget(label);
  h->addWidget(popup);
  h->addStretch();
  FPanelManager->AddOpener(label, Tag);
  FPanelManager->AddOpener(popup, Tag);
  return row;
}

// ---------------------------------------------------------------------------
// Libraries and previews

QImage TFMain::PatternThumbnail(int Index) const {
  auto* pattern = dynamic_cast<TPattern*>(FDomain.Patterns.GetObject(Index));
  if (!pattern) return QImage();
  TBitmap32 work;
  work.SetSizeFilled(80, 80, clWhite32);
  pattern->SetPreviewTarget(&work);
  TBitmap32 thumb;
  try {
    thumb = pattern->RenderThumbnail(40, 40);
  } catch (const std::exception& e) {
    LogError(e.what());
  }
  pattern->SetPreviewTarget(nullptr);
  return ToQImage(thumb);
}

QImage TFMain::BrushThumbnail(int Index) const {
  const int w = 80, h = 26;
  auto* brush = dynamic_cast<TBitmapBrushStrokeRenderer*>(FDomain.Brushes.GetObject(Index));
  if (brush && brush->BrushBitmap.Width() > 0) {
    TBitmap32 t;
    t.SetSizeFilled(w, h, 0);
    StretchDraw(t, TRect{0, 0, w, h}, brush->BrushBitmap,
                TRect{0, 0, brush->BrushBitmap.Width(), brush->BrushBitmap.Height()}, sfMitchell);
    return Inverted(ToQImage(t));
  }
  // The built-in polygon brush: a tapered stroke.
  QImage img(w, h, QImage::Format_ARGB32);
  img.fill(Qt::white);
  QPainter p(&img);
  p.setRenderHint(QPainter::Antialiasing);
  p.setPen(Qt::NoPen);
  p.setBrush(Qt::black);
  QPainterPath path(QPointF(4, h / 2.0));
  path.cubicTo(QPointF(w * 0.3, 2), QPointF(w * 0.7, 2), QPointF(w - 4, h / 2.0));
  path.cubicTo(QPointF(w * 0.7, h - 6), QPointF(w * 0.3, h - 6), QPointF(4, h / 2.0));
  p.drawPath(path);
  p.end();
  return Inverted(img);
}

void TFMain::FillLibraries() {
  std::vector<QImage> patterns, brushes;
  for (int i = 0; i < FDomain.Patterns.Count(); ++i) patterns.push_back(PatternThumbnail(i));
  for (int i = 0; i < FDomain.Brushes.Count(); ++i) brushes.push_back(BrushThumbnail(i));
  FPatternList->setImages(patterns);
  FPatternList->setSelectedIndex(std::max(FDomain.Patterns.ItemIndex(), 0));
  FBrushList->setImages(brushes);
  FBrushList->setSelectedIndex(std::max(FDomain.Brushes.ItemIndex(), 0));
  FUpdating = true;
  FStyles->clear();
  for (int i = 0; i < FDomain.Styles.Count(); ++i) FStyles->addItem(QString());
  FUpdating = false;
  for (int i = 0; i < FDomain.Styles.Count(); ++i) UpdateStyleFrame(i);
  if (FDomain.Styles.Count() > 0) UpdateStyleFrame(FDomain.Styles.ItemIndex());
  UpdateBrushPreview();
}

void TFMain::SetFullScreenPaintActive(bool On) {
  FFullScreenPaintActive = On;
  if (!On && FStylePreviewPending && FDomain.Document) UpdateStyleFrame(FDomain.Styles.ItemIndex());
}

void TFMain::UpdateStyleFrame(int Index) {
  if (FFullScreenPaintActive) return;
  if (Index < 0 || Index >= FDomain.Styles.Count()) return;
  QApplication::setOverrideCursor(Qt::WaitCursor);
  try {
    auto* style = static_cast<TBStyle*>(FDomain.Styles.GetObject(Index));
    while (FStyles->count() < FDomain.Styles.Count()) FStyles->addItem(QString());
    const TStyleListEntry e = StyleListEntry(*style, Index);
    FUpdating = true;
    FStyles->setItemText(Index,
                         QString::fromStdString(e.Name) + (e.NotSaved ? " (not saved) " : ""));
    // The mark shows in italic red (a combo box draws no markup).
    if (auto* m = qobject_cast<QStandardItemModel*>(FStyles->model())) {
      QStandardItem* item = m->item(Index);
      QFont f = FStyles->font();
      f.setItalic(e.NotSaved);
      item->setFont(f);
      item->setForeground(e.NotSaved ? QBrush(Qt::red) : QBrush());
    }
    FStyles->setCurrentIndex(Index);
    // The closed combo box draws its text in the button text colour.
    QPalette pal = FStyles->palette();
    pal.setColor(QPalette::Text, e.NotSaved ? Qt::red : palette().color(QPalette::Text));
    pal.setColor(QPalette::ButtonText,
                 e.NotSaved ? Qt::red : palette().color(QPalette::ButtonText));
    FStyles->setPalette(pal);
    QFont cf = FStyles->font();
    cf.setItalic(e.NotSaved);
    FStyles->setFont(cf);
    FUpdating = false;
    if (Index == FDomain.Styles.ItemIndex()) {
      const TBitmap32& preview = style->GetPreview();
      TBitmap32 shown;
      shown.SetSizeFilled(FPreviewStyle->width(), FPreviewStyle->height(), clWhite32);
      if (preview.Width() > 0)
        StretchDraw(shown, TRect{0, 0, shown.Width(), shown.Height()}, preview,
                    TRect{0, 0, preview.Width(), preview.Height()}, sfMitchell);
      for (int y = 0; y < shown.Height(); ++y) {
        TColor32* r = shown.ScanLine(y);
        for (int x = 0; x < shown.Width(); ++x) r[x] = TintWithPanelColor(r[x], kPanelColor32);
      }
      FPreviewStyle->setPixmap(QPixmap::fromImage(ToQImage(shown)));
    }
  } catch (const std::exception& e) {
    LogError(e.what());
  }
  FUpdating = false;
  FStylePreviewPending = false;
  QApplication::restoreOverrideCursor();
}

void TFMain::UpdateBrushPreview() {
  const int i = FDomain.Brushes.ItemIndex();
  if (i < 0) return;
  QImage thumb =
      BrushThumbnail(i).scaled(FImgBrush->size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
  for (int y = 0; y < thumb.height(); ++y) {
    auto* r = reinterpret_cast<TColor32*>(thumb.scanLine(y));
    for (int x = 0; x < thumb.width(); ++x) r[x] = TintWithPanelColor(r[x], kPanelColor32);
  }
  FImgBrush->setPixmap(QPixmap::fromImage(thumb));
  FBrushList->setSelectedIndex(i);
}

QString TFMain::sizePreviewScale() const {
  return QString::fromStdString(FSizeScale);
}

void TFMain::UpdateSizePreview() {
  if (!FDomain.Document) return;
  FSizeScale =
      DrawSizePreview(FSizePreview, FImgSize->width(), FImgSize->height(),
                      FDomain.Document->BrushRadius, FDomain.Document->Density, kPanelColor32);
  QImage img = ToQImage(FSizePreview);
  if (!FSizeScale.empty()) {
    QPainter p(&img);
    p.drawText(QPoint(2, 12), QString::fromStdString(FSizeScale));
  }
  FImgSize->setPixmap(QPixmap::fromImage(img));
}

void TFMain::UpdateColorPanel() {
  FUpdating = true;
  for (int m = 0; m < 3; ++m)
    FModeButtons[size_t(m)]->setChecked(FColorPanel.ModeButtonDown(TColorMode(m)));
  FColorReset->setVisible(FColorPanel.ResetButtonVisible());
  if (const auto mode = FColorPanel.ShownMode()) {
    FColorStack->setCurrentIndex(int(*mode));
    FColorStack->setVisible(true);
  } else {
    FColorStack->setVisible(false);
  }
  const auto fill = [](QLabel* L, TColor32 C, bool Cross) {
    if (Cross) {
      QPixmap pm(L->size());
      pm.fill(Qt::white);
      QPainter p(&pm);
      p.setPen(QColor(160, 160, 160));
      p.drawLine(0, 0, pm.width(), pm.height());
      p.drawLine(0, pm.height(), pm.width(), 0);
      p.end();
      L->setPixmap(pm);
    } else {
      QPixmap pm(L->size());
      pm.fill(QColor::fromRgb(C));
      L->setPixmap(pm);
    }
  };
  for (int i = 0; i < TColorPanel::SwatchCount; ++i) {
    const auto& s = FColorPanel.Swatch(i);
    fill(FSwatches[size_t(i)], s.Color, s.Empty);
  }
  fill(FShapeFore, FColorPanel.ForeShapeColor(), false);
  fill(FShapeBack, FColorPanel.BackShapeColor(), false);
  for (int i = 0; i < 3; ++i)
    FOffsetSliders[size_t(i)]->setPosition(FColorPanel.SliderValue(TColorPanel::TOffsetSlider(i)) -
                                           TColorPanel::SliderMin);
  FUpdating = false;
}

// ---------------------------------------------------------------------------
// Keeping the controls in step

void TFMain::RegisterNotifications() {
  FDomain.OnRefresh = [this](TDomain&) { UpdateControls(); };
  FDomain.OnContextHelp = [this](TDomain&) { EnterHelpMode(); };
  FDomain.OnPatternEdited = [this](TDomain&, int i) {
    FPatternList->setImage(i, PatternThumbnail(i));
    // A new pattern becomes the current one: the highlight follows, so that
    // Edit and Delete act on the pattern the user sees selected.
    FPatternList->setSelectedIndex(std::max(FDomain.Patterns.ItemIndex(), 0));
  };
  FDomain.OnStyleChanged = [this](TDomain&, int i) { UpdateStyleFrame(i); };
  FDomain.OnBrushEdited = [this](TDomain&, int i) { FBrushList->setImage(i, BrushThumbnail(i)); };
  FDomain.OnPatternDeleted = [this](TDomain&, int) {
    std::vector<QImage> all;
    for (int k = 0; k < FDomain.Patterns.Count(); ++k) all.push_back(PatternThumbnail(k));
    FPatternList->setImages(all);
    FPatternList->setSelectedIndex(std::max(FDomain.Patterns.ItemIndex(), 0));
  };
  FDomain.OnStyleDeleting = [this](TDomain&, int i) {
    FUpdating = true;
    FStyles->removeItem(i);
    FUpdating = false;
  };
  FDomain.OnBrushDeleted = [this](TDomain&, int) {
    std::vector<QImage> all;
    for (int k = 0; k < FDomain.Brushes.Count(); ++k) all.push_back(BrushThumbnail(k));
    FBrushList->setImages(all);
  };
  FDomain.OnUpdateStyleFrame = [this](TDomain&, int i) { UpdateStyleFrame(i); };
  FDomain.OnUpdateBrushThumbnail = [this](TDomain&) { UpdateBrushPreview(); };
  FDomain.OnCommandsChanged = [this](TDomain&) {
    UpdateActions();
    if (FDomain.Document) {
      const QString mem = QString::fromStdString(FDomain.Document->MemoryText());
      FKbSize->setText(mem);
      FStatusMemory->setText(mem);
      FPSCount->setText(VectorsText(FDomain.Document->VectorCount()));
    }
  };
}

void TFMain::UpdateControls() {
  const bool wasUpdating = FUpdating;
  FColorPanel.SetDocument(FDomain.Document ? &FDomain.Document->Colors : nullptr);
  FColorPanel.Refresh();
  FInfo3D->setText(
      QString::fromStdString(ReliefLabel(FGauges[pgBump]->value(), FGauges[pgBumpLight]->value())));
  TDualImage* doc = FDomain.Document.get();
  if (!doc) {
    FPanelManager->HideAll();
    FCentre->setVisible(false);
    FBottom->setVisible(false);
    FPSCount->setText("0 Vectors");
    FStatusMemory->clear();
    FUpdating = true;
    for (int id = 0; id < pgCount; ++id)
      FGauges[size_t(id)]->setValue(
          ParameterValueWithoutDocument(id, FGauges[size_t(id)]->value()));
    FUpdating = wasUpdating;
    UpdateColorPanel();
    return;
  }
  if (FDomain.Styles.Count() > 0) {
    FUpdating = true;
    FStyles->setCurrentIndex(FDomain.Styles.ItemIndex());
    FUpdating = wasUpdating;
  }
  UpdateBrushPreview();
  if (FDomain.Styles.Count() > 0) FStylePreviewPending = true;
  FCentre->setVisible(true);
  FBottom->setVisible(true);
  if (FDomain.ToolManager) {
    const int tool = FDomain.ToolManager->Tool();
    const TToolPanels panels = PanelsForTool(tool);
    if (panels.Changes) {
      if (auto b = FToolButtons.find(tool); b != FToolButtons.end() && b->second->defaultAction())
        b->second->defaultAction()->setChecked(true);
      FPanStyle->setVisible(panels.Style);
      FPanProject->setVisible(panels.ProjectInfo);
      FPanSize->setVisible(panels.SizeDensity);
      FPanPatterns->setVisible(panels.Patterns);
    }
  }
  const QString mem = QString::fromStdString(doc->MemoryText());
  FKbSize->setText(mem);
  FStatusMemory->setText(mem);
  FPSCount->setText(VectorsText(doc->VectorCount()));
  FColorPanel.ClickModeButton(doc->Colors.ColorMode);
  FUpdating = true;
  try {
    if (doc->Style) {
      for (int id = 0; id < pgCount; ++id) {
        const float v = ParameterShownValue(id, *doc->Style, *doc);
        if (FGauges[size_t(id)]->value() != v) FGauges[size_t(id)]->setValue(v);
      }
      FStopBorder->setChecked(doc->Style->Params.StopOnBorders != 0);
    }
    FStraightLines->setChecked(doc->StraightLines);
  } catch (const std::exception& e) {
    LogError(e.what());
  }
  FUpdating = wasUpdating;
  UpdateColorPanel();
  UpdateSizePreview();
  FImgSrc->PictureResized();
  FImgDst->PictureResized();
  FollowDocumentZoom();
  UpdateActions();
}

void TFMain::GaugeChanged(int Id) {
  if (Id == pgBump || Id == pgBumpLight || Id == pgBumpSoft)
    FInfo3D->setText(QString::fromStdString(
        ReliefLabel(FGauges[pgBump]->value(), FGauges[pgBumpLight]->value())));
  if (FUpdating || !FDomain.Document || !FDomain.Document->Style) return;
  try {
    const bool wrote = ApplyParameter(Id, FGauges[size_t(Id)]->value(), *FDomain.Document->Style,
                                      *FDomain.Document);
    if (wrote && ParameterGauge(Id).Preview) FStylePreviewPending = true;
    if (Id == pgSize || Id == pgDensity) UpdateSizePreview();
  } catch (const std::exception& e) {
    LogError(e.what());
  }
}

void TFMain::CommitTypedValues() {
  for (TNumericGaugeBar* g : FGauges) {
    g->edit()->blockSignals(true);
    const std::string typed = g->edit()->text().toStdString();
    g->edit()->blockSignals(false);
    if (typed != g->model().Text()) emit g->edit()->accepted();
  }
}

void TFMain::SyncScroll(TImgView* From, TImgView* To) {
  if (FSyncingScroll) return;
  FSyncingScroll = true;
  const TPictureView& f = From->model();
  TPictureView& t = To->model();
  if (f.Scale != 1.0f || t.Scale != 1.0f) {
    // Zoomed in, whole picture pixels would make the views drift apart by
    // up to a pixel of the scale: the centre is kept exact.
    const double cx = (f.ScrollX + f.ClientWidth() / 2.0) / double(f.Scale);
    const double cy = (f.ScrollY + f.ClientHeight() / 2.0) / double(f.Scale);
    t.ScrollTo(int(std::lround(cx * double(t.Scale) - t.ClientWidth() / 2.0)),
               int(std::lround(cy * double(t.Scale) - t.ClientHeight() / 2.0)));
    FSyncingScroll = false;
    return;
  }
  const TPoint a = f.ViewToPicture({0, 0});
  const TPoint b = f.ViewToPicture({f.ClientWidth(), f.ClientHeight()});
  const int cx = (a.X + b.X) / 2, cy = (a.Y + b.Y) / 2;
  t.ScrollTo(int(std::lround(cx * double(t.Scale))) - t.ClientWidth() / 2,
             int(std::lround(cy * double(t.Scale))) - t.ClientHeight() / 2);
  FSyncingScroll = false;
}

void TFMain::ResetColorPanel() {
  // Asked while a new document is set up: the panel must not reach the
  // document that was just freed.
  FColorPanel.SetDocument(FDomain.Document ? &FDomain.Document->Colors : nullptr);
  FColorPanel.Reset();
  UpdateColorPanel();
}

void TFMain::ShowHelpPage(const std::string& Keyword) {
  ShowContextHelp(this, QString::fromStdString(Keyword), [this] { RunCommand("HelpCommand"); });
}

void TFMain::ConnectUi(TQtDomainUi& Ui) {
  Ui.OnResetColorPanel = [this] { ResetColorPanel(); };
  Ui.OnShowHelpPage = [this](const std::string& Keyword) { ShowHelpPage(Keyword); };
}

void TFMain::Idle() {
  UpdateActions();
  TDualImage* doc = FDomain.Document.get();
  if (!doc || FDomain.ApplyRunning || doc->EditDepth > 0) return;
  const qint64 now = QDateTime::currentMSecsSinceEpoch();
  if (now - FLastIdleWork <= 500) return;
  try {
    doc->IdleCompress();
  } catch (const std::exception& e) {
    LogError(e.what());
  }
  FLastIdleWork = now;
}

void TFMain::EnterHelpMode() {
  FHelpMode = true;
  if (FDomain.ToolManager) FDomain.ToolManager->SetEnabled(false);
  QApplication::setOverrideCursor(Qt::WhatsThisCursor);
  QCoreApplication::processEvents();
}

// ---------------------------------------------------------------------------
// Window events

void TFMain::OpenArgument(const QString& Path) {
  const TDocumentState before = DocumentState();
  // The domain asks to save first and shows why a file cannot be opened.
  FDomain.OpenArgument(Path.toStdString());
  ReportFileOperation("", before, true);
  UpdateControls();
}

bool TFMain::Busy() const {
  const TDualImage* doc = FDomain.Document.get();
  return (doc && doc->EditDepth > 0) || FDomain.Loading || Progress().ShowCount() > 0;
}

void TFMain::OpenArgumentWhenIdle(const QString& Path) {
  FPendingArguments << Path;
  if (!FPendingTimer.isActive()) FPendingTimer.start();
}

void TFMain::Terminate() {
  FTerminating = true;
  close();
}

void TFMain::closeEvent(QCloseEvent* Event) {
  if (FTerminating) {
    SaveWindowState();
    return Event->accept();
  }
  // Asked while a run lets events run: saving or closing then would act on
  // a half-painted document whose edit is still open.
  if (Busy()) return Event->ignore();
  bool ok = true;
  try {
    ok = FDomain.AskSaveProject();
  } catch (const std::exception& e) {
    LogError(e.what());
    ok = false;
  }
  if (ok) {
    SaveWindowState();
    Event->accept();
  } else
    Event->ignore();
}

void TFMain::showEvent(QShowEvent* Event) {
  QMainWindow::showEvent(Event);
  UpdateCaption();
}

void TFMain::changeEvent(QEvent* Event) {
  QMainWindow::changeEvent(Event);
  if (Event->type() == QEvent::ActivationChange && isActiveWindow() && FDomain.Document)
    UpdateStyleFrame(FDomain.Styles.ItemIndex());
}

bool TFMain::eventFilter(QObject* Watched, QEvent* Event) {
  const QEvent::Type t = Event->type();
  if (t == QEvent::Enter && (Watched == FPanStyle || Watched == FPanSize ||
                             Watched == FPanPatterns || Watched == FPanProject))
    FPanelManager->HideUnpinned();
  if (t == QEvent::MouseButtonDblClick && Watched == FPreviewStyle && FDomain.Document) {
    // A fresh preview: dirty, announced as changed, drawn again.
    if (auto* style = FDomain.CurrentStyle()) {
      style->PreviewDirty = true;
      style->Changed();
      UpdateStyleFrame(FDomain.Styles.ItemIndex());
    }
    return true;
  }
  if ((t == QEvent::KeyPress || t == QEvent::KeyRelease) && Watched->isWidgetType()) {
    auto* k = static_cast<QKeyEvent*>(Event);
    if (t == QEvent::KeyRelease && k->key() == Qt::Key_Escape && FDomain.Document &&
        FDomain.IsFullScreenPaint())
      FDomain.SetFullScreenPaint(false);
    if (t == QEvent::KeyPress && k->key() == Qt::Key_Escape && !QApplication::activeModalWidget())
      FPanelManager->HideUnpinned();
    // Ctrl+D on a document without a project file saves as, like the
    // strip's project button: "Save Project" is disabled until then.
    if (t == QEvent::KeyPress && k->key() == Qt::Key_D && k->modifiers() == Qt::ControlModifier &&
        !QApplication::activeModalWidget() && !FActions["SaveProjectCommand"]->isEnabled() &&
        FActions["SaveProjectAsCommand"]->isEnabled()) {
      RunCommand("SaveProjectAsCommand");
      return true;
    }
    if (k->key() == Qt::Key_Space && !k->isAutoRepeat() &&
        TImgView::PanKeyHeld != (t == QEvent::KeyPress)) {
      TImgView::PanKeyHeld = t == QEvent::KeyPress;
      for (TImgView* v : {FImgSrc, FImgDst}) v->ShowPanCursor(TImgView::PanKeyHeld);
    }
    if (k->key() == Qt::Key_Shift) {
      // Shift reaches the tools whatever control has the focus.
      uint16_t key = vkShift;
      try {
        if (t == QEvent::KeyPress)
          FImgSrc->model().KeyDown(key, ShiftStateOf(k->modifiers(), Qt::NoButton));
        else
          FImgSrc->model().KeyUp(key, ShiftStateOf(k->modifiers(), Qt::NoButton));
      } catch (const std::exception& e) {
        LogError(e.what());
      }
      return true;
    }
  }
  if (t == QEvent::MouseButtonPress && FHelpMode && Watched->isWidgetType() &&
      static_cast<QMouseEvent*>(Event)->button() == Qt::LeftButton) {
    FHelpMode = false;
    if (FDomain.ToolManager) FDomain.ToolManager->SetEnabled(true);
    QApplication::restoreOverrideCursor();
    ShowContextHelp(this, HelpKeywordOf(Watched), [this] { RunCommand("HelpCommand"); });
    return true;
  }
  return QMainWindow::eventFilter(Watched, Event);
}

}  // namespace brellin
