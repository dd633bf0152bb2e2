// The ID-list check and the "Shell IDList Array" reader over arbitrary
// bytes: every list they accept must be walkable inside the block.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "classes.h"
#include "idlist.h"
#include "locatorstream.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // A private copy, so that reading one byte past the block is caught.
  std::vector<uint8_t> block(data, data + size);
  size_t len = 0;
  if (shell::PidlWellFormed(block.data(), block.size(), &len)) {
    if (shell::PidlSize(block.data()) != len) __builtin_trap();
  }
  shell::TIdListArrayView view;
  if (shell::ReadIdListArray(block.data(), block.size(), &view)) {
    volatile uint32_t total = shell::PidlSize(view.parent);
    for (shell::CPidl item : view.items) total = total + shell::PidlSize(item) + shell::PidlItemCount(item);
    (void)total;
  }
  // A locator's "Pidl" property read from the same bytes.
  TMemoryStream stream;
  if (size) stream.WriteBuffer(data, static_cast<int>(size));
  stream.SetPosition(0);
  try {
    shell::TLocatorPidlValue value;
    shell::ReadLocatorPidl(&stream, &value);
    if (value.Kind == 0 && shell::PidlSize(value.List.data()) != value.List.size()) __builtin_trap();
  } catch (const EReadError&) {
  }
  return 0;
}
