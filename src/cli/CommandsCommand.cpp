// brellin-cli commands: the program's command set and which commands are
// enabled, with no document or right after opening a picture.
#include <cstdio>

#include "base/Errors.h"
#include "cli/CliCommon.h"
#include "cli/CliDomainUi.h"
#include "domain/Commands.h"

namespace brellin::cli {

const char* const kCommandsHelp =
    "usage: brellin-cli commands [--picture FILE] [--json]\n"
    "\n"
    "Lists the program's commands, one line each, tab-separated: name,\n"
    "category, caption, shortcuts (comma-separated) and enabled or disabled.\n"
    "  --picture FILE   open FILE first, as 'render' does, and show the state\n"
    "                   right after opening it (default: no document)\n"
    "  --json           one JSON array of objects with the keys name, category,\n"
    "                   caption, shortcuts and enabled\n";

int CommandsCommand(const std::vector<std::string>& args) {
  TArgs a(args, {"--picture"}, {"--json"});
  if (!a.Positional().empty()) throw EUsage("commands takes no positional arguments");
  TCliDomainUi ui;
  TPictureView source, destination;
  TDomain domain(&ui);
  domain.SourceView = &source;
  domain.DestinationView = &destination;
  if (a.Has("--picture")) {
    const std::string picture = a.Value("--picture");
    try {
      OpenInputPicture(domain, ui, picture);
    } catch (const EBrellinError& e) {
      throw EInputFailed(picture, e.what());
    }
  }
  const bool json = a.Has("--json");
  std::string out = json ? "[" : "";
  bool first = true;
  for (const TCommandInfo& c : CommandTable()) {
    const std::string name(c.Name), category(c.Category), caption(c.Caption);
    const bool enabled = domain.CommandEnabled(name);
    if (json) {
      std::string keys;
      for (std::string_view k : c.Shortcuts)
        keys += (keys.empty() ? "" : ",") + JsonString(std::string(k));
      out += std::string(first ? "\n" : ",\n") + "  {\"name\": " + JsonString(name) +
             ", \"category\": " + JsonString(category) + ", \"caption\": " + JsonString(caption) +
             ", \"shortcuts\": [" + keys + "], \"enabled\": " + (enabled ? "true" : "false") + "}";
    } else {
      out += name + "\t" + category + "\t" + caption + "\t" + JoinShortcuts(c) + "\t" +
             (enabled ? "enabled" : "disabled") + "\n";
    }
    first = false;
  }
  if (json) out += "\n]\n";
  if (std::fputs(out.c_str(), stdout) < 0 || std::fflush(stdout) != 0)
    throw EOutputFailed("stdout", "cannot be written");
  return kExitOk;
}

}  // namespace brellin::cli
