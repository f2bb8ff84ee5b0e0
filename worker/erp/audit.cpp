#include "worker/erp/audit.h"

#include "common/error.h"
#include "common/text.h"
#include "worker/erp/java_date.h"

namespace qor::erp {
namespace {

void ExpectArguments(const Object& o, std::string_view member, std::span<const Value> args,
                     std::size_t count) {
  if (args.size() != count) {
    ThrowWrongArguments(o.class_id(), member,
                        "it takes " + std::to_string(count) + " argument" +
                            (count == 1 ? "" : "s") + ", not " + std::to_string(args.size()));
  }
}

// An instant from a Java date, a local date-time or its ISO text.
std::int64_t InstantArgument(const Object& o, std::string_view member, const Value& v) {
  if (const ObjectPtr& object = v.object()) {
    if (auto* date = dynamic_cast<JavaDate*>(object.get())) return date->epoch_seconds();
    ThrowWrongArguments(o.class_id(), member,
                        "expected a date, got an object of class '" + object->class_id() + "'");
  }
  try {
    if (v.IsNull()) throw Error(kErpWrongArguments, "ERP", "Null is no date");
    return InstantOfLocal(v.variant().ToDateTime());
  } catch (const Error& e) {
    ThrowWrongArguments(o.class_id(), member, "expected a date: " + e.description());
  }
}

Value DateOrNull(const std::optional<std::int64_t>& instant) {
  if (!instant) return Value();
  return Value(ObjectPtr(std::make_shared<JavaDate>(*instant * 1000)));
}

}  // namespace

const std::string& AuditPeriod::class_id() const {
  static const std::string id = kClassId;
  return id;
}

Value AuditPeriod::Call(std::string_view name, std::span<const Value> args) {
  std::string key = ToLower(name);
  if (key == "setfrom" || key == "setto") {
    ExpectArguments(*this, name, args, 1);
    (key == "setfrom" ? from_ : to_) = InstantArgument(*this, name, args[0]);
    return Value();
  }
  if (key == "getfrom" || key == "getto") {
    ExpectArguments(*this, name, args, 0);
    return DateOrNull(key == "getfrom" ? from_ : to_);
  }
  ThrowUnknownMember(class_id(), name);
}

const std::string& AuditParameter::class_id() const {
  static const std::string id = kClassId;
  return id;
}

Value AuditParameter::Call(std::string_view name, std::span<const Value> args) {
  std::string key = ToLower(name);
  if (key == "setfieldname") {
    ExpectArguments(*this, name, args, 1);
    field_name_ = Trim(args[0].variant().ToText());
    return Value();
  }
  if (key == "setfrom" || key == "setto") {
    ExpectArguments(*this, name, args, 1);
    (key == "setfrom" ? from_ : to_) = args[0];
    return Value();
  }
  if (key == "getfieldname" || key == "getfrom" || key == "getto") {
    ExpectArguments(*this, name, args, 0);
    if (key == "getfieldname") return Value(field_name_);
    return key == "getfrom" ? from_ : to_;
  }
  ThrowUnknownMember(class_id(), name);
}

const std::string& AuditCriteria::class_id() const {
  static const std::string id = kClassId;
  return id;
}

Value AuditCriteria::Call(std::string_view name, std::span<const Value> args) {
  std::string key = ToLower(name);
  if (key == "setperiod") {
    ExpectArguments(*this, name, args, 1);
    period_ = ObjectArgument<AuditPeriod>(*this, name, args, 0, "an audit.period");
    return Value();
  }
  if (key == "addparameter") {
    ExpectArguments(*this, name, args, 1);
    parameters_.push_back(
        ObjectArgument<AuditParameter>(*this, name, args, 0, "an audit.Parameter"));
    return Value();
  }
  if (key == "addoutputfield") {
    ExpectArguments(*this, name, args, 1);
    output_fields_.push_back(Trim(args[0].variant().ToText()));
    return Value();
  }
  ThrowUnknownMember(class_id(), name);
}

const std::string& AuditTuple::class_id() const {
  static const std::string id = kClassId;
  return id;
}

Value AuditTuple::Call(std::string_view name, std::span<const Value>) {
  ThrowUnknownMember(class_id(), name);
}

const std::string& ChangeRecord::class_id() const {
  static const std::string id = kClassId;
  return id;
}

Value ChangeRecord::Call(std::string_view name, std::span<const Value> args) {
  std::string key = ToLower(name);
  if (key == "gettuple") {
    ExpectArguments(*this, name, args, 0);
    return Value(ObjectPtr(tuple_));
  }
  if (key == "gettime") {
    ExpectArguments(*this, name, args, 0);
    return DateOrNull(instant_);
  }
  ThrowUnknownMember(class_id(), name);
}

const std::string& RecordStatus::class_id() const {
  static const std::string id = kClassId;
  return id;
}

Value RecordStatus::Call(std::string_view name, std::span<const Value> args) {
  std::string key = ToLower(name);
  ChangeKind wanted;
  if (key == "isdeleted") {
    wanted = ChangeKind::kDeleted;
  } else if (key == "isinserted") {
    wanted = ChangeKind::kInserted;
  } else if (key == "isupdated") {
    wanted = ChangeKind::kUpdated;
  } else {
    ThrowUnknownMember(class_id(), name);
  }
  ExpectArguments(*this, name, args, 1);
  auto record = ObjectArgument<ChangeRecord>(*this, name, args, 0, "a change record");
  return Value(record->kind() == wanted);
}

}  // namespace qor::erp
