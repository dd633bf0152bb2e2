#include "compress.h"

#include <zlib.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

#include "archsys.h"
#include "filetime.h"
#include "kitroutines.h"

namespace {

const int kDeflateBufferSize = 65536;
const int kInflateChunk = 65536;
const int kInflateBlock = 4096;
const int kSpanChunk = 8192;
const int kCopyBlock = 8192;

const char* const kHeadersCorrupt =
    "Could not read the file headers for the compressed file. The Archive file could possible be corrupt";
const char* const kSizeMismatch =
    "The decompressed file's size does not match with the actual size of the file.  The file is %s";

void PutInt32(uint8_t* p, int32_t v) {
  uint32_t u = static_cast<uint32_t>(v);
  p[0] = static_cast<uint8_t>(u);
  p[1] = static_cast<uint8_t>(u >> 8);
  p[2] = static_cast<uint8_t>(u >> 16);
  p[3] = static_cast<uint8_t>(u >> 24);
}

int32_t GetInt32(const uint8_t* p) {
  return static_cast<int32_t>(static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
                              (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24));
}

void PutShortString(uint8_t* p, const std::string& s, size_t max) {
  size_t n = std::min(s.size(), max);
  p[0] = static_cast<uint8_t>(n);
  std::memcpy(p + 1, s.data(), n);
}

// A length byte larger than the field is a damaged header; the field's own
// size is the most that is ever read.
std::string GetShortString(const uint8_t* p, size_t max) {
  size_t n = std::min<size_t>(p[0], max);
  return std::string(reinterpret_cast<const char*>(p + 1), n);
}

// Per cent as a byte: truncated, 0 for an empty whole, never wrapping.
uint8_t Percent(int64_t part, int64_t whole) {
  if (whole <= 0 || part <= 0) return 0;
  int64_t p = part * 100 / whole;
  return static_cast<uint8_t>(std::min<int64_t>(p, 255));
}

int32_t ClampInt32(int64_t v) {
  return static_cast<int32_t>(std::min<int64_t>(std::max<int64_t>(v, std::numeric_limits<int32_t>::min()),
                                                std::numeric_limits<int32_t>::max()));
}

std::string FirstItem(const std::string& line) { return line.substr(0, line.find(';')); }

// Runs a clean-up when a scope ends, however it ends.
template <class F>
class ScopeExit {
 public:
  explicit ScopeExit(F f) : f_(std::move(f)) {}
  ~ScopeExit() { f_(); }
  ScopeExit(const ScopeExit&) = delete;
  ScopeExit& operator=(const ScopeExit&) = delete;

 private:
  F f_;
};
template <class F>
ScopeExit<F> OnScopeExit(F f) {
  return ScopeExit<F>(std::move(f));
}

std::string HalfWrittenName(const std::string& path, int i) { return path + ".~" + IntToStr(i); }

// A name beside 'path' that no file has yet; the extraction is written there
// and moved onto its target only when it is complete.
std::string SiblingTempName(const std::string& path) {
  for (int i = 0; i < 10000; ++i) {
    std::string name = HalfWrittenName(path, i);
    if (!FileExists(name) && !DirectoryExists(name)) return name;
  }
  throw EQnlwCompress(Format("Cannot create the file %s", path));
}

// The stored name reduced to a plain file name; an entry must never reach
// outside the folder it is extracted into.
// Windows opens a device, not a file, for these names with any extension.
bool IsDeviceName(const std::string& name) {
  std::string base = UpperCase(Trim(name.substr(0, name.find('.'))));
  static const char* const devices[] = {"CON", "PRN", "AUX", "NUL", "CLOCK$", "CONIN$", "CONOUT$"};
  for (const char* d : devices)
    if (base == d) return true;
  return base.size() == 4 && (base.compare(0, 3, "COM") == 0 || base.compare(0, 3, "LPT") == 0) && base[3] >= '0' &&
         base[3] <= '9';
}

std::string PlainFileName(const std::string& name, const std::string& archive) {
  std::string plain = ExtractFileName(name);
  std::string trimmed = Trim(plain);
  // A control character (a zero byte above all) would cut the name short in
  // the file system, so the file would land on another name, or on the
  // target folder itself.
  bool control = std::any_of(plain.begin(), plain.end(), [](char c) { return static_cast<unsigned char>(c) < 0x20; });
  if (trimmed.empty() || trimmed == "." || trimmed == ".." || IsDeviceName(trimmed) || control)
    throw EQnlwCompress(Format("The archive <%s> holds the name <%s>, which is not a plain file name", archive, name));
  return plain;
}

}  // namespace

// ---------------------------------------------------------------------------
// Header record

void TFileHeaderRecord::Encode(uint8_t* out) const {
  std::memset(out, 0, FileHeaderSize);
  PutInt32(out + 0, Index);
  std::memcpy(out + 4, &Date, 8);
  out[12] = LastDisk;
  PutInt32(out + 16, LastDataByte);
  PutShortString(out + 20, SourcePath, MaxStoredPathLength);
  PutInt32(out + 124, NextHeader);
  PutInt32(out + 128, Size);
  PutInt32(out + 132, DataStart);
  PutInt32(out + 136, CompressedSize);
  out[140] = FirstDisk;
  PutShortString(out + 141, Version, MaxStoredVersionLength);
}

void TFileHeaderRecord::Decode(const uint8_t* in) {
  Index = GetInt32(in + 0);
  std::memcpy(&Date, in + 4, 8);
  LastDisk = in[12];
  LastDataByte = GetInt32(in + 16);
  SourcePath = GetShortString(in + 20, MaxStoredPathLength);
  NextHeader = GetInt32(in + 124);
  Size = GetInt32(in + 128);
  DataStart = GetInt32(in + 132);
  CompressedSize = GetInt32(in + 136);
  FirstDisk = in[140];
  Version = GetShortString(in + 141, MaxStoredVersionLength);
}

void TFileHeader::BuildFromFile(const std::string& line, int index) {
  std::string path = FirstItem(line);
  // A longer path would be stored cut and then never found again at
  // install time, so it is refused while the archive is built.
  if (path.size() > static_cast<size_t>(MaxStoredPathLength))
    throw EQnlwCompress(
        Format("The path %s is longer than the %d characters an archive entry can hold", path, MaxStoredPathLength));
  TQnlwFileStream file(path, fmOpenRead | fmShareDenyNone);
  if (!file.Opened()) throw EQnlwCompress(Format("Cannot open the file %s", path));
  int64_t size = file.Size();
  if (size < 0 || size > std::numeric_limits<int32_t>::max())
    throw EQnlwCompress(Format("The file %s is too large for the archive", path));
  file.Close();
  InArchive = false;
  Rec = TFileHeaderRecord();
  Rec.Index = index;
  Rec.SourcePath = path;
  // The header's date-time field holds any date; 0 where the file's own
  // cannot be read.
  if (!FileDateTime(path, Rec.Date)) Rec.Date = 0;
  Rec.Size = static_cast<int32_t>(size);
  TVersionResource* vr = SharedVersionResource();
  vr->SetFileName(path);
  vr->Read();
  Rec.Version = vr->VersionInfo()->FileVersion.substr(0, MaxStoredVersionLength);
}

// ---------------------------------------------------------------------------
// Header list

TFileHeader* TFileHeaders::GetFileHeaders(int i) const {
  if (i < 0 || i >= Count())
    throw EQnlwCompress(Format("%d is an invalid TFileHeader index in TFileHeaders.GetFileHeaders", i));
  return items_[static_cast<size_t>(i)].get();
}

void TFileHeaders::Add(TFileHeader* header) {
  std::unique_ptr<TFileHeader> owned(header);
  if (!header || !header->Valid()) throw EQnlwCompress("Tried to add an invalid file header");
  items_.push_back(std::move(owned));
}

void TFileHeaders::BuildFromList(TStrings* list, bool append) {
  if (!append) Clear();
  for (int i = 0; i < list->Count(); ++i) {
    auto* h = new TFileHeader;
    try {
      h->BuildFromFile(list->Get(i), i + 1);
    } catch (...) {
      delete h;
      throw;
    }
    Add(h);
  }
}

int TFileHeaders::IndexOfPath(const std::string& text) const {
  std::string path = FirstItem(text);
  for (int i = 0; i < Count(); ++i)
    if (SameText(items_[static_cast<size_t>(i)]->Rec.SourcePath, path)) return i;
  return -1;
}

void TFileHeaders::ReadHeaderChain(TStream* stream, int64_t offset) {
  Clear();
  int64_t fileSize = stream->Size();
  uint8_t prefix[ArchivePrefixSize];
  if (offset < 0 || stream->Seek(offset, soBeginning) != offset ||
      stream->Read(prefix, ArchivePrefixSize) != ArchivePrefixSize)
    throw EQnlwCompress("Could not read the file header count for the compressed file");
  int32_t count = GetInt32(prefix);
  uint8_t spanned = prefix[4];
  // Every file has at least its header in the archive, so the count cannot
  // exceed what the file can hold.
  int64_t room = fileSize - offset - ArchivePrefixSize;
  if (count < 0 || spanned > 1 || static_cast<int64_t>(count) * FileHeaderSize > room)
    throw EQnlwCompress(kHeadersCorrupt);
  Spanned = spanned;
  int64_t archiveSize = fileSize - offset;
  int64_t p = ArchivePrefixSize;
  uint8_t raw[FileHeaderSize];
  for (int32_t i = 0; i < count; ++i) {
    if (p + FileHeaderSize > archiveSize || stream->Seek(offset + p, soBeginning) != offset + p ||
        stream->Read(raw, FileHeaderSize) != FileHeaderSize)
      throw EQnlwCompress(kHeadersCorrupt);
    auto h = std::make_unique<TFileHeader>();
    h->Rec.Decode(raw);
    h->InArchive = true;
    const TFileHeaderRecord& r = h->Rec;
    bool sane = r.Size >= 0 && r.CompressedSize >= 0 && r.DataStart >= 0;
    if (i + 1 < count) sane = sane && r.NextHeader >= p + FileHeaderSize;
    if (Spanned == 0) {
      // One file: the data lies between this header and the next one.
      sane = sane && r.FirstDisk == r.LastDisk && r.LastDisk <= 1 && r.DataStart >= p + FileHeaderSize &&
             static_cast<int64_t>(r.DataStart) + r.CompressedSize <= archiveSize &&
             static_cast<int64_t>(r.LastDataByte) + 1 == static_cast<int64_t>(r.DataStart) + r.CompressedSize;
    } else {
      int first = r.FirstDisk == 0 ? 1 : r.FirstDisk;
      sane = sane && r.LastDisk >= first && r.LastDataByte >= -1;
    }
    if (!sane) throw EQnlwCompress(kHeadersCorrupt);
    p = r.NextHeader;
    Add(h.release());
  }
}

void TFileHeaders::WriteHeaders(TStream* stream) {
  uint8_t prefix[ArchivePrefixSize];
  PutInt32(prefix, Count());
  prefix[4] = Spanned;
  if (stream->Seek(0, soBeginning) != 0 || stream->Write(prefix, ArchivePrefixSize) != ArchivePrefixSize)
    throw EQnlwCompress("Could not write the file headers for the compressed file");
  if (!Spanned) return;
  uint8_t raw[FileHeaderSize];
  for (auto& h : items_) {
    int64_t pos = stream->Position();
    h->Rec.NextHeader = ClampInt32(pos + FileHeaderSize);
    h->Rec.Encode(raw);
    if (stream->Write(raw, FileHeaderSize) != FileHeaderSize)
      throw EQnlwCompress("Could not write the file headers for the compressed file");
  }
}

void TFileHeaders::SumTotals(TlzhFileStats& stats) const {
  int64_t size = 0, compressed = 0;
  for (auto& h : items_) {
    size += h->Rec.Size;
    compressed += h->Rec.CompressedSize;
  }
  stats.TotalSize = ClampInt32(size);
  stats.TotalCompressed = ClampInt32(compressed);
  stats.TotalRatio = Percent(compressed, size);
}

void TFileHeaders::ResetStats(TlzhFileStats& stats) const { stats = TlzhFileStats(); }

// ---------------------------------------------------------------------------
// Streams

int CCheck(int code) {
  if (code < 0) throw ECompressionError("error");
  return code;
}

int DCheck(int code) {
  if (code < 0) throw EDecompressionError("error");
  return code;
}

void RemoveHalfWrittenCopies(const std::string& target) {
  // Each writer takes the first free number, so what ended runs left lies
  // at 0, 1, 2, ... up to the first free one; a copy still open elsewhere
  // stays and keeps its number taken.
  for (int i = 0; i < 10000; ++i) {
    const std::string name = HalfWrittenName(target, i);
    if (!FileExists(name)) break;
    DeleteFile(name);
  }
}

TCustomZlibStream::TCustomZlibStream(TStream* target)
    : target_(target), targetPos_(target->Position()), zs_(new z_stream()), buffer_(kDeflateBufferSize) {}

TCustomZlibStream::~TCustomZlibStream() { delete zs_; }

void TCustomZlibStream::Progress(TObject* sender) {
  if (OnProgress) OnProgress(sender);
}

static int ZlibLevel(TCompressionLevel level) {
  switch (level) {
    case colNone:
      return 0;
    case colFastest:
      return 1;
    case colDefault:
      return Z_DEFAULT_COMPRESSION;
    case colMax:
      break;
  }
  return 9;
}

TCompressionStream::TCompressionStream(TCompressionLevel level, TStream* target) : TCustomZlibStream(target) {
  zs_->next_out = buffer_.data();
  zs_->avail_out = kDeflateBufferSize;
  CCheck(deflateInit(zs_, ZlibLevel(level)));
}

TCompressionStream::~TCompressionStream() {
  if (!finished_) {
    try {
      Finish();
    } catch (...) {
      // A destructor cannot report; callers that care call Finish first.
    }
  }
  deflateEnd(zs_);
}

void TCompressionStream::Flush(int count) {
  target_->Seek(targetPos_, soBeginning);
  target_->WriteBuffer(buffer_.data(), count);
  targetPos_ = target_->Position();
  zs_->next_out = buffer_.data();
  zs_->avail_out = kDeflateBufferSize;
}

void TCompressionStream::Finish() {
  if (finished_) return;
  finished_ = true;
  zs_->next_in = nullptr;
  zs_->avail_in = 0;
  for (;;) {
    int r = CCheck(deflate(zs_, Z_FINISH));
    if (zs_->avail_out == 0) {
      Flush(kDeflateBufferSize);
      Progress(this);
    }
    if (r == Z_STREAM_END) break;
  }
  int rest = kDeflateBufferSize - static_cast<int>(zs_->avail_out);
  if (rest > 0) Flush(rest);
}

int TCompressionStream::Read(void*, int) { throw ECompressionError("Invalid stream operation"); }

int TCompressionStream::Write(const void* buffer, int count) {
  if (finished_) throw ECompressionError("Invalid stream operation");
  zs_->next_in = static_cast<Bytef*>(const_cast<void*>(buffer));
  zs_->avail_in = static_cast<uInt>(std::max(count, 0));
  while (zs_->avail_in > 0) {
    CCheck(deflate(zs_, Z_NO_FLUSH));
    if (zs_->avail_out == 0) {
      Flush(kDeflateBufferSize);
      Progress(this);
    }
  }
  return count;
}

int64_t TCompressionStream::Seek(int64_t offset, TSeekOrigin origin) {
  if (offset == 0 && origin == soCurrent) return static_cast<int64_t>(zs_->total_in);
  throw ECompressionError("Invalid stream operation");
}

int64_t TQnlwStream::Size() {
  int64_t pos = Seek(0, soCurrent);
  int64_t size = Seek(0, soEnd);
  Seek(pos, soBeginning);
  return size;
}

int TQnlwNormalHandleStream::Read(void* buffer, int count) {
  int n = FileRead(handle_, buffer, count);
  return n < 0 ? 0 : n;
}

int TQnlwNormalHandleStream::Write(const void* buffer, int count) {
  int n = FileWrite(handle_, buffer, count);
  return n < 0 ? 0 : n;
}

int64_t TQnlwNormalHandleStream::Seek(int64_t offset, TSeekOrigin origin) { return FileSeek(handle_, offset, origin); }

void TQnlwNormalHandleStream::SetSize(int64_t newSize) {
  if (Seek(newSize, soBeginning) != newSize || !FileTruncate(handle_))
    throw EOSError(SysErrorMessage(GetLastOSError()));
}

TQnlwFileStream::TQnlwFileStream(const std::string& fileName, unsigned mode)
    : TQnlwNormalHandleStream(mode == fmCreate || (mode & 0xFF00) == fmCreate ? FileCreate(fileName, mode & 0xF0)
                                                                              : FileOpen(fileName, mode)),
      fileName_(fileName) {}

TQnlwFileStream::~TQnlwFileStream() { Close(); }

void TQnlwFileStream::Close() {
  if (handle_ != INVALID_FILE_HANDLE) FileClose(handle_);
  handle_ = INVALID_FILE_HANDLE;
}

// ---------------------------------------------------------------------------
// The compressor

std::function<void()> TQnlwCompress::ProcessMessages;

TQnlwCompress::TQnlwCompress(TComponent* owner) : TComponent(owner), files_(new TStringList) {}

TQnlwCompress::~TQnlwCompress() { delete files_; }

void TQnlwCompress::PublishProperties(TPropList& list) const {
  TComponent::PublishProperties(list);
  list.push_back(BoolProp<TQnlwCompress>("Abort", &TQnlwCompress::Abort, &TQnlwCompress::SetAbort));
  list.push_back(
      StrProp<TQnlwCompress>("CompressedFile", &TQnlwCompress::CompressedFile, &TQnlwCompress::SetCompressedFile));
  list.push_back(EnumProp<TQnlwCompress>("CompressionLevel", {"colNone", "colFastest", "colDefault", "colMax"},
                                         &TQnlwCompress::CompressionLevel, &TQnlwCompress::SetCompressionLevel));
  list.push_back(StrProp<TQnlwCompress>("ExtractDirectory", &TQnlwCompress::ExtractDirectory,
                                        &TQnlwCompress::SetExtractDirectory));
  list.push_back(ObjProp<TQnlwCompress, TStrings>("FilesToProcess", &TQnlwCompress::FilesToProcess,
                                                  &TQnlwCompress::SetFilesToProcess));
  list.push_back(IntProp<TQnlwCompress>("Offset", &TQnlwCompress::Offset, &TQnlwCompress::SetOffset));
  list.push_back(EnumProp<TQnlwCompress>("Overwrite", {"owAlways", "owNever", "owVersion", "owDate", "owVersionDate"},
                                         &TQnlwCompress::Overwrite, &TQnlwCompress::SetOverwrite));
}

void TQnlwCompress::SetCompressedFile(const std::string& value) {
  if (!SameText(value, compressedFile_) && !SameText(ChangeFileExt(value, ".1"), ChangeFileExt(compressedFile_, ".1")))
    headersRead_ = false;
  compressedFile_ = value;
}

void TQnlwCompress::SetFilesToProcess(TStrings* value) {
  if (!value) {
    files_->Clear();
    return;
  }
  for (int i = value->Count() - 1; i >= 0; --i)
    if (Trim(value->Get(i)).empty()) value->Delete(i);
  files_->Assign(value);
}

void TQnlwCompress::ReadHeaders() {
  TQnlwFileStream file(compressedFile_, fmOpenRead | fmShareDenyNone);
  if (!file.Opened()) throw EQnlwCompress(Format("Cannot open the compressed file %s", compressedFile_));
  try {
    headers_.ReadHeaderChain(&file, offset_);
  } catch (const Exception&) {
    headers_.Clear();
    throw EQnlwCompress(kHeadersCorrupt);
  }
  headersRead_ = true;
}

int TQnlwCompress::FileCount() {
  if (!headersRead_ && mode_ != modeCompress) ReadHeaders();
  return headers_.Count();
}

void TQnlwCompress::GetFileStats(int i, TlzhFileStats& stats) {
  if (!headersRead_ && mode_ != modeCompress) ReadHeaders();
  if (i < 0 || i >= headers_.Count())
    throw EQnlwCompress(Format("Tried to access the %dth file. This file is not defined", i));
  headers_.ResetStats(stats_);
  FillStats(*headers_.GetFileHeaders(i));
  stats = stats_;
}

int TQnlwCompress::IndexOfFile(const std::string& name) {
  if (!headersRead_ && mode_ != modeCompress) ReadHeaders();
  for (int i = 0; i < headers_.Count(); ++i)
    if (SameText(headers_.GetFileHeaders(i)->Rec.SourcePath, name)) return i;
  return -1;
}

void TQnlwCompress::DiskFull() {
  if (OnFullDisk)
    OnFullDisk(this);
  else
    throw EqcDiskFull();
}

TStream* TQnlwCompress::OpenPartForSpanning(const std::string& fileName, bool create) {
  auto* s = new TQnlwFileStream(fileName, create ? unsigned(fmCreate) : unsigned(fmOpenReadWrite | fmShareDenyNone));
  if (!s->Opened()) {
    delete s;
    return nullptr;
  }
  return s;
}

void TQnlwCompress::FillStats(const TFileHeader& h) {
  current_ = const_cast<TFileHeader*>(&h);
  stats_.PercentDone = 0;
  stats_.BytesDone = 0;
  stats_.FileName = h.Rec.SourcePath;
  stats_.CompressedSize = h.Rec.CompressedSize;
  stats_.Ratio = Percent(h.Rec.CompressedSize, h.Rec.Size);
  stats_.Size = h.Rec.Size;
  stats_.Header = h.Rec;
  stats_.Done = false;
}

void TQnlwCompress::UpdatePercents(int32_t base, int32_t totalBase) {
  stats_.PercentDone = Percent(stats_.BytesDone, base);
  stats_.TotalPercent = Percent(stats_.TotalDone, totalBase);
}

// Runs the common ending of Compress, Extract and SpanDisks: a user's abort
// is reported through OnAborted and ends the run quietly.
#define QNLW_RUN_END(cleanup)       \
  catch (const EqcAborted&) {       \
    cleanup;                        \
    if (OnAborted) OnAborted(this); \
    return;                         \
  }                                 \
  catch (const EAbort&) {           \
    cleanup;                        \
    return;                         \
  }                                 \
  catch (...) {                     \
    cleanup;                        \
    abort_ = true;                  \
    throw;                          \
  }

// ---- compressing ----

void TQnlwCompress::AddStatus() {
  if (abort_) throw EqcAborted();
  if (ProcessMessages) ProcessMessages();
  if (!dest_) throw EQnlwCompress("AddStatus has Nil DestFile");
  int32_t pos = source_ ? ClampInt32(source_->Position()) : 0;
  stats_.TotalDone = ClampInt32(static_cast<int64_t>(stats_.TotalDone) + pos - stats_.BytesDone);
  stats_.BytesDone = pos;
  stats_.CompressedSize = ClampInt32(dest_->Size());
  UpdatePercents(stats_.Size, stats_.TotalSize);
  if (OnStatus) OnStatus(this, stats_);
}

void TQnlwCompress::CompressOne(TStream* archive, TFileHeader& h) {
  std::string tempName = MakeTempFileName(true);
  auto removeTemp = OnScopeExit([&] { DeleteFile(tempName); });
  TQnlwFileStream src(h.Rec.SourcePath, fmOpenRead | fmShareDenyNone);
  if (!src.Opened()) throw EQnlwCompress(Format("Cannot open the file %s", h.Rec.SourcePath));
  TQnlwFileStream temp(tempName, fmCreate);
  if (!temp.Opened()) throw EQnlwCompress(Format("Cannot create the file %s", tempName));
  source_ = &src;
  dest_ = &temp;
  auto forget = OnScopeExit([&] {
    source_ = nullptr;
    dest_ = nullptr;
  });

  FillStats(h);
  stats_.CompressedSize = 0;
  if (OnBeforeAdding) OnBeforeAdding(this, stats_);
  {
    TCompressionStream zip(level_, &temp);
    zip.OnProgress = [this](TObject*) { AddStatus(); };
    std::vector<uint8_t> buf(kDeflateBufferSize);
    for (;;) {
      int n = src.Read(buf.data(), kDeflateBufferSize);
      if (n <= 0) break;
      zip.WriteBuffer(buf.data(), n);
    }
    zip.Finish();
  }
  // The ratio needs the finished size: the last progress event may have
  // come long before the stream was flushed.
  stats_.CompressedSize = ClampInt32(temp.Size());
  stats_.Ratio = Percent(stats_.CompressedSize, stats_.Size);
  stats_.Done = true;
  AddStatus();
  stats_.Done = false;

  int64_t headerPos = archive->Position();
  uint8_t raw[FileHeaderSize];
  h.Rec.Encode(raw);
  if (archive->Write(raw, FileHeaderSize) != FileHeaderSize) DiskFull();
  int64_t dataStart = archive->Position();
  int64_t tempSize = temp.Size();
  if (dataStart + tempSize > std::numeric_limits<int32_t>::max())
    throw EQnlwCompress(Format("The file %s is too large for the archive", h.Rec.SourcePath));
  int64_t copied = 0;
  try {
    temp.Seek(0, soBeginning);
    copied = archive->CopyFrom(&temp, tempSize);
  } catch (const Exception&) {
    DiskFull();
  }
  if (copied < tempSize) DiskFull();
  stats_.TotalCompressed = ClampInt32(static_cast<int64_t>(stats_.TotalCompressed) + tempSize);

  int64_t end = archive->Position();
  h.Rec.DataStart = static_cast<int32_t>(dataStart);
  h.Rec.LastDataByte = static_cast<int32_t>(end - 1);
  h.Rec.NextHeader = static_cast<int32_t>(end);
  h.Rec.CompressedSize = stats_.CompressedSize;
  h.InArchive = true;
  h.Rec.Encode(raw);
  archive->Seek(headerPos, soBeginning);
  if (archive->Write(raw, FileHeaderSize) != FileHeaderSize) DiskFull();
  archive->Seek(0, soEnd);
  stats_.Header = h.Rec;
  if (OnAfterAdding) OnAfterAdding(this, stats_);
}

void TQnlwCompress::Compress(TlzhCommand command) {
  abort_ = false;
  mode_ = modeCompress;
  headers_.Spanned = 0;
  offset_ = 0;
  TQnlwFileStream* archive = nullptr;
  auto cleanup = [&] {
    headersRead_ = false;
    delete archive;
    archive = nullptr;
    files_->Clear();
    mode_ = modeNone;
  };
  try {
    std::string dir = ExtractFileDir(compressedFile_);
    if (!dir.empty()) ForceDirectories(dir);
    if (command == lzcOnlyAdd && FileExists(compressedFile_)) {
      archive = new TQnlwFileStream(compressedFile_, fmOpenReadWrite | fmShareDenyNone);
      if (!archive->Opened()) throw EQnlwCompress(Format("Cannot create the file %s", compressedFile_));
      headers_.ReadHeaderChain(archive, 0);
      // Appending to a header table would overwrite the first file's data.
      if (headers_.Spanned) throw EQnlwCompress(Format("Cannot add files to the spanned archive %s", compressedFile_));
      headers_.BuildFromList(files_, true);
    } else {
      // The sources are checked before the old archive is truncated.
      headers_.BuildFromList(files_, false);
      archive = new TQnlwFileStream(compressedFile_, fmCreate);
      if (!archive->Opened()) throw EQnlwCompress(Format("Cannot create the file %s", compressedFile_));
    }
    headers_.WriteHeaders(archive);
    archive->Seek(0, soEnd);
    headers_.ResetStats(stats_);
    headers_.SumTotals(stats_);
    stats_.TotalCompressed = 0;
    for (int i = 0; i < headers_.Count(); ++i) {
      TFileHeader* h = headers_.GetFileHeaders(i);
      if (!h->InArchive) CompressOne(archive, *h);
    }
    cleanup();
  }
  QNLW_RUN_END(cleanup())
}

// ---- extracting ----

int TQnlwCompress::DecideOverwriteOf(const std::string& target, const std::string& version, double date) {
  return DecideOverwrite(version, target, overwrite_, date);
}

void TQnlwCompress::InflateTo(TStream*& source, TStream* dest, const TFileHeader& h) {
  z_stream zs{};
  DCheck(inflateInit(&zs));
  auto end = OnScopeExit([&] { inflateEnd(&zs); });
  std::vector<uint8_t> in(kInflateChunk), out(kInflateBlock);
  const int64_t lastByte = offset_ + h.Rec.LastDataByte;
  int64_t written = 0;
  bool streamEnd = false;
  int passes = h.Rec.LastDisk - currentDisk_ + 1;
  for (int pass = 0; pass < passes; ++pass) {
    for (;;) {
      zs.next_out = out.data();
      zs.avail_out = kInflateBlock;
      while (zs.avail_out > 0 && !streamEnd) {
        if (zs.avail_in == 0) {
          int chunk = kInflateChunk;
          if (currentDisk_ >= h.Rec.LastDisk) {
            int64_t pos = source->Position();
            chunk = pos > lastByte ? 0 : static_cast<int>(std::min<int64_t>(kInflateChunk, lastByte - pos + 1));
          }
          int n = chunk > 0 ? source->Read(in.data(), chunk) : 0;
          if (n <= 0) break;
          zs.next_in = in.data();
          zs.avail_in = static_cast<uInt>(n);
        }
        int r = inflate(&zs, Z_NO_FLUSH);
        if (r == Z_STREAM_END)
          streamEnd = true;
        else if (r != Z_OK)  // damaged data, or a dictionary that no archive uses
          throw ECompressionError("error");
      }
      int produced = kInflateBlock - static_cast<int>(zs.avail_out);
      if (abort_) throw EqcAborted();
      if (ProcessMessages) ProcessMessages();
      // The header's size is the most a file may grow to, whatever the
      // stream says.
      if (written + produced > h.Rec.Size) throw EQnlwCompress(Format(kSizeMismatch, h.Rec.SourcePath));
      if (produced == 0) break;
      int w = dest->Write(out.data(), produced);
      if (w < produced) DiskFull();
      written += produced;
      stats_.BytesDone = ClampInt32(static_cast<int64_t>(stats_.BytesDone) + w);
      stats_.TotalDone = ClampInt32(static_cast<int64_t>(stats_.TotalDone) + w);
      UpdatePercents(stats_.Size, stats_.TotalSize);
      if (OnStatus) OnStatus(this, stats_);
    }
    if (streamEnd || currentDisk_ >= h.Rec.LastDisk) break;
    currentDisk_ += 1;
    std::string name = compressedFile_;
    OpenDiskFile(source, currentDisk_, fmOpenRead | fmShareDenyNone, name);
    source->Seek(0, soBeginning);
  }
  if (!streamEnd) throw ECompressionError("error");
}

void TQnlwCompress::ExtractOne(TFileHeader& h) {
  FillStats(h);
  if (Trim(targetName_).empty()) targetName_ = ExtractFileName(h.Rec.SourcePath);
  if (OnBeforeExtracting) OnBeforeExtracting(this, stats_);
  auto targetPath = [&] {
    return IncludeTrailingBackslash(extractDirectory_) + PlainFileName(targetName_, compressedFile_);
  };
  std::string target = targetPath();

  if (FileExists(target)) {
    int decision = DecideOverwriteOf(target, h.Rec.Version, h.Rec.Date);
    if (decision == 0) throw EQnlwCompress("Error comparing file versions in TQnlwCompress");
    if (decision == 1 || decision == 3) {
      stats_.Done = true;
      if (OnStatus) OnStatus(this, stats_);
      return;
    }
    if (OnReplace) {
      OnReplace(this, stats_);
      target = targetPath();
    }
  }

  TStream* source = nullptr;
  auto closeSource = OnScopeExit([&] { delete source; });
  std::string partName = compressedFile_;
  OpenDiskFile(source, h.Rec.FirstDisk == 0 ? 1 : h.Rec.FirstDisk, fmOpenRead | fmShareDenyNone, partName);
  // A spanned entry's first disk 0 means disk 1; counting from 0 would read
  // disk 1 twice.
  currentDisk_ = headers_.Spanned && h.Rec.FirstDisk == 0 ? 1 : h.Rec.FirstDisk;
  int64_t start = offset_ + h.Rec.DataStart;
  if (start > source->Size()) throw EQnlwCompress(kHeadersCorrupt);

  std::string dir = ExtractFileDir(target);
  if (!dir.empty()) ForceDirectories(dir);
  RemoveHalfWrittenCopies(target);
  std::string tempName = SiblingTempName(target);
  TQnlwFileStream out(tempName, fmCreate);
  if (!out.Opened()) throw EQnlwCompress(Format("Cannot create the file %s", target));
  bool placed = false;
  auto dropTemp = OnScopeExit([&] {
    if (!placed) {
      out.Close();
      DeleteFile(tempName);
    }
  });
  source->Seek(start, soBeginning);
  try {
    InflateTo(source, &out, h);
  } catch (const ECompressionError& e) {
    // zlib's word alone says neither what nor where.
    throw ECompressionError(
        Format("Cannot extract %s: the archive %s is damaged: %s", target, compressedFile_, e.Message()));
  }
  stats_.Done = true;
  if (OnStatus) OnStatus(this, stats_);
  if (out.Size() != h.Rec.Size) throw EQnlwCompress(Format(kSizeMismatch, h.Rec.SourcePath));
  out.Close();
  // A header without a usable date (another builder may have written 0)
  // still installs its file, dated now.
  if (UsableFileDateTime(h.Rec.Date) && !SetFileDateTime(tempName, h.Rec.Date))
    throw EQnlwCompress("Cannot set the date of the file just extracted.");
  if (!ArchRenameReplace(tempName, target)) throw EQnlwCompress(Format("Cannot create the file %s", target));
  placed = true;
}

void TQnlwCompress::Extract() {
  abort_ = false;
  mode_ = modeExtract;
  auto cleanup = [&] {
    files_->Clear();
    targetName_.clear();
    mode_ = modeNone;
  };
  try {
    if (!headersRead_) ReadHeaders();
    currentDisk_ = 0;
    headers_.ResetStats(stats_);
    headers_.SumTotals(stats_);
    for (int i = 0; i < files_->Count(); ++i) {
      std::string line = files_->Get(i);
      int index = headers_.IndexOfPath(line);
      if (index < 0)
        throw EQnlwCompress(Format("The file <%s> was not found in the archive <%s>", line, compressedFile_));
      ExtractOne(*headers_.GetFileHeaders(index));
      targetName_.clear();
    }
    cleanup();
  }
  QNLW_RUN_END(cleanup())
}

// ---- disk parts ----

void TQnlwCompress::OpenDiskFile(TStream*& stream, int disk, unsigned mode, std::string& fileName) {
  for (int attempt = 0; attempt < 4; ++attempt) {
    delete stream;
    stream = nullptr;
    if (headers_.Spanned) fileName = ChangeFileExt(fileName, "." + IntToStr(disk));
    if (!FileExists(fileName)) {
      if (!OnNewDisk) throw EQnlwCompress(Format("Could not open the correct disk file %d", disk));
      std::string dir = ExcludeTrailingBackslash(ExtractFilePath(fileName));
      OnNewDisk(this, disk, dir);
      // A user who cancelled the prompt for the disk is not asked again.
      if (abort_) throw EqcAborted();
      fileName = IncludeTrailingBackslash(dir) + ExtractFileName(fileName);
    }
    if (FileExists(fileName)) {
      auto* s = new TQnlwFileStream(fileName, mode);
      if (!s->Opened()) {
        delete s;
        throw EQnlwCompress(Format("Cannot open the compressed file %s", fileName));
      }
      stream = s;
      return;
    }
  }
  throw EQnlwCompress(Format("Cannot open the compressed file %s", fileName));
}

void TQnlwCompress::SpanCopy(TStream* source, TStream*& part, const TFileHeader& h, const std::string& directory,
                             const std::string& fileName, int64_t end) {
  std::string dir = directory;
  std::vector<uint8_t> buf(kSpanChunk);
  for (;;) {
    if (abort_) throw EqcAborted();
    int64_t pos = source->Position();
    int chunk = pos > end ? 0 : static_cast<int>(std::min<int64_t>(kSpanChunk, end - pos + 1));
    int n = chunk > 0 ? source->Read(buf.data(), chunk) : 0;
    if (n <= 0) break;
    if (ProcessMessages) ProcessMessages();
    int w = std::max(part->Write(buf.data(), n), 0);
    if (w < n) {
      delete part;
      part = nullptr;
      currentDisk_ += 1;
      if (currentDisk_ > 255) throw EQnlwCompress("There is too little space on this disk to operate");
      if (!OnNewDisk)
        throw EQnlwCompress(
            "There was no event handler for the OnNewDisk event, therefore no new disk could be inserted");
      OnNewDisk(this, currentDisk_, dir);
      std::string name =
          IncludeTrailingBackslash(dir) + ChangeFileExt(ExtractFileName(fileName), "." + IntToStr(currentDisk_));
      part = OpenPartForSpanning(name, true);
      if (!part) throw EQnlwCompress(Format("Cannot create the file %s", name));
      int rest = n - w;
      if (part->Write(buf.data() + w, rest) < rest)
        throw EQnlwCompress("There is too little space on this disk to operate");
    }
    stats_.BytesDone = ClampInt32(static_cast<int64_t>(stats_.BytesDone) + n);
    stats_.TotalDone = ClampInt32(static_cast<int64_t>(stats_.TotalDone) + n);
    UpdatePercents(stats_.CompressedSize, stats_.TotalCompressed);
    if (OnStatus) OnStatus(this, stats_);
  }
  (void)h;
}

void TQnlwCompress::SpanDisks(const std::string& directory, const std::string& fileName) {
  abort_ = false;
  TQnlwFileStream* source = nullptr;
  TStream* part = nullptr;
  auto cleanup = [&] {
    delete part;
    part = nullptr;
    delete source;
    source = nullptr;
    // The headers now describe the disk set, not CompressedFile.
    headersRead_ = false;
  };
  try {
    if (!headersRead_) ReadHeaders();
    if (headers_.Spanned) throw EQnlwCompress(Format("Cannot open the compressed file %s", compressedFile_));
    currentDisk_ = 1;
    headers_.Spanned = 1;
    headers_.ResetStats(stats_);
    headers_.SumTotals(stats_);
    source = new TQnlwFileStream(compressedFile_, fmOpenRead | fmShareDenyNone);
    if (!source->Opened()) throw EQnlwCompress(Format("Cannot open the compressed file %s", compressedFile_));
    std::string firstPart = IncludeTrailingBackslash(directory) + ExtractFileName(fileName);
    if (!directory.empty()) ForceDirectories(directory);
    part = OpenPartForSpanning(firstPart, true);
    if (!part) throw EQnlwCompress(Format("Cannot create the file %s", firstPart));
    headers_.WriteHeaders(part);
    for (int i = 0; i < headers_.Count(); ++i) {
      TFileHeader& h = *headers_.GetFileHeaders(i);
      FillStats(h);
      int64_t end = offset_ + h.Rec.LastDataByte;
      source->Seek(h.Rec.DataStart + offset_, soBeginning);
      h.Rec.DataStart = ClampInt32(part->Position());
      h.Rec.FirstDisk = static_cast<uint8_t>(currentDisk_);
      SpanCopy(source, part, h, directory, fileName, end);
      h.Rec.LastDataByte = ClampInt32(part->Position() - 1);
      h.Rec.LastDisk = static_cast<uint8_t>(currentDisk_);
    }
    delete part;
    part = nullptr;
    std::string name = firstPart;
    OpenDiskFile(part, 1, fmOpenReadWrite | fmShareDenyNone, name);
    headers_.WriteHeaders(part);
    cleanup();
  }
  QNLW_RUN_END(cleanup())
}

// ---- plain copies ----

void TQnlwCompress::CopyFile(const std::string& source, const std::string& target) {
  offset_ = 0;
  extractDirectory_ = ExtractFileDir(target);
  targetName_ = ExtractFileName(target);
  auto clearName = OnScopeExit([&] { targetName_.clear(); });
  auto targetPath = [&] { return IncludeTrailingBackslash(extractDirectory_) + ExtractFileName(targetName_); };
  std::string dest = targetPath();
  headers_.ResetStats(stats_);
  stats_.FileName = source;
  int64_t size = FileSizeOf(source);
  stats_.Size = ClampInt32(size);
  if (FileExists(dest)) {
    int decision = DecideOverwriteFiles(source, dest, overwrite_);
    if (decision == 0) throw EQnlwCompress("Error comparing file versions in TQnlwCompress");
    if (decision == 1 || decision == 3) return;
    if (OnReplace) {
      OnReplace(this, stats_);
      dest = targetPath();
    }
  }
  TQnlwFileStream src(source, fmOpenRead | fmShareDenyNone);
  if (!src.Opened()) throw EQnlwCompress(Format("Cannot open the file %s", source));
  RemoveHalfWrittenCopies(dest);
  std::string tempName = SiblingTempName(dest);
  TQnlwFileStream out(tempName, fmCreate);
  if (!out.Opened()) throw EQnlwCompress(Format("Cannot create the file %s", dest));
  bool placed = false;
  auto dropTemp = OnScopeExit([&] {
    if (!placed) {
      out.Close();
      DeleteFile(tempName);
    }
  });
  std::vector<uint8_t> buf(kCopyBlock);
  for (;;) {
    // A cancelled copy leaves the old target as it was.
    if (abort_) return;
    int n = src.Read(buf.data(), kCopyBlock);
    if (n > 0 && out.Write(buf.data(), n) < n) DiskFull();
    stats_.BytesDone = ClampInt32(static_cast<int64_t>(stats_.BytesDone) + n);
    stats_.TotalDone = ClampInt32(static_cast<int64_t>(stats_.TotalDone) + n);
    UpdatePercents(stats_.Size, stats_.Size);
    if (OnStatus) OnStatus(this, stats_);
    if (ProcessMessages) ProcessMessages();
    if (n < kCopyBlock) break;
  }
  out.Close();
  TDateTime date = 0;
  if (FileDateTime(source, date)) SetFileDateTime(tempName, date);
  if (!ArchRenameReplace(tempName, dest)) throw EQnlwCompress(Format("Cannot create the file %s", dest));
  placed = true;
  stats_.Done = true;
  if (OnStatus) OnStatus(this, stats_);
}
