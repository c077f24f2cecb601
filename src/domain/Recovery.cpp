#include "domain/Recovery.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <filesystem>

#include "base/Errors.h"
#include "base/Stream.h"
#include "library/PersistentObjects.h"

namespace brellin {

namespace fs = std::filesystem;

namespace {

uint32_t StrokeCountOf(const std::vector<uint8_t>& EditPayload) {
  // Rectangle (16), generator (12), then the count.
  if (EditPayload.size() < 32) return 0;
  const uint8_t* p = EditPayload.data() + 28;
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

[[noreturn]] void Forged(int Record, const std::string& Why) {
  throw EInvalidData("record " + std::to_string(Record) + " of the journal " + Why);
}

}  // namespace

std::vector<uint8_t> ReadJournalFd(int Fd) {
  std::vector<uint8_t> bytes;
  struct stat st {};
  if (::fstat(Fd, &st) == 0 && st.st_size > 0) bytes.reserve(size_t(st.st_size));
  uint8_t buffer[1 << 16];
  off_t at = 0;
  for (;;) {
    const ssize_t n = ::pread(Fd, buffer, sizeof buffer, at);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) throw EBrellinError(std::string("cannot read the journal: ") + std::strerror(errno));
    if (n == 0) break;
    bytes.insert(bytes.end(), buffer, buffer + n);
    at += n;
  }
  return bytes;
}

TJournalSummary SummarizeJournal(const std::vector<uint8_t>& Bytes) {
  TJournalSummary s;
  TJournalReader r(Bytes.data(), Bytes.size());
  s.DocumentName = r.Header().DocumentName;
  s.ProjectFileName = r.Header().ProjectFileName;
  s.Created = r.Header().Created;
  TJournalRecord rec;
  while (r.Next(rec)) {
    if (rec.Kind == jkEdit) {
      ++s.Edits;
      s.Strokes += StrokeCountOf(rec.Payload);
    } else {
      ++s.Events;
    }
  }
  s.Damaged = r.Damaged();
  s.Damage = r.Damage();
  return s;
}

std::vector<TJournalSummary> ListJournals(const std::string& Folder) {
  std::vector<TJournalSummary> list;
  std::error_code ec;
  for (fs::directory_iterator it(Folder, ec), end; !ec && it != end; it.increment(ec)) {
    const fs::path p = it->path();
    if (p.extension() != ".bjr" || !it->is_regular_file(ec) || it->is_symlink(ec)) continue;
    TJournalSummary s;
    std::string why;
    const int fd = LockJournal(p.string(), &why);
    if (fd < 0) {
      s.InUse = why == "in use by a running program";
      s.Problem = why;
    } else {
      try {
        const std::vector<uint8_t> bytes = ReadJournalFd(fd);
        s = SummarizeJournal(bytes);
      } catch (const EJournalHeaderTorn& e) {
        s.Problem = e.what();
        s.HeaderTorn = true;
      } catch (const EBrellinError& e) {
        s.Problem = e.what();
      }
      ::close(fd);
    }
    s.FileName = p.string();
    struct stat st {};
    if (::lstat(p.c_str(), &st) == 0) s.LastWrite = int64_t(st.st_mtime);
    list.push_back(std::move(s));
  }
  std::sort(list.begin(), list.end(), [](const TJournalSummary& a, const TJournalSummary& b) {
    return a.LastWrite != b.LastWrite ? a.LastWrite < b.LastWrite : a.FileName < b.FileName;
  });
  return list;
}

std::string JournalTimeText(int64_t Seconds) {
  const std::time_t t = std::time_t(Seconds);
  std::tm tm{};
  localtime_r(&t, &tm);
  char b[32];
  std::strftime(b, sizeof b, "%Y-%m-%d %H:%M", &tm);
  return b;
}

std::string RecoveryQuestion(const TJournalSummary& J) {
  const std::string name =
      J.DocumentName.empty() ? "an untitled picture" : fs::path(J.DocumentName).filename().string();
  return "Brellin Pro was closed unexpectedly. Recover the work on " + name + " from " +
         JournalTimeText(J.LastWrite ? J.LastWrite : J.Created) + " (" + std::to_string(J.Strokes) +
         (J.Strokes == 1 ? " stroke" : " strokes") + ")?";
}

TRecoveredDocument RebuildFromJournal(const uint8_t* Data, size_t Size, TPictureView* SourceView,
                                      TPictureView* DestinationView,
                                      TPersistentObjectManager* Brushes,
                                      TPersistentObjectManager* Patterns) {
  TRecoveredDocument out;
  TJournalReader r(Data, Size);
  out.Header = r.Header();
  out.Header.Base.clear();
  {
    const std::vector<uint8_t>& base = r.Header().Base;
    TBytesStream s(base.data(), base.size());
    try {
      out.Document = std::make_unique<TDualImage>(s, 1.0f, DestinationView, SourceView);
    } catch (const EBrellinError& e) {
      throw EInvalidData(std::string("the journal's document: ") + e.what());
    }
    if (s.Position() != s.Size())
      throw EInvalidData("the journal's document is followed by " +
                         std::to_string(s.Size() - s.Position()) + " stray bytes");
  }
  TDualImage& doc = *out.Document;
  doc.BrushLibrary = Brushes;
  doc.PatternLibrary = Patterns;
  // The paper as it was when the journal began; the base was painted on it.
  const TJournalPaper& paper = out.Header.Paper;
  doc.BackgroundColor = paper.Color;
  doc.SetBackgroundPicture(paper.Picture.get());
  doc.BackgroundMode = paper.Picture && !paper.Picture->Empty() ? paper.Mode : 0;
  if (doc.NeedsRerender) doc.RerenderDestination();

  TJournalRecord rec;
  int index = 0;
  while (r.Next(rec)) {
    ++index;
    switch (rec.Kind) {
      case jkEdit: {
        const TJournalEdit e = DecodeJournalEdit(rec.Payload);
        doc.BeginEdit();
        try {
          for (const TStrokeRecord& s : e.Strokes) doc.ReplayStroke(s);
          doc.DirtyRect = e.Rect;
          doc.EndEdit();
        } catch (const ESilentStop&) {
          doc.CancelEdit();
          Forged(index, "is an edit that touched nothing");
        } catch (...) {
          doc.CancelEdit();
          throw;
        }
        out.Random = e.Random;
        out.HasRandom = true;
        ++out.Edits;
        break;
      }
      case jkUndo:
        if (!doc.CanUndo()) Forged(index, "undoes with nothing to undo");
        doc.Undo();
        ++out.Events;
        break;
      case jkRedo:
        if (!doc.CanRedo()) Forged(index, "redoes with nothing to redo");
        doc.Redo();
        ++out.Events;
        break;
      case jkUndoToSnapshot:
        if (!doc.CanUndo()) Forged(index, "undoes to a snapshot with nothing to undo");
        doc.UndoToSnapshot();
        ++out.Events;
        break;
      case jkTakeSnapshot:
        if (!doc.History->Top()) Forged(index, "takes a snapshot of nothing");
        doc.TakeSnapshot();
        ++out.Events;
        break;
      case jkCompact:
        doc.Compact();
        ++out.Events;
        break;
      case jkBackground: {
        const TJournalPaper p = DecodePaper(rec.Payload);
        doc.BackgroundColor = p.Color;
        doc.SetBackgroundPicture(p.Picture.get());
        doc.SetBackgroundMode(p.Mode);
        ++out.Events;
        break;
      }
      default:
        Forged(index, "is of an unknown kind");
    }
    if (!rec.Payload.empty() && rec.Kind != jkEdit && rec.Kind != jkBackground)
      Forged(index, "carries bytes an event has none of");
  }
  out.Damaged = r.Damaged();
  out.Damage = r.Damage();
  out.ValidEnd = r.ValidEnd();
  doc.Modified = true;
  return out;
}

}  // namespace brellin
