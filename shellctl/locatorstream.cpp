#include "locatorstream.h"

namespace shell {

namespace {
[[noreturn]] void ReadFailed() { throw EReadError("Stream read error"); }
}  // namespace

bool LocatorPidlStored(uint8_t kind, CPidl list) { return kind == 1 || list != nullptr; }

void WriteLocatorPidl(TStream* stream, uint8_t kind, uint8_t specialFolder, CPidl list) {
  if (!LocatorPidlStored(kind, list)) return;
  stream->WriteBuffer(&kind, 1);
  if (kind != 0) {
    stream->WriteBuffer(&specialFolder, 1);
    return;
  }
  uint32_t n = PidlSize(list);
  uint8_t size[4] = {static_cast<uint8_t>(n), static_cast<uint8_t>(n >> 8), static_cast<uint8_t>(n >> 16),
                     static_cast<uint8_t>(n >> 24)};
  stream->WriteBuffer(size, 4);
  stream->WriteBuffer(list, static_cast<int>(n));
}

void ReadLocatorPidl(TStream* stream, TLocatorPidlValue* out) {
  TLocatorPidlValue value;
  uint8_t kind = 0;
  stream->ReadBuffer(&kind, 1);
  if (kind != 0) {
    value.Kind = 1;
    stream->ReadBuffer(&value.SpecialFolder, 1);
    *out = std::move(value);
    return;
  }
  uint8_t size[4];
  stream->ReadBuffer(size, 4);
  uint32_t n = size[0] | (size[1] << 8) | (size[2] << 16) | (static_cast<uint32_t>(size[3]) << 24);
  int64_t left = stream->Size() - stream->Position();
  if (n < 2 || left < 0 || n > static_cast<uint64_t>(left)) ReadFailed();
  value.List.resize(n);
  stream->ReadBuffer(value.List.data(), static_cast<int>(n));
  size_t listSize = 0;
  if (!PidlWellFormed(value.List.data(), n, &listSize)) ReadFailed();
  value.List.resize(listSize);
  *out = std::move(value);
}

}  // namespace shell
