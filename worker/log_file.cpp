#include "worker/log_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "common/date_time.h"
#include "common/text.h"
#include "common/unique_fd.h"

namespace qor::worker {
namespace {

// Appends `text` to the file, created when missing; false when it cannot.
bool Append(const std::filesystem::path& path, const std::string& text) {
  UniqueFd fd(open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644));
  if (!fd.valid()) return false;
  std::size_t done = 0;
  while (done < text.size()) {
    ssize_t n = write(fd.get(), text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<std::size_t>(n);
  }
  return true;
}

}  // namespace

std::filesystem::path FallbackLogDirectory() {
  std::error_code ec;
  std::filesystem::path dir = std::filesystem::temp_directory_path(ec);
  return ec ? std::filesystem::path("/tmp") : dir;
}

std::filesystem::path AppendToLog(const std::filesystem::path& file, const std::string& text) {
  if (Append(file, text)) return file;
  std::filesystem::path fallback = FallbackLogDirectory() / file.filename();
  std::fprintf(stderr, "QORDbSync: cannot write %s (%s); writing %s instead\n", file.c_str(),
               std::strerror(errno), fallback.c_str());
  if (fallback != file && Append(fallback, text)) return fallback;
  std::fwrite(text.data(), 1, text.size(), stderr);
  return {};
}

std::string DateTimeText() {
  DateTime now = DateTime::Now();
  return "Date-Time :" + now.FormatDate() + " : " + now.FormatTime();
}

std::string QuotedLogLine(const std::vector<std::string>& items) {
  std::string line;
  for (std::size_t i = 0; i < items.size(); ++i) {
    if (i > 0) line += ',';
    line += '"';
    line += items[i];
    line += '"';
  }
  line += kCrLf;
  return line;
}

}  // namespace qor::worker
