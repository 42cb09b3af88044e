#pragma once

// The status query behind QueryFileStatus and FileFind::GetFileStatus.

#include "platform/OrletBases.h"

namespace Orlet {

// The status of path, looked up from folder (a directory's descriptor, or
// AT_FDCWD), symbolic links followed. Any thread.
FileStatus QueryFileStatusAt(int folder, const char* path);

}  // namespace Orlet
