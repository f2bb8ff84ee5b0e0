#include "common/text.h"

#include <cctype>

namespace qor {

std::string Trim(std::string_view text) {
  std::size_t begin = text.find_first_not_of(' ');
  if (begin == std::string_view::npos) return "";
  std::size_t end = text.find_last_not_of(' ');
  return std::string(text.substr(begin, end - begin + 1));
}

std::string TrimSpace(std::string_view text) {
  constexpr std::string_view kSpace = " \t\r\n\f\v";
  std::size_t begin = text.find_first_not_of(kSpace);
  if (begin == std::string_view::npos) return "";
  std::size_t end = text.find_last_not_of(kSpace);
  return std::string(text.substr(begin, end - begin + 1));
}

std::string ToLower(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

bool EqualsIgnoreCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(a[i])) !=
        std::tolower(static_cast<unsigned char>(b[i]))) {
      return false;
    }
  }
  return true;
}

std::vector<std::string> Split(std::string_view text, char separator) {
  std::vector<std::string> items;
  std::size_t start = 0;
  while (true) {
    std::size_t at = text.find(separator, start);
    if (at == std::string_view::npos) {
      items.emplace_back(text.substr(start));
      return items;
    }
    items.emplace_back(text.substr(start, at - start));
    start = at + 1;
  }
}

std::size_t Utf8Length(std::string_view text) {
  std::size_t count = 0;
  for (std::size_t i = 0; i < text.size();) {
    unsigned char c = static_cast<unsigned char>(text[i]);
    std::size_t width = c < 0x80           ? 1
                        : (c >> 5) == 0x6  ? 2
                        : (c >> 4) == 0xE  ? 3
                        : (c >> 3) == 0x1E ? 4
                                           : 1;
    bool valid = i + width <= text.size();
    for (std::size_t k = 1; valid && k < width; ++k) {
      valid = (static_cast<unsigned char>(text[i + k]) >> 6) == 0x2;
    }
    i += valid ? width : 1;
    ++count;
  }
  return count;
}

bool IsSqlIdentifier(std::string_view name) {
  if (name.empty()) return false;
  unsigned char first = static_cast<unsigned char>(name[0]);
  if (!std::isalpha(first) && first != '_') return false;
  for (char ch : name) {
    unsigned char c = static_cast<unsigned char>(ch);
    if (!std::isalnum(c) && c != '_') return false;
  }
  return true;
}

std::string SqlQuote(std::string_view text) {
  std::string out = "'";
  for (char c : text) {
    out += c;
    if (c == '\'') out += '\'';
  }
  out += '\'';
  return out;
}

}  // namespace qor
