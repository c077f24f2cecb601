#include "cli/CliCommon.h"

namespace brellin::cli {

const char* const kAnalyzeHelp =
    "usage: brellin-cli analyze INPUT -o FEATURE.bmp [--planes DIR] [--threads N] [--quiet]\n"
    "\n"
    "Analyses a picture at its own size into its feature map and writes it as a\n"
    "32-bit BMP (alpha: contour direction, red: darkness, green: hue and saturation\n"
    "indexes, blue: edge flag and border strength).\n"
    "  --planes DIR   also write PNG views of each channel into DIR\n"
    "  --threads N    worker threads for the filters (default: all cores)\n"
    "  --quiet        no progress on stderr\n";

int AnalyzeCommand(const std::vector<std::string>& args) {
  TArgs a(args, {"-o", "--planes", "--threads"}, {"--quiet"});
  (void)a;
  throw EUsage("not yet available");
}

}  // namespace brellin::cli
