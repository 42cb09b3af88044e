#include "devices/DriveModel.h"

#include <algorithm>

#include "mmc/Profiles.h"

namespace starburn {

bool DriveModel::Reads(uint16_t p) const {
  return std::find(readProfiles.begin(), readProfiles.end(), p) != readProfiles.end();
}

bool DriveModel::Writes(uint16_t p) const {
  return std::find(writeProfiles.begin(), writeProfiles.end(), p) != writeProfiles.end();
}

DriveModel DriveModel::AllMedia() {
  DriveModel model;
  // Highest first, as drives list their profiles.
  model.readProfiles = {profile::kBdRe,
                        profile::kBdRSequential,
                        profile::kBdRom,
                        profile::kDvdPlusRDualLayer,
                        profile::kDvdPlusR,
                        profile::kDvdPlusRw,
                        profile::kDvdRDualLayer,
                        profile::kDvdRwSequential,
                        profile::kDvdRwRestrictedOverwrite,
                        profile::kDvdRam,
                        profile::kDvdR,
                        profile::kDvdRom,
                        profile::kCdRw,
                        profile::kCdR,
                        profile::kCdRom};
  for (uint16_t p : model.readProfiles) {
    if (!IsReadOnlyProfile(p)) model.writeProfiles.push_back(p);
  }
  // Often enough that every burn meets the drive's flow control, rarely
  // enough to cost a burn nothing measurable (a millisecond's pause each).
  model.busyWriteOneIn = 16;
  return model;
}

DriveModel DriveModel::CdROnly() {
  DriveModel model;
  model.product = "Virtual CD-R Recorder";
  model.readProfiles = {profile::kCdR, profile::kCdRom};
  model.writeProfiles = {profile::kCdR};
  model.bufferBytes = 2u << 20;
  return model;
}

}  // namespace starburn
