// "Apply to the entire image" in the desktop program, through its real
// dialog and main window (offscreen): 5000 steps on the coffee photo at its
// working size, painted in place (0) or on a second core (1), as the
// program does. The engine alone takes about 27 and 15 ms for the same run
// (bench_render_pipeline BM_Strokes5000); the rest is the user interface.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QPushButton>
#include <QSpinBox>
#include <QTimer>
#include <functional>
#include <memory>

#include "../BenchSupport.h"
#include "base/Random.h"
#include "domain/BDomain.h"
#include "interaction/Tools.h"
#include "ui/Dialogs.h"
#include "ui/FMain.h"
#include "ui/ImgView.h"
#include "ui/QtDomainUi.h"

using namespace brellin;

namespace {

struct TBenchUi : TQtDomainUi {
  bool ProjectOptions(int, int, int SW, int SH, TProjectOptions& O) override {
    O.Width = SW, O.Height = SH;
    return true;
  }
  TAnswer Confirm(const std::string&) override { return aNo; }  // nothing to save
  bool OpenPictureFile(std::string& F) override {
    F = BRELLIN_CORPUS "/photos/stilllife_coffee.png";
    return true;
  }
};

// Runs Act on the apply dialog once it is up.
void WhenApplyDialog(std::function<void(TFApplyAll*)> Act) {
  auto poll = std::make_shared<std::function<void()>>();
  *poll = [Act, poll] {
    for (QWidget* w : QApplication::topLevelWidgets())
      if (auto* d = qobject_cast<TFApplyAll*>(w); d && d->isVisible()) return Act(d);
    QTimer::singleShot(1, *poll);
  };
  QTimer::singleShot(1, *poll);
}

void BM_DesktopApply5000(benchmark::State& state) {
  bench::ProgramFolderFor("brellin-bench-desktop-apply");
  TBenchUi ui;
  TDomain domain(&ui);
  domain.ToolManagerFactory = MakeToolManagerFactory();
  domain.OverlapStrokes = state.range(0) != 0;
  TFMain main(domain);
  ui.SetParent(&main);
  ui.OnRepaintDestination = [&] { main.destinationView()->viewport()->repaint(); };
  ui.SyncDestination = [&] {
    if (domain.Document) domain.Document->SyncStrokes();
  };
  main.show();
  main.UpdateActions();
  main.action("OpenCommand")->trigger();  // as File, Open does
  QApplication::processEvents();          // the style panel hands over its style
  domain.AutoDirCommand();                // strokes along the contours
  for (auto _ : state) {
    double seconds = 0;
    WhenApplyDialog([&](TFApplyAll* d) {
      d->stepsEdit()->setValue(5000);
      SetRandSeed(1);
      QElapsedTimer t;
      t.start();
      d->startButton()->click();  // returns when the run is over
      seconds = double(t.nsecsElapsed()) * 1e-9;
    });
    main.UpdateActions();
    main.action("ApplyWithCurrentSettingsCommand")->trigger();
    state.SetIterationTime(seconds);
  }
  domain.CloseCommand();
}
BENCHMARK(BM_DesktopApply5000)
    ->Arg(0)
    ->Arg(1)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(5)
    ->Repetitions(3)
    ->ReportAggregatesOnly(true);

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
