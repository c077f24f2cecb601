#include "domain/Commands.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <set>

#include "base/Errors.h"
#include "base/Random.h"
#include "domain/BDomain.h"
#include "library/Patterns.h"
#include "library/Styles.h"
#include "support/TestSupport.h"

namespace brellin {
namespace {

namespace fs = std::filesystem;

// Records what the domain asks of its user interface. Only the questions and
// the input box are answered; every other dialog keeps the throwing default.
struct TRecordingUi : TDomainUi {
  bool Accept = true;
  bool Yes = true;
  std::string InputAnswer;  // empty: the input box is cancelled
  std::vector<std::string> Asked;
  int Busy = 0, MaxBusy = 0, NavigatorHidden = 0, ColorPanelResets = 0;
  void ErrorBox(const std::string&, const std::string&) override {}
  bool ProjectOptions(int, int, int sw, int sh, TProjectOptions& o) override {
    o.Width = sw, o.Height = sh;
    return Accept;
  }
  bool SaveImageFile(std::string&) override { return false; }
  bool OpenPictureFile(std::string& f) override {
    f = test::DataPath("cat_crop_128x96.png");
    return true;
  }
  bool WarningYesNo(const std::string& Text) override {
    Asked.push_back(Text);
    return Yes;
  }
  bool InputBox(const std::string& Caption, const std::string& Prompt,
                std::string& Value) override {
    Asked.push_back(Caption + "|" + Prompt + "|" + Value);
    Value = InputAnswer;
    return !InputAnswer.empty();
  }
  void SetBusyCursor(bool On) override {
    Busy += On ? 1 : -1;
    MaxBusy = std::max(MaxBusy, Busy);
  }
  void HideNavigator() override { ++NavigatorHidden; }
  TBackgroundChoice Background, Preset;
  bool BackgroundDialog(TBackgroundChoice& Choice) override {
    Preset = Choice;
    Choice = Background;
    return true;
  }
  int FullScreen = 0;
  void ShowFullScreenPaint() override { ++FullScreen; }
  void CloseFullScreenPaint() override { --FullScreen; }
  void ResetColorPanel() override { ++ColorPanelResets; }
};

// A tool manager that only remembers the tool, and whether its document
// still existed when it went.
struct TFakeToolManager : TAbstractToolManager {
  TDomain& Domain;
  TDualImage* Document;
  int* FreedWithDocumentAlive;
  int Current = -1;
  TFakeToolManager(TDomain& D, TDualImage& Doc, int* Alive)
      : Domain(D), Document(&Doc), FreedWithDocumentAlive(Alive) {}
  ~TFakeToolManager() override {
    if (Domain.Document.get() == Document) ++*FreedWithDocumentAlive;
  }
  void SetTool(int T) override { Current = T; }
  int Tool() const override { return Current; }
  void SetEnabled(bool) override {}
  bool Enabled() const override { return true; }
};

struct TCommandFixture {
  test::TTempDir Home;
  TRecordingUi Ui;
  TPictureView Source, Dest;
  std::unique_ptr<TDomain> Domain;
  int ToolManagersMade = 0, FreedFirst = 0, Refreshes = 0;
  TCommandFixture() {
    ::setenv("BRELLIN_HOME", Home.Path().c_str(), 1);
    test::CopyShippedBrushes(Home.Path());
    Domain = std::make_unique<TDomain>(&Ui);
    Domain->SourceView = &Source;
    Domain->DestinationView = &Dest;
    Domain->ToolManagerFactory = [this](TDualImage& Doc) {
      ++ToolManagersMade;
      return std::make_unique<TFakeToolManager>(*Domain, Doc, &FreedFirst);
    };
    Domain->OnRefresh = [this](TDomain&) { ++Refreshes; };
  }
  int Tool() const { return Domain->ToolManager ? Domain->ToolManager->Tool() : -1; }
  void Open() {
    ASSERT_TRUE(Domain->LoadPicture(test::DataPath("cat_crop_128x96.png")));
    Domain->Document->AutoMode = true;
  }
  std::set<std::string> Enabled() {
    std::set<std::string> s;
    for (const TCommandInfo& c : CommandTable())
      if (c.Evaluated() && Domain->CommandUpdate(std::string(c.Name)))
        s.insert(std::string(c.Name));
    return s;
  }
};

TEST(Commands, TableIntegrity) {
  const auto table = CommandTable();
  ASSERT_EQ(table.size(), 46u);
  EXPECT_EQ(table.front().Name, "NewFromClipboardCommand");
  EXPECT_EQ(table.back().Name, "AboutCommand");
  std::set<std::string_view> names, keys;
  int tools = 0;
  for (const TCommandInfo& c : table) {
    EXPECT_TRUE(names.insert(c.Name).second) << c.Name;
    EXPECT_EQ(FindCommand(c.Name), &c);
    // One command per key: the A key, Ctrl+Y and Escape each reach one command at most.
    for (std::string_view k : c.Shortcuts) EXPECT_TRUE(keys.insert(k).second) << k;
    if (c.GroupIndex == 1) {
      EXPECT_EQ(c.Category, "Tools");
      ++tools;
    }
  }
  EXPECT_EQ(tools, 4);
  EXPECT_FALSE(keys.count("Escape"));
  EXPECT_EQ(JoinShortcuts(*FindCommand("UndoCommand")), "Ctrl+Z,U,Shift+U");
  EXPECT_EQ(JoinShortcuts(*FindCommand("RedoCommand")), "Ctrl+Y");
  EXPECT_EQ(JoinShortcuts(*FindCommand("AutoDirCommand")), "A");
  EXPECT_EQ(FindCommand("AutoDirCommand")->ImageIndex, 1);
  EXPECT_EQ(FindCommand("ContextHelpCommand")->ImageIndex, 4);
  EXPECT_EQ(FindCommand("NoSuchCommand"), nullptr);
}

TEST(Commands, WithoutADocument) {
  TCommandFixture f;
  TDomain& d = *f.Domain;
  EXPECT_EQ(f.Enabled(),
            (std::set<std::string>{"OpenCommand", "OpenProjectCommand", "ExitCommand",
                                   "NewPatternCommand", "EditPatternCommand", "NewStyleCommand",
                                   "SaveStyleAsCommand", "HelpCommand", "ContextHelpCommand",
                                   "AboutCommand"}));
  // The commands bound to no control have no rule.
  try {
    d.CommandUpdate("NewStrokeCommand");
    FAIL();
  } catch (const EBrellinError& e) {
    EXPECT_STREQ(e.what(), "Acción no contemplada:NewStrokeCommand");
  }
  EXPECT_TRUE(d.CommandEnabled("SelColorCommand"));
  EXPECT_THROW(d.CommandUpdate("NoSuchCommand"), EBrellinError);
  // A disabled command does not run; without a tool manager the tools do nothing.
  EXPECT_FALSE(d.ExecuteCommand("PointerCommand"));
  EXPECT_TRUE(d.ExecuteCommand("ContextHelpCommand"));
  EXPECT_FALSE(d.CommandChecked("ViewBordersCommand"));
  // The dialogs this user interface lacks are reported, not skipped.
  EXPECT_THROW(d.ExecuteCommand("AboutCommand"), ENeedsDialog);
  try {
    d.ExecuteCommand("HelpCommand");
    FAIL();
  } catch (const ENeedsDialog& e) {
    EXPECT_NE(e.Dialog.find(f.Home.Path()), std::string::npos);
    EXPECT_NE(e.Dialog.find("Help/index.html"), std::string::npos);
  }
}

TEST(Commands, EnablingFollowsTheHistory) {
  TCommandFixture f;
  TDomain& d = *f.Domain;
  f.Open();
  std::set<std::string> on = f.Enabled();
  for (const char* n : {"PointerCommand", "SaveCommand", "CloseCommand", "ViewBordersCommand",
                        "StopOnBordersCommand"})
    EXPECT_TRUE(on.count(n)) << n;
  for (const char* n : {"UndoCommand", "RedoCommand", "TakeSnapshotCommand", "PurgeCommand",
                        "PostScriptCommand", "RepeatLastApplyCommand", "SaveProjectCommand"})
    EXPECT_FALSE(on.count(n)) << n;
  int changes = 0;
  d.OnCommandsChanged = [&](TDomain&) { ++changes; };
  SetRandSeed(3);
  d.ApplyStart(200);
  EXPECT_EQ(changes, 1);
  EXPECT_TRUE(d.CommandUpdate("UndoCommand"));
  EXPECT_TRUE(d.CommandUpdate("PostScriptCommand"));
  EXPECT_TRUE(d.CommandUpdate("RepeatLastApplyCommand"));
  EXPECT_FALSE(d.CommandUpdate("PurgeCommand"));  // one state only
  // Without a snapshot to go back to, undoing to one would undo everything.
  EXPECT_FALSE(d.CommandUpdate("UndoToLastSnapshotCommand"));
  ASSERT_TRUE(d.ExecuteCommand("TakeSnapshotCommand"));
  EXPECT_FALSE(d.CommandUpdate("TakeSnapshotCommand"));
  EXPECT_FALSE(d.CommandUpdate("UndoToLastSnapshotCommand"));
  ASSERT_TRUE(d.ExecuteCommand("RepeatLastApplyCommand"));
  EXPECT_TRUE(d.CommandUpdate("PurgeCommand"));
  EXPECT_TRUE(d.CommandUpdate("TakeSnapshotCommand"));
  ASSERT_TRUE(d.ExecuteCommand("UndoToLastSnapshotCommand"));
  EXPECT_EQ(d.Document->StateCount(), 1);
  // Purging asks first: No keeps every state.
  ASSERT_TRUE(d.ExecuteCommand("RedoCommand"));
  f.Ui.Yes = false;
  ASSERT_TRUE(d.ExecuteCommand("PurgeCommand"));
  EXPECT_EQ(d.Document->StateCount(), 2);
  f.Ui.Yes = true;
  ASSERT_TRUE(d.ExecuteCommand("PurgeCommand"));
  EXPECT_EQ(d.Document->StateCount(), 1);
  EXPECT_EQ(f.Ui.Asked.size(), 2u);
  ASSERT_TRUE(d.ExecuteCommand("UndoCommand"));
  EXPECT_FALSE(d.CommandUpdate("UndoCommand"));
  EXPECT_FALSE(d.CommandUpdate("PostScriptCommand"));
  EXPECT_TRUE(d.CommandUpdate("RedoCommand"));
  EXPECT_FALSE(d.ExecuteCommand("UndoCommand"));
  d.Document->ProjectFileName = f.Home.File("p.bpj");
  EXPECT_TRUE(d.CommandUpdate("SaveProjectCommand"));
  // Checked states follow the document and its style.
  ASSERT_TRUE(d.ExecuteCommand("ViewBordersCommand"));
  EXPECT_TRUE(d.CommandChecked("ViewBordersCommand"));
  ASSERT_TRUE(d.ExecuteCommand("StopOnBordersCommand"));
  EXPECT_TRUE(d.CommandChecked("StopOnBordersCommand"));
  EXPECT_EQ(d.CurrentStyle()->Params.StopOnBorders, 1);
  // The command opens full-screen paint and closes it again.
  d.ExecuteCommand("FullScreenPaintCommand");
  EXPECT_TRUE(d.IsFullScreenPaint());
  d.ExecuteCommand("FullScreenPaintCommand");
  EXPECT_FALSE(d.IsFullScreenPaint());
  EXPECT_EQ(f.Ui.FullScreen, 0);
  // A new background only after the warning is answered Yes; then it is painted.
  f.Ui.Background.Color = 0xFF102030u;
  f.Ui.Yes = false;
  d.ExecuteCommand("ChangeBackgroundCommand");
  EXPECT_NE(d.Document->BackgroundColor, 0xFF102030u);
  f.Ui.Yes = true;
  d.ExecuteCommand("ChangeBackgroundCommand");
  EXPECT_EQ(f.Ui.Asked.back().rfind("If you change the background", 0), 0u);
  EXPECT_EQ(d.Document->BackgroundColor, 0xFF102030u);
  EXPECT_EQ(f.Dest.Bitmap().Pixel(0, 0), 0xFF102030u);  // no stroke is applied after the undos
  // The dialog starts from a tiled picture there is, so OK keeps it.
  f.Ui.Background.Picture = std::make_shared<const TBitmap32>(6, 4, 0xFF405060u);
  f.Ui.Background.Mode = 2;
  d.ExecuteCommand("ChangeBackgroundCommand");
  d.ExecuteCommand("ChangeBackgroundCommand");
  ASSERT_TRUE(f.Ui.Preset.Picture);
  EXPECT_EQ(f.Ui.Preset.Picture->Width(), 6);
  EXPECT_EQ(f.Ui.Preset.Mode, 2);
  EXPECT_EQ(f.Ui.Preset.Color, 0xFF102030u);
}

TEST(Commands, EachDocumentGetsAToolManagerAndTheToolCommandsSelect) {
  TCommandFixture f;
  TDomain& d = *f.Domain;
  f.Open();
  EXPECT_EQ(f.ToolManagersMade, 1);
  EXPECT_EQ(f.Tool(), 1);  // the pointer
  const int refreshes = f.Refreshes;
  const std::pair<const char*, int> tools[] = {
      {"AutoDirCommand", 5}, {"PatternCommand", 4}, {"FreeHandCommand", 3}, {"PointerCommand", 1}};
  for (const auto& [name, tool] : tools) {
    ASSERT_TRUE(d.ExecuteCommand(name));
    EXPECT_EQ(f.Tool(), tool) << name;
  }
  EXPECT_EQ(f.Refreshes, refreshes + 4);
  int contextHelp = 0;
  d.OnContextHelp = [&](TDomain&) { ++contextHelp; };
  d.ExecuteCommand("ContextHelpCommand");
  EXPECT_EQ(f.Tool(), 0);
  EXPECT_EQ(contextHelp, 1);
  // The next document: the old tool manager goes while its document still exists.
  f.Open();
  EXPECT_EQ(f.ToolManagersMade, 2);
  EXPECT_EQ(f.FreedFirst, 1);
  EXPECT_EQ(f.Tool(), 1);
  d.CloseCommand();
  EXPECT_FALSE(d.ToolManager);
  EXPECT_EQ(f.FreedFirst, 2);
}

TEST(Commands, OpeningSetsUpTheViews) {
  TCommandFixture f;
  TDomain& d = *f.Domain;
  f.Source.Scale = 2.0f;
  f.Source.ScrollX = 7;
  f.Dest.ScrollY = 5;
  f.Open();
  EXPECT_EQ(f.Source.Scale, 1.0f);
  EXPECT_EQ(f.Source.ScrollX, 0);
  EXPECT_EQ(f.Dest.ScrollY, 0);
  EXPECT_EQ(f.Source.Bitmap().MasterAlpha, 128);
  EXPECT_EQ(f.Source.Bitmap().DrawMode, dmBlend);
  EXPECT_EQ(f.Ui.NavigatorHidden, 1);
  EXPECT_EQ(f.Ui.ColorPanelResets, 1);
  EXPECT_EQ(f.Ui.Busy, 0);
  EXPECT_GT(f.Ui.MaxBusy, 0);
  // The main window goes first: the views are bare and the document can follow.
  ASSERT_FALSE(f.Source.Layers.empty());
  d.DetachViews();
  EXPECT_TRUE(f.Source.Layers.empty());
  EXPECT_TRUE(f.Dest.Layers.empty());
  EXPECT_FALSE(d.ToolManager);
  f.Domain.reset();

  // A refused picture ends "Open" before the style is reset to the first.
  TCommandFixture g;
  g.Domain->Styles.Add(std::make_unique<TBStyle>());
  g.Ui.Accept = false;
  g.Domain->OpenCommand();
  EXPECT_FALSE(g.Domain->Document);
  EXPECT_EQ(g.Domain->Styles.ItemIndex(), 1);
}

TEST(Commands, ApplyNotEnteredOnlyResetsTheNextStep) {
  TCommandFixture f;
  TDomain& d = *f.Domain;
  f.Open();
  d.ApplySteps = 119;
  d.ApplyNextStep = 119;
  EXPECT_THROW(d.ApplyStart(50), ESilentStop);  // nothing painted
  EXPECT_EQ(d.ApplyNextStep, 1);
  EXPECT_EQ(d.ApplySteps, 119);
}

TEST(Commands, LibraryCommands) {
  TCommandFixture f;
  TDomain& d = *f.Domain;
  std::vector<std::string> events;
  d.OnStyleChanged = [&](TDomain&, int i) { events.push_back("changed " + std::to_string(i)); };
  d.OnStyleDeleting = [&](TDomain&, int i) { events.push_back("deleting " + std::to_string(i)); };
  d.OnPatternDeleted = [&](TDomain&, int i) { events.push_back("pattern " + std::to_string(i)); };
  d.OnUpdateStyleFrame = [&](TDomain&, int i) { events.push_back("frame " + std::to_string(i)); };

  // A pattern goes (with its file) only after a Yes.
  d.Patterns.Add(std::make_unique<TPattern>());
  d.Patterns.Add(std::make_unique<TPattern>());
  f.Ui.Yes = false;
  ASSERT_TRUE(d.ExecuteCommand("DelPatternCommand"));
  EXPECT_EQ(d.Patterns.Count(), 2);
  f.Ui.Yes = true;
  ASSERT_TRUE(d.ExecuteCommand("DelPatternCommand"));
  EXPECT_EQ(d.Patterns.Count(), 1);
  ASSERT_EQ(f.Ui.Asked.size(), 2u);
  EXPECT_EQ(f.Ui.Asked[0].rfind("Sure to delete the pattern \"", 0), 0u) << f.Ui.Asked[0];
  f.Ui.Asked.clear();
  EXPECT_FALSE(d.CommandUpdate("DelPatternCommand"));

  // The "Scratch Style" can be neither saved nor deleted, only copied.
  d.CurrentStyle()->SetLength(77);
  EXPECT_FALSE(d.CommandUpdate("SaveStyleCommand"));
  EXPECT_FALSE(d.CommandUpdate("DelStyleCommand"));
  EXPECT_TRUE(d.CommandUpdate("ResetStyleCommand"));
  f.Ui.InputAnswer = "Copy \u00e9\u65e5";  // listed as the file will hold it
  events.clear();
  ASSERT_TRUE(d.ExecuteCommand("SaveStyleAsCommand"));
  EXPECT_EQ(f.Ui.Asked.back(), "Brellin Pro|Enter a name for the new style:|new " +
                                   TBStyle::StaticClass().GetBaseName() + " name");
  ASSERT_EQ(d.Styles.ItemIndex(), 1);
  EXPECT_EQ(d.CurrentStyle()->Name(), "Copy \u00e9?");
  EXPECT_EQ(d.CurrentStyle()->Params.Length, 77);
  EXPECT_TRUE(fs::exists(d.CurrentStyle()->FileName()));
  EXPECT_EQ(events.back(), "changed 1");

  // Moving between styles: the frame left is redrawn, then the new one reported.
  events.clear();
  d.Styles.SetItemIndex(0);
  EXPECT_EQ(events, (std::vector<std::string>{"frame 1", "changed 0"}));

  // A new style, then deleting it asks; No keeps it.
  f.Ui.InputAnswer = "Mine";
  ASSERT_TRUE(d.ExecuteCommand("NewStyleCommand"));
  ASSERT_EQ(d.Styles.Count(), 3);
  EXPECT_TRUE(d.CommandUpdate("SaveStyleCommand"));
  f.Ui.Yes = false;
  ASSERT_TRUE(d.ExecuteCommand("DelStyleCommand"));
  EXPECT_EQ(f.Ui.Asked.back(), "Sure to delete the style \"Mine\"?");
  EXPECT_EQ(d.Styles.Count(), 3);
  f.Ui.Yes = true;
  events.clear();
  ASSERT_TRUE(d.ExecuteCommand("DelStyleCommand"));
  EXPECT_EQ(d.Styles.Count(), 2);
  EXPECT_EQ(events.front(), "deleting 2");
  EXPECT_EQ(events.back(), "frame 0");
  // A cancelled input box adds nothing.
  f.Ui.InputAnswer.clear();
  d.ExecuteCommand("NewStyleCommand");
  EXPECT_EQ(d.Styles.Count(), 2);
  // The built-in brush is what Id 0 finds: it stays. Other brushes go after a Yes.
  const int brushes = d.Brushes.Count();
  const size_t asked = f.Ui.Asked.size();
  d.Brushes.SetItemIndex(0);
  ASSERT_TRUE(d.ExecuteCommand("DelStrokeCommand"));
  EXPECT_EQ(d.Brushes.Count(), brushes);
  EXPECT_EQ(f.Ui.Asked.size(), asked);
  d.Brushes.SetItemIndex(1);
  const std::string name = d.Brushes.Current()->Name();
  ASSERT_TRUE(d.ExecuteCommand("DelStrokeCommand"));
  EXPECT_EQ(f.Ui.Asked.back(), "Sure to delete the Stroke \"" + name + "\"?");
  EXPECT_EQ(d.Brushes.Count(), brushes - 1);
  // The pattern editor is a dialog; without one the command says so.
  EXPECT_THROW(d.ExecuteCommand("NewPatternCommand"), ENeedsDialog);
}

}  // namespace
}  // namespace brellin
