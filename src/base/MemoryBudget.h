// How much memory the program may still take before the system has to kill
// something: checked before work whose size a forged file header decides.
#pragma once

#include <cstdint>
#include <string>

namespace brellin {

// Bytes available: MemAvailable of /proc/meminfo, lowered to what the
// process's control group still allows. -1 when unknown. BRELLIN_MEMINFO
// names another file in /proc/meminfo's format (the tests give their own).
int64_t AvailableMemory();

// Throws EInvalidData "not enough memory for WHAT (about N MB needed, M MB
// available)" when Bytes does not fit into AvailableMemory(); an unknown
// figure lets everything pass.
void CheckMemoryFor(int64_t Bytes, const std::string& What);

}  // namespace brellin
