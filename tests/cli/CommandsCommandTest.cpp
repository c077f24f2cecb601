#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "support/TestSupport.h"

namespace brellin {
namespace {

using test::RunCli;

std::map<std::string, std::vector<std::string>> Lines(const std::string& Out,
                                                      std::vector<std::string>& Order) {
  std::map<std::string, std::vector<std::string>> m;
  std::istringstream in(Out);
  for (std::string line; std::getline(in, line);) {
    std::vector<std::string> f;
    std::istringstream fs(line);
    for (std::string x; std::getline(fs, x, '\t');) f.push_back(x);
    Order.push_back(f.at(0));
    m[f.at(0)] = f;
  }
  return m;
}

TEST(CommandsCommand, ListsEveryCommandWithAndWithoutAPicture) {
  auto r = RunCli({"commands"});
  ASSERT_EQ(r.ExitCode, 0) << r.Err;
  EXPECT_EQ(std::count(r.Out.begin(), r.Out.end(), '\n'), 46);
  std::vector<std::string> order;
  auto none = Lines(r.Out, order);
  ASSERT_EQ(none.size(), 46u);
  for (const auto& [name, f] : none) ASSERT_EQ(f.size(), 5u) << name;
  for (const char* n : {"UndoCommand", "SaveCommand", "PointerCommand", "PatternCommand",
                        "AutoDirCommand", "FreeHandCommand"})
    EXPECT_EQ(none[n][4], "disabled") << n;
  for (const char* n : {"OpenCommand", "ExitCommand", "NewPatternCommand", "HelpCommand"})
    EXPECT_EQ(none[n][4], "enabled") << n;
  EXPECT_EQ(none["UndoCommand"][3], "Ctrl+Z,U,Shift+U");
  EXPECT_EQ(none["SaveProjectAsCommand"][3], "");
  EXPECT_EQ(none["AutoDirCommand"][2], "Auto-sketch Tool");

  r = RunCli({"commands", "--picture", test::DataPath("cat_crop_128x96.png"), "--json"});
  ASSERT_EQ(r.ExitCode, 0) << r.Err;
  // One object a line between the brackets, separated by commas; the strings
  // hold nothing that needs escaping, so this is the whole JSON grammar used.
  const std::regex object(
      R"re(  \{"name": "(\w+)", "category": "([^"\\]*)", "caption": "([^"\\]*)", )re"
      R"re("shortcuts": \[((?:"[^"\\]+")(?:,"[^"\\]+")*)?\], "enabled": (true|false)\}(,?))re");
  std::istringstream in(r.Out);
  std::string line;
  ASSERT_TRUE(std::getline(in, line));
  EXPECT_EQ(line, "[");
  std::map<std::string, bool> enabled;
  size_t k = 0;
  for (; std::getline(in, line) && line != "]"; ++k) {
    std::smatch m;
    ASSERT_TRUE(std::regex_match(line, m, object)) << line;
    ASSERT_LT(k, order.size());
    EXPECT_EQ(m[1], order[k]);
    EXPECT_EQ(m[2], none[order[k]][1]);
    EXPECT_EQ(m[3], none[order[k]][2]);
    EXPECT_EQ(std::regex_replace(m[4].str(), std::regex("\""), ""), none[order[k]][3]);
    EXPECT_EQ(m[6], k + 1 < order.size() ? "," : "");
    enabled[m[1]] = m[5] == "true";
  }
  EXPECT_EQ(k, 46u);
  EXPECT_EQ(line, "]");
  EXPECT_FALSE(std::getline(in, line));
  for (const char* n :
       {"PointerCommand", "PatternCommand", "AutoDirCommand", "FreeHandCommand", "SaveCommand"})
    EXPECT_TRUE(enabled[n]) << n;
  // Right after opening: nothing to undo yet.
  EXPECT_FALSE(enabled["UndoCommand"]);
  EXPECT_FALSE(enabled["PostScriptCommand"]);

  r = RunCli({"commands", "--picture", test::DataPath("no-such-picture.png")});
  EXPECT_EQ(r.ExitCode, 2);
  EXPECT_NE(r.Err.find("no-such-picture.png"), std::string::npos) << r.Err;
}

}  // namespace
}  // namespace brellin
