// brellin-cli export-svg: a project's recorded strokes as SVG, filled
// outlines or centre lines for a pen plotter.
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "base/Errors.h"
#include "base/Progress.h"
#include "cli/Batch.h"
#include "cli/CliCommon.h"
#include "cli/CliLibraries.h"
#include "domain/BDomain.h"
#include "history/SvgExport.h"

namespace brellin::cli {

namespace fs = std::filesystem;

const char* const kExportSvgHelp =
    "usage: brellin-cli export-svg PROJECT.bpj -o OUT.svg [--background RRGGBB]\n"
    "    [--centerlines [--pens N] [--split-pens] [--join D]\n"
    "                   [--paper A4|A3|letter|WxHmm [--landscape] [--margin MM]]\n"
    "                   [--min-length PX]] [--quiet]\n" BRELLIN_BATCH_USAGE
    "\n"
    "Writes a project's recorded strokes as SVG: one filled outline per stroke,\n"
    "in the picture's pixels.\n"
    "  --background C   a rectangle of the paper colour under the strokes\n"
    "  --centerlines    for pen plotters: one open line along the middle of each\n"
    "                   stroke, in one layer per pen colour (\"1 pen RRGGBB\",\n"
    "                   numbered lightest first, the order to plot them in),\n"
    "                   ordered so that the raised pen travels little; prints\n"
    "                   that travel\n"
    "  --pens N         quantise the stroke colours to N pens (default: one pen\n"
    "                   per colour)\n"
    "  --split-pens     one file per pen, OUT-1.svg, OUT-2.svg, ..., each the\n"
    "                   whole page; prints each pen's travel\n"
    "  --join D         a line that starts or ends within D (mm on paper, else\n"
    "                   pixels) of the previous line's end continues it, so the\n"
    "                   pen stays down; prints the pen lifts (default 0: off)\n"
    "  --paper P        scale to a sheet in millimetres (A4 and A3 and letter\n"
    "                   turn with the picture), centred, keeping the aspect\n"
    "  --landscape      the sheet's long side across\n"
    "  --margin MM      empty border on the sheet (default 10)\n"
    "  --min-length PX  leave out lines shorter than PX pixels\n"
    "With several projects, --out-dir DIR gets PROJECT's name + \".svg\" for each.\n"
    "\n" BRELLIN_BATCH_HELP;

namespace {

double NumberValue(const TArgs& a, const std::string& opt, double lo, double hi) {
  const std::string v = a.Value(opt);
  char* end = nullptr;
  const double f = std::strtod(v.c_str(), &end);
  if (v.empty() || *end != '\0' || !(f >= lo && f <= hi))
    throw EUsage("option " + opt + " takes a number from " + std::to_string(int(lo)) + " to " +
                 std::to_string(int(hi)) + ", not '" + v + "'");
  return f;
}

// The sheet in millimetres; named sizes turn to the picture's orientation.
void ParsePaperSize(const std::string& v, int Width, int Height, TSvgOptions& o) {
  const std::string name = Lower(v);
  double w = 0, h = 0;
  bool named = true;
  if (name == "a4") {
    w = 210, h = 297;
  } else if (name == "a3") {
    w = 297, h = 420;
  } else if (name == "letter") {
    w = 215.9, h = 279.4;
  } else {
    named = false;
    char x = 0;
    char unit[3] = {};
    int used = 0;
    if (std::sscanf(name.c_str(), "%lf%c%lf%2[m]%n", &w, &x, &h, unit, &used) != 4 || x != 'x' ||
        std::string(unit) != "mm" || size_t(used) != name.size() || !(w >= 10 && w <= 10000) ||
        !(h >= 10 && h <= 10000))
      throw EUsage("--paper takes A4, A3, letter or WxHmm (for example 300x200mm), not '" + v +
                   "'");
  }
  if (named && (Width > Height) != (w > h)) std::swap(w, h);
  o.PaperWidth = w;
  o.PaperHeight = h;
}

}  // namespace

TSvgResult WriteDocumentSvg(TDualImage& Doc, const std::string& File, const TSvgOptions& Options) {
  TProgressScope progress("Converting to vectors...", 0, 100);
  try {
    return ExportSvg(File, Doc.Destination().Width(), Doc.Destination().Height(), *Doc.History,
                     Options);
  } catch (const EUsage&) {
    throw;  // output names refused before anything was written
  } catch (const std::exception& e) {
    throw EOutputFailed(File, e.what());
  }
}

int ExportSvgCommand(const std::vector<std::string>& args) {
  TBatchCommand batch;
  batch.Name = "export-svg";
  batch.ValueOptions = {"-o",       "--background", "--pens", "--paper",
                        "--margin", "--min-length", "--join"};
  batch.FlagOptions = {"--centerlines", "--quiet", "--split-pens", "--landscape"};
  // One file per pen has no one output to record.
  batch.SingleInputOptions = {"--split-pens"};
  batch.OutputName = [](const std::string& stem) { return stem + ".svg"; };
  batch.Run = ExportSvgCommand;
  if (WantsBatch(args, batch)) return RunBatch(args, batch);
  TArgs a(args, batch.ValueOptions, batch.FlagOptions);
  if (a.Positional().size() != 1) throw EUsage("export-svg takes exactly one PROJECT");
  if (!a.Has("-o")) throw EUsage("export-svg needs -o OUT.svg");
  const std::string out = a.Value("-o");
  CheckFiles({a.Positional()[0]}, {{out, TOutputKind::Svg}});
  TSvgOptions o;
  o.CenterLines = a.Has("--centerlines");
  if (!o.CenterLines)
    for (const char* opt :
         {"--pens", "--paper", "--margin", "--min-length", "--join", "--split-pens", "--landscape"})
      if (a.Has(opt)) throw EUsage(std::string(opt) + " goes with --centerlines");
  for (const char* opt : {"--margin", "--landscape"})
    if (a.Has(opt) && !a.Has("--paper")) throw EUsage(std::string(opt) + " goes with --paper");
  if (a.Has("--background")) {
    o.Background = true;
    o.BackgroundColor = ParseColour("--background", a.Value("--background"));
  }
  o.Pens = a.IntValue("--pens", 0, 1, 256);
  if (a.Has("--min-length")) o.MinLength = NumberValue(a, "--min-length", 0, 100000);
  if (a.Has("--join")) o.Join = NumberValue(a, "--join", 0, 1000);
  o.SplitPens = a.Has("--split-pens");
  // The pen files are known once the pens are: checked like any output.
  if (o.SplitPens)
    o.BeforeWriting = [&a](const std::vector<std::string>& files) {
      std::vector<std::pair<std::string, TOutputKind>> outputs;
      for (const std::string& f : files) outputs.push_back({f, TOutputKind::Svg});
      CheckFiles({a.Positional()[0]}, outputs);
    };
  if (CheckingOptionsOnly()) return kExitOk;

  TTerminalProgress progress(a.Has("--quiet"));
  TSilentUi ui;
  TPictureView source, destination;
  TDomain domain(&ui);
  domain.SourceView = &source;
  domain.DestinationView = &destination;
  const std::string project = a.Positional()[0];
  try {
    domain.OpenProjectFile(project);
  } catch (const EBrellinError& e) {
    throw EInputFailed(project, e.what());
  }
  TDualImage& doc = *domain.Document;
  if (a.Has("--paper")) {
    ParsePaperSize(a.Value("--paper"), doc.Destination().Width(), doc.Destination().Height(), o);
    if (a.Has("--landscape") && o.PaperWidth < o.PaperHeight)
      std::swap(o.PaperWidth, o.PaperHeight);
    o.Margin = a.Has("--margin")
                   ? NumberValue(a, "--margin", 0, std::min(o.PaperWidth, o.PaperHeight) / 2 - 1)
                   : 10;
  }
  const TSvgResult r = WriteDocumentSvg(doc, out, o);
  if (o.CenterLines) {
    const char* unit = o.PaperWidth > 0 ? "mm" : "px";
    std::printf(
        "%lld lines for %d pens; pen-up travel %.1f %s in stroke order, %.1f %s as written\n",
        static_cast<long long>(r.Paths), r.Layers, r.TravelBefore, unit, r.TravelAfter, unit);
    if (o.Join > 0)
      std::printf(
          "joining ends within %g %s: %lld pen lifts before, %lld after; pen-up travel %.1f %s "
          "before, %.1f %s after\n",
          o.Join, unit, static_cast<long long>(r.PathsBeforeJoin), static_cast<long long>(r.Paths),
          r.TravelOrdered, unit, r.TravelAfter, unit);
    if (o.SplitPens)
      for (size_t k = 0; k < r.PerLayer.size(); ++k) {
        const TSvgLayerResult& l = r.PerLayer[k];
        std::printf("%s: pen %zu #%06x, %lld lines, pen-up travel %.1f %s\n", l.File.c_str(), k + 1,
                    unsigned(l.Pen & 0xFFFFFFu), static_cast<long long>(l.Lines), l.Travel, unit);
      }
  }
  return kExitOk;
}

}  // namespace brellin::cli
