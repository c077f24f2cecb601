// The domain's user interface as the command line answers it: the working
// size and paper from the options, the output file for the save dialog,
// progress on the terminal. Shared by the commands that open a picture the
// way "render" does.
#pragma once

#include <string>

#include "domain/BDomain.h"

namespace brellin::cli {

class TCliDomainUi : public TDomainUi {
 public:
  std::string LastError;
  std::string OutputFile;
  TProjectOptions Requested;
  bool FullSize = false;
  bool HasSize = false;
  bool SizeRefused = false;

  void ErrorBox(const std::string&, const std::string& Text) override { LastError = Text; }
  bool ProjectOptions(int W, int H, int SW, int SH, TProjectOptions& Options) override;
  bool SaveImageFile(std::string& FileName) override {
    FileName = OutputFile;
    return true;
  }
  void ApplyProgress(int K, int S) override;
};

// Opens Input as the domain's document through Ui's answers. A refused
// working size throws EUsage, a picture that cannot be opened EInputFailed;
// errors of the engine pass unchanged.
void OpenInputPicture(TDomain& Domain, TCliDomainUi& Ui, const std::string& Input);

}  // namespace brellin::cli
