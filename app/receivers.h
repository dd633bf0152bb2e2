// The receivers of the next e-mail: chosen in the address book or typed on
// the main window, read by the e-mail thread.  One list for the whole
// process; it outlives the address-book window.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "streams.h"

struct ReceiverEntry {
  int32_t Identifier = -1;  // the address book's "ID", or -1 for a typed address
  std::string Email;
  std::string Name;
  uint8_t Kind = 0;  // 0 To, 1 Cc, 2 Bcc
};

// Owns its entries: they are freed when removed and at exit.
class ReceiverList {
 public:
  ReceiverList() = default;
  ~ReceiverList() { Clear(); }
  ReceiverList(const ReceiverList&) = delete;
  ReceiverList& operator=(const ReceiverList&) = delete;

  int Count() const { return static_cast<int>(items_.Count()); }
  // 'i' must be below Count().
  ReceiverEntry* Items(int i) const;
  // Takes the entry over.
  ReceiverEntry* Append(ReceiverEntry* entry);
  void Delete(int i);
  void Clear();

 private:
  DynArray items_;
};

extern ReceiverList Receivers;

// The receiver with that identifier, or nullptr.
ReceiverEntry* FindReceiver(int32_t id);
// "To:", "Cc:" or "Bcc:", a blank, the name and the address in angle brackets.
std::string ReceiverLine(const ReceiverEntry& r);
// Shows the list again wherever it is shown (the address book's list box,
// and through ReceiversChanged the main window's receiver rows).
void RefreshReceivers();
extern std::function<void()> ReceiversChanged;
