// What FileFind does the same way on every platform: the walk through the
// names FindFirst read (posix/ and windows/ read them).

#include "platform/OrletBases.h"

namespace Orlet {

FileFind::FileFind() = default;

int FileFind::FindNext() {
  if (position >= names.size()) return 0;
  ++position;
  return position < names.size() ? 1 : 0;
}

}  // namespace Orlet
