// The program's libraries as the command line uses them: loaded from the
// program folder the way the program starts.
#pragma once

#include <string>

#include "library/PersistentObjects.h"

namespace brellin::cli {

struct TCliLibraries {
  TCliLibraries();
  ~TCliLibraries();
  TPersistentObjectManager Brushes;
  TPersistentObjectManager Styles;
};

std::string BrushName(const TPersistentObject& o);

}  // namespace brellin::cli
