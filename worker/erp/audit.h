// The audit classes that describe which changes to read ("audit.period", "audit.Parameter",
// "audit.auditCriteria"), the change records a reader gives and "audit.RecordStatus". They
// only hold what they are told; a reader (the store's, or a test's fake) interprets them.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "worker/erp/component.h"

namespace qor::erp {

// The class identifier of the audit reader, which the store (or a test's fake) provides.
inline constexpr const char* kAuditReaderClassId = "audit.AuditReader";

// The changes between two instants, both included, to the second: a change at exactly the
// start or exactly the end belongs to the period. The next period may start where this one
// ended; the change at that second is then read twice, which is harmless because a change
// record carries the values captured at the change.
class AuditPeriod : public Object {
 public:
  static constexpr const char* kClassId = "audit.period";
  const std::string& class_id() const override;
  // setFrom(date), setTo(date): a Java date, a date-time (local) or an ISO 8601 text;
  // getFrom, getTo give Java dates (Null when not set).
  Value Call(std::string_view name, std::span<const Value> args) override;
  using Object::Call;

  // Whole seconds since 1970-01-01 UTC (fractions cut); nothing when not set.
  std::optional<std::int64_t> from() const { return from_; }
  std::optional<std::int64_t> to() const { return to_; }

 private:
  std::optional<std::int64_t> from_;
  std::optional<std::int64_t> to_;
};

// A range of one field that limits the changes: the field code and its two bounds, compared as
// a list method's range (field_range.h).
class AuditParameter : public Object {
 public:
  static constexpr const char* kClassId = "audit.Parameter";
  const std::string& class_id() const override;
  // setFieldName(code), setFrom(value), setTo(value); getFieldName, getFrom, getTo.
  Value Call(std::string_view name, std::span<const Value> args) override;
  using Object::Call;

  const std::string& field_name() const { return field_name_; }
  const Value& from() const { return from_; }
  const Value& to() const { return to_; }

 private:
  std::string field_name_;
  Value from_;
  Value to_;
};

// What a reader reads: the period, the key parameters and the output fields. It keeps the
// period and parameter objects themselves, as the ERP's runtime does: a parameter changed
// after addParameter counts with its new values when a reader is next initialized. Several
// parameters must all hold (one field named twice gives the values within both ranges).
class AuditCriteria : public Object {
 public:
  static constexpr const char* kClassId = "audit.auditCriteria";
  const std::string& class_id() const override;
  // setPeriod(period), addParameter(parameter), addOutputField(field code).
  Value Call(std::string_view name, std::span<const Value> args) override;
  using Object::Call;

  const std::shared_ptr<AuditPeriod>& period() const { return period_; }
  const std::vector<std::shared_ptr<AuditParameter>>& parameters() const { return parameters_; }
  const std::vector<std::string>& output_fields() const { return output_fields_; }

 private:
  std::shared_ptr<AuditPeriod> period_;
  std::vector<std::shared_ptr<AuditParameter>> parameters_;
  std::vector<std::string> output_fields_;
};

enum class ChangeKind { kInserted, kUpdated, kDeleted };

// What a change record hands to the reader's getCurrentObject.
class AuditTuple : public Object {
 public:
  static constexpr const char* kClassId = "audit.Tuple";
  explicit AuditTuple(ObjectPtr current) : current_(std::move(current)) {}
  const std::string& class_id() const override;
  Value Call(std::string_view name, std::span<const Value> args) override;  // no members
  using Object::Call;
  const ObjectPtr& current() const { return current_; }

 private:
  ObjectPtr current_;
};

// One change, as a reader's nextElement gives it.
class ChangeRecord : public Object {
 public:
  static constexpr const char* kClassId = "audit.ChangeRecord";
  ChangeRecord(ChangeKind kind, std::int64_t instant, ObjectPtr current)
      : kind_(kind), instant_(instant), tuple_(std::make_shared<AuditTuple>(std::move(current))) {}
  const std::string& class_id() const override;
  // getTuple; getTime (a Java date of the change's instant).
  Value Call(std::string_view name, std::span<const Value> args) override;
  using Object::Call;

  ChangeKind kind() const { return kind_; }
  std::int64_t instant() const { return instant_; }
  const std::shared_ptr<AuditTuple>& tuple() const { return tuple_; }

 private:
  ChangeKind kind_;
  std::int64_t instant_;
  std::shared_ptr<AuditTuple> tuple_;
};

// isDeleted(record), isInserted(record), isUpdated(record): Booleans for a change record.
class RecordStatus : public Object {
 public:
  static constexpr const char* kClassId = "audit.RecordStatus";
  const std::string& class_id() const override;
  Value Call(std::string_view name, std::span<const Value> args) override;
  using Object::Call;
};

// The object argument `index` of a call, cast to T; an Error naming class and member when it
// is missing or of another class.
template <typename T>
std::shared_ptr<T> ObjectArgument(const Object& callee, std::string_view member,
                                  std::span<const Value> args, std::size_t index,
                                  const char* expected) {
  if (index >= args.size() || !args[index].object()) {
    ThrowWrongArguments(callee.class_id(), member, std::string("expected ") + expected);
  }
  auto cast = std::dynamic_pointer_cast<T>(args[index].object());
  if (!cast) {
    ThrowWrongArguments(callee.class_id(), member,
                        std::string("expected ") + expected + ", got an object of class '" +
                            args[index].object()->class_id() + "'");
  }
  return cast;
}

}  // namespace qor::erp
