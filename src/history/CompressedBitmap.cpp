#include "history/CompressedBitmap.h"

#include <cstdio>

#include "base/BmpCodec.h"
#include "base/Errors.h"
#include "history/UTempManager.h"

namespace brellin {

TCompressedBitmap::TCompressedBitmap(const TBitmap32& Picture) : FBitmap(Picture) {
  UpdateLoadedSize();
}

TCompressedBitmap::TCompressedBitmap(TBitmap32&& Picture) : FBitmap(std::move(Picture)) {
  UpdateLoadedSize();
}

TCompressedBitmap::TCompressedBitmap(TStream& Source) {
  LoadBMPFromStream(FBitmap, Source);
  UpdateLoadedSize();
}

TCompressedBitmap::~TCompressedBitmap() {
  // A file of an earlier parking is the manager's to clean up; without a
  // manager nobody would, so it goes with the picture.
  if ((FOnDisk || FUnmanagedFile) && !FFileName.empty()) std::remove(FFileName.c_str());
}

void TCompressedBitmap::UpdateLoadedSize() {
  FLoadedSize = int64_t(FBitmap.Width()) * FBitmap.Height() * 4 + 54;
}

void TCompressedBitmap::SetBitmap(TBitmap32&& Picture) {
  if (FOnDisk) throw EBrellinError("TCompressedBitmap.SetBitmap: the picture is parked");
  FBitmap = std::move(Picture);
  if (FUnmanagedFile && !FFileName.empty()) std::remove(FFileName.c_str());
  FUnmanagedFile = false;
  FFileName.clear();
  UpdateLoadedSize();
}

void TCompressedBitmap::SetOnDisk(bool Value) {
  if (Value == FOnDisk) return;
  if (Value) {
    const std::string name = NewTempName("bmp");
    {
      const std::unique_ptr<TFileStream> f = CreateFileAndFolder(name);
      try {
        if (FBitmap.Empty()) throw EBrellinError("cannot park an empty picture");
        SaveBMPToStream(FBitmap, *f, 32);
        f->Close();
      } catch (...) {
        std::remove(name.c_str());
        throw;
      }
    }
    if (FUnmanagedFile && !FFileName.empty()) std::remove(FFileName.c_str());
    FFileName = name;
    FUnmanagedFile = TempManager() == nullptr;
    FBitmap = TBitmap32();
    FParkedSize = 0;
    FOnDisk = true;
  } else {
    TFileStream f(FFileName, fmOpenRead);
    TBitmap32 b;
    LoadBMPFromStream(b, f);
    FBitmap = std::move(b);
    FOnDisk = false;
  }
}

void TCompressedBitmap::WriteToStream(TStream& Dest) {
  SetOnDisk(false);
  SaveBMPToStream(FBitmap, Dest, 32);
}

TBitmap32& TCompressedBitmap::Bitmap() {
  SetOnDisk(false);
  return FBitmap;
}

}  // namespace brellin
