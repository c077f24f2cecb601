// What render and sketch share: the domain's questions answered from the
// options, the working size, the paper, the colours and the style, opening
// the picture and writing the results.
#pragma once

#include <memory>
#include <string>

#include "cli/CliCommon.h"
#include "domain/BDomain.h"
#include "library/Styles.h"

namespace brellin::cli {

// Answers the domain's questions from the command line.
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

// --size / --full-size and the paper (--background ...) into Ui's answers.
void ReadWorkingSize(const TArgs& A, TCliDomainUi& Ui);
// --color, --fore, --back, --variant and the three offsets.
TColorSettings ReadColours(const TArgs& A);
// --style: a library style is selected in Domain; a style file is returned
// (the document is then to use it).
std::unique_ptr<TBStyle> SelectStyleOption(const TArgs& A, TDomain& Domain);
// Opens Input as Domain's document. Throws EUsage for a working size bigger
// than the picture, EInputFailed naming Input for anything else.
void OpenInputPicture(TDomain& Domain, TCliDomainUi& Ui, const std::string& Input);
// Writes the destination to Out (at Dpi for TIFF), then --ps and --project.
void SaveResults(TDomain& Domain, TCliDomainUi& Ui, const TArgs& A, const std::string& Out,
                 int Dpi);

}  // namespace brellin::cli
