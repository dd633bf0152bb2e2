#include "loader.h"

#include <map>

namespace {

std::map<std::string, TComponentFactory>& Registry() {
  static std::map<std::string, TComponentFactory> classes;
  return classes;
}

const TPropInfo& FindProp(TPersistent* obj, TComponent* c, const std::string& name) {
  const TPropInfo* p = GetPropInfo(obj, name);
  if (!p) throw EReadError(Format("Property %s does not exist in %s", name, c->Name()));
  return *p;
}

// The item "Entries[2]" of a collection property, made (with those before
// it) when the collection has fewer items.
TPersistent* CollectionItemOf(TPersistent* obj, TComponent* c, const std::string& part, const std::string& shown) {
  size_t open = part.find('[');
  int index = -1;
  if (!TryStrToInt(Trim(part.substr(open + 1, part.size() - open - 2)), index) || index < 0)
    throw EReadError(Format("Invalid collection index in %s of %s", shown, c->Name()));
  const TPropInfo& p = FindProp(obj, c, Trim(part.substr(0, open)));
  auto* items = p.Kind == pkClass && p.GetObj ? dynamic_cast<TCollection*>(p.GetObj(obj)) : nullptr;
  if (!items) throw EReadError(Format("Property %s of %s is not a collection", shown, c->Name()));
  // A form lists the items in order; a huge index is a broken form, not a
  // reason to make that many items.
  if (index > items->Count()) throw EReadError(Format("Collection item %s of %s is out of order", shown, c->Name()));
  if (index == items->Count()) items->Add();
  return items->Items(index);
}

// "LoginInformation.Hostname", "Entries[0].Ident": every part before the
// last names an owned sub-object or an item of a collection, the last the
// property of the innermost one.
TPersistent* PropertyOwner(TComponent* c, const std::string& path, std::string& last) {
  TPersistent* obj = c;
  size_t start = 0;
  for (size_t dot; (dot = path.find('.', start)) != std::string::npos; start = dot + 1) {
    std::string part = path.substr(start, dot - start);
    if (!part.empty() && part.back() == ']' && part.find('[') != std::string::npos) {
      obj = CollectionItemOf(obj, c, part, path.substr(0, dot));
      continue;
    }
    const TPropInfo& p = FindProp(obj, c, part);
    TPersistent* sub = p.Kind == pkClass && p.GetObj ? dynamic_cast<TPersistent*>(p.GetObj(obj)) : nullptr;
    if (!sub || dynamic_cast<TComponent*>(sub) || dynamic_cast<TCollection*>(sub))
      throw EReadError(Format("Property %s of %s has no sub-properties", path.substr(0, dot), c->Name()));
    obj = sub;
  }
  last = path.substr(start);
  return obj;
}

int64_t OrdinalOf(const TPropInfo& p, const std::string& value) {
  std::string v = Trim(value);
  for (size_t i = 0; i < p.EnumNames.size(); ++i)
    if (SameText(p.EnumNames[i], v)) return static_cast<int64_t>(i);
  int n;
  if (TryStrToInt(v, n)) return n;
  throw EReadError(Format("Invalid property value %s for %s", value, p.Name));
}

int64_t SetBitsOf(const TPropInfo& p, const std::string& value) {
  std::string v = Trim(value);
  if (v.size() < 2 || v.front() != '[' || v.back() != ']')
    throw EReadError(Format("Invalid property value %s for %s", value, p.Name));
  int64_t bits = 0;
  std::string inner = v.substr(1, v.size() - 2);
  size_t start = 0;
  while (start <= inner.size()) {
    size_t comma = inner.find(',', start);
    std::string item = Trim(inner.substr(start, comma == std::string::npos ? std::string::npos : comma - start));
    if (!item.empty()) bits |= int64_t(1) << OrdinalOf(p, item);
    if (comma == std::string::npos) break;
    start = comma + 1;
  }
  return bits;
}

void SetValue(TPersistent* c, const std::string& owner, const TPropInfo& p, const std::string& value) {
  switch (p.Kind) {
    case pkString:
      if (!p.SetStr) break;
      p.SetStr(c, value);
      return;
    case pkInteger: {
      int n;
      if (!TryStrToInt(Trim(value), n)) throw EReadError(Format("Invalid property value %s for %s", value, p.Name));
      if (!p.SetOrd) break;
      p.SetOrd(c, n);
      return;
    }
    case pkBoolean:
      if (!p.SetOrd) break;
      if (SameText(Trim(value), "True"))
        p.SetOrd(c, 1);
      else if (SameText(Trim(value), "False"))
        p.SetOrd(c, 0);
      else
        throw EReadError(Format("Invalid property value %s for %s", value, p.Name));
      return;
    case pkEnum:
      if (!p.SetOrd) break;
      p.SetOrd(c, OrdinalOf(p, value));
      return;
    case pkSet:
      if (!p.SetOrd) break;
      p.SetOrd(c, SetBitsOf(p, value));
      return;
    case pkFloat:
      if (!p.SetFloat) break;
      try {
        size_t used = 0;
        double d = std::stod(Trim(value), &used);
        p.SetFloat(c, d);
      } catch (const std::exception&) {
        throw EReadError(Format("Invalid property value %s for %s", value, p.Name));
      }
      return;
    case pkClass: {
      // An owned sub-object: a string list takes the lines.
      TObject* sub = p.GetObj ? p.GetObj(c) : nullptr;
      if (auto* strings = dynamic_cast<TStrings*>(sub)) {
        if (p.SetObj) {
          TStringList lines;
          lines.SetText(value);
          p.SetObj(c, &lines);
        } else {
          strings->SetText(value);
        }
        return;
      }
      break;
    }
  }
  throw EReadError(Format("Property %s of %s cannot be set", p.Name, owner));
}

bool IsReference(TPersistent* c, const TPropInfo& p) {
  if (p.Kind != pkClass || !p.SetObj) return false;
  TObject* sub = p.GetObj ? p.GetObj(c) : nullptr;
  // Owned sub-objects are filled in place, not pointed at.
  return dynamic_cast<TStrings*>(sub) == nullptr && dynamic_cast<TCollection*>(sub) == nullptr;
}

}  // namespace

void RegisterComponentClass(const std::string& className, TComponentFactory factory) {
  Registry()[UpperCase(className)] = std::move(factory);
}

std::vector<TComponent*> LoadForm(TComponent* owner, const std::vector<TFormComponent>& form) {
  struct Fixup {
    TComponent* component;
    TPersistent* object;
    const TPropInfo* prop;
    std::string target;
  };
  std::vector<TComponent*> made;
  std::vector<Fixup> fixups;
  bool ownerLoading = owner && !(owner->ComponentState() & csLoading);
  if (ownerLoading) owner->Loading();
  try {
    for (const TFormComponent& fc : form) {
      auto it = Registry().find(UpperCase(fc.ClassName));
      if (it == Registry().end()) throw EReadError(Format("Class %s not found", fc.ClassName));
      TComponent* c = it->second(owner);
      made.push_back(c);
      c->Loading();
      try {
        c->SetName(fc.Name);
        for (const auto& prop : fc.Properties) {
          std::string last;
          TPersistent* obj = PropertyOwner(c, prop.first, last);
          const TPropInfo& p = FindProp(obj, c, last);
          if (IsReference(obj, p))
            fixups.push_back({c, obj, &p, prop.second});
          else
            SetValue(obj, c->Name(), p, prop.second);
        }
      } catch (const EReadError&) {
        throw;
      } catch (const Exception& e) {
        throw EReadError(e.Message());
      }
    }
    for (const Fixup& f : fixups) {
      std::string target = Trim(f.target);
      TComponent* ref = nullptr;
      if (!target.empty() && !SameText(target, "nil")) {
        ref = owner ? owner->FindComponent(target) : nullptr;
        if (!ref)
          for (TComponent* m : made)
            if (SameText(m->Name(), target)) ref = m;
        if (!ref) throw EReadError(Format("Unresolved reference to %s in %s", target, f.component->Name()));
      }
      try {
        f.prop->SetObj(f.object, ref);
      } catch (const EReadError&) {
        throw;
      } catch (const Exception& e) {
        throw EReadError(e.Message());
      }
    }
  } catch (...) {
    // What was made stays with its owner, but nothing is left half-loaded.
    for (TComponent* c : made)
      if (c->ComponentState() & csLoading) c->Loaded();
    if (ownerLoading) owner->Loaded();
    throw;
  }
  for (TComponent* c : made) c->Loaded();
  if (ownerLoading) owner->Loaded();
  return made;
}
