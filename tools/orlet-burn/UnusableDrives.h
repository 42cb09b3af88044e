#pragma once

#include <cstddef>

namespace orletburn {

// Prints the optical drives the system lists that cannot be used, each with
// why ("/dev/sr1: permission denied (the user is not in the group cdrom that
// owns it; ...)"), after a line that introduces them; nothing when there are
// none. Answers how many it printed. Needs the SDK started (by the service).
std::size_t PrintUnusableDrives();

}  // namespace orletburn
