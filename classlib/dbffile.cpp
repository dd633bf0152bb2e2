#include "dbffile.h"

#include <cstring>
#include <set>

namespace {

constexpr int kHeaderSize = 32;
constexpr int kDescSize = 32;
constexpr uint8_t kTerminator = 0x0D;
constexpr uint8_t kEndOfFile = 0x1A;

uint32_t Le32(const uint8_t* p) {
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}
uint16_t Le16(const uint8_t* p) { return uint16_t(p[0] | p[1] << 8); }
void PutLe32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = uint8_t(v >> (8 * i));
}
void PutLe16(uint8_t* p, uint16_t v) {
  p[0] = uint8_t(v);
  p[1] = uint8_t(v >> 8);
}

// Year since 1900, month and day of today, as the header keeps them.
void PutDate(uint8_t* p) {
  int y, m, d;
  DecodeDate(Date(), y, m, d);
  p[0] = uint8_t(y - 1900);
  p[1] = uint8_t(m);
  p[2] = uint8_t(d);
}

bool ValidFieldName(const std::string& n) {
  if (n.empty() || n.size() > 10) return false;
  for (size_t i = 0; i < n.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(n[i]);
    bool letter = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
    bool digit = c >= '0' && c <= '9';
    if (!(letter || c == '_' || (i > 0 && digit))) return false;
  }
  return true;
}

}  // namespace

void TDbfFile::Create(TStream* stream, const std::vector<TDbfFieldDesc>& fields) {
  if (fields.empty() || fields.size() > 128) throw EDatabaseError("A table needs between 1 and 128 fields");
  int recLen = 1;
  std::vector<uint8_t> buf(kHeaderSize + kDescSize * fields.size() + 2, 0);
  std::set<std::string> seen;
  for (size_t i = 0; i < fields.size(); ++i) {
    const TDbfFieldDesc& f = fields[i];
    std::string name = UpperCase(f.name);
    if (!ValidFieldName(name) || !seen.insert(name).second)
      throw EDatabaseError(Format("Invalid field name '%s'", f.name));
    bool ok = (f.type == 'C' && f.length >= 1 && f.length <= 254) ||
              (f.type == 'N' && f.length >= 1 && f.length <= 19 && f.decimals >= 0 && f.decimals < f.length);
    if (!ok) throw EDatabaseError(Format("Invalid type or size of field '%s'", f.name));
    uint8_t* d = &buf[kHeaderSize + kDescSize * i];
    std::memcpy(d, name.data(), name.size());
    d[11] = static_cast<uint8_t>(f.type);
    d[16] = uint8_t(f.length);
    d[17] = uint8_t(f.type == 'N' ? f.decimals : 0);
    recLen += f.length;
  }
  int headerLen = kHeaderSize + kDescSize * static_cast<int>(fields.size()) + 1;
  buf[0] = 0x03;
  PutDate(&buf[1]);
  PutLe32(&buf[4], 0);
  PutLe16(&buf[8], uint16_t(headerLen));
  PutLe16(&buf[10], uint16_t(recLen));
  buf[29] = kLanguageAnsi;
  buf[headerLen - 1] = kTerminator;
  buf[headerLen] = kEndOfFile;
  stream->SetPosition(0);
  stream->WriteBuffer(buf.data(), static_cast<int>(buf.size()));
  stream->SetSize(static_cast<int64_t>(buf.size()));
}

void TDbfFile::Refuse(const std::string& why) const {
  throw EDatabaseError(Format("Table %s cannot be opened: %s", name_, why));
}

TDbfFile::TDbfFile(TStream* stream, const std::string& name) : stream_(stream), name_(name) {
  int64_t size = stream->Size();
  uint8_t h[kHeaderSize];
  if (size < kHeaderSize + 1) Refuse("the file is too short for a table header");
  stream->SetPosition(0);
  stream->ReadBuffer(h, kHeaderSize);
  if ((h[0] & 0x07) != 0x03 || (h[0] & 0x70) != 0)
    Refuse(Format("the version byte %d is not that of a dBASE III table", int(h[0])));
  headerLength_ = Le16(&h[8]);
  recordLength_ = Le16(&h[10]);
  uint32_t count = Le32(&h[4]);
  language_ = h[29];
  if (headerLength_ < kHeaderSize + kDescSize + 1)
    Refuse(Format("the header length %d leaves no room for a field", headerLength_));
  if (headerLength_ > size) Refuse(Format("the header length %d passes the end of the file", headerLength_));

  std::vector<uint8_t> desc(static_cast<size_t>(headerLength_ - kHeaderSize));
  stream->ReadBuffer(desc.data(), static_cast<int>(desc.size()));
  size_t n = 0;
  while (n * kDescSize < desc.size() && desc[n * kDescSize] != kTerminator) {
    if ((n + 1) * kDescSize > desc.size())
      Refuse(Format("the header length %d does not hold field descriptor %d", headerLength_, int(n + 1)));
    ++n;
  }
  if (n * kDescSize >= desc.size())
    Refuse(Format("the header length %d ends before the descriptors' terminator", headerLength_));
  if (n == 0) Refuse("the table has no fields");

  std::set<std::string> seen;
  int offset = 1;
  for (size_t i = 0; i < n; ++i) {
    const uint8_t* d = &desc[i * kDescSize];
    size_t len = 0;
    while (len < 11 && d[len] != 0) ++len;
    TDbfFieldDesc f;
    f.name = UpperCase(std::string(reinterpret_cast<const char*>(d), len));
    if (!ValidFieldName(f.name)) Refuse(Format("field %d has no valid name", int(i + 1)));
    if (!seen.insert(f.name).second) Refuse(Format("the field name %s appears twice", f.name));
    f.type = static_cast<char>(d[11]);
    f.length = d[16];
    f.decimals = d[17];
    bool ok;
    switch (f.type) {
      case 'C': ok = f.length >= 1; break;
      case 'N': case 'F': ok = f.length >= 1 && f.length <= 20 && f.decimals < f.length; break;
      case 'L': ok = f.length == 1; break;
      case 'D': ok = f.length == 8; break;
      case 'M': ok = f.length == 10; break;
      default: Refuse(Format("field %s has the unknown type %d", f.name, int(d[11])));
    }
    if (!ok) Refuse(Format("field %s of type %s has the invalid length %d", f.name, std::string(1, f.type), f.length));
    f.offset = offset;
    offset += f.length;
    fields_.push_back(f);
  }
  if (offset != recordLength_)
    Refuse(Format("the record length %d differs from the fields' total %d", recordLength_, offset));
  int64_t room = (size - headerLength_) / recordLength_;
  if (int64_t(count) > room)
    Refuse(Format("the header counts %u records, the file holds %d", count, int(room > 0x7FFFFFFF ? 0x7FFFFFFF : room)));
  count_ = static_cast<int>(count);
}

int TDbfFile::FieldIndex(const std::string& name) const {
  std::string u = UpperCase(name);
  for (size_t i = 0; i < fields_.size(); ++i)
    if (fields_[i].name == u) return static_cast<int>(i);
  return -1;
}

void TDbfFile::ReadRecord(int index, std::vector<uint8_t>& record) {
  if (index < 0 || index >= count_) throw EDatabaseError(Format("Record %d is outside table %s", index + 1, name_));
  record.resize(static_cast<size_t>(recordLength_));
  stream_->SetPosition(headerLength_ + int64_t(index) * recordLength_);
  stream_->ReadBuffer(record.data(), recordLength_);
}

void TDbfFile::WriteRecord(int index, const std::vector<uint8_t>& record) {
  if (index < 0 || index >= count_ || int(record.size()) != recordLength_)
    throw EDatabaseError(Format("Record %d is outside table %s", index + 1, name_));
  stream_->SetPosition(headerLength_ + int64_t(index) * recordLength_);
  stream_->WriteBuffer(record.data(), recordLength_);
  WriteHeaderCount();
}

int TDbfFile::AppendRecord(const std::vector<uint8_t>& record) {
  if (int(record.size()) != recordLength_) throw EDatabaseError("Record of the wrong length");
  if (count_ == 0x7FFFFFFF) throw EDatabaseError(Format("Table %s is full", name_));
  std::vector<uint8_t> buf(record);
  buf.push_back(kEndOfFile);
  stream_->SetPosition(headerLength_ + int64_t(count_) * recordLength_);
  stream_->WriteBuffer(buf.data(), static_cast<int>(buf.size()));
  ++count_;
  WriteHeaderCount();
  return count_ - 1;
}

void TDbfFile::WriteHeaderCount() {
  uint8_t h[7];
  PutDate(&h[0]);
  PutLe32(&h[3], uint32_t(count_));
  stream_->SetPosition(1);
  stream_->WriteBuffer(h, sizeof h);
}
