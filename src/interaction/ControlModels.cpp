#include "interaction/ControlModels.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdlib>

#include "analysis/BDibUtils.h"
#include "base/Errors.h"
#include "base/Rounding.h"

namespace brellin {

std::string FormatGeneral(double Value, int Digits) {
  char b[64];
  auto r = std::to_chars(b, b + sizeof b, Value, std::chars_format::general, Digits);
  std::string s(b, r.ptr);
  if (s == "-0") s = "0";
  return s;
}

double ParseUserNumber(const std::string& Text) {
  size_t a = 0, e = Text.size();
  while (a < e && (Text[a] == ' ' || Text[a] == '\t')) ++a;
  while (e > a && (Text[e - 1] == ' ' || Text[e - 1] == '\t')) --e;
  double v = 0.0;
  const char* first = Text.data() + a;
  const char* last = Text.data() + e;
  // from_chars takes no leading '+'; a typed "+3" is still a number.
  if (first < last && *first == '+' && last - first > 1 && first[1] != '-') ++first;
  const auto r = std::from_chars(first, last, v);
  if (a == e || r.ec != std::errc() || r.ptr != last || !std::isfinite(v))
    throw EBrellinError("'" + Text + "' is not a valid floating point value");
  return v;
}

// ---------------------------------------------------------------------------
// Gauge

TGaugeModel::TGaugeModel(int BarWidth) : FWidth(std::max(BarWidth, 1)) {
  FText = DisplayText(FValue);
  Rebuild();
}

void TGaugeModel::SetRange(float Min, float Max) {
  FMin = Min;
  FMax = Max;
  Rebuild();
}

void TGaugeModel::SetLogScale(bool Value) {
  FLog = Value;
  Rebuild();
}

void TGaugeModel::SetIntValue(bool Value) {
  FInt = Value;
  Rebuild();
}

void TGaugeModel::SetBarWidth(int Width) {
  FWidth = std::max(Width, 1);
  Rebuild();
}

float TGaugeModel::EntryValue(int P) const {
  const float e = FTable[size_t(std::clamp(P, 0, FWidth))];
  return FLog ? float(std::exp(double(e))) : e;
}

void TGaugeModel::Rebuild() {
  // The fraction is accumulated in single precision, so the last entry of
  // a logarithmic table misses the maximum slightly (299.9986 for 300).
  FTable.assign(size_t(FWidth) + 1, 0.0f);
  const float dt = 1.0f / float(FWidth);
  const double lo = FLog ? std::log(double(FMin)) : double(FMin);
  const double hi = FLog ? std::log(double(FMax)) : double(FMax);
  float t = 0.0f;
  for (int p = 0; p <= FWidth; ++p) {
    FTable[size_t(p)] = float((1.0 - double(t)) * lo + double(t) * hi);
    t += dt;
  }
  // The edit box's number, clamped, becomes the value and is accepted.
  double typed = FValue;
  try {
    typed = ParseUserNumber(FText);
  } catch (const EBrellinError&) {
  }
  FValue = std::clamp(float(typed), FMin, FMax);
  FPosition = NearestPosition(FValue);
  FText = DisplayText(FValue);
  AcceptText();
}

int TGaugeModel::NearestPosition(float Value) const {
  int best = 0;
  double bestDist = INFINITY;
  for (int p = 0; p <= FWidth; ++p) {
    const double d = std::fabs(double(EntryValue(p)) - double(Value));
    if (d < bestDist) {  // the first of equally near positions
      bestDist = d;
      best = p;
    }
  }
  return best;
}

float TGaugeModel::Value() const {
  return FInt ? float(Round(FValue)) : FValue;
}

void TGaugeModel::SetValue(float X) {
  // Compared after clamping: a value beyond the range that lands where the
  // gauge already is changes nothing and tells nobody.
  X = std::clamp(X, FMin, FMax);
  if (X == FValue) return;
  FValue = X;
  FPosition = NearestPosition(FValue);
  FText = DisplayText(FValue);
  if (OnChange && !Updating) OnChange();
}

void TGaugeModel::MoveBar(int Position) {
  FPosition = std::clamp(Position, 0, FWidth);
  FValue = EntryValue(FPosition);
  FText = DisplayText(FValue);
  if (OnChange && !Updating) OnChange();
}

std::string TGaugeModel::DisplayText(float Value) const {
  if (FInt) return std::to_string(Round(Value));
  const double v =
      Value >= 10.0f ? double(Round(Value)) : double(Round(double(Value) * 10.0)) / 10.0;
  return FormatGeneral(v, 4);
}

void TGaugeModel::AcceptText() {
  SetValue(float(ParseUserNumber(FText)));
}

char FilterGaugeKey(char C) {
  if (C == 13) return 9;
  if (C == '-' || C == '.' || (C >= '0' && C <= '9') || C == 8 || C == 9) return C;
  return 0;
}

// ---------------------------------------------------------------------------
// Slider

void TSliderModel::SetMaximum(int Value) {
  FMaximum = std::max(Value, 0);
  if (FPosition > FMaximum) FPosition = FMaximum;
  if (OnRepaint) OnRepaint();
}

void TSliderModel::SetPosition(int Value) {
  FPosition = std::clamp(Value, 0, FMaximum);
  if (OnRepaint) OnRepaint();
}

double TSliderModel::Scale() const {
  if (FMaximum <= 0) return 0.0;
  const int span = Horizontal ? Width - ThumbWidth : Height - ThumbHeight;
  return double(span) / double(FMaximum);
}

int TSliderModel::ThumbOffset() const {
  return Round(FPosition * Scale());
}

void TSliderModel::MouseDown() {
  FDragging = true;
  if (OnBeginChange) OnBeginChange();
  if (OnRepaint) OnRepaint();
}

void TSliderModel::MouseMove(int X, int Y, bool LeftButtonDown) {
  if (!FDragging || !LeftButtonDown) return;
  // Across the slider the pointer must be over the thumb's band, until the
  // drag has moved once; along it, the thumb's centre follows the pointer.
  const int across = Horizontal ? Y : X;
  const int along = Horizontal ? X : Y;
  const int thumbAcross = std::min(Horizontal ? ThumbHeight : ThumbWidth, 255);
  if (!FMoved && (across < 0 || across > thumbAcross)) return;
  const int v = along - (Horizontal ? ThumbWidth : ThumbHeight) / 2;
  const double scale = Scale();
  if (v <= 0 || scale <= 0.0) return;
  FMoved = true;
  FPosition = std::min(Round(v / scale), FMaximum);
  if (OnChanged) OnChanged();
  if (OnRepaint) OnRepaint();
}

void TSliderModel::MouseUp() {
  FDragging = false;
  FMoved = false;
  if (OnRepaint) OnRepaint();
  if (OnStopChanged) OnStopChanged();
}

// ---------------------------------------------------------------------------
// Colour field

TColor32 ColorFieldPixel(int I, int J, int W, int H, float L, bool HorizontalLayout) {
  const float across = W > 1 ? float(I) / float(W - 1) : 0.0f;
  const float down = H > 1 ? float(J) / float(H - 1) : 0.0f;
  const float hue = HorizontalLayout ? across : down;
  const float sat = HorizontalLayout ? down : across;
  uint8_t r, g, b;
  HSLToRGB(r, g, b, hue, sat, L);
  return Color32(r, g, b, 255);
}

void PaintColorField(TBitmap32& Field, float L, bool HorizontalLayout) {
  const int w = Field.Width(), h = Field.Height();
  for (int j = 0; j < h; ++j) {
    TColor32* row = Field.ScanLine(j);
    for (int i = 0; i < w; ++i) row[i] = ColorFieldPixel(i, j, w, h, L, HorizontalLayout);
  }
}

// ---------------------------------------------------------------------------
// Thumbnail grid

int TThumbGridLayout::Columns() const {
  if (ThumbWidth < 0) return 1;
  int c = (ClientWidth - Margin) / (ThumbWidth + Margin);
  c = std::min(c, Count);
  return std::max(c, 1);
}

int TThumbGridLayout::Rows() const {
  const int c = Columns();
  return (Count + c - 1) / c;
}

int TThumbGridLayout::SheetWidth() const {
  return (ThumbWidth + Margin) * Columns() + Margin;
}

int TThumbGridLayout::SheetHeight() const {
  return (ThumbHeight + Margin) * Rows() + Margin;
}

TRect TThumbGridLayout::Cell(int Index) const {
  const int c = Columns();
  const int x = Margin + (Index % c) * (ThumbWidth + Margin);
  const int y = Margin + (Index / c) * (ThumbHeight + Margin);
  return {x, y, x + ThumbWidth, y + ThumbHeight};
}

int TThumbGridLayout::CellAt(int X, int Y) const {
  for (int i = 0; i < Count; ++i) {
    const TRect r = Cell(i);
    if (X >= r.Left && X <= r.Right && Y >= r.Top && Y <= r.Bottom) return i;
  }
  return -1;
}

TColor32 TintWithPanelColor(TColor32 X, TColor32 K) {
  const auto ch = [](int x, int k) { return uint8_t(std::max(0, x + k - 255)); };
  return Color32(ch(RedComponent(X), RedComponent(K)), ch(GreenComponent(X), GreenComponent(K)),
                 ch(BlueComponent(X), BlueComponent(K)), 255);
}

}  // namespace brellin
