#include "receivers.h"

#include "addrbook.h"

ReceiverList Receivers;

ReceiverEntry* ReceiverList::Items(int i) const {
  return reinterpret_cast<ReceiverEntry*>(items_.Get(static_cast<uint32_t>(i)));
}

ReceiverEntry* ReceiverList::Append(ReceiverEntry* entry) {
  items_.Append(reinterpret_cast<DynElement>(entry));
  return entry;
}

void ReceiverList::Delete(int i) {
  if (i < 0 || i >= Count()) return;
  delete reinterpret_cast<ReceiverEntry*>(items_.RemoveAt(static_cast<uint32_t>(i)));
}

void ReceiverList::Clear() {
  while (items_.Count() > 0) delete reinterpret_cast<ReceiverEntry*>(items_.RemoveEnd(0));
}

ReceiverEntry* FindReceiver(int32_t id) {
  for (int i = 0; i < Receivers.Count(); ++i)
    if (Receivers.Items(i)->Identifier == id) return Receivers.Items(i);
  return nullptr;
}

std::string ReceiverLine(const ReceiverEntry& r) {
  static const char* const kinds[] = {"To:", "Cc:", "Bcc:"};
  return std::string(kinds[r.Kind < 3 ? r.Kind : 0]) + " " + r.Name + " <" + r.Email + ">";
}

std::function<void()> ReceiversChanged;

void RefreshReceivers() {
  if (ReceiversChanged) ReceiversChanged();
  if (!Form3) return;
  TStrings& lines = Form3->listbox_Receivers->Items();
  lines.BeginUpdate();
  lines.Clear();
  for (int i = 0; i < Receivers.Count(); ++i) lines.Add(ReceiverLine(*Receivers.Items(i)));
  lines.EndUpdate();
}
