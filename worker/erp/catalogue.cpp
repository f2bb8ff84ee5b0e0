#include "worker/erp/catalogue.h"

#include <algorithm>
#include <cctype>
#include <set>

#include "common/text.h"

namespace qor::erp {
namespace {

FieldDef T(const char* code, int length) { return {code, FieldType::kText, length}; }
FieldDef S(const char* code) { return {code, FieldType::kSmallInt, 0}; }
FieldDef I(const char* code) { return {code, FieldType::kInteger, 0}; }
FieldDef D(const char* code) { return {code, FieldType::kDouble, 0}; }
FieldDef Ts(const char* code) { return {code, FieldType::kDateTime, 0}; }
FieldDef Day(const char* code) { return {code, FieldType::kDate, 0}; }
FieldDef Hhmm(const char* code) { return {code, FieldType::kHhmm, 0}; }

TableDef Table(std::string table, std::string manager_class, std::string object_class,
               std::vector<FieldDef> fields, std::vector<std::string> keys,
               std::vector<ListMethodDef> lists, std::vector<GetterDef> getters) {
  TableDef t;
  t.table = std::move(table);
  t.manager_class = std::move(manager_class);
  t.object_class = std::move(object_class);
  t.fields = std::move(fields);
  t.keys = std::move(keys);
  t.lists = std::move(lists);
  t.getters = std::move(getters);
  return t;
}

// Field types follow the local database's columns, so that the copies can store every
// getter's value unchanged. Where the local column holds a rounded number (numeric(12,2)),
// the ERP keeps the unrounded double that the copies round.
std::vector<TableDef> Build() {
  std::vector<TableDef> t;

  t.push_back(Table("tsmdm030", "ServiceTypes.ServiceTypesManager", "ServiceTypes.ServiceTypes",
                    {T("cstp", 3), T("desc", 30), T("proc", 9), T("ract", 9)}, {"cstp"},
                    {{"List", {"cstp"}}},
                    {{"getServiceType", "cstp"},
                     {"getServiceTypeDescription", "desc"},
                     {"getServiceProcedure", "proc"},
                     {"getavailabilityType", "ract"}}));

  t.push_back(Table("tsmdm100", "ServiceCenters.ServiceCentersManager",
                    "ServiceCenters.ServiceCenters",
                    {T("cwoc", 9), T("desc", 30), S("wctp"), T("cmwc", 9), T("cwar", 9),
                     T("clrt", 9), S("srtp"), T("srep", 9)},
                    {"cwoc"}, {{"List", {"cwoc"}}},
                    {{"getServiceCentersCode", "cwoc"},
                     {"getdescription", "desc"},
                     {"getServiceCenterType", "wctp"},
                     {"getMainServiceCenter", "cmwc"},
                     {"getWarehouse", "cwar"},
                     {"getLaborRate", "clrt"},
                     {"getFieldOfSupport", "srtp"},
                     {"getSalesRepresentative", "srep"}}));

  t.push_back(Table("tsmdm105", "ServiceAreas.ServiceAreasManager", "ServiceAreas.ServiceAreas",
                    {T("csar", 9), T("desc", 30), S("artp"), T("cmsa", 9), T("cwoc", 9),
                     T("cwar", 9), D("trti"), D("dist"), D("ccha"), T("ccur", 3), T("clrt", 9)},
                    {"csar"}, {{"List", {"csar"}}},
                    {{"getServiceArea", "csar"},
                     {"getServiceAreaDescription", "desc"},
                     {"getServiceAreaType", "artp"},
                     {"getMainServiceArea", "cmsa"},
                     {"getServiceCenter", "cwoc"},
                     {"getWarehouse", "cwar"},
                     {"getAverageTravelingTime", "trti"},
                     {"getAverageTravelingDistance", "dist"},
                     {"getCallOutCharge", "ccha"},
                     {"getCurrency", "ccur"},
                     {"getLaborRate", "clrt"}}));

  t.push_back(Table("tsmdm130", "Skills.SkillsManager", "Skills.Skills",
                    {T("skll", 9), T("desc", 30), T("clrt", 9)}, {"skll"}, {{"List", {"skll"}}},
                    {{"getSkill", "skll"}, {"getdescription", "desc"}, {"getLaborRate", "clrt"}}));

  t.push_back(Table("tsmdm135", "SkillsByEmployee.SkillsByEmployeeManager",
                    "SkillsByEmployee.SkillsByEmployee",
                    {T("emno", 9), T("skll", 9), T("cogr", 9), D("afct")}, {"emno", "skll", "cogr"},
                    {{"List", {"emno", "skll", "cogr"}}},
                    {{"getserviceemployee", "emno"},
                     {"getSkill", "skll"},
                     {"getObjectGroup", "cogr"},
                     {"getSkillFactor", "afct"}}));

  t.push_back(Table("tsmdm140", "ServiceEmployees.ServiceEmployeesManager",
                    "ServiceEmployees.ServiceEmployees",
                    {T("emno", 9), T("desc", 35), T("cwoc", 9), T("ccal", 9), T("frmn", 9),
                     T("csar", 9), T("ccar", 9), T("user", 16), D("mopd")},
                    {"emno"},
                    // Employee, then the service centre and area the employee works for.
                    {{"List", {"emno", "cwoc", "csar"}}},
                    {{"getserviceemployee", "emno"},
                     {"getServiceEmployeeName", "desc"},
                     {"getServiceCenter", "cwoc"},
                     {"getCalendarCode", "ccal"},
                     {"getForeman", "frmn"},
                     {"getServiceArea", "csar"},
                     {"getServiceCar", "ccar"},
                     {"getLoginCode", "user"},
                     {"getMaximumOvertimePerDay", "mopd"}}));

  t.push_back(Table("tsclm020", "ResponseTimes.ResponseTimesManager", "ResponseTimes.ResponseTimes",
                    {T("crtc", 3), T("desc", 30), T("ccal", 9), D("rctt"), D("enst"), D("sltn")},
                    {"crtc"}, {{"List", {"crtc"}}},
                    {{"getResponseTime", "crtc"},
                     {"getResponseTimeDescription", "desc"},
                     {"getCalendar", "ccal"},
                     {"getReactionPeriod", "rctt"},
                     {"getSolutionStartPeriod", "enst"},
                     {"getSolutionFinishPeriod", "sltn"}}));

  t.push_back(Table("tsclm024", "PriorityTimeScale.PriorityTimeScaleManager",
                    "PriorityTimeScale.PriorityTimeScale", {D("sltt"), T("desc", 30)}, {"sltt"},
                    {{"List", {"sltt"}}},
                    {{"getSolutionTimeInMinutes", "sltt"}, {"getdescription", "desc"}}));

  t.push_back(Table("tscfg220", "Configurations.ConfigurationsManager",
                    "Configurations.Configurations",
                    {T("ccfg", 9), T("desc", 30), T("ofbp", 9), T("cwoc", 9), T("csar", 9),
                     T("tecr", 9), T("teca", 9), T("tecb", 9), T("cusc", 9), T("czon", 9),
                     D("dist"), D("trti"), T("ccal", 9), T("cadr", 12)},
                    {"ccfg"},
                    // Configuration, sold-to business partner, service centre, service area.
                    {{"List", {"ccfg", "ofbp", "cwoc", "csar"}}},
                    {{"getConfiguration", "ccfg"},
                     {"getdescription", "desc"},
                     {"getSoldToBusinessPartner", "ofbp"},
                     {"getServiceCenter", "cwoc"},
                     {"getServiceArea", "csar"},
                     {"getResponsibleEngineer", "tecr"},
                     {"getPreferredEngineer1", "teca"},
                     {"getPreferredEngineer2", "tecb"},
                     {"getUsageClass", "cusc"},
                     {"getDistanceZone", "czon"},
                     {"getTravelDistance", "dist"},
                     {"getTravelingTime", "trti"},
                     {"getCalendar", "ccal"},
                     {"getLocationAddress", "cadr"}}));

  t.push_back(Table("tscfg200", "ServiceObjects.ServiceObjectsManager",
                    "ServiceObjects.ServiceObjects",
                    {T("ccfg", 9), T("crob", 50), I("oseq"), T("desc", 30), T("cogr", 9),
                     T("cusc", 9), T("manu", 30), T("ccal", 9), T("cdel", 12)},
                    {"ccfg", "crob", "oseq"}, {{"List", {"ccfg", "crob", "oseq"}}},
                    {{"getConfiguration", "ccfg"},
                     {"getServiceObject", "crob"},
                     {"getObjectNumber", "oseq"},
                     {"getdescription", "desc"},
                     {"getObjectGroup", "cogr"},
                     {"getUsageClass", "cusc"},
                     {"getManufacturedBy", "manu"},
                     {"getCalendar", "ccal"},
                     {"getLocationAddress", "cdel"}}));

  t.push_back(
      Table("tssoc200", "ServiceOrders.ServiceOrdersManager", "ServiceOrders.ServiceOrders",
            {T("orno", 9), T("ccfg", 9), T("ofbp", 9), T("stna", 35), T("lcad", 12), T("cprj", 9),
             Ts("ordt"),   S("osta"),    T("cwoc", 9), T("csar", 9),  T("emno", 9),  S("blyn"),
             S("ityn"),    T("crit", 9), D("ordu"),    D("tvdu"),     Ts("pstm"),    Ts("pftm"),
             Ts("estm"),   Ts("lftm"),   S("otim"),    S("appo"),     S("rsrp"),     Ts("tstm"),
             Ts("astm"),   Ts("aftm"),   T("csco", 9), T("csqu", 9),  T("stbp", 9),  S("emer"),
             I("minu"),    Ts("ract")},
            {"orno"}, {{"listServiceOrders", {"orno"}}},
            {{"getServiceOrder", "orno"},
             {"getConfiguration", "ccfg"},
             {"getSoldToBusinessPartner", "ofbp"},
             {"getSoldToBusinessPartnerName", "stna"},
             {"getLocationAddress", "lcad"},
             {"getProject", "cprj"},
             {"getOrderDate", "ordt"},
             {"getOrderStatus", "osta"},
             {"getServiceCenter", "cwoc"},
             {"getServiceArea", "csar"},
             {"getServiceEngineer", "emno"},
             {"getBlocked", "blyn"},
             {"getInterrupted", "ityn"},
             {"getInterruptionReason", "crit"},
             {"getOrderDuration", "ordu"},
             {"getTravelDuration", "tvdu"},
             {"getPlannedStartTime", "pstm"},
             {"getPlannedFinishTime", "pftm"},
             {"getPlannedEarliestStartTime", "estm"},
             {"getPlannedLatestFinishTime", "lftm"},
             {"getOvertime", "otim"},
             {"getAppointment", "appo"},
             {"getRescheduleWithDetailSRP", "rsrp"},
             {"getActualTravelStartTime", "tstm"},
             {"getExecutionStartTime", "astm"},
             {"getExecutionFinishTime", "aftm"},
             {"getServiceContract", "csco"},
             {"getServiceOrderQuotation", "csqu"},
             {"getShipToBusinessPartner", "stbp"},
             {"getEmergencyOrder", "emer"},
             {"getPageFrequency", "minu"},
             {"getDispatchTime", "ract"}}));

  t.push_back(
      Table("tssoc210", "ServiceOrderActivities.ServiceOrderActivitiesManager",
            "ServiceOrderActivities.ServiceOrderActivities",
            {T("orno", 9), I("acln"),     T("crac", 9), T("desc", 30), T("cstp", 3), T("cagr", 9),
             T("ccfg", 9), T("crob", 50), I("oseq"),    T("ccll", 9),  T("crtc", 3), I("prpr"),
             I("cupr"),    I("obpr"),     T("cprl", 9), T("cstn", 9),  S("asta"),    T("skla", 9),
             T("sklb", 9), T("sklc", 9),  D("acdu"),    S("appo"),     Ts("pstm"),   Ts("pftm"),
             Ts("estm"),   Ts("lftm"),    Ts("astm"),   Ts("aftm")},
            {"orno", "acln"}, {{"List", {"orno", "acln"}}},
            {{"getServiceOrder", "orno"},
             {"getActivityLineNumber", "acln"},
             {"getReferenceActivity", "crac"},
             {"getdescription", "desc"},
             {"getServiceType", "cstp"},
             {"getActivityGroup", "cagr"},
             {"getConfiguration", "ccfg"},
             {"GetObject", "crob"},
             {"getObjectNumber", "oseq"},
             {"getCall", "ccll"},
             {"getResponseTime", "crtc"},
             {"getProblemPriority", "prpr"},
             {"getCustomerPriority", "cupr"},
             {"getObjectPriority", "obpr"},
             {"getProblem", "cprl"},
             {"getSolution", "cstn"},
             {"getActivityStatus", "asta"},
             {"getSkill1", "skla"},
             {"getSkill2", "sklb"},
             {"getSkill3", "sklc"},
             {"getActivityDuration", "acdu"},
             {"getAppointment", "appo"},
             {"getPlannedStartTime", "pstm"},
             {"getPlannedFinishTime", "pftm"},
             {"getPlannedEarliestStartTime", "estm"},
             {"getPlannedLatestFinishTime", "lftm"},
             {"getExecutionStartTime", "astm"},
             {"getExecutionFinishTime", "aftm"}}));

  t.push_back(Table("tssoc205", "ServiceOrderEngineers.ServiceOrderEngineersManager",
                    "ServiceOrderEngineers.ServiceOrderEngineers",
                    {T("orno", 9), I("line"), T("emno", 9), I("acln")}, {"orno", "line"},
                    {{"List", {"orno", "line"}}},
                    {{"getServiceOrder", "orno"},
                     {"getLineNumber", "line"},
                     {"getServiceEngineer", "emno"},
                     {"getActivity", "acln"}}));

  t.push_back(
      Table("tsspc200", "PlannedActivities.PlannedActivitiesManager",
            "PlannedActivities.PlannedActivities",
            {T("ccfg", 9), T("crac", 9),  I("aseq"),    T("desc", 30), T("cagr", 9), T("cstp", 3),
             T("cwoc", 9), T("crob", 50), I("oseq"),    Ts("esct"),    Ts("psct"),   Ts("pfct"),
             Ts("lfct"),   D("adur"),     D("trtm"),    T("skla", 9),  T("sklb", 9), T("sklc", 9),
             S("appo"),    S("stat"),     T("orno", 9), I("acln")},
            {"ccfg", "crac", "aseq"}, {{"List", {"ccfg", "crac", "aseq"}}},
            {{"getConfiguration", "ccfg"},    {"getActivity", "crac"},
             {"getActivityNumber", "aseq"},   {"getdescription", "desc"},
             {"getActivityGroup", "cagr"},    {"getServiceType", "cstp"},
             {"getServiceCenter", "cwoc"},    {"GetObject", "crob"},
             {"getObjectNumber", "oseq"},     {"getEarliestStartTime", "esct"},
             {"getPlannedStartTime", "psct"}, {"getPlannedFinishTime", "pfct"},
             {"getLatestFinishTime", "lfct"}, {"getActivityDuration", "adur"},
             {"getTravelingTime", "trtm"},    {"getSkill1", "skla"},
             {"getSkill2", "sklb"},           {"getSkill3", "sklc"},
             {"getAppointment", "appo"},      {"getActivityStatus", "stat"},
             {"getServiceOrder", "orno"},     {"getActivityLineNumber", "acln"}}));

  t.push_back(Table("tccom130", "Addresses.AddressesManager", "Addresses.Addresses",
                    // `dist`, the distance from the company's site, is not copied; the address list
                    // bounds it with its two floating-point arguments.
                    {T("cadr", 12), T("nama", 35), T("namc", 35), T("hono", 10), T("name", 35),
                     T("pstc", 10), D("dist")},
                    {"cadr"}, {{"List", {"cadr", "dist"}}},
                    {{"getAddressCode", "cadr"},
                     {"getName", "nama"},
                     {"getAddress", "namc"},
                     {"getHouseNumber", "hono"},
                     {"getCity", "name"},
                     {"getZIPCodePostalCode", "pstc"},
                     {"getDistance", "dist"}}));

  t.push_back(Table("tcccp001", "AvailabilityType.AvailabilityTypeManager",
                    "AvailabilityType.AvailabilityType",
                    {T("ract", 9), T("desc", 30), S("ptmu"), D("hrsd"), S("avlb")}, {"ract"},
                    {{"ListAllAvailable", {"ract"}}},
                    {{"getavailabilityType", "ract"},
                     {"getdescription", "desc"},
                     {"getplanTimeUnit", "ptmu"},
                     {"getnoOfHoursPerDay", "hrsd"},
                     {"getavailable", "avlb"}}));

  t.push_back(Table("tcccp030", "Calendars.CalendarManager", "Calendars.ActualCalendar",
                    {T("ccal", 9), T("ract", 9), Day("stdt"), Hhmm("sttm"), Day("endt"),
                     Hhmm("entm"), D("cutm"), D("ccap")},
                    {"ccal", "ract", "stdt", "sttm"},
                    // Calendar, availability type, start date, start time.
                    {{"listActualCalendar", {"ccal", "ract", "stdt", "sttm"}}},
                    {{"getCalendar", "ccal"},
                     {"getavailabilityType", "ract"},
                     {"getStartDate", "stdt"},
                     {"getStartTime", "sttm"},
                     {"getEndDate", "endt"},
                     {"getEndTime", "entm"},
                     {"getCumulativeTime", "cutm"},
                     {"getCumulativeCapacity", "ccap"}}));

  return t;
}

}  // namespace

bool IsNumeric(FieldType type) {
  switch (type) {
    case FieldType::kSmallInt:
    case FieldType::kInteger:
    case FieldType::kDouble:
    case FieldType::kHhmm:
      return true;
    default:
      return false;
  }
}

const char* FieldTypeName(FieldType type) {
  switch (type) {
    case FieldType::kText:
      return "text";
    case FieldType::kSmallInt:
      return "smallint";
    case FieldType::kInteger:
      return "integer";
    case FieldType::kDouble:
      return "double";
    case FieldType::kDateTime:
      return "date-time";
    case FieldType::kDate:
      return "date";
    case FieldType::kHhmm:
      return "HHMM time";
  }
  return "?";
}

bool LessIgnoreCase::operator()(std::string_view a, std::string_view b) const {
  return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
    return std::tolower(static_cast<unsigned char>(x)) <
           std::tolower(static_cast<unsigned char>(y));
  });
}

void TableDef::Index() {
  for (std::size_t i = 0; i < fields.size(); ++i) field_index_[fields[i].code] = i;
  for (const GetterDef& g : getters) {
    if (auto f = FieldIndex(g.field)) getter_field_[g.name] = *f;
  }
  for (const std::string& k : keys) {
    if (auto f = FieldIndex(k)) key_indexes_.push_back(*f);
  }
}

std::optional<std::size_t> TableDef::FieldIndex(std::string_view code) const {
  auto it = field_index_.find(code);
  if (it == field_index_.end()) return std::nullopt;
  return it->second;
}

std::optional<std::size_t> TableDef::GetterField(std::string_view getter) const {
  auto it = getter_field_.find(getter);
  if (it == getter_field_.end()) return std::nullopt;
  return it->second;
}

const ListMethodDef* TableDef::FindList(std::string_view name) const {
  for (const ListMethodDef& l : lists) {
    if (EqualsIgnoreCase(l.name, name)) return &l;
  }
  return nullptr;
}

bool TableDef::IsKey(std::size_t field) const {
  for (std::size_t k : key_indexes_) {
    if (k == field) return true;
  }
  return false;
}

const std::vector<TableDef>& ErpCatalogue() {
  static const std::vector<TableDef> catalogue = [] {
    std::vector<TableDef> tables = Build();
    for (TableDef& t : tables) t.Index();
    return tables;
  }();
  return catalogue;
}

const TableDef* FindTable(std::string_view table) {
  for (const TableDef& t : ErpCatalogue()) {
    if (EqualsIgnoreCase(t.table, table)) return &t;
  }
  return nullptr;
}

const TableDef* FindTableByManager(std::string_view class_id) {
  for (const TableDef& t : ErpCatalogue()) {
    if (EqualsIgnoreCase(t.manager_class, class_id)) return &t;
  }
  return nullptr;
}

const TableDef* FindTableByObject(std::string_view class_id) {
  for (const TableDef& t : ErpCatalogue()) {
    if (EqualsIgnoreCase(t.object_class, class_id)) return &t;
  }
  return nullptr;
}

std::vector<std::string> CheckCatalogue(const std::vector<TableDef>& tables) {
  std::vector<std::string> problems;
  std::set<std::string> table_names, class_ids;
  for (const TableDef& t : tables) {
    auto problem = [&](const std::string& text) { problems.push_back(t.table + ": " + text); };
    if (!IsSqlIdentifier(t.table)) problem("the table name is no SQL identifier");
    if (!table_names.insert(ToLower(t.table)).second) problem("the table is described twice");
    for (const std::string& id : {t.manager_class, t.object_class}) {
      if (id.empty() || !class_ids.insert(ToLower(id)).second) {
        problem("class identifier '" + id + "' is empty or used twice");
      }
    }
    std::set<std::string> codes;
    for (const FieldDef& f : t.fields) {
      if (!IsSqlIdentifier(f.code)) problem("field '" + f.code + "' is no SQL identifier");
      if (!codes.insert(ToLower(f.code)).second) problem("field '" + f.code + "' twice");
      if ((f.type == FieldType::kText) != (f.length > 0)) {
        problem("field '" + f.code + "': only text fields have a length");
      }
    }
    auto is_field = [&](const std::string& code) { return codes.count(ToLower(code)) > 0; };
    if (t.keys.empty()) problem("no key fields");
    for (const std::string& k : t.keys) {
      if (!is_field(k)) problem("key '" + k + "' is no field");
    }
    if (t.lists.empty()) problem("no list method");
    for (const ListMethodDef& l : t.lists) {
      if (l.bounds.empty()) problem("list method " + l.name + " bounds no field");
      for (const std::string& b : l.bounds) {
        if (!is_field(b)) problem("list method " + l.name + " bounds '" + b + "', no field");
      }
    }
    std::set<std::string> getter_names;
    for (const GetterDef& g : t.getters) {
      if (!is_field(g.field)) problem("getter " + g.name + " reads '" + g.field + "', no field");
      if (!getter_names.insert(ToLower(g.name)).second) problem("getter " + g.name + " twice");
      if (ToLower(g.name).rfind("get", 0) != 0) problem("getter " + g.name + " is no getter");
    }
    for (const std::string& k : t.keys) {
      bool has_getter = false;
      for (const GetterDef& g : t.getters) has_getter |= EqualsIgnoreCase(g.field, k);
      if (!has_getter) problem("key '" + k + "' has no getter");
    }
  }
  return problems;
}

}  // namespace qor::erp
