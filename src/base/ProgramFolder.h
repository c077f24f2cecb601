// The program folder: where the library files (brushes, styles, patterns),
// the help pages and the "tmp" folder live.
#pragma once

#include <string>

namespace brellin {

// The program folder with a trailing '/'. In order of preference:
// $BRELLIN_HOME when set; else the executable's own folder when it holds
// library files and is writable (a build tree, a portable copy); else the
// user's data folder $XDG_DATA_HOME/brellin (default ~/.local/share/brellin).
// An installed program (one with an installed data folder beside it) brings
// the chosen folder up to date with that data folder once per process.
// Decided afresh on every call, so a changed environment takes effect.
std::string ProgramFolder();

// The folder of the running executable, with a trailing '/'; empty when unknown.
std::string ExecutableFolder();

// The installed data folder, "<executable folder>/../share/brellin/", when it
// holds library files; empty otherwise (a build tree, a portable copy).
std::string InstalledDataFolder();

// True when Folder holds at least one library file (".srd", ".bst", ".stk").
bool HoldsLibraryFiles(const std::string& Folder);

// Name of the hidden file in a program folder that lists the shipped files
// already offered to it, one name a line.
extern const char* const ShippedManifestName;

// Brings the program folder Target up to date with the shipped data folder
// Source. Each top-level file of Source is offered once: copied when Target
// does not have it, never overwriting a file there, and never again once it
// is listed in Target's manifest, so a shipped file the user deleted stays
// deleted while a file new in a later version arrives. The help pages
// ("Help/") are the installed version's and are replaced when they differ.
// Failures (a read-only folder, a full disk) only leave Target less complete.
void SeedProgramFolder(const std::string& Source, const std::string& Target);

}  // namespace brellin
