// There is no registry here: every key is refused, as the writes are.
#include "installregistry.h"

bool CreateRegistryKey(TRootKeys, const std::string&) { return false; }
