#include <cstddef>
#include <cstdint>

#include "classes.h"
#include "dbtables.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  TMemoryStream stream;
  if (size) stream.WriteBuffer(data, static_cast<int>(size));
  TStreamTable table(nullptr, &stream);
  try {
    table.Open();
    int n = 0;
    for (table.First(); !table.Eof() && n < 1000; table.Next(), ++n)
      for (int i = 0; i < table.FieldCount(); ++i) {
        (void)table.Fields(i)->AsString();
        try {
          (void)table.Fields(i)->AsInteger();
        } catch (const Exception&) {
        }
      }
    if (!table.IsEmpty()) {
      table.Edit();
      table.Post();
    }
  } catch (const Exception&) {
  }
  return 0;
}
