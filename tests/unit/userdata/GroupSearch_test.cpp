// The group search against a directory held in the test: a search function
// stands in for the server, answering each member filter from a list of
// groups in server order and recording the searches it was asked for. The
// server's paging and the escapes of the filter are met by the whole-program
// rule tests.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "userdata/GroupSearch.h"

namespace dir = qm::platform::directory;

namespace {

struct Group {
  std::string dn, cn;
  std::vector<std::string> members;
};

const std::string kUser = "cn=Max,ou=Vertrieb,dc=firma,dc=test";
std::string G(const std::string& cn) { return "cn=" + cn + ",ou=Gruppen,dc=firma,dc=test"; }

// The DNs of a filter's (member=...) terms (the test's DNs need no escapes).
std::vector<std::string> MemberValues(const std::string& filter) {
  std::vector<std::string> values;
  for (size_t at = filter.find("(member="); at != std::string::npos; at = filter.find("(member=", at)) {
    at += 8;
    values.push_back(filter.substr(at, filter.find(')', at) - at));
  }
  return values;
}

// count groups holding the user, and Alle holding them all.
std::vector<Group> Many(int count) {
  std::vector<Group> out = {{G("Alle"), "Alle", {}}};
  for (int i = 1; i <= count; ++i) {
    out.push_back({G("G" + std::to_string(i)), "G" + std::to_string(i), {kUser}});
    out.front().members.push_back(out.back().dn);
  }
  return out;
}

// Kette-1 holds the user, Kette-n holds Kette-(n-1).
std::vector<Group> Chain(int length) {
  std::vector<Group> out;
  for (int i = 1; i <= length; ++i)
    out.push_back({G("Kette-" + std::to_string(i)), "Kette-" + std::to_string(i), {i == 1 ? kUser : out.back().dn}});
  return out;
}

TEST(GroupSearch, LevelsChunksLoopsAndDepth) {
  const struct {
    const char* name;
    std::vector<Group> groups;
    size_t count;                  // groups found
    std::string first, last;       // the names of the first and the last
    std::vector<size_t> searches;  // DNs named by each search
  } rows[] = {
      {"several groups at one level, one of them reached twice, one without cn",
       {{G("D"), "D", {G("A"), G("B")}}, {G("A"), "A", {kUser}}, {G("B"), "B", {kUser, G("X")}},
        {G("C"), "C", {kUser}}, {G("E"), "", {G("C")}}},
       5, "A", G("E"), {1, 3, 2}},
      {"150 groups at one level, more than a page: 50 DNs a search", Many(150), 151, "G1", "Alle",
       {1, 50, 50, 50, 1}},
      {"a loop of groups ends", {{G("A"), "A", {kUser, G("B")}}, {G("B"), "B", {G("A")}}}, 2, "A", "B", {1, 1, 1}},
      {"a chain of 20: the first 16 levels", Chain(20), 16, "Kette-1", "Kette-16", std::vector<size_t>(16, 1)},
  };
  dir::Search where;
  where.server = "dc1.firma.test";
  where.port = 3268;
  where.pageSize = 99;
  where.base = "ou=Vertrieb,dc=firma,dc=test";  // the user's base is not the groups'
  where.filter = "(sAMAccountName=max)";
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    std::vector<dir::Search> asked;
    const auto server = [&](const dir::Search& search) {
      asked.push_back(search);
      const std::vector<std::string> wanted = MemberValues(search.filter);
      std::vector<dir::Entry> found;
      for (const Group& g : row.groups) {
        if (std::none_of(g.members.begin(), g.members.end(),
                         [&](const std::string& m) { return std::count(wanted.begin(), wanted.end(), m) > 0; }))
          continue;
        found.push_back({g.dn, {}});
        if (!g.cn.empty()) found.back().attributes.push_back({"cn", {g.cn, "second cn"}});
      }
      return found;
    };
    const std::vector<qm::DirectoryGroup> groups = qm::SearchGroups(kUser, where, server);
    ASSERT_EQ(groups.size(), row.count);
    EXPECT_EQ(groups.front().Cn, row.first);
    EXPECT_EQ(groups.back().Cn.empty() ? groups.back().Dn : groups.back().Cn, row.last);
    std::vector<size_t> terms;
    for (const dir::Search& s : asked) {
      terms.push_back(MemberValues(s.filter).size());
      // One DN alone, several in an OR; all below the domain of the user, on its server.
      EXPECT_EQ(s.filter.rfind(terms.back() == 1 ? "(member=" : "(|(member=", 0), 0u) << s.filter;
      EXPECT_EQ(s.server + ":" + std::to_string(s.port) + " " + s.base, "dc1.firma.test:3268 dc=firma,dc=test");
      EXPECT_EQ(s.pageSize, 99);
      EXPECT_EQ(s.scope, dir::Scope::Subtree);
      EXPECT_EQ(s.attributes, std::vector<std::string>{"cn"});
    }
    EXPECT_EQ(terms, row.searches);
  }
}

}  // namespace
