// What a test expects to fail with: the message of the class library's
// exception that f raises.
#pragma once

#include <string>
#include <type_traits>

#include "sysutils.h"

namespace testsupport {

// The message when f raises an E (by default any of the library's
// exceptions), "<other exception> " and the message for another of them,
// "<no exception>" when it returns.
template <class E = Exception, class F>
std::string MessageOf(F f) {
  try {
    f();
  } catch (const Exception& e) {
    if constexpr (!std::is_same<E, Exception>::value) {
      if (!dynamic_cast<const E*>(&e)) return "<other exception> " + e.Message();
    }
    return e.Message();
  }
  return "<no exception>";
}

}  // namespace testsupport
