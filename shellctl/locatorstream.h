// The bytes of a shell locator's "Pidl" property in a form stream:
//   kind u8; kind 0: size n u32 (little-endian, the list with its
//   terminator) and the n list bytes; any other kind: one special-folder
//   byte, and the kind reads back as 1.
// The stream comes from a file, so the size is bounded by what is left in
// the stream and the list must end inside its n bytes before it is used.
#pragma once

#include <cstdint>
#include <vector>

#include "classes.h"
#include "idlist.h"

namespace shell {

struct TLocatorPidlValue {
  uint8_t Kind = 0;
  uint8_t SpecialFolder = 0;
  std::vector<uint8_t> List;  // kind 0: the list bytes, terminator included
};

// Whether the property is written at all: a list is held or the kind is 1.
bool LocatorPidlStored(uint8_t kind, CPidl list);
// Writes the property (nothing when it is not stored).
void WriteLocatorPidl(TStream* stream, uint8_t kind, uint8_t specialFolder, CPidl list);
// Reads one property.  A short stream, a size beyond the bytes left or
// below 2, or a list that does not end within its size raise EReadError
// "Stream read error"; 'out' is untouched then.
void ReadLocatorPidl(TStream* stream, TLocatorPidlValue* out);

}  // namespace shell
