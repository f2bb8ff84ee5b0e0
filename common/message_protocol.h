// How the workers reach the console's "QORServer.clsMessHandler": one Unix-domain stream
// socket per class identifier in the runtime directory. Connecting creates an instance and
// closing the connection destroys it.
//
// On the socket each request and each reply is a frame: a 4-byte big-endian length, then that
// many bytes of UTF-8 JSON.
//   request: {"call": MEMBER, "args": [ARG, ...]}
//   reply:   {"ok": true, "result": ARG}  or
//            {"ok": false, "error": {"number": N, "source": S, "description": D}}
//   ARG:     {"type": "null" | "integer" | "double" | "text" | "datetime" | "boolean",
//             "value": ...}   (a datetime's value is "YYYY-MM-DD hh:mm:ss", local time)
// Every request gets exactly one reply, in order. Members match without regard to case. A
// frame longer than kMaxFrame is refused and the connection closed.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/error.h"
#include "common/variant.h"

namespace qor::protocol {

inline constexpr std::string_view kMessHandlerClass = "QORServer.clsMessHandler";
inline constexpr std::size_t kMaxFrame = 1024 * 1024;

// Error numbers of the replies.
inline constexpr long kUnknownMember = 438;  // the member does not exist
inline constexpr long kBadRequest = 5;       // malformed request or arguments

// `$QOR_RUNTIME_DIR`, else `$XDG_RUNTIME_DIR/qor`, else `/tmp/qor-<uid>`.
std::filesystem::path RuntimeDirectory();
// The socket that serves `class_id` in the runtime directory.
std::filesystem::path SocketPath(std::string_view class_id);
// Creates the runtime directory with mode 0700 (owner only), or tightens it to that mode.
void EnsureRuntimeDirectory();

struct Request {
  std::string member;
  std::vector<Variant> args;
};

struct Reply {
  bool ok = true;
  Variant result;
  long error_number = 0;
  std::string error_source;
  std::string error_description;

  static Reply Success(Variant result = Variant()) {
    Reply r;
    r.result = std::move(result);
    return r;
  }
  static Reply Failure(const Error& e) {
    return Reply{false, Variant(), e.number(), e.source(), e.description()};
  }
};

std::string EncodeRequest(const Request& request);
std::string EncodeReply(const Reply& reply);
// Both raise Error(kBadRequest, "clsMessHandler protocol", ...) for text that is no such message.
Request DecodeRequest(std::string_view json);
Reply DecodeReply(std::string_view json);

// `payload` with its length in front.
std::string Frame(std::string_view payload);

// Collects bytes read from a socket and hands out the complete frames' payloads.
class FrameReader {
 public:
  void Feed(const char* data, std::size_t size) { buffer_.append(data, size); }
  // The next complete payload, if one has arrived. Raises Error when a frame announces more
  // than kMaxFrame bytes; the connection is then unusable.
  std::optional<std::string> Next();

 private:
  std::string buffer_;
};

}  // namespace qor::protocol
