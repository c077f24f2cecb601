// Byte streams: files and memory, read and written little-endian.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace brellin {

class TSafeOutput;

enum TSeekOrigin : uint8_t { soBeginning, soCurrent, soEnd };

class TStream {
 public:
  virtual ~TStream() = default;
  // Reads up to count bytes; returns how many were read.
  virtual size_t Read(void* buffer, size_t count) = 0;
  // Writes up to count bytes; returns how many were written.
  virtual size_t Write(const void* buffer, size_t count) = 0;
  virtual int64_t Seek(int64_t offset, TSeekOrigin origin) = 0;
  virtual int64_t Size() = 0;

  int64_t Position() { return Seek(0, soCurrent); }
  void SetPosition(int64_t pos) { Seek(pos, soBeginning); }
  int64_t Remaining() { return Size() - Position(); }

  // Read or write exactly count bytes, or throw.
  void ReadBuffer(void* buffer, size_t count);
  void WriteBuffer(const void* buffer, size_t count);

  template <typename T>
  T ReadValue() {
    T v;
    ReadBuffer(&v, sizeof(T));
    return v;
  }
  template <typename T>
  void WriteValue(const T& v) {
    WriteBuffer(&v, sizeof(T));
  }
  // Copies count bytes from src (at its position) to this stream.
  void CopyFrom(TStream& src, int64_t count);

 protected:
  // What a failed write says: the system's reason ("No space left on
  // device") where there is one.
  virtual std::string WriteErrorText(int Errno) const;
};

// Read-only view of bytes in memory (not owned).
class TBytesStream : public TStream {
 public:
  TBytesStream(const void* data, size_t size)
      : FData(static_cast<const uint8_t*>(data)), FSize(size) {}
  size_t Read(void* buffer, size_t count) override;
  size_t Write(const void*, size_t) override { return 0; }
  int64_t Seek(int64_t offset, TSeekOrigin origin) override;
  int64_t Size() override { return int64_t(FSize); }

 private:
  const uint8_t* FData;
  size_t FSize;
  size_t FPos = 0;
};

// Growable stream in memory.
class TMemoryStream : public TStream {
 public:
  TMemoryStream() = default;
  explicit TMemoryStream(std::vector<uint8_t> data) : FData(std::move(data)) {}
  size_t Read(void* buffer, size_t count) override;
  size_t Write(const void* buffer, size_t count) override;
  int64_t Seek(int64_t offset, TSeekOrigin origin) override;
  int64_t Size() override { return int64_t(FData.size()); }
  const std::vector<uint8_t>& Data() const { return FData; }
  std::vector<uint8_t>& Data() { return FData; }

 private:
  std::vector<uint8_t> FData;
  size_t FPos = 0;
};

enum TFileMode : uint8_t { fmOpenRead, fmCreate, fmOpenReadWrite };

// A file on disk. Errors name the file.
class TFileStream : public TStream {
 public:
  // Reading refuses anything but a regular file ("is a directory", "is not
  // a regular file"), without blocking on a FIFO.
  TFileStream(const std::string& fileName, TFileMode mode);
  // Takes over an open descriptor; Mode as for fdopen. Its write errors
  // give the reason alone: the caller names the file it stands for.
  TFileStream(int fd, const std::string& fileName, const char* mode);
  ~TFileStream() override;
  TFileStream(const TFileStream&) = delete;
  TFileStream& operator=(const TFileStream&) = delete;
  size_t Read(void* buffer, size_t count) override;
  size_t Write(const void* buffer, size_t count) override;
  int64_t Seek(int64_t offset, TSeekOrigin origin) override;
  int64_t Size() override;
  // Flushes and closes; throws when the data could not be written.
  void Close();
  const std::string& FileName() const { return FFileName; }

 protected:
  std::string WriteErrorText(int Errno) const override;

 private:
  std::FILE* FFile = nullptr;
  std::string FFileName;
  bool FNamedErrors = true;
  bool FWritable = false;
};

// Creates (or empties) a file for reading and writing, making its folder
// when it is missing. Temporary files use it: another copy of the program
// sharing the temporary folder removes the folder when it ends empty.
std::unique_ptr<TFileStream> CreateFileAndFolder(const std::string& fileName);

// Reads a whole file; throws EBrellinError naming the reason.
std::vector<uint8_t> ReadWholeFile(const std::string& fileName, size_t maxSize = size_t(1) << 31);

// A TSafeOutput (base/SafeOutput.h) as a stream: the target is replaced
// only when everything was written, so a failed write never destroys an
// existing file.
class TSafeFileWriter {
 public:
  explicit TSafeFileWriter(const std::string& fileName);
  ~TSafeFileWriter();  // removes the partial file unless committed
  TFileStream& Stream() { return *FStream; }
  void Commit();

 private:
  std::unique_ptr<TSafeOutput> FOutput;
  std::unique_ptr<TFileStream> FStream;
};

}  // namespace brellin
