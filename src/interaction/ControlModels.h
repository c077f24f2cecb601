// The behaviour of the parameter panels' own controls, apart from drawing:
// the numeric gauge with its edit box, the bitmap slider, the colour field
// and the thumbnail grids. The desktop program's widgets hold one of these
// each and only draw what it says; the arithmetic is tested here.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "base/Bitmap32.h"
#include "base/Types.h"

namespace brellin {

// A number in general format with Digits significant digits and a point
// as decimal separator, whatever the locale: 2.5 -> "2.5", 1.171875 -> "1.172".
std::string FormatGeneral(double Value, int Digits);

// Reads a number typed by the user, with "." as decimal separator (and
// surrounding blanks allowed). Throws EBrellinError "'TEXT' is not a valid
// floating point value" when the text is not a number.
double ParseUserNumber(const std::string& Text);

// The numeric gauge: a bar of BarWidth pixels whose positions map to
// values through a table (linear or logarithmic), and an edit box showing
// the value.
class TGaugeModel {
 public:
  explicit TGaugeModel(int BarWidth = 109);

  // Each of these rebuilds the position table, takes the edit box's number
  // as the value (clamped to the range) and accepts it.
  void SetRange(float Min, float Max);
  void SetLogScale(bool Value);
  void SetIntValue(bool Value);
  void SetBarWidth(int Width);

  float MinValue() const { return FMin; }
  float MaxValue() const { return FMax; }
  bool LogScale() const { return FLog; }
  bool IntValue() const { return FInt; }
  int BarWidth() const { return FWidth; }

  // The value as the program reads it: rounded half to even for integer
  // gauges, the stored value otherwise.
  float Value() const;
  float StoredValue() const { return FValue; }
  // Sets the value, clamped to the range; nothing when that is the stored value.
  // Moves the bar, updates the edit text and fires OnChange.
  void SetValue(float X);
  // The user moved the bar to Position (0..BarWidth).
  void MoveBar(int Position);
  int BarPosition() const { return FPosition; }
  // The bar's page step: a fifth of its width, at least 1.
  int LargeStep() const { return FWidth / 5 > 1 ? FWidth / 5 : 1; }
  // The value of table entry P.
  float EntryValue(int P) const;

  // The edit box. SetText is the user typing; AcceptText (Enter, Tab or the
  // focus leaving) sets the typed number as the value, or throws on text
  // that is not a number (the value then stays).
  const std::string& Text() const { return FText; }
  void SetText(const std::string& Text) { FText = Text; }
  void AcceptText();
  // How Value would be shown in the edit box.
  std::string DisplayText(float Value) const;

  // Suppresses OnChange (the control is going, or its parent is updating).
  bool Updating = false;
  std::function<void()> OnChange;

 private:
  void Rebuild();
  int NearestPosition(float Value) const;
  float FMin = 1.0f, FMax = 100.0f, FValue = 10.0f;
  bool FLog = false, FInt = false;
  int FWidth;
  int FPosition = 0;
  std::vector<float> FTable;  // one entry per bar position; logarithms when FLog
  std::string FText;
};

// The gauge's edit box keeps only what a number can hold: '-', digits, '.',
// Backspace (8), Tab (9) and Enter (13), which becomes Tab. Returns the
// character to keep, or 0 to drop it.
char FilterGaugeKey(char C);

// The bitmap slider: a thumb along a ruler, Position 0..Maximum.
class TSliderModel {
 public:
  int Width = 191, Height = 11;
  int ThumbWidth = 0, ThumbHeight = 0;
  bool Horizontal = true;

  int Maximum() const { return FMaximum; }
  int Position() const { return FPosition; }
  void SetMaximum(int Value);
  void SetPosition(int Value);
  // Pixels per unit along the slider.
  double Scale() const;
  // Where the thumb's leading edge lies along the slider.
  int ThumbOffset() const;
  bool Dragging() const { return FDragging; }
  // The thumb shows its pressed half while dragging.
  bool Pressed() const { return FDragging; }

  void MouseDown();
  // (X, Y) in the control's coordinates.
  void MouseMove(int X, int Y, bool LeftButtonDown);
  void MouseUp();

  std::function<void()> OnBeginChange, OnChanged, OnStopChanged, OnRepaint;

 private:
  int FMaximum = 100, FPosition = 0;
  bool FDragging = false, FMoved = false;
};

// The colour field's pixel (I, J) of a W x H field at lightness L (0..1):
// hue across and saturation down with HorizontalLayout, the other way
// round otherwise.
TColor32 ColorFieldPixel(int I, int J, int W, int H, float L, bool HorizontalLayout);
// The whole field.
void PaintColorField(TBitmap32& Field, float L, bool HorizontalLayout);
// Which colour a click sets: the left button the selected colour, the
// others the secondary one.
struct TColorFieldPick {
  TColor32 Selected = 0, Secondary = 0;
  void Pick(TColor32 Color, bool LeftButton) { (LeftButton ? Selected : Secondary) = Color; }
};

// Lays out thumbnails in a grid that fills the control's width.
struct TThumbGridLayout {
  int ClientWidth = 0;
  int ThumbWidth = -1, ThumbHeight = -1;  // -1 until set
  int Margin = 2;
  int Count = 0;

  int Columns() const;
  int Rows() const;
  int SheetWidth() const;
  int SheetHeight() const;
  // The cell of image Index.
  TRect Cell(int Index) const;
  // The image whose cell holds (X, Y), edges included; -1 for none.
  int CellAt(int X, int Y) const;
};

// Per channel max(0, x + k - 255), opaque: white paper takes the colour K,
// black stays black (the selected brush thumbnail, the style preview).
TColor32 TintWithPanelColor(TColor32 X, TColor32 K);

}  // namespace brellin
