#include "interaction/MainWindowModel.h"

#include <algorithm>
#include <cmath>

#include "base/Random.h"
#include "base/Rounding.h"
#include "domain/DualImage.h"
#include "interaction/ControlModels.h"
#include "library/Styles.h"

namespace brellin {

namespace {
constexpr TParameterGauge kGauges[pgCount] = {
    {"gaWidth", "Stroke Settings", "Width", 1, 40, false, 8, true, true},
    {"gaAlpha", "Stroke Settings", "Transparency", 1, 255, false, 5, true, true},
    {"gaLength", "Stroke Settings", "Length", 5, 300, true, 25, true, true},
    {"gaHueVar", "Color Variation", "Hue", 1, 255, false, 10, true, true},
    {"gaSatVar", "Color Variation", "Saturation", 1, 255, false, 10, true, true},
    {"gaLightVar", "Color Variation", "Lightness", 1, 255, false, 10, true, true},
    {"gaScanWidth", "Advanced Settings", "Scan Width", 0.5f, 12, false, 2, false, false},
    {"gaBrdLmt", "Advanced Settings", "Border Limit", 1, 100, false, 2, true, false},
    {"gaPrecision", "Advanced Settings", "Precision", 6, 100, false, 6, true, false},
    {"gaBump", "Advanced Settings", "Bumpiness", 0, 10, false, 4, false, true},
    {"gaBumpLight", "Advanced Settings", "Light Intensity", 0, 100, false, 30, true, true},
    {"gaBumpSoft", "Advanced Settings", "Softness", 1, 10, false, 8, true, true},
    {"gaSize", "Size & Density", "Size", 10, 150, false, 10, true, false},
    {"gaDensity", "Size & Density", "Density", 5, 200, false, 5, true, false},
};
}  // namespace

const TParameterGauge& ParameterGauge(int Id) {
  return kGauges[std::clamp(Id, 0, pgCount - 1)];
}

float ParameterShownValue(int Id, const TBStyle& Style, const TDualImage& Document) {
  const TStyleParams& p = Style.Params;
  switch (Id) {
    case pgWidth:
      return p.Width;
    case pgAlpha:
      return p.Alpha;
    case pgLength:
      return float(p.Length);
    case pgHueVar:
      return p.HueVariation;
    case pgSatVar:
      return p.SatVariation;
    case pgLightVar:
      return p.LightVariation;
    case pgScanWidth:
      return p.ScanWidth;
    case pgBorderLimit:
      return float(Style.BorderLimitPercent());
    case pgPrecision:
      return float(100 - int(p.PolyStep));
    case pgBump:
      return Style.Bumpiness();
    case pgBumpLight:
      return p.LightIntensity;
    case pgBumpSoft:
      return Style.Softness();
    case pgSize:
      return float(Document.BrushRadius);
    case pgDensity:
      return float(Document.Density);
  }
  return 0.0f;
}

bool ApplyParameter(int Id, float GaugeValue, TBStyle& Style, TDualImage& Document) {
  const TParameterGauge& g = ParameterGauge(Id);
  const float v = g.Integer || Id == pgBump ? float(Round(GaugeValue)) : GaugeValue;
  if (v == ParameterShownValue(Id, Style, Document)) return false;
  const int i = Round(v);
  const auto byte = [](int x) { return uint8_t(std::clamp(x, 0, 255)); };
  switch (Id) {
    case pgWidth:
      Style.SetWidth(v);
      break;
    case pgAlpha:
      Style.SetAlpha(byte(i));
      break;
    case pgLength:
      Style.SetLength(i);
      break;
    case pgHueVar:
      Style.SetHueVariation(byte(i));
      break;
    case pgSatVar:
      Style.SetSatVariation(byte(i));
      break;
    case pgLightVar:
      Style.SetLightVariation(byte(i));
      break;
    case pgScanWidth:
      Style.SetScanWidth(v);
      break;
    case pgBorderLimit:
      Style.SetBorderLimit(i);
      break;
    case pgPrecision:
      Style.SetPolyStep(uint16_t(std::clamp(Round(g.Max - v), 0, 65535)));
      break;
    case pgBump:
      Style.SetBumpiness(uint8_t(std::clamp(i, 0, 15)));
      break;
    case pgBumpLight:
      Style.SetLightIntensity(byte(i));
      break;
    case pgBumpSoft:
      Style.SetSoftness(uint8_t(std::clamp(i, 0, 15)));
      break;
    case pgSize:
      Document.SetBrushRadius(i);
      break;
    case pgDensity:
      Document.SetDensity(i);
      break;
    default:
      return false;
  }
  return true;
}

float ParameterValueWithoutDocument(int Id, float Current) {
  switch (Id) {
    case pgPrecision:
      return 4;
    case pgLength:
      return 100;
    case pgWidth:
      return 200;
    case pgSize:
      return 50;
    case pgBorderLimit:
      return 127;
  }
  return Current;
}

std::string ReliefLabel(float Bumpiness, float LightIntensity) {
  return Bumpiness * LightIntensity > 0.0f ? "[Enabled]" : "[Disabled]";
}

TToolPanels PanelsForTool(int Tool) {
  switch (Tool) {
    case 1:
      return {true, true, true, false, false};
    case 3:
      return {true, true, false, true, false};
    case 4:
      return {true, true, false, true, true};
    case 5:
      return {true, true, false, true, false};
  }
  return {};
}

std::string DrawSizePreview(TBitmap32& Preview, int W, int H, int Radius, int Density,
                            TColor32 Panel) {
  Preview.SetSizeFilled(W, H, Panel);
  if (W <= 0 || H <= 0 || Radius <= 0) return "";
  const double s = std::min(double(H) / (2.0 * Radius), double(W) / (2.0 * Radius));
  const double r = s < 1.0 ? double(std::min(W, H) / 2 - 5) : double(Radius);
  const int ri = Round(r);
  const double cx = W / 2, cy = H / 2;
  Preview.PenColor = clBlack32;
  Preview.MoveToF(float(cx + ri), float(cy));
  for (double a = 0.1; a < 2.0 * M_PI + 0.1; a += 0.1)
    Preview.LineToFS(float(cx + ri * std::cos(a)), float(cy + ri * std::sin(a)));
  const int rr = std::max(Round(r), 0);
  for (int k = 0; k <= Density; ++k) {
    const double angle = Random(6283) / 1000.0;
    const double dist = Random(rr);
    const int x = Round(std::cos(angle) * dist + W / 2.0);
    const int y = Round(std::sin(angle) * dist + H / 2.0);
    const auto put = [&](int px, int py, TColor32 c) {
      if (px >= 0 && py >= 0 && px < W && py < H) Preview.SetPixel(px, py, c);
    };
    put(x, y, Color32(60, 60, 60));
    put(x - 1, y, Color32(100, 100, 100));
    put(x + 1, y, Color32(100, 100, 100));
    put(x, y - 1, Color32(100, 100, 100));
    put(x, y + 1, Color32(100, 100, 100));
  }
  return s < 1.0 ? FormatGeneral(s * 100.0, 3) + "%" : "";
}

TStyleListEntry StyleListEntry(const TBStyle& Style, int Index) {
  return {Style.Name(), Style.Modified() && Index != 0};
}

}  // namespace brellin
