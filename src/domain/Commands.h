// The program's command set as data: every command the menus, buttons and
// keys reach, in menu order. The domain carries them out (TDomain::
// ExecuteCommand) and says which are enabled (TDomain::CommandUpdate); the
// desktop program builds its actions from this table, the command line
// lists it.
#pragma once

#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace brellin {

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
  // Whether the enabling rule is ever asked; the commands that are not bound
  // to any control have no rule and stay enabled.
  bool Evaluated = true;
};

// The 46 commands in table order.
std::span<const TCommandInfo> CommandTable();
// The command of that name, or nullptr.
const TCommandInfo* FindCommand(std::string_view Name);
// The shortcuts joined by Separator ("Ctrl+Z,U,Shift+U").
std::string JoinShortcuts(const TCommandInfo& Command, std::string_view Separator = ",");

}  // namespace brellin
