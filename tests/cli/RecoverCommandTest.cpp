// brellin-cli recover: the journal of a desktop program that died, listed
// and saved as a project without a display.
#include <gtest/gtest.h>

#include <filesystem>

#include "base/Random.h"
#include "domain/BDomain.h"
#include "support/TestSupport.h"

namespace brellin {
namespace {

namespace fs = std::filesystem;

struct TUi : TDomainUi {
  std::string ProjectAs;
  void ErrorBox(const std::string&, const std::string&) override {}
  bool ProjectOptions(int, int, int sw, int sh, TProjectOptions& o) override {
    o.Width = sw, o.Height = sh;
    return true;
  }
  bool SaveImageFile(std::string&) override { return false; }
  bool SaveProjectFile(std::string& f) override {
    f = ProjectAs;
    return true;
  }
};

TEST(RecoverCommand, ListsJournalsAndSavesTheSameProjectTheDesktopWould) {
  test::TShippedLibraryHome home;
  TUi ui;
  TPictureView source, dest;
  TDomain domain(&ui);
  domain.SourceView = &source;
  domain.DestinationView = &dest;
  domain.RecoveryJournal = true;
  ASSERT_TRUE(domain.LoadPicture(test::DataPath("cat_crop_128x96.png")));
  TDualImage& doc = *domain.Document;
  doc.AutoMode = true;
  for (uint32_t seed : {1u, 2u}) {
    SetRandSeed(seed);
    doc.BeginEdit();
    doc.SprayAt(30 + int(seed) * 25, 40);
    doc.EndEdit();
  }
  const std::string journal = domain.Journal->Writer().FileName();
  ASSERT_TRUE(domain.Journal->Writer().Flush());

  test::TCliResult list = test::RunCli({"recover", "--list"});
  EXPECT_EQ(list.ExitCode, 0) << list.Err;
  EXPECT_NE(list.Out.find(journal + "\n  in use by a running program"), std::string::npos)
      << list.Out;

  // The program dies; what it showed is saved as its own save would write it.
  doc.Journal = nullptr;
  domain.Journal.reset();
  const std::vector<uint8_t> bytes = test::ReadBytes(journal);
  list = test::RunCli({"recover", "--list"});
  EXPECT_NE(list.Out.find("cat_crop_128x96.png"), std::string::npos) << list.Out;
  EXPECT_NE(list.Out.find(std::to_string(doc.VectorCount()) + " strokes in 2 edits"),
            std::string::npos)
      << list.Out;
  ui.ProjectAs = home.File("reference.bpj");
  domain.SaveProjectAsCommand();

  const std::string out = home.File("recovered.bpj");
  test::TCliResult r = test::RunCli({"recover", journal, "-o", out});
  ASSERT_EQ(r.ExitCode, 0) << r.Err;
  EXPECT_EQ(test::ReadBytes(out), test::ReadBytes(home.File("reference.bpj")));
  EXPECT_FALSE(fs::exists(journal));

  // Torn at the end: the complete edit before the damage, and a word about it.
  const std::string torn = home.File("recovery/torn.bjr");
  test::WriteBytes(torn, std::vector<uint8_t>(bytes.begin(), bytes.end() - 7));
  r = test::RunCli({"recover", torn, "-o", home.File("torn.bpj")});
  EXPECT_EQ(r.ExitCode, 0) << r.Err;
  EXPECT_NE(r.Err.find("1 edit was recovered"), std::string::npos) << r.Err;

  // Forged: refused like a forged project, and kept.
  std::vector<uint8_t> forged = bytes;
  forged[20] ^= 0x40;
  const std::string bad = home.File("recovery/forged.bjr");
  test::WriteBytes(bad, forged);
  r = test::RunCli({"recover", bad, "-o", home.File("forged.bpj")});
  EXPECT_EQ(r.ExitCode, 2);
  EXPECT_NE(r.Err.find(bad + ": the journal is damaged before its header ends"), std::string::npos)
      << r.Err;
  EXPECT_TRUE(fs::exists(bad));
  EXPECT_FALSE(fs::exists(home.File("forged.bpj")));
}

}  // namespace
}  // namespace brellin
