#include "dbcreate/child_process.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <map>

#include "common/error.h"
#include "common/unique_fd.h"

extern char** environ;

namespace qor::dbcreate {
namespace {

constexpr const char* kSource = "RunToCompletion";
constexpr std::size_t kMaxErrorOutput = 64 * 1024;

std::string SystemText(int error) { return std::strerror(error); }

// posix_spawn's file actions, freed by the destructor.
class FileActions {
 public:
  FileActions() { posix_spawn_file_actions_init(&actions_); }
  ~FileActions() { posix_spawn_file_actions_destroy(&actions_); }
  FileActions(const FileActions&) = delete;
  FileActions& operator=(const FileActions&) = delete;
  posix_spawn_file_actions_t* get() { return &actions_; }

 private:
  posix_spawn_file_actions_t actions_;
};

// A started child, waited for by the destructor if nobody did, so that no zombie stays behind
// when reading its output fails.
class ChildPid {
 public:
  explicit ChildPid(pid_t pid) : pid_(pid) {}
  ~ChildPid() {
    if (pid_ > 0) Wait();
  }
  ChildPid(const ChildPid&) = delete;
  ChildPid& operator=(const ChildPid&) = delete;

  int Wait() {
    int status = 0;
    while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
    }
    pid_ = -1;
    return status;
  }

 private:
  pid_t pid_;
};

std::vector<std::string> ChildEnvironment(
    const std::vector<std::pair<std::string, std::string>>& extra) {
  // A later setting of the same variable wins, as it would in a shell.
  std::map<std::string, std::string> replaced;
  for (const auto& [name, value] : extra) replaced[name] = value;
  std::vector<std::string> out;
  for (char** e = environ; e != nullptr && *e != nullptr; ++e) {
    std::string entry = *e;
    std::string name = entry.substr(0, entry.find('='));
    if (!replaced.contains(name)) out.push_back(std::move(entry));
  }
  for (const auto& [name, value] : replaced) out.push_back(name + "=" + value);
  return out;
}

std::vector<char*> Pointers(std::vector<std::string>& texts) {
  std::vector<char*> out;
  for (std::string& t : texts) out.push_back(t.data());
  out.push_back(nullptr);
  return out;
}

}  // namespace

ChildResult RunToCompletion(const ChildCommand& command) {
  std::string input_path =
      command.standard_input ? command.standard_input->string() : std::string("/dev/null");
  UniqueFd input(::open(input_path.c_str(), O_RDONLY | O_CLOEXEC));
  if (!input.valid()) {
    int error = errno;
    throw Error(error, kSource, "Cannot read the file '" + input_path + "': " + SystemText(error));
  }
  int pipe_fds[2];
  if (::pipe2(pipe_fds, O_CLOEXEC) != 0) {
    int error = errno;
    throw Error(error, kSource, "Cannot create a pipe: " + SystemText(error));
  }
  UniqueFd read_end(pipe_fds[0]);
  UniqueFd write_end(pipe_fds[1]);

  // The descriptors are close-on-exec; dup2 onto 0 and 2 clears that for the child alone.
  FileActions actions;
  posix_spawn_file_actions_adddup2(actions.get(), input.get(), STDIN_FILENO);
  posix_spawn_file_actions_addopen(actions.get(), STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_adddup2(actions.get(), write_end.get(), STDERR_FILENO);
  if (command.working_directory) {
    posix_spawn_file_actions_addchdir_np(actions.get(), command.working_directory->c_str());
  }

  std::vector<std::string> argv_texts;
  argv_texts.push_back(command.program.string());
  argv_texts.insert(argv_texts.end(), command.arguments.begin(), command.arguments.end());
  std::vector<std::string> env_texts = ChildEnvironment(command.environment);
  std::vector<char*> argv = Pointers(argv_texts);
  std::vector<char*> envp = Pointers(env_texts);

  pid_t pid = -1;
  int rc =
      ::posix_spawn(&pid, argv_texts[0].c_str(), actions.get(), nullptr, argv.data(), envp.data());
  if (rc != 0) {
    throw Error(rc, kSource, "Cannot run '" + command.program.string() + "': " + SystemText(rc));
  }
  ChildPid child(pid);
  write_end.Reset();  // the child's copy is the only writer left: EOF comes when it ends
  input.Reset();

  ChildResult result;
  char buffer[4096];
  while (true) {
    ssize_t n = ::read(read_end.get(), buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    std::size_t room = kMaxErrorOutput - result.error_output.size();
    result.error_output.append(buffer, std::min<std::size_t>(room, static_cast<std::size_t>(n)));
  }
  int status = child.Wait();
  if (WIFEXITED(status)) {
    result.exit_code = WEXITSTATUS(status);
  } else if (WIFSIGNALED(status)) {
    result.signal = WTERMSIG(status);
  }
  return result;
}

}  // namespace qor::dbcreate
