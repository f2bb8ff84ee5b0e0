#include "testing/test_env.h"

#include <unistd.h>

#include <atomic>
#include <clocale>
#include <cstdlib>
#include <fstream>
#include <map>
#include <random>
#include <sstream>
#include <stdexcept>

#include "common/connection_string.h"
#include "common/text.h"

namespace qor::testing {
namespace fs = std::filesystem;

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + path.string());
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

void WriteFile(const fs::path& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  if (!out) throw std::runtime_error("cannot write " + path.string());
  out << text;
}

const TestEnv& TestEnv::Get() {
  static const TestEnv env = [] {
    TestEnv e;
    const char* override_dir = std::getenv("QOR_TEST_ENV");
    e.dir = override_dir ? fs::path(override_dir) : fs::path(QOR_TEST_ENV_DIR);
    std::map<std::string, std::string> values;
    std::istringstream lines(ReadFile(e.dir / "env"));
    std::string line;
    while (std::getline(lines, line)) {
      auto eq = line.find('=');
      if (eq != std::string::npos) values[line.substr(0, eq)] = line.substr(eq + 1);
    }
    e.odbc_dir = values["ODBC_DIR"];
    e.sqlite_dir = values["SQLITE_DIR"];
    e.pg_host = values["PG_HOST"];
    e.pg_port = std::atoi(values["PG_PORT"].c_str());
    e.pg_user = values["PG_USER"];
    e.pg_bindir = values["PG_BINDIR"];
    e.pg_password = TrimSpace(ReadFile(values["PG_PASSWORD_FILE"]));
    return e;
  }();
  return env;
}

void InitializeTestProcess() {
  const TestEnv& env = TestEnv::Get();
  setenv("ODBCSYSINI", env.odbc_dir.c_str(), 1);
  setenv("ODBCINI", (env.odbc_dir / "user_odbc.ini").c_str(), 1);
  setenv("LC_ALL", "C", 1);
  std::setlocale(LC_ALL, "C");
}

ScopedEnv::ScopedEnv(std::string name, const std::optional<std::string>& value)
    : name_(std::move(name)) {
  if (const char* old = std::getenv(name_.c_str())) previous_ = old;
  if (value) {
    setenv(name_.c_str(), value->c_str(), 1);
  } else {
    unsetenv(name_.c_str());
  }
}

ScopedEnv::~ScopedEnv() {
  if (previous_) {
    setenv(name_.c_str(), previous_->c_str(), 1);
  } else {
    unsetenv(name_.c_str());
  }
}

std::string UniqueName(const std::string& prefix) {
  static std::atomic<int> counter{0};
  static const unsigned salt = std::random_device{}() % 100000;
  return prefix + std::to_string(getpid()) + "_" + std::to_string(salt) + "_" +
         std::to_string(counter++);
}

TempDir::TempDir() {
  path_ = fs::temp_directory_path() / UniqueName("qor_test_");
  fs::create_directories(path_);
}

TempDir::~TempDir() {
  std::error_code ignored;
  fs::remove_all(path_, ignored);
}

std::string PostgresMaintenanceConnectionString() {
  const TestEnv& env = TestEnv::Get();
  return "DSN=" + std::string(kPostgresDsn) + ";UID=" + env.pg_user + ";PWD=" + env.pg_password +
         ";Database=postgres";
}

TestDatabase::TestDatabase(Backend backend, bool with_schema) : backend_(backend) {
  const TestEnv& env = TestEnv::Get();
  name_ = UniqueName("qt");
  if (backend == Backend::kSqlite) {
    file_ = env.sqlite_dir / (name_ + ".db");
    connection_string_ = "DSN=" + std::string(kSqliteDsn) + ";UID=;PWD=;Database=" + file_.string();
  } else {
    localdb::Connection admin;
    admin.Open(PostgresMaintenanceConnectionString());
    admin.Execute("CREATE DATABASE " + name_);
    connection_string_ = "DSN=" + std::string(kPostgresDsn) + ";UID=" + env.pg_user +
                         ";PWD=" + env.pg_password + ";Database=" + name_;
  }
  if (with_schema) {
    auto connection = Connect();
    RunSqlScript(*connection, LocalSchemaPath());
  }
}

TestDatabase::~TestDatabase() {
  try {
    if (backend_ == Backend::kSqlite) {
      std::error_code ignored;
      fs::remove(file_, ignored);
    } else {
      localdb::Connection admin;
      admin.Open(PostgresMaintenanceConnectionString());
      admin.Execute("DROP DATABASE IF EXISTS " + name_ + " WITH (FORCE)");
    }
  } catch (...) {
    // The server and its folder go away when the run ends.
  }
}

std::unique_ptr<localdb::Connection> TestDatabase::Connect() const {
  auto connection = std::make_unique<localdb::Connection>();
  connection->Open(connection_string_);
  return connection;
}

std::vector<std::string> SplitSqlScript(const std::string& text) {
  std::vector<std::string> statements;
  std::string current;
  std::istringstream lines(text);
  std::string line;
  while (std::getline(lines, line)) {
    auto comment = line.find("--");
    if (comment != std::string::npos) line = line.substr(0, comment);
    std::string trimmed = TrimSpace(line);
    if (trimmed.empty()) continue;
    current += trimmed + "\n";
    if (trimmed.back() == ';') {
      current = TrimSpace(current);
      current.pop_back();
      statements.push_back(current);
      current.clear();
    }
  }
  if (!TrimSpace(current).empty()) statements.push_back(TrimSpace(current));
  return statements;
}

void RunSqlScript(localdb::Connection& connection, const fs::path& script) {
  for (const std::string& statement : SplitSqlScript(ReadFile(script))) {
    connection.Execute(statement);
  }
}

fs::path LocalSchemaPath() { return QOR_LOCAL_SCHEMA; }

}  // namespace qor::testing
