// Small routines many units share: colour arithmetic, geometry helpers,
// bitmap helpers, stream and file helpers, and the buffered text writer.
#pragma once

#include <cstdint>
#include <exception>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "analysis/imagproc.h"
#include "base/Bitmap32.h"
#include "base/Stream.h"
#include "base/Types.h"

namespace brellin {

// DirectionByte (declared with the filters in imagproc.h) belongs to this family too.
// IndexErrorText lives in base/Errors.h.

// ---- Colours. HSL values are floats in [0, 1]; hue 0 red, 1/3 green, 2/3 blue.

void HSLToRGB(uint8_t& R, uint8_t& G, uint8_t& B, float H, float S, float L);
// Random HSL variation of Col (three draws: hue, saturation, lightness), then
// the offsets; the result is opaque.
void VaryColor(TColor32& Col, uint8_t HueVar, uint8_t SatVar, uint8_t LightVar, float HueOffset,
               float SatOffset, float LightOffset);
// Each channel x K div 255, alpha 255.
TColor32 ScaleColor(TColor32 Col, uint8_t K);
// Each channel A x K div 255 + B x (255 - K) div 255, alpha 255.
TColor32 MixColors(TColor32 A, TColor32 B, uint8_t K);
// Each channel p := max(0, p + q - 255) with q from Col; alpha 255.
void LinearBurn(TBitmap32& Bmp, TColor32 Col);
// Inverts red, green and blue; alpha kept.
void InvertColors(TBitmap32& Bmp);

// ---- Geometry. Integer divisions truncate toward zero.

TPoint MidPoint(TPoint A, TPoint B);
void ScalePoint(TPoint& P, float K);  // rounded half to even
void OffsetPoint(TPoint& P, TPoint Q);
void ScalePoints(std::span<TPoint> Pts, float K);
void OffsetPoints(std::span<TPoint> Pts, TPoint Q);
// P.X += Random(A) - A div 2, then P.Y likewise.
void JitterPoint(TPoint& P, int32_t A);
// One common offset drawn from A, then each point jittered by B.
void JitterPoints(std::span<TPoint> Pts, int32_t A, int32_t B);
// Moves Pts[0] and then Pts[Index] by up to half their distance on each axis.
void JitterEnds(std::span<TPoint> Pts, int Index);
float Distance(TPoint A, TPoint B);
float ControlPolygonLength(const TBezierSegment& Seg);
TRect UnionRect(const TRect& A, const TRect& B);
TRect ScaleRect(const TRect& Src, float K);
// The largest size of W x H's proportions that fits MaxSize x MaxSize
// (floor of each side times MaxSize / max(W, H)).
void FitInside(int32_t W, int32_t H, int32_t MaxSize, int32_t& NewW, int32_t& NewH);
float InverseCubeWeight(float D);

// A direction guide: a point and the orientation vector it imposes.
struct TDirectionGuide {
  int32_t X = 0, Y = 0;
  float VX = 0, VY = 0;
};
static_assert(sizeof(TDirectionGuide) == 16);
// Inverse-cube-distance average of the guides' vectors at P, folded so that
// VY >= 0; the result carries P as its position.
TDirectionGuide BlendDirections(std::span<const TDirectionGuide> Guides, TPoint P);

int32_t StrokeCountFor(int32_t Length, int32_t Base, int32_t Width);

// ---- Bitmaps.

bool IsValidBitmap(const TBitmap32* Bmp);
TBitmap32 NewBitmap(int W, int H, TColor32 Col);
// Bmp's area R as a bitmap of R's size; parts of R outside Bmp are 0.
TBitmap32 CropBitmap(const TBitmap32& Bmp, const TRect& R);
// Bmp drawn stretched over a new W x H bitmap with the Mitchell filter; both
// bitmaps' StretchFilter becomes sfMitchell. Same size: an exact copy.
TBitmap32 Resample(TBitmap32& Bmp, int W, int H);
// Mode 1: Pic stretched over all of Dest (Mitchell, both filters set);
// mode 2: Pic tiled from (0, 0); other modes do nothing. Pic's DrawMode applies.
void FillWithPicture(TBitmap32& Dest, TBitmap32& Pic, uint8_t Mode);
// Bmp takes the clipboard's picture when there is one; otherwise unchanged.
void PasteBitmap(TBitmap32& Bmp);
// A circle of 63 anti-aliased pieces alternating ColorB, ColorA, ...
void DrawDashedCircle(TBitmap32& Bmp, TPoint Centre, TColor32 ColorA, TColor32 ColorB,
                      float Radius);
// An arc of anti-aliased pieces in steps of 0.1 radian from FromAngle.
void DrawArc(TBitmap32& Bmp, TPoint Centre, TColor32 Color, float Radius, float FromAngle,
             float ToAngle);

// ---- Streams, files, messages.

void WriteSegments(TStream& Stream, std::span<const TBezierSegment> Segs);
// Fills every element of the pre-sized Segs; throws when the stream runs short.
void ReadSegments(TStream& Stream, std::span<TBezierSegment> Segs);
// List := Dir + name for every entry of Dir matching Mask (wildcards * and ?,
// case-insensitive, "*.*" matches everything), sorted by name.
void GetFiles(const std::string& Dir, const std::string& Mask, std::vector<std::string>* List);
// Appends Line and a line end to FileName, creating it when absent.
void AppendLine(const std::string& FileName, const std::string& Line);
// Appends E's message to "brellin.log" in the program folder, where the
// desktop program's log is too, never in whatever folder the program was
// started from. Never throws: it is called while handling another failure.
void LogError(const std::exception& E) noexcept;

// Buffered text-file writer; every line ends with the bytes 10 and 13.
class TBufferedWriter {
 public:
  // Deletes any file of that name and creates it empty.
  TBufferedWriter(const std::string& FileName, int Capacity);
  // Writes to a descriptor the caller keeps open and closes; FileName only
  // names it in messages.
  TBufferedWriter(int Fd, const std::string& FileName, int Capacity);
  // Flushes and closes, ignoring errors: call Close() to have them reported.
  ~TBufferedWriter();
  TBufferedWriter(const TBufferedWriter&) = delete;
  TBufferedWriter& operator=(const TBufferedWriter&) = delete;

  void WriteLine(std::string_view S);
  // Throws "Disk full" when the file takes fewer bytes than offered.
  void Flush();
  // Flush, then close the file; throws on failure. Further writes are errors.
  void Close();

  int Capacity() const { return FCapacity; }
  int Used() const { return FUsed; }
  const std::string& FileName() const { return FFileName; }

 private:
  void WriteBytes(const void* data, size_t count);
  int FFileHandle = -1;
  bool FOwnsHandle = true;
  std::vector<char> FBuffer;
  int FCapacity = 0;
  int FUsed = 0;
  std::string FFileName;
};

}  // namespace brellin
