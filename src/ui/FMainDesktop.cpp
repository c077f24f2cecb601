// The main window's desktop comforts: the caption and status messages that
// say what happened, "Open Recent", the remembered window, dropped files,
// tool tips that name their keys, and a bottom strip that scrolls on small
// screens instead of being cut off.
#include <QAction>
#include <QApplication>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QLabel>
#include <QLocale>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QMimeData>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QSplitter>
#include <QStatusBar>
#include <QTimer>
#include <QToolButton>
#include <QUrl>

#include "analysis/PictureFormats.h"
#include "domain/BDomain.h"
#include "domain/Commands.h"
#include "library/PersistentObjects.h"
#include "ui/AppSettings.h"
#include "ui/Controls.h"
#include "ui/FMain.h"

namespace brellin {

namespace {
constexpr int kMessageMs = 5000;

bool IsOpenable(const QString& Path) {
  const QString ext = QFileInfo(Path).suffix().toLower();
  return ext == "bpj" || IsPictureExtension(ext.toStdString());
}

QString OpenableKinds() {
  QStringList exts;
  for (const std::string& e : PictureExtensions()) exts << QString::fromStdString(e);
  return "Brellin Pro opens pictures (" + exts.join(", ") + ") and projects (bpj).";
}
}  // namespace

QString TFMain::DocumentFileName() const {
  const TDualImage* doc = FDomain.Document.get();
  if (!doc) return {};
  return QString::fromStdString(doc->ProjectFileName.empty() ? doc->SourceFileName
                                                             : doc->ProjectFileName);
}

QString TFMain::DocumentCaption() const {
  const TDualImage* doc = FDomain.Document.get();
  if (!doc) return Caption();
  const QString file = DocumentFileName();
  const QString name = file.isEmpty() ? QString("Untitled") : QFileInfo(file).fileName();
  return Caption() + " - " + name + (doc->Modified ? " *" : "");
}

void TFMain::UpdateCaption() {
  const QString c = DocumentCaption();
  if (windowTitle() != c) setWindowTitle(c);
}

TFMain::TDocumentState TFMain::DocumentState() const {
  const TDualImage* doc = FDomain.Document.get();
  if (!doc) return {};
  return {doc->Serial, doc->ProjectFileName, doc->Modified};
}

void TFMain::ReportFileOperation(const std::string& Command, const TDocumentState& Before,
                                 bool Done) {
  const TDualImage* doc = FDomain.Document.get();
  const QLocale locale;
  if (doc && doc->Serial != Before.Serial) {
    const QString file = DocumentFileName();
    if (!file.isEmpty()) {
      TAppSettings settings;
      settings.AddRecentFile(file);
      settings.Sync();
    }
    const TBitmap32& b = FDomain.DestinationView->Bitmap();
    statusBar()->showMessage(QString("Opened %1 (%2 × %3)")
                                 .arg(file.isEmpty() ? "Untitled" : QFileInfo(file).fileName(),
                                      locale.toString(b.Width()), locale.toString(b.Height())),
                             kMessageMs);
    return;
  }
  if (!Done || !doc) return;
  const QString chosen = FChosenFile;
  if (Command == "SaveProjectCommand" || Command == "SaveProjectAsCommand") {
    // Saved: a new name or changes written, a name chosen in the dialog, or
    // a project that had a name (Save Project then writes without asking).
    const bool saved =
        !doc->Modified && !doc->ProjectFileName.empty() &&
        (doc->ProjectFileName != Before.Project || Before.Modified || !chosen.isEmpty() ||
         (Command == "SaveProjectCommand" && !Before.Project.empty()));
    if (!saved) return;
    const QFileInfo project(QString::fromStdString(doc->ProjectFileName));
    TAppSettings settings;
    settings.AddRecentFile(project.absoluteFilePath());
    settings.Sync();
    statusBar()->showMessage(
        QString("Saved %1 (%2 strokes, %3)")
            .arg(project.fileName(), locale.toString(qlonglong(doc->VectorCount())),
                 locale.formattedDataSize(project.size(), 1, QLocale::DataSizeTraditionalFormat)),
        kMessageMs);
    return;
  }
  static const char* const exports[] = {"SaveCommand", "PostScriptCommand", "SvgCommand",
                                        "RenderAllCommand"};
  for (const char* e : exports)
    if (Command == e && !chosen.isEmpty() && QFileInfo(chosen).isFile())
      statusBar()->showMessage("Exported " + QFileInfo(chosen).fileName(), kMessageMs);
}

// ---------------------------------------------------------------------------
// Open Recent

void TFMain::BuildRecentMenu() {
  FRecentMenu = new QMenu("Open &Recent", this);
  FRecentMenu->setObjectName("RecentMenu");
  FOpenLatest = new QAction(this);
  FOpenLatest->setObjectName("OpenLatestCommand");
  FOpenLatest->setShortcut(QKeySequence("Ctrl+Shift+O"));
  connect(FOpenLatest, &QAction::triggered, this, [this] {
    const QStringList files = TAppSettings().RecentFiles();
    if (!files.isEmpty() && QFileInfo(files.first()).isFile()) OpenArgumentWhenIdle(files.first());
  });
  addAction(FOpenLatest);
  connect(FRecentMenu, &QMenu::aboutToShow, this, &TFMain::FillRecentMenu);
  // Files gone since the last run are dropped at start-up; the ones that go
  // during this run stay listed, disabled.
  TAppSettings settings;
  settings.PruneRecentFiles();
  settings.Sync();
  FillRecentMenu();
  for (QAction* a : menuBar()->actions())
    if (QMenu* file = a->menu(); file && a->text() == "&File") {
      file->insertMenu(action("SaveProjectCommand"), FRecentMenu);
      break;
    }
}

void TFMain::FillRecentMenu() {
  FRecentMenu->clear();
  const QStringList files = TAppSettings().RecentFiles();
  for (int i = 0; i < files.size(); ++i) {
    const QString& f = files[i];
    const QString text = QString("&%1 %2").arg((i + 1) % 10).arg(QFileInfo(f).fileName());
    QAction* a = i == 0 ? FOpenLatest : new QAction(FRecentMenu);
    a->setText(text);
    a->setData(f);
    a->setStatusTip(f);
    a->setToolTip(f);
    a->setEnabled(QFileInfo(f).isFile());
    if (i > 0) connect(a, &QAction::triggered, this, [this, f] { OpenArgumentWhenIdle(f); });
    FRecentMenu->addAction(a);
  }
  if (files.isEmpty()) {
    FOpenLatest->setEnabled(false);
    FRecentMenu->addAction("No recent files")->setEnabled(false);
  }
  FRecentMenu->addSeparator();
  QAction* clear = FRecentMenu->addAction("Clear Recent");
  clear->setObjectName("ClearRecentCommand");
  clear->setEnabled(!files.isEmpty());
  connect(clear, &QAction::triggered, this, [this] {
    TAppSettings settings;
    settings.ClearRecentFiles();
    settings.Sync();
    FillRecentMenu();
  });
}

// ---------------------------------------------------------------------------
// The window between runs, and on any screen

void TFMain::RestoreWindowState() {
  TAppSettings settings;
  const QByteArray geometry = settings.Value("Window/geometry");
  if (!geometry.isEmpty()) restoreGeometry(geometry);
  const QByteArray splitter = settings.Value("Window/splitter");
  if (!splitter.isEmpty()) FSplitter->restoreState(splitter);
  FitToScreen();
}

void TFMain::SaveWindowState() {
  TAppSettings settings;
  settings.SetValue("Window/geometry", saveGeometry());
  settings.SetValue("Window/splitter", FSplitter->saveState());
  settings.Sync();
}

void TFMain::FitToScreen() {
  if (isMaximized() || isFullScreen()) return;
  const QScreen* s = screen() ? screen() : QGuiApplication::primaryScreen();
  if (!s) return;
  const QRect avail = s->availableGeometry();
  // The frame is known once shown; before that it counts as nothing.
  const QSize frame = frameGeometry().size() - geometry().size();
  const QSize room = avail.size() - frame;
  if (width() > room.width() || height() > room.height()) resize(size().boundedTo(room));
  QRect g = frameGeometry();
  if (g.right() > avail.right()) g.moveRight(avail.right());
  if (g.bottom() > avail.bottom()) g.moveBottom(avail.bottom());
  if (g.left() < avail.left()) g.moveLeft(avail.left());
  if (g.top() < avail.top()) g.moveTop(avail.top());
  move(g.topLeft());
}

QWidget* TFMain::ScrollableStrip(QWidget* Strip) {
  auto* area = new QScrollArea;
  area->setObjectName("panPanelsScroller");
  area->setFrameShape(QFrame::NoFrame);
  area->setWidgetResizable(true);
  area->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  area->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  area->setWidget(Strip);
  // As tall as the strip, plus the scroll bar while one is needed.
  const int h = Strip->height();
  area->setFixedHeight(h);
  QScrollBar* bar = area->horizontalScrollBar();
  connect(bar, &QScrollBar::rangeChanged, area, [area, bar, h](int, int Max) {
    area->setFixedHeight(h + (Max > 0 ? bar->sizeHint().height() : 0));
  });
  return area;
}

// ---------------------------------------------------------------------------
// Dropped files

void TFMain::dragEnterEvent(QDragEnterEvent* Event) {
  if (Event->mimeData()->hasUrls()) Event->acceptProposedAction();
}

void TFMain::dropEvent(QDropEvent* Event) {
  QStringList files;
  for (const QUrl& u : Event->mimeData()->urls())
    if (u.isLocalFile()) files << u.toLocalFile();
  Event->acceptProposedAction();
  const auto first = std::find_if(files.begin(), files.end(), IsOpenable);
  if (first == files.end()) {
    statusBar()->showMessage(OpenableKinds(), kMessageMs);
    // Not inside the drop: the dragging program waits until it returns.
    QTimer::singleShot(0, this,
                       [this] { QMessageBox::information(this, "Brellin Pro", OpenableKinds()); });
    return;
  }
  const QString file = QFileInfo(*first).absoluteFilePath();
  if (files.size() > 1)
    statusBar()->showMessage(QString("Opening %1 (%2 files were dropped; one opens at a time)")
                                 .arg(QFileInfo(file).fileName())
                                 .arg(files.size()),
                             kMessageMs);
  // As a file handed over by a second copy: once nothing else is under way.
  OpenArgumentWhenIdle(file);
}

// ---------------------------------------------------------------------------
// Tool tips

void TFMain::AddToolTips() {
  // Every command names its keys: "Auto-sketch Tool (A)".
  for (const TCommandInfo& c : CommandTable()) {
    QAction* a = action(std::string(c.Name));
    if (!a) continue;
    QString tip = c.Hint.empty() ? a->text().remove('&').remove("...")
                                 : QString::fromUtf8(c.Hint.data(), qsizetype(c.Hint.size()));
    if (!a->shortcuts().isEmpty())
      tip += " (" + a->shortcuts().first().toString(QKeySequence::NativeText) + ")";
    a->setToolTip(tip);
  }
  if (QAction* svg = action("SvgCommand"))
    svg->setToolTip("Export to SVG (" + svg->shortcut().toString(QKeySequence::NativeText) + ")");
  // Glyph-only buttons show their action's tip, not only its caption.
  for (QToolButton* b : findChildren<QToolButton*>())
    if (b->defaultAction()) b->setToolTip(b->defaultAction()->toolTip());
  for (int id = 0; id < pgCount; ++id)
    if (FGauges[size_t(id)]->toolTip().isEmpty())
      FGauges[size_t(id)]->setToolTip(QString::fromUtf8(ParameterGauge(id).Caption));
  FSaveProject->setToolTip("Save the project with its strokes (Ctrl+D)");
  FPSCount->setToolTip("Strokes in the project");
  FKbSize->setToolTip("Memory the project takes");
  const char* const modeTips[] = {"One fixed stroke colour", "Colours taken from the picture",
                                  "Colours drawn from the ten swatches"};
  for (int m = 0; m < 3; ++m)
    if (FModeButtons[size_t(m)]) FModeButtons[size_t(m)]->setToolTip(modeTips[m]);
  FColorReset->setToolTip("Back to the colour mode's default settings");
  FSelectorFixed->setToolTip("Left button: the stroke colour; right button: the second colour");
  FSelectorVar->setToolTip("Click a colour to put it in the next swatch");
  for (int i = 0; i < 3; ++i)
    FOffsetSliders[size_t(i)]->setToolTip(
        TColorPanel::SliderCaption(TColorPanel::TOffsetSlider(i)));
  FShapeFore->setToolTip("Stroke colour");
  FShapeBack->setToolTip("Second colour");
  FPatternList->setToolTip("Patterns: click one to paint with it");
  FBrushList->setToolTip("Brushes: click one to paint with it");
  const auto nameIn = [](TPersistentObjectManager& Library) {
    return [&Library](int Index) {
      TPersistentObject* o = Index < Library.Count() ? Library.GetObject(Index) : nullptr;
      if (!o) return QString();
      // Library files carry no name of their own: theirs is the file's.
      return o->Name().empty() ? QFileInfo(QString::fromStdString(o->FileName())).completeBaseName()
                               : QString::fromStdString(o->Name());
    };
  };
  FPatternList->TipOf = nameIn(FDomain.Patterns);
  FBrushList->TipOf = nameIn(FDomain.Brushes);
  FImgSize->setToolTip("Brush size and density, at the picture's scale");
}

}  // namespace brellin
