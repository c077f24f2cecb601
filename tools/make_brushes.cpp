// Writes the brush files that ship with the program. Each brush picture is
// grey-scale, light on dark: columns run along the stroke, rows across it,
// and only the blue byte is used (0 paints nothing, 255 full strength).
//
//   brellin-make-brushes DIR      writes DIR/brush*.srd
//
// The pictures come from a fixed-seed generator of this tool's own (not the
// program's random generator), so the files are the same on every run.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>

#include "ToolNoise.h"
#include "base/Bitmap32.h"
#include "base/BmpCodec.h"
#include "base/Stream.h"

using namespace brellin;

namespace {

uint8_t Clamp(double v) {
  return uint8_t(std::lround(std::fmin(255.0, std::fmax(0.0, v))));
}

// Smooth ramp 0..1 over the first and last `fade` fraction of the length.
double Taper(double u, double fadeIn, double fadeOut) {
  double t = 1.0;
  if (u < fadeIn) t = u / fadeIn;
  if (u > 1.0 - fadeOut) t = std::fmin(t, (1.0 - u) / fadeOut);
  return 0.5 - 0.5 * std::cos(M_PI * std::fmax(0.0, std::fmin(1.0, t)));
}

TBitmap32 MakeBrush(int w, int h, const std::function<double(int, int)>& value) {
  TBitmap32 b(w, h);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const uint8_t v = Clamp(value(x, y));
      b.SetPixel(x, y, Color32(v, v, v));
    }
  return b;
}

// A hard pen nib: full ink across the whole width with crisp sides, a short
// swelling start and a tapered end.
TBitmap32 PenNib() {
  const int w = 256, h = 24;
  return MakeBrush(w, h, [&](int x, int y) {
    const double u = double(x) / (w - 1),
                 v = std::fabs((y + 0.5) / h - 0.5) * 2.0;  // 0 centre, 1 side
    const double side = v < 0.82 ? 1.0 : std::fmax(0.0, 1.0 - (v - 0.82) / 0.18);
    return 255.0 * side * Taper(u, 0.04, 0.18);
  });
}

// A soft pencil: graphite grain on a rounded profile, never quite solid.
TBitmap32 Pencil() {
  const int w = 256, h = 24;
  TNoise n(7);
  TBitmap32 grain = MakeBrush(w, h, [&](int, int) { return n.Next() * 255.0; });
  return MakeBrush(w, h, [&](int x, int y) {
    const double u = double(x) / (w - 1), v = std::fabs((y + 0.5) / h - 0.5) * 2.0;
    const double profile = std::exp(-3.0 * v * v);
    const double g = BlueComponent(grain.Pixel(x, y)) / 255.0;
    // Grain stretched along the stroke: mix the pixel with its neighbours in the row.
    const double g2 = BlueComponent(grain.Pixel((x + 3) % w, y)) / 255.0;
    return 255.0 * profile * Taper(u, 0.08, 0.12) * (0.62 + 0.38 * (0.5 * g + 0.5 * g2));
  });
}

// A bristle brush: separate hairs of different strength, some running out of
// paint before the end of the stroke.
TBitmap32 Bristle() {
  const int w = 256, h = 32;
  TNoise n(11);
  double strength[32], length[32];
  for (int y = 0; y < h; ++y) {
    strength[y] = 0.55 + 0.45 * n.Next();
    length[y] = 0.7 + 0.3 * n.Next();
  }
  return MakeBrush(w, h, [&](int x, int y) {
    const double u = double(x) / (w - 1), v = std::fabs((y + 0.5) / h - 0.5) * 2.0;
    const double edge = v < 0.75 ? 1.0 : std::fmax(0.0, 1.0 - (v - 0.75) / 0.25);
    const double hair = (y % 3 == 2) ? 0.55 : 1.0;  // thin gaps between hair bundles
    const double run = u < length[y] ? 1.0 : std::fmax(0.0, 1.0 - (u - length[y]) / 0.08);
    return 255.0 * edge * hair * strength[y] * run * Taper(u, 0.05, 0.05);
  });
}

// A dry brush: paint catching only on the paper's raised grain, broken
// streaks that thin out towards the end.
TBitmap32 DryBrush() {
  const int w = 256, h = 32;
  TNoise n(23);
  double phase[32];
  for (int y = 0; y < h; ++y) phase[y] = n.Next() * 40.0;
  TNoise speck(5);
  TBitmap32 specks = MakeBrush(w, h, [&](int, int) { return speck.Next() * 255.0; });
  return MakeBrush(w, h, [&](int x, int y) {
    const double u = double(x) / (w - 1), v = std::fabs((y + 0.5) / h - 0.5) * 2.0;
    const double edge = v < 0.6 ? 1.0 : std::fmax(0.0, 1.0 - (v - 0.6) / 0.4);
    // Streaks: long runs of paint broken by gaps that grow along the stroke.
    const double wave = 0.5 + 0.5 * std::sin((x + phase[y]) / (9.0 + y % 5));
    const double dryness = 0.15 + 0.6 * u;
    const double paint = wave > dryness ? 1.0 : 0.15;
    const double s = BlueComponent(specks.Pixel(x, y)) / 255.0;
    return 255.0 * edge * paint * (0.7 + 0.3 * s) * Taper(u, 0.03, 0.1);
  });
}

void WriteBrush(const std::string& file, int32_t id, int32_t referenceWidth, const TBitmap32& pic) {
  TSafeFileWriter out(file);
  out.Stream().WriteValue<int32_t>(id);
  out.Stream().WriteValue<int32_t>(referenceWidth);
  SaveBMPToStream(pic, out.Stream(), 24);
  out.Commit();
  std::printf("wrote %s (Id %d, %d x %d)\n", file.c_str(), id, pic.Width(), pic.Height());
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: brellin-make-brushes DIR\n");
    return 1;
  }
  const std::string dir = argv[1];
  try {
    // The names sort in library order: the program selects the third file
    // (position 3 after the built-in polygon brush) by default, the pen nib.
    WriteBrush(dir + "/brush1-pencil.srd", 1101, 24, Pencil());
    WriteBrush(dir + "/brush2-dry.srd", 1102, 32, DryBrush());
    WriteBrush(dir + "/brush3-pen-nib.srd", 1103, 24, PenNib());
    WriteBrush(dir + "/brush4-bristle.srd", 1104, 32, Bristle());
  } catch (const std::exception& e) {
    std::fprintf(stderr, "brellin-make-brushes: %s\n", e.what());
    return 3;
  }
  return 0;
}
