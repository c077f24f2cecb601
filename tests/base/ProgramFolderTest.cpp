#include "base/ProgramFolder.h"

#include <cstdlib>
#include <filesystem>

#include <gtest/gtest.h>

#include "support/TestSupport.h"

namespace brellin {
namespace {

namespace fs = std::filesystem;
using test::ReadText;
using test::TTempDir;

void Write(const std::string& file, const std::string& text) {
  fs::create_directories(fs::path(file).parent_path());
  test::WriteBytes(file, std::vector<uint8_t>(text.begin(), text.end()));
}

// One user's folder across three starts of an installed program and an upgrade.
TEST(ProgramFolder, SeedingKeepsTheUsersFilesAndAddsNewShippedOnes) {
  TTempDir shipped, user;
  Write(shipped.File("a.bst"), "style a v1");
  Write(shipped.File("b.bst"), "style b");
  Write(shipped.File("p.stk"), "pattern");
  Write(shipped.File("Help/index.html"), "help v1");
  Write(shipped.File("Help/img/x.png"), "picture");
  const std::string target = user.File("home");  // not there yet

  SeedProgramFolder(shipped.Path(), target);
  EXPECT_EQ(ReadText(target + "/a.bst"), "style a v1");
  EXPECT_EQ(ReadText(target + "/p.stk"), "pattern");
  EXPECT_EQ(ReadText(target + "/Help/img/x.png"), "picture");

  // The user edits one shipped style, deletes another and makes their own.
  Write(target + "/a.bst", "mine");
  fs::remove(target + "/b.bst");
  Write(target + "/own.bst", "own");
  // A later version changes a style and the help, and ships a new pattern.
  Write(shipped.File("a.bst"), "style a v2");
  Write(shipped.File("q.stk"), "new pattern");
  Write(shipped.File("Help/index.html"), "help v2");

  SeedProgramFolder(shipped.Path(), target);
  SeedProgramFolder(shipped.Path(), target);
  EXPECT_EQ(ReadText(target + "/a.bst"), "mine");
  EXPECT_FALSE(fs::exists(target + "/b.bst"));
  EXPECT_EQ(ReadText(target + "/own.bst"), "own");
  EXPECT_EQ(ReadText(target + "/q.stk"), "new pattern");
  EXPECT_EQ(ReadText(target + "/Help/index.html"), "help v2");
  for (const auto& e : fs::recursive_directory_iterator(target))
    EXPECT_NE(e.path().extension(), ".part") << "half-copied file left: " << e.path();
}

// A user file already there under a shipped name (a folder from before the
// manifest existed) is kept; a folder that cannot be made is left alone.
TEST(ProgramFolder, SeedingNeverOverwritesAndSurvivesAnUnusableFolder) {
  TTempDir shipped, user;
  Write(shipped.File("a.bst"), "shipped");
  Write(user.File("a.bst"), "user's");
  SeedProgramFolder(shipped.Path(), user.Path());
  EXPECT_EQ(ReadText(user.File("a.bst")), "user's");

  Write(user.File("file"), "x");
  EXPECT_NO_THROW(SeedProgramFolder(shipped.Path(), user.File("file/home")));
  EXPECT_NO_THROW(SeedProgramFolder(user.File("missing"), user.File("other")));
  EXPECT_FALSE(fs::exists(user.File("other/a.bst")));

  // A data home where the user folder cannot be made: the program folder is
  // still one that exists, never a folder nothing can be read from.
  const std::string brellinHome = std::getenv("BRELLIN_HOME") ? std::getenv("BRELLIN_HOME") : "";
  const char* xdg = std::getenv("XDG_DATA_HOME");
  const std::string xdgHome = xdg ? xdg : "";
  ::unsetenv("BRELLIN_HOME");
  ::setenv("XDG_DATA_HOME", user.File("file").c_str(), 1);
  const std::string folder = ProgramFolder();
  ::setenv("BRELLIN_HOME", brellinHome.c_str(), 1);
  xdg ? ::setenv("XDG_DATA_HOME", xdgHome.c_str(), 1) : ::unsetenv("XDG_DATA_HOME");
  EXPECT_TRUE(fs::is_directory(folder)) << folder;
}

// The list of offered files survives an editor that writes CR line ends,
// and a shipped name holding a line end, which one line could not list.
TEST(ProgramFolder, TheListOfOfferedFilesHoldsAgainstLineEnds) {
  TTempDir shipped, user;
  Write(shipped.File("a.bst"), "a");
  Write(shipped.File("b.bst"), "b");
  Write(shipped.File("x\ny.bst"), "odd");
  Write(shipped.File("c\rd.bst"), "odd");
  SeedProgramFolder(shipped.Path(), user.Path());
  EXPECT_FALSE(fs::exists(user.File("x\ny.bst")));
  EXPECT_FALSE(fs::exists(user.File("c\rd.bst")));
  const std::string list = ReadText(user.File(".shipped-files"));
  EXPECT_EQ(list, "a.bst\nb.bst\n");

  // The user deletes b.bst; the list comes back from another system's editor.
  fs::remove(user.File("b.bst"));
  Write(user.File(".shipped-files"), "a.bst\r\nb.bst\r\n");
  Write(shipped.File("e.bst"), "new");
  SeedProgramFolder(shipped.Path(), user.Path());
  EXPECT_FALSE(fs::exists(user.File("b.bst")));
  EXPECT_EQ(ReadText(user.File("e.bst")), "new");
}

}  // namespace
}  // namespace brellin
