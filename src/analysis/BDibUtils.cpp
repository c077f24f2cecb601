#include "analysis/BDibUtils.h"

#include <fcntl.h>
#include <fnmatch.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <bit>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <numbers>
#include <thread>

#include "base/Clipboard.h"
#include "base/Errors.h"
#include "base/ProgramFolder.h"
#include "base/Random.h"
#include "base/Resampler.h"
#include "base/Rounding.h"

namespace brellin {

// Segments go to streams as their raw bytes, which must be little-endian.
static_assert(std::endian::native == std::endian::little);

// ---- Colours

void HSLToRGB(uint8_t& R, uint8_t& G, uint8_t& B, float H, float S, float L) {
  // Single precision throughout, like RGBToHSL, so that a round trip is stable.
  const auto toByte = [](float v) { return uint8_t(std::clamp(Round(v * 255.0f), 0, 255)); };
  if (S == 0.0f) {
    R = G = B = toByte(L);
    return;
  }
  const float q = L > 0.5f ? (S + L) - S * L : L * (S + 1.0f);
  const float p = 2.0f * L - q;
  const auto channel = [p, q](float t) {
    const float f = t - std::floor(t);
    const float f6 = 6.0f * f;
    if (f6 < 1.0f) return p + (q - p) * f6;
    if (2.0f * f < 1.0f) return q;
    if (3.0f * f < 2.0f) return p + (q - p) * (2.0f / 3.0f - f) * 6.0f;
    return p;
  };
  R = toByte(channel(H + 1.0f / 3.0f));
  G = toByte(channel(H));
  B = toByte(channel(H - 1.0f / 3.0f));
}

namespace {
// Below 0 or not a number -> 0, above 1 -> 1.
float ClampUnit(float v) {
  return v >= 0.0f ? (v > 1.0f ? 1.0f : v) : 0.0f;
}
}  // namespace

void VaryColor(TColor32& Col, uint8_t HueVar, uint8_t SatVar, uint8_t LightVar, float HueOffset,
               float SatOffset, float LightOffset) {
  float h, s, l;
  RGBToHSL(RedComponent(Col), GreenComponent(Col), BlueComponent(Col), h, s, l);
  // One statement per draw: the order hue, saturation, lightness is part of
  // the stroke sequence. The halves are real divisions.
  h = float(h + (Random(HueVar) - HueVar / 2.0) / 255.0);
  s = float(s + (Random(SatVar) - SatVar / 2.0) / 255.0);
  l = float(l + (Random(LightVar) - LightVar / 2.0) / 255.0);
  h = ClampUnit(float(double(h) + HueOffset));
  s = ClampUnit(float(double(s) + SatOffset));
  l = ClampUnit(float(double(l) + LightOffset));
  uint8_t r, g, b;
  HSLToRGB(r, g, b, h, s, l);
  Col = Color32(r, g, b, 255);
}

TColor32 ScaleColor(TColor32 Col, uint8_t K) {
  return Color32(uint8_t(RedComponent(Col) * K / 255), uint8_t(GreenComponent(Col) * K / 255),
                 uint8_t(BlueComponent(Col) * K / 255), 255);
}

TColor32 MixColors(TColor32 A, TColor32 B, uint8_t K) {
  const auto mix = [K](int a, int b) { return uint8_t(a * K / 255 + b * (255 - K) / 255); };
  return Color32(mix(RedComponent(A), RedComponent(B)), mix(GreenComponent(A), GreenComponent(B)),
                 mix(BlueComponent(A), BlueComponent(B)), 255);
}

void LinearBurn(TBitmap32& Bmp, TColor32 Col) {
  const int qr = RedComponent(Col), qg = GreenComponent(Col), qb = BlueComponent(Col);
  const auto burn = [](int p, int q) { return uint8_t(std::max(0, p + q - 255)); };
  TColor32* p = Bmp.Bits();
  for (size_t i = 0, n = Bmp.PixelCount(); i < n; ++i)
    p[i] = Color32(burn(RedComponent(p[i]), qr), burn(GreenComponent(p[i]), qg),
                   burn(BlueComponent(p[i]), qb), 255);
  Bmp.Changed();
}

void InvertColors(TBitmap32& Bmp) {
  TColor32* p = Bmp.Bits();
  for (size_t i = 0, n = Bmp.PixelCount(); i < n; ++i) p[i] ^= 0x00FFFFFFu;
  Bmp.Changed();
}

// ---- Geometry

TPoint MidPoint(TPoint A, TPoint B) {
  return {int32_t((int64_t(A.X) + B.X) / 2), int32_t((int64_t(A.Y) + B.Y) / 2)};
}

void ScalePoint(TPoint& P, float K) {
  P.X = Round(double(P.X) * K);
  P.Y = Round(double(P.Y) * K);
}

void OffsetPoint(TPoint& P, TPoint Q) {
  P.X += Q.X;
  P.Y += Q.Y;
}

void ScalePoints(std::span<TPoint> Pts, float K) {
  for (TPoint& p : Pts) ScalePoint(p, K);
}

void OffsetPoints(std::span<TPoint> Pts, TPoint Q) {
  for (TPoint& p : Pts) OffsetPoint(p, Q);
}

void JitterPoint(TPoint& P, int32_t A) {
  P.X += Random(A) - A / 2;
  P.Y += Random(A) - A / 2;
}

void JitterPoints(std::span<TPoint> Pts, int32_t A, int32_t B) {
  TPoint d;
  d.X = Random(A) - A / 2;
  d.Y = Random(A) - A / 2;
  for (TPoint& p : Pts) {
    OffsetPoint(p, d);
    JitterPoint(p, B);
  }
}

void JitterEnds(std::span<TPoint> Pts, int Index) {
  if (Index < 0 || size_t(Index) >= Pts.size()) RaiseIndexError("JitterEnds", Index);
  const int32_t hx = int32_t(std::llabs(int64_t(Pts[0].X) - Pts[size_t(Index)].X) / 2);
  const int32_t hy = int32_t(std::llabs(int64_t(Pts[0].Y) - Pts[size_t(Index)].Y) / 2);
  for (TPoint* p : {&Pts[0], &Pts[size_t(Index)]}) {
    p->X += Random(hx) - hx / 2;
    p->Y += Random(hy) - hy / 2;
  }
}

float Distance(TPoint A, TPoint B) {
  const double dx = double(A.X) - B.X, dy = double(A.Y) - B.Y;
  return float(std::sqrt(dx * dx + dy * dy));
}

float ControlPolygonLength(const TBezierSegment& Seg) {
  return float(double(Distance(Seg.P0, Seg.P1)) + Distance(Seg.P1, Seg.P2) +
               Distance(Seg.P2, Seg.P3));
}

TRect UnionRect(const TRect& A, const TRect& B) {
  return {std::min(A.Left, B.Left), std::min(A.Top, B.Top), std::max(A.Right, B.Right),
          std::max(A.Bottom, B.Bottom)};
}

TRect ScaleRect(const TRect& Src, float K) {
  return {Round(double(Src.Left) * K), Round(double(Src.Top) * K), Round(double(Src.Right) * K),
          Round(double(Src.Bottom) * K)};
}

void FitInside(int32_t W, int32_t H, int32_t MaxSize, int32_t& NewW, int32_t& NewH) {
  if (W <= 0 || H <= 0 || MaxSize <= 0) {
    NewW = NewH = 0;
    return;
  }
  // k = min(MaxSize / W, MaxSize / H) = MaxSize / max(W, H). Integer
  // arithmetic gives the exact floor: in floating point W * (MaxSize / W)
  // can land just below MaxSize and lose a pixel.
  const int64_t m = std::max(W, H);
  NewW = int32_t(int64_t(W) * MaxSize / m);
  NewH = int32_t(int64_t(H) * MaxSize / m);
}

float InverseCubeWeight(float D) {
  const float d = (D > 0.0f ? D : 1.0f) / 10.0f;
  return float(1.0 / (double(d) * d * d));
}

TDirectionGuide BlendDirections(std::span<const TDirectionGuide> Guides, TPoint P) {
  const auto weight = [P](const TDirectionGuide& g) {
    return InverseCubeWeight(Distance(P, TPoint{g.X, g.Y}));
  };
  float total = 0.0f;
  for (const TDirectionGuide& g : Guides) total += weight(g);
  if (total < 0.00001f) total = 0.00001f;
  float sx = 0.0f, sy = 0.0f;
  for (const TDirectionGuide& g : Guides) {
    const float w = weight(g) / total;
    sx += w * g.VX;
    sy += w * g.VY;
  }
  const auto sign = [](float v) { return (v > 0.0f) - (v < 0.0f); };
  TDirectionGuide r;
  r.X = P.X;
  r.Y = P.Y;
  r.VY = std::fabs(sy);
  r.VX = sign(sx) == sign(sy) ? std::fabs(sx) : -std::fabs(sx);
  return r;
}

int32_t StrokeCountFor(int32_t Length, int32_t Base, int32_t Width) {
  if (Length == 0 || Width == 0) return 0;  // no stroke to count
  return (Round(double(Base) * 400.0 / Length) + 3 * Length) / Width;
}

// ---- Bitmaps

bool IsValidBitmap(const TBitmap32* Bmp) {
  return Bmp != nullptr && Bmp->Width() > 0 && Bmp->Height() > 0;
}

TBitmap32 NewBitmap(int W, int H, TColor32 Col) {
  TBitmap32 b(W, H);
  b.Clear(Col);
  return b;
}

TBitmap32 CropBitmap(const TBitmap32& Bmp, const TRect& R) {
  TBitmap32 r(std::max(0, R.Width()), std::max(0, R.Height()));
  const int x0 = std::max(R.Left, 0), x1 = std::min(R.Right, Bmp.Width());
  for (int y = std::max(R.Top, 0); y < std::min(R.Bottom, Bmp.Height()); ++y)
    if (x0 < x1)
      std::copy(Bmp.ScanLine(y) + x0, Bmp.ScanLine(y) + x1, r.ScanLine(y - R.Top) + (x0 - R.Left));
  return r;
}

TBitmap32 Resample(TBitmap32& Bmp, int W, int H) {
  TBitmap32 r(W, H);
  Bmp.StretchFilter = sfMitchell;
  r.StretchFilter = sfMitchell;
  StretchDraw(r, r.BoundsRect(), Bmp);
  return r;
}

void FillWithPicture(TBitmap32& Dest, TBitmap32& Pic, uint8_t Mode) {
  if (Mode == 2) {
    if (Pic.Empty()) return;
    for (int y = 0; y < Dest.Height(); y += Pic.Height())
      for (int x = 0; x < Dest.Width(); x += Pic.Width()) Pic.DrawTo(Dest, x, y);
  } else if (Mode == 1) {
    Dest.StretchFilter = sfMitchell;
    Pic.StretchFilter = sfMitchell;
    StretchDraw(Dest, Dest.BoundsRect(), Pic);
  } else {
    return;
  }
  Dest.Changed();
}

void PasteBitmap(TBitmap32& Bmp) {
  TClipboardPort* clipboard = ClipboardPort();
  if (clipboard == nullptr || !clipboard->HasBitmap()) return;
  clipboard->GetBitmap(Bmp);
  Bmp.Changed();
}

void DrawDashedCircle(TBitmap32& Bmp, TPoint Centre, TColor32 ColorA, TColor32 ColorB,
                      float Radius) {
  Bmp.PenColor = ColorA;
  bool useA = true, first = true;
  Bmp.BeginUpdate();
  // The angle advances in single precision, as it always has: 64 points.
  for (float a = 0.0f; double(a) <= 2 * std::numbers::pi + 0.1; a = float(double(a) + 0.1)) {
    const float x = float(Centre.X + double(Radius) * std::cos(double(a)));
    const float y = float(Centre.Y + double(Radius) * std::sin(double(a)));
    if (first)
      Bmp.MoveToF(x, y);
    else
      Bmp.LineToFS(x, y);
    first = false;
    useA = !useA;
    Bmp.PenColor = useA ? ColorA : ColorB;
  }
  Bmp.EndUpdate();
  Bmp.Changed();
}

void DrawArc(TBitmap32& Bmp, TPoint Centre, TColor32 Color, float Radius, float FromAngle,
             float ToAngle) {
  Bmp.PenColor = Color;
  bool first = true;
  Bmp.BeginUpdate();
  for (float a = FromAngle; double(a) <= double(ToAngle) + 0.1;) {
    const double x = Centre.X + double(Radius) * std::cos(double(a));
    const double y = Centre.Y + double(Radius) * std::sin(double(a));
    const TFixed fx = Round(x * FixedOne), fy = Round(y * FixedOne);
    if (first)
      Bmp.MoveToX(fx, fy);
    else
      Bmp.LineToXS(fx, fy, true);
    first = false;
    const float next = float(double(a) + 0.1);
    if (next == a) break;  // an angle so large that the step vanishes
    a = next;
  }
  Bmp.EndUpdate();
  Bmp.Changed();
}

// ---- Streams, files, messages

void WriteSegments(TStream& Stream, std::span<const TBezierSegment> Segs) {
  Stream.WriteBuffer(Segs.data(), Segs.size_bytes());
}

void ReadSegments(TStream& Stream, std::span<TBezierSegment> Segs) {
  Stream.ReadBuffer(Segs.data(), Segs.size_bytes());
}

void GetFiles(const std::string& Dir, const std::string& Mask, std::vector<std::string>* List) {
  if (List == nullptr) throw EBrellinError("GetFiles: FileList must be created");
  List->clear();
  // The mask may carry a folder part of its own; split Dir + Mask at the last slash.
  const std::string full = Dir + Mask;
  const size_t slash = full.find_last_of('/');
  const std::string folder = slash == std::string::npos ? "." : full.substr(0, slash + 1);
  std::string pattern = slash == std::string::npos ? full : full.substr(slash + 1);
  if (pattern == "*.*") pattern = "*";  // every name, with or without a dot
  std::error_code ec;
  std::filesystem::directory_iterator it(folder, ec), end;
  for (; !ec && it != end; it.increment(ec)) {
    const std::string name = it->path().filename().string();
    if (name == "." || name == "..") continue;
    if (::fnmatch(pattern.c_str(), name.c_str(), FNM_CASEFOLD) == 0) List->push_back(Dir + name);
  }
  // Directory order is arbitrary on Linux; library lists must not depend on it.
  std::sort(List->begin(), List->end());
}

namespace {

std::string ErrnoText(int err) {
  return std::strerror(err);
}

// Writes everything or throws; short writes caused by a full disk say so.
void WriteAll(int fd, const void* data, size_t count, const std::string& fileName) {
  const char* p = static_cast<const char*>(data);
  while (count > 0) {
    const ssize_t r = ::write(fd, p, count);
    if (r < 0 && errno == EINTR) continue;
    if (r < 0 && errno != ENOSPC && errno != EDQUOT && errno != EFBIG)
      throw EWriteError(fileName + ": " + ErrnoText(errno));
    if (r <= 0) throw EWriteError("Disk full");
    p += r;
    count -= size_t(r);
  }
}

constexpr int AppendRetries = 20;
constexpr auto AppendRetryDelay = std::chrono::milliseconds(10);

}  // namespace

void AppendLine(const std::string& FileName, const std::string& Line) {
  int fd = -1;
  for (int attempt = 0;; ++attempt) {
    // Without blocking: a FIFO of that name and no reader must not stall
    // the program (nothing is logged then).
    fd = ::open(FileName.c_str(), O_WRONLY | O_APPEND | O_NONBLOCK | O_CLOEXEC);
    if (fd >= 0) break;
    if (errno == ENXIO) throw EWriteError("Cannot open \"" + FileName + "\": " + ErrnoText(errno));
    const int err = errno;
    struct stat st {};
    if (err == ENOENT || ::stat(FileName.c_str(), &st) != 0) {
      // Absent, or vanished meanwhile: create it.
      fd = ::open(FileName.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0666);
      if (fd >= 0) break;
      if (errno != EEXIST && ::stat(FileName.c_str(), &st) != 0)
        throw EWriteError("Cannot create \"" + FileName + "\": " + ErrnoText(errno));
    }
    // Present but not openable: it may be held by someone else for a moment.
    // Wait a little, not forever.
    if (attempt >= AppendRetries)
      throw EWriteError("Cannot open \"" + FileName + "\": " + ErrnoText(err));
    std::this_thread::sleep_for(AppendRetryDelay);
  }
  try {
    const std::string text = Line + "\n";
    WriteAll(fd, text.data(), text.size(), FileName);
  } catch (...) {
    ::close(fd);
    throw;
  }
  if (::close(fd) != 0) throw EWriteError(FileName + ": " + ErrnoText(errno));
}

void LogError(const std::exception& E) noexcept {
  try {
    AppendLine(ProgramFolder() + "brellin.log", E.what());
  } catch (...) {
    // Nowhere left to report to.
  }
}

// ---- TBufferedWriter

TBufferedWriter::TBufferedWriter(const std::string& FileName, int Capacity)
    : FCapacity(Capacity), FFileName(FileName) {
  if (Capacity < 0) throw EBrellinError("TBufferedWriter: negative capacity");
  FBuffer.resize(size_t(Capacity));
  if (::unlink(FileName.c_str()) != 0 && errno != ENOENT)
    throw EWriteError("Cannot delete \"" + FileName + "\": " + ErrnoText(errno));
  FFileHandle = ::open(FileName.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (FFileHandle < 0) throw EWriteError("Cannot create \"" + FileName + "\": " + ErrnoText(errno));
}

TBufferedWriter::TBufferedWriter(int Fd, const std::string& FileName, int Capacity)
    : FFileHandle(Fd), FOwnsHandle(false), FCapacity(Capacity), FFileName(FileName) {
  if (Capacity < 0) throw EBrellinError("TBufferedWriter: negative capacity");
  FBuffer.resize(size_t(Capacity));
}

TBufferedWriter::~TBufferedWriter() {
  if (FFileHandle < 0) return;
  try {
    Flush();
  } catch (...) {
    // A destructor must not throw; Close() is the way to hear about this.
  }
  if (FOwnsHandle) ::close(FFileHandle);
}

void TBufferedWriter::WriteBytes(const void* data, size_t count) {
  if (count == 0) return;
  if (FFileHandle < 0) throw EWriteError(FFileName + ": the file is closed");
  ssize_t r;
  do r = ::write(FFileHandle, data, count);
  while (r < 0 && errno == EINTR);
  if (r < 0 && errno != ENOSPC && errno != EDQUOT && errno != EFBIG)
    throw EWriteError(FFileName + ": " + ErrnoText(errno));
  if (r < 0 || size_t(r) < count) throw EWriteError("Disk full");
}

void TBufferedWriter::WriteLine(std::string_view S) {
  if (FFileHandle < 0) throw EWriteError(FFileName + ": the file is closed");
  const size_t need = S.size() + 2;
  if (size_t(FCapacity) < need + size_t(FUsed)) Flush();
  if (need > size_t(FCapacity)) {
    // Longer than the whole buffer: written through directly, behind the
    // lines flushed just above, so the order of lines is kept.
    std::string line(S);
    line += "\n\r";
    WriteBytes(line.data(), line.size());
    return;
  }
  char* p = FBuffer.data() + FUsed;
  std::memcpy(p, S.data(), S.size());
  p[S.size()] = 10;
  p[S.size() + 1] = 13;
  FUsed += int(need);
}

void TBufferedWriter::Flush() {
  WriteBytes(FBuffer.data(), size_t(FUsed));
  FUsed = 0;
}

void TBufferedWriter::Close() {
  if (FFileHandle < 0) return;
  Flush();
  const int fd = FFileHandle;
  FFileHandle = -1;
  if (FOwnsHandle && ::close(fd) != 0) throw EWriteError(FFileName + ": " + ErrnoText(errno));
}

}  // namespace brellin
