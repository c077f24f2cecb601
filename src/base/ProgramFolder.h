// The program folder: where the library files (brushes, styles, patterns),
// the help pages and the "tmp" folder live.
#pragma once

#include <string>

namespace brellin {

// The program folder with a trailing '/'. In order of preference:
// $BRELLIN_HOME when set; else the executable's own folder when it holds
// library files and is writable (a build tree, a portable copy); else the
// user's data folder $XDG_DATA_HOME/brellin (default ~/.local/share/brellin),
// seeded from the installed data folder the first time it is created.
// Decided afresh on every call, so a changed environment takes effect.
std::string ProgramFolder();

// The folder of the running executable, with a trailing '/'; empty when unknown.
std::string ExecutableFolder();

// The installed data folder that seeds a new user data folder.
std::string InstalledDataFolder();

// True when Folder holds at least one library file (".srd", ".bst", ".stk").
bool HoldsLibraryFiles(const std::string& Folder);

}  // namespace brellin
