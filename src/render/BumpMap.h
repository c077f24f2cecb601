// Relief for brush strokes: the stroke's own opacity is taken as a height
// field and the stroke is shaded as if lit from a low angle.
#pragma once

#include "base/Bitmap32.h"

namespace brellin {

// Shades Dst from Src, a copy of it: Src's alpha is blurred Softness + 1
// times, then every pixel inside a two-pixel margin gets its colour moved by
// the light falling on the blurred alpha surface. Depth is the bumpiness
// (1..15; larger is steeper), azimuth and elevation are in degrees. Dst keeps
// its alpha. Src must have Dst's size.
void ApplyRelief(TBitmap32& dst, TBitmap32& src, int depth, int softness, float azimuthDeg,
                 float elevationDeg);

}  // namespace brellin
