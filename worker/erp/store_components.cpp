#include "worker/erp/store_components.h"

#include <nlohmann/json.hpp>

#include "common/error.h"
#include "common/text.h"
#include "worker/erp/audit.h"
#include "worker/erp/directory.h"
#include "worker/erp/field_range.h"
#include "worker/erp/java_date.h"
#include "worker/erp/record_object.h"
#include "worker/localdb/statement.h"

namespace qor::erp {
namespace {

void ExpectNoArguments(const Object& o, std::string_view member, std::span<const Value> args) {
  if (!args.empty()) ThrowWrongArguments(o.class_id(), member, "it takes no arguments");
}

// A query on the session's connection whose result is read row by row.
std::unique_ptr<localdb::Statement> OpenStreamingQuery(StoreSession& session,
                                                       const std::string& sql,
                                                       const std::vector<Variant>& parameters) {
  auto statement = std::make_unique<localdb::Statement>(session.connection());
  statement->ExecuteStreaming(sql, parameters);
  return statement;
}

// Ahead-reading over a source of items: `hasMoreElements` fetches the next item once and
// keeps it until `nextElement` takes it.
class Enumeration : public Object {
 public:
  Value Call(std::string_view name, std::span<const Value> args) override {
    std::string key = ToLower(name);
    if (key == "hasmoreelements") {
      ExpectNoArguments(*this, name, args);
      return Value(HasMore());
    }
    if (key == "nextelement") {
      ExpectNoArguments(*this, name, args);
      if (!HasMore()) {
        throw Error(kErpError, "ERP", class_id() + ".nextElement: there are no more elements");
      }
      return Value(std::move(ahead_));
    }
    return CallOther(name, key, args);
  }
  using Object::Call;

 protected:
  // The next item, or nullptr at the end.
  virtual ObjectPtr Fetch() = 0;
  virtual Value CallOther(std::string_view name, const std::string&, std::span<const Value>) {
    ThrowUnknownMember(class_id(), name);
  }
  void Reset() {
    ahead_.reset();
    done_ = false;
  }

 private:
  bool HasMore() {
    if (!ahead_ && !done_) {
      ahead_ = Fetch();
      done_ = ahead_ == nullptr;
    }
    return ahead_ != nullptr;
  }

  ObjectPtr ahead_;
  bool done_ = false;
};

class StoreEnumeration : public Enumeration {
 public:
  StoreEnumeration(std::shared_ptr<StoreSession> session, const TableDef& table,
                   std::unique_ptr<localdb::Statement> statement)
      : session_(std::move(session)), table_(table), statement_(std::move(statement)) {}

  const std::string& class_id() const override {
    static const std::string id = kEnumerationClassId;
    return id;
  }

 protected:
  ObjectPtr Fetch() override {
    if (!statement_) return nullptr;
    if (!statement_->Fetch()) {
      // Let go of the cursor (and with the last holder, the connection) at once.
      statement_.reset();
      session_.reset();
      return nullptr;
    }
    // The query selects the table's fields in catalogue order.
    return std::make_shared<RecordObject>(table_, statement_->CurrentRow());
  }

 private:
  std::shared_ptr<StoreSession> session_;
  const TableDef& table_;
  std::unique_ptr<localdb::Statement> statement_;
};

class StoreManager : public Object {
 public:
  StoreManager(const TableDef& table, std::shared_ptr<const StoreSettings> settings)
      : table_(table), settings_(std::move(settings)) {}

  const std::string& class_id() const override { return table_.manager_class; }
  const TableDef& table() const { return table_; }

  // REQUIRES: initialize succeeded. Throws Error naming the member otherwise.
  const std::shared_ptr<StoreSession>& session(std::string_view member) const {
    if (!session_) {
      throw Error(kErpError, "ERP",
                  class_id() + "." + std::string(member) +
                      ": the manager is not initialized with a bus component");
    }
    return session_;
  }

  Value Call(std::string_view name, std::span<const Value> args) override {
    std::string key = ToLower(name);
    if (key == "initialize") {
      if (args.size() != 1) ThrowWrongArguments(class_id(), name, "it takes the bus component");
      Initialize(Trim(args[0].variant().ToText()));
      return Value();
    }
    if (key == "close") {
      ExpectNoArguments(*this, name, args);
      session_.reset();
      return Value();
    }
    if (const ListMethodDef* list = table_.FindList(name)) return List(*list, name, args);
    ThrowUnknownMember(class_id(), name);
  }
  using Object::Call;

 private:
  void Initialize(const std::string& bus) {
    std::string connection_string;
    if (settings_->resolve) {
      connection_string = settings_->resolve(bus);
    } else {
      connection_string = LookupErpConnection(bus, settings_->directory);
    }
    session_ = StoreSession::Open(connection_string);
  }

  Value List(const ListMethodDef& list, std::string_view name, std::span<const Value> args) {
    const std::shared_ptr<StoreSession>& session = this->session(name);
    CheckRangeArguments(class_id(), name, list.bounds.size(), args.size());
    std::string where;
    std::vector<Variant> parameters;
    for (std::size_t i = 0; i < list.bounds.size(); ++i) {
      std::size_t field = *table_.FieldIndex(list.bounds[i]);
      FieldRange range(table_, field, args[2 * i], args[2 * i + 1],
                       class_id() + "." + std::string(name));
      if (range.IsEmpty()) return Value();  // nothing can be listed
      where += (where.empty() ? " WHERE " : " AND ") +
               range.SqlCondition(localdb::QuoteName(table_.fields[field].code),
                                  !table_.IsKey(field), parameters);
    }
    auto statement = OpenStreamingQuery(*session,
                                        "SELECT " + ColumnList(table_) + " FROM " + table_.table +
                                            where + " ORDER BY " + KeyList(table_),
                                        parameters);
    return Value(
        ObjectPtr(std::make_shared<StoreEnumeration>(session, table_, std::move(statement))));
  }

  const TableDef& table_;
  std::shared_ptr<const StoreSettings> settings_;
  std::shared_ptr<StoreSession> session_;
};

// The value of a captured JSON field, as the store's column would give it.
Variant FromJson(const nlohmann::json& j, FieldType type) {
  if (j.is_null()) return Variant();
  switch (type) {
    case FieldType::kText:
      if (j.is_string()) return Variant(j.get<std::string>());
      return Variant(j.dump());
    case FieldType::kSmallInt:
    case FieldType::kInteger:
    case FieldType::kHhmm:
      if (j.is_number_integer()) return Variant(j.get<long long>());
      if (j.is_number()) return Variant(static_cast<long long>(j.get<double>()));
      return Variant(Variant(j.get<std::string>()).ToInteger());
    case FieldType::kDouble:
      if (j.is_number()) return Variant(j.get<double>());
      return Variant(Variant(j.get<std::string>()).ToDouble());
    case FieldType::kDateTime:
    case FieldType::kDate: {
      DateTime dt;
      bool has_time = false;
      if (j.is_string() && ParseLenientDate(j.get<std::string>(), dt, has_time)) return Variant(dt);
      throw Error(kErpError, "ERP store", "The audit trail holds no date: " + j.dump());
    }
  }
  return Variant();
}

class StoreAuditReader : public Enumeration {
 public:
  const std::string& class_id() const override {
    static const std::string id = kAuditReaderClassId;
    return id;
  }

 protected:
  Value CallOther(std::string_view name, const std::string& key,
                  std::span<const Value> args) override {
    if (key == "initialize") {
      if (args.size() != 3) {
        ThrowWrongArguments(class_id(), name, "it takes manager, business object and criteria");
      }
      auto manager = ObjectArgument<StoreManager>(*this, name, args, 0, "a manager of the store");
      const ObjectPtr& object = args[1].object();
      if (!object || !EqualsIgnoreCase(object->class_id(), manager->table().object_class)) {
        ThrowWrongArguments(
            class_id(), name,
            "expected a business object of class '" + manager->table().object_class + "'");
      }
      auto criteria = ObjectArgument<AuditCriteria>(*this, name, args, 2, "an audit.auditCriteria");
      Initialize(*manager, *criteria, name);
      return Value();
    }
    if (key == "getcurrentobject") {
      if (args.size() != 1) ThrowWrongArguments(class_id(), name, "it takes a tuple");
      return Value(ObjectArgument<AuditTuple>(*this, name, args, 0, "a tuple")->current());
    }
    ThrowUnknownMember(class_id(), name);
  }

  ObjectPtr Fetch() override {
    if (!statement_) {
      if (!initialized_) {
        throw Error(kErpError, "ERP", class_id() + ": the reader is not initialized");
      }
      return nullptr;
    }
    while (statement_->Fetch()) {
      std::string act = statement_->Get(0).ToText();
      std::int64_t instant = statement_->Get(1).ToInteger();
      std::string text = statement_->Get(2).ToText();
      nlohmann::json record;
      try {
        record = nlohmann::json::parse(text);
      } catch (const nlohmann::json::exception& e) {
        throw Error(kErpError, "ERP store",
                    "The audit trail of " + table_->table +
                        " holds a record that cannot be read: " + e.what());
      }
      std::vector<Variant> values;
      values.reserve(table_->fields.size());
      for (const FieldDef& f : table_->fields) {
        auto it = record.find(f.code);
        values.push_back(it == record.end() ? Variant() : FromJson(*it, f.type));
      }
      bool within = true;
      for (const FieldRange& r : ranges_) within = within && r.Contains(values[r.field()]);
      if (!within) continue;
      ChangeKind kind = act == "D"   ? ChangeKind::kDeleted
                        : act == "I" ? ChangeKind::kInserted
                                     : ChangeKind::kUpdated;
      auto current = std::make_shared<RecordObject>(*table_, std::move(values), visible_);
      return std::make_shared<ChangeRecord>(kind, instant, std::move(current));
    }
    statement_.reset();
    session_.reset();
    return nullptr;
  }

 private:
  void Initialize(const StoreManager& manager, const AuditCriteria& criteria,
                  std::string_view name) {
    std::string what = class_id() + "." + std::string(name);
    const TableDef& table = manager.table();
    std::shared_ptr<StoreSession> session = manager.session(name);
    if (!criteria.period()) throw Error(kErpError, "ERP", what + ": the criteria have no period");
    std::vector<FieldRange> ranges;
    for (const auto& p : criteria.parameters()) {
      std::optional<std::size_t> field = table.FieldIndex(p->field_name());
      if (!field) {
        throw Error(kErpWrongArguments, "ERP",
                    what + ": table " + table.table + " has no field '" + p->field_name() + "'");
      }
      ranges.emplace_back(table, *field, p->from(), p->to(), what);
    }
    std::vector<bool> visible(table.fields.size(), false);
    for (std::size_t k : table.key_indexes()) visible[k] = true;
    for (const std::string& code : criteria.output_fields()) {
      std::optional<std::size_t> field = table.FieldIndex(code);
      if (!field) {
        throw Error(kErpWrongArguments, "ERP",
                    what + ": table " + table.table + " has no output field '" + code + "'");
      }
      visible[*field] = true;
    }

    statement_.reset();
    Reset();
    table_ = &table;
    ranges_ = std::move(ranges);
    visible_ = std::move(visible);
    session_ = session;
    initialized_ = true;
    for (const FieldRange& r : ranges_) {
      if (r.IsEmpty()) return;  // no change can lie within
    }
    std::vector<Variant> parameters = {Variant(table.table)};
    std::string sql = std::string("SELECT act, tm, rec FROM ") + kAuditTable + " WHERE tbl = ?";
    if (auto from = criteria.period()->from()) {
      sql += " AND tm >= ?";
      parameters.emplace_back(static_cast<long long>(*from));
    }
    if (auto to = criteria.period()->to()) {
      sql += " AND tm <= ?";
      parameters.emplace_back(static_cast<long long>(*to));
    }
    statement_ = OpenStreamingQuery(*session_, sql + " ORDER BY seq", parameters);
  }

  const TableDef* table_ = nullptr;
  std::vector<FieldRange> ranges_;
  std::vector<bool> visible_;
  std::shared_ptr<StoreSession> session_;
  std::unique_ptr<localdb::Statement> statement_;
  bool initialized_ = false;
};

}  // namespace

StoreComponentFactory::StoreComponentFactory(StoreSettings settings)
    : settings_(std::make_shared<const StoreSettings>(std::move(settings))) {}

ObjectPtr StoreComponentFactory::Create(std::string_view class_id) {
  std::string id = Trim(class_id);
  if (const TableDef* t = FindTableByManager(id))
    return std::make_shared<StoreManager>(*t, settings_);
  if (const TableDef* t = FindTableByObject(id)) {
    return std::make_shared<RecordObject>(*t, std::vector<Variant>());
  }
  if (EqualsIgnoreCase(id, AuditCriteria::kClassId)) return std::make_shared<AuditCriteria>();
  if (EqualsIgnoreCase(id, AuditPeriod::kClassId)) return std::make_shared<AuditPeriod>();
  if (EqualsIgnoreCase(id, AuditParameter::kClassId)) return std::make_shared<AuditParameter>();
  if (EqualsIgnoreCase(id, kAuditReaderClassId)) return std::make_shared<StoreAuditReader>();
  if (EqualsIgnoreCase(id, RecordStatus::kClassId)) return std::make_shared<RecordStatus>();
  if (EqualsIgnoreCase(id, JavaDate::kClassId)) return JavaDate::Now();
  throw Error(kErpUnknownClass, "ERP",
              "No component has the class identifier '" + std::string(class_id) + "'");
}

}  // namespace qor::erp
