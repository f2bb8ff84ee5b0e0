// Inserts rows of a 32-column table through the local database layer's bulk path and, in the
// same run, through the plain ODBC methods and the databases' native loaders, and prints the
// rates and the ratios between them.
//
// Run through scripts/bench.sh, which starts the PostgreSQL server that the run uses.
#include <spawn.h>
#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <iostream>
#include <random>

#include "common/connection_string.h"
#include "testing/test_env.h"
#include "worker/localdb/bulk_inserter.h"
#include "worker/localdb/connection.h"

extern char** environ;

namespace {

using qor::DateTime;
using qor::Variant;
using qor::localdb::Connection;
namespace fs = std::filesystem;
using Row = std::vector<Variant>;

constexpr int kTexts = 12, kIntegers = 8, kDoubles = 6, kDates = 6;
constexpr int kColumns = kTexts + kIntegers + kDoubles + kDates;

std::vector<std::string> ColumnNames() {
  std::vector<std::string> names;
  for (int i = 0; i < kTexts; ++i) names.push_back("t" + std::to_string(i));
  for (int i = 0; i < kIntegers; ++i) names.push_back("n" + std::to_string(i));
  for (int i = 0; i < kDoubles; ++i) names.push_back("f" + std::to_string(i));
  for (int i = 0; i < kDates; ++i) names.push_back("d" + std::to_string(i));
  return names;
}

std::string CreateTableSql() {
  std::string sql = "CREATE TABLE bench (";
  auto names = ColumnNames();
  for (int i = 0; i < kColumns; ++i) {
    if (i > 0) sql += ", ";
    sql += names[i];
    sql += i < kTexts                          ? " varchar(40)"
           : i < kTexts + kIntegers            ? " integer"
           : i < kTexts + kIntegers + kDoubles ? " double precision"
                                               : " timestamp";
  }
  return sql + ")";
}

std::vector<Row> MakeRows(int count) {
  std::mt19937 random(42);
  std::vector<Row> rows;
  rows.reserve(count);
  DateTime base = DateTime::FromCivil(2026, 1, 1);
  for (int r = 0; r < count; ++r) {
    Row row;
    row.reserve(kColumns);
    for (int i = 0; i < kTexts; ++i) {
      if (random() % 20 == 0) {
        row.emplace_back();
      } else {
        row.emplace_back("text " + std::to_string(r) + "/" + std::to_string(random() % 100000));
      }
    }
    for (int i = 0; i < kIntegers; ++i) {
      row.push_back(random() % 20 == 0 ? Variant()
                                       : Variant(static_cast<long long>(random() % 1000000)));
    }
    for (int i = 0; i < kDoubles; ++i) {
      row.push_back(random() % 20 == 0 ? Variant() : Variant((random() % 1000000) / 100.0));
    }
    for (int i = 0; i < kDates; ++i) {
      row.push_back(random() % 20 == 0 ? Variant()
                                       : Variant(base.AddSeconds(random() % (400 * 86400))));
    }
    rows.push_back(std::move(row));
  }
  return rows;
}

double Seconds(const std::function<void()>& work) {
  auto start = std::chrono::steady_clock::now();
  work();
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

void Check(SQLRETURN rc, SQLSMALLINT type, SQLHANDLE handle, const char* what) {
  if (SQL_SUCCEEDED(rc) || rc == SQL_NO_DATA) return;
  throw qor::localdb::DiagnosticError(type, handle, what);
}

// Plain ODBC: one prepared INSERT of `rows_per_statement` rows, each value bound as its own
// parameter, executed inside one transaction.
void PlainOdbcMultiRow(Connection& c, const std::vector<Row>& rows,
                       std::size_t rows_per_statement) {
  qor::localdb::Transaction t(c);
  qor::localdb::Statement full(c);
  auto insert_sql = [&](std::size_t n) {
    std::string group = "(";
    for (int i = 0; i < kColumns; ++i) group += i ? ",?" : "?";
    group += ")";
    std::string sql = "INSERT INTO bench VALUES ";
    for (std::size_t r = 0; r < n; ++r) sql += (r ? "," : "") + group;
    return sql;
  };
  full.Prepare(insert_sql(rows_per_statement));
  const auto& types = c.TableColumns("bench");
  std::size_t i = 0;
  for (; i + rows_per_statement <= rows.size(); i += rows_per_statement) {
    auto& buffers = full.parameters();
    buffers.Clear();
    for (std::size_t r = 0; r < rows_per_statement; ++r) buffers.Append(rows[i + r], types);
    SQLFreeStmt(full.handle().get(), SQL_RESET_PARAMS);
    buffers.BindTo(full.handle(), "bench");
    full.Execute();
  }
  if (i < rows.size()) {
    qor::localdb::Statement rest(c);
    rest.Prepare(insert_sql(rows.size() - i));
    auto& buffers = rest.parameters();
    for (; i < rows.size(); ++i) buffers.Append(rows[i], types);
    buffers.BindTo(rest.handle(), "bench");
    rest.Execute();
  }
  t.Commit();
}

// Plain ODBC with array binding: column-wise arrays of `array_size` rows per execute.
void PlainOdbcArray(Connection& c, const std::vector<Row>& rows, std::size_t array_size) {
  qor::localdb::Transaction t(c);
  qor::localdb::OdbcHandle stmt(SQL_HANDLE_STMT, c.handle().get());
  std::string sql = "INSERT INTO bench VALUES (";
  for (int i = 0; i < kColumns; ++i) sql += i ? ",?" : "?";
  sql += ")";
  Check(SQLPrepare(stmt.get(), reinterpret_cast<SQLCHAR*>(sql.data()), SQL_NTS), SQL_HANDLE_STMT,
        stmt.get(), "prepare");
  constexpr std::size_t kText = 41;
  std::vector<char> texts(kTexts * array_size * kText);
  std::vector<long long> integers(kIntegers * array_size);
  std::vector<double> doubles(kDoubles * array_size);
  std::vector<SQL_TIMESTAMP_STRUCT> dates(kDates * array_size);
  std::vector<SQLLEN> indicators(kColumns * array_size);
  SQLULEN processed = 0;
  SQLSetStmtAttr(stmt.get(), SQL_ATTR_PARAM_BIND_TYPE, SQL_PARAM_BIND_BY_COLUMN, 0);
  SQLSetStmtAttr(stmt.get(), SQL_ATTR_PARAMS_PROCESSED_PTR, &processed, 0);
  for (int col = 0; col < kColumns; ++col) {
    SQLLEN* ind = &indicators[col * array_size];
    SQLRETURN rc;
    if (col < kTexts) {
      rc = SQLBindParameter(stmt.get(), col + 1, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARCHAR, 40, 0,
                            &texts[col * array_size * kText], kText, ind);
    } else if (col < kTexts + kIntegers) {
      rc = SQLBindParameter(stmt.get(), col + 1, SQL_PARAM_INPUT, SQL_C_SBIGINT, SQL_BIGINT, 0, 0,
                            &integers[(col - kTexts) * array_size], 0, ind);
    } else if (col < kTexts + kIntegers + kDoubles) {
      rc = SQLBindParameter(stmt.get(), col + 1, SQL_PARAM_INPUT, SQL_C_DOUBLE, SQL_DOUBLE, 0, 0,
                            &doubles[(col - kTexts - kIntegers) * array_size], 0, ind);
    } else {
      rc = SQLBindParameter(stmt.get(), col + 1, SQL_PARAM_INPUT, SQL_C_TYPE_TIMESTAMP,
                            SQL_TYPE_TIMESTAMP, 19, 0,
                            &dates[(col - kTexts - kIntegers - kDoubles) * array_size], 0, ind);
    }
    Check(rc, SQL_HANDLE_STMT, stmt.get(), "bind");
  }
  for (std::size_t start = 0; start < rows.size(); start += array_size) {
    std::size_t n = std::min(array_size, rows.size() - start);
    for (std::size_t r = 0; r < n; ++r) {
      const Row& row = rows[start + r];
      for (int col = 0; col < kColumns; ++col) {
        SQLLEN& ind = indicators[col * array_size + r];
        const Variant& v = row[col];
        if (v.IsNull()) {
          ind = SQL_NULL_DATA;
        } else if (col < kTexts) {
          std::string s = v.ToText().substr(0, kText - 1);
          std::memcpy(&texts[(col * array_size + r) * kText], s.c_str(), s.size() + 1);
          ind = SQL_NTS;
        } else if (col < kTexts + kIntegers) {
          integers[(col - kTexts) * array_size + r] = v.ToInteger();
          ind = 0;
        } else if (col < kTexts + kIntegers + kDoubles) {
          doubles[(col - kTexts - kIntegers) * array_size + r] = v.ToDouble();
          ind = 0;
        } else {
          dates[(col - kTexts - kIntegers - kDoubles) * array_size + r] =
              qor::localdb::ToTimestamp(v.ToDateTime());
          ind = 0;
        }
      }
    }
    SQLSetStmtAttr(stmt.get(), SQL_ATTR_PARAMSET_SIZE, reinterpret_cast<SQLPOINTER>(n), 0);
    Check(SQLExecute(stmt.get()), SQL_HANDLE_STMT, stmt.get(), "execute");
  }
  t.Commit();
}

// Rows per statement of the layer's inserter; 0: the layer's own choice.
std::size_t layer_rows_per_statement = 0;

void LayerBulkPath(Connection& c, const std::vector<Row>& rows) {
  qor::localdb::Transaction t(c);
  auto inserter =
      layer_rows_per_statement == 0
          ? qor::localdb::MakeBulkInserter(c, "bench", ColumnNames())
          : qor::localdb::MakeOdbcBulkInserter(c, "bench", ColumnNames(), layer_rows_per_statement);
  for (const Row& row : rows) inserter->Add(row);
  inserter->Flush();
  t.Commit();
}

void NativeSqlite(const fs::path& file, const std::vector<Row>& rows) {
  sqlite3* db = nullptr;
  if (sqlite3_open(file.c_str(), &db) != SQLITE_OK) throw std::runtime_error("sqlite3_open");
  std::string sql = "INSERT INTO bench VALUES (";
  for (int i = 0; i < kColumns; ++i) sql += i ? ",?" : "?";
  sql += ")";
  sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr);
  sqlite3_stmt* stmt = nullptr;
  sqlite3_prepare_v2(db, sql.c_str(), -1, &stmt, nullptr);
  for (const Row& row : rows) {
    for (int col = 0; col < kColumns; ++col) {
      const Variant& v = row[col];
      if (v.IsNull()) {
        sqlite3_bind_null(stmt, col + 1);
      } else if (col < kTexts) {
        sqlite3_bind_text(stmt, col + 1, v.AsText()->c_str(), -1, SQLITE_TRANSIENT);
      } else if (col < kTexts + kIntegers) {
        sqlite3_bind_int64(stmt, col + 1, v.ToInteger());
      } else if (col < kTexts + kIntegers + kDoubles) {
        sqlite3_bind_double(stmt, col + 1, v.ToDouble());
      } else {
        std::string iso = v.ToDateTime().ToIso();
        sqlite3_bind_text(stmt, col + 1, iso.c_str(), -1, SQLITE_TRANSIENT);
      }
    }
    if (sqlite3_step(stmt) != SQLITE_DONE) throw std::runtime_error(sqlite3_errmsg(db));
    sqlite3_reset(stmt);
  }
  sqlite3_finalize(stmt);
  sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
  sqlite3_close(db);
}

std::string CsvField(const Variant& v, int col) {
  if (v.IsNull()) return "";
  if (col >= kTexts + kIntegers + kDoubles) return v.ToDateTime().ToIso();
  if (col < kTexts) return "\"" + v.ToText() + "\"";
  return v.ToText();
}

// psql's \copy of a CSV of the same rows; the password travels in the environment.
void PsqlCopy(const std::string& database, const fs::path& csv) {
  const auto& env = qor::testing::TestEnv::Get();
  std::string copy = "\\copy bench FROM '" + csv.string() + "' WITH (FORMAT csv)";
  std::vector<std::string> args = {"psql", "-q",        "-v", "ON_ERROR_STOP=1",
                                   "-h",   env.pg_host, "-p", std::to_string(env.pg_port),
                                   "-U",   env.pg_user, "-d", database,
                                   "-c",   copy};
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  setenv("PGPASSWORD", env.pg_password.c_str(), 1);
  pid_t pid;
  if (posix_spawnp(&pid, "psql", nullptr, nullptr, argv.data(), environ) != 0) {
    throw std::runtime_error("cannot start psql");
  }
  unsetenv("PGPASSWORD");
  int status = 0;
  waitpid(pid, &status, 0);
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
    throw std::runtime_error("psql \\copy failed");
}

struct Result {
  std::string name;
  double rows_per_second;
};

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

long long CountRows(Connection& c) {
  return c.Query("SELECT COUNT(*) FROM bench")[0][0].ToInteger();
}

// One way of inserting the rows: given a connection to a fresh database holding the empty
// table, and that database's name and file.
struct Method {
  std::string name;
  std::function<void(Connection&, const qor::testing::TestDatabase&)> insert;
};

// Runs every method `repeat` times, interleaved so that a slow moment of the machine does not
// fall on one method alone, and prints the median rates and the ratios.
void Measure(qor::testing::Backend backend, const std::vector<Method>& methods, int count,
             int repeat) {
  std::vector<std::vector<double>> rates(methods.size());
  for (int r = 0; r < repeat; ++r) {
    for (std::size_t m = 0; m < methods.size(); ++m) {
      qor::testing::TestDatabase db(backend, false);
      auto c = db.Connect();
      c->Execute(CreateTableSql());
      double s = Seconds([&] { methods[m].insert(*c, db); });
      if (!c->IsOpen()) c->Open(db.connection_string());
      if (CountRows(*c) != count) throw std::runtime_error(methods[m].name + ": wrong row count");
      rates[m].push_back(count / s);
    }
  }
  std::vector<Result> results;
  for (std::size_t m = 0; m < methods.size(); ++m)
    results.push_back({methods[m].name, Median(rates[m])});
  // By convention: the first method is the layer's, the last the native baseline, the others
  // plain ODBC.
  const Result& layer = results.front();
  const Result& native = results.back();
  const Result& best_plain = *std::max_element(
      results.begin() + 1, results.end() - 1,
      [](const Result& a, const Result& b) { return a.rows_per_second < b.rows_per_second; });
  std::printf("\n%s (median of %d runs)\n", qor::testing::BackendName(backend), repeat);
  for (const Result& r : results)
    std::printf("  %-44s %10.0f rows/s\n", r.name.c_str(), r.rows_per_second);
  std::printf("  ratio layer / best plain ODBC (%s): %.2f\n", best_plain.name.c_str(),
              layer.rows_per_second / best_plain.rows_per_second);
  std::printf("  ratio layer / %s: %.2f\n", native.name.c_str(),
              layer.rows_per_second / native.rows_per_second);
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{"Bulk insert benchmark of the local database layer"};
  int count = 200000;
  std::string only = "all";
  app.add_option("--rows", count, "rows to insert")->check(CLI::Range(1, 10000000));
  int repeat = 3;
  app.add_option("--layer-rows-per-statement", layer_rows_per_statement,
                 "rows per statement of the layer's inserter (default: its own choice)");
  app.add_option("--repeat", repeat, "runs of each method; the median is shown")
      ->check(CLI::Range(1, 20));
  app.add_option("--backend", only, "sqlite, postgresql or all")
      ->check(CLI::IsMember({"sqlite", "postgresql", "all"}));
  CLI11_PARSE(app, argc, argv);
  qor::testing::InitializeTestProcess();

  std::vector<Row> rows = MakeRows(count);
  std::printf(
      "%d rows of %d columns (texts, whole numbers, floating point, date-times, 5%% Nulls)\n",
      count, kColumns);
  using qor::testing::TestDatabase;
  const std::vector<Method> plain = {
      {"ODBC prepared, 1 row per execute",
       [&](Connection& c, const TestDatabase&) { PlainOdbcMultiRow(c, rows, 1); }},
      {"ODBC array binding, 1000 rows",
       [&](Connection& c, const TestDatabase&) { PlainOdbcArray(c, rows, 1000); }},
      {"ODBC prepared multi-row VALUES, 100 rows",
       [&](Connection& c, const TestDatabase&) { PlainOdbcMultiRow(c, rows, 100); }},
  };
  const Method layer = {"layer bulk path",
                        [&](Connection& c, const TestDatabase&) { LayerBulkPath(c, rows); }};
  try {
    if (only != "postgresql") {
      std::vector<Method> methods = {layer};
      methods.insert(methods.end(), plain.begin(), plain.end());
      methods.push_back(
          {"sqlite3 C API, prepared, one transaction", [&](Connection& c, const TestDatabase& db) {
             c.Close();
             NativeSqlite(db.file(), rows);
           }});
      Measure(qor::testing::Backend::kSqlite, methods, count, repeat);
    }
    if (only != "sqlite") {
      qor::testing::TempDir tmp;
      fs::path csv = tmp.path() / "bench.csv";
      {
        std::ofstream out(csv);
        for (const Row& row : rows) {
          for (int col = 0; col < kColumns; ++col)
            out << (col ? "," : "") << CsvField(row[col], col);
          out << "\n";
        }
      }
      std::vector<Method> methods = {layer};
      methods.insert(methods.end(), plain.begin(), plain.end());
      methods.push_back({"psql \\copy from CSV",
                         [&](Connection&, const TestDatabase& db) { PsqlCopy(db.name(), csv); }});
      Measure(qor::testing::Backend::kPostgres, methods, count, repeat);
    }
  } catch (const qor::Error& e) {
    std::fprintf(stderr, "bench failed: %s: %s\n", e.source().c_str(), e.description().c_str());
    return 1;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "bench failed: %s\n", e.what());
    return 1;
  }
  return 0;
}
