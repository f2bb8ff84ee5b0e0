#include "worker/erp/directory.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

#include "common/connection_string.h"
#include "common/error.h"
#include "common/text.h"
#include "common/unique_fd.h"
#include "worker/erp/component.h"

namespace qor::erp {
namespace fs = std::filesystem;
namespace {

constexpr const char* kSource = "ERP directory";

[[noreturn]] void Fail(const std::string& description) {
  throw Error(kErpError, kSource, description);
}

const char kBase64[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

std::string Base64Encode(const std::string& in) {
  std::string out;
  std::size_t i = 0;
  while (i + 2 < in.size()) {
    unsigned n = (static_cast<unsigned char>(in[i]) << 16) |
                 (static_cast<unsigned char>(in[i + 1]) << 8) |
                 static_cast<unsigned char>(in[i + 2]);
    out += kBase64[(n >> 18) & 63];
    out += kBase64[(n >> 12) & 63];
    out += kBase64[(n >> 6) & 63];
    out += kBase64[n & 63];
    i += 3;
  }
  if (i < in.size()) {
    unsigned n = static_cast<unsigned char>(in[i]) << 16;
    if (i + 1 < in.size()) n |= static_cast<unsigned char>(in[i + 1]) << 8;
    out += kBase64[(n >> 18) & 63];
    out += kBase64[(n >> 12) & 63];
    out += i + 1 < in.size() ? kBase64[(n >> 6) & 63] : '=';
    out += '=';
  }
  return out;
}

bool Base64Decode(const std::string& in, std::string& out) {
  out.clear();
  unsigned buffer = 0;
  int bits = 0;
  for (char c : in) {
    if (c == '=' || c == ' ') continue;
    const char* p = std::strchr(kBase64, c);
    if (p == nullptr || c == '\0') return false;
    buffer = (buffer << 6) | static_cast<unsigned>(p - kBase64);
    bits += 6;
    if (bits >= 8) {
      bits -= 8;
      out += static_cast<char>((buffer >> bits) & 0xFF);
    }
  }
  return true;
}

// Whether LDIF can hold the value after "name: " as it is.
bool IsSafeLdifValue(const std::string& v) {
  if (v.empty()) return true;
  if (v.front() == ' ' || v.front() == ':' || v.front() == '<' || v.back() == ' ') return false;
  for (unsigned char c : v) {
    if (c == 0 || c == '\n' || c == '\r' || c >= 0x80) return false;
  }
  return true;
}

// Non-blank lines of LDIF text grouped into records (blank lines between), line ends removed.
std::vector<std::vector<std::string>> Records(const std::string& text) {
  std::vector<std::vector<std::string>> records(1);
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (TrimSpace(line).empty()) {
      if (!records.back().empty()) records.emplace_back();
    } else {
      records.back().push_back(line);
    }
  }
  if (records.back().empty()) records.pop_back();
  return records;
}

// One record's entry, or nothing for a record without "dn:" (comments, the version line).
std::optional<DirectoryEntry> ParseRecord(const std::vector<std::string>& raw,
                                          const std::string& origin) {
  // Unfold continuation lines and drop comments.
  std::vector<std::string> lines;
  bool in_comment = false;
  for (const std::string& line : raw) {
    if (line[0] == ' ') {
      if (!in_comment) {
        if (lines.empty()) Fail(origin + ": a continuation line starts a record: " + line);
        lines.back() += line.substr(1);
      }
      continue;
    }
    in_comment = line[0] == '#';
    if (!in_comment) lines.push_back(line);
  }
  std::optional<DirectoryEntry> entry;
  for (const std::string& line : lines) {
    std::size_t colon = line.find(':');
    if (colon == std::string::npos || colon == 0) {
      Fail(origin + ": no \"name: value\" line: " + line);
    }
    std::string name = Trim(line.substr(0, colon));
    std::string value;
    if (colon + 1 < line.size() && line[colon + 1] == ':') {
      if (!Base64Decode(TrimSpace(line.substr(colon + 2)), value)) {
        Fail(origin + ": a base64 value that cannot be read: " + line);
      }
    } else if (colon + 1 < line.size() && line[colon + 1] == '<') {
      Fail(origin + ": values read from a URL are not supported: " + line);
    } else {
      value = line.substr(colon + 1);
      std::size_t start = value.find_first_not_of(' ');
      value = start == std::string::npos ? "" : value.substr(start);
    }
    if (EqualsIgnoreCase(name, "version") && !entry) continue;
    if (EqualsIgnoreCase(name, "dn")) {
      if (entry) Fail(origin + ": a second \"dn:\" line without a blank line before: " + line);
      entry.emplace();
      entry->dn = value;
      continue;
    }
    if (!entry) Fail(origin + ": an attribute before the entry's \"dn:\" line: " + line);
    entry->attributes.emplace_back(name, value);
  }
  return entry;
}

// The lower-cased, blank-free pieces of a DN, escapes kept.
void AppendNormalized(std::string& out, const std::string& piece) {
  // Remove unescaped blanks at both ends.
  std::size_t begin = 0;
  while (begin < piece.size() && piece[begin] == ' ') ++begin;
  std::size_t end = piece.size();
  while (end > begin && piece[end - 1] == ' ' && !(end >= 2 && piece[end - 2] == '\\')) --end;
  out += ToLower(piece.substr(begin, end - begin));
}

std::string ReadWholeFile(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  if (!in) Fail("The directory file " + file.string() + " cannot be read");
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

}  // namespace

std::string NormalizeDn(const std::string& dn) {
  std::string out;
  std::string piece;
  auto flush = [&](char separator) {
    AppendNormalized(out, piece);
    piece.clear();
    if (separator) out += separator;
  };
  for (std::size_t i = 0; i < dn.size(); ++i) {
    char c = dn[i];
    if (c == '\\' && i + 1 < dn.size()) {
      piece += c;
      piece += dn[++i];
    } else if (c == ',' || c == ';') {
      flush(',');
    } else if (c == '=' || c == '+') {
      flush(c);
    } else {
      piece += c;
    }
  }
  flush('\0');
  return out;
}

bool DnEquals(const std::string& a, const std::string& b) {
  return NormalizeDn(a) == NormalizeDn(b);
}

std::optional<std::string> DirectoryEntry::Get(const std::string& attribute) const {
  for (const auto& [name, value] : attributes) {
    if (EqualsIgnoreCase(name, attribute)) return value;
  }
  return std::nullopt;
}

std::vector<DirectoryEntry> ParseLdif(const std::string& text, const std::string& origin) {
  std::vector<DirectoryEntry> entries;
  for (const auto& record : Records(text)) {
    if (auto entry = ParseRecord(record, origin)) entries.push_back(std::move(*entry));
  }
  return entries;
}

std::string FormatLdifEntry(const DirectoryEntry& entry) {
  auto line = [](const std::string& name, const std::string& value) {
    return IsSafeLdifValue(value) ? name + ": " + value + "\n"
                                  : name + ":: " + Base64Encode(value) + "\n";
  };
  std::string out = line("dn", entry.dn);
  for (const auto& [name, value] : entry.attributes) out += line(name, value);
  return out;
}

fs::path DirectoryFileOf(const std::string& raw) {
  std::string location = TrimSpace(raw);
  if (location.empty()) Fail("The directory location is empty");
  std::size_t colon = location.find(':');
  bool has_scheme = colon != std::string::npos && colon > 1 &&
                    location.find('/') > colon;  // "C:" style drives do not occur here
  if (!has_scheme) return fs::path(location);
  std::string scheme = ToLower(location.substr(0, colon));
  if (scheme != "file") {
    Fail("The directory location " + location +
         " is not supported here: give an LDIF file's path or a file: URI");
  }
  std::string rest = location.substr(colon + 1);
  if (rest.rfind("//", 0) == 0) {
    // "file://host/path": only the local host (empty or "localhost") is a file here.
    std::size_t slash = rest.find('/', 2);
    std::string host = rest.substr(2, slash == std::string::npos ? std::string::npos : slash - 2);
    if (!host.empty() && !EqualsIgnoreCase(host, "localhost")) {
      Fail("The directory location " + location + " names another host");
    }
    rest = slash == std::string::npos ? "" : rest.substr(slash);
  }
  std::string path;
  for (std::size_t i = 0; i < rest.size(); ++i) {
    if (rest[i] == '%' && i + 2 < rest.size() &&
        std::isxdigit(static_cast<unsigned char>(rest[i + 1])) &&
        std::isxdigit(static_cast<unsigned char>(rest[i + 2]))) {
      path += static_cast<char>(std::strtol(rest.substr(i + 1, 2).c_str(), nullptr, 16));
      i += 2;
    } else {
      path += rest[i];
    }
  }
  if (path.empty()) Fail("The directory location " + location + " names no file");
  return fs::path(path);
}

std::string DirectoryLocation() {
  const char* value = std::getenv(kDirectoryVariable);
  if (value == nullptr || TrimSpace(value).empty()) {
    Fail(std::string("The directory is not configured: set ") + kDirectoryVariable +
         " to the LDIF file that names the bus components");
  }
  return value;
}

Directory Directory::Open(const std::string& location) {
  fs::path file = DirectoryFileOf(location);
  std::error_code ec;
  if (!fs::exists(file, ec)) Fail("The directory file " + file.string() + " does not exist");
  Directory d;
  d.location_ = file.string();
  d.entries_ = ParseLdif(ReadWholeFile(file), file.string());
  return d;
}

const DirectoryEntry& Directory::Find(const std::string& dn) const {
  std::string wanted = NormalizeDn(dn);
  for (const DirectoryEntry& e : entries_) {
    if (NormalizeDn(e.dn) == wanted) return e;
  }
  Fail("The directory " + location_ + " has no entry \"" + dn + "\"");
}

std::string Directory::Attribute(const std::string& dn, const std::string& attribute) const {
  const DirectoryEntry& e = Find(dn);
  std::optional<std::string> value = e.Get(attribute);
  if (!value) {
    Fail("The entry \"" + dn + "\" of the directory " + location_ + " has no attribute \"" +
         attribute + "\"");
  }
  return *value;
}

long long LookupCompanyNumber(const std::string& bus, const std::optional<std::string>& location) {
  Directory d = Directory::Open(location ? *location : DirectoryLocation());
  std::string text = TrimSpace(d.Attribute(bus, kCompanyNumberAttribute));
  char* end = nullptr;
  errno = 0;
  long long number = std::strtoll(text.c_str(), &end, 10);
  if (text.empty() || errno != 0 || *end != '\0') {
    Fail("The company number \"" + text + "\" of the entry \"" + bus + "\" is no whole number");
  }
  return number;
}

std::string LookupErpConnection(const std::string& bus,
                                const std::optional<std::string>& location) {
  Directory d = Directory::Open(location ? *location : DirectoryLocation());
  return d.Attribute(bus, kErpConnectionAttribute);
}

void WriteDirectoryEntry(const fs::path& file, const DirectoryEntry& entry) {
  for (const auto& [name, value] : entry.attributes) {
    if (!EqualsIgnoreCase(name, kErpConnectionAttribute)) continue;
    ConnectionString cs = ConnectionString::Parse(value);
    if (cs.HasPassword()) {
      Fail("The connection string of \"" + entry.dn + "\" carries a password (" + cs.Redacted() +
           "): the directory file holds none");
    }
  }
  std::error_code ec;
  bool exists = fs::exists(file, ec);
  std::string old_text = exists ? ReadWholeFile(file) : std::string();

  // Keep every record as written except the entry's own, which takes the new text in place.
  std::vector<std::string> blocks;
  bool replaced = false;
  for (const auto& record : Records(old_text)) {
    std::optional<DirectoryEntry> parsed = ParseRecord(record, file.string());
    if (parsed && DnEquals(parsed->dn, entry.dn)) {
      if (!replaced) blocks.push_back(FormatLdifEntry(entry));  // a second one goes
      replaced = true;
      continue;
    }
    std::string block;
    for (const std::string& line : record) block += line + "\n";
    blocks.push_back(std::move(block));
  }
  if (!replaced) blocks.push_back(FormatLdifEntry(entry));
  std::string text;
  for (const std::string& block : blocks) text += (text.empty() ? "" : "\n") + block;

  fs::path folder = file.has_parent_path() ? file.parent_path() : fs::path(".");
  std::string pattern = (folder / ("." + file.filename().string() + ".XXXXXX")).string();
  UniqueFd fd(::mkstemp(pattern.data()));
  if (!fd.valid()) {
    Fail("The directory file " + file.string() + " cannot be written: " + std::strerror(errno));
  }
  auto remove_temp = [&] { ::unlink(pattern.c_str()); };
  struct stat old_stat {};
  mode_t mode = 0;
  if (exists && ::stat(file.c_str(), &old_stat) == 0) {
    mode = old_stat.st_mode & 07777;
  } else {
    mode_t mask = ::umask(0);
    ::umask(mask);
    mode = 0666 & ~mask;
  }
  std::size_t written = 0;
  while (written < text.size()) {
    ssize_t n = ::write(fd.get(), text.data() + written, text.size() - written);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      int saved = errno;
      remove_temp();
      Fail("The directory file " + file.string() + " cannot be written: " + std::strerror(saved));
    }
    written += static_cast<std::size_t>(n);
  }
  if (::fchmod(fd.get(), mode) != 0 || ::fsync(fd.get()) != 0) {
    int saved = errno;
    remove_temp();
    Fail("The directory file " + file.string() + " cannot be written: " + std::strerror(saved));
  }
  // On disk now: fsync has reported any error of writing back, so the close has none to tell.
  fd.Reset();
  if (::rename(pattern.c_str(), file.c_str()) != 0) {
    int saved = errno;
    remove_temp();
    Fail("The directory file " + file.string() + " cannot be replaced: " + std::strerror(saved));
  }
}

}  // namespace qor::erp
