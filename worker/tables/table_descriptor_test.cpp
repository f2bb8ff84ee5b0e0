// Every table descriptor holds together: with the ERP's catalogue, with the local schema and
// with the other descriptors.
#include "worker/tables/table_descriptor.h"

#include <gtest/gtest.h>

#include <set>

#include "common/text.h"
#include "testing/test_env.h"
#include "worker/erp/catalogue.h"

namespace qor::worker::tables {
namespace {

bool Contains(const std::vector<std::string>& names, std::string_view name) {
  for (const auto& n : names) {
    if (EqualsIgnoreCase(n, name)) return true;
  }
  return false;
}

TEST(TableDescriptorTest, EveryDescriptorHoldsTogether) {
  qor::testing::TestDatabase db(qor::testing::Backend::kSqlite);
  auto local = db.Connect();
  std::set<std::string_view> names;
  ASSERT_FALSE(AllTableDescriptors().empty());
  for (const TableDescriptor* d : AllTableDescriptors()) {
    SCOPED_TRACE(std::string(d->table));
    EXPECT_EQ(FindTableDescriptor(d->table), d);
    // The procedure names, unique and after the components' subject word.
    for (std::string_view name :
         {d->dispatch, d->full_copy.name, d->changed_copy.name, d->fill_row.name}) {
      EXPECT_TRUE(names.insert(name).second) << name << " is used twice";
    }
    std::string subject = std::string(d->dispatch.substr(4));
    EXPECT_EQ(d->dispatch.substr(0, 4), "Copy");
    EXPECT_EQ(d->full_copy.name, "Copy" + subject + "Full");
    EXPECT_EQ(d->changed_copy.name, "Copy" + subject + "Changed");
    EXPECT_EQ(d->fill_row.name, "Fill" + subject + "Row");
    for (const CopyTexts* t : {&d->full_copy, &d->changed_copy}) {
      EXPECT_FALSE(t->step_text.empty());
      EXPECT_FALSE(t->failure_text.empty());
    }
    // The ERP knows the components, the list method, the getters and the fields.
    const erp::TableDef* erp_table = erp::FindTableByManager(d->manager_class);
    ASSERT_NE(erp_table, nullptr) << d->manager_class;
    EXPECT_EQ(erp::FindTableByObject(d->object_class), erp_table);
    EXPECT_EQ(erp_table->table, d->table);
    const erp::ListMethodDef* list = erp_table->FindList(d->list.method);
    ASSERT_NE(list, nullptr) << d->list.method;
    EXPECT_EQ(list->bounds.size() * 2, d->list.args.size());
    for (const ColumnMapping& c : d->fill_row.columns) {
      EXPECT_TRUE(erp_table->GetterField(c.getter).has_value()) << c.getter;
    }
    for (const auto* keys : {&d->delete_key, &d->select_key}) {
      for (const KeyColumn& k : *keys) {
        EXPECT_TRUE(erp_table->GetterField(k.getter).has_value()) << k.getter;
      }
    }
    for (const KeyParameter& p : d->key_parameters) {
      EXPECT_TRUE(erp_table->FieldIndex(p.field).has_value()) << p.field;
    }
    for (std::string_view f : d->output_fields) {
      EXPECT_TRUE(erp_table->FieldIndex(f).has_value()) << f;
    }
    // The local table has every filled column, and its key is what the key clauses name.
    std::vector<std::string> local_columns;
    for (const auto& c : local->TableColumns(std::string(d->table)))
      local_columns.push_back(c.name);
    std::vector<std::string> filled;
    for (const ColumnMapping& c : d->fill_row.columns) {
      EXPECT_TRUE(Contains(local_columns, c.column)) << c.column;
      filled.emplace_back(c.column);
    }
    std::vector<std::string> primary_key = local->PrimaryKey(std::string(d->table));
    ASSERT_EQ(d->select_key.size(), primary_key.size());
    ASSERT_EQ(d->delete_key.size(), primary_key.size());
    for (std::size_t i = 0; i < primary_key.size(); ++i) {
      EXPECT_TRUE(EqualsIgnoreCase(d->select_key[i].column, primary_key[i]));
      EXPECT_TRUE(EqualsIgnoreCase(d->delete_key[i].column, primary_key[i]));
      EXPECT_TRUE(Contains(filled, primary_key[i])) << "the key " << primary_key[i] << " is filled";
    }
  }
}

}  // namespace
}  // namespace qor::worker::tables
