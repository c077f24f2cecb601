#include "domain/Commands.h"

#include <algorithm>
#include <array>
#include <filesystem>
#include <memory>

#include "base/Clipboard.h"
#include "base/Errors.h"
#include "base/Win1252.h"
#include "domain/BDomain.h"
#include "library/Styles.h"

namespace brellin {

namespace {

// The "A" key belongs to the auto-sketch tool and Escape only leaves
// full-screen paint: neither is a second shortcut of Redo or of "Full Screen
// Paint", so no key reaches two commands.
// clang-format off
const std::array<TCommandInfo, 46> kCommands = {{
    {"NewFromClipboardCommand", "File", "New from clipboard", "", {"Ctrl+Alt+N"}, -1, 0, crClipboard, ckNone},
    {"OpenCommand", "File", "Open", "Open new picture to transform into pen & ink", {"Ctrl+O"}, -1, 0, crAlways, ckNone},
    {"OpenProjectCommand", "File", "Open Project", "", {"Ctrl+A"}, -1, 0, crAlways, ckNone},
    {"SaveCommand", "File", "Save", "Save the destination image", {"Ctrl+S"}, -1, 0, crDocument, ckNone},
    {"SaveProjectCommand", "File", "Save Project", "", {"Ctrl+D"}, -1, 0, crProjectName, ckNone},
    {"SaveProjectAsCommand", "File", "Save Project &As...", "", {}, -1, 0, crDocument, ckNone},
    {"PostScriptCommand", "File", "PostScript Output", "Export to postscript", {"Ctrl+P"}, -1, 0, crVectors, ckNone},
    {"RenderAllCommand", "File", "Save at different size", "", {"Ctrl+Alt+S"}, -1, 0, crDocument, ckNone},
    {"CloseCommand", "File", "&Close", "Close current picture", {"Ctrl+F4"}, -1, 0, crDocument, ckNone},
    {"ExitCommand", "File", "Exit", "Exit application", {"Ctrl+Q"}, -1, 0, crAlways, ckNone},
    {"UndoCommand", "Edit", "Undo", "", {"Ctrl+Z", "U", "Shift+U"}, -1, 0, crUndo, ckNone},
    {"RedoCommand", "Edit", "Redo", "", {"Ctrl+Y"}, -1, 0, crRedo, ckNone},
    {"ApplyWithCurrentSettingsCommand", "Edit", "Apply to the entire image...", "", {}, -1, 0, crDocument, ckNone},
    {"RepeatLastApplyCommand", "Edit", "Repeat last apply", "", {"Ctrl+F"}, -1, 0, crApplyDone, ckNone},
    {"TakeSnapshotCommand", "Edit", "Take snapshot", "", {}, -1, 0, crSnapshot, ckNone},
    {"UndoToLastSnapshotCommand", "Edit", "Undo to last snapshot", "", {}, -1, 0, crUndoSnapshot, ckNone},
    {"PurgeCommand", "Edit", "Purge Undo", "", {}, -1, 0, crPurge, ckNone},
    {"CopyResultToClipboardCommand", "Edit", "Copy result to clipboard", "", {"Ctrl+C"}, -1, 0, crDocument, ckNone},
    {"PointerCommand", "Tools", "Pointer", "", {"P"}, 0, 1, crDocument, ckNone},
    {"PatternCommand", "Tools", "Pattern Tool", "", {"T"}, 2, 1, crDocument, ckNone},
    {"AutoDirCommand", "Tools", "Auto-sketch Tool", "", {"A"}, 1, 1, crDocument, ckNone},
    {"FreeHandCommand", "Tools", "Free Hand", "", {"F"}, 3, 1, crDocument, ckNone},
    {"ViewBordersCommand", "View", "View Borders", "", {}, -1, 0, crDocument, ckViewBorders},
    {"ViewDirectionsCommand", "View", "View Directions", "", {}, -1, 0, crDocument, ckViewDirections},
    {"ViewNavigatorCommand", "View", "View Navigator", "", {}, -1, 0, crDocument, ckNone},
    {"FullScreenPreviewCommand", "View", "Full Screen Preview", "", {"F11"}, -1, 0, crDocument, ckNone},
    {"FullScreenPaintCommand", "View", "Full Screen Paint", "", {"F10"}, -1, 0, crDocument, ckNone},
    {"ChangeBackgroundCommand", "Modify", "Change Background...", "", {}, -1, 0, crDocument, ckNone},
    {"NewPatternCommand", "Patterns", "New pattern", "Create new pattern", {}, -1, 0, crAlways, ckNone},
    {"EditPatternCommand", "Patterns", "Edit selected pattern", "", {}, -1, 0, crAlways, ckNone},
    {"DelPatternCommand", "Patterns", "Delete selected pattern", "", {}, -1, 0, crPatterns, ckNone},
    {"NewStyleCommand", "Styles", "NewStyle", "Create new style", {}, -1, 0, crAlways, ckNone},
    {"SaveStyleCommand", "Styles", "SaveStyle", "Save selected style", {}, -1, 0, crStyleSavable, ckNone},
    {"SaveStyleAsCommand", "Styles", "SaveStyleAs", "Save current style with different name", {}, -1, 0, crCurrentStyle, ckNone},
    {"DelStyleCommand", "Styles", "DeleteStyle", "Delete selected style", {}, -1, 0, crStyleDeletable, ckNone},
    {"ResetStyleCommand", "Styles", "ResetStyle", "Reset parameters of the current style", {}, -1, 0, crStyleModified, ckNone},
    {"NewStrokeCommand", "Strokes", "New Stroke", "", {}, -1, 0, crNone, ckNone},
    {"EditStrokeCommand", "Strokes", "Edit Stroke", "", {}, -1, 0, crNone, ckNone},
    {"DelStrokeCommand", "Strokes", "Delete Stroke", "", {}, -1, 0, crNone, ckNone},
    {"SetColorModeAutoCommand", "Colors", "Set Color Mode Auto", "", {}, -1, 0, crNone, ckNone},
    {"SetColorModeCustomCommand", "Colors", "Set Color Mode Custom", "", {}, -1, 0, crNone, ckNone},
    {"SelColorCommand", "Colors", "Select Color", "", {}, -1, 0, crNone, ckNone},
    {"StopOnBordersCommand", "Settings", "Stop on Borders", "", {}, -1, 0, crDocument, ckStopOnBorders},
    {"HelpCommand", "Help", "Help", "Get more help", {"F1"}, -1, 0, crAlways, ckNone},
    {"ContextHelpCommand", "Help", "What is this?", "Click on any item to get help", {}, 4, 0, crAlways, ckNone},
    {"AboutCommand", "Help", "About...", "", {}, -1, 0, crAlways, ckNone},
}};
// clang-format on

const TCommandInfo& CommandOrRaise(const std::string& Name) {
  const TCommandInfo* c = FindCommand(Name);
  if (!c) throw EBrellinError("No command named \"" + Name + "\"");
  return *c;
}

}  // namespace

std::span<const TCommandInfo> CommandTable() {
  return kCommands;
}

const TCommandInfo* FindCommand(std::string_view Name) {
  auto it = std::find_if(kCommands.begin(), kCommands.end(),
                         [&](const TCommandInfo& c) { return c.Name == Name; });
  return it == kCommands.end() ? nullptr : &*it;
}

std::string JoinShortcuts(const TCommandInfo& Command, std::string_view Separator) {
  std::string s;
  for (std::string_view k : Command.Shortcuts) {
    if (!s.empty()) s += Separator;
    s += k;
  }
  return s;
}

bool TDomain::CommandUpdate(const std::string& Name) {
  const TCommandInfo& c = CommandOrRaise(Name);
  const bool doc = Document != nullptr;
  TBStyle* style = CurrentStyle();
  switch (c.Rule) {
    case crAlways:
      return true;
    case crDocument:
      return doc;
    case crClipboard:
      return FUi->ClipboardHasBitmap();
    case crProjectName:
      return doc && !Document->ProjectFileName.empty();
    case crVectors:
      return doc && Document->VectorCount() > 0;
    case crUndo:
      return doc && Document->CanUndo();
    case crRedo:
      return doc && Document->CanRedo();
    case crUndoSnapshot:
      return doc && Document->CanUndoToSnapshot();
    case crApplyDone:
      return doc && ApplyDone;
    case crSnapshot:
      return doc && Document->CanTakeSnapshot();
    case crPurge:
      return doc && Document->CanUndo() && Document->StateCount() > 1;
    case crPatterns:
      return Patterns.Count() > 1;
    case crStyleSavable:
      return style && style->Modified() && Styles.ItemIndex() > 0;
    case crCurrentStyle:
      return style != nullptr;
    case crStyleDeletable:
      return style && Styles.Count() >= 2 && Styles.ItemIndex() > 0;
    case crStyleModified:
      return style && style->Modified();
    case crNone:
      break;
  }
  throw EBrellinError("Acción no contemplada:" + Name);
}

bool TDomain::CommandEnabled(const std::string& Name) {
  return CommandOrRaise(Name).Evaluated() ? CommandUpdate(Name) : true;
}

bool TDomain::CommandChecked(const std::string& Name) const {
  const TCommandInfo& c = CommandOrRaise(Name);
  if (!Document) return false;
  // Read from what they show, so that a new document or another style never
  // leaves a stale check mark.
  switch (c.Check) {
    case ckViewBorders:
      return Document->ViewBorders;
    case ckViewDirections:
      return Document->ViewDirections;
    case ckStopOnBorders:
      return Document->Style && Document->Style->Params.StopOnBorders != 0;
    case ckNone:
      break;
  }
  return false;
}

bool TDomain::ExecuteCommand(const std::string& Name) {
  if (!CommandEnabled(Name)) return false;
  using THandler = void (TDomain::*)();
  static const std::array<std::pair<std::string_view, THandler>, 45> handlers = {{
      {"NewFromClipboardCommand", &TDomain::NewFromClipboardCommand},
      {"OpenCommand", &TDomain::OpenCommand},
      {"OpenProjectCommand", &TDomain::OpenProjectCommand},
      {"SaveCommand", &TDomain::SaveCommand},
      {"SaveProjectCommand", &TDomain::SaveProjectCommand},
      {"SaveProjectAsCommand", &TDomain::SaveProjectAsCommand},
      {"PostScriptCommand", &TDomain::PostScriptCommand},
      {"RenderAllCommand", &TDomain::RenderAllCommand},
      {"CloseCommand", &TDomain::CloseCommand},
      {"ExitCommand", &TDomain::ExitCommand},
      {"UndoCommand", &TDomain::UndoCommand},
      {"RedoCommand", &TDomain::RedoCommand},
      {"ApplyWithCurrentSettingsCommand", &TDomain::ApplyWithCurrentSettingsCommand},
      {"RepeatLastApplyCommand", &TDomain::RepeatLastApplyCommand},
      {"TakeSnapshotCommand", &TDomain::TakeSnapshotCommand},
      {"UndoToLastSnapshotCommand", &TDomain::UndoToLastSnapshotCommand},
      {"PurgeCommand", &TDomain::PurgeCommand},
      {"CopyResultToClipboardCommand", &TDomain::CopyResultToClipboardCommand},
      {"PointerCommand", &TDomain::PointerCommand},
      {"PatternCommand", &TDomain::PatternCommand},
      {"AutoDirCommand", &TDomain::AutoDirCommand},
      {"FreeHandCommand", &TDomain::FreeHandCommand},
      {"ViewBordersCommand", &TDomain::ViewBordersCommand},
      {"ViewDirectionsCommand", &TDomain::ViewDirectionsCommand},
      {"ViewNavigatorCommand", &TDomain::ViewNavigatorCommand},
      {"FullScreenPreviewCommand", &TDomain::FullScreenPreviewCommand},
      {"FullScreenPaintCommand", &TDomain::FullScreenPaintCommand},
      {"ChangeBackgroundCommand", &TDomain::ChangeBackgroundCommand},
      {"NewPatternCommand", &TDomain::NewPatternCommand},
      {"EditPatternCommand", &TDomain::EditPatternCommand},
      {"DelPatternCommand", &TDomain::DelPatternCommand},
      {"NewStyleCommand", &TDomain::NewStyleCommand},
      {"SaveStyleCommand", &TDomain::SaveStyleCommand},
      {"SaveStyleAsCommand", &TDomain::SaveStyleAsCommand},
      {"DelStyleCommand", &TDomain::DelStyleCommand},
      {"ResetStyleCommand", &TDomain::ResetStyleCommand},
      {"NewStrokeCommand", &TDomain::NewStrokeCommand},
      {"EditStrokeCommand", &TDomain::EditStrokeCommand},
      {"DelStrokeCommand", &TDomain::DelStrokeCommand},
      {"SetColorModeAutoCommand", &TDomain::SetColorModeAutoCommand},
      {"SetColorModeCustomCommand", &TDomain::SetColorModeCustomCommand},
      {"StopOnBordersCommand", &TDomain::StopOnBordersCommand},
      {"HelpCommand", &TDomain::HelpCommand},
      {"ContextHelpCommand", &TDomain::ContextHelpCommand},
      {"AboutCommand", &TDomain::AboutCommand},
  }};
  // "Select Color" has no handler.
  for (const auto& [n, h] : handlers)
    if (n == Name) (this->*h)();
  return true;
}

// Edit commands.

void TDomain::UndoCommand() {
  if (Document && Document->CanUndo()) Document->Undo();
}

void TDomain::RedoCommand() {
  if (Document && Document->CanRedo()) Document->Redo();
}

void TDomain::TakeSnapshotCommand() {
  if (Document && Document->CanTakeSnapshot()) Document->TakeSnapshot();
}

void TDomain::UndoToLastSnapshotCommand() {
  if (Document && Document->CanUndoToSnapshot()) Document->UndoToSnapshot();
}

void TDomain::PurgeCommand() {
  // Merging the states cannot be undone: asked first.
  if (!Document || !FUi->WarningYesNo("Purge the undo history? What it holds cannot be undone "
                                      "or redone afterwards.\r\n\r\nContinue?"))
    return;
  Document->Compact();
}

std::string TDomain::ApplyFollowsText() const {
  if (!Document || Document->AutoMode) return "Strokes follow the picture's contours";
  const TPersistentObject* pattern = Patterns.Current();
  if (!pattern) return "Strokes follow the pattern";
  // The shipped patterns have no name of their own: their file's is shown.
  std::string name = pattern->Name();
  if (name.empty()) name = std::filesystem::path(pattern->FileName()).stem().string();
  return name.empty() ? "Strokes follow the pattern" : "Strokes follow the pattern " + name;
}

void TDomain::ApplyWithCurrentSettingsCommand() {
  if (!Document) return;
  TApplyDialogHandlers h;
  h.Follows = ApplyFollowsText();
  h.Start = [this](int Steps) { ApplyStart(Steps); };
  h.Stop = [this] { ApplyStop(); };
  h.Close = [this] { ApplyStop(); };
  h.DetailPasses = DetailPasses;
  h.DetailPassesChanged = [this](int N) { DetailPasses = std::clamp(N, 0, MaxDetailPasses); };
  ApplyNextStep = 1;
  FUi->ApplyDialog(ApplySteps, h);
}

void TDomain::CopyResultToClipboardCommand() {
  if (!Document) return;
  if (TClipboardPort* c = ClipboardPort()) c->SetBitmap(DestinationView->Bitmap());
}

// Tool, view and setting commands.

void TDomain::SelectTool(int Tool) {
  if (!ToolManager) return;
  ToolManager->SetTool(Tool);
  Notify(OnRefresh);
}

void TDomain::ContextHelpCommand() {
  if (ToolManager) ToolManager->SetTool(0);
  Notify(OnContextHelp);
}

void TDomain::ViewBordersCommand() {
  if (Document) Document->SetViewBorders(!Document->ViewBorders);
}

void TDomain::ViewDirectionsCommand() {
  if (Document) Document->SetViewDirections(!Document->ViewDirections);
}

void TDomain::StopOnBordersCommand() {
  if (Document && Document->Style)
    Document->Style->SetStopOnBorders(Document->Style->Params.StopOnBorders == 0);
}

void TDomain::SetColorModeAutoCommand() {
  if (!Document) return;
  Document->Colors.ColorMode = cmAuto;
  Notify(OnRefresh);
}

void TDomain::SetColorModeCustomCommand() {
  if (!Document) return;
  Document->Colors.ColorMode = cmFixed;
  Notify(OnRefresh);
}

void TDomain::ChangeBackgroundCommand() {
  if (!Document) return;
  // The dialog starts from the background there is, so that OK without a
  // change keeps a background picture.
  TBackgroundChoice choice;
  choice.Color = Document->BackgroundColor;
  if (Document->BackgroundPicture)
    choice.Picture = std::make_shared<const TBitmap32>(*Document->BackgroundPicture);
  choice.Mode = Document->BackgroundMode;
  if (!FUi->BackgroundDialog(choice)) return;
  if (!FUi->WarningYesNo(
          "If you change the background all the drawing will be rendered.\r\nThis could take "
          "some time.\r\n\r\nContinue?"))
    return;
  Document->BackgroundColor = choice.Color;
  Document->SetBackgroundPicture(choice.Picture.get());
  Document->SetBackgroundMode(choice.Mode);
}

// Library commands.

namespace {

// The library's edit form with a caption; no form means a dialog this user
// interface cannot show.
TFormPersistentObject& EditFormFor(TPersistentObjectManager& Library, const std::string& Caption,
                                   const std::string& What) {
  TFormPersistentObject* form = Library.EditForm();
  if (!form) throw ENeedsDialog(What);
  form->SetCaption(Caption);
  return *form;
}

}  // namespace

void TDomain::NewPatternCommand() {
  EditFormFor(Patterns, "Create New Pattern", "the pattern editor");
  if (Patterns.New()) Notify(OnPatternEdited, Patterns.Count() - 1);
}

void TDomain::EditPatternCommand() {
  EditFormFor(Patterns, "Edit Current Pattern", "the pattern editor");
  if (Patterns.Edit()) Notify(OnPatternEdited, Patterns.ItemIndex());
}

void TDomain::DelPatternCommand() {
  // The pattern's file goes with it.
  TPersistentObject* pattern = Patterns.Current();
  if (!pattern || !FUi->WarningYesNo("Sure to delete the pattern \"" + pattern->Name() + "\"?"))
    return;
  Patterns.Delete();
  Notify(OnPatternDeleted, Patterns.ItemIndex());
}

void TDomain::NewStrokeCommand() {
  EditFormFor(Brushes, "Create New Stroke", "the brush editor");
  if (Brushes.New()) Notify(OnBrushEdited, Brushes.Count() - 1);
}

void TDomain::EditStrokeCommand() {
  EditFormFor(Brushes, "Edit Current Stroke", "the brush editor");
  if (Brushes.Edit()) Notify(OnBrushEdited, Brushes.ItemIndex());
}

void TDomain::DelStrokeCommand() {
  // The built-in polygon brush at position 0 has no file and is what Id 0
  // finds: it stays.
  TPersistentObject* brush = Brushes.Current();
  if (!brush || Brushes.ItemIndex() == 0) return;
  if (!FUi->WarningYesNo("Sure to delete the Stroke \"" + brush->Name() + "\"?")) return;
  Brushes.Delete();
  Notify(OnBrushDeleted, Brushes.ItemIndex());
}

namespace {

// The name as the style file will hold it, so that the list shows from the
// start what comes back after a restart ('?' for what the file cannot hold).
std::string StorableStyleName(const std::string& Name) {
  return Win1252ToUtf8(Utf8ToWin1252(Name));
}

}  // namespace

void TDomain::NewStyleCommand() {
  std::string name = Styles.NewName();
  if (!FUi->InputBox("Brellin Pro", "Enter a name for the new style:", name)) return;
  name = StorableStyleName(name);
  auto style = std::make_unique<TBStyle>();
  style->SetName(name);
  style->SetBrushId(0);
  style->StoreReset();
  style->SetModified(true);
  Styles.Add(std::move(style));
}

void TDomain::SaveStyleCommand() {
  if (Styles.ItemIndex() <= 0) return;
  if (TBStyle* s = CurrentStyle()) s->Save();
  Notify(OnStyleChanged, Styles.ItemIndex());
}

void TDomain::SaveStyleAsCommand() {
  if (!CurrentStyle()) return;
  std::string name = Styles.NewName();
  if (!FUi->InputBox("Brellin Pro", "Enter a name for the new style:", name)) return;
  Styles.SaveCurrentAs(StorableStyleName(name));
}

void TDomain::DelStyleCommand() {
  TBStyle* s = CurrentStyle();
  // The "Scratch Style" at position 0 is never deleted.
  if (!s || Styles.ItemIndex() <= 0) return;
  if (!FUi->WarningYesNo("Sure to delete the style \"" + s->Name() + "\"?")) return;
  Notify(OnStyleDeleting, Styles.ItemIndex());
  Styles.Delete();
  Notify(OnUpdateStyleFrame, Styles.ItemIndex());
}

void TDomain::ResetStyleCommand() {
  TBStyle* s = CurrentStyle();
  if (!s) return;
  s->Reset();
  Notify(OnUpdateStyleFrame, Styles.ItemIndex());
  Notify(OnUpdateBrushThumbnail);
  Notify(OnRefresh);
}

}  // namespace brellin
