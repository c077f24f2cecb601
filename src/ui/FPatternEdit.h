// The pattern library's edit form: the user draws one-segment curves and
// drags their points in a 210 x 210 area, frame by frame; each frame's
// thumbnail below follows every change. The frame bookkeeping lives in
// interaction/PatternEditorModel.h.
#pragma once

#include <QDialog>
#include <QFrame>
#include <QImage>
#include <memory>
#include <vector>

#include "interaction/PatternEditorModel.h"
#include "library/PersistentObjects.h"

class QHBoxLayout;
class QPushButton;
class QToolButton;

namespace brellin {

class TImgView;

// One frame slot: a 56 x 56 thumbnail in a 64 x 64 bevel, lowered while its
// frame is the one being edited.
class TPatternFrameSlot : public QFrame {
  Q_OBJECT
 public:
  TPatternFrameSlot(int Index, QWidget* Parent = nullptr);
  int index() const { return FIndex; }
  void setImage(const QImage& Image);
  const QImage& image() const { return FImage; }
  void setCurrent(bool Value);

 signals:
  void clicked(int Index);

 protected:
  void paintEvent(QPaintEvent* Event) override;
  void mousePressEvent(QMouseEvent* Event) override;

 private:
  int FIndex;
  bool FCurrent = false;
  QImage FImage;
};

class TFPatternEdit : public QDialog, public TFormPersistentObject {
  Q_OBJECT
 public:
  static constexpr int ThumbnailSize = 56;
  explicit TFPatternEdit(QWidget* Parent = nullptr);
  ~TFPatternEdit() override;

  // TFormPersistentObject: the pattern to edit, its name (always empty:
  // patterns are known by their thumbnails), the modal showing, which puts
  // the pattern's frames back unless it ends with "Accept".
  void SetObject(TPersistentObject* Obj) override;
  void GetObjectName(std::string& Name) override { Name.clear(); }
  bool ShowModal() override;
  void SetCaption(const std::string& Caption) override;

  TPatternEditorModel& model() { return *FModel; }
  TImgView* view() const { return FView; }
  QToolButton* pointerButton() const { return FPointerButton; }
  QToolButton* curveButton() const { return FCurveButton; }
  QPushButton* acceptButton() const { return FAccept; }
  QPushButton* cancelButton() const { return FCancel; }
  int slotCount() const { return int(FSlots.size()); }
  TPatternFrameSlot* frameSlot(int Index) const { return FSlots.at(size_t(Index)); }

 private:
  void SelectTool(TPatternEditorModel::TTool Tool);
  void SelectSlot(int Index);
  void BuildSlots();
  void RedrawThumbnails();
  void MarkCurrentSlot(int Index);

  TImgView* FView;
  std::unique_ptr<TPatternEditorModel> FModel;
  QToolButton *FPointerButton, *FCurveButton;
  QPushButton *FAccept, *FCancel;
  QHBoxLayout* FSlotRow;
  std::vector<TPatternFrameSlot*> FSlots;
  TPattern* FPattern = nullptr;  // not owned
};

}  // namespace brellin
