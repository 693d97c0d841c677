// An independent UTF-8 to Windows-1251 conversion for the texts the tests compare: Cyrillic and
// ASCII only, which is all our texts hold.
#pragma once

#include <stdexcept>
#include <string>

namespace vle::test {

inline std::string Cp1251(const std::string& utf8) {
  std::string out;
  for (size_t i = 0; i < utf8.size();) {
    unsigned char c = static_cast<unsigned char>(utf8[i]);
    if (c < 0x80) {
      out += static_cast<char>(c);
      ++i;
      continue;
    }
    if ((c & 0xE0) != 0xC0 || i + 1 >= utf8.size()) throw std::runtime_error("unsupported text");
    unsigned code = (c & 0x1Fu) << 6 | (static_cast<unsigned char>(utf8[i + 1]) & 0x3Fu);
    i += 2;
    if (code >= 0x410 && code <= 0x44F) out += static_cast<char>(0xC0 + (code - 0x410));
    else if (code == 0x401) out += '\xA8';  // Ё
    else if (code == 0x451) out += '\xB8';  // ё
    else throw std::runtime_error("unsupported character");
  }
  return out;
}

}  // namespace vle::test
