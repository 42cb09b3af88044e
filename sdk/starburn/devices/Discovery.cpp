#include "devices/Discovery.h"

#include "mmc/MmcDrive.h"

namespace starburn {

StarBurnStatus CheckOpticalDevice(ScsiTransport& transport, const std::string& node,
                                  std::string* reason) {
  MmcDrive mmc(transport);
  InquiryData identity;
  if (mmc.Inquiry(&identity) != STARBURN_OK) {
    *reason = node + " does not answer INQUIRY (" + mmc.LastFailure().message + ")";
    return STARBURN_STATUS_COMMAND_FAILED;
  }
  if (identity.peripheralType != STARBURN_PERIPHERAL_CDROM) {
    *reason = node + " is not a CD/DVD/BD device (peripheral type " +
              std::to_string(identity.peripheralType) + ")";
    return STARBURN_STATUS_NOT_SUPPORTED;
  }
  return STARBURN_OK;
}

}  // namespace starburn
