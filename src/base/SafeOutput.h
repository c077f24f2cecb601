// Writing an output file so that no failure, kill or power loss destroys what
// was there. Every writer of pictures, projects, PostScript, library files and
// feature maps goes through here.
#pragma once

#include <string>

namespace brellin {

// Opens the way to one output:
// - a regular file (or a missing one) is written to a partial file beside
//   it, created exclusively under a short random name (".brellin-part-" and
//   six letters or digits, so any legal target name fits) and locked for as
//   long as it is written, and renamed over it by Commit; the file is
//   flushed to disk before the rename and the folder after it. The first
//   output into a folder removes the partial files that killed writers left
//   there: the user's own, unlocked, and named as ours;
// - a symbolic link is followed: the file it points to is replaced, the link
//   stays; but a link in a sticky folder anyone may write to (such as /tmp)
//   that belongs neither to the user nor to the folder's owner is refused,
//   as the kernel refuses to follow it (EWriteError "refusing to follow a
//   link owned by another user in a shared folder");
// - a device or FIFO is written directly (no partial file, no rename);
// - a directory is refused (EWriteError "is a directory").
// The partial file is removed when the object goes uncommitted, and also
// when the process ends on SIGINT or SIGTERM.
class TSafeOutput {
 public:
  explicit TSafeOutput(const std::string& Target);
  ~TSafeOutput();
  TSafeOutput(const TSafeOutput&) = delete;
  TSafeOutput& operator=(const TSafeOutput&) = delete;

  // Open for writing (and reading, for a partial file).
  int Fd() const { return FFd; }
  bool Direct() const { return FDirect; }
  // The file written to: the partial file, or the device itself.
  const std::string& WrittenName() const { return FPartial.empty() ? FResolved : FPartial; }
  // Makes the written bytes the target's; throws EWriteError.
  void Commit();

 private:
  void Abandon() noexcept;
  std::string FTarget, FResolved, FPartial;
  int FFd = -1;
  int FSlot = -1;
  bool FDirect = false;
};

// Target with its symbolic links followed, as far as they go (a link to a
// missing file gives that file's path). Throws EWriteError on a loop and on
// another user's link in a shared folder.
std::string FollowLinks(const std::string& Target);

// Refuses a file that is not a regular one: throws EBrellinError "is a
// directory" or "is not a regular file" (or the reason it cannot be opened).
// Opens without blocking, so a FIFO never stalls the caller; the returned
// descriptor (close-on-exec, blocking again) is the caller's.
int OpenRegularForReading(const std::string& FileName);

}  // namespace brellin
