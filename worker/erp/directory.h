// The directory that maps a bus component ("cn=NAME, o=ORG") to the ERP company it serves and
// to the connection string of the ERP store behind it.
//
// Its location is `$QOR_DIRECTORY`: the path of an LDIF file, or a "file:" URI of one. Each
// entry's DN is a bus component; the attribute "companynumber" holds the ERP company and
// "erpconnection" the store's ODBC connection string, which carries no password (the
// password comes from the environment, see store.h).
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace qor::erp {

inline constexpr const char* kDirectoryVariable = "QOR_DIRECTORY";
inline constexpr const char* kCompanyNumberAttribute = "companynumber";
inline constexpr const char* kErpConnectionAttribute = "erpconnection";

// A DN in the form in which two DNs compare: attribute names and values in lower case, blanks
// around "," "+" and "=" removed ("cn=ERP1 ,O = Acme" gives "cn=erp1,o=acme"). Escaped
// characters ("\,") stay part of their value.
std::string NormalizeDn(const std::string& dn);
// Whether two DNs name the same entry, as a directory compares them.
bool DnEquals(const std::string& a, const std::string& b);

struct DirectoryEntry {
  std::string dn;
  std::vector<std::pair<std::string, std::string>> attributes;  // in file order

  // The first value of the attribute (name in any case), or nothing.
  std::optional<std::string> Get(const std::string& attribute) const;
};

// Entries of LDIF text: "dn:" lines start entries, blank lines end them; "name: value",
// "name:: base64" values and continuation lines (a leading blank) are read; "#" lines and a
// "version:" line are skipped. Throws Error naming `origin` and the line for malformed text.
std::vector<DirectoryEntry> ParseLdif(const std::string& text, const std::string& origin);
// One entry as LDIF, values that LDIF cannot hold plainly written as base64.
std::string FormatLdifEntry(const DirectoryEntry& entry);

// The file that a location names: a path, or a "file:" URI ("file:///srv/qor/dir.ldif",
// "file:/srv/qor/dir.ldif", percent escapes decoded). Throws Error for other URIs.
std::filesystem::path DirectoryFileOf(const std::string& location);
// `$QOR_DIRECTORY`; throws Error when it is not set.
std::string DirectoryLocation();

class Directory {
 public:
  // Reads the LDIF file that `location` names. Throws Error naming the file when it is
  // missing, unreadable or malformed.
  static Directory Open(const std::string& location);

  const std::vector<DirectoryEntry>& entries() const { return entries_; }
  // The entry with that DN; throws Error naming the DN and the file when there is none.
  const DirectoryEntry& Find(const std::string& dn) const;
  // The attribute of that entry; throws Error naming DN, attribute and file when missing.
  std::string Attribute(const std::string& dn, const std::string& attribute) const;

 private:
  std::string location_;
  std::vector<DirectoryEntry> entries_;
};

// The ERP company that the bus component serves, from `$QOR_DIRECTORY` (or `location` when
// given). Throws Error when the directory, the entry or the attribute is missing, or the value
// is no whole number.
long long LookupCompanyNumber(const std::string& bus_component,
                              const std::optional<std::string>& location = std::nullopt);
// The connection string of the ERP store behind the bus component, as the directory holds it.
std::string LookupErpConnection(const std::string& bus_component,
                                const std::optional<std::string>& location = std::nullopt);

// Writes the entry for `dn` into the LDIF file, replacing an entry with an equal DN (in its
// place, other entries and comments left as they are) or appending it. The file is written
// whole under a temporary name and then renamed over the old one, so that a reader never sees
// it half-written. Creates the file when missing. Refuses (Error) an "erpconnection" that
// carries a password: the file holds none.
void WriteDirectoryEntry(const std::filesystem::path& file, const DirectoryEntry& entry);

}  // namespace qor::erp
