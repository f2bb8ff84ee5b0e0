// The ERP catalogue: the one description of the seventeen ERP tables that the component
// layer serves. Managers, enumerations, business objects, the audit classes, the store's
// tables and triggers and the simulator's data all interpret it; no component has code of
// its own for a table.
#pragma once

#include <cstddef>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qor::erp {

// How a field is stored and what its getter returns.
enum class FieldType {
  kText,      // varchar(length); the getter gives text
  kSmallInt,  // 16-bit whole number (yes/no fields: 1 yes, 2 no)
  kInteger,   // 32-bit whole number
  kDouble,    // floating point
  kDateTime,  // local date and time; the getter gives a Java date ("java:java.util.Date")
  kDate,      // a date without time of day; the getter gives the date-time at midnight
  kHhmm,      // a time of day as the whole number hours * 100 + minutes, 2400 ending the day
};

bool IsNumeric(FieldType type);
const char* FieldTypeName(FieldType type);

struct FieldDef {
  std::string code;  // the ERP's field code, also the store's column name
  FieldType type = FieldType::kText;
  int length = 0;  // characters, for kText
};

struct GetterDef {
  std::string name;   // as the copies call it ("getServiceType"); matched without regard to case
  std::string field;  // the field code it reads
};

// A list method of a manager. It takes two arguments, a lowest and a highest value, per
// bounded field, in the order of `bounds`.
struct ListMethodDef {
  std::string name;
  std::vector<std::string> bounds;  // field codes
};

// Orders names without regard to case, folding letters as ToLower (common/text.h) does. It
// is transparent: a map ordered by it finds a string_view without making a string of it.
struct LessIgnoreCase {
  using is_transparent = void;
  bool operator()(std::string_view a, std::string_view b) const;
};

struct TableDef {
  std::string table;  // the ERP table, the store's table and the local table
  std::string manager_class;
  std::string object_class;
  std::vector<FieldDef> fields;  // in the store's column order
  std::vector<std::string> keys;
  std::vector<ListMethodDef> lists;
  std::vector<GetterDef> getters;

  // Index of the field with that code (any case), or nothing.
  std::optional<std::size_t> FieldIndex(std::string_view code) const;
  // The field a getter reads (getter name in any case), or nothing.
  std::optional<std::size_t> GetterField(std::string_view getter) const;
  const ListMethodDef* FindList(std::string_view name) const;
  // Indexes of the key fields, in key order.
  const std::vector<std::size_t>& key_indexes() const { return key_indexes_; }
  bool IsKey(std::size_t field) const;

  // Fills the lookups below from the description; ErpCatalogue() has called it.
  void Index();

  // Lookups (computed by Index, not part of the description).
  std::map<std::string, std::size_t, LessIgnoreCase> field_index_;   // by code
  std::map<std::string, std::size_t, LessIgnoreCase> getter_field_;  // by getter name
  std::vector<std::size_t> key_indexes_;
};

// The seventeen tables, in the order of the console's catalogue groups.
const std::vector<TableDef>& ErpCatalogue();
// Lookups without regard to case; nullptr when no table matches.
const TableDef* FindTable(std::string_view table);
const TableDef* FindTableByManager(std::string_view class_id);
const TableDef* FindTableByObject(std::string_view class_id);

// Problems of the catalogue's description (a key or bound that is no field, a getter of an
// unknown field, a name used twice); empty when it holds together.
std::vector<std::string> CheckCatalogue(const std::vector<TableDef>& tables);

}  // namespace qor::erp
