#include "FuzzTargets.h"
#include "base/Errors.h"
#include "base/Stream.h"
#include "history/UTempManager.h"
#include "render/Strokes.h"

namespace brellin::fuzz {

// The stroke block of a project.
int FuzzStrokes(const uint8_t* data, size_t size) {
  TBytesStream s(data, size);
  std::unique_ptr<TStrokes> strokes;
  try {
    strokes = std::make_unique<TStrokes>(s, NewTempName("tsk"));
  } catch (const EBrellinError&) {
    return 0;
  }
  // Every kept record reads back, with sides short enough to be kept.
  TStrokeRecord r;
  strokes->Rewind();
  for (int32_t i = 0; i < strokes->Count(); ++i) {
    if (!strokes->ReadNext(r)) FuzzFailure("a kept stroke cannot be read back");
    if (r.LeftSide.size() >= MaxLoadedSidePoints || r.RightSide.size() >= MaxLoadedSidePoints)
      FuzzFailure("a long stroke side was kept");
  }
  if (strokes->ReadNext(r)) FuzzFailure("more strokes in the file than counted");
  // Written again, nothing more is dropped and the bytes stay the same.
  TMemoryStream once;
  if (strokes->SaveToStream(once) != strokes->Count()) FuzzFailure("a kept stroke was not written");
  once.SetPosition(0);
  TStrokes again(once, NewTempName("tsk"));
  if (again.DroppedCount() != 0 || again.Count() != strokes->Count())
    FuzzFailure("a written stroke block loses strokes");
  TMemoryStream twice;
  again.SaveToStream(twice);
  if (twice.Data() != once.Data()) FuzzFailure("a stroke block changed in a round trip");
  return 0;
}

}  // namespace brellin::fuzz
