// The stroke list: every stroke an action paints, kept as the two outline
// sides and the values a renderer needs to paint it again. The list lives in
// a backing file and is only ever appended to or read in order, so no
// number of strokes is held in memory.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "base/Stream.h"
#include "base/Types.h"

namespace brellin {

// The values of one stroke.
struct TStrokeRecord {
  TArrayOfFixedPoint LeftSide, RightSide;  // each at most 65535 points
  uint16_t ReliefParams = 0;
  int32_t Id = 0;  // the renderer's Id
  uint8_t Alpha = 255;
  TColor32 Color = 0;

  // Same sides point by point, same colour, opacity and brush; the relief
  // word is not compared.
  bool SameStroke(const TStrokeRecord& Other) const;
};

// Bytes of one record: 13 + 8 per point of both sides (177 for two 10-point
// sides), in the backing file and in a project alike.
constexpr int64_t StrokeRecordSize(int64_t LeftPoints, int64_t RightPoints) {
  return 9 + 4 + 8 * LeftPoints + 4 + 8 * RightPoints;
}

// A side of this many points or more is not kept when a project is read.
constexpr int MaxLoadedSidePoints = 250;

class TStrokes {
 public:
  // Creates (or empties) the backing file and keeps it open.
  explicit TStrokes(const std::string& FileName);
  // Creates the list on FileName and fills it from the project layout at
  // Source's position: repeated strokes and sides of 250 points or more are
  // dropped (DroppedCount). Throws EInvalidData for a block that is cut short
  // or whose counts cannot be right; the backing file is removed then.
  TStrokes(TStream& Source, const std::string& FileName);
  // Closes the backing file and deletes it.
  ~TStrokes();
  TStrokes(const TStrokes&) = delete;
  TStrokes& operator=(const TStrokes&) = delete;

  // Appends one record (sides longer than 65535 points are refused).
  void AddStroke(const TArrayOfFixedPoint& LeftSide, const TArrayOfFixedPoint& RightSide,
                 uint16_t ReliefParams, int32_t Id, uint8_t Alpha, TColor32 Color);
  void AddStroke(const TStrokeRecord& R) {
    AddStroke(R.LeftSide, R.RightSide, R.ReliefParams, R.Id, R.Alpha, R.Color);
  }
  // Back to the first record.
  void Rewind();
  // The next record; false when it is missing or incomplete. The relief word
  // comes from the right side's header.
  bool ReadNext(TStrokeRecord& R);
  // The project layout: a count, then every record except one identical to
  // the record written just before it. Steps the progress once per record
  // written; returns the number written.
  int32_t SaveToStream(TStream& Dest);
  // Every record of Other, in order.
  void AppendFrom(TStrokes& Other);

  int32_t Count() const { return FCount; }
  int32_t DroppedCount() const { return FDroppedCount; }
  const std::string& FileName() const { return FFileName; }
  // Bytes of the backing file.
  int64_t FileSize() const { return FEnd; }

 private:
  void ReadFromStream(TStream& Source);
  std::unique_ptr<TFileStream> FStream;
  std::string FFileName;
  int32_t FCount = 0;
  int32_t FDroppedCount = 0;
  int64_t FEnd = 0;       // end of the written records
  bool FReading = false;  // the file position is somewhere in the records
  std::vector<uint8_t> FBuffer;
};

}  // namespace brellin
