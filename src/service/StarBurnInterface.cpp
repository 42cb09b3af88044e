#include "service/StarBurnInterface.h"

#include "platform/StarBurnSdk.h"

namespace Orlet {

StarBurnInterface::StarBurnInterface() = default;

StarBurnInterface::~StarBurnInterface() {
  // The engine shuts the SDK down first; this only repeats a failed shut-down.
  if (sdkStarted != 0 && StarBurn_DownShut() == STARBURN_OK) sdkStarted = 0;
}

}  // namespace Orlet
