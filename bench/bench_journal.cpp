// What the recovery journal costs the user-interface thread. A drag of the
// auto-sketch tool on a 2-megapixel document (press, one spray burst,
// release: one edit) plus the repaint of both views, with the journal off
// and on; and the journal's own share of one such edit: collecting its
// strokes as they are committed and handing the edit to the writer, whose
// thread appends and syncs it meanwhile. Report medians, and the on/off
// ratio from the same run.
#include <benchmark/benchmark.h>

#include <cstdio>

#include "BenchSupport.h"
#include "base/Random.h"
#include "domain/BDomain.h"
#include "interaction/Tools.h"

using namespace brellin;

namespace {

const std::string kPhoto = std::string(BRELLIN_CORPUS) + "/photos/large_kleiber_nuthatch.jpg";

struct TBenchUi : TDomainUi {
  void ErrorBox(const std::string&, const std::string& t) override {
    std::fprintf(stderr, "%s\n", t.c_str());
  }
  bool ProjectOptions(int, int, int, int, TProjectOptions& o) override {
    o.Width = 1732;  // 2.0 megapixels
    o.Height = 1155;
    return true;
  }
  bool SaveImageFile(std::string&) override { return false; }
};

struct TDesktopDocument {
  TBenchUi Ui;
  TPictureView Source, Destination;
  std::unique_ptr<TDomain> Domain;
  TBitmap32 SourceBuffer, DestinationBuffer;
  explicit TDesktopDocument(bool Journal) {
    bench::ProgramFolderFor("brellin-bench-journal");
    Domain = std::make_unique<TDomain>(&Ui);
    Domain->SourceView = &Source;
    Domain->DestinationView = &Destination;
    Domain->ToolManagerFactory = MakeToolManagerFactory();
    Domain->RecoveryJournal = Journal;
    Domain->LoadPicture(kPhoto);
    Domain->AutoDirCommand();
    Source.SetClientSize(1000, 700);
    Destination.SetClientSize(1000, 700);
  }
};

void BM_DragEditAndRepaint2MP(benchmark::State& state) {
  const bool journal = state.range(0) != 0;
  TDesktopDocument d(journal);
  SetRandSeed(1);
  int x = 100, step = 7;
  for (auto _ : state) {
    x += step;
    if (x > 900 || x < 100) step = -step;
    d.Source.MouseDown(mbLeft, ssLeft, x, 300);
    d.Source.MouseMove(ssLeft, x + 5, 300 + (x % 200));  // one burst
    d.Source.MouseUp(mbLeft, 0, x + 5, 300 + (x % 200));
    d.Source.Paint(d.SourceBuffer);
    d.Destination.Paint(d.DestinationBuffer);
    benchmark::DoNotOptimize(d.DestinationBuffer.ScanLine(0));
  }
  state.counters["edits"] = double(d.Domain->Document->StateCount());
  if (journal && !d.Domain->Journal->Writer().Flush()) state.SkipWithError("the journal failed");
}
BENCHMARK(BM_DragEditAndRepaint2MP)
    ->ArgName("journal")
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(100)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);

// The journal's part alone: the strokes of a real burst collected one by
// one, then the finished edit handed over.
void BM_JournalPerEdit(benchmark::State& state) {
  static TDesktopDocument d(true);
  TDualImage& doc = *d.Domain->Document;
  SetRandSeed(2);
  doc.BeginEdit();
  doc.SprayAt(600, 400);
  doc.EndEdit();
  std::vector<TStrokeRecord> strokes;
  TStrokes& recorded = *doc.History->Top()->Strokes;
  TStrokeRecord r;
  recorded.Rewind();
  while (int(strokes.size()) < recorded.Count() && recorded.ReadNext(r)) strokes.push_back(r);
  TDocumentJournal& journal = *d.Domain->Journal;
  const TRect rect = doc.History->Top()->Rect;
  for (auto _ : state) {
    journal.BeginEdit();
    for (const TStrokeRecord& s : strokes)
      journal.AddStroke(s.LeftSide, s.RightSide, s.ReliefParams, s.Id, s.Alpha, s.Color);
    journal.EndEdit(rect, CurrentRandomState());
  }
  state.counters["strokes_per_edit"] = double(strokes.size());
  if (!journal.Writer().Flush()) state.SkipWithError("the journal failed");
}
BENCHMARK(BM_JournalPerEdit)
    ->Unit(benchmark::kMicrosecond)
    ->Iterations(300)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);

}  // namespace

BENCHMARK_MAIN();
