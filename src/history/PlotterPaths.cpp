#include "history/PlotterPaths.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <random>
#include <unordered_map>
#include <utility>

namespace brellin {

namespace {

struct TLab {
  double L = 0, A = 0, B = 0;
};

double ToLinear(double c) {
  c /= 255.0;
  return c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
}

double ToByte(double v) {
  v = std::clamp(v, 0.0, 1.0);
  const double s = v <= 0.0031308 ? 12.92 * v : 1.055 * std::pow(v, 1.0 / 2.4) - 0.055;
  return s * 255.0;
}

constexpr double kDelta = 6.0 / 29.0;
constexpr double kWhiteX = 0.95047, kWhiteZ = 1.08883;  // D65

double LabF(double t) {
  return t > kDelta * kDelta * kDelta ? std::cbrt(t) : t / (3 * kDelta * kDelta) + 4.0 / 29.0;
}
double LabFInverse(double t) {
  return t > kDelta ? t * t * t : 3 * kDelta * kDelta * (t - 4.0 / 29.0);
}

TLab ToLab(TColor32 c) {
  const double r = ToLinear((c >> 16) & 0xFF), g = ToLinear((c >> 8) & 0xFF),
               b = ToLinear(c & 0xFF);
  const double x = 0.4124564 * r + 0.3575761 * g + 0.1804375 * b;
  const double y = 0.2126729 * r + 0.7151522 * g + 0.0721750 * b;
  const double z = 0.0193339 * r + 0.1191920 * g + 0.9503041 * b;
  const double fx = LabF(x / kWhiteX), fy = LabF(y), fz = LabF(z / kWhiteZ);
  return {116.0 * fy - 16.0, 500.0 * (fx - fy), 200.0 * (fy - fz)};
}

TColor32 FromLab(const TLab& lab) {
  const double fy = (lab.L + 16.0) / 116.0;
  const double x = kWhiteX * LabFInverse(fy + lab.A / 500.0);
  const double y = LabFInverse(fy);
  const double z = kWhiteZ * LabFInverse(fy - lab.B / 200.0);
  const double r = 3.2404542 * x - 1.5371385 * y - 0.4985314 * z;
  const double g = -0.9692660 * x + 1.8760108 * y + 0.0415560 * z;
  const double b = 0.0556434 * x - 0.2040259 * y + 1.0572252 * z;
  auto byte = [](double v) { return uint32_t(std::lround(ToByte(v))); };
  return 0xFF000000u | (byte(r) << 16) | (byte(g) << 8) | byte(b);
}

double Distance2(const TLab& p, const TLab& q) {
  const double dl = p.L - q.L, da = p.A - q.A, db = p.B - q.B;
  return dl * dl + da * da + db * db;
}

double SegmentDistance2(TPlotPoint p, TPlotPoint a, TPlotPoint b) {
  const double dx = double(b.X) - a.X, dy = double(b.Y) - a.Y;
  const double len2 = dx * dx + dy * dy;
  double t = len2 > 0 ? ((double(p.X) - a.X) * dx + (double(p.Y) - a.Y) * dy) / len2 : 0.0;
  t = std::clamp(t, 0.0, 1.0);
  const double ex = a.X + t * dx - p.X, ey = a.Y + t * dy - p.Y;
  return ex * ex + ey * ey;
}

double Distance(TPlotPoint p, TPlotPoint q) {
  return std::hypot(double(p.X) - q.X, double(p.Y) - q.Y);
}

}  // namespace

void StrokeCenterLine(const TArrayOfFixedPoint& Left, const TArrayOfFixedPoint& Right,
                      TPlotLine& Out) {
  Out.clear();
  const size_t nl = Left.size(), nr = Right.size();
  if (nl == 0 || nr == 0) {
    for (const TFixedPoint& p : nl ? Left : Right)
      Out.push_back({float(FixedToFloat(p.X)), float(FixedToFloat(p.Y))});
    return;
  }
  // The point at fractional index t of a side.
  auto at = [](const TArrayOfFixedPoint& s, double t, double& x, double& y) {
    const size_t i = size_t(t);
    if (i + 1 >= s.size()) {
      x = FixedToFloat(s.back().X), y = FixedToFloat(s.back().Y);
      return;
    }
    const double f = t - double(i);
    x = FixedToFloat(s[i].X) + f * (FixedToFloat(s[i + 1].X) - FixedToFloat(s[i].X));
    y = FixedToFloat(s[i].Y) + f * (FixedToFloat(s[i + 1].Y) - FixedToFloat(s[i].Y));
  };
  const size_t n = std::max(nl, nr);
  Out.reserve(n);
  for (size_t i = 0; i < n; ++i) {
    const double t = n > 1 ? double(i) / double(n - 1) : 0.0;
    double lx, ly, rx, ry;
    at(Left, t * double(nl - 1), lx, ly);
    at(Right, t * double(nr - 1), rx, ry);
    Out.push_back({float((lx + rx) / 2), float((ly + ry) / 2)});
  }
}

void ClipLine(const TPlotLine& Line, float Width, float Height, std::vector<TPlotLine>& Out) {
  bool open = false;  // Out.back() is the piece being drawn
  for (size_t i = 1; i < Line.size(); ++i) {
    const TPlotPoint a = Line[i - 1], b = Line[i];
    const double dx = double(b.X) - a.X, dy = double(b.Y) - a.Y;
    double t0 = 0, t1 = 1;
    // Liang-Barsky against the four sides.
    auto side = [&](double p, double q) {
      if (p == 0) return q >= 0;
      const double t = q / p;
      if (p < 0) {
        if (t > t1) return false;
        t0 = std::max(t0, t);
      } else {
        if (t < t0) return false;
        t1 = std::min(t1, t);
      }
      return true;
    };
    if (!(side(-dx, a.X) && side(dx, Width - double(a.X)) && side(-dy, a.Y) &&
          side(dy, Height - double(a.Y)))) {
      open = false;
      continue;
    }
    const TPlotPoint p{float(a.X + t0 * dx), float(a.Y + t0 * dy)};
    const TPlotPoint q{float(a.X + t1 * dx), float(a.Y + t1 * dy)};
    if (!(open && t0 == 0)) Out.push_back({p});
    Out.back().push_back(q);
    open = t1 == 1;
  }
}

void SimplifyLine(TPlotLine& Line, float Tolerance) {
  const size_t n = Line.size();
  if (n < 3) return;
  const double tol2 = double(Tolerance) * Tolerance;
  std::vector<char> keep(n, 0);
  keep[0] = keep[n - 1] = 1;
  std::vector<std::pair<size_t, size_t>> pending{{0, n - 1}};
  while (!pending.empty()) {
    const auto [a, b] = pending.back();
    pending.pop_back();
    double worst = -1;
    size_t at = 0;
    for (size_t i = a + 1; i < b; ++i) {
      const double d = SegmentDistance2(Line[i], Line[a], Line[b]);
      if (d > worst) worst = d, at = i;
    }
    if (worst > tol2) {
      keep[at] = 1;
      pending.push_back({a, at});
      pending.push_back({at, b});
    }
  }
  size_t w = 0;
  for (size_t i = 0; i < n; ++i)
    if (keep[i]) Line[w++] = Line[i];
  Line.resize(w);
}

double LineLength(const TPlotLine& Line) {
  double s = 0;
  for (size_t i = 1; i < Line.size(); ++i) s += Distance(Line[i - 1], Line[i]);
  return s;
}

double ColorLightness(TColor32 Color) {
  return ToLab(Color).L;
}

TPenSet QuantizeColors(const std::vector<TColor32>& Colors, const std::vector<int64_t>& Weights,
                       int PenCount, uint32_t Seed) {
  TPenSet set;
  set.PenOf.assign(Colors.size(), 0);
  // Distinct colours with their summed weights, in order of first use.
  std::unordered_map<TColor32, int> indexOf;
  std::vector<TColor32> distinct;
  std::vector<double> weight;
  std::vector<int> colourIndex(Colors.size());
  for (size_t i = 0; i < Colors.size(); ++i) {
    const TColor32 c = Colors[i] | 0xFF000000u;
    auto [it, added] = indexOf.try_emplace(c, int(distinct.size()));
    if (added) distinct.push_back(c), weight.push_back(0);
    weight[size_t(it->second)] += double(std::max<int64_t>(i < Weights.size() ? Weights[i] : 1, 1));
    colourIndex[i] = it->second;
  }
  const size_t d = distinct.size();
  if (PenCount <= 0 || d <= size_t(PenCount)) {
    set.Pens = distinct;
    set.PenOf = colourIndex;
    return set;
  }
  std::vector<TLab> lab(d);
  for (size_t i = 0; i < d; ++i) lab[i] = ToLab(distinct[i]);

  // k-means++ seeding, from a generator of our own: the result must not
  // depend on, or disturb, the program's random sequence.
  std::mt19937 gen(Seed);
  auto uniform = [&gen] { return double(gen()) / 4294967296.0; };
  auto pick = [&](const std::vector<double>& w) {
    double total = 0;
    for (double v : w) total += v;
    double target = uniform() * total;
    for (size_t i = 0; i < w.size(); ++i) {
      target -= w[i];
      if (target < 0) return i;
    }
    return w.size() - 1;
  };
  std::vector<TLab> centres{lab[pick(weight)]};
  std::vector<double> near2(d, std::numeric_limits<double>::max()), chance(d);
  while (centres.size() < size_t(PenCount)) {
    for (size_t i = 0; i < d; ++i) {
      near2[i] = std::min(near2[i], Distance2(lab[i], centres.back()));
      chance[i] = weight[i] * near2[i];
    }
    centres.push_back(lab[pick(chance)]);
  }

  // Lloyd's iterations until no colour changes its pen.
  std::vector<int> pen(d, -1);
  for (int iteration = 0; iteration < 100; ++iteration) {
    bool changed = false;
    for (size_t i = 0; i < d; ++i) {
      int best = 0;
      double bestD = Distance2(lab[i], centres[0]);
      for (size_t k = 1; k < centres.size(); ++k) {
        const double dk = Distance2(lab[i], centres[k]);
        if (dk < bestD) bestD = dk, best = int(k);
      }
      if (pen[i] != best) pen[i] = best, changed = true;
    }
    if (!changed) break;
    std::vector<TLab> sum(centres.size());
    std::vector<double> total(centres.size(), 0);
    for (size_t i = 0; i < d; ++i) {
      TLab& s = sum[size_t(pen[i])];
      s.L += weight[i] * lab[i].L, s.A += weight[i] * lab[i].A, s.B += weight[i] * lab[i].B;
      total[size_t(pen[i])] += weight[i];
    }
    for (size_t k = 0; k < centres.size(); ++k)
      if (total[k] > 0)
        centres[k] = {sum[k].L / total[k], sum[k].A / total[k], sum[k].B / total[k]};
  }

  // Pens that got no colour are dropped; pens that round to the same RGB are one.
  std::unordered_map<TColor32, int> penOfRgb;
  std::vector<int> remap(centres.size(), -1);
  for (size_t i = 0; i < d; ++i) {
    const size_t k = size_t(pen[i]);
    if (remap[k] < 0) {
      const TColor32 rgb = FromLab(centres[k]);
      auto [it, added] = penOfRgb.try_emplace(rgb, int(set.Pens.size()));
      if (added) set.Pens.push_back(rgb);
      remap[k] = it->second;
    }
  }
  for (size_t i = 0; i < Colors.size(); ++i)
    set.PenOf[i] = remap[size_t(pen[size_t(colourIndex[i])])];
  return set;
}

double PenUpTravel(const std::vector<TPlotLine>& Lines, TPlotPoint Start) {
  double s = 0;
  TPlotPoint at = Start;
  for (const TPlotLine& l : Lines) {
    if (l.empty()) continue;
    s += Distance(at, l.front());
    at = l.back();
  }
  return s;
}

void OrderLines(std::vector<TPlotLine>& Lines, TPlotPoint Start) {
  // Ends of the lines with points: id 2 i for the start of line i, 2 i + 1
  // for its end.
  std::vector<uint32_t> live;
  for (size_t i = 0; i < Lines.size(); ++i)
    if (!Lines[i].empty()) live.push_back(uint32_t(i));
  if (live.empty()) return;
  auto endOf = [&](uint32_t id) {
    const TPlotLine& l = Lines[id / 2];
    return id % 2 ? l.back() : l.front();
  };

  // A grid of the remaining ends, rebuilt smaller as lines are used so that
  // searches do not crawl through emptied cells.
  std::vector<char> used(Lines.size(), 0);
  std::vector<std::vector<uint32_t>> cells;
  int gw = 1, gh = 1;
  double x0 = 0, y0 = 0, cw = 1, ch = 1;
  size_t builtFor = 0;
  auto build = [&](size_t remaining) {
    float minX = std::numeric_limits<float>::max(), minY = minX;
    float maxX = std::numeric_limits<float>::lowest(), maxY = maxX;
    for (uint32_t i : live)
      if (!used[i])
        for (const TPlotPoint& p : {Lines[i].front(), Lines[i].back()}) {
          minX = std::min(minX, p.X), maxX = std::max(maxX, p.X);
          minY = std::min(minY, p.Y), maxY = std::max(maxY, p.Y);
        }
    const int g = std::clamp(int(std::sqrt(double(remaining))), 1, 1024);
    gw = gh = g;
    x0 = minX, y0 = minY;
    cw = std::max((double(maxX) - minX) / g, 1e-3);
    ch = std::max((double(maxY) - minY) / g, 1e-3);
    cells.assign(size_t(gw) * size_t(gh), {});
    for (uint32_t i : live)
      if (!used[i])
        for (uint32_t id : {2 * i, 2 * i + 1}) {
          const TPlotPoint p = endOf(id);
          const int cx = std::clamp(int((p.X - x0) / cw), 0, gw - 1);
          const int cy = std::clamp(int((p.Y - y0) / ch), 0, gh - 1);
          cells[size_t(cy) * size_t(gw) + size_t(cx)].push_back(id);
        }
    builtFor = remaining;
  };
  build(live.size());

  std::vector<TPlotLine> ordered;
  ordered.reserve(Lines.size());
  TPlotPoint pen = Start;
  for (size_t remaining = live.size(); remaining > 0; --remaining) {
    if (remaining * 4 < builtFor) build(remaining);
    const int cx = std::clamp(int(std::floor((pen.X - x0) / cw)), 0, gw - 1);
    const int cy = std::clamp(int(std::floor((pen.Y - y0) / ch)), 0, gh - 1);
    double best = std::numeric_limits<double>::max();
    uint32_t bestId = std::numeric_limits<uint32_t>::max();
    auto scan = [&](int x, int y) {
      std::vector<uint32_t>& cell = cells[size_t(y) * size_t(gw) + size_t(x)];
      for (size_t k = 0; k < cell.size();) {
        const uint32_t id = cell[k];
        if (used[id / 2]) {  // a line taken through its other end
          cell[k] = cell.back();
          cell.pop_back();
          continue;
        }
        const TPlotPoint p = endOf(id);
        const double dx = double(p.X) - pen.X, dy = double(p.Y) - pen.Y;
        const double d2 = dx * dx + dy * dy;
        if (d2 < best || (d2 == best && id < bestId)) best = d2, bestId = id;
        ++k;
      }
    };
    const double cell = std::min(cw, ch);
    const int maxRing = std::max(gw, gh);
    for (int r = 0; r <= maxRing; ++r) {
      for (int dy = -r; dy <= r; ++dy) {
        const int y = cy + dy;
        if (y < 0 || y >= gh) continue;
        const bool edgeRow = dy == -r || dy == r;
        for (int dx = -r; dx <= r; dx += edgeRow ? 1 : 2 * std::max(r, 1)) {
          const int x = cx + dx;
          if (x >= 0 && x < gw) scan(x, y);
        }
      }
      // Ends in cells beyond ring r lie at least r cells away.
      const double bound = double(r) * cell;
      if (bestId != std::numeric_limits<uint32_t>::max() && best <= bound * bound) break;
    }
    const uint32_t line = bestId / 2;
    used[line] = 1;
    TPlotLine& l = Lines[line];
    if (bestId % 2) std::reverse(l.begin(), l.end());
    pen = l.back();
    ordered.push_back(std::move(l));
  }
  ordered.resize(Lines.size());  // lines without points go last
  Lines = std::move(ordered);
}

void JoinLines(std::vector<TPlotLine>& Lines, double Tolerance) {
  const double tol2 = Tolerance * Tolerance;
  auto near = [tol2](TPlotPoint a, TPlotPoint b) {
    const double dx = double(a.X) - b.X, dy = double(a.Y) - b.Y;
    return dx * dx + dy * dy <= tol2;
  };
  size_t w = 0;
  for (size_t i = 0; i < Lines.size(); ++i) {
    TPlotLine& l = Lines[i];
    if (l.empty()) continue;
    if (w > 0) {
      TPlotLine& joined = Lines[w - 1];
      const bool forward = near(joined.back(), l.front());
      if (forward || near(joined.back(), l.back())) {
        if (!forward) std::reverse(l.begin(), l.end());
        // A point that repeats the join adds nothing to the drawing.
        const size_t from = joined.back().X == l.front().X && joined.back().Y == l.front().Y;
        joined.insert(joined.end(), l.begin() + long(from), l.end());
        continue;
      }
    }
    if (w != i) Lines[w] = std::move(l);
    ++w;
  }
  Lines.resize(w);
}

}  // namespace brellin
