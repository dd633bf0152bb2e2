// The stream classes declared in classes.h.
#include <algorithm>
#include <cstring>
#include <limits>

#include "classes.h"

void TStream::ReadBuffer(void* buffer, int count) {
  if (count != 0 && Read(buffer, count) != count) throw EReadError("Stream read error");
}

void TStream::WriteBuffer(const void* buffer, int count) {
  if (count != 0 && Write(buffer, count) != count) throw EWriteError("Stream write error");
}

int64_t TStream::CopyFrom(TStream* source, int64_t count) {
  if (count == 0) {
    source->SetPosition(0);
    count = source->Size();
  }
  const int64_t total = count;
  std::vector<uint8_t> buf(static_cast<size_t>(std::min<int64_t>(count > 0 ? count : 1, 61440)));
  while (count > 0) {
    int n = static_cast<int>(std::min<int64_t>(count, static_cast<int64_t>(buf.size())));
    source->ReadBuffer(buf.data(), n);
    WriteBuffer(buf.data(), n);
    count -= n;
  }
  return total;
}

int64_t TStream::Size() {
  int64_t pos = Seek(0, soCurrent);
  int64_t size = Seek(0, soEnd);
  Seek(pos, soBeginning);
  return size;
}

void TStream::SetSize(int64_t) {}

// ---------------------------------------------------------------------------

int THandleStream::Read(void* buffer, int count) {
  int n = FileRead(handle_, buffer, count);
  // A failing read must not pass for the end of the file, or a reader
  // would take a damaged file for a short one.
  if (n < 0) throw EReadError("Stream read error");
  return n;
}

int THandleStream::Write(const void* buffer, int count) {
  int n = FileWrite(handle_, buffer, count);
  return n < 0 ? 0 : n;
}

int64_t THandleStream::Seek(int64_t offset, TSeekOrigin origin) { return FileSeek(handle_, offset, origin); }

void THandleStream::SetSize(int64_t newSize) {
  int64_t pos = Position();
  if (FileSeek(handle_, newSize, soBeginning) < 0 || !FileTruncate(handle_)) {
    FileSeek(handle_, pos, soBeginning);
    throw EWriteError("Stream write error");
  }
  if (pos < newSize) FileSeek(handle_, pos, soBeginning);
}

// ---------------------------------------------------------------------------

TFileStream::TFileStream(const std::string& fileName, unsigned mode)
    : THandleStream(INVALID_FILE_HANDLE), fileName_(fileName) {
  if ((mode & 0xFF00) == fmCreate) {
    handle_ = FileCreate(fileName, mode & 0xFF);
    if (handle_ == INVALID_FILE_HANDLE) throw EFCreateError("Cannot create file " + fileName);
  } else {
    handle_ = FileOpen(fileName, mode);
    if (handle_ == INVALID_FILE_HANDLE) throw EFOpenError("Cannot open file " + fileName);
  }
}

TFileStream::~TFileStream() { FileClose(handle_); }

// ---------------------------------------------------------------------------

TMemoryStream::~TMemoryStream() = default;

int TMemoryStream::Read(void* buffer, int count) {
  if (count <= 0 || pos_ >= Size()) return 0;
  int n = static_cast<int>(std::min<int64_t>(count, Size() - pos_));
  std::memcpy(buffer, data_.data() + pos_, n);
  pos_ += n;
  return n;
}

int TMemoryStream::Write(const void* buffer, int count) {
  if (count <= 0) return 0;
  int64_t end = pos_ + count;
  if (end > Size()) SetSize(end);
  std::memcpy(data_.data() + pos_, buffer, count);
  pos_ = end;
  return count;
}

int64_t TMemoryStream::Seek(int64_t offset, TSeekOrigin origin) {
  int64_t base = origin == soCurrent ? pos_ : origin == soEnd ? Size() : 0;
  int64_t target = base + offset;
  if (target < 0) return -1;  // the position stays where it was
  pos_ = target;
  return pos_;
}

void TMemoryStream::SetSize(int64_t newSize) {
  if (newSize < 0) throw EStreamError("Invalid stream size");
  if (static_cast<uint64_t>(newSize) > std::numeric_limits<size_t>::max() / 2) throw EOutOfMemory("Out of memory");
  try {
    data_.resize(static_cast<size_t>(newSize));
  } catch (const std::bad_alloc&) {
    throw EOutOfMemory("Out of memory");
  }
  if (pos_ > newSize) pos_ = newSize;
}

void TMemoryStream::Clear() {
  data_.clear();
  data_.shrink_to_fit();
  pos_ = 0;
}

void TMemoryStream::LoadFromStream(TStream* stream) {
  stream->SetPosition(0);
  int64_t size = stream->Size();
  SetSize(size);
  for (int64_t done = 0; done < size;) {
    int n = static_cast<int>(std::min<int64_t>(size - done, 1 << 30));
    stream->ReadBuffer(data_.data() + done, n);
    done += n;
  }
  pos_ = 0;
}

void TMemoryStream::SaveToStream(TStream* stream) {
  for (size_t done = 0; done < data_.size();) {
    int n = static_cast<int>(std::min<size_t>(data_.size() - done, 1 << 30));
    stream->WriteBuffer(data_.data() + done, n);
    done += n;
  }
}

void TMemoryStream::LoadFromFile(const std::string& fileName) {
  TFileStream stream(fileName, fmOpenRead | fmShareDenyWrite);
  LoadFromStream(&stream);
}

void TMemoryStream::SaveToFile(const std::string& fileName) {
  TFileStream stream(fileName, fmCreate);
  SaveToStream(&stream);
}
