// The console's "QORServer.clsMessHandler" as a worker uses it.
#pragma once

#include <memory>
#include <string>

#include "common/date_time.h"

namespace qor::worker {

class MessageHandler {
 public:
  virtual ~MessageHandler() = default;
  // Both raise Error when the console does not answer or refuses the call.
  virtual void writeToMessageBox(const DateTime& iTime, const std::string& iMessage) = 0;
  virtual void WriteToAlertBox(const DateTime& iTime, const std::string& iMessage) = 0;
};

// Number of the error raised when the console's class cannot be created.
inline constexpr long kCannotCreateObject = 429;
// Number of the error raised when a created instance's console stops answering.
inline constexpr long kConsoleUnavailable = 462;

// Creates an instance served by the running console: connects to its socket. The instance
// lives until the returned object is destroyed. Raises Error(kCannotCreateObject) when no
// console is listening.
std::unique_ptr<MessageHandler> CreateMessHandler();

}  // namespace qor::worker
