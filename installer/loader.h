// Builds a component tree from a form description, the way a stored form is
// read: every component is created and named while loading, its properties
// are set, then references to other components are resolved by name (in
// form order), and finally every component gets Loaded.  Install objects
// join their containers while references are resolved and renumber their
// children in Loaded.
#pragma once

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "classes.h"

// One component of a form.  Property values are text: strings as they are,
// numbers in decimal, Booleans "True"/"False", enumerations by name, sets
// as "[a,b]", component references by component name ("" or "nil" for
// none), and string lists as lines separated by "\n".  A property of an
// owned sub-object is named through it ("LoginInformation.Hostname"), one
// of a collection item through the item's index ("Entries[0].Ident");
// items are made as their first property is met, in index order.
struct TFormComponent {
  std::string ClassName;
  std::string Name;
  std::vector<std::pair<std::string, std::string>> Properties;
};

using TComponentFactory = std::function<TComponent*(TComponent* owner)>;

// Makes a class known to the loader by its class name (case-free).
void RegisterComponentClass(const std::string& className, TComponentFactory factory);

template <class T>
void RegisterComponentClass(const std::string& className) {
  RegisterComponentClass(className, [](TComponent* owner) -> TComponent* { return new T(owner); });
}

// Creates the components of 'form', owned by 'owner', and returns them in
// form order.  Errors (an unknown class or property, a bad value, an
// unresolved reference) raise EReadError; the components made so far stay
// with the owner.
std::vector<TComponent*> LoadForm(TComponent* owner, const std::vector<TFormComponent>& form);
