// brellin-cli: the engine from the command line.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "cli/CliCommon.h"

using namespace brellin::cli;

static void PrintUsage(std::FILE* f) {
  std::fputs(
      "usage: brellin-cli COMMAND [ARGS...]\n"
      "\n"
      "commands:\n"
      "  analyze INPUT [-o FEATURE.bmp] [--planes DIR] [--threads N]\n"
      "        analyse a picture into its feature map\n"
      "  render INPUT... [-o OUT.jpg] [--style S] [--steps N] [--seed N] [--project P.bpj] ...\n"
      "        paint a picture with strokes that follow its contours or a pattern\n"
      "  sketch INPUT --script FILE -o OUT [--project P.bpj] [--ps P.ps] ...\n"
      "        paint a picture by a script of mouse, key, wheel and pen events\n"
      "  styles | brushes | patterns\n"
      "        list the style, brush or pattern library of the program folder\n"
      "  preview STYLE|PATTERN -o FILE.png\n"
      "        paint a style's preview or draw a pattern's thumbnail\n"
      "  style create -o FILE.bst --name NAME [options]\n"
      "        write a style file from parameters\n"
      "  rerender PROJECT.bpj -o OUT --width W|2x\n"
      "        paint a project's strokes again at another size\n"
      "  refine PROJECT.bpj -o OUT.bpj --passes N [--picture OUT.png]\n"
      "        paint detail passes with smaller strokes over a project\n"
      "  export-ps PROJECT.bpj -o OUT.ps\n"
      "        write a project's strokes as PostScript\n"
      "  export-svg PROJECT.bpj -o OUT.svg [--centerlines [--pens N] [--paper A4] ...]\n"
      "        write a project's strokes as SVG, or as lines for a pen plotter\n"
      "  info FILE [--json]\n"
      "        describe a style, brush, pattern or project file\n"
      "  commands [--picture FILE] [--json]\n"
      "        list the program's commands and which are enabled\n"
      "  recover --list | recover JOURNAL -o P.bpj\n"
      "        list the work left by a desktop program that died, or save it as a project\n"
      "\n"
      "Run 'brellin-cli COMMAND --help' for the options of a command,\n"
      "'brellin-cli --version' for the version.\n",
      f);
}

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  if (args.empty()) {
    PrintUsage(stderr);
    return kExitUsage;
  }
  const std::string cmd = args[0];
  args.erase(args.begin());
  if (cmd == "--help" || cmd == "-h" || cmd == "help") {
    PrintUsage(stdout);
    return kExitOk;
  }
  if (cmd == "--version") {
    std::printf("brellin-cli %s\n", BRELLIN_VERSION);
    return kExitOk;
  }
  for (const auto& c : Commands())
    if (cmd == c.Name) return RunCommand(c, args);
  std::fprintf(stderr, "brellin-cli: unknown command '%s'\n", cmd.c_str());
  PrintUsage(stderr);
  return kExitUsage;
}
