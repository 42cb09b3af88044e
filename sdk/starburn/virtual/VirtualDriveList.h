#pragma once

// The virtual-drive list: "MEDIUM=PATH;MEDIUM=PATH", as STARBURN_VIRTUAL_DRIVES
// and StarBurn_AttachVirtualDrives take it. MEDIUM is a name of Medium.h or
// "empty" (a drive without a disc, written "empty" or "empty="); PATH is the
// image file (UTF-8), relative paths from the current directory. Spaces
// around names and paths are ignored; empty entries (";;", a trailing ";")
// are skipped. A path cannot hold ';'. Entries are split at ';' and a medium
// from its path at the first '=', never at ':', so that the list takes
// Windows paths as a Windows user writes them, as PATH does there
// ("dvd+r=C:\discs\a.iso;cd-r=\\server\share\b.iso").

#include <string>
#include <vector>

#include "starburn/StarBurn.h"
#include "virtual/DriveModel.h"

namespace starburn {

struct VirtualDriveSpec {
  std::string medium;  // "empty" for a drive without a disc
  std::string path;    // absolute; empty for "empty"
};

// STARBURN_STATUS_BAD_CONFIGURATION with the entry and the reason
// ("entry 2 \"cd-x=/a.iso\": unknown medium \"cd-x\"; media: ...").
StarBurnStatus ParseVirtualDriveList(const std::string& text, std::vector<VirtualDriveSpec>* out,
                                     std::string* error);

// The recorder of virtual drives: DriveModel::AllMedia() with the quirks
// STARBURN_VIRTUAL_QUIRKS lists (DriveModel::WithQuirks), so that a host's
// tests can meet the habits of real drives. STARBURN_STATUS_BAD_CONFIGURATION
// with the variable's name when the list is wrong.
StarBurnStatus VirtualDriveModel(DriveModel* out, std::string* error);

// Parses the list, makes a recorder of model for every entry (checking every
// image and sidecar) and registers them all, or none when any fails.
StarBurnStatus AttachVirtualDriveList(const std::string& text, const DriveModel& model,
                                      std::string* error);

}  // namespace starburn
