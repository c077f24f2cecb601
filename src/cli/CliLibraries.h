// The program's libraries as the command line uses them: the domain's own
// start-up, with a user interface that answers nothing.
#pragma once

#include <string>

#include "domain/BDomain.h"
#include "library/PersistentObjects.h"

namespace brellin::cli {

// For commands that only need the libraries: no dialog is ever shown.
struct TSilentUi : TDomainUi {
  void ErrorBox(const std::string&, const std::string&) override {}
  bool ProjectOptions(int, int, int, int, TProjectOptions&) override { return false; }
  bool SaveImageFile(std::string&) override { return false; }
};

struct TCliLibraries {
  TSilentUi Ui;
  TDomain Domain{&Ui};
  TPersistentObjectManager& Brushes = Domain.Brushes;
  TPersistentObjectManager& Styles = Domain.Styles;
};

std::string BrushName(const TPersistentObject& o);

}  // namespace brellin::cli
