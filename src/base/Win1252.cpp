#include "base/Win1252.h"

#include <cstdint>

namespace brellin {

namespace {

// Code points of the bytes 0x80..0x9F; the undefined ones keep their number.
constexpr char32_t kHigh[32] = {0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
                                0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

void AppendUtf8(std::string& s, char32_t c) {
  if (c < 0x80) {
    s += char(c);
  } else if (c < 0x800) {
    s += char(0xC0 | (c >> 6));
    s += char(0x80 | (c & 0x3F));
  } else {
    s += char(0xE0 | (c >> 12));
    s += char(0x80 | ((c >> 6) & 0x3F));
    s += char(0x80 | (c & 0x3F));
  }
}

char ToByte(char32_t c) {
  if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) return char(c);
  for (int i = 0; i < 32; ++i)
    if (kHigh[i] == c) return char(0x80 + i);
  return '?';
}

}  // namespace

std::string Win1252ToUtf8(std::string_view Bytes) {
  std::string s;
  s.reserve(Bytes.size());
  for (char ch : Bytes) {
    const auto b = static_cast<uint8_t>(ch);
    AppendUtf8(s, b >= 0x80 && b < 0xA0 ? kHigh[b - 0x80] : char32_t(b));
  }
  return s;
}

std::string Utf8ToWin1252(std::string_view Text) {
  std::string s;
  s.reserve(Text.size());
  size_t i = 0;
  while (i < Text.size()) {
    const auto b = static_cast<uint8_t>(Text[i]);
    int extra = b < 0x80             ? 0
                : (b & 0xE0) == 0xC0 ? 1
                : (b & 0xF0) == 0xE0 ? 2
                : (b & 0xF8) == 0xF0 ? 3
                                     : -1;
    char32_t c = extra == 0 ? b : extra == 1 ? (b & 0x1F) : extra == 2 ? (b & 0x0F) : (b & 0x07);
    bool ok = extra >= 0 && i + size_t(extra) < Text.size();
    for (int k = 1; ok && k <= extra; ++k) {
      const auto t = static_cast<uint8_t>(Text[i + size_t(k)]);
      if ((t & 0xC0) != 0x80) ok = false;
      c = (c << 6) | (t & 0x3F);
    }
    // Overlong forms would smuggle in a byte that looks plain.
    static constexpr char32_t kMin[4] = {0, 0x80, 0x800, 0x10000};
    if (ok && extra > 0 && c < kMin[extra]) ok = false;
    if (!ok) {
      s += '?';
      ++i;  // resynchronise on the next byte
      continue;
    }
    s += ToByte(c);
    i += size_t(extra) + 1;
  }
  return s;
}

}  // namespace brellin
