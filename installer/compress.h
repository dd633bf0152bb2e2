// The install archive ("files.1", "setup.1"): a count, a spanned flag and
// one 164-byte header plus one zlib stream per file, either interleaved or,
// when spread over disk parts, as a header table followed by the data.
// TQnlwCompress builds, spans, lists and extracts such archives.
//
// Archives come from disks and downloads, so everything read from one is
// checked before it is used: header positions and sizes against the real
// file, stored names reduced to a plain file name, inflated output capped at
// the stored size, and an extraction is written beside its target and put
// in place only when it is complete.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "classes.h"
#include "exceptions.h"
#include "sysutils.h"
#include "versionres.h"

struct z_stream_s;

enum TCompressionLevel { colNone, colFastest, colDefault, colMax };
enum TlzhCommand { lzcOverwrite, lzcOnlyAdd };

const int FileHeaderSize = 164;
const int ArchivePrefixSize = 5;
const int MaxStoredPathLength = 100;
const int MaxStoredVersionLength = 20;

// The on-disk header of one archived file.
struct TFileHeaderRecord {
  int32_t Index = 0;
  double Date = 0;
  uint8_t LastDisk = 0;
  int32_t LastDataByte = 0;
  std::string SourcePath;
  int32_t NextHeader = 0;
  int32_t Size = 0;
  int32_t DataStart = 0;
  int32_t CompressedSize = 0;
  uint8_t FirstDisk = 0;
  std::string Version;

  void Encode(uint8_t* out) const;  // FileHeaderSize bytes
  void Decode(const uint8_t* in);
};

class TFileHeader {
 public:
  bool InArchive = false;
  TFileHeaderRecord Rec;
  bool Valid() const { return !Trim(Rec.SourcePath).empty(); }
  // Fills the record from a source file; 'line' may carry further
  // ";"-separated items after the path.
  void BuildFromFile(const std::string& line, int index);
};

struct TlzhFileStats {
  uint8_t PercentDone = 0;
  int32_t BytesDone = 0;
  std::string FileName;
  int32_t CompressedSize = 0;
  uint8_t Ratio = 0;
  int32_t Size = 0;
  TFileHeaderRecord Header;
  bool Done = false;
  uint8_t TotalPercent = 0;
  int32_t TotalDone = 0;
  int32_t TotalCompressed = 0;
  uint8_t TotalRatio = 0;
  int32_t TotalSize = 0;
};

class TFileHeaders {
 public:
  TFileHeaders() = default;
  TFileHeaders(const TFileHeaders&) = delete;
  TFileHeaders& operator=(const TFileHeaders&) = delete;

  int Count() const { return static_cast<int>(items_.size()); }
  TFileHeader* GetFileHeaders(int i) const;
  // Takes ownership.
  void Add(TFileHeader* header);
  void Clear() { items_.clear(); }
  void BuildFromList(TStrings* list, bool append);
  int IndexOfPath(const std::string& text) const;
  void ReadHeaderChain(TStream* stream, int64_t offset);
  void WriteHeaders(TStream* stream);
  void SumTotals(TlzhFileStats& stats) const;
  void ResetStats(TlzhFileStats& stats) const;

  uint8_t Spanned = 0;

 private:
  std::vector<std::unique_ptr<TFileHeader>> items_;
};

// ---------------------------------------------------------------------------
// Streams

// Raises ECompressionError "error" for a negative zlib result.
int CCheck(int code);
// Removes what an extraction or a copy into 'target' left beside it when
// its process was ended in the middle of the file: a partial file is
// written under the target's name, ".~" and a number, and only an end it
// sees itself takes it away again.
void RemoveHalfWrittenCopies(const std::string& target);
// Raises EDecompressionError "error" for a negative zlib result.
int DCheck(int code);

class TCustomZlibStream : public TStream {
 public:
  TCustomZlibStream(TStream* target);
  ~TCustomZlibStream() override;
  TNotifyEvent OnProgress;

 protected:
  virtual void Progress(TObject* sender);
  TStream* target_;
  int64_t targetPos_;
  z_stream_s* zs_;
  std::vector<uint8_t> buffer_;
};

class TCompressionStream : public TCustomZlibStream {
 public:
  TCompressionStream(TCompressionLevel level, TStream* target);
  // Finishes the zlib stream and writes what is left of it.
  ~TCompressionStream() override;
  // Like the destructor's work, but may raise; the destructor then only
  // ends deflate.
  void Finish();
  int Read(void* buffer, int count) override;
  int Write(const void* buffer, int count) override;
  int64_t Seek(int64_t offset, TSeekOrigin origin) override;

 private:
  void Flush(int count);
  bool finished_ = false;
};

class TQnlwStream : public TStream {
 public:
  int64_t Size() override;
};

// A stream on a file handle it does not own.
class TQnlwNormalHandleStream : public TQnlwStream {
 public:
  explicit TQnlwNormalHandleStream(THandle handle) : handle_(handle) {}
  THandle Handle() const { return handle_; }
  int Read(void* buffer, int count) override;
  int Write(const void* buffer, int count) override;
  int64_t Seek(int64_t offset, TSeekOrigin origin) override;
  void SetSize(int64_t newSize) override;

 protected:
  THandle handle_;
};

// A handle stream that opens and closes its own file.
class TQnlwFileStream : public TQnlwNormalHandleStream {
 public:
  // INVALID_FILE_HANDLE inside when the file cannot be opened; see Opened().
  TQnlwFileStream(const std::string& fileName, unsigned mode);
  ~TQnlwFileStream() override;
  void Close();
  bool Opened() const { return handle_ != INVALID_FILE_HANDLE; }
  const std::string& FileName() const { return fileName_; }

 private:
  std::string fileName_;
};

// ---------------------------------------------------------------------------

class TQnlwCompress;
using TlzhFileStatsEvent = std::function<void(TQnlwCompress* Sender, const TlzhFileStats& FileStats)>;
using TlzhNewDiskEvent = std::function<void(TQnlwCompress* Sender, int DiskNumber, std::string& Path)>;

class TQnlwCompress : public TComponent {
 public:
  explicit TQnlwCompress(TComponent* owner);
  ~TQnlwCompress() override;

  bool Abort() const { return abort_; }
  void SetAbort(bool value) { abort_ = value; }
  const std::string& CompressedFile() const { return compressedFile_; }
  void SetCompressedFile(const std::string& value);
  TCompressionLevel CompressionLevel() const { return level_; }
  void SetCompressionLevel(TCompressionLevel value) { level_ = value; }
  const std::string& ExtractDirectory() const { return extractDirectory_; }
  void SetExtractDirectory(const std::string& value) { extractDirectory_ = value; }
  TStrings* FilesToProcess() const { return files_; }
  void SetFilesToProcess(TStrings* value);
  int64_t Offset() const { return offset_; }
  void SetOffset(int64_t value) { offset_ = value; }
  TOverwriteType Overwrite() const { return overwrite_; }
  void SetOverwrite(TOverwriteType value) { overwrite_ = value; }
  // The name the next extracted file gets (the install file's DestName);
  // cleared after each file.
  const std::string& TargetName() const { return targetName_; }
  void SetTargetName(const std::string& value) { targetName_ = value; }

  TNotifyEvent OnAborted;
  TNotifyEvent OnFullDisk;
  TlzhFileStatsEvent OnAfterAdding, OnBeforeAdding, OnAfterExtracting, OnBeforeExtracting, OnListing, OnReplace,
      OnStatus;
  TlzhNewDiskEvent OnNewDisk;

  // Lets pending window messages through during long operations; the
  // installer points it at its message loop.
  static std::function<void()> ProcessMessages;

  void ReadHeaders();
  int FileCount();
  void GetFileStats(int i, TlzhFileStats& stats);
  int IndexOfFile(const std::string& name);
  void Compress(TlzhCommand command);
  void Extract();
  void SpanDisks(const std::string& directory, const std::string& fileName);
  void CopyFile(const std::string& source, const std::string& target);
  void OpenDiskFile(TStream*& stream, int disk, unsigned mode, std::string& fileName);
  virtual void DiskFull();

  void PublishProperties(TPropList& list) const override;

 protected:
  // Opens (create = false) or creates a disk part while spanning.  Returns
  // nullptr on failure.  Tests give parts a capacity through it.
  virtual TStream* OpenPartForSpanning(const std::string& fileName, bool create);

 private:
  enum { modeNone = 0, modeCompress = 1, modeExtract = 2 };
  void FinishRun(bool& rethrow);
  void AddStatus();
  void FillStats(const TFileHeader& h);
  void UpdatePercents(int32_t base, int32_t totalBase);
  void CompressOne(TStream* archive, TFileHeader& h);
  void ExtractOne(TFileHeader& h);
  void InflateTo(TStream*& source, TStream* dest, const TFileHeader& h);
  void SpanCopy(TStream* source, TStream*& part, const TFileHeader& h, const std::string& directory,
                const std::string& fileName, int64_t end);
  int DecideOverwriteOf(const std::string& target, const std::string& version, double date);

  bool abort_ = false;
  std::string compressedFile_;
  TCompressionLevel level_ = colMax;
  std::string extractDirectory_;
  TStringList* files_;
  int64_t offset_ = 0;
  TOverwriteType overwrite_ = owAlways;
  std::string targetName_;

  TFileHeaders headers_;
  bool headersRead_ = false;
  int mode_ = modeNone;
  int currentDisk_ = 0;
  TFileHeader* current_ = nullptr;
  TlzhFileStats stats_;
  TStream* source_ = nullptr;
  TStream* dest_ = nullptr;
};
