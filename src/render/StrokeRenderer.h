// Stroke renderers: the brushes that turn a stroke's two outlines into pixels.
#pragma once

#include <cstdint>

#include "base/Bitmap32.h"
#include "base/Types.h"
#include "library/PersistentObjects.h"
#include "render/PolygonFiller.h"

namespace brellin {

// The relief values packed in one word: bits 0-3 Bumpiness, 4-7 Softness,
// 8-15 LightIntensity.
using TReliefParams = uint16_t;

// Base of every renderer. Renderers form a library of ".srd" files named
// "srend" + number. Colour, opacity and relief are set on the shared object
// right before each Render, so one renderer never renders two strokes at once.
class TAbstractStrokeRenderer : public TPersistentObject {
 public:
  // Abstract: extension "srd", base name "srend", no constructor.
  static const TPersistentClass& StaticClass();

  uint8_t Alpha() const { return FAlpha; }
  TColor32 Color() const { return FColor; }
  const TArrayOfFixedPoint& LeftSide() const { return FLeftSide; }
  const TArrayOfFixedPoint& RightSide() const { return FRightSide; }
  uint8_t Bumpiness() const { return FBumpiness; }
  uint8_t Softness() const { return FSoftness; }
  uint8_t LightIntensity() const { return FLightIntensity; }

  // None of the setters marks the renderer modified.
  void SetAlpha(uint8_t Value) { FAlpha = Value; }
  void SetColor(TColor32 Value) { FColor = Value; }
  void SetReliefParams(TReliefParams Value);

  // Sets the colour, opacity and relief of one stroke, then renders it.
  void RenderStroke(TColor32 Color, uint8_t Alpha, TReliefParams Relief,
                    const TArrayOfFixedPoint& LeftSide, const TArrayOfFixedPoint& RightSide,
                    TBitmap32& Target) {
    SetColor(Color);
    SetAlpha(Alpha);
    SetReliefParams(Relief);
    Render(LeftSide, RightSide, Target);
  }

  // Keeps both sides (until the next Render) and paints the stroke into
  // Target, clipped to it; Target is not resized.
  virtual void Render(const TArrayOfFixedPoint& LeftSide, const TArrayOfFixedPoint& RightSide,
                      TBitmap32& Target) = 0;

 protected:
  // Copies the sides into the fields, reusing their storage.
  void StoreSides(const TArrayOfFixedPoint& LeftSide, const TArrayOfFixedPoint& RightSide);

  uint8_t FAlpha = 255;
  TColor32 FColor = clBlack32;
  TArrayOfFixedPoint FLeftSide, FRightSide;
  uint8_t FBumpiness = 0;
  uint8_t FSoftness = 0;
  uint8_t FLightIntensity = 0;
};

// The built-in brush: fills the polygon bounded by the two sides,
// anti-aliased, even-odd, in Color (its alpha is the opacity; Alpha and the
// relief values are not used). Id 0; never loaded from or saved to a file.
class TPolygonStrokeRenderer : public TAbstractStrokeRenderer {
 public:
  static const TPersistentClass& StaticClass();
  const TPersistentClass& ClassType() const override { return StaticClass(); }

  void LoadFromStream(TStream&) override {}
  void SaveToStream(TStream&) override {}

  // The contour runs down LeftSide (first to last) and back up RightSide
  // (last to first). Fewer than 3 points in all paint nothing. Ends with
  // Target.Changed(), like the other drawing operations of TBitmap32.
  void Render(const TArrayOfFixedPoint& LeftSide, const TArrayOfFixedPoint& RightSide,
              TBitmap32& Target) override;

  // The contour of the last Render.
  const TArrayOfFixedPoint& Contour() const { return FContour; }

 private:
  TArrayOfFixedPoint FContour;
  TPolygonFiller FFiller;
};

}  // namespace brellin
