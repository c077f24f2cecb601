#include "domain/Commands.h"

#include <algorithm>
#include <array>
#include <memory>

#include "base/Clipboard.h"
#include "base/Errors.h"
#include "domain/BDomain.h"
#include "library/Styles.h"

namespace brellin {

namespace {

// The "A" key belongs to the auto-sketch tool and Escape only leaves
// full-screen paint: neither is a second shortcut of Redo or of "Full Screen
// Paint", so no key reaches two commands.
const std::array<TCommandInfo, 46> kCommands = {{
    {"NewFromClipboardCommand", "File", "New from clipboard", "", {"Ctrl+Alt+N"}},
    {"OpenCommand", "File", "Open", "Open new picture to transform into pen & ink", {"Ctrl+O"}},
    {"OpenProjectCommand", "File", "Open Project", "", {"Ctrl+A"}},
    {"SaveCommand", "File", "Save", "Save the destination image", {"Ctrl+S"}},
    {"SaveProjectCommand", "File", "Save Project", "", {"Ctrl+D"}},
    {"SaveProjectAsCommand", "File", "Save Project &As...", "", {}},
    {"PostScriptCommand", "File", "PostScript Output", "Export to postscript", {"Ctrl+P"}},
    {"RenderAllCommand", "File", "Save at different size", "", {"Ctrl+Alt+S"}},
    {"CloseCommand", "File", "&Close", "Close current picture", {"Ctrl+F4"}},
    {"ExitCommand", "File", "Exit", "Exit application", {"Ctrl+Q"}},
    {"UndoCommand", "Edit", "Undo", "", {"Ctrl+Z", "U", "Shift+U"}},
    {"RedoCommand", "Edit", "Redo", "", {"Ctrl+Y"}},
    {"ApplyWithCurrentSettingsCommand", "Edit", "Apply to the entire image...", "", {}},
    {"RepeatLastApplyCommand", "Edit", "Repeat last apply", "", {"Ctrl+F"}},
    {"TakeSnapshotCommand", "Edit", "Take snapshot", "", {}},
    {"UndoToLastSnapshotCommand", "Edit", "Undo to last snapshot", "", {}},
    {"PurgeCommand", "Edit", "Purge Undo", "", {}},
    {"CopyResultToClipboardCommand", "Edit", "Copy result to clipboard", "", {"Ctrl+C"}},
    {"PointerCommand", "Tools", "Pointer", "", {"P"}, 0, 1},
    {"PatternCommand", "Tools", "Pattern Tool", "", {"T"}, 2, 1},
    {"AutoDirCommand", "Tools", "Auto-sketch Tool", "", {"A"}, 1, 1},
    {"FreeHandCommand", "Tools", "Free Hand", "", {"F"}, 3, 1},
    {"ViewBordersCommand", "View", "View Borders", "", {}},
    {"ViewDirectionsCommand", "View", "View Directions", "", {}},
    {"ViewNavigatorCommand", "View", "View Navigator", "", {}},
    {"FullScreenPreviewCommand", "View", "Full Screen Preview", "", {"F11"}},
    {"FullScreenPaintCommand", "View", "Full Screen Paint", "", {"F10"}},
    {"ChangeBackgroundCommand", "Modify", "Change Background...", "", {}},
    {"NewPatternCommand", "Patterns", "New pattern", "Create new pattern", {}},
    {"EditPatternCommand", "Patterns", "Edit selected pattern", "", {}},
    {"DelPatternCommand", "Patterns", "Delete selected pattern", "", {}},
    {"NewStyleCommand", "Styles", "NewStyle", "Create new style", {}},
    {"SaveStyleCommand", "Styles", "SaveStyle", "Save selected style", {}},
    {"SaveStyleAsCommand", "Styles", "SaveStyleAs", "Save current style with different name", {}},
    {"DelStyleCommand", "Styles", "DeleteStyle", "Delete selected style", {}},
    {"ResetStyleCommand", "Styles", "ResetStyle", "Reset parameters of the current style", {}},
    {"NewStrokeCommand", "Strokes", "New Stroke", "", {}, -1, 0, false},
    {"EditStrokeCommand", "Strokes", "Edit Stroke", "", {}, -1, 0, false},
    {"DelStrokeCommand", "Strokes", "Delete Stroke", "", {}, -1, 0, false},
    {"SetColorModeAutoCommand", "Colors", "Set Color Mode Auto", "", {}, -1, 0, false},
    {"SetColorModeCustomCommand", "Colors", "Set Color Mode Custom", "", {}, -1, 0, false},
    {"SelColorCommand", "Colors", "Select Color", "", {}, -1, 0, false},
    {"StopOnBordersCommand", "Settings", "Stop on Borders", "", {}},
    {"HelpCommand", "Help", "Help", "Get more help", {"F1"}},
    {"ContextHelpCommand", "Help", "What is this?", "Click on any item to get help", {}, 4},
    {"AboutCommand", "Help", "About...", "", {}},
}};

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
  const std::string_view n = c.Name;
  const bool doc = Document != nullptr;
  if (c.Evaluated) {
    if (n == "NewFromClipboardCommand") return FUi->ClipboardHasBitmap();
    if (n == "OpenCommand" || n == "OpenProjectCommand" || n == "ExitCommand" ||
        n == "NewPatternCommand" || n == "EditPatternCommand" || n == "HelpCommand" ||
        n == "ContextHelpCommand" || n == "AboutCommand")
      return true;
    if (n == "SaveProjectCommand") return doc && !Document->ProjectFileName.empty();
    if (n == "PostScriptCommand") return doc && Document->VectorCount() > 0;
    if (n == "UndoCommand" || n == "UndoToLastSnapshotCommand") return doc && Document->CanUndo();
    if (n == "RedoCommand") return doc && Document->CanRedo();
    if (n == "RepeatLastApplyCommand") return doc && ApplyDone;
    if (n == "TakeSnapshotCommand") return doc && Document->CanTakeSnapshot();
    if (n == "PurgeCommand") return doc && Document->CanUndo() && Document->StateCount() > 1;
    if (n == "DelPatternCommand") return Patterns.Count() > 1;
    // The style library exists as long as the domain.
    if (n == "NewStyleCommand") return true;
    TBStyle* style = CurrentStyle();
    if (n == "SaveStyleCommand") return style && style->Modified() && Styles.ItemIndex() > 0;
    if (n == "SaveStyleAsCommand") return style != nullptr;
    if (n == "DelStyleCommand") return style && Styles.Count() >= 2 && Styles.ItemIndex() > 0;
    if (n == "ResetStyleCommand") return style && style->Modified();
    static constexpr std::string_view needDocument[] = {"SaveCommand",
                                                        "SaveProjectAsCommand",
                                                        "RenderAllCommand",
                                                        "CloseCommand",
                                                        "ApplyWithCurrentSettingsCommand",
                                                        "CopyResultToClipboardCommand",
                                                        "PointerCommand",
                                                        "PatternCommand",
                                                        "AutoDirCommand",
                                                        "FreeHandCommand",
                                                        "ViewBordersCommand",
                                                        "ViewDirectionsCommand",
                                                        "ViewNavigatorCommand",
                                                        "FullScreenPreviewCommand",
                                                        "FullScreenPaintCommand",
                                                        "ChangeBackgroundCommand",
                                                        "StopOnBordersCommand"};
    if (std::find(std::begin(needDocument), std::end(needDocument), n) != std::end(needDocument))
      return doc;
  }
  throw EBrellinError("Acción no contemplada:" + Name);
}

bool TDomain::CommandEnabled(const std::string& Name) {
  return CommandOrRaise(Name).Evaluated ? CommandUpdate(Name) : true;
}

bool TDomain::CommandChecked(const std::string& Name) const {
  if (!Document) return false;
  // Read from what they show, so that a new document or another style never
  // leaves a stale check mark.
  if (Name == "ViewBordersCommand") return Document->ViewBorders;
  if (Name == "ViewDirectionsCommand") return Document->ViewDirections;
  if (Name == "StopOnBordersCommand")
    return Document->Style && Document->Style->Params.StopOnBorders != 0;
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
  if (Document && Document->CanUndo()) Document->UndoToSnapshot();
}

void TDomain::PurgeCommand() {
  if (Document) Document->Compact();
}

void TDomain::ApplyWithCurrentSettingsCommand() {
  if (!Document) return;
  TApplyDialogHandlers h;
  h.Start = [this](int Steps) { ApplyStart(Steps); };
  h.Stop = [this] { ApplyStop(); };
  h.Close = [this] { ApplyStop(); };
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
  TBackgroundChoice choice;
  choice.Color = Document->BackgroundColor;
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

void TDomain::NewStyleCommand() {
  std::string name = Styles.NewName();
  if (!FUi->InputBox("Brellin Pro", "Enter a name for the new style:", name)) return;
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
  Styles.SaveCurrentAs(name);
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
