// The worker's two log files: the table log and the start-up failure log.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace qor::worker {

// The folder that stands in when a log's own folder is empty or cannot be written: the
// system's temporary directory.
std::filesystem::path FallbackLogDirectory();

// Appends `text` to `file`, creating it when missing, and returns the file actually written.
// When `file` cannot be written the same text goes to the file of that name in
// FallbackLogDirectory(), so that no report is lost; when that fails too, to standard error.
// Opens and closes the file on every call, so that a crash loses nothing already written.
std::filesystem::path AppendToLog(const std::filesystem::path& file, const std::string& text);

// "Date-Time :" + the current date + " : " + the current time, as both logs begin an entry.
std::string DateTimeText();

// One line of the table log: each item between double quotes, items separated by commas,
// ended by carriage return and line feed. Quotes inside an item are written as they are.
std::string QuotedLogLine(const std::vector<std::string>& items);

}  // namespace qor::worker
