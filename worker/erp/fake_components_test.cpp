#include "worker/erp/fake_components.h"

#include <gtest/gtest.h>

#include <functional>

#include "common/error.h"
#include "worker/erp/java_date.h"

namespace qor::erp {
namespace {

const char* const kCentres = "ServiceCenters.ServiceCentersManager";

// A full copy in miniature: every element's code and description, "|" between elements;
// "nothing" for a Null list result.
std::string ListAll(ComponentFactory& erp, const char* manager_class, const char* method,
                    std::vector<Value> args) {
  ObjectPtr manager = erp.Create(manager_class);
  manager->Call("initialize", {"cn=erp1, o=acme"});
  Value result = manager->Call(method, std::span<const Value>(args));
  if (result.IsNull()) return "nothing";
  std::string out;
  ObjectPtr e = result.object();
  while (e->Call("hasMoreElements").variant().ToBoolean()) {
    ObjectPtr element = e->Call("nextElement").object();
    std::string code = element->Call("GETSERVICECENTERSCODE").variant().ToText();
    out +=
        (out.empty() ? "" : "|") + code + "," + element->Call("getdescription").variant().ToText();
  }
  manager->Call("Close");
  return out;
}

TEST(FakeComponentsTest, ListsGiveWhatTheScriptSays) {
  struct Case {
    const char* name;
    std::function<void(FakeClassScript&)> script;
    std::vector<Value> args;
    std::string expected;
  };
  const FakeRow sc1 = {{"getServiceCentersCode", "SC1"}, {"getdescription", "Main"}};
  const FakeRow sc2 = {{"getServiceCentersCode", "SC2"}};  // description left out: Null
  const Case cases[] = {
      {"rows",
       [&](FakeClassScript& s) {
         s.OnList("List", {sc1, sc2});
       },
       {"", "ZZZZZZZZZ"},
       "SC1,Main|SC2,"},
      {"nothing", [](FakeClassScript& s) { s.ListReturnsNothing("list"); }, {"", "Z"}, "nothing"},
      {"empty enumeration", [](FakeClassScript& s) { s.OnList("List", {}); }, {"", "Z"}, ""},
      {"unscripted catalogue list", [](FakeClassScript&) {}, {"", "Z"}, ""},
      {"by arguments",
       [&](FakeClassScript& s) {
         s.OnListCall("List",
                      [&](std::span<const Value> args) -> std::optional<std::vector<FakeRow>> {
                        if (args[0].variant().ToText() == "SC1") return std::vector<FakeRow>{sc1};
                        return std::nullopt;
                      });
       },
       {"SC1", "SC1"},
       "SC1,Main"},
      {"by other arguments",
       [&](FakeClassScript& s) {
         s.OnListCall("List",
                      [&](std::span<const Value> args) -> std::optional<std::vector<FakeRow>> {
                        if (args[0].variant().ToText() == "SC1") return std::vector<FakeRow>{sc1};
                        return std::nullopt;
                      });
       },
       {"SC9", "SC9"},
       "nothing"},
  };
  for (const Case& c : cases) {
    FakeComponentFactory erp;
    c.script(erp.Script(kCentres));
    EXPECT_EQ(ListAll(erp, kCentres, "List", c.args), c.expected) << c.name;
    // The calls were recorded as made.
    EXPECT_EQ(erp.CallsTo(kCentres, "list"), std::vector<std::vector<Value>>{c.args}) << c.name;
    EXPECT_EQ(erp.CallsTo(kCentres, "initialize"),
              (std::vector<std::vector<Value>>{{Value("cn=erp1, o=acme")}}))
        << c.name;
  }
}

TEST(FakeComponentsTest, FaultsStrikeAtTheirCall) {
  const FakeRow row = {{"getServiceCentersCode", "SC1"}, {"getdescription", "Main"}};
  struct Case {
    const char* name;
    std::function<void(FakeClassScript&)> fault;
    std::string fails_at;  // what ListAll has read when it fails: "" = fails on the first
  };
  const Case cases[] = {
      {"second element", [](FakeClassScript& s) { s.FailAtNextElement(2); }, "SC1,Main"},
      {"first element", [](FakeClassScript& s) { s.FailAtNextElement(1); }, ""},
      {"second description", [](FakeClassScript& s) { s.FailAtGetter("GetDescription", 2); },
       "SC1,Main"},
      {"list call", [](FakeClassScript& s) { s.FailAtCall("List", 1); }, ""},
      {"initialize", [](FakeClassScript& s) { s.FailAtCall("initialize", 1); }, ""},
  };
  for (const Case& c : cases) {
    FakeComponentFactory erp;
    FakeClassScript& script = erp.Script(kCentres).OnList("List", {row, row, row});
    c.fault(script);
    // Read element by element so that the rows read before the fault show.
    std::string read;
    try {
      ObjectPtr manager = erp.Create(kCentres);
      manager->Call("initialize", {"bus"});
      ObjectPtr e = manager->Call("List", {"", "Z"}).object();
      while (e->Call("hasMoreElements").variant().ToBoolean()) {
        ObjectPtr element = e->Call("nextElement").object();
        std::string code = element->Call("getServiceCentersCode").variant().ToText();
        read += (read.empty() ? "" : "|") + code + "," +
                element->Call("getdescription").variant().ToText();
      }
      ADD_FAILURE() << c.name << ": no failure";
    } catch (const Error& e) {
      EXPECT_EQ(e.source(), kFakeFaultSource) << c.name;
      EXPECT_EQ(read, c.fails_at) << c.name;
    }
  }
}

TEST(FakeComponentsTest, GettersAndClassesAreChecked) {
  FakeComponentFactory erp;
  erp.Script(kCentres).OnList("List", {{{"getServiceCentersCode", "SC1"}, {"getExtra", 7}}});
  ObjectPtr element =
      erp.Create(kCentres)->Call("List", {"", "Z"}).object()->Call("nextElement").object();
  EXPECT_EQ(element->class_id(), "ServiceCenters.ServiceCenters");
  EXPECT_EQ(element->Call("getExtra").variant(), Variant(7));  // named by the row
  EXPECT_TRUE(element->Call("getLaborRate").IsNull());         // known to the catalogue
  struct Case {
    std::function<void()> call;
    long number;
    const char* mentions;
  };
  const Case cases[] = {
      {[&] { element->Call("getNothing"); }, kErpUnknownMember, "getNothing"},
      {[&] { erp.Create("Nothing.NothingManager"); }, kErpUnknownClass, "Nothing.NothingManager"},
      {[&] {
         erp.Create(kCentres)->Call("List", {"", "Z", "extra"});
       },
       kErpWrongArguments, "List"},
      {[&] { erp.Create(kCentres)->Call("Remove"); }, kErpUnknownMember, "Remove"},
  };
  for (const Case& c : cases) {
    try {
      c.call();
      ADD_FAILURE() << c.mentions << ": no failure";
    } catch (const Error& e) {
      EXPECT_EQ(e.number(), c.number) << e.description();
      EXPECT_NE(e.description().find(c.mentions), std::string::npos) << e.description();
    }
  }
  // Scripted classes outside the catalogue exist too.
  erp.Script("Test.Manager").OnList("Fetch", {{{"getA", 1}}});
  ObjectPtr other =
      erp.Create("test.manager")->Call("fetch").object()->Call("nextElement").object();
  EXPECT_EQ(other->class_id(), "Test.Manager.Element");
  EXPECT_EQ(other->Call("geta").variant(), Variant(1));
}

// A changed-data copy in miniature: "status:code" per change.
std::vector<std::string> ReadChanges(FakeComponentFactory& erp, const char* code) {
  ObjectPtr manager = erp.Create(kCentres);
  manager->Call("initialize", {"bus"});
  ObjectPtr parameter = erp.Create("audit.Parameter");
  parameter->Call("setFieldName", {"cwoc"});
  parameter->Call("setFrom", {code});
  parameter->Call("setTo", {code});
  ObjectPtr period = erp.Create("audit.period");
  period->Call("setFrom", {FakeDate(DateTime::FromCivil(2024, 3, 1))});
  period->Call("setTo", {FakeDate(DateTime::FromCivil(2024, 3, 5, 12, 0, 0))});
  ObjectPtr criteria = erp.Create("audit.auditCriteria");
  criteria->Call("setPeriod", {Value(period)});
  criteria->Call("addParameter", {Value(parameter)});
  criteria->Call("addOutputField", {"cwoc"});
  ObjectPtr reader = erp.Create("audit.AuditReader");
  ObjectPtr status = erp.Create("audit.RecordStatus");
  reader->Call("initialize", {Value(manager), Value(erp.Create("ServiceCenters.ServiceCenters")),
                              Value(criteria)});
  std::vector<std::string> out;
  while (reader->Call("hasMoreElements").variant().ToBoolean()) {
    ObjectPtr record = reader->Call("nextElement").object();
    ObjectPtr current = reader->Call("getCurrentObject", {record->Call("getTuple")}).object();
    std::string kind = status->Call("isDeleted", {Value(record)}).variant().ToBoolean()    ? "D"
                       : status->Call("isInserted", {Value(record)}).variant().ToBoolean() ? "I"
                                                                                           : "U";
    out.push_back(kind + ":" + current->Call("getServiceCentersCode").variant().ToText());
  }
  return out;
}

TEST(FakeComponentsTest, AuditReaderGivesTheScriptedChanges) {
  FakeComponentFactory erp;
  erp.Script(kCentres).OnChanges([](const AuditRequest& r) {
    std::string code = r.parameters.at(0).from.variant().ToText();
    return std::vector<FakeChange>{{ChangeKind::kInserted, {{"getServiceCentersCode", code}}},
                                   {ChangeKind::kDeleted, {{"getServiceCentersCode", code + "x"}}}};
  });
  EXPECT_EQ(ReadChanges(erp, "SC1"), (std::vector<std::string>{"I:SC1", "D:SC1x"}));
  EXPECT_EQ(ReadChanges(erp, "SC2"), (std::vector<std::string>{"I:SC2", "D:SC2x"}));
  ASSERT_EQ(erp.audit_requests().size(), 2u);
  const AuditRequest& first = erp.audit_requests()[0];
  EXPECT_EQ(first.from, JavaDate::FromLocal(DateTime::FromCivil(2024, 3, 1))->epoch_seconds());
  EXPECT_EQ(first.to,
            JavaDate::FromLocal(DateTime::FromCivil(2024, 3, 5, 12, 0, 0))->epoch_seconds());
  ASSERT_EQ(first.parameters.size(), 1u);
  EXPECT_EQ(first.parameters[0].field, "cwoc");
  EXPECT_EQ(first.output_fields, std::vector<std::string>{"cwoc"});
  // The audit classes' calls are recorded too.
  EXPECT_EQ(erp.CallsTo("audit.Parameter", "setFrom"),
            (std::vector<std::vector<Value>>{{Value("SC1")}, {Value("SC2")}}));
  EXPECT_EQ(erp.CallsTo("audit.RecordStatus", "isDeleted").size(), 4u);
}

TEST(FakeComponentsTest, ReaderFailsHalfWay) {
  struct Case {
    int fails_after;
    std::size_t changes;
    std::size_t read;
  };
  const Case cases[] = {{0, 3, 0}, {2, 3, 2}, {3, 3, 3}, {1, 1, 1}};
  for (const Case& c : cases) {
    FakeComponentFactory erp;
    std::vector<FakeChange> changes(
        c.changes, FakeChange{ChangeKind::kUpdated, {{"getServiceCentersCode", "S"}}});
    erp.Script(kCentres).SetChanges(changes).FailReaderAfter(c.fails_after);
    std::size_t read = 0;
    ObjectPtr reader;
    try {
      ObjectPtr manager = erp.Create(kCentres);
      reader = erp.Create("audit.AuditReader");
      ObjectPtr criteria = erp.Create("audit.auditCriteria");
      reader->Call("initialize", {Value(manager), Value(ObjectPtr()), Value(criteria)});
      while (reader->Call("hasMoreElements").variant().ToBoolean()) {
        reader->Call("nextElement");
        ++read;
      }
      ADD_FAILURE() << "no failure after " << c.fails_after;
    } catch (const Error& e) {
      EXPECT_EQ(e.source(), kFakeFaultSource);
    }
    EXPECT_EQ(read, c.read) << "fails after " << c.fails_after;
  }
}

TEST(FakeComponentsTest, RecordsEveryCallInOrder) {
  FakeComponentFactory erp;
  erp.Script(kCentres).OnList("List", {{{"getServiceCentersCode", "SC1"}}});
  ListAll(erp, kCentres, "List", {"", "Z"});
  ListAll(erp, kCentres, "List", {"SC1", "SC1"});
  std::vector<std::string> got;
  for (const RecordedCall& c : erp.calls()) {
    got.push_back(c.class_id + "#" + std::to_string(c.instance) + "." + c.member);
  }
  const std::vector<std::string> expected = {
      "ServiceCenters.ServiceCentersManager#1.initialize",
      "ServiceCenters.ServiceCentersManager#1.List",
      "java.util.Enumeration#1.hasMoreElements",
      "java.util.Enumeration#1.nextElement",
      "ServiceCenters.ServiceCenters#1.GETSERVICECENTERSCODE",
      "ServiceCenters.ServiceCenters#1.getdescription",
      "java.util.Enumeration#1.hasMoreElements",
      "ServiceCenters.ServiceCentersManager#1.Close",
      "ServiceCenters.ServiceCentersManager#2.initialize",
      "ServiceCenters.ServiceCentersManager#2.List",
      "java.util.Enumeration#2.hasMoreElements",
      "java.util.Enumeration#2.nextElement",
      "ServiceCenters.ServiceCenters#2.GETSERVICECENTERSCODE",
      "ServiceCenters.ServiceCenters#2.getdescription",
      "java.util.Enumeration#2.hasMoreElements",
      "ServiceCenters.ServiceCentersManager#2.Close",
  };
  EXPECT_EQ(got, expected);
  // The second list call was made with the code as both bounds.
  EXPECT_EQ(erp.CallsTo(kCentres, "List").back(), (std::vector<Value>{"SC1", "SC1"}));
}

}  // namespace
}  // namespace qor::erp
