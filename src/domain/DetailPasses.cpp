#include "domain/DetailPasses.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "analysis/FeatureExtractor.h"
#include "base/Parallel.h"
#include "base/PhaseTimer.h"
#include "base/Progress.h"
#include "base/Random.h"
#include "base/Rounding.h"
#include "domain/BDomain.h"

namespace brellin {

TStyleParams DetailPassStyle(const TStyleParams& Params, int Pass) {
  TStyleParams p = Params;
  const double f = std::ldexp(1.0, -std::clamp(Pass, 0, 30));
  p.Width =
      std::max(float(DetailPassScale(Params, Pass)), std::min(Params.Width, float(DetailMinWidth)));
  p.ScanWidth = float(std::max(1, Round(double(Params.ScanWidth) * f)));
  p.Length = std::max(3, Round(double(Params.Length) * f));
  return p;
}

int DetailPassScale(const TStyleParams& Params, int Pass) {
  const double f = std::ldexp(1.0, -std::clamp(Pass, 0, 30));
  return std::max(1, Round(double(Params.Width) * f));
}

namespace {

// How many times a pass looks for places to paint.
constexpr int DetailRounds = 4;

// Sums over 2 Radius + 1 values of In along a row of Width, edges repeated.
void BoxRow(const int32_t* In, int32_t* Out, int Width, int Radius) {
  int32_t sum = 0;
  for (int k = -Radius; k <= Radius; ++k) sum += In[std::clamp(k, 0, Width - 1)];
  int x = 0;
  // Left edge, the middle without clamping, the right edge.
  for (; x < Width && x - Radius < 0; ++x) {
    Out[x] = sum;
    sum += In[std::min(x + Radius + 1, Width - 1)] - In[0];
  }
  for (; x + Radius + 1 < Width; ++x) {
    Out[x] = sum;
    sum += In[x + Radius + 1] - In[x - Radius];
  }
  for (; x < Width; ++x) {
    Out[x] = sum;
    sum += In[Width - 1] - In[std::max(x - Radius, 0)];
  }
}

}  // namespace

void ComputeDetailErrorMap(const TBitmap32& Painting, const TBitmap32& Source, int Window,
                           TDetailErrorMap& Map) {
  const int w = std::min(Painting.Width(), Source.Width());
  const int h = std::min(Painting.Height(), Source.Height());
  Map.Width = std::max(w, 0);
  Map.Height = std::max(h, 0);
  Map.Values.resize(size_t(Map.Width) * size_t(Map.Height));
  if (w <= 0 || h <= 0) return;
  // The difference is blurred instead of both pictures: a box blur is
  // linear. Luminance and the two colour differences, times 256; with at
  // most 63 x 63 pixels a window's sum stays within 32 bits.
  const int r = std::clamp(Window / 2, 0, 31);
  const size_t n = size_t(w) * size_t(h);
  std::vector<int32_t> rows(3 * n);
  ParallelFor(0, h, [&](int y0, int y1) {
    std::vector<int32_t> diff(3 * size_t(w));
    int32_t* dy = diff.data();
    int32_t* db = dy + w;
    int32_t* dr = db + w;
    for (int y = y0; y < y1; ++y) {
      const TColor32* a = Painting.ScanLine(y);
      const TColor32* b = Source.ScanLine(y);
      for (int x = 0; x < w; ++x) {
        const int32_t rr = int32_t((a[x] >> 16) & 0xFF) - int32_t((b[x] >> 16) & 0xFF);
        const int32_t gg = int32_t((a[x] >> 8) & 0xFF) - int32_t((b[x] >> 8) & 0xFF);
        const int32_t bb = int32_t(a[x] & 0xFF) - int32_t(b[x] & 0xFF);
        const int32_t l = 77 * rr + 150 * gg + 29 * bb;
        dy[x] = l;
        db[x] = bb * 256 - l;
        dr[x] = rr * 256 - l;
      }
      for (size_t c = 0; c < 3; ++c)
        BoxRow(diff.data() + c * size_t(w), rows.data() + c * n + size_t(y) * size_t(w), w, r);
    }
  });
  // Columns, then the error |dY| + (|dB| + |dR|) / 2 in levels x 16, that is
  // (2 |dY| + |dB| + |dR|) * 8 / (window area * 256), rounded down exactly.
  const uint64_t scale = uint64_t(2 * r + 1) * uint64_t(2 * r + 1) * 256;
  const double inverse = 1.0 / double(scale);
  ParallelFor(
      0, w,
      [&](int x0, int x1) {
        const size_t span = size_t(x1 - x0);
        std::vector<int32_t> sum(3 * span, 0);
        for (size_t c = 0; c < 3; ++c)
          for (int k = -r; k <= r; ++k) {
            const int32_t* row = rows.data() + c * n + size_t(std::clamp(k, 0, h - 1)) * size_t(w);
            for (int x = x0; x < x1; ++x) sum[c * span + size_t(x - x0)] += row[x];
          }
        int32_t* sy = sum.data();
        int32_t* sb = sy + span;
        int32_t* sr = sb + span;
        for (int y = 0; y < h; ++y) {
          const size_t add = size_t(std::min(y + r + 1, h - 1)) * size_t(w) + size_t(x0);
          const size_t sub = size_t(std::max(y - r, 0)) * size_t(w) + size_t(x0);
          uint16_t* out = Map.Values.data() + size_t(y) * size_t(w) + size_t(x0);
          for (size_t i = 0; i < span; ++i) {
            const uint64_t e =
                uint64_t(2 * uint64_t(std::abs(int64_t(sy[i]))) +
                         uint64_t(std::abs(int64_t(sb[i]))) + uint64_t(std::abs(int64_t(sr[i])))) *
                8;
            uint64_t q = uint64_t(double(e) * inverse);
            if (q * scale > e) --q;
            if ((q + 1) * scale <= e) ++q;
            out[i] = uint16_t(std::min<uint64_t>(q, 65535));
            sy[i] += rows[add + i] - rows[sub + i];
            sb[i] += rows[n + add + i] - rows[n + sub + i];
            sr[i] += rows[2 * n + add + i] - rows[2 * n + sub + i];
          }
        }
      },
      64);
}

TDetailSeeds ChooseDetailSeeds(const TDetailErrorMap& Map, const TBitmap32& FeatureMap, int Cell,
                               float ThresholdPercent, uint8_t BorderLimit, int64_t MaxSeeds) {
  TDetailSeeds result;
  const int c = std::max(Cell, 1);
  const int cols = (Map.Width + c - 1) / c, rows = (Map.Height + c - 1) / c;
  // Mean error in the map's units above this.
  const double limit = double(ThresholdPercent) / 100.0 * 255.0 * 16.0;
  struct TCell {
    uint64_t Sum;
    uint32_t Pixels;
    TPoint Best;
  };
  std::vector<TCell> found;
  std::vector<TCell> band(size_t(std::max(cols, 0)));
  std::vector<int32_t> best(band.size());  // the highest error so far, -1 for none
  for (int cy = 0; cy < rows; ++cy) {
    for (auto& b : band) b = {0, 0, {0, 0}};
    std::fill(best.begin(), best.end(), -1);
    const int y1 = std::min(Map.Height, (cy + 1) * c);
    for (int y = cy * c; y < y1; ++y) {
      const uint16_t* row = Map.Values.data() + size_t(y) * size_t(Map.Width);
      for (int cx = 0; cx < cols; ++cx) {
        const int x1 = std::min(Map.Width, (cx + 1) * c);
        TCell& cell = band[size_t(cx)];
        uint64_t s = 0;
        for (int x = cx * c; x < x1; ++x) {
          s += row[x];
          if (int32_t(row[x]) > best[size_t(cx)]) {
            best[size_t(cx)] = row[x];
            cell.Best = {x, y};
          }
        }
        cell.Sum += s;
      }
    }
    for (int cx = 0; cx < cols; ++cx) {
      TCell& cell = band[size_t(cx)];
      cell.Pixels = uint32_t((std::min(Map.Width, (cx + 1) * c) - cx * c) * (y1 - cy * c));
      if (cell.Pixels == 0 || double(cell.Sum) <= limit * cell.Pixels) continue;
      ++result.CellsAbove;
      const TPoint p = cell.Best;
      if (!FeatureMap.Contains(p.X, p.Y) ||
          FeatureStrength(FeatureMap.Pixel(p.X, p.Y)) < BorderLimit)
        continue;
      found.push_back(cell);
    }
  }
  if (MaxSeeds > 0 && int64_t(found.size()) > MaxSeeds) {
    // The worst cells; ties keep the order of the grid.
    std::stable_sort(found.begin(), found.end(), [](const TCell& a, const TCell& b) {
      return a.Sum * b.Pixels > b.Sum * a.Pixels;
    });
    found.resize(size_t(MaxSeeds));
  }
  result.Seeds.reserve(found.size());
  for (const TCell& cell : found) result.Seeds.push_back(cell.Best);
  // Painted in random order, so that no pass sweeps the picture row by row.
  for (size_t i = result.Seeds.size(); i > 1; --i)
    std::swap(result.Seeds[i - 1], result.Seeds[size_t(Random(int32_t(i)))]);
  return result;
}

std::vector<uint8_t> SeedsOnPaper(const std::vector<TPoint>& Seeds, const TBitmap32& Painting,
                                  const TBitmap32& Paper) {
  std::vector<uint8_t> bare(Seeds.size(), 0);
  for (size_t i = 0; i < Seeds.size(); ++i) {
    const TPoint p = Seeds[i];
    bare[i] = Painting.Contains(p.X, p.Y) && Paper.Contains(p.X, p.Y) &&
              Painting.Pixel(p.X, p.Y) == Paper.Pixel(p.X, p.Y);
  }
  return bare;
}

std::vector<TDetailPassReport> TDomain::RefineDetails(int Passes, float ThresholdPercent,
                                                      int64_t StrokeBudget) {
  std::vector<TDetailPassReport> reports;
  if (!Document || !Document->Style) return reports;
  TDualImage& doc = *Document;
  struct TBusy {
    TDomainUi& Ui;
    explicit TBusy(TDomainUi& U) : Ui(U) { Ui.SetBusyCursor(true); }
    ~TBusy() { Ui.SetBusyCursor(false); }
  } busy(*FUi);
  TBStyle* const style = doc.Style;
  // The pass paints with a copy: the library's style stays as it is. Its
  // strokes follow the contours whichever tool is current.
  struct TRestore {
    TDualImage& Doc;
    TBStyle* Style;
    bool AutoMode;
    ~TRestore() { Doc.Style = Style, Doc.AutoMode = AutoMode; }
  } restore{doc, style, doc.AutoMode};
  doc.AutoMode = true;
  const int passes = std::clamp(Passes, 0, MaxDetailPasses);
  ApplyRunning = true;
  TDetailErrorMap map;
  // The paper as it shows where no stroke lies.
  TBitmap32 paper(DestinationView->Bitmap().Width(), DestinationView->Bitmap().Height());
  doc.FillBackground(&paper);
  for (int pass = 1; pass <= passes && ApplyRunning; ++pass) {
    TDetailPassReport report;
    report.Pass = pass;
    TBStyle passStyle;
    passStyle.Params = DetailPassStyle(style->Params, pass);
    report.StrokeWidth = Round(double(passStyle.Params.Width));
    const int scale = DetailPassScale(style->Params, pass);
    // A pass looks again after painting its seeds, a few times, as long as
    // its share of the budget lasts: one seed per cell leaves gaps.
    const int64_t share = StrokeBudget > 0 ? std::max<int64_t>(StrokeBudget / passes, 1) : 0;
    int64_t left = share;
    // Which seeds lie on paper is decided with the seeds, from the same
    // painting, so the pass does not depend on when strokes reach the screen.
    std::vector<uint8_t> onPaper;
    auto choose = [&] {
      TPhaseTimer timer("detail seeds");
      doc.SyncStrokes();
      const TBitmap32& painting = DestinationView->Bitmap();
      ComputeDetailErrorMap(painting, doc.Source(), scale | 1, map);
      TDetailSeeds s = ChooseDetailSeeds(map, doc.FeatureMap, 2 * scale, ThresholdPercent,
                                         passStyle.Params.BorderLimit, left);
      onPaper = SeedsOnPaper(s.Seeds, painting, paper);
      return s;
    };
    TDetailSeeds seeds = choose();
    report.CellsAbove = seeds.CellsAbove;
    if (!seeds.Seeds.empty()) {
      doc.Style = &passStyle;
      const uint64_t before = doc.CommittedStrokes;
      // Stopping keeps the strokes painted so far: the pass ends as its edit.
      TProgressScope progress("Refining details...", 0, 100, [this] { ApplyStop(); });
      try {
        RunInEdit([&](TBitmap32&) {
          for (int round = 0; round < DetailRounds && !seeds.Seeds.empty(); ++round) {
            if (round > 0) seeds = choose();
            const int n = int(seeds.Seeds.size());
            report.Seeds += n;
            for (int i = 0; i < n; ++i) {
              if (i % 50 == 0) SetProgress(Round((round + double(i) / n) * 100.0 / DetailRounds));
              const bool bare = onPaper[size_t(i)] != 0;
              report.PaperSeeds += bare;
              doc.Style = bare ? style : &passStyle;
              doc.PaintAt(seeds.Seeds[size_t(i)].X, seeds.Seeds[size_t(i)].Y);
              FUi->ProcessEvents();
              if (!ApplyRunning) {
                report.Stopped = true;
                return;
              }
            }
            if (share > 0 && (left -= n) <= 0) break;
          }
        });
      } catch (const ESilentStop&) {
        // Every seed's stroke came to nothing: the pass painted nothing.
      }
      doc.Style = style;
      report.Strokes = int64_t(doc.CommittedStrokes - before);
    }
    reports.push_back(report);
  }
  ApplyRunning = false;
  return reports;
}

void TDomain::ApplyDetailPasses(uint64_t RunStrokes, int Steps) {
  struct TLastStep {
    TDomainUi& Ui;
    int Steps;
    ~TLastStep() { Ui.ApplyProgress(Steps, Steps); }
  } last{*FUi, Steps};
  RefineDetails(DetailPasses, DetailThreshold, int64_t(RunStrokes));
}

void TDomain::RefineDetailsCommand() {
  if (!Document) return;
  std::string value = std::to_string(DetailPasses > 0 ? DetailPasses : 2);
  if (!FUi->InputBox("Refine details", "Detail passes (1 to 4):", value)) return;
  char* end = nullptr;
  const long n = std::strtol(value.c_str(), &end, 10);
  if (value.empty() || *end != '\0' || n < 1 || n > MaxDetailPasses) return;
  const int64_t budget =
      Document->RecordHistory ? Document->VectorCount() : int64_t(Document->CommittedStrokes);
  const std::vector<TDetailPassReport> reports =
      RefineDetails(int(n), DetailThreshold, std::max<int64_t>(budget, 1));
  if (!reports.empty() && reports.front().Seeds == 0)
    FUi->InfoBox("Refine details",
                 "Nothing to refine: no part of the picture differs enough from the photo.");
}

}  // namespace brellin
