#include "analysis/ImagprocReference.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "analysis/ImagprocDetail.h"
#include "base/Rounding.h"

namespace brellin::reference {

namespace {
inline int Idx(int x, int r, int w) {
  return r * w + x;
}
}  // namespace

void SplitToPlanes(const TBitmap32& source, TBytePlane& darkness, TBytePlane& tint) {
  const int w = source.Width(), h = source.Height();
  darkness.assign(size_t(w) * size_t(h), 0);
  tint.assign(size_t(w) * size_t(h), 0);
  for (int r = 0; r < h; ++r)
    for (int x = 0; x < w; ++x) {
      const TColor32 c = source.Pixel(x, h - 1 - r);
      float hh, s, l;
      RGBToHSL(RedComponent(c), GreenComponent(c), BlueComponent(c), hh, s, l);
      darkness[size_t(Idx(x, r, w))] = uint8_t(Round(double(l) * 255.0));
      tint[size_t(Idx(x, r, w))] = uint8_t(Round(double(hh) * 31.0) * 8 + Round(double(s) * 7.0));
    }
}

void InvertPlane(TBytePlane& p, int w, int h) {
  for (size_t i = 0; i < size_t(w) * size_t(h); ++i) p[i] = uint8_t(255 - p[i]);
}

void RowGradient(const TBytePlane& src, TSmallintPlane& dst, int w, int h) {
  auto v = [&](int x, int r) { return int(src[size_t(Idx(x, r, w))]); };
  for (int r = 1; r <= h - 2; ++r)
    for (int x = 1; x <= w - 2; ++x)
      dst[size_t(Idx(x, r, w))] = int16_t((v(x - 1, r - 1) + 2 * v(x, r - 1) + v(x + 1, r - 1)) -
                                          (v(x - 1, r + 1) + 2 * v(x, r + 1) + v(x + 1, r + 1)));
}

void ColumnGradient(const TBytePlane& src, TSmallintPlane& dst, int w, int h) {
  auto v = [&](int x, int r) { return int(src[size_t(Idx(x, r, w))]); };
  for (int r = 1; r <= h - 2; ++r)
    for (int x = 1; x <= w - 2; ++x)
      dst[size_t(Idx(x, r, w))] = int16_t((v(x - 1, r - 1) + 2 * v(x - 1, r) + v(x - 1, r + 1)) -
                                          (v(x + 1, r - 1) + 2 * v(x + 1, r) + v(x + 1, r + 1)));
}

void GradientStrength(const TSmallintPlane& a, const TSmallintPlane& b, TBytePlane& dst, int w,
                      int h) {
  for (size_t i = 0; i < size_t(w) * size_t(h); ++i)
    dst[i] = uint8_t(std::min(std::abs(int(a[i])) + std::abs(int(b[i])), 255));
}

static const int kGauss[5][5] = {
    {2, 4, 5, 4, 2}, {4, 9, 12, 9, 4}, {5, 12, 15, 12, 5}, {4, 9, 12, 9, 4}, {2, 4, 5, 4, 2}};

void GaussianBlur5(const TBytePlane& src, TBytePlane& dst, int w, int h) {
  for (int r = 0; r <= 1; ++r)
    for (int x = 0; x <= 1; ++x) dst[size_t(Idx(x, r, w))] = src[size_t(Idx(x, r, w))];
  for (int r = h - 2; r <= h - 1; ++r)
    for (int x = w - 2; x <= w - 1; ++x) dst[size_t(Idx(x, r, w))] = src[size_t(Idx(x, r, w))];
  for (int r = 2; r <= h - 3; ++r)
    for (int x = 2; x <= w - 3; ++x) {
      int s = 0;
      for (int j = -2; j <= 2; ++j)
        for (int i = -2; i <= 2; ++i)
          s += kGauss[j + 2][i + 2] * int(src[size_t(Idx(x + i, r + j, w))]);
      dst[size_t(Idx(x, r, w))] = uint8_t(std::clamp(s / 159, 0, 255));
    }
}

void RepeatBlur(const TBytePlane& src, TBytePlane& dst, int w, int h, int times) {
  TBytePlane v(src.begin(), src.begin() + ptrdiff_t(w) * h);
  for (int k = 1; k <= times; ++k) {
    if (k % 2 == 1)
      reference::GaussianBlur5(v, dst, w, h);
    else
      reference::GaussianBlur5(dst, v, w, h);
  }
  if (times % 2 == 0) std::copy(v.begin(), v.end(), dst.begin());
}

void SmoothPlane(TBytePlane& p, int w, int h, int times) {
  TBytePlane t(p.begin(), p.begin() + ptrdiff_t(w) * h);
  reference::RepeatBlur(p, t, w, h, times);
  std::copy(t.begin(), t.end(), p.begin());
}

static void BilinearUpsample(const TSinglePlane& g, int bw, int bh, TSinglePlane& out, int w,
                             int h) {
  const float sx = float(bw) / float(w), sy = float(bh) / float(h);
  for (int r = 0; r <= h - 2; ++r)
    for (int x = 0; x <= w - 2; ++x) {
      const float fx = float(x) * sx, fy = float(r) * sy;
      const int bx = Trunc(fx), by = Trunc(fy);
      const float ax = FracF(fx), ay = FracF(fy);
      float v = 0.0f;
      if (!(bx >= bw - 1 || by >= bh - 1 || bx < 1 || by < 1)) {
        v = detail::Bilinear(ax, ay, g[size_t(by * bw + bx)], g[size_t(by * bw + bx + 1)],
                             g[size_t((by + 1) * bw + bx)], g[size_t((by + 1) * bw + bx + 1)]);
      }
      out[size_t(Idx(x, r, w))] = v;
    }
}

void OrientationField(const TSmallintPlane& a, const TSmallintPlane& b, TBytePlane& dir, int w,
                      int h, int blockSize) {
  const int bw = w / blockSize, bh = h / blockSize, half = blockSize / 2;
  TSinglePlane angle(size_t(std::max(0, bw * bh)), 0.0f);
  for (int cx = half; cx < w - half; cx += blockSize)
    for (int cy = half; cy < h - half; cy += blockSize) {
      int32_t p = 0, q = 0;
      for (int x = cx - half; x <= cx + half; ++x)
        for (int r = cy - half; r <= cy + half; ++r) {
          const int32_t av = a[size_t(Idx(x, r, w))], bv = b[size_t(Idx(x, r, w))];
          p += 2 * av * bv;
          q += av * av - bv * bv;
        }
      if (p != 0 || q != 0) {
        const int bi = (cy / blockSize) * bw + cx / blockSize;
        if (bi >= 0 && bi < bw * bh) angle[size_t(bi)] = float(std::atan2(double(p), double(q)));
      }
    }
  TSinglePlane cosP(angle.size()), sinP(angle.size());
  for (size_t i = 0; i < angle.size(); ++i) {
    cosP[i] = float(std::cos(double(angle[i])));
    sinP[i] = float(std::sin(double(angle[i])));
  }
  TSinglePlane cosUp(size_t(w) * size_t(h), 0.0f), sinUp(size_t(w) * size_t(h), 0.0f);
  BilinearUpsample(cosP, bw, bh, cosUp, w, h);
  BilinearUpsample(sinP, bw, bh, sinUp, w, h);
  for (size_t i = 0; i < size_t(w) * size_t(h); ++i) dir[i] = DirectionByte(-sinUp[i], cosUp[i]);
}

void DetectEdges(const TBytePlane& src, TBytePlane& edge, int w, int h) {
  TBytePlane t(size_t(w) * size_t(h), 0);
  reference::GaussianBlur5(src, t, w, h);
  auto tv = [&](int x, int r) { return int(t[size_t(Idx(x, r, w))]); };
  for (int r = 1; r <= h - 2; ++r)
    for (int x = 1; x <= w - 2; ++x) {
      const int gy = (tv(x - 1, r - 1) + 2 * tv(x, r - 1) + tv(x + 1, r - 1)) -
                     (tv(x - 1, r + 1) + 2 * tv(x, r + 1) + tv(x + 1, r + 1));
      const int gx = (tv(x - 1, r - 1) + 2 * tv(x - 1, r) + tv(x - 1, r + 1)) -
                     (tv(x + 1, r - 1) + 2 * tv(x + 1, r) + tv(x + 1, r + 1));
      const int m = std::min(std::abs(gy) + std::abs(gx), 255);
      int p1, p2;
      switch (detail::EdgeSector(gx, gy)) {
        case 0:
          p1 = tv(x - 1, r);
          p2 = tv(x + 1, r);
          break;
        case 45:
          p1 = tv(x - 1, r + 1);
          p2 = tv(x + 1, r - 1);
          break;
        case 90:
          p1 = tv(x, r - 1);
          p2 = tv(x, r + 1);
          break;
        default:
          p1 = tv(x - 1, r - 1);
          p2 = tv(x + 1, r + 1);
          break;
      }
      uint8_t e = 0;
      if (!(m < p1 || m < p2)) e = m >= 128 ? 255 : 0;
      edge[size_t(Idx(x, r, w))] = e;
    }
}

void BinarizePlane(TBytePlane& p, int w, int h) {
  for (size_t i = 0; i < size_t(w) * size_t(h); ++i) p[i] = p[i] > 128 ? 255 : 0;
}

void ThinEdges(TBytePlane& edge, int w, int h) {
  if (w < 4 || h < 4) return;
  TBytePlane m(edge.begin(), edge.begin() + ptrdiff_t(w) * h);
  auto e = [&](int x, int r) { return int(edge[size_t(Idx(x, r, w))]); };
  bool deleted = true;
  while (deleted) {
    deleted = false;
    for (int pass = 1; pass <= 2; ++pass) {
      for (int x = 2; x <= w - 2; ++x)
        for (int r = 2; r <= h - 2; ++r) {
          const int p1 = e(x, r);
          const int p[8] = {e(x, r - 1), e(x + 1, r - 1), e(x + 1, r), e(x + 1, r + 1),
                            e(x, r + 1), e(x - 1, r + 1), e(x - 1, r), e(x - 1, r - 1)};
          // p[0..7] = P2..P9
          uint8_t& mark = m[size_t(Idx(x, r, w))];
          bool allSet = true;
          for (int k = 0; k < 8; ++k) allSet = allSet && p[k] != 0;
          if (p1 != 255 || allSet) {
            mark = 0;
            continue;
          }
          int bsum = 0;
          for (int k = 0; k < 8; ++k) bsum += p[k];
          const int bn = bsum / 255;
          int an = 0;
          for (int k = 0; k < 8; ++k)
            if (p[k] == 0 && p[(k + 1) % 8] == 255) ++an;
          const int P2 = p[0], P4 = p[2], P6 = p[4], P8 = p[6];
          bool c3, c4;
          if (pass == 1) {
            c3 = P2 * P4 * P6 == 0;
            c4 = P4 * P6 * P8 == 0;
          } else {
            c3 = P2 * P4 * P8 == 0;
            c4 = P2 * P6 * P8 == 0;
          }
          mark = (bn >= 2 && bn <= 6 && an == 1 && c3 && c4) ? 1 : 0;
        }
      for (int x = 2; x <= w - 2; ++x)
        for (int r = 2; r <= h - 2; ++r) {
          const size_t i = size_t(Idx(x, r, w));
          if (m[i] != 0 && edge[i] != 0) {
            edge[i] = 0;
            deleted = true;
          }
        }
    }
  }
}

void MergeEdgeAndStrength(const TBytePlane& strength, TBytePlane& edge, int w, int h) {
  for (size_t i = 0; i < size_t(w) * size_t(h); ++i)
    edge[i] = uint8_t((edge[i] != 0 ? 128 : 0) | (strength[i] >> 1));
}

void PackFeatureMap(const TBytePlane& darkness, const TBytePlane& tint, const TBytePlane& dir,
                    const TBytePlane& edge, TBitmap32& dest, int w, int h) {
  dest.SetSize(w, h);
  for (int r = 0; r < h; ++r)
    for (int x = 0; x < w; ++x) {
      const size_t i = size_t(Idx(x, r, w));
      dest.SetPixel(x, h - 1 - r,
                    (TColor32(dir[i]) << 24) | (TColor32(darkness[i]) << 16) |
                        (TColor32(tint[i]) << 8) | TColor32(edge[i]));
    }
}

TBitmap32 ExtractFeatures(const TBitmap32& source, int blockSize) {
  const int w = source.Width(), h = source.Height();
  const size_t n = size_t(w) * size_t(h);
  TBytePlane darkness, tint;
  reference::SplitToPlanes(source, darkness, tint);
  reference::InvertPlane(darkness, w, h);
  TSmallintPlane rowGrad(n, 0), colGrad(n, 0);
  reference::RowGradient(darkness, rowGrad, w, h);
  reference::ColumnGradient(darkness, colGrad, w, h);
  TBytePlane strength(n, 0);
  reference::GradientStrength(rowGrad, colGrad, strength, w, h);
  reference::SmoothPlane(strength, w, h, 10);
  TBytePlane direction(n, 0);
  reference::OrientationField(rowGrad, colGrad, direction, w, h, blockSize);
  TBytePlane edge(n, 0);
  reference::DetectEdges(darkness, edge, w, h);
  reference::BinarizePlane(edge, w, h);
  reference::ThinEdges(edge, w, h);
  TBitmap32 result;
  reference::MergeEdgeAndStrength(strength, edge, w, h);
  reference::PackFeatureMap(darkness, tint, direction, edge, result, w, h);
  return result;
}

}  // namespace brellin::reference
