// Virtual drives and the device registry. Until the device layer exists there
// are no devices: attaching is refused and no letter names a drive.

#include "api/Unsupported.h"
#include "starburn/StarBurn.h"

extern "C" {

StarBurnStatus StarBurn_AttachVirtualDrives(const char*, char* errorText, uint32_t size) {
  return starburn::Unsupported(errorText, size, nullptr);
}
StarBurnStatus StarBurn_GetDeviceTargetByLetter(char, char* target, uint32_t size) {
  if (target != nullptr && size > 0) target[0] = '\0';
  return STARBURN_STATUS_NO_DEVICE;
}
StarBurnStatus StarBurn_GetVolumeLabelByLetter(char, StarBurnWChar* label, uint32_t size) {
  if (label != nullptr && size > 0) label[0] = 0;
  return STARBURN_STATUS_NO_DEVICE;
}
StarBurnStatus StarBurn_AbortDeviceWrite(const char*) { return STARBURN_STATUS_NO_DEVICE; }

}  // extern "C"
