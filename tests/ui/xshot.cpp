// Reads a window's pixels from the X server and looks for a picture in them,
// for the end-to-end tests of the desktop program under a virtual display.
//
//   brellin-xshot WINDOW-ID SHOT.png [PICTURE]
//
// Saves the window as SHOT.png; a WINDOW-ID of "-" reads SHOT.png instead. With PICTURE, exits with
// 0 when the picture appears in the shot pixel for pixel (colour only), and prints where; otherwise
// 1, with how close the best place came.
#include <QGuiApplication>
#include <QImage>
#include <QPixmap>
#include <QScreen>
#include <algorithm>
#include <cstdio>

namespace {

// The number of pixels of Picture that differ from Shot with Picture's
// top-left corner at (X, Y); stops counting past Limit.
int Differences(const QImage& Shot, const QImage& Picture, int X, int Y, int Limit) {
  int n = 0;
  for (int y = 0; y < Picture.height(); ++y) {
    const QRgb* s = reinterpret_cast<const QRgb*>(Shot.constScanLine(Y + y)) + X;
    const QRgb* p = reinterpret_cast<const QRgb*>(Picture.constScanLine(y));
    for (int x = 0; x < Picture.width(); ++x)
      if (((s[x] ^ p[x]) & 0xFFFFFFu) != 0 && ++n > Limit) return n;
  }
  return n;
}

}  // namespace

int main(int argc, char** argv) {
  QGuiApplication app(argc, argv);
  if (argc < 3) {
    std::fprintf(stderr, "usage: brellin-xshot WINDOW-ID SHOT.png [PICTURE]\n");
    return 2;
  }
  const bool saved = QString(argv[1]) == "-";
  const QImage shot = (saved ? QImage(argv[2])
                             : app.primaryScreen()
                                   ->grabWindow(WId(QString(argv[1]).toULongLong(nullptr, 0)))
                                   .toImage())
                          .convertToFormat(QImage::Format_RGB32);
  if (shot.isNull() || (!saved && !shot.save(argv[2]))) {
    std::fprintf(stderr, "brellin-xshot: could not read window %s\n", argv[1]);
    return 2;
  }
  if (argc < 4) return 0;
  const QImage picture = QImage(argv[3]).convertToFormat(QImage::Format_RGB32);
  if (picture.isNull()) {
    std::fprintf(stderr, "brellin-xshot: cannot read %s\n", argv[3]);
    return 2;
  }
  // Places where the picture's first pixel is found are weighed; the first
  // exact one wins, else the closest is reported.
  const QRgb first = picture.pixel(0, 0) & 0xFFFFFFu;
  const int all = picture.width() * picture.height();
  int best = all + 1, bx = -1, by = -1;
  for (int y = 0; y + picture.height() <= shot.height(); ++y)
    for (int x = 0; x + picture.width() <= shot.width(); ++x) {
      if ((shot.pixel(x, y) & 0xFFFFFFu) != first) continue;
      const int d = Differences(shot, picture, x, y, std::min(best, all) - 1);
      if (d < best) best = d, bx = x, by = y;
      if (best == 0) {
        std::printf("found at %d, %d\n", x, y);
        return 0;
      }
    }
  std::printf("not found: at best %d of %d pixels differ (at %d, %d)\n", best,
              picture.width() * picture.height(), bx, by);
  return 1;
}
