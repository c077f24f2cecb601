// brellin-cli refine: detail passes over a saved project.
#include <cstdio>
#include <filesystem>

#include "base/Errors.h"
#include "base/Parallel.h"
#include "base/Random.h"
#include "cli/CliCommon.h"
#include "cli/CliLibraries.h"
#include "cli/PaintSetup.h"
#include "domain/BDomain.h"

namespace brellin::cli {

const char* const kRefineHelp =
    "usage: brellin-cli refine PROJECT.bpj -o OUT.bpj --passes N\n"
    "    [--detail-threshold T] [--style NAME|FILE.bst] [--seed N] [--clean-edges]\n"
    "    [--picture OUT.(jpg|jpeg|bmp|png|tif|tiff) [--dpi N]] [--threads N] [--quiet]\n"
    "\n"
    "Paints detail passes over a project's picture: strokes of half, a quarter,\n"
    "... the style's size where the picture still differs from the photo (no\n"
    "thinner than 3 px; gaps of bare paper get the style's own strokes). Each\n"
    "pass is one more undo step; together they paint at most as many strokes as\n"
    "the project holds.\n"
    "  -o FILE          the new project\n"
    "  --passes N       1..4 passes\n"
    "  --detail-threshold T  a pass paints where the difference is above T %\n"
    "                   of full scale (default 4)\n"
    "  --style S        a style of the library or a .bst file (default \"Scratch Style\")\n"
    "  --seed N         start of the random generator (default 0)\n"
    "  --clean-edges    no stray stubs along the picture's edges\n"
    "  --picture FILE   also write the new picture\n"
    "  --dpi N          resolution written into TIFF and PNG files (default 200)\n"
    "  --threads N      threads for the strokes (default: all cores)\n";

namespace {

struct TRefineUi : TSilentUi {
  std::string OutputFile;
  bool SaveImageFile(std::string& FileName) override {
    FileName = OutputFile;
    return true;
  }
};

}  // namespace

int RefineCommand(const std::vector<std::string>& args) {
  TArgs a(args,
          {"-o", "--passes", "--detail-threshold", "--style", "--seed", "--picture", "--dpi",
           "--threads"},
          {"--clean-edges", "--quiet"});
  if (a.Positional().size() != 1) throw EUsage("refine takes exactly one PROJECT");
  if (!a.Has("-o")) throw EUsage("refine needs -o OUT.bpj");
  if (!a.Has("--passes")) throw EUsage("refine needs --passes N");
  const std::string project = a.Positional()[0];
  const std::string out = a.Value("-o");
  TDetailOptions detail = ReadDetailOptions(a, "--passes");
  if (detail.Passes < 1) throw EUsage("--passes takes 1 to 4");
  const uint32_t seed = uint32_t(a.IntValue("--seed", 0, 0, 2147483647));
  const int dpi = a.IntValue("--dpi", 200, 1, 100000);
  SetThreadCount(a.IntValue("--threads", 0, 1, 64));
  {
    std::vector<std::string> read{project};
    if (a.Has("--style") && std::filesystem::exists(a.Value("--style")))
      read.push_back(a.Value("--style"));
    std::vector<std::pair<std::string, TOutputKind>> written{{out, TOutputKind::Project}};
    if (a.Has("--picture"))
      written.emplace_back(a.Value("--picture"), TOutputKind::RenderedPicture);
    CheckFiles(read, written);
  }

  TTerminalProgress progress(a.Has("--quiet"));
  TRefineUi ui;
  TPictureView source, destination;
  TDomain domain(&ui);
  domain.OverlapStrokes = ThreadCount() > 1;
  domain.CompactOnSave = false;
  domain.SourceView = &source;
  domain.DestinationView = &destination;
  const std::unique_ptr<TBStyle> fileStyle = SelectStyleOption(a, domain);
  try {
    domain.OpenProjectFile(project);
  } catch (const EBrellinError& e) {
    throw EInputFailed(project, e.what());
  }
  if (!domain.Document) throw EInputFailed(project, "the project could not be opened");
  TDualImage& doc = *domain.Document;
  doc.AutoMode = true;
  doc.CleanEdges = a.Has("--clean-edges");
  SetRandSeed(seed);
  RunDetailPasses(domain, detail, doc.VectorCount(), a.Has("--quiet"));

  if (a.Has("--picture")) {
    ui.OutputFile = a.Value("--picture");
    try {
      domain.SavePicture(destination.Bitmap(), dpi);
    } catch (const std::exception& e) {
      throw EOutputFailed(ui.OutputFile, e.what());
    }
  }
  doc.ProjectFileName = out;
  try {
    domain.SaveProjectCommand();
  } catch (const std::exception& e) {
    throw EOutputFailed(out, e.what());
  }
  return kExitOk;
}

}  // namespace brellin::cli
