// Reads a whole table of an ERP store through the component layer, as a full copy does: the
// manager's list call, then every element with every getter. Prints rows per second and the
// process's resident memory as the enumeration goes on, to show whether it stays flat.
//
//   erp_enumeration_bench --connect "DRIVER=/usr/lib/.../libsqlite3odbc.so;Database=/tmp/erp.db"
//
// Fill the store first with `erpsim create --connect ... --rows N`. Add "StepAPI=0" (SQLite) or
// "UseDeclareFetch=0" (PostgreSQL) to the connection string to compare with a driver that
// reads the whole result first.
#include <sys/resource.h>

#include <CLI/CLI.hpp>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>

#include "common/error.h"
#include "worker/erp/catalogue.h"
#include "worker/erp/java_date.h"
#include "worker/erp/store_components.h"

namespace {

// Resident memory now, in KiB (VmRSS of /proc/self/status).
long ResidentKiB() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("VmRSS:", 0) == 0) return std::stol(line.substr(6));
  }
  return -1;
}

long PeakKiB() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss;
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{"Enumerates an ERP store's table through the component layer"};
  std::string connect;
  std::string table = "tssoc210";
  long long report_every = 100000;
  app.add_option("--connect", connect, "ODBC connection string of the store")->required();
  app.add_option("--table", table, "The ERP table to read (default: tssoc210)");
  app.add_option("--report-every", report_every, "Rows between memory reports");
  CLI11_PARSE(app, argc, argv);

  try {
    const qor::erp::TableDef* def = qor::erp::FindTable(table);
    if (def == nullptr) throw std::runtime_error("no ERP table " + table);
    qor::erp::StoreSettings settings;
    settings.resolve = [&](const std::string&) { return connect; };
    qor::erp::StoreComponentFactory factory(settings);
    qor::erp::ObjectPtr manager = factory.Create(def->manager_class);
    manager->Call("initialize", {"cn=bench, o=qor"});

    // The widest range of every bounded field: all rows.
    std::vector<qor::erp::Value> args;
    for (const std::string& field : def->lists.front().bounds) {
      qor::erp::FieldType type = def->fields[*def->FieldIndex(field)].type;
      if (qor::erp::IsNumeric(type)) {
        args.emplace_back(-1e12);
        args.emplace_back(1e12);
      } else if (type == qor::erp::FieldType::kText) {
        args.emplace_back("");
        args.emplace_back("\x7f\x7f\x7f\x7f");  // above every key's first byte
      } else {
        args.emplace_back("");  // a blank date bound leaves the range open
        args.emplace_back("");
      }
    }
    std::printf("before the list call: RSS %ld KiB\n", ResidentKiB());
    auto start = std::chrono::steady_clock::now();
    qor::erp::ObjectPtr enumeration =
        manager->Call(def->lists.front().name, std::span<const qor::erp::Value>(args)).object();
    long long rows = 0, dates = 0;
    while (enumeration->Call("hasMoreElements").variant().ToBoolean()) {
      qor::erp::ObjectPtr element = enumeration->Call("nextElement").object();
      for (const qor::erp::GetterDef& g : def->getters) {
        qor::erp::Value v = element->Call(g.name);
        // Date getters give Java dates; read them as the copies do.
        if (auto* date = dynamic_cast<qor::erp::JavaDate*>(v.object().get())) {
          dates += date->IsErpEmptyDate() ? 0 : 1;
        }
      }
      if (++rows % report_every == 0) {
        double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        std::printf("%10lld rows  %6.1f s  RSS %ld KiB\n", rows, s, ResidentKiB());
        std::fflush(stdout);
      }
    }
    double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    manager->Call("Close");
    std::printf(
        "%s: %lld rows (%lld non-empty dates) in %.1f s: %.0f rows/s; "
        "RSS at the end %ld KiB, peak %ld KiB\n",
        table.c_str(), rows, dates, seconds, seconds > 0 ? rows / seconds : 0.0, ResidentKiB(),
        PeakKiB());
  } catch (const qor::Error& e) {
    std::fprintf(stderr, "erp_enumeration_bench: %s\n", e.description().c_str());
    return 1;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "erp_enumeration_bench: %s\n", e.what());
    return 1;
  }
  return 0;
}
