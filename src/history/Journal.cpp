#include "history/Journal.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <filesystem>

#include "analysis/BDibUtils.h"
#include "base/BmpCodec.h"
#include "base/Errors.h"
#include "base/ProgramFolder.h"
#include "base/Stream.h"

namespace brellin {

namespace fs = std::filesystem;

namespace {

// Longest name a header may hold; a longer one is a forgery.
constexpr uint32_t MaxNameBytes = 64 * 1024;

void Put8(std::vector<uint8_t>& B, uint8_t V) {
  B.push_back(V);
}
void Put32(std::vector<uint8_t>& B, uint32_t V) {
  const uint8_t b[4] = {uint8_t(V), uint8_t(V >> 8), uint8_t(V >> 16), uint8_t(V >> 24)};
  B.insert(B.end(), b, b + 4);
}
void Put64(std::vector<uint8_t>& B, uint64_t V) {
  Put32(B, uint32_t(V));
  Put32(B, uint32_t(V >> 32));
}
void PutString(std::vector<uint8_t>& B, const std::string& S) {
  Put32(B, uint32_t(S.size()));
  B.insert(B.end(), S.begin(), S.end());
}
void PutSide(std::vector<uint8_t>& B, const TArrayOfFixedPoint& Side, uint16_t Relief) {
  Put32(B, uint32_t(Side.size()) | uint32_t(Relief) << 16);
  const size_t at = B.size();
  B.resize(at + Side.size() * 8);
  uint8_t* p = B.data() + at;
  for (const TFixedPoint& q : Side) {
    const uint32_t x = uint32_t(q.X), y = uint32_t(q.Y);
    for (int k = 0; k < 4; ++k) {
      p[k] = uint8_t(x >> (8 * k));
      p[4 + k] = uint8_t(y >> (8 * k));
    }
    p += 8;
  }
}

uint32_t Get32(const uint8_t* P) {
  return uint32_t(P[0]) | uint32_t(P[1]) << 8 | uint32_t(P[2]) << 16 | uint32_t(P[3]) << 24;
}
uint64_t Get64(const uint8_t* P) {
  return uint64_t(Get32(P)) | uint64_t(Get32(P + 4)) << 32;
}

// Reads a payload front to back; anything past its end is a forgery.
class TPayloadReader {
 public:
  TPayloadReader(const std::vector<uint8_t>& P, const char* What) : FP(P), FWhat(What) {}
  const uint8_t* Take(size_t N) {
    if (FP.size() - FPos < N) Fail("ends early");
    const uint8_t* p = FP.data() + FPos;
    FPos += N;
    return p;
  }
  uint8_t U8() { return *Take(1); }
  uint32_t U32() { return Get32(Take(4)); }
  uint64_t U64() { return Get64(Take(8)); }
  std::string String() {
    const uint32_t n = U32();
    if (n > MaxNameBytes) Fail("holds a name of " + std::to_string(n) + " bytes");
    const uint8_t* p = Take(n);
    return std::string(reinterpret_cast<const char*>(p), n);
  }
  size_t Remaining() const { return FP.size() - FPos; }
  size_t Position() const { return FPos; }
  void End() {
    if (FPos != FP.size()) Fail("holds " + std::to_string(FP.size() - FPos) + " bytes too many");
  }
  [[noreturn]] void Fail(const std::string& Why) {
    throw EInvalidData(std::string("the journal's ") + FWhat + " " + Why);
  }

 private:
  const std::vector<uint8_t>& FP;
  const char* FWhat;
  size_t FPos = 0;
};

std::shared_ptr<const TBitmap32> ReadPicture(TPayloadReader& R) {
  const uint64_t n = R.U64();
  if (n > R.Remaining()) R.Fail("ends inside its paper picture");
  const uint8_t* p = R.Take(size_t(n));
  TBytesStream s(p, size_t(n));
  auto b = std::make_shared<TBitmap32>();
  try {
    LoadBMPFromStream(*b, s);
  } catch (const EBrellinError& e) {
    R.Fail(std::string("paper picture: ") + e.what());
  }
  return b;
}

void PutPicture(std::vector<uint8_t>& B, const TBitmap32& Picture) {
  TMemoryStream m;
  SaveBMPToStream(Picture, m, 32);
  Put64(B, m.Data().size());
  B.insert(B.end(), m.Data().begin(), m.Data().end());
}

void PutPaper(std::vector<uint8_t>& B, const TJournalPaper& Paper) {
  Put32(B, Paper.Color);
  Put8(B, Paper.Mode);
  const bool picture = Paper.Picture && !Paper.Picture->Empty();
  Put8(B, picture ? 1 : 0);
  if (picture) PutPicture(B, *Paper.Picture);
}

TJournalPaper ReadPaper(TPayloadReader& R) {
  TJournalPaper p;
  p.Color = R.U32();
  p.Mode = R.U8();
  if (p.Mode > 2) R.Fail("names paper mode " + std::to_string(p.Mode));
  const uint8_t picture = R.U8();
  if (picture > 1) R.Fail("has a paper picture flag of " + std::to_string(picture));
  if (picture) p.Picture = ReadPicture(R);
  return p;
}

bool WriteAll(int Fd, const uint8_t* P, size_t N) {
  while (N > 0) {
    const ssize_t k = ::write(Fd, P, N);
    if (k < 0 && errno == EINTR) continue;
    if (k <= 0) return false;
    P += k;
    N -= size_t(k);
  }
  return true;
}

}  // namespace

uint32_t Crc32(const uint8_t* Data, size_t Size, uint32_t Crc) {
  static const auto table = [] {
    std::array<uint32_t, 256> t{};
    for (uint32_t i = 0; i < 256; ++i) {
      uint32_t c = i;
      for (int k = 0; k < 8; ++k) c = c & 1 ? 0xEDB88320u ^ (c >> 1) : c >> 1;
      t[i] = c;
    }
    return t;
  }();
  Crc = ~Crc;
  for (size_t i = 0; i < Size; ++i) Crc = table[(Crc ^ Data[i]) & 0xFF] ^ (Crc >> 8);
  return ~Crc;
}

std::vector<uint8_t> EncodeJournalPreamble() {
  std::vector<uint8_t> b(JournalSignature, JournalSignature + sizeof JournalSignature);
  Put32(b, JournalVersion);
  return b;
}

std::vector<uint8_t> EncodeJournalRecord(uint32_t Kind, const std::vector<uint8_t>& Payload) {
  std::vector<uint8_t> b;
  b.reserve(Payload.size() + JournalRecordOverhead);
  Put32(b, Kind);
  Put64(b, Payload.size());
  b.insert(b.end(), Payload.begin(), Payload.end());
  Put32(b, Crc32(b.data(), b.size()));
  return b;
}

std::vector<uint8_t> EncodePaper(const TJournalPaper& Paper) {
  std::vector<uint8_t> b;
  PutPaper(b, Paper);
  return b;
}

std::vector<uint8_t> EncodeJournalHeader(const TJournalHeader& Header) {
  std::vector<uint8_t> p;
  Put64(p, uint64_t(Header.Created));
  PutString(p, Header.DocumentName);
  PutString(p, Header.ProjectFileName);
  PutPaper(p, Header.Paper);
  if (Header.Base.empty() && !Header.BasePictures.empty()) {
    TMemoryStream m;
    for (const auto& b : Header.BasePictures) SaveBMPToStream(*b, m, 32);
    m.WriteValue<int32_t>(0);  // Position
    m.WriteValue<int32_t>(0);  // no states
    Put64(p, m.Data().size());
    p.insert(p.end(), m.Data().begin(), m.Data().end());
  } else {
    Put64(p, Header.Base.size());
    p.insert(p.end(), Header.Base.begin(), Header.Base.end());
  }
  return EncodeJournalRecord(jkHeader, p);
}

void TJournalEditBuffer::Begin() {
  FStrokes.clear();
  FCount = 0;
}

void TJournalEditBuffer::AddStroke(const TArrayOfFixedPoint& Left, const TArrayOfFixedPoint& Right,
                                   uint16_t ReliefParams, int32_t Id, uint8_t Alpha,
                                   TColor32 Color) {
  // The stroke list refuses longer sides before this is reached.
  if (Left.size() > 0xFFFF || Right.size() > 0xFFFF) return;
  Put32(FStrokes, Color);
  Put8(FStrokes, Alpha);
  Put32(FStrokes, uint32_t(Id));
  PutSide(FStrokes, Left, ReliefParams);
  PutSide(FStrokes, Right, ReliefParams);
  ++FCount;
}

std::vector<uint8_t> TJournalEditBuffer::Finish(const TRect& Rect, const TRandomState& Random) {
  std::vector<uint8_t> p;
  p.reserve(FStrokes.size() + 36);
  for (int32_t v : {Rect.Left, Rect.Top, Rect.Right, Rect.Bottom}) Put32(p, uint32_t(v));
  Put32(p, Random.Seed);
  Put64(p, Random.Draws);
  Put32(p, FCount);
  p.insert(p.end(), FStrokes.begin(), FStrokes.end());
  Begin();
  return p;
}

TJournalEdit DecodeJournalEdit(const std::vector<uint8_t>& Payload) {
  TPayloadReader r(Payload, "edit record");
  TJournalEdit e;
  e.Rect.Left = int32_t(r.U32());
  e.Rect.Top = int32_t(r.U32());
  e.Rect.Right = int32_t(r.U32());
  e.Rect.Bottom = int32_t(r.U32());
  e.Random.Seed = r.U32();
  e.Random.Draws = r.U64();
  const uint32_t n = r.U32();
  // 17 bytes is the smallest stroke: the count cannot be more than that allows.
  if (n > r.Remaining() / 17) r.Fail("claims " + std::to_string(n) + " strokes");
  e.Strokes.resize(n);
  for (TStrokeRecord& s : e.Strokes) {
    s.Color = r.U32();
    s.Alpha = r.U8();
    s.Id = int32_t(r.U32());
    for (TArrayOfFixedPoint* side : {&s.LeftSide, &s.RightSide}) {
      const uint32_t h = r.U32();
      const size_t points = h & 0xFFFF;
      s.ReliefParams = uint16_t(h >> 16);
      const uint8_t* p = r.Take(points * 8);
      side->resize(points);
      for (size_t i = 0; i < points; ++i)
        (*side)[i] = {TFixed(Get32(p + i * 8)), TFixed(Get32(p + i * 8 + 4))};
    }
  }
  r.End();
  return e;
}

TJournalPaper DecodePaper(const std::vector<uint8_t>& Payload) {
  TPayloadReader r(Payload, "paper record");
  TJournalPaper p = ReadPaper(r);
  r.End();
  return p;
}

TJournalReader::TJournalReader(const uint8_t* Data, size_t Size) : FData(Data), FSize(Size) {
  if (Size < JournalPreambleSize || std::memcmp(Data, JournalSignature, 8) != 0) {
    // An empty file or a part of the signature: died while creating it.
    if (Size < JournalPreambleSize &&
        (Size == 0 || std::memcmp(Data, JournalSignature, std::min<size_t>(Size, 8)) == 0))
      throw EJournalHeaderTorn("the journal was cut short before its header: nothing to recover");
    throw EInvalidData("not a Brellin recovery journal");
  }
  const uint32_t version = Get32(Data + 8);
  if (version != JournalVersion)
    throw EInvalidData("a recovery journal of version " + std::to_string(version) +
                       ", which this program does not read");
  FPos = JournalPreambleSize;
  FValidEnd = int64_t(FPos);
  TJournalRecord header;
  if (!ReadRecord(header))
    throw EJournalHeaderTorn("the journal is damaged before its header ends (" + FDamage +
                             "): nothing to recover");
  if (header.Kind != jkHeader) throw EInvalidData("the journal does not start with its header");
  TPayloadReader r(header.Payload, "header");
  FHeader.Created = int64_t(r.U64());
  FHeader.DocumentName = r.String();
  FHeader.ProjectFileName = r.String();
  FHeader.Paper = ReadPaper(r);
  const uint64_t n = r.U64();
  if (n != r.Remaining()) r.Fail("announces a document of " + std::to_string(n) + " bytes");
  const uint8_t* base = r.Take(size_t(n));
  FHeader.Base.assign(base, base + n);
}

bool TJournalReader::ReadRecord(TJournalRecord& Record) {
  if (FDamaged || FPos == FSize) return false;
  auto damage = [&](const std::string& Why) {
    FDamaged = true;
    FDamage = Why + " at byte " + std::to_string(FPos);
    return false;
  };
  const size_t left = FSize - FPos;
  if (left < JournalRecordOverhead) return damage("a record cut short");
  const uint8_t* p = FData + FPos;
  const uint32_t kind = Get32(p);
  const uint64_t n = Get64(p + 4);
  if (n > left - JournalRecordOverhead) return damage("a record cut short");
  const uint32_t crc = Get32(p + 12 + n);
#ifndef FUZZING_BUILD_MODE_UNSAFE_FOR_PRODUCTION
  // (A fuzzing build takes every record as complete, so that mutations
  // reach the contents.)
  if (Crc32(p, size_t(12 + n)) != crc) return damage("a record whose check sum does not match");
#else
  (void)crc;
#endif
  Record.Kind = kind;
  Record.Payload.assign(p + 12, p + 12 + n);
  FPos += size_t(n) + JournalRecordOverhead;
  FValidEnd = int64_t(FPos);
  Record.End = FValidEnd;
  return true;
}

bool TJournalReader::Next(TJournalRecord& Record) {
  if (!ReadRecord(Record)) return false;
  if (Record.Kind < jkEdit || Record.Kind > jkBackground)
    throw EInvalidData("the journal holds a record of unknown kind " + std::to_string(Record.Kind));
  return true;
}

TDocumentJournal::TDocumentJournal(std::unique_ptr<TJournalWriter> Writer)
    : FWriter(std::move(Writer)) {}

TDocumentJournal::~TDocumentJournal() = default;

void TDocumentJournal::EndEdit(const TRect& Rect, const TRandomState& Random) {
  FWriter->Append(jkEdit, FEdit.Finish(Rect, Random));
  // A journal that could not be written (a full disk) recovers only what
  // came before: that is worth a line in the log.
  if (!FFailureLogged && FWriter->Failed()) {
    FFailureLogged = true;
    AppendLine(ProgramFolder() + "brellin.log",
               FWriter->FileName() +
                   ": the recovery journal could not be written; edits from "
                   "here on cannot be recovered after a crash");
  }
}

void TDocumentJournal::Event(TJournalRecordKind Kind) {
  FWriter->Append(Kind, {});
}

void TDocumentJournal::Paper(const TJournalPaper& Paper) {
  FWriter->Append(jkBackground, EncodePaper(Paper));
}

// The writer.

TJournalWriter::TJournalWriter(const std::string& Folder) {
  std::error_code ec;
  fs::create_directories(Folder, ec);
  ::chmod(Folder.c_str(), 0700);
  static std::atomic<unsigned> counter{0};
  for (int attempt = 0; attempt < 100 && FFd < 0; ++attempt) {
    FFileName = (fs::path(Folder) / ("journal-" + std::to_string(::getpid()) + "-" +
                                     std::to_string(counter++) + ".bjr"))
                    .string();
    FFd = ::open(FFileName.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (FFd < 0 && errno != EEXIST) break;
  }
  if (FFd < 0)
    throw EWriteError(FFileName + ": cannot create the recovery journal: " + std::strerror(errno));
  if (::flock(FFd, LOCK_EX | LOCK_NB) != 0) {
    const int e = errno;
    ::close(FFd);
    ::unlink(FFileName.c_str());
    throw EWriteError(FFileName + ": cannot lock the recovery journal: " + std::strerror(e));
  }
  const std::vector<uint8_t> preamble = EncodeJournalPreamble();
  FQueue.push_back({0, preamble, nullptr});
  FThread = std::thread([this] { Run(); });
}

TJournalWriter::TJournalWriter(int Fd, const std::string& FileName, int64_t ValidEnd)
    : FFd(Fd), FFileName(FileName) {
  if (::ftruncate(FFd, ValidEnd) != 0 || ::lseek(FFd, ValidEnd, SEEK_SET) != ValidEnd)
    FFailed = true;
  FThread = std::thread([this] { Run(); });
}

TJournalWriter::~TJournalWriter() {
  Stop();
  if (FFd >= 0) ::close(FFd);
}

void TJournalWriter::Stop() {
  {
    std::lock_guard<std::mutex> g(FLock);
    FStop = true;
  }
  FWake.notify_all();
  if (FThread.joinable()) FThread.join();
}

void TJournalWriter::Append(uint32_t Kind, std::vector<uint8_t> Payload) {
  {
    std::lock_guard<std::mutex> g(FLock);
    if (FFailed || FStop) return;
    FQueue.push_back({Kind, std::move(Payload), nullptr});
  }
  FWake.notify_one();
}

void TJournalWriter::AppendHeader(TJournalHeader Header) {
  {
    std::lock_guard<std::mutex> g(FLock);
    if (FFailed || FStop) return;
    FQueue.push_back({0, {}, std::make_unique<TJournalHeader>(std::move(Header))});
  }
  FWake.notify_one();
}

bool TJournalWriter::Flush() {
  std::unique_lock<std::mutex> g(FLock);
  FDone.wait(g, [&] { return (FQueue.empty() && !FWriting) || FFailed || !FThread.joinable(); });
  return !FFailed;
}

bool TJournalWriter::Failed() const {
  std::lock_guard<std::mutex> g(FLock);
  return FFailed;
}

void TJournalWriter::Discard() {
  {
    std::lock_guard<std::mutex> g(FLock);
    FQueue.clear();
    FFailed = true;  // nothing more is written
  }
  Stop();
  // Unlinked while still locked, so no other process can take it up half gone.
  ::unlink(FFileName.c_str());
  if (FFd >= 0) ::close(FFd);
  FFd = -1;
}

void TJournalWriter::Run() {
  std::unique_lock<std::mutex> g(FLock);
  for (;;) {
    FWake.wait(g, [&] { return !FQueue.empty() || FStop; });
    if (FQueue.empty() || FFailed) {
      FQueue.clear();
      FDone.notify_all();
      if (FStop) return;
      continue;
    }
    // Everything queued goes out in one batch with one sync.
    std::deque<TJob> batch;
    batch.swap(FQueue);
    FWriting = true;
    g.unlock();
    bool ok = true;
    for (TJob& j : batch) {
      try {
        if (j.Header) j.Bytes = EncodeJournalHeader(*j.Header);
        if (j.Kind != 0) j.Bytes = EncodeJournalRecord(j.Kind, j.Bytes);
      } catch (...) {
        ok = false;  // out of memory: the journal ends here
      }
      if (!ok || !WriteAll(FFd, j.Bytes.data(), j.Bytes.size())) {
        ok = false;
        break;
      }
    }
    if (ok && ::fdatasync(FFd) != 0) ok = false;
    batch.clear();
    g.lock();
    FWriting = false;
    if (!ok) FFailed = true;
    FDone.notify_all();
  }
}

std::string RecoveryFolder() {
  return ProgramFolder() + "recovery";
}

int LockJournal(const std::string& FileName, std::string* Error) {
  const int fd = ::open(FileName.c_str(), O_RDWR | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
  if (fd < 0) {
    if (Error) *Error = std::strerror(errno);
    return -1;
  }
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    if (Error) *Error = "not a regular file";
    ::close(fd);
    return -1;
  }
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    if (Error) *Error = "in use by a running program";
    ::close(fd);
    return -1;
  }
  ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  return fd;
}

}  // namespace brellin
