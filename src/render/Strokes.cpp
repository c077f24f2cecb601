#include "render/Strokes.h"

#include <cstdio>
#include <cstring>

#include "base/Errors.h"
#include "base/Progress.h"

namespace brellin {

static_assert(sizeof(TFixedPoint) == 8, "outline points are stored as two 32-bit numbers");

bool TStrokeRecord::SameStroke(const TStrokeRecord& Other) const {
  return Color == Other.Color && Alpha == Other.Alpha && Id == Other.Id &&
         LeftSide == Other.LeftSide && RightSide == Other.RightSide;
}

namespace {

void Put32(std::vector<uint8_t>& B, uint32_t V) {
  const uint8_t b[4] = {uint8_t(V), uint8_t(V >> 8), uint8_t(V >> 16), uint8_t(V >> 24)};
  B.insert(B.end(), b, b + 4);
}

uint32_t Get32(const uint8_t* P) {
  return uint32_t(P[0]) | uint32_t(P[1]) << 8 | uint32_t(P[2]) << 16 | uint32_t(P[3]) << 24;
}

void PutSide(std::vector<uint8_t>& B, const TArrayOfFixedPoint& Side, uint16_t Relief) {
  Put32(B, uint32_t(Side.size()) | uint32_t(Relief) << 16);
  const size_t at = B.size();
  B.resize(at + Side.size() * 8);
  for (size_t i = 0; i < Side.size(); ++i) {
    uint8_t* p = B.data() + at + i * 8;
    const uint32_t x = uint32_t(Side[i].X), y = uint32_t(Side[i].Y);
    for (int k = 0; k < 4; ++k) {
      p[k] = uint8_t(x >> (8 * k));
      p[4 + k] = uint8_t(y >> (8 * k));
    }
  }
}

void GetPoints(const uint8_t* P, size_t N, TArrayOfFixedPoint& Side) {
  Side.resize(N);
  for (size_t i = 0; i < N; ++i) Side[i] = {TFixed(Get32(P + i * 8)), TFixed(Get32(P + i * 8 + 4))};
}

void CheckSide(const TArrayOfFixedPoint& Side) {
  if (Side.size() > 0xFFFF)
    throw EBrellinError("A stroke side of " + std::to_string(Side.size()) +
                        " points cannot be recorded (at most 65535)");
}

// Reads one side block of the project layout, checking that its points are
// there before allocating them.
void ReadSide(TStream& S, int64_t& Pos, int64_t End, TArrayOfFixedPoint& Side, uint16_t& Relief,
              std::vector<uint8_t>& Buffer, int32_t Index, int32_t N) {
  auto truncated = [&] {
    throw EInvalidData("truncated stroke block (stroke " + std::to_string(Index + 1) + " of " +
                       std::to_string(N) + ")");
  };
  uint8_t h[4];
  if (End - Pos < 4 || S.Read(h, 4) != 4) truncated();
  Pos += 4;
  const uint32_t header = Get32(h);
  const size_t n = header & 0xFFFF;
  Relief = uint16_t(header >> 16);
  if (End - Pos < int64_t(n) * 8) truncated();
  Buffer.resize(n * 8);
  if (S.Read(Buffer.data(), n * 8) != n * 8) truncated();
  Pos += int64_t(n) * 8;
  GetPoints(Buffer.data(), n, Side);
}

struct THideProgress {
  ~THideProgress() { HideProgress(); }
};

}  // namespace

TStrokes::TStrokes(const std::string& FileName) : FFileName(FileName) {
  FStream = CreateFileAndFolder(FileName);
}

TStrokes::TStrokes(TStream& Source, const std::string& FileName) : TStrokes(FileName) {
  try {
    ReadFromStream(Source);
  } catch (...) {
    FStream.reset();
    std::remove(FFileName.c_str());
    throw;
  }
}

TStrokes::~TStrokes() {
  FStream.reset();
  std::remove(FFileName.c_str());
}

void TStrokes::AddStroke(const TArrayOfFixedPoint& LeftSide, const TArrayOfFixedPoint& RightSide,
                         uint16_t ReliefParams, int32_t Id, uint8_t Alpha, TColor32 Color) {
  CheckSide(LeftSide);
  CheckSide(RightSide);
  if (FReading) {
    FStream->Seek(FEnd, soBeginning);
    FReading = false;
  }
  FBuffer.clear();
  Put32(FBuffer, Color);
  FBuffer.push_back(Alpha);
  Put32(FBuffer, uint32_t(Id));
  PutSide(FBuffer, LeftSide, ReliefParams);
  PutSide(FBuffer, RightSide, ReliefParams);
  FStream->WriteBuffer(FBuffer.data(), FBuffer.size());
  FEnd += int64_t(FBuffer.size());
  ++FCount;
}

void TStrokes::Rewind() {
  FStream->Seek(0, soBeginning);
  FReading = true;
}

bool TStrokes::ReadNext(TStrokeRecord& R) {
  if (!FReading) {
    // A read right after writing starts from the current position, which the
    // file needs to be told about before it switches direction.
    FStream->Seek(FStream->Position(), soBeginning);
    FReading = true;
  }
  uint8_t h[13];
  if (FStream->Read(h, 13) != 13) return false;
  R.Color = Get32(h);
  R.Alpha = h[4];
  R.Id = int32_t(Get32(h + 5));
  uint32_t header = Get32(h + 9);
  size_t n = header & 0xFFFF;
  FBuffer.resize(n * 8);
  if (FStream->Read(FBuffer.data(), n * 8) != n * 8) return false;
  GetPoints(FBuffer.data(), n, R.LeftSide);
  if (FStream->Read(h, 4) != 4) return false;
  header = Get32(h);
  n = header & 0xFFFF;
  R.ReliefParams = uint16_t(header >> 16);
  FBuffer.resize(n * 8);
  if (FStream->Read(FBuffer.data(), n * 8) != n * 8) return false;
  GetPoints(FBuffer.data(), n, R.RightSide);
  return true;
}

int32_t TStrokes::SaveToStream(TStream& Dest) {
  Rewind();
  const int64_t countAt = Dest.Position();
  Dest.WriteValue<int32_t>(0);
  TStrokeRecord last, r;
  int32_t written = 0;
  std::vector<uint8_t> out;
  for (int32_t i = 0; i < FCount && ReadNext(r); ++i) {
    if (written > 0 && r.SameStroke(last)) continue;
    out.clear();
    PutSide(out, r.LeftSide, r.ReliefParams);
    PutSide(out, r.RightSide, r.ReliefParams);
    Put32(out, r.Color);
    out.push_back(r.Alpha);
    Put32(out, uint32_t(r.Id));
    Dest.WriteBuffer(out.data(), out.size());
    ++written;
    std::swap(last, r);
    StepProgress();
  }
  const int64_t end = Dest.Position();
  Dest.Seek(countAt, soBeginning);
  Dest.WriteValue<int32_t>(written);
  Dest.Seek(end, soBeginning);
  return written;
}

void TStrokes::ReadFromStream(TStream& S) {
  int64_t pos = S.Position();
  const int64_t end = S.Size();
  if (end - pos < 4) throw EInvalidData("truncated stroke block (no stroke count)");
  const int32_t n = S.ReadValue<int32_t>();
  pos += 4;
  if (n < 0) throw EInvalidData("stroke block with a negative count (" + std::to_string(n) + ")");
  // The smallest record is two empty sides, a colour, an opacity and an Id.
  if (int64_t(n) > (end - pos) / StrokeRecordSize(0, 0))
    throw EInvalidData("stroke block claims " + std::to_string(n) + " strokes, more than the " +
                       std::to_string(end - pos) + " bytes left can hold");
  ShowProgress(0, n);
  THideProgress hide;
  TStrokeRecord last, r;
  bool haveLast = false;
  std::vector<uint8_t> buffer;
  for (int32_t i = 0; i < n; ++i) {
    uint16_t relief = 0;
    ReadSide(S, pos, end, r.LeftSide, relief, buffer, i, n);
    ReadSide(S, pos, end, r.RightSide, relief, buffer, i, n);
    r.ReliefParams = relief;
    uint8_t t[9];
    if (end - pos < 9 || S.Read(t, 9) != 9)
      throw EInvalidData("truncated stroke block (stroke " + std::to_string(i + 1) + " of " +
                         std::to_string(n) + ")");
    pos += 9;
    r.Color = Get32(t);
    r.Alpha = t[4];
    r.Id = int32_t(Get32(t + 5));
    if (haveLast && r.SameStroke(last)) {
      ++FDroppedCount;
    } else if (r.LeftSide.size() >= MaxLoadedSidePoints ||
               r.RightSide.size() >= MaxLoadedSidePoints) {
      ++FDroppedCount;
    } else {
      AddStroke(r);
      std::swap(last, r);
      haveLast = true;
    }
    StepProgress();
  }
}

void TStrokes::AppendFrom(TStrokes& Other) {
  Other.Rewind();
  TStrokeRecord r;
  for (int32_t i = 0; i < Other.Count() && Other.ReadNext(r); ++i) AddStroke(r);
}

}  // namespace brellin
