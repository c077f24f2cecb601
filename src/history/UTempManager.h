// Temporary files: parked pictures ("bmp"), stroke lists ("tsk") and project
// copies ("bpj") all get their names here. Several copies of the program
// share one program folder, so each keeps its files in a folder of its own
// inside "tmp", held by a lock on the file "lock" in it for as long as the
// process lives. A start removes the folders whose lock it can take: their
// process is gone, crashed or killed. Every name handed out is also logged
// in the process's folder.
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
  // Removes what processes that are gone left in "tmp": the folders whose
  // lock it can take, and files of the old layout ("tmp/NNNNNNNN.ext", or
  // named so in an old program's log "TempManager.log" in the program
  // folder); nothing else, and nothing at all when "tmp" is a link. Then
  // makes and locks this process's folder. Throws ETempFolderError ("Error
  // creating the folder:\n\r" + path of "tmp") when it cannot be made.
  TTempManager();
  // Deletes every file it named, and its folder.
  ~TTempManager();
  TTempManager(const TTempManager&) = delete;
  TTempManager& operator=(const TTempManager&) = delete;

  // The next free name "tmp/FOLDER/NNNNNNNN.ext". The file is created
  // (empty, exclusively) so that the name is taken; the caller fills it.
  std::string NewName(const std::string& Extension);
  // Deletes every named file (missing ones are fine), the log, and the
  // process's folder when nothing else is in it; "tmp" too when it is empty.
  // A later NewName makes a new folder.
  void Clean();
  // Removes the folders in Root ("tmp/") whose lock can be taken.
  static void RemoveAbandonedFolders(const std::string& Root);

  const std::vector<std::string>& Names() const { return FNames; }
  const std::string& LogFileName() const { return FLogFileName; }
  // This process's folder, with a trailing '/'.
  const std::string& Folder() const { return FFolder; }
  int Counter() const { return FCounter; }

 private:
  void MakeFolder();
  // The files of the old log and the folders of processes that are gone.
  void RemoveLeftovers(const std::string& Program);
  void WriteLog();
  std::vector<std::string> FNames;
  std::string FLogFileName;
  bool FLogCurrent = false;  // the log on disk lists every name
  std::string FRoot;         // "tmp/" of the program folder
  std::string FFolder;
  int FLockFd = -1;
  int FCounter = 0;
};

// The program's manager, or null when none was created (its folder could not
// be made). The domain installs it at start-up.
TTempManager* TempManager();
void SetTempManager(TTempManager* Manager);

// A new temporary file with the extension, created empty: from the manager
// when there is one, otherwise in the system's temporary folder (such files
// are still deleted by their owners).
std::string NewTempName(const std::string& Extension);

}  // namespace brellin
