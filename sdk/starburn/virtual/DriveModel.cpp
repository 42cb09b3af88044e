#include "virtual/DriveModel.h"

#include <algorithm>
#include <cstdlib>
#include <sstream>

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

StarBurnStatus DriveModel::WithQuirks(const std::string& list, DriveModel* out,
                                      std::string* error) {
  static const char* const kQuirks =
      "flush-closes-cd-track page-speeds-in-cd-units busy-one-in=N buffer-bytes=N "
      "slow-operations=N reset-at=BLOCK quick-blanked format-stopped";
  *out = AllMedia();
  std::istringstream items(list);
  std::string item;
  while (std::getline(items, item, ',')) {
    item.erase(0, item.find_first_not_of(' '));
    item.erase(item.find_last_not_of(' ') + 1);
    if (item.empty()) continue;
    const std::size_t equals = item.find('=');
    const std::string name = item.substr(0, equals);
    uint32_t number = 0;
    if (equals != std::string::npos) {
      const std::string value = item.substr(equals + 1);
      char* end = nullptr;
      const unsigned long parsed = std::strtoul(value.c_str(), &end, 10);
      if (value.empty() || *end != '\0' || parsed > UINT32_MAX) {
        *error = "quirk \"" + item + "\": the value is not a number";
        return STARBURN_STATUS_BAD_CONFIGURATION;
      }
      number = static_cast<uint32_t>(parsed);
    }
    const bool valued = equals != std::string::npos;
    if (name == "flush-closes-cd-track" && !valued) {
      out->flushClosesCdTrack = true;
    } else if (name == "page-speeds-in-cd-units" && !valued) {
      out->pageSpeedsInCdUnits = true;
    } else if (name == "busy-one-in" && valued) {
      out->busyWriteOneIn = number;
    } else if (name == "buffer-bytes" && valued) {
      out->bufferBytes = number;
    } else if (name == "slow-operations" && valued) {
      out->longOperationPolls = number;
    } else if (name == "reset-at" && valued) {
      out->resetAt = number;
    } else if (name == "quick-blanked" && !valued) {
      out->quickBlanked = true;
    } else if (name == "format-stopped" && !valued) {
      out->formatStopped = true;
    } else {
      *error = "unknown quirk \"" + item + "\"; quirks: " + kQuirks;
      return STARBURN_STATUS_BAD_CONFIGURATION;
    }
  }
  return STARBURN_OK;
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
