#include <cstring>

#include "FuzzTargets.h"
#include "base/Errors.h"
#include "base/Stream.h"
#include "library/Styles.h"

namespace brellin::fuzz {

int FuzzStyle(const uint8_t* data, size_t size) {
  TBytesStream s(data, size);
  TBStyle style;
  try {
    style.LoadFromStream(s);
  } catch (const EBrellinError&) {
    return 0;
  }
  // A style that loaded must write and read back to the same record and name.
  if (style.PreviewDirty) FuzzFailure("a loaded style wants its preview redrawn");
  TMemoryStream m;
  style.SaveToStream(m);
  m.SetPosition(0);
  TBStyle back;
  back.LoadFromStream(m);
  if (back.Name() != style.Name()) FuzzFailure("style name changed in a round trip");
  if (std::memcmp(&back.Params, &style.Params, sizeof(TStyleParams)) != 0)
    FuzzFailure("style record changed in a round trip");
  return 0;
}

}  // namespace brellin::fuzz
