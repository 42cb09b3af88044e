#include "common/Environment.h"

#include <cstdlib>

namespace starburn {

bool ReadEnvironment(const char* name, std::string* value) {
  const char* found = std::getenv(name);
  if (found == nullptr) return false;
  *value = found;
  return true;
}

}  // namespace starburn
