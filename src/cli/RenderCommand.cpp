// brellin-cli render: a photo in, a picture made of strokes out.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "analysis/PictureFormats.h"
#include "base/BmpCodec.h"
#include "base/Errors.h"
#include "base/MemoryBudget.h"
#include "base/Parallel.h"
#include "base/ProgramFolder.h"
#include "base/Progress.h"
#include "base/Random.h"
#include "cli/Batch.h"
#include "cli/CliCommon.h"
#include "cli/CliDomainUi.h"
#include "cli/CliLibraries.h"
#include "cli/PaintSetup.h"
#include "domain/BDomain.h"
#include "library/Styles.h"

namespace brellin::cli {

namespace fs = std::filesystem;

const char* const kRenderHelp =
    "usage: brellin-cli render INPUT... [-o OUT.(jpg|jpeg|bmp|png|tif|tiff) | --out-dir DIR]\n"
    "    [--style NAME|FILE.bst] [--steps N] [--repeat N] [--seed N]\n"
    "    [--size WxH | --full-size]\n"
    "    [--mode auto|pattern [--pattern INDEX|NAME|FILE.stk] [--radius N] [--density N]]\n"
    "    [--color auto|fixed|variants] [--fore RRGGBB] [--back RRGGBB] [--variant RRGGBB]...\n"
    "    [--hue-offset F] [--sat-offset F] [--light-offset F]\n"
    "    [--background RRGGBB | --background-picture FILE [--background-mode stretch|tile]]\n"
    "    [--detail-passes N [--detail-threshold T]] [--clean-edges]\n"
    "    [--dpi N] [--ps OUT.ps] [--svg OUT.svg] [--project OUT.bpj] [--threads N] "
    "[--quiet]\n" BRELLIN_BATCH_USAGE
    "\n"
    "Paints a picture with strokes that follow its contours, as \"Apply to the entire\n"
    "image\" does, and saves it.\n"
    "  -o FILE          output (default: INPUT's name + \"-brellin.jpg\" here)\n"
    "  --style S        a style of the library or a .bst file (default \"Scratch Style\")\n"
    "  --steps N        seeds of the apply run (default 5000)\n"
    "  --repeat N       then repeat the run N times\n"
    "  --seed N         start of the random generator (default 0): same options,\n"
    "                   same picture, bit for bit\n"
    "  --size WxH       working size (at most the picture's size); default: the\n"
    "                   suggested size of at most about one megapixel\n"
    "  --full-size      work at the picture's own size\n"
    "  --mode MODE      auto: strokes follow the picture's contours (default);\n"
    "                   pattern: each stroke follows a random curve of a pattern\n"
    "  --pattern P      the pattern: an index or name of 'brellin-cli patterns'\n"
    "                   or a .stk file (default: the library's first pattern)\n"
    "  --radius N       brush radius, 8..500 (default 50); a pattern is used at\n"
    "                   its drawn size with radius 105, at half size with 52\n"
    "  --density N      the tools' spray density, 5..200 (default 50); kept with\n"
    "                   the document like the desktop program's \"Density\": the\n"
    "                   apply run paints one stroke per step whatever it is\n"
    "  --color MODE     stroke colours: auto (from the picture), fixed (a mix of\n"
    "                   --fore and --back by brightness), variants (the --variant\n"
    "                   colours darkened by brightness)\n"
    "  --*-offset F     hue, saturation and lightness offsets, -0.5..0.5\n"
    "  --background ... the paper: a colour (default white) or a picture\n"
    "  --detail-passes N  then 0..4 passes with strokes of half, a quarter, ...\n"
    "                   the size where the painting still differs from the\n"
    "                   photo (no thinner than 3 px; gaps of bare paper get\n"
    "                   the style's own strokes); each pass is one undo step;\n"
    "                   all passes together paint at most as many strokes as\n"
    "                   the run (default 0)\n"
    "  --detail-threshold T  a pass paints where the difference is above T %\n"
    "                   of full scale (default 4)\n"
    "  --clean-edges    no stray stubs along the picture's edges: strokes near\n"
    "                   the edge follow the contours inside, and those shorter\n"
    "                   than 3 pixels that touch the edge are left out\n"
    "  --dpi N          resolution written into TIFF and PNG files (default 200)\n"
    "  --ps FILE        also write the strokes as PostScript\n"
    "  --svg FILE       also write the strokes as SVG, over the paper colour\n"
    "  --project FILE   also save the project (pictures, history and strokes),\n"
    "                   for rerender, export-ps or the desktop program\n"
    "  --threads N      threads for the analysis and the strokes (default: all\n"
    "                   cores); the picture is the same with any number\n"
    "\n" BRELLIN_BATCH_HELP;

namespace {

// Several inputs, each painted as when it is the only one.
TBatchCommand RenderBatch(const std::vector<std::string>& valueOptions,
                          const std::vector<std::string>& flagOptions) {
  TBatchCommand c;
  c.Name = "render";
  c.ValueOptions = valueOptions;
  c.FlagOptions = flagOptions;
  c.SingleInputOptions = {"--ps", "--svg", "--project"};
  c.TakesThreads = true;
  c.OutputName = [](const std::string& stem) { return stem + "-brellin.jpg"; };
  c.Run = RenderCommand;
  return c;
}

}  // namespace

int RenderCommand(const std::vector<std::string>& args) {
  const std::vector<std::string> valueOptions = {"-o",
                                                 "--out-dir",
                                                 "--style",
                                                 "--steps",
                                                 "--repeat",
                                                 "--seed",
                                                 "--size",
                                                 "--mode",
                                                 "--pattern",
                                                 "--radius",
                                                 "--density",
                                                 "--color",
                                                 "--fore",
                                                 "--back",
                                                 "--variant",
                                                 "--hue-offset",
                                                 "--sat-offset",
                                                 "--light-offset",
                                                 "--background",
                                                 "--background-picture",
                                                 "--background-mode",
                                                 "--dpi",
                                                 "--ps",
                                                 "--svg",
                                                 "--project",
                                                 "--threads",
                                                 "--detail-passes",
                                                 "--detail-threshold"};
  const std::vector<std::string> flagOptions = {"--full-size", "--quiet", "--clean-edges"};
  if (WantsBatch(args, RenderBatch(valueOptions, flagOptions)))
    return RunBatch(args, RenderBatch(valueOptions, flagOptions));
  TArgs a(args, valueOptions, flagOptions);
  const auto& inputs = a.Positional();
  if (inputs.empty()) throw EUsage("render needs at least one INPUT picture");
  if (inputs.size() > 1 && !a.Has("--out-dir")) throw EUsage("several INPUTs need --out-dir DIR");
  if (inputs.size() > 1 && a.Has("-o")) throw EUsage("-o names one output; use --out-dir");
  if ((a.Has("--ps") || a.Has("--svg") || a.Has("--project")) && inputs.size() > 1)
    throw EUsage("--ps, --svg and --project name the files of one INPUT");
  const bool keepVectors = a.Has("--ps") || a.Has("--svg") || a.Has("--project");
  const std::string mode = a.Value("--mode", "auto");
  if (mode != "auto" && mode != "pattern") throw EUsage("--mode takes auto or pattern");
  const bool patternMode = mode == "pattern";
  if (!patternMode && (a.Has("--pattern") || a.Has("--radius") || a.Has("--density")))
    throw EUsage("--pattern, --radius and --density go with --mode pattern");
  const int radius = a.IntValue("--radius", 50, 8, 500);
  const int density = a.IntValue("--density", 50, 5, 200);
  const int steps = a.IntValue("--steps", 5000, 1, 100000000);
  const int repeat = a.IntValue("--repeat", 0, 0, 1000);
  const uint32_t seed = uint32_t(a.IntValue("--seed", 0, 0, 2147483647));
  const int dpi = a.IntValue("--dpi", 200, 1, 100000);
  SetThreadCount(a.IntValue("--threads", 0, 1, 64));
  const TDetailOptions detail = ReadDetailOptions(a, "--detail-passes");

  TCliDomainUi ui;
  ReadWorkingSize(a, ui);
  const TColorSettings colours = ReadColours(a);

  auto outputFor = [&](const std::string& input) {
    if (a.Has("-o")) return a.Value("-o");
    const std::string name = fs::path(input).stem().string() + "-brellin.jpg";
    return a.Has("--out-dir") ? (fs::path(a.Value("--out-dir")) / name).string() : name;
  };
  {
    std::vector<std::string> read(inputs.begin(), inputs.end());
    for (const char* opt : {"--background-picture", "--style", "--pattern"})
      if (a.Has(opt) && fs::exists(a.Value(opt))) read.push_back(a.Value(opt));
    std::vector<std::pair<std::string, TOutputKind>> written;
    for (const std::string& input : inputs)
      written.emplace_back(outputFor(input), TOutputKind::RenderedPicture);
    if (a.Has("--ps")) written.emplace_back(a.Value("--ps"), TOutputKind::PostScript);
    if (a.Has("--svg")) written.emplace_back(a.Value("--svg"), TOutputKind::Svg);
    if (a.Has("--project")) written.emplace_back(a.Value("--project"), TOutputKind::Project);
    CheckFiles(read, written);
  }
  if (a.Has("--out-dir")) {
    std::error_code ec;
    fs::create_directories(a.Value("--out-dir"), ec);
  }

  TTerminalProgress progress(a.Has("--quiet"));
  TPictureView source, destination;
  TDomain domain(&ui);
  // Nothing looks at the destination during a run here.
  domain.OverlapStrokes = ThreadCount() > 1;
  // Each detail pass stays an undo step of its own in the project.
  domain.CompactOnSave = detail.Passes == 0;
  domain.SourceView = &source;
  domain.DestinationView = &destination;

  // The style: a library name or a style file.
  const std::unique_ptr<TBStyle> fileStyle = SelectStyleOption(a, domain);

  // The pattern: chosen before any picture is read, so that a bad one is
  // reported at once.
  if (patternMode) {
    TPattern* pattern = nullptr;
    if (a.Has("--pattern")) {
      pattern = &SelectPattern(domain.Patterns, a.Value("--pattern"));
    } else {
      pattern = dynamic_cast<TPattern*>(domain.Patterns.Current());
      if (!pattern)
        throw EUsage("there are no patterns in " + ProgramFolder() + "; give --pattern FILE.stk");
    }
    if (pattern->CurveTotal() == 0)
      throw EInputFailed(a.Value("--pattern", PatternName(*pattern)),
                         "the pattern has no curves to paint with");
  }
  if (CheckingOptionsOnly()) return kExitOk;

  // Before a picture is decoded, its header's size says what the run will
  // hold: the picture itself, and at the working size the source, the
  // feature map and the destination (and the first undo state's copies of
  // the last two when the strokes are kept). A forged header must not get
  // the process killed for want of memory.
  const TDecodeSizeCheck previousCheck = SetDecodeSizeCheck([&](int64_t w, int64_t h) {
    int64_t ww = w, wh = h;
    if (ui.HasSize) {
      ww = ui.Requested.Width, wh = ui.Requested.Height;
    } else if (!ui.FullSize) {
      int sw = 0, sh = 0;
      SuggestedSize(int(w), int(h), sw, sh);
      ww = sw, wh = sh;
    }
    const int64_t working = std::min(ww * wh, w * h) * 4 * (keepVectors ? 5 : 3);
    CheckMemoryFor(w * h * 4 + working,
                   "a picture of " + std::to_string(w) + " x " + std::to_string(h) + " pixels");
  });
  struct TRestore {
    TDecodeSizeCheck Check;
    ~TRestore() { SetDecodeSizeCheck(std::move(Check)); }
  } restore{previousCheck};

  int failed = 0;
  for (const std::string& input : inputs) {
    try {
      OpenInputPicture(domain, ui, input);
    } catch (const EInputFailed& e) {
      if (inputs.size() == 1) throw;
      std::fprintf(stderr, "brellin-cli: %s: %s\n", e.File.c_str(), e.what());
      ++failed;
      continue;
    } catch (const EBrellinError& e) {
      if (inputs.size() == 1) throw EInputFailed(input, e.what());
      std::fprintf(stderr, "brellin-cli: %s: %s\n", input.c_str(), e.what());
      ++failed;
      continue;
    }
    TDualImage& doc = *domain.Document;
    doc.Colors = colours;
    // As after choosing the auto-sketch tool, or the pattern tool.
    doc.AutoMode = !patternMode;
    doc.SetBrushRadius(radius);
    doc.SetDensity(density);
    doc.CleanEdges = a.Has("--clean-edges");
    // Without --ps or --project nobody asks for the strokes again, so the run
    // keeps no undo state (which would copy both pictures).
    doc.RecordHistory = keepVectors;
    SetRandSeed(seed);
    try {
      {
        TProgressScope scope("Applying strokes...", 0, 100);
        domain.ApplyStart(steps);
      }
      for (int r = 0; r < repeat; ++r) domain.RepeatLastApply();
    } catch (const ESilentStop&) {
      // Nothing was painted (every seed too weak for the style's border
      // limit): the paper alone is the result.
    }
    // The passes add at most as many strokes as the runs painted.
    RunDetailPasses(domain, detail, int64_t(doc.CommittedStrokes), a.Has("--quiet"));
    SaveResults(domain, ui, a, outputFor(input), dpi);
  }
  return failed > 0 ? kExitBadInput : kExitOk;
}

}  // namespace brellin::cli
