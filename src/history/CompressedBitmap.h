// A picture that can be parked on disk while it is not needed: the pictures
// kept by undo states. Parked as a plain 32-bit BMP, alpha included.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "base/Bitmap32.h"
#include "base/Stream.h"

namespace brellin {

class TCompressedBitmap {
 public:
  // A copy of the picture, in memory.
  explicit TCompressedBitmap(const TBitmap32& Picture);
  // Takes the picture over, in memory.
  explicit TCompressedBitmap(TBitmap32&& Picture);
  // A BMP read from the stream's position (throws EInvalidData).
  explicit TCompressedBitmap(TStream& Source);
  // Deletes the parking file while parked.
  ~TCompressedBitmap();
  TCompressedBitmap(const TCompressedBitmap&) = delete;
  TCompressedBitmap& operator=(const TCompressedBitmap&) = delete;

  // Replaces the picture (only while in memory).
  void SetBitmap(TBitmap32&& Picture);
  // Parks the picture in a new temporary file, or reads it back; nothing
  // when it already is where asked.
  void SetOnDisk(bool Value);
  bool OnDisk() const { return FOnDisk; }
  // 0 while parked, else the size of the picture as a 32-bit BMP.
  int64_t MemorySize() const { return FOnDisk ? FParkedSize : FLoadedSize; }
  // Loads the picture when parked (it stays loaded) and writes it as a BMP.
  void WriteToStream(TStream& Dest);
  // The picture, loaded first when parked.
  TBitmap32& Bitmap();
  const std::string& FileName() const { return FFileName; }

 private:
  void UpdateLoadedSize();
  bool FOnDisk = false;
  int64_t FParkedSize = 0;
  int64_t FLoadedSize = 0;
  TBitmap32 FBitmap;
  std::string FFileName;
  bool FUnmanagedFile = false;  // parked outside the temporary-file manager
};

}  // namespace brellin
