// The program's command set as data: every command the menus, buttons and
// keys reach, in menu order. The domain carries them out (TDomain::
// ExecuteCommand) and says which are enabled (TDomain::CommandUpdate); the
// desktop program builds its actions from this table, the command line
// lists it.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace brellin {

// When a command is enabled ("doc": a document is open).
enum TCommandRule : uint8_t {
  crNone,  // never evaluated: bound to no control, stays enabled
  crAlways,
  crDocument,
  crClipboard,       // the clipboard holds a picture
  crProjectName,     // doc with a project file name
  crVectors,         // doc with recorded strokes in the applied states
  crUndo,            // doc and undo possible
  crRedo,            // doc and redo possible
  crApplyDone,       // doc and an apply run was started on it
  crSnapshot,        // doc, a top state that is not yet a snapshot
  crPurge,           // doc, undo possible, more than one applied state
  crPatterns,        // more than one pattern
  crStyleSavable,    // a modified current style that is not the "Scratch Style"
  crCurrentStyle,    // a current style
  crStyleDeletable,  // a current style other than the "Scratch Style", two or more styles
  crStyleModified,   // a modified current style
  crUndoSnapshot     // doc, a snapshot below the top state to go back to
};

// What a command's check mark shows.
enum TCommandCheck : uint8_t { ckNone, ckViewBorders, ckViewDirections, ckStopOnBorders };

struct TCommandInfo {
  std::string_view Name;      // "OpenCommand"
  std::string_view Category;  // "File", "Edit", "Tools", ...
  std::string_view Caption;
  std::string_view Hint;  // empty when the command has none
  // Key chords such as "Ctrl+Alt+N", "F10" or "U"; the first is the primary
  // shortcut. A letter key means the letter without Shift.
  std::vector<std::string_view> Shortcuts;
  int ImageIndex = -1;  // icon of the tool image list; -1 for none
  int GroupIndex = 0;   // the tool commands share group 1
  TCommandRule Rule = crDocument;
  TCommandCheck Check = ckNone;
  // Whether the enabling rule is ever asked.
  bool Evaluated() const { return Rule != crNone; }
};

// The 46 commands in table order.
std::span<const TCommandInfo> CommandTable();
// The command of that name, or nullptr.
const TCommandInfo* FindCommand(std::string_view Name);
// The shortcuts joined by Separator ("Ctrl+Z,U,Shift+U").
std::string JoinShortcuts(const TCommandInfo& Command, std::string_view Separator = ",");

}  // namespace brellin
