// How close a painting comes to its photo, and crops for the README.
//
//   brellin-picture-quality quality PROJECT.bpj
//       the project's painting against its source picture (both at the
//       working size): mean absolute difference of luminance, both blurred
//       with sigma 2 px, over the whole picture and over the photo's tenth of
//       pixels with the strongest edges; prints "WHOLE DETAIL" in levels
//   brellin-picture-quality crop IN X Y W H ZOOM OUT
//       a W x H crop at (X, Y), enlarged ZOOM times without smoothing
//   brellin-picture-quality row OUT IN...
//   brellin-picture-quality column OUT IN...
//       the pictures side by side (or one above the other), 6 white pixels apart
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "analysis/PictureFormats.h"
#include "base/Bitmap32.h"
#include "base/Stream.h"

using namespace brellin;

namespace {

using TPlane = std::vector<float>;

TPlane Luminance(const TBitmap32& b) {
  TPlane l(size_t(b.Width()) * size_t(b.Height()));
  for (int y = 0; y < b.Height(); ++y)
    for (int x = 0; x < b.Width(); ++x) {
      const TColor32 c = b.Pixel(x, y);
      l[size_t(y) * size_t(b.Width()) + size_t(x)] = 0.299f * float((c >> 16) & 0xFF) +
                                                     0.587f * float((c >> 8) & 0xFF) +
                                                     0.114f * float(c & 0xFF);
    }
  return l;
}

// Separable Gaussian, edges repeated.
TPlane Blur(const TPlane& in, int w, int h, double sigma) {
  const int r = int(std::ceil(3 * sigma));
  std::vector<float> k(size_t(2 * r + 1));
  double sum = 0;
  for (int i = -r; i <= r; ++i)
    sum += k[size_t(i + r)] = float(std::exp(-i * i / (2 * sigma * sigma)));
  for (float& v : k) v = float(v / sum);
  TPlane tmp(in.size()), out(in.size());
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      float s = 0;
      for (int i = -r; i <= r; ++i)
        s += k[size_t(i + r)] * in[size_t(y) * size_t(w) + size_t(std::clamp(x + i, 0, w - 1))];
      tmp[size_t(y) * size_t(w) + size_t(x)] = s;
    }
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      float s = 0;
      for (int i = -r; i <= r; ++i)
        s += k[size_t(i + r)] * tmp[size_t(std::clamp(y + i, 0, h - 1)) * size_t(w) + size_t(x)];
      out[size_t(y) * size_t(w) + size_t(x)] = s;
    }
  return out;
}

int Quality(const std::string& project) {
  TFileStream f(project, fmOpenRead);
  TBitmap32 source, painting;
  LoadPictureFromStream(source, f, pfBmp);
  LoadPictureFromStream(painting, f, pfBmp);
  const int w = source.Width(), h = source.Height();
  if (painting.Width() != w || painting.Height() != h) {
    std::fprintf(stderr, "%s: the two pictures differ in size\n", project.c_str());
    return 2;
  }
  const TPlane ls = Luminance(source), lp = Luminance(painting);
  const TPlane bs = Blur(ls, w, h, 2.0), bp = Blur(lp, w, h, 2.0);
  // Edge strength of the photo: Sobel on the photo blurred a little.
  const TPlane e1 = Blur(ls, w, h, 1.0);
  TPlane edge(ls.size(), 0.0f);
  for (int y = 1; y + 1 < h; ++y)
    for (int x = 1; x + 1 < w; ++x) {
      auto at = [&](int dx, int dy) { return e1[size_t(y + dy) * size_t(w) + size_t(x + dx)]; };
      const float gx = at(1, -1) + 2 * at(1, 0) + at(1, 1) - at(-1, -1) - 2 * at(-1, 0) - at(-1, 1);
      const float gy = at(-1, 1) + 2 * at(0, 1) + at(1, 1) - at(-1, -1) - 2 * at(0, -1) - at(1, -1);
      edge[size_t(y) * size_t(w) + size_t(x)] = std::hypot(gx, gy);
    }
  TPlane sorted = edge;
  const size_t tenth = sorted.size() / 10;
  std::nth_element(sorted.begin(), sorted.end() - std::ptrdiff_t(tenth), sorted.end());
  const float cut = *(sorted.end() - std::ptrdiff_t(tenth));
  double all = 0, detail = 0;
  size_t nd = 0;
  for (size_t i = 0; i < ls.size(); ++i) {
    const double d = std::fabs(double(bs[i]) - double(bp[i]));
    all += d;
    if (edge[i] >= cut) detail += d, ++nd;
  }
  std::printf("%.2f %.2f\n", all / double(ls.size()), nd ? detail / double(nd) : 0.0);
  return 0;
}

int Crop(char** a) {
  const TBitmap32 in = LoadPictureFile(a[0]);
  const int x0 = std::atoi(a[1]), y0 = std::atoi(a[2]), w = std::atoi(a[3]), h = std::atoi(a[4]),
            z = std::max(1, std::atoi(a[5]));
  TBitmap32 out(w * z, h * z, 0xFFFFFFFF);
  for (int y = 0; y < h * z; ++y)
    for (int x = 0; x < w * z; ++x) {
      const int sx = x0 + x / z, sy = y0 + y / z;
      if (in.Contains(sx, sy)) out.ScanLine(y)[x] = in.Pixel(sx, sy);
    }
  SavePictureFile(out, a[6], 90);
  return 0;
}

int Row(int n, char** a, bool Column) {
  std::vector<TBitmap32> in;
  int w = 0, h = 0;
  for (int i = 1; i < n; ++i) {
    in.push_back(LoadPictureFile(a[i]));
    const int gap = i > 1 ? 6 : 0;
    if (Column)
      h += in.back().Height() + gap, w = std::max(w, in.back().Width());
    else
      w += in.back().Width() + gap, h = std::max(h, in.back().Height());
  }
  TBitmap32 out(w, h, 0xFFFFFFFF);
  int at = 0;
  for (const TBitmap32& b : in) {
    for (int y = 0; y < b.Height(); ++y)
      std::copy(b.ScanLine(y), b.ScanLine(y) + b.Width(),
                Column ? out.ScanLine(at + y) : out.ScanLine(y) + at);
    at += (Column ? b.Height() : b.Width()) + 6;
  }
  SavePictureFile(out, a[0], 90);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  try {
    const std::string cmd = argc > 1 ? argv[1] : "";
    if (cmd == "quality" && argc == 3) return Quality(argv[2]);
    if (cmd == "crop" && argc == 9) return Crop(argv + 2);
    if ((cmd == "row" || cmd == "column") && argc >= 4)
      return Row(argc - 2, argv + 2, cmd == "column");
  } catch (const std::exception& e) {
    std::fprintf(stderr, "brellin-picture-quality: %s\n", e.what());
    return 2;
  }
  std::fprintf(stderr,
               "usage: brellin-picture-quality quality PROJECT.bpj | crop IN X Y W H ZOOM OUT |"
               " row|column OUT IN...\n");
  return 1;
}
