// The group search against a directory held in the test: a search function
// stands in for the server, answering each member filter from a list of
// groups in server order and recording the searches it was asked for. The
// real server's paging is the connection's; the whole-program rule tests meet
// it with a group held by more than a page of groups.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "userdata/GroupSearch.h"

namespace dir = qm::platform::directory;

namespace {

struct Group {
  std::string dn, cn;
  std::vector<std::string> members;
};

// The DNs of a filter's (member=...) terms, the filter escapes \hh undone.
std::vector<std::string> MemberValues(const std::string& filter) {
  std::vector<std::string> values;
  for (size_t at = filter.find("(member="); at != std::string::npos; at = filter.find("(member=", at)) {
    at += 8;
    std::string value;
    for (; at < filter.size() && filter[at] != ')'; ++at) {
      if (filter[at] == '\\' && at + 2 < filter.size()) {
        value += static_cast<char>(std::stoi(filter.substr(at + 1, 2), nullptr, 16));
        at += 2;
      } else {
        value += filter[at];
      }
    }
    values.push_back(value);
  }
  return values;
}

struct StandIn {
  std::vector<Group> groups;
  std::vector<dir::Search> asked;

  std::vector<dir::Entry> operator()(const dir::Search& search) {
    asked.push_back(search);
    const std::vector<std::string> wanted = MemberValues(search.filter);
    std::vector<dir::Entry> found;
    for (const Group& g : groups) {
      for (const std::string& m : g.members) {
        if (std::find(wanted.begin(), wanted.end(), m) == wanted.end()) continue;
        dir::Entry e;
        e.dn = g.dn;
        if (!g.cn.empty()) e.attributes.push_back({"cn", {g.cn, "second cn"}});
        found.push_back(e);
        break;
      }
    }
    return found;
  }
};

const std::string kUser = "cn=Max,ou=Vertrieb,dc=firma,dc=test";
std::string G(const std::string& cn) { return "cn=" + cn + ",ou=Gruppen,dc=firma,dc=test"; }

// count groups G1..Gcount, each holding the user and held by the group Alle.
std::vector<Group> Many(int count) {
  std::vector<Group> out;
  std::vector<std::string> all;
  for (int i = 1; i <= count; ++i) {
    out.push_back({G("G" + std::to_string(i)), "G" + std::to_string(i), {kUser}});
    all.push_back(out.back().dn);
  }
  out.push_back({G("Alle"), "Alle", all});
  return out;
}

// A chain: Kette-1 holds the user, Kette-n holds Kette-(n-1).
std::vector<Group> Chain(int length) {
  std::vector<Group> out;
  for (int i = 1; i <= length; ++i)
    out.push_back({G("Kette-" + std::to_string(i)), "Kette-" + std::to_string(i),
                   {i == 1 ? kUser : G("Kette-" + std::to_string(i - 1))}});
  return out;
}

std::string Names(const std::vector<qm::DirectoryGroup>& groups, size_t most = 1000) {
  std::string out;
  for (size_t i = 0; i < groups.size() && i < most; ++i) out += (i ? ";" : "") + (groups[i].Cn.empty() ? groups[i].Dn : groups[i].Cn);
  return out;
}

// The number of DNs each search named, in order.
std::vector<size_t> TermsPerSearch(const StandIn& server) {
  std::vector<size_t> out;
  for (const dir::Search& s : server.asked) out.push_back(MemberValues(s.filter).size());
  return out;
}

TEST(GroupSearch, LevelsChunksLoopsAndDepth) {
  const struct {
    const char* name;
    std::vector<Group> groups;
    size_t count;                 // groups found
    const char* first;            // their names, the first few
    std::vector<size_t> searches;  // DNs named by each search
  } rows[] = {
      {"several groups at one level, one of them reached twice",
       {{G("A"), "A", {kUser}}, {G("B"), "B", {kUser, "cn=Erika,ou=Technik,dc=firma,dc=test"}},
        {G("C"), "C", {kUser}}, {G("D"), "D", {G("A"), G("B")}}, {G("E"), "", {G("C")}}},
       5, "A;B;C;D;cn=E,ou=Gruppen,dc=firma,dc=test", {1, 3, 2}},
      {"150 groups at one level, more than a page: 50 DNs a search", Many(150), 151, "G1;G2;G3",
       {1, 50, 50, 50, 1}},
      {"a loop of groups ends", {{G("A"), "A", {kUser, G("B")}}, {G("B"), "B", {G("A")}}},
       2, "A;B", {1, 1, 1}},
      {"a chain of 20: the first 16 levels", Chain(20), 16, "Kette-1;Kette-2", std::vector<size_t>(16, 1)},
      {"no group", {}, 0, "", {1}},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    StandIn server{row.groups, {}};
    const std::vector<qm::DirectoryGroup> groups = qm::SearchGroups(kUser, dir::Search{}, std::ref(server));
    EXPECT_EQ(groups.size(), row.count);
    EXPECT_EQ(Names(groups).rfind(row.first, 0), 0u) << Names(groups);
    EXPECT_EQ(TermsPerSearch(server), row.searches);
    if (row.count == 16) {
      EXPECT_EQ(groups.back().Cn, "Kette-16");
    }
  }
}

TEST(GroupSearch, WhereAndHowEachSearchGoes) {
  // The user's DN with an escaped comma, a group whose DN holds every
  // character a filter value escapes, and a domain part in another case.
  const std::string user = "CN=Muster\\, Max,OU=Vertrieb,DC=Firma,dc=test";
  const std::string odd = "cn=Team (Berlin*) \\5c,ou=Gruppen,dc=firma,dc=test";
  StandIn server{{{odd, "Team", {user}}, {G("Alle"), "Alle", {odd}}}, {}};
  dir::Search where;
  where.server = "dc1.firma.test";
  where.port = 3268;
  where.pageSize = 99;
  where.base = "ou=Vertrieb,dc=firma,dc=test";  // the user's base is not the groups'
  where.filter = "(sAMAccountName=max)";
  const std::vector<qm::DirectoryGroup> groups = qm::SearchGroups(user, where, std::ref(server));
  EXPECT_EQ(Names(groups), "Team;Alle");
  EXPECT_EQ(groups[0].Dn, odd);
  ASSERT_EQ(server.asked.size(), 3u);
  EXPECT_EQ(server.asked[0].filter, "(member=CN=Muster\\5c, Max,OU=Vertrieb,DC=Firma,dc=test)");
  EXPECT_EQ(server.asked[1].filter, "(member=cn=Team \\28Berlin\\2a\\29 \\5c5c,ou=Gruppen,dc=firma,dc=test)");
  for (const dir::Search& s : server.asked) {
    EXPECT_EQ(s.server, "dc1.firma.test");
    EXPECT_EQ(s.port, 3268);
    EXPECT_EQ(s.pageSize, 99);
    EXPECT_EQ(s.base, "DC=Firma,dc=test");
    EXPECT_EQ(s.scope, dir::Scope::Subtree);
    EXPECT_EQ(s.attributes, std::vector<std::string>{"cn"});
  }
  // A DN without a domain part searches from the server's default base.
  StandIn bare{{{"cn=A,o=Firma", "A", {"cn=Max,o=Firma"}}}, {}};
  EXPECT_EQ(Names(qm::SearchGroups("cn=Max,o=Firma", where, std::ref(bare))), "A");
  EXPECT_EQ(bare.asked.at(0).base, "");
}

}  // namespace
