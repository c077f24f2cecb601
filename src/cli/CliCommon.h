// Shared pieces of the command-line program: exit codes, argument parsing,
// error reporting and the terminal progress view.
#pragma once

#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "base/Bitmap32.h"
#include "base/Types.h"
#include "history/SvgExport.h"

namespace brellin {
class TDualImage;
}

namespace brellin::cli {

constexpr int kExitOk = 0;
constexpr int kExitUsage = 1;
constexpr int kExitBadInput = 2;
constexpr int kExitWriteFailed = 3;

// Bad usage: wrong or missing arguments (exit code 1).
class EUsage : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};
// An input that cannot be read (exit code 2); File names it.
class EInputFailed : public std::runtime_error {
 public:
  EInputFailed(std::string file, const std::string& reason)
      : std::runtime_error(reason), File(std::move(file)) {}
  std::string File;
};
// An output that cannot be written (exit code 3).
class EOutputFailed : public std::runtime_error {
 public:
  EOutputFailed(std::string file, const std::string& reason)
      : std::runtime_error(reason), File(std::move(file)) {}
  std::string File;
};

// A small option parser: positional arguments and --name [value] options;
// "--" ends the options, so that a file name may start with "-".
class TArgs {
 public:
  TArgs(const std::vector<std::string>& args, const std::vector<std::string>& valueOptions,
        const std::vector<std::string>& flagOptions);
  const std::vector<std::string>& Positional() const { return FPositional; }
  bool Has(const std::string& name) const;
  std::string Value(const std::string& name, const std::string& def = "") const;
  std::vector<std::string> Values(const std::string& name) const;
  int IntValue(const std::string& name, int def, int lo, int hi) const;

 private:
  std::vector<std::string> FPositional;
  std::vector<std::pair<std::string, std::string>> FOptions;
};

struct TCommand {
  std::string Name;
  std::string Help;  // full usage text of the command
  std::function<int(const std::vector<std::string>&)> Run;
};

const std::vector<TCommand>& Commands();
// Runs a command, turning exceptions into messages and exit codes.
int RunCommand(const TCommand& command, const std::vector<std::string>& args);

// Installs the terminal progress view for the lifetime of the object.
class TTerminalProgress {
 public:
  explicit TTerminalProgress(bool quiet);
  ~TTerminalProgress();

 private:
  struct TImpl;
  TImpl* FImpl;
};

// "RRGGBB" (or "#RRGGBB") as an opaque colour; EUsage naming opt otherwise.
TColor32 ParseColour(const std::string& opt, const std::string& v);
std::string Lower(std::string s);
// s as a JSON string literal, quotes included; bytes that are not UTF-8
// become U+FFFD.
std::string JsonString(const std::string& s);
// s with its control characters written as \xHH, safe to print to a terminal.
std::string PrintableText(const std::string& s);
// What a command writes to an output; each has its own extensions.
enum class TOutputKind { RenderedPicture, FeatureMap, Preview, PostScript, Svg, Project, Style };
// Refuses (EUsage) an output name whose extension is not its kind's.
void CheckOutputExtension(const std::string& file, TOutputKind kind);
// Refuses (EUsage) an output name the picture writer would not write.
void CheckPictureOutput(const std::string& file);
// Before a command reads or writes anything: refuses (EUsage, naming the
// file) an output with the wrong extension, or one that is the same file as
// an input or as another output (by device and inode when it exists, else by
// its resolved absolute path). Outputs that exist and are not regular files
// are left to the writer: devices and FIFOs are written, folders refused.
void CheckFiles(const std::vector<std::string>& inputs,
                const std::vector<std::pair<std::string, TOutputKind>>& outputs);

// The paper under the strokes: --background RRGGBB, or --background-picture
// FILE with --background-mode stretch|tile.
struct TPaper {
  TColor32 Colour = clWhite32;
  std::shared_ptr<const TBitmap32> Picture;
  uint8_t Mode = 0;  // 0 colour, 1 stretched picture, 2 tiled picture
};
TPaper ParsePaper(const TArgs& a);

int AnalyzeCommand(const std::vector<std::string>& args);
int StylesCommand(const std::vector<std::string>& args);
int BrushesCommand(const std::vector<std::string>& args);
int PreviewCommand(const std::vector<std::string>& args);
int StyleCommand(const std::vector<std::string>& args);
int InfoCommand(const std::vector<std::string>& args);
int RenderCommand(const std::vector<std::string>& args);
int SketchCommand(const std::vector<std::string>& args);
int RerenderCommand(const std::vector<std::string>& args);
int RefineCommand(const std::vector<std::string>& args);
extern const char* const kRefineHelp;
int ExportPsCommand(const std::vector<std::string>& args);
int ExportSvgCommand(const std::vector<std::string>& args);
extern const char* const kExportSvgHelp;
// The document's recorded strokes as SVG under the progress window; throws
// EOutputFailed naming File.
TSvgResult WriteDocumentSvg(TDualImage& Doc, const std::string& File, const TSvgOptions& Options);
// Describes a project (as text or one JSON object).
int ProjectInfo(const std::string& File, bool Json);
extern const char* const kRerenderHelp;
extern const char* const kExportPsHelp;
int PatternsCommand(const std::vector<std::string>& args);
int CommandsCommand(const std::vector<std::string>& args);
extern const char* const kCommandsHelp;
int RecoverCommand(const std::vector<std::string>& args);
extern const char* const kRecoverHelp;
extern const char* const kRenderHelp;
extern const char* const kSketchHelp;
extern const char* const kStylesHelp;
extern const char* const kBrushesHelp;
extern const char* const kPreviewHelp;
extern const char* const kStyleHelp;
extern const char* const kInfoHelp;
extern const char* const kPatternsHelp;
// Reads a picture for the engine: decoded, composited over white, opaque.
// Throws EInputFailed naming the file.
TBitmap32 ReadInputPicture(const std::string& file);
extern const char* const kAnalyzeHelp;

}  // namespace brellin::cli
