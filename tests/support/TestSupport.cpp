#include "support/TestSupport.h"

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>

#include <gtest/gtest.h>

#include "analysis/PictureFormats.h"
#include "base/Errors.h"
#include "base/Random.h"
#include "history/UTempManager.h"

namespace brellin::test {

namespace fs = std::filesystem;

TTempDir::TTempDir() {
  std::string tmpl = (fs::temp_directory_path() / "brellin-test-XXXXXX").string();
  if (!::mkdtemp(tmpl.data())) throw std::runtime_error("mkdtemp failed");
  FPath = tmpl;
}

TTempDir::~TTempDir() {
  std::error_code ec;
  fs::remove_all(FPath, ec);
}

std::string DataPath(const std::string& name) {
  return std::string(BRELLIN_TEST_DATA) + "/" + name;
}
std::string CorpusPath(const std::string& name) {
  return std::string(BRELLIN_CORPUS) + "/" + name;
}
bool CorpusAvailable() {
  return fs::exists(CorpusPath("README.md"));
}

std::vector<uint8_t> ReadBytes(const std::string& file) {
  std::ifstream in(file, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + file);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteBytes(const std::string& file, const std::vector<uint8_t>& bytes) {
  std::ofstream out(file, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

std::string ReadText(const std::string& file) {
  std::ifstream in(file, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::string ShellQuote(const std::string& s) {
  std::string q = "'";
  for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

TCliResult RunCli(const std::vector<std::string>& args) {
  return RunCliIn("", args);
}

TCliResult RunCliIn(const std::string& folder, const std::vector<std::string>& args) {
  TTempDir tmp;
  // Runs in a scratch folder, so files the program writes to its current
  // folder ("brellin.log", default outputs) stay out of the tree.
  std::string cmd =
      "cd " + ShellQuote(folder.empty() ? tmp.Path() : folder) + " && " + ShellQuote(BRELLIN_CLI);
  for (const auto& a : args) cmd += " " + ShellQuote(a);
  cmd += " >" + ShellQuote(tmp.File("out")) + " 2>" + ShellQuote(tmp.File("err")) + " </dev/null";
  const int status = std::system(cmd.c_str());
  TCliResult r;
  r.ExitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  r.Out = ReadText(tmp.File("out"));
  r.Err = ReadText(tmp.File("err"));
  return r;
}

TBitmap32 MakeTestPicture(int width, int height) {
  TBitmap32 b(width, height);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      const int dx = x - width / 2, dy = y - height / 3;
      const bool disc = dx * dx + dy * dy < (width * width) / 16;
      const bool bar = y > height * 2 / 3 && y < height * 2 / 3 + height / 10;
      uint8_t r = uint8_t(40 + (x * 180) / std::max(1, width));
      uint8_t g = uint8_t(60 + (y * 150) / std::max(1, height));
      uint8_t bl = 200;
      if (disc) r = 230, g = 40, bl = 30;
      if (bar) r = g = bl = 20;
      b.SetPixel(x, y, Color32(r, g, bl));
    }
  return b;
}

TScratchHome::TScratchHome() {
  if (const char* h = std::getenv("BRELLIN_HOME")) FOldHome = h, FHadHome = true;
  ::setenv("BRELLIN_HOME", FDir.Path().c_str(), 1);
  FOldManager = TempManager();
  FManager = std::make_unique<TTempManager>();
  SetTempManager(FManager.get());
}

TScratchHome::~TScratchHome() {
  SetTempManager(FOldManager);
  FManager.reset();
  if (FHadHome)
    ::setenv("BRELLIN_HOME", FOldHome.c_str(), 1);
  else
    ::unsetenv("BRELLIN_HOME");
}

std::vector<std::string> TScratchHome::TempFiles() const {
  std::vector<std::string> names;
  std::error_code ec;
  for (fs::directory_iterator it(FManager->Folder(), ec), end; !ec && it != end; it.increment(ec)) {
    const std::string name = it->path().filename().string();
    if (it->is_regular_file() && name != "lock" && name != "TempManager.log") names.push_back(name);
  }
  std::sort(names.begin(), names.end());
  return names;
}

TTestDocument::TTestDocument() : TTestDocument(LoadPictureFile(DataPath("cat_crop_128x96.png"))) {}

TTestDocument::TTestDocument(TBitmap32 Picture) {
  Source.Bitmap() = std::move(Picture);
  Dest.Bitmap().SetSize(Source.Bitmap().Width(), Source.Bitmap().Height());
  Dest.Bitmap().Clear(clWhite32);
  Doc = std::make_unique<TDualImage>(&Source, 1.0f, &Dest);
  Doc->BackgroundColor = clWhite32;
  Doc->SetStyle(&Style);
  Doc->AutoMode = true;
}

void TTestDocument::Paint(std::initializer_list<TPoint> Points, uint32_t Seed) {
  SetRandSeed(Seed);
  const int64_t before = Doc->VectorCount();
  Doc->BeginEdit();
  for (const TPoint& p : Points) Doc->SprayAt(p.X, p.Y);
  try {
    Doc->EndEdit();
  } catch (const ESilentStop&) {
    ADD_FAILURE() << "the spray placed no stroke";
    return;
  }
  EXPECT_GT(Doc->VectorCount(), before);
}

TCommaLocale::TCommaLocale() {
  FOld = std::setlocale(LC_ALL, nullptr);
  for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "de_DE", "fr_FR.UTF-8", "fr_FR.utf8",
                           "es_ES.UTF-8", "it_IT.UTF-8", "nl_NL.UTF-8", "ru_RU.UTF-8"}) {
    if (std::setlocale(LC_ALL, name) && std::localeconv()->decimal_point[0] == ',') {
      FActive = true;
      return;
    }
  }
  std::setlocale(LC_ALL, FOld.c_str());
}

TCommaLocale::~TCommaLocale() {
  std::setlocale(LC_ALL, FOld.c_str());
}

bool SamePixels(const TBitmap32& a, const TBitmap32& b) {
  return a.Width() == b.Width() && a.Height() == b.Height() &&
         std::equal(a.Bits(), a.Bits() + a.PixelCount(), b.Bits());
}

void CopyShippedBrushes(const std::string& Folder) {
  namespace fs = std::filesystem;
  for (const auto& e : fs::directory_iterator(std::string(BRELLIN_SOURCE_DIR) + "/data"))
    if (e.path().extension() == ".srd")
      fs::copy_file(e.path(), fs::path(Folder) / e.path().filename(),
                    fs::copy_options::overwrite_existing);
}

TShippedLibraryHome::TShippedLibraryHome() {
  namespace fs = std::filesystem;
  for (const auto& e : fs::directory_iterator(std::string(BRELLIN_SOURCE_DIR) + "/data"))
    if (e.path().extension() == ".srd" || e.path().extension() == ".bst")
      fs::copy_file(e.path(), fs::path(FDir.Path()) / e.path().filename());
  const char* p = std::getenv("BRELLIN_HOME");
  FPrevious = p ? p : "";
  ::setenv("BRELLIN_HOME", FDir.Path().c_str(), 1);
}

TShippedLibraryHome::~TShippedLibraryHome() {
  ::setenv("BRELLIN_HOME", FPrevious.c_str(), 1);
}

namespace {

struct TFnv {
  uint64_t H = 1469598103934665603ull;
  void Add(const void* P, size_t N) {
    const auto* b = static_cast<const uint8_t*>(P);
    for (size_t i = 0; i < N; ++i) H = (H ^ b[i]) * 1099511628211ull;
  }
  template <typename T>
  void Value(const T& V) {
    Add(&V, sizeof V);
  }
  void Picture(const TBitmap32& B) {
    Value(B.Width());
    Value(B.Height());
    Add(B.Bits(), size_t(B.PixelCount()) * 4);
  }
};

}  // namespace

uint64_t DocumentFingerprint(TDualImage& Doc) {
  TFnv f;
  f.Picture(Doc.Destination());
  f.Picture(Doc.FeatureMap);
  TBStates& h = *Doc.History;
  f.Value(h.Position);
  f.Value(h.Count());
  for (int i = 0; i < h.Count(); ++i) {
    TBState& s = h.Item(i);
    f.Value(s.Rect);
    f.Value(s.Snapshot);
    f.Value(s.Stored);
    f.Picture(s.FeaturePixels->Bitmap());
    f.Picture(s.DestinationPixels->Bitmap());
    f.Value(s.Strokes->Count());
    TStrokeRecord r;
    s.Strokes->Rewind();
    for (int32_t k = 0; k < s.Strokes->Count() && s.Strokes->ReadNext(r); ++k) {
      f.Value(r.Color);
      f.Value(r.Alpha);
      f.Value(r.Id);
      f.Value(r.ReliefParams);
      f.Add(r.LeftSide.data(), r.LeftSide.size() * sizeof(TFixedPoint));
      f.Add(r.RightSide.data(), r.RightSide.size() * sizeof(TFixedPoint));
    }
  }
  return f.H;
}

}  // namespace brellin::test
