#include "worker/process_owner.h"

#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <ctime>
#include <fstream>
#include <optional>
#include <sstream>

namespace qor::worker {
namespace {

// The process's start as a local date-time, from /proc; nothing when it cannot be read.
std::optional<DateTime> ProcessStart(long pid) {
  std::ifstream stat_file("/proc/" + std::to_string(pid) + "/stat");
  std::string stat;
  if (!std::getline(stat_file, stat)) return std::nullopt;
  // The command name stands in parentheses and may hold blanks: count fields after it.
  std::size_t close = stat.rfind(')');
  if (close == std::string::npos) return std::nullopt;
  std::istringstream fields(stat.substr(close + 2));
  std::string field;
  unsigned long long start_ticks = 0;
  for (int i = 3; i <= 22 && fields >> field; ++i) {
    if (i == 22) start_ticks = std::stoull(field);
  }
  std::ifstream proc_stat("/proc/stat");
  std::string line;
  long long boot = -1;
  while (std::getline(proc_stat, line)) {
    if (line.rfind("btime ", 0) == 0) boot = std::stoll(line.substr(6));
  }
  long ticks = sysconf(_SC_CLK_TCK);
  if (boot < 0 || ticks <= 0) return std::nullopt;
  std::time_t started =
      static_cast<std::time_t>(boot + static_cast<long long>(start_ticks / ticks));
  std::tm local{};
  localtime_r(&started, &local);
  return DateTime::FromCivil(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour,
                             local.tm_min, local.tm_sec);
}

}  // namespace

std::string HostName() {
  char name[256] = {0};
  if (gethostname(name, sizeof name - 1) != 0) return "localhost";
  return name;
}

long ProcessId() { return static_cast<long>(getpid()); }

bool ClaimOwnerAlive(long pid, const DateTime& claimed_at) {
  if (pid <= 0) return true;
  if (kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH) return false;
  std::optional<DateTime> started = ProcessStart(pid);
  if (!started) return true;
  // A process that started after the claim cannot have made it. The start time is read to
  // the second and clocks move in steps: allow a little slack.
  return *started <= claimed_at.AddSeconds(2);
}

}  // namespace qor::worker
