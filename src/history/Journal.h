// The recovery journal: what an open document needs to be rebuilt after the
// program died. It starts with the document as it was when the journal
// began (in the project layout) and its paper, then one record per finished
// edit (its strokes as vectors) and per history event. Painting the strokes
// again rebuilds the pictures bit for bit.
//
// A record is its kind, its payload's length, the payload and a CRC-32 of
// all three, so a record torn by a crash is told apart from a complete one.
// Records are appended and synced by a background thread; the file stays
// locked (flock) while its process lives, which is how another process
// tells a live journal from an abandoned one.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "base/Bitmap32.h"
#include "base/Errors.h"
#include "base/Random.h"
#include "base/Types.h"
#include "render/Strokes.h"

namespace brellin {

enum TJournalRecordKind : uint32_t {
  jkHeader = 1,
  jkEdit = 2,
  jkUndo = 3,
  jkRedo = 4,
  jkUndoToSnapshot = 5,
  jkTakeSnapshot = 6,
  jkCompact = 7,
  jkBackground = 8,
};

// The paper a document paints on.
struct TJournalPaper {
  TColor32 Color = clWhite32;
  uint8_t Mode = 0;
  std::shared_ptr<const TBitmap32> Picture;  // may be null
};

struct TJournalHeader {
  int64_t Created = 0;          // seconds since 1970
  std::string DocumentName;     // what the user opened: a picture or a project
  std::string ProjectFileName;  // empty until the document has a project
  TJournalPaper Paper;
  // The document at the start: the three pictures and the history, as a
  // project file holds them.
  std::vector<uint8_t> Base;
  // Or, for a document with no history yet, its source, destination and
  // feature map, from which the writer makes Base.
  std::vector<std::shared_ptr<const TBitmap32>> BasePictures;
};

// One finished edit: the strokes in painting order, the rectangle the edit
// touched and the generator's state after it.
struct TJournalEdit {
  TRect Rect = EmptyRect;
  TRandomState Random;
  std::vector<TStrokeRecord> Strokes;
};

// Bytes every journal starts with: a signature and the format's version.
constexpr char JournalSignature[8] = {'B', 'R', 'L', 'N', 'J', 'R', 'N', 'L'};
constexpr uint32_t JournalVersion = 1;
constexpr size_t JournalPreambleSize = 12;
// Kind, length (64 bits), then the payload and the CRC.
constexpr size_t JournalRecordOverhead = 4 + 8 + 4;

uint32_t Crc32(const uint8_t* Data, size_t Size, uint32_t Crc = 0);

// Encoding, for the writer and for tests that build journals by hand.
std::vector<uint8_t> EncodeJournalPreamble();
std::vector<uint8_t> EncodeJournalRecord(uint32_t Kind, const std::vector<uint8_t>& Payload);
std::vector<uint8_t> EncodeJournalHeader(const TJournalHeader& Header);
std::vector<uint8_t> EncodePaper(const TJournalPaper& Paper);

// Collects one edit's strokes as they are committed, in the edit record's
// payload layout, so that ending the edit costs no more than a move.
class TJournalEditBuffer {
 public:
  void Begin();
  void AddStroke(const TArrayOfFixedPoint& Left, const TArrayOfFixedPoint& Right,
                 uint16_t ReliefParams, int32_t Id, uint8_t Alpha, TColor32 Color);
  // The finished payload; the buffer starts empty again.
  std::vector<uint8_t> Finish(const TRect& Rect, const TRandomState& Random);
  uint32_t StrokeCount() const { return FCount; }

 private:
  std::vector<uint8_t> FStrokes;
  uint32_t FCount = 0;
};

// A journal that ends before its header does: the program died while
// starting it, before any edit, so it holds nothing to recover.
class EJournalHeaderTorn : public EInvalidData {
 public:
  using EInvalidData::EInvalidData;
};

// A record read back.
struct TJournalRecord {
  uint32_t Kind = 0;
  std::vector<uint8_t> Payload;
  int64_t End = 0;  // the file offset just past it
};

// Reads the records of a journal held in memory. Damage (a record cut short
// or whose CRC does not match, as a crash leaves it) ends the reading: the
// records before it are complete. A journal that is not one, or a complete
// record whose contents cannot be right, throws EInvalidData.
class TJournalReader {
 public:
  TJournalReader(const uint8_t* Data, size_t Size);
  // The header record; throws EInvalidData when the journal is not one,
  // EJournalHeaderTorn when it ends before its header does.
  const TJournalHeader& Header() const { return FHeader; }
  // The next complete record after the header; false at the end or at damage.
  bool Next(TJournalRecord& Record);
  // Whether reading stopped at damage rather than at the end, where, and why.
  bool Damaged() const { return FDamaged; }
  int64_t ValidEnd() const { return FValidEnd; }
  const std::string& Damage() const { return FDamage; }

 private:
  bool ReadRecord(TJournalRecord& Record);
  const uint8_t* FData;
  size_t FSize;
  size_t FPos = 0;
  TJournalHeader FHeader;
  bool FDamaged = false;
  int64_t FValidEnd = 0;
  std::string FDamage;
};

// Payload decoders; throw EInvalidData for contents that cannot be right.
TJournalEdit DecodeJournalEdit(const std::vector<uint8_t>& Payload);
TJournalPaper DecodePaper(const std::vector<uint8_t>& Payload);

class TJournalWriter;

// An open document's journal: collects each edit's strokes while it runs
// and hands finished edits and history events to the writer.
class TDocumentJournal {
 public:
  explicit TDocumentJournal(std::unique_ptr<TJournalWriter> Writer);
  ~TDocumentJournal();
  void BeginEdit() { FEdit.Begin(); }
  void AddStroke(const TArrayOfFixedPoint& Left, const TArrayOfFixedPoint& Right,
                 uint16_t ReliefParams, int32_t Id, uint8_t Alpha, TColor32 Color) {
    FEdit.AddStroke(Left, Right, ReliefParams, Id, Alpha, Color);
  }
  void EndEdit(const TRect& Rect, const TRandomState& Random);
  void CancelEdit() { FEdit.Begin(); }
  void Event(TJournalRecordKind Kind);
  void Paper(const TJournalPaper& Paper);
  TJournalWriter& Writer() { return *FWriter; }

 private:
  std::unique_ptr<TJournalWriter> FWriter;
  TJournalEditBuffer FEdit;
  bool FFailureLogged = false;
};

// Appends records to a journal file on a thread of its own, syncing each
// batch to the disk, so the caller never waits for the disk. After a failed
// write nothing more is written: a later record after a lost one would
// rebuild something that never was.
class TJournalWriter {
 public:
  // Creates a new journal in Folder (made when missing), locked; throws
  // EWriteError when it cannot.
  explicit TJournalWriter(const std::string& Folder);
  // Continues an existing journal through Fd, which holds its lock: the
  // file is cut to ValidEnd (dropping a torn record) and appended to.
  TJournalWriter(int Fd, const std::string& FileName, int64_t ValidEnd);
  // Writes what is queued, then closes; the file stays.
  ~TJournalWriter();
  TJournalWriter(const TJournalWriter&) = delete;
  TJournalWriter& operator=(const TJournalWriter&) = delete;

  // A record of Kind around Payload; it is framed and check-summed on the
  // writer's thread, as the header's pictures are encoded there.
  void Append(uint32_t Kind, std::vector<uint8_t> Payload);
  void AppendHeader(TJournalHeader Header);
  // Waits until everything queued is on the disk; false after a failure.
  bool Flush();
  // Stops writing and deletes the file.
  void Discard();
  const std::string& FileName() const { return FFileName; }
  bool Failed() const;

 private:
  struct TJob {
    uint32_t Kind = 0;  // 0: Bytes go out as they are
    std::vector<uint8_t> Bytes;
    std::unique_ptr<TJournalHeader> Header;
  };
  void Run();
  void Stop();
  int FFd = -1;
  std::string FFileName;
  mutable std::mutex FLock;
  std::condition_variable FWake, FDone;
  std::deque<TJob> FQueue;
  bool FWriting = false, FStop = false, FFailed = false;
  std::thread FThread;
};

// Where journals live: "recovery/" in the program folder.
std::string RecoveryFolder();

// Opens a journal and takes its lock when no living process holds it.
// Returns the descriptor (read-write), or -1 when the journal is in use (or
// cannot be opened: Error says why).
int LockJournal(const std::string& FileName, std::string* Error = nullptr);

}  // namespace brellin
