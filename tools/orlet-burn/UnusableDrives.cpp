#include "UnusableDrives.h"

#include <starburn/StarBurn.h>

#include <cstdio>

namespace orletburn {

std::size_t PrintUnusableDrives() {
  std::size_t count = 0;
  for (;; ++count) {
    char reason[STARBURN_ERROR_TEXT_SIZE] = "";
    if (StarBurn_GetUnusableDevice(static_cast<uint32_t>(count), nullptr, 0, nullptr, reason,
                                   sizeof reason) != STARBURN_OK) {
      break;
    }
    if (count == 0) std::printf("\ndrives the system lists that cannot be used:\n");
    std::printf("  %s\n", reason);  // the reason begins with the device node
  }
  return count;
}

}  // namespace orletburn
