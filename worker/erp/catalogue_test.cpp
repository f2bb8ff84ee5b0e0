#include "worker/erp/catalogue.h"

#include <gtest/gtest.h>

#include <map>
#include <set>

#include "common/text.h"
#include "testing/test_env.h"

namespace qor::erp {
namespace {

TEST(CatalogueTest, HoldsTogether) {
  const auto& tables = ErpCatalogue();
  EXPECT_EQ(tables.size(), 17u);
  std::vector<std::string> problems = CheckCatalogue(tables);
  for (const std::string& p : problems) ADD_FAILURE() << p;
}

TEST(CatalogueTest, CheckFindsBrokenDescriptions) {
  // Each case breaks one thing in a copy of a real description.
  struct Case {
    const char* name;
    void (*breaks)(TableDef&);
    const char* mentions;
  };
  const Case cases[] = {
      {"key without field", [](TableDef& t) { t.keys.push_back("zzzz"); }, "key 'zzzz'"},
      {"getter of no field",
       [](TableDef& t) {
         t.getters.push_back({"getNothing", "none"});
       },
       "getNothing"},
      {"getter twice", [](TableDef& t) { t.getters.push_back(t.getters.front()); }, "twice"},
      {"bound of no field", [](TableDef& t) { t.lists.front().bounds.push_back("qqqq"); }, "qqqq"},
      {"text without length", [](TableDef& t) { t.fields.front().length = 0; }, "length"},
      {"key without getter",
       [](TableDef& t) {
         std::erase_if(t.getters, [&](const GetterDef& g) { return g.field == t.keys.front(); });
       },
       "has no getter"},
  };
  for (const Case& c : cases) {
    std::vector<TableDef> tables = {*FindTable("tsmdm030")};
    c.breaks(tables.front());
    std::vector<std::string> problems = CheckCatalogue(tables);
    ASSERT_FALSE(problems.empty()) << c.name;
    EXPECT_NE(problems.front().find(c.mentions), std::string::npos)
        << c.name << ": " << problems.front();
  }
  std::vector<TableDef> twice = {*FindTable("tsmdm030"), *FindTable("tsmdm030")};
  EXPECT_FALSE(CheckCatalogue(twice).empty());
}

TEST(CatalogueTest, LooksUpWithoutRegardToCase) {
  struct Case {
    const TableDef* found;
    const char* table;
  };
  const Case cases[] = {
      {FindTable("TSMDM030"), "tsmdm030"},
      {FindTableByManager("servicetypes.servicetypesmanager"), "tsmdm030"},
      {FindTableByObject("CALENDARS.ACTUALCALENDAR"), "tcccp030"},
      {FindTableByManager("Calendars.CalendarManager"), "tcccp030"},
      {FindTableByObject("ServiceOrders.ServiceOrders"), "tssoc200"},
  };
  for (const Case& c : cases) {
    ASSERT_NE(c.found, nullptr) << c.table;
    EXPECT_EQ(c.found->table, c.table);
  }
  EXPECT_EQ(FindTable("tsmdm999"), nullptr);
  EXPECT_EQ(FindTableByManager("ServiceTypes.ServiceTypes"), nullptr);
  const TableDef& orders = *FindTable("tssoc200");
  EXPECT_EQ(orders.GetterField("GETSERVICEORDER"), orders.FieldIndex("orno"));
  EXPECT_EQ(orders.GetterField("getNothing"), std::nullopt);
  EXPECT_NE(orders.FindList("LISTSERVICEORDERS"), nullptr);
}

// The local column that holds an ERP field, where the names differ; fields that no local
// table holds map to "".
std::string LocalColumn(const TableDef& t, const std::string& code) {
  static const std::map<std::pair<std::string, std::string>, std::string> kRenamed = {
      {{"tsmdm030", "proc"}, "prod"},
      {{"tsmdm140", "user"}, "ouser"},
      {{"tsmdm140", "mopd"}, "mpod"},
      {{"tccom130", "dist"}, ""},
  };
  auto it = kRenamed.find({t.table, code});
  if (it != kRenamed.end()) return it->second;
  return code == "desc" ? "dsca" : code;
}

bool IsIntegerType(SQLSMALLINT t) {
  return t == SQL_SMALLINT || t == SQL_INTEGER || t == SQL_BIGINT || t == SQL_TINYINT;
}

// The copies store every getter's value unchanged: each field must fit its local column.
TEST(CatalogueTest, FieldsFitTheLocalSchema) {
  qor::testing::TestDatabase db(qor::testing::Backend::kPostgres);
  auto connection = db.Connect();
  for (const TableDef& t : ErpCatalogue()) {
    const auto& columns = connection->TableColumns(t.table);
    std::set<std::string> local_keys;
    for (const std::string& k : connection->PrimaryKey(t.table)) local_keys.insert(ToLower(k));
    std::set<std::string> mapped_keys;
    for (std::size_t i = 0; i < t.fields.size(); ++i) {
      const FieldDef& f = t.fields[i];
      std::string local = LocalColumn(t, f.code);
      if (local.empty()) continue;
      if (t.IsKey(i)) mapped_keys.insert(local);
      auto c = std::find_if(columns.begin(), columns.end(), [&](const localdb::ColumnInfo& ci) {
        return EqualsIgnoreCase(ci.name, local);
      });
      ASSERT_NE(c, columns.end()) << t.table << "." << f.code << " has no local column " << local;
      std::string where = t.table + "." + f.code + " -> " + local;
      switch (f.type) {
        case FieldType::kText:
          EXPECT_TRUE(c->IsText()) << where;
          EXPECT_LE(static_cast<std::size_t>(f.length), c->TextLimit()) << where;
          break;
        case FieldType::kSmallInt:
        case FieldType::kInteger:
        case FieldType::kHhmm:
          EXPECT_TRUE(IsIntegerType(c->sql_type)) << where << " type " << c->sql_type;
          if (c->sql_type == SQL_SMALLINT) {
            EXPECT_EQ(f.type, FieldType::kSmallInt) << where;
          }
          break;
        case FieldType::kDouble:
          EXPECT_TRUE(c->sql_type == SQL_DOUBLE || c->sql_type == SQL_FLOAT ||
                      c->sql_type == SQL_NUMERIC || c->sql_type == SQL_DECIMAL)
              << where << " type " << c->sql_type;
          break;
        case FieldType::kDateTime:
        case FieldType::kDate:
          EXPECT_TRUE(c->sql_type == SQL_TYPE_TIMESTAMP || c->sql_type == SQL_TIMESTAMP)
              << where << " type " << c->sql_type;
          break;
      }
    }
    // The ERP's key is the local table's key: the changed-data copy finds rows by it.
    EXPECT_EQ(mapped_keys, local_keys) << t.table;
  }
}

}  // namespace
}  // namespace qor::erp
