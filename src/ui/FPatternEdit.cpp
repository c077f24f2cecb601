#include "ui/FPatternEdit.h"

#include <QButtonGroup>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QScrollBar>
#include <QToolButton>
#include <QVBoxLayout>

#include "analysis/BDibUtils.h"
#include "base/Errors.h"
#include "library/Patterns.h"
#include "ui/Controls.h"
#include "ui/ImgView.h"
#include "ui/QtBitmap.h"

namespace brellin {

namespace {

constexpr int kBevel = 64;

QIcon PointerIcon() {
  return DrawnIcon(24, [&](QPainter& p) {
    const QPolygonF arrow({{6, 3}, {6, 19}, {10, 15}, {13, 21}, {15.5, 20}, {12.5, 14}, {18, 14}});
    p.setPen(QPen(Qt::black, 1.2));
    p.setBrush(Qt::white);
    p.drawPolygon(arrow);
  });
}

QIcon CurveIcon() {
  return DrawnIcon(24, [&](QPainter& p) {
    QPainterPath path({3, 19});
    path.cubicTo(6, 2, 16, 24, 21, 5);
    p.setPen(QPen(Qt::black, 1.6));
    p.drawPath(path);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(200, 40, 40));
    p.drawEllipse(QPointF(3, 19), 2.2, 2.2);
    p.drawEllipse(QPointF(21, 5), 2.2, 2.2);
  });
}

}  // namespace

// ---------------------------------------------------------------------------
// TPatternFrameSlot

TPatternFrameSlot::TPatternFrameSlot(int Index, QWidget* Parent) : QFrame(Parent), FIndex(Index) {
  setObjectName(QString("Bevel%1").arg(Index + 1));
  setFixedSize(kBevel, kBevel);
  setFrameShape(QFrame::Panel);
  setLineWidth(2);
  setCurrent(false);
  setCursor(Qt::PointingHandCursor);
  setToolTip(QString("Frame %1").arg(Index + 1));
}

void TPatternFrameSlot::setImage(const QImage& Image) {
  FImage = Image;
  update();
}

void TPatternFrameSlot::setCurrent(bool Value) {
  FCurrent = Value;
  setFrameShadow(Value ? QFrame::Sunken : QFrame::Raised);
  update();
}

void TPatternFrameSlot::paintEvent(QPaintEvent* Event) {
  QFrame::paintEvent(Event);
  if (FImage.isNull()) return;
  QPainter p(this);
  const QRect r((width() - FImage.width()) / 2, (height() - FImage.height()) / 2, FImage.width(),
                FImage.height());
  p.drawImage(r.topLeft(), FImage);
  // The lowered bevel alone is easy to miss: the frame being edited is also
  // outlined.
  if (FCurrent) {
    p.setPen(QPen(palette().color(QPalette::Highlight), 2));
    p.drawRect(r.adjusted(1, 1, -1, -1));
  }
}

void TPatternFrameSlot::mousePressEvent(QMouseEvent* Event) {
  if (Event->button() == Qt::LeftButton) emit clicked(FIndex);
}

// ---------------------------------------------------------------------------
// TFPatternEdit

TFPatternEdit::TFPatternEdit(QWidget* Parent) : QDialog(Parent) {
  setObjectName("FPatternEdit");
  setWindowTitle("Pattern");

  FView = new TImgView;
  FView->setObjectName("ImgView");
  FView->setFixedSize(PatternAreaSize, PatternAreaSize);
  FView->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  FView->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  // Keys and the wheel belong to nothing here.
  FView->setFocusPolicy(Qt::NoFocus);
  FModel = std::make_unique<TPatternEditorModel>(FView->model());
  FView->PictureResized();
  FModel->OnFramesChanged = [this] { RedrawThumbnails(); };
  FModel->OnFrameSelected = [this](int i) { MarkCurrentSlot(i); };

  auto* area = new QFrame;
  area->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  area->setLineWidth(2);
  auto* areaLayout = new QVBoxLayout(area);
  areaLayout->setContentsMargins(0, 0, 0, 0);
  areaLayout->addWidget(FView);

  FPointerButton = new QToolButton;
  FPointerButton->setObjectName("PointerButton");
  FPointerButton->setIcon(PointerIcon());
  FPointerButton->setIconSize({24, 24});
  FPointerButton->setToolTip("Select and drag the points of a curve");
  FCurveButton = new QToolButton;
  FCurveButton->setObjectName("CurveButton");
  FCurveButton->setIcon(CurveIcon());
  FCurveButton->setIconSize({24, 24});
  FCurveButton->setToolTip("Draw a new curve free hand");
  auto* tools = new QButtonGroup(this);
  tools->setExclusive(true);
  for (QToolButton* b : {FPointerButton, FCurveButton}) {
    b->setCheckable(true);
    b->setAutoRaise(true);
    b->setFixedSize(34, 34);
    tools->addButton(b);
  }
  FPointerButton->setChecked(true);
  connect(FPointerButton, &QToolButton::clicked, this,
          [this] { SelectTool(TPatternEditorModel::ptPointer); });
  connect(FCurveButton, &QToolButton::clicked, this,
          [this] { SelectTool(TPatternEditorModel::ptCurve); });

  FAccept = new QPushButton("Accept");
  FAccept->setDefault(true);
  FCancel = new QPushButton("Cancel");
  connect(FAccept, &QPushButton::clicked, this, &QDialog::accept);
  connect(FCancel, &QPushButton::clicked, this, &QDialog::reject);

  auto* left = new QVBoxLayout;
  auto* toolRow = new QHBoxLayout;
  toolRow->addWidget(FPointerButton);
  toolRow->addWidget(FCurveButton);
  toolRow->addStretch();
  left->addLayout(toolRow);
  left->addStretch();
  left->addWidget(FAccept);
  left->addWidget(FCancel);

  FSlotRow = new QHBoxLayout;
  FSlotRow->setSpacing(1);

  auto* grid = new QGridLayout(this);
  grid->setContentsMargins(5, 5, 5, 5);
  grid->setSpacing(6);
  grid->addLayout(left, 0, 0);
  grid->addWidget(area, 0, 1, Qt::AlignCenter);
  grid->addLayout(FSlotRow, 1, 0, 1, 2, Qt::AlignHCenter);
  grid->setSizeConstraint(QLayout::SetFixedSize);
}

TFPatternEdit::~TFPatternEdit() {
  FModel->OnFramesChanged = nullptr;
  FModel->OnFrameSelected = nullptr;
  // The model hands the view its handlers back while the view still exists.
  FModel.reset();
}

void TFPatternEdit::SetObject(TPersistentObject* Obj) {
  FPattern = dynamic_cast<TPattern*>(Obj);
}

void TFPatternEdit::SetCaption(const std::string& Caption) {
  setWindowTitle(QString::fromStdString(Caption));
}

bool TFPatternEdit::ShowModal() {
  if (FPattern == nullptr) throw EBrellinError("The pattern editor has no pattern to edit");
  FModel->Open(FPattern);
  BuildSlots();
  MarkCurrentSlot(FModel->CurrentFrame());
  RedrawThumbnails();
  FView->viewport()->update();
  FAccept->setFocus();
  bool accepted = false;
  try {
    accepted = exec() == QDialog::Accepted;
  } catch (...) {
    FModel->Revert();
    FModel->Close();
    throw;
  }
  if (!accepted) FModel->Revert();
  FModel->Close();
  return accepted;
}

void TFPatternEdit::SelectTool(TPatternEditorModel::TTool Tool) {
  FModel->SelectTool(Tool);
  (Tool == TPatternEditorModel::ptCurve ? FCurveButton : FPointerButton)->setChecked(true);
}

void TFPatternEdit::SelectSlot(int Index) {
  try {
    FModel->SelectFrame(Index);
  } catch (const std::exception& e) {
    LogError(e);
  }
}

void TFPatternEdit::BuildSlots() {
  const int n = FModel->SlotCount();
  if (int(FSlots.size()) == n) return;
  for (TPatternFrameSlot* s : FSlots) delete s;
  FSlots.clear();
  for (int i = 0; i < n; ++i) {
    auto* s = new TPatternFrameSlot(i);
    connect(s, &TPatternFrameSlot::clicked, this, [this](int k) { SelectSlot(k); });
    FSlotRow->addWidget(s);
    FSlots.push_back(s);
  }
}

void TFPatternEdit::RedrawThumbnails() {
  TBitmap32 thumb;
  thumb.SetSize(ThumbnailSize, ThumbnailSize);
  for (size_t i = 0; i < FSlots.size(); ++i) {
    try {
      FModel->DrawThumbnail(int(i), thumb);
    } catch (const std::exception& e) {
      thumb.Clear(TPatternEditorModel::ThumbnailGrey);
      LogError(e);
    }
    FSlots[i]->setImage(ToQImage(thumb));
  }
}

void TFPatternEdit::MarkCurrentSlot(int Index) {
  for (TPatternFrameSlot* s : FSlots) s->setCurrent(s->index() == Index);
}

}  // namespace brellin
