// What render and sketch share: the working size, the paper, the colours
// and the style from the options, and writing the results.
#pragma once

#include <memory>
#include <string>

#include "cli/CliCommon.h"
#include "cli/CliDomainUi.h"
#include "domain/BDomain.h"
#include "library/Styles.h"

namespace brellin::cli {

// --size / --full-size and the paper (--background ...) into Ui's answers.
void ReadWorkingSize(const TArgs& A, TCliDomainUi& Ui);
// --color, --fore, --back, --variant and the three offsets.
TColorSettings ReadColours(const TArgs& A);
// --style: a library style, or a style file added to the library (in
// memory), becomes the library's current style; returns nullptr.
std::unique_ptr<TBStyle> SelectStyleOption(const TArgs& A, TDomain& Domain);
// --detail-passes (or PassesOption) and --detail-threshold.
struct TDetailOptions {
  int Passes = 0;
  float Threshold = DefaultDetailThreshold;
};
TDetailOptions ReadDetailOptions(const TArgs& A, const std::string& PassesOption);
// Runs the detail passes over the document, at most Budget strokes in all
// (none: 0), and says on stderr what each pass did (a pass that found
// nothing to do also with Quiet). False when a pass was stopped.
void RunDetailPasses(TDomain& Domain, const TDetailOptions& Options, int64_t Budget, bool Quiet);
// Writes the destination to Out (at Dpi for TIFF), then --ps, --svg and --project.
void SaveResults(TDomain& Domain, TCliDomainUi& Ui, const TArgs& A, const std::string& Out,
                 int Dpi);

}  // namespace brellin::cli
