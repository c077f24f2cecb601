#include "ui/Dialogs.h"

#include <QCheckBox>
#include <QDoubleSpinBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QVBoxLayout>
#include <climits>

#include "analysis/PictureFormats.h"
#include "domain/DetailPasses.h"
#include "ui/AppSettings.h"
#include "ui/Controls.h"
#include "ui/QtBitmap.h"

namespace brellin {

namespace {
// The spec'd texts break lines with a lone carriage return; Qt wants "\n".
QString DisplayText(const std::string& Text) {
  return QString::fromStdString(Text).replace("\r\n", "\n").replace('\r', '\n');
}
}  // namespace

// ---------------------------------------------------------------------------
// Apply to the whole image

TFApplyAll::TFApplyAll(QWidget* Parent) : QDialog(Parent) {
  setWindowTitle("Apply to the whole image");
  auto* group = new QGroupBox("Number of steps", this);
  FSteps = new QSpinBox(group);
  FSteps->setRange(1, 1000000);
  auto* row = new QHBoxLayout;
  row->addWidget(FSteps);
  row->addWidget(new QLabel("steps", group));
  row->addStretch();
  FStepLabel = new QLabel(group);
  auto* gl = new QVBoxLayout(group);
  gl->addLayout(row);
  gl->addWidget(FStepLabel);
  FFollows = new QLabel(group);
  FFollows->hide();
  gl->addWidget(FFollows);
  FOk = new QPushButton("Start", this);
  FOk->setDefault(true);
  FCancel = new QPushButton("Close", this);
  FBar = new QProgressBar(this);
  FBar->setRange(0, 100);
  FBar->setTextVisible(false);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(FOk);
  buttons->addWidget(FCancel);
  auto* l = new QVBoxLayout(this);
  l->addWidget(group);
  l->addLayout(DetailPassesRow());
  l->addLayout(buttons);
  l->addWidget(FBar);
  // Wide enough for the whole title in the window's frame.
  setMinimumWidth(fontMetrics().horizontalAdvance(windowTitle()) + 160);

  FModel.OnRefresh = [this] { Refresh(); };
  FModel.OnCloseWindow = [this] {
    FClosing = true;
    QDialog::reject();
    FClosing = false;
  };
  connect(FOk, &QPushButton::clicked, this, [this] { FModel.ToggleRunning(); });
  connect(FCancel, &QPushButton::clicked, this, [this] { FModel.CloseAction(); });
  connect(FSteps, &QSpinBox::valueChanged, this, [this](int v) { FModel.StepsEdited(v); });
  SetSteps(5000);
}

QLayout* TFApplyAll::DetailPassesRow() {
  FPasses = new QSpinBox(this);
  FPasses->setObjectName("detailPasses");
  FPasses->setRange(0, MaxDetailPasses);
  FPasses->setToolTip(
      "After the run, passes with strokes of half, a quarter, ... the size "
      "where the picture still differs from the photo; each is one undo step");
  auto* row = new QHBoxLayout;
  row->addWidget(new QLabel("Detail passes", this));
  row->addWidget(FPasses);
  row->addStretch();
  return row;
}

void TFApplyAll::SetDetailPasses(int N) {
  FPasses->setValue(N);
}
int TFApplyAll::DetailPasses() const {
  return FPasses->value();
}

void TFApplyAll::SetSteps(int N) {
  FModel.SetSteps(N);
  QSignalBlocker b(FSteps);
  FSteps->setValue(N);
}

void TFApplyAll::SetFollows(const QString& Text) {
  FFollows->setText(Text);
  FFollows->setVisible(!Text.isEmpty());
}

void TFApplyAll::SetHandlers(std::function<void()> OnStart, std::function<void()> OnStop,
                             std::function<void()> OnClose) {
  FModel.OnStart = std::move(OnStart);
  FModel.OnStop = std::move(OnStop);
  FModel.OnClose = std::move(OnClose);
}

void TFApplyAll::Refresh() {
  FStepLabel->setText(QString::fromStdString(FModel.StepLabel()));
  FBar->setValue(FModel.ProgressPercent());
  FOk->setText(QString::fromStdString(FModel.ButtonCaption()));
  // Painted when the run lets events run next, at frame rate.
  if (isVisible()) update();
}

void TFApplyAll::showEvent(QShowEvent* Event) {
  QDialog::showEvent(Event);
  FModel.Shown();
}

void TFApplyAll::hideEvent(QHideEvent* Event) {
  QDialog::hideEvent(Event);
  FModel.Hidden();
}

void TFApplyAll::reject() {
  if (FClosing) return QDialog::reject();
  FModel.CloseAction();
}

// ---------------------------------------------------------------------------
// Render at resolution

TFImgSizeDlg::TFImgSizeDlg(QWidget* Parent) : QDialog(Parent) {
  setWindowTitle("Render at Resolution");
  lengthGroup = new QGroupBox("Size in Inches", this);
  resolution = new QSpinBox(lengthGroup);
  resolution->setRange(1, 5000);
  horizLength = new QDoubleSpinBox(lengthGroup);
  vertLength = new QDoubleSpinBox(lengthGroup);
  for (QDoubleSpinBox* e : {horizLength, vertLength}) {
    e->setRange(0, 100000);
    e->setDecimals(2);
  }
  inches = new QRadioButton("Inches", lengthGroup);
  inches->setChecked(true);
  centimeters = new QRadioButton("Centimeters", lengthGroup);
  auto* g = new QGridLayout(lengthGroup);
  g->addWidget(new QLabel("Desired Resolution", lengthGroup), 0, 0);
  g->addWidget(resolution, 0, 1);
  g->addWidget(new QLabel("per inch", lengthGroup), 0, 2, 1, 2);
  g->addWidget(new QLabel("Size:", lengthGroup), 1, 0);
  g->addWidget(horizLength, 1, 1);
  g->addWidget(new QLabel("x", lengthGroup), 1, 2);
  g->addWidget(vertLength, 1, 3);
  g->addWidget(inches, 2, 1);
  g->addWidget(centimeters, 2, 3);

  auto* pixels = new QGroupBox("Size in pixels", this);
  horizPixels = new QSpinBox(pixels);
  vertPixels = new QSpinBox(pixels);
  for (QSpinBox* e : {horizPixels, vertPixels}) e->setRange(0, 100000);
  auto* pl = new QHBoxLayout(pixels);
  pl->addWidget(horizPixels);
  pl->addWidget(new QLabel("x", pixels));
  pl->addWidget(vertPixels);
  pl->addWidget(new QLabel("Pixels", pixels));
  estimate = new QLabel(this);
  auto* save = new QPushButton("Save", this);
  save->setDefault(true);
  auto* cancel = new QPushButton("Cancel", this);
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(estimate, 1);
  buttons->addWidget(save);
  buttons->addWidget(cancel);
  auto* l = new QVBoxLayout(this);
  l->addWidget(lengthGroup);
  l->addWidget(pixels);
  l->addLayout(buttons);
  connect(save, &QPushButton::clicked, this, &QDialog::accept);
  connect(cancel, &QPushButton::clicked, this, &QDialog::reject);

  // The unit chosen last time, while the program runs.
  static bool sCentimeters = false;
  FModel.UseCentimeters = sCentimeters;
  (sCentimeters ? centimeters : inches)->setChecked(true);

  // The field being typed in is left alone: rewriting it at each keystroke
  // would turn "6.5" into 6.00 before the "5" arrives.
  connect(horizLength, &QDoubleSpinBox::valueChanged, this,
          [this](double v) { Edited([&] { FModel.HorizLengthEdited(v); }, horizLength); });
  connect(vertLength, &QDoubleSpinBox::valueChanged, this,
          [this](double v) { Edited([&] { FModel.VertLengthEdited(v); }, vertLength); });
  connect(resolution, &QSpinBox::valueChanged, this,
          [this](int v) { Edited([&] { FModel.ResEdited(v); }, resolution); });
  connect(horizPixels, &QSpinBox::valueChanged, this,
          [this](int v) { Edited([&] { FModel.HorizPixelsEdited(v); }, horizPixels); });
  connect(vertPixels, &QSpinBox::valueChanged, this,
          [this](int v) { Edited([&] { FModel.VertPixelsEdited(v); }, vertPixels); });
  connect(centimeters, &QRadioButton::toggled, this, [this](bool cm) {
    sCentimeters = cm;
    Edited([&] { FModel.SetCentimeters(cm); });
  });
}

void TFImgSizeDlg::SetImageSize(int W, int H) {
  FModel.SetImageWidth(W);
  FModel.SetImageHeight(H);
}

void TFImgSizeDlg::Edited(const std::function<void()>& Step, const QWidget* Source) {
  if (FUpdating) return;
  FUpdating = true;
  try {
    Step();
  } catch (...) {
    // The estimate is refreshed and the handlers come back whatever happened.
  }
  ShowModel(Source);
  FUpdating = false;
}

void TFImgSizeDlg::ShowModel(const QWidget* Except) {
  const bool was = FUpdating;
  FUpdating = true;
  const auto show = [Except](auto* Edit, auto Value) {
    if (Edit != Except) Edit->setValue(Value);
  };
  show(horizLength, FModel.HorizLength);
  show(vertLength, FModel.VertLength);
  show(resolution, FModel.Res);
  show(horizPixels, FModel.HorizPixels);
  show(vertPixels, FModel.VertPixels);
  lengthGroup->setTitle(QString::fromStdString(FModel.GroupCaption()));
  estimate->setText(QString::fromStdString(FModel.EstimateText()));
  FUpdating = was;
}

void TFImgSizeDlg::showEvent(QShowEvent* Event) {
  QDialog::showEvent(Event);
  FModel.Shown();
  ShowModel();
  horizLength->setFocus();
}

// ---------------------------------------------------------------------------
// Project options

TFResample::TFResample(QWidget* Parent) : QDialog(Parent), FBackground(new TBackgroundSel(this)) {
  setWindowTitle("Project Options");
  originalLabel = new QLabel(this);
  widthEdit = new QSpinBox(this);
  heightEdit = new QSpinBox(this);
  for (QSpinBox* e : {widthEdit, heightEdit}) e->setRange(INT_MIN, INT_MAX);
  auto* reset = new QPushButton("Reset to original", this);
  preview = new QLabel(this);
  preview->setFixedSize(160, 100);
  preview->setFrameShape(QFrame::Box);
  stretchLabel = new QLabel(preview);
  stretchLabel->setAlignment(Qt::AlignCenter);
  stretchLabel->setGeometry(0, 40, 160, 20);
  stretchLabel->setStyleSheet(
      "QLabel { color: white; background: rgba(0,0,0,96); font-weight: bold; }");
  stretchLabel->hide();
  auto* change = new QPushButton("Change background...", this);
  auto* ok = new QPushButton("OK", this);
  ok->setDefault(true);
  auto* cancel = new QPushButton("Cancel", this);

  auto* g = new QGridLayout;
  g->addWidget(new QLabel("Original Resolution:", this), 0, 0);
  g->addWidget(originalLabel, 0, 1, 1, 3);
  g->addWidget(new QLabel("Recommended Resolution:", this), 1, 0);
  g->addWidget(widthEdit, 1, 1);
  g->addWidget(new QLabel("x", this), 1, 2);
  g->addWidget(heightEdit, 1, 3);
  g->addWidget(reset, 2, 1, 1, 3);
  auto* bg = new QHBoxLayout;
  bg->addWidget(preview);
  bg->addWidget(change, 0, Qt::AlignBottom);
  bg->addStretch();
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(ok);
  buttons->addWidget(cancel);
  cleanEdgesBox = new QCheckBox("Clean edges", this);
  cleanEdgesBox->setToolTip("No stray short strokes along the picture's edges");
  auto* l = new QVBoxLayout(this);
  l->addLayout(g);
  l->addLayout(bg);
  l->addWidget(cleanEdgesBox);
  l->addLayout(buttons);

  ShowError = [this](const QString& Caption, const QString& Text) {
    QMessageBox::critical(this, Caption, Text);
  };
  connect(widthEdit, &QSpinBox::valueChanged, this, [this](int w) {
    if (FUpdating) return;
    FUpdating = true;
    FModel.WidthEdited(w);
    heightEdit->setValue(FModel.Height);
    FUpdating = false;
  });
  connect(heightEdit, &QSpinBox::valueChanged, this, [this](int h) {
    if (FUpdating) return;
    FUpdating = true;
    FModel.HeightEdited(h);
    widthEdit->setValue(FModel.Width);
    FUpdating = false;
  });
  connect(reset, &QPushButton::clicked, this, [this] {
    FUpdating = true;
    FModel.ResetToOriginal();
    widthEdit->setValue(FModel.Width);
    heightEdit->setValue(FModel.Height);
    FUpdating = false;
  });
  connect(change, &QPushButton::clicked, this, [this] {
    if (FBackground->exec() == QDialog::Accepted) RefreshPreview();
  });
  connect(ok, &QPushButton::clicked, this, &QDialog::accept);
  connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
}

TFResample::~TFResample() = default;

void TFResample::SetSizes(int OriginalW, int OriginalH, int SuggestedW, int SuggestedH) {
  FModel.OriginalWidth = OriginalW;
  FModel.OriginalHeight = OriginalH;
  FModel.SuggestedWidth = SuggestedW;
  FModel.SuggestedHeight = SuggestedH;
}

void TFResample::showEvent(QShowEvent* Event) {
  QDialog::showEvent(Event);
  FBackground->SetBackgroundColor(clWhite32);
  RefreshPreview();
  FUpdating = true;
  FModel.Shown();
  widthEdit->setValue(FModel.Width);
  heightEdit->setValue(FModel.Height);
  originalLabel->setText(QString::fromStdString(FModel.OriginalText()));
  FUpdating = false;
}

void TFResample::RefreshPreview() {
  QImage img(preview->size(), QImage::Format_ARGB32);
  const uint8_t mode = FBackground->BackgroundMode();
  const auto pic = FBackground->BackgroundPicture();
  if (mode == 0 || !pic) {
    img.fill(QColor::fromRgba(FBackground->BackgroundColor()));
    stretchLabel->hide();
  } else {
    QPainter p(&img);
    p.setRenderHint(QPainter::SmoothPixmapTransform);
    p.drawImage(img.rect(), WrapBitmap(*pic));
    stretchLabel->setText(mode == 1 ? "STRETCH" : "TILE");
    stretchLabel->show();
  }
  preview->setPixmap(QPixmap::fromImage(img));
}

void TFResample::done(int Result) {
  // Whichever button closes it: the working size may only shrink the
  // picture, to no less than 100 x 100.
  FModel.Width = widthEdit->value();
  FModel.Height = heightEdit->value();
  if (const auto refusal = FModel.CloseRefusal()) {
    ShowError("Error", DisplayText(*refusal));
    return;
  }
  QDialog::done(Result);
}

// ---------------------------------------------------------------------------
// Background selector

TBackgroundSel::TBackgroundSel(QWidget* Parent) : QDialog(Parent) {
  setWindowTitle("Background Selector");
  preview = new QLabel(this);
  preview->setFixedSize(240, 120);
  preview->setFrameShape(QFrame::Box);
  auto* frame = new QGroupBox("Select background type", this);
  solidColor = new QCheckBox("Solid Color", frame);
  image = new QCheckBox("Image", frame);
  tiled = new QCheckBox("Tiled", frame);
  stretch = new QCheckBox("Stretch", frame);
  selectColor = new QPushButton("Select Color", frame);
  loadImage = new QPushButton("Load Image", frame);
  auto* g = new QGridLayout(frame);
  g->addWidget(solidColor, 0, 0);
  g->addWidget(selectColor, 0, 1);
  g->addWidget(image, 1, 0);
  g->addWidget(loadImage, 1, 1);
  g->addWidget(tiled, 2, 0);
  g->addWidget(stretch, 2, 1);
  auto* ok = new QPushButton("OK", this);
  ok->setDefault(true);
  auto* cancel = new QPushButton("Cancel", this);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(ok);
  buttons->addWidget(cancel);
  auto* l = new QVBoxLayout(this);
  l->addWidget(preview, 0, Qt::AlignHCenter);
  l->addWidget(frame);
  l->addLayout(buttons);

  PickImageFile = [this] {
    // In the last folder pictures came from, as the other picture dialogs.
    TAppSettings settings;
    const QString file =
        QFileDialog::getOpenFileName(this, "Load Image", settings.Folder(fkPicture),
                                     QString::fromStdString(PictureFileFilter()));
    if (!file.isEmpty()) {
      settings.SetFolder(fkPicture, QFileInfo(file).absolutePath());
      settings.Sync();
    }
    return file;
  };
  PickColor = [this] {
    // Closed without a pick, the selector gives back the colour it started with.
    TFColorSelector dlg(this);
    dlg.SetPickedColor(FModel.BackgroundColor);
    dlg.exec();
    return dlg.PickedColor();
  };
  ShowWarning = [this](const QString& Text) { QMessageBox::warning(this, windowTitle(), Text); };

  const auto clicked = [this](void (TBackgroundSelectorModel::*Click)()) {
    return [this, Click] {
      if (FUpdating) return;
      (FModel.*Click)();
      ShowChecks();
      Refresh();
    };
  };
  connect(solidColor, &QCheckBox::clicked, this,
          clicked(&TBackgroundSelectorModel::ClickSolidColor));
  connect(image, &QCheckBox::clicked, this, clicked(&TBackgroundSelectorModel::ClickImage));
  connect(tiled, &QCheckBox::clicked, this, clicked(&TBackgroundSelectorModel::ClickTiled));
  connect(stretch, &QCheckBox::clicked, this, clicked(&TBackgroundSelectorModel::ClickStretch));
  connect(selectColor, &QPushButton::clicked, this, [this] {
    FModel.BackgroundColor = PickColor();
    Refresh();
  });
  connect(loadImage, &QPushButton::clicked, this, &TBackgroundSel::LoadImage);
  connect(ok, &QPushButton::clicked, this, &TBackgroundSel::accept);
  connect(cancel, &QPushButton::clicked, this, &TBackgroundSel::reject);
  ShowChecks();
  Refresh();
}

void TBackgroundSel::SetBackgroundColor(TColor32 Color) {
  FModel.BackgroundColor = Color;
  Refresh();
}

void TBackgroundSel::SetBackgroundPicture(std::shared_ptr<const TBitmap32> Picture, uint8_t Mode) {
  FModel.Preset(Picture ? std::make_shared<TBitmap32>(*Picture) : nullptr, Mode);
  ShowChecks();
  Refresh();
}

void TBackgroundSel::showEvent(QShowEvent* Event) {
  QDialog::showEvent(Event);
  FModel.Shown();
  ShowChecks();
  Refresh();
}

void TBackgroundSel::ShowChecks() {
  FUpdating = true;
  solidColor->setChecked(FModel.Checks.SolidColor);
  image->setChecked(FModel.Checks.Image);
  tiled->setChecked(FModel.Checks.Tiled);
  stretch->setChecked(FModel.Checks.Stretch);
  selectColor->setEnabled(FModel.SelectColorEnabled);
  loadImage->setEnabled(FModel.LoadImageEnabled);
  tiled->setEnabled(FModel.TiledEnabled);
  stretch->setEnabled(FModel.StretchEnabled);
  FUpdating = false;
}

void TBackgroundSel::Refresh() {
  QImage img(preview->size(), QImage::Format_ARGB32);
  const auto& pic = FModel.BackgroundPicture;
  if (FModel.BackgroundMode() != 0 && pic) {
    QPainter p(&img);
    p.setRenderHint(QPainter::SmoothPixmapTransform);
    p.drawImage(img.rect(), WrapBitmap(*pic));
  } else {
    img.fill(QColor::fromRgba(FModel.BackgroundColor));
  }
  preview->setPixmap(QPixmap::fromImage(img));
}

void TBackgroundSel::LoadImage() {
  const QString file = PickImageFile();
  if (file.isEmpty()) return;
  // A file that cannot be read leaves an empty picture, which OK refuses
  // as not valid.
  auto pic = std::make_shared<TBitmap32>();
  try {
    *pic = LoadPictureFile(file.toStdString());
  } catch (...) {
    pic = std::make_shared<TBitmap32>();
  }
  FModel.PictureLoaded(std::move(pic));
  Refresh();
}

void TBackgroundSel::accept() {
  if (const auto refusal = FModel.OkRefusal()) {
    ShowWarning(DisplayText(*refusal));
    return;
  }
  QDialog::accept();
}

void TBackgroundSel::reject() {
  FModel.Cancelled();
  ShowChecks();
  Refresh();
  QDialog::reject();
}

// ---------------------------------------------------------------------------
// Colour selector

TFColorSelector::TFColorSelector(QWidget* Parent) : QDialog(Parent) {
  setWindowTitle("Color Selector");
  FSquare = new QLabel(this);
  FSquare->setFixedSize(256, 256);
  FSquare->setCursor(Qt::CrossCursor);
  FSquare->installEventFilter(this);
  FSat = new TNumericGaugeBar(this);
  FSat->setRange(1, 255);
  FSat->setIntValue(true);
  FSat->setValue(100);
  FSwatch = new QLabel(this);
  FSwatch->setFixedSize(40, 20);
  FSwatch->setFrameShape(QFrame::Box);
  FSwatch->setAutoFillBackground(true);
  auto* close = new QPushButton("Close", this);
  auto* sat = new QHBoxLayout;
  sat->addWidget(new QLabel("Saturation:", this));
  sat->addWidget(FSat, 1);
  sat->addWidget(FSwatch);
  auto* l = new QVBoxLayout(this);
  l->addWidget(new QLabel("Choose the color by clicking in the rectangle", this));
  l->addWidget(FSquare, 0, Qt::AlignHCenter);
  l->addLayout(sat);
  l->addWidget(close, 0, Qt::AlignRight);
  connect(FSat, &TNumericGaugeBar::changed, this, &TFColorSelector::DrawSquare);
  connect(close, &QPushButton::clicked, this, &QDialog::accept);
  DrawSquare();
}

void TFColorSelector::DrawSquare() {
  FSquareImage = QImage(256, 256, QImage::Format_ARGB32);
  const int s = int(FSat->value());
  for (int y = 0; y < 256; ++y) {
    auto* row = reinterpret_cast<TColor32*>(FSquareImage.scanLine(y));
    for (int x = 0; x < 256; ++x) row[x] = ColorSquarePixel(x, y, s);
  }
  FSquare->setPixmap(QPixmap::fromImage(FSquareImage));
}

void TFColorSelector::PickAt(int X, int Y) {
  SetPickedColor(
      ColorSquarePixel(std::clamp(X, 0, 255), std::clamp(Y, 0, 255), int(FSat->value())));
}

void TFColorSelector::SetPickedColor(TColor32 Color) {
  FPicked = Color;
  QPalette p = FSwatch->palette();
  p.setColor(QPalette::Window, QColor::fromRgba(FPicked));
  FSwatch->setPalette(p);
}

bool TFColorSelector::eventFilter(QObject* Watched, QEvent* Event) {
  if (Watched == FSquare) {
    // The pointer is held to the square from press to release.
    if (Event->type() == QEvent::MouseButtonPress) {
      FSquare->grabMouse();
      return true;
    }
    if (Event->type() == QEvent::MouseButtonRelease) {
      FSquare->releaseMouse();
      const QPoint pt = static_cast<QMouseEvent*>(Event)->position().toPoint();
      PickAt(pt.x(), pt.y());
      return true;
    }
  }
  return QDialog::eventFilter(Watched, Event);
}

}  // namespace brellin
