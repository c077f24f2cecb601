// The program's libraries as the command line uses them: the domain's own
// start-up, with a user interface that answers nothing.
#pragma once

#include <string>

#include "domain/BDomain.h"
#include "library/Patterns.h"
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
  TPersistentObjectManager& Patterns = Domain.Patterns;
  TPersistentObjectManager& Brushes = Domain.Brushes;
  TPersistentObjectManager& Styles = Domain.Styles;
};

std::string BrushName(const TPersistentObject& o);
// Patterns carry no visible name: the library shows them by file name.
std::string PatternName(const TPersistentObject& o);
// A pattern given as FILE.stk, or as an index or name of the library; the
// pattern is made the library's current one (a file's pattern is added to
// it, in memory only). Throws EInputFailed or EUsage.
TPattern& SelectPattern(TPersistentObjectManager& Patterns, const std::string& Spec);

}  // namespace brellin::cli
