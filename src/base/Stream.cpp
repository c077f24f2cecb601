#include "base/Stream.h"

#include <filesystem>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "base/Errors.h"
#include "base/SafeOutput.h"

namespace brellin {

void TStream::ReadBuffer(void* buffer, size_t count) {
  if (count == 0) return;
  if (Read(buffer, count) != count)
    throw EInvalidData("Stream read error (unexpected end of data)");
}

void TStream::WriteBuffer(const void* buffer, size_t count) {
  if (count == 0) return;
  errno = 0;
  if (Write(buffer, count) != count) throw EWriteError(WriteErrorText(errno));
}

std::string TStream::WriteErrorText(int Errno) const {
  return Errno != 0 ? std::strerror(Errno) : "Stream write error";
}

std::string TFileStream::WriteErrorText(int Errno) const {
  const std::string reason = Errno != 0 ? std::strerror(Errno) : "the data could not be written";
  return FNamedErrors ? "Cannot write file \"" + FFileName + "\": " + reason : reason;
}

void TStream::CopyFrom(TStream& src, int64_t count) {
  std::vector<uint8_t> buf(size_t(std::min<int64_t>(count, 1 << 20)));
  while (count > 0) {
    const size_t n = size_t(std::min<int64_t>(count, int64_t(buf.size())));
    src.ReadBuffer(buf.data(), n);
    WriteBuffer(buf.data(), n);
    count -= int64_t(n);
  }
}

static int64_t ClampSeek(int64_t base, int64_t offset, int64_t size) {
  int64_t p = base + offset;
  if (p < 0) p = 0;
  (void)size;
  return p;
}

size_t TBytesStream::Read(void* buffer, size_t count) {
  if (FPos >= FSize || count == 0) return 0;  // an empty read may come with no buffer
  const size_t n = std::min(count, FSize - FPos);
  std::memcpy(buffer, FData + FPos, n);
  FPos += n;
  return n;
}

int64_t TBytesStream::Seek(int64_t offset, TSeekOrigin origin) {
  const int64_t base = origin == soBeginning ? 0
                       : origin == soCurrent ? int64_t(FPos)
                                             : int64_t(FSize);
  FPos = size_t(ClampSeek(base, offset, int64_t(FSize)));
  return int64_t(FPos);
}

size_t TMemoryStream::Read(void* buffer, size_t count) {
  if (FPos >= FData.size() || count == 0) return 0;  // an empty read may come with no buffer
  const size_t n = std::min(count, FData.size() - FPos);
  std::memcpy(buffer, FData.data() + FPos, n);
  FPos += n;
  return n;
}

size_t TMemoryStream::Write(const void* buffer, size_t count) {
  if (count == 0) return 0;
  if (FPos + count > FData.size()) FData.resize(FPos + count);
  std::memcpy(FData.data() + FPos, buffer, count);
  FPos += count;
  return count;
}

int64_t TMemoryStream::Seek(int64_t offset, TSeekOrigin origin) {
  const int64_t base = origin == soBeginning ? 0
                       : origin == soCurrent ? int64_t(FPos)
                                             : int64_t(FData.size());
  FPos = size_t(ClampSeek(base, offset, int64_t(FData.size())));
  return int64_t(FPos);
}

TFileStream::TFileStream(const std::string& fileName, TFileMode mode) : FFileName(fileName) {
  if (mode == fmOpenRead) {
    const int fd = OpenRegularForReading(fileName);
    FFile = ::fdopen(fd, "rb");
    if (!FFile) {
      ::close(fd);
      throw EBrellinError("cannot open: " + std::string(std::strerror(errno)));
    }
    return;
  }
  FWritable = true;
  const char* m = mode == fmOpenRead ? "rb" : mode == fmCreate ? "w+b" : "r+b";
  FFile = std::fopen(fileName.c_str(), m);
  if (!FFile) {
    const std::string reason = std::strerror(errno);
    if (mode == fmCreate) throw EWriteError("Cannot create file \"" + fileName + "\": " + reason);
    throw EBrellinError("Cannot open file \"" + fileName + "\": " + reason);
  }
}

TFileStream::TFileStream(int fd, const std::string& fileName, const char* mode)
    : FFileName(fileName), FNamedErrors(false), FWritable(true) {
  FFile = ::fdopen(fd, mode);
  if (!FFile) {
    const int e = errno;
    ::close(fd);
    throw EWriteError("Cannot write file \"" + fileName + "\": " + std::strerror(e));
  }
}

TFileStream::~TFileStream() {
  if (FFile) std::fclose(FFile);
}

size_t TFileStream::Read(void* buffer, size_t count) {
  return std::fread(buffer, 1, count, FFile);
}

size_t TFileStream::Write(const void* buffer, size_t count) {
  return std::fwrite(buffer, 1, count, FFile);
}

int64_t TFileStream::Seek(int64_t offset, TSeekOrigin origin) {
  const int whence = origin == soBeginning ? SEEK_SET : origin == soCurrent ? SEEK_CUR : SEEK_END;
  if (!(origin == soCurrent && offset == 0)) {
    if (origin == soBeginning && offset < 0) offset = 0;
    errno = 0;
    // A seek writes out what is buffered: a failure there is a failed write,
    // not one to pass over and read back short later.
    if (std::fseek(FFile, long(offset), whence) != 0 && FWritable && std::ferror(FFile))
      throw EWriteError(WriteErrorText(errno));
  }
  return int64_t(std::ftell(FFile));
}

int64_t TFileStream::Size() {
  const long cur = std::ftell(FFile);
  std::fseek(FFile, 0, SEEK_END);
  const long end = std::ftell(FFile);
  std::fseek(FFile, cur, SEEK_SET);
  return int64_t(end);
}

void TFileStream::Close() {
  if (!FFile) return;
  errno = 0;
  const bool flushed = std::fflush(FFile) == 0;
  int e = errno;
  const bool ok = !std::ferror(FFile);
  const bool closed = std::fclose(FFile) == 0;
  if (e == 0) e = errno;
  FFile = nullptr;
  if (!flushed || !ok || !closed) throw EWriteError(WriteErrorText(e));
}

std::vector<uint8_t> ReadWholeFile(const std::string& fileName, size_t maxSize) {
  TFileStream f(fileName, fmOpenRead);
  const int64_t size = f.Size();
  if (size < 0) throw EBrellinError("Cannot read file \"" + fileName + "\"");
  if (uint64_t(size) > maxSize) throw EInvalidData("file is too large");
  std::vector<uint8_t> data(static_cast<size_t>(size));
  if (size > 0 && f.Read(data.data(), data.size()) != data.size())
    throw EBrellinError("Cannot read file \"" + fileName + "\"");
  return data;
}

TSafeFileWriter::TSafeFileWriter(const std::string& fileName)
    : FOutput(std::make_unique<TSafeOutput>(fileName)) {
  const int fd = ::fcntl(FOutput->Fd(), F_DUPFD_CLOEXEC, 0);
  if (fd < 0) throw EWriteError("Cannot write file \"" + fileName + "\": " + std::strerror(errno));
  FStream = std::make_unique<TFileStream>(fd, fileName, FOutput->Direct() ? "wb" : "w+b");
}

TSafeFileWriter::~TSafeFileWriter() = default;

void TSafeFileWriter::Commit() {
  FStream->Close();
  FOutput->Commit();
}

std::unique_ptr<TFileStream> CreateFileAndFolder(const std::string& fileName) {
  namespace fs = std::filesystem;
  const fs::path folder = fs::path(fileName).parent_path();
  for (int attempt = 0;; ++attempt) {
    std::error_code ec;
    if (!folder.empty()) fs::create_directories(folder, ec);
    try {
      return std::make_unique<TFileStream>(fileName, fmCreate);
    } catch (const EWriteError&) {
      if (attempt >= 3 || folder.empty() || fs::is_directory(folder, ec)) throw;
    }
  }
}

}  // namespace brellin
