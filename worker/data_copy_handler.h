// Runs one job and turns its events into lines of the console's message box and alert box.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "worker/data_copy.h"
#include "worker/mess_handler.h"

namespace qor::worker {

class clsDataCopyHandler : public DataCopyEvents {
 public:
  // Creates the console's instance; tests hand in their own.
  using MessHandlerFactory = std::function<std::unique_ptr<MessageHandler>()>;

  // REQUIRES: `dispatch` and `erp` outlive the handler.
  clsDataCopyHandler(bool silent_mode, MessHandlerFactory create = CreateMessHandler,
                     const DispatchTable& dispatch = StandardDispatchTable(),
                     erp::ComponentFactory* erp = nullptr);

  // Runs one job and returns when it is over. Raises Error when the console's class cannot be
  // created (the job then does not start) or when the job's failure handling fails.
  void HandleDataCopy(const std::string& ConnString, const std::string& DefaultDb,
                      const std::string& DbTableName, const std::string& LogDirectory,
                      const std::string& BusComponent);

  // The job's result once HandleDataCopy has returned (kCopyCompleted when no job ran).
  int result() const { return result_; }

  // The event handlers.
  void DataCopyStarted(const DateTime& iTime, const std::string& iTableName) override;
  void DataCopyError(const DateTime& iTime, const std::string& iTableName, long ieNumber,
                     const std::string& ieMessage) override;
  void DataCopyComplete(const DateTime& iTime, const std::string& iTableName, std::int32_t icount,
                        std::int32_t ucount, std::int32_t dcount) override;
  void DataCopyAlreadyInProgress(const DateTime& iTime, const std::string& iTableName) override;
  void DataCopydone() override;

 private:
  enum class Box { kMessage, kAlert };
  void Send(Box box, const DateTime& iTime, const std::string& iMessage);

  bool silent_mode_;
  MessHandlerFactory create_;
  const DispatchTable& dispatch_;
  erp::ComponentFactory* erp_;
  std::unique_ptr<MessageHandler> MessageHandler_;
  int result_ = kCopyCompleted;
};

}  // namespace qor::worker
