#include "worker/erp/directory.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "common/error.h"
#include "testing/test_env.h"

namespace qor::erp {
namespace {

using qor::testing::ReadFile;
using qor::testing::ScopedEnv;
using qor::testing::TempDir;
using qor::testing::WriteFile;

TEST(DirectoryTest, DnsCompareAsADirectoryDoes) {
  struct Case {
    const char* a;
    const char* b;
    bool equal;
  };
  const Case cases[] = {
      {"cn=erp1, o=acme", "cn=ERP1,o=Acme", true},
      {"cn=erp1, o=acme", "CN = erp1 , O = ACME", true},
      {"  cn=erp1,o=acme  ", "cn=erp1,o=acme", true},
      {"cn=erp 1, o=acme", "cn=ERP 1,o=acme", true},  // blanks inside a value count
      {"cn=erp 1, o=acme", "cn=erp1,o=acme", false},
      {"cn=erp1, o=acme", "cn=erp2, o=acme", false},
      {"cn=erp1, o=acme", "o=acme, cn=erp1", false},  // order counts
      {"cn=erp1, o=acme", "cn=erp1", false},
      {"cn=a\\,b, o=acme", "cn=A\\,B,o=acme", true},  // an escaped comma is part of the value
      {"cn=a\\,b, o=acme", "cn=a, b=, o=acme", false},
      {"cn=erp1; o=acme", "cn=erp1, o=acme", true},
      {"cn=x\\ , o=acme", "cn=x\\ ,o=acme", true},  // an escaped trailing blank stays
      {"cn=x\\ , o=acme", "cn=x, o=acme", false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(DnEquals(c.a, c.b), c.equal)
        << "\"" << c.a << "\" vs \"" << c.b << "\": " << NormalizeDn(c.a) << " / "
        << NormalizeDn(c.b);
  }
}

constexpr const char* kLdif =
    "version: 1\n"
    "# the bus components of the test company\n"
    "dn: cn=ERP1,o=Acme\n"
    "objectClass: top\n"
    "companynumber: 100\n"
    "erpconnection: DSN=qor_sqlite;Database=/tmp/erp\n"
    " 1.db\n"
    "\n"
    "dn: cn=erp2, o=acme\r\n"
    "CompanyNumber:  200\r\n"
    "erpconnection:: RFNOPXg7VUlEPcOkcnA=\r\n"
    "\r\n"
    "dn: cn=nocompany, o=acme\n"
    "erpconnection: DSN=x\n";

TEST(DirectoryTest, ReadsLdifEntries) {
  TempDir dir;
  WriteFile(dir.path() / "dir.ldif", kLdif);
  struct Case {
    const char* location_prefix;
  };
  // A plain path and file: URIs name the same file.
  const std::string path = (dir.path() / "dir.ldif").string();
  for (const std::string& location :
       {path, "file://" + path, "file:" + path, "file://localhost" + path}) {
    Directory d = Directory::Open(location);
    ASSERT_EQ(d.entries().size(), 3u) << location;
    struct Lookup {
      const char* dn;
      const char* attribute;
      const char* value;
    };
    const Lookup lookups[] = {
        {"cn=erp1, o=acme", "companynumber", "100"},
        {"cn=erp1, o=acme", "erpconnection", "DSN=qor_sqlite;Database=/tmp/erp1.db"},
        {"cn=ERP2,o=ACME", "companynumber", "200"},
        {"cn=erp2, o=acme", "ErpConnection", "DSN=x;UID=\xc3\xa4rp"},
    };
    for (const Lookup& l : lookups) {
      EXPECT_EQ(d.Attribute(l.dn, l.attribute), l.value) << l.dn << " " << l.attribute;
    }
  }
  EXPECT_EQ(LookupCompanyNumber("cn=erp2, o=acme", path), 200);
  EXPECT_EQ(LookupErpConnection("cn=erp1,o=acme", "file://" + path),
            "DSN=qor_sqlite;Database=/tmp/erp1.db");
}

TEST(DirectoryTest, MissingThingsAreNamed) {
  TempDir dir;
  const std::string path = (dir.path() / "dir.ldif").string();
  WriteFile(path, kLdif);
  WriteFile(dir.path() / "bad.ldif", "dn: cn=a, o=b\nno colon here\n");
  WriteFile(dir.path() / "nan.ldif", "dn: cn=a, o=b\ncompanynumber: twelve\n");
  struct Case {
    const char* name;
    std::function<void()> call;
    std::vector<std::string> mentions;
  };
  const std::string missing = (dir.path() / "missing.ldif").string();
  const Case cases[] = {
      {"missing file", [&] { LookupCompanyNumber("cn=erp1, o=acme", missing); }, {missing}},
      {"missing entry",
       [&] { LookupCompanyNumber("cn=erp9, o=acme", path); },
       {"cn=erp9, o=acme", path}},
      {"missing attribute",
       [&] { LookupCompanyNumber("cn=nocompany, o=acme", path); },
       {"cn=nocompany, o=acme", "companynumber"}},
      {"malformed file",
       [&] { Directory::Open((dir.path() / "bad.ldif").string()); },
       {"bad.ldif", "no colon here"}},
      {"no number",
       [&] { LookupCompanyNumber("cn=a,o=b", (dir.path() / "nan.ldif").string()); },
       {"twelve"}},
      {"other scheme", [&] { Directory::Open("ldap://localhost:389"); }, {"ldap://localhost"}},
  };
  for (const Case& c : cases) {
    try {
      c.call();
      ADD_FAILURE() << c.name << " did not fail";
    } catch (const Error& e) {
      for (const std::string& m : c.mentions) {
        EXPECT_NE(e.description().find(m), std::string::npos) << c.name << ": " << e.description();
      }
    }
  }
}

TEST(DirectoryTest, EnvironmentNamesTheDirectory) {
  TempDir dir;
  const std::string path = (dir.path() / "dir.ldif").string();
  WriteFile(path, kLdif);
  ScopedEnv directory(kDirectoryVariable, "file://" + path);
  EXPECT_EQ(LookupCompanyNumber("cn=erp1,o=acme"), 100);
  ScopedEnv no_directory(kDirectoryVariable, std::nullopt);
  EXPECT_THROW(LookupCompanyNumber("cn=erp1,o=acme"), Error);
}

TEST(DirectoryTest, WritesOrReplacesAnEntry) {
  TempDir dir;
  const auto file = dir.path() / "dir.ldif";
  WriteFile(file, kLdif);
  chmod(file.c_str(), 0640);

  DirectoryEntry replacement{"cn=Erp2 , o=ACME",
                             {{"companynumber", "201"}, {"erpconnection", "DSN=y; Database=z "}}};
  WriteDirectoryEntry(file, replacement);
  DirectoryEntry added{"cn=erp3, o=acme", {{"companynumber", "300"}, {"erpconnection", ":x"}}};
  WriteDirectoryEntry(file, added);

  Directory d = Directory::Open(file.string());
  ASSERT_EQ(d.entries().size(), 4u);
  EXPECT_EQ(d.entries()[1].dn, "cn=Erp2 , o=ACME");  // replaced in place
  EXPECT_EQ(d.Attribute("cn=erp2,o=acme", "companynumber"), "201");
  EXPECT_EQ(d.Attribute("cn=erp2,o=acme", "erpconnection"), "DSN=y; Database=z ");
  EXPECT_EQ(d.Attribute("cn=erp3,o=acme", "erpconnection"), ":x");
  EXPECT_EQ(d.Attribute("cn=erp1,o=acme", "companynumber"), "100");
  std::string text = ReadFile(file);
  EXPECT_NE(text.find("# the bus components of the test company"), std::string::npos);
  EXPECT_EQ(text.find("200"), std::string::npos);
  struct stat st {};
  ASSERT_EQ(stat(file.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0640u);
  // Nothing is left beside the file.
  int files = 0;
  for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(dir.path())) ++files;
  EXPECT_EQ(files, 1);

  // A connection string with a password is refused, and the file stays as it was.
  for (const char* connection : {"DSN=y;PWD=hunter2", "DSN=y;password={hunter2}"}) {
    try {
      WriteDirectoryEntry(file, {"cn=erp2, o=acme", {{"ERPConnection", connection}}});
      ADD_FAILURE() << connection << " was written";
    } catch (const Error& e) {
      EXPECT_EQ(e.description().find("hunter2"), std::string::npos) << e.description();
    }
  }
  EXPECT_EQ(ReadFile(file), text);

  // A new file is created.
  const auto fresh = dir.path() / "fresh.ldif";
  WriteDirectoryEntry(fresh, added);
  EXPECT_EQ(Directory::Open(fresh.string()).Attribute("cn=erp3,o=acme", "companynumber"), "300");
}

TEST(DirectoryTest, FormatsValuesThatLdifCannotHoldPlainly) {
  DirectoryEntry e{
      "cn=a,o=b",
      {{"v1", " leading"}, {"v2", "trailing "}, {"v3", "ok"}, {"v4", "\xc3\xa4"}, {"v5", ""}}};
  std::string text = FormatLdifEntry(e);
  EXPECT_NE(text.find("v3: ok\n"), std::string::npos);
  EXPECT_NE(text.find("v1:: "), std::string::npos);
  EXPECT_NE(text.find("v4:: "), std::string::npos);
  std::vector<DirectoryEntry> back = ParseLdif(text, "test");
  ASSERT_EQ(back.size(), 1u);
  EXPECT_EQ(back[0].attributes, e.attributes);
}

}  // namespace
}  // namespace qor::erp
