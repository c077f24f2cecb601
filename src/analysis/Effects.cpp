#include "analysis/Effects.h"

#include <cstdlib>

namespace brellin {

void BlurAlpha(TBitmap32& Bmp, int A) {
  if (A == 0) return;
  // The four corners are symmetric in A; a negative radius means the same.
  A = std::abs(A);
  const int w = Bmp.Width(), h = Bmp.Height();
  for (int y = 0; y < h; ++y) {
    const TColor32* up = Bmp.ScanLine(y - A < 0 ? y : y - A);
    const TColor32* down = Bmp.ScanLine(y + A >= h ? y : y + A);
    TColor32* row = Bmp.ScanLine(y);
    for (int x = 0; x < w; ++x) {
      const int l = x - A < 0 ? x : x - A, r = x + A >= w ? x : x + A;
      // Read before writing: when a row or column is replaced by the pixel's
      // own, the pixel itself is one of the four (still unchanged) values.
      const uint32_t sum = (up[l] >> 24) + (up[r] >> 24) + (down[l] >> 24) + (down[r] >> 24);
      row[x] = (row[x] & 0x00FFFFFFu) | ((sum >> 2) << 24);
    }
  }
  Bmp.Changed();
}

void BlurAlphaTimes(TBitmap32& Bmp, int N) {
  for (int i = 0; i <= N; ++i) BlurAlpha(Bmp, 1);
}

}  // namespace brellin
