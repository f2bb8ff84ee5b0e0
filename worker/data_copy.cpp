#include "worker/data_copy.h"

#include "common/connection_string.h"
#include "common/text.h"
#include "worker/log_file.h"

namespace qor::worker {

void DispatchTable::Add(std::string lower_name, CopyProcedure copy) {
  procedures_[std::move(lower_name)] = std::move(copy);
}

const CopyProcedure* DispatchTable::Find(std::string_view lower_name) const {
  auto it = procedures_.find(lower_name);
  if (it == procedures_.end() || !it->second) return nullptr;
  return &it->second;
}

std::vector<std::string> DispatchTable::Names() const {
  std::vector<std::string> names;
  for (const auto& [name, copy] : procedures_) names.push_back(name);
  return names;
}

clsDataCopy::clsDataCopy(DataCopyEvents& events, const DispatchTable& dispatch,
                         erp::ComponentFactory* erp)
    : events_(events), dispatch_(dispatch), erp_(erp) {}

clsDataCopy::~clsDataCopy() = default;

localdb::Connection& clsDataCopy::Connection() {
  if (!Connection_) throw Error(91, "clsDataCopy", "The job has no open connection");
  return *Connection_;
}

erp::ComponentFactory& clsDataCopy::Erp() {
  if (!erp_) throw Error(91, "clsDataCopy", "The job has no ERP components");
  return *erp_;
}

void clsDataCopy::StartDataCopy(const std::string& ConnectionString,
                                const std::string& LocalDataBase, const std::string& TableName,
                                const std::string& LogFilePath,
                                const std::string& MDLBusComponent) {
  TableName_ = TableName;
  LogFilePath_ = LogFilePath;
  connection_string_ = ConnectionString;
  local_database_ = LocalDataBase;
  bus_component_ = MDLBusComponent;
  int result = RunCopyJob();
  if (result == kCopyAlreadyInProgress) {
    events_.DataCopyAlreadyInProgress(DateTime::Now(), TableName);
  } else if (result == kCopyFailed) {
    const std::string& file = log_written_to_.empty() ? LogFileName_ : log_written_to_;
    events_.DataCopyError(DateTime::Now(), TableName, -1,
                          "DataCopy Failed, see logfile '" + file + "' for Detail Error Message");
  } else {
    events_.DataCopyComplete(DateTime::Now(), TableName, InsertCount, UpdateCount, DeleteCount);
  }
  events_.DataCopydone();
}

int clsDataCopy::RunCopyJob() {
  LogFileName_ = LogFilePath_ + "/" + TableName_ + ".log";
  try {
    Connection_ = std::make_unique<localdb::Connection>();
    Connection_->Open(WithPasswordFromEnvironment(connection_string_, kDbPasswordVariable));
    if (!Trim(local_database_).empty()) Connection_->SetDefaultDatabase(Trim(local_database_));
    if (IsCopyInProgress(TableName_)) {
      // Another worker holds the table; its claim is left alone.
      CloseDatabase();
      return kCopyAlreadyInProgress;
    }
    SyncMethod method = WorkerSyncMethod(ReadSyncMethod(TableName_));
    events_.DataCopyStarted(DateTime::Now(), TableName_);
    if (const CopyProcedure* copy = dispatch_.Find(ToLower(TableName_))) {
      (*copy)(*this, TableName_, bus_component_, method);
    }
  } catch (...) {
    // Failure path A. An error of the release itself leaves the job without events.
    LogCopyError(CurrentError());
    TableRecordset_.Close();
    ReleaseCopyInProgress(TableName_);
    CloseDatabase();
    return kCopyFailed;
  }
  try {
    ReleaseCopyInProgress(TableName_);
    CloseDatabase();
    return kCopyCompleted;
  } catch (...) {
    // Failure path B: the copy itself completed; its claim could not be released.
    LogCopyError(CurrentError());
    CloseDatabase();
    return kCopyCompleted;
  }
}

void clsDataCopy::CloseDatabase() {
  // Closing never fails: the connection's owner rolls back what is open and disconnects.
  if (Connection_) Connection_->Close();
}

void clsDataCopy::AppendLog(const std::string& text) {
  std::filesystem::path written = AppendToLog(LogFileName_, text);
  if (written != std::filesystem::path(LogFileName_)) log_written_to_ = written.string();
}

void clsDataCopy::WriteLogEntry(const std::vector<std::string>& items) {
  std::string text;
  if (!ErrorLogged) {
    text += QuotedLogLine({DateTimeText()});
    ErrorLogged = true;
  }
  text += QuotedLogLine(items);
  AppendLog(text);
}

void clsDataCopy::LogCopyError(const Error& error) {
  WriteLogEntry({error.source(), error.description()});
}

Error clsDataCopy::LoggedAndRaised(const std::string& source, const std::string& description) {
  Error e = CurrentError();
  LogCopyError(e);
  return e.Raised(100, source, description);
}

void clsDataCopy::LogCopyCounts(const std::string& table, std::int32_t inserted,
                                std::int32_t updated, std::int32_t deleted) {
  std::string text = QuotedLogLine({DateTimeText()});
  text +=
      QuotedLogLine({"Table : " + table + " - " + std::to_string(inserted) + " records Inserted"});
  if (updated > 0) {
    text +=
        QuotedLogLine({"Table : " + table + " - " + std::to_string(updated) + " records Updated"});
  }
  if (deleted > 0) {
    text +=
        QuotedLogLine({"Table : " + table + " - " + std::to_string(deleted) + " records Deleted"});
  }
  AppendLog(text);
}

void clsDataCopy::DeleteAllRecords(const std::string& table) {
  try {
    if (!IsSqlIdentifier(table)) {
      throw Error(kValidationError, "Delete All Records", "Not a table name: '" + table + "'");
    }
    Connection().SetCommandTimeout(150);
    Connection().Execute("DELETE FROM " + table + " WHERE 1=1");
  } catch (...) {
    throw LoggedAndRaised("Delete All Records", "Deleting records from " + table + " failed");
  }
}

}  // namespace qor::worker
