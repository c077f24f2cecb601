// Temporary files: parked pictures ("bmp"), stroke lists ("tsk") and project
// copies ("bpj") all get their names here, in the "tmp" folder of the
// program folder. Every name handed out is logged, so files an interrupted
// run left behind are deleted at the next start.
#pragma once

#include <string>
#include <vector>

#include "base/Errors.h"

namespace brellin {

// The temporary folder could not be created; the message names it.
class ETempFolderError : public EBrellinError {
 public:
  using EBrellinError::EBrellinError;
};

class TTempManager {
 public:
  // Reads the log of an earlier run and deletes what it names, then creates
  // the temporary folder. Throws ETempFolderError ("Error creating the
  // folder:\n\r" + path) when the folder cannot be made.
  TTempManager();
  // Deletes every file it named.
  ~TTempManager();
  TTempManager(const TTempManager&) = delete;
  TTempManager& operator=(const TTempManager&) = delete;

  // The next free name "tmp/NNNNNNNN.ext"; the file is created by the caller.
  std::string NewName(const std::string& Extension);
  // Deletes every named file (missing ones are fine), the log, and the folder
  // when it is empty.
  void Clean();

  const std::vector<std::string>& Names() const { return FNames; }
  const std::string& LogFileName() const { return FLogFileName; }
  const std::string& Folder() const { return FFolder; }
  int Counter() const { return FCounter; }

 private:
  void WriteLog();
  std::vector<std::string> FNames;
  std::string FLogFileName;
  bool FLogCurrent = false;  // the log on disk lists every name
  std::string FFolder;
  int FCounter = 0;
};

// The program's manager, or null when none was created (its folder could not
// be made). The domain installs it at start-up.
TTempManager* TempManager();
void SetTempManager(TTempManager* Manager);

// A new temporary file name with the extension: from the manager when there
// is one, otherwise a unique name in the system's temporary folder (such
// files are still deleted by their owners).
std::string NewTempName(const std::string& Extension);

}  // namespace brellin
