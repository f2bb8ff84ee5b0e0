#include "worker/erp/fake_components.h"

#include "common/error.h"
#include "common/text.h"
#include "worker/erp/catalogue.h"
#include "worker/erp/java_date.h"

namespace qor::erp {

// The record of calls, shared by the factory and every object it made.
class CallLog {
 public:
  int NextInstance(const std::string& class_id) { return ++instances_[ToLower(class_id)]; }
  void Record(const std::string& class_id, int instance, std::string_view member,
              std::span<const Value> args) {
    calls_.push_back({class_id, instance, std::string(member), {args.begin(), args.end()}});
  }
  std::vector<RecordedCall> calls_;
  std::vector<AuditRequest> requests_;

 private:
  std::map<std::string, int> instances_;
};

namespace {

[[noreturn]] void Inject(const std::string& what, int n, const std::string& class_id) {
  throw Error(
      kErpError, kFakeFaultSource,
      "Injected failure at call " + std::to_string(n) + " of " + what + " (" + class_id + ")");
}

// An audit class that records its calls and otherwise behaves as the real one.
template <typename Base>
class Recorded : public Base {
 public:
  template <typename... A>
  explicit Recorded(std::shared_ptr<CallLog> log, A&&... a)
      : Base(std::forward<A>(a)...),
        log_(std::move(log)),
        instance_(log_->NextInstance(Base::class_id())) {}

  Value Call(std::string_view name, std::span<const Value> args) override {
    log_->Record(Base::class_id(), instance_, name, args);
    return Base::Call(name, args);
  }
  using Object::Call;

 private:
  std::shared_ptr<CallLog> log_;
  int instance_;
};

// The base of the fake's own classes: records every call, then dispatches.
class FakeObject : public Object {
 public:
  FakeObject(std::shared_ptr<CallLog> log, std::string class_id)
      : log_(std::move(log)),
        class_id_(std::move(class_id)),
        instance_(log_->NextInstance(class_id_)) {}

  const std::string& class_id() const override { return class_id_; }
  Value Call(std::string_view name, std::span<const Value> args) final {
    log_->Record(class_id_, instance_, name, args);
    return Dispatch(ToLower(name), name, args);
  }
  using Object::Call;

 protected:
  virtual Value Dispatch(const std::string& key, std::string_view name,
                         std::span<const Value> args) = 0;
  const std::shared_ptr<CallLog>& log() const { return log_; }

 private:
  std::shared_ptr<CallLog> log_;
  std::string class_id_;
  int instance_;
};

}  // namespace

void FakeClassScript::Count(const std::string& what, const std::string& class_id) {
  std::string key = ToLower(what);
  int n = ++counts_[key];
  auto it = fail_at_.find(key);
  if (it != fail_at_.end() && it->second == n) Inject(what, n, class_id);
}

FakeClassScript& FakeClassScript::OnList(const std::string& method, std::vector<FakeRow> rows) {
  lists_[ToLower(method)] = [rows = std::move(rows)](std::span<const Value>) {
    return std::optional<std::vector<FakeRow>>(rows);
  };
  return *this;
}

FakeClassScript& FakeClassScript::OnListCall(const std::string& method, ListFunction result) {
  lists_[ToLower(method)] = std::move(result);
  return *this;
}

FakeClassScript& FakeClassScript::ListReturnsNothing(const std::string& method) {
  lists_[ToLower(method)] = [](std::span<const Value>) {
    return std::optional<std::vector<FakeRow>>();
  };
  return *this;
}

FakeClassScript& FakeClassScript::SetChanges(std::vector<FakeChange> changes) {
  changes_ = [changes = std::move(changes)](const AuditRequest&) { return changes; };
  return *this;
}

FakeClassScript& FakeClassScript::OnChanges(ChangesFunction changes) {
  changes_ = std::move(changes);
  return *this;
}

FakeClassScript& FakeClassScript::FailAtNextElement(int n) {
  fail_at_["nextelement"] = n;
  return *this;
}

FakeClassScript& FakeClassScript::FailAtGetter(const std::string& getter, int n) {
  fail_at_["getter:" + ToLower(getter)] = n;
  return *this;
}

FakeClassScript& FakeClassScript::FailReaderAfter(int k) {
  reader_fails_after_ = k;
  return *this;
}

FakeClassScript& FakeClassScript::FailAtCall(const std::string& member, int n) {
  fail_at_["call:" + ToLower(member)] = n;
  return *this;
}

FakeClassScript& FakeClassScript::ElementClass(const std::string& class_id) {
  element_class_ = class_id;
  return *this;
}

// An element of a list or a reader's current object.
class FakeElement : public FakeObject {
 public:
  FakeElement(std::shared_ptr<CallLog> log, std::shared_ptr<FakeClassScript> script, FakeRow row)
      : FakeObject(std::move(log), script->element_class_),
        script_(std::move(script)),
        row_(std::move(row)),
        table_(FindTableByObject(class_id())) {}

 protected:
  Value Dispatch(const std::string& key, std::string_view name,
                 std::span<const Value> args) override {
    const Value* found = nullptr;
    for (const auto& [getter, value] : row_) {
      if (EqualsIgnoreCase(getter, name)) found = &value;
    }
    bool known = found != nullptr || (table_ && table_->GetterField(name));
    if (!known) ThrowUnknownMember(class_id(), name);
    if (!args.empty()) ThrowWrongArguments(class_id(), name, "a getter takes no arguments");
    script_->Count("getter:" + key, class_id());
    return found ? *found : Value();
  }

 private:
  std::shared_ptr<FakeClassScript> script_;
  FakeRow row_;
  const TableDef* table_;  // the catalogue's table of the class, if any
};

class FakeEnumeration : public FakeObject {
 public:
  FakeEnumeration(std::shared_ptr<CallLog> log, std::shared_ptr<FakeClassScript> script,
                  std::vector<FakeRow> rows)
      : FakeObject(std::move(log), kEnumerationClassId),
        script_(std::move(script)),
        rows_(std::move(rows)) {}

 protected:
  Value Dispatch(const std::string& key, std::string_view name,
                 std::span<const Value> args) override {
    if (!args.empty()) ThrowWrongArguments(class_id(), name, "it takes no arguments");
    if (key == "hasmoreelements") return Value(next_ < rows_.size());
    if (key == "nextelement") {
      script_->Count("nextelement", script_->class_id_);
      if (next_ >= rows_.size()) {
        throw Error(kErpError, "ERP", class_id() + ".nextElement: there are no more elements");
      }
      return Value(ObjectPtr(std::make_shared<FakeElement>(log(), script_, rows_[next_++])));
    }
    ThrowUnknownMember(class_id(), name);
  }

 private:
  std::shared_ptr<FakeClassScript> script_;
  std::vector<FakeRow> rows_;
  std::size_t next_ = 0;
};

class FakeManager : public FakeObject {
 public:
  FakeManager(std::shared_ptr<CallLog> log, std::shared_ptr<FakeClassScript> script)
      : FakeObject(std::move(log), script->class_id_),
        script_(std::move(script)),
        table_(FindTableByManager(class_id())) {}

  const std::shared_ptr<FakeClassScript>& script() const { return script_; }

 protected:
  Value Dispatch(const std::string& key, std::string_view name,
                 std::span<const Value> args) override {
    script_->Count("call:" + key, class_id());
    if (key == "initialize" || key == "close") return Value();
    // A list method of the catalogue takes its range arguments, scripted or not.
    const ListMethodDef* def = table_ ? table_->FindList(name) : nullptr;
    if (def) CheckRangeArguments(class_id(), name, def->bounds.size(), args.size());
    auto list = script_->lists_.find(key);
    if (list != script_->lists_.end()) {
      std::optional<std::vector<FakeRow>> rows = list->second(args);
      if (!rows) return Value();
      return Value(ObjectPtr(std::make_shared<FakeEnumeration>(log(), script_, std::move(*rows))));
    }
    // An unscripted list method of the catalogue lists nothing.
    if (def) {
      return Value(
          ObjectPtr(std::make_shared<FakeEnumeration>(log(), script_, std::vector<FakeRow>())));
    }
    ThrowUnknownMember(class_id(), name);
  }

 private:
  std::shared_ptr<FakeClassScript> script_;
  const TableDef* table_;  // the catalogue's table of the class, if any
};

class FakeAuditReader : public FakeObject {
 public:
  explicit FakeAuditReader(std::shared_ptr<CallLog> log)
      : FakeObject(std::move(log), kAuditReaderClassId) {}

 protected:
  Value Dispatch(const std::string& key, std::string_view name,
                 std::span<const Value> args) override {
    if (key == "initialize") {
      if (args.size() != 3) {
        ThrowWrongArguments(class_id(), name, "it takes manager, business object and criteria");
      }
      auto manager = ObjectArgument<FakeManager>(*this, name, args, 0, "a fake manager");
      auto criteria = ObjectArgument<AuditCriteria>(*this, name, args, 2, "an audit.auditCriteria");
      AuditRequest request;
      if (criteria->period()) {
        request.from = criteria->period()->from();
        request.to = criteria->period()->to();
      }
      for (const auto& p : criteria->parameters()) {
        request.parameters.push_back({p->field_name(), p->from(), p->to()});
      }
      request.output_fields = criteria->output_fields();
      log()->requests_.push_back(request);
      script_ = manager->script();
      changes_ = script_->changes_ ? script_->changes_(request) : std::vector<FakeChange>();
      next_ = 0;
      return Value();
    }
    if (key == "getcurrentobject") {
      if (args.size() != 1) ThrowWrongArguments(class_id(), name, "it takes a tuple");
      return Value(ObjectArgument<AuditTuple>(*this, name, args, 0, "a tuple")->current());
    }
    if (!script_) throw Error(kErpError, "ERP", class_id() + ": the reader is not initialized");
    std::optional<int> fails_after = script_->reader_fails_after_;
    if (key == "hasmoreelements") {
      return Value(next_ < changes_.size() ||
                   (fails_after && static_cast<std::size_t>(*fails_after) == next_));
    }
    if (key == "nextelement") {
      if (fails_after && static_cast<std::size_t>(*fails_after) == next_) {
        Inject("the audit reader's nextElement", *fails_after + 1, script_->class_id_);
      }
      if (next_ >= changes_.size()) {
        throw Error(kErpError, "ERP", class_id() + ".nextElement: there are no more elements");
      }
      const FakeChange& change = changes_[next_++];
      auto current = std::make_shared<FakeElement>(log(), script_, change.current);
      return Value(
          ObjectPtr(std::make_shared<Recorded<ChangeRecord>>(log(), change.kind, 0, current)));
    }
    ThrowUnknownMember(class_id(), name);
  }

 private:
  std::shared_ptr<FakeClassScript> script_;
  std::vector<FakeChange> changes_;
  std::size_t next_ = 0;
};

FakeComponentFactory::FakeComponentFactory() : log_(std::make_shared<CallLog>()) {}
FakeComponentFactory::~FakeComponentFactory() = default;

std::shared_ptr<FakeClassScript> FakeComponentFactory::NewScript(const std::string& class_id,
                                                                 const TableDef* table) {
  auto script = std::make_shared<FakeClassScript>();
  script->class_id_ = table ? table->manager_class : class_id;
  script->element_class_ = table ? table->object_class : script->class_id_ + ".Element";
  return script;
}

FakeClassScript& FakeComponentFactory::Script(const std::string& class_id) {
  std::shared_ptr<FakeClassScript>& script = scripts_[ToLower(Trim(class_id))];
  if (!script) script = NewScript(Trim(class_id), FindTableByManager(class_id));
  return *script;
}

ObjectPtr FakeComponentFactory::Create(std::string_view raw) {
  std::string id = Trim(raw);
  std::string key = ToLower(id);
  auto scripted = scripts_.find(key);
  if (scripted == scripts_.end()) {
    if (const TableDef* table = FindTableByManager(id)) {
      scripted = scripts_.emplace(key, NewScript(id, table)).first;
    }
  }
  if (scripted != scripts_.end()) return std::make_shared<FakeManager>(log_, scripted->second);
  if (const TableDef* table = FindTableByObject(id)) {
    auto script = std::make_shared<FakeClassScript>();
    script->class_id_ = script->element_class_ = table->object_class;
    return std::make_shared<FakeElement>(log_, script, FakeRow());
  }
  if (EqualsIgnoreCase(id, AuditCriteria::kClassId))
    return std::make_shared<Recorded<AuditCriteria>>(log_);
  if (EqualsIgnoreCase(id, AuditPeriod::kClassId))
    return std::make_shared<Recorded<AuditPeriod>>(log_);
  if (EqualsIgnoreCase(id, AuditParameter::kClassId)) {
    return std::make_shared<Recorded<AuditParameter>>(log_);
  }
  if (EqualsIgnoreCase(id, RecordStatus::kClassId))
    return std::make_shared<Recorded<RecordStatus>>(log_);
  if (EqualsIgnoreCase(id, kAuditReaderClassId)) return std::make_shared<FakeAuditReader>(log_);
  if (EqualsIgnoreCase(id, JavaDate::kClassId)) return JavaDate::Now();
  throw Error(kErpUnknownClass, "ERP",
              "No component has the class identifier '" + std::string(raw) + "'");
}

const std::vector<RecordedCall>& FakeComponentFactory::calls() const { return log_->calls_; }

std::vector<std::vector<Value>> FakeComponentFactory::CallsTo(const std::string& class_id,
                                                              const std::string& member) const {
  std::vector<std::vector<Value>> out;
  for (const RecordedCall& c : log_->calls_) {
    if (EqualsIgnoreCase(c.class_id, class_id) && EqualsIgnoreCase(c.member, member)) {
      out.push_back(c.args);
    }
  }
  return out;
}

const std::vector<AuditRequest>& FakeComponentFactory::audit_requests() const {
  return log_->requests_;
}

Value FakeDate(const DateTime& local) { return Value(ObjectPtr(JavaDate::FromLocal(local))); }

}  // namespace qor::erp
