#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "analysis/PictureFormats.h"
#include "history/UTempManager.h"
#include "support/TestSupport.h"

namespace brellin {
namespace {

namespace fs = std::filesystem;
using test::RunCli;

// BRELLIN_HOME at a scratch folder with the shipped brushes and styles.
TEST(FileSafety, NoOutputReplacesAnInputOrAnotherOutput) {
  test::TTempDir tmp;
  const std::string in = tmp.File("in.png");
  fs::copy_file(test::DataPath("cat_crop_128x96.png"), in);
  const auto photo = test::ReadBytes(in);
  auto r = RunCli({"render", in, "-o", tmp.File("r.jpg"), "--steps", "200", "--project",
                   tmp.File("p.bpj"), "--quiet"});
  ASSERT_EQ(r.ExitCode, 0) << r.Err;
  const auto project = test::ReadBytes(tmp.File("p.bpj"));
  const auto picture = test::ReadBytes(tmp.File("r.jpg"));
  fs::create_symlink(in, tmp.File("alias.ps"));
  fs::create_symlink(tmp.File("p.bpj"), tmp.File("alias.svg"));
  fs::create_symlink(in, tmp.File("photo.svg"));
  fs::create_directory(tmp.File("sub"));

  const std::vector<std::pair<std::vector<std::string>, std::string>> refused = {
      {{"export-ps", tmp.File("p.bpj"), "-o", tmp.File("p.bpj")}, "p.bpj"},
      {{"export-svg", tmp.File("p.bpj"), "-o", tmp.File("alias.svg")}, "alias.svg"},
      {{"render", in, "-o", tmp.File("o.jpg"), "--svg", tmp.File("photo.svg")}, "photo.svg"},
      {{"analyze", in, "-o", in}, "in.png"},
      {{"analyze", in, "-o", tmp.File("x.png")}, "x.png"},
      {{"render", in, "-o", tmp.File("o.jpg"), "--ps", in}, "in.png"},
      {{"render", in, "-o", tmp.File("o.jpg"), "--ps", tmp.File("alias.ps")}, "alias.ps"},
      {{"render", in, "-o", tmp.File("r.jpg"), "--project", tmp.File("r.jpg")}, "r.jpg"},
      {{"render", in, "-o", tmp.File("./sub/../r.jpg"), "--ps", tmp.File("r.ps"), "--project",
        tmp.File("p.bpj"), "--background-picture", tmp.File("r.jpg")},
       "r.jpg"},
      {{"rerender", tmp.File("p.bpj"), "-o", tmp.File("p.bpj"), "--width", "10"}, "p.bpj"},
      {{"style", "create", "-o", tmp.File("s.jpg"), "--name", "S"}, "s.jpg"},
  };
  for (const auto& [args, named] : refused) {
    r = RunCli(args);
    EXPECT_EQ(r.ExitCode, 1) << args[0] << " " << args[3];
    EXPECT_NE(r.Err.find(named), std::string::npos) << r.Err;
  }
  EXPECT_EQ(test::ReadBytes(in), photo);
  EXPECT_EQ(test::ReadBytes(tmp.File("p.bpj")), project);
  EXPECT_EQ(test::ReadBytes(tmp.File("r.jpg")), picture);
  EXPECT_EQ(std::distance(fs::directory_iterator(tmp.Path()), fs::directory_iterator()), 7);

  // Two outputs that are one file are named as such, also after a device.
  fs::create_symlink("q.svg", tmp.File("q.ps"));
  r = RunCli(
      {"render", in, "-o", "/dev/null", "--ps", tmp.File("q.ps"), "--svg", tmp.File("q.svg")});
  EXPECT_EQ(r.ExitCode, 1);
  EXPECT_NE(r.Err.find(tmp.File("q.ps") + " and " + tmp.File("q.svg")), std::string::npos) << r.Err;

  // A linked output replaces the file it points to; the link stays.
  fs::create_directory(tmp.File("real"));
  fs::create_symlink("real/linked.ps", tmp.File("link.ps"));
  r = RunCli({"export-ps", tmp.File("p.bpj"), "-o", tmp.File("link.ps"), "--quiet"});
  EXPECT_EQ(r.ExitCode, 0) << r.Err;
  EXPECT_TRUE(fs::is_symlink(tmp.File("link.ps")));
  EXPECT_EQ(test::ReadText(tmp.File("real/linked.ps")).rfind("%!PS", 0), 0u);
  // A device takes the bytes and stays; a folder is output not written.
  r = RunCli({"render", in, "-o", "/dev/null", "--steps", "100", "--ps", "/dev/null", "--project",
              "/dev/null", "--quiet"});
  EXPECT_EQ(r.ExitCode, 0) << r.Err;
  EXPECT_TRUE(fs::is_character_file("/dev/null"));
  r = RunCli({"export-ps", tmp.File("p.bpj"), "-o", tmp.File("real"), "--quiet"});
  EXPECT_EQ(r.ExitCode, 3);
  EXPECT_EQ(r.Err, "brellin-cli: " + tmp.File("real") + ": is a directory\n");
  EXPECT_EQ(std::distance(fs::directory_iterator(tmp.File("real")), fs::directory_iterator()), 1);
}

TEST(FileSafety, SpecialFilesAreRefusedWithoutWaiting) {
  test::TShippedLibraryHome home;
  test::TTempDir tmp;
  for (const char* name : {"f.bst", "f.srd", "f.stk", "f.bpj", "f.png"}) {
    ASSERT_EQ(::mkfifo(tmp.File(name).c_str(), 0600), 0);
    const auto r = std::string(name) == "f.png"
                       ? RunCli({"render", tmp.File(name), "-o", tmp.File("o.jpg")})
                       : RunCli({"info", tmp.File(name)});
    EXPECT_EQ(r.ExitCode, 2) << name;
    EXPECT_EQ(r.Err, "brellin-cli: " + tmp.File(name) + ": is not a regular file\n");
  }
  fs::create_directory(tmp.File("d.bst"));
  const auto r = RunCli({"info", tmp.File("d.bst")});
  EXPECT_EQ(r.ExitCode, 2);
  EXPECT_EQ(r.Err, "brellin-cli: " + tmp.File("d.bst") + ": is a directory\n");
  // A FIFO among the library files is skipped; the rest loads.
  ASSERT_EQ(::mkfifo(home.File("zz.bst").c_str(), 0600), 0);
  const auto styles = RunCli({"styles"});
  EXPECT_EQ(styles.ExitCode, 0) << styles.Err;
  EXPECT_NE(styles.Out.find("Oil Relief"), std::string::npos);
}

// The project that a long render keeps in temporary files stays whole while
// other runs start and end beside it in the same program folder.
TEST(FileSafety, RunsSharingTheProgramFolderLeaveEachOthersTemporaryFilesAlone) {
  test::TScratchHome home;  // this process is the long run
  std::vector<std::string> files;
  for (const char* ext : {"tsk", "bmp", "bpj"}) {
    files.push_back(home.Manager().NewName(ext));
    test::WriteBytes(files.back(), {1, 2, 3});
  }
  const std::string in = test::DataPath("cat_crop_128x96.png");
  for (int i = 0; i < 10; ++i) {
    const auto r = i % 2 == 0 ? RunCli({"styles"})
                              : RunCli({"render", in, "-o", home.File("o.jpg"), "--steps", "50",
                                        "--project", home.File("o.bpj"), "--quiet"});
    ASSERT_EQ(r.ExitCode, 0) << r.Err;
  }
  for (const std::string& f : files) EXPECT_EQ(test::ReadBytes(f).size(), 3u) << f;
  // The runs that ended took their own folders with them.
  EXPECT_EQ(std::distance(fs::directory_iterator(home.File("tmp")), fs::directory_iterator()), 1);
}

TEST(FileSafety, OptionsEndAtADoubleDash) {
  test::TTempDir tmp;
  fs::copy_file(test::DataPath("cat_crop_128x96.png"), tmp.File("-in.png"));
  auto r = test::RunCliIn(tmp.Path(), {"analyze", "-o", "-in.bmp", "--quiet", "--", "-in.png"});
  EXPECT_EQ(r.ExitCode, 0) << r.Err;
  EXPECT_TRUE(fs::exists(tmp.File("-in.bmp")));
  r = test::RunCliIn(tmp.Path(), {"analyze", "-in.png", "-o", "x.bmp"});
  EXPECT_EQ(r.ExitCode, 1);
  EXPECT_NE(r.Err.find("unknown option -in.png"), std::string::npos) << r.Err;
}

}  // namespace
}  // namespace brellin
