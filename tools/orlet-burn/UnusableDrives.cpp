#include "UnusableDrives.h"

#include <starburn/StarBurn.h>

#include <string>

#include "Report.h"

namespace orletburn {

std::size_t PrintUnusableDrives() {
  std::size_t count = 0;
  for (;; ++count) {
    char reason[STARBURN_ERROR_TEXT_SIZE] = "";
    if (StarBurn_GetUnusableDevice(static_cast<uint32_t>(count), nullptr, 0, nullptr, reason,
                                   sizeof reason) != STARBURN_OK) {
      break;
    }
    if (count == 0) {
      if (SpeaksWords()) Say("");
      Say("drives the system lists that cannot be used:");
    }
    Say(std::string("  ") + reason);  // the reason begins with the device node
    Record("unusable_drive", {{"reason", reason}});
  }
  return count;
}

}  // namespace orletburn
