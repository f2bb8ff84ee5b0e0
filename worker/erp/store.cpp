#include "worker/erp/store.h"

#include <map>
#include <mutex>
#include <optional>

#include "common/connection_string.h"
#include "common/error.h"
#include "common/text.h"
#include "worker/localdb/bulk_inserter.h"

namespace qor::erp {
namespace {

std::string ColumnType(const FieldDef& f, localdb::Dialect dialect) {
  switch (f.type) {
    case FieldType::kText:
      // Text compares byte by byte in list ranges; PostgreSQL's "C" collation does that
      // whatever the database's locale, and lets the key's index serve those ranges.
      return "varchar(" + std::to_string(f.length) + ")" +
             (dialect == localdb::Dialect::kPostgres ? " COLLATE \"C\"" : "");
    case FieldType::kSmallInt:
      return "smallint";
    case FieldType::kInteger:
    case FieldType::kHhmm:
      return "integer";
    case FieldType::kDouble:
      return "double precision";
    case FieldType::kDateTime:
    case FieldType::kDate:
      return "timestamp";
  }
  return "varchar(255)";
}

std::string SqliteJsonObject(const TableDef& t, const char* row, bool keys_only) {
  std::string out = "json_object(";
  bool first = true;
  for (std::size_t i = 0; i < t.fields.size(); ++i) {
    if (keys_only && !t.IsKey(i)) continue;
    if (!first) out += ", ";
    first = false;
    out += SqlQuote(t.fields[i].code) + ", " + row + "." + localdb::QuoteName(t.fields[i].code);
  }
  return out + ")";
}

std::string SqliteTrailInsert(const TableDef& t, const char* act, const char* row) {
  return std::string("INSERT INTO ") + kAuditTable + " (tbl, tm, act, keyv, rec) VALUES (" +
         SqlQuote(t.table) + ", CAST(strftime('%s', 'now') AS INTEGER), " + SqlQuote(act) + ", " +
         SqliteJsonObject(t, row, true) + ", " + SqliteJsonObject(t, row, false) + ");";
}

constexpr const char* kPostgresCaptureFunction = R"sql(
CREATE OR REPLACE FUNCTION erp_audit_capture() RETURNS trigger LANGUAGE plpgsql AS $body$
DECLARE
  instant bigint := floor(extract(epoch FROM clock_timestamp()))::bigint;
  new_row jsonb;
  old_row jsonb;
  new_keys jsonb := '{}'::jsonb;
  old_keys jsonb := '{}'::jsonb;
  i integer;
BEGIN
  IF TG_OP <> 'DELETE' THEN new_row := to_jsonb(NEW); END IF;
  IF TG_OP <> 'INSERT' THEN old_row := to_jsonb(OLD); END IF;
  FOR i IN 0 .. TG_NARGS - 1 LOOP
    IF new_row IS NOT NULL THEN
      new_keys := new_keys || jsonb_build_object(TG_ARGV[i], new_row -> TG_ARGV[i]);
    END IF;
    IF old_row IS NOT NULL THEN
      old_keys := old_keys || jsonb_build_object(TG_ARGV[i], old_row -> TG_ARGV[i]);
    END IF;
  END LOOP;
  IF TG_OP = 'UPDATE' AND new_keys = old_keys THEN
    INSERT INTO erp_audit (tbl, tm, act, keyv, rec)
      VALUES (TG_TABLE_NAME, instant, 'U', new_keys::text, new_row::text);
    RETURN NULL;
  END IF;
  IF old_row IS NOT NULL THEN
    INSERT INTO erp_audit (tbl, tm, act, keyv, rec)
      VALUES (TG_TABLE_NAME, instant, 'D', old_keys::text, old_row::text);
  END IF;
  IF new_row IS NOT NULL THEN
    INSERT INTO erp_audit (tbl, tm, act, keyv, rec)
      VALUES (TG_TABLE_NAME, instant, 'I', new_keys::text, new_row::text);
  END IF;
  RETURN NULL;
END
$body$)sql";

// The driver's error, naming the store by its redacted connection string.
[[noreturn]] void ThrowCannotConnect(const std::string& connection_string, const Error& e) {
  throw Error(e.number(), "ERP store",
              "Cannot connect to the ERP store " +
                  ConnectionString::Parse(connection_string).Redacted() + ": " + e.description(),
              e.sqlstate(), e.native());
}

// The dialects of the stores connected to so far, by connection string (as given, without the
// password from the environment), for the whole process: a later session connects once,
// straight away with its driver's streaming options.
std::mutex known_dialects_mutex;
std::map<std::string, localdb::Dialect> known_dialects;

std::optional<localdb::Dialect> KnownDialect(const std::string& connection_string) {
  std::lock_guard<std::mutex> lock(known_dialects_mutex);
  auto it = known_dialects.find(connection_string);
  if (it == known_dialects.end()) return std::nullopt;
  return it->second;
}

void RememberDialect(const std::string& connection_string, localdb::Dialect dialect) {
  std::lock_guard<std::mutex> lock(known_dialects_mutex);
  known_dialects[connection_string] = dialect;
}

}  // namespace

std::string WithEnvironmentPassword(const std::string& connection_string) {
  return WithPasswordFromEnvironment(connection_string, kErpPasswordVariable);
}

std::string WithStreaming(const std::string& connection_string, localdb::Dialect dialect) {
  ConnectionString cs = ConnectionString::Parse(connection_string);
  auto set_default = [&](const char* key, const char* value) {
    if (!cs.Has(key)) cs.Set(key, value);
  };
  if (dialect == localdb::Dialect::kSqlite) {
    set_default("StepAPI", "1");
  } else if (dialect == localdb::Dialect::kPostgres) {
    set_default("UseDeclareFetch", "1");
    set_default("Fetch", "1000");
  }
  return cs.ToString();
}

std::unique_ptr<localdb::Connection> ConnectStore(const std::string& connection_string) {
  auto connection = std::make_unique<localdb::Connection>();
  try {
    connection->Open(WithEnvironmentPassword(connection_string));
  } catch (const Error& e) {
    ThrowCannotConnect(connection_string, e);
  }
  return connection;
}

std::shared_ptr<StoreSession> StoreSession::Open(const std::string& connection_string) {
  auto session = std::make_shared<StoreSession>();
  localdb::Connection& connection = session->connection_;
  std::string full = WithEnvironmentPassword(connection_string);
  try {
    if (std::optional<localdb::Dialect> known = KnownDialect(connection_string)) {
      connection.Open(WithStreaming(full, *known));
      if (connection.dialect() == *known) return session;
      connection.Close();  // the data source names another driver now
    }
    // The driver is known only once connected; reconnect with its streaming options so that
    // enumerations and readers keep memory flat.
    connection.Open(full);
    RememberDialect(connection_string, connection.dialect());
    std::string streaming = WithStreaming(full, connection.dialect());
    if (streaming != full) {
      connection.Close();
      connection.Open(streaming);
    }
  } catch (const Error& e) {
    ThrowCannotConnect(connection_string, e);
  }
  return session;
}

std::string ColumnList(const TableDef& table) {
  std::string out;
  for (const FieldDef& f : table.fields) {
    if (!out.empty()) out += ", ";
    out += localdb::QuoteName(f.code);
  }
  return out;
}

std::string KeyList(const TableDef& table) {
  std::string out;
  for (const std::string& k : table.keys) {
    if (!out.empty()) out += ", ";
    out += localdb::QuoteName(k);
  }
  return out;
}

std::vector<std::string> StoreTableStatements(localdb::Dialect dialect) {
  std::vector<std::string> out;
  bool pg = dialect == localdb::Dialect::kPostgres;
  out.push_back(std::string("DROP TABLE IF EXISTS ") + kAuditTable);
  for (const TableDef& t : ErpCatalogue()) {
    out.push_back("DROP TABLE IF EXISTS " + t.table);
    std::string sql = "CREATE TABLE " + t.table + " (";
    for (std::size_t i = 0; i < t.fields.size(); ++i) {
      const FieldDef& f = t.fields[i];
      sql += localdb::QuoteName(f.code) + " " + ColumnType(f, dialect) +
             (t.IsKey(i) ? " NOT NULL" : "") + ", ";
    }
    out.push_back(sql + "PRIMARY KEY (" + KeyList(t) + "))");
  }
  out.push_back(std::string("CREATE TABLE ") + kAuditTable + " (" +
                (pg ? "seq bigserial PRIMARY KEY" : "seq INTEGER PRIMARY KEY AUTOINCREMENT") +
                ", tbl varchar(20) NOT NULL, tm bigint NOT NULL, act char(1) NOT NULL, "
                "keyv text NOT NULL, rec text NOT NULL)");
  out.push_back(std::string("CREATE INDEX erp_audit_tbl_tm ON ") + kAuditTable + " (tbl, tm)");
  return out;
}

std::vector<std::string> AuditTriggerStatements(localdb::Dialect dialect) {
  std::vector<std::string> out;
  if (dialect == localdb::Dialect::kPostgres) {
    out.push_back(kPostgresCaptureFunction);
    for (const TableDef& t : ErpCatalogue()) {
      std::string args;
      for (const std::string& k : t.keys) args += (args.empty() ? "" : ", ") + SqlQuote(k);
      out.push_back("CREATE TRIGGER " + t.table + "_audit AFTER INSERT OR UPDATE OR DELETE ON " +
                    t.table + " FOR EACH ROW EXECUTE FUNCTION erp_audit_capture(" + args + ")");
    }
    return out;
  }
  for (const TableDef& t : ErpCatalogue()) {
    std::string same_keys;
    for (const std::string& k : t.keys) {
      same_keys += (same_keys.empty() ? "" : " AND ") + std::string("OLD.") +
                   localdb::QuoteName(k) + " IS NEW." + localdb::QuoteName(k);
    }
    out.push_back("CREATE TRIGGER " + t.table + "_audit_i AFTER INSERT ON " + t.table + " BEGIN " +
                  SqliteTrailInsert(t, "I", "NEW") + " END");
    out.push_back("CREATE TRIGGER " + t.table + "_audit_u AFTER UPDATE ON " + t.table + " WHEN " +
                  same_keys + " BEGIN " + SqliteTrailInsert(t, "U", "NEW") + " END");
    out.push_back("CREATE TRIGGER " + t.table + "_audit_k AFTER UPDATE ON " + t.table +
                  " WHEN NOT (" + same_keys + ") BEGIN " + SqliteTrailInsert(t, "D", "OLD") + " " +
                  SqliteTrailInsert(t, "I", "NEW") + " END");
    out.push_back("CREATE TRIGGER " + t.table + "_audit_d AFTER DELETE ON " + t.table + " BEGIN " +
                  SqliteTrailInsert(t, "D", "OLD") + " END");
  }
  return out;
}

void CreateStore(localdb::Connection& connection,
                 const std::function<void(localdb::Connection&)>& fill) {
  localdb::Transaction transaction(connection);
  for (const std::string& sql : StoreTableStatements(connection.dialect())) {
    connection.Execute(sql);
  }
  if (fill) fill(connection);
  for (const std::string& sql : AuditTriggerStatements(connection.dialect())) {
    connection.Execute(sql);
  }
  transaction.Commit();
}

std::unique_ptr<localdb::BulkInserter> MakeStoreInserter(localdb::Connection& connection,
                                                         const TableDef& table) {
  std::vector<std::string> fields;
  for (const FieldDef& f : table.fields) fields.push_back(f.code);
  return localdb::MakeBulkInserter(connection, table.table, fields);
}

}  // namespace qor::erp
