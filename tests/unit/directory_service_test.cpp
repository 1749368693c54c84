// The directory service of the linux build against a real slapd.
#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <optional>
#include <string>

#include "../common/slapd_server.h"
#include "platform/common/ldap_search.h"
#include "platform/directory.h"

namespace dir = qm::platform::directory;

namespace {

constexpr const char* kUserFilter = "(&(objectCategory=person)(objectClass=user)";

std::string Text(const std::string& server, const std::string& base, const std::string& user,
                 const std::string& attributes) {
  std::string path = server.empty() ? base : server + "/" + base;
  return "<LDAP://" + path + ">;" + kUserFilter + "(sAMAccountName=" + user + "));" + attributes +
         ";subtree";
}

dir::Credentials Reader() { return {qmtest::kReaderDn, qmtest::kReaderPassword}; }

class DirectoryService : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    try {
      server_ = std::make_unique<qmtest::TestSlapd>(std::string(QM_BUILD_DIR) +
                                                     "/test-tmp");
    } catch (const std::exception& e) {
      startError_ = e.what();
    }
  }
  static void TearDownTestSuite() { server_.reset(); }
  void SetUp() override {
    if (!server_) FAIL() << "no slapd: " << startError_;
  }

  static std::string Srv() { return server_->Server(); }

  // The error a search raises, or a failure when it raises none.
  static qm::Error SearchError(dir::Connection& c, const std::string& text, int limit = 30) {
    try {
      c.SearchFirst(text, 99, limit);
    } catch (const qm::Error& e) {
      return e;
    }
    ADD_FAILURE() << "no error for " << text;
    return qm::Error(0, "", "");
  }

  static inline std::unique_ptr<qmtest::TestSlapd> server_;
  static inline std::string startError_;
};

TEST_F(DirectoryService, ReadsTheRequestedAttributesOfTheFirstEntry) {
  dir::Connection c = dir::Connection::Open(Reader());
  ASSERT_TRUE(c.IsOpen());
  auto entry = c.SearchFirst(
      Text(Srv(), qmtest::kVertrieb, "mmuster", "givenName,SN,description,streetAddress,l"), 99, 30);
  ASSERT_TRUE(entry);
  ASSERT_NE(entry->Find("givenname"), nullptr);
  EXPECT_EQ(*entry->Find("givenname"), std::vector<std::string>{"Max"});
  ASSERT_NE(entry->Find("sn"), nullptr) << "requested as SN, answered as sn";
  EXPECT_EQ(*entry->Find("sn"), std::vector<std::string>{"Mustermann"});
  ASSERT_NE(entry->Find("description"), nullptr);
  EXPECT_EQ(*entry->Find("description"), (std::vector<std::string>{"Zeile A", "Zeile B"}))
      << "all values, in the server's order";
  ASSERT_NE(entry->Find("streetAddress"), nullptr);
  EXPECT_EQ(entry->Find("streetAddress")->front(), "Hauptstra\xc3\x9f" "e 1") << "UTF-8 as sent";
  EXPECT_EQ(entry->Find("mail"), nullptr) << "not requested";
}

TEST_F(DirectoryService, AnAttributeTheEntryLacksIsMissing) {
  dir::Connection c = dir::Connection::Open(Reader());
  auto entry = c.SearchFirst(Text(Srv(), qmtest::kTechnik, "eberg", "mobile,title,l"), 99, 30);
  ASSERT_TRUE(entry);
  EXPECT_EQ(entry->Find("mobile"), nullptr);
  EXPECT_EQ(entry->Find("title"), nullptr);
  ASSERT_NE(entry->Find("l"), nullptr);
  EXPECT_EQ(entry->Find("l")->front(), "M\xc3\xbcnchen");
}

TEST_F(DirectoryService, SearchesEachBaseOnOneConnectionAndFindsNothingOutsideIt) {
  dir::Connection c = dir::Connection::Open(Reader());
  EXPECT_FALSE(c.SearchFirst(Text(Srv(), qmtest::kVertrieb, "eberg", "sn"), 99, 30));
  auto entry = c.SearchFirst(Text(Srv(), qmtest::kTechnik, "eberg", "sn"), 99, 30);
  ASSERT_TRUE(entry);
  EXPECT_EQ(entry->Find("sn")->front(), "Berg");
  // Same server written in another case: the same connection serves it.
  auto again = c.SearchFirst(Text("127.0.0.1:" + std::to_string(server_->port()),
                                  qmtest::kTechnik, "doppelt", "title"), 99, 30);
  ASSERT_TRUE(again);
  EXPECT_EQ(again->Find("title")->front(), "Zweiter");
}

TEST_F(DirectoryService, EmptyBaseUsesTheServersDefaultSearchBase) {
  dir::Connection c = dir::Connection::Open(Reader());
  auto entry = c.SearchFirst(Text(Srv(), "", "eberg", "sn"), 99, 30);
  ASSERT_TRUE(entry);
  EXPECT_EQ(entry->Find("sn")->front(), "Berg");
}

TEST_F(DirectoryService, NoAttributesRequestedGivesAnEntryWithoutAttributes) {
  dir::Connection c = dir::Connection::Open(Reader());
  auto entry = c.SearchFirst(Text(Srv(), qmtest::kVertrieb, "mmuster", ""), 99, 30);
  ASSERT_TRUE(entry);
  EXPECT_TRUE(entry->attributes.empty());
}

TEST_F(DirectoryService, PagesOfOneEntryStillFindTheFirst) {
  dir::Connection c = dir::Connection::Open(Reader());
  auto entry = c.SearchFirst("<LDAP://" + Srv() + "/" + qmtest::kDirectorySuffix +
                                 ">;(sAMAccountName=doppelt);title;subtree",
                             1, 30);
  ASSERT_TRUE(entry);
  EXPECT_EQ(entry->Find("title")->size(), 1u);
}

TEST_F(DirectoryService, WithoutAccountTheReadIsAnonymous) {
  // Anonymous clients see nothing in this directory.
  dir::Connection c = dir::Connection::Open(std::nullopt);
  EXPECT_FALSE(c.SearchFirst(Text(Srv(), qmtest::kVertrieb, "mmuster", "sn"), 99, 30));
  EXPECT_FALSE(c.SearchFirst(Text(Srv(), qmtest::kTechnik, "eberg", "sn"), 99, 30))
      << "an entry of class user only is a person too";
}

TEST_F(DirectoryService, FailuresCarryTheProvidersNumberAndTheLibrarysText) {
  struct Row {
    const char* name;
    std::optional<dir::Credentials> credentials;
    std::string text;
    long number;
    const char* description;
  };
  std::string down = "127.0.0.1:" + std::to_string(qmtest::FreeLoopbackPort());
  Row rows[] = {
      {"wrong password", dir::Credentials{qmtest::kReaderDn, "falsch"},
       Text(Srv(), qmtest::kVertrieb, "mmuster", "sn"), -2147023570, "Invalid credentials"},
      {"base that does not exist", Reader(),
       Text(Srv(), "ou=Nirgendwo,dc=quillmark,dc=test", "mmuster", "sn"), -2147016656,
       "No such object"},
      {"base that is no DN", Reader(), Text(Srv(), "kein DN", "mmuster", "sn"), -2147016654,
       "Invalid DN syntax"},
      {"broken filter", Reader(),
       "<LDAP://" + Srv() + "/" + qmtest::kVertrieb + ">;(&(sAMAccountName=x);sn;subtree",
       -2147016642, "Bad search filter"},
      {"server down", Reader(), Text(down, qmtest::kVertrieb, "mmuster", "sn"), -2147016646,
       "Can't contact LDAP server"},
      {"malformed text", Reader(), "<LDAP://" + Srv() + "/" + qmtest::kVertrieb + ">",
       dir::kErrorsInCommand, dir::kErrorsInCommandText},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    dir::Connection c = dir::Connection::Open(row.credentials);
    qm::Error e = SearchError(c, row.text);
    EXPECT_EQ(e.Number(), row.number);
    EXPECT_EQ(e.Description(), row.description);
  }
}

TEST_F(DirectoryService, AServerThatNeverAnswersEndsWithTheTimeLimit) {
  qmtest::SilentServer silent;
  for (bool withAccount : {true, false}) {
    SCOPED_TRACE(withAccount ? "with account" : "anonymous");
    dir::Connection c = dir::Connection::Open(
        withAccount ? std::optional<dir::Credentials>(Reader()) : std::nullopt);
    auto start = std::chrono::steady_clock::now();
    qm::Error e = SearchError(c, Text(silent.Server(), qmtest::kVertrieb, "mmuster", "sn"), 2);
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_EQ(e.Number(), -2147023436);
    EXPECT_EQ(e.Description(), "Timed out");
    EXPECT_GE(seconds, 1.5);
    EXPECT_LT(seconds, 6.0);
  }
}

}  // namespace
