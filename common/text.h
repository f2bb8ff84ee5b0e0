// Small text helpers shared by the three programs.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace qor {

// Removes leading and trailing blanks (spaces only, as the fields and command lines are
// trimmed); a text of blanks becomes empty.
std::string Trim(std::string_view text);
// Removes leading and trailing white space of any kind (blanks, tabs, line ends).
std::string TrimSpace(std::string_view text);
std::string ToLower(std::string_view text);
bool EqualsIgnoreCase(std::string_view a, std::string_view b);
// Splits at every occurrence of `separator`, keeping empty items.
std::vector<std::string> Split(std::string_view text, char separator);
// Number of characters of UTF-8 text (invalid bytes count one each).
std::size_t Utf8Length(std::string_view text);
// True for a plain SQL identifier: a letter or underscore, then letters, digits, underscores.
bool IsSqlIdentifier(std::string_view name);
// The text between single quotes in SQL, with each quote doubled.
std::string SqlQuote(std::string_view text);

// The carriage return and line feed that ends every line of our logs and messages.
inline constexpr std::string_view kCrLf = "\r\n";

}  // namespace qor
