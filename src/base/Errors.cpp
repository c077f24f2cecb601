#include "base/Errors.h"

namespace brellin {

std::string IndexErrorText(const std::string& where, int index) {
  return where + ": Index out of bounds(" + std::to_string(index) + ")";
}

void RaiseIndexError(const std::string& where, int index) {
  throw EBrellinError(IndexErrorText(where, index));
}

}  // namespace brellin
