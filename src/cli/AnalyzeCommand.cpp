#include <sys/stat.h>

#include <cmath>
#include <cstdio>
#include <filesystem>

#include "analysis/BDibUtils.h"
#include "analysis/FeatureExtractor.h"
#include "analysis/PictureFormats.h"
#include "base/BmpCodec.h"
#include "base/Errors.h"
#include "base/MemoryBudget.h"
#include "base/Parallel.h"
#include "base/Stream.h"
#include "cli/CliCommon.h"

namespace brellin::cli {

const char* const kAnalyzeHelp =
    "usage: brellin-cli analyze INPUT [-o FEATURE.bmp] [--planes DIR] [--threads N] [--quiet]\n"
    "\n"
    "Analyses a picture at its own size into its feature map and writes it as a\n"
    "32-bit BMP: alpha holds the contour direction, red the darkness, green the\n"
    "hue index (top 5 bits) and saturation index (low 3 bits), blue the edge flag\n"
    "(top bit) and the border strength (low 7 bits).\n"
    "  -o FILE        the feature map (default: INPUT's name + \"-features.bmp\"\n"
    "                 in the current folder)\n"
    "  --planes DIR   also write PNG views of the channels into DIR: darkness,\n"
    "                 hue, saturation, strength, edges and directions\n"
    "  --threads N    worker threads for the filters (default: all cores)\n"
    "  --quiet        no progress on stderr\n";

namespace {

namespace fs = std::filesystem;

const char* const kPlaneFiles[] = {"darkness.png", "hue.png",   "saturation.png",
                                   "strength.png", "edges.png", "directions.png"};

void WriteFeatureMap(const TBitmap32& map, const std::string& file) {
  try {
    TSafeFileWriter out(file);
    SaveBMPToStream(map, out.Stream(), 32);
    out.Commit();
  } catch (const std::exception& e) {
    throw EOutputFailed(file, e.what());
  }
}

void WritePng(const TBitmap32& bmp, const std::string& file) {
  try {
    SavePictureFile(bmp, file, 90);
  } catch (const std::exception& e) {
    throw EOutputFailed(file, e.what());
  }
}

TColor32 Grey(int v) {
  return Color32(uint8_t(v), uint8_t(v), uint8_t(v));
}

// Views of the feature map's channels a person can look at.
void WritePlanes(const TBitmap32& map, const std::string& dir) {
  std::error_code ec;
  fs::create_directories(dir, ec);
  if (ec || !fs::is_directory(dir)) throw EOutputFailed(dir, "cannot create the folder");
  const int w = map.Width(), h = map.Height();
  TBitmap32 dark(w, h), hue(w, h), sat(w, h), strength(w, h), edges(w, h), dirs(w, h);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const TColor32 p = map.Pixel(x, y);
      dark.SetPixel(x, y, Grey(255 - FeatureDarkness(p)));
      uint8_t r, g, b;
      // Hue at the pixel's own saturation, so grey and white areas show grey.
      HSLToRGB(r, g, b, float(FeatureHueIndex(p)) / 31.0f, float(FeatureSatIndex(p)) / 7.0f, 0.5f);
      hue.SetPixel(x, y, Color32(r, g, b));
      sat.SetPixel(x, y, Grey(FeatureSatIndex(p) * 255 / 7));
      strength.SetPixel(x, y, Grey(255 - FeatureStrength(p) * 2));
      edges.SetPixel(x, y, FeatureEdgeFlag(p) ? clBlack32 : clWhite32);
      // A faint copy of the picture under the direction marks.
      dirs.SetPixel(x, y, Grey(255 - FeatureDarkness(p) / 4));
    }
  // Every 10 pixels a short segment along the contour direction (d x 2 pi /
  // 255 counter-clockwise from +x, y up: on screen y grows downwards).
  for (int y = 5; y < h; y += 10)
    for (int x = 5; x < w; x += 10) {
      const TColor32 p = map.Pixel(x, y);
      const double a = FeatureDirection(p) * 2.0 * M_PI / 255.0;
      const double dx = 4.0 * std::cos(a), dy = -4.0 * std::sin(a);
      const int s = FeatureStrength(p);
      const TColor32 c = s > 8 ? Color32(180, 0, 0) : Color32(90, 90, 160);
      dirs.LineFS(float(x + 0.5 - dx), float(y + 0.5 - dy), float(x + 0.5 + dx),
                  float(y + 0.5 + dy), c);
    }
  const TBitmap32* planes[] = {&dark, &hue, &sat, &strength, &edges, &dirs};
  for (size_t i = 0; i < std::size(planes); ++i)
    WritePng(*planes[i], (fs::path(dir) / kPlaneFiles[i]).string());
}

}  // namespace

TBitmap32 ReadInputPicture(const std::string& file) {
  TBitmap32 pic;
  try {
    pic = LoadPictureFile(file);
  } catch (const std::bad_alloc&) {
    throw EInputFailed(file, "not enough memory to read the picture");
  } catch (const std::exception& e) {
    throw EInputFailed(file, e.what());
  }
  MakeOpaqueOverWhite(pic);
  return pic;
}

int AnalyzeCommand(const std::vector<std::string>& args) {
  TArgs a(args, {"-o", "--planes", "--threads"}, {"--quiet"});
  if (a.Positional().size() != 1) throw EUsage("analyze takes exactly one INPUT picture");
  const std::string input = a.Positional()[0];
  const std::string output = a.Value("-o", fs::path(input).stem().string() + "-features.bmp");
  SetThreadCount(a.IntValue("--threads", 0, 1, 64));
  {
    std::vector<std::pair<std::string, TOutputKind>> written{{output, TOutputKind::FeatureMap}};
    if (a.Has("--planes"))
      for (const char* plane : kPlaneFiles)
        written.emplace_back((fs::path(a.Value("--planes")) / plane).string(),
                             TOutputKind::Preview);
    CheckFiles({input}, written);
  }
  TTerminalProgress progress(a.Has("--quiet"));

  // The picture and its feature map at the size its header promises must
  // fit, before it is decoded.
  const TDecodeSizeCheck previous = SetDecodeSizeCheck([](int64_t w, int64_t h) {
    CheckMemoryFor(w * h * 4 * 2,
                   "a picture of " + std::to_string(w) + " x " + std::to_string(h) + " pixels");
  });
  TBitmap32 pic;
  try {
    pic = ReadInputPicture(input);
  } catch (...) {
    SetDecodeSizeCheck(previous);
    throw;
  }
  SetDecodeSizeCheck(previous);
  if (pic.Width() < MinAnalysisSide || pic.Height() < MinAnalysisSide)
    throw EInputFailed(
        input, "the picture is too small to analyse (" + std::to_string(pic.Width()) + " x " +
                   std::to_string(pic.Height()) + " pixels; at least 2 x 2 are needed)");
  TBitmap32 map;
  try {
    map = ExtractFeatures(pic);
  } catch (const std::bad_alloc&) {
    throw EInputFailed(input, "not enough memory to analyse the picture");
  }
  WriteFeatureMap(map, output);
  if (a.Has("--planes")) WritePlanes(map, a.Value("--planes"));
  return kExitOk;
}

}  // namespace brellin::cli
