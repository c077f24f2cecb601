#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <map>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "support/TestSupport.h"

namespace brellin {
namespace {

using test::RunCli;

// Just enough of a strict JSON reader for the listing: objects, arrays,
// strings, true and false. Anything else fails the test.
struct TJson {
  std::string String;
  bool Bool = false;
  std::vector<TJson> Items;
  std::map<std::string, TJson> Members;
};

class TJsonReader {
 public:
  explicit TJsonReader(const std::string& Text) : s(Text) {}
  TJson Document() {
    TJson v = Value();
    Space();
    if (i != s.size()) throw std::runtime_error("text after the value");
    return v;
  }

 private:
  const std::string& s;
  size_t i = 0;
  void Space() {
    while (i < s.size() && std::isspace(static_cast<unsigned char>(s[i]))) ++i;
  }
  void Expect(char c) {
    Space();
    if (i >= s.size() || s[i] != c) throw std::runtime_error(std::string("expected ") + c);
    ++i;
  }
  bool Peek(char c) {
    Space();
    return i < s.size() && s[i] == c;
  }
  std::string Str() {
    Expect('"');
    std::string r;
    while (i < s.size() && s[i] != '"') {
      if (static_cast<unsigned char>(s[i]) < 0x20) throw std::runtime_error("control character");
      if (s[i] == '\\') ++i;
      r += s[i++];
    }
    Expect('"');
    return r;
  }
  TJson Value() {
    TJson v;
    if (Peek('[')) {
      Expect('[');
      while (!Peek(']')) {
        if (!v.Items.empty()) Expect(',');
        v.Items.push_back(Value());
      }
      Expect(']');
    } else if (Peek('{')) {
      Expect('{');
      while (!Peek('}')) {
        if (!v.Members.empty()) Expect(',');
        std::string k = Str();
        Expect(':');
        v.Members[k] = Value();
      }
      Expect('}');
    } else if (Peek('"')) {
      v.String = Str();
    } else if (s.compare(i, 4, "true") == 0) {
      v.Bool = true, i += 4;
    } else if (s.compare(i, 5, "false") == 0) {
      i += 5;
    } else {
      throw std::runtime_error("unexpected value at " + std::to_string(i));
    }
    return v;
  }
};

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
  TJson list;
  ASSERT_NO_THROW(list = TJsonReader(r.Out).Document()) << r.Out;
  ASSERT_EQ(list.Items.size(), 46u);
  std::map<std::string, bool> enabled;
  for (size_t k = 0; k < list.Items.size(); ++k) {
    TJson& c = list.Items[k];
    ASSERT_EQ(c.Members.size(), 5u);
    const std::string name = c.Members["name"].String;
    EXPECT_EQ(name, order[k]);
    enabled[name] = c.Members["enabled"].Bool;
    EXPECT_EQ(c.Members["category"].String, none[name][1]);
    EXPECT_EQ(c.Members["caption"].String, none[name][2]);
  }
  EXPECT_EQ(list.Items[10].Members["shortcuts"].Items.size(), 3u);  // Undo
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
