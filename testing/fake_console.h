// A stand-in for the console in tests: serves "QORServer.clsMessHandler" on its socket in a
// private runtime directory, answers every call and records what it was sent.
#pragma once

#include <filesystem>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "common/variant.h"

namespace qor::testing {

class FakeConsole {
 public:
  struct Call {
    int connection;  // which instance (connection) made the call, from 1
    std::string member;
    std::vector<Variant> args;
  };

  // Listens in `runtime_dir` (and sets QOR_RUNTIME_DIR to it for this process and its children).
  explicit FakeConsole(const std::filesystem::path& runtime_dir);
  ~FakeConsole();
  FakeConsole(const FakeConsole&) = delete;
  FakeConsole& operator=(const FakeConsole&) = delete;

  std::vector<Call> calls() const;
  // The message texts of the calls to `member` (its second argument), in order.
  std::vector<std::string> Texts(const std::string& member) const;
  // Instances created and destroyed so far.
  int created() const;
  int live() const;
  // From now on calls to `member` get an error reply.
  void FailMember(const std::string& member);
  // Closes every connection without replying to calls still to come.
  void Vanish();

 private:
  void Serve();

  std::filesystem::path socket_path_;
  int listen_fd_ = -1;
  int wake_[2] = {-1, -1};
  mutable std::mutex mutex_;
  std::vector<Call> calls_;
  std::vector<std::string> failing_;
  int created_ = 0;
  int live_ = 0;
  bool vanish_ = false;
  std::thread thread_;
};

}  // namespace qor::testing
