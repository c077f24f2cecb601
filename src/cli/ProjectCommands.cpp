// brellin-cli rerender, export-ps and info on projects: what a saved
// project's recorded strokes give without the desktop program.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "analysis/PictureFormats.h"
#include "base/Errors.h"
#include "base/MemoryBudget.h"
#include "base/Rounding.h"
#include "cli/Batch.h"
#include "cli/CliCommon.h"
#include "cli/CliLibraries.h"
#include "domain/BDomain.h"

namespace brellin::cli {

namespace fs = std::filesystem;

const char* const kRerenderHelp =
    "usage: brellin-cli rerender PROJECT.bpj... -o OUT.(jpg|jpeg|bmp|png|tif|tiff)\n"
    "    --width W|Fx [--height H] [--dpi N]\n"
    "    [--background RRGGBB | --background-picture FILE [--background-mode stretch|tile]]\n"
    "    [--quiet]\n" BRELLIN_BATCH_USAGE
    "\n"
    "Paints a project's recorded strokes again at another size, over the paper,\n"
    "and saves the picture.\n"
    "  --width W|Fx     the new width in pixels, or F times the project's width (2x)\n"
    "  --height H       the new height (default: the width's proportion)\n"
    "  --dpi N          resolution written into TIFF and PNG files (default 200)\n"
    "  --background ... the paper: a colour (default white) or a picture\n"
    "With several projects, --out-dir DIR gets PROJECT's name + \".jpg\" for each.\n"
    "\n" BRELLIN_BATCH_HELP;

const char* const kExportPsHelp =
    "usage: brellin-cli export-ps PROJECT.bpj -o OUT.ps [--quiet]\n"
    "\n"
    "Writes a project's recorded strokes as PostScript, one filled outline per\n"
    "stroke, centred on an A4 page.\n";

namespace {

// Opens a project through the domain, as the desktop program does.
class TProjectSession {
 public:
  struct TUi : TSilentUi {
    std::string OutputFile;
    bool SaveImageFile(std::string& FileName) override {
      FileName = OutputFile;
      return true;
    }
  } Ui;
  TPictureView Source, Destination;
  TDomain Domain{&Ui};

  explicit TProjectSession(const std::string& Path) {
    Domain.SourceView = &Source;
    Domain.DestinationView = &Destination;
    try {
      Domain.OpenProjectFile(Path);
    } catch (const EBrellinError& e) {
      throw EInputFailed(Path, e.what());
    }
  }
  TDualImage& Doc() { return *Domain.Document; }
};

}  // namespace

int RerenderCommand(const std::vector<std::string>& args) {
  TBatchCommand batch;
  batch.Name = "rerender";
  batch.ValueOptions = {"-o",
                        "--width",
                        "--height",
                        "--dpi",
                        "--background",
                        "--background-picture",
                        "--background-mode"};
  batch.FlagOptions = {"--quiet"};
  batch.OutputName = [](const std::string& stem) { return stem + ".jpg"; };
  batch.Run = RerenderCommand;
  if (WantsBatch(args, batch)) return RunBatch(args, batch);
  TArgs a(args, batch.ValueOptions, batch.FlagOptions);
  if (a.Positional().size() != 1) throw EUsage("rerender takes exactly one PROJECT");
  if (!a.Has("-o")) throw EUsage("rerender needs -o OUT");
  if (!a.Has("--width")) throw EUsage("rerender needs --width W (or --width 2x)");
  const std::string out = a.Value("-o");
  const std::string project = a.Positional()[0];
  {
    std::vector<std::string> read{project};
    if (a.Has("--background-picture")) read.push_back(a.Value("--background-picture"));
    CheckFiles(read, {{out, TOutputKind::RenderedPicture}});
  }
  const int dpi = a.IntValue("--dpi", 200, 1, 100000);
  TPaper paper = ParsePaper(a);
  if (CheckingOptionsOnly()) return kExitOk;

  TTerminalProgress progress(a.Has("--quiet"));
  TProjectSession session(project);
  TDualImage& doc = session.Doc();
  const int dw = doc.Destination().Width(), dh = doc.Destination().Height();
  const std::string wv = a.Value("--width");
  int w = 0;
  char* end = nullptr;
  if (!wv.empty() && (wv.back() == 'x' || wv.back() == 'X')) {
    const double f = std::strtod(wv.c_str(), &end);
    if (end != wv.c_str() + wv.size() - 1 || !(f > 0.0 && f <= 64.0))
      throw EUsage("--width takes pixels or a factor such as 2x, not '" + wv + "'");
    w = Round(dw * f);
  } else {
    const long v = std::strtol(wv.c_str(), &end, 10);
    if (wv.empty() || *end != '\0' || v < 1 || v > 1000000)
      throw EUsage("--width takes pixels or a factor such as 2x, not '" + wv + "'");
    w = int(v);
  }
  if (w < 1) throw EUsage("--width " + wv + " gives a picture less than one pixel wide");
  const int h = a.Has("--height") ? a.IntValue("--height", 0, 1, 1000000)
                                  : std::max(1, Round(double(dh) * w / dw));
  if (w > MaxBitmapSide || h > MaxBitmapSide || int64_t(w) * h > MaxBitmapPixels)
    throw EUsage("a picture of " + std::to_string(w) + " x " + std::to_string(h) +
                 " pixels is beyond what the program can hold");
  // The destination, and the paper picture scaled to its size.
  try {
    CheckMemoryFor(int64_t(w) * h * 4 * (paper.Picture ? 2 : 1),
                   "a picture of " + std::to_string(w) + " x " + std::to_string(h) + " pixels");
  } catch (const EInvalidData& e) {
    throw EOutputFailed(out, e.what());
  }
  doc.BackgroundColor = paper.Colour;
  doc.SetBackgroundPicture(paper.Picture.get());
  doc.BackgroundMode = paper.Picture ? paper.Mode : 0;
  const TBitmap32 big = session.Domain.RenderAtSize(w, h);
  session.Ui.OutputFile = out;
  try {
    session.Domain.SavePicture(big, dpi);
  } catch (const std::exception& e) {
    throw EOutputFailed(out, e.what());
  }
  return kExitOk;
}

int ExportPsCommand(const std::vector<std::string>& args) {
  TArgs a(args, {"-o"}, {"--quiet"});
  if (a.Positional().size() != 1) throw EUsage("export-ps takes exactly one PROJECT");
  if (!a.Has("-o")) throw EUsage("export-ps needs -o OUT.ps");
  const std::string out = a.Value("-o");
  CheckFiles({a.Positional()[0]}, {{out, TOutputKind::PostScript}});
  TTerminalProgress progress(a.Has("--quiet"));
  TProjectSession session(a.Positional()[0]);
  try {
    session.Doc().ExportPostScript(out);
  } catch (const std::exception& e) {
    throw EOutputFailed(out, e.what());
  }
  return kExitOk;
}

int ProjectInfo(const std::string& File, bool Json) {
  TTerminalProgress progress(true);
  TProjectSession session(File);
  TDualImage& doc = session.Doc();
  const TBStates& h = *doc.History;
  int snapshots = 0;
  int64_t dropped = 0;
  for (const auto& s : h.Items) {
    snapshots += s->Snapshot ? 1 : 0;
    dropped += s->DroppedOnLoad;
  }
  const int w = doc.Destination().Width(), hgt = doc.Destination().Height();
  // Strokes of each applied state: an apply run, then each detail pass.
  std::string perState;
  for (int i = 0; i < h.Position; ++i) {
    if (i > 0) perState += ", ";
    perState += std::to_string(h.Items[size_t(i)]->Strokes->Count());
  }
  if (Json) {
    std::printf(
        "{\"file\": %s, \"width\": %d, \"height\": %d, \"states\": %d, \"position\": %d, "
        "\"snapshots\": %d, \"vectors\": %lld, \"dropped\": %lld, \"rerender\": %s, "
        "\"memory\": %lld, \"strokes_per_state\": [%s]}\n",
        JsonString(File).c_str(), w, hgt, h.Count(), h.Position, snapshots,
        static_cast<long long>(h.VectorCount()), static_cast<long long>(dropped),
        h.RerenderNeeded ? "true" : "false", static_cast<long long>(h.MemorySize()),
        perState.c_str());
  } else {
    std::printf("project %s\n", File.c_str());
    std::printf("  size %d x %d\n", w, hgt);
    std::printf("  states %d, applied %d, snapshots %d\n", h.Count(), h.Position, snapshots);
    std::printf("  %lld Vectors\n", static_cast<long long>(h.VectorCount()));
    std::printf("  strokes per state %s\n", perState.c_str());
    std::printf("  dropped strokes %lld%s\n", static_cast<long long>(dropped),
                h.RerenderNeeded ? " (the picture is rendered again on opening)" : "");
    std::printf("  memory %s\n", doc.MemoryText().c_str());
  }
  return kExitOk;
}

}  // namespace brellin::cli
