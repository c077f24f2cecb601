// Small routines many units share: colour arithmetic, geometry helpers,
// bitmap helpers, stream and file helpers, and the buffered text writer.
#pragma once

#include <cstdint>

#include "analysis/imagproc.h"
#include "base/Bitmap32.h"
#include "base/Types.h"

namespace brellin {

// DirectionByte (declared with the filters in imagproc.h) belongs to this family too.

}  // namespace brellin
