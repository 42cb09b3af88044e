// The double's start-up, handle and registry calls.

#include <algorithm>
#include <cstring>
#include <string>

#include "support/SdkDouble.h"

using sdkdouble::FakeDrive;
using sdkdouble::SdkDouble;

namespace {

SdkDouble& D() { return SdkDouble::Get(); }

}  // namespace

extern "C" {

StarBurnStatus StarBurn_UpStartEx(char* errorText, uint32_t errorTextSize) {
  if (errorText != nullptr && errorTextSize > 0) errorText[0] = '\0';
  return D().Enter("StarBurn_UpStartEx", "");
}

StarBurnStatus StarBurn_DownShut(void) { return D().Enter("StarBurn_DownShut", ""); }

void StarBurn_Destroy(void** handle) {
  if (handle == nullptr) return;
  D().Enter("StarBurn_Destroy", "");
  if (*handle != nullptr && D().Close(*handle)) *handle = nullptr;
}

StarBurnStatus StarBurn_GetDeviceTargetByLetter(char letter, char* target, uint32_t targetSize) {
  if (target != nullptr && targetSize > 0) target[0] = '\0';
  FakeDrive drive;
  const bool found = D().FindDriveByLetter(letter, drive);
  const std::string text = "\\Device\\" + drive.name;
  uint32_t natural = found ? STARBURN_OK : STARBURN_STATUS_NO_DEVICE;
  if (found && (target == nullptr || text.size() + 1 > targetSize)) {
    natural = STARBURN_STATUS_BUFFER_TOO_SMALL;
  }
  const uint32_t status =
      D().Enter("StarBurn_GetDeviceTargetByLetter", std::string(1, letter), natural);
  if (status == STARBURN_OK && natural == STARBURN_OK) {
    std::memcpy(target, text.c_str(), text.size() + 1);
  }
  return status;
}

StarBurnStatus StarBurn_GetVolumeLabelByLetter(char letter, StarBurnWChar* label,
                                               uint32_t labelSize) {
  if (label != nullptr && labelSize > 0) label[0] = 0;
  FakeDrive drive;
  const bool found = D().FindDriveByLetter(letter, drive);
  uint32_t natural = !found ? STARBURN_STATUS_NO_DEVICE
                            : (drive.volumeLabel.empty() ? STARBURN_STATUS_NOT_FOUND : STARBURN_OK);
  if (natural == STARBURN_OK && (label == nullptr || drive.volumeLabel.size() + 1 > labelSize)) {
    natural = STARBURN_STATUS_BUFFER_TOO_SMALL;
  }
  const uint32_t status =
      D().Enter("StarBurn_GetVolumeLabelByLetter", std::string(1, letter), natural);
  if (status == STARBURN_OK && natural == STARBURN_OK) {
    std::copy(drive.volumeLabel.begin(), drive.volumeLabel.end(), label);
    label[drive.volumeLabel.size()] = 0;
  }
  return status;
}

}  // extern "C"
