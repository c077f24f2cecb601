#include "history/SvgExport.h"

#include <algorithm>
#include <cmath>
#include <memory>
#include <numeric>
#include <string>
#include <vector>

#include "base/Errors.h"
#include "base/Progress.h"
#include "base/Rounding.h"
#include "base/Stream.h"
#include "history/BStates.h"
#include "history/PlotterPaths.h"
#include "render/Strokes.h"

namespace brellin {

namespace {

void AppendThousandths(std::string& s, int64_t n) {
  char b[32];
  char* const e = b + sizeof b;
  char* p = e;
  uint64_t v = n < 0 ? uint64_t(0) - uint64_t(n) : uint64_t(n);
  uint64_t frac = v % 1000;
  v /= 1000;
  if (frac != 0) {
    int digits = 3;
    while (frac % 10 == 0) frac /= 10, --digits;
    for (int i = 0; i < digits; ++i, frac /= 10) *--p = char('0' + frac % 10);
    *--p = '.';
  }
  do {
    *--p = char('0' + v % 10);
    v /= 10;
  } while (v != 0);
  if (n < 0) *--p = '-';
  s.append(p, e);
}

std::string Text(double v) {
  std::string s;
  AppendThousandths(s, std::llround(v * 1000.0));
  return s;
}

// "rrggbb" of an RGB colour.
std::string Hex(TColor32 c) {
  static const char kHex[] = "0123456789abcdef";
  std::string s;
  for (int shift = 20; shift >= 0; shift -= 4) s += kHex[(c >> shift) & 0xF];
  return s;
}

// Text collected in a buffer and handed to the file in large pieces. Numbers
// are formatted here, never by the C library, so no locale reaches them.
class TSvgText {
 public:
  explicit TSvgText(TFileStream& File) : FFile(File) { FText.reserve(kChunk + 4096); }

  TSvgText& operator<<(std::string_view s) {
    FText.append(s);
    if (FText.size() >= kChunk) Flush();
    return *this;
  }
  TSvgText& operator<<(char c) {
    FText.push_back(c);
    return *this;
  }
  // A value given in thousandths, without trailing zeros: -12.5, 3, 0.125.
  void Thousandths(int64_t n) { AppendThousandths(FText, n); }
  void Number(double v) { Thousandths(std::llround(v * 1000.0)); }
  // A 16.16 coordinate to the nearest thousandth, exactly.
  void Fixed(TFixed v) { Thousandths((int64_t(v) * 1000 + 32768) >> 16); }
  void Integer(int64_t v) { Thousandths(v * 1000); }
  void Colour(TColor32 c) {
    FText.push_back('#');
    FText += Hex(c);
  }

  void Flush() {
    if (FText.empty()) return;
    FFile.WriteBuffer(FText.data(), FText.size());  // throws with the system's reason
    FText.clear();
  }

 private:
  static constexpr size_t kChunk = 64 * 1024;
  TFileStream& FFile;
  std::string FText;
};

void WriteHeader(TSvgText& t, const std::string& Width, const std::string& Height,
                 const std::string& ViewBox, bool Layers = false) {
  t << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
    << "<svg xmlns=\"http://www.w3.org/2000/svg\" ";
  if (Layers)
    t << "xmlns:inkscape=\"http://www.inkscape.org/namespaces/inkscape\" "
         "xmlns:sodipodi=\"http://sodipodi.sourceforge.net/DTD/sodipodi-0.dtd\" ";
  t << "version=\"1.1\" width=\"" << Width << "\" height=\"" << Height << "\" viewBox=\"" << ViewBox
    << "\">\n"
    << "<title>Brellin Pro</title>\n";
}

void WriteBackground(TSvgText& t, const TSvgOptions& o, const std::string& W,
                     const std::string& H) {
  if (!o.Background) return;
  t << "<rect width=\"" << W << "\" height=\"" << H << "\" fill=\"";
  t.Colour(o.BackgroundColor);
  t << '"';
  if ((o.BackgroundColor >> 24) != 255) {
    t << " fill-opacity=\"";
    t.Thousandths(std::lround((o.BackgroundColor >> 24) * 1000.0 / 255.0));
    t << '"';
  }
  t << "/>\n";
}

TSvgResult WriteOutlines(TSvgText& t, int Width, int Height, TBStates& History,
                         const TSvgOptions& o) {
  TSvgResult result;
  const std::string w = std::to_string(Width), h = std::to_string(Height);
  WriteHeader(t, w, h, "0 0 " + w + " " + h);
  WriteBackground(t, o, w, h);
  t << "<g fill-rule=\"evenodd\">\n";
  ForEachAppliedStroke(History, [&](const TStrokeRecord& r) {
    t << "<path d=\"";
    char command = 'M';
    auto point = [&](const TFixedPoint& p) {
      t << command;
      t.Fixed(p.X);
      t << ' ';
      t.Fixed(p.Y);
      command = command == 'M' ? 'L' : ' ';
    };
    for (const TFixedPoint& p : r.LeftSide) point(p);
    for (size_t j = r.RightSide.size(); j-- > 0;) point(r.RightSide[j]);
    if (command != 'M') t << 'Z';
    t << "\" fill=\"";
    t.Colour(r.Color);
    t << '"';
    // The built-in brush paints with the colour's own alpha; brush files
    // with the recorded opacity.
    const uint32_t opacity = r.Id == 0 ? r.Color >> 24 : r.Alpha;
    if (const int64_t n = std::lround(opacity * 1000.0 / 255.0); n != 1000) {
      t << " fill-opacity=\"";
      t.Thousandths(n);
      t << '"';
    }
    t << "/>\n";
    ++result.Paths;
  });
  t << "</g>\n</svg>\n";
  return result;
}

// One pen's lines in the file's units, in the order they are plotted.
struct TPenLayer {
  TColor32 Pen = 0;
  std::vector<TPlotLine> Lines;
};

void WriteLayer(TSvgText& t, const TPenLayer& layer, int Number, double PenWidth) {
  const std::string hex = Hex(layer.Pen);
  // A layer, numbered in plotting order, for plotter software that plots by
  // layer; other viewers see a plain group.
  t << "<g id=\"pen-" << hex << "\" inkscape:groupmode=\"layer\" inkscape:label=\"";
  t.Integer(Number);
  t << " pen " << hex << "\" fill=\"none\" stroke=\"#" << hex << "\" stroke-width=\"";
  t.Number(PenWidth);
  t << "\" stroke-linecap=\"round\" stroke-linejoin=\"round\">\n<title>#" << hex << "</title>\n";
  for (const TPlotLine& l : layer.Lines) {
    t << "<polyline points=\"";
    for (size_t j = 0; j < l.size(); ++j) {
      if (j) t << ' ';
      t.Number(l[j].X);
      t << ',';
      t.Number(l[j].Y);
    }
    t << "\"/>\n";
  }
  t << "</g>\n";
}

TSvgResult ExportCenterLines(const std::string& FileName, int Width, int Height, TBStates& History,
                             const TSvgOptions& o) {
  TSvgResult result;
  // Centre lines in pixels, simplified, with their colours.
  std::vector<TPlotLine> lines;
  std::vector<TColor32> colours;
  std::vector<int64_t> weights;
  TPlotLine line;
  std::vector<TPlotLine> pieces;
  ForEachAppliedStroke(History, [&](const TStrokeRecord& r) {
    StrokeCenterLine(r.LeftSide, r.RightSide, line);
    pieces.clear();
    ClipLine(line, float(Width), float(Height), pieces);
    for (TPlotLine& piece : pieces) {
      const double length = LineLength(piece);
      if (length <= 0 || length < o.MinLength) continue;
      SimplifyLine(piece, 0.1f);
      lines.push_back(std::move(piece));
      colours.push_back(r.Color);
      // A pen's colour should follow the ink it lays: long lines weigh more.
      weights.push_back(std::max<int64_t>(1, std::llround(length)));
    }
  });
  const TPenSet pens = QuantizeColors(colours, weights, o.Pens, o.PenSeed);

  // Pixels to the file's units.
  const bool paper = o.PaperWidth > 0 && o.PaperHeight > 0;
  double scale = 1, ox = 0, oy = 0;
  std::string w = std::to_string(Width), h = std::to_string(Height);
  std::string viewBox = "0 0 " + w + " " + h;
  if (paper) {
    const double aw = o.PaperWidth - 2 * o.Margin, ah = o.PaperHeight - 2 * o.Margin;
    if (!(aw > 0 && ah > 0)) throw EBrellinError("the margins leave no room on the paper");
    scale = std::min(aw / Width, ah / Height);
    ox = (o.PaperWidth - Width * scale) / 2;
    oy = (o.PaperHeight - Height * scale) / 2;
    viewBox = "0 0 " + Text(o.PaperWidth) + " " + Text(o.PaperHeight);
    w = Text(o.PaperWidth) + "mm";
    h = Text(o.PaperHeight) + "mm";
  }
  for (TPlotLine& l : lines)
    for (TPlotPoint& p : l) p = {float(ox + p.X * scale), float(oy + p.Y * scale)};

  // One layer per pen, lightest pen first so that dark ink is not smeared.
  std::vector<TPenLayer> layers(pens.Pens.size());
  for (size_t k = 0; k < layers.size(); ++k) layers[k].Pen = pens.Pens[k];
  for (size_t i = 0; i < lines.size(); ++i)
    layers[size_t(pens.PenOf[i])].Lines.push_back(std::move(lines[i]));
  lines = {};
  std::stable_sort(layers.begin(), layers.end(), [](const TPenLayer& a, const TPenLayer& b) {
    return ColorLightness(a.Pen) > ColorLightness(b.Pen);
  });
  layers.erase(std::remove_if(layers.begin(), layers.end(),
                              [](const TPenLayer& l) { return l.Lines.empty(); }),
               layers.end());

  const TPlotPoint home{0, 0};
  for (TPenLayer& layer : layers) {
    TSvgLayerResult r;
    r.Pen = layer.Pen;
    r.LinesBeforeJoin = int64_t(layer.Lines.size());
    result.TravelBefore += PenUpTravel(layer.Lines, home);
    OrderLines(layer.Lines, home);
    result.TravelOrdered += PenUpTravel(layer.Lines, home);
    if (o.Join > 0) JoinLines(layer.Lines, o.Join);
    r.Lines = int64_t(layer.Lines.size());
    r.Travel = PenUpTravel(layer.Lines, home);
    result.TravelAfter += r.Travel;
    result.PathsBeforeJoin += r.LinesBeforeJoin;
    result.Paths += r.Lines;
    result.PerLayer.push_back(r);
  }
  result.Layers = int(layers.size());

  // Every file is the whole page, so that files of one pen each register on
  // the paper.
  if (o.SplitPens && layers.empty()) throw EBrellinError("Nothing to plot: no lines");
  std::vector<std::string> files;
  if (o.SplitPens)
    for (size_t k = 0; k < layers.size(); ++k) files.push_back(PenFileName(FileName, int(k) + 1));
  else
    files.push_back(FileName);
  if (o.BeforeWriting) o.BeforeWriting(files);
  const double penWidth = paper ? o.PenWidth : 1.0;
  const std::string bw = paper ? Text(o.PaperWidth) : w, bh = paper ? Text(o.PaperHeight) : h;
  std::vector<std::unique_ptr<TSafeFileWriter>> writers;
  size_t next = 0;  // the first layer not yet written
  for (size_t f = 0; f < files.size(); ++f) {
    writers.push_back(std::make_unique<TSafeFileWriter>(files[f]));
    TSvgText t(writers.back()->Stream());
    WriteHeader(t, w, h, viewBox, true);
    WriteBackground(t, o, bw, bh);
    for (const size_t end = o.SplitPens ? next + 1 : layers.size(); next < end; ++next) {
      WriteLayer(t, layers[next], int(next) + 1, penWidth);
      layers[next] = {};
    }
    t << "</svg>\n";
    t.Flush();
    if (o.SplitPens) result.PerLayer[f].File = files[f];
  }
  // Replaced together once all are written, so a failure leaves the earlier
  // files of every pen as they were.
  for (auto& writer : writers) writer->Commit();
  return result;
}

}  // namespace

std::string PenFileName(const std::string& FileName, int Number) {
  // The number goes before the extension of the name, not of a folder.
  const size_t slash = FileName.find_last_of('/');
  const size_t dot = FileName.find_last_of('.');
  const size_t at = dot != std::string::npos && (slash == std::string::npos || dot > slash + 1)
                        ? dot
                        : FileName.size();
  return FileName.substr(0, at) + "-" + std::to_string(Number) + FileName.substr(at);
}

TSvgResult ExportSvg(const std::string& FileName, int Width, int Height, TBStates& History,
                     const TSvgOptions& Options) {
  if (Width <= 0 || Height <= 0) throw EBrellinError("Nothing to export: the picture is empty");
  if (Options.CenterLines) return ExportCenterLines(FileName, Width, Height, History, Options);
  TSafeFileWriter writer(FileName);
  TSvgText text(writer.Stream());
  const TSvgResult result = WriteOutlines(text, Width, Height, History, Options);
  text.Flush();
  writer.Commit();
  return result;
}

}  // namespace brellin
