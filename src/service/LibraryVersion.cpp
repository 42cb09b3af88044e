#include "orlet/Version.h"

namespace Orlet {

const char* GetLibraryVersion() { return ORLET_VERSION_STRING; }

}  // namespace Orlet
