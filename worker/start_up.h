// `modStartUp`: the worker's command line, its start and the start-up failure log.
#pragma once

#include <string>
#include <vector>

#include "common/error.h"
#include "worker/data_copy_handler.h"

namespace qor::worker {

// The command line split at every comma, no quoting, no escape.
struct CommandLine {
  std::vector<std::string> items;
  // Item 6 exists and is not empty (untrimmed: a single blank counts).
  bool SilentMode() const;
  // Items 0 to 3, trimmed; "" when missing.
  std::string Item(std::size_t index) const;
  // Item 4, ", ", item 5, each trimmed: the bus component that the comma inside it had split.
  std::string BusComponent() const;
};

CommandLine SplitCommandLine(const std::string& text);

// Exit statuses of QORDbSync.
inline constexpr int kExitCompleted = 0;    // copied, or the table was busy
inline constexpr int kExitCopyFailed = 1;   // the job ran and failed (see the table log)
inline constexpr int kExitStartFailed = 2;  // start-up failure (see QORDBSynclog.txt)

// Runs the worker for one command line (the text after the program name) and returns its exit
// status. `create` reaches the console; `erp` gives the ERP components.
int RunStartUp(const std::string& command_line,
               clsDataCopyHandler::MessHandlerFactory create = CreateMessHandler,
               const DispatchTable& dispatch = StandardDispatchTable(),
               erp::ComponentFactory* erp = nullptr);

// Appends one entry for `error` to QORDBSynclog.txt in `directory` (trimmed; empty means the
// system's temporary directory, which also stands in when the directory cannot be written).
void WriteStartupFailure(const std::string& directory, const Error& error);

}  // namespace qor::worker
