#include "dbcreate/server_address.h"

#include <cctype>
#include <charconv>

#include "common/error.h"

namespace qor::dbcreate {
namespace {

constexpr const char* kSource = "clsDbCreate.CheckNames";
constexpr std::string_view kSqlitePrefix = "sqlite:";
// PostgreSQL keeps the first 63 bytes of a longer name, which would then not match.
constexpr std::size_t kMaxPostgresName = 63;

// Characters that end or escape a quoted SQL name or text, a connection string's value, an
// odbc.ini section or key, or a path (the backslash).
constexpr std::string_view kBreakingCharacters = "'\"`;[]{}=\\";

bool IsControl(char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7f; }

std::string Describe(char c) {
  if (c == '\r' || c == '\n') return "a line break";
  if (IsControl(c)) return "a control character";
  return std::string("'") + c + "'";
}

[[noreturn]] void Refuse(std::string_view what, const std::string& name, std::string_view why) {
  throw Error(kValidationError, kSource,
              "The " + std::string(what) + " '" + name + "' cannot be used: " + std::string(why));
}

void CheckCharacters(std::string_view what, const std::string& name,
                     std::string_view extra_refused = {}) {
  for (char c : name) {
    if (IsControl(c) || kBreakingCharacters.find(c) != std::string_view::npos ||
        extra_refused.find(c) != std::string_view::npos) {
      Refuse(what, name, "it contains " + Describe(c));
    }
  }
}

bool IsHostCharacter(char c) {
  return std::isalnum(static_cast<unsigned char>(c)) || c == '.' || c == '-' || c == '_';
}

[[noreturn]] void RefuseServer(const std::string& server_name) {
  throw Error(kValidationError, kSource,
              "The server '" + server_name +
                  "' is neither \"sqlite:FOLDER\" nor a host name with an optional port "
                  "(\"host[:port]\")");
}

}  // namespace

ServerAddress ServerAddress::Parse(const std::string& server_name) {
  ServerAddress address;
  if (server_name.empty()) {
    throw Error(kValidationError, kSource, "The server name is empty");
  }
  if (server_name.starts_with(kSqlitePrefix)) {
    std::string folder = server_name.substr(kSqlitePrefix.size());
    if (folder.empty()) {
      throw Error(kValidationError, kSource, "The server '" + server_name + "' names no folder");
    }
    for (char c : folder) {
      if (IsControl(c)) Refuse("server", server_name, "it contains " + Describe(c));
    }
    address.kind = ServerKind::kSqlite;
    address.folder = folder;
    return address;
  }
  address.kind = ServerKind::kPostgres;
  std::string_view rest = server_name;
  if (rest.front() == '[') {  // an IPv6 address, "[::1]:5432"
    std::size_t close = rest.find(']');
    if (close == std::string_view::npos || close == 1) RefuseServer(server_name);
    address.host = std::string(rest.substr(1, close - 1));
    for (char c : address.host) {
      if (!std::isxdigit(static_cast<unsigned char>(c)) && c != ':' && c != '.') {
        RefuseServer(server_name);
      }
    }
    rest.remove_prefix(close + 1);
  } else {
    std::size_t colon = rest.find(':');
    address.host = std::string(rest.substr(0, colon));
    rest.remove_prefix(colon == std::string_view::npos ? rest.size() : colon);
    if (address.host.empty()) RefuseServer(server_name);
    for (char c : address.host) {
      if (!IsHostCharacter(c)) RefuseServer(server_name);
    }
  }
  if (!rest.empty()) {
    if (rest.front() != ':' || rest.size() == 1) RefuseServer(server_name);
    rest.remove_prefix(1);
    int port = 0;
    auto [end, error] = std::from_chars(rest.data(), rest.data() + rest.size(), port);
    if (error != std::errc() || end != rest.data() + rest.size() || port < 1 || port > 65535) {
      RefuseServer(server_name);
    }
    address.port = port;
  }
  return address;
}

std::filesystem::path ServerAddress::DatabaseFile(const std::string& name) const {
  return std::filesystem::absolute(folder / (name + ".db")).lexically_normal();
}

std::string ServerAddress::ScriptToolName() const {
  return kind == ServerKind::kSqlite ? "sqlite3" : "psql";
}

std::vector<std::string> ServerAddress::DriverLibraries() const {
  if (kind == ServerKind::kSqlite) return {"libsqlite3odbc.so"};
  return {"psqlodbcw.so", "psqlodbca.so"};
}

void CheckDatabaseName(const std::string& name, ServerKind kind) {
  if (name.empty()) throw Error(kValidationError, kSource, "The database name is empty");
  // A database of the sqlite kind is one file in the server's folder, never a path.
  CheckCharacters("database name", name, kind == ServerKind::kSqlite ? "/" : "");
  if (kind == ServerKind::kPostgres && name.size() > kMaxPostgresName) {
    Refuse("database name", name, "it is longer than 63 bytes");
  }
}

void CheckDsnName(const std::string& name) {
  CheckCharacters("DSN name", name);
  // odbc.ini drops blanks around a section's name, so the DSN would not be found by its name.
  if (!name.empty() && (name.front() == ' ' || name.back() == ' ')) {
    Refuse("DSN name", name, "it begins or ends with a blank");
  }
}

void CheckUserName(const std::string& name) { CheckCharacters("user name", name); }

}  // namespace qor::dbcreate
