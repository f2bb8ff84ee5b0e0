// erpsim: stands in for the ERP's users. It creates and fills an ERP store, changes it at
// random, and writes the directory entry that leads a bus component to it.
//
// The store's connection string carries no password: one on the command line would be
// readable by every local user. The password comes from QOR_ERP_PASSWORD.
#include <CLI/CLI.hpp>
#include <chrono>
#include <cstdio>
#include <iostream>
#include <random>

#include "common/connection_string.h"
#include "common/error.h"
#include "common/text.h"
#include "worker/erp/directory.h"
#include "worker/erp/sample_data.h"
#include "worker/erp/store.h"

namespace {

using qor::erp::kErpPasswordVariable;

// Refuses a connection string with a password, without repeating it.
std::string NoPassword(const std::string& value) {
  if (qor::ConnectionString::Parse(value).HasPassword()) {
    return std::string("the connection string must not carry PWD; put the password into ") +
           kErpPasswordVariable;
  }
  if (qor::TrimSpace(value).empty()) return "the connection string is empty";
  return "";
}

std::string IsDn(const std::string& value) {
  std::string dn = qor::erp::NormalizeDn(value);
  if (dn.find('=') == std::string::npos)
    return "\"" + value + "\" is no DN like \"cn=NAME, o=ORG\"";
  return "";
}

std::string IsDate(const std::string& value) {
  auto date = qor::DateTime::ParseIso(value);
  if (!date || value.size() != 10) return "\"" + value + "\" is no date YYYY-MM-DD";
  return "";
}

qor::DateTime Today(const std::string& given) {
  if (!given.empty()) return *qor::DateTime::ParseIso(given);
  return qor::DateTime::Now().Date();
}

double SecondsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

int RunCreate(const std::string& connect, long long rows, std::uint64_t seed,
              const std::string& today) {
  auto start = std::chrono::steady_clock::now();
  auto connection = qor::erp::ConnectStore(connect);
  if (connection->dialect() == qor::localdb::Dialect::kSqlite) {
    // Readers (the worker's copies) and writers (erpsim change) then do not block each other.
    connection->Execute("PRAGMA journal_mode=WAL");
  }
  qor::erp::SampleOptions options{rows, seed, Today(today)};
  auto written = qor::erp::CreateSampleStore(*connection, options);
  double seconds = SecondsSince(start);
  long long total = 0;
  for (const auto& [table, count] : written) {
    std::printf("%-10s %10lld rows\n", table.c_str(), count);
    total += count;
  }
  std::printf("created the ERP store: %lld rows in %.1f s (%.0f rows/s)\n", total, seconds,
              seconds > 0 ? total / seconds : 0.0);
  return 0;
}

int RunChange(const std::string& connect, long long count, std::uint64_t seed,
              const std::string& table) {
  auto connection = qor::erp::ConnectStore(connect);
  qor::erp::ChangeOptions options{count, seed, table, qor::DateTime::Now().Date()};
  qor::erp::ChangeCounts counts = qor::erp::ApplyRandomChanges(*connection, options);
  std::printf("seed %llu: %lld inserted, %lld updated, %lld deleted\n",
              static_cast<unsigned long long>(seed), counts.inserted, counts.updated,
              counts.deleted);
  return 0;
}

int RunDirectory(const std::string& file, const std::string& bus, long long company,
                 const std::string& connect) {
  qor::erp::DirectoryEntry entry{qor::Trim(bus),
                                 {{qor::erp::kCompanyNumberAttribute, std::to_string(company)},
                                  {qor::erp::kErpConnectionAttribute, qor::Trim(connect)}}};
  qor::erp::WriteDirectoryEntry(file, entry);
  std::printf("wrote the entry \"%s\" to %s\n", entry.dn.c_str(), file.c_str());
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{"erpsim: creates, fills and changes an ERP store, and writes its directory entry"};
  app.require_subcommand(1);
  app.failure_message(CLI::FailureMessage::help);
  const std::string connect_help =
      "ODBC connection string of the ERP store, without PWD (the password comes from " +
      std::string(kErpPasswordVariable) + ")";

  std::string connect;
  long long rows = 1000;
  std::uint64_t seed = 1;
  std::string today;
  CLI::App* create = app.add_subcommand(
      "create", "Create the store's tables, audit trail and triggers, and fill the tables");
  create->add_option("--connect", connect, connect_help)->required()->check(NoPassword);
  create->add_option("--rows", rows, "Rows of the largest table; the others in proportion")
      ->check(CLI::Range(1LL, 100000000LL));
  create->add_option("--seed", seed, "Seed of the sample data (the same seed gives the same data)");
  create
      ->add_option("--today", today, "The day the calendars centre on, YYYY-MM-DD (default: today)")
      ->check(IsDate);

  long long count = 0;
  std::string table;
  CLI::App* change =
      app.add_subcommand("change", "Make random inserts, updates and deletes in the store");
  change->add_option("--connect", connect, connect_help)->required()->check(NoPassword);
  change->add_option("--count", count, "Number of changes")
      ->required()
      ->check(CLI::Range(1LL, 100000000LL));
  change->add_option("--seed", seed, "Seed of the changes (default: a random one, printed)");
  change->add_option("--table", table, "Change only this ERP table")
      ->check([](const std::string& name) -> std::string {
        return qor::erp::FindTable(name) ? "" : "no ERP table is named \"" + name + "\"";
      });

  std::string file, bus;
  long long company = 0;
  CLI::App* directory =
      app.add_subcommand("directory", "Write or replace the directory entry of a bus component");
  directory->add_option("--file", file, "The directory's LDIF file")->required();
  directory->add_option("--bus", bus, "The bus component, \"cn=NAME, o=ORG\"")
      ->required()
      ->check(IsDn);
  directory->add_option("--company", company, "The ERP company number")
      ->required()
      ->check(CLI::NonNegativeNumber);
  directory->add_option("--connect", connect, connect_help)->required()->check(NoPassword);

  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    return app.exit(e);
  }

  try {
    if (*create) return RunCreate(connect, rows, seed, today);
    if (*change) {
      if (change->count("--seed") == 0) seed = std::random_device{}();
      return RunChange(connect, count, seed, table);
    }
    if (*directory) return RunDirectory(file, bus, company, connect);
  } catch (const qor::Error& e) {
    std::fprintf(stderr, "erpsim: %s (%s)\n", e.description().c_str(), e.source().c_str());
    return 1;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "erpsim: %s\n", e.what());
    return 1;
  }
  return 0;
}
