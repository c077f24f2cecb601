#include "synthesis/EffectSampler.h"

#include "analysis/BDibUtils.h"
#include "base/Random.h"
#include "base/Rounding.h"
#include "library/Styles.h"
#include "render/StrokeRenderer.h"
#include "synthesis/LineSampler.h"

namespace brellin {

TEffectSampler::TEffectSampler(const TBitmap32* Feature, TBStyle* Style, TBitmap32* Dest)
    : Feature(Feature), Dest(Dest), Style(Style) {}

void TEffectSampler::Run() {
  const int l = Style->Params.Length;
  const int w = Round(double(Style->Params.Width));
  // Lengths and widths of zero cannot come from the controls; a style file
  // could still carry them, and they must not divide.
  if (l <= 0 || w <= 0 || !Feature || Feature->Empty()) return;
  const int k = (Round(double(DensityBase) * 400.0 / l) + 3 * l) / w;
  const int n = Round(double(k) * double(Style->Params.Width) / 5.0);
  for (int i = 0; i < n; ++i) {
    const int x = Random(Feature->Width());
    const int y = Random(Feature->Height());
    StrokeAt(x, y);
  }
}

void TEffectSampler::ProvideHeading(int, int, uint8_t& Dir) {
  Dir = Heading;
}

void TEffectSampler::StrokeAt(int X, int Y) {
  Heading = uint8_t(Random(20) - 10);
  // Every heading reading goes to the callback, whatever the strength.
  struct TLimitGuard {
    int Saved = DirectionCallbackLimit;
    TLimitGuard() { DirectionCallbackLimit = 255; }
    ~TLimitGuard() { DirectionCallbackLimit = Saved; }
  } guard;
  const TStyleParams& p = Style->Params;
  const int l = p.Length;
  TLineSampler sampler(Feature, Dest);
  sampler.SetScale(Scale);
  sampler.SetPrecision(p.PolyStep);
  sampler.SetStart({X, Y});
  sampler.SetStepCount(Random(l / 10) + l - l / 20);
  sampler.SetThickness(p.Width);
  sampler.SetScanWidth(p.ScanWidth);
  sampler.StopOnBorders = p.StopOnBorders != 0;
  sampler.SetDirectionCallback([this](int x, int y, uint8_t& d) { ProvideHeading(x, y, d); });
  sampler.SetThreshold(p.BorderLimit);
  if (sampler.Run()) DrawStroke(sampler);
}

namespace {
TPolygonStrokeRenderer& FallbackBrush() {
  static TPolygonStrokeRenderer brush;
  return brush;
}
}  // namespace

void TEffectSampler::DrawStroke(TLineSampler& Sampler) {
  TAbstractStrokeRenderer* brush = nullptr;
  if (TPersistentObjectManager* brushes = StylePreviewBrushes()) {
    TPersistentObject* o = brushes->FindById(Style->Params.BrushId);
    if (!o && brushes->Count() > 0) o = brushes->GetObject(0);
    brush = dynamic_cast<TAbstractStrokeRenderer*>(o);
  }
  if (!brush) brush = &FallbackBrush();
  TColor32 colour = Sampler.AverageColor;
  const TStyleParams& p = Style->Params;
  if (p.HueVariation != 0 || p.SatVariation != 0 || p.LightVariation != 0)
    VaryColor(colour, p.HueVariation, p.SatVariation, p.LightVariation, 0, 0, 0);
  brush->SetColor(colour);
  brush->SetAlpha(p.Alpha);
  brush->SetReliefParams(Style->ReliefParams());
  brush->Render(Sampler.LeftOutline, Sampler.RightOutline, *Dest);
}

}  // namespace brellin
