#include "FuzzTargets.h"
#include "base/Errors.h"
#include "base/Stream.h"
#include "domain/DualImage.h"

namespace brellin::fuzz {

namespace {

std::vector<uint8_t> Saved(TDualImage& d) {
  TMemoryStream m;
  d.SaveToStream(m);
  return m.Data();
}

}  // namespace

// The project reader: the three pictures and the whole history.
int FuzzProject(const uint8_t* data, size_t size) {
  TBytesStream s(data, size);
  TPictureView source, dest;
  std::unique_ptr<TDualImage> doc;
  try {
    doc = std::make_unique<TDualImage>(s, 1.0f, &dest, &source);
  } catch (const EBrellinError&) {
    return 0;
  }
  TBStates& h = *doc->History;
  if (h.Position < 0 || h.Position > h.Count()) FuzzFailure("history position out of range");
  if (source.Bitmap().Width() != dest.Bitmap().Width() ||
      doc->FeatureMap.Height() != source.Bitmap().Height())
    FuzzFailure("pictures of different sizes accepted");
  // What was read writes back and reads again to the same bytes.
  const std::vector<uint8_t> once = Saved(*doc);
  {
    TMemoryStream m(once);
    TPictureView s2, d2;
    TDualImage again(m, 1.0f, &d2, &s2);
    if (Saved(again) != once) FuzzFailure("a project changed in a round trip");
  }
  // Every state undoes and redoes, and the strokes paint again, as opening
  // a project that lost strokes does.
  while (doc->CanUndo()) doc->Undo();
  while (doc->CanRedo()) doc->Redo();
  doc->RerenderDestination();
  return 0;
}

}  // namespace brellin::fuzz
