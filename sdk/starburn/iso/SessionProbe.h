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
// (they begin 16 blocks in). STARBURN_STATUS_BAD_FILE_SYSTEM when the blocks
// hold no descriptor set; read failures pass through.
StarBurnStatus ProbeSession(BlockReader& reader, uint32_t sessionStart, SessionSummary* summary,
                            std::string* error);

}  // namespace starburn
