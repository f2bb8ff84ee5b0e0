// A scriptable stand-in for the ERP component layer, for unit tests of the copies.
//
// A test declares per manager class identifier what its list methods give (rows, or Null for
// "nothing"), which changes an audit reader initialized with that manager gives, and which
// call fails; then it hands the factory to the code under test and asserts on the calls that
// were made:
//
//   FakeComponentFactory erp;
//   erp.Script("ServiceCenters.ServiceCentersManager")
//       .OnList("List", {{{"getServiceCentersCode", "SC1"}, {"getdescription", "Main"}}})
//       .FailAtGetter("getdescription", 2)
//       .SetChanges({{ChangeKind::kUpdated, {{"getServiceCentersCode", "SC1"}}}});
//   ... run the copy with `erp` ...
//   EXPECT_EQ(erp.CallsTo("ServiceCenters.ServiceCentersManager", "List").back(),
//             (std::vector<Value>{"SC1", "SC1"}));
//
// Elements and current objects answer the getters their row names (any case). A getter that the
// ERP catalogue knows for the element's class but the row leaves out gives Null, as the audit
// reader's current object does for fields it did not capture; any other member is unknown.
// "java:java.util.Date" gives a real Java date; the audit classes keep what they are told, as
// the real ones do. Every call on a fake object is recorded, in order.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "common/date_time.h"
#include "worker/erp/audit.h"
#include "worker/erp/component.h"

namespace qor::erp {

// The getters of one record and their values, as (getter name, value) pairs.
using FakeRow = std::vector<std::pair<std::string, Value>>;

struct FakeChange {
  ChangeKind kind = ChangeKind::kUpdated;
  FakeRow current;  // the current object's getters
};

// What an audit reader was initialized with.
struct AuditRequest {
  struct Parameter {
    std::string field;
    Value from;
    Value to;
  };
  std::optional<std::int64_t> from;  // the period, in seconds since 1970 (nothing when unset)
  std::optional<std::int64_t> to;
  std::vector<Parameter> parameters;
  std::vector<std::string> output_fields;
};

// A call made on a fake object.
struct RecordedCall {
  std::string class_id;
  int instance = 0;    // which object of that class: 1 for the first one created
  std::string member;  // as called
  std::vector<Value> args;
};

// The error that injected faults raise.
inline constexpr const char* kFakeFaultSource = "ERP fake";

class FakeClassScript {
 public:
  using ListFunction = std::function<std::optional<std::vector<FakeRow>>(std::span<const Value>)>;
  using ChangesFunction = std::function<std::vector<FakeChange>(const AuditRequest&)>;

  // Every call of the list method (any case) gives an enumeration of these rows; an empty
  // vector gives an empty enumeration.
  FakeClassScript& OnList(const std::string& method, std::vector<FakeRow> rows);
  // The result depends on the call's arguments; nothing (std::nullopt) gives Null.
  FakeClassScript& OnListCall(const std::string& method, ListFunction result);
  // The list method gives Null ("nothing to list").
  FakeClassScript& ListReturnsNothing(const std::string& method);

  // The changes that a reader initialized with this manager gives, from the first on each
  // initialize.
  FakeClassScript& SetChanges(std::vector<FakeChange> changes);
  // The changes depend on the criteria (a calendar loop reads one calendar per initialize).
  FakeClassScript& OnChanges(ChangesFunction changes);

  // Faults, counted over all objects this manager made (its enumerations, elements and the
  // readers initialized with it). n counts from 1.
  // The n-th nextElement of the manager's enumerations raises an error.
  FakeClassScript& FailAtNextElement(int n);
  // The n-th call of that getter (any case) on the manager's elements and current objects.
  FakeClassScript& FailAtGetter(const std::string& getter, int n);
  // A reader gives k change records; asked for the next one it raises an error (its
  // hasMoreElements still answers true, as a reader that fails half-way would).
  FakeClassScript& FailReaderAfter(int k);
  // The n-th call of a member of the manager itself (List, initialize, Close ...).
  FakeClassScript& FailAtCall(const std::string& member, int n);

  // The class identifier of the elements (default: the catalogue's business object class of
  // this manager, else "<manager class>.Element").
  FakeClassScript& ElementClass(const std::string& class_id);

 private:
  friend class FakeComponentFactory;
  friend class FakeManager;
  friend class FakeEnumeration;
  friend class FakeElement;
  friend class FakeAuditReader;

  // Raises the injected error when the counter reaches its fault.
  void Count(const std::string& what, const std::string& class_id);

  std::string class_id_;
  std::string element_class_;
  std::map<std::string, ListFunction> lists_;  // lower-case method name
  ChangesFunction changes_;
  std::map<std::string, int> fail_at_;  // lower-case counter name -> n
  std::map<std::string, int> counts_;
  std::optional<int> reader_fails_after_;
};

class CallLog;
struct TableDef;

class FakeComponentFactory : public ComponentFactory {
 public:
  FakeComponentFactory();
  ~FakeComponentFactory() override;

  // The script of a class identifier (any case), made on first use.
  FakeClassScript& Script(const std::string& class_id);

  // Managers (scripted ones and the catalogue's), the catalogue's business objects, the audit
  // classes and "java:java.util.Date"; anything else raises an Error naming the identifier.
  ObjectPtr Create(std::string_view class_id) override;

  // Every call made on a fake object, in order.
  const std::vector<RecordedCall>& calls() const;
  // The arguments of each call of that member (any case) on objects of that class.
  std::vector<std::vector<Value>> CallsTo(const std::string& class_id,
                                          const std::string& member) const;
  // The requests that readers were initialized with, in order.
  const std::vector<AuditRequest>& audit_requests() const;

 private:
  // A new script of a manager class identifier and its catalogue table (nullptr: none).
  static std::shared_ptr<FakeClassScript> NewScript(const std::string& class_id,
                                                    const TableDef* table);

  std::shared_ptr<CallLog> log_;
  std::map<std::string, std::shared_ptr<FakeClassScript>> scripts_;  // lower-case class id
};

// A Java date at that local date-time, as a getter of a fake row returns it.
Value FakeDate(const DateTime& local);

}  // namespace qor::erp
