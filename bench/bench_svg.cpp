// SVG export of 100,000 recorded strokes: filled outlines, and centre lines
// for a pen plotter with four pens. (Memory is best measured on the command
// line: `/usr/bin/time -v brellin-cli export-svg` against `brellin-cli info`.)
#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "BenchSupport.h"
#include "base/Random.h"
#include "domain/BDomain.h"
#include "history/SvgExport.h"

using namespace brellin;

namespace {

namespace fs = std::filesystem;

struct TBenchUi : TDomainUi {
  void ErrorBox(const std::string&, const std::string& t) override {
    std::fprintf(stderr, "%s\n", t.c_str());
  }
  bool ProjectOptions(int, int, int sw, int sh, TProjectOptions& o) override {
    o.Width = sw;
    o.Height = sh;
    return true;
  }
  bool SaveImageFile(std::string&) override { return false; }
};

const std::string& Folder() {
  return bench::ProgramFolderFor("brellin-bench-svg");
}

// The photo at its suggested working size, painted with the default style
// until 100,000 strokes are recorded.
struct TStrokeDocument {
  TBenchUi Ui;
  TPictureView Source, Destination;
  TDomain Domain{(Folder(), &Ui)};

  TStrokeDocument() {
    Domain.SourceView = &Source;
    Domain.DestinationView = &Destination;
    Domain.LoadPicture(std::string(BRELLIN_CORPUS) + "/photos/large_kleiber_nuthatch.jpg");
    TDualImage& doc = *Domain.Document;
    doc.AutoMode = true;
    SetRandSeed(0);
    while (doc.VectorCount() < 100000) {
      Domain.ApplyStart(int(100000 - doc.VectorCount() + 10));
      doc.Compact();
    }
  }
};

TStrokeDocument& StrokeDocument() {
  static TStrokeDocument d;
  return d;
}

void Export(benchmark::State& state, const TSvgOptions& o) {
  TStrokeDocument& d = StrokeDocument();
  TDualImage& doc = *d.Domain.Document;
  const std::string file = Folder() + "/strokes.svg";
  TSvgResult r;
  for (auto _ : state)
    r = ExportSvg(file, doc.Destination().Width(), doc.Destination().Height(), *doc.History, o);
  state.counters["paths"] = double(r.Paths);
  uintmax_t bytes = 0;
  if (o.SplitPens)
    for (const TSvgLayerResult& l : r.PerLayer) bytes += fs::file_size(l.File);
  else
    bytes = fs::file_size(file);
  state.counters["MB"] = double(bytes) / 1e6;
  if (o.CenterLines) state.counters["travel_after_per_before"] = r.TravelAfter / r.TravelBefore;
  if (o.Join > 0) state.counters["lifts_joined_per_before"] = double(r.Paths) / r.PathsBeforeJoin;
}

void BM_SvgOutlines(benchmark::State& state) {
  Export(state, TSvgOptions{});
}

void BM_SvgPlotter(benchmark::State& state) {
  TSvgOptions o;
  o.CenterLines = true;
  o.Pens = 4;
  o.PaperWidth = 297, o.PaperHeight = 210, o.Margin = 10;
  Export(state, o);
}

// The same with lines joined within 0.2 mm, one file per pen.
void BM_SvgPlotterJoinedSplit(benchmark::State& state) {
  TSvgOptions o;
  o.CenterLines = true;
  o.Pens = 4;
  o.PaperWidth = 297, o.PaperHeight = 210, o.Margin = 10;
  o.Join = 0.2;
  o.SplitPens = true;
  Export(state, o);
}

}  // namespace

BENCHMARK(BM_SvgOutlines)
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);
BENCHMARK(BM_SvgPlotter)->Unit(benchmark::kMillisecond)->Repetitions(5)->ReportAggregatesOnly(true);
BENCHMARK(BM_SvgPlotterJoinedSplit)
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);

BENCHMARK_MAIN();
