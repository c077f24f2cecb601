// Commands on the library files of the program folder: listing styles,
// brushes and patterns, drawing style previews and pattern thumbnails, making
// style files and describing files.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "analysis/PictureFormats.h"
#include "base/Errors.h"
#include "base/ProgramFolder.h"
#include "base/Random.h"
#include "base/Stream.h"
#include "cli/CliCommon.h"
#include "cli/CliLibraries.h"
#include "library/Patterns.h"
#include "library/Styles.h"
#include "render/BitmapBrushRenderer.h"

namespace brellin::cli {

namespace fs = std::filesystem;

std::string BrushName(const TPersistentObject& o) {
  if (dynamic_cast<const TPolygonStrokeRenderer*>(&o)) return "Polygon (built in)";
  if (!o.Name().empty()) return o.Name();
  return fs::path(o.FileName()).stem().string();
}

std::string PatternName(const TPersistentObject& o) {
  if (!o.Name().empty()) return o.Name();
  return fs::path(o.FileName()).stem().string();
}

TPattern& SelectPattern(TPersistentObjectManager& Patterns, const std::string& Spec) {
  if (fs::path(Spec).extension() == ".stk") {
    auto p = std::make_unique<TPattern>();
    try {
      p->LoadFromFile(Spec);
    } catch (const std::exception& e) {
      throw EInputFailed(Spec, e.what());
    }
    TPattern& loaded = *p;
    Patterns.Add(std::move(p));
    return loaded;
  }
  int found = -1;
  char* end = nullptr;
  const long index = std::strtol(Spec.c_str(), &end, 10);
  if (!Spec.empty() && *end == '\0') {
    if (index < 0 || index >= Patterns.Count())
      throw EUsage("there is no pattern " + Spec + "; the library holds " +
                   std::to_string(Patterns.Count()) + " (see 'brellin-cli patterns')");
    found = int(index);
  } else {
    for (int i = 0; i < Patterns.Count() && found < 0; ++i)
      if (PatternName(*Patterns.GetObject(i)) == Spec) found = i;
    if (found < 0)
      throw EUsage("no pattern named \"" + Spec + "\" in " + ProgramFolder() +
                   " (see 'brellin-cli patterns')");
  }
  Patterns.SetItemIndex(found);
  return static_cast<TPattern&>(*Patterns.GetObject(found));
}

namespace {

std::unique_ptr<TBStyle> ReadStyleFile(const std::string& file) {
  auto style = std::make_unique<TBStyle>();
  try {
    style->LoadFromFile(file);
  } catch (const std::exception& e) {
    throw EInputFailed(file, e.what());
  }
  return style;
}

// A style by library name or from a .bst file; owned either by the library
// or by holder.
TBStyle* FindStyle(TCliLibraries& libs, const std::string& spec, std::unique_ptr<TBStyle>& holder) {
  if (fs::path(spec).extension() == ".bst" || fs::exists(spec)) {
    holder = ReadStyleFile(spec);
    return holder.get();
  }
  for (int i = 0; i < libs.Styles.Count(); ++i)
    if (libs.Styles.GetObject(i)->Name() == spec)
      return static_cast<TBStyle*>(libs.Styles.GetObject(i));
  throw EInputFailed(spec,
                     "no style of that name in " + ProgramFolder() + " (see 'brellin-cli styles')");
}

void PrintStyleParams(const TBStyle& s) {
  const TStyleParams& p = s.Params;
  std::printf(
      "  length %d, width %g, scan width %g, precision %d, border limit %d, stop on borders %s\n",
      p.Length, double(p.Width), double(p.ScanWidth), 100 - int(p.PolyStep), s.BorderLimitPercent(),
      p.StopOnBorders ? "yes" : "no");
  std::printf("  transparency %d, hue %d, saturation %d, lightness %d\n", p.Alpha, p.HueVariation,
              p.SatVariation, p.LightVariation);
  std::printf("  bumpiness %d, softness %d, light %d, brush %d\n", s.Bumpiness(), s.Softness(),
              p.LightIntensity, p.BrushId);
}

}  // namespace

const char* const kStylesHelp =
    "usage: brellin-cli styles\n"
    "\n"
    "Lists the style library of the program folder: index, name, id and file.\n"
    "The program folder is $BRELLIN_HOME, else the executable's folder when it\n"
    "holds library files, else $XDG_DATA_HOME/brellin (~/.local/share/brellin).\n";

// One line per object: index (* marks the selection), name, id and file.
void ListLibrary(const char* what, const TPersistentObjectManager& lib, bool markCurrent,
                 std::string (*nameOf)(const TPersistentObject&)) {
  std::printf("%s in %s\n", what, ProgramFolder().c_str());
  for (int i = 0; i < lib.Count(); ++i) {
    const TPersistentObject* o = lib.GetObject(i);
    std::printf("%3d%s %-28s id %-6d %s\n", i, markCurrent && i == lib.ItemIndex() ? "*" : " ",
                nameOf(*o).c_str(), o->Id(),
                o->FileName().empty() ? "(built in)" : fs::path(o->FileName()).filename().c_str());
  }
}

std::string StyleName(const TPersistentObject& o) {
  return o.Name();
}

int StylesCommand(const std::vector<std::string>& args) {
  TArgs a(args, {}, {});
  if (!a.Positional().empty()) throw EUsage("styles takes no arguments");
  TCliLibraries libs;
  ListLibrary("styles", libs.Styles, false, StyleName);
  return kExitOk;
}

const char* const kBrushesHelp =
    "usage: brellin-cli brushes\n"
    "\n"
    "Lists the brush library of the program folder: index, name, id and file.\n"
    "Index 0 is the built-in polygon brush; the brush at index 3 is selected at start.\n";

int BrushesCommand(const std::vector<std::string>& args) {
  TArgs a(args, {}, {});
  if (!a.Positional().empty()) throw EUsage("brushes takes no arguments");
  TCliLibraries libs;
  ListLibrary("brushes", libs.Brushes, true, BrushName);
  return kExitOk;
}

const char* const kPatternsHelp =
    "usage: brellin-cli patterns\n"
    "\n"
    "Lists the pattern library of the program folder: index (* marks the pattern\n"
    "selected at start), name, frames, curves and file. 'render --mode pattern\n"
    "--pattern INDEX|NAME|FILE.stk' paints with one; 'preview NAME' draws it.\n";

int PatternsCommand(const std::vector<std::string>& args) {
  TArgs a(args, {}, {});
  if (!a.Positional().empty()) throw EUsage("patterns takes no arguments");
  TCliLibraries libs;
  std::printf("patterns in %s\n", ProgramFolder().c_str());
  for (int i = 0; i < libs.Patterns.Count(); ++i) {
    const auto& p = static_cast<const TPattern&>(*libs.Patterns.GetObject(i));
    std::printf("%3d%s %-28s %d frames, %3d curves  %s\n", i,
                i == libs.Patterns.ItemIndex() ? "*" : " ", PatternName(p).c_str(), p.FrameCount(),
                p.CurveTotal(), fs::path(p.FileName()).filename().c_str());
  }
  return kExitOk;
}

const char* const kPreviewHelp =
    "usage: brellin-cli preview STYLE -o FILE.(png|bmp|jpg|jpeg) [--seed N]\n"
    "       brellin-cli preview PATTERN -o FILE.(png|bmp|jpg|jpeg) [--size N]\n"
    "\n"
    "Paints a style's preview afresh (235 x 116 pixels), or draws a pattern's\n"
    "thumbnail (all its frames on top of each other, N x N pixels, default 40),\n"
    "and writes it in the format of the file's extension. STYLE is the name of\n"
    "a style of the library or a .bst file; PATTERN is a .stk file or the name\n"
    "of a pattern of the library (see 'brellin-cli patterns').\n";

namespace {

bool IsPatternSpec(TCliLibraries& libs, const std::string& spec) {
  if (fs::path(spec).extension() == ".stk") return true;
  for (int i = 0; i < libs.Patterns.Count(); ++i)
    if (PatternName(*libs.Patterns.GetObject(i)) == spec) return true;
  return false;
}

void WritePng(const TBitmap32& b, const std::string& out) {
  try {
    SavePictureFile(b, out, 90);
  } catch (const std::exception& e) {
    throw EOutputFailed(out, e.what());
  }
}

}  // namespace

int PreviewCommand(const std::vector<std::string>& args) {
  TArgs a(args, {"-o", "--seed", "--size"}, {});
  if (a.Positional().size() != 1) throw EUsage("preview takes exactly one STYLE or PATTERN");
  if (!a.Has("-o")) throw EUsage("preview needs -o FILE.png");
  {
    std::vector<std::string> read;
    if (fs::exists(a.Positional()[0])) read.push_back(a.Positional()[0]);
    CheckFiles(read, {{a.Value("-o"), TOutputKind::Preview}});
  }
  TCliLibraries libs;
  if (IsPatternSpec(libs, a.Positional()[0])) {
    const int size = a.IntValue("--size", 40, 8, 2000);
    TPattern& p = SelectPattern(libs.Patterns, a.Positional()[0]);
    TBitmap32 target(2 * size, 2 * size, clWhite32);
    p.SetPreviewTarget(&target);
    const TBitmap32 thumb = p.RenderThumbnail(size, size);
    p.SetPreviewTarget(nullptr);
    WritePng(thumb, a.Value("-o"));
    return kExitOk;
  }
  if (a.Has("--size")) throw EUsage("--size is for pattern thumbnails");
  std::unique_ptr<TBStyle> holder;
  TBStyle* style = FindStyle(libs, a.Positional()[0], holder);
  SetRandSeed(uint32_t(a.IntValue("--seed", 0, 0, 2147483647)));
  style->PreviewDirty = true;
  WritePng(style->GetPreview(), a.Value("-o"));
  return kExitOk;
}

const char* const kStyleHelp =
    "usage: brellin-cli style create -o FILE.bst --name NAME [options]\n"
    "\n"
    "Writes a style file. Options take the units of the main window's controls:\n"
    "  --length N (5..300, 40)       --width N (1..40, 12)\n"
    "  --scan-width F (0.5..12, 2)   --precision N (6..100, 88)\n"
    "  --border-limit N (1..100, 100) --stop-on-borders\n"
    "  --transparency N (1..255, 255)\n"
    "  --hue N --saturation N --lightness N (colour variation 0..255; 15, 15, 30)\n"
    "  --bumpiness N (0..10, 0)  --softness N (0..10, 0)  --light N (0..100, 30)\n"
    "  --brush ID (the brush's id, see 'brellin-cli brushes'; 0 = polygon)\n"
    "  --seed N   seed of the preview stored in the file (0)\n";

int StyleCommand(const std::vector<std::string>& args) {
  TArgs a(args,
          {"-o", "--name", "--length", "--width", "--scan-width", "--precision", "--border-limit",
           "--transparency", "--hue", "--saturation", "--lightness", "--bumpiness", "--softness",
           "--light", "--brush", "--seed"},
          {"--stop-on-borders"});
  if (a.Positional().size() != 1 || a.Positional()[0] != "create")
    throw EUsage("the style command has one action: create");
  if (!a.Has("-o") || !a.Has("--name"))
    throw EUsage("style create needs -o FILE.bst and --name NAME");
  CheckFiles({}, {{a.Value("-o"), TOutputKind::Style}});
  TCliLibraries libs;  // the preview is painted with the library's brushes
  TBStyle s;
  s.SetName(a.Value("--name"));
  s.SetLength(a.IntValue("--length", 40, 5, 300));
  s.SetWidth(float(a.IntValue("--width", 12, 1, 40)));
  if (a.Has("--scan-width")) {
    char* end = nullptr;
    const std::string v = a.Value("--scan-width");
    const double f = std::strtod(v.c_str(), &end);
    if (v.empty() || *end != '\0' || !(f >= 0.5 && f <= 12.0))
      throw EUsage("option --scan-width takes a number from 0.5 to 12, not '" + v + "'");
    s.SetScanWidth(float(f));
  }
  s.SetPolyStep(uint16_t(100 - a.IntValue("--precision", 88, 6, 100)));
  s.SetBorderLimit(a.IntValue("--border-limit", 100, 1, 100));
  s.Params.StopOnBorders = a.Has("--stop-on-borders") ? 1 : 0;
  s.SetAlpha(uint8_t(a.IntValue("--transparency", 255, 1, 255)));
  s.SetHueVariation(uint8_t(a.IntValue("--hue", 15, 0, 255)));
  s.SetSatVariation(uint8_t(a.IntValue("--saturation", 15, 0, 255)));
  s.SetLightVariation(uint8_t(a.IntValue("--lightness", 30, 0, 255)));
  s.SetBumpiness(uint8_t(a.IntValue("--bumpiness", 0, 0, 10)));
  s.SetSoftness(uint8_t(a.IntValue("--softness", 0, 0, 10)));
  s.SetLightIntensity(uint8_t(a.IntValue("--light", 30, 0, 100)));
  const int brush = a.IntValue("--brush", 0, -2147483647, 2147483647);
  if (brush != 0 && !libs.Brushes.FindById(brush))
    std::fprintf(stderr, "brellin-cli: warning: no brush with id %d in %s\n", brush,
                 ProgramFolder().c_str());
  s.SetBrushId(brush);
  SetRandSeed(uint32_t(a.IntValue("--seed", 0, 0, 2147483647)));
  const std::string out = a.Value("-o");
  try {
    s.SaveToFile(out);
  } catch (const std::exception& e) {
    throw EOutputFailed(out, e.what());
  }
  return kExitOk;
}

const char* const kInfoHelp =
    "usage: brellin-cli info FILE [--json]\n"
    "\n"
    "Describes a style (.bst), brush (.srd), pattern (.stk) or project (.bpj)\n"
    "file; a file that cannot be read is reported with the reason (exit code 2).\n"
    "For a project: its size, undo states, applied states, snapshots, vectors,\n"
    "strokes dropped on reading and the memory its history takes; --json prints\n"
    "one object.\n";

int InfoCommand(const std::vector<std::string>& args) {
  TArgs a(args, {}, {"--json"});
  if (a.Positional().size() != 1) throw EUsage("info takes exactly one FILE");
  const std::string file = a.Positional()[0];
  const std::string ext = fs::path(file).extension().string();
  if (ext == ".bpj") return ProjectInfo(file, a.Has("--json"));
  if (ext == ".bst") {
    auto s = ReadStyleFile(file);
    std::printf("style \"%s\"\n", s->Name().c_str());
    PrintStyleParams(*s);
    std::printf("  preview %d x %d\n", s->GetPreview().Width(), s->GetPreview().Height());
    return kExitOk;
  }
  if (ext == ".srd") {
    TBitmapBrushStrokeRenderer b;
    try {
      b.LoadFromFile(file);
    } catch (const std::exception& e) {
      throw EInputFailed(file, e.what());
    }
    std::printf("brush, id %d, reference width %d, picture %d x %d\n", b.Id(), b.ReferenceWidth,
                b.BrushBitmap.Width(), b.BrushBitmap.Height());
    return kExitOk;
  }
  if (ext == ".stk") {
    TPattern p;
    try {
      p.LoadFromFile(file);
    } catch (const std::exception& e) {
      throw EInputFailed(file, e.what());
    }
    p.ComputeBounds();
    std::printf("pattern, %d frames with curves, %d curves", p.FrameCount(), p.CurveTotal());
    if (p.CurveTotal() > 0)
      std::printf(", drawn within (%d, %d) - (%d, %d)", p.Bounds.Left, p.Bounds.Top, p.Bounds.Right,
                  p.Bounds.Bottom);
    std::printf("\n");
    for (int i = 0; i < p.FrameCount(); ++i)
      std::printf("  frame %d: %d curves\n", i + 1, p.GetFrame(i)->CurveCount());
    return kExitOk;
  }
  throw EInputFailed(file,
                     "not a style (.bst), brush (.srd), pattern (.stk) or project (.bpj) file");
}

}  // namespace brellin::cli
