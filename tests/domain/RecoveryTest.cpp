// Crash recovery: a document rebuilt from its journal shows the same
// pictures and holds the same undo history as the one that was painted,
// however the journal was cut short.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

#include "base/Errors.h"
#include "base/Random.h"
#include "domain/BDomain.h"
#include "domain/Recovery.h"
#include "support/TestSupport.h"

namespace brellin {
namespace {

namespace fs = std::filesystem;

struct TRecoveryUi : TDomainUi {
  TRecoveryAnswer Recovery = raLater;
  std::vector<std::string> Questions;
  std::string Info, Error, ProjectAs;
  void ErrorBox(const std::string&, const std::string& t) override { Error = t; }
  bool ProjectOptions(int, int, int sw, int sh, TProjectOptions& o) override {
    o.Width = sw, o.Height = sh;
    return true;
  }
  bool SaveImageFile(std::string&) override { return false; }
  TAnswer Confirm(const std::string&) override { return aNo; }
  bool SaveProjectFile(std::string& f) override {
    f = ProjectAs;
    return !f.empty();
  }
  void InfoBox(const std::string&, const std::string& t) override { Info = t; }
  TRecoveryAnswer AskRecovery(const std::string& Text) override {
    Questions.push_back(Text);
    return Recovery;
  }
};

struct TSession {
  test::TTempDir Home;
  TRecoveryUi Ui;
  TPictureView Source, Dest;
  std::unique_ptr<TDomain> Domain;
  TSession() {
    ::setenv("BRELLIN_HOME", Home.Path().c_str(), 1);
    test::CopyShippedBrushes(Home.Path());
    Domain = std::make_unique<TDomain>(&Ui);
    Domain->SourceView = &Source;
    Domain->DestinationView = &Dest;
    Domain->RecoveryJournal = true;
    EXPECT_TRUE(Domain->LoadPicture(test::DataPath("cat_crop_128x96.png")));
    Doc().AutoMode = true;
  }
  ~TSession() { Domain.reset(); }
  TDualImage& Doc() { return *Domain->Document; }
  std::string JournalFile() { return Domain->Journal->Writer().FileName(); }
  // The one journal in Folder.
  static std::string JournalFileOf(const fs::path& Folder) {
    for (const auto& e : fs::directory_iterator(Folder)) return e.path().string();
    return {};
  }
  int64_t Flushed() {
    EXPECT_TRUE(Domain->Journal->Writer().Flush());
    return int64_t(fs::file_size(JournalFile()));
  }
  // One edit as the auto-sketch tool makes it.
  void Spray(int X, int Y, uint32_t Seed) {
    SetRandSeed(Seed);
    Doc().BeginEdit();
    Doc().SprayAt(X, Y);
    Doc().EndEdit();
  }
  // One edit of a single stroke, so that its record is short.
  void OneStroke(uint32_t Seed) {
    SetRandSeed(Seed);
    Doc().BeginEdit();
    const int64_t before = Doc().CurrentState->Strokes->Count();
    for (int i = 0; i < 500 && Doc().CurrentState->Strokes->Count() == before; ++i)
      Doc().PaintAt(10 + i % 100, 10 + i / 5);
    Doc().EndEdit();
  }
  // The program dies: the journal stays as it is on the disk.
  void Crash() {
    Flushed();
    Doc().Journal = nullptr;
    Domain->Journal.reset();
  }
};

// The document after each journalled action, and where its record ends.
struct TMark {
  int64_t End;
  uint64_t Fingerprint;
  int Edits;
};

TEST(Recovery, EveryCutOfTheJournalRecoversTheCompleteEditsBeforeIt) {
  TSession s;
  std::vector<TMark> marks{{s.Flushed(), test::DocumentFingerprint(s.Doc()), 0}};
  int edits = 0;
  auto mark = [&](bool Edit) {
    edits += Edit ? 1 : 0;
    marks.push_back({s.Flushed(), test::DocumentFingerprint(s.Doc()), edits});
  };
  s.Spray(30, 30, 1), mark(true);
  s.Spray(90, 60, 2), mark(true);
  s.Doc().Undo(), mark(false);
  s.Spray(64, 48, 3), mark(true);  // drops the undone state
  s.Doc().TakeSnapshot(), mark(false);
  s.Spray(20, 75, 4), mark(true);
  s.Doc().Undo(), mark(false);
  s.Doc().Redo(), mark(false);
  s.Spray(100, 20, 5), mark(true);
  s.Doc().UndoToSnapshot(), mark(false);
  s.Doc().BackgroundColor = Color32(250, 236, 200);  // as "Change Background..." does
  s.Doc().SetBackgroundMode(0), mark(false);
  s.Spray(60, 80, 6), mark(true);
  s.Doc().Compact(), mark(false);
  s.Spray(110, 50, 7), mark(true);
  s.OneStroke(8), mark(true);
  s.Doc().Undo(), mark(false);
  ASSERT_EQ(marks.size(), 17u);
  const std::vector<uint8_t> bytes = test::ReadBytes(s.JournalFile());
  ASSERT_EQ(int64_t(bytes.size()), marks.back().End);

  // Record boundaries, their neighbours and middles, and every byte of the
  // last two records.
  std::vector<int64_t> cuts;
  for (size_t i = 1; i < marks.size(); ++i) {
    const int64_t a = marks[i - 1].End, b = marks[i].End;
    for (int64_t c : {a, a + 1, (a + b) / 2, b - 1}) cuts.push_back(c);
  }
  for (int64_t c = marks[marks.size() - 3].End; c <= marks.back().End; ++c) cuts.push_back(c);
  for (const int64_t cut : cuts) {
    const TMark* last = &marks[0];
    for (const TMark& m : marks)
      if (m.End <= cut) last = &m;
    SCOPED_TRACE("cut at " + std::to_string(cut));
    TPictureView sv, dv;
    TRecoveredDocument r = RebuildFromJournal(bytes.data(), size_t(cut), &sv, &dv,
                                              &s.Domain->Brushes, &s.Domain->Patterns);
    EXPECT_EQ(r.Edits, last->Edits);
    EXPECT_EQ(r.Damaged, cut != last->End);
    EXPECT_EQ(r.ValidEnd, last->End);
    ASSERT_EQ(test::DocumentFingerprint(*r.Document), last->Fingerprint);
    EXPECT_TRUE(r.Document->Modified);
  }
  // Inside the header there is nothing to recover, and that is said.
  for (const int64_t cut : {int64_t(0), int64_t(5), int64_t(12), int64_t(40), marks[0].End - 1}) {
    TPictureView sv, dv;
    EXPECT_THROW(RebuildFromJournal(bytes.data(), size_t(cut), &sv, &dv, nullptr, nullptr),
                 EInvalidData);
  }
}

TEST(Recovery, ForgedJournalsAreRefused) {
  TSession s;
  const int64_t headerEnd = s.Flushed();
  s.Spray(30, 30, 1);
  s.Flushed();
  const std::vector<uint8_t> good = test::ReadBytes(s.JournalFile());
  auto rebuild = [&](std::vector<uint8_t> b) {
    TPictureView sv, dv;
    RebuildFromJournal(b.data(), b.size(), &sv, &dv, &s.Domain->Brushes, nullptr);
  };
  auto withRecord = [&](uint32_t Kind, const std::vector<uint8_t>& Payload) {
    std::vector<uint8_t> b(good.begin(), good.begin() + headerEnd);
    const std::vector<uint8_t> r = EncodeJournalRecord(Kind, Payload);
    b.insert(b.end(), r.begin(), r.end());
    return b;
  };
  std::vector<uint8_t> b = good;
  b[3] ^= 1;
  EXPECT_THROW(rebuild(b), EInvalidData);                              // not a journal
  EXPECT_THROW(rebuild(withRecord(jkUndo, {})), EInvalidData);         // nothing to undo
  EXPECT_THROW(rebuild(withRecord(99, {})), EInvalidData);             // unknown kind
  EXPECT_THROW(rebuild(withRecord(jkEdit, {1, 2, 3})), EInvalidData);  // cut-short payload
  // An edit that claims more strokes than its bytes hold.
  std::vector<uint8_t> edit(good.begin() + headerEnd + 12, good.end() - 4);
  edit[28] = 0xFF, edit[29] = 0xFF, edit[30] = 0xFF;
  EXPECT_THROW(rebuild(withRecord(jkEdit, edit)), EInvalidData);
  // An edit that touched nothing.
  std::vector<uint8_t> empty(good.begin() + headerEnd + 12, good.begin() + headerEnd + 12 + 28);
  for (int i = 0; i < 4; ++i) empty.push_back(0);
  for (int i = 0; i < 16; ++i) empty[size_t(i)] = 0;
  EXPECT_THROW(rebuild(withRecord(jkEdit, empty)), EInvalidData);
}

TEST(Recovery, TheNextStartOffersTheWorkOfAProgramThatDied) {
  TSession s;
  const fs::path folder = fs::path(s.Home.Path()) / "recovery";
  s.Spray(30, 30, 1);
  s.Spray(90, 60, 2);
  // A journal whose program runs is neither offered nor touched.
  EXPECT_FALSE(s.Domain->OfferRecovery());
  EXPECT_TRUE(s.Ui.Questions.empty());

  const uint64_t painted = test::DocumentFingerprint(s.Doc());
  const int64_t strokes = s.Doc().VectorCount();
  const std::string journal = s.JournalFile();
  s.Crash();
  s.Domain->CloseCommand();
  ASSERT_FALSE(s.Domain->Document);

  // Later keeps it; Recover rebuilds the document, modified.
  EXPECT_FALSE(s.Domain->OfferRecovery());
  ASSERT_EQ(s.Ui.Questions.size(), 1u);
  EXPECT_NE(s.Ui.Questions[0].find("Brellin Pro was closed unexpectedly. Recover the work on "
                                   "cat_crop_128x96.png from "),
            std::string::npos);
  EXPECT_NE(s.Ui.Questions[0].find("(" + std::to_string(strokes) + " strokes)?"),
            std::string::npos);
  EXPECT_TRUE(fs::exists(journal));
  s.Ui.Recovery = TDomainUi::raRecover;
  ASSERT_TRUE(s.Domain->OfferRecovery());
  EXPECT_EQ(test::DocumentFingerprint(s.Doc()), painted);
  EXPECT_TRUE(s.Doc().Modified);
  EXPECT_TRUE(s.Ui.Info.empty());

  // The recovered document goes on journalling into the same file; a torn
  // record left by the second crash is reported and dropped.
  s.Doc().AutoMode = true;
  s.Spray(64, 48, 3);
  const uint64_t more = test::DocumentFingerprint(s.Doc());
  s.Crash();
  {
    std::FILE* f = std::fopen(journal.c_str(), "ab");
    std::fputs("torn", f);
    std::fclose(f);
  }
  s.Domain->CloseCommand();
  ASSERT_TRUE(s.Domain->OfferRecovery());
  EXPECT_EQ(test::DocumentFingerprint(s.Doc()), more);
  EXPECT_NE(s.Ui.Info.find("3 edits were recovered"), std::string::npos) << s.Ui.Info;

  // A saved project starts a fresh journal from the project.
  s.Ui.ProjectAs = s.Home.File("work.bpj");
  s.Domain->SaveProjectAsCommand();
  EXPECT_FALSE(fs::exists(journal));
  s.Doc().AutoMode = true;
  s.Spray(20, 75, 4);
  s.Doc().Undo();
  const uint64_t afterSave = test::DocumentFingerprint(s.Doc());
  const std::string second = s.JournalFile();
  s.Crash();
  s.Domain->CloseCommand();
  ASSERT_TRUE(s.Domain->OfferRecovery());
  EXPECT_EQ(test::DocumentFingerprint(s.Doc()), afterSave);
  EXPECT_EQ(s.Doc().ProjectFileName, s.Home.File("work.bpj"));

  // Closing normally removes the journal; Discard removes a dead one.
  s.Domain->CloseCommand();
  EXPECT_FALSE(fs::exists(second));
  ASSERT_TRUE(s.Domain->LoadPicture(test::DataPath("cat_crop_128x96.png")));
  s.Doc().AutoMode = true;
  s.Spray(30, 30, 5);
  s.Crash();
  s.Domain->CloseCommand();
  const std::vector<uint8_t> bytes = test::ReadBytes(s.JournalFileOf(folder));
  s.Ui.Recovery = TDomainUi::raDiscard;
  EXPECT_FALSE(s.Domain->OfferRecovery());
  EXPECT_TRUE(fs::is_empty(folder));

  // A journal cut short inside its header holds no edit and goes unasked;
  // a file that is no journal stays.
  const size_t asked = s.Ui.Questions.size();
  test::WriteBytes((folder / "torn.bjr").string(), {bytes.begin(), bytes.begin() + 40});
  test::WriteBytes((folder / "other.bjr").string(), {'n', 'o', 't', 'e', 's'});
  EXPECT_FALSE(s.Domain->OfferRecovery());
  EXPECT_EQ(s.Ui.Questions.size(), asked);
  EXPECT_FALSE(fs::exists(folder / "torn.bjr"));
  EXPECT_TRUE(fs::exists(folder / "other.bjr"));
}

}  // namespace
}  // namespace brellin
