#include "common/message_protocol.h"

#include <sys/stat.h>
#include <unistd.h>

#include <nlohmann/json.hpp>

#include "common/text.h"

namespace qor::protocol {
namespace {

using nlohmann::json;

constexpr const char* kSource = "clsMessHandler protocol";

[[noreturn]] void Malformed(const std::string& what) {
  throw Error(kBadRequest, kSource, "Malformed message: " + what);
}

json EncodeValue(const Variant& v) {
  switch (v.kind()) {
    case Variant::Kind::kNull:
      return {{"type", "null"}, {"value", nullptr}};
    case Variant::Kind::kInteger:
      return {{"type", "integer"}, {"value", *v.AsInteger()}};
    case Variant::Kind::kDouble:
      return {{"type", "double"}, {"value", *v.AsDouble()}};
    case Variant::Kind::kText:
      return {{"type", "text"}, {"value", *v.AsText()}};
    case Variant::Kind::kDateTime:
      return {{"type", "datetime"}, {"value", v.AsDateTime()->ToIso()}};
    case Variant::Kind::kBoolean:
      return {{"type", "boolean"}, {"value", *v.AsBoolean()}};
  }
  return nullptr;
}

Variant DecodeValue(const json& j) {
  if (!j.is_object() || !j.contains("type") || !j["type"].is_string()) {
    Malformed("an argument needs a \"type\"");
  }
  const std::string type = j["type"];
  const json& value = j.contains("value") ? j["value"] : json();
  if (type == "null") return Variant();
  if (type == "integer" && value.is_number_integer()) return Variant(value.get<long long>());
  if (type == "double" && value.is_number()) return Variant(value.get<double>());
  if (type == "text" && value.is_string()) return Variant(value.get<std::string>());
  if (type == "boolean" && value.is_boolean()) return Variant(value.get<bool>());
  if (type == "datetime" && value.is_string()) {
    if (auto dt = DateTime::ParseIso(value.get<std::string>())) return Variant(*dt);
  }
  Malformed("an argument of type \"" + type + "\" has no fitting value");
}

json Parse(std::string_view text) {
  try {
    return json::parse(text);
  } catch (const json::exception& e) {
    Malformed(e.what());
  }
}

}  // namespace

std::filesystem::path RuntimeDirectory() {
  if (const char* dir = std::getenv("QOR_RUNTIME_DIR"); dir && *dir) return dir;
  if (const char* xdg = std::getenv("XDG_RUNTIME_DIR"); xdg && *xdg) {
    return std::filesystem::path(xdg) / "qor";
  }
  return "/tmp/qor-" + std::to_string(getuid());
}

std::filesystem::path SocketPath(std::string_view class_id) {
  return RuntimeDirectory() / std::string(class_id);
}

void EnsureRuntimeDirectory() {
  std::filesystem::path dir = RuntimeDirectory();
  std::error_code ec;
  std::filesystem::create_directories(dir, ec);
  if (ec) {
    throw Error(75, kSource,
                "Cannot create the runtime directory " + dir.string() + ": " + ec.message());
  }
  struct stat st {};
  if (lstat(dir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != getuid()) {
    throw Error(75, kSource,
                "The runtime directory " + dir.string() + " is not a folder of this user");
  }
  if ((st.st_mode & 0777) != 0700 && chmod(dir.c_str(), 0700) != 0) {
    throw Error(75, kSource, "Cannot make the runtime directory " + dir.string() + " private");
  }
}

std::string EncodeRequest(const Request& request) {
  json args = json::array();
  for (const Variant& v : request.args) args.push_back(EncodeValue(v));
  return json{{"call", request.member}, {"args", args}}.dump();
}

Request DecodeRequest(std::string_view text) {
  json j = Parse(text);
  if (!j.is_object() || !j.contains("call") || !j["call"].is_string()) {
    Malformed("a request needs a \"call\"");
  }
  Request request;
  request.member = j["call"].get<std::string>();
  if (j.contains("args")) {
    if (!j["args"].is_array()) Malformed("\"args\" must be a list");
    for (const json& a : j["args"]) request.args.push_back(DecodeValue(a));
  }
  return request;
}

std::string EncodeReply(const Reply& reply) {
  if (reply.ok) return json{{"ok", true}, {"result", EncodeValue(reply.result)}}.dump();
  return json{{"ok", false},
              {"error",
               {{"number", reply.error_number},
                {"source", reply.error_source},
                {"description", reply.error_description}}}}
      .dump();
}

Reply DecodeReply(std::string_view text) {
  json j = Parse(text);
  if (!j.is_object() || !j.contains("ok") || !j["ok"].is_boolean()) {
    Malformed("a reply needs \"ok\"");
  }
  Reply reply;
  reply.ok = j["ok"].get<bool>();
  if (reply.ok) {
    if (j.contains("result")) reply.result = DecodeValue(j["result"]);
    return reply;
  }
  const json& e = j.contains("error") ? j["error"] : json::object();
  if (!e.is_object()) Malformed("\"error\" must be an object");
  reply.error_number = e.value("number", 0L);
  reply.error_source = e.value("source", std::string());
  reply.error_description = e.value("description", std::string());
  return reply;
}

std::string Frame(std::string_view payload) {
  std::uint32_t n = static_cast<std::uint32_t>(payload.size());
  std::string out;
  out.reserve(4 + payload.size());
  out += static_cast<char>((n >> 24) & 0xff);
  out += static_cast<char>((n >> 16) & 0xff);
  out += static_cast<char>((n >> 8) & 0xff);
  out += static_cast<char>(n & 0xff);
  out.append(payload);
  return out;
}

std::optional<std::string> FrameReader::Next() {
  if (buffer_.size() < 4) return std::nullopt;
  auto byte = [&](int i) {
    return static_cast<std::uint32_t>(static_cast<unsigned char>(buffer_[i]));
  };
  std::uint32_t n = (byte(0) << 24) | (byte(1) << 16) | (byte(2) << 8) | byte(3);
  if (n > kMaxFrame) {
    throw Error(kBadRequest, kSource,
                "A message of " + std::to_string(n) + " bytes is larger than the limit of " +
                    std::to_string(kMaxFrame));
  }
  if (buffer_.size() < 4 + static_cast<std::size_t>(n)) return std::nullopt;
  std::string payload = buffer_.substr(4, n);
  buffer_.erase(0, 4 + static_cast<std::size_t>(n));
  return payload;
}

}  // namespace qor::protocol
