#include "testing/fake_console.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>
#include <map>
#include <stdexcept>

#include "common/message_protocol.h"
#include "common/text.h"

namespace qor::testing {

FakeConsole::FakeConsole(const std::filesystem::path& runtime_dir) {
  setenv("QOR_RUNTIME_DIR", runtime_dir.c_str(), 1);
  protocol::EnsureRuntimeDirectory();
  socket_path_ = protocol::SocketPath(protocol::kMessHandlerClass);
  std::filesystem::remove(socket_path_);
  listen_fd_ = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::strncpy(address.sun_path, socket_path_.c_str(), sizeof address.sun_path - 1);
  if (listen_fd_ < 0 ||
      bind(listen_fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      listen(listen_fd_, 16) != 0 || pipe(wake_) != 0) {
    throw std::runtime_error("FakeConsole cannot listen on " + socket_path_.string());
  }
  thread_ = std::thread([this] { Serve(); });
}

FakeConsole::~FakeConsole() {
  char stop = 'x';
  (void)!write(wake_[1], &stop, 1);
  thread_.join();
  close(listen_fd_);
  close(wake_[0]);
  close(wake_[1]);
  std::filesystem::remove(socket_path_);
}

void FakeConsole::Serve() {
  struct Client {
    int id;
    protocol::FrameReader reader;
  };
  std::map<int, Client> clients;
  int next_id = 1;
  auto drop = [&](int fd) {
    close(fd);
    clients.erase(fd);
    std::lock_guard lock(mutex_);
    --live_;
  };
  while (true) {
    std::vector<pollfd> fds = {{wake_[0], POLLIN, 0}, {listen_fd_, POLLIN, 0}};
    for (auto& [fd, c] : clients) fds.push_back({fd, POLLIN, 0});
    if (poll(fds.data(), fds.size(), 100) < 0) continue;
    if (fds[0].revents) break;
    {
      std::lock_guard lock(mutex_);
      if (vanish_) {
        for (auto& [fd, c] : clients) close(fd);
        live_ -= static_cast<int>(clients.size());
        clients.clear();
        continue;
      }
    }
    if (fds[1].revents & POLLIN) {
      int fd = accept4(listen_fd_, nullptr, nullptr, SOCK_CLOEXEC);
      if (fd >= 0) {
        clients[fd] = Client{next_id++, {}};
        std::lock_guard lock(mutex_);
        ++created_;
        ++live_;
      }
    }
    for (std::size_t i = 2; i < fds.size(); ++i) {
      if (!fds[i].revents) continue;
      int fd = fds[i].fd;
      char buffer[4096];
      ssize_t n = recv(fd, buffer, sizeof buffer, 0);
      if (n <= 0) {
        drop(fd);
        continue;
      }
      Client& client = clients[fd];
      client.reader.Feed(buffer, static_cast<std::size_t>(n));
      while (auto payload = client.reader.Next()) {
        protocol::Reply reply;
        try {
          protocol::Request request = protocol::DecodeRequest(*payload);
          std::lock_guard lock(mutex_);
          calls_.push_back({client.id, request.member, request.args});
          for (const std::string& m : failing_) {
            if (EqualsIgnoreCase(m, request.member)) {
              reply = protocol::Reply::Failure(Error(5, "FakeConsole", "refused " + m));
            }
          }
        } catch (const Error& e) {
          reply = protocol::Reply::Failure(e);
        }
        std::string frame = protocol::Frame(protocol::EncodeReply(reply));
        (void)!send(fd, frame.data(), frame.size(), MSG_NOSIGNAL);
      }
    }
  }
  for (auto& [fd, c] : clients) close(fd);
}

std::vector<FakeConsole::Call> FakeConsole::calls() const {
  std::lock_guard lock(mutex_);
  return calls_;
}

std::vector<std::string> FakeConsole::Texts(const std::string& member) const {
  std::vector<std::string> texts;
  for (const Call& c : calls()) {
    if (c.member == member && c.args.size() == 2) texts.push_back(c.args[1].ToText());
  }
  return texts;
}

int FakeConsole::created() const {
  std::lock_guard lock(mutex_);
  return created_;
}

int FakeConsole::live() const {
  std::lock_guard lock(mutex_);
  return live_;
}

void FakeConsole::FailMember(const std::string& member) {
  std::lock_guard lock(mutex_);
  failing_.push_back(member);
}

void FakeConsole::Vanish() {
  std::lock_guard lock(mutex_);
  vanish_ = true;
}

}  // namespace qor::testing
