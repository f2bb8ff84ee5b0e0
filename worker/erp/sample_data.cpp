#include "worker/erp/sample_data.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <functional>

#include "common/error.h"
#include "common/text.h"
#include "worker/erp/component.h"
#include "worker/erp/java_date.h"
#include "worker/erp/store.h"
#include "worker/localdb/statement.h"

namespace qor::erp {
namespace {

constexpr int kCalendarDaysBefore = 75;
constexpr int kCalendarDays = 120;
constexpr int kSlotsPerDay = 3;

const char* const kServiceTypes[] = {"INS", "REP", "MNT", "INT", "CAL", "EMG", "PRV", "UPG"};
const char* const kAvailabilityTypes[] = {"WORK", "OVTM", "STBY", "HOLI"};
const double kSolutionTimes[] = {15, 30, 60, 120, 240.5, 480.25, 960.125, 999.99};
const char* const kCities[] = {"Amsterdam", "Berlin", "Lyon", "Porto", "Turin", "Gent", "Graz"};
const char* const kNames[] = {"Jansen", "Meyer", "Dubois", "Silva", "Rossi", "Peeters", "Huber"};

std::string Format(const char* format, ...) {
  char buffer[128];
  va_list args;
  va_start(args, format);
  std::vsnprintf(buffer, sizeof buffer, format, args);
  va_end(args);
  return buffer;
}

// Deterministic values for one row: splitmix64 over (seed, table, index, salt).
class Generator {
 public:
  Generator(std::uint64_t seed, std::size_t table, long long index, std::uint64_t salt)
      : state_(seed * 0x9E3779B97F4A7C15ULL ^ (table + 1) * 0xBF58476D1CE4E5B9ULL ^
               static_cast<std::uint64_t>(index) * 0x94D049BB133111EBULL ^
               salt * 0xD6E8FEB86659FD93ULL) {}

  std::uint64_t Next() {
    std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ULL);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    return z ^ (z >> 31);
  }
  long long Int(long long low, long long high) {
    return low + static_cast<long long>(Next() % static_cast<std::uint64_t>(high - low + 1));
  }
  bool Chance(int percent) { return Int(0, 99) < percent; }
  // Hundredths between the bounds.
  double Amount(int low, int high) { return Int(low * 100LL, high * 100LL) / 100.0; }
  const char* Pick(const char* const* items, std::size_t n) { return items[Next() % n]; }

 private:
  std::uint64_t state_;
};

// Sets fields of a row by code.
class RowBuilder {
 public:
  explicit RowBuilder(const TableDef& table) : table_(table), values_(table.fields.size()) {}
  RowBuilder& Set(const char* code, Variant value) {
    values_.at(*table_.FieldIndex(code)) = std::move(value);
    return *this;
  }
  std::vector<Variant> Take() { return std::move(values_); }

 private:
  const TableDef& table_;
  std::vector<Variant> values_;
};

Variant OrNull(bool null, Variant v) { return null ? Variant() : std::move(v); }
Variant YesNo(Generator& g, int percent_yes) { return g.Chance(percent_yes) ? 1 : 2; }

std::size_t TableNumber(const TableDef& table) {
  const auto& all = ErpCatalogue();
  for (std::size_t i = 0; i < all.size(); ++i) {
    if (&all[i] == &table) return i;
  }
  return all.size();
}

}  // namespace

SampleData::SampleData(const SampleOptions& options) : options_(options) {
  long long n = std::max(1LL, options.rows);
  activities_ = n;
  orders_ = (n + 3) / 4;
  configurations_ = std::max(1LL, n / 10);
  addresses_ = std::max(1LL, n / 10);
  employees_ = std::max(10LL, n / 100);
  calendars_ = std::max(2LL, employees_ / 20);
  centres_ = std::max(2LL, n / 50000);
  options_.today = options.today.Date();
}

long long SampleData::Count(const TableDef& t) const {
  const std::string& n = t.table;
  if (n == "tsmdm030") return 8;
  if (n == "tsmdm100") return centres_;
  if (n == "tsmdm105") return 3 * centres_;
  if (n == "tsmdm130") return 12;
  if (n == "tsmdm135") return 3 * employees_;
  if (n == "tsmdm140") return employees_;
  if (n == "tsclm020") return 6;
  if (n == "tsclm024") return 8;
  if (n == "tscfg220") return configurations_;
  if (n == "tscfg200") return 2 * configurations_;
  if (n == "tssoc200") return orders_;
  if (n == "tssoc210") return activities_;
  if (n == "tssoc205") return orders_ + orders_ / 2;
  if (n == "tsspc200") return std::max(1LL, activities_ / 2);
  if (n == "tccom130") return addresses_;
  if (n == "tcccp001") return 4;
  if (n == "tcccp030") return calendars_ * kCalendarDays * kSlotsPerDay;
  return 0;
}

long long SampleData::Capacity(const TableDef& t) const {
  const std::string& n = t.table;
  if (n == "tsmdm030") return 8 + 90;
  if (n == "tsmdm100") return 1000;
  if (n == "tsmdm105") return 10000;
  if (n == "tsmdm130") return 100;
  if (n == "tsmdm135") return employees_ * 12 * 10;
  if (n == "tsmdm140") return 1000000;
  if (n == "tsclm020") return 99;
  if (n == "tsclm024") return 8 + 3900;
  if (n == "tscfg220") return 10000000;
  if (n == "tscfg200") return 20000000;
  if (n == "tssoc200") return 10000000;
  if (n == "tssoc210") return orders_ * 4 * 249;
  if (n == "tssoc205") return orders_ * 9999;
  if (n == "tsspc200") return configurations_ * 5 * 9999;
  if (n == "tccom130") return 100000000;
  if (n == "tcccp001") return 4 + 900;
  if (n == "tcccp030") return calendars_ * kSlotsPerDay * (kCalendarDays + 4000);
  return 0;
}

std::vector<std::string> SampleData::UpdatableFields(const TableDef& t) const {
  // A calendar period's dates and times follow from its key; only its totals change.
  if (t.table == "tcccp030") return {"cutm", "ccap"};
  std::vector<std::string> fields;
  for (std::size_t i = 0; i < t.fields.size(); ++i) {
    if (!t.IsKey(i)) fields.push_back(t.fields[i].code);
  }
  return fields;
}

std::vector<Variant> SampleData::Row(const TableDef& t, long long i, std::uint64_t salt) const {
  return Generate(t, TableNumber(t), i, salt);
}

void SampleData::ForEachRow(const TableDef& t,
                            const std::function<void(std::span<const Variant>)>& take) const {
  std::size_t number = TableNumber(t);
  long long count = Count(t);
  for (long long i = 0; i < count; ++i) take(Generate(t, number, i, 0));
}

std::vector<Variant> SampleData::Generate(const TableDef& t, std::size_t number, long long i,
                                          std::uint64_t salt) const {
  Generator g(options_.seed, number, i, salt);
  RowBuilder r(t);
  const DateTime today = options_.today;
  auto centre = [&](long long k) { return Format("SC%03lld", k % centres_); };
  auto area = [&](long long k) { return Format("SA%04lld", k % (3 * centres_)); };
  auto employee = [&](long long k) { return Format("E%06lld", k % employees_); };
  auto calendar = [&](long long k) { return Format("CAL%04lld", k % calendars_); };
  auto configuration = [&](long long k) { return Format("CF%07lld", k % configurations_); };
  auto address = [&](long long k) { return Format("AD%08lld", k % addresses_); };
  auto partner = [&](long long k) {
    return Format("BP%06lld", k % std::max(1LL, configurations_ / 5));
  };
  auto skill = [&](long long k) { return Format("SK%02lld", k % 12); };
  auto order = [&](long long k) { return Format("SO%07lld", k % orders_); };
  auto service_type = [&](long long k) { return std::string(kServiceTypes[k % 8]); };
  auto city = [&] { return std::string(g.Pick(kCities, 7)); };
  auto name = [&] { return std::string(g.Pick(kNames, 7)); };
  const std::string& n = t.table;

  if (n == "tsmdm030") {
    r.Set("cstp", i < 8 ? kServiceTypes[i] : Format("S%02lld", i - 8 + 10))
        .Set("desc", Format("Service type %lld", i))
        .Set("proc", OrNull(g.Chance(20), Format("PROC%02lld", g.Int(1, 20))))
        .Set("ract", kAvailabilityTypes[0]);
  } else if (n == "tsmdm100") {
    r.Set("cwoc", Format("SC%03lld", i))
        .Set("desc", Format("Service centre %s", city().c_str()))
        .Set("wctp", g.Int(1, 2))
        .Set("cmwc", i == 0 ? Variant() : Variant(centre(0)))
        .Set("cwar", OrNull(g.Chance(20), Format("WH%03lld", i)))
        .Set("clrt", Format("LR%02lld", g.Int(1, 9)))
        .Set("srtp", g.Int(1, 3))
        .Set("srep", OrNull(g.Chance(30), Format("REP%03lld", g.Int(1, 99))));
  } else if (n == "tsmdm105") {
    r.Set("csar", Format("SA%04lld", i))
        .Set("desc", Format("Area %lld of %s", i, city().c_str()))
        .Set("artp", g.Int(1, 3))
        .Set("cmsa", OrNull(i % 3 == 0, Format("SA%04lld", i - i % 3)))
        .Set("cwoc", centre(i / 3))
        .Set("cwar", OrNull(g.Chance(30), Format("WH%03lld", (i / 3) % centres_)))
        .Set("trti", g.Amount(0, 3))
        .Set("dist", g.Amount(1, 150))
        .Set("ccha", g.Amount(20, 90))
        .Set("ccur", "EUR")
        .Set("clrt", Format("LR%02lld", g.Int(1, 9)));
  } else if (n == "tsmdm130") {
    r.Set("skll", Format("SK%02lld", i))
        .Set("desc", Format("Skill %lld", i))
        .Set("clrt", OrNull(g.Chance(25), Format("LR%02lld", g.Int(1, 9))));
  } else if (n == "tsmdm135") {
    r.Set("emno", employee(i))
        .Set("skll", skill(i / employees_))
        .Set("cogr", Format("GRP%lld", (i / (employees_ * 12)) % 10))
        .Set("afct", g.Amount(0, 2));
  } else if (n == "tsmdm140") {
    // Most employees work to a calendar; some have an empty code or none.
    Variant cal = i % 7 == 6 ? Variant("") : i % 11 == 9 ? Variant() : Variant(calendar(i));
    r.Set("emno", Format("E%06lld", i))
        .Set("desc", name() + Format(" %lld", i))
        .Set("cwoc", OrNull(i % 19 == 18, centre(i)))
        .Set("ccal", cal)
        .Set("frmn", OrNull(i % 10 == 0, employee(i - i % 10)))
        .Set("csar", area(i))
        .Set("ccar", OrNull(g.Chance(40), Format("CAR%05lld", i)))
        .Set("user", Format("user%06lld", i))
        .Set("mopd", g.Amount(0, 4));
  } else if (n == "tsclm020") {
    r.Set("crtc", Format("R%02lld", i + 1))
        .Set("desc", Format("Response within %lld hours", (i + 1) * 4))
        .Set("ccal", calendar(0))
        // Three decimals, so that the copies' rounding to two has work to do.
        .Set("rctt", (i + 1) * 1.125)
        .Set("enst", (i + 1) * 2.375)
        .Set("sltn", (i + 1) * 4.0);
  } else if (n == "tsclm024") {
    r.Set("sltt", i < 8 ? kSolutionTimes[i] : 1.0 + (i - 8) * 0.25)
        .Set("desc", Format("Solve in %lld minutes",
                            static_cast<long long>(i < 8 ? kSolutionTimes[i] : i)));
  } else if (n == "tscfg220") {
    r.Set("ccfg", Format("CF%07lld", i))
        .Set("desc", Format("Installation %lld", i))
        .Set("ofbp", partner(i))
        .Set("cwoc", centre(i))
        .Set("csar", area(i))
        .Set("tecr", employee(i))
        .Set("teca", employee(i + 1))
        .Set("tecb", OrNull(g.Chance(50), employee(i + 2)))
        .Set("cusc", Format("UC%lld", g.Int(1, 5)))
        .Set("czon", Format("Z%lld", g.Int(1, 4)))
        .Set("dist", g.Amount(1, 200))
        .Set("trti", g.Amount(0, 4))
        .Set("ccal", calendar(i))
        .Set("cadr", address(i));
  } else if (n == "tscfg200") {
    r.Set("ccfg", configuration(i / 2))
        .Set("crob", Format("OBJ%08lld", i))
        .Set("oseq", i % 2 + 1)
        .Set("desc", Format("Unit %lld", i))
        .Set("cogr", Format("GRP%lld", g.Int(0, 9)))
        .Set("cusc", Format("UC%lld", g.Int(1, 5)))
        .Set("manu", OrNull(g.Chance(20), Format("Maker %lld", g.Int(1, 50))))
        .Set("ccal", calendar(i / 2))
        .Set("cdel", address(i / 2));
  } else if (n == "tssoc200") {
    long long cfg = i % configurations_;
    long long status = g.Int(1, 5);
    DateTime ordered = today.AddDays(-(i % 90)).AddSeconds(8 * 3600 + (i % 9) * 3600);
    DateTime start = ordered.AddDays(1);
    double hours = g.Amount(1, 8);
    DateTime finish = start.AddSeconds(static_cast<long long>(hours * 3600));
    r.Set("orno", Format("SO%07lld", i))
        .Set("ccfg", configuration(cfg))
        .Set("ofbp", partner(cfg))
        .Set("stna", Format("Customer %s", partner(cfg).c_str()))
        .Set("lcad", address(cfg))
        .Set("cprj", OrNull(g.Chance(70), Format("PRJ%04lld", g.Int(1, 999))))
        .Set("ordt", ordered)
        .Set("osta", status)
        .Set("cwoc", centre(cfg))
        .Set("csar", area(cfg))
        .Set("emno", employee(i))
        .Set("blyn", YesNo(g, 5))
        .Set("ityn", YesNo(g, 10))
        .Set("crit", OrNull(g.Chance(80), Format("IR%02lld", g.Int(1, 20))))
        .Set("ordu", hours)
        .Set("tvdu", g.Amount(0, 2))
        .Set("pstm", start)
        .Set("pftm", finish)
        .Set("estm", start.AddSeconds(-7200))
        .Set("lftm", finish.AddSeconds(4 * 3600))
        .Set("otim", YesNo(g, 10))
        .Set("appo", YesNo(g, 30))
        .Set("rsrp", YesNo(g, 50))
        // Orders not yet under way carry the ERP's empty date.
        .Set("tstm", status >= 3 ? start.AddSeconds(-1800) : ErpEmptyDateTime())
        .Set("astm", status >= 3 ? start : ErpEmptyDateTime())
        .Set("aftm", status == 5 ? finish : ErpEmptyDateTime())
        .Set("csco", OrNull(g.Chance(50), Format("CON%05lld", g.Int(1, 9999))))
        .Set("csqu", OrNull(g.Chance(80), Format("QU%06lld", i)))
        .Set("stbp", partner(cfg))
        .Set("emer", YesNo(g, 3))
        .Set("minu", g.Int(0, 4) * 15)
        .Set("ract", status >= 2 ? ordered.AddSeconds(7200) : ErpEmptyDateTime());
  } else if (n == "tssoc210") {
    long long o = i % orders_;
    long long cfg = o % configurations_;
    long long line = (i / orders_) * 10 + 10;  // the order's activities 10, 20, ...
    DateTime start = today.AddDays(1 - (o % 90)).AddSeconds(8 * 3600 + (i / orders_) * 3600);
    double hours = g.Amount(0, 3);
    DateTime finish = start.AddSeconds(static_cast<long long>(hours * 3600));
    long long status = g.Int(1, 4);
    r.Set("orno", order(o))
        .Set("acln", line)
        .Set("crac", Format("ACT%02lld", g.Int(0, 4)))
        .Set("desc", Format("Activity %lld of %s", line, order(o).c_str()))
        .Set("cstp", service_type(i))
        .Set("cagr", Format("AG%lld", g.Int(1, 5)))
        .Set("ccfg", configuration(cfg))
        .Set("crob", Format("OBJ%08lld", cfg * 2))
        .Set("oseq", 1)
        .Set("ccll", OrNull(g.Chance(50), Format("CALL%05lld", g.Int(1, 99999))))
        .Set("crtc", Format("R%02lld", g.Int(1, 6)))
        .Set("prpr", g.Int(1, 5))
        .Set("cupr", g.Int(1, 5))
        .Set("obpr", g.Int(1, 5))
        .Set("cprl", OrNull(g.Chance(60), Format("PR%04lld", g.Int(1, 999))))
        .Set("cstn", OrNull(g.Chance(70), Format("SL%04lld", g.Int(1, 999))))
        .Set("asta", status)
        .Set("skla", skill(i))
        .Set("sklb", OrNull(g.Chance(50), skill(i + 1)))
        .Set("sklc", OrNull(g.Chance(80), skill(i + 2)))
        .Set("acdu", hours)
        .Set("appo", YesNo(g, 30))
        .Set("pstm", start)
        .Set("pftm", finish)
        .Set("estm", start.AddSeconds(-3600))
        .Set("lftm", finish.AddSeconds(3600))
        .Set("astm", status >= 3 ? start : ErpEmptyDateTime())
        .Set("aftm", status == 4 ? finish : ErpEmptyDateTime());
  } else if (n == "tssoc205") {
    r.Set("orno", order(i))
        .Set("line", i / orders_ + 1)
        .Set("emno", employee(i + i / orders_))
        .Set("acln", OrNull(g.Chance(10), (i / orders_) * 10 + 10));
  } else if (n == "tsspc200") {
    long long cfg = i % configurations_;
    DateTime start = today.AddDays(g.Int(1, 60)).AddSeconds(g.Int(7, 15) * 3600);
    double hours = g.Amount(0, 4);
    DateTime finish = start.AddSeconds(static_cast<long long>(hours * 3600));
    bool ordered = g.Chance(30);
    r.Set("ccfg", configuration(cfg))
        .Set("crac", Format("ACT%02lld", (i / configurations_) % 5))
        .Set("aseq", i / (5 * configurations_) + 1)
        .Set("desc", Format("Planned maintenance %lld", i))
        .Set("cagr", Format("AG%lld", g.Int(1, 5)))
        .Set("cstp", service_type(i))
        .Set("cwoc", centre(cfg))
        .Set("crob", Format("OBJ%08lld", cfg * 2))
        .Set("oseq", 1)
        .Set("esct", start.AddDays(-7))
        .Set("psct", start)
        .Set("pfct", finish)
        .Set("lfct", ordered ? finish.AddDays(7) : ErpEmptyDateTime())
        .Set("adur", hours)
        .Set("trtm", g.Amount(0, 2))
        .Set("skla", skill(i))
        .Set("sklb", OrNull(g.Chance(60), skill(i + 3)))
        .Set("sklc", Variant())
        .Set("appo", YesNo(g, 20))
        .Set("stat", g.Int(1, 3))
        .Set("orno", OrNull(!ordered, order(i)))
        .Set("acln", OrNull(!ordered, 10));
  } else if (n == "tccom130") {
    r.Set("cadr", Format("AD%08lld", i))
        .Set("nama", Format("%s Services %lld", name().c_str(), i))
        .Set("namc", Format("Main Street %lld", g.Int(1, 400)))
        .Set("hono", OrNull(g.Chance(10), Format("%lld%s", g.Int(1, 200), g.Chance(20) ? "a" : "")))
        .Set("name", city())
        .Set("pstc", Format("%05lld", g.Int(1000, 99999)))
        .Set("dist", OrNull(g.Chance(10), g.Amount(0, 500)));
  } else if (n == "tcccp001") {
    r.Set("ract", i < 4 ? kAvailabilityTypes[i] : Format("AT%03lld", i - 4))
        .Set("desc", Format("Availability %lld", i))
        .Set("ptmu", g.Int(1, 2))
        .Set("hrsd", 8.0)
        .Set("avlb", i == 3 ? 2 : 1);
  } else if (n == "tcccp030") {
    long long cal = i % calendars_;
    long long rest = i / calendars_;
    long long slot = rest % kSlotsPerDay;
    long long day = rest / kSlotsPerDay;
    DateTime date = today.AddDays(day - kCalendarDaysBefore);
    static const int kStarts[] = {800, 1300, 1800};
    static const int kEnds[] = {1200, 1700, 2400};  // the evening ends with the day
    r.Set("ccal", calendar(cal))
        .Set("ract", slot == 2 ? kAvailabilityTypes[1] : kAvailabilityTypes[0])
        .Set("stdt", date)
        .Set("sttm", kStarts[slot])
        .Set("endt", date)
        .Set("entm", kEnds[slot])
        .Set("cutm", static_cast<double>((day * kSlotsPerDay + slot) * 240))
        .Set("ccap", OrNull(g.Chance(20), g.Amount(0, 100)));
  }
  return r.Take();
}

std::map<std::string, long long> CreateSampleStore(localdb::Connection& connection,
                                                   const SampleOptions& options) {
  SampleData data(options);
  std::map<std::string, long long> written;
  // The sample is the ERP's state before the trail begins: fill first, then capture.
  CreateStore(connection, [&](localdb::Connection& c) {
    for (const TableDef& t : ErpCatalogue()) {
      auto inserter = MakeStoreInserter(c, t);
      data.ForEachRow(t, [&](std::span<const Variant> row) { inserter->Add(row); });
      inserter->Flush();
      written[t.table] = inserter->rows_written();
    }
  });
  return written;
}

namespace {

// Runs a statement with values bound as the given columns' types; returns the rows affected.
long long ExecuteTyped(localdb::Connection& connection, const std::string& sql,
                       const std::vector<Variant>& values,
                       const std::vector<localdb::ColumnInfo>& types) {
  localdb::Statement statement(connection);
  statement.Bind(values, types);
  return statement.ExecuteDirect(sql);
}

// The first column of the first row of a query with typed parameters.
Variant QueryTyped(localdb::Connection& connection, const std::string& sql,
                   const std::vector<Variant>& values,
                   const std::vector<localdb::ColumnInfo>& types) {
  localdb::Statement statement(connection);
  statement.Bind(values, types);
  statement.ExecuteDirect(sql);
  if (!statement.Fetch()) return Variant();
  return statement.Get(0);
}

class ChangeMaker {
 public:
  ChangeMaker(localdb::Connection& connection, const ChangeOptions& options)
      : connection_(connection),
        // The store's size decides which keys and references exist: read it back from the
        // largest table.
        data_(SampleOptions{
            std::max<long long>(
                1, connection.Query("SELECT COUNT(*) FROM tssoc210")[0][0].ToInteger()),
            options.seed, options.today}),
        generator_(options.seed, 99, 0, 0x5EED) {}

  void Apply(const TableDef& t, std::uint64_t salt, ChangeCounts& counts) {
    TableState& state = State(t);
    long long choice = generator_.Int(0, 99);
    if (state.rows == 0 || choice < 40) {
      if (Insert(t, state, salt)) {
        ++state.rows;
        ++counts.inserted;
        return;
      }
      if (state.rows == 0) return;
    }
    std::vector<Variant> key = PickKey(state);
    if (choice < 80) {
      Update(t, state, key, salt);
      ++counts.updated;
    } else {
      Expect(ExecuteTyped(connection_, state.delete_sql, key, state.key_types), t, "delete");
      --state.rows;
      ++counts.deleted;
    }
  }

 private:
  // What the changes of one table need, found at its first change. The run is one transaction
  // and only its own changes alter the table, so the row count follows them.
  struct TableState {
    std::vector<localdb::ColumnInfo> types;      // in field order
    std::vector<localdb::ColumnInfo> key_types;  // in key order
    std::string key_condition;                   // " WHERE k1 = ? AND k2 = ?"
    std::string count_key_sql;                   // rows with the key: 0 or 1
    std::string insert_sql;
    std::string delete_sql;
    std::string pick_key_sql;  // the keys in key order, less the offset
    long long rows = 0;
  };

  TableState& State(const TableDef& t) {
    auto found = tables_.find(&t);
    if (found != tables_.end()) return found->second;
    TableState state;
    const auto& all = connection_.TableColumns(t.table);
    for (const FieldDef& f : t.fields) {
      state.types.push_back(*std::find_if(
          all.begin(), all.end(),
          [&](const localdb::ColumnInfo& c) { return EqualsIgnoreCase(c.name, f.code); }));
    }
    for (std::size_t k : t.key_indexes()) state.key_types.push_back(state.types[k]);
    for (const std::string& k : t.keys) {
      state.key_condition +=
          (state.key_condition.empty() ? " WHERE " : " AND ") + localdb::QuoteName(k) + " = ?";
    }
    state.count_key_sql = "SELECT COUNT(*) FROM " + t.table + state.key_condition;
    std::string marks;
    for (std::size_t i = 0; i < t.fields.size(); ++i) marks += i ? ", ?" : "?";
    state.insert_sql = "INSERT INTO " + t.table + " (" + ColumnList(t) + ") VALUES (" + marks + ")";
    state.delete_sql = "DELETE FROM " + t.table + state.key_condition;
    std::string keys = KeyList(t);
    state.pick_key_sql =
        "SELECT " + keys + " FROM " + t.table + " ORDER BY " + keys + " LIMIT 1 OFFSET ";
    state.rows = connection_.Query("SELECT COUNT(*) FROM " + t.table)[0][0].ToInteger();
    return tables_.emplace(&t, std::move(state)).first->second;
  }

  bool Insert(const TableDef& t, const TableState& state, std::uint64_t salt) {
    long long capacity = data_.Capacity(t);
    for (int attempt = 0; attempt < 50; ++attempt) {
      long long index = generator_.Int(0, capacity - 1);
      std::vector<Variant> row = data_.Row(t, index, salt);
      std::vector<Variant> key;
      for (std::size_t k : t.key_indexes()) key.push_back(row[k]);
      Variant found = QueryTyped(connection_, state.count_key_sql, key, state.key_types);
      if (found.ToInteger() > 0) continue;
      ExecuteTyped(connection_, state.insert_sql, row, state.types);
      return true;
    }
    return false;
  }

  void Update(const TableDef& t, const TableState& state, const std::vector<Variant>& key,
              std::uint64_t salt) {
    std::vector<Variant> donor = data_.Row(t, generator_.Int(0, data_.Capacity(t) - 1), salt);
    std::vector<std::string> fields = data_.UpdatableFields(t);
    // Some consecutive updatable fields, one to all of them.
    std::size_t how_many = static_cast<std::size_t>(generator_.Int(1, fields.size()));
    std::size_t first = static_cast<std::size_t>(generator_.Int(0, fields.size() - 1));
    std::string set;
    std::vector<Variant> values;
    std::vector<localdb::ColumnInfo> types;
    for (std::size_t i = 0; i < how_many; ++i) {
      std::size_t f = *t.FieldIndex(fields[(first + i) % fields.size()]);
      set += (set.empty() ? "" : ", ") + localdb::QuoteName(t.fields[f].code) + " = ?";
      values.push_back(donor[f]);
      types.push_back(state.types[f]);
    }
    values.insert(values.end(), key.begin(), key.end());
    types.insert(types.end(), state.key_types.begin(), state.key_types.end());
    Expect(ExecuteTyped(connection_, "UPDATE " + t.table + " SET " + set + state.key_condition,
                        values, types),
           t, "update");
  }

  std::vector<Variant> PickKey(const TableState& state) {
    long long offset = generator_.Int(0, state.rows - 1);
    return connection_.Query(state.pick_key_sql + std::to_string(offset))[0];
  }

  // A key read from the table must find its row again.
  static void Expect(long long affected, const TableDef& t, const char* what) {
    if (affected != 1) {
      throw Error(kErpError, "erpsim",
                  std::string("The ") + what + " of a row of " + t.table + " affected " +
                      std::to_string(affected) + " rows instead of one");
    }
  }

  localdb::Connection& connection_;
  SampleData data_;
  Generator generator_;
  std::map<const TableDef*, TableState> tables_;
};

}  // namespace

ChangeCounts ApplyRandomChanges(localdb::Connection& connection, const ChangeOptions& options) {
  std::vector<const TableDef*> tables;
  if (options.table.empty()) {
    for (const TableDef& t : ErpCatalogue()) tables.push_back(&t);
  } else if (const TableDef* t = FindTable(options.table)) {
    tables.push_back(t);
  } else {
    throw Error(kValidationError, "erpsim", "No ERP table is named '" + options.table + "'");
  }
  ChangeMaker maker(connection, options);
  Generator pick(options.seed, 98, 0, 0);
  ChangeCounts counts;
  localdb::Transaction transaction(connection);
  for (long long i = 0; i < options.count; ++i) {
    const TableDef& t = *tables[pick.Next() % tables.size()];
    maker.Apply(t, static_cast<std::uint64_t>(i) + 1, counts);
  }
  transaction.Commit();
  return counts;
}

}  // namespace qor::erp
