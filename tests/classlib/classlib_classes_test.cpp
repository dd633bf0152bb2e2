#include <gtest/gtest.h>

#include <memory>

#include "classes.h"
#include "test_support.h"

TEST(ClassesList, IndexingAndEditing) {
  TList list;
  int a = 1, b = 2, c = 3;
  list.Add(&a);
  list.Add(&b);
  list.Insert(0, &c);
  EXPECT_EQ(list.Count(), 3);
  EXPECT_EQ(list[0], &c);
  EXPECT_EQ(list.IndexOf(&b), 2);
  list.Move(0, 2);
  EXPECT_EQ(list.Last(), &c);
  EXPECT_EQ(list.Remove(&a), 0);
  EXPECT_EQ(list.Remove(&a), -1);
  EXPECT_THROW(list.Items(2), EListError);
  EXPECT_THROW(list.Delete(-1), EListError);
  list.Add(nullptr);
  list.Pack();
  EXPECT_EQ(list.Count(), 2);
  list.Sort([](void* x, void* y) { return *static_cast<int*>(y) - *static_cast<int*>(x); });
  EXPECT_EQ(list[0], &c);
}

TEST(ClassesStringList, SortedDuplicatesAndFind) {
  TStringList list;
  list.SetSorted(true);
  EXPECT_EQ(list.Add("pear"), 0);
  EXPECT_EQ(list.Add("Apple"), 0);
  EXPECT_EQ(list.Add("fig"), 1);
  EXPECT_EQ(list.Add("APPLE"), 0);  // dupIgnore: the existing index, nothing added
  EXPECT_EQ(list.Count(), 3);
  EXPECT_EQ(list.IndexOf("PEAR"), 2);
  EXPECT_EQ(list.IndexOf("kiwi"), -1);
  EXPECT_THROW(list.Insert(0, "x"), EStringListError);
  EXPECT_THROW(list.Put(0, "x"), EStringListError);
  list.SetDuplicates(dupError);
  EXPECT_THROW(list.Add("fig"), EStringListError);
  EXPECT_EQ(list.Count(), 3);
  list.SetDuplicates(dupAccept);
  list.Add("fig");
  list.Add("FIG");
  EXPECT_EQ(list.Count(), 5);
  int index;
  EXPECT_TRUE(list.Find("Fig", index));
  EXPECT_EQ(index, 1);  // the first of the equal strings
  EXPECT_FALSE(list.Find("grape", index));
  EXPECT_EQ(index, 4);

  TStringList cs;
  cs.SetCaseSensitive(true);
  cs.SetSorted(true);
  cs.Add("b");
  cs.Add("B");
  cs.Add("a");
  EXPECT_EQ(cs.CommaText(), "B,a,b");
  EXPECT_EQ(cs.IndexOf("A"), -1);
}

TEST(ClassesStringList, ObjectsValuesAndChangeEvents) {
  TStringList list;
  TObject o1, o2;
  int changes = 0;
  list.OnChange = [&](TObject* sender) {
    EXPECT_EQ(sender, &list);
    ++changes;
  };
  list.AddObject("one=1", &o1);
  list.AddObject("two=2", &o2);
  EXPECT_EQ(changes, 2);
  EXPECT_EQ(list.Objects(1), &o2);
  EXPECT_EQ(list.IndexOfObject(&o1), 0);
  EXPECT_EQ(list.Values("TWO"), "2");
  EXPECT_EQ(list.Values("three"), "");
  EXPECT_EQ(list.Names(0), "one");
  list.BeginUpdate();
  list.SetValue("two", "22");
  list.SetValue("three", "3");
  list.SetValue("one", "");  // removes the line
  EXPECT_EQ(changes, 2);
  list.EndUpdate();
  EXPECT_EQ(changes, 3);
  EXPECT_EQ(list.Text(), "two=22\r\nthree=3\r\n");
  EXPECT_EQ(list.Objects(0), &o2);  // Put keeps the object
  list.Exchange(0, 1);
  EXPECT_EQ(list[0], "three=3");
  EXPECT_EQ(list.Objects(1), &o2);
  EXPECT_THROW(list.Objects(2), EStringListError);
}

TEST(ClassesStringList, CommaTextRoundTripsAwkwardItems) {
  TStringList list;
  list.Add("plain");
  list.Add("with space");
  list.Add("a,b");
  list.Add("say \"hi\"");
  list.Add("");
  EXPECT_EQ(list.CommaText(), "plain,\"with space\",\"a,b\",\"say \"\"hi\"\"\",\"\"");
  TStringList back;
  back.SetCommaText(list.CommaText());
  EXPECT_TRUE(back.Equals(&list));

  back.SetCommaText("  a b ,, \"c\"\"d\" ,");
  EXPECT_EQ(back.Count(), 4);
  EXPECT_EQ(back[0], "a");
  EXPECT_EQ(back[1], "b");
  EXPECT_EQ(back[2], "");
  EXPECT_EQ(back[3], "c\"d");
  TStringList single;
  single.Add("");
  EXPECT_EQ(single.CommaText(), "\"\"");
}

TEST(ClassesStringList, FilesUseCrLfAndReadAnyLineEnd) {
  const std::string dir = testsupport::ScratchDir();
  const std::string name = testsupport::Join(dir, "lines.txt");
  TStringList list;
  list.Add("first");
  list.Add("");
  list.Add("third");
  list.SaveToFile(name);
  auto bytes = testsupport::ReadFileBytes(name);
  EXPECT_EQ(std::string(bytes.begin(), bytes.end()), "first\r\n\r\nthird\r\n");

  testsupport::WriteFileText(name, "a\nb\r\nc\rd");
  TStringList read;
  read.LoadFromFile(name);
  EXPECT_EQ(read.CommaText(), "a,b,c,d");
  testsupport::WriteFileText(name, "");
  read.LoadFromFile(name);
  EXPECT_EQ(read.Count(), 0);
  EXPECT_THROW(read.LoadFromFile(testsupport::Join(dir, "missing.txt")), EFOpenError);
  EXPECT_THROW(list.SaveToFile(testsupport::Join(testsupport::Join(dir, "no-such-dir"), "x.txt")), EFCreateError);

  TStringList copy;
  copy.Assign(&list);
  EXPECT_TRUE(copy.Equals(&list));
  TList notStrings;
  (void)notStrings;
}

namespace {

class TProbe : public TComponent {
 public:
  using TComponent::TComponent;
  ~TProbe() override {
    if (destroyed) *destroyed = true;
  }
  void Notification(TComponent* component, TOperation operation) override {
    TComponent::Notification(component, operation);
    if (operation == opRemove && component == watched) watched = nullptr;
    if (operation == opInsert) ++inserts;
  }
  void Loaded() override {
    TComponent::Loaded();
    ++loadedCalls;
  }
  const std::string& Caption() const { return caption_; }
  void SetCaption(const std::string& v) { caption_ = v; }
  int Width() const { return width_; }
  void SetWidth(int v) { width_ = v; }
  bool Flag() const { return flag_; }
  void SetFlag(bool v) { flag_ = v; }
  TStringList* Lines() { return &lines_; }
  TComponent* Link() const { return link_; }
  void SetLink(TComponent* c) { link_ = c; }

  void PublishProperties(TPropList& list) const override {
    TComponent::PublishProperties(list);
    list.push_back(StrProp<TProbe>("Caption", &TProbe::Caption, &TProbe::SetCaption));
    list.push_back(IntProp<TProbe>("Width", &TProbe::Width, &TProbe::SetWidth));
    list.push_back(BoolProp<TProbe>("Flag", &TProbe::Flag, &TProbe::SetFlag));
    list.push_back(ObjProp<TProbe>("Lines", &TProbe::Lines));
    list.push_back(ObjProp<TProbe, TComponent>("Link", &TProbe::Link, &TProbe::SetLink));
  }

  bool* destroyed = nullptr;
  TComponent* watched = nullptr;
  int inserts = 0;
  int loadedCalls = 0;

 private:
  std::string caption_;
  int width_ = 0;
  bool flag_ = false;
  TStringList lines_;
  TComponent* link_ = nullptr;
};

}  // namespace

TEST(ClassesComponent, OwnerFreesOwnedAndNamesAreUnique) {
  bool aGone = false, bGone = false;
  auto* owner = new TProbe(nullptr);
  auto* a = new TProbe(owner);
  auto* b = new TProbe(owner);
  a->destroyed = &aGone;
  b->destroyed = &bGone;
  EXPECT_EQ(owner->inserts, 2);
  a->SetName("Button1");
  EXPECT_THROW(b->SetName("BUTTON1"), EComponentError);
  EXPECT_EQ(b->Name(), "");
  EXPECT_THROW(b->SetName("1abc"), EComponentError);
  b->SetName("Edit1");
  a->SetName("button1");  // a new case of its own name is fine
  EXPECT_EQ(owner->FindComponent("EDIT1"), b);
  EXPECT_EQ(owner->FindComponent(""), nullptr);
  EXPECT_EQ(b->ComponentIndex(), 1);
  // Adopting a component whose name the new owner already has is refused.
  TProbe other(nullptr);
  auto* clash = new TProbe(&other);
  clash->SetName("Edit1");
  EXPECT_THROW(owner->InsertComponent(clash), EComponentError);
  EXPECT_EQ(clash->Owner(), &other);
  delete b;
  EXPECT_TRUE(bGone);
  EXPECT_EQ(owner->ComponentCount(), 1);
  delete owner;
  EXPECT_TRUE(aGone);
}

TEST(ClassesComponent, FreeNotificationAcrossOwners) {
  TProbe formA(nullptr), formB(nullptr);
  auto* target = new TProbe(&formA);
  auto* user = new TProbe(&formB);
  user->watched = target;
  target->FreeNotification(user);
  delete target;
  EXPECT_EQ(user->watched, nullptr);

  // Siblings hear of each other through the owner.
  auto* sib1 = new TProbe(&formB);
  auto* sib2 = new TProbe(&formB);
  sib2->watched = sib1;
  sib2->FreeNotification(sib1);
  delete sib1;
  EXPECT_EQ(sib2->watched, nullptr);

  // A notification partner that goes first is forgotten, not told later.
  auto* gone = new TProbe(&formA);
  auto* stays = new TProbe(&formB);
  gone->FreeNotification(stays);
  delete stays;
  delete gone;  // must not touch 'stays'
}

TEST(ClassesComponent, StateLoadingAndDestroying) {
  TProbe owner(nullptr);
  auto* child = new TProbe(&owner);
  child->Loading();
  EXPECT_TRUE(child->ComponentState() & csLoading);
  child->Loaded();
  EXPECT_FALSE(child->ComponentState() & csLoading);
  EXPECT_EQ(child->loadedCalls, 1);

  static bool seen = false;
  struct TReporter : TComponent {
    using TComponent::TComponent;
    // The owner has already let go of it, but the mark came down the tree.
    ~TReporter() override { seen = (ComponentState() & csDestroying) && !Owner(); }
  };
  auto* parent = new TComponent(nullptr);
  new TReporter(parent);
  delete parent;
  EXPECT_TRUE(seen);
}

TEST(ClassesProperties, TableLookupAndTypedAccess) {
  TProbe owner(nullptr);
  TProbe probe(&owner);
  probe.SetName("Probe1");
  const TPropList& props = GetPropList(&probe);
  ASSERT_EQ(props.size(), 7u);
  EXPECT_EQ(props[0].Name, "Name");
  EXPECT_EQ(&GetPropList(&probe), &props);  // built once per class

  SetStrProp(&probe, "caption", "Hello");
  EXPECT_EQ(probe.Caption(), "Hello");
  EXPECT_EQ(GetStrProp(&probe, "CAPTION"), "Hello");
  SetOrdProp(&probe, "Width", 120);
  SetOrdProp(&probe, "Flag", 1);
  EXPECT_EQ(probe.Width(), 120);
  EXPECT_TRUE(probe.Flag());
  EXPECT_EQ(GetObjectProp(&probe, "Lines"), probe.Lines());
  SetObjectProp(&probe, "Link", &owner);
  EXPECT_EQ(probe.Link(), &owner);
  // A rename through the table goes through the same checks.
  TProbe sibling(&owner);
  EXPECT_THROW(SetStrProp(&sibling, "Name", "probe1"), EComponentError);

  EXPECT_EQ(GetPropInfo(&probe, "Nope"), nullptr);
  EXPECT_THROW(SetStrProp(&probe, "Nope", "x"), EPropertyError);
  EXPECT_THROW(SetStrProp(&probe, "Width", "x"), EPropertyError);
  EXPECT_THROW(SetObjectProp(&probe, "Lines", nullptr), EPropertyError);
  TStringList notAComponent;
  EXPECT_THROW(SetObjectProp(&probe, "Link", &notAComponent), EPropertyError);

  // The translator's walk: every string property but Name.
  std::vector<std::string> texts;
  for (const TPropInfo& p : GetPropList(&probe))
    if (p.Kind == pkString && !SameText(p.Name, "Name")) texts.push_back(p.GetStr(&probe));
  EXPECT_EQ(texts, std::vector<std::string>{"Hello"});
}

namespace {
class TEntry : public TCollectionItem {
 public:
  using TCollectionItem::TCollectionItem;
  std::string text;
  void Assign(TPersistent* source) override {
    if (auto* e = dynamic_cast<TEntry*>(source)) {
      text = e->text;
      return;
    }
    TCollectionItem::Assign(source);
  }
};
class TEntries : public TCollection {
 public:
  TEntries() : TCollection(CollectionItemFactory<TEntry>()) {}
  int updates = 0;

 protected:
  void Update(TCollectionItem*) override { ++updates; }
};
}  // namespace

TEST(ClassesCollection, ItemsIdsOrderAndAssign) {
  TEntries entries;
  auto* e0 = static_cast<TEntry*>(entries.Add());
  auto* e1 = static_cast<TEntry*>(entries.Add());
  e0->text = "zero";
  e1->text = "one";
  EXPECT_EQ(e1->ID(), 1);
  EXPECT_EQ(e1->Index(), 1);
  auto* ins = static_cast<TEntry*>(entries.Insert(0));
  ins->text = "first";
  EXPECT_EQ(ins->Index(), 0);
  EXPECT_EQ(ins->ID(), 2);
  EXPECT_EQ(entries.FindItemID(1), e1);
  e1->SetIndex(0);
  EXPECT_EQ(entries.Items(0), e1);
  delete e0;  // an item leaves its collection when freed
  EXPECT_EQ(entries.Count(), 2);
  EXPECT_THROW(entries.Items(2), EListError);
  EXPECT_GT(entries.updates, 0);

  TEntries copy;
  copy.Add();
  copy.Assign(&entries);
  ASSERT_EQ(copy.Count(), 2);
  EXPECT_EQ(static_cast<TEntry*>(copy.Items(0))->text, "one");
  EXPECT_EQ(static_cast<TEntry*>(copy.Items(1))->text, "first");
  TStringList strings;
  try {
    copy.Assign(&strings);
    FAIL();
  } catch (const EConvertError& e) {
    EXPECT_EQ(e.Message(), "Cannot assign a TStringList to a TEntries");
  }
}

TEST(ClassesStreams, MemoryStreamReadsShortPastTheEnd) {
  TMemoryStream m;
  m.WriteBuffer("abcdef", 6);
  EXPECT_EQ(m.Size(), 6);
  m.SetPosition(4);
  char buf[8] = {};
  EXPECT_EQ(m.Read(buf, 8), 2);
  EXPECT_EQ(std::string(buf, 2), "ef");
  EXPECT_EQ(m.Read(buf, 8), 0);
  m.SetPosition(2);
  EXPECT_THROW(m.ReadBuffer(buf, 5), EReadError);
  // Writing after a gap fills it with zeros.
  m.Seek(2, soEnd);
  m.WriteBuffer("Z", 1);
  EXPECT_EQ(m.Size(), 9);
  EXPECT_EQ(std::string(static_cast<const char*>(m.Memory()), 9), std::string("abcdef\0\0Z", 9));
  EXPECT_EQ(m.Seek(-1, soBeginning), -1);
  m.SetSize(3);
  EXPECT_EQ(m.Position(), 3);
}

TEST(ClassesStreams, FileStreamModesAndErrors) {
  const std::string dir = testsupport::ScratchDir();
  const std::string name = testsupport::Join(dir, "data.bin");
  EXPECT_THROW(TFileStream(name, fmOpenRead), EFOpenError);
  {
    TFileStream f(name, fmCreate);
    f.WriteBuffer("0123456789", 10);
    f.SetSize(4);
    EXPECT_EQ(f.Size(), 4);
  }
  {
    TFileStream f(name, fmOpenReadWrite | fmShareExclusive);
    f.Seek(0, soEnd);
    f.WriteBuffer("xy", 2);
  }
  {
    TFileStream writeOnly(name, fmOpenWrite);
    char c;
    EXPECT_THROW(writeOnly.Read(&c, 1), EReadError);  // an error, not an empty file
  }
  TMemoryStream m;
  m.LoadFromFile(name);
  EXPECT_EQ(std::string(static_cast<const char*>(m.Memory()), m.Size()), "0123xy");
  {
    TFileStream f(name, fmOpenRead | fmShareDenyNone);
    char buf[10];
    EXPECT_EQ(f.Read(buf, 10), 6);
    EXPECT_EQ(f.Read(buf, 10), 0);
    EXPECT_THROW(f.WriteBuffer("a", 1), EWriteError);
    TMemoryStream copy;
    EXPECT_EQ(copy.CopyFrom(&f, 0), 6);
    EXPECT_EQ(copy.Size(), 6);
    f.SetPosition(5);
    EXPECT_THROW(copy.CopyFrom(&f, 3), EReadError);
  }
  EXPECT_THROW(TFileStream(testsupport::Join(dir, "no\\such\\dir") + "/x", fmCreate), EFCreateError);
  EXPECT_THROW(TFileStream(dir, fmOpenRead), EFOpenError);
}
