// The domain's side of crash recovery: a journal for the open document,
// and the journals of programs that died offered at start.
#include <unistd.h>

#include <ctime>

#include "analysis/BDibUtils.h"
#include "base/Errors.h"
#include "base/ProgramFolder.h"
#include "base/Stream.h"
#include "domain/BDomain.h"
#include "domain/Recovery.h"

namespace brellin {

namespace {

void LogJournalProblem(const std::string& Text) {
  AppendLine(ProgramFolder() + "brellin.log", "recovery journal: " + Text);
}

}  // namespace

void TDomain::StartJournal(const std::string& DocumentName, const std::string& ProjectFile) {
  DropJournal();
  if (!RecoveryJournal || !Document) return;
  // Without a journal the program works as before; it only cannot recover.
  try {
    TJournalHeader h;
    h.Created = int64_t(std::time(nullptr));
    h.DocumentName = DocumentName;
    h.ProjectFileName = Document->ProjectFileName;
    h.Paper.Color = Document->BackgroundColor;
    h.Paper.Mode = Document->BackgroundMode;
    if (Document->BackgroundPicture)
      h.Paper.Picture = std::make_shared<const TBitmap32>(*Document->BackgroundPicture);
    if (!ProjectFile.empty()) {
      h.Base = ReadWholeFile(ProjectFile);
    } else {
      // Copies: the writer encodes them while painting goes on.
      h.BasePictures = {std::make_shared<const TBitmap32>(Document->Source()),
                        std::make_shared<const TBitmap32>(Document->Destination()),
                        std::make_shared<const TBitmap32>(Document->FeatureMap)};
    }
    auto writer = std::make_unique<TJournalWriter>(RecoveryFolder());
    writer->AppendHeader(std::move(h));
    Journal = std::make_unique<TDocumentJournal>(std::move(writer));
    Document->Journal = Journal.get();
  } catch (const EBrellinError& e) {
    LogJournalProblem(e.what());
  } catch (const std::bad_alloc&) {
    LogJournalProblem("not enough memory to start one");
  }
}

void TDomain::DropJournal() {
  if (!Journal) return;
  if (Document) Document->Journal = nullptr;
  Journal->Writer().Discard();
  Journal.reset();
}

void TDomain::RecoverJournal(const std::string& FileName) {
  std::string why;
  // Another program may be reading it for a moment (listing the journals);
  // one that lives on keeps it.
  int fd = -1;
  for (int attempt = 0; attempt < 40 && fd < 0; ++attempt) {
    fd = LockJournal(FileName, &why);
    if (fd < 0 && why != "in use by a running program") break;
    if (fd < 0) ::usleep(50000);
  }
  if (fd < 0) throw EBrellinError(FileName + ": " + why);
  struct TCloser {
    int Fd;
    ~TCloser() {
      if (Fd >= 0) ::close(Fd);
    }
  } closer{fd};
  const std::vector<uint8_t> bytes = ReadJournalFd(fd);
  // A journal that is not one, or is cut short before its header, leaves
  // the open document alone; one whose records prove forged while they are
  // painted again ends with no document (the program offers journals at
  // start, before any is open).
  SummarizeJournal(bytes);
  ResetViews();
  FreeDocument();
  TRecoveredDocument r;
  try {
    r = RebuildFromJournal(bytes.data(), bytes.size(), SourceView, DestinationView, &Brushes,
                           &Patterns);
  } catch (...) {
    ResetViews();
    if (OnRefresh) OnRefresh(*this);
    throw;
  }
  Document = std::move(r.Document);
  Document->ProjectFileName = r.Header.ProjectFileName;
  SetUpDocument();
  Document->Modified = true;
  // Painting goes on as it would have in the program that died.
  if (r.HasRandom) SetCurrentRandomState(r.Random);
  try {
    auto writer = std::make_unique<TJournalWriter>(fd, FileName, r.ValidEnd);
    closer.Fd = -1;  // the writer has it, and its lock
    Journal = std::make_unique<TDocumentJournal>(std::move(writer));
    Document->Journal = Journal.get();
  } catch (const std::exception& e) {
    LogJournalProblem(e.what());
  }
  StartToolManager();
  Notify(OnCommandsChanged);
  if (r.Damaged)
    FUi->InfoBox("Brellin Pro", "The recovery journal was damaged by the crash (" + r.Damage +
                                    "). " + std::to_string(r.Edits) +
                                    (r.Edits == 1 ? " edit was" : " edits were") +
                                    " recovered; the edit in progress was lost.");
}

bool TDomain::OfferRecovery() {
  for (const TJournalSummary& j : ListJournals(RecoveryFolder())) {
    if (j.InUse) continue;
    if (j.HeaderTorn) {
      // Died while starting it: no edit was ever recorded, nothing is lost.
      const int fd = LockJournal(j.FileName);
      if (fd >= 0) {
        ::unlink(j.FileName.c_str());
        ::close(fd);
      }
      continue;
    }
    if (!j.Problem.empty()) {
      LogJournalProblem(j.FileName + ": " + j.Problem);
      continue;
    }
    switch (FUi->AskRecovery(RecoveryQuestion(j))) {
      case TDomainUi::raRecover:
        try {
          RecoverJournal(j.FileName);
          return true;
        } catch (const EBrellinError& e) {
          FUi->ErrorBox("Brellin Pro", "The work could not be recovered: " + std::string(e.what()));
        }
        break;
      case TDomainUi::raDiscard: {
        // Only while it is ours: a program that took it up meanwhile keeps it.
        const int fd = LockJournal(j.FileName);
        if (fd >= 0) {
          ::unlink(j.FileName.c_str());
          ::close(fd);
        }
        break;
      }
      case TDomainUi::raLater:
        break;
    }
  }
  return false;
}

}  // namespace brellin
