// Shared by the benchmark programs: a program folder in the system's
// temporary folder with the shipped brushes and styles.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <string>

namespace brellin::bench {

// Creates (once) the folder NAME in the system's temporary folder, copies the
// shipped brushes and styles into it and makes it the program folder.
inline const std::string& ProgramFolderFor(const std::string& Name) {
  static const std::string dir = [&] {
    namespace fs = std::filesystem;
    const fs::path d = fs::temp_directory_path() / Name;
    fs::create_directories(d);
    for (const auto& e : fs::directory_iterator(std::string(BRELLIN_SOURCE_DIR) + "/data"))
      if (e.path().extension() == ".srd" || e.path().extension() == ".bst")
        fs::copy_file(e.path(), d / e.path().filename(), fs::copy_options::overwrite_existing);
    ::setenv("BRELLIN_HOME", d.c_str(), 1);
    return d.string();
  }();
  return dir;
}

}  // namespace brellin::bench
