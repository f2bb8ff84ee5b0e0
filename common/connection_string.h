// ODBC connection strings: "DSN=name;UID=user;PWD=password".
#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace qor {

// The key=value pairs of an ODBC connection string, in order. Keys compare without regard to
// case. A value may be braced ("PWD={a;b}") to hold a semicolon, as ODBC defines.
class ConnectionString {
 public:
  ConnectionString() = default;
  static ConnectionString Parse(const std::string& text);
  // "DSN=" + dsn + ";UID=" + user + ";PWD=" + password, the form the console builds.
  static std::string Build(const std::string& dsn, const std::string& user,
                           const std::string& password);

  std::optional<std::string> Get(const std::string& key) const;
  // Replaces the first pair with that key, or appends one.
  void Set(const std::string& key, const std::string& value);
  void Remove(const std::string& key);
  bool Has(const std::string& key) const { return Get(key).has_value(); }

  // The string again; values that need it are braced.
  std::string ToString() const;
  // The string with the password replaced by "***", for messages and logs.
  std::string Redacted() const;
  // Whether it carries a password of its own (a non-empty PWD or Password).
  bool HasPassword() const;

 private:
  std::vector<std::pair<std::string, std::string>> pairs_;
};

// The connection string with the password from the environment variable `variable` when it
// carries none of its own, so that a password need never stand on a command line or in a
// file; unchanged when the variable is unset or empty.
std::string WithPasswordFromEnvironment(const std::string& connection_string, const char* variable);

}  // namespace qor
