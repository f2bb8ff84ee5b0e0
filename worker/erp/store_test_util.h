// Test helpers: an ERP store of its own on either backend, and rows built by field code.
#pragma once

#include <cstdlib>
#include <initializer_list>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "common/connection_string.h"
#include "testing/test_env.h"
#include "worker/erp/catalogue.h"
#include "worker/erp/store.h"
#include "worker/erp/store_components.h"

namespace qor::erp {

using qor::testing::ScopedEnv;

// A fresh database with the store's tables, trail and triggers. Its connection string carries
// no password; the password of the test server reaches the layer through QOR_ERP_PASSWORD,
// as in production.
class TestStore {
 public:
  explicit TestStore(qor::testing::Backend backend)
      : db_(backend, false),
        password_(kErpPasswordVariable, qor::testing::TestEnv::Get().pg_password) {
    ConnectionString cs = ConnectionString::Parse(db_.connection_string());
    cs.Remove("PWD");
    connection_string_ = cs.ToString();
    auto connection = Connect();
    CreateStore(*connection);
  }

  qor::testing::Backend backend() const { return db_.backend(); }
  // Without PWD.
  const std::string& connection_string() const { return connection_string_; }
  std::unique_ptr<localdb::Connection> Connect() const { return ConnectStore(connection_string_); }
  // Settings under which every bus component reaches this store.
  StoreSettings settings() const {
    StoreSettings s;
    std::string cs = connection_string_;
    s.resolve = [cs](const std::string&) { return cs; };
    return s;
  }

 private:
  qor::testing::TestDatabase db_;
  ScopedEnv password_;
  std::string connection_string_;
};

// A row of `table` in field order: the named fields set, every other one Null.
inline std::vector<Variant> Row(const TableDef& table,
                                std::initializer_list<std::pair<const char*, Variant>> values) {
  std::vector<Variant> row(table.fields.size());
  for (const auto& [code, value] : values) row.at(*table.FieldIndex(code)) = value;
  return row;
}

inline void Insert(
    localdb::Connection& connection, const char* table,
    std::initializer_list<std::initializer_list<std::pair<const char*, Variant>>> rows) {
  const TableDef& t = *FindTable(table);
  auto inserter = MakeStoreInserter(connection, t);
  for (const auto& r : rows) {
    std::vector<Variant> row = Row(t, r);
    inserter->Add(row);
  }
  inserter->Flush();
}

}  // namespace qor::erp
