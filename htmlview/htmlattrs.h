// The viewer's owning list and the attribute records a tag carries from the
// scanner to the parser.
#pragma once

#include <cstdint>
#include <string>

#include "classes.h"

namespace htmlun2 {

// The kind of an attribute, a value of the scanner's symbol enumeration
// (tags and attributes share it); kept as a plain integer here so that this
// unit does not depend on the scanner.
using TAttrKind = int;

// A list of objects it owns: every item is freed when the list is cleared or
// destroyed.
class TFreeList : public TList {
 public:
  TFreeList() = default;
  ~TFreeList() override;
  void Clear();
  TObject* Objects(int index) const { return static_cast<TObject*>(Items(index)); }
};

class TAttribute : public TObject {
 public:
  TAttribute(TAttrKind which, int value, const std::string& name) : Which(which), Value(value), Name(name) {}
  TAttrKind Which;
  // The value read as a number (0 when it is not one).
  int Value;
  // The value as text.
  std::string Name;
};

// A tag's attributes in reading order.
class TAttributeList : public TFreeList {
 public:
  TAttribute* Attr(int index) const { return static_cast<TAttribute*>(Items(index)); }
  void AddAttribute(TAttrKind which, int value, const std::string& name) { Add(new TAttribute(which, value, name)); }
  // The first attribute of a kind; false (and attr left alone) when none.
  bool Find(TAttrKind which, TAttribute*& attr) const;
};

}  // namespace htmlun2
