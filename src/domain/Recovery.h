// Recovery after a crash: the journals left by programs that died, and the
// document rebuilt from one by painting its recorded strokes again.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "base/Random.h"
#include "domain/DualImage.h"
#include "history/Journal.h"

namespace brellin {

class TPersistentObjectManager;

// What a journal holds, read without rebuilding anything.
struct TJournalSummary {
  std::string FileName;
  bool InUse = false;       // a living process holds it: not read
  std::string Problem;      // why it cannot be recovered (unreadable, forged)
  bool HeaderTorn = false;  // its program died while starting it: nothing in it
  std::string DocumentName, ProjectFileName;
  int64_t Created = 0, LastWrite = 0;  // seconds since 1970
  int Edits = 0, Events = 0;
  int64_t Strokes = 0;  // painted by the journal's edits
  bool Damaged = false;
  std::string Damage;
};

// Summarises a journal's bytes (the counts of its complete records).
TJournalSummary SummarizeJournal(const std::vector<uint8_t>& Bytes);

// The journals in Folder ("*.bjr", links not followed), oldest first. A
// journal whose lock another process holds is listed as in use and not read.
std::vector<TJournalSummary> ListJournals(const std::string& Folder);

// "Brellin Pro was closed unexpectedly. Recover the work on NAME from TIME
// (N strokes)?"
std::string RecoveryQuestion(const TJournalSummary& Journal);

// "YYYY-MM-DD HH:MM" in local time.
std::string JournalTimeText(int64_t Seconds);

struct TRecoveredDocument {
  std::unique_ptr<TDualImage> Document;
  TJournalHeader Header;  // without its base
  int Edits = 0, Events = 0;
  TRandomState Random;  // the generator after the last edit
  bool HasRandom = false;
  bool Damaged = false;
  std::string Damage;
  int64_t ValidEnd = 0;  // where the complete records end
};

// Rebuilds the document of a journal on the two views: the document at
// the journal's start, then every complete edit and event in order. Damage
// at the end (a crash's torn record) ends the replay there; a journal that
// is not one or whose complete records cannot be right throws EInvalidData.
TRecoveredDocument RebuildFromJournal(const uint8_t* Data, size_t Size, TPictureView* SourceView,
                                      TPictureView* DestinationView,
                                      TPersistentObjectManager* Brushes,
                                      TPersistentObjectManager* Patterns);

// Reads the whole file behind Fd from its start.
std::vector<uint8_t> ReadJournalFd(int Fd);

}  // namespace brellin
