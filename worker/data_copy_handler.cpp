#include "worker/data_copy_handler.h"

#include <cstdio>

#include "common/text.h"

namespace qor::worker {

clsDataCopyHandler::clsDataCopyHandler(bool silent_mode, MessHandlerFactory create,
                                       const DispatchTable& dispatch, erp::ComponentFactory* erp)
    : silent_mode_(silent_mode), create_(std::move(create)), dispatch_(dispatch), erp_(erp) {}

void clsDataCopyHandler::HandleDataCopy(const std::string& ConnString, const std::string& DefaultDb,
                                        const std::string& DbTableName,
                                        const std::string& LogDirectory,
                                        const std::string& BusComponent) {
  if (!silent_mode_) MessageHandler_ = create_();
  clsDataCopy MyDataCopy(*this, dispatch_, erp_);
  MyDataCopy.StartDataCopy(ConnString, DefaultDb, DbTableName, LogDirectory, BusComponent);
}

// A console that stops answering must not fail the copy: what it missed is in the table log.
// The instance is dropped and the job goes on alone.
void clsDataCopyHandler::Send(Box box, const DateTime& iTime, const std::string& iMessage) {
  if (silent_mode_ || !MessageHandler_) return;
  try {
    if (box == Box::kMessage) {
      MessageHandler_->writeToMessageBox(iTime, iMessage);
    } else {
      MessageHandler_->WriteToAlertBox(iTime, iMessage);
    }
  } catch (const Error& e) {
    std::fprintf(stderr,
                 "QORDbSync: the console did not take a message (%s); going on without it\n",
                 e.description().c_str());
    MessageHandler_.reset();
  }
}

void clsDataCopyHandler::DataCopyStarted(const DateTime& iTime, const std::string& iTableName) {
  Send(Box::kMessage, iTime, " Data copy of Table " + iTableName + " started");
}

void clsDataCopyHandler::DataCopyAlreadyInProgress(const DateTime& iTime,
                                                   const std::string& iTableName) {
  result_ = kCopyAlreadyInProgress;
  Send(Box::kMessage, iTime, " For Table " + iTableName + " datacopy is already in progress");
}

void clsDataCopyHandler::DataCopyComplete(const DateTime& iTime, const std::string& iTableName,
                                          std::int32_t icount, std::int32_t ucount,
                                          std::int32_t dcount) {
  result_ = kCopyCompleted;
  Send(Box::kMessage, iTime,
       " Table " + iTableName + ": - " + std::to_string(icount) + "records inserted - " +
           std::to_string(ucount) + " records updated - " + std::to_string(dcount) +
           " records deleted");
}

void clsDataCopyHandler::DataCopyError(const DateTime& iTime, const std::string& iTableName,
                                       long ieNumber, const std::string& ieMessage) {
  result_ = kCopyFailed;
  const std::string failed = " Data copy of Table " + iTableName + " failed.";
  Send(Box::kMessage, iTime, failed);
  Send(Box::kAlert, iTime,
       failed + std::string(kCrLf) + "Error is " + std::to_string(ieNumber) + " " + ieMessage +
           std::string(kCrLf) + std::string(54, '-'));
}

void clsDataCopyHandler::DataCopydone() { MessageHandler_.reset(); }

}  // namespace qor::worker
