#include "library/PersistentObjects.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "base/Errors.h"
#include "base/ProgramFolder.h"
#include "support/TestSupport.h"

namespace brellin {
namespace {

namespace fs = std::filesystem;
using test::TTempDir;

// A persistent class for the tests: a length-prefixed text.
class TThing : public TPersistentObject {
 public:
  static const TPersistentClass& StaticClass() {
    static const TPersistentClass cls(
        "TThing", "tst", "thing",
        []() -> std::unique_ptr<TPersistentObject> { return std::make_unique<TThing>(); });
    return cls;
  }
  const TPersistentClass& ClassType() const override { return StaticClass(); }

  void LoadFromStream(TStream& Stream) override {
    const uint32_t n = Stream.ReadValue<uint32_t>();
    if (n > Stream.Remaining()) throw EInvalidData("text longer than the file");
    Text.resize(n);
    Stream.ReadBuffer(Text.data(), n);
    SetId(Stream.Remaining() >= 4 ? Stream.ReadValue<int32_t>() : 0);
  }
  void SaveToStream(TStream& Stream) override {
    Stream.WriteValue(uint32_t(Text.size()));
    if (FailHalfway) throw EWriteError("disk full");
    Stream.WriteBuffer(Text.data(), Text.size());
    Stream.WriteValue(Id());
  }

  std::string Text;
  bool FailHalfway = false;
};

std::unique_ptr<TThing> MakeThing(const std::string& name, const std::string& text,
                                  int32_t id = 0) {
  auto t = std::make_unique<TThing>();
  t->SetName(name);
  t->Text = text;
  t->SetId(id);
  return t;
}

void WriteThingFile(const std::string& path, const std::string& text, int32_t id = 0) {
  TThing t;
  t.Text = text;
  t.SetId(id);
  TMemoryStream m;
  t.SaveToStream(m);
  test::WriteBytes(path, m.Data());
}

// The program folder and the current folder (where "brellin.log" goes) are
// both a fresh temporary folder for the duration of a test.
class PersistentObjects : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* old = std::getenv("BRELLIN_HOME");
    FOldHome = old ? old : "";
    FHadHome = old != nullptr;
    ::setenv("BRELLIN_HOME", Dir.Path().c_str(), 1);
    FOldCwd = fs::current_path();
    fs::current_path(Dir.Path());
  }
  void TearDown() override {
    fs::current_path(FOldCwd);
    if (FHadHome)
      ::setenv("BRELLIN_HOME", FOldHome.c_str(), 1);
    else
      ::unsetenv("BRELLIN_HOME");
  }
  std::string Log() const {
    std::ifstream in(Dir.File("brellin.log"));
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  }

  TTempDir Dir;

 private:
  std::string FOldHome;
  bool FHadHome = false;
  fs::path FOldCwd;
};

// Counts the library's events, in order.
struct TEventLog {
  std::string Events;
  void Attach(TPersistentObjectManager& lib) {
    lib.OnBeforeChange = [this](TPersistentObjectManager&) { Events += "B"; };
    lib.OnChange = [this](TPersistentObjectManager&) { Events += "C"; };
    lib.OnAdd = [this](TPersistentObjectManager&) { Events += "A"; };
    lib.OnNew = [this](TPersistentObjectManager&) { Events += "N"; };
  }
};

class TFakeForm : public TFormPersistentObject {
 public:
  void SetObject(TPersistentObject* Obj) override { Edited = Obj; }
  void GetObjectName(std::string& Name) override { Name = NameToGive; }
  bool ShowModal() override {
    if (Edited) static_cast<TThing*>(Edited)->Text = "edited";
    return Accept;
  }
  TPersistentObject* Edited = nullptr;
  std::string NameToGive = "my thing";
  bool Accept = true;
};

TEST_F(PersistentObjects, LoadsEveryFileOfTheExtensionAndLogsBadOnes) {
  WriteThingFile(Dir.File("b.tst"), "bee", 7);
  WriteThingFile(Dir.File("a.TST"), "ay", 3);
  WriteThingFile(Dir.File("c.other"), "not mine");
  test::WriteBytes(Dir.File("forged.tst"), {0xFF, 0xFF, 0xFF, 0x7F, 'x'});  // length past the end
  test::WriteBytes(Dir.File("short.tst"), {1, 2});
  fs::create_directory(Dir.File("folder.tst"));

  TEventLog events;
  TPersistentObjectManager lib(TThing::StaticClass());
  ASSERT_EQ(lib.Count(), 2);
  EXPECT_EQ(static_cast<TThing*>(lib.GetObject(0))->Text, "ay");
  EXPECT_EQ(lib.GetObject(0)->FileName(), Dir.Path() + "/a.TST");
  EXPECT_EQ(lib.GetObject(1)->Id(), 7);
  EXPECT_FALSE(lib.GetObject(1)->Modified());
  EXPECT_EQ(lib.ItemIndex(), 0);
  const std::string log = Log();
  EXPECT_NE(log.find("forged.tst"), std::string::npos) << log;
  EXPECT_NE(log.find("text longer than the file"), std::string::npos) << log;
  EXPECT_NE(log.find("short.tst"), std::string::npos) << log;
  EXPECT_NE(log.find("folder.tst"), std::string::npos) << log;
  EXPECT_EQ(log.find("c.other"), std::string::npos);
  EXPECT_TRUE(fs::exists(Dir.File("forged.tst")));  // left on disk

  try {
    lib.GetObject(2);
    FAIL();
  } catch (const EBrellinError& e) {
    EXPECT_STREQ(e.what(), "TPersistentObjectManager.GetObject: Index out of bounds(2)");
  }
  EXPECT_THROW(lib.GetObject(-1), EBrellinError);
}

TEST_F(PersistentObjects, EmptyLibrary) {
  TPersistentObjectManager lib(TThing::StaticClass());
  EXPECT_EQ(lib.Count(), 0);
  EXPECT_EQ(lib.ItemIndex(), 0);
  EXPECT_EQ(lib.Current(), nullptr);
  EXPECT_EQ(lib.FindById(0), nullptr);
  // Index 0 of an empty library is no object: these refuse instead of crashing.
  EXPECT_THROW(
      {
        try {
          lib.Delete();
        } catch (const EBrellinError& e) {
          EXPECT_STREQ(e.what(), "The object list is empty");
          throw;
        }
      },
      EBrellinError);
  EXPECT_THROW(lib.SaveCurrentAs("x"), EBrellinError);
  TFakeForm form;
  lib.SetEditForm(&form);
  EXPECT_THROW(lib.Edit(), EBrellinError);
}

TEST_F(PersistentObjects, NewFileNamesCountWithTrailingZeros) {
  const TPersistentClass& cls = TThing::StaticClass();
  const std::string folder = Dir.Path() + "/sub/";
  EXPECT_EQ(NewObjectFileName(cls, folder), folder + "thing0000.tst");  // folder created
  EXPECT_TRUE(fs::is_directory(folder));
  for (const char* d : {"0000", "1000", "2000", "3000", "4000", "5000", "6000", "7000", "8000"})
    test::WriteBytes(folder + "thing" + d + ".tst", {});
  EXPECT_EQ(NewObjectFileName(cls, folder), folder + "thing9000.tst");
  test::WriteBytes(folder + "thing9000.tst", {});
  // n = 10 gives "1000" again (taken); n = 11 gives "1100".
  EXPECT_EQ(NewObjectFileName(cls, folder), folder + "thing1100.tst");

  test::WriteBytes(Dir.File("plainfile"), {});
  EXPECT_THROW(NewObjectFileName(cls, Dir.File("plainfile") + "/"), EWriteError);
}

TEST_F(PersistentObjects, SavePicksAFileOnceAndKeepsOldFilesOnFailure) {
  TThing t;
  t.Text = "one";
  t.Save();  // not modified: nothing
  EXPECT_TRUE(t.FileName().empty());
  t.SetModified(true);
  t.Save();
  EXPECT_EQ(t.FileName(), Dir.Path() + "/thing0000.tst");
  EXPECT_FALSE(t.Modified());
  t.Text = "two";
  t.SetModified(true);
  t.Save();  // same file again
  EXPECT_EQ(t.FileName(), Dir.Path() + "/thing0000.tst");
  EXPECT_FALSE(fs::exists(Dir.File("thing1000.tst")));

  // A write that fails halfway leaves the previous file whole, and the object modified.
  t.Text = "three";
  t.SetModified(true);
  t.FailHalfway = true;
  EXPECT_THROW(t.Save(), EWriteError);
  EXPECT_TRUE(t.Modified());
  TThing back;
  back.LoadFromFile(t.FileName());
  EXPECT_EQ(back.Text, "two");
  EXPECT_EQ(std::distance(fs::directory_iterator(Dir.Path()), fs::directory_iterator()), 1);

  // Read-only objects are never written.
  TThing ro;
  ro.SetReadOnly(true);
  ro.SetModified(true);
  ro.Save();
  ro.SaveToFile(Dir.File("ro.tst"));
  EXPECT_FALSE(fs::exists(Dir.File("ro.tst")));
  EXPECT_TRUE(ro.Modified());

  t.DeleteFile();
  EXPECT_FALSE(fs::exists(Dir.File("thing0000.tst")));
  t.DeleteFile();  // already gone: ignored
  TThing unnamed;
  unnamed.DeleteFile();
}

TEST_F(PersistentObjects, SetNameNotifies) {
  TThing t;
  int calls = 0;
  t.OnChange = [&](TPersistentObject& s) {
    EXPECT_EQ(&s, &t);
    ++calls;
  };
  t.SetName("a");
  t.SetFileName("f");
  t.SetModified(true);
  t.SetReadOnly(true);
  EXPECT_EQ(calls, 1);
  EXPECT_EQ(t.Name(), "a");
}

TEST_F(PersistentObjects, SelectionAndEvents) {
  TPersistentObjectManager lib(TThing::StaticClass());
  TEventLog log;
  log.Attach(lib);
  lib.InsertFirst(MakeThing("scratch", "s"));
  EXPECT_EQ(lib.Add(MakeThing("a", "a", 5)), 1);
  EXPECT_EQ(lib.Add(MakeThing("b", "b", 9)), 2);
  lib.InsertFirst(MakeThing("first", "f"));
  EXPECT_EQ(lib.ItemIndex(), 0);
  EXPECT_EQ(log.Events, "AAAA");

  log.Events.clear();
  lib.SetItemIndex(0);  // unchanged: no events
  lib.SetItemIndex(2);
  EXPECT_EQ(log.Events, "BC");
  EXPECT_EQ(lib.Current()->Name(), "a");

  log.Events.clear();
  EXPECT_EQ(lib.FindById(9)->Name(), "b");
  EXPECT_EQ(lib.FindById(0)->Name(), "first");
  EXPECT_EQ(lib.FindById(4), nullptr);
  lib.SelectById(4);  // nobody: nothing
  EXPECT_EQ(lib.ItemIndex(), 2);
  lib.SelectById(9);
  EXPECT_EQ(lib.ItemIndex(), 3);
  lib.SelectById(0);
  EXPECT_EQ(lib.ItemIndex(), 0);
  EXPECT_EQ(log.Events, "BCBC");
}

TEST_F(PersistentObjects, NewNameTakesTheFirstFreeName) {
  TPersistentObjectManager lib(TThing::StaticClass());
  EXPECT_EQ(lib.NewName(), "new thing name");
  lib.Add(MakeThing("new thing name 1", ""));
  EXPECT_EQ(lib.NewName(), "new thing name");
  lib.Add(MakeThing("new thing name", ""));
  EXPECT_EQ(lib.NewName(), "new thing name 2");
  lib.Add(MakeThing("New thing name 2", ""));  // case matters
  EXPECT_EQ(lib.NewName(), "new thing name 2");
  EXPECT_TRUE(lib.NameExists("new thing name"));
  EXPECT_FALSE(lib.NameExists("new thing nam"));
}

TEST_F(PersistentObjects, DeleteRemovesTheFileAndSelectsTheFirst) {
  WriteThingFile(Dir.File("a.tst"), "a");
  WriteThingFile(Dir.File("b.tst"), "b");
  WriteThingFile(Dir.File("c.tst"), "c");
  TPersistentObjectManager lib(TThing::StaticClass());
  TEventLog log;
  log.Attach(lib);
  lib.SetItemIndex(2);
  log.Events.clear();
  lib.Delete();
  EXPECT_FALSE(fs::exists(Dir.File("c.tst")));
  EXPECT_EQ(lib.Count(), 2);
  EXPECT_EQ(lib.ItemIndex(), 0);
  EXPECT_EQ(log.Events, "C");
  lib.Delete();
  lib.Delete();
  EXPECT_EQ(lib.ItemIndex(), -1);
  EXPECT_EQ(lib.Current(), nullptr);
  EXPECT_THROW(lib.Delete(), EBrellinError);
  EXPECT_FALSE(fs::exists(Dir.File("a.tst")));
}

TEST_F(PersistentObjects, SaveCurrentAsCopiesAReadOnlyObjectIntoAWritableFile) {
  TPersistentObjectManager lib(TThing::StaticClass());
  auto scratch = MakeThing("Scratch", "payload", 0);
  scratch->SetReadOnly(true);
  scratch->SetModified(true);
  TThing* original = scratch.get();
  lib.InsertFirst(std::move(scratch));
  TEventLog log;
  log.Attach(lib);

  lib.SaveCurrentAs("Copy");
  EXPECT_EQ(log.Events, "A");
  ASSERT_EQ(lib.Count(), 2);
  EXPECT_EQ(lib.ItemIndex(), 1);
  auto* copy = static_cast<TThing*>(lib.Current());
  EXPECT_EQ(copy->Name(), "Copy");
  EXPECT_EQ(copy->Text, "payload");
  EXPECT_FALSE(copy->ReadOnly());
  EXPECT_FALSE(copy->Modified());
  EXPECT_EQ(copy->FileName(), Dir.Path() + "/thing0000.tst");
  EXPECT_TRUE(fs::exists(copy->FileName()));
  // The original is untouched.
  EXPECT_EQ(original->Name(), "Scratch");
  EXPECT_TRUE(original->ReadOnly());
  EXPECT_TRUE(original->Modified());
  EXPECT_TRUE(original->FileName().empty());

  // The copy comes back on the next start.
  TPersistentObjectManager again(TThing::StaticClass());
  ASSERT_EQ(again.Count(), 1);
  EXPECT_EQ(static_cast<TThing*>(again.GetObject(0))->Text, "payload");
}

TEST_F(PersistentObjects, EditAndNewGoThroughTheForm) {
  TPersistentObjectManager lib(TThing::StaticClass());
  lib.Add(MakeThing("old", "o"));
  TEventLog log;
  log.Attach(lib);

  // Without a form: New fails and the new object stays current.
  EXPECT_THROW(lib.Edit(), EBrellinError);
  EXPECT_THROW(lib.New(), EBrellinError);
  EXPECT_EQ(lib.Count(), 2);
  EXPECT_EQ(lib.ItemIndex(), 1);
  lib.SetItemIndex(0);
  log.Events.clear();

  TFakeForm form;
  lib.SetEditForm(&form);
  form.Accept = false;
  EXPECT_FALSE(lib.New());
  EXPECT_EQ(log.Events, "N");
  EXPECT_EQ(lib.Count(), 2);
  EXPECT_EQ(lib.ItemIndex(), 0);
  EXPECT_FALSE(lib.Edit());
  EXPECT_EQ(lib.Current()->Name(), "old");
  EXPECT_FALSE(lib.Current()->Modified());

  log.Events.clear();
  form.Accept = true;
  EXPECT_TRUE(lib.New());
  EXPECT_EQ(log.Events, "NA");
  EXPECT_EQ(lib.ItemIndex(), 2);
  auto* made = static_cast<TThing*>(lib.Current());
  EXPECT_EQ(made->Name(), "my thing");
  EXPECT_FALSE(made->Modified());
  EXPECT_EQ(made->FileName(), Dir.Path() + "/thing0000.tst");

  form.NameToGive = "renamed";
  lib.SetItemIndex(0);
  EXPECT_TRUE(lib.Edit());
  EXPECT_EQ(lib.Current()->Name(), "renamed");
  EXPECT_EQ(lib.Current()->FileName(), Dir.Path() + "/thing1000.tst");
}

TEST_F(PersistentObjects, ProgramFolderFollowsTheEnvironment) {
  EXPECT_EQ(ProgramFolder(), Dir.Path() + "/");
  ::setenv("BRELLIN_HOME", (Dir.Path() + "/").c_str(), 1);
  EXPECT_EQ(ProgramFolder(), Dir.Path() + "/");

  // Without BRELLIN_HOME (the test program's folder holds no library files):
  // the user data folder, created on first use.
  const char* oldXdg = std::getenv("XDG_DATA_HOME");
  const std::string savedXdg = oldXdg ? oldXdg : "";
  ::unsetenv("BRELLIN_HOME");
  ::setenv("XDG_DATA_HOME", Dir.Path().c_str(), 1);
  const std::string folder = ProgramFolder();
  if (oldXdg)
    ::setenv("XDG_DATA_HOME", savedXdg.c_str(), 1);
  else
    ::unsetenv("XDG_DATA_HOME");
  EXPECT_EQ(folder, Dir.Path() + "/brellin/");
  EXPECT_TRUE(fs::is_directory(folder));
  EXPECT_TRUE(HoldsLibraryFiles(std::string(BRELLIN_SOURCE_DIR) + "/data/"));
  EXPECT_FALSE(HoldsLibraryFiles(Dir.Path() + "/brellin/"));
}

}  // namespace
}  // namespace brellin
