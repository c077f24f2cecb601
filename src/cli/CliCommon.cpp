#include "cli/CliCommon.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "analysis/PictureFormats.h"
#include "base/Errors.h"
#include "base/Progress.h"
#include "base/SafeOutput.h"

namespace brellin::cli {

TArgs::TArgs(const std::vector<std::string>& args, const std::vector<std::string>& valueOptions,
             const std::vector<std::string>& flagOptions) {
  auto isIn = [](const std::vector<std::string>& v, const std::string& s) {
    for (const auto& x : v)
      if (x == s) return true;
    return false;
  };
  bool optionsEnded = false;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (!optionsEnded && a == "--") {
      optionsEnded = true;  // what follows is positional, even "-x"
      continue;
    }
    if (!optionsEnded && a.size() > 1 && a[0] == '-' &&
        !(a.size() > 1 && (isdigit(uint8_t(a[1])) != 0))) {
      std::string name = a, value;
      const size_t eq = a.find('=');
      bool hasValue = false;
      if (eq != std::string::npos && a.rfind("--", 0) == 0) {
        name = a.substr(0, eq);
        value = a.substr(eq + 1);
        hasValue = true;
      }
      if (isIn(valueOptions, name)) {
        if (!hasValue) {
          if (i + 1 >= args.size()) throw EUsage("option " + name + " needs a value");
          value = args[++i];
        }
        FOptions.emplace_back(name, value);
      } else if (isIn(flagOptions, name) && !hasValue) {
        FOptions.emplace_back(name, "");
      } else {
        throw EUsage("unknown option " + name);
      }
    } else {
      FPositional.push_back(a);
    }
  }
}

bool TArgs::Has(const std::string& name) const {
  for (const auto& o : FOptions)
    if (o.first == name) return true;
  return false;
}

std::string TArgs::Value(const std::string& name, const std::string& def) const {
  std::string v = def;
  for (const auto& o : FOptions)
    if (o.first == name) v = o.second;
  return v;
}

std::vector<std::string> TArgs::Values(const std::string& name) const {
  std::vector<std::string> v;
  for (const auto& o : FOptions)
    if (o.first == name) v.push_back(o.second);
  return v;
}

int TArgs::IntValue(const std::string& name, int def, int lo, int hi) const {
  if (!Has(name)) return def;
  const std::string s = Value(name);
  char* end = nullptr;
  const long v = std::strtol(s.c_str(), &end, 10);
  if (s.empty() || *end != '\0' || v < lo || v > hi)
    throw EUsage("option " + name + " takes a whole number from " + std::to_string(lo) + " to " +
                 std::to_string(hi) + ", not '" + s + "'");
  return int(v);
}

namespace {

// The length of the well-formed UTF-8 sequence at s[i], or 0 when the byte
// there starts none (a stray continuation, an overlong form, a surrogate, a
// code point past U+10FFFF, or a sequence cut short).
size_t Utf8SequenceAt(const std::string& s, size_t i) {
  const auto at = [&](size_t k) { return k < s.size() ? static_cast<unsigned char>(s[k]) : 0; };
  const unsigned char c = at(i);
  if (c < 0x80) return 1;
  size_t n;
  unsigned char lo = 0x80, hi = 0xBF;
  if (c >= 0xC2 && c <= 0xDF) {
    n = 2;
  } else if (c >= 0xE0 && c <= 0xEF) {
    n = 3;
    if (c == 0xE0) lo = 0xA0;
    if (c == 0xED) hi = 0x9F;
  } else if (c >= 0xF0 && c <= 0xF4) {
    n = 4;
    if (c == 0xF0) lo = 0x90;
    if (c == 0xF4) hi = 0x8F;
  } else {
    return 0;
  }
  if (at(i + 1) < lo || at(i + 1) > hi) return 0;
  for (size_t k = 2; k < n; ++k)
    if (at(i + k) < 0x80 || at(i + k) > 0xBF) return 0;
  return n;
}

}  // namespace

std::string JsonString(const std::string& s) {
  std::string r = "\"";
  for (size_t i = 0; i < s.size();) {
    const char c = s[i];
    const size_t n = Utf8SequenceAt(s, i);
    if (n == 0) {
      // JSON is UTF-8: a byte that is not (a file name in another encoding)
      // becomes the replacement character.
      r += "\\ufffd";
      ++i;
      continue;
    }
    if (c == '"' || c == '\\') {
      r += '\\';
      r += c;
    } else if (static_cast<unsigned char>(c) < 0x20) {
      char b[8];
      std::snprintf(b, sizeof b, "\\u%04x", c);
      r += b;
    } else {
      r.append(s, i, n);
    }
    i += n;
  }
  return r + "\"";
}

std::string PrintableText(const std::string& s) {
  std::string r;
  const auto escape = [&r](unsigned char c) {
    char b[8];
    std::snprintf(b, sizeof b, "\\x%02x", c);
    r += b;
  };
  for (size_t i = 0; i < s.size();) {
    const auto c = static_cast<unsigned char>(s[i]);
    const size_t n = Utf8SequenceAt(s, i);
    // C0 controls, DEL, the C1 controls (U+0080 to U+009F) and bytes that are
    // not UTF-8: any of them may start a terminal escape sequence.
    const bool c1 = n == 2 && c == 0xC2 && static_cast<unsigned char>(s[i + 1]) <= 0x9F;
    if (n == 0 || c < 0x20 || c == 0x7F || c1) {
      for (size_t k = 0; k < std::max<size_t>(n, 1); ++k)
        escape(static_cast<unsigned char>(s[i + k]));
      i += std::max<size_t>(n, 1);
    } else {
      r.append(s, i, n);
      i += n;
    }
  }
  return r;
}

const std::vector<TCommand>& Commands() {
  static const std::vector<TCommand> commands = {
      {"analyze", kAnalyzeHelp, AnalyzeCommand},
      {"styles", kStylesHelp, StylesCommand},
      {"brushes", kBrushesHelp, BrushesCommand},
      {"preview", kPreviewHelp, PreviewCommand},
      {"style", kStyleHelp, StyleCommand},
      {"render", kRenderHelp, RenderCommand},
      {"sketch", kSketchHelp, SketchCommand},
      {"info", kInfoHelp, InfoCommand},
      {"rerender", kRerenderHelp, RerenderCommand},
      {"refine", kRefineHelp, RefineCommand},
      {"export-ps", kExportPsHelp, ExportPsCommand},
      {"export-svg", kExportSvgHelp, ExportSvgCommand},
      {"patterns", kPatternsHelp, PatternsCommand},
      {"commands", kCommandsHelp, CommandsCommand},
      {"recover", kRecoverHelp, RecoverCommand},
  };
  return commands;
}

int RunCommand(const TCommand& command, const std::vector<std::string>& args) {
  for (const auto& a : args) {
    if (a == "--") break;  // file names from here on
    if (a == "--help" || a == "-h") {
      std::fputs(command.Help.c_str(), stdout);
      return kExitOk;
    }
  }
  try {
    return command.Run(args);
  } catch (const EUsage& e) {
    std::fprintf(stderr, "brellin-cli %s: %s\n", command.Name.c_str(), e.what());
    std::fputs(command.Help.c_str(), stderr);
    return kExitUsage;
  } catch (const EInputFailed& e) {
    std::fprintf(stderr, "brellin-cli: %s: %s\n", e.File.c_str(), e.what());
    return kExitBadInput;
  } catch (const EOutputFailed& e) {
    std::fprintf(stderr, "brellin-cli: %s: %s\n", e.File.c_str(), e.what());
    return kExitWriteFailed;
  } catch (const ESilentStop&) {
    return kExitBadInput;
  } catch (const EWriteError& e) {
    // A file the command needed to write and could not, such as a temporary
    // file in a full program folder: output not written. The message names it.
    std::fprintf(stderr, "brellin-cli: %s\n", e.what());
    return kExitWriteFailed;
  } catch (const std::bad_alloc&) {
    std::fprintf(stderr, "brellin-cli: out of memory\n");
    return kExitBadInput;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "brellin-cli: %s\n", e.what());
    return kExitBadInput;
  }
}

// Progress on stderr: a bar with percentage on a terminal, one line per phase otherwise.
struct TTerminalProgress::TImpl : TProgressView {
  bool Tty = false;
  bool Quiet = false;
  int32_t Min = 0, Max = 100;
  int LastPercent = -1;
  std::string Message;
  TProgressView* Previous = nullptr;

  void ShowWindow(const std::string& message) override {
    Message = message;
    LastPercent = -1;
    if (Quiet) return;
    if (!Tty) std::fprintf(stderr, "%s\n", message.c_str());
  }
  void HideWindow() override {
    if (Quiet || !Tty) return;
    Draw(100);
    std::fputc('\n', stderr);
  }
  void SetRange(int32_t lo, int32_t hi) override {
    Min = lo;
    Max = hi;
  }
  void SetPosition(int32_t v) override {
    if (Quiet || !Tty || Max <= Min) return;
    int p = int((int64_t(v) - Min) * 100 / (int64_t(Max) - Min));
    if (p < 0) p = 0;
    if (p > 100) p = 100;
    if (p != LastPercent) Draw(p);
  }
  void Draw(int p) {
    LastPercent = p;
    const int width = 30, full = p * width / 100;
    std::string bar(size_t(full), '#');
    bar += std::string(size_t(width - full), '.');
    std::fprintf(stderr, "\r%-32s [%s] %3d%%", Message.c_str(), bar.c_str(), p);
    std::fflush(stderr);
  }
};

TTerminalProgress::TTerminalProgress(bool quiet) : FImpl(new TImpl) {
  FImpl->Tty = ::isatty(2) != 0;
  FImpl->Quiet = quiet;
  FImpl->Previous = Progress().View();
  Progress().SetView(FImpl);
}

TTerminalProgress::~TTerminalProgress() {
  Progress().SetView(FImpl->Previous);
  delete FImpl;
}

TColor32 ParseColour(const std::string& opt, const std::string& v) {
  std::string hex = v;
  if (!hex.empty() && hex[0] == '#') hex.erase(0, 1);
  char* end = nullptr;
  const unsigned long c = std::strtoul(hex.c_str(), &end, 16);
  if (hex.size() != 6 || *end != '\0')
    throw EUsage("option " + opt + " takes a colour RRGGBB, not '" + v + "'");
  return TColor32(0xFF000000u | c);
}

std::string Lower(std::string s) {
  for (char& c : s) c = char(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

namespace {

// The extensions each kind of output may carry: what is written there.
struct TOutputRule {
  TOutputKind Kind;
  std::vector<std::string> Extensions;
};
const std::vector<TOutputRule>& OutputRules() {
  static const std::vector<TOutputRule> rules = {
      {TOutputKind::RenderedPicture, {".jpg", ".jpeg", ".bmp", ".png", ".tif", ".tiff"}},
      {TOutputKind::FeatureMap, {".bmp"}},
      {TOutputKind::Preview, {".png", ".bmp", ".jpg", ".jpeg"}},
      {TOutputKind::PostScript, {".ps"}},
      {TOutputKind::Svg, {".svg"}},
      {TOutputKind::Project, {".bpj"}},
      {TOutputKind::Style, {".bst"}},
  };
  return rules;
}

// What makes two names one file: device and inode when it exists, else the
// absolute path with "." and ".." and the links of its folders resolved.
struct TFileIdentity {
  bool Exists = false;
  dev_t Device = 0;
  ino_t Inode = 0;
  std::string Path;
  bool operator==(const TFileIdentity& o) const {
    return Exists == o.Exists && (Exists ? Device == o.Device && Inode == o.Inode : Path == o.Path);
  }
};

TFileIdentity IdentityOf(const std::string& file) {
  TFileIdentity id;
  struct stat st {};
  if (::stat(file.c_str(), &st) == 0) {
    id.Exists = true;
    id.Device = st.st_dev;
    id.Inode = st.st_ino;
    return id;
  }
  namespace fs = std::filesystem;
  std::error_code ec;
  fs::path abs = fs::absolute(file, ec);
  // A link to a file not there yet names the file it will create: two such
  // outputs (or a link and its target) are one file.
  for (int hops = 0; hops < 40 && fs::is_symlink(abs, ec); ++hops) {
    const fs::path target = fs::read_symlink(abs, ec);
    if (ec) break;
    abs = target.is_absolute() ? target : abs.parent_path() / target;
  }
  ec.clear();
  const fs::path canon = fs::weakly_canonical(abs, ec);
  id.Path = (ec ? abs.lexically_normal() : canon).string();
  return id;
}

}  // namespace

void CheckOutputExtension(const std::string& file, TOutputKind kind) {
  const std::string ext = Lower(std::filesystem::path(file).extension().string());
  for (const TOutputRule& r : OutputRules()) {
    if (r.Kind != kind) continue;
    std::string list;
    for (size_t i = 0; i < r.Extensions.size(); ++i) {
      if (ext == r.Extensions[i]) return;
      list += i == 0 ? "" : i + 1 == r.Extensions.size() ? " or " : ", ";
      list += r.Extensions[i];
    }
    throw EUsage("the output must end in " + list + ": " + file);
  }
}

void CheckPictureOutput(const std::string& file) {
  CheckOutputExtension(file, TOutputKind::RenderedPicture);
}

void CheckFiles(const std::vector<std::string>& inputs,
                const std::vector<std::pair<std::string, TOutputKind>>& outputs) {
  std::vector<TFileIdentity> in;
  std::vector<std::pair<TFileIdentity, std::string>> out;  // checked so far, with their names
  for (const std::string& f : inputs) in.push_back(IdentityOf(f));
  for (size_t i = 0; i < outputs.size(); ++i) {
    const std::string& file = outputs[i].first;
    // A link the writer would refuse to follow is refused before any work.
    try {
      FollowLinks(file);
    } catch (const EWriteError& e) {
      throw EOutputFailed(file, e.what());
    }
    // A device or FIFO takes any bytes under any name (-o /dev/null), and a
    // folder is refused by the writer as output not written.
    struct stat st {};
    if (::stat(file.c_str(), &st) == 0 && !S_ISREG(st.st_mode)) continue;
    CheckOutputExtension(file, outputs[i].second);
    const TFileIdentity id = IdentityOf(file);
    for (size_t k = 0; k < inputs.size(); ++k)
      if (id == in[k])
        throw EUsage("the output " + file + " would overwrite the input " + inputs[k]);
    for (const auto& [other, name] : out)
      if (id == other) throw EUsage("the outputs " + name + " and " + file + " are the same file");
    out.emplace_back(id, file);
  }
}

TPaper ParsePaper(const TArgs& a) {
  TPaper p;
  if (a.Has("--background")) p.Colour = ParseColour("--background", a.Value("--background"));
  if (a.Has("--background-picture")) {
    const std::string file = a.Value("--background-picture");
    try {
      auto pic = std::make_shared<TBitmap32>(LoadPictureFile(file));
      MakeOpaqueOverWhite(*pic);
      p.Picture = pic;
    } catch (const std::exception& e) {
      throw EInputFailed(file, e.what());
    }
    const std::string bm = a.Value("--background-mode", "stretch");
    if (bm != "stretch" && bm != "tile") throw EUsage("--background-mode takes stretch or tile");
    p.Mode = bm == "stretch" ? 1 : 2;
  }
  return p;
}

}  // namespace brellin::cli
