#pragma once

#include <cstdint>
#include <string>

#include "common/BlockIo.h"

namespace starburn {

// What the volume descriptors of one session say.
struct SessionSummary {
  bool iso9660 = false;          // a primary volume descriptor
  bool joliet = false;           // a Joliet supplementary volume descriptor
  bool otherFileSystem = false;  // UDF or another file system's descriptors
  std::string isoLabel;          // primary volume identifier, trailing spaces removed
  std::u16string jolietLabel;    // Joliet volume identifier, trailing spaces removed
};

// Reads the volume descriptors of the session that starts at sessionStart
// (they begin 16 blocks in) with the session reader's descriptor scan, so the
// disc-file-system record and an import agree on what a session holds.
// STARBURN_STATUS_BAD_FILE_SYSTEM when the blocks hold no descriptor set or a
// malformed primary or Joliet descriptor; read failures pass through. The
// UDF recognition sequence after the ISO 9660 set counts as another file
// system.
StarBurnStatus ProbeSession(BlockReader& reader, uint32_t sessionStart, SessionSummary* summary,
                            std::string* error);

}  // namespace starburn
