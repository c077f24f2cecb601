#include "ui/QtBitmap.h"

#include <cstring>

namespace brellin {

QImage WrapBitmap(const TBitmap32& Bitmap) {
  if (Bitmap.Width() <= 0 || Bitmap.Height() <= 0) return QImage();
  return QImage(reinterpret_cast<const uchar*>(Bitmap.ScanLine(0)), Bitmap.Width(), Bitmap.Height(),
                qsizetype(Bitmap.Width()) * 4, QImage::Format_ARGB32);
}

QImage ToQImage(const TBitmap32& Bitmap) {
  return WrapBitmap(Bitmap).copy();
}

TBitmap32 FromQImage(const QImage& Image) {
  TBitmap32 b;
  if (Image.isNull()) return b;
  const QImage src = Image.format() == QImage::Format_ARGB32
                         ? Image
                         : Image.convertToFormat(QImage::Format_ARGB32);
  b.SetSize(src.width(), src.height());
  for (int y = 0; y < src.height(); ++y)
    std::memcpy(b.ScanLine(y), src.constScanLine(y), size_t(src.width()) * 4);
  return b;
}

}  // namespace brellin
