// brellin-cli sketch: a picture painted by a script of mouse, key, wheel and
// pen events sent to the document's views, as a user would paint it.
#include <charconv>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "base/Errors.h"
#include "base/Random.h"
#include "base/Stream.h"
#include "cli/CliCommon.h"
#include "cli/CliLibraries.h"
#include "cli/PaintSetup.h"
#include "domain/Commands.h"
#include "interaction/InputController.h"
#include "interaction/Tools.h"
#include "interaction/UdmWacom.h"

namespace brellin::cli {

namespace fs = std::filesystem;

const char* const kSketchHelp =
    "usage: brellin-cli sketch INPUT --script FILE -o OUT.(jpg|jpeg|bmp|png|tif|tiff)\n"
    "    [--project P.bpj] [--ps P.ps] [--style NAME|FILE.bst] [--seed N]\n"
    "    [--size WxH | --full-size] [--pattern INDEX|NAME|FILE.stk]\n"
    "    [--color auto|fixed|variants] [--fore RRGGBB] [--back RRGGBB] [--variant RRGGBB]...\n"
    "    [--hue-offset F] [--sat-offset F] [--light-offset F]\n"
    "    [--background RRGGBB | --background-picture FILE [--background-mode stretch|tile]]\n"
    "    [--dpi N] [--quiet]\n"
    "\n"
    "Opens the picture as render does, with the pointer tool, plays the script's\n"
    "lines as events on the picture views, saves the result and prints the\n"
    "lines \"tool: N\", \"radius: N\", \"states: N\" (undo states applied),\n"
    "\"redo: N\" and \"vectors: N\". The options above mean what they mean\n"
    "for render.\n"
    "\n"
    "Script lines (one per line; '#' starts a comment; coordinates are view\n"
    "coordinates at scale 1, and the pointer's screen position is the last one sent):\n"
    "  tool pointer|curve|freehand|pattern|auto|help\n"
    "  view src|dst           the view that gets the following events (default src)\n"
    "  down X Y | move X Y | up\n"
    "  shift down | shift up\n"
    "  wheel up|down [N]      N notches (default 1)\n"
    "  pen P                  a pen packet of pressure P in 0..1, now\n"
    "  wait MS                the pen's clock moves on (it starts at 1000000 ms)\n"
    "  radius N | density N   brush radius 8..500, spray density 5..200\n"
    "  pattern INDEX|NAME     the current pattern\n"
    "  command NAME           a command of 'brellin-cli commands', if enabled\n"
    "A malformed line, a command that needs a dialog or is disabled ends the\n"
    "run with exit code 1.\n";

namespace {

// A line the script cannot play.
struct EScriptLine : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// The command line's answers, except that while the script plays every
// dialog is refused: a command that needs one cannot run here.
class TSketchUi : public TCliDomainUi {
 public:
  bool Scripting = false;
  bool Terminated = false;
  void Refuse(const char* What) {
    if (Scripting) throw ENeedsDialog(What);
  }
  void ErrorBox(const std::string& Caption, const std::string& Text) override {
    Refuse("a message box");
    TCliDomainUi::ErrorBox(Caption, Text);
  }
  bool ProjectOptions(int W, int H, int SW, int SH, TProjectOptions& Options) override {
    Refuse("the project options dialog");
    return TCliDomainUi::ProjectOptions(W, H, SW, SH, Options);
  }
  bool SaveImageFile(std::string& FileName) override {
    Refuse("the save dialog");
    return TCliDomainUi::SaveImageFile(FileName);
  }
  TAnswer Confirm(const std::string&) override {
    Refuse("a question");
    return aCancel;
  }
  void InfoBox(const std::string&, const std::string&) override { Refuse("a message box"); }
  bool SaveProjectFile(std::string&) override { return Dialog("the save dialog"); }
  bool OpenProjectFile(std::string&) override { return Dialog("the open dialog"); }
  bool SavePostScriptFile(std::string&) override { return Dialog("the save dialog"); }
  bool RenderSize(int&, int&, int&) override { return Dialog("the size dialog"); }
  bool OpenPictureFile(std::string&) override { return Dialog("the open dialog"); }
  // The clipboard lies outside the script: the same script, the same result.
  bool ClipboardHasBitmap() override { return false; }
  void Terminate() override { Terminated = true; }

 private:
  bool Dialog(const char* What) {
    Refuse(What);
    return false;
  }
};

int ParseInt(const std::string& s, int lo, int hi, const char* what) {
  int v = 0;
  const auto r = std::from_chars(s.data(), s.data() + s.size(), v);
  if (s.empty() || r.ec != std::errc() || r.ptr != s.data() + s.size() || v < lo || v > hi)
    throw EScriptLine(std::string(what) + " takes a whole number from " + std::to_string(lo) +
                      " to " + std::to_string(hi) + ", not '" + s + "'");
  return v;
}

double ParseReal(const std::string& s, double lo, double hi, const char* what) {
  double v = 0;
  const auto r = std::from_chars(s.data(), s.data() + s.size(), v);
  if (s.empty() || r.ec != std::errc() || r.ptr != s.data() + s.size() || !(v >= lo && v <= hi))
    throw EScriptLine(std::string(what) + " takes a number from 0 to 1, not '" + s + "'");
  return v;
}

// Far more than any script needs; a bigger "script" is a wrong file.
constexpr size_t kMaxScriptSize = size_t(1) << 20;

// The script's lines, read like every other input: a regular file only (a
// FIFO or device would block or never end), and no larger than 1 MB.
std::vector<std::string> ReadScriptLines(const std::string& File) {
  std::vector<uint8_t> bytes;
  try {
    bytes = ReadWholeFile(File, kMaxScriptSize);
  } catch (const EInvalidData&) {
    throw EInputFailed(File, "is larger than 1 MB, too large for a script");
  } catch (const EBrellinError& e) {
    throw EInputFailed(File, e.what());
  }
  std::vector<std::string> lines;
  std::istringstream in(std::string(bytes.begin(), bytes.end()));
  for (std::string l; std::getline(in, l);) lines.push_back(l);
  return lines;
}

// Plays the script's lines on the domain's document.
class TScriptPlayer {
 public:
  explicit TScriptPlayer(TDomain& Domain) : FDomain(Domain) {
    SetScreenPositionSource([this] { return FLast; });
    FWacom.Install();
  }
  ~TScriptPlayer() { SetScreenPositionSource(nullptr); }

  void Play(const std::vector<std::string>& w) {
    const std::string& op = w[0];
    auto args = [&](size_t lo, size_t hi) {
      if (w.size() - 1 < lo || w.size() - 1 > hi)
        throw EScriptLine(
            "'" + op + "' takes " +
            (lo == hi ? std::to_string(lo) : std::to_string(lo) + " or " + std::to_string(hi)) +
            " argument" + (hi == 1 ? "" : "s"));
    };
    TPictureView& view = *(FDestination ? FDomain.DestinationView : FDomain.SourceView);
    const TShiftState shift = FShift ? ssShift : 0;
    if (op == "tool") {
      args(1, 1);
      static const std::pair<const char*, const char*> tools[] = {{"pointer", "PointerCommand"},
                                                                  {"freehand", "FreeHandCommand"},
                                                                  {"pattern", "PatternCommand"},
                                                                  {"auto", "AutoDirCommand"},
                                                                  {"help", "ContextHelpCommand"}};
      if (w[1] == "curve") {
        // No command selects the curve tool.
        if (!FDomain.ToolManager) throw EScriptLine("no document is open");
        FDomain.ToolManager->SetTool(2);
        return;
      }
      for (const auto& [name, command] : tools)
        if (w[1] == name) return Command(command);
      throw EScriptLine("unknown tool '" + w[1] + "'");
    } else if (op == "view") {
      args(1, 1);
      if (w[1] != "src" && w[1] != "dst") throw EScriptLine("'view' takes src or dst");
      FDestination = w[1] == "dst";
    } else if (op == "down" || op == "move") {
      args(2, 2);
      FLast = {ParseInt(w[1], -1000000, 1000000, "X"), ParseInt(w[2], -1000000, 1000000, "Y")};
      if (op == "down") {
        FButton = true;
        view.MouseDown(mbLeft, shift | ssLeft, FLast.X, FLast.Y);
      } else {
        view.MouseMove(shift | (FButton ? ssLeft : 0), FLast.X, FLast.Y);
      }
    } else if (op == "up") {
      args(0, 0);
      FButton = false;
      view.MouseUp(mbLeft, shift, FLast.X, FLast.Y);
    } else if (op == "shift") {
      args(1, 1);
      if (w[1] != "down" && w[1] != "up") throw EScriptLine("'shift' takes down or up");
      FShift = w[1] == "down";
      uint16_t key = vkShift;
      if (FShift)
        view.KeyDown(key, ssShift);
      else
        view.KeyUp(key, 0);
    } else if (op == "wheel") {
      args(1, 2);
      if (w[1] != "down" && w[1] != "up") throw EScriptLine("'wheel' takes up or down");
      const int n = w.size() > 2 ? ParseInt(w[2], 0, 1000000, "wheel") : 1;
      for (int i = 0; i < n; ++i)
        w[1] == "up" ? view.MouseWheelUp(shift, FLast) : view.MouseWheelDown(shift, FLast);
    } else if (op == "pen") {
      args(1, 1);
      FPen.Send(ParseReal(w[1], 0.0, 1.0, "pen"));
    } else if (op == "wait") {
      args(1, 1);
      FClock += ParseInt(w[1], 0, 2147483647, "wait");
    } else if (op == "radius" || op == "density") {
      args(1, 1);
      TDualImage& doc = Document();
      if (op == "radius")
        doc.SetBrushRadius(ParseInt(w[1], 8, 500, "radius"));
      else
        doc.SetDensity(ParseInt(w[1], 5, 200, "density"));
    } else if (op == "pattern") {
      args(1, 1);
      try {
        SelectPattern(FDomain.Patterns, w[1]);
      } catch (const EUsage& e) {
        throw EScriptLine(e.what());
      } catch (const EInputFailed& e) {
        throw EScriptLine(e.File + ": " + e.what());
      }
    } else if (op == "command") {
      args(1, 1);
      Command(w[1]);
    } else {
      throw EScriptLine("unknown line '" + op + "'");
    }
  }

 private:
  TDualImage& Document() {
    if (!FDomain.Document) throw EScriptLine("no document is open");
    return *FDomain.Document;
  }
  void Command(const std::string& Name) {
    if (!FindCommand(Name)) throw EScriptLine("unknown command '" + Name + "'");
    if (!FDomain.CommandEnabled(Name)) throw EScriptLine(Name + " is disabled");
    try {
      FDomain.ExecuteCommand(Name);
    } catch (const ENeedsDialog& e) {
      throw EScriptLine(Name + " needs " + e.Dialog);
    } catch (const ESilentStop&) {
      // the command ended without a message, as it would in the program
    }
  }

  TDomain& FDomain;
  bool FDestination = false, FShift = false, FButton = false;
  TPoint FLast;
  int64_t FClock = 1000000;
  TPressurePacketSource FPen;
  TdmWacom FWacom{&FPen, [this] { return FClock; }};
};

std::vector<std::string> Words(const std::string& Line) {
  std::istringstream in(Line.substr(0, Line.find('#')));
  std::vector<std::string> w;
  for (std::string s; in >> s;) w.push_back(s);
  return w;
}

}  // namespace

int SketchCommand(const std::vector<std::string>& args) {
  TArgs a(args,
          {"-o", "--script", "--project", "--ps", "--style", "--seed", "--size", "--pattern",
           "--color", "--fore", "--back", "--variant", "--hue-offset", "--sat-offset",
           "--light-offset", "--background", "--background-picture", "--background-mode", "--dpi"},
          {"--full-size", "--quiet"});
  if (a.Positional().size() != 1) throw EUsage("sketch takes one INPUT picture");
  if (!a.Has("--script")) throw EUsage("sketch needs --script FILE");
  if (!a.Has("-o")) throw EUsage("sketch needs -o OUT");
  const std::string input = a.Positional()[0];
  const std::string scriptFile = a.Value("--script");
  const std::string out = a.Value("-o");
  {
    // Every output carries its format's extension and replaces no input
    // nor another output, checked before anything is read or written.
    std::vector<std::string> read = {input, scriptFile};
    for (const char* opt : {"--background-picture", "--style", "--pattern"})
      if (a.Has(opt) && fs::exists(a.Value(opt))) read.push_back(a.Value(opt));
    std::vector<std::pair<std::string, TOutputKind>> written = {
        {out, TOutputKind::RenderedPicture}};
    if (a.Has("--ps")) written.emplace_back(a.Value("--ps"), TOutputKind::PostScript);
    if (a.Has("--project")) written.emplace_back(a.Value("--project"), TOutputKind::Project);
    CheckFiles(read, written);
  }
  const uint32_t seed = uint32_t(a.IntValue("--seed", 0, 0, 2147483647));
  const int dpi = a.IntValue("--dpi", 200, 1, 100000);
  TSketchUi ui;
  ReadWorkingSize(a, ui);
  const TColorSettings colours = ReadColours(a);
  const std::vector<std::string> lines = ReadScriptLines(scriptFile);

  TTerminalProgress progress(a.Has("--quiet"));
  TPictureView source, destination;
  TDomain domain(&ui);
  domain.SourceView = &source;
  domain.DestinationView = &destination;
  domain.ToolManagerFactory = MakeToolManagerFactory();
  const std::unique_ptr<TBStyle> fileStyle = SelectStyleOption(a, domain);
  if (a.Has("--pattern")) SelectPattern(domain.Patterns, a.Value("--pattern"));
  try {
    OpenInputPicture(domain, ui, input);
  } catch (const EBrellinError& e) {
    throw EInputFailed(input, e.what());
  }
  if (fileStyle) domain.Document->SetStyle(fileStyle.get());
  domain.Document->Colors = colours;
  SetRandSeed(seed);

  {
    TScriptPlayer player(domain);
    ui.Scripting = true;
    for (size_t i = 0; i < lines.size() && !ui.Terminated; ++i) {
      const std::vector<std::string> words = Words(lines[i]);
      if (words.empty()) continue;
      try {
        player.Play(words);
      } catch (const std::exception& e) {
        // EScriptLine, and whatever the document raised while playing the line.
        // The line is the script's own text: its control characters reach
        // the terminal escaped.
        std::fprintf(stderr, "brellin-cli: %s:%zu: %s\n", PrintableText(scriptFile).c_str(), i + 1,
                     PrintableText(e.what()).c_str());
        return kExitUsage;
      }
    }
    ui.Scripting = false;
  }
  if (!domain.Document) {
    std::fprintf(stderr, "brellin-cli: %s: the script closed the document\n", scriptFile.c_str());
    return kExitUsage;
  }
  // Counted before the project is saved: saving compacts the history.
  TDualImage& doc = *domain.Document;
  const int tool = domain.ToolManager ? domain.ToolManager->Tool() : 0;
  const int radius = doc.BrushRadius;
  const int states = doc.StateCount();
  const int redo = doc.History->Count() - doc.History->Position;
  const long long vectors = (long long)doc.VectorCount();
  SaveResults(domain, ui, a, out, dpi);
  std::printf("tool: %d\nradius: %d\nstates: %d\nredo: %d\nvectors: %lld\n", tool, radius, states,
              redo, vectors);
  return kExitOk;
}

}  // namespace brellin::cli
