#include "common/connection_string.h"

#include <cstdlib>

#include "common/text.h"

namespace qor {

ConnectionString ConnectionString::Parse(const std::string& text) {
  ConnectionString result;
  std::size_t i = 0;
  while (i < text.size()) {
    std::size_t eq = text.find('=', i);
    std::size_t semi = text.find(';', i);
    if (eq == std::string::npos || (semi != std::string::npos && semi < eq)) {
      // A piece without "=" carries no pair; skip it.
      if (semi == std::string::npos) break;
      i = semi + 1;
      continue;
    }
    std::string key = Trim(text.substr(i, eq - i));
    std::size_t v = eq + 1;
    std::string value;
    if (v < text.size() && text[v] == '{') {
      // Braced value: "}}" stands for one "}".
      std::size_t j = v + 1;
      while (j < text.size()) {
        if (text[j] == '}') {
          if (j + 1 < text.size() && text[j + 1] == '}') {
            value += '}';
            j += 2;
            continue;
          }
          ++j;
          break;
        }
        value += text[j++];
      }
      std::size_t next = text.find(';', j);
      i = next == std::string::npos ? text.size() : next + 1;
    } else {
      std::size_t end = text.find(';', v);
      value = text.substr(v, end == std::string::npos ? std::string::npos : end - v);
      i = end == std::string::npos ? text.size() : end + 1;
    }
    if (!key.empty()) result.pairs_.emplace_back(key, value);
  }
  return result;
}

std::string ConnectionString::Build(const std::string& dsn, const std::string& user,
                                    const std::string& password) {
  return "DSN=" + dsn + ";" + "UID=" + user + ";" + "PWD=" + password;
}

std::optional<std::string> ConnectionString::Get(const std::string& key) const {
  for (const auto& [k, v] : pairs_) {
    if (EqualsIgnoreCase(k, key)) return v;
  }
  return std::nullopt;
}

void ConnectionString::Set(const std::string& key, const std::string& value) {
  for (auto& [k, v] : pairs_) {
    if (EqualsIgnoreCase(k, key)) {
      v = value;
      return;
    }
  }
  pairs_.emplace_back(key, value);
}

void ConnectionString::Remove(const std::string& key) {
  std::erase_if(pairs_, [&](const auto& p) { return EqualsIgnoreCase(p.first, key); });
}

std::string ConnectionString::ToString() const {
  std::string out;
  for (const auto& [k, v] : pairs_) {
    if (!out.empty()) out += ';';
    out += k;
    out += '=';
    bool needs_braces = v.find_first_of(";{}") != std::string::npos ||
                        (!v.empty() && (v.front() == ' ' || v.back() == ' '));
    if (needs_braces) {
      out += '{';
      for (char c : v) {
        out += c;
        if (c == '}') out += '}';
      }
      out += '}';
    } else {
      out += v;
    }
  }
  return out;
}

namespace {

bool IsPasswordKey(const std::string& key) {
  return EqualsIgnoreCase(key, "PWD") || EqualsIgnoreCase(key, "Password");
}

}  // namespace

std::string ConnectionString::Redacted() const {
  ConnectionString copy = *this;
  for (auto& [k, v] : copy.pairs_) {
    if (IsPasswordKey(k)) v = "***";
  }
  return copy.ToString();
}

bool ConnectionString::HasPassword() const {
  for (const auto& [k, v] : pairs_) {
    if (IsPasswordKey(k) && !v.empty()) return true;
  }
  return false;
}

std::string WithPasswordFromEnvironment(const std::string& connection_string,
                                        const char* variable) {
  ConnectionString cs = ConnectionString::Parse(connection_string);
  if (cs.HasPassword()) return connection_string;
  const char* password = std::getenv(variable);
  if (password == nullptr || *password == '\0') return connection_string;
  cs.Set("PWD", password);
  return cs.ToString();
}

}  // namespace qor
