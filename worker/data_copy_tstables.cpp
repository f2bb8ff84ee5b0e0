// The procedures of a job that read and write the table's row in tstables: the claim, the
// sync method, the release and the last-update stamp.
#include <cstdint>

#include "common/text.h"
#include "worker/data_copy.h"
#include "worker/process_owner.h"

namespace qor::worker {
namespace {

constexpr const char* kSelectRow = "select * from tstables where tablename = ?";

}  // namespace

// The test and the claim are one conditional update, so that of two workers started for one
// table at the same moment only one can pass. The claim records its owner (host, process,
// time) so that a claim left by a worker that died can be taken over.
bool clsDataCopy::IsCopyInProgress(const std::string& table) {
  try {
    for (int attempt = 0; attempt < 3; ++attempt) {
      DateTime now = DateTime::Now();
      long long claimed = Connection().Execute(
          "UPDATE tstables SET in_use = 1, claim_host = ?, claim_pid = ?, claim_time = ? "
          "WHERE tablename = ? AND (in_use IS NULL OR in_use <> 1)",
          {HostName(), ProcessId(), now, table});
      if (claimed > 0) {
        claimed_ = true;
        return false;
      }
      auto rows = Connection().Query(
          "SELECT in_use, claim_host, claim_pid, claim_time FROM tstables WHERE tablename = ?",
          {table});
      if (rows.empty()) {
        try {
          SetCopyInProgress(table);
          return false;
        } catch (const Error&) {
          // Another worker may have added the row in the meantime: look again.
          if (Connection()
                  .Query("SELECT in_use FROM tstables WHERE tablename = ?", {table})
                  .empty()) {
            throw;
          }
          continue;
        }
      }
      if (rows[0][0] == Variant(1)) return !TakeOverDeadClaim(table, rows[0]);
      // The row was released between the update and the look: try again.
    }
    return true;
  } catch (...) {
    throw LoggedAndRaised(
        "Data Copy In Progress",
        "Checking of whether Data Copy is in Progress for table " + table + " Failed");
  }
}

void clsDataCopy::SetCopyInProgress(const std::string& table) {
  try {
    Connection().Execute(
        "INSERT INTO tstables (tablename, in_use, freq, reqd, claim_host, claim_pid, claim_time) "
        "VALUES (?, 1, 0, 1, ?, ?, ?)",
        {table, HostName(), ProcessId(), DateTime::Now()});
    claimed_ = true;
  } catch (...) {
    throw LoggedAndRaised("Set Data Copy In Progress",
                          "Setting Data Copy in Progress flag for table " + table + " Failed");
  }
}

// A claim whose owner on this host no longer runs would block its table for ever; take it
// over when the claim still names that owner. A claim of another host, or without an owner,
// is left alone.
bool clsDataCopy::TakeOverDeadClaim(const std::string& table, const std::vector<Variant>& row) {
  const Variant& host = row[1];
  const Variant& pid = row[2];
  const Variant& since = row[3];
  if (host.IsNull() || pid.IsNull() || since.IsNull()) return false;
  if (host.ToText() != HostName()) return false;
  if (ClaimOwnerAlive(static_cast<long>(pid.ToInteger()), since.ToDateTime())) return false;
  long long taken = Connection().Execute(
      "UPDATE tstables SET claim_host = ?, claim_pid = ?, claim_time = ? "
      "WHERE tablename = ? AND in_use = 1 AND claim_host = ? AND claim_pid = ?",
      {HostName(), ProcessId(), DateTime::Now(), table, host, pid});
  if (taken == 0) return false;  // another worker took it first
  claimed_ = true;
  WriteLogEntry(
      {"Data Copy In Progress", "Took over the claim on table " + table + " left by process " +
                                    pid.ToText() + " on " + host.ToText() + " since " +
                                    since.ToDateTime().FormatGeneral() + ", which no longer runs"});
  return true;
}

int clsDataCopy::ReadSyncMethod(const std::string& table) {
  try {
    localdb::Recordset rs;
    rs.Open(Connection(), kSelectRow, localdb::Recordset::CommandType::kText, {table});
    if (rs.RecordCount() == 0) return 1;
    Variant syme = rs.Field("syme");
    if (syme.IsNull()) throw Error(94, "ReadSyncMethod", "Invalid use of Null");
    std::int64_t method = syme.ToInteger();
    if (method < INT16_MIN || method > INT16_MAX) throw Error(6, "ReadSyncMethod", "Overflow");
    return static_cast<int>(method);
  } catch (...) {
    throw LoggedAndRaised("ReadSyncMethod",
                          "Reading the synchronization Method for table " + table + " Failed");
  }
}

// Only this job's own claim is cleared: a job that failed before it claimed must not free a
// table that another worker is copying.
void clsDataCopy::ReleaseCopyInProgress(const std::string& table) {
  try {
    if (claimed_) {
      Connection().Execute(
          "UPDATE tstables SET in_use = 0, claim_host = NULL, claim_pid = NULL, "
          "claim_time = NULL WHERE tablename = ? AND claim_host = ? AND claim_pid = ?",
          {table, HostName(), ProcessId()});
      claimed_ = false;
      return;
    }
    // Without a connection there is no claim of ours and no row to add.
    if (!Connection_ || !Connection_->IsOpen()) return;
    localdb::Recordset rs;
    rs.Open(Connection(), kSelectRow, localdb::Recordset::CommandType::kText, {table});
    if (rs.RecordCount() > 0) return;
    rs.AddNew();
    rs.SetField("TableName", table);
    rs.SetField("in_use", 0);
    rs.SetField("lutm", DateTime::Now().Date());
    rs.Update();
  } catch (...) {
    throw LoggedAndRaised("ReleaseCopyInProgress",
                          "Release of Data copy in Progress flag for table " + table + " Failed");
  }
}

void clsDataCopy::StampLastUpdate(const std::string& table, const DateTime& value) {
  try {
    localdb::Recordset rs;
    rs.Open(Connection(), kSelectRow, localdb::Recordset::CommandType::kText, {table});
    if (rs.RecordCount() == 0) {
      rs.AddNew();
      rs.SetField("TableName", table);
    }
    rs.SetField("lutm", value);
    rs.Update();
  } catch (...) {
    LogCopyError(CurrentError());
  }
}

}  // namespace qor::worker
