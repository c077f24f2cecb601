// Helpers shared by the test programs.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "base/Bitmap32.h"
#include "domain/DualImage.h"
#include "domain/PictureView.h"
#include "library/Styles.h"

namespace brellin {
class TTempManager;
}

namespace brellin::test {

// A fresh temporary folder, removed when the object goes.
class TTempDir {
 public:
  TTempDir();
  ~TTempDir();
  const std::string& Path() const { return FPath; }
  std::string File(const std::string& name) const { return FPath + "/" + name; }

 private:
  std::string FPath;
};

std::string DataPath(const std::string& name);    // tests/data/NAME
std::string CorpusPath(const std::string& name);  // shared corpus, e.g. "photos/x.png"
bool CorpusAvailable();

std::vector<uint8_t> ReadBytes(const std::string& file);
// A whole file as text (empty when it cannot be read).
std::string ReadText(const std::string& file);
// Copies the shipped brush files into Folder.
void CopyShippedBrushes(const std::string& Folder);
// BRELLIN_HOME pointed at a fresh folder holding the shipped brushes and
// styles, for as long as the object lives.
class TShippedLibraryHome {
 public:
  TShippedLibraryHome();
  ~TShippedLibraryHome();
  TShippedLibraryHome(const TShippedLibraryHome&) = delete;
  TShippedLibraryHome& operator=(const TShippedLibraryHome&) = delete;
  const std::string& Path() const { return FDir.Path(); }
  std::string File(const std::string& Name) const { return FDir.File(Name); }

 private:
  TTempDir FDir;
  std::string FPrevious;
};
void WriteBytes(const std::string& file, const std::vector<uint8_t>& bytes);

struct TCliResult {
  int ExitCode = -1;
  std::string Out;
  std::string Err;
};
// Runs brellin-cli with the arguments (each quoted for the shell) in a
// scratch current folder; give files as absolute paths.
TCliResult RunCli(const std::vector<std::string>& args);
// The same in the given current folder.
TCliResult RunCliIn(const std::string& folder, const std::vector<std::string>& args);

// S in single quotes for the shell.
std::string ShellQuote(const std::string& S);

// A small synthetic picture with edges and colour, deterministic.
TBitmap32 MakeTestPicture(int width, int height);

// BRELLIN_HOME pointed at a fresh folder with the temporary-file manager
// installed there, so a test sees every temporary file in its folder. The
// previous BRELLIN_HOME and manager come back when it goes.
class TScratchHome {
 public:
  TScratchHome();
  ~TScratchHome();
  TScratchHome(const TScratchHome&) = delete;
  TScratchHome& operator=(const TScratchHome&) = delete;
  const std::string& Path() const { return FDir.Path(); }
  std::string File(const std::string& name) const { return FDir.File(name); }
  TTempManager& Manager() { return *FManager; }
  // Names of the temporary files in the manager's folder, sorted.
  std::vector<std::string> TempFiles() const;

 private:
  TTempDir FDir;
  std::string FOldHome;
  bool FHadHome = false;
  TTempManager* FOldManager = nullptr;
  std::unique_ptr<TTempManager> FManager;
};

// A document on a real photo (tests/data/cat_crop_128x96.png, or the picture
// given) with a white background and the default style in automatic mode,
// so that sprays place real strokes.
struct TTestDocument {
  TPictureView Source, Dest;
  TBStyle Style;
  std::unique_ptr<TDualImage> Doc;
  TTestDocument();
  explicit TTestDocument(TBitmap32 Picture);
  // One recorded action: a spray at (X, Y) for each point, from the seed.
  // Fails the test when the action placed no stroke.
  void Paint(std::initializer_list<TPoint> Points, uint32_t Seed);
  void Paint(int X, int Y, uint32_t Seed) { Paint({TPoint{X, Y}}, Seed); }
};

// Switches the C locale to one whose decimal separator is a comma, for as
// long as the object lives; Active() is false when none is installed.
class TCommaLocale {
 public:
  TCommaLocale();
  ~TCommaLocale();
  TCommaLocale(const TCommaLocale&) = delete;
  TCommaLocale& operator=(const TCommaLocale&) = delete;
  bool Active() const { return FActive; }

 private:
  std::string FOld;
  bool FActive = false;
};

// Bit-for-bit equality of two pictures, alpha included.
bool SamePixels(const TBitmap32& a, const TBitmap32& b);

// A digest of everything a document shows and can undo to: the destination,
// the feature map, the history's position and, for every state, its
// rectangle, snapshot mark, kept pixels and recorded strokes.
uint64_t DocumentFingerprint(TDualImage& Doc);

}  // namespace brellin::test
