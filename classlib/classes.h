// The class library's containers, string lists, persistent objects with
// their property tables, components, collections and streams.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "sysutils.h"

MORVANE_EXCEPTION(EListError, Exception);
MORVANE_EXCEPTION(EStringListError, Exception);
MORVANE_EXCEPTION(EComponentError, Exception);
MORVANE_EXCEPTION(EPropertyError, Exception);
MORVANE_EXCEPTION(EStreamError, Exception);
MORVANE_EXCEPTION(EFCreateError, EStreamError);
MORVANE_EXCEPTION(EFOpenError, EStreamError);
MORVANE_EXCEPTION(EReadError, EStreamError);
MORVANE_EXCEPTION(EWriteError, EStreamError);

class TStream;
class TPersistent;
class TComponent;

// ---------------------------------------------------------------------------
// A list of untyped pointers; it owns nothing.  A bad index raises
// EListError "List index out of bounds (n)".

class TList : public TObject {
 public:
  TList() = default;
  ~TList() override;
  int Count() const { return static_cast<int>(items_.size()); }
  void* Items(int index) const;
  void* operator[](int index) const { return Items(index); }
  void SetItem(int index, void* item);
  int Add(void* item);
  void Insert(int index, void* item);
  void Delete(int index);
  // Removes the first occurrence; its former index, or -1.
  int Remove(void* item);
  // Removes the first occurrence and returns it, or nullptr.
  void* Extract(void* item);
  int IndexOf(const void* item) const;
  void Clear() { items_.clear(); }
  void Exchange(int index1, int index2);
  void Move(int curIndex, int newIndex);
  void* First() const { return Items(0); }
  void* Last() const { return Items(Count() - 1); }
  // Drops the nullptr entries.
  void Pack();
  // 'compare' returns <0, 0 or >0 like CompareText.
  void Sort(const std::function<int(void*, void*)>& compare);
  std::vector<void*>::const_iterator begin() const { return items_.begin(); }
  std::vector<void*>::const_iterator end() const { return items_.end(); }

 private:
  void Check(int index) const;
  std::vector<void*> items_;
};

// ---------------------------------------------------------------------------
// Property tables.  Each persistent class lists its published properties
// in PublishProperties; the loader of the setup program and the installer's
// translator find them by name.

enum TPropKind { pkString, pkInteger, pkBoolean, pkEnum, pkSet, pkFloat, pkClass };

struct TPropInfo {
  std::string Name;
  TPropKind Kind = pkString;
  // pkString
  std::function<std::string(TPersistent*)> GetStr;
  std::function<void(TPersistent*, const std::string&)> SetStr;
  // pkInteger, pkBoolean (0/1), pkEnum (ordinal), pkSet (bit mask)
  std::function<int64_t(TPersistent*)> GetOrd;
  std::function<void(TPersistent*, int64_t)> SetOrd;
  // pkFloat
  std::function<double(TPersistent*)> GetFloat;
  std::function<void(TPersistent*, double)> SetFloat;
  // pkClass: component references and owned sub-objects (string lists,
  // collections); a sub-object usually has no setter.
  std::function<TObject*(TPersistent*)> GetObj;
  std::function<void(TPersistent*, TObject*)> SetObj;
  // pkEnum and pkSet: the names of the ordinals (set bits), for loaders.
  std::vector<std::string> EnumNames;
};
using TPropList = std::vector<TPropInfo>;

// Builders for PublishProperties.  'get' and 'set' are member function
// pointers of C or callables taking a C*.
template <class C, class G, class S>
TPropInfo StrProp(const std::string& name, G get, S set) {
  TPropInfo p;
  p.Name = name;
  p.Kind = pkString;
  p.GetStr = [get](TPersistent* o) { return std::string(std::invoke(get, static_cast<C*>(o))); };
  p.SetStr = [set](TPersistent* o, const std::string& v) { std::invoke(set, static_cast<C*>(o), v); };
  return p;
}

template <class C, class G, class S>
TPropInfo OrdProp(const std::string& name, TPropKind kind, G get, S set, std::vector<std::string> names = {}) {
  TPropInfo p;
  p.Name = name;
  p.Kind = kind;
  p.GetOrd = [get](TPersistent* o) { return static_cast<int64_t>(std::invoke(get, static_cast<C*>(o))); };
  p.SetOrd = [set](TPersistent* o, int64_t v) {
    using Arg = std::decay_t<decltype(std::invoke(get, static_cast<C*>(o)))>;
    std::invoke(set, static_cast<C*>(o), static_cast<Arg>(v));
  };
  p.EnumNames = std::move(names);
  return p;
}

template <class C, class G, class S>
TPropInfo IntProp(const std::string& name, G get, S set) {
  return OrdProp<C>(name, pkInteger, get, set);
}

template <class C, class G, class S>
TPropInfo BoolProp(const std::string& name, G get, S set) {
  return OrdProp<C>(name, pkBoolean, get, set);
}

template <class C, class G, class S>
TPropInfo EnumProp(const std::string& name, std::vector<std::string> names, G get, S set) {
  return OrdProp<C>(name, pkEnum, get, set, std::move(names));
}

template <class C, class G, class S>
TPropInfo FloatProp(const std::string& name, G get, S set) {
  TPropInfo p;
  p.Name = name;
  p.Kind = pkFloat;
  p.GetFloat = [get](TPersistent* o) { return static_cast<double>(std::invoke(get, static_cast<C*>(o))); };
  p.SetFloat = [set](TPersistent* o, double v) { std::invoke(set, static_cast<C*>(o), v); };
  return p;
}

// An object property of type T (derived from TObject).  Setting an object
// of another class raises EPropertyError.
template <class C, class T, class G, class S>
TPropInfo ObjProp(const std::string& name, G get, S set) {
  TPropInfo p;
  p.Name = name;
  p.Kind = pkClass;
  p.GetObj = [get](TPersistent* o) -> TObject* { return std::invoke(get, static_cast<C*>(o)); };
  p.SetObj = [set, name](TPersistent* o, TObject* v) {
    T* t = dynamic_cast<T*>(v);
    if (v && !t) throw EPropertyError("Invalid value for property " + name);
    std::invoke(set, static_cast<C*>(o), t);
  };
  return p;
}

// A read-only object property (an owned sub-object).
template <class C, class G>
TPropInfo ObjProp(const std::string& name, G get) {
  TPropInfo p;
  p.Name = name;
  p.Kind = pkClass;
  p.GetObj = [get](TPersistent* o) -> TObject* { return std::invoke(get, static_cast<C*>(o)); };
  return p;
}

// ---------------------------------------------------------------------------

class TPersistent : public TObject {
 public:
  // Copies 'source' into this object; raises EConvertError "Cannot assign
  // a X to a Y" when neither class knows how.
  virtual void Assign(TPersistent* source);

  // Adds the class's published properties after those of its parent (call
  // the parent's first).  The table is built once per class, so it must not
  // depend on the object's state.
  virtual void PublishProperties(TPropList& list) const {}

 protected:
  virtual void AssignTo(TPersistent* dest);
};

// The property table of the object's class, in publishing order.
const TPropList& GetPropList(TPersistent* obj);
// Case-insensitive lookup; nullptr when the class has no such property.
const TPropInfo* GetPropInfo(TPersistent* obj, const std::string& name);
// These raise EPropertyError for an unknown property, a property of another
// kind, or one without a setter.
std::string GetStrProp(TPersistent* obj, const std::string& name);
void SetStrProp(TPersistent* obj, const std::string& name, const std::string& value);
int64_t GetOrdProp(TPersistent* obj, const std::string& name);
void SetOrdProp(TPersistent* obj, const std::string& name, int64_t value);
double GetFloatProp(TPersistent* obj, const std::string& name);
void SetFloatProp(TPersistent* obj, const std::string& name, double value);
TObject* GetObjectProp(TPersistent* obj, const std::string& name);
void SetObjectProp(TPersistent* obj, const std::string& name, TObject* value);

// ---------------------------------------------------------------------------
// String lists

enum TDuplicates { dupIgnore, dupAccept, dupError };

class TStrings : public TPersistent {
 public:
  virtual int Count() const = 0;
  virtual std::string Get(int index) const = 0;
  virtual void Put(int index, const std::string& s);
  virtual TObject* Objects(int index) const;
  virtual void PutObject(int index, TObject* obj);
  std::string Strings(int index) const { return Get(index); }
  std::string operator[](int index) const { return Get(index); }

  virtual int Add(const std::string& s);
  virtual int AddObject(const std::string& s, TObject* obj);
  void Append(const std::string& s) { Add(s); }
  virtual void AddStrings(TStrings* strings);
  virtual void Insert(int index, const std::string& s) = 0;
  virtual void InsertObject(int index, const std::string& s, TObject* obj);
  virtual void Delete(int index) = 0;
  virtual void Clear() = 0;
  virtual void Exchange(int index1, int index2);
  virtual void Move(int curIndex, int newIndex);

  virtual int IndexOf(const std::string& s) const;
  int IndexOfName(const std::string& name) const;
  int IndexOfObject(const TObject* obj) const;

  // "name=value" lines: the name is the part before the first "=".
  std::string Names(int index) const;
  std::string Values(const std::string& name) const;
  // An empty value removes the line.
  void SetValue(const std::string& name, const std::string& value);

  // Every line followed by CR LF.
  virtual std::string Text() const;
  // Splits at CR LF, LF or CR; a last line without an ending counts.
  virtual void SetText(const std::string& text);
  // Items separated by commas; an item that is empty or holds a blank, a
  // comma or a double quote is quoted, with inner quotes doubled.
  std::string CommaText() const;
  // Items are separated by commas or blanks; quoted items keep them.
  void SetCommaText(const std::string& text);

  void BeginUpdate();
  void EndUpdate();

  // Files are written with CR LF line ends and read with any of them.
  // The file errors are EFOpenError and EFCreateError.
  virtual void LoadFromFile(const std::string& fileName);
  virtual void SaveToFile(const std::string& fileName) const;
  virtual void LoadFromStream(TStream* stream);
  virtual void SaveToStream(TStream* stream) const;

  void Assign(TPersistent* source) override;
  bool Equals(const TStrings* other) const;

 protected:
  virtual void SetUpdateState(bool updating) {}
  // How this list compares strings (case-insensitive by default).
  virtual int CompareStrings(const std::string& a, const std::string& b) const { return CompareText(a, b); }
  int UpdateCount() const { return updateCount_; }

 private:
  int updateCount_ = 0;
};

class TStringList : public TStrings {
 public:
  TStringList() = default;
  ~TStringList() override;

  int Count() const override { return static_cast<int>(items_.size()); }
  std::string Get(int index) const override;
  // Raises EStringListError on a sorted list.
  void Put(int index, const std::string& s) override;
  TObject* Objects(int index) const override;
  void PutObject(int index, TObject* obj) override;
  // On a sorted list the string goes to its place; a duplicate is then
  // dropped (dupIgnore, returning the existing index), accepted, or refused
  // with EStringListError (dupError).
  int Add(const std::string& s) override;
  int AddObject(const std::string& s, TObject* obj) override;
  // Raises EStringListError on a sorted list.
  void Insert(int index, const std::string& s) override;
  void InsertObject(int index, const std::string& s, TObject* obj) override;
  void Delete(int index) override;
  void Clear() override;
  void Exchange(int index1, int index2) override;
  int IndexOf(const std::string& s) const override;
  // Binary search of a sorted list: true when found; 'index' is the first
  // match or the place where s belongs.
  virtual bool Find(const std::string& s, int& index) const;
  virtual void Sort();
  void CustomSort(const std::function<int(TStringList*, int, int)>& compare);

  bool Sorted() const { return sorted_; }
  void SetSorted(bool value);
  TDuplicates Duplicates() const { return duplicates_; }
  void SetDuplicates(TDuplicates value) { duplicates_ = value; }
  bool CaseSensitive() const { return caseSensitive_; }
  void SetCaseSensitive(bool value);

  TNotifyEvent OnChange;
  TNotifyEvent OnChanging;

 protected:
  virtual void Changed();
  virtual void Changing();
  void SetUpdateState(bool updating) override;
  int CompareStrings(const std::string& a, const std::string& b) const override;

 private:
  struct Item {
    std::string s;
    TObject* obj;
  };
  void CheckIndex(int index) const;
  void InsertItem(int index, const std::string& s, TObject* obj);
  std::vector<Item> items_;
  bool sorted_ = false;
  bool caseSensitive_ = false;
  TDuplicates duplicates_ = dupIgnore;
};

// ---------------------------------------------------------------------------
// Components

enum TOperation { opInsert, opRemove };

enum : unsigned {
  csLoading = 0x01,
  csReading = 0x02,
  csWriting = 0x04,
  csDestroying = 0x08,
  csDesigning = 0x10,
  csUpdating = 0x20,
};
using TComponentState = unsigned;

class TComponent : public TPersistent {
 public:
  explicit TComponent(TComponent* owner);
  // Tells those that asked for a free notification, frees the owned
  // components and leaves the owner.
  ~TComponent() override;

  TComponent* Owner() const { return owner_; }
  const std::string& Name() const { return name_; }
  // Raises EComponentError for a name that is not an identifier or that
  // another component of the same owner already has.
  virtual void SetName(const std::string& name);
  intptr_t Tag() const { return tag_; }
  void SetTag(intptr_t tag) { tag_ = tag; }

  int ComponentCount() const { return static_cast<int>(components_.size()); }
  TComponent* Components(int index) const;
  int ComponentIndex() const;
  // Case-insensitive; nullptr for an empty name or none.
  TComponent* FindComponent(const std::string& name) const;
  void InsertComponent(TComponent* component);
  void RemoveComponent(TComponent* component);
  // Frees the owned components, newest first.  Derived destructors call it
  // when the owned components must go while the derived part still exists.
  void DestroyComponents();

  // 'component' is told through Notification(this, opRemove) when this
  // component is freed, and the other way round.
  void FreeNotification(TComponent* component);
  void RemoveFreeNotification(TComponent* component);

  TComponentState ComponentState() const { return state_; }
  // Marks the start of loading: properties are being set from a stored
  // description and references are not resolved yet.
  virtual void Loading();
  // Called once everything is loaded; clears csLoading and csReading.
  virtual void Loaded();
  void SetDesigning(bool value);
  // Sets csDestroying here and on every owned component; derived
  // destructors may call it first so that the tree knows early.
  void Destroying();

  void PublishProperties(TPropList& list) const override;

  // Told when a component is inserted into or removed from this one, and
  // when a component this one asked about is freed.  The base forwards the
  // message to every owned component.
  virtual void Notification(TComponent* component, TOperation operation);

 protected:
  virtual void ValidateRename(TComponent* component, const std::string& curName, const std::string& newName);

 private:
  TComponent* owner_ = nullptr;
  std::string name_;
  intptr_t tag_ = 0;
  TComponentState state_ = 0;
  std::vector<TComponent*> components_;
  std::vector<TComponent*> freeNotifies_;
};

// True for a valid identifier (letter or "_", then letters, digits, "_").
bool IsValidIdent(const std::string& ident);

// ---------------------------------------------------------------------------
// Collections: owned, ordered items with stable IDs.

class TCollection;

class TCollectionItem : public TPersistent {
 public:
  explicit TCollectionItem(TCollection* collection);
  ~TCollectionItem() override;
  TCollection* Collection() const { return collection_; }
  // Moves the item to another collection (or out of any, for nullptr).
  void SetCollection(TCollection* collection);
  int Index() const;
  void SetIndex(int index);
  int ID() const { return id_; }
  virtual std::string DisplayName() const { return ClassName(); }

 protected:
  // Tells the collection that this item (or, with allItems, every item)
  // changed.
  void Changed(bool allItems);

 private:
  friend class TCollection;
  TCollection* collection_ = nullptr;
  int id_ = 0;
};

class TCollection : public TPersistent {
 public:
  using TItemFactory = std::function<TCollectionItem*(TCollection*)>;
  explicit TCollection(TItemFactory factory, TPersistent* owner = nullptr);
  ~TCollection() override;

  TPersistent* Owner() const { return owner_; }
  int Count() const { return static_cast<int>(items_.size()); }
  // Raises EListError for a bad index.
  TCollectionItem* Items(int index) const;
  TCollectionItem* Add();
  TCollectionItem* Insert(int index);
  void Delete(int index);
  void Clear();
  TCollectionItem* FindItemID(int id) const;
  void BeginUpdate();
  void EndUpdate();
  // Replaces the items with copies of the source's (each item Assigned).
  void Assign(TPersistent* source) override;

 protected:
  // Called after changes; item is nullptr when the whole collection changed.
  virtual void Update(TCollectionItem* item) {}
  void Changed();

 private:
  friend class TCollectionItem;
  void InsertItem(TCollectionItem* item);
  void RemoveItem(TCollectionItem* item);
  TItemFactory factory_;
  TPersistent* owner_;
  std::vector<TCollectionItem*> items_;
  int nextId_ = 0;
  int updateCount_ = 0;
};

// The factory that creates items of class T.
template <class T>
TCollection::TItemFactory CollectionItemFactory() {
  return [](TCollection* c) -> TCollectionItem* { return new T(c); };
}

// ---------------------------------------------------------------------------
// Streams.  Read and Write move at most 'count' bytes and return how many
// they moved: a read at or past the end is short, not an error.

class TStream : public TObject {
 public:
  virtual int Read(void* buffer, int count) = 0;
  virtual int Write(const void* buffer, int count) = 0;
  virtual int64_t Seek(int64_t offset, TSeekOrigin origin) = 0;
  // All or nothing: EReadError "Stream read error" on a short read,
  // EWriteError "Stream write error" on a short write.
  void ReadBuffer(void* buffer, int count);
  void WriteBuffer(const void* buffer, int count);
  // Copies 'count' bytes from the source's position; 0 copies the whole
  // source from its start.  Returns the bytes copied.
  int64_t CopyFrom(TStream* source, int64_t count);
  int64_t Position() { return Seek(0, soCurrent); }
  void SetPosition(int64_t pos) { Seek(pos, soBeginning); }
  virtual int64_t Size();
  virtual void SetSize(int64_t newSize);
};

// A stream over an open file handle that it does not close.  A read that
// the system refuses raises EReadError; the end of the file reads short.
class THandleStream : public TStream {
 public:
  explicit THandleStream(THandle handle) : handle_(handle) {}
  THandle Handle() const { return handle_; }
  int Read(void* buffer, int count) override;
  int Write(const void* buffer, int count) override;
  int64_t Seek(int64_t offset, TSeekOrigin origin) override;
  // Raises EWriteError when the file cannot be cut or extended.
  void SetSize(int64_t newSize) override;

 protected:
  THandle handle_;
};

// Opens (fmOpenRead, fmOpenWrite, fmOpenReadWrite with a share mode) or
// creates (fmCreate, optionally with a share mode) a file; failures raise
// EFOpenError "Cannot open file <name>" or EFCreateError "Cannot create
// file <name>".
class TFileStream : public THandleStream {
 public:
  TFileStream(const std::string& fileName, unsigned mode);
  ~TFileStream() override;
  const std::string& FileName() const { return fileName_; }

 private:
  std::string fileName_;
};

// A stream in memory; writing past the end grows it (a gap left by seeking
// beyond the end reads as zeros).
class TMemoryStream : public TStream {
 public:
  TMemoryStream() = default;
  ~TMemoryStream() override;
  int Read(void* buffer, int count) override;
  int Write(const void* buffer, int count) override;
  int64_t Seek(int64_t offset, TSeekOrigin origin) override;
  int64_t Size() override { return static_cast<int64_t>(data_.size()); }
  void SetSize(int64_t newSize) override;
  void* Memory() { return data_.empty() ? nullptr : data_.data(); }
  const void* Memory() const { return data_.empty() ? nullptr : data_.data(); }
  void Clear();
  void LoadFromStream(TStream* stream);
  void SaveToStream(TStream* stream);
  void LoadFromFile(const std::string& fileName);
  void SaveToFile(const std::string& fileName);

 private:
  std::vector<uint8_t> data_;
  int64_t pos_ = 0;
};
