#include <gtest/gtest.h>

#include <functional>

#include "common/error.h"
#include "common/text.h"
#include "worker/erp/directory.h"
#include "worker/erp/java_date.h"
#include "worker/erp/record_object.h"
#include "worker/erp/store_test_util.h"

namespace qor::erp {
namespace {

using qor::testing::Backend;

// The element's key, read through the key getters, as "k1|k2|...".
std::string KeyText(Object& element) {
  const TableDef& table = *FindTableByObject(element.class_id());
  std::string out;
  for (std::size_t k : table.key_indexes()) {
    const GetterDef* getter = nullptr;
    for (const GetterDef& g : table.getters) {
      if (EqualsIgnoreCase(g.field, table.fields[k].code)) getter = &g;
    }
    Value v = element.Call(getter->name);
    const Variant& variant = v.variant();
    if (!out.empty()) out += "|";
    out += variant.AsDateTime() ? variant.AsDateTime()->ToIso().substr(0, 10) : variant.ToText();
  }
  return out;
}

// Every element of an enumeration by its key; "nothing" for a Null list result.
std::string ListedKeys(const Value& result) {
  if (result.IsNull()) return "nothing";
  ObjectPtr enumeration = result.object();
  std::string out;
  while (enumeration->Call("hasMoreElements").variant().ToBoolean()) {
    // Asking again does not move on.
    EXPECT_TRUE(enumeration->Call("HASMOREELEMENTS").variant().ToBoolean());
    ObjectPtr element = enumeration->Call("nextElement").object();
    out += (out.empty() ? "" : " ") + KeyText(*element);
  }
  EXPECT_FALSE(enumeration->Call("hasMoreElements").variant().ToBoolean());
  return out;
}

class StoreTest : public ::testing::TestWithParam<Backend> {
 protected:
  StoreTest() : store_(GetParam()), factory_(store_.settings()) {}

  ObjectPtr Manager(const char* table) {
    ObjectPtr manager = factory_.Create(FindTable(table)->manager_class);
    manager->Call("initialize", {Value("cn=erp1, o=acme")});
    return manager;
  }

  TestStore store_;
  StoreComponentFactory factory_;
};

TEST_P(StoreTest, ListRangesAtTheirBounds) {
  auto c = store_.Connect();
  const DateTime mar5 = DateTime::FromCivil(2024, 3, 5);
  Insert(*c, "tsmdm030",
         {{{"cstp", "A"}},
          {{"cstp", "B"}},
          {{"cstp", "C"}},
          {{"cstp", "ZZ"}},
          {{"cstp", "ZZZ"}},
          {{"cstp", "a"}},
          {{"cstp", "0"}},
          {{"cstp", "A'B"}}});
  Insert(*c, "tssoc210",
         {{{"orno", "O1"}, {"acln", 0}},
          {{"orno", "O1"}, {"acln", 10}},
          {{"orno", "O1"}, {"acln", 9999}},
          {{"orno", "O1"}, {"acln", 10000}},
          {{"orno", "O2"}, {"acln", 5}},
          {{"orno", "O3"}, {"acln", -1}}});
  Insert(*c, "tsclm024",
         {{{"sltt", 0.0}}, {{"sltt", 999.99}}, {{"sltt", 99999.9999}}, {{"sltt", 100000.0}}});
  Insert(*c, "tccom130",
         {{{"cadr", "AD1"}},
          {{"cadr", "AD2"}, {"dist", 99999.999}},
          {{"cadr", "AD3"}, {"dist", 100000.0}}});
  Insert(*c, "tsmdm140",
         {{{"emno", "E1"}, {"csar", "SA1"}},
          {{"emno", "E2"}, {"cwoc", "SC1"}, {"csar", "SA1"}},
          {{"emno", "E3"}, {"cwoc", "SC2"}, {"csar", "SA2"}}});
  Insert(*c, "tcccp030",
         {{{"ccal", "C1"}, {"ract", "W"}, {"stdt", mar5.AddDays(-1)}, {"sttm", 800}},
          {{"ccal", "C1"}, {"ract", "W"}, {"stdt", mar5}, {"sttm", 0}},
          {{"ccal", "C1"}, {"ract", "W"}, {"stdt", mar5}, {"sttm", 800}},
          {{"ccal", "C1"}, {"ract", "W"}, {"stdt", mar5}, {"sttm", 2400}},
          {{"ccal", "C1"}, {"ract", "W"}, {"stdt", mar5.AddDays(1)}, {"sttm", 0}},
          {{"ccal", "C2"}, {"ract", "W"}, {"stdt", mar5}, {"sttm", 800}}});

  struct Case {
    const char* table;
    const char* method;
    std::vector<Value> args;
    const char* expected;
  };
  const std::string z9 = "ZZZZZZZZZ";
  const Case cases[] = {
      {"tsmdm030", "List", {"", "ZZZ"}, "0 A A'B B C ZZ ZZZ"},
      {"tsmdm030", "List", {"A'B", "A'B"}, "A'B"},
      {"tsmdm030", "list", {"B", "ZZ"}, "B C ZZ"},
      {"tsmdm030", "List", {"ZZZ", "ZZZ"}, "ZZZ"},
      {"tsmdm030", "List", {"a", "zzz"}, "a"},
      {"tsmdm030", "List", {"D", "Y"}, ""},
      {"tsmdm030", "List", {"C", "B"}, "nothing"},
      {"tssoc210", "List", {"", z9, 0, 9999}, "O1|0 O1|10 O1|9999 O2|5"},
      {"tssoc210", "List", {"O1", "O1", "0000", "0010"}, "O1|0 O1|10"},
      {"tssoc210", "List", {"O1", "O1", "9999", "9999"}, "O1|9999"},
      {"tssoc210", "List", {"", z9, 10, 9}, "nothing"},
      {"tsclm024", "List", {0, 99999.9999}, "0 999.99 99999.9999"},
      {"tsclm024", "List", {"000.00", "999.99"}, "0 999.99"},
      {"tccom130", "List", {"", "ZZZZZZZZZZZZ", 0.0, 99999.999}, "AD1 AD2"},
      {"tccom130", "List", {"", "ZZZZZZZZZZZZ", 1.0, 99999.999}, "AD2"},
      {"tsmdm140", "List", {"", z9, "", z9, "", z9}, "E1 E2 E3"},
      {"tsmdm140", "List", {"E2", "E2", "", z9, "", z9}, "E2"},
      {"tsmdm140", "List", {"", z9, "SC1", "SC1", "", z9}, "E2"},
      {"tsmdm140", "List", {"", z9, "", z9, "SA2", "SA2"}, "E3"},
      {"tcccp030",
       "listActualCalendar",
       {"C1", "C1", "", z9, "2024-3-5", "2024-3-5", 0, 2400},
       "C1|W|2024-03-05|0 C1|W|2024-03-05|800 C1|W|2024-03-05|2400"},
      {"tcccp030",
       "listActualCalendar",
       {"C1", "C1", "", z9, "2024-03-04", "2024-03-05", 1, 2399},
       "C1|W|2024-03-04|800 C1|W|2024-03-05|800"},
      {"tcccp030",
       "listActualCalendar",
       {"", z9, "", z9, "2024-3-5", "2038-3-5", 800, 800},
       "C1|W|2024-03-05|800 C2|W|2024-03-05|800"},
  };
  for (const Case& k : cases) {
    ObjectPtr manager = Manager(k.table);
    Value result = manager->Call(k.method, std::span<const Value>(k.args));
    EXPECT_EQ(ListedKeys(result), k.expected)
        << k.table << "." << k.method << " case " << (&k - cases);
    manager->Call("Close");
  }
}

TEST_P(StoreTest, GettersGiveNullsAndDates) {
  auto c = store_.Connect();
  const DateTime ordered = DateTime::FromCivil(2024, 3, 5, 10, 20, 30);
  Insert(*c, "tssoc200",
         {{{"orno", "SO1"},
           {"ccfg", "CFG1"},
           {"ordt", ordered},
           {"tstm", DateTime::FromCivil(1900, 1, 1)},
           {"blyn", 1},
           {"ityn", 2},
           {"ordu", 1.5},
           {"minu", 15}}});
  Insert(*c, "tcccp030",
         {{{"ccal", "C1"},
           {"ract", "W"},
           {"stdt", DateTime::FromCivil(2024, 3, 5)},
           {"sttm", 800},
           {"endt", DateTime::FromCivil(2024, 3, 5)},
           {"entm", 2400},
           {"cutm", 960.0}}});

  ObjectPtr orders = Manager("tssoc200");
  ObjectPtr order =
      orders->Call("listServiceOrders", {"", "ZZZZZZZZZ"}).object()->Call("nextElement").object();
  EXPECT_EQ(order->class_id(), "ServiceOrders.ServiceOrders");
  struct Case {
    const char* getter;
    Variant expected;
  };
  const Case plain[] = {
      {"getServiceOrder", "SO1"},
      {"GETCONFIGURATION", "CFG1"},
      {"getProject", Variant()},
      {"getInterruptionReason", Variant()},
      {"getBlocked", 1},
      {"getInterrupted", 2},
      {"getOrderDuration", 1.5},
      {"getPageFrequency", 15},
      {"getTravelDuration", Variant()},
  };
  for (const Case& k : plain) {
    EXPECT_EQ(order->Call(k.getter).variant(), k.expected)
        << k.getter << ": " << DebugString(order->Call(k.getter).variant());
  }
  struct DateCase {
    const char* getter;
    bool empty;
    DateTime local;
  };
  const DateCase dates[] = {
      {"getOrderDate", false, ordered},
      {"getActualTravelStartTime", true, DateTime::FromCivil(1900, 1, 1)},
      {"getExecutionStartTime", true, DateTime::FromCivil(1900, 1, 1)},  // Null in the store
  };
  for (const DateCase& k : dates) {
    Value v = order->Call(k.getter);
    auto* date = dynamic_cast<JavaDate*>(v.object().get());
    ASSERT_NE(date, nullptr) << k.getter;
    EXPECT_EQ(date->IsErpEmptyDate(), k.empty) << k.getter;
    EXPECT_EQ(date->ToLocal(), k.local) << k.getter;
    EXPECT_EQ(date->Call("getyear").variant().ToInteger(), k.local.ToCivil().year - 1900);
  }

  ObjectPtr period = Manager("tcccp030")
                         ->Call("listActualCalendar",
                                {"C1", "C1", "", "ZZZZZZZZZ", "2024-3-5", "2024-3-5", 0, 2400})
                         .object()
                         ->Call("nextElement")
                         .object();
  const Case calendar[] = {
      {"getStartDate", DateTime::FromCivil(2024, 3, 5)},
      {"getEndDate", DateTime::FromCivil(2024, 3, 5)},
      {"getStartTime", 800},
      {"getEndTime", 2400},
      {"getCumulativeTime", 960.0},
      {"getCumulativeCapacity", Variant()},
  };
  for (const Case& k : calendar) {
    EXPECT_EQ(period->Call(k.getter).variant(), k.expected)
        << k.getter << ": " << DebugString(period->Call(k.getter).variant());
  }
}

// Calls that must fail, each naming what it could not find or take.
TEST_P(StoreTest, UnknownIdentifiersAndMembersAreNamed) {
  auto c = store_.Connect();
  Insert(*c, "tsmdm030", {{{"cstp", "A"}}});
  struct Case {
    const char* name;
    std::function<void()> call;
    long number;
    std::vector<std::string> mentions;
  };
  const Case cases[] = {
      {"unknown class",
       [&] { factory_.Create("ServiceTypes.Nothing"); },
       kErpUnknownClass,
       {"ServiceTypes.Nothing"}},
      {"unknown manager member",
       [&] { Manager("tsmdm030")->Call("Remove"); },
       kErpUnknownMember,
       {"ServiceTypes.ServiceTypesManager", "Remove"}},
      {"list of another table",
       [&] {
         Manager("tsmdm030")->Call("listServiceOrders", {"", "Z"});
       },
       kErpUnknownMember,
       {"listServiceOrders"}},
      {"list without its arguments",
       [&] { Manager("tsmdm030")->Call("List", {""}); },
       kErpWrongArguments,
       {"List", "2 range arguments"}},
      {"list before initialize",
       [&] {
         factory_.Create("ServiceTypes.ServiceTypesManager")->Call("List", {"", "Z"});
       },
       kErpError,
       {"not initialized"}},
      {"unknown getter",
       [&] {
         Manager("tsmdm030")
             ->Call("List", {"", "Z"})
             .object()
             ->Call("nextElement")
             .object()
             ->Call("getServiceOrder");
       },
       kErpUnknownMember,
       {"ServiceTypes.ServiceTypes", "getServiceOrder"}},
      {"getter with arguments",
       [&] { factory_.Create("ServiceTypes.ServiceTypes")->Call("getServiceType", {1}); },
       kErpWrongArguments,
       {"getServiceType"}},
      {"next element at the end",
       [&] {
         ObjectPtr e = Manager("tsmdm030")->Call("List", {"", "Z"}).object();
         e->Call("nextElement");
         e->Call("nextElement");
       },
       kErpError,
       {"no more elements"}},
      {"unknown enumeration member",
       [&] {
         Manager("tsmdm030")->Call("List", {"", "Z"}).object()->Call("reset");
       },
       kErpUnknownMember,
       {"reset"}},
  };
  for (const Case& k : cases) {
    try {
      k.call();
      ADD_FAILURE() << k.name << " did not fail";
    } catch (const Error& e) {
      EXPECT_EQ(e.number(), k.number) << k.name << ": " << e.description();
      for (const std::string& m : k.mentions) {
        EXPECT_NE(e.description().find(m), std::string::npos) << k.name << ": " << e.description();
      }
    }
  }
}

TEST_P(StoreTest, FactoryCreatesEveryClass) {
  std::vector<std::string> ids = {"audit.auditCriteria", "audit.period",
                                  "audit.Parameter",     "audit.AuditReader",
                                  "audit.RecordStatus",  "java:java.util.Date"};
  for (const TableDef& t : ErpCatalogue()) {
    ids.push_back(t.manager_class);
    ids.push_back(t.object_class);
  }
  for (const std::string& id : ids) {
    ObjectPtr object = factory_.Create(id);
    ASSERT_NE(object, nullptr) << id;
    EXPECT_TRUE(EqualsIgnoreCase(object->class_id(), id)) << id << " made " << object->class_id();
    // Class identifiers match without regard to case.
    EXPECT_EQ(factory_.Create(ToLower(id))->class_id(), object->class_id()) << id;
  }
  // A new business object holds no record.
  ObjectPtr order = factory_.Create("ServiceOrders.ServiceOrders");
  EXPECT_TRUE(order->Call("getServiceOrder").IsNull());
}

TEST_P(StoreTest, ManagerFindsItsStoreThroughTheDirectory) {
  qor::testing::TempDir dir;
  auto file = dir.path() / "dir.ldif";
  WriteDirectoryEntry(file,
                      {"cn=ERP1, o=Acme",
                       {{"companynumber", "100"}, {"erpconnection", store_.connection_string()}}});
  Insert(*store_.Connect(), "tsmdm030", {{{"cstp", "A"}}});
  ScopedEnv directory(kDirectoryVariable, "file://" + file.string());
  StoreComponentFactory factory;
  ObjectPtr manager = factory.Create("ServiceTypes.ServiceTypesManager");
  manager->Call("initialize", {"cn=erp1,o=acme"});
  EXPECT_EQ(ListedKeys(manager->Call("List", {"", "ZZZ"})), "A");
  try {
    factory.Create("ServiceTypes.ServiceTypesManager")->Call("initialize", {"cn=erp2, o=acme"});
    ADD_FAILURE() << "an unknown bus component was taken";
  } catch (const Error& e) {
    EXPECT_NE(e.description().find("cn=erp2, o=acme"), std::string::npos) << e.description();
  }
}

INSTANTIATE_TEST_SUITE_P(Backends, StoreTest, ::testing::ValuesIn(qor::testing::AllBackends()),
                         [](const auto& info) { return std::string(BackendName(info.param)); });

// Only the PostgreSQL store checks a password.
TEST(StorePasswordTest, PasswordsStayOutOfMessages) {
  TestStore store(Backend::kPostgres);
  const std::string secret = "not-the-password-4711";
  ScopedEnv password(kErpPasswordVariable, secret);
  StoreComponentFactory factory(store.settings());
  try {
    factory.Create("ServiceTypes.ServiceTypesManager")->Call("initialize", {"cn=erp1, o=acme"});
    ADD_FAILURE() << "a wrong password was taken";
  } catch (const Error& e) {
    EXPECT_EQ(e.description().find(secret), std::string::npos) << e.description();
    EXPECT_NE(e.description().find("Cannot connect to the ERP store"), std::string::npos);
  }
  // A PWD in the connection string wins over the environment, and is redacted likewise.
  StoreSettings explicit_pwd;
  explicit_pwd.resolve = [&](const std::string&) {
    return store.connection_string() + ";PWD=" + secret;
  };
  try {
    StoreComponentFactory(explicit_pwd)
        .Create("ServiceTypes.ServiceTypesManager")
        ->Call("initialize", {"cn=erp1, o=acme"});
    ADD_FAILURE() << "a wrong password was taken";
  } catch (const Error& e) {
    EXPECT_EQ(e.description().find(secret), std::string::npos) << e.description();
    EXPECT_NE(e.description().find("PWD=***"), std::string::npos) << e.description();
  }
}

TEST(StoreConnectionTest, PasswordAndStreamingOptions) {
  struct Case {
    const char* given;
    const char* environment;  // nullptr: unset
    const char* expected;
  };
  const Case cases[] = {
      {"DSN=a;UID=u", "s3", "DSN=a;UID=u;PWD=s3"},
      {"DSN=a;UID=u;PWD=", "s3", "DSN=a;UID=u;PWD=s3"},
      {"DSN=a;UID=u;PWD=mine", "s3", "DSN=a;UID=u;PWD=mine"},
      {"DSN=a;UID=u", nullptr, "DSN=a;UID=u"},
      {"DSN=a;UID=u", "", "DSN=a;UID=u"},
  };
  for (const Case& c : cases) {
    std::unique_ptr<ScopedEnv> env;
    if (c.environment) {
      env = std::make_unique<ScopedEnv>(kErpPasswordVariable, c.environment);
    } else {
      env = std::make_unique<ScopedEnv>(kErpPasswordVariable, "");
      unsetenv(kErpPasswordVariable);
    }
    EXPECT_EQ(WithEnvironmentPassword(c.given), c.expected) << c.given;
  }
  EXPECT_EQ(WithStreaming("DSN=a", localdb::Dialect::kSqlite), "DSN=a;StepAPI=1");
  EXPECT_EQ(WithStreaming("DSN=a;stepapi=0", localdb::Dialect::kSqlite), "DSN=a;stepapi=0");
  EXPECT_EQ(WithStreaming("DSN=a", localdb::Dialect::kPostgres),
            "DSN=a;UseDeclareFetch=1;Fetch=1000");
  EXPECT_EQ(WithStreaming("DSN=a", localdb::Dialect::kOther), "DSN=a");
}

}  // namespace
}  // namespace qor::erp
