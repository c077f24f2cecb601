// Windows-1252, the 8-bit code page of the names stored in library files,
// and the UTF-8 the rest of the program uses.
#pragma once

#include <string>
#include <string_view>

namespace brellin {

// Every byte has a character: the five bytes the code page leaves undefined
// (0x81, 0x8D, 0x8F, 0x90, 0x9D) become the control characters of the same
// number, so that any name read can be written back unchanged.
std::string Win1252ToUtf8(std::string_view Bytes);
// A character the code page cannot hold, and a malformed UTF-8 sequence,
// becomes '?'.
std::string Utf8ToWin1252(std::string_view Text);

}  // namespace brellin
