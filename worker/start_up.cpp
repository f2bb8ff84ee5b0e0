#include "worker/start_up.h"

#include <filesystem>

#include "common/text.h"
#include "worker/log_file.h"

namespace qor::worker {

bool CommandLine::SilentMode() const { return items.size() > 6 && !items[6].empty(); }

std::string CommandLine::Item(std::size_t index) const {
  return index < items.size() ? Trim(items[index]) : "";
}

std::string CommandLine::BusComponent() const { return Item(4) + ", " + Item(5); }

CommandLine SplitCommandLine(const std::string& text) { return CommandLine{Split(text, ',')}; }

void WriteStartupFailure(const std::string& directory, const Error& error) {
  std::string dir = Trim(directory);
  std::filesystem::path folder = dir.empty() ? FallbackLogDirectory() : std::filesystem::path(dir);
  std::string entry = DateTimeText() + std::string(kCrLf) +
                      "Data Copy Failed:" + std::string(kCrLf) + "Error is - " +
                      std::to_string(error.number()) + ": " + error.description() +
                      std::string(kCrLf);
  AppendToLog(folder / "QORDBSynclog.txt", entry);
}

int RunStartUp(const std::string& command_line, clsDataCopyHandler::MessHandlerFactory create,
               const DispatchTable& dispatch, erp::ComponentFactory* erp) {
  CommandLine line = SplitCommandLine(command_line);
  try {
    if (line.items.size() < 6) {
      throw Error(kValidationError, "QOR Data Copy - Start",
                  "Invalid Number of Arguments, Expected 5 or More. " + std::string(kCrLf) +
                      " Application cannot Start");
    }
    // The table name becomes a file name and names the local table in statements: refuse
    // anything but a plain name before either happens.
    if (!IsSqlIdentifier(line.Item(2))) {
      throw Error(kValidationError, "QOR Data Copy - Start",
                  "Invalid table name '" + line.Item(2) +
                      "': a table name holds only letters, digits and underscores");
    }
    std::error_code ec;
    if (!std::filesystem::is_directory(line.Item(3), ec)) {
      throw Error(kValidationError, "QOR Data Copy - Start",
                  "Log directory '" + line.Item(3) + "' does not exist");
    }
    clsDataCopyHandler handler(line.SilentMode(), std::move(create), dispatch, erp);
    handler.HandleDataCopy(line.Item(0), line.Item(1), line.Item(2), line.Item(3),
                           line.BusComponent());
    return handler.result() == kCopyFailed ? kExitCopyFailed : kExitCompleted;
  } catch (...) {
    // With fewer than four items there is no log directory: the temporary directory serves.
    WriteStartupFailure(line.items.size() > 3 ? line.items[3] : "", CurrentError());
    return kExitStartFailed;
  }
}

}  // namespace qor::worker
