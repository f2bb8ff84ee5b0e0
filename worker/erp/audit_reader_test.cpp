#include <gtest/gtest.h>

#include <ctime>
#include <functional>

#include "common/error.h"
#include "worker/erp/audit.h"
#include "worker/erp/java_date.h"
#include "worker/erp/store_test_util.h"

namespace qor::erp {
namespace {

using qor::testing::Backend;

std::string StatusText(RecordStatus& status, const ObjectPtr& record) {
  std::string out;
  if (status.Call("isInserted", {Value(record)}).variant().ToBoolean()) out += "I";
  if (status.Call("isUpdated", {Value(record)}).variant().ToBoolean()) out += "U";
  if (status.Call("isDeleted", {Value(record)}).variant().ToBoolean()) out += "D";
  return out;
}

class AuditReaderTest : public ::testing::TestWithParam<Backend> {
 protected:
  AuditReaderTest() : store_(GetParam()), factory_(store_.settings()) {}

  ObjectPtr Manager(const char* table) {
    ObjectPtr manager = factory_.Create(FindTable(table)->manager_class);
    manager->Call("initialize", {Value("cn=erp1, o=acme")});
    return manager;
  }

  struct Parameter {
    const char* field;
    Value from;
    Value to;
  };
  // Criteria for the period [from, to] (instants in milliseconds), the parameters and the
  // output fields.
  ObjectPtr Criteria(std::int64_t from_ms, std::int64_t to_ms, std::vector<Parameter> parameters,
                     std::vector<const char*> outputs) {
    ObjectPtr period = factory_.Create("audit.period");
    period->Call("setFrom", {Value(ObjectPtr(std::make_shared<JavaDate>(from_ms)))});
    period->Call("setTo", {Value(ObjectPtr(std::make_shared<JavaDate>(to_ms)))});
    ObjectPtr criteria = factory_.Create("audit.auditCriteria");
    criteria->Call("setPeriod", {Value(period)});
    for (const Parameter& p : parameters) {
      ObjectPtr parameter = factory_.Create("audit.Parameter");
      parameter->Call("setFieldName", {p.field});
      parameter->Call("setFrom", {p.from});
      parameter->Call("setTo", {p.to});
      criteria->Call("addParameter", {Value(parameter)});
    }
    for (const char* o : outputs) criteria->Call("addOutputField", {o});
    return criteria;
  }

  // Reads every change: "status:getter1=value,getter2=value" per change.
  std::vector<std::string> Read(const char* table, const ObjectPtr& criteria,
                                const std::vector<const char*>& getters,
                                const std::function<void(Object&)>& per_change = nullptr) {
    ObjectPtr manager = Manager(table);
    ObjectPtr reader = factory_.Create("audit.AuditReader");
    reader->Call(
        "initialize",
        {Value(manager), Value(factory_.Create(FindTable(table)->object_class)), Value(criteria)});
    return ReadAll(*reader, getters, per_change);
  }

  std::vector<std::string> ReadAll(Object& reader, const std::vector<const char*>& getters,
                                   const std::function<void(Object&)>& per_change = nullptr) {
    RecordStatus status;
    std::vector<std::string> out;
    while (reader.Call("hasMoreElements").variant().ToBoolean()) {
      ObjectPtr record = reader.Call("nextElement").object();
      ObjectPtr current = reader.Call("getCurrentObject", {record->Call("getTuple")}).object();
      std::string line = StatusText(status, record) + ":";
      for (const char* g : getters) {
        Value v = current->Call(g);
        std::string text = v.IsNull()     ? "Null"
                           : v.IsObject() ? dynamic_cast<JavaDate&>(*v.object()).ToLocal().ToIso()
                           : v.variant().AsDateTime() ? v.variant().AsDateTime()->ToIso()
                                                      : v.variant().ToText();
        line += std::string(line.back() == ':' ? "" : ",") + g + "=" + text;
      }
      out.push_back(line);
      if (per_change) per_change(*current);
    }
    return out;
  }

  TestStore store_;
  StoreComponentFactory factory_;
};

// The period holds both its ends, to the second; fractions of a second do not count.
TEST_P(AuditReaderTest, PeriodsHoldBothEnds) {
  const std::int64_t t = 1700000000;
  auto c = store_.Connect();
  for (int offset : {-1, 0, 5, 10, 11}) {
    c->Execute(std::string("INSERT INTO ") + kAuditTable +
                   " (tbl, tm, act, keyv, rec) VALUES ('tsmdm030', ?, 'U', ?, ?)",
               {Variant(static_cast<long long>(t + offset)), Variant("{\"cstp\":\"A\"}"),
                Variant("{\"cstp\":\"A\",\"desc\":\"at " + std::to_string(offset) +
                        "\",\"proc\":\"P\",\"ract\":null}")});
  }
  // A change of another table in the period is not read.
  c->Execute(std::string("INSERT INTO ") + kAuditTable +
             " (tbl, tm, act, keyv, rec) VALUES ('tsmdm130', " + std::to_string(t) +
             ", 'I', '{}', '{\"skll\":\"S\"}')");
  struct Case {
    std::int64_t from_ms;
    std::int64_t to_ms;
    std::vector<std::string> expected;
  };
  const Case cases[] = {
      {t * 1000,
       (t + 10) * 1000,
       {"U:getServiceTypeDescription=at 0", "U:getServiceTypeDescription=at 5",
        "U:getServiceTypeDescription=at 10"}},
      {t * 1000 + 999,
       (t + 10) * 1000 + 999,
       {"U:getServiceTypeDescription=at 0", "U:getServiceTypeDescription=at 5",
        "U:getServiceTypeDescription=at 10"}},
      {(t + 1) * 1000, (t + 9) * 1000, {"U:getServiceTypeDescription=at 5"}},
      {(t + 10) * 1000, (t + 10) * 1000, {"U:getServiceTypeDescription=at 10"}},
      {(t + 11) * 1000, (t + 100) * 1000, {"U:getServiceTypeDescription=at 11"}},
      {(t + 12) * 1000, (t + 11) * 1000, {}},
  };
  for (const Case& k : cases) {
    EXPECT_EQ(
        Read("tsmdm030", Criteria(k.from_ms, k.to_ms, {}, {"desc"}), {"getServiceTypeDescription"}),
        k.expected)
        << "period " << k.from_ms << " to " << k.to_ms;
  }
}

// Changes of any program are recorded by the store; the current object holds the record as
// captured at the change, its keys and the output fields only.
TEST_P(AuditReaderTest, TriggersRecordEveryChange) {
  auto c = store_.Connect();
  std::int64_t before = std::time(nullptr);
  Insert(*c, "tsmdm030",
         {{{"cstp", "A"}, {"desc", "first"}, {"proc", "P1"}, {"ract", "W"}},
          {{"cstp", "B"}, {"desc", "second"}, {"proc", "P2"}}});
  c->Execute("UPDATE tsmdm030 SET \"desc\" = 'changed', proc = NULL WHERE cstp = 'A'");
  c->Execute("UPDATE tsmdm030 SET cstp = 'C' WHERE cstp = 'B'");
  c->Execute("DELETE FROM tsmdm030 WHERE cstp = 'A'");
  std::int64_t after = std::time(nullptr);

  std::vector<std::int64_t> instants;
  ObjectPtr criteria = Criteria(before * 1000, after * 1000, {}, {"desc", "proc"});
  ObjectPtr manager = Manager("tsmdm030");
  ObjectPtr reader = factory_.Create("audit.AuditReader");
  reader->Call("initialize", {Value(manager), Value(factory_.Create("ServiceTypes.ServiceTypes")),
                              Value(criteria)});
  std::vector<std::string> got;
  RecordStatus status;
  while (reader->Call("hasMoreElements").variant().ToBoolean()) {
    ObjectPtr record = reader->Call("nextElement").object();
    instants.push_back(dynamic_cast<ChangeRecord&>(*record).instant());
    ObjectPtr current = reader->Call("getCurrentObject", {record->Call("getTuple")}).object();
    got.push_back(StatusText(status, record) + ":" +
                  current->Call("getServiceType").variant().ToText() + "," +
                  current->Call("getServiceTypeDescription").variant().ToText() + "," +
                  current->Call("getServiceProcedure").variant().ToText() + "," +
                  (current->Call("getavailabilityType").IsNull() ? "Null" : "not Null"));
  }
  // ract is no output field: its getter gives Null although the record holds "W".
  const std::vector<std::string> expected = {
      "I:A,first,P1,Null",  "I:B,second,P2,Null", "U:A,changed,,Null",
      "D:B,second,P2,Null", "I:C,second,P2,Null", "D:A,changed,,Null",
  };
  EXPECT_EQ(got, expected);
  for (std::int64_t instant : instants) {
    EXPECT_GE(instant, before);
    EXPECT_LE(instant, after);
  }
}

// Keys and output fields of every type come back from the trail as the store's columns give
// them; a deleted record keeps its key getters.
TEST_P(AuditReaderTest, DeletedRecordsKeepTheirKeys) {
  auto c = store_.Connect();
  std::int64_t before = std::time(nullptr);
  const DateTime day = DateTime::FromCivil(2024, 3, 5);
  Insert(*c, "tcccp030",
         {{{"ccal", "C1"},
           {"ract", "W"},
           {"stdt", day},
           {"sttm", 800},
           {"endt", day},
           {"entm", 1200},
           {"cutm", 240.5}}});
  Insert(*c, "tssoc200",
         {{{"orno", "SO1"},
           {"ofbp", "BP1"},
           {"stna", "Name"},
           {"ordt", day.AddSeconds(3723)},
           {"tstm", DateTime::FromCivil(1900, 1, 1)},
           {"blyn", 1},
           {"ordu", 2.25}}});
  c->Execute("DELETE FROM tcccp030");
  c->Execute("DELETE FROM tssoc200");
  std::int64_t after = std::time(nullptr) + 1;

  EXPECT_EQ(Read("tcccp030",
                 Criteria(before * 1000, after * 1000, {},
                          {"ccal", "ract", "stdt", "sttm", "endt", "entm", "cutm", "ccap"}),
                 {"getCalendar", "getavailabilityType", "getStartDate", "getStartTime",
                  "getEndTime", "getCumulativeTime", "getCumulativeCapacity"}),
            (std::vector<std::string>{
                "I:getCalendar=C1,getavailabilityType=W,getStartDate=2024-03-05 00:00:00,"
                "getStartTime=800,getEndTime=1200,getCumulativeTime=240.5,"
                "getCumulativeCapacity=Null",
                "D:getCalendar=C1,getavailabilityType=W,getStartDate=2024-03-05 00:00:00,"
                "getStartTime=800,getEndTime=1200,getCumulativeTime=240.5,"
                "getCumulativeCapacity=Null"}));
  // Only the keys when no output field is asked for.
  EXPECT_EQ(Read("tcccp030", Criteria(before * 1000, after * 1000, {}, {}),
                 {"getCalendar", "getStartTime", "getEndTime"}),
            (std::vector<std::string>{"I:getCalendar=C1,getStartTime=800,getEndTime=Null",
                                      "D:getCalendar=C1,getStartTime=800,getEndTime=Null"}));
  EXPECT_EQ(
      Read("tssoc200",
           Criteria(before * 1000, after * 1000, {}, {"ofbp", "ordt", "tstm", "blyn", "ordu"}),
           {"getServiceOrder", "getSoldToBusinessPartner", "getSoldToBusinessPartnerName",
            "getOrderDate", "getActualTravelStartTime", "getBlocked", "getOrderDuration",
            "getPlannedStartTime"}),
      (std::vector<std::string>{
          "I:getServiceOrder=SO1,getSoldToBusinessPartner=BP1,"
          "getSoldToBusinessPartnerName=Null,getOrderDate=2024-03-05 01:02:03,"
          "getActualTravelStartTime=1900-01-01 00:00:00,getBlocked=1,getOrderDuration=2.25,"
          "getPlannedStartTime=Null",
          "D:getServiceOrder=SO1,getSoldToBusinessPartner=BP1,"
          "getSoldToBusinessPartnerName=Null,getOrderDate=2024-03-05 01:02:03,"
          "getActualTravelStartTime=1900-01-01 00:00:00,getBlocked=1,getOrderDuration=2.25,"
          "getPlannedStartTime=Null"}));
}

TEST_P(AuditReaderTest, KeyParametersLimitTheChanges) {
  auto c = store_.Connect();
  std::int64_t before = std::time(nullptr);
  Insert(*c, "tssoc210",
         {{{"orno", "O1"}, {"acln", 0}},
          {{"orno", "O1"}, {"acln", 9999}},
          {{"orno", "O1"}, {"acln", 10000}},
          {{"orno", "O2"}, {"acln", 5}},
          {{"orno", "O10"}, {"acln", 5}}});
  Insert(*c, "tsclm024", {{{"sltt", 999.99}}, {{"sltt", 999.995}}, {{"sltt", 0.0}}});
  std::int64_t after = std::time(nullptr) + 1;
  struct Case {
    const char* table;
    std::vector<Parameter> parameters;
    std::vector<const char*> getters;
    std::vector<std::string> expected;
  };
  const Case cases[] = {
      {"tssoc210",
       {{"orno", "", "ZZZZZZZZZ"}, {"acln", "0000", "9999"}},
       {"getActivityLineNumber"},
       {"I:getActivityLineNumber=0", "I:getActivityLineNumber=9999", "I:getActivityLineNumber=5",
        "I:getActivityLineNumber=5"}},
      {"tssoc210",
       {{"orno", "O1", "O1"}, {"acln", "0000", "9999"}},
       {"getServiceOrder", "getActivityLineNumber"},
       {"I:getServiceOrder=O1,getActivityLineNumber=0",
        "I:getServiceOrder=O1,getActivityLineNumber=9999"}},
      {"tssoc210",
       {{"ORNO", "O1", "O10"}},
       {"getServiceOrder"},
       {"I:getServiceOrder=O1", "I:getServiceOrder=O1", "I:getServiceOrder=O1",
        "I:getServiceOrder=O10"}},
      {"tssoc210", {{"orno", "O2", "O1"}}, {"getServiceOrder"}, {}},
      // One field named twice: both ranges must hold.
      {"tssoc210",
       {{"acln", "0", "9999"}, {"acln", "5", "10000"}},
       {"getActivityLineNumber"},
       {"I:getActivityLineNumber=9999", "I:getActivityLineNumber=5", "I:getActivityLineNumber=5"}},
      {"tsclm024",
       {{"sltt", "000.00", "999.99"}},
       {"getSolutionTimeInMinutes"},
       {"I:getSolutionTimeInMinutes=999.99", "I:getSolutionTimeInMinutes=0"}},
  };
  for (const Case& k : cases) {
    EXPECT_EQ(Read(k.table, Criteria(before * 1000, after * 1000, k.parameters, {}), k.getters),
              k.expected)
        << k.table << " case " << (&k - cases);
  }
}

// The criteria keep the parameter objects: a calendar loop that changes the first parameter
// and adds the same four again reads the next calendar.
TEST_P(AuditReaderTest, CriteriaKeepTheirParameterObjects) {
  auto c = store_.Connect();
  std::int64_t before = std::time(nullptr);
  const DateTime day = DateTime::FromCivil(2030, 1, 2);
  Insert(*c, "tcccp030",
         {{{"ccal", "C1"}, {"ract", "W"}, {"stdt", day}, {"sttm", 800}},
          {{"ccal", "C2"}, {"ract", "W"}, {"stdt", day}, {"sttm", 900}},
          {{"ccal", "C2"}, {"ract", "W"}, {"stdt", day.AddDays(-400)}, {"sttm", 900}}});
  std::int64_t after = std::time(nullptr) + 1;

  ObjectPtr period = factory_.Create("audit.period");
  period->Call("setFrom", {Value(ObjectPtr(std::make_shared<JavaDate>(before * 1000)))});
  period->Call("setTo", {Value(ObjectPtr(std::make_shared<JavaDate>(after * 1000)))});
  ObjectPtr criteria = factory_.Create("audit.auditCriteria");
  criteria->Call("setPeriod", {Value(period)});
  std::vector<ObjectPtr> parameters;
  for (int i = 0; i < 4; ++i) parameters.push_back(factory_.Create("audit.Parameter"));
  auto set = [](ObjectPtr& p, const char* field, Value from, Value to) {
    p->Call("setFieldName", {field});
    p->Call("setFrom", {from});
    p->Call("setTo", {to});
  };
  set(parameters[1], "ract", "", "ZZZZZZZZZ");
  set(parameters[2], "stdt", "2029-11-03", "2038-01-02");
  set(parameters[3], "sttm", "0000", "2400");
  ObjectPtr manager = Manager("tcccp030");
  ObjectPtr reader = factory_.Create("audit.AuditReader");
  std::vector<std::string> got;
  for (const char* code : {"C1", "C2"}) {
    set(parameters[0], "ccal", code, code);
    for (ObjectPtr& p : parameters) criteria->Call("addParameter", {Value(p)});
    reader->Call("initialize", {Value(manager), Value(factory_.Create("Calendars.ActualCalendar")),
                                Value(criteria)});
    for (const std::string& line : ReadAll(*reader, {"getCalendar", "getStartTime"})) {
      got.push_back(line);
    }
  }
  EXPECT_EQ(got, (std::vector<std::string>{"I:getCalendar=C1,getStartTime=800",
                                           "I:getCalendar=C2,getStartTime=900"}));
}

TEST_P(AuditReaderTest, BadInitializationIsNamed) {
  struct Case {
    const char* name;
    std::function<void()> call;
    const char* mentions;
  };
  auto reader = [&] { return factory_.Create("audit.AuditReader"); };
  auto valid = [&] { return Criteria(0, 1000, {}, {}); };
  const Case cases[] = {
      {"unknown output field",
       [&] {
         reader()->Call("initialize", {Value(Manager("tsmdm030")),
                                       Value(factory_.Create("ServiceTypes.ServiceTypes")),
                                       Value(Criteria(0, 1000, {}, {"dsca"}))});
       },
       "dsca"},
      {"unknown parameter field",
       [&] {
         reader()->Call("initialize", {Value(Manager("tsmdm030")),
                                       Value(factory_.Create("ServiceTypes.ServiceTypes")),
                                       Value(Criteria(0, 1000, {{"skll", "", "Z"}}, {}))});
       },
       "skll"},
      {"business object of another table",
       [&] {
         reader()->Call("initialize", {Value(Manager("tsmdm030")),
                                       Value(factory_.Create("Skills.Skills")), Value(valid())});
       },
       "ServiceTypes.ServiceTypes"},
      {"no period",
       [&] {
         reader()->Call("initialize", {Value(Manager("tsmdm030")),
                                       Value(factory_.Create("ServiceTypes.ServiceTypes")),
                                       Value(factory_.Create("audit.auditCriteria"))});
       },
       "no period"},
      {"manager not initialized",
       [&] {
         reader()->Call("initialize",
                        {Value(factory_.Create("ServiceTypes.ServiceTypesManager")),
                         Value(factory_.Create("ServiceTypes.ServiceTypes")), Value(valid())});
       },
       "not initialized"},
      {"reader not initialized", [&] { reader()->Call("hasMoreElements"); }, "not initialized"},
      {"status of no record",
       [&] { factory_.Create("audit.RecordStatus")->Call("isDeleted", {Value("x")}); },
       "change record"},
      {"period of no date",
       [&] { factory_.Create("audit.period")->Call("setFrom", {Value("yesterday")}); }, "setFrom"},
  };
  for (const Case& k : cases) {
    try {
      k.call();
      ADD_FAILURE() << k.name << " did not fail";
    } catch (const Error& e) {
      EXPECT_NE(e.description().find(k.mentions), std::string::npos)
          << k.name << ": " << e.description();
    }
  }
}

// A copy asks the manager for a list while it reads the changes (service orders,
// centres, employees): both stream on one connection, beyond the driver's fetch size.
TEST_P(AuditReaderTest, ListsWhileReadingChanges) {
  auto c = store_.Connect();
  std::int64_t before = std::time(nullptr);
  {
    localdb::Transaction t(*c);
    const TableDef& orders = *FindTable("tssoc200");
    auto inserter = MakeStoreInserter(*c, orders);
    for (int i = 0; i < 2500; ++i) {
      char orno[16];
      std::snprintf(orno, sizeof orno, "SO%05d", i);
      inserter->Add(Row(orders, {{"orno", orno}, {"stna", std::string("Name ") + orno}}));
    }
    inserter->Flush();
    t.Commit();
  }
  std::int64_t after = std::time(nullptr) + 1;
  ObjectPtr manager = Manager("tssoc200");
  ObjectPtr reader = factory_.Create("audit.AuditReader");
  reader->Call("initialize",
               {Value(manager), Value(factory_.Create("ServiceOrders.ServiceOrders")),
                Value(Criteria(before * 1000, after * 1000, {{"orno", "", "ZZZZZZZZZ"}}, {}))});
  int changes = 0, listed = 0;
  while (reader->Call("hasMoreElements").variant().ToBoolean()) {
    ObjectPtr record = reader->Call("nextElement").object();
    ObjectPtr current = reader->Call("getCurrentObject", {record->Call("getTuple")}).object();
    Value orno = current->Call("getServiceOrder");
    ++changes;
    ObjectPtr again = manager->Call("listServiceOrders", {orno, orno}).object();
    if (again->Call("hasMoreElements").variant().ToBoolean()) {
      ObjectPtr element = again->Call("nextElement").object();
      if (element->Call("getSoldToBusinessPartnerName").variant().ToText() ==
          "Name " + orno.variant().ToText()) {
        ++listed;
      }
    }
  }
  EXPECT_EQ(changes, 2500);
  EXPECT_EQ(listed, 2500);
  // Two enumerations of one manager read side by side.
  ObjectPtr a = manager->Call("listServiceOrders", {"", "ZZZZZZZZZ"}).object();
  ObjectPtr b = manager->Call("listServiceOrders", {"SO01000", "ZZZZZZZZZ"}).object();
  int both = 0;
  while (a->Call("hasMoreElements").variant().ToBoolean() &&
         b->Call("hasMoreElements").variant().ToBoolean()) {
    a->Call("nextElement");
    b->Call("nextElement");
    ++both;
  }
  EXPECT_EQ(both, 1500);
}

INSTANTIATE_TEST_SUITE_P(Backends, AuditReaderTest,
                         ::testing::ValuesIn(qor::testing::AllBackends()),
                         [](const auto& info) { return std::string(BackendName(info.param)); });

}  // namespace
}  // namespace qor::erp
