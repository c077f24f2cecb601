// Helpers shared by the test programs.
#pragma once

#include <string>
#include <vector>

#include "base/Bitmap32.h"

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
void WriteBytes(const std::string& file, const std::vector<uint8_t>& bytes);

struct TCliResult {
  int ExitCode = -1;
  std::string Out;
  std::string Err;
};
// Runs brellin-cli with the arguments (each quoted for the shell) in a
// scratch current folder; give files as absolute paths.
TCliResult RunCli(const std::vector<std::string>& args);

// A small synthetic picture with edges and colour, deterministic.
TBitmap32 MakeTestPicture(int width, int height);

}  // namespace brellin::test
