#include "cli/PaintSetup.h"
#include "cli/CliCommon.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "base/Errors.h"

namespace brellin::cli {

namespace fs = std::filesystem;

namespace {

float ParseOffset(const TArgs& a, const std::string& opt) {
  if (!a.Has(opt)) return 0.0f;
  const std::string v = a.Value(opt);
  char* end = nullptr;
  const double f = std::strtod(v.c_str(), &end);
  if (v.empty() || *end != '\0' || !(f >= -0.5 && f <= 0.5))
    throw EUsage("option " + opt + " takes a number from -0.5 to 0.5, not '" + v + "'");
  return float(f);
}

}  // namespace

void ReadWorkingSize(const TArgs& a, TCliDomainUi& ui) {
  if (a.Has("--size") && a.Has("--full-size"))
    throw EUsage("--size and --full-size exclude each other");
  ui.FullSize = a.Has("--full-size");
  if (a.Has("--size")) {
    const std::string v = a.Value("--size");
    int w = 0, h = 0;
    char x = 0, extra = 0;
    if (std::sscanf(v.c_str(), "%d%c%d%c", &w, &x, &h, &extra) != 3 || (x != 'x' && x != 'X') ||
        w < 2 || h < 2)
      throw EUsage("--size takes WxH, for example 800x600, not '" + v + "'");
    ui.HasSize = true;
    ui.Requested.Width = w;
    ui.Requested.Height = h;
  }
  const TPaper paper = ParsePaper(a);
  ui.Requested.BackgroundColor = paper.Colour;
  ui.Requested.BackgroundPicture = paper.Picture;
  ui.Requested.BackgroundMode = paper.Mode;
}

TColorSettings ReadColours(const TArgs& a) {
  TColorSettings colours;
  const std::string cm = a.Value("--color", "auto");
  if (cm == "auto")
    colours.ColorMode = cmAuto;
  else if (cm == "fixed")
    colours.ColorMode = cmFixed;
  else if (cm == "variants")
    colours.ColorMode = cmVariants;
  else
    throw EUsage("--color takes auto, fixed or variants");
  colours.ForeColor = a.Has("--fore") ? ParseColour("--fore", a.Value("--fore")) : clWhite32;
  colours.BackColor = a.Has("--back") ? ParseColour("--back", a.Value("--back")) : clBlack32;
  for (const std::string& v : a.Values("--variant"))
    colours.AddVariantColor(ParseColour("--variant", v));
  colours.HueOffset = ParseOffset(a, "--hue-offset");
  colours.SaturationOffset = ParseOffset(a, "--sat-offset");
  colours.LightnessOffset = ParseOffset(a, "--light-offset");
  return colours;
}

std::unique_ptr<TBStyle> SelectStyleOption(const TArgs& a, TDomain& domain) {
  if (!a.Has("--style")) return nullptr;
  const std::string st = a.Value("--style");
  if (fs::path(st).extension() == ".bst") {
    auto fileStyle = std::make_unique<TBStyle>();
    try {
      fileStyle->LoadFromFile(st);
    } catch (const std::exception& e) {
      throw EInputFailed(st, e.what());
    }
    // The file's style joins the library (in memory only) and becomes
    // current there, so that its brush is chosen as for any library style.
    domain.Styles.Add(std::move(fileStyle));
    return nullptr;
  }
  int found = -1;
  for (int i = 0; i < domain.Styles.Count(); ++i)
    if (domain.Styles.GetObject(i)->Name() == st) found = i;
  if (found < 0) {
    std::string names;
    for (int i = 0; i < domain.Styles.Count(); ++i)
      names += "\n  " + domain.Styles.GetObject(i)->Name();
    throw EUsage("no style named \"" + st + "\"; the styles are:" + names);
  }
  domain.Styles.SetItemIndex(found);
  return nullptr;
}

void SaveResults(TDomain& domain, TCliDomainUi& ui, const TArgs& a, const std::string& out,
                 int dpi) {
  TDualImage& doc = *domain.Document;
  ui.OutputFile = out;
  try {
    domain.SavePicture(domain.DestinationView->Bitmap(), dpi);
  } catch (const std::exception& e) {
    throw EOutputFailed(out, e.what());
  }
  if (a.Has("--ps")) {
    const std::string ps = a.Value("--ps");
    try {
      doc.ExportPostScript(ps);
    } catch (const std::exception& e) {
      throw EOutputFailed(ps, e.what());
    }
  }
  if (a.Has("--svg")) {
    TSvgOptions svg;
    svg.Background = doc.BackgroundMode == 0;
    svg.BackgroundColor = doc.BackgroundColor;
    WriteDocumentSvg(doc, a.Value("--svg"), svg);
  }
  if (a.Has("--project")) {
    const std::string project = a.Value("--project");
    doc.ProjectFileName = project;
    try {
      domain.SaveProjectCommand();
    } catch (const std::exception& e) {
      throw EOutputFailed(project, e.what());
    }
  }
}

TDetailOptions ReadDetailOptions(const TArgs& a, const std::string& passesOption) {
  TDetailOptions o;
  o.Passes = a.IntValue(passesOption, 0, 0, MaxDetailPasses);
  if (a.Has("--detail-threshold")) {
    const std::string v = a.Value("--detail-threshold");
    char* end = nullptr;
    const double f = std::strtod(v.c_str(), &end);
    if (v.empty() || *end != '\0' || !(f >= 0.0 && f <= 100.0))
      throw EUsage("--detail-threshold takes a percent from 0 to 100, not '" + v + "'");
    o.Threshold = float(f);
  }
  return o;
}

void RunDetailPasses(TDomain& domain, const TDetailOptions& o, int64_t budget, bool quiet) {
  if (o.Passes <= 0 || !domain.Document) return;
  for (const TDetailPassReport& r : domain.RefineDetails(o.Passes, o.Threshold, budget)) {
    if (r.Seeds == 0)
      std::fprintf(stderr,
                   "detail pass %d: no part of the picture differs by more than %g %%; "
                   "nothing painted\n",
                   r.Pass, double(o.Threshold));
    else if (!quiet)
      std::fprintf(stderr,
                   "detail pass %d: width %d, %d places (%lld on bare paper, painted at the "
                   "style's width), %lld strokes\n",
                   r.Pass, r.StrokeWidth, r.Seeds, static_cast<long long>(r.PaperSeeds),
                   static_cast<long long>(r.Strokes));
  }
}

}  // namespace brellin::cli
