// One copy job: connect to the local database, claim the table in tstables, copy it by its
// sync method, release the claim and tell the owner the outcome through events. Also the
// procedures that every table's copy shares: the table log, the last-update stamp and the
// whole-table deletion.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "common/date_time.h"
#include "common/error.h"
#include "common/sync_method.h"
#include "common/variant.h"
#include "worker/erp/component.h"
#include "worker/localdb/connection.h"
#include "worker/localdb/recordset.h"

namespace qor::worker {

// The events of a job, raised to its owner in this order: DataCopyStarted (once the method
// is read), then one of DataCopyError, DataCopyComplete, DataCopyAlreadyInProgress, then
// DataCopydone.
class DataCopyEvents {
 public:
  virtual ~DataCopyEvents() = default;
  virtual void DataCopyStarted(const DateTime& iTime, const std::string& iTableName) = 0;
  virtual void DataCopyError(const DateTime& iTime, const std::string& iTableName, long ieNumber,
                             const std::string& ieMessage) = 0;
  virtual void DataCopyComplete(const DateTime& iTime, const std::string& iTableName,
                                std::int32_t icount, std::int32_t ucount, std::int32_t dcount) = 0;
  virtual void DataCopyAlreadyInProgress(const DateTime& iTime, const std::string& iTableName) = 0;
  virtual void DataCopydone() = 0;
};

// Copy result of RunCopyJob.
inline constexpr int kCopyCompleted = 0;
inline constexpr int kCopyAlreadyInProgress = 1;
inline constexpr int kCopyFailed = -1;

class clsDataCopy;

// A table's dispatch procedure (`CopyServiceTypes` and its kind): runs the table's full copy
// for kFullTable and its changed-data copy for kChangedData. It gets the table name as
// received (it names the local table in every statement) and the bus component.
using CopyProcedure = std::function<void(clsDataCopy& job, const std::string& table,
                                         const std::string& bus_component, SyncMethod method)>;

// Table name in lower case -> the table's dispatch procedure.
class DispatchTable {
 public:
  // An empty procedure marks a table whose copy is not built: it copies nothing.
  void Add(std::string lower_name, CopyProcedure copy);
  // The procedure for the name, or nullptr when the name is unknown or copies nothing.
  const CopyProcedure* Find(std::string_view lower_name) const;
  std::vector<std::string> Names() const;

 private:
  std::map<std::string, CopyProcedure, std::less<>> procedures_;
};

// The seventeen tables.
const DispatchTable& StandardDispatchTable();

class clsDataCopy {
 public:
  // REQUIRES: `events`, `dispatch` and `erp` outlive the job. `erp` may be null while no table
  // in `dispatch` reaches the ERP.
  explicit clsDataCopy(DataCopyEvents& events,
                       const DispatchTable& dispatch = StandardDispatchTable(),
                       erp::ComponentFactory* erp = nullptr);
  ~clsDataCopy();
  clsDataCopy(const clsDataCopy&) = delete;
  clsDataCopy& operator=(const clsDataCopy&) = delete;

  // Runs the job and raises its events. An error raised while a failure is being handled
  // (the table log and its fallback both unwritable, say) leaves without events.
  void StartDataCopy(const std::string& ConnectionString, const std::string& LocalDataBase,
                     const std::string& TableName, const std::string& LogFilePath,
                     const std::string& MDLBusComponent);

  // --- What the copy procedures share. ---
  localdb::Connection& Connection();
  localdb::Recordset& TableRecordset() { return TableRecordset_; }
  erp::ComponentFactory& Erp();

  std::int32_t UpdateCount = 0;
  std::int32_t InsertCount = 0;
  std::int32_t DeleteCount = 0;
  DateTime CopyStartTime;
  // Result of the last JavaDateToDate: a date-time, or the whole number 0.
  Variant ConvertedDate = Variant(0);

  // Writes the job's date-time line (once per job) and the error's source and description.
  void LogCopyError(const Error& error);
  // A procedure's error handler: writes the error being handled to the table log and returns
  // it as the procedure raises it again, its number + 100 with the procedure's source and
  // description. REQUIRES: called inside a catch block.
  Error LoggedAndRaised(const std::string& source, const std::string& description);
  // The date-time line and the counts of a completed copy.
  void LogCopyCounts(const std::string& table, std::int32_t inserted, std::int32_t updated,
                     std::int32_t deleted);
  // Deletes every row of the local table (command time-out 150 seconds).
  void DeleteAllRecords(const std::string& table);
  // Sets the table's lutm, adding its tstables row when missing. A failure is logged, not
  // raised: the copy itself has completed, and the next changed-data copy reads from the old
  // stamp again, which re-applies changes harmlessly.
  void StampLastUpdate(const std::string& table, const DateTime& value);

  // Whether the local calendar table holds periods of the calendar.
  bool CalendarExists(const std::string& code);
  // Converts a Java date into ConvertedDate: false (and the whole number 0) for the ERP's
  // empty date, any date in January 1900; true and the date-time it holds otherwise.
  bool JavaDateToDate(erp::Object& java_date);
  // 1 gives 1, every other value (Null included) 0.
  std::uint8_t YesNoToFlag(const Variant& value);
  // A Java date holding the table's lutm exactly, to the second; 1 January 1970 at the
  // current time of day when the table was never stamped.
  erp::ObjectPtr LastUpdateAsJavaDate(const std::string& table);
  // A Java date holding the current date and time, to the second.
  erp::ObjectPtr NowAsJavaDate();

  // The table log's file name: log directory, "/", the table name as received, ".log".
  const std::string& LogFileName() const { return LogFileName_; }

 private:
  int RunCopyJob();
  bool IsCopyInProgress(const std::string& table);
  void SetCopyInProgress(const std::string& table);
  bool TakeOverDeadClaim(const std::string& table, const std::vector<Variant>& row);
  int ReadSyncMethod(const std::string& table);
  void ReleaseCopyInProgress(const std::string& table);
  void CloseDatabase();
  // Writes items as one line of the table log, after the job's date-time line.
  void WriteLogEntry(const std::vector<std::string>& items);
  void AppendLog(const std::string& text);

  DataCopyEvents& events_;
  const DispatchTable& dispatch_;
  erp::ComponentFactory* erp_;

  std::unique_ptr<localdb::Connection> Connection_;
  localdb::Recordset TableRecordset_;
  bool ErrorLogged = false;
  std::string LogFileName_;
  // The file the table log actually went to (see AppendToLog); names it in the error message.
  std::string log_written_to_;
  std::string connection_string_;
  std::string local_database_;
  std::string TableName_;
  std::string LogFilePath_;
  std::string bus_component_;
  // Whether this job holds the table's claim, which only its own release may clear.
  bool claimed_ = false;
};

// The variable that gives the local database's password when the connection string has none.
inline constexpr const char* kDbPasswordVariable = "QOR_DB_PASSWORD";

}  // namespace qor::worker
