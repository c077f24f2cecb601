// brellin-cli recover: the work of a desktop program that died, from its
// recovery journal, without a display.
#include <cstdio>
#include <string>

#include "base/Errors.h"
#include "cli/CliCommon.h"
#include "cli/CliLibraries.h"
#include "domain/BDomain.h"
#include "domain/Recovery.h"

namespace brellin::cli {

const char* const kRecoverHelp =
    "usage: brellin-cli recover --list\n"
    "       brellin-cli recover JOURNAL -o PROJECT.bpj [--quiet]\n"
    "\n"
    "Lists the recovery journals of the program folder, or rebuilds the\n"
    "document of one by painting its recorded strokes again and saves it as a\n"
    "project. The journal is removed once the project is written.\n"
    "  --list     each journal: its picture, time, strokes and whether it can be\n"
    "             recovered (a journal of a running program is in use)\n"
    "  -o FILE    the project to write\n";

namespace {

int ListCommand() {
  const std::vector<TJournalSummary> list = ListJournals(RecoveryFolder());
  if (list.empty()) std::printf("no recovery journals in %s\n", RecoveryFolder().c_str());
  for (const TJournalSummary& j : list) {
    std::printf("%s\n", j.FileName.c_str());
    if (j.InUse) {
      std::printf("  in use by a running program\n");
      continue;
    }
    if (!j.Problem.empty()) {
      std::printf("  cannot be recovered: %s\n", j.Problem.c_str());
      continue;
    }
    std::printf("  %s, %s\n",
                j.DocumentName.empty() ? "(untitled picture)" : j.DocumentName.c_str(),
                JournalTimeText(j.LastWrite).c_str());
    std::printf("  %lld strokes in %d edits, %d history events\n",
                static_cast<long long>(j.Strokes), j.Edits, j.Events);
    if (j.Damaged)
      std::printf("  damaged at its end (%s): its complete edits can be recovered\n",
                  j.Damage.c_str());
  }
  return kExitOk;
}

struct TRecoverUi : TSilentUi {
  std::string Damage;
  void InfoBox(const std::string&, const std::string& Text) override { Damage = Text; }
};

}  // namespace

int RecoverCommand(const std::vector<std::string>& args) {
  TArgs a(args, {"-o"}, {"--list", "--quiet"});
  if (a.Has("--list")) {
    if (!a.Positional().empty() || a.Has("-o")) throw EUsage("--list takes nothing else");
    return ListCommand();
  }
  if (a.Positional().size() != 1) throw EUsage("recover takes exactly one JOURNAL");
  if (!a.Has("-o")) throw EUsage("recover needs -o PROJECT.bpj");
  const std::string journal = a.Positional()[0];
  const std::string out = a.Value("-o");
  CheckFiles({journal}, {{out, TOutputKind::Project}});
  TTerminalProgress progress(a.Has("--quiet"));
  TRecoverUi ui;
  TPictureView source, destination;
  TDomain domain(&ui);
  domain.SourceView = &source;
  domain.DestinationView = &destination;
  // Until the project is written the journal is the only copy of the work:
  // leaving by any other way closes it without removing it.
  struct TKeepJournal {
    TDomain& Domain;
    ~TKeepJournal() {
      if (Domain.Document) Domain.Document->Journal = nullptr;
      Domain.Journal.reset();
    }
  } keep{domain};
  try {
    domain.RecoverJournal(journal);
  } catch (const EBrellinError& e) {
    throw EInputFailed(journal, e.what());
  }
  domain.Document->ProjectFileName = out;
  try {
    // Written as the desktop program saves a project; the save then
    // removes the journal it took over.
    domain.SaveProjectCommand();
  } catch (const std::exception& e) {
    throw EOutputFailed(out, e.what());
  }
  if (!a.Has("--quiet")) {
    if (!ui.Damage.empty())
      std::fprintf(stderr, "brellin-cli: %s: %s\n", journal.c_str(), ui.Damage.c_str());
    std::fprintf(stderr, "recovered %lld strokes into %s\n",
                 static_cast<long long>(domain.Document->VectorCount()), out.c_str());
  }
  return kExitOk;
}

}  // namespace brellin::cli
