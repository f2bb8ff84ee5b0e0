#include "worker/mess_handler.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include "common/error.h"
#include "common/message_protocol.h"
#include "common/unique_fd.h"

namespace qor::worker {
namespace {

constexpr const char* kSource = "QORServer.clsMessHandler";
// The console answers between its own events; a reply that takes longer than this means it
// hangs, and the job goes on without it.
constexpr int kReplyTimeoutMs = 30000;

class SocketMessHandler : public MessageHandler {
 public:
  explicit SocketMessHandler(UniqueFd fd) : fd_(std::move(fd)) {}

  void writeToMessageBox(const DateTime& iTime, const std::string& iMessage) override {
    Call("writeToMessageBox", {Variant(iTime), Variant(iMessage)});
  }
  void WriteToAlertBox(const DateTime& iTime, const std::string& iMessage) override {
    Call("WriteToAlertBox", {Variant(iTime), Variant(iMessage)});
  }

 private:
  Variant Call(const std::string& member, std::vector<Variant> args) {
    std::string frame = protocol::Frame(protocol::EncodeRequest({member, std::move(args)}));
    std::size_t sent = 0;
    while (sent < frame.size()) {
      // MSG_NOSIGNAL: a console that went away must not kill the worker with SIGPIPE.
      ssize_t n = send(fd_.get(), frame.data() + sent, frame.size() - sent, MSG_NOSIGNAL);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) Fail("cannot send " + member + ": " + std::strerror(errno));
      sent += static_cast<std::size_t>(n);
    }
    while (true) {
      if (auto payload = reader_.Next()) {
        protocol::Reply reply = protocol::DecodeReply(*payload);
        if (!reply.ok) throw Error(reply.error_number, reply.error_source, reply.error_description);
        return reply.result;
      }
      pollfd p{fd_.get(), POLLIN, 0};
      int ready = poll(&p, 1, kReplyTimeoutMs);
      if (ready < 0 && errno == EINTR) continue;
      if (ready == 0) Fail("the console did not answer " + member);
      char buffer[4096];
      ssize_t n = recv(fd_.get(), buffer, sizeof buffer, 0);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) Fail("the console closed the connection during " + member);
      reader_.Feed(buffer, static_cast<std::size_t>(n));
    }
  }

  [[noreturn]] void Fail(const std::string& what) {
    throw Error(kConsoleUnavailable, kSource, "The console is unavailable: " + what);
  }

  UniqueFd fd_;  // closing it destroys the console's instance
  protocol::FrameReader reader_;
};

}  // namespace

std::unique_ptr<MessageHandler> CreateMessHandler() {
  std::string path = protocol::SocketPath(protocol::kMessHandlerClass).string();
  auto refuse = [&](const std::string& why) -> Error {
    return Error(kCannotCreateObject, kSource,
                 "ActiveX component can't create object: no console serves " +
                     std::string(protocol::kMessHandlerClass) + " at " + path + " (" + why + ")");
  };
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  if (path.size() >= sizeof address.sun_path) throw refuse("the socket path is too long");
  std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
  UniqueFd fd(socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
  if (!fd.valid()) throw refuse(std::strerror(errno));
  if (connect(fd.get(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    throw refuse(std::strerror(errno));
  }
  return std::make_unique<SocketMessHandler>(std::move(fd));
}

}  // namespace qor::worker
