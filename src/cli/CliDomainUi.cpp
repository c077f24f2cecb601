#include "cli/CliDomainUi.h"

#include "base/Progress.h"
#include "cli/CliCommon.h"

namespace brellin::cli {

bool TCliDomainUi::ProjectOptions(int W, int H, int SW, int SH, TProjectOptions& Options) {
  Options = Requested;
  if (FullSize) {
    Options.Width = W, Options.Height = H;
  } else if (HasSize) {
    if (Requested.Width > W || Requested.Height > H) {
      SizeRefused = true;
      LastError = "the working size " + std::to_string(Requested.Width) + " x " +
                  std::to_string(Requested.Height) + " is bigger than the picture (" +
                  std::to_string(W) + " x " + std::to_string(H) + ")";
      return false;
    }
  } else {
    Options.Width = SW, Options.Height = SH;
  }
  return true;
}

void TCliDomainUi::ApplyProgress(int K, int S) {
  if (S > 0 && (int64_t(K) * 100 / S) != (int64_t(K - 1) * 100 / S))
    SetProgress(int(int64_t(K) * 100 / S));
}

void OpenInputPicture(TDomain& Domain, TCliDomainUi& Ui, const std::string& Input) {
  if (Domain.LoadPicture(Input)) return;
  if (Ui.SizeRefused) throw EUsage(Ui.LastError);
  throw EInputFailed(Input, Ui.LastError.empty() ? "cannot be opened" : Ui.LastError);
}

}  // namespace brellin::cli
