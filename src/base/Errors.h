// Error classes. Failures travel as exceptions carrying a message that is
// shown as written; the silent stop ends an operation without any message.
#pragma once

#include <stdexcept>
#include <string>

namespace brellin {

class EBrellinError : public std::runtime_error {
 public:
  explicit EBrellinError(const std::string& message) : std::runtime_error(message) {}
};

// A reader met input it cannot accept (truncated, forged, unsupported).
class EInvalidData : public EBrellinError {
 public:
  using EBrellinError::EBrellinError;
};

// Writing a file failed (cannot create, disk full, ...).
class EWriteError : public EBrellinError {
 public:
  using EBrellinError::EBrellinError;
};

// Ends the current operation without a message.
class ESilentStop : public std::exception {
 public:
  const char* what() const noexcept override { return "Operation stopped"; }
};

[[noreturn]] inline void SilentStop() { throw ESilentStop(); }

// "%s: Index out of bounds(%d)" filled with the class and method name and the index.
std::string IndexErrorText(const std::string& where, int index);
[[noreturn]] void RaiseIndexError(const std::string& where, int index);

}  // namespace brellin
