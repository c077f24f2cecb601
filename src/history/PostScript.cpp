#include "history/PostScript.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <string>

#include "analysis/BDibUtils.h"
#include "base/Errors.h"
#include "base/Progress.h"
#include "base/Rounding.h"
#include "base/SafeOutput.h"
#include "history/BStates.h"

namespace brellin {

namespace {

// Fixed notation with four decimals and a point.
void AppendNumber(std::string& S, float V) {
  char b[64];
  const auto r = std::to_chars(b, b + sizeof b, double(V), std::chars_format::fixed, 4);
  S.append(b, r.ptr);
}

// A stroke point (16.16, y downwards) on the page, each coordinate held in
// single precision.
void AppendPoint(std::string& S, const TFixedPoint& P, double Ratio, double A, int Height) {
  const double x = P.X / 65536.0, y = P.Y / 65536.0;
  AppendNumber(S, float(x * Ratio * A));
  S += ' ';
  AppendNumber(S, float((Height - y) * Ratio * A));
}

}  // namespace

void ExportPostScript(const std::string& FileName, int Width, int Height, float Ratio,
                      TBStates& History) {
  if (Width <= 0 || Height <= 0) throw EBrellinError("Nothing to export: the picture is empty");
  TSafeOutput out(FileName);
  {
    TBufferedWriter w(out.Fd(), FileName, 8192);
    w.WriteLine("%!PS-Adobe-2.0");
    w.WriteLine("%%Title: Brellin Pro");
    w.WriteLine("%%Creator: Brellin");
    w.WriteLine("%%CreationDate: Thu Dec 28 13:15:44 PST 1989");
    w.WriteLine("%%EndComments");
    w.WriteLine("72 72 scale");
    const float a = std::min(float(8.26 / Width), float(11.69 / Height));
    const float x0 = float((8.26 - Width * double(a) * Ratio) / 2.0);
    const float y0 = float((11.69 - Height * double(a) * Ratio) / 2.0);
    std::string line;
    AppendNumber(line, x0);
    line += ' ';
    AppendNumber(line, y0);
    line += " translate";
    w.WriteLine(line);
    ForEachAppliedStroke(History, [&](const TStrokeRecord& r) {
      w.WriteLine("newpath");
      if (!r.LeftSide.empty()) {
        line.clear();
        AppendPoint(line, r.LeftSide[0], Ratio, a, Height);
        line += " moveto";
        w.WriteLine(line);
      }
      for (size_t j = 1; j < r.LeftSide.size(); ++j) {
        line.clear();
        AppendPoint(line, r.LeftSide[j], Ratio, a, Height);
        line += " lineto";
        w.WriteLine(line);
      }
      for (size_t j = r.RightSide.size(); j-- > 0;) {
        line.clear();
        AppendPoint(line, r.RightSide[j], Ratio, a, Height);
        line += " lineto";
        w.WriteLine(line);
      }
      line.clear();
      AppendNumber(line, float(RedComponent(r.Color)) / 255.0f);
      line += ' ';
      AppendNumber(line, float(GreenComponent(r.Color)) / 255.0f);
      line += ' ';
      AppendNumber(line, float(BlueComponent(r.Color)) / 255.0f);
      line += "  setrgbcolor";
      w.WriteLine(line);
      w.WriteLine(".1 setlinewidth");
      w.WriteLine("closepath");
      w.WriteLine("fill");
    });
    w.WriteLine("showpage");
    w.Close();
  }
  out.Commit();
}

}  // namespace brellin
